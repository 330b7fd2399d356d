#include "platform/workbookfiles.h"
#include "platform/numberformats.h"

#include "platform/oemcodepage.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include <minizip/unzip.h>
#include <xlsxwriter.h>

namespace workbookfiles {

namespace {

// Counts cells against kMaxCells while a reader fills a sheet.
class CellSink {
public:
    explicit CellSink(std::vector<WorkbookSheet>& sheets) : sheets_(sheets) {}

    WorkbookSheet& newSheet(const QString& name)
    {
        sheets_.push_back({name, {}, {}, false});
        return sheets_.back();
    }
    // False when the address is outside the sheet or too many cells were read.
    bool put(WorkbookSheet& sheet, int row, int column, QVariant value, QString& error)
    {
        if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
            error = QString("cell address outside the sheet (row %1, column %2)").arg(row).arg(column);
            return false;
        }
        if (++count_ > kMaxCells) {
            error = "too many cells";
            return false;
        }
        if (value.isValid() && !(value.typeId() == QMetaType::QString && value.toString().isEmpty()))
            sheet.cells[{row, column}] = std::move(value);
        return true;
    }

private:
    std::vector<WorkbookSheet>& sheets_;
    qint64 count_ = 0;
};

// ---------------------------------------------------------------- CSV

// A field of `size` bytes at `from`; with `doubled` its doubled quotes are
// made single in the fields' store, where SplitCsvRecord points it at the
// end of the record (the store no longer moves then). The stored texts lie
// in the store one after the other, in the order of their fields.
void addCsvField(CsvFields& fields, const char* from, size_t size, bool doubled)
{
    if (!doubled) {
        fields.texts.emplace_back(from, size);
        return;
    }
    const size_t offset = fields.store.size();
    for (size_t k = 0; k < size; ++k) {
        fields.store += from[k];
        if (from[k] == '"' && k + 1 < size && from[k + 1] == '"')
            ++k;
    }
    fields.stored.emplace_back(fields.texts.size(), offset);
    fields.texts.emplace_back();
}

// Adds bytes to the end of the last field, which moves to the store.
void extendLastCsvField(CsvFields& fields, const char* from, size_t size)
{
    const size_t last = fields.texts.size() - 1;
    if (fields.stored.empty() || fields.stored.back().first != last) {
        fields.stored.emplace_back(last, fields.store.size());
        fields.store.append(fields.texts[last]);
    }
    fields.store.append(from, size);
}

bool readCsvFields(const QByteArray& bytes, CellSink& sink, WorkbookSheet& sheet, QString& error)
{
    const std::string_view text(bytes.constData(), static_cast<size_t>(bytes.size()));
    sheet.csvDelimiter = CsvDelimiter(text);
    const CsvOptions options{sheet.csvDelimiter, true};
    size_t pos = 0;
    CsvFields fields;
    for (int row = 1;; ++row) {
        switch (SplitCsvRecord(text, pos, options, fields)) {
        case CsvRecord::End:
            return true;
        case CsvRecord::UnterminatedQuote:
            error = QString("unterminated quoted field in line %1").arg(row);
            return false;
        case CsvRecord::TextAfterQuote:
            error = QString("text after a closing quote in line %1").arg(row);
            return false;
        case CsvRecord::Read:
            break;
        }
        for (size_t c = 0; c < fields.texts.size(); ++c)
            if (!sink.put(sheet, row, static_cast<int>(c) + 1,
                          QString::fromUtf8(fields.texts[c].data(), static_cast<qsizetype>(fields.texts[c].size())),
                          error))
                return false;
    }
}

// ---------------------------------------------------------------- XLSX reading

// One open zip archive; parts are read whole, within kMaxFileBytes.
class ZipArchive {
public:
    explicit ZipArchive(const QString& path) : zip_(unzOpen64(QFile::encodeName(path).constData())) {}
    ~ZipArchive()
    {
        if (zip_)
            unzClose(zip_);
    }
    bool isOpen() const { return zip_ != nullptr; }

