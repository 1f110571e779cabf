// AtomicReplace (posixfile.h): a new file renamed over the target, or a
// careful rewrite in place where a rename would lose something the target
// has (its other hard links, its owner) or cannot be done at all (a folder
// that takes no new file).
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/runtime/posixfile.h"

namespace rt {
namespace {

using Pieces = std::initializer_list<std::string_view>;

// The file that path names, following symbolic links (also one that names
// a file not made yet). Folders on the way are left as they are: the file
// is then replaced in the folder it really lives in all the same.
int ResolveLinks(const std::string& path, std::string* out) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat lst = {};
        if (::lstat(p.c_str(), &lst) != 0) {
            if (errno != ENOENT) return errno;
            *out = p;
            return 0;
        }
        if (!S_ISLNK(lst.st_mode)) {
            *out = p;
            return 0;
        }
        std::vector<char> buf(PATH_MAX);
        ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
        if (n < 0) return errno;
        if (static_cast<size_t>(n) == buf.size()) return ENAMETOOLONG;
        std::string link(buf.data(), static_cast<size_t>(n));
        p = link.front() == '/' ? link : FolderOf(p) + "/" + link;
    }
    return ELOOP;
}

// Removes the temporary file unless it has taken the target's name.
struct TempName {
    std::string path;
    ~TempName() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

// Creates a new file beside target, named after it with a leading dot.
int MakeTemp(const std::string& target, Fd* fd, TempName* name) {
    std::string folder = FolderOf(target);
    std::string base = target.substr(target.rfind('/') + 1);
    // Room for the dot and the suffix within the longest name (255 bytes);
    // a long name is cut, never inside a UTF-8 character.
    constexpr size_t kBaseRoom = 200;
    if (base.size() > kBaseRoom) {
        size_t cut = kBaseRoom;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
        base.resize(cut);
    }
    std::string tmpl = folder + "/." + base + ".XXXXXX";
    int raw = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (raw < 0) return errno;
    *fd = Fd(raw);
    name->path = tmpl;
    return 0;
}

size_t TotalSize(Pieces pieces) {
    size_t n = 0;
    for (std::string_view p : pieces) n += p.size();
    return n;
}

// Writes a file from its start, piece after piece, and has the disk start
// on each few megabytes as soon as they are written: the sync at the end
// then waits for the last stretch only, not for the whole file.
class FileWriter {
public:
    explicit FileWriter(int fd) : fd_(fd) {}
    int Put(std::string_view piece) {
        IoResult r = WriteAt(fd_, piece.data(), piece.size(), at_);
        if (!r.Ok()) return err_ = r.err;
        at_ += r.bytes;
        if (at_ - started_ >= kWritebackStep) {
            // Only a hint: the sync that follows is what makes the file durable.
            (void)::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(at_ - started_),
                                    SYNC_FILE_RANGE_WRITE);
            started_ = at_;
        }
        return 0;
    }
    int Err() const { return err_; }

private:
    static constexpr uint64_t kWritebackStep = uint64_t{2} << 20;
    int fd_;
    uint64_t at_ = 0, started_ = 0;
    int err_ = 0;
};

int WritePieces(int fd, Pieces pieces) {
    FileWriter w(fd);
    for (std::string_view p : pieces)
        if (int err = w.Put(p)) return err;
    return 0;
}

// What a replacement writes: pieces held by the caller, or pieces a
// producer makes while they are written.
struct Content {
    Pieces pieces;
    const ReplaceProducer* produce = nullptr;
};

ReplaceResult Failed(ReplaceResult&& r, ReplaceStep step, int err) {
    r.step = step;
    r.err = err;
    return std::move(r);
}

