// Per-cell graphic objects of the list grid: attaching, reading and removing
// them, the rules of check boxes, radio groups and buttons, and the room a
// graphic takes. The graphic sits in the cell's properties object, so it moves
// with its row or column and is freed with it.
#include "grid/listgrid.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace grid {

namespace {

int normalisedAngle(int Angle)
{
    if (Angle < 0) {
        Angle %= 360;
        if (Angle < 0)
            Angle += 360;
    } else if (Angle > 360) {
        Angle = (Angle - 1) % 360 + 1;
    }
    return Angle;
}

std::uint16_t clamp16(int V) { return static_cast<std::uint16_t>(std::clamp(V, 0, 0xFFFF)); }

int packedWidth(const TCellGraphic& G) { return G.CellIndex & 0xFFFF; }
int packedHeight(const TCellGraphic& G) { return (static_cast<unsigned>(G.CellIndex) >> 16) & 0xFFFF; }

bool isCheckType(TCellType T) { return T == ctCheckBox || T == ctDataCheckBox; }
bool isButtonType(TCellType T) { return T == ctButton || T == ctBitButton; }

// Width and height of a picture cell's picture before any stretching.
QSize pictureSourceSize(const TCellGraphic& G)
{
    if (auto* b = dynamic_cast<const TBitmap*>(G.CellObject))
        return {b->Width(), b->Height()};
    if (auto* f = dynamic_cast<const TFilePicture*>(G.CellObject))
        return {f->Width(), f->Height()};
    return {0, 0};
}

// Makes a T, attaches it through Add and hands it to the cell's new graphic.
template <typename T, typename AddFn>
T* createOwned(RIvuZuvuzoZuvu& G, int ACol, int ARow, AddFn Add)
{
    auto* object = new T;
    Add(object);
    G.GetCellGraphic(ACol, ARow)->OwnsObject = true;
    return object;
}

}  // namespace

// ---------------------------------------------------------------- TCellGraphic

QPoint TCellGraphic::GetPictureSize(int CellWidth, int CellHeight, bool) const
{
    const QSize s = pictureSourceSize(*this);
    const int w = s.width(), h = s.height();
    const int pad = CellIndex;
    const int cw = CellWidth - pad, ch = CellHeight - pad;
    const bool fits = w <= cw && h <= ch;
    auto ratio = [](int avail, int size) { return size < 1 ? 1.0 : static_cast<double>(avail) / size; };
    auto scaled = [&](double r) { return QPoint(qRound(w * r), qRound(h * r)); };
    switch (static_cast<TStretchMode>(CellAngle)) {
    case Stretch:
        return {cw, ch};
    case StretchWithAspectRatio:
        return scaled(std::min(ratio(cw, w), ratio(ch, h)));
    case Shrink:
        return fits ? QPoint(w, h) : QPoint(cw, ch);
    case ShrinkWithAspectRatio:
        return fits ? QPoint(w, h) : scaled(std::min(std::min(1.0, ratio(cw, w)), std::min(1.0, ratio(ch, h))));
    case noStretch:
    default:
        return {w, h};
    }
}

// ---------------------------------------------------------------- core

TCellGraphic* RIvuZuvuzoZuvu::GetCellGraphic(int ACol, int ARow) const
{
    return dynamic_cast<TCellGraphic*>(GetGraphicObjectEx(ACol, ARow));
}

TCellType RIvuZuvuzoZuvu::GetCellType(int ACol, int ARow) const
{
    const TCellGraphic* g = GetCellGraphic(ACol, ARow);
    return g ? g->CellType : ctEmpty;
}

TCellGraphic* RIvuZuvuzoZuvu::graphicOf(int ACol, int ARow, TCellType AType) const
{
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    return g && g->CellType == AType ? g : nullptr;
}

TCellGraphic* RIvuZuvuzoZuvu::baseGraphic(int ACol, int ARow) const
{
    const QPoint b = BaseCell(ACol, ARow);
    return GetCellGraphic(b.x(), b.y());
}

