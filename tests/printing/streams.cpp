// Keyed records, value forms and the drawing objects' records against bytes
// written out by hand from the record formats: keys are the 80-bit nearest
// values of their decimal literals.
#include "printing/pvlegacy.h"
#include "printing/pvobjects.h"

#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace printing;

namespace {

// Keys as stored (10 bytes, little-endian).
#define K10_0 "00 00 00 00 00 00 00 A0 02 40"
#define K10_01 "F6 28 5C 8F C2 F5 28 A0 02 40"
#define K10_02 "EC 51 B8 1E 85 EB 51 A0 02 40"
#define K10_04 "D7 A3 70 3D 0A D7 A3 A0 02 40"
#define K10_05 "CD CC CC CC CC CC CC A0 02 40"
#define K10_06 "C3 F5 28 5C 8F C2 F5 A0 02 40"
#define K10_07 "B8 1E 85 EB 51 B8 1E A1 02 40"
#define K10_08 "AE 47 E1 7A 14 AE 47 A1 02 40"
#define K10_09 "A4 70 3D 0A D7 A3 70 A1 02 40"
#define K10_1 "9A 99 99 99 99 99 99 A1 02 40"
#define K10_03 "E1 7A 14 AE 47 E1 7A A0 02 40"
#define K20_0 "00 00 00 00 00 00 00 A0 03 40"
#define K20_01 "7B 14 AE 47 E1 7A 14 A0 03 40"
#define K30_0 "00 00 00 00 00 00 00 F0 03 40"
#define K30_01 "7B 14 AE 47 E1 7A 14 F0 03 40"
#define K30_02 "F6 28 5C 8F C2 F5 28 F0 03 40"
#define K30_03 "71 3D 0A D7 A3 70 3D F0 03 40"
#define K30_05 "66 66 66 66 66 66 66 F0 03 40"
#define K40_0 "00 00 00 00 00 00 00 A0 04 40"
#define K40_01 "3D 0A D7 A3 70 3D 0A A0 04 40"
#define K40_02 "7B 14 AE 47 E1 7A 14 A0 04 40"
#define K40_03 "B8 1E 85 EB 51 B8 1E A0 04 40"
#define K60_0 "00 00 00 00 00 00 00 F0 04 40"
#define K63_0 "00 00 00 00 00 00 00 FC 04 40"
#define K1003 "00 00 00 00 00 00 C0 FA 08 40"
#define K1004 "00 00 00 00 00 00 00 FB 08 40"
#define K1005 "00 00 00 00 00 00 40 FB 08 40"
#define INT "E9 03 00 00 "
#define EXT "E8 03 00 00 "
#define STR "EA 03 00 00 "
#define INTV(key, value) INT key " " value " "

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(text);
}

template <typename F> QByteArray Written(F write)
{
    ByteStream s;
    write(s);
    return s.Bytes();
}

TPvFont BoldUnderlinedArial()
{
    TPvFont f;
    f.Angle = 1.5L;
    f.Color = 0xFF0000;
    f.Name = "Arial";
    f.Size = 10;
    f.Style = PvFsBold | PvFsUnderline;
    return f;
}

