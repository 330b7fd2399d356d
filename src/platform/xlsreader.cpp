// The .xls reader of workbookfiles.h: a compound document (sectors, FAT,
// mini stream, directory) holding the "Workbook" stream of BIFF8 records.
// Every offset, length, sector number and chain taken from the file is
// checked before use; a chain may not loop and a record may not reach past
// its stream.
#include "platform/workbookfiles.h"
#include "platform/numberformats.h"
#include "platform/wholefile.h"

#include <QHash>

#include <cmath>
#include <cstring>
#include <algorithm>
#include <optional>

namespace workbookfiles {

namespace {

constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr int kMaxRecordLength = 8224;

uint16_t u16(const QByteArray& b, qsizetype at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t u32(const QByteArray& b, qsizetype at) { return u16(b, at) | static_cast<uint32_t>(u16(b, at + 2)) << 16; }
double f64(const QByteArray& b, qsizetype at)
{
    uint64_t bits = u32(b, at) | static_cast<uint64_t>(u32(b, at + 4)) << 32;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The compound document around the workbook stream.
class CompoundFile {
public:
    explicit CompoundFile(const QByteArray& bytes) : file_(bytes) {}

    bool stream(const QString& wanted, QByteArray& out, QString& error)
    {
        if (file_.size() < 512 || !file_.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
            error = "not a compound document";
            return false;
        }
        const int shift = u16(file_, 30);
        const int miniShift = u16(file_, 32);
        if ((shift != 9 && shift != 12) || miniShift != 6) {
            error = "unknown sector size";
            return false;
        }
        sector_ = qsizetype(1) << shift;
        if (!readFat(error))
            return false;

        // the directory: 128-byte entries along the directory chain
        QByteArray directory;
        if (!chain(u32(file_, 48), directory, -1, error))
            return false;
        const uint32_t miniCutoff = u32(file_, 56);
        QByteArray rootStream;
        bool haveRoot = false;
        for (qsizetype at = 0; at + 128 <= directory.size(); at += 128) {
            const int type = static_cast<uint8_t>(directory[at + 66]);
            const int nameBytes = u16(directory, at + 64);
            if (nameBytes < 2 || nameBytes > 64)
                continue;
            const QString name = QString::fromUtf16(reinterpret_cast<const char16_t*>(directory.constData() + at),
                                                    nameBytes / 2 - 1);
            const uint32_t start = u32(directory, at + 116);
            const uint64_t size = u32(directory, at + 120);  // the high word is unused at 512-byte sectors
            if (type == 5 && !haveRoot) {
                haveRoot = true;
                rootEntryStart_ = start;
                rootEntrySize_ = size;
            } else if (type == 2 && name.compare(wanted, Qt::CaseInsensitive) == 0) {
                if (size > static_cast<uint64_t>(kMaxFileBytes)) {
                    error = "stream too large";
                    return false;
                }
                if (size >= miniCutoff)
                    return chain(start, out, static_cast<qsizetype>(size), error);
                if (!haveRoot) {
                    error = "no root entry";
                    return false;
                }
                if (!chain(rootEntryStart_, rootStream, static_cast<qsizetype>(rootEntrySize_), error) ||
                    !readMiniFat(error))
                    return false;
                return miniChain(rootStream, start, out, static_cast<qsizetype>(size), error);
            }
        }
        error = "no " + wanted + " stream";
        return false;
    }

private:
    // The header fills the first sector (512 bytes used, the rest of a
    // 4096-byte one is padding); sector 0 follows it. A file that ends
    // inside its last sector reads as if padded with zeros, as other
    // readers take it.
    qsizetype sectors() const { return std::max<qsizetype>((file_.size() - 1) / sector_, 0); }
    qsizetype offsetOf(uint32_t s) const { return (static_cast<qsizetype>(s) + 1) * sector_; }
    // Sector s (< sectors()), its missing tail as zeros.
    QByteArray sectorBytes(uint32_t s) const
    {
        QByteArray bytes = file_.mid(offsetOf(s), sector_);
        bytes.append(sector_ - bytes.size(), '\0');
        return bytes;
    }

    bool readFat(QString& error)
    {
        // the sectors of the FAT: 109 in the header, then along the DIFAT chain
        std::vector<uint32_t> fatSectors;
        const uint32_t count = u32(file_, 44);
        if (count > static_cast<uint32_t>(sectors())) {
            error = "bad sector table";
            return false;
        }
        for (int i = 0; i < 109 && fatSectors.size() < count; ++i)
            fatSectors.push_back(u32(file_, 76 + 4 * i));
        uint32_t difat = u32(file_, 68);
        qsizetype guard = 0;
        while (fatSectors.size() < count) {
            if (difat >= sectors() || ++guard > sectors()) {
                error = "bad sector table";
                return false;
            }
            const QByteArray list = sectorBytes(difat);
            const qsizetype perSector = sector_ / 4 - 1;
            for (qsizetype i = 0; i < perSector && fatSectors.size() < count; ++i)
                fatSectors.push_back(u32(list, 4 * i));
            difat = u32(list, 4 * perSector);
        }
        for (uint32_t s : fatSectors) {
            if (s >= sectors()) {
                error = "bad sector table";
                return false;
            }
            const QByteArray table = sectorBytes(s);
            for (qsizetype i = 0; i < sector_ / 4; ++i)
                fat_.push_back(u32(table, 4 * i));
        }
        return true;
    }

    bool readMiniFat(QString& error)
    {
        QByteArray bytes;
        if (!chain(u32(file_, 60), bytes, -1, error))
            return false;
        for (qsizetype at = 0; at + 4 <= bytes.size(); at += 4)
            miniFat_.push_back(u32(bytes, at));
        return true;
    }

    // The bytes along a chain of sectors; size -1: the whole chain.
    bool chain(uint32_t s, QByteArray& out, qsizetype size, QString& error)
    {
        out.clear();
        qsizetype steps = 0;
        while (s != kEndOfChain && (size < 0 || out.size() < size)) {
            if (s >= sectors() || s >= fat_.size() || ++steps > sectors()) {
                error = "broken sector chain";
                return false;
            }
            out.append(sectorBytes(s));
            s = fat_[s];
        }
        if (size >= 0) {
            if (out.size() < size) {
                error = "stream shorter than its entry says";
                return false;
            }
            out.truncate(size);
        }
        return true;
    }

    bool miniChain(const QByteArray& miniStream, uint32_t s, QByteArray& out, qsizetype size, QString& error)
    {
        out.clear();
        qsizetype steps = 0;
        while (out.size() < size) {
            const qsizetype at = static_cast<qsizetype>(s) * 64;
            if (s == kEndOfChain || s == kFreeSector || s >= miniFat_.size() || at + 64 > miniStream.size() ||
                ++steps > static_cast<qsizetype>(miniFat_.size())) {
                error = "broken mini-sector chain";
                return false;
            }
            out.append(miniStream.constData() + at, 64);
            s = miniFat_[s];
        }
        out.truncate(size);
        return true;
    }

    const QByteArray& file_;
    qsizetype sector_ = 512;
    std::vector<uint32_t> fat_, miniFat_;
    uint32_t rootEntryStart_ = kEndOfChain;
    uint64_t rootEntrySize_ = 0;
};

// One BIFF record and the CONTINUE records after it, read as one sequence
// of bytes with the boundaries kept (a text split at a boundary starts again
// with its own flags byte).
struct Record {
    uint16_t type = 0;
    QByteArray data;
    std::vector<qsizetype> boundaries;  // offsets in data where a CONTINUE began
};

class RecordReader {
public:
    RecordReader(const QByteArray& stream, qsizetype at) : s_(stream), at_(at) {}

    // False at the end of the stream; `error` set when a record is damaged.
    bool next(Record& r, QString& error)
    {
        if (at_ + 4 > s_.size())
            return false;
        r.type = u16(s_, at_);
        const int length = u16(s_, at_ + 2);
        if (length > kMaxRecordLength || at_ + 4 + length > s_.size()) {
            error = "damaged record";
            return false;
        }
        r.data = s_.mid(at_ + 4, length);
        r.boundaries.clear();
        at_ += 4 + length;
        while (at_ + 4 <= s_.size() && u16(s_, at_) == 0x003C) {  // CONTINUE
            const int more = u16(s_, at_ + 2);
            if (more > kMaxRecordLength || at_ + 4 + more > s_.size()) {
                error = "damaged record";
                return false;
            }
            r.boundaries.push_back(r.data.size());
            r.data.append(s_.constData() + at_ + 4, more);
            at_ += 4 + more;
        }
        return true;
    }

private:
    const QByteArray& s_;
    qsizetype at_;
};

// Reads a BIFF8 text (character count, flags, characters) from a record.
class TextReader {
public:
    explicit TextReader(const Record& r) : r_(r) {}
    qsizetype at = 0;

    bool has(qsizetype n) const { return at + n <= r_.data.size(); }

    // countBytes: 2 for the usual texts, 1 for sheet names.
    std::optional<QString> text(int countBytes)
    {
        if (!has(countBytes + 1))
            return std::nullopt;
        qsizetype chars = countBytes == 1 ? static_cast<uint8_t>(r_.data[at]) : u16(r_.data, at);
        at += countBytes;
        uint8_t flags = static_cast<uint8_t>(r_.data[at++]);
        int runs = 0;
        uint32_t extra = 0;
        if (flags & 0x08) {
            if (!has(2))
                return std::nullopt;
            runs = u16(r_.data, at);
            at += 2;
        }
        if (flags & 0x04) {
            if (!has(4))
                return std::nullopt;
            extra = u32(r_.data, at);
            at += 4;
        }
        QString out;
        bool wide = flags & 0x01;
        while (chars > 0) {
            if (std::find(r_.boundaries.begin(), r_.boundaries.end(), at) != r_.boundaries.end()) {
                if (!has(1))
                    return std::nullopt;
                wide = static_cast<uint8_t>(r_.data[at++]) & 0x01;  // a continued text's own flags
            }
            qsizetype end = r_.data.size();  // the characters run to the next boundary at most
            for (qsizetype b : r_.boundaries)
                if (b > at) {
                    end = b;
                    break;
                }
            const qsizetype fit = std::min<qsizetype>(chars, (end - at) / (wide ? 2 : 1));
            if (fit <= 0)
                return std::nullopt;
            if (wide)
                out += QString::fromUtf16(reinterpret_cast<const char16_t*>(r_.data.constData() + at), fit);
            else
                out += QString::fromLatin1(r_.data.constData() + at, fit);
            at += fit * (wide ? 2 : 1);
            chars -= fit;
        }
        const qsizetype skip = 4 * static_cast<qsizetype>(runs) + static_cast<qsizetype>(extra);
        if (!has(skip))
            return std::nullopt;
        at += skip;
        return out;
    }

private:
    const Record& r_;
};

double rkValue(uint32_t rk)
{
    double v;
    if (rk & 0x02) {
        v = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100 : v;
}

struct SheetEntry {
    QString name;
    uint32_t offset;
    int tab;  // its place among all sheets, charts included
};

// What the workbook globals hold for the sheets: the shared texts, the
// worksheets, the selected tab (-1 when the file names none), the shape of
// each cell format (XF, by its index) and the date system (DATEMODE).
struct Globals {
    QStringList shared;
    std::vector<SheetEntry> sheets;
    int selectedTab = -1;
    std::vector<NumberShape> shapes;
    bool date1904 = false;

    QVariant number(uint16_t format, double value) const
    {
        return ShownNumber(value, format < shapes.size() ? shapes[format] : NumberShape::Number, date1904);
    }
};

bool readSharedTexts(const Record& r, QStringList& shared, QString& error)
{
    if (r.data.size() < 8) {
        error = "damaged shared texts";
        return false;
    }
    const uint32_t unique = u32(r.data, 4);
    if (unique > static_cast<uint32_t>(kMaxCells)) {
        error = "too many shared texts";
        return false;
    }
    TextReader t(r);
    t.at = 8;
    for (uint32_t i = 0; i < unique; ++i) {
        const auto s = t.text(2);
        if (!s) {
            error = "damaged shared texts";
            return false;
        }
        shared << *s;
    }
    return true;
}

bool readGlobals(const QByteArray& stream, Globals& globals, QString& error)
{
    RecordReader records(stream, 0);
    Record r;
    bool first = true;
    int tabs = 0;
    QHash<int, QString> codes;          // FORMAT: format id -> its code
    std::vector<uint16_t> formatOfXf;  // XF: the format id of each
    while (records.next(r, error)) {
        if (first) {
            if (r.type != 0x0809 || r.data.size() < 4 || u16(r.data, 0) != 0x0600) {
                error = "not a BIFF8 workbook (Excel 97 or later)";
                return false;
            }
            first = false;
            continue;
        }
        switch (r.type) {
        case 0x002F:  // FILEPASS
            error = "the workbook is protected by a password";
            return false;
        case 0x0085: {  // BOUNDSHEET
            if (r.data.size() < 8)
                break;
            TextReader t(r);
            t.at = 6;
            const auto name = t.text(1);
            if (static_cast<uint8_t>(r.data[5]) == 0)  // worksheets only
                globals.sheets.push_back({name.value_or(QString()), u32(r.data, 0), tabs});
            ++tabs;
            break;
        }
        case 0x003D:  // WINDOW1: the first one holds the selected tab
            if (r.data.size() >= 12 && globals.selectedTab < 0)
                globals.selectedTab = u16(r.data, 10);
            break;
        case 0x0022:  // DATEMODE
            if (r.data.size() >= 2)
                globals.date1904 = u16(r.data, 0) == 1;
            break;
        case 0x041E: {  // FORMAT: id, code
            TextReader t(r);
            t.at = 2;
            const auto code = r.data.size() >= 2 ? t.text(2) : std::nullopt;
            if (code)
                codes.insert(u16(r.data, 0), *code);
            break;
        }
        case 0x00E0:  // XF
            if (r.data.size() >= 4)
                formatOfXf.push_back(u16(r.data, 2));
            break;
        case 0x00FC:  // SST
            if (!readSharedTexts(r, globals.shared, error))
                return false;
            break;
        case 0x000A:  // EOF of the globals
            for (const uint16_t id : formatOfXf) {
                const auto code = codes.constFind(id);
                globals.shapes.push_back(ShapeOfFormat(id, code == codes.constEnd() ? nullptr : &*code));
            }
            return error.isEmpty();
        default:
            break;
        }
    }
    if (error.isEmpty())
        error = first ? "empty workbook stream" : "the workbook globals have no end";
    return false;
}

// Adds cells to the sheet being read (within the sink's limits).
class CellPut {
public:
    CellPut(std::vector<WorkbookSheet>& sheets, qint64& count) : sheets_(sheets), count_(count) {}
    bool operator()(int row0, int col0, const QVariant& v, QString& error)
    {
        if (++count_ > kMaxCells) {
            error = "too many cells";
            return false;
        }
        if (v.isValid() && !(v.typeId() == QMetaType::QString && v.toString().isEmpty()))
            sheets_.back().cells[{row0 + 1, col0 + 1}] = v;
        return true;
    }
    // Marks a cell that holds an error value.
    bool error(int row0, int col0, QString& error)
    {
        if (++count_ > kMaxCells) {
            error = "too many cells";
            return false;
        }
        sheets_.back().errors.insert({row0 + 1, col0 + 1});
        return true;
    }

private:
    std::vector<WorkbookSheet>& sheets_;
    qint64& count_;
};

// A worksheet runs from its BOF to its EOF; a chart embedded in it is a
// substream of its own (BOF to EOF) inside, whose records are skipped.
bool readWorksheet(const QByteArray& stream, uint32_t offset, const Globals& globals, CellPut& put,
                   QString& error)
{
    const QStringList& shared = globals.shared;
    if (offset >= static_cast<uint64_t>(stream.size())) {
        error = "sheet outside the workbook stream";
        return false;
    }
    RecordReader records(stream, offset);
    Record r;
    bool first = true;
    bool stringPending = false;
    int pendingRow = 0, pendingCol = 0;
    int nested = 0;
    while (records.next(r, error)) {
        if (first) {
            if (r.type != 0x0809) {
                error = "sheet does not start where the workbook says";
                return false;
            }
            first = false;
            continue;
        }
        if (r.type == 0x0809) {
            ++nested;
            continue;
        }
        if (nested > 0) {
            if (r.type == 0x000A)
                --nested;
            continue;
        }
        const qsizetype n = r.data.size();
        auto cell = [&](qsizetype need) { return n >= need; };
        switch (r.type) {
        case 0x00FD:  // LABELSST
            if (cell(10)) {
                const uint32_t index = u32(r.data, 6);
                if (index >= static_cast<uint32_t>(shared.size())) {
                    error = "shared text index out of range";
                    return false;
                }
                if (!put(u16(r.data, 0), u16(r.data, 2), shared[index], error))
                    return false;
            }
            break;
        case 0x0204: {  // LABEL
            if (!cell(9))
                break;
            TextReader t(r);
            t.at = 6;
            const auto s = t.text(2);
            if (!s) {
                error = "damaged text cell";
                return false;
            }
            if (!put(u16(r.data, 0), u16(r.data, 2), *s, error))
                return false;
            break;
        }
        case 0x0203:  // NUMBER
            if (cell(14) && std::isfinite(f64(r.data, 6)) &&
                !put(u16(r.data, 0), u16(r.data, 2), globals.number(u16(r.data, 4), f64(r.data, 6)), error))
                return false;
            break;
        case 0x027E:  // RK
            if (cell(10) &&
                !put(u16(r.data, 0), u16(r.data, 2), globals.number(u16(r.data, 4), rkValue(u32(r.data, 6))), error))
                return false;
            break;
        case 0x00BD: {  // MULRK
            if (!cell(6))
                break;
            const int row = u16(r.data, 0);
            const int firstCol = u16(r.data, 2);
            const qsizetype items = (n - 6) / 6;
            for (qsizetype i = 0; i < items; ++i)
                if (!put(row, firstCol + static_cast<int>(i),
                         globals.number(u16(r.data, 4 + 6 * i), rkValue(u32(r.data, 4 + 6 * i + 2))), error))
                    return false;
            break;
        }
        case 0x0205:  // BOOLERR: a truth value, or an error value when flagged
            if (!cell(8))
                break;
            if (r.data[7] == 0 ? !put(u16(r.data, 0), u16(r.data, 2), r.data[6] != 0, error)
                               : !put.error(u16(r.data, 0), u16(r.data, 2), error))
                return false;
            break;
        case 0x0006:  // FORMULA: its cached result
        case 0x0406:  // the same, under the id older writers use
            if (!cell(14))
                break;
            if (u16(r.data, 12) == 0xFFFF) {
                const int kind = static_cast<uint8_t>(r.data[6]);
                if (kind == 0) {  // the text follows in a STRING record
                    stringPending = true;
                    pendingRow = u16(r.data, 0);
                    pendingCol = u16(r.data, 2);
                } else if (kind == 1 && !put(u16(r.data, 0), u16(r.data, 2), r.data[8] != 0, error)) {
                    return false;
                } else if (kind == 2 && !put.error(u16(r.data, 0), u16(r.data, 2), error)) {
                    return false;
                }
            } else if (std::isfinite(f64(r.data, 6)) &&
                       !put(u16(r.data, 0), u16(r.data, 2), globals.number(u16(r.data, 4), f64(r.data, 6)), error)) {
                return false;
            }
            break;
        case 0x0207: {  // STRING
            if (!stringPending)
                break;
            stringPending = false;
            TextReader t(r);
            const auto s = t.text(2);
            if (!s) {
                error = "damaged formula text";
                return false;
            }
            if (!put(pendingRow, pendingCol, *s, error))
                return false;
            break;
        }
        case 0x000A:  // EOF
            return error.isEmpty();
        default:
            break;
        }
    }
    if (error.isEmpty())
        error = "sheet without end";
    return false;
}

} // namespace

bool ReadXls(const QString& path, std::vector<WorkbookSheet>& sheets, QString& error)
{
    QByteArray bytes;
    switch (platform::ReadWholeFile(path, kMaxFileBytes, bytes, error)) {
    case platform::WholeFile::Read: break;
    case platform::WholeFile::TooLarge: error = "the file is too large"; return false;
    case platform::WholeFile::Failed: return false;
    }
    CompoundFile compound(bytes);
    QByteArray stream;
    if (!compound.stream("Workbook", stream, error)) {
        QString older;
        if (CompoundFile(bytes).stream("Book", stream, older)) {
            error = "not a BIFF8 workbook (Excel 97 or later)";
        }
        return false;
    }
    Globals globals;
    if (!readGlobals(stream, globals, error))
        return false;
    if (globals.sheets.empty()) {
        error = "the workbook lists no sheet";
        return false;
    }
    std::vector<WorkbookSheet> read;
    qint64 count = 0;
    CellPut put(read, count);
    for (const SheetEntry& entry : globals.sheets) {
        read.push_back({entry.name, {}, {}, entry.tab == globals.selectedTab});
        if (!readWorksheet(stream, entry.offset, globals, put, error))
            return false;
    }
    sheets = std::move(read);
    return true;
}

} // namespace workbookfiles