bool RIvuZuvuzoZuvu::FreeCellGraphic(int ACol, int ARow)
{
    platform::Object* old = GetGraphicObjectEx(ACol, ARow);
    if (!old)
        return false;
    if (auto* g = dynamic_cast<TCellGraphic*>(old); g && g->CellType == ctNode)
        cellNodes_ = std::max(0, cellNodes_ - 1);
    SetGraphicObjectEx(ACol, ARow, nullptr);
    delete old;
    RepaintCell(ACol, ARow);
    return true;
}

bool RIvuZuvuzoZuvu::RemoveCellGraphic(int ACol, int ARow, TCellType AType)
{
    return graphicOf(ACol, ARow, AType) && FreeCellGraphic(ACol, ARow);
}

TCellGraphic* RIvuZuvuzoZuvu::CreateCellGraphic(int ACol, int ARow)
{
    FreeCellGraphic(ACol, ARow);
    auto* g = new TCellGraphic;
    SetGraphicObjectEx(ACol, ARow, g);
    return g;
}

TCellGraphic* RIvuZuvuzoZuvu::newGraphic(int ACol, int ARow, TCellType AType, TCellHAlign HAlign,
                                         TCellVAlign VAlign)
{
    TCellGraphic* g = CreateCellGraphic(ACol, ARow);
    g->CellType = AType;
    g->CellHAlign = HAlign;
    g->CellVAlign = VAlign;
    RepaintCell(ACol, ARow);
    return g;
}

// ---------------------------------------------------------------- pictures

void RIvuZuvuzoZuvu::AddBitmap(int ACol, int ARow, TBitmap* ABitmap, bool Transparent, TCellHAlign HAlign,
                               TCellVAlign VAlign)
{
    TCellGraphic* g = newGraphic(ACol, ARow, ctBitmap, HAlign, VAlign);
    g->CellObject = ABitmap;
    g->CellTransparent = Transparent;
}

TBitmap* RIvuZuvuzoZuvu::CreateBitmap(int ACol, int ARow, bool Transparent, TCellHAlign HAlign, TCellVAlign VAlign)
{
    return createOwned<TBitmap>(*this, ACol, ARow,
                                [&](TBitmap* b) { AddBitmap(ACol, ARow, b, Transparent, HAlign, VAlign); });
}

TBitmap* RIvuZuvuzoZuvu::GetBitmap(int ACol, int ARow) const
{
    const TCellGraphic* g = graphicOf(ACol, ARow, ctBitmap);
    return g ? dynamic_cast<TBitmap*>(g->CellObject) : nullptr;
}

void RIvuZuvuzoZuvu::setPictureFields(TCellGraphic* G, bool Transparent, TStretchMode StretchMode, int Padding)
{
    G->CellTransparent = Transparent;
    G->CellAngle = StretchMode;
    G->CellIndex = Padding;
}

void RIvuZuvuzoZuvu::AddPicture(int ACol, int ARow, TPicture* APicture, bool Transparent, TStretchMode StretchMode,
                                int Padding, TCellHAlign HAlign, TCellVAlign VAlign)
{
    TCellGraphic* g = newGraphic(ACol, ARow, ctPicture, HAlign, VAlign);
    g->CellObject = APicture;
    setPictureFields(g, Transparent, StretchMode, Padding);
}

TPicture* RIvuZuvuzoZuvu::CreatePicture(int ACol, int ARow, bool Transparent, TStretchMode StretchMode, int Padding,
                                        TCellHAlign HAlign, TCellVAlign VAlign)
{
    return createOwned<TPicture>(*this, ACol, ARow, [&](TPicture* p) {
        AddPicture(ACol, ARow, p, Transparent, StretchMode, Padding, HAlign, VAlign);
    });
}

TPicture* RIvuZuvuzoZuvu::GetPicture(int ACol, int ARow) const
{
    const TCellGraphic* g = graphicOf(ACol, ARow, ctPicture);
    return g ? dynamic_cast<TPicture*>(g->CellObject) : nullptr;
}

void RIvuZuvuzoZuvu::AddFilePicture(int ACol, int ARow, TFilePicture* APicture, bool Transparent,
                                    TStretchMode StretchMode, int Padding, TCellHAlign HAlign, TCellVAlign VAlign)
{
    TCellGraphic* g = newGraphic(ACol, ARow, ctFilePicture, HAlign, VAlign);
    g->CellObject = APicture;
    setPictureFields(g, Transparent, StretchMode, Padding);
}

