// The baseline of bench/startup_bench.sh: the least a Qt Widgets program
// does to put one window of the shell window's size and title on the
// screen, and nothing else.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("startup baseline"));
    window.resize(600, 400);
    window.show();
    return app.exec();
}
