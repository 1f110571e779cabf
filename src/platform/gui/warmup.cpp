#include "platform/gui/warmup.h"

#include <dlfcn.h>

#include <QBuffer>
#include <QByteArray>
#include <QFontDatabase>
#include <QImageReader>

#include <system_error>

namespace gui {

FontWarmUp::FontWarmUp() {
    // Only the fontconfig Qt itself was linked with, and only when it is
    // already loaded: the warm-up must never bring in a library of its own.
    void* lib = ::dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return;
    auto init = reinterpret_cast<int (*)()>(::dlsym(lib, "FcInit"));
    if (!init) {
        ::dlclose(lib);
        return;
    }
    try {
        // FcInit loads the default configuration once; Qt's later call
        // finds it loaded.
        thread_ = std::thread([lib, init] {
            init();
            ::dlclose(lib);
        });
    } catch (const std::system_error&) {
        ::dlclose(lib);
    }
}

FontWarmUp::~FontWarmUp() {
    if (thread_.joinable()) thread_.join();
}

QtWarmUp::QtWarmUp() {
    try {
        thread_ = std::thread([] {
            QFontDatabase::families();
            // The signature of a PNG file: no plugin takes it, so each is
            // loaded and asked before the reader settles on its own.
            QByteArray signature("\x89PNG\r\n\x1a\n", 8);
            QBuffer buffer(&signature);
            buffer.open(QIODevice::ReadOnly);
            QImageReader::imageFormat(&buffer);
        });
    } catch (const std::system_error&) {
        // No thread: Qt does both when the window needs them.
    }
}

QtWarmUp::~QtWarmUp() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace gui
