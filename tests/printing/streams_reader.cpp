// Damaged records through every reader of keyed records and value forms: each
// either reads or throws StreamReadError, never crashes, hangs or throws
// anything else, and a failed read leaves no half-filled list behind.
#include "printing/mutate.h"
#include "printing/pvlegacy.h"
#include "printing/pvobjects.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>

using namespace printing;

namespace {

struct Reader {
    const char* name;
    QByteArray seed;
    std::function<void(ByteStream&)> read;
};

std::vector<Reader> Readers()
{
    TPvFont font;
    font.Angle = 12.5L;
    font.Name = "Arial";
    font.Size = 9;
    font.Style = PvFsItalic | PvFsStrikeOut;
    const TPvPen pen{0x123456, PvPsDashDot, 4, 4};
    const TPvBrush brush{0x654321, PvBsVertical};

    TPvExtValueList ext;
    ext.AddExtVal(30.05L, 2.5L);
    ext.AddIntVal(10.0L, 10);
    ext.AddIntVal(10.01L, 9);
    ext.AddStrVal(50.0L, "text {PAGE}");
    ext.AddStrVal(63.0L, Pvlegacy::PolyPointsToString({QPoint(1, 2), QPoint(300, -4)}));
    ext.AddPvBrush(1003.0L, brush);
    ext.AddPvFont(1004.0L, font);
    ext.AddPvPen(1005.0L, pen);
    ByteStream extRecord;
    ext.SaveToStream(extRecord);

    TPvValueList middle;
    middle.AddExtVal(5.01L, 40000);
    middle.AddIntVal(10.0L, 10);
    middle.AddPvBrush(brush);
    middle.AddPvFont(font);
    middle.AddPvPen(pen);
    ByteStream middleRecord;
    middle.SaveToStream(middleRecord);

    ByteStream nested;
    TPvExtValueList::FontToStream(nested, font);
    TPvExtValueList::PenToStream(nested, pen);
    TPvExtValueList::BrushToStream(nested, brush);

    ByteStream plain;
    Pvlegacy::FontToStream(plain, font);
    Pvlegacy::PenToStream(plain, pen);
    Pvlegacy::BrushToStream(plain, brush);

    QImage image(5, 3, QImage::Format_RGB32);
    image.fill(Qt::green);
    const QByteArray bmp = Pvlegacy::BitmapToString(image);

    const auto checkedList = [](KeyedValueList& list) {
        return [&list](ByteStream& s) {
            list.AddIntVal(1.0L, 1);
            try {
                list.LoadFromStream(s);
            } catch (const StreamReadError&) {
                EXPECT_EQ(list.GetIntValue(1.0L), 0) << "a failed read leaves the list empty";
                throw;
            }
        };
    };
    static TPvExtValueList extList;
    static TPvValueList middleList;
    return {
        {"current list", extRecord.Bytes(), checkedList(extList)},
        {"middle list", middleRecord.Bytes(), checkedList(middleList)},
        {"nested font, pen, brush", nested.Bytes(),
         [](ByteStream& s) {
             TPvExtValueList::FontFromStream(s);
             TPvExtValueList::PenFromStream(s);
             TPvExtValueList::BrushFromStream(s);
         }},
        {"plain font, pen, brush", plain.Bytes(),
         [](ByteStream& s) {
             TPvFont f;
             TPvPen p;
             TPvBrush b;
             Pvlegacy::FontFromStream(s, f);
             Pvlegacy::PenFromStream(s, p);
             Pvlegacy::BrushFromStream(s, b);
         }},
        {"bitmap", bmp, [](ByteStream& s) { Pvlegacy::BitmapFromStream(s); }},
        {"bitmap text", bmp, [](ByteStream& s) { Pvlegacy::BitmapFromString(s.Bytes()); }},
        {"metafile text", Pvlegacy::MetafileToString("QPIC and more"),
         [](ByteStream& s) { Pvlegacy::MetafileFromString(s.Bytes()); }},
        {"point text", "10,20,-30,40,50,60",
         [](ByteStream& s) { Pvlegacy::PolyPointsFromString(s.Bytes()); }},
    };
}

TEST(StreamReaders, DamagedInputsGiveAValueOrAReadError)
{
    const int rounds = FuzzRounds(10000);
    std::mt19937 rng(20261207);
    for (const Reader& r : Readers()) {
        ByteStream sound(r.seed);
        ASSERT_NO_THROW(r.read(sound)) << r.name << " reads its own sound input";
        int errors = 0;
        for (int i = 0; i < rounds; ++i) {
            ByteStream s(Mutated(r.seed, rng));
            try {
                r.read(s);
                EXPECT_LE(s.Position(), s.Size()) << r.name;
            } catch (const StreamReadError&) {
                ++errors;
            }
        }
        EXPECT_GT(errors, 0) << r.name << ": damage is noticed";
    }
}

// ---- drawing objects ----

using Maker = std::unique_ptr<TPvBaseObject> (*)();
template <typename T> std::unique_ptr<TPvBaseObject> Make()
{
    return std::make_unique<T>();
}
const Maker kEveryClass[] = {
    Make<TPvTextObject>, Make<TPvTextBoxObject>, Make<TPvLineObject>, Make<TPvEllipseShape>,
    Make<TPvRectangleShape>, Make<TPvRoundRectShape>, Make<TPvFillRectShape>, Make<TPvArcShape>,
    Make<TPvChordShape>, Make<TPvPieShape>, Make<TPvPolygonObject>, Make<TPvPolyLineObject>,
    Make<TPvPolyBezierObject>, Make<TPvPolyLineToObject>, Make<TPvPolyBezierToObject>, Make<TPvGraphicObject>,
    Make<TPvMovetoObject>, Make<TPvLinetoObject>, Make<TPvBeginPath>, Make<TPvEndPath>, Make<TPvCloseFigure>,
};

QByteArray Saved(TPvBaseObject& object)
{
    ByteStream s;
    object.SaveToStream(s);
    return s.Bytes();
}

QImage SmallBitmap()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return image;
}

