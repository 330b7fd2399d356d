// A reader and a writer of the rich-text (RTF) subset that grid cells hold: character
// formatting (\b \i \ul \strike \fs \f \cf \highlight \cb \super \sub
// \plain), paragraphs and alignment (\par \line \tab \pard \ql \qr \qc \qj),
// the font and colour tables, characters written as \'hh (Windows-1252) or
// \uN (with \ucN), and the escaped \\ \{ \}. Groups that only carry data
// (\*, \info, \stylesheet, \pict, ...) are skipped. Everything else is ignored.
//
// Cell text is user data: the reader never reads past the text, keeps the
// group depth bounded, and turns unbalanced braces or a truncated text into
// whatever was read up to there.
//
// The writer puts out only this subset: "{\rtf1\ansi\deff0\uc0", a font table
// of the faces used ({\f0 Face;}...), a colour table ("{\colortbl ;" then
// \redR\greenG\blueB; per colour), then per paragraph \pard with \ql \qr
// \qc or \qj, each run of equal formatting as a group
// "{\f \fs \b \i \ul \strike \cf \highlight \super|\sub <text>}" (only
// what differs from the default font), \par between paragraphs, \line and
// \tab inside them, "\\" "\{" "\}" escaped and every character outside
// ASCII as \uN, N a signed 16-bit unit (a surrogate pair beyond the BMP).
// The reader joins such pairs and takes a single \uN above 65535 (as older
// texts hold) as that code point.
#pragma once

#include "platform/canvas.h"

#include <string>

class QTextDocument;

namespace grid {

// Fills Doc with the text and formatting of Rtf; characters without a font
// or size of their own take DefaultFont.
void RTFToDocument(const std::string& Rtf, QTextDocument& Doc, const platform::Font& DefaultFont, int Dpi = 96);
// The plain text of Rtf (paragraphs separated by CR LF), UTF-8.
std::string RTFPlainText(const std::string& Rtf);
// Doc as RTF of the subset above; formatting equal to DefaultFont is left out.
std::string DocumentToRTF(const QTextDocument& Doc, const platform::Font& DefaultFont, int Dpi = 96);

}  // namespace grid
