#include "errors/errorreport.h"

#include <cstdio>

#include "platform/runtime/dates.h"
#include "platform/runtime/errordump.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/version.h"

namespace errors {

int OpenErrorLog() {
    std::string path = ErrorLogPath();
    int handle = rt::FOpen2(path, rt::kFoWrite);
    if (handle != -1) {
        rt::FSeek3(handle, 0, 2);
        rt::FPutS3(handle, "", 0);
        return handle;
    }
    int openError = rt::FError();
    // Only a log that is not there is created: a create truncates, and a
    // log that exists but cannot be opened now (held by another process,
    // no permission) must keep its reports.
    if (openError == rt::kOsFileNotFound) {
        handle = rt::FCreate2(path, rt::kFcArchive);
        if (handle != -1) return handle;
        openError = rt::FError();
    }
    std::fprintf(stderr, "the error log %s cannot be written: %s\n", path.c_str(), rt::DosErrString(openError).c_str());
    return -1;
}

void WriteErrorReport(int h, const std::string& message, const rt::Error& e) {
    rt::FPutS(h, "***********************ERROR********************************");
    rt::FPutS(h, rt::Version());
    rt::FPutS(h, rt::DToC(rt::Today()) + " " + rt::Time());
    rt::FPutS(h, "Application: " + rt::ExecutableName(true));
    rt::FPutS(h, " ");
    rt::FPutS(h, "Error message:");
    rt::FPutS(h, "--------------");
    rt::FPutS(h, message);
    rt::WriteErrorObject(h, e);
}

}  // namespace errors
