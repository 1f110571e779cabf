#include "platform/gui/resource.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHash>

#include <map>

#include "platform/gui/predrawn.h"
#include "platform/runtime/text.h"

namespace gui {
namespace {

std::string Key(const std::string& name) { return rt::Upper(name); }

template <class T>
std::map<std::string, T>& Table() {
    static std::map<std::string, T> table;
    return table;
}

template <class T>
const T* Find(const std::string& name) {
    auto& t = Table<T>();
    auto it = t.find(Key(name));
    return it == t.end() ? nullptr : &it->second;
}

}  // namespace

const DialogItemResource* DialogTemplate::Item(int id) const {
    for (const auto& i : items)
        if (i.id == id) return &i;
    return nullptr;
}

void RegisterMenu(MenuResource menu) { Table<MenuResource>()[Key(menu.name)] = std::move(menu); }
void RegisterAccelerator(AcceleratorResource table) {
    Table<AcceleratorResource>()[Key(table.name)] = std::move(table);
}
void RegisterDialog(DialogTemplate dialog) { Table<DialogTemplate>()[Key(dialog.name)] = std::move(dialog); }
const MenuResource* FindMenu(const std::string& name) { return Find<MenuResource>(name); }
const AcceleratorResource* FindAccelerator(const std::string& name) { return Find<AcceleratorResource>(name); }
const DialogTemplate* FindDialog(const std::string& name) { return Find<DialogTemplate>(name); }

QFont DialogFont(const DialogTemplate& dialog) {
    QString face = QString::fromStdString(dialog.fontFace);
    QFont font;
    if (QFontDatabase::hasFamily(face)) font.setFamily(face);
    else font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(dialog.fontPoints);
    return font;
}

QRect DialogUnitsToPixels(const DialogTemplate& dialog, int x, int y, int cx, int cy) {
    QFontMetrics fm(DialogFont(dialog));
    // The average width of the Latin letters, as dialog units are defined.
    int baseX = (fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) + 26) /
                52;
    int baseY = fm.height();
    auto sx = [&](int v) { return (v * baseX + 2) / 4; };
    auto sy = [&](int v) { return (v * baseY + 4) / 8; };
    return QRect(sx(x), sy(y), sx(cx), sy(cy));
}

QString ToolBarImagePath(int image) {
    for (const char* ext : {".svg", ".png"}) {
        QString path = QStringLiteral(":/toolbar/%1%2").arg(image).arg(QLatin1String(ext));
        if (QFile::exists(path)) return path;
    }
    return {};
}

QIcon SharedIcon(const QStringList& files) {
    // Never destroyed: a static's destructor would run after the
    // application object is gone, too late for a picture.
    static auto* made = new QHash<QString, QIcon>;
    QString key = files.join(QLatin1Char('\n'));
    auto it = made->find(key);
    if (it != made->end()) return *it;
    QIcon icon;
    if (files.size() == 1) {
        icon = PredrawnIcon(files.front());
    } else {
        for (const QString& file : files) icon.addFile(file);
    }
    made->insert(key, icon);
    return icon;
}

QIcon WindowIconOf(const QIcon& icon) {
    if (icon.isNull() || !icon.availableSizes().isEmpty()) return icon;
    static auto* made = new QHash<qint64, QIcon>;  // never destroyed, as above
    auto it = made->find(icon.cacheKey());
    if (it != made->end()) return *it;
    QIcon fixed;
    for (int side : {16, 24, 32, 48, 64}) fixed.addPixmap(icon.pixmap(QSize(side, side)));
    made->insert(icon.cacheKey(), fixed);
    return fixed;
}

}  // namespace gui