TEST(KeyedRecords, CurrentGenerationBytes)
{
    struct Case {
        const char* what;
        void (*fill)(TPvExtValueList&);
        const char* bytes;
    };
    const Case cases[] = {
        {"integer", [](TPvExtValueList& l) { l.AddIntVal(10.0L, 1); },
         "12 00 00 00 " INT K10_0 " 01 00 00 00"},
        {"grouped by tag", [](TPvExtValueList& l) {
             l.AddStrVal(30.0L, "ab");
             l.AddBoolVal(10.03L, true);
             l.AddExtVal(10.0L, 1.5L);
         },
         "3E 00 00 00 " EXT K10_0 " 00 00 00 00 00 00 00 C0 FF 3F " INT K10_03 " 01 00 00 00 " STR K30_0 " 02 00 00 00 61 62"},
        {"brush", [](TPvExtValueList& l) { l.AddPvBrush(1003.0L, TPvBrush{0x0000FF, PvBsHorizontal}); },
         "36 00 00 00 EB 03 00 00 " K1003 " 24 00 00 00 " INT K20_0 " FF 00 00 00 " INT K20_01 " 02 00 00 00"},
        {"pen", [](TPvExtValueList& l) { l.AddPvPen(1005.0L, TPvPen{0x00FF00, PvPsDash, 3, 4}); },
         "5A 00 00 00 ED 03 00 00 " K1005 " 48 00 00 00 " INT K40_0 " 00 FF 00 00 " INT K40_02 " 03 00 00 00 " INT K40_01
         " 01 00 00 00 " INT K40_03 " 04 00 00 00"},
        {"font", [](TPvExtValueList& l) { l.AddPvFont(1004.0L, BoldUnderlinedArial()); },
         "79 00 00 00 EC 03 00 00 " K1004 " 67 00 00 00 " EXT K30_05 " 00 00 00 00 00 00 00 C0 FF 3F " INT K30_01
         " 0A 00 00 00 " INT K30_03 " 00 00 FF 00 " STR K30_0 " 05 00 00 00 41 72 69 61 6C " STR K30_02
         " 02 00 00 00 42 55"},
    };
    for (const Case& c : cases) {
        TPvExtValueList list;
        c.fill(list);
        ByteStream s;
        list.SaveToStream(s);
        EXPECT_EQ(s.Bytes().toHex(' '), Hex(c.bytes).toHex(' ')) << c.what;

        // The list is empty after saving, and reading gives the values back.
        ByteStream again;
        list.SaveToStream(again);
        EXPECT_EQ(again.Bytes(), Hex("00 00 00 00")) << c.what;
        s.Seek(0);
        list.LoadFromStream(s);
        EXPECT_EQ(s.Remaining(), 0) << c.what;
        ByteStream round;
        TPvExtValueList copy;
        c.fill(copy);
        copy.SaveToStream(round);
        EXPECT_EQ(round.Bytes(), s.Bytes()) << c.what;
    }
}

TEST(KeyedRecords, ReadsValuesAndDefaults)
{
    TPvExtValueList list;
    list.AddPvFont(1004.0L, BoldUnderlinedArial());
    list.AddPvPen(1005.0L, TPvPen{0x00FF00, PvPsDash, 3, 4});
    list.AddPvBrush(1003.0L, TPvBrush{0x0000FF, PvBsHorizontal});
    list.AddIntVal(51.0L, 0x100);  // a Boolean is its low byte
    ByteStream s;
    list.SaveToStream(s);
    s.Seek(0);
    list.LoadFromStream(s);

    TPvFont font;
    font.Charset = 136;
    list.GetPvFont(1004.0L, font);
    TPvFont expected = BoldUnderlinedArial();
    expected.Charset = 0;  // never stored
    EXPECT_EQ(font, expected);
    TPvPen pen;
    list.GetPvPen(1005.0L, pen);
    EXPECT_EQ(pen, (TPvPen{0x00FF00, PvPsDash, 3, 4}));
    TPvBrush brush{7, 1};
    list.GetPvBrush(2003.0L, brush);  // missing: unchanged
    EXPECT_EQ(brush, (TPvBrush{7, 1}));
    EXPECT_FALSE(list.GetBoolValue(51.0L));
    EXPECT_EQ(list.GetIntValueDef(52.0L, -5), -5);

    // Nested records without entries read as the defaults.
    ByteStream empty(Hex("00 00 00 00"));
    EXPECT_EQ(TPvExtValueList::PenFromStream(empty), (TPvPen{0, 0, 1, 4}));
    empty.Seek(0);
    const TPvFont f = TPvExtValueList::FontFromStream(empty);
    EXPECT_EQ(f.Size, 12);
    EXPECT_TRUE(f.Name.isEmpty());
    // A font, pen and brush at their reading defaults come back the same.
    ByteStream d;
    TPvExtValueList::PenToStream(d, TPvPen{0, 0, 1, 4});
    TPvExtValueList::FontToStream(d, f);
    TPvExtValueList::BrushToStream(d, TPvBrush{});
    d.Seek(0);
    EXPECT_EQ(TPvExtValueList::PenFromStream(d), (TPvPen{0, 0, 1, 4}));
    EXPECT_EQ(TPvExtValueList::FontFromStream(d), f);
    EXPECT_EQ(TPvExtValueList::BrushFromStream(d), TPvBrush{});
}