// An object of the class with every field set; a graphic holds a bitmap or a metafile.
void Populate(TPvBaseObject& o, bool bitmap)
{
    o.X = 100;
    o.Y = 200;
    o.Page = 2;
    const TPvPen pen{0x112233, PvPsDash, 3, 4};
    const TPvBrush brush{0x445566, PvBsCross};
    if (auto* t = dynamic_cast<TPvTextObject*>(&o)) {
        t->Text = "page {PAGE}";
        t->Font.Name = "Arial";
        t->Font.Angle = 90;
        t->Brush = brush;
    }
    if (auto* b = dynamic_cast<TPvTextBoxObject*>(&o)) {
        b->SetBounds(100, 200, 900, 700);
        b->Pen = pen;
        b->VertAlignment = gmMiddle;
    }
    if (auto* l = dynamic_cast<TPvLineObject*>(&o)) {
        l->SetBounds(1, 2, 3000, 4000);
        l->Pen = pen;
        l->LineType = PvLineExt;
    }
    if (auto* s = dynamic_cast<TPvSimpleShape*>(&o)) {
        s->SetBounds(10, 20, 3000, 4000);
        s->Brush = brush;
        s->Pen = pen;
    }
    if (auto* r = dynamic_cast<TPvRoundRectShape*>(&o))
        r->CornerWidth = r->CornerHeight = 300;
    if (auto* c = dynamic_cast<TPvComplexShape*>(&o))
        c->SetBounds(10, 20, 3000, 4000, 50, 60, 70, 80);
    if (auto* p = dynamic_cast<TPvPolyBaseObject*>(&o)) {
        p->Points = {QPoint(1, 2), QPoint(300, 400), QPoint(-5, 6), QPoint(7, 8)};
        p->Brush = brush;
        p->Pen = pen;
    }
    if (auto* g = dynamic_cast<TPvGraphicObject*>(&o)) {
        g->SetBounds(0, 0, 1000, 1000);
        g->DrawAsBitmap = true;
        if (bitmap)
            g->SetBitmap(SmallBitmap());
        else
            g->Metafile = QByteArray("QPIC not really");
    }
}

