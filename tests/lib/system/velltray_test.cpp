// VellTrayObject: the record it keeps and the shell calls it makes
// (watched at Shell_NotifyIconA), and its callback reaching DISPATCH.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "lib/system/velltrayobject.h"
#include "platform/gui/notifyicon.h"
#include "platform/gui/window.h"

using lib::VellTrayObject;

namespace {

class TrayHost : public gui::Window {
    QZ_OBJECT(TrayHost)
public:
    std::vector<std::pair<uint32_t, int64_t>> messages;
};

}  // namespace

const rt::ClassDef& TrayHost::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<TrayHost>("TESTTRAYHOST", &gui::Window::StaticClass())
            .RawMethod("DISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           auto* e = dynamic_cast<gui::Event*>(a[0].AsObject().get());
                           static_cast<TrayHost&>(o).messages.emplace_back(e->uMsg, e->lParam);
                           return rt::Usual(int64_t{0});
                       })
            .Done();
    return c;
}

namespace {

struct Call {
    uint32_t message;
    uint32_t flags;
    std::string tip;
};

struct TrayFixture : testing::Test {
    TrayFixture() {
        gui::SetNotifyIconObserver([this](uint32_t m, const gui::NOTIFYICONDATAA& d) {
            calls.push_back({m, d.uFlags, std::string(d.szTip)});
        });
        window = rt::New<TrayHost>();
        window->Init({rt::Usual()});
        window->SetCaption("Stock count");
        window->SetIcon(rt::Usual(rt::New<gui::Icon>("__AAAICON")));
        tray = rt::New<VellTrayObject>();
    }
    ~TrayFixture() override {
        tray->Destroy();
        gui::SetNotifyIconObserver(nullptr);
        window->EndWindow();
    }
    void Init(std::vector<rt::Usual> args) {
        args.insert(args.begin(), rt::Usual(window));
        tray->Init(rt::Args(args.data(), args.size()));
    }
    std::vector<Call> calls;
    std::shared_ptr<TrayHost> window;
    std::shared_ptr<VellTrayObject> tray;
};

}  // namespace

TEST_F(TrayFixture, WithOnlyAWindowTheTipIsItsCaptionAndTheMessage0x8002) {
    Init({});
    EXPECT_EQ(tray->ToolTip().AsStr(), "Stock count");
    EXPECT_EQ(tray->Message(), 0x8002);
    EXPECT_EQ(tray->Icon().AsObject(), window->GetIcon().AsObject());
    const gui::NOTIFYICONDATAA* r = tray->Record();
    EXPECT_EQ(r->cbSize, 504u);
    EXPECT_EQ(r->hWnd, window->Handle());
    EXPECT_EQ(r->uFlags, gui::NIF_ICON | gui::NIF_TIP | gui::NIF_MESSAGE);
    EXPECT_TRUE(calls.empty());  // nothing is shown before SHOW
}

TEST_F(TrayFixture, AHundredCharacterTipReachesTheTrayCutTo63) {
    Init({rt::Usual(), rt::Usual(std::string(100, 'x'))});
    tray->Show();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].tip, std::string(63, 'x'));
    EXPECT_EQ(tray->ToolTip().AsStr().size(), 100u);
    EXPECT_EQ(std::string(gui::NotifyIconTip(window->Handle(), 0)), std::string(63, 'x'));
    // UTF-8 tips are cut before a character that would not fit whole.
    const std::string umlauts = std::string(62, 'x') + "\xC3\xA4";  // 62 x and an "a" with umlaut
    tray->SetToolTip(rt::Usual(umlauts));
    EXPECT_EQ(calls.back().tip, std::string(62, 'x'));
    tray->SetToolTip(rt::Usual("Z\xC3\xA4hlung M\xC3\xBCnchen"));
    EXPECT_EQ(std::string(gui::NotifyIconTip(window->Handle(), 0)), "Z\xC3\xA4hlung M\xC3\xBCnchen");
}

TEST_F(TrayFixture, ShowAddsOnceThenModifiesAndHideWithoutShowCallsNothing) {
    Init({});
    tray->Hide();
    EXPECT_TRUE(calls.empty());
    tray->Show();
    tray->Show();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].message, gui::NIM_ADD);
    EXPECT_EQ(calls[1].message, gui::NIM_MODIFY);
    EXPECT_TRUE(gui::NotifyIconShown(window->Handle(), 0));
    tray->Hide();
    EXPECT_EQ(calls.back().message, gui::NIM_DELETE);
    EXPECT_FALSE(tray->IsVisible());
    EXPECT_FALSE(gui::NotifyIconShown(window->Handle(), 0));
}

TEST_F(TrayFixture, AssignsOfAShownIconModifyItAndNilWindowRemovesIt) {
    Init({});
    tray->Show();
    tray->SetIcon(rt::Usual("not an icon"));
    EXPECT_EQ(calls.back().message, gui::NIM_MODIFY);
    EXPECT_EQ(calls.back().flags & gui::NIF_ICON, 0u);
    tray->SetToolTip(rt::Usual(int64_t{5}));
    EXPECT_EQ(calls.back().flags & gui::NIF_TIP, 0u);
    EXPECT_EQ(calls.back().tip, "");
    EXPECT_EQ(tray->SetMessage(rt::Usual("x")), 0x8002);
    tray->SetWindow(rt::Usual());
    EXPECT_FALSE(tray->IsVisible());
    EXPECT_EQ(calls.back().message, gui::NIM_DELETE);
    EXPECT_EQ(tray->Record()->hWnd, 0u);
}

TEST_F(TrayFixture, ClicksReachTheWindowsDispatchWithTheMouseMessage) {
    Init({rt::Usual(), rt::Usual("tip"), rt::Usual(int64_t{0x8123})});
    tray->Show();
    gui::NotifyIconActivate(window->Handle(), 0, 3);  // click
    gui::NotifyIconActivate(window->Handle(), 0, 2);  // double click
    gui::NotifyIconActivate(window->Handle(), 0, 1);  // context click
    QCoreApplication::processEvents();
    std::vector<std::pair<uint32_t, int64_t>> want = {{0x8123, gui::WM_LBUTTONDOWN},   {0x8123, gui::WM_LBUTTONUP},
                                                      {0x8123, gui::WM_LBUTTONDBLCLK}, {0x8123, gui::WM_LBUTTONUP},
                                                      {0x8123, gui::WM_RBUTTONDOWN},   {0x8123, gui::WM_RBUTTONUP}};
    std::vector<std::pair<uint32_t, int64_t>> got;
    for (const auto& m : window->messages)
        if (m.first == 0x8123) got.push_back(m);
    EXPECT_EQ(got, want);
}

TEST_F(TrayFixture, DestroyRemovesTheIconOnceAndLeavesAUsableObject) {
    Init({});
    tray->Show();
    tray->Destroy();
    tray->Destroy();
    EXPECT_EQ(calls.size(), 2u);  // add, delete
    EXPECT_EQ(tray->Record(), nullptr);
    EXPECT_FALSE(tray->AxitRegistered());
    tray->Show();  // after DESTROY: nothing happens
    tray->SetToolTip(rt::Usual("late"));
    EXPECT_EQ(calls.size(), 2u);
}
