// Damaged records through every reader of keyed records and value forms: each
// either reads or throws StreamReadError, never crashes, hangs or throws
// anything else, and a failed read leaves no half-filled list behind.
#include "printing/pvlegacy.h"
#include "printing/mutate.h"

#include <QImage>
#include <gtest/gtest.h>

#include <functional>

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

}  // namespace