    // False when two entries share a name (part names match in any case):
    // programs that read the first and programs that read the last would
    // see different workbooks.
    bool namesAreUnique(QString& error)
    {
        QSet<QByteArray> seen;
        for (int r = unzGoToFirstFile(zip_); r == UNZ_OK; r = unzGoToNextFile(zip_)) {
            unz_file_info64 info;
            bool ok = unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK;
            QByteArray key(ok ? static_cast<qsizetype>(info.size_filename) : 0, '\0');
            ok = ok && unzGetCurrentFileInfo64(zip_, nullptr, key.data(), static_cast<uLong>(key.size()), nullptr, 0,
                                               nullptr, 0) == UNZ_OK;
            if (!ok) {
                error = "damaged zip directory";
                return false;
            }
            key = key.toLower();
            if (seen.contains(key)) {
                error = "two zip entries named " + QString::fromUtf8(key);
                return false;
            }
            seen.insert(key);
        }
        return true;
    }

    // The part's bytes; false when it is missing (`missing` set) or damaged.
    // A part that carries a document type declaration is refused unparsed:
    // entities declared there could take any time to expand.
    bool read(const QString& name, QByteArray& out, bool& missing, QString& error)
    {
        if (!readBytes(name, out, missing, error))
            return false;
        if (holdsDoctype(out)) {
            error = "part " + name + " carries a document type declaration";
            return false;
        }
        return true;
    }

private:
    // In UTF-8 and in UTF-16 of either byte order.
    static bool holdsDoctype(const QByteArray& bytes)
    {
        const QByteArray ascii("<!DOCTYPE");
        QByteArray little, big;
        for (const char c : ascii) {
            little += c;
            little += '\0';
            big += '\0';
            big += c;
        }
        return bytes.contains(ascii) || bytes.contains(little) || bytes.contains(big);
    }

    bool readBytes(const QString& name, QByteArray& out, bool& missing, QString& error)
    {
        missing = false;
        if (unzLocateFile(zip_, name.toUtf8().constData(), 1) != UNZ_OK) {
            missing = true;
            error = "part " + name + " is missing";
            return false;
        }
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
            info.uncompressed_size > static_cast<ZPOS64_T>(kMaxFileBytes)) {
            error = "part " + name + " is damaged or too large";
            return false;
        }
        if (unzOpenCurrentFile(zip_) != UNZ_OK) {
            error = "part " + name + " cannot be unpacked";
            return false;
        }
        out.resize(static_cast<qsizetype>(info.uncompressed_size));
        qsizetype got = 0;
        bool ok = true;
        while (ok) {
            char spare;
            char* into = got < out.size() ? out.data() + got : &spare;
            const unsigned want = got < out.size() ? static_cast<unsigned>(std::min<qsizetype>(out.size() - got, 1 << 20)) : 1;
            const int r = unzReadCurrentFile(zip_, into, want);
            if (r == 0)
                break;
            if (r < 0 || got >= out.size()) {  // an error, or more bytes than the directory said
                ok = false;
                break;
            }
            got += r;
        }
        const int closed = unzCloseCurrentFile(zip_);  // UNZ_CRCERROR for damaged data
        if (!ok || closed != UNZ_OK || got != out.size()) {
            error = "part " + name + " is damaged";
            return false;
        }
        return true;
    }

    unzFile zip_;
};

// The UTF-16 unit of the text escape "_xHHHH_" (four hex digits) that starts
// at i, or -1 when none starts there.
int escapeAt(const QString& s, qsizetype i)
{
    if (i + 7 > s.size() || s[i] != u'_' || s[i + 1] != u'x' || s[i + 6] != u'_')
        return -1;
    int value = 0;
    for (qsizetype j = i + 2; j < i + 6; ++j) {
        const char16_t c = s[j].unicode();
        const int digit = c >= u'0' && c <= u'9' ? c - u'0'
                          : c >= u'a' && c <= u'f' ? c - u'a' + 10
                          : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                 : -1;
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// A stored text with its escapes replaced by the characters they stand for.
QString unescapeText(const QString& s)
{
    if (!s.contains(u"_x"))
        return s;
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size();) {
        const int value = escapeAt(s, i);
        if (value >= 0) {
            out += QChar(char16_t(value));
            i += 7;
        } else {
            out += s[i++];
        }
    }
    return out;
}

// A text to store: an "_" that starts what reads as an escape is written as
// the escape "_x005F_" (the writing library escapes control characters).
QString escapeLookalikes(const QString& s)
{
    if (!s.contains(u"_x"))
        return s;
    QString out;
    out.reserve(s.size() + 7);
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (escapeAt(s, i) >= 0)
            out += u"_x005F";
        out += s[i];
    }
    return out;
}

