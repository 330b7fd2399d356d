// The list grid's text files: its own cell list (to a file or a stream),
// column-aligned text, CSV and fixed-width columns. They carry cell texts
// only. Files are UTF-8 text; lines are written with CR LF.
//
// Cell list, file: a header "C,R" (the saved column and row counts, hidden
// columns counted with IncludeHiddenCols), one line "cw c,w" per saved
// column (absolute column, width in pixels), then one line "c,r,text" per
// non-empty cell (absolute column and row). In the text a CR becomes a tab
// and an LF a backspace (8) when it holds a CR, so a cell never breaks its
// line. A line ends at CR (a following LF is skipped) or at the byte 26; a
// bare LF belongs to the line. Numbers are read as the leading integer of
// their field (blanks skipped; no digits read as 0).
// Cell list, stream: the same lines, but the header holds the saved counts
// only, widths are written for every column, cell coordinates are relative to
// the first saved column and row, and numbers must be whole integers
// (EConvertError otherwise). A line ends at CR and the next byte is skipped.
// Readers check the header before the grid changes: no negative count, none
// too long for an integer, at most kMaxRows x kMaxColumns; widths outside
// 0..65535 and cells outside the grid are skipped.
//
// Column-aligned text: every row, every column (fixed ones included), each
// field padded to its column's longest line plus one blank; right-aligned
// texts padded in front, centred ones on both sides; further lines of a cell
// (with Multilinecells) go to continuation lines under their column.
//
// CSV: fields split by CSVDelimiter ("," when it is 0 on writing; detected
// on reading among ",", ";", "#", tab and "|" by the field count that most of
// the first 20 non-empty records share, "," when none splits them).
// A field holding the delimiter, a quote, CR or LF is quoted with its quotes
// doubled (CR LF written as LF inside quotes, read back as CR LF); with
// CSVTildeBreaks line breaks are written as "~" and an empty field as "^";
// CSVQuoteAll quotes every field, CSVQuoteEmpty writes an empty field as "".
// The reader is lenient (workbookfiles.h: a never-closed quote ends its field
// at the end of its line). The byte 26 ends the file. The text is UTF-8 (a
// leading byte-order mark dropped), or Windows-1252 when it is not valid
// UTF-8; with OemConvert it is in code page 437.
//
// Fixed width: each saved row one line, each field cut or padded behind to
// its width in characters. Reading takes 1-based start positions and the end
// of the last column, and trims blanks and control characters.
#include "grid/listgrid.h"

#include "grid/gridfileio.h"
#include "grid/vurirod.h"
#include "platform/busycursor.h"
#include "platform/longwork.h"
#include "platform/workbookfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <memory>

