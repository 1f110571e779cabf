// FILESPEC: a file name taken apart as drive, path, name and extension,
// with its full path, whether it exists, and deleting it.
//
// "C:\DATA\SCAN.DBF" splits into DRIVE "C:", PATH "\DATA\", FILENAME
// "SCAN" and EXTENSION ".DBF"; FULLPATH joins them again. Parts that the
// text lacks stay empty, so a bare name keeps being found where the file
// functions look for bare names.
#pragma once

#include <string>

#include "platform/runtime/object.h"

namespace rt {

class FileSpec : public Object {
    QZ_OBJECT(FileSpec)
public:
    Usual INIT(Usual path);

    const std::string& DRIVE() const { return drive_; }
    std::string SetDrive(std::string d);
    const std::string& PATH() const { return path_; }
    std::string SetPath(std::string p);
    const std::string& FILENAME() const { return name_; }
    std::string SetFileName(std::string n) { return name_ = std::move(n); }
    const std::string& EXTENSION() const { return extension_; }
    std::string SetExtension(std::string e);
    std::string FULLPATH() const { return drive_ + path_ + name_ + extension_; }
    std::string SetFullPath(std::string full);
    // Whether the file exists.
    bool FIND() const;
    // Deletes the file; false with FError() set when it cannot.
    bool DELETE();

private:
    std::string drive_, path_, name_, extension_;
};

}  // namespace rt
