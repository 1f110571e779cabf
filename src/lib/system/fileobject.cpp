#include "lib/system/fileobject.h"

#include <cstdint>

#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"

namespace lib {
namespace {

size_t CountOr(const rt::Usual& count, size_t otherwise) {
    return count.IsNumeric() && count.AsLong() >= 0 ? static_cast<size_t>(count.AsLong()) : otherwise;
}

// The buffer argument of a late-bound READ or READTEXT: a string, or a
// one-element array standing for a reference, whose element receives the
// bytes read.
rt::Usual ReadInto(lib::FileObject& self, rt::Args args, bool text) {
    rt::Usual target = args.empty() ? rt::Usual() : args[0];
    bool byRef = target.IsArray() && target.ALen() >= 1;
    std::string buffer = byRef ? target.At(1).AsStr() : target.AsStr();
    rt::Usual count = args.size() > 1 ? args[1] : rt::Usual();
    int64_t n = text ? self.READTEXT(buffer, static_cast<int64_t>(CountOr(count, buffer.size())))
                     : self.READ(buffer, count);
    if (byRef) target.At(1) = rt::Usual(buffer);
    return rt::Usual(n);
}

}  // namespace

const rt::ClassDef& FileObject::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<FileObject>("FILEOBJECT", &rt::FileSpec::StaticClass())
            .Method<&FileObject::INIT>("INIT")
            .Access<&FileObject::FILESPEC>("FILESPEC")
            .Access<&FileObject::FILEHANDLE>("FILEHANDLE")
            .Method<&FileObject::CREATE>("CREATE")
            .Method<&FileObject::OPEN>("OPEN")
            .Method<&FileObject::CLOSE>("CLOSE")
            .Method<&FileObject::COMMIT>("COMMIT")
            .Access<&FileObject::EOF_>("EOF")
            .Access<&FileObject::EXISTS>("EXISTS")
            .Method<&FileObject::GETS>("GETS")
            .Method<&FileObject::PUTS>("PUTS")
            .RawMethod("READ",
                       [](rt::Object& o, rt::Args a) { return ReadInto(static_cast<FileObject&>(o), a, false); })
            .Method<&FileObject::READSTR>("READSTR")
            .RawMethod("READTEXT",
                       [](rt::Object& o, rt::Args a) { return ReadInto(static_cast<FileObject&>(o), a, true); })
            .Method<&FileObject::WRITE>("WRITE")
            .Method<&FileObject::WRITELINE>("WRITELINE")
            .Method<&FileObject::WRITETEXT>("WRITETEXT")
            .Method<&FileObject::SEEK>("SEEK")
            .Method<&FileObject::GOTOP>("GOTOP")
            .Method<&FileObject::GOBOTTOM>("GOBOTTOM")
            .Method<&FileObject::REWIND>("REWIND")
            .Method<&FileObject::TELL>("TELL")
            .Access<&FileObject::TELL>("POSITION")
            .Access<&FileObject::LINECOUNT>("LINECOUNT")
            .Method<&FileObject::UPDATEERR>("UPDATEERR")
            .Access<&FileObject::ERROR>("ERROR")
            .Access<&FileObject::ERRORCODE>("ERRORCODE")
            .Access<&FileObject::ERRSTRING>("ERRSTRING")
            .Done();
    return c;
}

rt::Usual FileObject::INIT(rt::Usual path) {
    FileSpec::INIT(path);
    errorCode_ = 0;
    error_ = false;
    return rt::Usual(Self());
}

uint32_t FileObject::UPDATEERR() {
    errorCode_ = static_cast<uint32_t>(rt::FError());
    error_ = errorCode_ != 0;
    return errorCode_;
}

int64_t FileObject::CREATE(rt::Usual attributes) {
    handle_ = rt::FCreate(FULLPATH(), static_cast<int>(attributes.AsLong()));
    opened_ = true;
    UPDATEERR();
    return handle_;
}

int64_t FileObject::OPEN(rt::Usual mode) {
    handle_ = rt::FOpen(FULLPATH(), static_cast<int>(mode.AsLong()));
    opened_ = true;
    UPDATEERR();
    return handle_;
}

