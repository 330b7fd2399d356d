// The settings objects that group the list grid's published options (sorting,
// bands, check-box look, navigation, printing, ...). The grid creates one of
// each and frees them; each keeps a pointer to its grid and makes it repaint
// when one of its values is assigned.
// Values are read as plain values (`grid.SortSettings->Full` converts to bool,
// or `Full()`), and assigned with `=`, which stores and repaints.
#pragma once

#include "grid/gridobj.h"
#include "platform/canvas.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

namespace grid {

class RIvuZuvuzoZuvu;

// Base of a settings group.
class TGridSettings {
public:
    explicit TGridSettings(RIvuZuvuzoZuvu* Grid) : FGrid(Grid) {}
    virtual ~TGridSettings() = default;
    TGridSettings(const TGridSettings&) = delete;
    TGridSettings& operator=(const TGridSettings&) = delete;

    // Called after any value of the group was assigned; repaints the grid.
    virtual void Changed();
    RIvuZuvuzoZuvu* Grid() const { return FGrid; }

protected:
    RIvuZuvuzoZuvu* FGrid;
};

// One published value of a settings group: assigning it stores the value
// (a copy, for fonts and glyphs) and tells the group.
template <typename T>
class Setting {
public:
    Setting(TGridSettings* Owner, T Initial = T{}) : owner_(Owner), value_(std::move(Initial)) {}
    Setting(const Setting&) = delete;

    operator const T&() const { return value_; }
    const T& operator()() const { return value_; }
    Setting& operator=(const T& Value)
    {
        value_ = Value;
        owner_->Changed();
        return *this;
    }

private:
    TGridSettings* owner_;
    T value_;
};

// A value whose assignment also runs an action of its group, after the repaint.
template <typename T>
class ActionSetting : public Setting<T> {
public:
    ActionSetting(TGridSettings* Owner, T Initial, std::function<void()> Action)
        : Setting<T>(Owner, std::move(Initial)), action_(std::move(Action))
    {
    }
    ActionSetting& operator=(const T& Value)
    {
        Setting<T>::operator=(Value);
        action_();
        return *this;
    }

private:
    std::function<void()> action_;
};

enum TSortBlankPosition { blFirst, blLast };
enum TSortDirection { sdAscending, sdDescending };

class TSortSettings : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<bool> AutoColumnMerge{this};
    Setting<int> Column{this};
    Setting<bool> Show{this};
    Setting<bool> IndexShow{this};
    Setting<bool> Full{this, true};
    Setting<bool> SingleColumn{this};
    Setting<bool> IgnoreBlanks{this};
    Setting<TSortBlankPosition> BlankPos{this, blFirst};
    Setting<bool> AutoFormat{this, true};
    Setting<TSortDirection> Direction{this, sdAscending};
    Setting<QImage> UpGlyph{this};
    Setting<QImage> DownGlyph{this};
    Setting<int> FixedCols{this};
    Setting<bool> NormalCellsOnly{this};

    // The header row that shows the sort indicator. A row beyond the grid's
    // fixed rows is refused with DIdiZedoRorid and the value stays.
    int Row() const { return row_; }
    void SetRow(int Value);

private:
    int row_ = 0;
};

class TBands : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<bool> Active{this};
    Setting<platform::TColor> PrimaryColor{this, platform::clInfoBk};
    Setting<int> PrimaryLength{this, 1};
    Setting<platform::TColor> SecondaryColor{this, platform::clWindow};
    Setting<int> SecondaryLength{this, 1};
    Setting<bool> Print{this};

    // Rows of one full band cycle.
    int Period() const { return PrimaryLength() + SecondaryLength(); }
    // Repaints only while bands are shown (and once when they are switched off).
    void Changed() override;

private:
    bool shown_ = false;
};

enum TControlStyle { csClassic, csFlat, csWinXP, csLantern, csOrchard, csGlyph, csTheme };

