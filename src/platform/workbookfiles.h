// The spreadsheet files that the application's workbook and the list grid
// read and write. Every reader checks each
// size, index and cell address it takes from a file and fails with a reason
// instead of guessing; nothing here throws.
//
// CSV (RFC 4180): UTF-8 text (a leading byte-order mark is skipped); a file
// that is not valid UTF-8 is Windows-1252 text, as Windows programs write
// it. The first byte 26 ends the text, as it ends a DOS text file. One
// record a line (CR LF, LF or CR), fields separated by the delimiter that
// CsvDelimiter finds in the file (",", ";" or a tab as spreadsheet programs
// write them, or "#" or "|"; the list grid finds its delimiter by the same
// rule). A field that starts with '"' is quoted: it runs to the next lone
// '"', a doubled '""' inside stands for one quote, and line ends inside
// belong to the field; after the closing quote only a separator or a line
// end may follow. A quote inside an unquoted field is an ordinary
// character. Every field is read as the text written (no number
// conversion); empty fields are empty cells. A file holds one sheet. Written with CR LF line ends, no byte-order mark, fields quoted
// when they hold ',', '"', CR or LF; numbers in CellText's form.
// The field routines below (SplitCsvRecord, AppendCsvField) also serve the
// list grid's CSV, with another delimiter and leniently: there a quote that
// is never closed ends its field at the end of its line, and text between a
// closing quote and the next delimiter is dropped.
//
// XLSX (Office Open XML spreadsheet): a zip archive; two entries of one name
// (in any case) make it damaged, and a part that holds a document type
// declaration is refused before it is parsed. xl/workbook.xml lists the
// sheets in order (<sheet name= r:id=>) and the date system (<workbookPr
// date1904=>); xl/_rels/workbook.xml.rels maps each id to its part, normally
// xl/worksheets/sheetN.xml (a sheet whose id leads to no part is left out;
// the file is refused only when no sheet is left); xl/sharedStrings.xml
// holds the shared texts (<si> with <t> runs; phonetic <rPh> runs are not part
// of the text); xl/styles.xml the cell formats (<cellXfs>) and their number
// formats (<numFmts>). A sheet part holds <row> elements of <c r="B2" t=...
// s=...> cells: t="s" a shared-text index in <v>, t="str" a text in <v>,
// t="e" an error value ("#DIV/0!") in <v>, kept as that text and marked,
// t="inlineStr" a text in <is>, t="b" 0 or 1, t="d" an ISO 8601 date (read
// as its serial number; one that is no date the workbook's date system
// counts stays the text written), otherwise a number in <v> (a formula's cached
// value when <f> is present); an empty <v> is an empty cell. s is the cell
// format: a number whose format shows a date or a time arrives as the text
// numberformats.h describes. A cell without r follows the previous one in
// its row. In texts, "_xHHHH_" (four hex digits) stands for that UTF-16 unit:
// control characters such as CR travel so, and "_x005F_" is a literal "_"
// (written before anything that would read as an escape). Written with
// libxlsxwriter. The active sheet is the activeTab (from 0, counted over
// the <sheet> list) of the first <workbookView> in xl/workbook.xml.
//
// XLS (BIFF8, Excel 97 and later; read in xlsreader.cpp): a compound
// document. Its 512-byte header gives the sector size (512 or 4096; the
// header fills the first sector, so sector n starts at (n + 1) * size; a
// file ending inside its last sector reads as if padded with zeros), the
// sectors of the sector table (109 in the header, more along a chain), the
// first directory sector and the mini-stream table; streams of less than the
// header's cutoff (4096) live in 64-byte mini sectors inside the root entry's
// stream. The "Workbook" stream is a sequence of records (type, length, at
// most 8224 bytes of data; CONTINUE records carry on the one before). The
// globals start with BOF (version 0x0600) and hold BOUNDSHEET (where each
// sheet's records start, its kind and name), SST (the shared texts), FORMAT
// and XF (the number formats and the cell formats that name them), DATEMODE
// (1: the 1904 date system) and FILEPASS (encrypted: refused); each
// worksheet runs from its BOF to EOF with LABELSST, LABEL, NUMBER, RK, MULRK,
// BOOLERR and FORMULA (id 0x0006, or 0x0406 from older writers; its cached
// value, a text one in the following STRING record) cells. A chart embedded
// in a worksheet is a substream of its own (a BOF, its records and its EOF)
// and is skipped. Each number cell names its XF; dates and times arrive as
// for .xlsx. An error value (BOOLERR
// with its error flag, or a FORMULA whose cached result is an error) marks
// its cell without giving it a value. WINDOW1 in the globals names the
// selected tab (from 0, counted over all BOUNDSHEET records), the active
// sheet. Texts are a count, a
// flags byte (bit 0: two bytes a character, else one; bit 2: extension
// bytes; bit 3: formatting runs) and the characters; a text split by a
// CONTINUE restarts with a flags byte. Chart sheets are skipped.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One sheet: its name and its non-empty cells keyed (row, column), both from 1.
struct WorkbookSheet {
    QString name;
    std::map<std::pair<int, int>, QVariant> cells;
    // The cells that hold an error value. An .xlsx error cell also keeps its
    // text ("#N/A") in `cells`, as it always has; an .xls one has no value.
    std::set<std::pair<int, int>> errors;
    // Whether the file marks this sheet active; at most one sheet is.
    bool active = false;
    // The delimiter a CSV file was split by (where its numbers do not show
    // their decimal mark, the locale that delimiter goes with tells it); 0
    // for the sheets of other files.
    char csvDelimiter = 0;
};

