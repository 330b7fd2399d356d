// Preview documents of all three generations composed byte by byte from the
// format's tables, for the document tests and the reader's damage tests.
#pragma once

#include "printing/bytestream.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstring>

namespace samples {

inline QByteArray Int(std::int32_t v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); }
inline QByteArray Byte(int v) { return QByteArray(1, char(v)); }
inline QByteArray Ext(long double v)
{
    const printing::ExtendedBytes b = printing::EncodeExtended(v);
    return QByteArray(reinterpret_cast<const char*>(b.data()), 10);
}
inline QByteArray Str(const QByteArray& s) { return Int(std::int32_t(s.size())) + s; }
inline QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }

// Heads as the format's tables give them.
inline const QByteArray kHead222 = Hex("7B14AE47E17A148E0040");
inline const QByteArray kHead213 = Hex("EC51B81E85EB51880040");
inline const QByteArray kHead21 = Hex("66666666666666860040");

// Keyed record entries: Int32 tag, 10-byte key, value.
inline QByteArray IntEntry(long double key, std::int32_t v) { return Int(1001) + Ext(key) + Int(v); }
inline QByteArray ExtEntry(long double key, long double v) { return Int(1000) + Ext(key) + Ext(v); }
inline QByteArray StrEntry(long double key, const QByteArray& v) { return Int(1002) + Ext(key) + Str(v); }
inline QByteArray Record(const QByteArray& body) { return Int(std::int32_t(body.size())) + body; }
// Nested records of the current generation.
inline QByteArray PenEntry(long double key, std::int32_t color, std::int32_t style, std::int32_t width)
{
    return Int(1005) + Ext(key) +
           Record(IntEntry(40.0L, color) + IntEntry(40.02L, width) + IntEntry(40.01L, style) + IntEntry(40.03L, 4));
}
inline QByteArray FontEntry(long double key, const QByteArray& name, std::int32_t size, const QByteArray& styles)
{
    return Int(1004) + Ext(key) +
           Record(ExtEntry(30.05L, 0) + IntEntry(30.01L, size) + IntEntry(30.03L, 0) + StrEntry(30.0L, name) +
                  StrEntry(30.02L, styles));
}

// A metafile from another program: bytes that are no picture of ours.
inline const QByteArray kForeignMetafile = QByteArray("\x01\x00\x00\x00 EMF foreign picture bytes", 30);

// The oldest generation: A4 landscape, a header "Left" in Arial 10 bold, and
// two pages: a text object and a line; a rectangle. From 2.09 on a text
// stores its page.
inline QByteArray OldestDocument(const QByteArray& head, bool textHasPage)
{
    const QByteArray font = Str("Arial") + Int(10) + Int(0x0000FF) + Byte(1);
    const QByteArray pen = Int(0x00FF00) + Byte(2) + Int(3);
    const QByteArray brush = Int(0xFFFFFF) + Byte(0);
    QByteArray d = head + Byte(1) + Int(21000) + Int(29700);
    d += Str("Left") + font + pen + Byte(1) + Byte(1);   // header
    d += Str("Foot") + font + pen + Byte(0) + Byte(1);   // footer
    d += Int(2);                                         // pages
    d += Int(2);                                         // page 1: two objects
    d += Int(1) + Int(1000) + Int(2000) + brush + font + Str("Hello");
    if (textHasPage) d += Int(7);
    d += Int(2) + Int(100) + Int(200) + Int(5000) + Int(200) + pen;
    d += Int(1);                                         // page 2: one object
    d += Int(4) + Int(10) + Int(20) + Int(3000) + Int(4000) + brush + pen;
    return d;
}