// What the object's reader of the oldest generation expects, with sound values.
QByteArray OldestSeed(TPvBaseObject& o, bool bitmap)
{
    ByteStream s;
    const auto ints = [&](std::initializer_list<std::int32_t> values) {
        for (std::int32_t v : values)
            IntToStream(s, v);
    };
    const TPvPen pen{0x112233, PvPsDash, 3, 4};
    const TPvBrush brush{0x445566, PvBsCross};
    TPvFont font;
    font.Name = "Arial";
    font.Size = 8;
    if (dynamic_cast<TPvTextBoxObject*>(&o)) {
        ints({1, 2, 300, 400});
        Pvlegacy::BrushToStream(s, brush);
        Pvlegacy::FontToStream(s, font);
        Pvlegacy::PenToStream(s, pen);
        StrToStream(s, "box");
        ints({3});
    } else if (dynamic_cast<TPvTextObject*>(&o)) {
        ints({1, 2});
        Pvlegacy::BrushToStream(s, brush);
        Pvlegacy::FontToStream(s, font);
        StrToStream(s, "text");
        ints({3});
    } else if (dynamic_cast<TPvLineObject*>(&o)) {
        ints({1, 2, 300, 400});
        Pvlegacy::PenToStream(s, pen);
    } else if (dynamic_cast<TPvSimpleShape*>(&o)) {
        ints({1, 2, 300, 400});
        if (dynamic_cast<TPvComplexShape*>(&o))
            ints({5, 6, 7, 8});
        Pvlegacy::BrushToStream(s, brush);
        Pvlegacy::PenToStream(s, pen);
    } else if (dynamic_cast<TPvPolygonObject*>(&o) || dynamic_cast<TPvPolyLineObject*>(&o)) {
        ints({3, 1, 2, 30, 40, 5, 6});
        if (dynamic_cast<TPvPolygonObject*>(&o))
            Pvlegacy::BrushToStream(s, brush);
        Pvlegacy::PenToStream(s, pen);
    } else if (dynamic_cast<TPvGraphicObject*>(&o)) {
        ints({1, 2, 300, 400});
        ByteToStream(s, bitmap ? gtBitmap : gtMetafile);
        if (bitmap)
            Pvlegacy::BitmapToStream(s, SmallBitmap());
        else
            Pvlegacy::MetaFileToStream(s, "QPIC or not");
    }
    ints({77});  // whatever follows in the document
    return s.Bytes();
}

// The middle generation's record with every key any object reads.
QByteArray MiddleSeed(bool bitmap)
{
    TPvValueList list;
    for (long double key : {10.0L, 10.01L, 10.02L, 10.03L, 10.04L, 10.05L, 10.06L, 10.07L, 10.08L, 10.09L, 10.1L, 11.0L,
                            51.0L, 51.01L, 60.0L})
        list.AddIntVal(key, 2);
    list.AddIntVal(10.5L, bitmap ? gtBitmap : gtMetafile);
    list.AddStrVal(50.0L, "text");
    list.AddStrVal(63.0L, "1,2,3,4,5,6");
    list.AddStrVal(70.0L, Pvlegacy::BitmapToString(SmallBitmap()));
    list.AddStrVal(71.0L, Pvlegacy::MetafileToString("QPIC"));
    list.AddPvBrush(TPvBrush{0x445566, PvBsCross});
    list.AddPvPen(TPvPen{0x112233, PvPsDash, 3, 4});
    TPvFont font;
    font.Name = "Arial";
    list.AddPvFont(font);
    ByteStream s;
    list.SaveToStream(s);
    return s.Bytes();
}

