#include "grid/gridobj.h"

#include "grid/pictures.h"

#include <QImage>

namespace grid {

void TIntList::changed()
{
    if (OnChange)
        OnChange(this, param1_, param2_);
}

void TIntList::SetItem(int Index, int Value)
{
    items_.at(Index) = Value;
    changed();
}

void TIntList::Add(int Value)
{
    items_.push_back(Value);
    changed();
}

void TIntList::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("TIntList index out of range");
    items_.erase(items_.begin() + Index);
    changed();
}

void TIntList::Clear()
{
    items_.clear();
    changed();
}

void TSortIndexList::AddIndex(int ACol, bool Ascending)
{
    std::uint32_t v = static_cast<std::uint32_t>(ACol);
    if (!Ascending)
        v |= DescendingBit;
    Add(static_cast<int>(v));
}

int TSortIndexList::FindIndex(int ACol) const
{
    for (int i = 0; i < Count(); ++i)
        if ((static_cast<std::uint32_t>(Item(i)) & ~DescendingBit) == static_cast<std::uint32_t>(ACol))
            return i;
    return -1;
}

void TSortIndexList::ToggleIndex(int ACol)
{
    int i = FindIndex(ACol);
    if (i >= 0)
        SetItem(i, static_cast<int>(static_cast<std::uint32_t>(Item(i)) ^ DescendingBit));
}

void TFilePicture::SetFileName(const QString& Value)
{
    fileName_ = Value;
    const QImage image = LoadPictureFile(Value);  // never blocks on a pipe or device
    width_ = image.width();
    height_ = image.height();
}

void TFilePicture::DrawPicture(platform::Canvas& Canvas, const platform::Rect& R) const
{
    if (fileName_.isEmpty())
        return;
    const QImage image = LoadPictureFile(fileName_);
    if (!image.isNull())
        Canvas.StretchDraw(R, image);
}

}  // namespace grid
