// A word-processor document holding one table, written as an Office Open
// XML package (.docx) for the list grid. The caller passes the rows, each of
// the same number of cells; the bytes come back for it to write.
//
// The package is a zip archive (written with minizip) of three parts:
// [Content_Types].xml (the main part's content type), _rels/.rels (points
// at the main part) and word/document.xml: <w:document><w:body> with one
// <w:tbl> (table properties: full text width, single borders all round and
// inside; a <w:tblGrid> of equal <w:gridCol> widths) whose <w:tr> rows hold
// <w:tc> cells, each of one or more <w:p> paragraphs with their alignment in
// <w:pPr><w:jc w:val="right"/"center"/> (none for left) and the text in one
// <w:r><w:t xml:space="preserve">; tabs become <w:tab/>, characters XML
// cannot carry are left out. A <w:sectPr> closes the body (A4 portrait,
// 2.54 cm margins).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace docx {

enum class Alignment { Left, Right, Center };

struct TableCell {
    QStringList paragraphs;  // none: one empty paragraph
    Alignment alignment = Alignment::Left;
};

// The .docx bytes of one table; false with a reason when the rows are
// ragged or the package cannot be made.
bool WriteTable(const std::vector<std::vector<TableCell>>& rows, QByteArray& bytes, QString& error);

}  // namespace docx