TEST(KeyedRecords, KeysMatchByTheirExactBytes)
{
    // Key 10.03 twice: the first wins.
    ByteStream s(Hex("24 00 00 00 " INT K10_03 " 07 00 00 00 " INT K10_03 " 09 00 00 00"));
    TPvExtValueList list;
    list.LoadFromStream(s);
    EXPECT_EQ(list.GetIntValue(10.03L), 7);
    // 10.03 rounded to a double first is another key.
    EXPECT_EQ(list.GetIntValue(PvKey(static_cast<long double>(10.03))), 0);
}

TEST(KeyedRecords, UntrustedBodies)
{
    struct Case {
        const char* what;
        const char* bytes;
        bool ok;
        std::int32_t intAt10;
        long double extAt10;
    };
    const Case cases[] = {
        {"unknown tag ends the record", "18 00 00 00 " INT K10_0 " 05 00 00 00 63 00 00 00 FF FF", true, 5, 0},
        {"infinity reads as 0", "18 00 00 00 " EXT K10_0 " 00 00 00 00 00 00 00 80 FF 7F", true, 0, 0},
        {"NaN reads as 0", "18 00 00 00 " EXT K10_0 " 01 00 00 00 00 00 00 C0 FF FF", true, 0, 0},
        {"unnormal reads as its value", "18 00 00 00 " EXT K10_0 " 00 00 00 00 00 00 00 40 00 40", true, 0, 1},
        {"body longer than the stream", "13 00 00 00 " INT K10_0 " 05 00 00 00", false, 0, 0},
        {"negative body length", "FF FF FF FF", false, 0, 0},
        {"entry cut short", "10 00 00 00 " INT K10_0 " 05 00", false, 0, 0},
        {"string longer than the body", "16 00 00 00 " STR K10_0 " 09 00 00 00 41 41 41 41", false, 0, 0},
        {"nested record longer than its entry", "14 00 00 00 EB 03 00 00 " K1003 " 10 00 00 00 00 00", false, 0, 0},
        {"trailing bytes that are no tag", "15 00 00 00 " INT K10_0 " 05 00 00 00 E9 03 00", false, 0, 0},
    };
    for (const Case& c : cases) {
        ByteStream s(Hex(c.bytes));
        TPvExtValueList list;
        list.AddIntVal(10.0L, 99);
        if (c.ok) {
            list.LoadFromStream(s);
            EXPECT_EQ(list.GetIntValue(10.0L), c.intAt10) << c.what;
            EXPECT_EQ(list.GetExtValue(10.0L), c.extAt10) << c.what;
            EXPECT_EQ(s.Remaining(), 0) << c.what;
        } else {
            EXPECT_THROW(list.LoadFromStream(s), StreamReadError) << c.what;
            EXPECT_EQ(list.GetIntValue(10.0L), 0) << c.what << ": the list is left empty";
        }
    }
    // Brush, pen and font styles past the last member are held to it.
    ByteStream s(Hex("24 00 00 00 " INT K20_01 " 40 00 00 00 " INT K40_01 " FF FF FF FF"));
    EXPECT_EQ(TPvExtValueList::BrushFromStream(s).Style, PvBsDiagCross);
    s.Seek(0);
    EXPECT_EQ(TPvExtValueList::PenFromStream(s).Style, PvPsSolid);
}