class TControlLook : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<platform::TColor> Color{this, platform::clBlack};
    Setting<QImage> CheckedGlyph{this};
    Setting<QImage> UnCheckedGlyph{this};
    Setting<QImage> RadioOnGlyph{this};
    Setting<QImage> RadioOffGlyph{this};
    Setting<int> CheckSize{this, 15};
    Setting<int> RadioSize{this, 10};
    Setting<TControlStyle> ControlStyle{this, csClassic};
    Setting<bool> FlatButton{this};
};

enum TCellNodeType { cnFlat, cn3D, cnGlyph, cnLeaf };

class TCellNode : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<platform::TColor> Color{this, platform::clSilver};
    Setting<TCellNodeType> NodeType{this, cnFlat};
    Setting<platform::TColor> NodeColor{this, platform::clBlack};
    Setting<QImage> ExpandGlyph{this};
    Setting<QImage> ContractGlyph{this};
    Setting<bool> ShowTree{this};
};

class TSizeWhileTyping : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<bool> Height{this};
    Setting<bool> Width{this};
};

class TMouseActions : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<bool> ColSelect{this};
    Setting<bool> RowSelect{this};
    Setting<bool> AllSelect{this};
    Setting<bool> DirectEdit{this};
    Setting<bool> DirectComboDrop{this};
    Setting<bool> DisjunctRowSelect{this};
    Setting<bool> AllColumnSize{this};
    Setting<bool> AllRowSize{this};
    Setting<bool> CaretPositioning{this};
    Setting<bool> SizeFixedCol{this};
};

enum TColumnSizeLocation { clRegistry, clIniFile };

class TColumnSize : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<bool> Save{this};
    Setting<QString> Key{this};
    Setting<QString> Section{this};
    Setting<bool> Stretch{this};
    Setting<bool> SynchWithGrid{this};
    Setting<TColumnSizeLocation> Location{this, clRegistry};

    // Also stretches the right column at once (it does nothing without Stretch).
    void Changed() override;
};

enum TAdvanceDirection { adLeftRight, adTopBottom };
enum TInsertPosition { pInsertBefore, pInsertAfter };
enum THomeEndAction { heFirstLastColumn, heFirstLastRow };

class TNavigation : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<bool> AllowInsertRow{this};
    Setting<bool> AllowDeleteRow{this};
    Setting<bool> AdvanceOnEnter{this};
    Setting<bool> AdvanceInsert{this};
    Setting<bool> AutoGotoWhenSorted{this};
    Setting<bool> AutoGotoIncremental{this};
    Setting<bool> AutoComboDropSize{this};
    Setting<TAdvanceDirection> AdvanceDirection{this, adLeftRight};
    Setting<bool> AllowClipboardShortCuts{this};
    Setting<bool> AllowSmartClipboard{this};
    Setting<bool> AllowRTFClipboard{this};
    Setting<bool> AllowClipboardAlways{this};
    Setting<bool> AllowClipboardRowGrow{this, true};
    Setting<bool> AllowClipboardColGrow{this, true};
    Setting<bool> AdvanceAuto{this};
    Setting<TInsertPosition> InsertPosition{this, pInsertBefore};
    Setting<bool> CursorWalkEditor{this};
    Setting<bool> MoveRowOnSort{this};
    Setting<bool> ImproveMaskSel{this};
    Setting<bool> AlwaysEdit{this};
    Setting<bool> CopyHTMLTagsToClipboard{this, true};
    Setting<bool> LineFeedOnEnter{this};
    Setting<THomeEndAction> HomeEndKey{this, heFirstLastColumn};
};

class THTMLSettings : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<int> BorderSize{this, 1};
    Setting<int> CellSpacing{this};
    Setting<int> CellPadding{this};
    Setting<bool> SaveColor{this, true};
    Setting<bool> SaveFonts{this, true};
    Setting<QString> FooterFile{this};
    Setting<QString> HeaderFile{this};
    Setting<QString> TableStyle{this};
    Setting<QString> PrefixTag{this};
    Setting<QString> SuffixTag{this};
    Setting<int> Width{this, 100};
    TIntList ColWidths;  // column widths of the written table
};

