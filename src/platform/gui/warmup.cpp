#include "platform/gui/warmup.h"

#include <dlfcn.h>

#include <QBuffer>
#include <QByteArray>
#include <QFontDatabase>
#include <QImageReader>

#include <system_error>
#include <utility>

namespace gui {
namespace {

template <class Work>
std::jthread Start(Work work) {
    try {
        return std::jthread(std::move(work));
    } catch (const std::system_error&) {
        return {};
    }
}

}  // namespace

std::jthread WarmUpFonts() {
    void* lib = ::dlopen("libfontconfig.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return {};
    auto init = reinterpret_cast<int (*)()>(::dlsym(lib, "FcInit"));
    ::dlclose(lib);  // loaded with the program, it stays loaded, and so does FcInit
    // FcInit loads the default configuration once; Qt's later call finds it
    // loaded.
    return init ? Start([init] { init(); }) : std::jthread();
}

std::jthread WarmUpQt() {
    return Start([] {
        QFontDatabase::families();
        // The signature of a PNG file: no plugin takes it, so each is loaded
        // and asked before the reader settles on its own.
        QByteArray signature("\x89PNG\r\n\x1a\n", 8);
        QBuffer buffer(&signature);
        buffer.open(QIODevice::ReadOnly);
        QImageReader::imageFormat(&buffer);
    });
}

}  // namespace gui
