// The splash screens' dialog templates (dialog units): pop-ups without a
// caption bar, centred on the screen.
#include "resources/resources.h"

namespace resources {

void RegisterSplashDialogs() {
    using namespace gui;

    DialogTemplate splash;
    splash.name = "SplashScreen";
    splash.cx = 233;
    splash.cy = 233;
    splash.popup = true;
    splash.centred = true;
    splash.items = {
        {100, "static", "SPLASH_BMP", 0, 0, 236, 215, kStyleBitmap},
        {101, "static", "Software by Quorvex ...", -1, 215, 236, 20, kStyleCenter | kStyleBorder},
    };
    RegisterDialog(splash);

    DialogTemplate bar;
    bar.name = "QZSplash";
    bar.cx = 216;
    bar.cy = 24;
    bar.popup = true;
    bar.centred = true;
    bar.items = {
        {100, "static", "SPLASH_BMP", 4, 4, 208, 15, kStyleBitmap},
    };
    RegisterDialog(bar);
}

}  // namespace resources
