#include "platform/gui/menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "platform/gui/boundary.h"
#include "platform/gui/control.h"
#include "platform/gui/resource.h"
#include "platform/gui/window.h"

namespace gui {

std::string CaptionText(const std::string& caption) { return caption.substr(0, caption.find('\t')); }

std::string CaptionShortcut(const std::string& caption) {
    size_t tab = caption.find('\t');
    return tab == std::string::npos ? std::string() : caption.substr(tab + 1);
}

// ---- Accelerator --------------------------------------------------------

const rt::ClassDef& Accelerator::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<Accelerator>("ACCELERATOR").Method<&Accelerator::Load>("LOAD").Done();
    return c;
}

Accelerator::Accelerator(const std::string& resourceName) { Load(resourceName); }

void Accelerator::Load(const std::string& resourceName) {
    if (const AcceleratorResource* r = FindAccelerator(resourceName)) entries_ = r->entries;
}

// ---- ToolBar ------------------------------------------------------------

const rt::ClassDef& ToolBar::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<ToolBar>("TOOLBAR")
                                       .Method<&ToolBar::AppendItem>("APPENDITEM")
                                       .Method<&ToolBar::AddTipText>("ADDTIPTEXT")
                                       .Method<&ToolBar::PressItem>("PRESSITEM")
                                       .Method<&ToolBar::UnPressItem>("UNPRESSITEM")
                                       .Access<&ToolBar::ButtonStyle>("BUTTONSTYLE")
                                       .Assign<&ToolBar::SetButtonStyle>("BUTTONSTYLE")
                                       .Access<&ToolBar::Flat>("FLAT")
                                       .Assign<&ToolBar::SetFlat>("FLAT")
                                       .Method<&ToolBar::EnableBands>("ENABLEBANDS")
                                       .Done();
    return c;
}

ToolBar::ToolBar() : bar_(new QToolBar) {
    bar_->setMovable(false);
    bar_->setFloatable(false);
    bar_->setIconSize(QSize(24, 24));
    bar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
}

ToolBar::~ToolBar() {
    if (bar_ && !bar_->parent()) delete bar_.data();
}

void ToolBar::AppendItem(int64_t image, int64_t itemId) {
    layout_.push_back(image == 0 && itemId == 0 ? 0 : itemId);
    if (image == 0 && itemId == 0) {
        bar_->addSeparator();
        return;
    }
    QAction* a = bar_->addAction(SharedIcon({ToolBarImagePath(static_cast<int>(image))}), QString());
    a->setData(QVariant::fromValue<qlonglong>(itemId));
    a->setCheckable(false);
    QObject::connect(a, &QAction::triggered, bar_, [this, itemId] {
        FromQt([&] {
            if (target_ && lookup_) target_->MenuCommand(lookup_(static_cast<int>(itemId)));
        });
    });
    actions_[itemId] = a;
}

void ToolBar::AddTipText(int64_t, int64_t itemId, const std::string& text) {
    auto it = actions_.find(itemId);
    if (it == actions_.end()) return;
    it->second->setToolTip(QString::fromStdString(text));
    it->second->setText(QString::fromStdString(text));
}

void ToolBar::PressItem(int64_t itemId) {
    auto it = actions_.find(itemId);
    if (it == actions_.end()) return;
    it->second->setCheckable(true);
    it->second->setChecked(true);
}

void ToolBar::UnPressItem(int64_t itemId) {
    auto it = actions_.find(itemId);
    if (it == actions_.end()) return;
    it->second->setChecked(false);
}

bool ToolBar::IsPressed(int64_t itemId) const {
    auto it = actions_.find(itemId);
    return it != actions_.end() && it->second->isChecked();
}

int64_t ToolBar::SetButtonStyle(int64_t style) {
    // Style 1: image buttons without captions of their own.
    bar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return buttonStyle_ = style;
}

bool ToolBar::SetFlat(bool on) {
    bar_->setStyleSheet(on ? QString() : QStringLiteral("QToolButton { border: 1px outset gray; }"));
    return flat_ = on;
}

bool ToolBar::EnableBands(bool on) { return bands_ = on; }