TFilePicture* RIvuZuvuzoZuvu::CreateFilePicture(int ACol, int ARow, bool Transparent, TStretchMode StretchMode,
                                                int Padding, TCellHAlign HAlign, TCellVAlign VAlign)
{
    return createOwned<TFilePicture>(*this, ACol, ARow, [&](TFilePicture* p) {
        AddFilePicture(ACol, ARow, p, Transparent, StretchMode, Padding, HAlign, VAlign);
    });
}

TFilePicture* RIvuZuvuzoZuvu::GetFilePicture(int ACol, int ARow) const
{
    const TCellGraphic* g = graphicOf(ACol, ARow, ctFilePicture);
    return g ? dynamic_cast<TFilePicture*>(g->CellObject) : nullptr;
}

void RIvuZuvuzoZuvu::AddIcon(int ACol, int ARow, TIcon* AIcon, TCellHAlign HAlign, TCellVAlign VAlign)
{
    newGraphic(ACol, ARow, ctIcon, HAlign, VAlign)->CellObject = AIcon;
}

TIcon* RIvuZuvuzoZuvu::CreateIcon(int ACol, int ARow, TCellHAlign HAlign, TCellVAlign VAlign)
{
    return createOwned<TIcon>(*this, ACol, ARow, [&](TIcon* icon) { AddIcon(ACol, ARow, icon, HAlign, VAlign); });
}

TIcon* RIvuZuvuzoZuvu::GetIcon(int ACol, int ARow) const
{
    const TCellGraphic* g = graphicOf(ACol, ARow, ctIcon);
    return g ? dynamic_cast<TIcon*>(g->CellObject) : nullptr;
}

// ---------------------------------------------------------------- image lists

TCustomImageList* RIvuZuvuzoZuvu::ImageList() const { return dynamic_cast<TCustomImageList*>(GridImages); }

void RIvuZuvuzoZuvu::AddImageIdx(int ACol, int ARow, int Index, TCellHAlign HAlign, TCellVAlign VAlign)
{
    if (ImageList())
        newGraphic(ACol, ARow, ctImageList, HAlign, VAlign)->CellIndex = Index;
}

bool RIvuZuvuzoZuvu::GetImageIdx(int ACol, int ARow, int& Index) const
{
    const TCellGraphic* g = graphicOf(ACol, ARow, ctImageList);
    if (!g || !ImageList())
        return false;
    Index = g->CellIndex;
    return true;
}

void RIvuZuvuzoZuvu::AddDataImage(int ACol, int ARow, int Index, TCellHAlign HAlign, TCellVAlign VAlign)
{
    if (ImageList())
        newGraphic(ACol, ARow, ctDataImage, HAlign, VAlign)->CellIndex = Index;
}

void RIvuZuvuzoZuvu::AddMultiImage(int ACol, int ARow, int Dir, TCellHAlign HAlign, TCellVAlign VAlign)
{
    if (!ImageList())
        return;
    TCellGraphic* g = newGraphic(ACol, ARow, ctImages, HAlign, VAlign);
    auto* list = new TCellImageList(ACol, ARow);
    list->OnChange = [this](TIntList*, int c, int r) { RepaintCell(c, r); };
    g->CellObject = list;
    g->OwnsObject = true;
    g->CellBoolean = Dir == 0;
}

TIntList* RIvuZuvuzoZuvu::GetCellImages(int ACol, int ARow) const
{
    const TCellGraphic* g = graphicOf(ACol, ARow, ctImages);
    return g ? dynamic_cast<TCellImageList*>(g->CellObject) : nullptr;
}

long long RIvuZuvuzoZuvu::GetCellImageIdx(int ACol, int ARow) const
{
    const TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g)
        return -1;
    switch (g->CellType) {
    case ctBitmap:
    case ctIcon:
        if (auto* b = dynamic_cast<const TBitmap*>(g->CellObject))
            return b->Image.cacheKey();
        return -1;
    case ctImages:
        return g->CellIndex;
    default:
        return -1;
    }
}

// ---------------------------------------------------------------- radio groups