// The rewrite in place: the space the new content needs is reserved
// first, so that a full disk is found before a byte of the old content is
// touched; should a write still fail, the old content goes back.
ReplaceResult RewriteInPlace(Fd fd, const struct stat& st, bool readable, Pieces pieces,
                             const ReplaceOptions& options) {
    ReplaceResult res;
    res.inPlace = true;
    if (options.keepOpen && !readable) return Failed(std::move(res), ReplaceStep::kTarget, EACCES);
    const size_t total = TotalSize(pieces);
    std::string old;
    if (readable) {
        old.resize(static_cast<size_t>(st.st_size));
        IoResult r = ReadAt(fd.Get(), old.data(), old.size(), 0);
        if (!r.Ok()) return Failed(std::move(res), ReplaceStep::kTarget, r.err);
        old.resize(r.bytes);
    }
    if (total > static_cast<size_t>(st.st_size) && ::fallocate(fd.Get(), 0, 0, static_cast<off_t>(total)) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return Failed(std::move(res), ReplaceStep::kWrite, errno);
    int err = WritePieces(fd.Get(), pieces);
    if (err == 0) err = Truncate(fd.Get(), total);
    if (err != 0) {
        if (readable) {
            IoResult back = WriteAt(fd.Get(), old.data(), old.size(), 0);
            if (back.Ok() && Truncate(fd.Get(), old.size()) == 0) (void)SyncFile(fd.Get());
        }
        return Failed(std::move(res), ReplaceStep::kWrite, err);
    }
    res.replaced = true;
    if ((err = SyncFile(fd.Get())) != 0) return Failed(std::move(res), ReplaceStep::kSync, err);
    if (options.keepOpen) res.fd = std::move(fd);
    else if ((err = fd.Close()) != 0) return Failed(std::move(res), ReplaceStep::kSync, err);
    return res;
}

// The rewrite in place of a produced content: made in memory first, since
// the rewrite must know its size before it touches the old content.
ReplaceResult RewriteInPlace(Fd fd, const struct stat& st, bool readable, const Content& content,
                             const ReplaceOptions& options) {
    if (!content.produce) return RewriteInPlace(std::move(fd), st, readable, content.pieces, options);
    std::string all;
    if (int err = (*content.produce)([&](std::string_view piece) {
            all.append(piece);
            return 0;
        }))
        return Failed(ReplaceResult{}, ReplaceStep::kProduce, err);
    return RewriteInPlace(std::move(fd), st, readable, {std::string_view(all)}, options);
}

// Writes the content to the temporary file: kWrite with the errno of a
// failed write, kProduce with the code of a producer that stopped.
ReplaceStep WriteContent(int fd, const Content& content, int* err) {
    if (!content.produce) {
        *err = WritePieces(fd, content.pieces);
        return *err ? ReplaceStep::kWrite : ReplaceStep::kNone;
    }
    FileWriter w(fd);
    *err = (*content.produce)([&](std::string_view piece) { return w.Put(piece); });
    if (w.Err()) {
        *err = w.Err();
        return ReplaceStep::kWrite;
    }
    return *err ? ReplaceStep::kProduce : ReplaceStep::kNone;
}

ReplaceResult Replace(const std::string& path, const Content& content, const ReplaceOptions& options) {
    ReplaceResult res;
    std::string target;
    if (int err = ResolveLinks(path, &target)) return Failed(std::move(res), ReplaceStep::kTarget, err);

    // An existing target must be a regular file this process could open
    // for writing: the OS decides (permission bits, a read-only file
    // system, a running program). A pipe or device is never replaced by a
    // file, and O_NONBLOCK keeps a pipe without a reader from blocking.
    struct stat st = {};
    bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return Failed(std::move(res), ReplaceStep::kTarget, errno);
    Fd old;
    bool readable = true;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return Failed(std::move(res), ReplaceStep::kTarget, EISDIR);
        if (!S_ISREG(st.st_mode)) return Failed(std::move(res), ReplaceStep::kTarget, EPERM);
        int err = 0;
        old = OpenFile(target, O_RDWR | O_NOCTTY | O_NONBLOCK, 0, &err);
        if (!old && err == EACCES) {
            readable = false;
            old = OpenFile(target, O_WRONLY | O_NOCTTY | O_NONBLOCK, 0, &err);
        }
        if (!old) return Failed(std::move(res), ReplaceStep::kTarget, err);
        if (::fstat(old.Get(), &st) != 0) return Failed(std::move(res), ReplaceStep::kTarget, errno);
        // Renaming would cut the other names off from the new content.
        if (st.st_nlink > 1) return RewriteInPlace(std::move(old), st, readable, content, options);
    }

    Fd tmp;
    TempName name;
    if (int err = MakeTemp(target, &tmp, &name)) {
        // A folder that takes no new file, holding a file that may be written.
        if (exists && (err == EACCES || err == EPERM))
            return RewriteInPlace(std::move(old), st, readable, content, options);
        return Failed(std::move(res), ReplaceStep::kTemp, err);
    }
    if (exists) {
        struct stat tst = {};
        if (::fstat(tmp.Get(), &tst) != 0) return Failed(std::move(res), ReplaceStep::kOwner, errno);
        if ((tst.st_uid != st.st_uid || tst.st_gid != st.st_gid) && ::fchown(tmp.Get(), st.st_uid, st.st_gid) != 0) {
            if (errno != EPERM) return Failed(std::move(res), ReplaceStep::kOwner, errno);
            // Only the file itself keeps an owner this process cannot give.
            ::unlink(name.path.c_str());
            name.path.clear();
            return RewriteInPlace(std::move(old), st, readable, content, options);
        }
    }
    mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~ProcessUmask());
    if (::fchmod(tmp.Get(), mode) != 0) return Failed(std::move(res), ReplaceStep::kOwner, errno);
    int writeErr = 0;
    if (ReplaceStep failed = WriteContent(tmp.Get(), content, &writeErr); failed != ReplaceStep::kNone)
        return Failed(std::move(res), failed, writeErr);
    // On the disk before the name points at it: a crash leaves the old file
    // or the whole new one.
    if (int err = SyncFile(tmp.Get())) return Failed(std::move(res), ReplaceStep::kSync, err);
    if (!options.keepOpen)
        if (int err = tmp.Close()) return Failed(std::move(res), ReplaceStep::kSync, err);
    if (int err = RenameFile(name.path, target)) return Failed(std::move(res), ReplaceStep::kRename, err);
    name.path.clear();
    res.replaced = true;
    if (options.keepOpen) res.fd = std::move(tmp);
    if (int err = SyncFolderOf(target)) return Failed(std::move(res), ReplaceStep::kFolderSync, err);
    return res;
}

}  // namespace

ReplaceResult AtomicReplace(const std::string& path, Pieces pieces, const ReplaceOptions& options) {
    return Replace(path, Content{pieces, nullptr}, options);
}

ReplaceResult AtomicReplaceStreamed(const std::string& path, const ReplaceProducer& produce,
                                    const ReplaceOptions& options) {
    return Replace(path, Content{{}, &produce}, options);
}

}  // namespace rt