QString attribute(const QXmlStreamReader& xml, QStringView localName)
{
    for (const QXmlStreamAttribute& a : xml.attributes())
        if (a.name() == localName)
            return a.value().toString();
    return {};
}

// "dir/" + target with "." and ".." resolved; an absolute target starts from
// the archive's root. Empty when it leaves the archive.
QString resolvePart(const QString& dir, const QString& target)
{
    QStringList parts = target.startsWith('/') ? QStringList() : dir.split('/', Qt::SkipEmptyParts);
    for (const QString& p : target.split('/', Qt::SkipEmptyParts)) {
        if (p == ".")
            continue;
        if (p == "..") {
            if (parts.isEmpty())
                return {};
            parts.removeLast();
            continue;
        }
        parts << p;
    }
    return parts.join('/');
}

QString directoryOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf('/');
    return slash < 0 ? QString() : part.left(slash);
}

// Relationship id -> (type, resolved target) of a .rels part.
struct Relationship {
    QString type, target;
};
bool readRelationships(const QByteArray& xmlBytes, const QString& baseDir, QHash<QString, Relationship>& out,
                       QString& error)
{
    QXmlStreamReader xml(xmlBytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"Relationship" && attribute(xml, u"TargetMode") != "External")
            out.insert(attribute(xml, u"Id"),
                       {attribute(xml, u"Type"), resolvePart(baseDir, attribute(xml, u"Target"))});
    }
    if (xml.hasError()) {
        error = "relationships: " + xml.errorString();
        return false;
    }
    return true;
}

// The text of the element the reader stands on, <rPh> runs left out; the
// reader ends on that element's end.
QString runText(QXmlStreamReader& xml)
{
    QString text;
    const QString outer = xml.name().toString();
    int skipDepth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (skipDepth > 0 || xml.name() == u"rPh")
                ++skipDepth;
            else if (xml.name() == u"t")
                text += unescapeText(xml.readElementText(QXmlStreamReader::IncludeChildElements));
        } else if (xml.isEndElement()) {
            if (skipDepth > 0)
                --skipDepth;
            else if (xml.name() == outer)
                break;
        }
    }
    return text;
}

bool readSharedStrings(const QByteArray& bytes, QStringList& out, QString& error)
{
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"si") {
            if (out.size() >= kMaxCells) {
                error = "too many shared texts";
                return false;
            }
            out << runText(xml);
        }
    }
    if (xml.hasError()) {
        error = "shared texts: " + xml.errorString();
        return false;
    }
    return true;
}

// "B12" -> column 2, row 12. False for anything else.
bool parseCellReference(QStringView ref, int& column, int& row)
{
    qsizetype i = 0;
    int col = 0;
    while (i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z' && i < 3) {
        col = col * 26 + (ref[i].unicode() - u'A' + 1);
        ++i;
    }
    if (i == 0 || i == ref.size())
        return false;
    int r = 0;
    for (qsizetype j = i; j < ref.size(); ++j) {
        if (ref[j] < u'0' || ref[j] > u'9' || r > kMaxRows)
            return false;
        r = r * 10 + (ref[j].unicode() - u'0');
    }
    column = col;
    row = r;
    return col >= 1 && col <= kMaxColumns && r >= 1 && r <= kMaxRows;
}