void RIvuZuvuzoZuvu::AddRadio(int ACol, int ARow, int Across, int Selected, TCellStrings* Items)
{
    TCellGraphic* g = newGraphic(ACol, ARow, ctRadio, haLeft, vaTop);
    g->CellObject = Items;
    g->CellAngle = Items ? Items->Count() : 0;
    g->CellBoolean = Across != 0;
    g->CellIndex = Selected;
}

TCellStrings* RIvuZuvuzoZuvu::CreateRadio(int ACol, int ARow, int Across, int Selected)
{
    auto* items = new TCellStrings;
    AddRadio(ACol, ARow, Across, Selected, items);
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    g->OwnsObject = true;
    g->CellAngle = 0;
    return items;
}

TCellStrings* RIvuZuvuzoZuvu::GetRadioStrings(int ACol, int ARow) const
{
    const TCellGraphic* g = baseGraphic(ACol, ARow);
    return g && g->CellType == ctRadio ? dynamic_cast<TCellStrings*>(g->CellObject) : nullptr;
}

bool RIvuZuvuzoZuvu::IsRadio(int ACol, int ARow) const
{
    const TCellGraphic* g = baseGraphic(ACol, ARow);
    return g && g->CellType == ctRadio;
}

bool RIvuZuvuzoZuvu::GetRadioIdx(int ACol, int ARow, int& Index) const
{
    const TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g)
        return false;
    Index = g->CellIndex;
    return g->CellType == ctRadio;
}

// Only a radio cell takes the index: the same field holds a button's size or
// a picture's padding in other cells.
bool RIvuZuvuzoZuvu::SetRadioIdx(int ACol, int ARow, int Index)
{
    TCellGraphic* g = graphicOf(ACol, ARow, ctRadio);
    if (!g)
        return false;
    g->CellIndex = Index;
    RepaintCell(ACol, ARow);
    return true;
}

bool RIvuZuvuzoZuvu::canEditFrom(int ACol, int ARow, bool FromEdit)
{
    if (!FromEdit)
        return true;
    bool canEdit = true;
    GetCellReadOnly(ACol, ARow, canEdit);
    return canEdit;
}

bool RIvuZuvuzoZuvu::ToggleRadio(int ACol, int ARow, bool FromEdit)
{
    TCellGraphic* g = graphicOf(ACol, ARow, ctRadio);
    if (!g || !canEditFrom(ACol, ARow, FromEdit))
        return false;
    const auto* items = dynamic_cast<const TCellStrings*>(g->CellObject);
    if (!items || items->Count() == 0)
        return false;
    const int current = g->CellIndex >= 0 ? g->CellIndex : items->IndexOf(GetCellEx(ACol, ARow));
    int next = current + 1;
    if (next < 0 || next >= items->Count())
        next = 0;
    SetCellEx(ACol, ARow, items->Lines[static_cast<std::size_t>(next)]);
    if (g->CellIndex >= 0)
        g->CellIndex = next;
    RepaintCell(RemapColInv(ACol), ARow);
    return true;
}

// ---------------------------------------------------------------- check boxes

void RIvuZuvuzoZuvu::AddCheckBox(int ACol, int ARow, bool State, bool Data)
{
    static constexpr TCellVAlign fromGrid[] = {vaTop, vaCenter, vaBottom};
    TCellGraphic* g =
        newGraphic(ACol, ARow, Data ? ctDataCheckBox : ctCheckBox, haBeforeText, fromGrid[VAlignment()]);
    g->CellBoolean = State;
    g->CellTransparent = true;
}

bool RIvuZuvuzoZuvu::RemoveCheckBox(int ACol, int ARow)
{
    return RemoveCellGraphic(ACol, ARow, ctCheckBox) || RemoveCellGraphic(ACol, ARow, ctDataCheckBox);
}

bool RIvuZuvuzoZuvu::HasCheckBox(int ACol, int ARow) const
{
    const TCellGraphic* g = baseGraphic(ACol, ARow);
    return g && isCheckType(g->CellType);
}

bool RIvuZuvuzoZuvu::HasDataCheckBox(int ACol, int ARow) const
{
    const TCellGraphic* g = baseGraphic(ACol, ARow);
    return g && g->CellType == ctDataCheckBox;
}