TEST(MiddleGeneration, FlatBrushFontAndPen)
{
    TPvValueList list;
    list.AddPvBrush(TPvBrush{0x0000FF, PvBsCross});
    list.AddPvPen(TPvPen{0x00FF00, PvPsDot, 2, 9});
    list.AddPvFont(BoldUnderlinedArial());
    ByteStream s;
    list.SaveToStream(s);
    // Integers first (20.0, 20.01, 40.0, 40.01, 40.02, 30.01, 30.03), then the strings.
    EXPECT_EQ(s.Bytes().toHex(' '),
              Hex("A9 00 00 00 " INT K20_0 " FF 00 00 00 " INT K20_01 " 06 00 00 00 " INT K40_0 " 00 FF 00 00 " INT K40_01
                  " 02 00 00 00 " INT K40_02 " 02 00 00 00 " INT K30_01 " 0A 00 00 00 " INT K30_03 " 00 00 FF 00 " STR K30_0
                  " 05 00 00 00 41 72 69 61 6C " STR K30_02 " 02 00 00 00 42 55")
                  .toHex(' '));
    s.Seek(0);
    list.LoadFromStream(s);
    TPvPen pen;
    list.GetPvPen(pen);
    EXPECT_EQ(pen, (TPvPen{0x00FF00, PvPsDot, 2, kPvPenModeCopy}));
    TPvFont font;
    font.Charset = 136;
    font.Angle = 45;
    list.GetPvFont(font);
    TPvFont expected = BoldUnderlinedArial();
    expected.Angle = 0;
    expected.Charset = 136;  // left as it was
    EXPECT_EQ(font, expected);

    // Nested records are not of this generation: their tag ends the record.
    ByteStream nested(Hex("26 00 00 00 " INT K10_0 " 05 00 00 00 EB 03 00 00 " K1003 " 00 00 00 00 FF FF"));
    list.LoadFromStream(nested);
    EXPECT_EQ(list.GetIntValue(10.0L), 5);
    EXPECT_EQ(nested.Remaining(), 0);
}

TEST(OldestGeneration, ValueForms)
{
    const TPvFont font = BoldUnderlinedArial();
    EXPECT_EQ(Written([&](ByteStream& s) { Pvlegacy::FontToStream(s, font); }),
              Hex("05 00 00 00 41 72 69 61 6C 0A 00 00 00 00 00 FF 00 05"));
    EXPECT_EQ(Written([](ByteStream& s) { Pvlegacy::PenToStream(s, TPvPen{0x00FF00, PvPsDot, 2, 9}); }),
              Hex("00 FF 00 00 02 02 00 00 00"));
    EXPECT_EQ(Written([](ByteStream& s) { Pvlegacy::BrushToStream(s, TPvBrush{0x0000FF, PvBsCross}); }),
              Hex("FF 00 00 00 06"));
    EXPECT_EQ(Written([](ByteStream& s) { Pvlegacy::MetaFileToStream(s, "xyz"); }), Hex("03 00 00 00 78 79 7A"));

    ByteStream s(Hex("05 00 00 00 41 72 69 61 6C 0A 00 00 00 00 00 FF 00 F5 "  // font, unknown style bits dropped
                     "00 FF 00 00 63 02 00 00 00"));                              // pen, style held to inside frame
    TPvFont f;
    f.Charset = 2;
    f.Angle = 30;
    Pvlegacy::FontFromStream(s, f);
    TPvFont expected = font;
    expected.Angle = 0;
    expected.Charset = 2;
    EXPECT_EQ(f, expected);
    TPvPen p;
    Pvlegacy::PenFromStream(s, p);
    EXPECT_EQ(p, (TPvPen{0x00FF00, PvPsInsideFrame, 2, kPvPenModeCopy}));

    // A failed read leaves both the value and the stream as they were.
    ByteStream cut(Hex("05 00 00 00 41 72 69 61 6C 0A 00"));
    EXPECT_THROW(Pvlegacy::FontFromStream(cut, f), StreamReadError);
    EXPECT_EQ(cut.Position(), 0);
    EXPECT_EQ(f, expected);
}

