// The objects a cell graphic (TCellGraphic) points to: raster pictures,
// string lists (radio items, button captions, comments), image-number lists
// and the colours of a progress bar; and the cell checker whose hooks the
// grid calls.
//
// Ownership follows the graphic: an object attached with an Add... call stays
// the caller's unless the graphic's owns flags say otherwise; Create... calls
// make objects that the graphic frees. An image list and a cell checker are
// the caller's and must outlive the grid that points to them.
#pragma once

#include "grid/gridobj.h"
#include "grid/imagelist.h"
#include "platform/canvas.h"
#include "platform/geometry.h"

#include <QImage>

#include <string>
#include <vector>

namespace grid {

enum TStretchMode { noStretch, Stretch, StretchWithAspectRatio, Shrink, ShrinkWithAspectRatio };

// A raster picture held by a cell. Bitmaps, icons and general pictures all
// come down to one QImage here, so they share this holder.
class TBitmap : public platform::Object {
public:
    TBitmap() = default;
    explicit TBitmap(QImage AImage) : Image(std::move(AImage)) {}
    QImage Image;
    int Width() const { return Image.width(); }
    int Height() const { return Image.height(); }
    bool Empty() const { return Image.isNull(); }
};
using TIcon = TBitmap;
using TPicture = TBitmap;

// Lines of text kept by a cell graphic.
class TCellStrings : public platform::Object {
public:
    std::vector<std::string> Lines;
    int Count() const { return static_cast<int>(Lines.size()); }
    // Position of the first line equal to S, -1 when none.
    int IndexOf(const std::string& S) const;
    // Splits S at CR LF, CR or LF into Lines.
    void SetText(const std::string& S);
};

// The image numbers of a multi-image cell.
class TCellImageList : public platform::Object, public TIntList {
public:
    using TIntList::TIntList;
};

// Colours of a progress bar: the done part, the rest, and the text on each.
class TProgressColors : public platform::Object {
public:
    platform::TColor Done = platform::clRed;
    platform::TColor Rest = platform::clWhite;
    platform::TColor DoneFont = platform::clWhite;
    platform::TColor RestFont = platform::clBlack;
};

// The cell checker: corrects or marks cell texts when the grid checks cells
// and when an edited cell is validated. The base class changes nothing; a
// checker derives and overrides. Nothing is applied until a flag is set.
class RIvuZuvuzoZuvuCheck : public platform::Object {
public:
    bool GotoCell = false;       // a checked cell becomes the current one for the while
    bool AutoCorrect = false;    // Correct on validation, before OnCellValidate
    bool AutoMarkError = false;  // MarkError on validation, after OnCellValidate
    bool UseCorrect = false;     // Correct when cells are checked
    bool UseMarkError = false;   // MarkError when cells are checked

    // S with every occurrence of HiS (in the text outside tags) enclosed in
    // <Tag> and </Tag>; "<BR>" and "<HR>" count as a line break (CR LF).
    static std::string HiLight(const std::string& S, const std::string& HiS, const std::string& Tag, bool DoCase);
    // S with the first occurrence of OldPattern (case-sensitive) replaced.
    static std::string ReplaceOnce(const std::string& S, const std::string& OldPattern, const std::string& NewPattern);

    // Each returns the new text of the cell.
    virtual std::string MarkError(int ACol, int ARow, const std::string& Text) { return Text; }
    virtual std::string Correct(int ACol, int ARow, const std::string& Text) { return Text; }
    virtual void StartCheck() {}
    virtual void StopCheck() {}
};

}  // namespace grid

namespace grid {

// Draws Bitmap with its top-left corner at R's, on a background of Color
// (nothing filled for clNone) in place of the colour of its top-left pixel.
void DrawBitmapTransp(platform::Canvas& Canvas, const QImage& Bitmap, platform::TColor Color, const platform::Rect& R);
// The same for one of the program's glyph bitmaps (BitmapResource).
void DrawBitmapResourceTransp(platform::Canvas& Canvas, platform::TColor Color, const platform::Rect& R,
                              const QString& ResName);

}  // namespace grid
