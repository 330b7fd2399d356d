// Drawing objects' records in the three document generations, against bytes
// written out by hand from the record layouts.
#include "printing/pvlegacy.h"
#include "printing/pvobjects.h"

#include <gtest/gtest.h>

using namespace printing;

namespace {

#define K10_0 "00 00 00 00 00 00 00 A0 02 40"
#define K10_01 "F6 28 5C 8F C2 F5 28 A0 02 40"
#define K10_02 "EC 51 B8 1E 85 EB 51 A0 02 40"
#define K10_03 "E1 7A 14 AE 47 E1 7A A0 02 40"
#define K10_04 "D7 A3 70 3D 0A D7 A3 A0 02 40"
#define K10_05 "CD CC CC CC CC CC CC A0 02 40"
#define K10_06 "C3 F5 28 5C 8F C2 F5 A0 02 40"
#define K10_07 "B8 1E 85 EB 51 B8 1E A1 02 40"
#define K10_08 "AE 47 E1 7A 14 AE 47 A1 02 40"
#define K10_09 "A4 70 3D 0A D7 A3 70 A1 02 40"
#define K10_1 "9A 99 99 99 99 99 99 A1 02 40"
#define K60_0 "00 00 00 00 00 00 00 F0 04 40"
#define K63_0 "00 00 00 00 00 00 00 FC 04 40"
#define INT(key, value) "E9 03 00 00 " key " " value " "
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
        "E6 01 00 00 " INT(K10_07, "05 00 00 00") INT(K10_08, "06 00 00 00") INT(K10_09, "07 00 00 00")
            INT(K10_1, "08 00 00 00") INT(K10_05, "03 00 00 00") INT(K10_06, "04 00 00 00")
                INT(K10_0, "0A 00 00 00") INT(K10_01, "0A 00 00 00") INT(K10_02, "01 00 00 00")
                    INT(K10_03, "01 00 00 00") INT(K10_04, "02 00 00 00") RED_BRUSH RED_BRUSH THIN_PEN THIN_PEN);
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
              QByteArray::fromHex("0E 01 00 00 " INT(K60_0, "FF FF FF FF") INT(K10_0, "0A 00 00 00")
                                      INT(K10_01, "07 00 00 00") INT(K10_02, "00 00 00 00") INT(K10_03, "00 00 00 00")
                                          INT(K10_04, "00 00 00 00") "EA 03 00 00 " K63_0 " 00 00 00 00 " RED_BRUSH
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
}

}  // namespace
