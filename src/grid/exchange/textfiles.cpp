#include "grid/exchange/textfiles.h"

#include "grid/exchange/fileio.h"
#include "grid/griderror.h"
#include "grid/vurirod.h"
#include "platform/workbookfiles.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <deque>
#include <limits>
#include <optional>
#include <span>

namespace grid::exchange {

namespace {

constexpr long long kMaxRows = workbookfiles::kMaxRows;
constexpr long long kMaxColumns = workbookfiles::kMaxColumns;
const std::string kCorrupt = "File contains no data or corrupt file ";
// The records of a CSV text read before its lists are sized for the rest.
constexpr size_t kSampleRecords = 64;

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

// The next line of a cell-list stream: up to CR; the byte after it is skipped.
bool nextStreamLine(const QByteArray& Bytes, qsizetype& Pos, std::string& Line)
{
    if (Pos >= Bytes.size())
        return false;
    qsizetype end = Bytes.indexOf('\r', Pos);
    if (end < 0)
        end = Bytes.size();
    Line.assign(Bytes.constData() + Pos, static_cast<size_t>(end - Pos));
    Pos = end + 2;
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

void report(const ProgressFn& Progress, long long Position, long long Total)
{
    if (Progress)
        Progress(Position, Total);
}

// Every CR LF in Text made a single LF.
void crLfToLf(std::string& Text)
{
    size_t to = Text.find('\r');
    if (to == std::string::npos)
        return;
    for (size_t from = to; from < Text.size(); ++from)
        if (!(Text[from] == '\r' && from + 1 < Text.size() && Text[from + 1] == '\n'))
            Text[to++] = Text[from];
    Text.resize(to);
}

// The cell text of a CSV field when it differs from the field's bytes: in
// the OEM code page with Oem; line breaks "~" with TildeBreaks, else every
// line feed (CR LF in the file, or a bare LF) a CR LF.
std::optional<std::string> csvCellText(std::string_view Field, const CsvSwitches& S)
{
    const bool breaks = Field.find(S.TildeBreaks ? '~' : '\n') != std::string_view::npos;
    if (!S.Oem && !breaks)
        return std::nullopt;
    std::string text(Field);
    if (S.Oem)
        OemToString(text);
    if (S.TildeBreaks) {
        text = JavaToLineFeeds(text);
    } else {
        crLfToLf(text);
        CSVToLineFeeds(text);
    }
    return text;
}

void appendLine(QByteArray& Out, const std::string& Line)
{
    Out.append(Line.data(), static_cast<qsizetype>(Line.size()));
    Out += "\r\n";
}

std::string cellLine(long long Col, long long Row, const std::string& Text)
{
    return std::to_string(Col) + "," + std::to_string(Row) + "," + LfToFile(Text);
}

// Checks a header's counts before anything changes; the table's new counts.
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

// A text cut at its first line break (CR or LF).
QString firstLine(const QString& Text)
{
    qsizetype end = 0;
    while (end < Text.size() && Text[end] != u'\r' && Text[end] != u'\n')
        ++end;
    return Text.left(end);
}

QString aligned(QString Text, int Align, int Width)
{
    if (Align == 1) {
        if (Text.size() < Width)
            Text.prepend(QString(Width - Text.size(), u' '));
    } else if (Align == 2) {
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

}  // namespace

// ---------------------------------------------------------------- cell list

QByteArray WriteCellList(const CellTable& T, const CellRange& Range, int SaveCols, int SaveRows,
                         const ProgressFn& Progress)
{
    QByteArray out;
    appendLine(out, std::to_string(SaveCols) + "," + std::to_string(SaveRows));
    for (int c = Range.FirstCol; c <= Range.LastCol; ++c)
        appendLine(out, "cw " + std::to_string(c) + "," + std::to_string(T.ColWidth(c)));
    for (int r = Range.FirstRow; r <= Range.LastRow; ++r) {
        for (int c = Range.FirstCol; c <= Range.LastCol; ++c) {
            const std::string text = T.Text(Range.Real(T, c), r);
            if (!text.empty())
                appendLine(out, cellLine(c, r, text));
        }
        report(Progress, r - Range.FirstRow, SaveRows - 1);
    }
    return out;
}

void ReadCellList(const QByteArray& Bytes, CellTable& T, int ColOffset, int RowOffset, bool Multiline,
                  const std::string& Name, const ProgressFn& Progress)
{
    qsizetype pos = 0;
    std::string line;
    if (nextFileLine(Bytes, pos, line) && !line.empty()) {
        long long cols = 0, rows = 0;
        if (!headerCounts(line, ColOffset, RowOffset, false, cols, rows))
            throw DIdiZedoRorid(kCorrupt + Name);
        T.SetColCount(static_cast<int>(cols));
        T.SetRowCount(static_cast<int>(rows));
    }
    if (T.ColCount() <= 0 || T.RowCount() <= 0)
        throw DIdiZedoRorid(kCorrupt + Name);

    while (nextFileLine(Bytes, pos, line)) {
        std::string_view rest = line;
        if (line.rfind("cw", 0) == 0) {
            rest.remove_prefix(std::min<size_t>(3, rest.size()));
            const long long c = leadingInteger(beforeComma(rest));
            const long long w = leadingInteger(rest);
            if (c >= 0 && c < T.ColCount() && w >= 0 && w <= 65535)
                T.SetColWidth(static_cast<int>(c), static_cast<int>(w));
            continue;
        }
        const long long c = leadingInteger(beforeComma(rest));
        const long long r = leadingInteger(beforeComma(rest));
        if (c >= 0 && c < T.ColCount() && r >= 0 && r < T.RowCount()) {
            T.SetText(static_cast<int>(c), static_cast<int>(r), FileToLf(std::string(rest), Multiline));
            report(Progress, r, T.RowCount() - 1);
        }
        report(Progress, -1, 0);
    }
}

QByteArray WriteCellStream(const CellTable& T, const CellRange& Range, int SaveCols, int SaveRows)
{
    QByteArray out;
    appendLine(out, std::to_string(SaveCols) + "," + std::to_string(SaveRows));
    for (int c = 0; c < T.ColCount(); ++c)
        appendLine(out, "cw " + std::to_string(c) + "," + std::to_string(T.ColWidth(c)));
    for (int r = Range.FirstRow; r <= Range.LastRow; ++r)
        for (int c = Range.FirstCol; c <= Range.LastCol; ++c) {
            const std::string text = T.SaveText(Range.Real(T, c), r);
            if (!text.empty())
                appendLine(out, cellLine(c - Range.FirstCol, r - Range.FirstRow, text));
        }
    return out;
}

void ReadCellStream(const QByteArray& Bytes, CellTable& T, int FirstCol, int FirstRow, bool Multiline)
{
    qsizetype pos = 0;
    std::string line;
    if (nextStreamLine(Bytes, pos, line) && !line.empty()) {
        long long cols = 0, rows = 0;
        if (!headerCounts(line, FirstCol, FirstRow, true, cols, rows))
            throw DIdiZedoRorid(kCorrupt);
        T.SetColCount(static_cast<int>(cols));
        T.SetRowCount(static_cast<int>(rows));
    }
    while (nextStreamLine(Bytes, pos, line)) {
        std::string_view rest = line;
        if (line.rfind("cw", 0) == 0) {
            rest.remove_prefix(std::min<size_t>(3, rest.size()));
            const int c = strictInteger(beforeComma(rest));
            const int w = strictInteger(rest);
            if (c >= 0 && c < T.ColCount() && w >= 0 && w <= 65535)
                T.SetColWidth(c, w);
            continue;
        }
        const long long c = FirstCol + static_cast<long long>(strictInteger(beforeComma(rest)));
        const long long r = FirstRow + static_cast<long long>(strictInteger(beforeComma(rest)));
        if (c >= 0 && c < T.ColCount() && r >= 0 && r < T.RowCount())
            T.SetText(static_cast<int>(c), static_cast<int>(r), FileToLf(std::string(rest), Multiline));
    }
}

// ---------------------------------------------------------------- column-aligned text

QByteArray WriteAligned(const CellTable& T, const std::vector<int>& Widths, bool Multiline)
{
    QString out;
    std::vector<QString> continuation;
    for (int r = 0; r < T.RowCount(); ++r) {
        QString line;
        int start = 0;
        for (int c = 0; c < T.ColCount(); ++c) {
            const int width = Widths[static_cast<size_t>(c)];
            const int real = T.RemapCol(c);
            const int align = T.Alignment(real, r);
            const QString text = QString::fromStdString(T.SaveText(real, r));
            QString field = aligned(firstLine(text), align, width);
            if (field.size() < width + 1)
                field += QString(width + 1 - field.size(), u' ');
            line += field;
            if (Multiline && text.contains(u'\r')) {
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
    return out.toUtf8();
}

// ---------------------------------------------------------------- CSV

void WriteCsv(const CellTable& T, const CellRange& Range, const CsvSwitches& S, const ByteSink& Out,
              const ProgressFn& Progress)
{
    const char delimiter = S.Delimiter ? S.Delimiter : ',';
    // the bytes gather here and go out a block at a time
    constexpr size_t kBlock = 1 << 16;
    std::string block;
    block.reserve(kBlock + 1024);
    std::string scratch, field;
    for (int r = Range.FirstRow; r <= Range.LastRow; ++r) {
        for (int c = Range.FirstCol; c <= Range.LastCol; ++c) {
            if (c > Range.FirstCol)
                block += delimiter;
            std::string_view text = T.SaveTextView(Range.Real(T, c), r, scratch);
            if (S.Oem || text.find('\r') != std::string_view::npos ||
                (S.TildeBreaks && text.find('\n') != std::string_view::npos)) {
                field.assign(text);
                if (S.Oem)
                    StringToOem(field);
                if (S.TildeBreaks && field.find_first_of("\r\n") != std::string::npos)
                    field = LineFeedsToJava(field);
                crLfToLf(field);
                text = field;
            }
            if (text.empty()) {
                if (S.QuoteAll)
                    block += "\"\"";
                else if (S.TildeBreaks)
                    block += '^';
                else if (S.QuoteEmpty)
                    block += "\"\"";
                continue;
            }
            workbookfiles::AppendCsvField(block, text, delimiter, S.QuoteAll);
        }
        block += "\r\n";
        if (block.size() >= kBlock) {
            Out(block);
            block.clear();
        }
        report(Progress, r, T.RowCount() - 1);
    }
    if (!block.empty())
        Out(block);
}

void ReadCsv(QByteArray Bytes, CellTable& T, int ColOffset, int RowOffset, const CsvSwitches& S,
             const std::string& Name, const ProgressFn& Progress)
{
    Bytes = S.Oem ? workbookfiles::BeforeEndOfFileMark(Bytes) : workbookfiles::CsvText(Bytes);
    const std::string_view text(Bytes.constData(), static_cast<size_t>(Bytes.size()));
    const workbookfiles::CsvOptions options{S.Delimiter ? S.Delimiter : workbookfiles::CsvDelimiter(text), false};

    // Every field of every record in one list, pointing into the text (or
    // into `kept` for those whose doubled quotes were made single);
    // recordEnds[r] is where record r's fields end in it.
    std::vector<std::string_view> cells;
    std::vector<size_t> recordEnds;
    std::deque<std::string> kept;
    workbookfiles::CsvFields fields;
    size_t pos = 0, widest = 0;
    while (workbookfiles::SplitCsvRecord(text, pos, options, fields) == workbookfiles::CsvRecord::Read) {
        for (const auto& stored : fields.stored)
            fields.texts[stored.first] = kept.emplace_back(fields.texts[stored.first]);
        cells.insert(cells.end(), fields.texts.begin(), fields.texts.end());
        recordEnds.push_back(cells.size());
        if (recordEnds.size() == kSampleRecords) {
            // room for the rest of the text as dense as its start, so the
            // lists grow once (a text holds at most one field a byte, plus one)
            const double scale = 1.05 * static_cast<double>(text.size()) / static_cast<double>(pos);
            cells.reserve(std::min(static_cast<size_t>(static_cast<double>(cells.size()) * scale), text.size() + 1));
            recordEnds.reserve(std::min(static_cast<size_t>(kSampleRecords * scale), text.size() + 1));
        }
        widest = std::max(widest, fields.texts.size());
        if (recordEnds.size() > static_cast<size_t>(kMaxRows) || widest > static_cast<size_t>(kMaxColumns))
            throw DIdiZedoRorid(kCorrupt + Name);
    }

    const long long records = static_cast<long long>(recordEnds.size());
    const long long rows = static_cast<long long>(RowOffset) + records;
    const long long cols = ColOffset + static_cast<long long>(widest);
    if (rows > kMaxRows || cols > kMaxColumns)
        throw DIdiZedoRorid(kCorrupt + Name);
    T.SetRowCount(static_cast<int>(rows));
    if (cols > T.ColCount())
        T.SetColCount(static_cast<int>(cols));
    std::vector<std::string> converted;
    size_t first = 0;
    for (long long line = 0; line < records; ++line) {
        const size_t end = recordEnds[static_cast<size_t>(line)];
        converted.clear();
        converted.reserve(end - first);  // the cells point into it: it must not move
        for (size_t k = first; k < end; ++k)
            if (const auto text = csvCellText(cells[k], S))
                cells[k] = converted.emplace_back(std::move(*text));
        T.SetRowTexts(RowOffset + static_cast<int>(line), ColOffset,
                      std::span<const std::string_view>(cells.data() + first, end - first));
        first = end;
        report(Progress, line + 1, records);
    }
}

// ---------------------------------------------------------------- fixed width

QByteArray WriteFixed(const CellTable& T, const CellRange& Range, const std::vector<int>& Widths)
{
    QString out;
    for (int r = Range.FirstRow; r <= Range.LastRow; ++r) {
        for (int c = Range.FirstCol; c <= Range.LastCol; ++c) {
            const int width = std::max(0, Widths.at(static_cast<size_t>(c - Range.FirstCol)));
            QString field = QString::fromStdString(T.SaveText(Range.Real(T, c), r)).left(width);
            field.replace(u'\r', u' ').replace(u'\n', u' ');
            out += field + QString(width - field.size(), u' ');
        }
        out += QStringLiteral("\r\n");
    }
    return out.toUtf8();
}

int FixedFields(const std::vector<int>& Positions, int FixedCols)
{
    const int fields = static_cast<int>(Positions.size()) - 1;
    return fields < 1 || FixedCols + static_cast<long long>(fields) > kMaxColumns ? 0 : fields;
}

bool ReadFixed(const QByteArray& Bytes, CellTable& T, int FixedCols, int FirstCol, int FirstRow,
               const std::vector<int>& Positions, const std::string& Name)
{
    const int fields = FixedFields(Positions, FixedCols);
    if (fields == 0)
        return false;
    const std::vector<QByteArray> lines = fileio::SplitLines(Bytes);
    if (FirstRow + static_cast<long long>(lines.size()) > kMaxRows)
        throw DIdiZedoRorid(kCorrupt + Name);
    T.SetColCount(FixedCols + fields);
    if (FirstRow + static_cast<int>(lines.size()) > T.RowCount())
        T.SetRowCount(FirstRow + static_cast<int>(lines.size()));
    for (size_t l = 0; l < lines.size(); ++l) {
        const QString line = QString::fromUtf8(lines[l]);
        for (int k = 0; k < fields; ++k) {
            const long long from = Positions[static_cast<size_t>(k)], to = Positions[static_cast<size_t>(k + 1)];
            QString field;
            if (to > from && from >= 1 && from <= line.size())
                field = line.mid(static_cast<qsizetype>(from - 1), static_cast<qsizetype>(to - from));
            if (FirstCol + k < T.ColCount())
                T.SetText(FirstCol + k, FirstRow + static_cast<int>(l), trimmedControls(field).toStdString());
        }
    }
    return true;
}

}  // namespace grid::exchange
