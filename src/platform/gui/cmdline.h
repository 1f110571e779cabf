// The command line of a Qt program of the system (qzscan, qzgallery):
// --help and --version answered before any display is needed, Qt's own
// options (-platform, -display, -style, ...) left to Qt, the rest checked.
#pragma once

class QApplication;
class QCommandLineParser;

namespace gui {

struct ProgramIdentity {
    const char* name;         // the command, also the application name (the class part of WM_CLASS)
    const char* version;      // printed by --version
    const char* summary;      // the first paragraph of --help
    const char* desktopFile;  // the desktop file's name without ".desktop", so that docks group the windows
    const char* icon;         // the window icon of every window without its own (a resource path)
};

// Names the application and its desktop file, answers --help and --version
// (on stdout, ending the process with 0) without opening a display, makes
// the Qt application object, which takes Qt's own options out of the
// arguments, and parses the rest with the program's options in `parser`.
// An unknown option, a missing value or an argument the program does not
// take is said on stderr and ends the process with exit code 2.
QApplication& StartQtProgram(int argc, char** argv, QCommandLineParser& parser, const ProgramIdentity& id);

}  // namespace gui