bool parseNumber(const QString& text, double& out)
{
    const QByteArray s = text.trimmed().toLatin1();
    if (s.isEmpty())
        return false;
    const char* b = s.constData();
    const char* e = b + s.size();
    auto [p, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && p == e && std::isfinite(out);
}

// What the cells of a workbook's sheets refer to: the shared texts, the
// shape of each cell format (by its index, the cell's s attribute) and the
// date system.
struct SheetContext {
    QStringList shared;
    std::vector<NumberShape> shapes;
    bool date1904 = false;

    NumberShape shapeOf(const QString& style) const
    {
        bool ok = false;
        const qlonglong index = style.toLongLong(&ok);
        return ok && index >= 0 && index < static_cast<qlonglong>(shapes.size()) ? shapes[static_cast<size_t>(index)]
                                                                                  : NumberShape::Number;
    }
};

// One <c> element; the reader ends on its end. `isError` tells an error cell.
bool readCell(QXmlStreamReader& xml, const SheetContext& context, int& row, int& column, QVariant& value,
              bool& isError, QString& error)
{
    const QStringList& shared = context.shared;
    const QString ref = attribute(xml, u"r");
    if (!ref.isEmpty() && !parseCellReference(ref, column, row)) {
        error = "bad cell address " + ref;
        return false;
    }
    const QString type = attribute(xml, u"t");
    const NumberShape shape = context.shapeOf(attribute(xml, u"s"));
    isError = type == "e";
    QString v;
    bool hasV = false, hasInline = false;
    QString inlineText;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"v") {
                v = xml.readElementText();
                hasV = true;
            } else if (xml.name() == u"is") {
                inlineText = runText(xml);
                hasInline = true;
            } else {
                xml.skipCurrentElement();  // <f>, <extLst>
            }
        } else if (xml.isEndElement() && xml.name() == u"c") {
            break;
        }
    }
    value = QVariant();
    if (type == "inlineStr") {
        if (hasInline)
            value = inlineText;
        return true;
    }
    // an empty value (a formula never calculated, for one) is an empty cell
    const bool isText = type == "str" || type == "e";
    if (!hasV || (isText ? v.isEmpty() : v.trimmed().isEmpty()))
        return true;
    if (type == "s") {
        bool ok = false;
        const qlonglong index = v.trimmed().toLongLong(&ok);
        if (!ok || index < 0 || index >= shared.size()) {
            error = "shared text index " + v + " out of range";
            return false;
        }
        value = shared[static_cast<qsizetype>(index)];
    } else if (isText) {
        value = unescapeText(v);
    } else if (type == "b") {
        value = v.trimmed() == "1";
    } else if (type == "d") {
        // a date the date system cannot count (before its first day, say)
        // stays the text written
        double serial = 0;
        value = SerialOfIsoDate(v, context.date1904, serial) ? ShownNumber(serial, shape, context.date1904)
                                                             : QVariant(v.trimmed());
    } else {
        double d = 0;
        if (!parseNumber(v, d)) {
            error = "cell " + ref + " holds no number";
            return false;
        }
        value = ShownNumber(d, shape, context.date1904);
    }
    return true;
}

bool readSheet(const QByteArray& bytes, const SheetContext& context, CellSink& sink, WorkbookSheet& sheet,
               QString& error)
{
    QXmlStreamReader xml(bytes);
    int row = 0, column = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"row") {
            const QString r = attribute(xml, u"r");
            bool ok = true;
            row = r.isEmpty() ? row + 1 : r.toInt(&ok);
            if (!ok || row < 1 || row > kMaxRows) {
                error = "bad row number " + r;
                return false;
            }
            column = 0;
        } else if (xml.name() == u"c") {
            int cellRow = row, cellColumn = column + 1;
            QVariant value;
            bool isError = false;
            if (!readCell(xml, context, cellRow, cellColumn, value, isError, error))
                return false;
            if (!sink.put(sheet, cellRow, cellColumn, value, error))
                return false;
            if (isError)
                sheet.errors.insert({cellRow, cellColumn});
            row = cellRow;
            column = cellColumn;
        }
    }
    if (xml.hasError()) {
        error = "sheet: " + xml.errorString();
        return false;
    }
    return true;
}

const QString kOfficeDocument = "/officeDocument";
const QString kSharedStrings = "/sharedStrings";
const QString kStyles = "/styles";

// An optional part: `present` false (and no error) when the archive has no
// such part or the name is empty; false only for a damaged part.
bool readOptional(ZipArchive& zip, const QString& part, QByteArray& bytes, bool& present, QString& error)
{
    bool missing = true;
    present = !part.isEmpty() && zip.read(part, bytes, missing, error);
    if (present || missing) {
        error.clear();
        return true;
    }
    return false;
}

// The sheets the workbook part lists, in order, the active one (from 0) and
// the date system.
struct WorkbookPart {
    struct Entry {
        QString name, id;
    };
    std::vector<Entry> entries;
    qsizetype activeTab = 0;
    bool date1904 = false;
};