namespace workbookfiles {

// The largest sheet a reader accepts and a writer addresses.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

// The text of a cell value: texts as they are; numbers in plain decimal
// form with no exponent and no trailing ".0" (12345678 gives "12345678",
// 0.5 gives "0.5"); truth values "TRUE"/"FALSE"; empty for nothing.
QString CellText(const QVariant& value);

// The bytes of a text file before its first byte 26 (all of them when it
// has none): the mark with which DOS programs end a text file.
QByteArray BeforeEndOfFileMark(const QByteArray& bytes);
// The bytes of a CSV file as UTF-8 text: ended by BeforeEndOfFileMark, a
// leading byte-order mark dropped, a file that is not valid UTF-8 read as
// Windows-1252.
QByteArray CsvText(const QByteArray& bytes);

struct CsvOptions {
    char delimiter = ',';
    bool strict = true;  // refuse an unclosed quote and text after a closing quote
};
enum class CsvRecord { Read, End, UnterminatedQuote, TextAfterQuote };
// The fields of one record, with their quotes taken off and doubled quotes
// made single; line ends inside quotes are kept as they are in the file.
// A text points into the bytes split, or, when it differs from them, into
// `store`: it stays valid while the bytes live and until these fields take
// the next record.
struct CsvFields {
    std::vector<std::string_view> texts;
    std::string store;
    std::vector<std::pair<size_t, size_t>> stored;  // (field, offset in store) of the texts kept there
};
// The delimiter a CSV text (already UTF-8) is split by: among ",", ";", "#",
// tab and "|", the one that splits most of the first 20 non-empty records
// (read leniently) into one shared field count above one, ties going to the
// larger count and then to the earlier candidate; "," when none splits them.
char CsvDelimiter(std::string_view text);
// Splits the record at pos in one pass over its bytes and moves pos past its
// line end. A failure leaves pos where the record began and no fields.
CsvRecord SplitCsvRecord(std::string_view text, size_t& pos, const CsvOptions& options, CsvFields& fields);
// Appends one field: quoted, with its quotes doubled, when it holds the
// delimiter, a quote, CR or LF, or when quoteAll is set.
void AppendCsvField(std::string& out, std::string_view field, char delimiter, bool quoteAll = false);

// Largest file, and largest zip part unpacked, that a reader takes.
constexpr qint64 kMaxFileBytes = 256ll * 1024 * 1024;
// Most cells a workbook read from a file may hold.
constexpr qint64 kMaxCells = 5'000'000;

enum class Format { Csv, Xlsx, Xls, Unknown };

// By the first bytes ("PK\3\4": a zip archive, taken as .xlsx; the compound
// document signature: .xls); otherwise .csv when the name ends in ".csv"
// (any case).
Format DetectFormat(const QString& path, const QByteArray& firstBytes);

bool ReadCsv(const QByteArray& bytes, std::vector<WorkbookSheet>& sheets, QString& error);
bool ReadXlsx(const QString& path, std::vector<WorkbookSheet>& sheets, QString& error);
bool ReadXls(const QString& path, std::vector<WorkbookSheet>& sheets, QString& error);

// Reads the file in the format DetectFormat finds (at most kMaxFileBytes);
// false with a reason, and sheets untouched, when it cannot.
bool ReadWorkbook(const QString& path, std::vector<WorkbookSheet>& sheets, QString& error);
// The bytes of a workbook file for `path`: CSV (the active sheet) for a name
// ending in ".csv", else .xlsx. The caller writes them.
bool WriteWorkbook(const QString& path, const std::vector<WorkbookSheet>& sheets, int active, QByteArray& bytes,
                   QString& error);

QByteArray WriteCsv(const WorkbookSheet& sheet);
bool WriteXlsx(const std::vector<WorkbookSheet>& sheets, QByteArray& bytes, QString& error);

} // namespace workbookfiles
