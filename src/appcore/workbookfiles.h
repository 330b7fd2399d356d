// The spreadsheet files TZrvExcel reads and writes. Every reader checks each
// size, index and cell address it takes from a file and fails with a reason
// instead of guessing; nothing here throws.
//
// CSV (RFC 4180): UTF-8 text (a leading byte-order mark is skipped), one
// record a line (CR LF, LF or CR), fields separated by ",". A field that
// starts with '"' is quoted: it runs to the next lone '"', a doubled '""'
// inside stands for one quote, and line ends inside belong to the field; after
// the closing quote only a separator or a line end may follow. A quote inside
// an unquoted field is an ordinary character. Every field is read as the text
// written (no number conversion); empty fields are empty cells. A file holds
// one sheet. Written with CR LF line ends, no byte-order mark, fields quoted
// when they hold ',', '"', CR or LF; numbers in TZrvExcel::cellText's form.
//
// XLSX (Office Open XML spreadsheet): a zip archive. xl/workbook.xml lists the
// sheets in order (<sheet name= r:id=>); xl/_rels/workbook.xml.rels maps each
// id to its part, normally xl/worksheets/sheetN.xml; xl/sharedStrings.xml
// holds the shared texts (<si> with <t> runs; phonetic <rPh> runs are not part
// of the text). A sheet part holds <row> elements of <c r="B2" t=...> cells:
// t="s" a shared-text index in <v>, t="str"/"e" a text in <v>, t="inlineStr"
// a text in <is>, t="b" 0 or 1, otherwise a number in <v> (a formula's cached
// value when <f> is present). A cell without r follows the previous one in
// its row. In texts, "_xHHHH_" (four hex digits) stands for that UTF-16 unit:
// control characters such as CR travel so, and "_x005F_" is a literal "_"
// (written before anything that would read as an escape). Written with
// libxlsxwriter.
//
// XLS (BIFF8, Excel 97 and later; read in xlsreader.cpp): a compound
// document. Its 512-byte header gives the sector size (512 or 4096; the
// header fills the first sector, so sector n starts at (n + 1) * size), the
// sectors of the sector table (109 in the header, more along a chain), the
// first directory sector and the mini-stream table; streams of less than the
// header's cutoff (4096) live in 64-byte mini sectors inside the root entry's
// stream. The "Workbook" stream is a sequence of records (type, length, at
// most 8224 bytes of data; CONTINUE records carry on the one before). The
// globals start with BOF (version 0x0600) and hold BOUNDSHEET (where each
// sheet's records start, its kind and name), SST (the shared texts) and
// FILEPASS (encrypted: refused); each worksheet runs from its BOF to EOF with
// LABELSST, LABEL, NUMBER, RK, MULRK, BOOLERR and FORMULA (its cached value,
// a text one in the following STRING record) cells. Texts are a count, a
// flags byte (bit 0: two bytes a character, else one; bit 2: extension
// bytes; bit 3: formatting runs) and the characters; a text split by a
// CONTINUE restarts with a flags byte. Dates are numbers (day counts), as
// they are stored. Chart sheets are skipped.
#pragma once

#include "appcore/zrvexcel.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace workbookfiles {

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

QByteArray WriteCsv(const WorkbookSheet& sheet);
bool WriteXlsx(const std::vector<WorkbookSheet>& sheets, QByteArray& bytes, QString& error);

} // namespace workbookfiles