bool readWorkbookPart(const QByteArray& bytes, WorkbookPart& out, QString& error)
{
    QXmlStreamReader xml(bytes);
    bool firstView = true;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"sheet") {
            out.entries.push_back({attribute(xml, u"name"), attribute(xml, u"id")});
        } else if (xml.name() == u"workbookView" && firstView) {
            firstView = false;
            bool ok = false;
            const int tab = attribute(xml, u"activeTab").toInt(&ok);
            if (ok)
                out.activeTab = tab;
        } else if (xml.name() == u"workbookPr") {
            const QString system = attribute(xml, u"date1904");
            out.date1904 = system == "1" || system == "true";
        }
    }
    if (xml.hasError()) {
        error = "workbook: " + xml.errorString();
        return false;
    }
    if (out.entries.empty()) {
        error = "the workbook lists no sheet";
        return false;
    }
    return true;
}

// The shape of each cell format of the styles part: <cellXfs> lists the
// formats cells refer to (<xf numFmtId=>), <numFmts> the codes of the
// workbook's own number formats (<numFmt numFmtId= formatCode=>).
bool readStyles(const QByteArray& bytes, std::vector<NumberShape>& shapes, QString& error)
{
    QXmlStreamReader xml(bytes);
    QHash<int, QString> codes;
    std::vector<int> formats;
    bool inCellFormats = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == u"cellXfs")
            inCellFormats = false;
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"cellXfs")
            inCellFormats = true;
        else if (xml.name() == u"numFmt")
            codes.insert(attribute(xml, u"numFmtId").toInt(), attribute(xml, u"formatCode"));
        else if (xml.name() == u"xf" && inCellFormats)
            formats.push_back(attribute(xml, u"numFmtId").toInt());
    }
    if (xml.hasError()) {
        error = "styles: " + xml.errorString();
        return false;
    }
    shapes.clear();
    for (const int id : formats) {
        const auto code = codes.constFind(id);
        shapes.push_back(ShapeOfFormat(id, code == codes.constEnd() ? nullptr : &*code));
    }
    return true;
}

// ---------------------------------------------------------------- XLSX writing

struct WorkbookCloser {
    void operator()(lxw_workbook* wb) const { workbook_close(wb); }
};

QString lxwError(lxw_error e) { return QString::fromUtf8(lxw_strerror(e)); }

} // namespace

QByteArray BeforeEndOfFileMark(const QByteArray& bytes)
{
    const qsizetype end = bytes.indexOf('\x1a');
    return end < 0 ? bytes : bytes.first(end);
}

QByteArray CsvText(const QByteArray& file)
{
    const QByteArray bytes = BeforeEndOfFileMark(file);
    const qsizetype skip = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const std::string_view text(bytes.constData() + skip, static_cast<size_t>(bytes.size() - skip));
    if (platform::IsUtf8(text))
        return skip ? bytes.sliced(skip) : bytes;
    return QByteArray::fromStdString(platform::Utf8OrCp1252(text));
}