// The middle generation: page setup Letter portrait, margins, one page with
// a metafile graphic whose picture is inside its record (2.13) or after it (2.12).
inline QByteArray MiddleDocument(const QByteArray& head, bool pictureAfterRecord)
{
    QByteArray d = head;
    d += Record(IntEntry(10.0L, 2) + IntEntry(2.01L, 21590) + IntEntry(2.02L, 27940) + IntEntry(2.03L, 7) +
                IntEntry(2.04L, 0));
    d += Record(IntEntry(10.0L, 3) + IntEntry(3.01L, 1000) + IntEntry(3.02L, 1100) + IntEntry(3.03L, 1200) +
                IntEntry(3.04L, 1300) + IntEntry(3.05L, 1) + IntEntry(40.0L, 0xFF) + IntEntry(40.01L, 0) +
                IntEntry(40.02L, 2));
    d += Record(IntEntry(10.0L, 4) + IntEntry(4.01L, 0x808080) + IntEntry(4.02L, 5) + IntEntry(4.03L, 1));
    d += Record(ExtEntry(5.01L, 45000) + IntEntry(10.0L, 5) + IntEntry(5.02L, 1));
    d += Record(IntEntry(10.0L, 1));
    const QByteArray metafileAsText = Int(std::int32_t(kForeignMetafile.size())) + kForeignMetafile;
    QByteArray graphic = IntEntry(10.05L, 500) + IntEntry(10.06L, 600) + IntEntry(10.5L, 0) + IntEntry(10.0L, 10) +
                         IntEntry(10.01L, 9) + IntEntry(10.02L, 1) + IntEntry(10.03L, 50) + IntEntry(10.04L, 60);
    if (!pictureAfterRecord) graphic += StrEntry(71.0L, metafileAsText);
    d += Record(graphic);
    if (pictureAfterRecord) d += metafileAsText;
    d += Record(IntEntry(10.03L, 5) + IntEntry(10.04L, 6) + IntEntry(10.05L, 700) + IntEntry(10.06L, 800) +
                IntEntry(10.0L, 10) + IntEntry(10.01L, 4));
    return d;
}

// The current generation: page setup, margins, shadow, information, header,
// footer, two pages: a text object, and a foreign metafile graphic.
inline QByteArray CaptionText(const QByteArray& text)
{
    return Record(StrEntry(50.0L, text) + FontEntry(1004.0L, "Arial", 14, "B"));
}
inline QByteArray CurrentDocument()
{
    QByteArray d = kHead222;
    d += Record(IntEntry(10.0L, 2) + IntEntry(2.01L, 14800) + IntEntry(2.02L, 21000) + IntEntry(2.03L, 2) +
                IntEntry(2.04L, 0));
    d += Record(IntEntry(10.0L, 3) + IntEntry(3.01L, 500) + IntEntry(3.02L, 600) + IntEntry(3.03L, 700) +
                IntEntry(3.04L, 800) + IntEntry(3.05L, 1) + IntEntry(3.06L, 0) + PenEntry(3.07L, 0xFF, 0, 1) +
                PenEntry(3.08L, 0xFF00, 2, 1));
    d += Record(IntEntry(10.0L, 4) + IntEntry(4.01L, 0x404040) + IntEntry(4.02L, 4) + IntEntry(4.03L, 1));
    d += Record(ExtEntry(5.01L, 45000) + IntEntry(10.0L, 5) + IntEntry(5.02L, 2));
    d += Record(IntEntry(10.0L, 6) + IntEntry(6.03L, 1) + IntEntry(6.04L, 1) + StrEntry(50.01L, CaptionText("L")) +
                StrEntry(50.02L, CaptionText("Page {PAGE}")) + StrEntry(50.03L, CaptionText("R")) +
                PenEntry(1005.0L, 0, 0, 1));
    d += Record(IntEntry(10.0L, 7) + IntEntry(7.03L, 0) + IntEntry(7.04L, 1) + StrEntry(50.01L, CaptionText("")) +
                StrEntry(50.02L, CaptionText("Foot")) + StrEntry(50.03L, CaptionText("")) +
                PenEntry(1005.0L, 0, 0, 1));
    d += Record(IntEntry(10.0L, 1));
    d += Record(IntEntry(10.0L, 10) + IntEntry(10.01L, 1) + IntEntry(10.02L, 1) + IntEntry(10.03L, 1000) +
                IntEntry(10.04L, 1500) + StrEntry(50.0L, "Hello") + FontEntry(1004.0L, "Arial", 12, "I"));
    d += Record(IntEntry(10.0L, 1));
    d += Record(IntEntry(10.05L, 900) + IntEntry(10.06L, 900) + IntEntry(10.5L, 0) + IntEntry(72.0L, 0) +
                IntEntry(10.0L, 10) + IntEntry(10.01L, 9) + IntEntry(10.02L, 2) + IntEntry(10.03L, 100) +
                IntEntry(10.04L, 100) +
                StrEntry(71.0L, Int(std::int32_t(kForeignMetafile.size())) + kForeignMetafile));
    return d;
}

}  // namespace samples
