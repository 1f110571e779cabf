#include "lib/widgets/bitmap.h"

#include <QBuffer>
#include <QCache>
#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/gui/window.h"
#include "platform/runtime/posixfile.h"

namespace lib {
namespace {

// What identifies one version of a file: a changed file has another size,
// change time or inode (a file replaced by rename).
struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime = {};
    timespec ctime = {};
    bool operator==(const FileStamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

FileStamp StampOf(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim}; }

// The picture in a regular file, with the stamp of what was read. Anything
// else (a FIFO, a device, a folder) is refused before a byte is read, and
// the open does not wait for a writer. A file larger than Qt would decode
// (its image allocation limit) is not read at all.
QPixmap LoadRegularFile(const std::string& fileName, FileStamp* stamp) {
    if (fileName.empty()) return {};
    rt::Fd fd = rt::OpenFile(fileName, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    struct stat st = {};
    if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    if (stamp) *stamp = StampOf(st);
    const int64_t limitBytes = int64_t{QImageReader::allocationLimit()} * 1024 * 1024;
    if (limitBytes > 0 && st.st_size > limitBytes) return {};
    std::string bytes;
    if (rt::ReadAll(fd.Get(), &bytes) != 0) return {};
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage image = reader.read();
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

struct CachedPicture {
    FileStamp stamp;
    QPixmap pixmap;
};

// Decoded pictures by file name, at most kCacheKiB of them (least recently
// used go first); a picture larger than that is not kept.
constexpr int kCacheKiB = 256 * 1024;
QCache<QString, CachedPicture>& PictureCache() {
    static QCache<QString, CachedPicture> cache(kCacheKiB);
    return cache;
}

}  // namespace

const rt::ClassDef& Bitmap::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Bitmap>("BITMAP")
                                       .Access<&Bitmap::Handle>("HANDLE")
                                       .Method<&Bitmap::Handle>("HANDLE")
                                       .Access<&Bitmap::Size>("SIZE")
                                       .Done();
    return c;
}

Bitmap::~Bitmap() {
    if (handle_) gui::RetireHandle(handle_);
}

gui::HWND Bitmap::Handle() const {
    if (pixmap_.isNull()) return 0;
    if (!handle_) handle_ = gui::IssueObjectHandle(const_cast<Bitmap*>(this)->Self());
    return handle_;
}

void Bitmap::SetPixmap(QPixmap p) { pixmap_ = std::move(p); }

rt::Usual Bitmap::Size() const { return rt::Usual(rt::New<gui::Dimension>(pixmap_.width(), pixmap_.height())); }

const rt::ClassDef& BitmapFromDisk::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<BitmapFromDisk>("BITMAPFROMDISK", &Bitmap::StaticClass())
                                       .Method<&BitmapFromDisk::Init>("INIT")
                                       .Done();
    return c;
}

void BitmapFromDisk::Init(const rt::Usual&, const std::string& fileName) { SetPixmap(LoadImageFromFile(fileName)); }

QPixmap LoadImageFromFile(const std::string& fileName) { return LoadRegularFile(fileName, nullptr); }

QPixmap CachedImageFromFile(const std::string& fileName) {
    struct stat st = {};
    if (fileName.empty() || stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const QString key = QString::fromStdString(fileName);
    if (CachedPicture* hit = PictureCache().object(key); hit && hit->stamp == StampOf(st)) return hit->pixmap;
    auto entry = std::make_unique<CachedPicture>();
    entry->pixmap = LoadRegularFile(fileName, &entry->stamp);
    QPixmap pixmap = entry->pixmap;
    // A file that is no picture is remembered too, so it is not read again
    // at every paint.
    const qsizetype kib = std::max<qsizetype>(1, pixmap.width() * qsizetype{pixmap.height()} * pixmap.depth() / 8192);
    PictureCache().insert(key, entry.release(), kib);
    return pixmap;
}

QPixmap PixmapOfHandle(gui::HWND handle, const QSize& iconSize) {
    rt::Usual o = gui::ObjectOfHandle(handle);
    if (auto* b = dynamic_cast<Bitmap*>(o.AsObject().get())) return b->Pixmap();
    if (auto* i = dynamic_cast<gui::Icon*>(o.AsObject().get())) return i->Get().pixmap(iconSize);
    return {};
}

const rt::ClassDef& LightBulb::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<LightBulb>("LIGHTBULB", &Bitmap::StaticClass()).Done();
    return c;
}

LightBulb::LightBulb() {
    // A 48 x 48 bulb: yellow glass with a highlight, a grey screw base and rays.
    QPixmap pm(48, 48);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // Everything one pixel down, so the upright ray ends inside the picture.
    p.translate(0, 1);
    p.setPen(QPen(QColor(0xE0, 0xA0, 0x00), 2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 5; ++i) {
        p.save();
        p.translate(24, 18);
        p.rotate(-90 + (i - 2) * 40);
        p.drawLine(QPointF(14.5, 0), QPointF(17.5, 0));
        p.restore();
    }
    QRadialGradient glass(20, 13, 15);
    glass.setColorAt(0, QColor(0xFF, 0xFF, 0xD0));
    glass.setColorAt(1, QColor(0xFF, 0xD0, 0x20));
    p.setBrush(glass);
    p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1.5));
    QPainterPath bulb;
    bulb.addEllipse(QPointF(24, 18), 12, 12);
    QPainterPath neck;
    neck.addRect(18.5, 25, 11, 8);
    p.drawPath(bulb.united(neck));
    p.setPen(QPen(QColor(0xB0, 0x80, 0x00), 1.2));
    p.drawLine(QPointF(21, 30), QPointF(24, 20));
    p.drawLine(QPointF(27, 30), QPointF(24, 20));
    p.setBrush(QColor(0xA0, 0xA0, 0xA8));
    p.setPen(QPen(QColor(0x50, 0x50, 0x58), 1));
    for (int i = 0; i < 3; ++i) p.drawRoundedRect(QRectF(18, 33 + i * 3.2, 12, 3), 1, 1);
    p.setBrush(QColor(0x50, 0x50, 0x58));
    p.drawEllipse(QPointF(24, 43.5), 3, 1.8);
    p.end();
    SetPixmap(pm);
}

}  // namespace lib