TEST(OldestGeneration, TextForms)
{
    EXPECT_EQ(Pvlegacy::PolyPointsToString({QPoint(1, -2), QPoint(30, 4)}), "1,-2,30,4");
    EXPECT_EQ(Pvlegacy::PolyPointsFromString("1,-2, 30,4,7"), (QVector<QPoint>{QPoint(1, -2), QPoint(30, 4)}));
    EXPECT_TRUE(Pvlegacy::PolyPointsFromString("").isEmpty());
    for (const char* bad : {"1,x", "1,,2", "1,2.5", "99999999999,1", ","})
        EXPECT_THROW(Pvlegacy::PolyPointsFromString(bad), StreamReadError) << bad;

    EXPECT_EQ(Pvlegacy::MetafileToString("ab"), Hex("02 00 00 00 61 62"));
    EXPECT_EQ(Pvlegacy::MetafileFromString(Hex("02 00 00 00 61 62")), QByteArray("ab"));
    EXPECT_FALSE(Pvlegacy::MetafileFromString("").has_value());
    EXPECT_FALSE(Pvlegacy::BitmapFromString("").has_value());
    EXPECT_THROW(Pvlegacy::MetafileFromString(Hex("03 00 00 00 61 62")), StreamReadError);

    ByteStream stream(Hex("01 02"));
    Pvlegacy::StringToStream("xy", &stream);
    Pvlegacy::StringToStream("xy", nullptr);
    EXPECT_EQ(Pvlegacy::StreamToString(&stream), QByteArray("xy"));
    EXPECT_EQ(Pvlegacy::StreamToString(nullptr), QByteArray());
}

TEST(OldestGeneration, BitmapsAreBmpFileImages)
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.setPixel(2, 1, qRgb(0, 0, 255));
    ByteStream s;
    Pvlegacy::BitmapToStream(s, image);
    const qint64 size = s.Size();
    IntToStream(s, 77);  // what follows the bitmap in a document
    ASSERT_GE(size, 14);
    EXPECT_EQ(s.Bytes().left(2), "BM");
    EXPECT_EQ(qFromLittleEndian<quint32>(s.Bytes().constData() + 2), quint32(size));

    s.Seek(0);
    const QImage back = Pvlegacy::BitmapFromStream(s);
    EXPECT_EQ(back.size(), image.size());
    EXPECT_EQ(back.pixel(2, 1), qRgb(0, 0, 255));
    EXPECT_EQ(IntFromStream(s), 77);

    // The header's file size must fit in the stream.
    QByteArray cut = s.Bytes().left(size - 1);
    ByteStream c(cut);
    EXPECT_THROW(Pvlegacy::BitmapFromStream(c), StreamReadError);
    EXPECT_EQ(c.Position(), 0);
}