bool RIvuZuvuzoZuvu::HasStaticEdit(int ACol, int ARow) const
{
    const TCellGraphic* g = baseGraphic(ACol, ARow);
    return g && (isCheckType(g->CellType) || g->CellType == ctRadio);
}

bool RIvuZuvuzoZuvu::GetCheckBoxState(int ACol, int ARow, bool& State)
{
    const TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g || !isCheckType(g->CellType))
        return false;
    State = g->CellType == ctCheckBox ? g->CellBoolean : GetCellEx(ACol, ARow) == GetCheckTrue(ACol, ARow);
    return true;
}

bool RIvuZuvuzoZuvu::SetCheckBoxState(int ACol, int ARow, bool State)
{
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g || !isCheckType(g->CellType))
        return false;
    if (g->CellType == ctCheckBox) {
        g->CellBoolean = State;
        RepaintCell(ACol, ARow);
    } else {
        SetCellEx(ACol, ARow, State ? GetCheckTrue(ACol, ARow) : GetCheckFalse(ACol, ARow));
    }
    return true;
}

bool RIvuZuvuzoZuvu::ToggleCheck(int ACol, int ARow, bool FromEdit)
{
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g || !isCheckType(g->CellType) || !canEditFrom(ACol, ARow, FromEdit))
        return false;
    if (g->CellType == ctDataCheckBox) {
        const std::string checkTrue = GetCheckTrue(ACol, ARow);
        SetCellEx(ACol, ARow, GetCellEx(ACol, ARow) == checkTrue ? GetCheckFalse(ACol, ARow) : checkTrue);
    } else {
        g->CellBoolean = !g->CellBoolean;
    }
    RepaintCell(RemapColInv(ACol), ARow);
    return true;
}

// ---------------------------------------------------------------- buttons

void RIvuZuvuzoZuvu::AddButton(int ACol, int ARow, int BWidth, int BHeight, const std::string& Caption,
                               TCellHAlign HAlign, TCellVAlign VAlign)
{
    TCellGraphic* g = newGraphic(ACol, ARow, ctButton, HAlign, VAlign);
    auto* caption = new TCellStrings;
    caption->SetText(Caption);
    g->CellObject = caption;
    g->OwnsObject = true;
    g->CellIndex = static_cast<int>(clamp16(BWidth) | (static_cast<unsigned>(clamp16(BHeight)) << 16));
}

void RIvuZuvuzoZuvu::AddBitButton(int ACol, int ARow, int BWidth, int BHeight, const std::string& Caption,
                                  TBitmap* Glyph, TCellHAlign HAlign, TCellVAlign VAlign)
{
    AddButton(ACol, ARow, BWidth, BHeight, Caption, HAlign, VAlign);
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    g->CellType = ctBitButton;
    g->SecondObject = Glyph;
    g->OwnsSecondObject = true;
}

TBitmap* RIvuZuvuzoZuvu::CreateBitButton(int ACol, int ARow, int BWidth, int BHeight, const std::string& Caption,
                                         TCellHAlign HAlign, TCellVAlign VAlign)
{
    auto* glyph = new TBitmap;
    AddBitButton(ACol, ARow, BWidth, BHeight, Caption, glyph, HAlign, VAlign);
    return glyph;
}

bool RIvuZuvuzoZuvu::RemoveButton(int ACol, int ARow)
{
    return RemoveCellGraphic(ACol, ARow, ctButton) || RemoveCellGraphic(ACol, ARow, ctBitButton);
}

bool RIvuZuvuzoZuvu::HasButton(int ACol, int ARow) const
{
    const TCellGraphic* g = baseGraphic(ACol, ARow);
    return g && isButtonType(g->CellType);
}

void RIvuZuvuzoZuvu::PushButton(int ACol, int ARow, bool Pushed)
{
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g || !isButtonType(g->CellType))
        return;
    g->CellBoolean = Pushed;
    RepaintCell(ACol, ARow);
}

Rect RIvuZuvuzoZuvu::ButtonRect(int ACol, int ARow) const
{
    const TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g || !isButtonType(g->CellType))
        return {};
    const Rect cell = CellRect(ACol, ARow);
    const int dx = static_cast<std::int16_t>(g->ButtonPos & 0xFFFF);
    const int dy = static_cast<std::int16_t>(g->ButtonPos >> 16);
    return Rect::FromSize(cell.Left + dx, cell.Top + dy, packedWidth(*g), packedHeight(*g));
}

