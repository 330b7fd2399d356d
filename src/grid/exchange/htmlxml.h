// The grid's cells as an HTML table and as a flat XML document (export only).
//
// HTML: the prefix line, "<table border=.. cellspacing=.. cellpadding=..
// Width=..%" (then the table style text between blanks) ">", with
// IncludeFixed and fixed rows a header row of bold cells on the fixed colour
// (with the column widths as WIDTH), then one "<tr>" line, a line per cell
// and "</tr>" per row, "</table><p>" and the suffix line. Merged ranges give
// COLSPAN and ROWSPAN on their base cell and nothing for the covered cells;
// cells carry their colours and font styles. Plain texts have "&", "<" and
// ">" escaped; HTML cells are written as they are. Line breaks become
// "<br>", an empty cell "<br>". http, https, ftp and mailto addresses
// without blanks or line breaks become links with URLShow, the link target
// quoted with "&", "<", ">" and '"' escaped. The header and footer files are
// copied around the document (AppendFileLines) when they can be read. Lines
// end in CR LF; the document is UTF-8.
//
// XML: <?xml version="1.0"?>, <list>, then per saved row <record> with one
// element per saved column (the field names given, else FIELD0, FIELD1, ...)
// and </record>, then </list>; texts are escaped and characters that XML 1.0
// cannot carry are left out. A list, record or field name that is no XML
// name (or holds a colon) is refused.
#pragma once

#include "grid/exchange/celltable.h"

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

namespace grid::exchange {

// How a cell of the table looks (displayed column). Colours are RGB values
// with red in the low byte; -1 for none.
struct HtmlLook {
    bool Base = true;  // false: covered by a merged range, nothing written
    int ExtraCols = 0, ExtraRows = 0;
    int Align = 0;  // 0 left, 1 right, 2 centred
    long long Background = -1, FontColor = -1;
    bool Bold = false, Italic = false, Underline = false;
};
using HtmlLookFn = std::function<HtmlLook(int Col, int Row)>;

struct HtmlOptions {
    int Border = 1, Spacing = 0, Padding = 0, Width = 100;
    std::string Style, Prefix, Suffix;
    std::vector<int> ColWidths;  // of the written table
    bool SaveColor = true, SaveFonts = true;
    bool IncludeFixed = false, NoWrap = false;
    bool EnableHTML = true, URLShow = false, URLFull = false;
    unsigned FixedColor = 0;  // RGB of the fixed cells
};

// The escaped text of a plain cell: "&", "<" and ">".
std::string HtmlEscaped(const std::string& S);
// A cell's saved text as it goes into the table.
std::string HtmlCellText(const std::string& Raw, const HtmlOptions& O);
// Appends the table's lines to Out.
void WriteHtml(const CellTable& T, const HtmlLookFn& Look, const HtmlOptions& O, QByteArray& Out);
// Appends the lines of a file's bytes, each ended with CR LF.
void AppendFileLines(QByteArray& Out, const QByteArray& Bytes);

// An XML 1.0 name without a colon (a colon would name a namespace).
bool IsXmlName(const QString& Name);
// The document; false (nothing made) when a name is no XML name.
bool WriteXml(const CellTable& T, const CellRange& Range, const QString& ListName, const QString& RecordName,
              const QStringList* FieldNames, QByteArray& Out);

}  // namespace grid::exchange
