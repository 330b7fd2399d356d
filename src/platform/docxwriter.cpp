#include "platform/docxwriter.h"
#include "platform/wholefile.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <limits>

#include <minizip/zip.h>

namespace docx {

namespace {

// Text fit for an XML text node: markup characters escaped, tabs as
// <w:tab/> (closing and reopening the text element), characters XML cannot
// carry (controls, lone surrogates, U+FFFE, U+FFFF) left out.
void appendText(QString& out, const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (u == u'\t') {
            out += u"</w:t><w:tab/><w:t xml:space=\"preserve\">";
        } else if (u < 0x20 || c.isSurrogate() || u == 0xFFFE || u == 0xFFFF) {
            continue;
        } else if (u == u'&') {
            out += u"&amp;";
        } else if (u == u'<') {
            out += u"&lt;";
        } else if (u == u'>') {
            out += u"&gt;";
        } else {
            out += c;
        }
    }
}

// The width that Word gives the text of an A4 page with 2.54 cm margins, in
// twentieths of a point.
constexpr int kTextWidth = 9026;

QByteArray documentPart(const std::vector<std::vector<TableCell>>& rows, int columns)
{
    QString xml;
    xml += u"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           u"<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
           u"<w:tbl><w:tblPr><w:tblW w:w=\"5000\" w:type=\"pct\"/><w:tblBorders>";
    for (const char16_t* side : {u"top", u"left", u"bottom", u"right", u"insideH", u"insideV"})
        xml += QStringLiteral("<w:%1 w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"auto\"/>")
                   .arg(QStringView(side));
    xml += u"</w:tblBorders><w:tblLook w:val=\"0000\"/></w:tblPr><w:tblGrid>";
    const QString gridCol = QStringLiteral("<w:gridCol w:w=\"%1\"/>").arg(kTextWidth / std::max(columns, 1));
    for (int c = 0; c < columns; ++c)
        xml += gridCol;
    xml += u"</w:tblGrid>";
    for (const auto& row : rows) {
        xml += u"<w:tr>";
        for (const TableCell& cell : row) {
            xml += u"<w:tc>";
            const QStringList paragraphs = cell.paragraphs.isEmpty() ? QStringList{QString()} : cell.paragraphs;
            for (const QString& p : paragraphs) {
                xml += u"<w:p>";
                if (cell.alignment == Alignment::Right)
                    xml += u"<w:pPr><w:jc w:val=\"right\"/></w:pPr>";
                else if (cell.alignment == Alignment::Center)
                    xml += u"<w:pPr><w:jc w:val=\"center\"/></w:pPr>";
                if (!p.isEmpty()) {
                    xml += u"<w:r><w:t xml:space=\"preserve\">";
                    appendText(xml, p);
                    xml += u"</w:t></w:r>";
                }
                xml += u"</w:p>";
            }
            xml += u"</w:tc>";
        }
        xml += u"</w:tr>";
    }
    // a paragraph must follow a table at the end of the body
    xml += u"</w:tbl><w:p/><w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/>"
           u"<w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\" w:left=\"1440\" w:header=\"708\" "
           u"w:footer=\"708\" w:gutter=\"0\"/></w:sectPr></w:body></w:document>";
    return xml.toUtf8();
}

const char kContentTypes[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "</Types>";

const char kPackageRelationships[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/></Relationships>";

// Writes the parts into a new zip archive at path.
bool writeZip(const QString& path, const std::vector<std::pair<const char*, QByteArray>>& parts, QString& error)
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip) {
        error = "cannot start the package";
        return false;
    }
    zip_fileinfo info = {};
    const QDateTime now = QDateTime::currentDateTime();
    info.tmz_date = {static_cast<unsigned>(now.time().second()), static_cast<unsigned>(now.time().minute()),
                     static_cast<unsigned>(now.time().hour()), static_cast<unsigned>(now.date().day()),
                     static_cast<unsigned>(now.date().month() - 1), static_cast<unsigned>(now.date().year())};
    bool ok = true;
    for (const auto& [name, bytes] : parts) {
        const bool large = bytes.size() >= 0xFFFFFFFFll;
        if (zipOpenNewFileInZip64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6, large) != ZIP_OK) {
            ok = false;
            break;
        }
        for (qsizetype at = 0; ok && at < bytes.size(); at += 1 << 20) {
            const unsigned piece = static_cast<unsigned>(std::min<qsizetype>(bytes.size() - at, 1 << 20));
            ok = zipWriteInFileInZip(zip, bytes.constData() + at, piece) == ZIP_OK;
        }
        if (zipCloseFileInZip(zip) != ZIP_OK || !ok) {
            ok = false;
            break;
        }
    }
    if (zipClose(zip, nullptr) != ZIP_OK || !ok) {
        error = "cannot write the package";
        return false;
    }
    return true;
}

}  // namespace

bool WriteTable(const std::vector<std::vector<TableCell>>& rows, QByteArray& bytes, QString& error)
{
    const size_t columns = rows.empty() ? 0 : rows.front().size();
    const bool ragged = std::any_of(rows.begin(), rows.end(), [&](const auto& row) { return row.size() != columns; });
    if (columns == 0 || ragged) {
        error = "a table needs one or more rows of the same number of cells";
        return false;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        error = "no temporary folder: " + scratch.errorString();
        return false;
    }
    const QString path = scratch.filePath("table.docx");
    if (!writeZip(path,
                  {{"[Content_Types].xml", kContentTypes},
                   {"_rels/.rels", kPackageRelationships},
                   {"word/document.xml", documentPart(rows, static_cast<int>(columns))}},
                  error))
        return false;
    return platform::ReadWholeFile(path, std::numeric_limits<qint64>::max(), bytes, error) ==
           platform::WholeFile::Read;
}

}  // namespace docx