// ---------------------------------------------------------------- progress, comments, rotation, markers

void RIvuZuvuzoZuvu::AddProgress(int ACol, int ARow, TColor Color1, TColor Color2)
{
    TCellGraphic* g = newGraphic(ACol, ARow, ctProgress, haLeft, vaTop);
    auto* colors = new TProgressColors;
    colors->Done = Color1;
    colors->Rest = Color2;
    g->CellObject = colors;
    g->OwnsObject = true;
    g->CellBoolean = false;
}

void RIvuZuvuzoZuvu::AddProgressEx(int ACol, int ARow, TColor Color1, TColor Color2, TColor Color3, TColor Color4)
{
    AddProgress(ACol, ARow, Color1, Color3);
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    auto* colors = static_cast<TProgressColors*>(g->CellObject);
    colors->DoneFont = Color2;
    colors->RestFont = Color4;
    g->CellBoolean = true;
}

void RIvuZuvuzoZuvu::AddComment(int ACol, int ARow, const std::string& Text)
{
    TCellGraphic* g = newGraphic(ACol, ARow, ctComment, haLeft, vaTop);
    auto* lines = new TCellStrings;
    lines->SetText(Text);
    g->CellObject = lines;
    g->OwnsObject = true;
}

bool RIvuZuvuzoZuvu::IsComment(int ACol, int ARow, std::string& Text) const
{
    const TCellGraphic* g = graphicOf(ACol, ARow, ctComment);
    const auto* lines = g ? dynamic_cast<const TCellStrings*>(g->CellObject) : nullptr;
    if (!lines)
        return false;
    Text.clear();
    for (std::size_t i = 0; i < lines->Lines.size(); ++i) {
        if (i > 0)
            Text += "\r\n";
        Text += lines->Lines[i];
    }
    return true;
}

void RIvuZuvuzoZuvu::AddRotated(int ACol, int ARow, int Angle, const std::string& Text)
{
    newGraphic(ACol, ARow, ctRotated, haLeft, vaTop)->CellAngle = normalisedAngle(Angle);
    SetCellEx(ACol, ARow, Text);
}

void RIvuZuvuzoZuvu::SetRotated(int ACol, int ARow, int Angle)
{
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g)
        g = newGraphic(ACol, ARow, ctRotated, haLeft, vaTop);
    if (g->CellType != ctRotated)
        return;  // the field holds another graphic's stretch mode or count
    g->CellAngle = normalisedAngle(Angle);
    RepaintCell(ACol, ARow);
}

bool RIvuZuvuzoZuvu::IsRotated(int ACol, int ARow, int& Angle) const
{
    const TCellGraphic* g = graphicOf(ACol, ARow, ctRotated);
    if (g)
        Angle = g->CellAngle;
    return g != nullptr;
}

void RIvuZuvuzoZuvu::AddMarker(int ACol, int ARow, int Start, int Length)
{
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g) {
        g = CreateCellGraphic(ACol, ARow);
        g->CellType = ctEmpty;
    }
    g->MarkerStart = clamp16(Start);
    g->MarkerLength = clamp16(Length);
    RepaintCell(ACol, ARow);
}

void RIvuZuvuzoZuvu::RemoveMarker(int ACol, int ARow)
{
    TCellGraphic* g = GetCellGraphic(ACol, ARow);
    if (!g)
        return;
    if (g->CellType == ctEmpty) {
        FreeCellGraphic(ACol, ARow);
        return;
    }
    g->MarkerStart = g->MarkerLength = 0;
    RepaintCell(ACol, ARow);
}

void RIvuZuvuzoZuvu::GetMarker(int ACol, int ARow, int& Start, int& Length) const
{
    const TCellGraphic* g = GetCellGraphic(ACol, ARow);
    Start = g ? g->MarkerStart : 0;
    Length = g ? g->MarkerLength : 0;
}

// ---------------------------------------------------------------- nodes