uint32_t FileObject::CLOSE() {
    rt::FClose(handle_);
    return UPDATEERR();
}

uint32_t FileObject::COMMIT() {
    rt::FCommit(handle_);
    return UPDATEERR();
}

bool FileObject::EOF_() const { return rt::FEof(handle_); }

std::string FileObject::GETS(rt::Usual maxLength) {
    std::string line = maxLength.IsNumeric() && maxLength.AsLong() > 0
                           ? rt::FGetS(handle_, static_cast<size_t>(maxLength.AsLong()))
                           : rt::FGetS(handle_);
    UPDATEERR();
    return line;
}

int64_t FileObject::PUTS(std::string text) {
    size_t n = rt::FPutS(handle_, text);
    UPDATEERR();
    return static_cast<int64_t>(static_cast<uint16_t>(n));
}

int64_t FileObject::READ(std::string& buffer, rt::Usual count) {
    // FReadStr never allocates more than the file has left, whatever the
    // count asks for.
    std::string data = rt::FReadStr(handle_, CountOr(count, buffer.size()));
    size_t n = data.size();
    UPDATEERR();
    // The bytes read replace the start of the caller's buffer.
    if (buffer.size() < n) buffer.resize(n);
    buffer.replace(0, n, data, 0, n);
    return static_cast<int64_t>(n);
}

std::string FileObject::READSTR(int64_t count) {
    std::string s = rt::FReadStr(handle_, count > 0 ? static_cast<size_t>(count) : 0);
    UPDATEERR();
    return s;
}

int64_t FileObject::READTEXT(std::string& buffer, int64_t count) {
    std::string s = rt::FReadText(handle_, count > 0 ? static_cast<size_t>(count) : 0);
    UPDATEERR();
    if (buffer.size() < s.size()) buffer.resize(s.size());
    buffer.replace(0, s.size(), s);
    return static_cast<int64_t>(s.size());
}

int64_t FileObject::WRITE(std::string text, rt::Usual count) {
    size_t n = rt::FWrite(handle_, text, CountOr(count, text.size()));
    UPDATEERR();
    return static_cast<int64_t>(n);
}

int64_t FileObject::WRITELINE(std::string text, rt::Usual count) {
    size_t n = rt::FPutS3(handle_, text, std::min(CountOr(count, text.size()), text.size()));
    UPDATEERR();
    return static_cast<int64_t>(n);
}

int64_t FileObject::WRITETEXT(std::string text, rt::Usual count) {
    size_t n = rt::FWriteText(handle_, text, CountOr(count, text.size()));
    UPDATEERR();
    return static_cast<int64_t>(n);
}

int64_t FileObject::SEEK(int64_t offset, rt::Usual origin) {
    int64_t pos = rt::FSeek(handle_, offset, static_cast<int>(origin.AsLong()));
    UPDATEERR();
    return pos;
}

rt::Usual FileObject::REWIND() {
    rt::FRewind(handle_);
    UPDATEERR();
    return rt::Usual(Self());
}

int32_t FileObject::Position32(int64_t pos) {
    if (pos <= INT32_MAX) return static_cast<int32_t>(pos);
    rt::FError(rt::kOsInvalidParameter);
    UPDATEERR();
    return -1;
}

int64_t FileObject::TELL() const { return rt::FTell(handle_); }

int64_t FileObject::LINECOUNT() {
    if (!opened_) return 0;
    GOTOP();
    int64_t count = 0;
    while (!EOF_()) {
        const int64_t before = TELL();
        const std::string piece = GETS(rt::Usual());
        if (ERROR()) break;
        // GETS hands a long line over in pieces; a line is counted where
        // its line end was stepped over, or at the end of the file.
        const bool lineEnded = TELL() - before > static_cast<int64_t>(piece.size());
        if (lineEnded || EOF_()) ++count;
    }
    return count;
}

std::string FileObject::ERRSTRING() const {
    if (errorCode_ == kDiskFull) return "Disk Full";
    if (errorCode_ == kEofReached) return "EOF was already reached when a read was tried";
    return rt::DosErrString(static_cast<int>(errorCode_));
}

}  // namespace lib
