// Bitmaps by handle: a Bitmap object owns a picture and answers an object
// handle for it (what a list box node or a picture control keeps);
// BitmapFromDisk loads its picture from a file instead of a resource, and
// LightBulb is the tip of the day's picture, drawn here.
#pragma once

#include <QPixmap>

#include <string>

#include "platform/gui/handles.h"
#include "platform/runtime/object.h"

namespace lib {

class Bitmap : public rt::Object {
    QZ_OBJECT(Bitmap)
public:
    Bitmap() = default;
    ~Bitmap() override;
    // The bitmap's handle, 0 while it holds no picture.
    gui::HWND Handle() const;
    const QPixmap& Pixmap() const { return pixmap_; }
    void SetPixmap(QPixmap p);
    rt::Usual Size() const;

private:
    QPixmap pixmap_;
    mutable gui::HWND handle_ = 0;
};

class BitmapFromDisk : public Bitmap {
    QZ_OBJECT(BitmapFromDisk)
public:
    BitmapFromDisk() = default;
    // INIT(unused, file name): BMP and every format Qt reads; a file that
    // cannot be read leaves the handle null, without an error.
    void Init(const rt::Usual& unused, const std::string& fileName);
};

class LightBulb : public Bitmap {
    QZ_OBJECT(LightBulb)
public:
    LightBulb();
};

// LoadImageA with LR_LOADFROMFILE for IMAGE_BITMAP: the picture of the
// file, or a null pixmap. Only a regular file is read (a FIFO or a device
// gives a null pixmap at once); the format is decided by the content.
QPixmap LoadImageFromFile(const std::string& fileName);
// The same, decoded once per version of the file (name, size, change time,
// inode) and kept in a small cache, for pictures drawn again and again.
QPixmap CachedImageFromFile(const std::string& fileName);
// The picture behind a bitmap or icon handle (a Bitmap's, an Icon's); null
// for a stale or unknown handle.
QPixmap PixmapOfHandle(gui::HWND handle, const QSize& iconSize);

}  // namespace lib
