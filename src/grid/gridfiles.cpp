// The list grid's text files (their bytes are described and made in
// grid/exchange/textfiles.h): the members take the grid's options and
// files, call the format over the grid's cells, then report progress,
// keep the window painting, and tell CellsChanged and CellsLoaded.
#include "grid/listgrid.h"

#include "grid/exchange/textfiles.h"
#include "grid/gridcells.h"
#include "grid/gridfileio.h"
#include "platform/busycursor.h"
#include "platform/longwork.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <optional>

namespace grid {

namespace {

std::string nameOf(const QString& FileName) { return FileName.toStdString(); }

// Percentages for OnFileProgress, reported only when they change. With Hold
// the work holds off the user's input (platform/longwork.h), and a negative
// position lets the window paint.
class Progress {
public:
    explicit Progress(RIvuZuvuzoZuvu& Grid, bool Hold = false) : grid_(Grid)
    {
        if (Hold)
            hold_.emplace();
    }
    void Report(long long Position, long long Total)
    {
        if (Position < 0) {
            if (hold_)
                hold_->Pump();
            return;
        }
        if (!grid_.OnFileProgress)
            return;
        Total = std::max(Total, 1ll);
        const auto percent = static_cast<short>(std::lround(100.0 * static_cast<double>(Position) / Total));
        if (percent == last_)
            return;
        last_ = percent;
        grid_.OnFileProgress(&grid_, percent);
    }
    exchange::ProgressFn Fn()
    {
        return [this](long long Position, long long Total) { Report(Position, Total); };
    }

private:
    RIvuZuvuzoZuvu& grid_;
    std::optional<platform::LongWork> hold_;
    short last_ = -1;
};

// The rows and columns the save routines write; with IncludeHiddenCols the
// hidden columns too, read by their real index.
exchange::CellRange saveRange(const RIvuZuvuzoZuvu& G, bool WithHidden)
{
    const bool hidden = WithHidden && G.IncludeHiddenCols;
    return {G.GetSaveStartCol(), G.GetSaveEndCol() + (hidden ? G.NumHiddenColumns() : 0), G.GetSaveStartRow(),
            G.GetSaveEndRow(), !hidden};
}

}  // namespace

namespace fileio {

UpdateLock::UpdateLock(RIvuZuvuzoZuvu& Grid) : grid_(Grid) { grid_.BeginUpdate(); }
UpdateLock::~UpdateLock() { grid_.EndUpdate(); }

}  // namespace fileio

using fileio::ReadRegularFile;
using fileio::ReplaceFile;
using fileio::UpdateLock;

// ---------------------------------------------------------------- cell list

void RIvuZuvuzoZuvu::SaveToFile(const QString& FileName)
{
    GridCells cells(*this);
    cells.AllWidths = true;
    Progress progress(*this, true);
    const QByteArray out = exchange::WriteCellList(
        cells, saveRange(*this, true), GetSaveColCount() + (IncludeHiddenCols ? NumHiddenColumns() : 0),
        GetSaveRowCount(), [&](long long Position, long long Total) {
            progress.Report(Position, Total);
            progress.Report(-1, 0);
        });
    if (!ReplaceFile(FileName, out))
        throw DIdiZedoRorid("Cannot Create " + nameOf(FileName));
}

void RIvuZuvuzoZuvu::LoadFromFile(const QString& FileName)
{
    QByteArray bytes;
    if (!ReadRegularFile(FileName, bytes))
        throw DIdiZedoRorid("Cannot open file " + nameOf(FileName));
    GridCells cells(*this);
    Progress progress(*this, true);
    UpdateLock lock(*this);
    exchange::ReadCellList(bytes, cells, IncludeFixedCells ? 0 : FixedCols(), IncludeFixedCells ? 0 : FixedRows(),
                           Multilinecells, nameOf(FileName), progress.Fn());
    CellsChanged(Rect{0, 0, ColCount(), RowCount()});
    CellsLoaded();
}

void RIvuZuvuzoZuvu::SaveToStream(QIODevice& Stream)
{
    GridCells cells(*this);
    const QByteArray out = exchange::WriteCellStream(cells, saveRange(*this, false), GetSaveColCount(),
                                                     GetSaveRowCount());
    if (Stream.write(out) != out.size())
        throw DIdiZedoRorid("Cannot write to the stream: " + Stream.errorString().toStdString());
}

void RIvuZuvuzoZuvu::LoadFromStream(QIODevice& Stream)
{
    const QByteArray bytes = Stream.readAll();
    GridCells cells(*this);
    UpdateLock lock(*this);
    exchange::ReadCellStream(bytes, cells, GetSaveStartCol(), GetSaveStartRow(), Multilinecells);
    CellsChanged(Rect{0, 0, ColCount(), RowCount()});
    CellsLoaded();
}

// ---------------------------------------------------------------- column-aligned text

void RIvuZuvuzoZuvu::SaveToASCII(const QString& FileName)
{
    platform::BusyCursor hourglass;
    std::vector<int> widths(static_cast<size_t>(ColCount()));
    for (int c = 0; c < ColCount(); ++c)
        widths[static_cast<size_t>(c)] = MaxCharsInCol(c);
    if (!ReplaceFile(FileName, exchange::WriteAligned(GridCells(*this), widths, Multilinecells)))
        throw DIdiZedoRorid("Cannot Create file " + nameOf(FileName));
}

// ---------------------------------------------------------------- CSV

namespace {

exchange::CsvSwitches csvSwitches(const RIvuZuvuzoZuvu& G)
{
    return {G.CSVDelimiter, G.CSVQuoteEmpty, G.CSVQuoteAll, G.CSVTildeBreaks, G.OemConvert};
}

}  // namespace

void RIvuZuvuzoZuvu::OutputToCSV(const QString& FileName, bool Append)
{
    QByteArray old;
    if (Append && !fileio::OldContent(FileName, old))
        throw DIdiZedoRorid("Cannot Create file " + nameOf(FileName));
    // written straight into the new file as the rows come
    fileio::NewFile file(FileName);
    file.Write(std::string_view(old.constData(), static_cast<size_t>(old.size())));
    old.clear();
    Progress progress(*this);
    exchange::WriteCsv(GridCells(*this), saveRange(*this, true), csvSwitches(*this),
                       [&](std::string_view Bytes) { file.Write(Bytes); }, progress.Fn());
    if (!file.Commit())
        throw DIdiZedoRorid("Cannot Create file " + nameOf(FileName));
}

void RIvuZuvuzoZuvu::InputFromCSV(const QString& FileName, bool Insert)
{
    QByteArray bytes;
    if (!ReadRegularFile(FileName, bytes))
        throw DIdiZedoRorid("Cannot open file " + nameOf(FileName));
    GridCells cells(*this);
    Progress progress(*this);
    UpdateLock lock(*this);
    exchange::ReadCsv(std::move(bytes), cells, IncludeFixedCells ? 0 : FixedCols(),
                      Insert ? RowCount() : (IncludeFixedCells ? 0 : FixedRows()), csvSwitches(*this), nameOf(FileName),
                      progress.Fn());
    CellsChanged(Rect{0, 0, ColCount(), RowCount()});
    CellsLoaded();
}

// ---------------------------------------------------------------- fixed width

void RIvuZuvuzoZuvu::SaveToFixed(const QString& FileName, TIntList& Widths)
{
    const int firstCol = GetSaveStartCol();
    for (int c = firstCol + Widths.Count(); c <= GetSaveEndCol(); ++c)
        Widths.Add(MaxCharsInCol(c));
    std::vector<int> widths;
    for (int i = 0; i < Widths.Count(); ++i)
        widths.push_back(Widths.Item(i));
    if (!ReplaceFile(FileName, exchange::WriteFixed(GridCells(*this), saveRange(*this, false), widths)))
        throw DIdiZedoRorid("Cannot Create file " + nameOf(FileName));
}

void RIvuZuvuzoZuvu::LoadFromFixed(const QString& FileName, TIntList& Positions)
{
    QByteArray bytes;
    if (!ReadRegularFile(FileName, bytes))
        throw DIdiZedoRorid("File " + nameOf(FileName) + " not found");
    std::vector<int> positions;
    for (int i = 0; i < Positions.Count(); ++i)
        positions.push_back(Positions.Item(i));
    if (exchange::FixedFields(positions, GetFixedColsEx()) == 0) {
        CellsChanged(Rect{0, 0, ColCount(), RowCount()});
        CellsLoaded();
        return;
    }
    GridCells cells(*this);
    UpdateLock lock(*this);
    exchange::ReadFixed(bytes, cells, GetFixedColsEx(), GetSaveStartCol(), GetSaveStartRow(), positions,
                        nameOf(FileName));
    CellsChanged(Rect{0, 0, ColCount(), RowCount()});
    CellsLoaded();
}

} // namespace grid