enum TPrintPosition { ppNone, ppTopLeft, ppTopRight, ppTopCenter, ppBottomLeft, ppBottomRight, ppBottomCenter };
enum TPrintBorders {
    pbNoborder, pbSingle, pbDouble, pbVertical, pbHorizontal, pbAround, pbAroundVertical,
    pbAroundHorizontal, pbCustom
};
enum TPrintOrientation { poPortrait, poLandscape };
enum TFitToPage { fpNever, fpGrow, fpShrink, fpAlways, fpCustom };

class TPrintSettings : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<int> FooterSize{this};
    Setting<int> HeaderSize{this};
    Setting<TPrintPosition> Time{this, ppNone};
    Setting<TPrintPosition> Date{this, ppNone};
    Setting<QString> DateFormat{this, QStringLiteral("dd/mm/yyyy")};
    Setting<TPrintPosition> PageNr{this, ppNone};
    Setting<TPrintPosition> Title{this, ppNone};
    Setting<QString> TitleText{this};
    Setting<QStringList> TitleLines{this};
    Setting<platform::Font> Font{this};
    Setting<platform::Font> HeaderFont{this};
    Setting<platform::Font> FooterFont{this};
    Setting<TPrintBorders> Borders{this, pbNoborder};
    Setting<platform::PenStyle> BorderStyle{this, platform::psSolid};
    Setting<bool> Centered{this};
    Setting<bool> RepeatFixedRows{this};
    Setting<bool> RepeatFixedCols{this};
    Setting<int> LeftSize{this};
    Setting<int> RightSize{this};
    Setting<int> ColumnSpacing{this};
    Setting<int> RowSpacing{this};
    Setting<int> TitleSpacing{this};
    Setting<TPrintOrientation> Orientation{this, poPortrait};
    Setting<QString> PagePrefix{this};
    Setting<QString> PageSuffix{this};
    Setting<int> FixedWidth{this};
    Setting<int> FixedHeight{this};
    Setting<bool> UseFixedHeight{this};
    Setting<bool> UseFixedWidth{this};
    Setting<TFitToPage> FitToPage{this, fpNever};
    Setting<QString> JobName{this};
    Setting<QString> PageNumSep{this, QStringLiteral("/")};
    Setting<bool> NoAutoSize{this};
    Setting<bool> PrintGraphics{this};
};

enum TBackgroundDisplay { bdTile, bdFixed };
enum TBackgroundCells { bcNormal, bcFixed };

class TBackGround : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    Setting<int> Top{this};
    Setting<int> Left{this};
    Setting<TBackgroundDisplay> Display{this, bdTile};
    Setting<QImage> Bitmap{this};
    Setting<TBackgroundCells> Cells{this, bcNormal};
};

// Assigning OleDropTarget switches the grid's drops on or off, OleDropRTF the
// process-wide rich-text switch of drag and drop; OleAcceptText and
// OleAcceptFiles go to the grid's drop target.
class TDragDropSettings : public TGridSettings {
public:
    using TGridSettings::TGridSettings;

    ActionSetting<bool> OleAcceptFiles{this, true, [this] { DropTargetChanged(); }};
    ActionSetting<bool> OleAcceptText{this, true, [this] { DropTargetChanged(); }};
    ActionSetting<bool> OleDropTarget{this, false, [this] { DropTargetChanged(); }};
    Setting<bool> OleDropSource{this};
    Setting<bool> OleEntireRows{this};
    Setting<bool> OleInsertRows{this};
    Setting<bool> OleRemoveRows{this};
    ActionSetting<bool> OleDropRTF{this, false, [this] { RTFChanged(); }};

private:
    void DropTargetChanged();
    void RTFChanged();
};

}  // namespace grid