CsvRecord SplitCsvRecord(std::string_view text, size_t& pos, const CsvOptions& options, CsvFields& fields)
{
    fields.texts.clear();
    fields.store.clear();
    fields.stored.clear();
    const size_t n = text.size();
    if (pos >= n)
        return CsvRecord::End;
    const char* b = text.data();
    const char d = options.delimiter;
    const auto lineEnd = [](char c) { return c == '\r' || c == '\n'; };
    const auto fail = [&](CsvRecord why) {
        fields.texts.clear();
        return why;
    };
    size_t i = pos;
    for (;;) {
        size_t end = i;  // past the field's bytes: at a delimiter, a line end or the end of the text
        if (i < n && b[i] == '"') {
            bool doubled = false;
            const char* close = nullptr;
            for (size_t from = i + 1; (close = static_cast<const char*>(std::memchr(b + from, '"', n - from)));) {
                const size_t at = static_cast<size_t>(close - b);
                if (at + 1 >= n || b[at + 1] != '"')
                    break;
                doubled = true;
                from = at + 2;
            }
            if (close) {
                const size_t at = static_cast<size_t>(close - b);
                addCsvField(fields, b + i + 1, at - i - 1, doubled);
                end = at + 1;
                if (end < n && b[end] != d && !lineEnd(b[end])) {
                    if (options.strict)
                        return fail(CsvRecord::TextAfterQuote);
                    while (end < n && b[end] != d && !lineEnd(b[end]))
                        ++end;
                }
            } else {
                if (options.strict)
                    return fail(CsvRecord::UnterminatedQuote);
                // the field runs to the end of the line its quote opened
                end = i + 1;
                while (end < n && !lineEnd(b[end]))
                    ++end;
                addCsvField(fields, b + i + 1, end - i - 1,
                            std::string_view(b + i + 1, end - i - 1).find("\"\"") != std::string_view::npos);
            }
            if (d == 0 && end < n && !lineEnd(b[end])) {
                // a byte 0 after the closing quote, with no delimiter: the
                // rest of the line belongs to the field
                const size_t from = end;
                while (end < n && !lineEnd(b[end]))
                    ++end;
                extendLastCsvField(fields, b + from, end - from);
            }
        } else {
            if (d == 0) {
                while (end < n && !lineEnd(b[end]))
                    ++end;
            } else {
                while (end < n && b[end] != d && !lineEnd(b[end]))
                    ++end;
            }
            fields.texts.emplace_back(b + i, end - i);
        }
        if (end < n && d != 0 && b[end] == d) {
            i = end + 1;
            continue;
        }
        pos = end < n ? end + (b[end] == '\r' && end + 1 < n && b[end + 1] == '\n' ? 2 : 1) : n;
        break;
    }
    for (size_t k = 0; k < fields.stored.size(); ++k) {
        const size_t from = fields.stored[k].second;
        const size_t to = k + 1 < fields.stored.size() ? fields.stored[k + 1].second : fields.store.size();
        fields.texts[fields.stored[k].first] = std::string_view(fields.store).substr(from, to - from);
    }
    return CsvRecord::Read;
}

// For each candidate, the field count that the most of the first (up to 20)
// non-empty records share, the larger on a tie; the candidate whose count,
// when above one, the most records share wins, ties going to the larger
// count and then to the earlier candidate.
char CsvDelimiter(std::string_view text)
{
    constexpr int kSample = 20;
    char best = ',';
    int bestRecords = 0;
    size_t bestCount = 0;
    CsvFields fields;
    for (const char candidate : {',', ';', '#', '\t', '|'}) {
        const CsvOptions trial{candidate, false};
        std::map<size_t, int> records;  // field count -> records
        size_t at = 0;
        for (int n = 0; n < kSample && SplitCsvRecord(text, at, trial, fields) == CsvRecord::Read;)
            if (fields.texts.size() > 1 || !fields.texts[0].empty()) {
                ++records[fields.texts.size()];
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

void AppendCsvField(std::string& out, std::string_view field, char delimiter, bool quoteAll)
{
    const char* const b = field.data();
    const size_t n = field.size();
    bool quote = quoteAll;
    for (size_t k = 0; k < n && !quote; ++k) {
        const char c = b[k];
        quote = c == '"' || c == '\r' || c == '\n' || (c == delimiter && delimiter != 0);
    }
    if (!quote) {
        out.append(field);
        return;
    }
    out += '"';
    // each quote goes out with the text before it, then once more
    size_t from = 0;
    for (const char* q; (q = static_cast<const char*>(std::memchr(b + from, '"', n - from)));) {
        const size_t at = static_cast<size_t>(q - b) + 1;
        out.append(b + from, at - from);
        out += '"';
        from = at;
    }
    out.append(b + from, n - from);
    out += '"';
}

QString CellText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::Bool:
        return value.toBool() ? "TRUE" : "FALSE";
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return {};
        char buffer[400];
        // the shortest text that reads back as the same number, never with
        // an exponent; whole numbers come without a decimal point
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed);
        if (ec != std::errc())
            return {};
        QString text = QString::fromLatin1(buffer, end - buffer);
        return text == "-0" ? QString("0") : text;
    }
    default:
        return value.toString();
    }
}

