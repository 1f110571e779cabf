// A started program for tests of the shell window and what it opens: drive
// C is the file system, drive D a sandbox that is current at start (the
// root TEMP goes there), TEMP and DATA lie beside the test program.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/qzapp.h"
#include "app/shellwindow.h"
#include "platform/gui/testhooks.h"
#include "platform/gui/window.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"

class ShellTest : public testing::Test {
protected:
    void SetUp() override {
        gui::TestHooks::Clear();
        rt::ResetSettings();
        sandbox_ = std::filesystem::temp_directory_path() / ("qzshell" + std::to_string(getpid()));
        std::filesystem::create_directories(sandbox_);
        setenv("QZ_DRIVES", ("C=/;D=" + sandbox_.string()).c_str(), 1);
        rt::ReloadDriveMap();
        rt::DirChange(sandbox_.string());
        std::filesystem::remove_all(rt::WorkDir() + "DATA");
        app_ = rt::New<app::QZApp>();
        shell_ = app_->Startup();
    }
    void TearDown() override {
        for (const auto& w : gui::OpenWindows()) w->EndWindow();
        if (auto* w = Shell()) w->EndWindow();
        shell_ = rt::Usual();
        app_.reset();
        rt::RDDCloseAll();
        unsetenv("QZ_DRIVES");
        rt::ReloadDriveMap();
        std::filesystem::remove_all(sandbox_);
        std::filesystem::remove_all(rt::WorkDir() + "DATA");
    }
    app::StandardSDIWindow* Shell() {
        return dynamic_cast<app::StandardSDIWindow*>(shell_.AsObject().get());
    }
    // The open window of that class, nullptr when there is none.
    template <class T>
    T* OpenOf(const char* className) {
        for (const auto& w : gui::OpenWindows())
            if (w->Class().name == rt::Symbol(className)) return dynamic_cast<T*>(w.get());
        return nullptr;
    }

    std::filesystem::path sandbox_;
    std::shared_ptr<app::QZApp> app_;
    rt::Usual shell_;
};
