#include "platform/gui/cmdline.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

#include "platform/gui/app.h"
#include "platform/gui/resource.h"
#include "platform/gui/warmup.h"

namespace gui {
namespace {

const char kQtOptions[] =
    "Qt's own options are taken as well, with one dash: -platform NAME (xcb, wayland,\n"
    "offscreen), -display DISPLAY, -style STYLE, -geometry WxH+X+Y, -reverse and the\n"
    "others that the Qt documentation lists for every Qt program.";

[[noreturn]] void Refuse(const char* program, const QString& why) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for the options.\n", program, why.toLocal8Bit().constData(), program);
    std::exit(2);
}

}  // namespace

QApplication& StartQtProgram(int argc, char** argv, QCommandLineParser& parser, const ProgramIdentity& id) {
    QCoreApplication::setApplicationName(QString::fromUtf8(id.name));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(id.version));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(id.desktopFile));
    parser.setApplicationDescription(QString::fromUtf8(id.summary) + QStringLiteral("\n\n") +
                                     QString::fromUtf8(kQtOptions));
    // "-platform" is one option, not -p -l -a ... (so "-stylesheet" never
    // reads as -h).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version({"v", "version"}, QStringLiteral("Shows the version and exits."));
    parser.addOption(help);
    parser.addOption(version);

    // Help and version first, with Qt's options not yet known: a terminal
    // or help2man has no display to open.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    parser.parse(arguments);
    if (parser.isSet(help)) {
        // Without an application object Qt writes a stand-in for the
        // command's name.
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), QString::fromUtf8(id.name));
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::exit(0);
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", id.name, id.version);
        std::exit(0);
    }

    QApplication& app = EnsureQtApplication(argc, argv);
    if (!parser.parse(QCoreApplication::arguments())) Refuse(id.name, parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        Refuse(id.name, QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    BeginWarmUp();  // the program goes on: its first window can be prepared for
    QApplication::setWindowIcon(WindowIconOf(SharedIcon({QString::fromUtf8(id.icon)})));
    return app;
}

}  // namespace gui
