// RIvuZuvuzoZuvu: the list grid that the windows place (the contact list, the
// cheque report). On top of TBaseGrid it holds the settings objects, the row
// and column counts with their own rules (fixed rows and columns that never
// drop to zero when asked, footer rows and right-hand fixed columns the data
// routines skip), the disjunct row selection, structural edits of rows and
// columns, the per-cell queries through which painting, sorting and editing
// ask the owner about a cell, the update lock, the change notifiers, the
// mapping between displayed and real columns and rows, and the type-ahead
// lookup.
//
// Callers keep row and column arguments of the cell accessors inside the grid;
// the removal and clearing operations clamp theirs. Row selection flags follow
// their rows and never outlive them: RowSelectCount counts existing rows only.
#pragma once

#include "grid/basegrid.h"
#include "grid/cellgraphic.h"
#include "grid/cellobjects.h"
#include "grid/editlink.h"
#include "grid/editors.h"
#include "grid/gridinplaceedit.h"
#include "grid/griddragdrop.h"
#include "grid/gridfooter.h"
#include "grid/gridobj.h"
#include "grid/gridprint.h"
#include "grid/gridsettings.h"
#include "grid/hintwindow.h"
#include "grid/pictures.h"
#include "grid/rowflags.h"

#include <QStringList>