Format DetectFormat(const QString& path, const QByteArray& first)
{
    if (first.startsWith("PK\x03\x04"))
        return Format::Xlsx;
    if (first.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return Format::Xls;
    if (path.right(4).compare(".csv", Qt::CaseInsensitive) == 0)
        return Format::Csv;
    return Format::Unknown;
}

bool ReadCsv(const QByteArray& bytes, std::vector<WorkbookSheet>& sheets, QString& error)
{
    std::vector<WorkbookSheet> read;
    CellSink sink(read);
    WorkbookSheet& sheet = sink.newSheet("Sheet1");
    if (!readCsvFields(CsvText(bytes), sink, sheet, error))
        return false;
    sheets = std::move(read);
    return true;
}

bool ReadXlsx(const QString& path, std::vector<WorkbookSheet>& sheets, QString& error)
{
    ZipArchive zip(path);
    if (!zip.isOpen()) {
        error = "not a zip archive";
        return false;
    }
    if (!zip.namesAreUnique(error))
        return false;
    bool present = false;
    QByteArray bytes;

    // the workbook part, named by the package's relationships
    QString workbookPart = "xl/workbook.xml";
    if (!readOptional(zip, "_rels/.rels", bytes, present, error))
        return false;
    if (present) {
        QHash<QString, Relationship> root;
        if (!readRelationships(bytes, QString(), root, error))
            return false;
        for (const Relationship& r : root)
            if (r.type.endsWith(kOfficeDocument) && !r.target.isEmpty())
                workbookPart = r.target;
    }
    bool missing = false;
    WorkbookPart workbook;
    if (!zip.read(workbookPart, bytes, missing, error) || !readWorkbookPart(bytes, workbook, error))
        return false;

    const QString baseDir = directoryOf(workbookPart);
    const QString relsPart = (baseDir.isEmpty() ? QString() : baseDir + "/") + "_rels/" +
                             workbookPart.mid(workbookPart.lastIndexOf('/') + 1) + ".rels";
    QHash<QString, Relationship> rels;
    bool haveRels = false;
    if (!readOptional(zip, relsPart, bytes, haveRels, error) ||
        (haveRels && !readRelationships(bytes, baseDir, rels, error)))
        return false;
    auto partOfType = [&](const QString& type, const char* usual) {
        for (const Relationship& r : rels)
            if (r.type.endsWith(type))
                return r.target;
        return resolvePart(baseDir, usual);
    };

    SheetContext context;
    context.date1904 = workbook.date1904;
    if (!readOptional(zip, partOfType(kSharedStrings, "sharedStrings.xml"), bytes, present, error) ||
        (present && !readSharedStrings(bytes, context.shared, error)))
        return false;
    if (!readOptional(zip, partOfType(kStyles, "styles.xml"), bytes, present, error) ||
        (present && !readStyles(bytes, context.shapes, error)))
        return false;

    // A sheet whose relationship leads to no part is left out; without a
    // relationships part the sheets are taken by their usual names.
    std::vector<WorkbookSheet> read;
    CellSink sink(read);
    QString leftOut;
    for (size_t i = 0; i < workbook.entries.size(); ++i) {
        const QString part = haveRels ? rels.value(workbook.entries[i].id).target
                                      : resolvePart(baseDir, QString("worksheets/sheet%1.xml").arg(i + 1));
        if (!readOptional(zip, part, bytes, present, error))
            return false;
        if (!present) {
            leftOut = "sheet " + workbook.entries[i].name + " has no part";
            continue;
        }
        WorkbookSheet& sheet = sink.newSheet(workbook.entries[i].name);
        sheet.active = static_cast<qsizetype>(i) == workbook.activeTab;
        if (!readSheet(bytes, context, sink, sheet, error))
            return false;
    }
    if (read.empty()) {
        error = leftOut;
        return false;
    }
    sheets = std::move(read);
    error.clear();  // optional parts that were missing are no error
    return true;
}

bool ReadWorkbook(const QString& path, std::vector<WorkbookSheet>& sheets, QString& error)
{
    QFile file(path);
    std::vector<WorkbookSheet> read;
    bool ok = false;
    if (!QFileInfo(path).isFile()) {
        error = "not a regular file";
    } else if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
    } else if (file.size() > kMaxFileBytes) {
        error = "the file is too large";
    } else {
        const QByteArray first = file.peek(8);
        switch (DetectFormat(path, first)) {
        case Format::Xlsx:
            ok = ReadXlsx(path, read, error);
            break;
        case Format::Xls:
            ok = ReadXls(path, read, error);
            break;
        case Format::Csv: {
            const QByteArray bytes = file.readAll();
            if (bytes.size() != file.size())
                error = file.errorString();
            else
                ok = ReadCsv(bytes, read, error);
            break;
        }
        case Format::Unknown:
            error = "not a spreadsheet file";
            break;
        }
    }
    if (!ok || read.empty()) {
        if (error.isEmpty())
            error = "the workbook holds no sheet";
        return false;
    }
    sheets = std::move(read);
    return true;
}

