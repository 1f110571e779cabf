// A started program for tests of the shell window and what it opens: drive
// C is the file system, drive D a sandbox that is current at start (the
// root TEMP goes there), TEMP and DATA lie in a working folder of this
// process's own (QZ_WORKDIR), so that test programs may run side by side.
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
        workDir_ = std::filesystem::temp_directory_path() / ("qzshellwork" + std::to_string(getpid()));
        std::filesystem::remove_all(workDir_);
        std::filesystem::create_directories(workDir_);
        setenv("QZ_WORKDIR", workDir_.c_str(), 1);
        app_ = rt::New<app::QZApp>();
        shell_ = app_->Startup();
    }
    void TearDown() override {
        for (const auto& w : gui::OpenWindows()) w->EndWindow();
        if (auto* w = Shell()) w->EndWindow();
        shell_ = rt::Usual();
        app_.reset();
        rdd::RDDCloseAll();
        unsetenv("QZ_DRIVES");
        rt::ReloadDriveMap();
        std::filesystem::remove_all(sandbox_);
        std::filesystem::remove_all(workDir_);
        unsetenv("QZ_WORKDIR");
    }
    app::StandardSDIWindow* Shell() { return dynamic_cast<app::StandardSDIWindow*>(shell_.AsObject().get()); }
    // The open window of that class, nullptr when there is none.
    template <class T>
    T* OpenOf(const char* className) {
        for (const auto& w : gui::OpenWindows())
            if (w->Class().name == rt::Symbol(className)) return dynamic_cast<T*>(w.get());
        return nullptr;
    }

    std::filesystem::path sandbox_;
    std::filesystem::path workDir_;
    std::shared_ptr<app::QZApp> app_;
    rt::Usual shell_;
};
