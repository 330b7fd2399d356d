// The query program's answer read back piece by piece: a sound answer comes
// back whole in any cutting, and damaged ones end in "damaged" or "need
// more", never in a crash, an overlong read or a false end.
#include "platform/queryframes.h"

#include <gtest/gtest.h>

#include <random>

using namespace queryframes;

namespace {

struct Answer {
    QStringList names;
    std::vector<std::vector<Value>> records;
    bool done = false, damaged = false;
};

// Feeds the bytes in pieces of random size and takes the frames as the grid does.
Answer readBack(const QByteArray& bytes, std::mt19937& random)
{
    Answer a;
    Reader reader;
    Frame f;
    for (qsizetype at = 0; at < bytes.size() && !a.damaged;) {
        const qsizetype piece = std::min<qsizetype>(1 + random() % 40, bytes.size() - at);
        reader.feed(bytes.mid(at, piece));
        at += piece;
        for (Reader::Result r; !a.damaged && (r = reader.next(f)) != Reader::NeedMore;) {
            std::vector<Value> values;
            int64_t count = 0;
            const bool ok = r == Reader::Got && !a.done &&
                            (f.kind == Names   ? ReadNames(f.payload, a.names)
                             : f.kind == Count ? ReadCount(f.payload, count)
                             : f.kind == Record ? ReadRecord(f.payload, static_cast<size_t>(a.names.size()), values)
                                                : f.payload.isEmpty() || f.kind == Failure);
            a.damaged = !ok;
            a.done = ok && f.kind == Done;
            if (ok && f.kind == Record)
                a.records.push_back(values);
        }
    }
    return a;
}

}  // namespace

TEST(QueryFrames, SoundAnswersComeBackWholeAndDamagedOnesFailCleanly)
{
    const QStringList names = {"id", "name", QString::fromUtf8("\xe5\x90\x8d")};
    const std::vector<std::vector<Value>> records = {
        {QByteArray("1"), QByteArray("one"), std::nullopt},
        {QByteArray("2"), QByteArray(""), QByteArray("x\0y", 3)},
    };
    QByteArray good = NamesFrame(names) + CountFrame(-1);
    for (const auto& r : records)
        good += RecordFrame(r);
    good += DoneFrame();

    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        const Answer a = readBack(good, random);
        ASSERT_TRUE(a.done && !a.damaged);
        EXPECT_EQ(a.names, names);
        EXPECT_EQ(a.records, records);
    }
    for (int round = 0; round < 5000; ++round) {
        QByteArray bytes = good;
        for (int i = 0, n = 1 + static_cast<int>(random() % 4); i < n; ++i)
            bytes[static_cast<qsizetype>(random() % bytes.size())] = static_cast<char>(random());
        if (round % 3 == 0)
            bytes.truncate(static_cast<qsizetype>(random() % bytes.size()));
        const Answer a = readBack(bytes, random);
        if (round % 3 == 0 && bytes.size() < good.size()) {
            EXPECT_FALSE(a.done) << "a cut answer never ends well";
        }
        for (const auto& r : a.records)
            EXPECT_EQ(r.size(), static_cast<size_t>(a.names.size()));
    }
    // a length beyond the limit is refused before anything is waited for
    Reader reader;
    reader.feed(QByteArray("R\xff\xff\xff\x7f", 5));
    Frame f;
    EXPECT_EQ(reader.next(f), Reader::Damaged);
}
