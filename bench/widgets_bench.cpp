// Bitmap list box painting with pictures from a file (plain program; runs
// without a display: QT_QPA_PLATFORM=offscreen is set when the environment
// names no platform):
//   200 entries of kind 4 (a picture file) all naming one large BMP
//   (5000 x 5000, 24 bits, 75 MB); the list is painted once cold (the file
//   is decoded) and then again warm (the decoded picture is reused).
// The baseline is one decode of the same file with Qt's image reader: what
// every entry on screen cost at every paint when nothing was kept.
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QListWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_size.h"
#include "lib/widgets/bitmaplistbox.h"
#include "lib/widgets/widgetclasses.h"
#include "platform/gui/window.h"

namespace {

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

template <class F>
double Time(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return Ms(std::chrono::steady_clock::now() - t0);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication qt(argc, argv);
    lib::RegisterWidgetClasses();
    const int side = BenchSize(5000, 64);
    const int nodes = BenchSize(200, 10);
    char tmpl[] = "/tmp/qzwidgetsbench.XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string file = dir + "/big.bmp";
    {
        QImage img(side, side, QImage::Format_RGB888);
        img.fill(Qt::darkCyan);
        if (!img.save(QString::fromStdString(file), "BMP")) return 1;
    }
    const double decode = Time([&] { QImageReader(QString::fromStdString(file)).read(); });

    auto win = rt::New<gui::Window>();
    win->Init({rt::Usual()});
    win->Widget()->resize(330, 270);
    auto box = rt::New<lib::BitmapListBox>();
    box->Init(*win, 2);
    box->Widget()->setGeometry(0, 0, 330, 270);
    box->NBITMAPWIDTH = box->NBITMAPHEIGHT = 48;
    for (int i = 0; i < nodes; ++i) box->ADDNODE("entry", rt::Usual(int64_t{i}), 0, lib::kPictureFile, file, 0);
    win->Show();
    QWidget* viewport = box->List()->viewport();
    const double cold = Time([&] { viewport->grab(); });
    std::vector<double> warm;
    for (int i = 0; i < 5; ++i) warm.push_back(Time([&] { viewport->grab(); }));
    const int shown = box->List()->indexAt(QPoint(5, viewport->height() - 1)).row() + 1;

    std::printf("list box, %d entries on one %dx%d BMP (%.0f MB), %d on screen\n", nodes, side, side,
                side * 3.0 * side / 1e6, shown > 0 ? shown : nodes);
    std::printf("  baseline: one decode of the file        %9.1f ms\n", decode);
    std::printf("  first paint (decodes once)              %9.1f ms\n", cold);
    std::printf("  later paint, median of 5                %9.1f ms\n", Median(warm));
    std::printf("  a paint decoding each entry on screen  ~%9.1f ms (baseline x entries on screen)\n",
                decode * (shown > 0 ? shown : nodes));
    std::fflush(stdout);
    win->EndWindow();
    box.reset();
    win.reset();
    // The window's last queued calls run while the application still lives.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::remove(file.c_str());
    ::rmdir(dir.c_str());
    return 0;
}