bool WriteWorkbook(const QString& path, const std::vector<WorkbookSheet>& sheets, int active, QByteArray& bytes,
                   QString& error)
{
    if (path.right(4).compare(".csv", Qt::CaseInsensitive) != 0)
        return WriteXlsx(sheets, bytes, error);
    if (active < 0 || active >= static_cast<int>(sheets.size())) {
        error = "no sheet to write";
        return false;
    }
    bytes = WriteCsv(sheets[static_cast<size_t>(active)]);
    return true;
}

QByteArray WriteCsv(const WorkbookSheet& sheet)
{
    int rows = 0, columns = 0;
    for (const auto& [at, value] : sheet.cells) {
        rows = std::max(rows, at.first);
        columns = std::max(columns, at.second);
    }
    std::string out;
    auto cell = sheet.cells.begin();
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= columns; ++c) {
            if (c > 1)
                out += ',';
            if (cell != sheet.cells.end() && cell->first == std::make_pair(r, c)) {
                const QByteArray text = CellText(cell->second).toUtf8();
                AppendCsvField(out, std::string_view(text.constData(), static_cast<size_t>(text.size())), ',');
                ++cell;
            }
        }
        out += "\r\n";
    }
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

bool WriteXlsx(const std::vector<WorkbookSheet>& sheets, QByteArray& bytes, QString& error)
{
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        error = "no temporary folder: " + scratch.errorString();
        return false;
    }
    const QByteArray path = QFile::encodeName(scratch.filePath("book.xlsx"));
    lxw_workbook_options options = {};
    options.constant_memory = LXW_FALSE;
    const QByteArray tmp = QFile::encodeName(scratch.path());
    options.tmpdir = const_cast<char*>(tmp.constData());
    lxw_workbook* wb = workbook_new_opt(path.constData(), &options);
    if (!wb) {
        error = "cannot start a workbook";
        return false;
    }
    std::unique_ptr<lxw_workbook, WorkbookCloser> book(wb);
    for (const WorkbookSheet& sheet : sheets) {
        const QByteArray name = sheet.name.toUtf8();
        lxw_worksheet* ws = nullptr;
        if (!name.isEmpty() && workbook_validate_sheet_name(wb, name.constData()) == LXW_NO_ERROR)
            ws = workbook_add_worksheet(wb, name.constData());
        if (!ws)
            ws = workbook_add_worksheet(wb, nullptr);
        if (!ws) {
            error = "cannot add a sheet";
            return false;
        }
        for (const auto& [at, value] : sheet.cells) {
            const lxw_row_t r = static_cast<lxw_row_t>(at.first - 1);
            const lxw_col_t c = static_cast<lxw_col_t>(at.second - 1);
            lxw_error e = LXW_NO_ERROR;
            if (value.typeId() == QMetaType::Double) {
                const double d = value.toDouble();
                if (!std::isfinite(d)) {
                    error = "a cell holds no finite number";
                    return false;
                }
                e = worksheet_write_number(ws, r, c, d, nullptr);
            } else if (value.typeId() == QMetaType::Bool) {
                e = worksheet_write_boolean(ws, r, c, value.toBool(), nullptr);
            } else {
                e = worksheet_write_string(ws, r, c, escapeLookalikes(value.toString()).toUtf8().constData(),
                                           nullptr);
            }
            if (e != LXW_NO_ERROR) {
                error = QString("cell (row %1, column %2): %3").arg(at.first).arg(at.second).arg(lxwError(e));
                return false;
            }
        }
    }
    const lxw_error closed = workbook_close(book.release());
    if (closed != LXW_NO_ERROR) {
        error = lxwError(closed);
        return false;
    }
    QFile written(scratch.filePath("book.xlsx"));
    if (!written.open(QIODevice::ReadOnly)) {
        error = written.errorString();
        return false;
    }
    bytes = written.readAll();
    if (bytes.size() != written.size()) {
        error = written.errorString();
        return false;
    }
    return true;
}

} // namespace workbookfiles