TEST(OldestGeneration, OversizedBitmapIsRefusedBeforeDecoding)
{
    // A 54-byte header claiming 100,000 x 100,000 pixels of 24 bits.
    ByteStream s(Hex("42 4D 36 00 00 00 00 00 00 00 36 00 00 00 28 00 00 00 A0 86 01 00 A0 86 01 00 01 00 18 00 "
                     "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
    ASSERT_EQ(s.Size(), 54);
    EXPECT_THROW(Pvlegacy::BitmapFromStream(s), StreamReadError);
}

// ---- drawing objects ----

// A brush 1003.0 of colour 0000FF, style 0; a pen 1005.0 of colour 0, style 0, width 1, mode 4.
#define RED_BRUSH                                                                                                       \
    "EB 03 00 00 00 00 00 00 00 00 C0 FA 08 40 24 00 00 00 E9 03 00 00 00 00 00 00 00 00 00 A0 03 40 FF 00 00 00 " \
    "E9 03 00 00 7B 14 AE 47 E1 7A 14 A0 03 40 00 00 00 00 "
#define THIN_PEN                                                                                                        \
    "ED 03 00 00 00 00 00 00 00 00 40 FB 08 40 48 00 00 00 E9 03 00 00 00 00 00 00 00 00 00 A0 04 40 00 00 00 00 " \
    "E9 03 00 00 7B 14 AE 47 E1 7A 14 A0 04 40 01 00 00 00 E9 03 00 00 3D 0A D7 A3 70 3D 0A A0 04 40 00 00 00 00 " \
    "E9 03 00 00 B8 1E 85 EB 51 B8 1E A0 04 40 04 00 00 00 "

const TPvBrush kRedBrush{0x0000FF, PvBsSolid};
const TPvPen kThinPen{0, PvPsSolid, 1, 4};

QByteArray Saved(TPvBaseObject& object)
{
    ByteStream s;
    object.SaveToStream(s);
    return s.Bytes();
}

TEST(ObjectRecords, ArcHoldsItsKeysGroupedByTag)
{
    TPvArcShape arc;
    arc.Page = 1;
    arc.SetBounds(1, 2, 3, 4, 5, 6, 7, 8);
    arc.Brush = kRedBrush;
    arc.Pen = kThinPen;
    const QByteArray expected = QByteArray::fromHex(
        "E6 01 00 00 " INTV(K10_07, "05 00 00 00") INTV(K10_08, "06 00 00 00") INTV(K10_09, "07 00 00 00")
            INTV(K10_1, "08 00 00 00") INTV(K10_05, "03 00 00 00") INTV(K10_06, "04 00 00 00")
                INTV(K10_0, "0A 00 00 00") INTV(K10_01, "0A 00 00 00") INTV(K10_02, "01 00 00 00")
                    INTV(K10_03, "01 00 00 00") INTV(K10_04, "02 00 00 00") RED_BRUSH RED_BRUSH THIN_PEN THIN_PEN);
    EXPECT_EQ(Saved(arc).toHex(' '), expected.toHex(' '));

    TPvExtValueList list;
    ByteStream s(expected);
    list.LoadFromStream(s);
    TPvPieShape pie;  // the reader picks the class; the fields are the same
    pie.LoadFromValuesNew(list);
    EXPECT_EQ((std::vector<int>{pie.X, pie.Y, pie.X2, pie.Y2, pie.X3, pie.Y3, pie.X4, pie.Y4, pie.Page}),
              (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 1}));
    EXPECT_EQ(pie.Brush, kRedBrush);
    EXPECT_EQ(pie.Pen, kThinPen);
}

TEST(ObjectRecords, PolygonWithoutPointsAndPathPieces)
{
    TPvPolygonObject polygon;
    polygon.Brush = kRedBrush;
    polygon.Pen = kThinPen;
    EXPECT_EQ(Saved(polygon).toHex(' '),
              QByteArray::fromHex("0E 01 00 00 " INTV(K60_0, "FF FF FF FF") INTV(K10_0, "0A 00 00 00")
                                      INTV(K10_01, "07 00 00 00") INTV(K10_02, "00 00 00 00") INTV(K10_03, "00 00 00 00")
                                          INTV(K10_04, "00 00 00 00") "EA 03 00 00 " K63_0 " 00 00 00 00 " RED_BRUSH
                                              THIN_PEN)
                  .toHex(' '));

    TPvLinetoObject lineTo;
    TPvPolyLineToObject polyLineTo;
    polyLineTo.Points = {QPoint(1, 2), QPoint(3, 4)};
    EXPECT_TRUE(Saved(lineTo).isEmpty());
    EXPECT_TRUE(Saved(polyLineTo).isEmpty());
    TPvMovetoObject moveTo;
    moveTo.PointX = 5;
    EXPECT_EQ(Saved(moveTo).size(), 4 + 5 * 18) << "the base entries only";
}

TEST(ObjectRecords, PointsComeFromTheTextNeverFromTheCount)
{
    TPvExtValueList list;
    list.AddIntVal(60.0L, 1000000);
    list.AddStrVal(63.0L, "10,20,30,40,50");
    list.AddIntVal(10.03L, 7);
    ByteStream s;
    list.SaveToStream(s);
    s.Seek(0);
    list.LoadFromStream(s);
    TPvPolyLineObject line;
    line.LoadFromValuesNew(list);
    EXPECT_EQ(line.Points, (QVector<QPoint>{QPoint(10, 20), QPoint(30, 40)}));
    EXPECT_EQ(line.Page, 1) << "the default page";

    list.Clear();
    list.AddStrVal(63.0L, "10,twenty");
    list.AddIntVal(10.03L, 9);
    s.Clear();
    list.SaveToStream(s);
    s.Seek(0);
    list.LoadFromStream(s);
    EXPECT_THROW(line.LoadFromValuesNew(list), StreamReadError);
    EXPECT_EQ(line.X, 7) << "a damaged record changes nothing";
    EXPECT_EQ(line.Points.size(), 2);
}

TEST(ObjectRecords, TextBoxThroughEveryGeneration)
{
    TPvTextBoxObject box;
    box.Page = 3;
    box.SetBounds(100, 200, 300, 400);
    box.Alignment = 2;
    box.VertAlignment = gmBottom;
    box.Text = "Total {PAGE}";
    box.Font.Name = "Arial";
    box.Font.Size = 11;
    box.Font.Style = PvFsBold;
    box.Brush = kRedBrush;
    box.Pen = kThinPen;
    ByteStream s;
    box.SaveToStream(s);
    s.Seek(0);
    TPvExtValueList list;
    list.LoadFromStream(s);
    TPvTextBoxObject back;
    back.LoadFromValuesNew(list);
    EXPECT_EQ(Saved(back), Saved(box));

    // Middle generation: one flat brush, font and pen; no vertical alignment.
    TPvValueList middle;
    middle.AddIntVal(10.02L, 3);
    middle.AddIntVal(10.05L, 300);
    middle.AddIntVal(51.0L, 9);  // held to centre
    middle.AddIntVal(51.01L, 2);
    middle.AddStrVal(50.0L, "x");
    middle.AddPvFont(box.Font);
    middle.AddPvPen(TPvPen{0xFF, PvPsDot, 2, 0});
    s.Clear();
    middle.SaveToStream(s);
    s.Seek(0);
    middle.LoadFromStream(s);
    TPvTextBoxObject mid;
    mid.LoadFromValues(middle);
    EXPECT_EQ(mid.Alignment, 2);
    EXPECT_EQ(mid.VertAlignment, gmTop);
    EXPECT_EQ(mid.X2, 300);
    EXPECT_EQ(mid.Pen, (TPvPen{0xFF, PvPsDot, 2, kPvPenModeCopy}));
    EXPECT_EQ(mid.Font.Name, "Arial");
    EXPECT_EQ(mid.Text, "x");
}

TEST(ObjectRecords, OldestGeneration)
{
    // Text: X, Y, brush, font, text, then the page from version 2.09 on.
    const QByteArray text = QByteArray::fromHex(
        "0A 00 00 00 14 00 00 00 FF 00 00 00 00 "          // X 10, Y 20, brush
        "05 00 00 00 41 72 69 61 6C 09 00 00 00 00 00 00 00 01 "  // font "Arial" 9 pt bold
        "02 00 00 00 68 69 04 00 00 00");                  // "hi", page 4
    for (const auto& [version, page] : {std::pair{2.08L, 1}, std::pair{2.09L, 4}}) {
        ByteStream s(text);
        TPvTextObject t;
        t.LoadFromStreamOld(s, version);
        EXPECT_EQ(t.Page, page);
        EXPECT_EQ(t.Text, "hi");
        EXPECT_EQ(t.Font.Size, 9);
        EXPECT_EQ(s.Remaining(), version < 2.09L ? 4 : 0);
    }

    // Polygon: point count, points, brush, pen; a count past the bytes is refused.
    ByteStream poly(QByteArray::fromHex("02 00 00 00 01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 "
                                        "FF 00 00 00 00 00 00 00 00 00 01 00 00 00"));
    TPvPolygonObject polygon;
    polygon.LoadFromStreamOld(poly, 2.0L);
    EXPECT_EQ(polygon.Points, (QVector<QPoint>{QPoint(1, 2), QPoint(3, 4)}));
    EXPECT_EQ(polygon.Brush, kRedBrush);
    EXPECT_EQ(polygon.Pen, kThinPen);
    ByteStream huge(QByteArray::fromHex("FF FF FF 7F 01 00 00 00"));
    EXPECT_THROW(polygon.LoadFromStreamOld(huge, 2.0L), StreamReadError);
    EXPECT_EQ(polygon.Points.size(), 2);

    // Graphic: box, type byte, a metafile as Int32 size and bytes.
    ByteStream graphic(QByteArray::fromHex("01 00 00 00 02 00 00 00 03 00 00 00 04 00 00 00 00 03 00 00 00 45 4D 46"));
    TPvGraphicObject g;
    g.LoadFromStreamOld(graphic, 2.0L);
    EXPECT_EQ(g.GraphicType, gtMetafile);
    EXPECT_EQ(g.Metafile, QByteArray("EMF"));
    EXPECT_EQ(g.Y2, 4);
}

TEST(ObjectRecords, ForeignMetafileBytesAreSavedBackUnchanged)
{
    TPvGraphicObject g;
    g.SetBounds(0, 0, 100, 100);
    g.Metafile = QByteArray("\x01\x00\x00\x00 an enhanced metafile", 24);
    const QByteArray first = Saved(g);
    ByteStream s(first);
    TPvExtValueList list;
    list.LoadFromStream(s);
    TPvGraphicObject back;
    back.LoadFromValuesNew(list);
    EXPECT_EQ(back.Metafile, g.Metafile);
    EXPECT_EQ(Saved(back), first);

    // A bitmap comes back as a bitmap.
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    g.SetBitmap(image);
    s = ByteStream(Saved(g));
    list.LoadFromStream(s);
    back.LoadFromValuesNew(list);
    EXPECT_EQ(back.GraphicType, gtBitmap);
    EXPECT_EQ(back.GetBitmap().pixel(3, 3), qRgb(0, 0, 255));

    // A picture recorded in this run is stored as a bitmap of its box at 300
    // pixels per inch, never in Qt's recorded form; a picture read back from
    // a document is never played.
    QPicture picture;
    {
        QPainter p(&picture);
        p.fillRect(QRect(0, 0, 20, 10), Qt::red);
        p.fillRect(QRect(10, 0, 10, 10), Qt::green);
    }
    TPvGraphicObject recorded;
    recorded.SetBounds(0, 0, 2540, 1270);
    recorded.SetMetafile(picture);
    const QByteArray stored = Saved(recorded);
    EXPECT_FALSE(stored.contains("QPIC"));
    s = ByteStream(stored);
    list.LoadFromStream(s);
    back.LoadFromValuesNew(list);
    ASSERT_EQ(back.GraphicType, gtBitmap);
    EXPECT_FALSE(back.Metafile.has_value());
    EXPECT_FALSE(back.GetMetafile().has_value());
    const QImage bitmap = back.GetBitmap();
    EXPECT_EQ(bitmap.size(), QSize(300, 150));
    EXPECT_EQ(bitmap.pixel(10, 75), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap.pixel(290, 75), qRgb(0, 255, 0));
    EXPECT_EQ(recorded.GraphicType, gtMetafile) << "the object itself keeps its picture";
}

}  // namespace
