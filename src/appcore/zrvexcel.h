// TZrvExcel: one workbook held in memory, read from and saved to spreadsheet
// files. Contacts are imported and exported through it and the list print
// dialog saves its list through it. Reading takes .xls (BIFF8), .xlsx (over
// minizip and QXmlStreamReader) and .csv, each with a reader of our own;
// saving writes .csv for a name ending in ".csv" and .xlsx for every other
// name. The file formats and their limits are described in
// workbookfiles.h, beside their readers and writers.
//
// Cells are addressed (column, row), both from 1. A cell holds nothing (an
// invalid QVariant), a text (QString), a number (double) or a truth value
// (bool). cellText() turns any of them into the text a text column takes.
//
// Callers keep to these rules:
//  - The object lives for one import, export or save; nothing is written to
//    disk except by save().
//  - A file that exists but cannot be read leaves an empty workbook and sets
//    readError(): check it before trusting an empty sheet.
//  - save() replaces the target only when the whole file has been written
//    (a temporary file beside it is renamed over it); false means the old
//    file, if any, is untouched.
#pragma once

#include "platform/dialogs.h"
#include "platform/workbookfiles.h"

#include <QString>
#include <QVariant>

#include <vector>

class TZrvExcel {
public:
    static constexpr int kMaxRows = workbookfiles::kMaxRows;
    static constexpr int kMaxColumns = workbookfiles::kMaxColumns;

    // Opens the workbook `fileName` (a new, empty one when the file does not
    // exist or cannot be read) and activates sheet 1.
    explicit TZrvExcel(const QString& fileName);
    ~TZrvExcel();
    TZrvExcel(const TZrvExcel&) = delete;
    TZrvExcel& operator=(const TZrvExcel&) = delete;

    bool opened = false;        // ready for use (between create and quit)
    bool workbookOpen = false;  // a workbook is open and active
    QString fileName;           // the file read; empty for a new workbook

    void create();
    // Reads fileName. False when the file exists but could not be read; a new
    // workbook is then open and readError() says why. A missing file gives a
    // new workbook and true.
    bool open();
    void newWorkbook();
    // Activates sheet n (from 1) when it exists; otherwise nothing happens.
    void activateSheet(int n);
    // There is no spreadsheet window to show or hide; kept so that callers
    // read as the steps they take.
    void setVisible(bool visible);
    // The value of a cell of the active sheet; invalid when empty, outside
    // the sheet or when no workbook is open.
    QVariant getCell(int column, int row) const;
    // Sets a cell of the active sheet; an invalid or empty-text value empties
    // it. Ignored outside 1..kMaxColumns, 1..kMaxRows or without a workbook.
    void setCell(int column, int row, const QVariant& value);
    // Writes the workbook to `name` (see the rules above). True on success;
    // fileName is then `name`. saveError() says why a save failed.
    bool save(const QString& name);
    void close();
    void quit();

    const QString& readError() const { return readError_; }
    const QString& saveError() const { return saveError_; }
    int sheetCount() const { return static_cast<int>(sheets_.size()); }
    // Highest row that holds a cell in the active sheet (0 when none).
    int lastRow() const;
    // The delimiter the active sheet's CSV file was split by; 0 when the
    // sheet came from no CSV file.
    char csvDelimiter() const;

    // The text of a cell value: texts as they are; numbers in plain decimal
    // form with no exponent and no trailing ".0" (12345678 gives "12345678",
    // 0.5 gives "0.5"); truth values "TRUE"/"FALSE"; empty for nothing.
    static QString cellText(const QVariant& value) { return workbookfiles::CellText(value); }

private:
    std::vector<WorkbookSheet> sheets_;
    int active_ = 0;
    QString readError_, saveError_;
};

// The request for a spreadsheet file to open or save: `excelFilter` first,
// then the comma-separated one; `suffix` is added to a name that has none.
platform::FileRequest SheetFileRequest(platform::FileRequest::Mode mode, const QString& excelFilter,
                                       const QString& suffix);
// The save request of a list or an export: .xlsx (the default) or .csv. The
// file dialog asks nothing about an existing file: the caller does.
platform::FileRequest SheetSaveRequest();
// The file a list or an export is saved into, empty when cancelled: the
// name picked with SheetSaveRequest, ".xlsx" added unless it ends in ".xlsx"
// or ".csv" (any case), so that the name tells what save() writes.
QString PickSheetToSave(QWidget* owner);
