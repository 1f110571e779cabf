#include "resources/resources.h"

#include <QtGlobal>

static void InitImages() {
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(predrawn);
}

namespace resources {

void RegisterAll() {
    static bool done = false;
    if (done) return;
    done = true;
    InitImages();
    RegisterMenus();
    RegisterDialogs();
    RegisterSplashDialogs();
}

}  // namespace resources
