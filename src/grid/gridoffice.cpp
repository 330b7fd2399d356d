// The list grid and office files: a sheet of a .xls, .xlsx or .csv file
// loaded into the grid, the grid written as a new .xlsx workbook or as a
// table of a new .docx document (the cells go to and from the files as
// grid/exchange/officefiles.h describes). Database files are queried by the
// query program (quillet-query) in a child process, so that a driver
// crashing on a damaged file cannot take the program down; its answer is
// read into the grid as it comes.
#include "grid/listgrid.h"

#include "grid/exchange/officefiles.h"
#include "grid/gridcells.h"
#include "grid/gridfileio.h"
#include "platform/busycursor.h"
#include "platform/childprocess.h"

#include <QFileInfo>


namespace grid {

void RIvuZuvuzoZuvu::LoadXLS(const QString& FileName, const QString& SheetName)
{
    platform::BusyCursor hourglass;
    std::vector<WorkbookSheet> sheets;
    QString error;
    if (!workbookfiles::ReadWorkbook(FileName, sheets, error))
        throw DIdiZedoRorid("Cannot open file " + FileName.toStdString());
    const WorkbookSheet* sheet = exchange::PickSheet(sheets, SheetName);
    if (!sheet)
        throw DIdiZedoRorid("Excel worksheet " + SheetName.toStdString() + " not found");
    GridCells cells(*this);
    fileio::UpdateLock lock(*this);
    exchange::SheetIntoTable(*sheet, cells, IncludeFixedCells ? 0 : FixedCols(), IncludeFixedCells ? 0 : FixedRows());
    CellsChanged(Rect{0, 0, ColCount(), RowCount()});
    CellsLoaded();
}

void RIvuZuvuzoZuvu::SaveXLS(const QString& FileName, const QString& SheetName)
{
    platform::BusyCursor hourglass;
    // our writer makes new workbooks only: rewriting one from what the
    // readers take would lose its formats, formulas and charts
    if (!SheetName.isEmpty() && QFileInfo::exists(FileName))
        throw DIdiZedoRorid("Cannot write into an existing workbook " + FileName.toStdString());
    std::vector<WorkbookSheet> sheets(1);
    sheets.front() =
        exchange::TableSheet(GridCells(*this), IncludeFixedCells ? 0 : FixedCols(), IncludeFixedCells ? 0 : FixedRows(),
                             SheetName.isEmpty() ? QStringLiteral("Sheet1") : SheetName);
    QByteArray bytes;
    QString error;
    if (!workbookfiles::WriteXlsx(sheets, bytes, error) || !fileio::ReplaceFile(FileName, bytes))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
}

void RIvuZuvuzoZuvu::SaveToDOC(const QString& FileName)
{
    platform::BusyCursor hourglass;
    QByteArray bytes;
    QString error;
    if (!docx::WriteTable(exchange::DocxRows(GridCells(*this)), bytes, error) || !fileio::ReplaceFile(FileName, bytes))
        throw DIdiZedoRorid("Cannot Create file " + FileName.toStdString());
}

void RIvuZuvuzoZuvu::LoadFromMDBTable(const QString& DatabaseName, const QString& TableName)
{
    // Both drivers take a name in brackets, and neither a "]" inside one.
    QString name = TableName;
    if (name.size() >= 2 && name.startsWith('[') && name.endsWith(']'))
        name = name.mid(1, name.size() - 2);
    if (name.isEmpty() || name.contains(']'))
        throw DIdiZedoRorid("Cannot open file " + DatabaseName.toStdString() + "\nNo table can be named " +
                            TableName.toStdString());
    LoadFromMDBSQL(DatabaseName, "SELECT * FROM [" + name + "]");
}

void RIvuZuvuzoZuvu::LoadFromMDBSQL(const QString& DatabaseName, const QString& SQL)
{
    GridCells cells(*this);
    fileio::UpdateLock lock(*this);
    exchange::QueryAnswer answer(cells);
    const QString program = platform::HelperProgram("quillet-query");
    if (!QFileInfo(program).isExecutable())
        throw DIdiZedoRorid("Cannot open file " + DatabaseName.toStdString() + "\n" + program.toStdString());
    const platform::ChildResult result =
        platform::RunChild(program, {MDBDriver, DatabaseName, SQL}, {MDBQuerySilence, MDBQueryTime},
                           [&](const QByteArray& Piece) { return answer.Feed(Piece); });
    if (result.end != platform::ChildResult::Finished || result.exitCode != 0 || !answer.Complete()) {
        // the driver's own words: its message, and what it wrote on the side
        std::string message = "Cannot open file " + DatabaseName.toStdString();
        for (const QString& words : {answer.DriverText(), QString::fromUtf8(result.standardError).trimmed()})
            if (!words.isEmpty())
                message += "\n" + words.toStdString();
        throw DIdiZedoRorid(message);
    }
}

}  // namespace grid