class QIODevice;

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace grid {

enum TGridLook { glStandard, glSoft };
enum TScrollType { ssNormal, ssFlat, ssEncarta };
enum TScrollHintType { shNone, shVertical, shHorizontal, shBoth };
enum TIntelliPan { ipVertical, ipHorizontal, ipBoth, ipNone };
enum TSortStyle { ssAutomatic, ssAlphabetic, ssNumeric, ssDate, ssAlphaNoCase, ssAlphaCase, ssShortDateEU,
                  ssShortDateUS, ssCustom, ssFinancial, ssAnsiAlphaCase, ssAnsiAlphaNoCase, ssRaw, ssHTML,
                  ssImages, ssCheckBox, ssUnsorted };
enum TCellBorder : unsigned { cbTop = 1, cbLeft = 2, cbRight = 4, cbBottom = 8 };
using TCellBorders = unsigned;
enum TEditorType : std::uint8_t {
    edNormal, edSpinEdit, edComboEdit, edComboList, edEditBtn, edCheckBox, edDateEdit, edDateEditUpDown,
    edTimeEdit, edButton, edDataCheckBox, edNumeric, edPositiveNumeric, edFloat, edCapital, edMixedCase,
    edPassword, edUnitEditBtn, edLowerCase, edUpperCase, edFloatSpinEdit, edTimeSpinEdit, edDateSpinEdit,
    edNumericEditBtn, edFloatEditBtn, edCustom, edRichEdit
};
// What the last clipboard operation of a grid was.
enum TClipOperation { coCopy, coCut };

// What a sort reads of one cell under its column's style: the text compared
// with its first eight bytes, and what the text converts to, worked out when
// first needed (-1 not yet known, 0 no, 1 yes) and kept while the sort runs.
struct SortKey {
    const std::string* Text = nullptr;  // null until the cell is read
    std::uint64_t Prefix = 0;           // big-endian, zero-padded
    std::int8_t Looks = -1;             // automatic detection: 0 text, 1 number, 2 date
    std::int8_t NumberOk = -1, DateOk = -1;
    double Number = 0, Date = 0;
};


class RIvuZuvuzoZuvu : public TBaseGrid {
    Q_OBJECT
public:
    // Rows at the top that a screen reader reads as the column headers even
    // while they are not fixed: a list whose header row is its only row when
    // it is empty (a grid keeps a row below its fixed ones).
    int ReaderHeaderRows = 0;

    // ---- events (parameters in the order the windows expect them)
    template <typename... A>
    using Event = std::function<void(RIvuZuvuzoZuvu* Sender, A...)>;
    Event<int /*ARow*/, int /*ACol*/, platform::GridDrawState, platform::Brush&, platform::Font&> OnGetCellColor,
        OnGetCellPrintColor;
    Event<int /*ARow*/, int /*ACol*/, platform::Pen&, TCellBorders&> OnGetCellBorder, OnGetCellPrintBorder;
    Event<int /*ARow*/, int /*ACol*/, TAlignment&, TVAlignment&> OnGetAlignment;
    Event<int /*ACol*/, TSortStyle&, std::string& /*aPrefix*/, std::string& /*aSuffix*/> OnGetFormat;
    Event<int /*ACol*/, int /*ARow*/, std::string&> OnGetCheckTrue, OnGetCheckFalse;
    Event<int /*ACol*/, int /*ARow*/, TEditorType&> OnGetEditorType;
    Event<int /*ARow*/, int /*ACol*/, bool& /*IsFixed*/> OnIsFixedCell;
    Event<int /*ARow*/, int /*ACol*/, bool& /*CanEdit*/> OnCanEditCell;
    Event<int /*ARow*/, int /*ACol*/, bool& /*IsPassword*/> OnIsPasswordCell;
    Event<int /*OldRow*/, int /*NewRow*/, bool& /*Allow*/> OnRowChanging;
    Event<int /*OldCol*/, int /*NewCol*/, bool& /*Allow*/> OnColChanging;
    Event<int /*OldRow*/, int /*OldCol*/, int /*NewRow*/, int /*NewCol*/, bool& /*Allow*/> OnCellChanging;
    Event<bool& /*CanAdd*/> OnCanAddRow;
    Event<int /*ARow*/> OnAutoAddRow;
    Event<int /*ACol*/> OnAutoInsertCol;
    // Copy, cut and paste of the grid or of its text editor (Sender is the
    // one doing it); clearing Allow stops the operation.
    std::function<void(QObject* Sender, bool& Allow)> OnClipboardCopy, OnClipboardCut, OnClipboardPaste;
    Event<int /*Col*/, int /*Row*/, std::string& /*Value*/, bool& /*Valid*/> OnCellValidate;
    // The spin editor stepped (its button, arrow, or Page Up/Down, Home, End): UpDown for upwards.
    Event<int /*ACol*/, int /*ARow*/, int /*AValue*/, bool /*UpDown*/> OnSpinClick;
    Event<int /*ACol*/, int /*ARow*/, double /*AValue*/, bool /*UpDown*/> OnFloatSpinClick;
    Event<int /*ACol*/, int /*ARow*/, TDateTime /*AValue*/, bool /*UpDown*/> OnDateSpinClick, OnTimeSpinClick;
    // The user picked an item of the combo editor or (AItemIndex -1) typed in
    // it; Sender is the grid, or the combo for a turn of the wheel.
    std::function<void(QObject* Sender, int ACol, int ARow, int AItemIndex, const std::string& ASelection)>
        OnComboChange;
    std::function<void(QObject* Sender, int ACol, int ARow, int AItemIndex, const std::string& ASelection,
                       platform::Object* AObject)>
        OnComboObjectChange;
    // An edCustom cell's link, its properties set, before it takes the cell's value.
    Event<int /*ACol*/, int /*ARow*/, TEditLink* /*AEditLink*/> OnGetEditorProp;
    Event<const Rect& /*R*/> OnCellsChanged;
    // The current cell, the selected block or a row's selection flag may
    // have changed, by the keys, the mouse or a call: fired once the event
    // that changed them is done, once for all its changes.
    Event<> OnSelectionChange;
    Event<short /*Progress*/> OnFileProgress;  // percent, only when it changes

    explicit RIvuZuvuzoZuvu(QWidget* Parent = nullptr);
    ~RIvuZuvuzoZuvu() override;

    int GetVersionNr() const;
    static const char* GetVersionString() { return "2.0 November, 2001"; }

    // ---- settings objects
    std::unique_ptr<TPrintSettings> PrintSettings;
    std::unique_ptr<THTMLSettings> HTMLSettings;
    std::unique_ptr<TSortSettings> SortSettings;
    std::unique_ptr<TDragDropSettings> DragDropSettings;
    std::unique_ptr<TControlLook> ControlLook;
    std::unique_ptr<TNavigation> Navigation;
    std::unique_ptr<TColumnSize> ColumnSize;
    std::unique_ptr<TCellNode> CellNode;
    std::unique_ptr<TBands> Bands;
    std::unique_ptr<TSizeWhileTyping> SizeWhileTyping;
    std::unique_ptr<TMouseActions> MouseActions;
    std::unique_ptr<TBackGround> BackGround;
    TFloatingFooter FloatingFooter{this};
    std::vector<TFilterData> Filter;
    TSortIndexList SortIndexes;

    // ---- published values that are only stored (read by painting, editing, ...)
    bool ActiveCellShow = false;
    platform::Font ActiveCellFont;
    bool AnchorHint = false;
    bool AutoNumAlign = false;
    bool EnhTextSize = false;  // text that does not fit its cell ends with an ellipsis
    // Column widths chosen for the standard font (9 points at 96 dots per
    // inch) are as wide at the grid's font by WidthAtFont: a larger font
    // widens them in proportion, as a larger screen scale does; a smaller one
    // leaves them. StandardWidth gives back the width to store. Widths of 0
    // and 1 (a column kept out of sight) stay as they are.
    double FontWidthScale() const;
    int WidthAtFont(int StandardWidth) const;
    int StandardWidth(int WidthAtFont) const;
    // When set, a change of the font resizes the columns by the change of that scale.
    bool ColumnsFollowFont = false;
    bool EditWithTags = false;
    bool EnhRowColMove = false;
    bool SizeWithForm = false;
    bool Multilinecells = false;
    bool EnableHTML = true;
    bool EnableWheel = true;
    bool ExcelStyleDecimalSeparator = false;
    TColor HintColor = platform::clInfoBk;
    bool SelectionRTFKeep = false;
    bool HintShowCells = false;
    bool HintShowLargeText = false;
    bool HintShowSizing = false;
    bool IntelliZoom = true;
    TIntelliPan IntelliPan = ipVertical;
    bool URLEdit = false;
    TScrollType ScrollType = ssNormal;
    TColor ScrollColor = platform::clNone;
    int ScrollWidth = 0;
    bool ScrollSynch = false;
    bool ScrollProportional = false;
    TScrollHintType ScrollHints = shNone;
    bool OemConvert = false;
    bool FixedAsButtons = false;
    bool FixedRowAlways = false;
    bool FixedColAlways = false;
    QStringList ColumnHeaders;
    QStringList RowHeaders;
    bool Lookup = false;
    bool LookupCaseSensitive = false;
    bool LookupHistory = false;
    bool HideFocusRect = false;
    QImage RowIndicator;
    bool Hovering = false;
    bool FilterActive = false;
    platform::Object* GridImages = nullptr;
    platform::Object* PictureContainer = nullptr;
    platform::Object* CellChecker = nullptr;
    // Not published.
    bool IncludeFixedCells = false;
    bool IncludeHiddenCols = false;
    char CSVDelimiter = 0;
    bool CSVQuoteEmpty = false;
    bool CSVQuoteAll = false;
    bool CSVTildeBreaks = false;
    bool QuoteClipboardLines = false;
    QString MDBDriver = QStringLiteral("QODBC");  // Access files through MDBTools
    // A database query is given up when the query program stays silent this
    // long, or runs this long in all; tests shorten them.
    std::chrono::milliseconds MDBQuerySilence{60'000};
    std::chrono::milliseconds MDBQueryTime{600'000};
    int ComboSelection = -1;

    // ---- text files (gridfiles.cpp; the formats are described and made in
    // grid/exchange/textfiles.h). Every
    // failure raises DIdiZedoRorid with the file name; a writer that fails
    // leaves the old file as it was; readers never clear the grid first.
    void SaveToFile(const QString& FileName);
    void LoadFromFile(const QString& FileName);
    void SaveToStream(QIODevice& Stream);
    void LoadFromStream(QIODevice& Stream);
    void SaveToASCII(const QString& FileName);
    void SaveToCSV(const QString& FileName) { OutputToCSV(FileName, false); }
    void AppendToCSV(const QString& FileName) { OutputToCSV(FileName, true); }
    void OutputToCSV(const QString& FileName, bool Append);
    void LoadFromCSV(const QString& FileName) { InputFromCSV(FileName, false); }
    void InsertFromCSV(const QString& FileName) { InputFromCSV(FileName, true); }
    void InputFromCSV(const QString& FileName, bool Insert);
    // Widths in characters from the first saved column on; the list is
    // extended with MaxCharsInCol for the columns it does not cover.
    void SaveToFixed(const QString& FileName, TIntList& Widths);
    // 1-based start positions of the columns and, last, where the last one ends.
    void LoadFromFixed(const QString& FileName, TIntList& Positions);
    // HTML table (with HTMLSettings) and flat XML (gridexport.cpp, over
    // grid/exchange/htmlxml.h); a file that cannot be written raises
    // "Cannot Create file " + name.
    void SaveToHTML(const QString& FileName) { OutputToHTML(FileName, false); }
    void AppendToHTML(const QString& FileName) { OutputToHTML(FileName, true); }
    void OutputToHTML(const QString& FileName, bool Append);
    // Without FieldNames (or past their end) the elements are FIELD0, FIELD1, ...
    void SaveToXML(const QString& FileName, const QString& ListName, const QString& RecordName,
                   const QStringList* FieldNames);
    // A sheet of a .xls, .xlsx or .csv file (gridoffice.cpp): the named one
    // (the last of that name), else the active one, else the first; error
    // cells are skipped; "Cannot open file " + name for a file the readers
    // refuse, the grid unchanged.
    void LoadFromXLS(const QString& FileName) { LoadXLS(FileName, QString()); }
    void LoadFromXLSSheet(const QString& FileName, const QString& SheetName) { LoadXLS(FileName, SheetName); }
    void LoadXLS(const QString& FileName, const QString& SheetName);
    // The grid as a new .xlsx workbook of text cells from A1; a sheet name is
    // refused for a workbook that exists already.
    void SaveToXLS(const QString& FileName) { SaveXLS(FileName, QString()); }
    void SaveToXLSSheet(const QString& FileName, const QString& SheetName) { SaveXLS(FileName, SheetName); }
    void SaveXLS(const QString& FileName, const QString& SheetName);
    // Every cell, fixed ones included, as one table of a new .docx document.
    void SaveToDOC(const QString& FileName);
    // The result of a query on a database file, run by the query program
    // through the Qt SQL driver MDBDriver: field names in the last fixed row,
    // records from FixedRows on. A failure raises "Cannot open file " + name
    // (with the driver's text when it gave one, or the query program's path
    // when it is missing); the grid keeps what came. The windows stay painted
    // while the query runs (the user's input is dropped as
    // platform/longwork.h says).
    // The table name (bare, or already in brackets) goes into the query in
    // brackets, as a name only; one holding "]" is refused.
    void LoadFromMDBTable(const QString& DatabaseName, const QString& TableName);
    void LoadFromMDBSQL(const QString& DatabaseName, const QString& SQL);

    // ---- published values with behaviour
    TColor SelectionColor() const { return selectionColor_; }
    void SetSelectionColor(TColor Value);
    TColor SelectionTextColor() const { return selectionTextColor_; }
    void SetSelectionTextColor(TColor Value);
    bool SelectionRectangle() const { return selectionRectangle_; }
    void SetSelectionRectangle(bool Value);
    const platform::Font& FixedFont() const { return fixedFont_; }
    void SetFixedFont(const platform::Font& Value);
    bool URLShow() const { return urlShow_; }
    void SetURLShow(bool Value);
    TColor URLColor() const { return urlColor_; }
    void SetURLColor(TColor Value);
    bool URLFull() const { return urlFull_; }
    void SetURLFull(bool Value);
    bool ShowSelection() const { return showSelection_; }
    void SetShowSelection(bool Value);
    TGridLook Look() const { return look_; }
    void SetLook(TGridLook Value);
    bool Flat() const { return flat_; }
    void SetFlat(bool Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    TVAlignment VAlignment() const { return vAlignment_; }
    void SetVAlignment(TVAlignment Value);
    unsigned VAlignFlag() const { return vAlignFlag_; }  // DT_ flag of VAlignment
    int MaxEditLength() const { return maxEditLength_; }
    void SetMaxEditLength(int Value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    const std::vector<std::string>& LookupItems() const { return lookupItems_; }
    void SetLookupItems(const std::vector<std::string>* Value);
    // A printf pattern with exactly one floating-point conversion; anything
    // else falls back to "%.2f".
    const std::string& FloatFormat() const { return floatFormat_; }
    void SetFloatFormat(const std::string& Value);
    bool IntegralHeigth() const { return integralHeight_; }
    void SetIntegralHeigth(bool Value);
    std::string GetCheckTrueText() const { return checkTrue_; }
    std::string GetCheckFalseText() const { return checkFalse_; }
    char PasswordChar() const { return passwordChar_; }

    // Places the grid; with IntegralHeigth the height is cut to whole default rows.
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    // Repaints the whole grid unless a cell-only repaint asked to skip it once.
    void Invalidate();

    // ---- counts
    int GetRowCountEx() const { return RowCount(); }
    void SetRowCountEx(int Value);
    int GetColCountEx() const { return ColCount(); }
    void SetColCountEx(int Value);
    int GetFixedRowsEx() const;
    void SetFixedRowsEx(int Value) { SetFixedRows(Value); }
    int GetFixedColsEx() const;
    void SetFixedColsEx(int Value) { SetFixedCols(Value); }
    int GetFixedColWidth() const { return ColWidths(0); }
    void SetFixedColWidth(int W);
    int GetFixedRowHeight() const { return RowHeights(0); }
    void SetFixedRowHeight(int H);
    int FixedFooters() const { return fixedFooters_; }
    void SetFixedFooters(int N);
    int FixedRightCols() const { return fixedRightCols_; }
    void SetFixedRightCols(int N);
    int GetDefRowHeightEx() const { return DefaultRowHeight(); }
    void SetDefRowHeightEx(int H);
    void AddRow();
    void AddColumn();

    // ---- row selection
    bool GetRowSelect(int ARow);  // DIdiZedoRorid "Invalid Row accessed" outside the rows
    void SetRowSelect(int ARow, bool Value);
    int GetRowSelectCount() const;
    int RowSelectListLength() const { return static_cast<int>(rowSelect_.size()); }
    void ClearRowSelect();
    void SelectRows(int ARow, int ACount);
    void SelectCols(int ACol, int ACount);
    void SelectRange(int FromCol, int ToCol, int FromRow, int ToRow);
    void SelectToRowSelect(bool ClearOthers);
    void RepaintRow(int ARow) { InvalidateRow(ARow); }
    void RepaintCol(int ACol) { InvalidateCol(ACol); }
    void RepaintRect(const TGridRect& R);
    // Keeps the selection and shows none (the block beyond the last cell); UnHideSelection restores it.
    void HideSelection();
    void UnHideSelection();

    // ---- structural edits
    virtual void RemoveRowsEx(int ARow, int ACount);
    virtual void RemoveRows(int ARow, int ACount);
    virtual void InsertRows(int ARow, int ACount);
    virtual void RemoveCols(int ACol, int ACount);
    virtual void InsertCols(int ACol, int ACount);
    virtual void ClearRect(int ACol1, int ARow1, int ACol2, int ARow2);
    void ClearRows(int ARow, int ACount);
    void ClearCols(int ACol, int ACount);
    void ClearNormalCells();
    void Clear();
    void ClearSelection();
    void RemoveSelectedRows();
    void MergeColumnCells(int ACol, bool AnyText);
    void MergeRowCells(int ARow, bool AnyText);
    void SplitColumnCells(int ACol);
    void SplitRowCells(int ARow);
    void MergeCols(int ACol1, int ACol2);
    bool IsCell(const std::string& Text, int& ACol, int& ARow) const;

    // ---- update lock and change notification
    void BeginUpdate();
    void EndUpdate();
    void ResetUpdate() { updateCount_ = 0; }
    bool IsUpdating() const { return updateCount_ > 0; }
    virtual void CellsChanged(const Rect& R);
    // After a file was read into the grid; nothing by default.
    virtual void CellsLoaded() {}
    void RegisterNotifier(TGridChangeNotifier* Notifier);
    void UnRegisterNotifier(TGridChangeNotifier* Notifier);

    // ---- search
    // The first row from FixedRows whose text in the sort column, cut to the
    // length of S and upper-cased, equals S; -1 when none or fewer than 2 rows.
    int Search(const std::string& S) const;
    const std::string& LookupText() const { return lookupText_; }

    // ---- per-cell queries (column first; the events get the row first)
    virtual void GetCellColor(int ACol, int ARow, platform::GridDrawState AState, platform::Brush& ABrush,
                              platform::Font& AFont);
    virtual void GetCellPrintColor(int ACol, int ARow, platform::GridDrawState AState, platform::Brush& ABrush,
                                   platform::Font& AFont);
    virtual void GetCellBorder(int ACol, int ARow, platform::Pen& APen, TCellBorders& Borders);
    virtual void GetCellPrintBorder(int ACol, int ARow, platform::Pen& APen, TCellBorders& Borders);
    virtual void GetCellAlign(int ACol, int ARow, TAlignment& HAlign, TVAlignment& VAlign);
    virtual void GetColFormat(int ACol, TSortStyle& AStyle, std::string& APrefix, std::string& ASuffix);
    virtual void GetCellEditor(int ACol, int ARow, TEditorType& AEditor);
    virtual void GetCellFixed(int ACol, int ARow, bool& IsFixed);
    virtual void GetCellReadOnly(int ACol, int ARow, bool& CanEdit);
    virtual void GetCellPassword(int ACol, int ARow, bool& IsPassword);
    virtual std::string GetCheckTrue(int ACol, int ARow);
    virtual std::string GetCheckFalse(int ACol, int ARow);
    void GetCellAlignment(int ACol, int ARow, TAlignment& HAlign, TVAlignment& VAlign);

    bool IsFixed(int ACol, int ARow) override;
    bool IsEditable(int ACol, int ARow);
    bool IsPassword(int ACol, int ARow);

    TEditorType EditorType() const { return editorType_; }
    bool EditActive() const { return editActive_; }
    // The current cell's text when its edit began.
    const std::string& EditCache() const { return editCache_; }
    // The editor of edCustom cells; not owned (forgotten when the link goes).
    QPointer<TEditLink> EditLink;

    // ---- the editors of special cells (one control of each kind, shown over the cell)
    // Shows the current editor type's control over the cell (ACol displayed),
    // filled with the cell's value, colour and font.
    void ShowEditControl(int ACol, int ARow);
    // Hides the control; writes its value into the cell only when the user changed it.
    void HideEditControl(int ACol, int ARow);
    void HideCellEdit() { HideEditControl(Col(), Row()); }
    // Starts editing the current cell through the ordinary key path (an F2 posted to the grid).
    void ShowCellEdit();
    // Puts back the text the current cell had when its edit began.
    void RestoreCache();
    // The cell's rich text loaded into a rich-text control (an empty cell
    // clears it, plain text goes in as it is), and the control's content
    // stored as the cell's RTF. ACol is a real column.
    void CellToRich(int ACol, int ARow, TGridRichEdit* Rich);
    void RichToCell(int ACol, int ARow, TGridRichEdit* Rich);
    // Moves the current cell to the next (Forward) or previous editable cell in
    // Navigation.AdvanceDirection, only with AdvanceOnEnter or Force; stays put
    // after one full pass without an editable cell.
    void AdvanceEdit(int ACol, int ARow, bool Forward, bool ShowEditor, bool Force);

    // ---- validation of edited cells
    virtual void InitValidate(int ACol, int ARow);
    virtual bool ValidateCell(const std::string& NewValue);
    virtual void UpdateCell(int ACol, int ARow) {}  // a descendant may refresh dependants
    void HideInplaceEdit();
    // An editor ends its edit with Key: the editor hides, Tab and the arrows
    // go on to the grid's key handling and Enter advances the edit.
    void DoneInplaceEdit(int Key, platform::ShiftState Shift);

    // ---- displayed and real columns and rows
    int NumHiddenColumns() const { return hiddenColCount_; }
    bool IsHiddenColumn(int ACol) const;
    bool GetVisibleCol(int ACol) const;
    void SetVisibleCol(int ACol, bool Value);
    int RemapCol(int ACol) const;     // displayed -> real
    int RemapColInv(int ACol) const;  // real -> displayed
    int RealColIndex(int ACol) const { return RemapCol(ACol); }
    int DisplColIndex(int ACol) const { return RemapColInv(ACol); }
    int GetRealCol() const { return RemapCol(Col()); }
    int NumHiddenRows() const { return static_cast<int>(hiddenRows_.size()); }
    bool IsHiddenRow(int ARow) const;
    int RemapRow(int ARow) const;     // real -> displayed
    int RemapRowInv(int ARow) const;  // displayed -> real
    int RealRowIndex(int ARow) const { return RemapRowInv(ARow); }
    int DisplRowIndex(int ARow) const { return RemapRow(ARow); }
    int GetRealRow() const { return RemapRowInv(Row()); }

    // Whether check boxes, radio buttons and buttons of the csTheme look (and
    // the buttons of every look) are drawn through the visual-style layer; set
    // at construction from platform::IsThemeActive().
    bool IsWinXP() const { return isWinXP_; }
    void SetIsWinXP(bool Value) { storeAndRepaint(isWinXP_, Value); }

    // ---- hidden controls (owned through Qt parenting)
    TGridCombo* Combo() const { return combo_; }
    TGridSpin* Spin() const { return spin_; }
    TGridDatePicker* DatePicker() const { return datePicker_; }
    TGridCheckBox* CheckBox() const { return checkBox_; }
    TGridEditBtn* EditBtn() const { return editBtn_; }
    TGridUnitEditBtn* UnitEditBtn() const { return unitEditBtn_; }
    TGridButton* Button() const { return button_; }
    TPopupButton* PopupButton() const { return popupButton_; }
    TArrowWindow* ArrowWindow(TArrowDirection Direction) const { return arrows_[Direction]; }
    TGridRichEdit* MeasureRichEdit() const { return measureRichEdit_; }
    TGridRichEdit* EditRichEdit() const { return editRichEdit_; }
    QWidget* FooterPanel() const { return footerPanel_; }
    int WheelScrollLines() const { return wheelScrollLines_; }

    // Stretches the last column over the rest of the client width (with ColumnSize.Stretch).
    void StretchRightColumn();
    void UpdateFooter();

protected:
    void Paint() override;
    void paintRowFocus();
    TColor rowFocusColor(int ARow);
    // Chooses the cell's editor kind when an edit starts; only the text
    // editor kinds are shown here.
    bool CanEditShow() override;
    platform::InplaceEdit* CreateEditor() override;
    bool SelectCell(int col, int row) override;
    // Rows that go take their objects and selection flags with them, also
    // when the library's row count is set directly.
    void RowsDropping(int From) override;
    void KeyPress(char32_t& key) override;
    void KeyUp(int& key, platform::ShiftState shift) override;
    void MouseDown(platform::MouseButton button, platform::ShiftState shift, int x, int y) override;
    // The window the grid sits in: with SizeWithForm the grid grows and
    // shrinks with it.
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void FormResize();

private:
    // Runs Work with the hidden columns added to ColCount, so that row
    // operations carry the hidden cells too; the last column keeps its width.
    template <typename F>
    void withHiddenColumns(F Work);
    // Row-selection entries follow their rows: insert or drop entries at ARow.
    void insertRowFlags(int ARow, int ACount);
    void removeRowFlag(int ARow);
    void checkRow(int ARow) const;
    int dataRowEnd() const { return RowCount() - fixedFooters_; }  // first footer row
    bool removeRowsClamped(int& ARow, int& ACount) const;
    // Deletes the rows [ARow, ARow + ACount) (kept inside by removeRowsClamped)
    // with their hidden cells and selection entries, painting held; then
    // Place(oldRow, oldTop) sets the current and top row from those before.
    template <typename F>
    void deleteRows(int ARow, int ACount, F Place);
    template <typename T>
    void storeAndRepaint(T& Field, const T& Value, bool Repaint = true)
    {
        Field = Value;
        if (Repaint)
            Invalidate();
    }

    // settings with behaviour
    TColor selectionColor_ = platform::clHighlight;
    TColor selectionTextColor_ = platform::clHighlightText;
    bool selectionRectangle_ = false;
    platform::Font fixedFont_;
    bool ownFixedFont_ = false;  // set by SetFixedFont: no longer follows Font
    platform::Font followedFont_;  // the cells' font the others last followed
    double widthScale_ = 1.0;      // FontWidthScale when the font last changed
    bool urlShow_ = false;
    TColor urlColor_ = platform::clHotLight;
    bool urlFull_ = false;
    bool showSelection_ = true;
    TGridLook look_ = glSoft;
    bool flat_ = false;
    bool wordWrap_ = false;
    TVAlignment vAlignment_ = vtaTop;
    unsigned vAlignFlag_ = 0;
    int maxEditLength_ = 0;
    bool autoSize_ = false;
    std::vector<std::string> lookupItems_;
    std::string floatFormat_ = "%.2f";
    bool integralHeight_ = false;
    std::string checkTrue_ = "Y";
    std::string checkFalse_ = "N";
    char passwordChar_ = '*';
    int fixedFooters_ = 0;
    int fixedRightCols_ = 0;

    // row selection and hidden rows / columns
    TRowFlags rowSelect_;
    int hiddenColCount_ = 0;
    std::array<bool, 256> visibleCols_;
    std::vector<TGridItem> hiddenRows_;
    TGridRect keptSelection_;

    // update lock, repaint suppression, notifiers
    int updateCount_ = 0;
    bool skipInvalidate_ = false;
    std::vector<TGridChangeNotifier*> notifiers_;

    // editing state
    std::string lookupText_;
    TEditorType editorType_ = edNormal;
    bool editActive_ = false;
    char32_t startChar_ = 0;         // the character that started the edit, 0 for none
    std::string editShownValue_;     // the special editor's value when it was shown
    std::string specialEditorValue() const;
    void postStartChar(QWidget* Control);
    // The spin, combo and date steps of ShowEditControl: the control placed
    // in cell rectangle R, dressed and filled with Text.
    QWidget* showSpinEditor(const Rect& R, const QColor& Color, const QFont& Font, const QString& Text, int ARealCol,
                            int ARow);
    QWidget* showComboEditor(const Rect& R, const QColor& Color, const QFont& Font, const QString& Text,
                             bool& TakesStartChar);
    QWidget* showDatePicker(const Rect& R, const QColor& Color, const QFont& Font, const std::string& Text);
    // The edCustom steps of ShowEditControl: the link placed in the cell (or
    // its pop-up), dressed, filled with Text and focused.
    void showEditLink(const Rect& R, int ARealCol, int ARow, const QColor& Color, const QFont& Font,
                      const std::string& Text);
    QPoint advanceTarget(int c, int r, bool Forward);
    std::string editCache_;
    bool editorShown_[3] = {false, false, false};
    bool validating_ = false;
    bool validatePending_ = false;
    int validateCol_ = -1, validateRow_ = -1;
    std::string validateText_;
    bool editingSwitchedOff_ = false;  // goEditing was taken out for a read-only cell
    bool forcedEdit_ = false;          // editing was switched on for the current cell
    bool advancing_ = false;
    bool closingEditor_ = false;       // DoneInplaceEdit hands the focus back to the grid
    std::optional<QPoint> caretClick_;  // the click that opens the text editor places its caret
    TGridInplaceEdit* textEditor() const { return dynamic_cast<TGridInplaceEdit*>(InplaceEditor()); }
    int cellNodes_ = 0;

    int wheelScrollLines_ = 3;
    QWidget* form_ = nullptr;  // the window followed for SizeWithForm
    QSize formSize_;

    bool isWinXP_ = false;

    // hidden controls
    TGridCombo* combo_ = nullptr;
    TGridSpin* spin_ = nullptr;
    TGridDatePicker* datePicker_ = nullptr;
    TGridCheckBox* checkBox_ = nullptr;
    TGridEditBtn* editBtn_ = nullptr;
    TGridUnitEditBtn* unitEditBtn_ = nullptr;
    TGridButton* button_ = nullptr;
    TPopupButton* popupButton_ = nullptr;
    std::array<TArrowWindow*, 4> arrows_{};
    TGridRichEdit* measureRichEdit_ = nullptr;
    TGridRichEdit* editRichEdit_ = nullptr;
    QWidget* footerPanel_ = nullptr;

    // ==================================================================
    // painting, cell content and HTML rendering
    //
    // Each cell is painted by DrawGridCell on the grid's canvas: colours and
    // font from GetVisualProperties, the text layer (plain, mini-HTML or rich
    // text, with the sort indicator), the borders, the fixed-cell frames, the
    // tree lines, the cell graphic, OnDrawCell and the focus frame. Whatever a
    // cell changes on the canvas (font, pen, brush) is given back before the
    // next cell, so a cell's markup never shows in another cell.
public:
    using DrawCellEvent = std::function<void(RIvuZuvuzoZuvu* Sender, int ACol, int ARow, const Rect& R,
                                             platform::GridDrawState State)>;
    DrawCellEvent OnDrawCell;
    Event<int /*ACol*/, int /*ARow*/, platform::Pen& /*Left*/, platform::Pen& /*Top*/, platform::Pen& /*Right*/,
          platform::Pen& /*Bottom*/>
        OnGetCellBorderProp;
    // Left and top margin of plain cell text.
    QPoint XYOffset{2, 2};

    // Brush colour, font and alignment of a cell; Print and Select as the
    // caller draws (screen: false, true; print: true, false; editors: both false).
    void GetVisualProperties(int ACol, int ARow, platform::GridDrawState& State, bool Print, bool Select,
                             platform::Brush& ABrush, platform::Font& AFont, TAlignment& HAlign, TVAlignment& VAlign,
                             bool& WordWrap) override;
    // The cell lies in the selection: the flagged rows with DisjunctRowSelect, else the selected block.
    bool IsSelected(int ACol, int ARow) const;
    // Width and height the cell's text needs, in pixels.
    QPoint GetCellTextSize(int ACol, int ARow);
    // Paints the rich text of a cell into Rect.
    void RTFPaint(int ACol, int ARow, platform::Canvas& Canvas, const Rect& Rect);
    // The sort direction mark centred on (X, Y), or the sort position with SortSettings.IndexShow.
    void DrawSortIndicator(platform::Canvas& Canvas, int ACol, int X, int Y);
    virtual std::string CalcCell(int ACol, int ARow) { return GetCellEx(ACol, ARow); }
    virtual std::string SaveCell(int ACol, int ARow) { return GetCellEx(ACol, ARow); }
    virtual void EditProgress(const std::string& Text, QPoint Point, int Progress) {}
    // A red zigzag under ErrLen characters of Text from ErrPos (1-based), laid out in R.
    static void DrawErrorLines(platform::Canvas& Canvas, const std::string& Text, const Rect& R, int LineHeight,
                               int ErrPos, int ErrLen);
    // The text a cell (ACol displayed) shows, as a reader reads it off the
    // screen: a formula's value, a password masked, HTML and rich text as
    // their plain text, a link without the protocol the grid hides, only the
    // first line of a single-line cell, a progress bar's label, a rotated
    // text; empty where a check box, radio group or image stands instead.
    std::string ShownText(int ACol, int ARow);
    // Whether anything of the column (displayed) can be seen: some room is
    // left inside its grid lines past the text margin. A column of width 0
    // or 1, as the contact list's object-id column, shows nothing.
    bool ColumnShown(int ACol) const;
    // The data column a user sees at or right of ACol (displayed), else the
    // nearest one left of it; -1 when none is seen. In a row-select grid it
    // is the column of the current row that Left and Right move along and a
    // screen reader reads.
    int ShownColumnAt(int ACol) const;
    // The shown texts of the column's (displayed) header rows, joined by blanks.
    std::string ColumnHeaderText(int ACol);
    // The rows at the top read as column headers: the fixed ones, or as many
    // as ReaderHeaderRows names.
    int HeaderRowsRead() const { return std::min(std::max(FixedRows(), ReaderHeaderRows), RowCount()); }
    // While a new selection is being dragged only the dragged rows show selected.
    bool NewSelection() const { return newSelection_; }
    void SetNewSelection(bool Value) { newSelection_ = Value; }

protected:
    void DrawGridCell(platform::Canvas& Canvas, int ACol, int ARow, Rect R, platform::GridDrawState AState) override;

private:
    struct CellLayer;
    void drawCellText(platform::Canvas& Canvas, CellLayer& L);
    void drawPlainText(platform::Canvas& Canvas, CellLayer& L, std::string T);
    // The text the text layer starts from (real column C): a formula's value, a password masked.
    std::string textToDraw(int C, int ARow, TTextType& Type);
    // A plain text as it is drawn: a link without its protocol unless
    // URLFull, a single-line cell's first line. True for a link.
    bool plainTextToDraw(std::string& T) const;
    void drawBackground(platform::Canvas& Canvas, const CellLayer& L);
    void drawCellBorders(platform::Canvas& Canvas, int C, int ARow, Rect R);
    bool sortIndicatorShown(int C, int ARow);
    bool newSelection_ = false;
    bool selectionChangeDue_ = false;  // OnSelectionChange is on its way

    // ==================================================================
    // sorting, calculations, hidden rows and columns, grouping
    //
    // Sorting moves whole rows through SortSwapRows (texts, cell objects,
    // heights and selection flags travel together); the fixed header rows and
    // the footer rows never move. While a sort runs the grid is locked for
    // painting and carries three spare rows and its hidden columns; all of that
    // is undone before the call returns. Row and column arguments of the
    // calculations are the caller's to keep inside the grid.
public:
    Event<int /*ACol*/, bool& /*DoSort*/> OnCanSort;
    Event<int /*ACol*/> OnClickSort;
    Event<const std::string& /*Str1*/, const std::string& /*Str2*/, int& /*Res*/> OnCustomCompare;
    Event<int /*Col*/, int /*Row1*/, int /*Row2*/, int& /*Res*/> OnRawCompare;

    // The sort of a released header click at (ACol, ARow) whose press was on
    // ADownRow; X is the release point's client x. True when the rows were sorted.
    bool HeaderClickSort(int ACol, int ARow, int ADownRow, platform::ShiftState Shift, int X);
    void QSort();         // by SortSettings->Column in SortSettings->Direction
    void QSortIndexed();  // by SortIndexes; DIdiZedoRorid when the list is empty
    void QSortGroup();    // each node group on its own
    void QuickSort(int ACol, int AFrom, int ATo);
    void QuickSortIndexed(int AFrom, int ATo);
    void SortByColumn(int ACol);
    bool SortLine(int ACol, int ARow1, int ARow2);
    // -1, 0 or 1: where the cell of ARow1 sorts against that of ARow2.
    int Compare(int ACol, int ARow1, int ARow2);
    int CompareLine(int ACol, int ARow1, int ARow2);
    int CompareLineIndexed(int AIdx, int ARow1, int ARow2);
    void InitSortXRef();
    int SortedRowIndex(int ARow) const;
    int UnSortedRowIndex(int ARow) const;
    std::string GetUnSortedCell(int ACol, int ARow) const;
    void SetUnSortedCell(int ACol, int ARow, const std::string& Value);
    virtual void SortSwapRows(int ARow1, int ARow2);

    // Typed cells. Reading an empty cell gives 0; a text that is no number
    // raises DIdiZedoRorid. Floats are written with FloatFormat.
    int GetInts(int ACol, int ARow) const;
    void SetInts(int ACol, int ARow, int Value);
    double GetFloats(int ACol, int ARow) const;
    void SetFloats(int ACol, int ARow, double Value);
    std::string FloatText(double Value) const;  // a float as SetFloats writes it

    // Calculations over the cells' float values, both ends of the range included.
    double ColumnSum(int ACol, int FromRow, int ToRow) const;
    double ColumnAvg(int ACol, int FromRow, int ToRow) const;  // 0 for an empty range
    double ColumnMin(int ACol, int FromRow, int ToRow) const;
    double ColumnMax(int ACol, int FromRow, int ToRow) const;
    double RowSum(int ARow, int FromCol, int ToCol) const;
    double RowAvg(int ARow, int FromCol, int ToCol) const;
    double RowMin(int ARow, int FromCol, int ToCol) const;
    double RowMax(int ARow, int FromCol, int ToCol) const;
    void AutoNumberCol(int ACol);
    void AutoNumberRow(int ARow);
    // Row height = (h + h / 4) * Lines + Padding, h the canvas's height of "gh".
    void SizeToLines(int ARow, int Lines, int Padding);
    int MaxLinesInRow(int ARow) const;
    // Heights and widths to fit the cells' texts and graphics.
    void AutoSizeRow(int ARow);
    void AutoSizeRows(bool DoFixedRows, int Padding);
    void AutoSizeColumns(bool DoFixedCols, int Padding);
    void AutoSizeCells(bool SkipFixed, int XPadding, int YPadding);
    // The selected cells, a tab after each but the last of a row, CR LF after each row.
    std::string SelectedText();
    void SwapColumns(int ACol1, int ACol2);
    void SwapRows(int ARow1, int ARow2);

    // Hidden columns (real columns below 256) keep their cells beyond ColCount.
    void HideColumn(int ACol) { HideColumns(ACol, ACol); }
    void HideColumns(int FromCol, int ToCol);
    void UnHideColumn(int ACol) { UnHideColumns(ACol, ACol); }
    void UnHideColumns(int FromCol, int ToCol);
    void UnHideColumnsAll();
    // Hidden rows are taken out of the grid with all their cells and objects.
    void HideRow(int ARow) { HideRows(ARow, ARow); }
    void HideRows(int FromRow, int ToRow);
    void HideRowsEx(int FromRow, int ToRow);
    void UnHideRow(int ARow);
    void UnHideRows(int FromRow, int ToRow);
    void UnHideRowsAll();
    void HideSelectedRows();
    void ScreenToCell(QPoint P, int& ACol, int& ARow) const;

    // Tree nodes: a node row heads the rows under it up to the next node
    // (Span 0) or Span - 1 rows; contracting hides them.
    void AddNode(int ARow, int Span);
    void RemoveNode(int ARow);
    bool IsNode(int ARow) const;
    bool GetNodeState(int ARow) const;  // true when contracted
    void SetNodeState(int ARow, bool Contracted);
    int GetNodeSpan(int ARow) const;    // -1 for a row that is no node
    void ContractNode(int ARow);
    void ExpandNode(int ARow);
    void ExpandAll();
    void ContractAll();
    int NodeCount() const { return cellNodes_; }
    bool HasNodes() override { return cellNodes_ > 0; }
    int NodeIndent(int ARow) override;

    // Grouping by the values of one column into node rows.
    int GroupColumn() const { return groupColumn_; }
    void SetGroupColumn(int ACol);
    void Group(int ACol);
    void UnGroup();
    void GroupSum(int ACol) { GroupCalc(ACol, 1); }
    void GroupAvg(int ACol) { GroupCalc(ACol, 2); }
    void GroupMin(int ACol) { GroupCalc(ACol, 3); }
    void GroupMax(int ACol) { GroupCalc(ACol, 4); }
    void GroupCount(int ACol) { GroupCalc(ACol, 5); }

    // The cells the save and export routines write (IncludeFixedCells widens it).
    int GetSaveStartCol() const;
    int GetSaveStartRow() const;
    int GetSaveEndCol() const;
    int GetSaveEndRow() const;
    int GetSaveColCount() const;
    int GetSaveRowCount() const;

private:
    class SortSpace;
    class RowSorter;  // the sort of rows that stay in place until their order is known
    void quickSortRows(int ACol, int L, int R);
    void quickSortRowsIndexed(int L, int R);
    void copyPivot(int Source, int Target);
    void sortWhole(int Kind);  // 0 by the sort column, 1 by the index list, 2 per node group
    int directionFactor() const;
    int firstIndexColumn() const;
    void measuringFont(int ACol, int ARow);
    // The keys of the sort column's cells while a sort moves rows: they move
    // with their rows (SortSwapRows) and are copied with the pivot.
    class SortKeysScope;
    SortKey* sortKey(int ACol, int ARow);
    std::vector<SortKey> sortKeys_;
    int sortKeysCol_ = -1;
    const std::string& sortText(int ACol, int ARow, std::string& Buffer) const;
    void groupCalc(int ACol, int Kind);
    void GroupCalc(int ACol, int Kind) { groupCalc(ACol, Kind); }
    void hideRows(int FromRow, int ToRow, bool Ex);
    int nodeEnd(int ARow) const;
    void setNodeRowsHidden(int ARow, bool Hide);

    std::vector<int> sortXRef_;
    int sortRow_ = -1;       // the current row, followed through the swaps of a sort
    std::array<std::uint16_t, 256> hiddenColWidths_{};
    std::vector<std::vector<platform::Object*>> hiddenRowObjects_;  // beside hiddenRows_
    int groupColumn_ = -1;
    int groupColWidth_ = 0;
    std::string groupHeader_;
    struct HiddenObjectsRelease {
        RIvuZuvuzoZuvu* Grid;
        ~HiddenObjectsRelease();
    } hiddenObjectsRelease_{this};

    // ==================================================================
    // mouse, keys, scrolling, timer, hints and footer
    //
    // One left-button press runs press -> moves -> release; the working
    // fields of a press (pressState_) are reset at the next press. A release
    // that ended a column sizing, a move or a double-click auto-size never
    // sorts. Find remembers its text, parameters and last found cell between
    // FindFirst and FindNext. The grid timer (500 ms) starts when the grid is
    // first shown; it drives hovering and blinking text.
public:
    Event<int /*ARow*/, int /*ACol*/> OnClickCell, OnRightClickCell, OnDblClickCell;
    Event<int /*ARow*/, int /*ACol*/, const std::string& /*Anchor*/, bool& /*AutoHandle*/> OnAnchorClick;
    Event<int /*ACol*/, bool& /*Allow*/> OnColumnSize, OnColumnMove;
    Event<int /*ARow*/, bool& /*Allow*/> OnRowSize, OnRowMove;
    Event<int /*ACol*/> OnEndColumnSize;
    Event<int /*ARow*/> OnEndRowSize;
    Event<int /*ARow*/, int /*ARowreal*/> OnExpandNode, OnContractNode;
    Event<int /*ARow*/, int /*ACol*/, std::string& /*hintstr*/> OnGridHint;
    Event<int /*ARow*/, std::string& /*hintstr*/> OnScrollHint;
    Event<int /*ARow*/, bool& /*CanInsert*/> OnCanInsertRow;
    Event<int /*ARow*/> OnAutoInsertRow;
    Event<int /*ARow*/, bool& /*CanDelete*/> OnCanDeleteRow;
    Event<int /*ARow*/> OnAutoDeleteRow;
    Event<int /*ACol*/, int /*ARow*/, std::string& /*S*/> OnEllipsClick;
    Event<int /*ARow*/, int /*ACol*/, const std::string& /*Anchor*/> OnAnchorEnter, OnAnchorExit;
    Event<int /*ARow*/, int /*ACol*/, std::string& /*Anchor*/> OnAnchorHint;
    Event<int /*ACol*/, int /*ARow*/, bool /*State*/> OnCheckBoxClick, OnCheckBoxMouseUp;
    Event<int /*ACol*/, int /*ARow*/, int /*AIdx*/> OnRadioClick, OnRadioMouseUp;
    Event<int /*ACol*/, int /*ARow*/> OnButtonClick;

    enum TMouseSelectMode { msNormal, msColumn, msRow, msAll, msURL };
    TMouseSelectMode MouseSelectMode() const { return mouseSelectMode_; }

    // True when (X, Y) lies less than 4 pixels from a column border in the
    // header rows (with goColSizing) or from a row border in the fixed
    // columns (with goRowSizing).
    bool InSizeZone(int X, int Y);
    // Brings a cell into view, centring it when it is outside; a visible
    // cell changes nothing.
    void ScrollInView(int ACol, int ARow);
    // The hint shown while a scroll thumb is dragged (empty when none).
    const std::string& ScrollHintText() const { return scrollHint_; }

    // Column width to fit the widest cell text (+4); with OnlyGrow the width never shrinks.
    void SizeToWidth(int ACol, bool OnlyGrow);
    void AutoSizeCol(int ACol) { SizeToWidth(ACol, false); }

    // Find parameters, or-ed together.
    enum TFindParameter : unsigned {
        fnMatchCase = 1, fnMatchFull = 2, fnMatchRegular = 4, fnDirectionLeftRight = 8, fnMatchStart = 16,
        fnFindInCurrentRow = 32, fnFindInCurrentCol = 64, fnIncludeFixed = 128, fnAutoGoto = 256,
        fnIgnoreHTMLTags = 512, fnBackward = 1024
    };
    // Find: a point (column, row), or (-1, -1) when nothing matches.
    QPoint Find(QPoint StartCell, const std::string& S, unsigned Params);
    QPoint FindFirst(const std::string& S, unsigned Params);
    QPoint FindNext();
    bool MatchCell(int ACol, int ARow);
    bool FindBusy() const { return findActive_; }

    std::string EllipsClick(const std::string& Value);
    // A click at (X, Y), relative to the cell's top-left corner, on a radio
    // group: the item under it is chosen; a point between items changes nothing.
    void HandleRadioClick(int ACol, int ARow, int X, int Y);
    // The value of the link under a client point of an HTML cell; empty when none.
    std::string AnchorAt(int ACol, int ARow, int X, int Y);

    // Every column and row grows by X pixels while the zoom step stays
    // within -10..10; nothing shrinks to 0 or below.
    void Zoom(int X);
    int ZoomStep() const { return zoom_; }
    bool BlinkPhase() const { return blink_; }
    bool Panning() const { return panning_; }
    void InvalidateGridRect(const TGridRect& R) { RepaintRect(R); }
    // The hint text for the point (client coordinates) and where it shows;
    // false when none shows. A cell's own text or comment that the grid
    // draws as plain text comes back escaped, so the hint shows it as typed.
    bool CellHint(QPoint P, std::string& Text, QPoint& Where);
    // The grid's one hint window (cell, anchor, size and scroll hints), made
    // on first use; HideHint hides it and forgets the hint cell.
    THTMLHintWindow* HintWindow();
    void HideHint();
    QPoint HintCell() const { return hintCell_; }
    // The grid's border: Qt's frame, or with the soft look our own flat one.
    void SetBorderStyle(platform::BorderStyle b) override;

    std::string GetStrippedCell(int ACol, int ARow) const;
    // Cells by real row and column: a hidden row answers from (and keeps) its
    // saved cells, a shown one is looked up where it is displayed.
    std::string GetCellsEx(int ACol, int ARow) const;
    void SetCellsEx(int ACol, int ARow, const std::string& Value);
    // The saved cells of a hidden row (real index); nullptr when the row is shown.
    const TGridItem* HiddenRow(int ARow) const;
    // Widths of all real columns, hidden ones included.
    int GetAllColWidths(int ACol) const;
    void SetAllColWidths(int ACol, int Width);
    // Colour of the four arrows shown while a column or row is moved.
    TColor GetArrowColor() const { return arrows_[0]->Color(); }
    void SetArrowColor(TColor Value);
    // The combo editor's list: items, an object per item, and the selection.
    void ClearComboString();
    void AddComboString(const std::string& S);
    void AddComboStringObject(const std::string& S, platform::Object* Obj);
    bool RemoveComboString(const std::string& S);
    bool SetComboSelectionString(const std::string& S);
    void SetComboSelection(int Index);
    int GetComboCount() const;
    // The grid's cursor; what is set here comes back after link hovering.
    Qt::CursorShape GetCursorEx() const { return normalCursor_; }
    void SetCursorEx(Qt::CursorShape Shape);
    std::string GetCurrentCell() const { return GetCellEx(GetRealCol(), Row()); }
    void SetCurrentCell(const std::string& Value) { SetCellEx(GetRealCol(), Row(), Value); }
    TColor GetColors(int ACol, int ARow) const;
    void SetColors(int ACol, int ARow, TColor Value);

    // The footer's settings changed: panel height, footer-row flag, repaint.
    void FloatingFooterChanged();
    TFooterPanel* Footer() const;
    // Draws a cell's content on another surface (the footer panel).
    void PaintCellOn(platform::Canvas& Canvas, int ACol, int ARow, const Rect& R, platform::GridDrawState State)
    {
        DrawGridCell(Canvas, ACol, ARow, R, State);
    }

protected:
    void MouseUp(platform::MouseButton button, platform::ShiftState shift, int x, int y) override;
    void PressLost() override;
    void MouseMove(platform::ShiftState shift, int x, int y) override;
    void DblClick(platform::ShiftState shift, int x, int y) override;
    void CalcSizingState(int x, int y, platform::GestureState& state, int& index, int& sizingPos,
                         int& sizingOfs) override;
    void ColumnMoved(int from, int to) override;
    void RowMoved(int from, int to) override;
    void KeyDown(int& key, platform::ShiftState shift) override;
    bool MouseWheel(platform::ShiftState shift, int delta, QPoint pos) override;
    void VScroll(platform::ScrollCode code, int pos) override;
    void HScroll(platform::ScrollCode code, int pos) override;
    void ColWidthsChanged() override;
    void RowHeightsChanged() override;
    void SizeChanged(int oldColCount, int oldRowCount) override;
    void Resize() override;
    void TopLeftChanged() override;
    void FontChanged() override;
    void Click() override;
    void DoEnter() override;
    std::string GetEditText(int col, int row) override;
    void SetEditText(int col, int row, const std::string& text) override;
    void timerEvent(QTimerEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    // The press handling behind MouseDown.
    void gridMouseDown(platform::MouseButton button, platform::ShiftState shift, int x, int y);
private:
    // the steps of KeyDown
    void flagRowsAfterMove(int OldRow, const TGridRect& OldSelection, bool Shift);
    bool listRangeKey(int Key) const;
    void extendRowsByKey(int& Key, platform::ShiftState Shift);
    void moveAlongRow(int Step);
    // the steps of gridMouseDown
    void startPanning(int x, int y);
    void rightMouseDown(platform::ShiftState shift, int col, int row, int x, int y);
    void toggleNodeAt(int row);
    bool clickAnchorAt(int col, int row, int real, int x, int y);
    void selectFromHeaderAt(int col, int row, int x, int y);
    bool clickCheckBoxAt(int col, int row, int real);
    void pressCellInGrid(platform::MouseButton button, platform::ShiftState shift, int col, int row, int x, int y);
    // What a release (Released) and a lost press both end, (col, row) and x
    // being where the press ends.
    void endPress(bool Released, int col, int row, int x);

public:
    // Set when the grid changed while no screen reader listened or while it
    // was hidden: what a reader was told of it before is out of date
    // (grid/gridaccessible.cpp takes the grid afresh then).
    bool AccessibleOutOfDate = true;

protected:
    // Shows the editor on the validated cell again once the current event is done.
    void reopenEditorLater();
    // The current cell or the selected block moved, a row's text was written:
    // a screen reader is told (grid/gridaccessible.h).
    void SelectionMoved() override;
    void RowTextChanged(int row) override;
    // Under the update lock: EndUpdate repaints the whole grid.
    bool CellRepaintsHeld() const override { return updateCount_ > 0; }
    // The selection may have changed: a screen reader is told, and
    // OnSelectionChange once the current event is done.
    void selectionChanged();
    // Names an editor control shown over a cell (ACol displayed) for a screen
    // reader: by the cell's column header, unless it is a button or check box
    // that shows a caption of its own.
    void nameEditorControl(QWidget* Control, int ACol);

    // ==================================================================
    // clipboard (gridclipboard.cpp; the text is made and cut by
    // grid/exchange/clipboardtext.h)
    //
    // Blocks go to the clipboard as tab-separated UTF-8 text ("text/plain"),
    // CR LF after every row of a block of more than one row; with
    // Navigation.AllowRTFClipboard a top-left cell holding rich text also goes
    // as "text/rtf". A paste writes editable cells only (any cell with
    // AllowClipboardAlways) and grows the grid only as the grow settings
    // allow. A clipboard that cannot be used changes nothing and says nothing.
public:
    void CopyToClipBoard();            // the saved range
    void CopySelectionToClipboard();   // the selection (the saved range with DisjunctRowSelect)
    void CutToClipboard();
    void CutSelectionToClipboard();
    void PasteFromClipboard();            // at the first saved column and row
    void PasteSelectionFromClipboard();   // at the selection's top-left cell, then the smart fill
    // Places the text of a block of displayed columns on the clipboard; true
    // when the clipboard holds it afterwards.
    bool CopyFunc(const TGridRect& R);
    // Adds the cell's rich text (when it holds any) to what the clipboard holds.
    void CopyRTFFunc(int ACol, int ARow);
    // Pastes the clipboard at a cell: the field count of a text paste, else 0.
    int PasteFunc(int ACol, int ARow);
    // Writes lines cut at CR LF, LF or CR (with QuoteClipboardLines not at
    // the LFs inside a quoted field) and fields cut at tabs from (ACol, ARow) on; the number of fields, stored or not, an empty one
    // after a final line end included. An empty text pastes nothing.
    int PasteText(int ACol, int ARow, const std::string& Text);
    // Columns (x) and rows (y) of a text as PasteText cuts it; a last line
    // without line end counts when it holds anything. QuotedLines: as
    // PasteText cuts with QuoteClipboardLines.
    static QPoint PasteSize(std::string_view Text, bool QuotedLines = false);
    // After every text paste: the copied origin, the block from the paste
    // cell to the last column and row reached, and the last clipboard operation.
    virtual void PasteNotify(QPoint Origin, const TGridRect& Pasted, TClipOperation Operation) {}
    TClipOperation LastClipOperation() const { return clipOperation_; }
    // Top-left cell of the last copied block; (-1, -1) before any copy.
    QPoint CopiedOrigin() const { return copiedOrigin_; }

private:
    // The text of a block: fields by RemapCol, rich text as plain text,
    // multi-line fields quoted with QuoteClipboardLines, only flagged rows with
    // DisjunctRowSelect. For the clipboard the fields come from SaveCell (tags
    // stripped unless CopyHTMLTagsToClipboard) and a one-row block has no line
    // end; otherwise the cell texts, CR LF after every row.
    std::string blockText(const TGridRect& R, bool ForClipboard);
    // Empties the cells of R that a paste may write.
    void cutCells(const TGridRect& R);
    // PasteText that also reports the block it reached (Left -1 when none),
    // how many cells it wrote and how many fields found no cell that took them.
    int pasteText(int ACol, int ARow, std::string_view Text, TGridRect& Reached, int& Stored, int& Skipped);
    bool mayPasteInto(int ACol, int ARow);
    // Fills the selection from the one or two values a paste left at its top.
    void smartFill(int Fields);
    // The clipboard keys (with AllowClipboardShortCuts); true when the key was one.
    bool clipboardKey(int Key, platform::ShiftState Shift);
    TClipOperation clipOperation_ = coCopy;
    QPoint copiedOrigin_{-1, -1};

    // ==================================================================
    // drag and drop
    //
    // With DragDropSettings.OleDropSource a press on a selected cell (or on a
    // header when EnhRowColMove is off) starts a drag of the selected text (or
    // the column) once the pointer moves more than 3 pixels; with OleDropTarget
    // the viewport takes drops through the grid's drop target. A move within
    // the grid clears (or removes) only the source cells the drop left alone.
public:
    Event<int /*ARow*/, int /*ACol*/, const std::string& /*data*/, bool& /*Allow*/> OnOleDrag, OnOleDrop;
    Event<int /*ARow*/, int /*ACol*/> OnOleDragStart;
    Event<int /*OLEEffect*/> OnOleDragStop;
    Event<int /*ARow*/, int /*ACol*/, bool& /*Allow*/> OnOleDragOver;
    Event<const TGridRect& /*ARect*/> OnOleDropped;
    Event<int /*ARow*/, int /*ACol*/, int /*DropCol*/> OnOleDropCol;

    // The drop target while drops were ever switched on (nullptr before).
    TGridDropTarget* DropTarget() const { return dropTarget_.get(); }
    // Registers or revokes the drop target after OleDropTarget, OleAcceptText or OleAcceptFiles changed.
    void ApplyDropTarget();

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    friend class TGridDropTarget;
    friend class TGridInplaceEdit;
    friend class TGridCombo;
    friend class TGridDropSource;
    // The press at the pointer started a drag when the drag pending of the press allows it.
    bool startOleDrag(int x, int y);
    // After a move out of the grid (or within it): the source cells or rows the drop did not write go.
    void removeMovedSource();
    void hideDropFeedback();
    bool forwardDragEvent(QEvent* e);
    std::unique_ptr<TGridDropTarget> dropTarget_;
    bool dropRegistered_ = false;
    // The grid's own drag while it runs: the dragged cells, where a drop into
    // this grid wrote, and whether a move was dropped onto its own cells.
    struct OwnDrag {
        bool active = false;
        TGridRect source{-1, -1, -1, -1};
        TGridRect written{-1, -1, -1, -1};
        bool ontoItself = false;
    } ownDrag_;

private:
    struct PressState {
        QPoint point;
        int col = -1, row = -1;        // the cell under the press
        int moveSource = -1;           // header column or row pressed
        int headerAnchor = -1;         // first header row (column) of a header drag
        bool rowDeselect = false;      // a Ctrl-press on a selected row
        bool noSort = false;           // the release must not sort (double-click auto-size)
        bool moved = false;            // a column or row was moved
        bool widthsChanged = false;    // a column width changed
        bool fixedSizing = false;      // dragging the right edge of column 0
        int fixedSizingX = 0;
        QPoint button{-1, -1};         // the cell whose button is held down (real column)
        bool dragPending = false;      // a drag may start once the pointer moves
    };
    void scrollHintFor(bool Vertical, platform::ScrollCode Code, int Pos);
    // Shows Text in the hint window with its top-left corner at a viewport point.
    void showHintAt(QPoint ViewportAt, const std::string& Text, TColor Color);
    void applyFrame();
    void paintSoftFrame();
    TMouseSelectMode selectModeAt(int X, int Y, int ACol, int ARow);
    // While a column (row) is dragged: the header under the pointer, arrows at the gap, scrolling at the edges.
    void showMoveFeedback(int X, int Y);
    void hideMoveFeedback();
    // A mouse sizing ended: the others in proportion (AllColumnSize, AllRowSize), then the end event.
    void mouseSizingDone(bool Columns);
    void openAnchor(const std::string& Anchor);
    void applyZoomStep(int X);
    void panStep();
    void endPanning();
    void placeFooter();
    int lastDataRow() const { return RowCount() - fixedFooters_ - 1; }

    PressState pressState_;
    TMouseSelectMode mouseSelectMode_ = msNormal;
    bool fixedSizingArmed_ = false;
    bool sizingCol_ = false, sizingRow_ = false;  // a mouse sizing is under way
    int sizedIndex_ = -1, sizedStart_ = 0;         // what it sizes and its size at the start
    bool stretchGuard_ = true;
    std::string scrollHint_;
    THTMLHintWindow* hintWindow_ = nullptr;  // a child of the grid
    QPoint hintCell_{-1, -1};                // the cell whose hint shows
    std::string hoverAnchor_;  // the link under the pointer
    Qt::CursorShape normalCursor_ = Qt::ArrowCursor;

    std::string findText_;
    unsigned findParams_ = 0;
    QPoint findCell_{-1, -1};
    bool findActive_ = false;

    int gridTimer_ = 0;
    bool blink_ = false;
    int zoom_ = 0;
    bool panning_ = false;
    int panTimer_ = 0;
    QPoint panOrigin_;
    int lastWidth_ = -1;
    bool reopenQueued_ = false;
    int wheelRest_ = 0;

    // ==================================================================
    // cell objects and cell graphics
    //
    // A cell carries at most one TCellGraphic (cellgraphic.h), held by its
    // properties object and freed with it; every Add.../Create... replaces
    // the cell's earlier graphic. Objects given to an Add... call stay the
    // caller's (pictures, icons, radio item lists), except a bit button's
    // glyph; Create... objects and the grid's own lists are freed with the
    // graphic. Cell arguments are the caller's to keep inside the grid.
public:
    virtual TCellGraphic* GetCellGraphic(int ACol, int ARow) const;
    virtual TCellType GetCellType(int ACol, int ARow) const;  // ctEmpty without a graphic
    TCellGraphic* CreateCellGraphic(int ACol, int ARow);
    bool FreeCellGraphic(int ACol, int ARow);
    bool RemoveCellGraphic(int ACol, int ARow, TCellType AType);

    void AddBitmap(int ACol, int ARow, TBitmap* ABitmap, bool Transparent, TCellHAlign HAlign, TCellVAlign VAlign);
    TBitmap* CreateBitmap(int ACol, int ARow, bool Transparent, TCellHAlign HAlign, TCellVAlign VAlign);
    TBitmap* GetBitmap(int ACol, int ARow) const;
    bool RemoveBitmap(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctBitmap); }
    void AddPicture(int ACol, int ARow, TPicture* APicture, bool Transparent, TStretchMode StretchMode, int Padding,
                    TCellHAlign HAlign, TCellVAlign VAlign);
    TPicture* CreatePicture(int ACol, int ARow, bool Transparent, TStretchMode StretchMode, int Padding,
                            TCellHAlign HAlign, TCellVAlign VAlign);
    TPicture* GetPicture(int ACol, int ARow) const;
    bool RemovePicture(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctPicture); }
    void AddFilePicture(int ACol, int ARow, TFilePicture* APicture, bool Transparent, TStretchMode StretchMode,
                        int Padding, TCellHAlign HAlign, TCellVAlign VAlign);
    TFilePicture* CreateFilePicture(int ACol, int ARow, bool Transparent, TStretchMode StretchMode, int Padding,
                                    TCellHAlign HAlign, TCellVAlign VAlign);
    TFilePicture* GetFilePicture(int ACol, int ARow) const;
    bool RemoveFilePicture(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctFilePicture); }
    void AddIcon(int ACol, int ARow, TIcon* AIcon, TCellHAlign HAlign, TCellVAlign VAlign);
    TIcon* CreateIcon(int ACol, int ARow, TCellHAlign HAlign, TCellVAlign VAlign);
    TIcon* GetIcon(int ACol, int ARow) const;
    bool RemoveIcon(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctIcon); }

    // Image-list cells; nothing is attached while GridImages is not a TCustomImageList.
    void AddImageIdx(int ACol, int ARow, int Index, TCellHAlign HAlign, TCellVAlign VAlign);
    bool RemoveImageIdx(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctImageList); }
    bool GetImageIdx(int ACol, int ARow, int& Index) const;
    void AddDataImage(int ACol, int ARow, int Index, TCellHAlign HAlign, TCellVAlign VAlign);
    bool RemoveDataImage(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctDataImage); }
    void AddMultiImage(int ACol, int ARow, int Dir, TCellHAlign HAlign, TCellVAlign VAlign);
    bool RemoveMultiImage(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctImages); }
    TIntList* GetCellImages(int ACol, int ARow) const;
    // The sort key of an image cell: ctBitmap and ctIcon the image's identity,
    // ctImages the graphic's value, -1 for other cells.
    long long GetCellImageIdx(int ACol, int ARow) const;
    TCustomImageList* ImageList() const;

    // Radio groups: with Selected -1 the cell text names the chosen item.
    void AddRadio(int ACol, int ARow, int Across, int Selected, TCellStrings* Items);
    TCellStrings* CreateRadio(int ACol, int ARow, int Across, int Selected);
    bool RemoveRadio(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctRadio); }
    TCellStrings* GetRadioStrings(int ACol, int ARow) const;
    bool IsRadio(int ACol, int ARow) const;
    bool GetRadioIdx(int ACol, int ARow, int& Index) const;
    bool SetRadioIdx(int ACol, int ARow, int Index);
    bool ToggleRadio(int ACol, int ARow, bool FromEdit);

    // Check boxes: a data check box shows whether its text is the check-true text.
    void AddCheckBox(int ACol, int ARow, bool State, bool Data);
    bool RemoveCheckBox(int ACol, int ARow);
    bool HasCheckBox(int ACol, int ARow) const;
    bool HasDataCheckBox(int ACol, int ARow) const;
    bool HasStaticEdit(int ACol, int ARow) const;
    bool GetCheckBoxState(int ACol, int ARow, bool& State);
    bool SetCheckBoxState(int ACol, int ARow, bool State);
    bool ToggleCheck(int ACol, int ARow, bool FromEdit);
    bool ToggleCheckBox(int ACol, int ARow) { return ToggleCheck(ACol, ARow, false); }
    // What a click on the check box of a cell (ACol displayed) does: when the
    // cell may be edited, the check toggles, OnCheckBoxClick tells of it and
    // the cell becomes current. False when nothing was toggled.
    bool ClickCheckBoxCell(int ACol, int ARow);
    // What a click on the button of a cell (ACol displayed) does: OnButtonClick
    // (real column). False when the cell has no button.
    bool PressCellButton(int ACol, int ARow);

    void AddButton(int ACol, int ARow, int BWidth, int BHeight, const std::string& Caption, TCellHAlign HAlign,
                   TCellVAlign VAlign);
    // The glyph becomes the graphic's and is freed with it.
    void AddBitButton(int ACol, int ARow, int BWidth, int BHeight, const std::string& Caption, TBitmap* Glyph,
                      TCellHAlign HAlign, TCellVAlign VAlign);
    TBitmap* CreateBitButton(int ACol, int ARow, int BWidth, int BHeight, const std::string& Caption,
                             TCellHAlign HAlign, TCellVAlign VAlign);
    bool RemoveButton(int ACol, int ARow);
    bool HasButton(int ACol, int ARow) const;
    void PushButton(int ACol, int ARow, bool Pushed);
    Rect ButtonRect(int ACol, int ARow) const;

    // Progress bars: the cell text holds the value (0..100).
    void AddProgress(int ACol, int ARow, TColor Color1, TColor Color2);
    // Done colour, text colour on it, rest colour, text colour on the rest.
    void AddProgressEx(int ACol, int ARow, TColor Color1, TColor Color2, TColor Color3, TColor Color4);
    bool RemoveProgress(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctProgress); }

    void AddComment(int ACol, int ARow, const std::string& Text);
    bool IsComment(int ACol, int ARow, std::string& Text) const;
    bool RemoveComment(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctComment); }

    // A progress cell's value (real column): its text as a number in 0..100, 0 for other text.
    int ProgressValue(int ACol, int ARow) const;

    // Angles are kept in 0..360 degrees.
    void AddRotated(int ACol, int ARow, int Angle, const std::string& Text);
    void SetRotated(int ACol, int ARow, int Angle);
    bool IsRotated(int ACol, int ARow, int& Angle) const;
    bool RemoveRotated(int ACol, int ARow) { return RemoveCellGraphic(ACol, ARow, ctRotated); }

    void AddMarker(int ACol, int ARow, int Start, int Length);
    void RemoveMarker(int ACol, int ARow);
    void GetMarker(int ACol, int ARow, int& Start, int& Length) const;

    // 0 for a node row and rows before any node, 1 where a node's rows end
    // (or the last data row), 2 inside a node's rows.
    int GetNodeSpanType(int ARow);

    // Room a graphic takes, on screen and in print (Factor divides the result).
    virtual QPoint GetCellGraphicSize(int ACol, int ARow);
    virtual QPoint GetPrintGraphicSize(int ACol, int ARow, int AWidth, int AHeight, double Factor);

    // Dates and times as the short date text of formatSettings() and "hh:mm:ss";
    // reading a text that is neither raises EConvertError.
    TDateTime GetDates(int ACol, int ARow) const;
    void SetDates(int ACol, int ARow, TDateTime Value);
    TDateTime GetTimes(int ACol, int ARow) const;
    void SetTimes(int ACol, int ARow, TDateTime Value);

    // Width and offset the last print gave a column (columns 0..255; -1 otherwise).
    int GetPrintColWidth(int ACol) const;
    int GetPrintColOffset(int ACol) const;
    void SetPrintColumn(int ACol, int Width, int Offset);

    // ---- the grid's own printing and print preview (gridprint.cpp, gridprintcells.cpp)
    // Pages are laid out in 0.1 mm on a canvas in MM_LOMETRIC. PrintRect prints
    // on the current printer and raises DIdiZedoRorid when there is none or the
    // job fails; the others draw on a canvas attached to a painter, the given
    // rectangle (device pixels) serving as the page.
    Event<int /*NrOfPages*/, int& /*FromPage*/, int& /*ToPage*/> OnPrintStart;
    Event<platform::Canvas* /*Canvas*/, int /*PageNr*/, int /*PageXSize*/, int /*PageYSize*/> OnPrintPage;
    Event<platform::Canvas* /*Canvas*/, int /*LastRow*/, int /*LastRowOffset*/, int /*LastPage*/, int /*PageXSize*/,
          int /*PageYSize*/>
        OnPrintPageDone;
    Event<int /*ARow*/, bool& /*NewPage*/> OnPrintNewPage;
    Event<int /*ACol*/, int& /*Width*/> OnPrintSetColumnWidth;
    Event<int /*ARow*/, int& /*Height*/> OnPrintSetRowHeight;
    Event<double& /*ScaleFactor*/, bool& /*Allow*/> OnFitToPage;
    void Print();
    void PrintRect(const TGridRect& R);
    void PrintPreview(platform::Canvas& ACanvas, const Rect& R);
    void PrintPreviewRect(platform::Canvas& ACanvas, const Rect& R, const TGridRect& G);
    void SetPreviewPage(int Page) { printFrom_ = printTo_ = Page; }
    void PrintDraw(platform::Canvas& ACanvas, const Rect& R);
    void PrintDrawRect(platform::Canvas& ACanvas, const Rect& R, const TGridRect& G);
    // The page engine: lays out (and for prPreview and prPrint draws) the print
    // rectangle; the number of pages laid out.
    int BuildPages(platform::Canvas& ACanvas, TPrintMethod Method, int PageCount);
    int PrintFromPage() const { return printFrom_; }
    int PrintToPage() const { return printTo_; }
    int PrintPageCount() const { return printTotal_; }
    // The six header and footer texts of the last page a pass drew, by TPrintPosition.
    const std::array<QString, 7>& PrintSlotTexts() const { return pass_.Slots; }
    int MaxCharsInCol(int ACol);
    int MapFontHeight(int Points) const;  // a negative height in 0.1 mm
    int MapFontSize(int Height) const;
    int MaxLinesInGrid() const;

    // ---- column widths and print settings kept in INI files (gridpersist.cpp)
    // The column widths go to ColumnSize's file and section (nothing without
    // a Key and a Section); with ColumnSize.Save the grid loads them when it is
    // first shown and saves them when it is destroyed. SaveColSizes never
    // throws: a file that cannot be written keeps its old content.
    void SaveColSizes();
    void LoadColSizes();
    // SavePrintSettings raises DIdiZedoRorid when the file cannot be written;
    // loading a missing file, section or key gives the defaults.
    void SavePrintSettings(const QString& FileName, const QString& Section);
    void LoadPrintSettings(const QString& FileName, const QString& Section);

    // Headers: the lists are written into row 0 (column 0) while there is a fixed row (column).
    void SetColumnHeaders(const QStringList& Value);
    void SetRowHeaders(const QStringList& Value);
    void ShowColumnHeaders();
    void ShowRowHeaders();
    void ClearColumnHeaders();
    void ClearRowHeaders();
    void Loaded();

    // Marking text inside cells with <hi>...</hi> and <e>...</e>.
    std::string HilightText(bool MatchCase, const std::string& Text, const std::string& Fragment) const;
    std::string MarkText(bool MatchCase, const std::string& Text, const std::string& Fragment) const;
    std::string UnHilightText(const std::string& Text) const;
    std::string UnMarkText(const std::string& Text) const;
    void MarkCells(const std::string& Fragment, const std::string& Tag, bool MatchCase, const TGridRect& R);
    void UnMarkCells(const std::string& Tag, const TGridRect& R);
    void HilightInCell(bool MatchCase, int ACol, int ARow, const std::string& Fragment);
    void HilightInCol(bool WithFixed, bool MatchCase, int ACol, const std::string& Fragment);
    void HilightInRow(bool WithFixed, bool MatchCase, int ARow, const std::string& Fragment);
    void HilightInGrid(bool WithFixed, bool MatchCase, const std::string& Fragment);
    void UnHilightInCell(int ACol, int ARow);
    void UnHilightInCol(bool WithFixed, int ACol);
    void UnHilightInRow(bool WithFixed, int ARow);
    void UnHilightInGrid(bool WithFixed);
    void MarkInCell(bool MatchCase, int ACol, int ARow, const std::string& Fragment);
    void MarkInCol(bool WithFixed, bool MatchCase, int ACol, const std::string& Fragment);
    void MarkInRow(bool WithFixed, bool MatchCase, int ARow, const std::string& Fragment);
    void MarkInGrid(bool WithFixed, bool MatchCase, const std::string& Fragment);
    void UnMarkInCell(int ACol, int ARow);
    void UnMarkInCol(bool WithFixed, int ACol);
    void UnMarkInRow(bool WithFixed, int ARow);
    void UnMarkInGrid(bool WithFixed);

    // The cell checker (CellChecker, a RIvuZuvuzoZuvuCheck): true when the text stays as it was.
    bool CheckCell(int ACol, int ARow);
    bool CheckCells(int FromCol, int FromRow, int ToCol, int ToRow);
    bool CheckCol(int ACol);
    bool CheckRow(int ARow);
    bool CheckGrid(bool WithFixed);

    void TextFill(bool WithFixed, const std::string& Text);
    void RandomFill(bool WithFixed, int AMax);

    // Columns whose equal neighbouring cells are merged; every change re-merges.
    TIntList MergedColumns;
    void ApplyColumnMerge();
    void UndoColumnMerge();

    // Row filter over Filter; FilterActive itself is read through GetFilterActive.
    Event<int /*Progress*/> OnFilterProgress;
    virtual bool MatchFilter(int ARow);
    void ApplyFilter();
    void SetFilterActive(bool Value);
    bool GetFilterActive() const { return FilterActive; }

    // ---- drawing of cell graphics
    // The cell's graphic and the box it takes; TextToo says whether the text is drawn as well.
    TCellGraphic* GetGraphicDetails(int ACol, int ARow, int& GW, int& GH, bool& TextToo, TCellHAlign& GHA,
                                    TCellVAlign& GVA);
    // Draws the graphic of real column C, row ARow inside R (the cell inside its
    // lines); HAlign is the cell text's alignment.
    void DrawCellGraphic(platform::Canvas& Canvas, int C, int ARow, Rect R, platform::GridDrawState AState,
                         TAlignment HAlign);
    // Start point for Text drawn rotated by Angle degrees inside ARect; ARect
    // becomes the area the text may cover.
    QPoint CalcTextPos(Rect& ARect, int Angle, const std::string& Text, TAlignment HAlign,
                       platform::Canvas* ACanvas = nullptr);
    // The pictures loaded by URL for HTML cell texts.
    THTMLPictureCache& PictureCache() { return pictureCache_; }

