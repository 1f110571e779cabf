// LogFile: a plain-text log beside the program or in the web server's log
// directory: a fresh log (the old one kept as a backup, and the log emptied
// only once that backup is whole and durable; without one the log is left
// as it was and LOG2FILE reads false) or the existing one continued. Each
// error report or free line is one record appended with one write on a
// descriptor opened for appending, so several processes logging at once
// never interleave or lose lines; the open retries briefly while another
// process holds the file.
//
// The executable's path is taken in Windows form (its "/" written as "\"),
// so the log's paths are Windows paths like every other the runtime's file
// functions take; a name given natively ("/var/log/app.log") is used as it
// is. Both separators count when the name is split, and the extension is
// looked for in the last component only.
#pragma once

#include <string>

#include "platform/runtime/error.h"
#include "platform/runtime/object.h"

namespace lib {

class LogFile : public rt::Object {
    QZ_OBJECT(LogFile)
public:
    rt::Usual INIT(rt::Usual fileName, rt::Usual useWebServerDir, rt::Usual append);
    rt::Usual DUMPERROR(rt::Usual error);
    bool DEBUGMSG(std::string text);

    const std::string& FNAME() const { return fname_; }
    std::string SetFName(rt::Usual v);
    const std::string& BACKUPNAME() const { return backupName_; }
    std::string SetBackupName(rt::Usual v);
    bool LOG2FILE() const { return log2File_; }
    bool SetLog2File(rt::Usual v);
    bool APPEND() const { return append_; }
    bool SetAppend(rt::Usual v);
    const std::string& SERVERPATH() const { return serverPath_; }
    std::string LOGPATH() const;

private:
    std::string fname_;
    std::string backupName_;
    std::string serverPath_;
    bool log2File_ = false;
    bool append_ = true;
};

// The text up to and including the last backslash (or slash); the whole
// path when it has none.
std::string DirectoryOf(const std::string& path);
// FOpen retried up to 10 times, 1 ms apart, while the open fails on a
// sharing or lock conflict; the handle or -1.
int OpenWithRetry(const std::string& fileName, int mode);
// The web server's log directory from the registry, or the system
// directory's LogFiles folder; "" when the key cannot be opened.
std::string WebServerLogDirectory();
// The executable's full path in Windows form.
std::string ExecutableWindowsPath();

}  // namespace lib
