#include "export/replacefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"

namespace exportdata {
namespace {

// Closes a descriptor and removes its file unless told to keep it.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    // Creates a new file beside `target`, never reusing an existing name.
    int Create(const std::string& target, mode_t mode) {
        size_t slash = target.rfind('/');
        std::string dir = target.substr(0, slash + 1);
        std::string base = target.substr(slash + 1);
        // Room for the dot, the process id, the number and ".tmp" within
        // the longest name the file system takes (255 bytes); a long name is
        // cut, never inside a UTF-8 character.
        constexpr size_t kBaseRoom = 200;
        if (base.size() > kBaseRoom) {
            size_t cut = kBaseRoom;
            while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
            base.resize(cut);
        }
        for (int n = 0; n < 1000; ++n) {
            std::string name = dir + "." + base + "." + std::to_string(::getpid()) + "." +
                               std::to_string(n) + ".tmp";
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd_ >= 0) {
                path_ = name;
                return 0;
            }
            if (errno != EEXIST) return rt::OsErrorFromErrno(errno, name);
        }
        return rt::kOsCannotMake;
    }

    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

    // The file has been renamed: nothing to remove any more.
    void Release() { path_.clear(); }

    int Close() {
        int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) return rt::OsErrorFromErrno(errno, path_);
        return 0;
    }

private:
    int fd_ = -1;
    std::string path_;
};

int WriteAll(int fd, std::string_view data, const std::string& path) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return rt::OsErrorFromErrno(errno, path);
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

// An existing target must be one that could be opened for writing: a
// read-only file, a directory or a file another program holds with a
// deny-write share mode is refused, as truncating it in place would be.
// So is anything that is not a plain file (a pipe, a device such as
// /dev/stdout): renaming over it would put a file in place of the node,
// and opening a pipe nobody reads would wait for ever.
int CheckExistingTarget(const std::string& native, struct stat& st, bool& exists) {
    exists = false;
    if (::stat(native.c_str(), &st) != 0) {
        if (errno == ENOENT) return 0;
        return rt::OsErrorFromErrno(errno, native);
    }
    exists = true;
    if (!S_ISREG(st.st_mode)) return rt::kOsAccessDenied;
    int err = 0;
    int fd = rt::ShareOpen(native, O_WRONLY, rt::kFoWrite, rt::kFoDenyNone, &err);
    if (fd < 0) return err;
    rt::ShareClose(fd);
    return 0;
}

// A name that is a symbolic link is written through: the file it points
// at gets the new content and the link stays. Renaming over the link
// would replace the link itself and leave that file as it was. A link
// that points nowhere is left to be replaced.
std::string ThroughLink(const std::string& native) {
    struct stat lst {};
    if (::lstat(native.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) return native;
    char* real = ::realpath(native.c_str(), nullptr);
    if (!real) return native;
    std::string target(real);
    std::free(real);
    return target;
}

void SyncDirectory(const std::string& native) {
    size_t slash = native.rfind('/');
    std::string dir = slash == 0 ? std::string("/") : native.substr(0, slash);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: the rename itself has happened
    ::close(fd);
}

}  // namespace

std::string NativeTarget(std::string_view path, int* osError) {
    return rt::FilePath(path, true, osError);
}

int ReplaceFileContent(std::string_view path, std::string_view content) {
    int err = 0;
    std::string native = NativeTarget(path, &err);
    if (native.empty()) return err ? err : rt::kOsPathNotFound;
    native = ThroughLink(native);

    struct stat st {};
    bool exists = false;
    if ((err = CheckExistingTarget(native, st, exists)) != 0) return err;

    TempFile temp;
    if ((err = temp.Create(native, 0666)) != 0) return err;
    // The new file has the old one's owner and group where this process
    // may give them (an administrator replacing a user's file); elsewhere
    // the file is the writer's own, as any file it writes.
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(temp.Fd(), st.st_uid, st.st_gid) != 0) {
    }
    if (exists && ::fchmod(temp.Fd(), st.st_mode & 07777) != 0)
        return rt::OsErrorFromErrno(errno, temp.Path());
    if ((err = WriteAll(temp.Fd(), content, temp.Path())) != 0) return err;
    // On the disk before the name points at it: a crash leaves the old file
    // or the whole new one.
    if (::fsync(temp.Fd()) != 0) return rt::OsErrorFromErrno(errno, temp.Path());
    if ((err = temp.Close()) != 0) return err;
    if (::rename(temp.Path().c_str(), native.c_str()) != 0) return rt::OsErrorFromErrno(errno, native);
    temp.Release();
    SyncDirectory(native);
    return 0;
}

}  // namespace exportdata