// What the page renderer and the printing do with an object read from a document.
void DrawAndPrint(const TPvBaseObject& object)
{
    QImage image(120, 120, QImage::Format_RGB32);
    QPainter painter(&image);
    platform::Canvas canvas;
    canvas.Begin(&painter);
    const TPvPageContext page;
    object.Draw(canvas, 96, QPoint(0, 0), page);
    object.Print(canvas, 0.5L, platform::Rect{10, 10, 110, 110}, QPoint(0, 0), 600, page);
    canvas.End();
}

enum class Generation { Current, Middle, Oldest };

// Reads one input into a fresh object; true when it was read. On a read
// error the object must be as it was made.
bool ReadInto(Maker make, Generation generation, const QByteArray& bytes, long double version, bool draw = false)
{
    std::unique_ptr<TPvBaseObject> object = make();
    ByteStream s(bytes);
    try {
        if (generation == Generation::Current) {
            TPvExtValueList list;
            list.LoadFromStream(s);
            object->LoadFromValuesNew(list);
        } else if (generation == Generation::Middle) {
            TPvValueList list;
            list.LoadFromStream(s);
            object->LoadFromValues(list);
            if (auto* g = dynamic_cast<TPvGraphicObject*>(object.get()))
                g->LoadGraphicFromStream(s);  // older documents keep the picture after the record
        } else {
            object->LoadFromStreamOld(s, version);
        }
        Saved(*object);  // whatever was read can be written again
        if (draw)
            DrawAndPrint(*object);
        return true;
    } catch (const StreamReadError&) {
        if (generation != Generation::Middle || !dynamic_cast<TPvGraphicObject*>(object.get())) {
            EXPECT_EQ(Saved(*object), Saved(*make())) << "a failed read left the object changed";
        }
        return false;
    }
}

TEST(ObjectReaders, DamagedRecordsOfEveryClassGiveAnObjectOrAReadError)
{
    const int rounds = FuzzRounds(10000);
    std::mt19937 rng(7);
    for (Maker make : kEveryClass) {
        for (Generation generation : {Generation::Current, Generation::Middle, Generation::Oldest}) {
            for (bool bitmap : {false, true}) {
                std::unique_ptr<TPvBaseObject> sound = make();
                Populate(*sound, bitmap);
                QByteArray seed = generation == Generation::Current  ? Saved(*sound)
                                  : generation == Generation::Middle ? MiddleSeed(bitmap)
                                                                     : OldestSeed(*sound, bitmap);
                if (seed.isEmpty())
                    seed = MiddleSeed(bitmap);  // line-to objects write no record: read another one
                if (generation == Generation::Middle)
                    seed += bitmap ? Pvlegacy::BitmapToString(SmallBitmap()) : Pvlegacy::MetafileToString("QPIC");
                const char* name = typeid(*sound).name();
                ASSERT_TRUE(ReadInto(make, generation, seed, 2.09L)) << name << " reads its sound record";
                int errors = 0;
                for (int i = 0; i < rounds / 2; ++i)
                    errors += !ReadInto(make, generation, Mutated(seed, rng), i % 2 ? 2.09L : 2.08L, i % 8 == 0);
                if (generation != Generation::Oldest || seed.size() > 4) {  // some oldest readers read nothing
                    EXPECT_GT(errors, 0) << name << ": damage is noticed";
                }
            }
        }
    }
}

TEST(ObjectReaders, ValuesAtTheEndsOfTheirRangesDrawAndPrintAtOnce)
{
    TPvLineObject line;  // dashed, across the whole coordinate range
    line.X = line.Y = INT_MIN;
    line.X2 = line.Y2 = INT_MAX;
    line.Pen = TPvPen{0, PvPsDash, 3, 4};
    TPvTextObject text;  // turned by a huge angle, of a huge negative size
    text.Text = "x";
    text.Font.Angle = 1e30L;
    text.Font.Size = INT_MIN;
    TPvRectangleShape box;
    box.X = INT_MIN;
    box.X2 = INT_MAX;
    box.Pen = TPvPen{0, PvPsSolid, INT_MAX, 4};
    for (const TPvBaseObject* o : std::initializer_list<const TPvBaseObject*>{&line, &text, &box})
        DrawAndPrint(*o);
}

}  // namespace