int RIvuZuvuzoZuvu::GetNodeSpanType(int ARow)
{
    if (IsNode(ARow))
        return 0;
    int node = ARow - 1;
    while (node >= FixedRows() && !IsNode(node))
        --node;
    if (node < FixedRows())
        return 0;
    if (ARow == RowCount() - FixedFooters() - 1)
        return 1;
    if (GetNodeSpan(node) == ARow - node + 1 && !GetNodeState(node))
        return 1;
    return 2;
}

// ---------------------------------------------------------------- sizes

namespace {

// Room of the graphic of a cell of CellW x CellH pixels.
QPoint graphicSize(RIvuZuvuzoZuvu& G, int ACol, int ARow, int CellW, int CellH)
{
    const TCellGraphic* g = G.GetCellGraphic(ACol, ARow);
    if (!g)
        return {0, 0};
    const TCustomImageList* images = G.ImageList();
    const bool besideText = g->CellHAlign == haBeforeText || g->CellHAlign == haAfterText;
    switch (g->CellType) {
    case ctBitmap:
    case ctIcon: {
        const auto* b = dynamic_cast<const TBitmap*>(g->CellObject);
        if (!b)
            return {0, 0};
        return {besideText || G.GetCellEx(ACol, ARow).empty() ? b->Width() : 0, b->Height()};
    }
    case ctImageList:
        if (!images)
            return {0, 0};
        return {besideText || G.GetCellEx(ACol, ARow).empty() ? images->Width() : 0, images->Height()};
    case ctCheckBox:
    case ctDataCheckBox:
        return {G.ControlLook->CheckSize(), G.ControlLook->CheckSize()};
    case ctRadio: {
        const auto* items = dynamic_cast<const TCellStrings*>(g->CellObject);
        // Measured in the grid's font; the canvas's own font is given back.
        platform::Canvas& canvas = G.Canvas();
        const platform::Font kept = canvas.Font;
        canvas.Font = G.Font();
        const int th = canvas.TextHeight(QStringLiteral("gh"));
        const int n = items ? items->Count() : 0;
        int sum = 0, widest = 0;
        for (int i = 0; i < n; ++i) {
            const int w = canvas.TextWidth(QString::fromStdString(items->Lines[static_cast<std::size_t>(i)]));
            sum += w + 12;
            widest = std::max(widest, w);
        }
        canvas.Font = kept;
        return g->CellBoolean ? QPoint(sum, th) : QPoint(12 + widest, th * n);
    }
    case ctImages: {
        const auto* list = dynamic_cast<const TCellImageList*>(g->CellObject);
        if (!images || !list)
            return {0, 0};
        const int n = list->Count();
        return g->CellBoolean ? QPoint(n * images->Width(), images->Height())
                              : QPoint(images->Width(), n * images->Height());
    }
    case ctPicture:
    case ctFilePicture:
        return g->GetPictureSize(CellW, CellH, G.GetCellEx(ACol, ARow).empty());
    case ctButton:
    case ctBitButton:
        return {packedWidth(*g), packedHeight(*g)};
    default:
        return {0, 0};
    }
}

}  // namespace

QPoint RIvuZuvuzoZuvu::GetCellGraphicSize(int ACol, int ARow)
{
    const QPoint cell = CellSize(ACol, ARow);
    return graphicSize(*this, ACol, ARow, cell.x(), cell.y());
}

QPoint RIvuZuvuzoZuvu::GetPrintGraphicSize(int ACol, int ARow, int AWidth, int AHeight, double Factor)
{
    const QPoint s = graphicSize(*this, ACol, ARow, AWidth, AHeight);
    if (!(Factor > 0))
        return s;
    return {static_cast<int>(std::lround(s.x() / Factor)), static_cast<int>(std::lround(s.y() / Factor))};
}

// ---------------------------------------------------------------- TCellStrings

int TCellStrings::IndexOf(const std::string& S) const
{
    const auto it = std::find(Lines.begin(), Lines.end(), S);
    return it == Lines.end() ? -1 : static_cast<int>(it - Lines.begin());
}

void TCellStrings::SetText(const std::string& S)
{
    Lines.clear();
    std::string line;
    for (std::size_t i = 0; i < S.size(); ++i) {
        const char c = S[i];
        if (c == '\r' || c == '\n') {
            Lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < S.size() && S[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        Lines.push_back(line);
}

}  // namespace grid