std::string ToolBar::TipText(int64_t itemId) const {
    auto it = actions_.find(itemId);
    return it == actions_.end() ? std::string() : it->second->toolTip().toStdString();
}

std::vector<int64_t> ToolBar::Layout() const { return layout_; }

// ---- Menu ---------------------------------------------------------------

const rt::ClassDef& Menu::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Menu>("MENU")
                                       .Access<&Menu::GetToolBar>("TOOLBAR")
                                       .Assign<&Menu::SetToolBar>("TOOLBAR")
                                       .Access<&Menu::GetAccelerator>("ACCELERATOR")
                                       .Assign<&Menu::SetAccelerator>("ACCELERATOR")
                                       .Method<&Menu::Load>("LOAD")
                                       .Done();
    return c;
}

Menu::Menu() : bar_(new QMenuBar) {}

Menu::~Menu() {
    if (bar_ && !bar_->parent()) delete bar_.data();
}

void Menu::Load(const std::string& resourceName) {
    const MenuResource* r = FindMenu(resourceName);
    if (!r) return;
    QMenu* popup = nullptr;
    int position = 0;
    for (const MenuItemResource& m : r->items) {
        switch (m.kind) {
            case MenuItemResource::kPopupBegin: {
                popup = bar_->addMenu(QString::fromStdString(CaptionText(m.caption)));
                Item item{m.id,
                          rt::Usual(
                              rt::New<HyperLabel>(rt::Symbol(m.command), m.caption, m.description, m.helpContext)),
                          true, position++, popup->menuAction()};
                items_.push_back(item);
                QString description = QString::fromStdString(m.description);
                // Qt follows a highlight with the action's status tip: it
                // carries the description, or the prompt would be wiped.
                popup->menuAction()->setStatusTip(description);
                QObject::connect(popup->menuAction(), &QAction::hovered, bar_, [this, description] {
                    FromQt([&] {
                        if (target_) target_->ShowPrompt(description.toStdString());
                    });
                });
                break;
            }
            case MenuItemResource::kPopupEnd: popup = nullptr; break;
            case MenuItemResource::kSeparator:
                if (popup) popup->addSeparator();
                break;
            case MenuItemResource::kItem: {
                QString text = QString::fromStdString(m.caption);
                QAction* a = popup ? popup->addAction(text) : bar_->addAction(text);
                int id = m.id;
                QObject::connect(a, &QAction::triggered, bar_, [this, id] { FromQt([&] { Choose(id); }); });
                std::string description = m.description;
                a->setStatusTip(QString::fromStdString(description));
                QObject::connect(a, &QAction::hovered, bar_, [this, description] {
                    FromQt([&] {
                        if (target_) target_->ShowPrompt(description);
                    });
                });
                items_.push_back(
                    Item{m.id,
                         rt::Usual(rt::New<HyperLabel>(rt::Symbol(m.command), m.caption, m.description, m.helpContext)),
                         false, -1, a});
                break;
            }
        }
    }
}

const Menu::Item* Menu::FindItem(int id) const {
    for (const Item& i : items_)
        if (i.id == id) return &i;
    return nullptr;
}

rt::Symbol Menu::CommandOf(int id) const {
    const Item* i = FindItem(id);
    if (!i) return {};
    auto* h = dynamic_cast<HyperLabel*>(i->hyperLabel.AsObject().get());
    return h ? h->NameSym : rt::Symbol();
}

rt::Usual Menu::SetToolBar(const rt::Usual& toolBar) {
    toolBar_ = toolBar;
    if (auto* t = dynamic_cast<ToolBar*>(toolBar.AsObject().get())) {
        t->SetTarget(target_);
        t->SetCommandLookup([this](int id) { return CommandOf(id); });
    }
    return toolBar;
}

rt::Usual Menu::SetAccelerator(const rt::Usual& accelerator) { return accelerator_ = accelerator; }

void Menu::SetTarget(Window* window) {
    target_ = window;
    if (auto* t = dynamic_cast<ToolBar*>(toolBar_.AsObject().get())) t->SetTarget(window);
}

void Menu::Choose(int id) {
    if (!target_) return;
    auto keep = target_->Self();
    target_->MenuCommand(CommandOf(id));
}

}  // namespace gui