namespace grid {

namespace {

constexpr long long kMaxRows = workbookfiles::kMaxRows;
constexpr long long kMaxColumns = workbookfiles::kMaxColumns;
const std::string kCorrupt = "File contains no data or corrupt file ";

std::string nameOf(const QString& FileName) { return FileName.toStdString(); }

// The next line of a cell-list file: up to CR (skipping an LF after it);
// the byte 26 ends the file.
bool nextFileLine(const QByteArray& Bytes, qsizetype& Pos, std::string& Line)
{
    const qsizetype n = Bytes.size();
    if (Pos >= n || Bytes[Pos] == 26)
        return false;
    qsizetype end = Pos;
    while (end < n && Bytes[end] != '\r' && Bytes[end] != 26)
        ++end;
    Line.assign(Bytes.constData() + Pos, static_cast<size_t>(end - Pos));
    Pos = end;
    if (Pos < n && Bytes[Pos] == '\r') {
        ++Pos;
        if (Pos < n && Bytes[Pos] == '\n')
            ++Pos;
    }
    return true;
}

// The leading integer of a field: blanks skipped, an optional sign, digits;
// 0 without digits. Saturates far outside int; `overflow` tells.
long long leadingInteger(std::string_view S, bool* Overflow = nullptr)
{
    size_t i = 0;
    while (i < S.size() && S[i] == ' ')
        ++i;
    bool negative = false;
    if (i < S.size() && (S[i] == '-' || S[i] == '+'))
        negative = S[i++] == '-';
    long long value = 0;
    bool over = false;
    for (; i < S.size() && S[i] >= '0' && S[i] <= '9'; ++i) {
        value = value * 10 + (S[i] - '0');
        if (value > std::numeric_limits<int>::max()) {
            over = true;
            value = std::numeric_limits<int>::max() + 1ll;
        }
    }
    if (Overflow)
        *Overflow = over;
    return negative ? -value : value;
}

// A whole integer, blanks around it allowed; EConvertError otherwise. A
// number too long for an int sets Overflow when asked for, else throws too.
int strictInteger(std::string_view S, bool* Overflow = nullptr)
{
    while (!S.empty() && S.front() == ' ')
        S.remove_prefix(1);
    while (!S.empty() && S.back() == ' ')
        S.remove_suffix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(S.data(), S.data() + S.size(), value);
    if (Overflow && ec == std::errc::result_out_of_range && end == S.data() + S.size()) {
        *Overflow = true;
        return 0;
    }
    if (S.empty() || ec != std::errc() || end != S.data() + S.size())
        throw platform::EConvertError("'" + std::string(S) + "' is not a valid integer value");
    return value;
}

std::string_view beforeComma(std::string_view& S)
{
    const size_t p = S.find(',');
    const std::string_view head = S.substr(0, p);
    S = p == std::string_view::npos ? std::string_view() : S.substr(p + 1);
    return head;
}

// Percentages for OnFileProgress, reported only when they change.
class Progress {
public:
    explicit Progress(RIvuZuvuzoZuvu& Grid) : grid_(Grid) {}
    void Report(long long Position, long long Total)
    {
        if (!grid_.OnFileProgress)
            return;
        Total = std::max(Total, 1ll);
        const auto percent = static_cast<short>(std::lround(100.0 * static_cast<double>(Position) / Total));
        if (percent == last_)
            return;
        last_ = percent;
        grid_.OnFileProgress(&grid_, percent);
    }

private:
    RIvuZuvuzoZuvu& grid_;
    short last_ = -1;
};

void appendLine(QByteArray& Out, const std::string& Line)
{
    Out.append(Line.data(), static_cast<qsizetype>(Line.size()));
    Out += "\r\n";
}

std::string cellLine(long long Col, long long Row, const std::string& Text)
{
    return std::to_string(Col) + "," + std::to_string(Row) + "," + LfToFile(Text);
}

// Checks a header's counts before anything changes; the grid's new counts.
bool headerCounts(std::string_view Line, int ColOffset, int RowOffset, bool Strict, long long& Cols, long long& Rows)
{
    bool overCols = false, overRows = false;
    std::string_view rest = Line;
    const std::string_view first = beforeComma(rest);
    const std::string_view second = beforeComma(rest);
    long long c = 0, r = 0;
    if (Strict) {
        c = strictInteger(first, &overCols);
        r = strictInteger(second, &overRows);
    } else {
        c = leadingInteger(first, &overCols);
        r = leadingInteger(second, &overRows);
    }
    Cols = c + ColOffset;
    Rows = r + RowOffset;
    return !overCols && !overRows && c >= 0 && r >= 0 && Cols > 0 && Rows > 0 && Cols <= kMaxColumns &&
           Rows <= kMaxRows;
}

// The delimiter of a CSV text. For each candidate, the field count that the
// most of the first (up to 20) non-empty records share, the larger on a tie;
// the candidate whose count, when above one, the most records share wins,
// ties going to the larger count and then to the earlier candidate.
char csvDelimiter(const QByteArray& Bytes)
{
    constexpr int kSample = 20;
    char best = ',';
    int bestRecords = 0;
    size_t bestCount = 0;
    for (const char candidate : {',', ';', '#', '\t', '|'}) {
        const workbookfiles::CsvOptions trial{candidate, false};
        std::map<size_t, int> records;  // field count -> records
        qsizetype at = 0;
        std::vector<QByteArray> fields;
        for (int n = 0; n < kSample && workbookfiles::ReadCsvRecord(Bytes, at, trial, fields) ==
                                           workbookfiles::CsvRecord::Read;)
            if (fields.size() > 1 || !fields[0].isEmpty()) {
                ++records[fields.size()];
                ++n;
            }
        size_t count = 0;
        int shared = 0;
        for (const auto& [fieldCount, n] : records)
            if (n >= shared) {
                count = fieldCount;
                shared = n;
            }
        if (count > 1 && (shared > bestRecords || (shared == bestRecords && count > bestCount))) {
            best = candidate;
            bestRecords = shared;
            bestCount = count;
        }
    }
    return best;
}

// A text cut at its first line break (CR or LF).
QString firstLine(const QString& Text)
{
    qsizetype end = 0;
    while (end < Text.size() && Text[end] != u'\r' && Text[end] != u'\n')
        ++end;
    return Text.left(end);
}

QString aligned(QString Text, TAlignment Align, int Width)
{
    if (Align == taRightJustify) {
        if (Text.size() < Width)
            Text.prepend(QString(Width - Text.size(), u' '));
    } else if (Align == taCenter) {
        while (Text.size() < Width)
            Text = u' ' + Text + u' ';
    }
    return Text;
}

QString trimmedControls(const QString& Text)
{
    qsizetype from = 0, to = Text.size();
    while (from < to && Text[from].unicode() <= ' ')
        ++from;
    while (to > from && Text[to - 1].unicode() <= ' ')
        --to;
    return Text.mid(from, to - from);
}

} // namespace

namespace fileio {

UpdateLock::UpdateLock(RIvuZuvuzoZuvu& Grid) : grid_(Grid) { grid_.BeginUpdate(); }
UpdateLock::~UpdateLock() { grid_.EndUpdate(); }

bool ReadRegularFile(const QString& FileName, QByteArray& Bytes)
{
    if (!QFileInfo(FileName).isFile())
        return false;
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Bytes = file.readAll();
    return Bytes.size() == file.size();
}

bool ReplaceFile(const QString& FileName, const QByteArray& Bytes)
{
    const QFileInfo info(FileName);
    if (info.exists() && !info.isFile())
        return false;
    QSaveFile file(FileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(Bytes) != Bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::vector<QByteArray> SplitLines(const QByteArray& Bytes)
{
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = Bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (Bytes[i] != '\r' && Bytes[i] != '\n')
            continue;
        lines.push_back(Bytes.mid(start, i - start));
        if (Bytes[i] == '\r' && i + 1 < n && Bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.push_back(Bytes.mid(start));
    return lines;
}

bool OldContent(const QString& FileName, QByteArray& Bytes)
{
    Bytes.clear();
    const QFileInfo info(FileName);
    if (!info.exists())
        return true;
    return info.isFile() && ReadRegularFile(FileName, Bytes);
}

}  // namespace fileio

using fileio::ReadRegularFile;
using fileio::ReplaceFile;
using fileio::SplitLines;
using fileio::UpdateLock;

// ---------------------------------------------------------------- cell list

void RIvuZuvuzoZuvu::SaveToFile(const QString& FileName)
{
    const int hidden = IncludeHiddenCols ? NumHiddenColumns() : 0;
    const int firstCol = GetSaveStartCol(), lastCol = GetSaveEndCol() + hidden;
    const int firstRow = GetSaveStartRow(), lastRow = GetSaveEndRow();
    platform::LongWork hold;
    Progress progress(*this);
    QByteArray out;
    appendLine(out, std::to_string(GetSaveColCount() + hidden) + "," + std::to_string(GetSaveRowCount()));
    for (int c = firstCol; c <= lastCol; ++c) {
        const int width = NumHiddenColumns() > 0 && c < 256 ? GetAllColWidths(c) : ColWidths(c);
        appendLine(out, "cw " + std::to_string(c) + "," + std::to_string(width));
    }
    for (int r = firstRow; r <= lastRow; ++r) {
        for (int c = firstCol; c <= lastCol; ++c) {
            const std::string& text = Cells(IncludeHiddenCols ? c : RemapCol(c), r);
            if (!text.empty())
                appendLine(out, cellLine(c, r, text));
        }
        progress.Report(r - firstRow, GetSaveRowCount() - 1);
        hold.Pump();
    }
    if (!ReplaceFile(FileName, out))
        throw DIdiZedoRorid("Cannot Create " + nameOf(FileName));
}

void RIvuZuvuzoZuvu::LoadFromFile(const QString& FileName)
{
    QByteArray bytes;
    if (!ReadRegularFile(FileName, bytes))
        throw DIdiZedoRorid("Cannot open file " + nameOf(FileName));
    const int colOffset = IncludeFixedCells ? 0 : FixedCols();
    const int rowOffset = IncludeFixedCells ? 0 : FixedRows();
    qsizetype pos = 0;
    std::string line;
    if (nextFileLine(bytes, pos, line) && !line.empty()) {
        long long cols = 0, rows = 0;
        if (!headerCounts(line, colOffset, rowOffset, false, cols, rows))
            throw DIdiZedoRorid(kCorrupt + nameOf(FileName));
        SetColCountEx(static_cast<int>(cols));
        SetRowCountEx(static_cast<int>(rows));
    }
    if (ColCount() <= 0 || RowCount() <= 0)
        throw DIdiZedoRorid(kCorrupt + nameOf(FileName));

    platform::LongWork hold;
    Progress progress(*this);
    UpdateLock lock(*this);
    while (nextFileLine(bytes, pos, line)) {
        std::string_view rest = line;
        if (line.rfind("cw", 0) == 0) {
            rest.remove_prefix(std::min<size_t>(3, rest.size()));
            const long long c = leadingInteger(beforeComma(rest));
            const long long w = leadingInteger(rest);
            if (c >= 0 && c < ColCount() && w >= 0 && w <= 65535)
                SetColWidths(static_cast<int>(c), static_cast<int>(w));
            continue;
        }
        const long long c = leadingInteger(beforeComma(rest));
        const long long r = leadingInteger(beforeComma(rest));
        if (c >= 0 && c < ColCount() && r >= 0 && r < RowCount()) {
            SetCellEx(static_cast<int>(c), static_cast<int>(r), FileToLf(std::string(rest), Multilinecells));
            progress.Report(r, RowCount() - 1);
        }
        hold.Pump();
    }
    CellsChanged(Rect{0, 0, ColCount(), RowCount()});
    CellsLoaded();
}

void RIvuZuvuzoZuvu::SaveToStream(QIODevice& Stream)
{
    const int firstCol = GetSaveStartCol(), lastCol = GetSaveEndCol();
    const int firstRow = GetSaveStartRow(), lastRow = GetSaveEndRow();
    QByteArray out;
    appendLine(out, std::to_string(GetSaveColCount()) + "," + std::to_string(GetSaveRowCount()));
    for (int c = 0; c < ColCount(); ++c)
        appendLine(out, "cw " + std::to_string(c) + "," + std::to_string(ColWidths(c)));
    for (int r = firstRow; r <= lastRow; ++r)
        for (int c = firstCol; c <= lastCol; ++c) {
            const std::string text = SaveCell(RemapCol(c), r);
            if (!text.empty())
                appendLine(out, cellLine(c - firstCol, r - firstRow, text));
        }
    if (Stream.write(out) != out.size())
        throw DIdiZedoRorid("Cannot write to the stream: " + Stream.errorString().toStdString());
}

void RIvuZuvuzoZuvu::LoadFromStream(QIODevice& Stream)
{
    const QByteArray bytes = Stream.readAll();
    qsizetype pos = 0;
    // a line ends at CR; the byte after it is skipped
    auto nextLine = [&](std::string& Line) {
        if (pos >= bytes.size())
            return false;
        qsizetype end = bytes.indexOf('\r', pos);
        if (end < 0)
            end = bytes.size();
        Line.assign(bytes.constData() + pos, static_cast<size_t>(end - pos));
        pos = end + 2;
        return true;
    };
    std::string line;
    if (nextLine(line) && !line.empty()) {
        long long cols = 0, rows = 0;
        if (!headerCounts(line, GetSaveStartCol(), GetSaveStartRow(), true, cols, rows))
            throw DIdiZedoRorid(kCorrupt);
        SetColCountEx(static_cast<int>(cols));
        SetRowCountEx(static_cast<int>(rows));
    }
    const int firstCol = GetSaveStartCol(), firstRow = GetSaveStartRow();
    UpdateLock lock(*this);
    while (nextLine(line)) {
        std::string_view rest = line;
        if (line.rfind("cw", 0) == 0) {
            rest.remove_prefix(std::min<size_t>(3, rest.size()));
            const int c = strictInteger(beforeComma(rest));
            const int w = strictInteger(rest);
            if (c >= 0 && c < ColCount() && w >= 0 && w <= 65535)
                SetColWidths(c, w);
            continue;
        }
        const long long c = firstCol + static_cast<long long>(strictInteger(beforeComma(rest)));
        const long long r = firstRow + static_cast<long long>(strictInteger(beforeComma(rest)));
        if (c >= 0 && c < ColCount() && r >= 0 && r < RowCount())
            SetCellEx(static_cast<int>(c), static_cast<int>(r), FileToLf(std::string(rest), Multilinecells));
    }
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
    QString out;
    std::vector<QString> continuation;
    for (int r = 0; r < RowCount(); ++r) {
        QString line;
        int start = 0;
        for (int c = 0; c < ColCount(); ++c) {
            const int width = widths[static_cast<size_t>(c)];
            const int real = RemapCol(c);
            TAlignment align = taLeftJustify;
            TVAlignment valign = vtaTop;
            GetCellAlignment(real, r, align, valign);
            const QString text = QString::fromStdString(SaveCell(real, r));
            QString field = aligned(firstLine(text), align, width);
            if (field.size() < width + 1)
                field += QString(width + 1 - field.size(), u' ');
            line += field;
            if (Multilinecells && text.contains(u'\r')) {
                const QStringList more = text.split(QStringLiteral("\r\n"));
                for (qsizetype k = 1; k < more.size(); ++k) {
                    if (continuation.size() < static_cast<size_t>(k))
                        continuation.resize(static_cast<size_t>(k));
                    QString& next = continuation[static_cast<size_t>(k - 1)];
                    if (next.size() < start)
                        next += QString(start - next.size(), u' ');
                    next += aligned(firstLine(more[k]), align, width);
                }
            }
            start += width + 1;
        }
        out += line + QStringLiteral("\r\n");
        for (const QString& next : continuation)
            out += next + QStringLiteral("\r\n");
        continuation.clear();
    }
    if (!ReplaceFile(FileName, out.toUtf8()))
        throw DIdiZedoRorid("Cannot Create file " + nameOf(FileName));
}

// ---------------------------------------------------------------- CSV

void RIvuZuvuzoZuvu::OutputToCSV(const QString& FileName, bool Append)
{
    const char delimiter = CSVDelimiter ? CSVDelimiter : ',';
    QByteArray out;
    if (Append && !fileio::OldContent(FileName, out))
        throw DIdiZedoRorid("Cannot Create file " + nameOf(FileName));
    const int lastCol = GetSaveEndCol() + (IncludeHiddenCols ? NumHiddenColumns() : 0);
    Progress progress(*this);
    for (int r = GetSaveStartRow(); r <= GetSaveEndRow(); ++r) {
        for (int c = GetSaveStartCol(); c <= lastCol; ++c) {
            if (c > GetSaveStartCol())
                out += delimiter;
            std::string field = SaveCell(IncludeHiddenCols ? c : RemapCol(c), r);
            if (OemConvert)
                StringToOem(field);
            if (CSVTildeBreaks && field.find_first_of("\r\n") != std::string::npos)
                field = LineFeedsToJava(field);
            if (field.empty()) {
                if (CSVQuoteAll)
                    out += "\"\"";
                else if (CSVTildeBreaks)
                    out += '^';
                else if (CSVQuoteEmpty)
                    out += "\"\"";
                continue;
            }
            QByteArray bytes = QByteArray::fromStdString(field);
            bytes.replace("\r\n", "\n");
            workbookfiles::AppendCsvField(out, bytes, delimiter, CSVQuoteAll);
        }
        out += "\r\n";
        progress.Report(r, RowCount() - 1);
    }
    if (!ReplaceFile(FileName, out))
        throw DIdiZedoRorid("Cannot Create file " + nameOf(FileName));
}

void RIvuZuvuzoZuvu::InputFromCSV(const QString& FileName, bool Insert)
{
    QByteArray bytes;
    if (!ReadRegularFile(FileName, bytes))
        throw DIdiZedoRorid("Cannot open file " + nameOf(FileName));
    if (const qsizetype end = bytes.indexOf('\x1a'); end >= 0)
        bytes.truncate(end);
    if (!OemConvert)
        bytes = workbookfiles::CsvText(bytes);
    const char delimiter = CSVDelimiter ? CSVDelimiter : csvDelimiter(bytes);

    std::vector<std::vector<QByteArray>> records;
    workbookfiles::CsvOptions options;
    options.delimiter = delimiter;
    options.strict = false;
    qsizetype pos = 0;
    std::vector<QByteArray> fields;
    size_t widest = 0;
    while (workbookfiles::ReadCsvRecord(bytes, pos, options, fields) == workbookfiles::CsvRecord::Read) {
        widest = std::max(widest, fields.size());
        records.push_back(std::move(fields));
        if (records.size() > static_cast<size_t>(kMaxRows) || widest > static_cast<size_t>(kMaxColumns))
            throw DIdiZedoRorid(kCorrupt + nameOf(FileName));
    }

    const int colOffset = IncludeFixedCells ? 0 : FixedCols();
    const int rowOffset = Insert ? RowCount() : (IncludeFixedCells ? 0 : FixedRows());
    const long long rows = static_cast<long long>(rowOffset) + static_cast<long long>(records.size());
    const long long cols = colOffset + static_cast<long long>(widest);
    if (rows > kMaxRows || cols > kMaxColumns)
        throw DIdiZedoRorid(kCorrupt + nameOf(FileName));
    UpdateLock lock(*this);
    SetRowCountEx(static_cast<int>(rows));
    if (cols > ColCount())
        SetColCountEx(static_cast<int>(cols));
    Progress progress(*this);
    for (size_t line = 0; line < records.size(); ++line) {
        const auto& record = records[line];
        for (size_t f = 0; f < record.size(); ++f) {
            std::string text = record[f].toStdString();
            if (OemConvert)
                OemToString(text);
            if (CSVTildeBreaks) {
                text = JavaToLineFeeds(text);
            } else {
                size_t p = 0;
                while ((p = text.find("\r\n", p)) != std::string::npos)
                    text.erase(p, 1);
                CSVToLineFeeds(text);
            }
            SetCellEx(colOffset + static_cast<int>(f), rowOffset + static_cast<int>(line), text);
        }
        progress.Report(static_cast<long long>(line) + 1, static_cast<long long>(records.size()));
    }
    CellsChanged(Rect{0, 0, ColCount(), RowCount()});
    CellsLoaded();
}

// ---------------------------------------------------------------- fixed width

void RIvuZuvuzoZuvu::SaveToFixed(const QString& FileName, TIntList& Widths)
{
    const int firstCol = GetSaveStartCol();
    for (int c = firstCol + Widths.Count(); c <= GetSaveEndCol(); ++c)
        Widths.Add(MaxCharsInCol(c));
    QString out;
    for (int r = GetSaveStartRow(); r <= GetSaveEndRow(); ++r) {
        for (int c = firstCol; c <= GetSaveEndCol(); ++c) {
            const int width = std::max(0, Widths.Item(c - firstCol));
            QString field = QString::fromStdString(SaveCell(RemapCol(c), r)).left(width);
            field.replace(u'\r', u' ').replace(u'\n', u' ');
            out += field + QString(width - field.size(), u' ');
        }
        out += QStringLiteral("\r\n");
    }
    if (!ReplaceFile(FileName, out.toUtf8()))
        throw DIdiZedoRorid("Cannot Create file " + nameOf(FileName));
}

void RIvuZuvuzoZuvu::LoadFromFixed(const QString& FileName, TIntList& Positions)
{
    QByteArray bytes;
    if (!ReadRegularFile(FileName, bytes))
        throw DIdiZedoRorid("File " + nameOf(FileName) + " not found");
    const int fields = Positions.Count() - 1;
    if (fields < 1 || GetFixedColsEx() + static_cast<long long>(fields) > kMaxColumns) {
        CellsChanged(Rect{0, 0, ColCount(), RowCount()});
        CellsLoaded();
        return;
    }
    const std::vector<QByteArray> lines = SplitLines(bytes);
    const int firstRow = GetSaveStartRow();
    if (firstRow + static_cast<long long>(lines.size()) > kMaxRows)
        throw DIdiZedoRorid(kCorrupt + nameOf(FileName));
    UpdateLock lock(*this);
    SetColCountEx(GetFixedColsEx() + fields);
    if (firstRow + static_cast<int>(lines.size()) > RowCount())
        SetRowCountEx(firstRow + static_cast<int>(lines.size()));
    const int firstCol = GetSaveStartCol();
    for (size_t l = 0; l < lines.size(); ++l) {
        const QString line = QString::fromUtf8(lines[l]);
        for (int k = 0; k < fields; ++k) {
            const long long from = Positions.Item(k), to = Positions.Item(k + 1);
            QString field;
            if (to > from && from >= 1 && from <= line.size())
                field = line.mid(static_cast<qsizetype>(from - 1), static_cast<qsizetype>(to - from));
            if (firstCol + k < ColCount())
                SetCellEx(firstCol + k, firstRow + static_cast<int>(l), trimmedControls(field).toStdString());
        }
    }
    CellsChanged(Rect{0, 0, ColCount(), RowCount()});
    CellsLoaded();
}

} // namespace grid
