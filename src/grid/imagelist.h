// TCustomImageList: a row of equally sized pictures addressed by index, as the
// grid's GridImages. The HTML renderer draws "IDX:n" pictures from it and the
// cell graphics draw image-list cells. Pictures of another size are scaled to
// the list's size when added; an index outside 0..Count()-1 draws nothing.
#pragma once

#include "platform/canvas.h"
#include "platform/geometry.h"

#include <QImage>

#include <vector>

namespace grid {

class TCustomImageList : public platform::Object {
public:
    TCustomImageList(int Width = 16, int Height = 16) : width_(Width > 0 ? Width : 16), height_(Height > 0 ? Height : 16) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return static_cast<int>(images_.size()); }

    // Appends a picture and returns its index.
    int Add(const QImage& Image)
    {
        images_.push_back(Image.size() == QSize(width_, height_)
                              ? Image
                              : Image.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        return Count() - 1;
    }
    void Clear() { images_.clear(); }
    // The picture at Index, a null image outside the list.
    QImage Image(int Index) const { return Index >= 0 && Index < Count() ? images_[Index] : QImage(); }
    void Draw(platform::Canvas& Canvas, int X, int Y, int Index) const
    {
        if (Index >= 0 && Index < Count())
            Canvas.Draw(X, Y, images_[Index]);
    }

private:
    int width_, height_;
    std::vector<QImage> images_;
};

}  // namespace grid