private:
    TCellGraphic* graphicOf(int ACol, int ARow, TCellType AType) const;  // nullptr unless of that type
    TCellGraphic* baseGraphic(int ACol, int ARow) const;                  // of the merged block's base cell
    TCellGraphic* newGraphic(int ACol, int ARow, TCellType AType, TCellHAlign HAlign, TCellVAlign VAlign);
    void setPictureFields(TCellGraphic* G, bool Transparent, TStretchMode StretchMode, int Padding);
    bool canEditFrom(int ACol, int ARow, bool FromEdit);
    void rewriteCells(const TGridRect& R, const std::function<std::string(const std::string&)>& Rewrite);
    TGridRect markRange(bool WithFixed, int FromCol, int FromRow, int ToCol, int ToRow) const;
    void drawCheck(platform::Canvas& Canvas, const Rect& B, bool Checked, bool Enabled);
    void drawRotatedText(platform::Canvas& Canvas, int C, int ARow, const Rect& R, int Angle, TAlignment HAlign);
    void drawRadio(platform::Canvas& Canvas, const Rect& R, TCellGraphic* G, int C, int ARow, bool Disabled);
    void drawRadioButton(platform::Canvas& Canvas, int X, int Y, bool On, bool Disabled);
    void drawProgress(platform::Canvas& Canvas, Rect R, TCellGraphic* G, int C, int ARow);
    QString progressLabel(int C, int ARow) const;  // "42%", "0%" for a text that is no number
    void drawNode(platform::Canvas& Canvas, Rect R, TCellGraphic* G, int ARow);
    void drawButton(platform::Canvas& Canvas, Rect B, TCellGraphic* G, const Rect& CellR);

    // the grid's own printing
    // the steps of BuildPages
    void preparePrintCanvas(platform::Canvas& ACanvas);
    bool startPageLayout(TPageLayout& L);
    void measurePrintColumns(const TPageLayout& L);
    void fitPrintColumnsToPage(const TPageLayout& L);
    void measureHeaderAndFooter();
    int placeColumnGroup(const TPageLayout& L, int First, bool Repeat);
    void printColumnGroup(const TPageLayout& L, int First, int Last, bool Repeat);
    int printRow(int ARow, int FromCol, int ToCol, int Y);
    int printRowHeight(int ARow);
    QPoint cellPrintSize(int ACol, int ARow);
    void printCell(int ACol, int ARow, Rect R, int RowHeight, int Y);
    void printCellGraphic(TCellGraphic* G, int C, int ARow, const Rect& Box);
    void printCellBorders(int C, int ARow, Rect R, int RowHeight, int Y);
    void printHeaderFooter();
    void printPageFrame(int Y, int FirstCol, bool RepeatCols);
    void beginPrintPage();
    void printOnCanvas(platform::Canvas& ACanvas, const Rect& R, const TGridRect& G);
    bool printPageDrawn() const;
    // The print font of a cell (through the print colours) and its colours on the pass's canvas.
    platform::Font cellPrintFont(int ACol, int ARow, platform::Brush& ABrush, TAlignment& HAlign, TVAlignment& VAlign);
    TGridRect printRect_{};
    Rect pageRect_{};  // in 0.1 mm: Top 0, Bottom negative
    int printFrom_ = 0, printTo_ = 0, printTotal_ = 0;
    double fontScale_ = 1.0;
    platform::Printer* printJob_ = nullptr;
    TPrintPass pass_;

    THTMLPictureCache pictureCache_;
    std::array<int, 256> printColWidths_ = makePrintCols();
    std::array<int, 256> printColOffsets_ = makePrintCols();
    struct MergedColumnsHook {
        explicit MergedColumnsHook(RIvuZuvuzoZuvu* Grid);
    } mergedColumnsHook_{this};
    bool filterRowAdded_ = false;
    int filterFixedRows_ = 0;
    static std::array<int, 256> makePrintCols()
    {
        std::array<int, 256> a;
        a.fill(-1);
        return a;
    }
};

}  // namespace grid
