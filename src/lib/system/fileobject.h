// FileObject: one handle of the runtime's file functions in an object that
// is also the file's name and path (a FILESPEC), and that keeps the runtime's file
// error of its last operation (ERROR, ERRORCODE, ERRSTRING).
#pragma once

#include <cstdint>
#include <string>

#include "platform/runtime/filespec.h"

namespace lib {

class FileObject : public rt::FileSpec {
    QZ_OBJECT(FileObject)
public:
    // The error texts of the class's own codes.
    static constexpr uint32_t kDiskFull = 256;
    static constexpr uint32_t kEofReached = 257;

    rt::Usual INIT(rt::Usual path);
    rt::Usual FILESPEC() { return rt::Usual(Self()); }
    // Nil until a CREATE or OPEN; then the handle (-1 when it failed).
    rt::Usual FILEHANDLE() const { return opened_ ? rt::Usual(static_cast<int64_t>(handle_)) : rt::Usual(); }

    int64_t CREATE(rt::Usual attributes);
    int64_t OPEN(rt::Usual mode);
    uint32_t CLOSE();
    uint32_t COMMIT();
    bool EOF_() const;
    bool EXISTS() const { return FIND(); }
    std::string GETS(rt::Usual maxLength);
    int64_t PUTS(std::string text);
    // READ and READTEXT fill the caller's string (a reference in the
    // late-bound call: the first argument's buffer is replaced).
    int64_t READ(std::string& buffer, rt::Usual count);
    std::string READSTR(int64_t count);
    int64_t READTEXT(std::string& buffer, int64_t count);
    int64_t WRITE(std::string text, rt::Usual count);
    int64_t WRITELINE(std::string text, rt::Usual count);
    int64_t WRITETEXT(std::string text, rt::Usual count);
    int64_t SEEK(int64_t offset, rt::Usual origin);
    // The position as a signed 32-bit number. One that does not fit (a file
    // of 2 GiB or more) is not wrapped: -1 with the error 87 recorded.
    int32_t GOTOP() { return Position32(SEEK(0, rt::Usual(0))); }
    int32_t GOBOTTOM() { return Position32(SEEK(0, rt::Usual(2))); }
    rt::Usual REWIND();
    int64_t TELL() const;
    // The lines from the start to the end of the file; a line longer than
    // GETS reads at once is still one line.
    int64_t LINECOUNT();
    uint32_t UPDATEERR();
    bool ERROR() const { return error_; }
    uint32_t ERRORCODE() const { return errorCode_; }
    std::string ERRSTRING() const;

private:
    int32_t Position32(int64_t pos);

    int handle_ = -1;
    bool opened_ = false;  // a handle was ever obtained (null before)
    uint32_t errorCode_ = 0;
    bool error_ = false;
};

}  // namespace lib
