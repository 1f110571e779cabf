#include "platform/runtime/filespec.h"

#include "platform/runtime/files.h"

namespace rt {

const ClassDef& FileSpec::StaticClass() {
    static const ClassDef& c = ClassBuilder<FileSpec>("FILESPEC")
                                   .Method<&FileSpec::INIT>("INIT")
                                   .Access<&FileSpec::DRIVE>("DRIVE")
                                   .Assign<&FileSpec::SetDrive>("DRIVE")
                                   .Access<&FileSpec::PATH>("PATH")
                                   .Assign<&FileSpec::SetPath>("PATH")
                                   .Access<&FileSpec::FILENAME>("FILENAME")
                                   .Assign<&FileSpec::SetFileName>("FILENAME")
                                   .Access<&FileSpec::EXTENSION>("EXTENSION")
                                   .Assign<&FileSpec::SetExtension>("EXTENSION")
                                   .Access<&FileSpec::FULLPATH>("FULLPATH")
                                   .Assign<&FileSpec::SetFullPath>("FULLPATH")
                                   .Method<&FileSpec::FIND>("FIND")
                                   .Method<&FileSpec::DELETE>("DELETE")
                                   .Done();
    return c;
}

Usual FileSpec::INIT(Usual path) {
    if (path.IsString()) SetFullPath(path.AsStr());
    return Usual(Self());
}

std::string FileSpec::SetDrive(std::string d) {
    if (d.size() == 1) d += ':';
    return drive_ = std::move(d);
}

std::string FileSpec::SetPath(std::string p) {
    if (!p.empty() && p.back() != '\\' && p.back() != '/') p += '\\';
    return path_ = std::move(p);
}

std::string FileSpec::SetExtension(std::string e) {
    if (!e.empty() && e.front() != '.') e.insert(e.begin(), '.');
    return extension_ = std::move(e);
}

std::string FileSpec::SetFullPath(std::string full) {
    drive_.clear();
    if (full.size() >= 2 && full[1] == ':' &&
        ((full[0] >= 'A' && full[0] <= 'Z') || (full[0] >= 'a' && full[0] <= 'z'))) {
        drive_ = full.substr(0, 2);
        full.erase(0, 2);
    }
    size_t sep = full.find_last_of("\\/");
    path_ = sep == std::string::npos ? std::string() : full.substr(0, sep + 1);
    std::string file = sep == std::string::npos ? full : full.substr(sep + 1);
    size_t dot = file.rfind('.');
    name_ = dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
    extension_ = dot == std::string::npos || dot == 0 ? std::string() : file.substr(dot);
    return FULLPATH();
}

bool FileSpec::FIND() const { return !name_.empty() && File(FULLPATH()); }

bool FileSpec::DELETE() { return FErase(FULLPATH()); }

}  // namespace rt
