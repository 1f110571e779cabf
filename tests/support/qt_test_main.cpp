// Test entry for GUI tests: an offscreen Qt application, the program's
// resources and the dialog test hooks, then the test cases.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/gui/app.h"
#include "platform/gui/testhooks.h"
#include "resources/resources.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    gui::EnsureQtApplication(argc, argv);
    resources::RegisterAll();
    gui::TestHooks::SetOn(true);
    return RUN_ALL_TESTS();
}
