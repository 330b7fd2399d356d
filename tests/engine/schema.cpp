// Descriptors: stored layouts computed from the describe lists, the stored
// descriptor rows, scheme load with conversion of changed tables, and dates.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "engine/class.h"
#include "engine/hashtab.h"
#include "engine/support_index.h"
#include "engine/support_storage.h"

using namespace storagetest;

namespace {

// One field of every kind.
struct Every {
    bool flag;
    std::int8_t tiny;
    std::int16_t small;
    std::int32_t medium;
    std::int64_t large;
    float single;
    double dbl;
    const char* text;
    dbReference<Every> self;
    dbArray<std::int8_t> bytes;
    dbDateTime when;
    DB_FIELDS(Every, DB_FIELD(flag), DB_FIELD(tiny), DB_FIELD(small), DB_FIELD(medium), DB_FIELD(large),
              DB_FIELD(single), DB_FIELD(dbl), DB_FIELD(text), DB_FIELD(self), DB_FIELD(bytes),
              DB_KEY(when, dbHashed | dbIndexed))
};

// The settings record of the data model, described in its stored order.
struct Config {
    const char* password;
    std::int16_t version;
    dbDateTime lastBackupDate;
    bool everytime;
    bool everyday;
    std::int8_t lastBackup;
    std::int8_t totalBackup;
    DB_FIELDS(Config, DB_FIELD(version), DB_FIELD(password), DB_KEY(lastBackupDate, dbHashed | dbIndexed),
              DB_FIELD(everytime), DB_FIELD(everyday), DB_FIELD(lastBackup), DB_FIELD(totalBackup))
};

}  // namespace

DB_TABLE(Every);
DB_TABLE(Config);

namespace {

// Versions of one table "Item" for the scheme changes; a descriptor made at
// run time joins the chain until it is destroyed.
struct ItemV1 {
    std::int32_t a;
    const char* s;
    DB_FIELDS(ItemV1, DB_FIELD(a), DB_FIELD(s))
};
struct ItemV2 {  // a field added
    std::int32_t a;
    const char* s;
    std::int32_t added;
    DB_FIELDS(ItemV2, DB_FIELD(a), DB_FIELD(s), DB_FIELD(added))
};
struct ItemV0 {  // s removed
    std::int32_t a;
    DB_FIELDS(ItemV0, DB_FIELD(a))
};
struct ItemS {  // s turned into an integer: not convertible
    std::int32_t a;
    std::int32_t s;
    DB_FIELDS(ItemS, DB_FIELD(a), DB_FIELD(s))
};
struct ItemIndexed {  // V1's layout with a hash index on a
    std::int32_t a;
    const char* s;
    DB_FIELDS(ItemIndexed, DB_KEY(a, dbHashed), DB_FIELD(s))
};

struct Album {  // before: narrow number, text, picture, date (indexed)
    std::int16_t a;
    const char* s;
    dbArray<std::int8_t> pic;
    dbDateTime when;
    DB_FIELDS(Album, DB_FIELD(a), DB_FIELD(s), DB_FIELD(pic), DB_KEY(when, dbHashed | dbIndexed))
};
struct AlbumWider {  // after: a field in front, the number widened
    std::int32_t first;
    std::int64_t a;
    const char* s;
    dbArray<std::int8_t> pic;
    dbDateTime when;
    DB_FIELDS(AlbumWider, DB_FIELD(first), DB_FIELD(a), DB_FIELD(s), DB_FIELD(pic),
              DB_KEY(when, dbHashed | dbIndexed))
};

struct RealRow {
    double x;
    std::int32_t y;
    DB_FIELDS(RealRow, DB_FIELD(x), DB_FIELD(y))
};
struct IntRow {
    std::int32_t x;
    std::int16_t y;
    DB_FIELDS(IntRow, DB_FIELD(x), DB_FIELD(y))
};

// The earlier layouts of two of the tables, declared as a program declares them.
DB_FORMER_LAYOUT(Album, Album);
DB_FORMER_LAYOUT(Number, RealRow);

template <class T>
std::unique_ptr<dbTableDescriptor> describe(const char* name)
{
    return std::make_unique<dbTableDescriptor>(name, nullptr, sizeof(T), alignof(T), &T::dbDescribeComponents);
}

// Declares T's layout as one an earlier release stored table `name` in.
template <class T>
std::unique_ptr<dbFormerLayout> earlier(const char* name)
{
    return std::make_unique<dbFormerLayout>(name, sizeof(T), alignof(T), &T::dbDescribeComponents);
}

// Exposes the scheme load.
class SchemeDatabase : public RecordingDatabase {
  public:
    using dbDatabase::loadScheme;
};

const dbTable* storedTable(dbDatabase& db, const char* name)
{
    dbTableDescriptor* t = db.findTable(name);
    return t != nullptr ? reinterpret_cast<const dbTable*>(db.get(t->tableId)) : nullptr;
}

template <class T>
std::vector<T> fetchAll(dbDatabase& db, dbTableDescriptor* t)
{
    std::vector<T> rows;
    const dbTable* table = reinterpret_cast<const dbTable*>(db.get(t->tableId));
    for (oid_t id = table->firstRow; id != 0; id = db.getRow(id)->next) {
        T rec{};
        EXPECT_TRUE(db.fetchRecord(t, id, &rec));
        rows.push_back(rec);
    }
    return rows;
}

}  // namespace

TEST(Schema, StoredLayoutFollowsStoredSizesNotTheClass)
{
    dbTableDescriptor& t = Every::dbDescriptor;
    struct Expected {
        const char* longName;
        int type;
        int offset;
        std::size_t size;
    };
    const Expected expected[] = {
        {"flag", dbField::tpBool, 12, 1},        {"tiny", dbField::tpInt1, 13, 1},
        {"small", dbField::tpInt2, 14, 2},       {"medium", dbField::tpInt4, 16, 4},
        {"large", dbField::tpInt8, 24, 8},       {"single", dbField::tpReal4, 32, 4},
        {"dbl", dbField::tpReal8, 40, 8},        {"text", dbField::tpString, 48, 8},
        {"self", dbField::tpReference, 56, 4},   {"bytes", dbField::tpArray, 60, 8},
        {"bytes[]", dbField::tpInt1, 0, 1},      {"when", dbField::tpStructure, 68, 4},
        {"when.stamp", dbField::tpInt4, 68, 4},
    };
    std::size_t i = 0;
    for (dbFieldDescriptor* fd = t.firstField; fd != nullptr; fd = fd->nextField, i++) {
        ASSERT_LT(i, std::size(expected));
        EXPECT_STREQ(fd->longName, expected[i].longName);
        EXPECT_EQ(fd->type, expected[i].type) << fd->longName;
        EXPECT_EQ(fd->dbsOffs, expected[i].offset) << fd->longName;
        EXPECT_EQ(fd->dbsSize, expected[i].size) << fd->longName;
    }
    EXPECT_EQ(i, std::size(expected));
    EXPECT_EQ(t.fixedSize, 72u);
    EXPECT_EQ(t.nColumns, 11u);
    EXPECT_EQ(t.find("self")->refTable, &Every::dbDescriptor);
    // The date's stamp carries the field's indexes; its methods follow it.
    dbFieldDescriptor* stamp = t.findLong("when.stamp");
    EXPECT_EQ(t.hashedFields, stamp);
    EXPECT_EQ(t.indexedFields, stamp);
    dbFieldDescriptor* month = t.find("when")->components->find("month");
    ASSERT_NE(month, nullptr);
    EXPECT_EQ(month->appType, dbField::tpMethodInt4);
    EXPECT_EQ(month->dbsOffs, 68);

    // Config as the data model stores it.
    dbTableDescriptor& c = Config::dbDescriptor;
    EXPECT_EQ(c.fixedSize, 32u);
    EXPECT_EQ(c.find("version")->dbsOffs, 12);
    EXPECT_EQ(c.find("password")->dbsOffs, 16);
    EXPECT_EQ(c.find("lastBackupDate")->dbsOffs, 24);
}

TEST(Schema, DescriptorRowsAndTheMetatable)
{
    TempDir dir;
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    const dbTable* config = storedTable(db, "Config");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->fields.size, 8u);
    EXPECT_EQ(config->nColumns, 7);
    EXPECT_EQ(config->hdr.size, 518u);
    EXPECT_EQ(config->fixedSize, 32);
    const char* name = reinterpret_cast<const char*>(config) + config->name.offs;
    EXPECT_STREQ(name, "Config");
    const dbField* stamp = reinterpret_cast<const dbField*>(reinterpret_cast<const byte*>(config) + 48) + 3;
    EXPECT_STREQ(reinterpret_cast<const char*>(stamp) + stamp->name.offs, "lastBackupDate.stamp");
    EXPECT_NE(stamp->hashTable, 0u);
    EXPECT_NE(stamp->tTree, 0u);

    // The Metatable's own row (id 1) is exactly the format's description of
    // itself: sixteen fields, no referenced tables, five columns, fixed size 48.
    struct MetaField {
        const char* name;
        std::int32_t type, offset, size;
    };
    const MetaField meta[] = {
        {"name", 7, 12, 8},           {"fields", 9, 20, 8},          {"fields[]", 19, 0, 44},
        {"fields[].name", 7, 0, 8},   {"fields[].tableName", 7, 8, 8}, {"fields[].inverse", 7, 16, 8},
        {"fields[].type", 3, 24, 4},  {"fields[].offset", 3, 28, 4},  {"fields[].size", 3, 32, 4},
        {"fields[].hashTable", 8, 36, 4}, {"fields[].tTree", 8, 40, 4}, {"fixedSize", 3, 28, 4},
        {"nRows", 3, 32, 4},          {"nColumns", 3, 36, 4},         {"firstRow", 8, 40, 4},
        {"lastRow", 8, 44, 4},
    };
    std::vector<byte> expected(48 + 16 * 44);
    auto append = [&](const char* s) {
        std::size_t at = expected.size();
        expected.insert(expected.end(), s, s + std::strlen(s) + 1);
        return std::uint32_t(at);
    };
    dbTable head{};
    head.name = {10, append("Metatable")};
    head.fields = {16, 48};
    head.fixedSize = 48;
    head.nColumns = 5;
    for (int i = 0; i < 16; i++) {
        std::uint32_t base = 48 + 44 * i;
        dbField f{};
        f.name = {std::uint32_t(std::strlen(meta[i].name) + 1), append(meta[i].name) - base};
        f.tableName = {1, append("") - base};
        f.inverse = {1, append("") - base};
        f.type = meta[i].type;
        f.offset = meta[i].offset;
        f.size = meta[i].size;
        std::memcpy(expected.data() + base, &f, sizeof f);
    }
    head.hdr.size = std::uint32_t(expected.size());
    std::memcpy(expected.data(), &head, sizeof head);
    const dbTable* self = reinterpret_cast<const dbTable*>(db.get(dbMetaTableId));
    ASSERT_EQ(self->hdr.size, expected.size());
    std::vector<byte> stored(reinterpret_cast<const byte*>(self), reinterpret_cast<const byte*>(self) + self->hdr.size);
    // Row links and counts change as tables are added: compare the rest.
    dbTable storedHead;
    std::memcpy(&storedHead, stored.data(), sizeof storedHead);
    storedHead.nRows = 0;
    storedHead.firstRow = storedHead.lastRow = 0;
    std::memcpy(stored.data(), &storedHead, sizeof storedHead);
    EXPECT_EQ(stored, expected);
    db.close();
}

TEST(Schema, AddedFieldConvertsEveryRowAndReadsZero)
{
    TempDir dir;
    std::string path = dir.file("t.zrv");
    {
        auto v1 = describe<ItemV1>("Item");
        RecordingDatabase db;
        ASSERT_TRUE(db.open("t", path.c_str()));
        for (int i = 0; i < 50; i++) {
            std::string s = "row " + std::to_string(i);
            ItemV1 rec{i, s.c_str()};
            dbAnyReference ref;
            ASSERT_TRUE(db.insertRecord(v1.get(), &ref, &rec));
        }
        ASSERT_TRUE(db.commit());
        db.close();
    }
    auto declared = earlier<ItemV1>("Item");
    for (int pass = 0; pass < 2; pass++) {  // the conversion, then a plain reopen
        auto v2 = describe<ItemV2>("Item");
        RecordingDatabase db;
        ASSERT_TRUE(db.open("t", path.c_str()));
        EXPECT_TRUE(db.messages.empty());
        std::vector<ItemV2> rows = fetchAll<ItemV2>(db, v2.get());
        ASSERT_EQ(rows.size(), 50u);
        for (int i = 0; i < 50; i++) {
            EXPECT_EQ(rows[i].a, i);
            EXPECT_EQ(std::string(rows[i].s), "row " + std::to_string(i));
            EXPECT_EQ(rows[i].added, 0);
        }
        EXPECT_EQ(storedTable(db, "Item")->fixedSize, 28);
        db.close();
        EXPECT_EQ(checkFile(readFile(path)), "");
    }
}

TEST(Schema, ConversionMovesTextsArraysAndDatesAndRebuildsIndexes)
{
    TempDir dir;
    std::string path = dir.file("t.zrv");
    {
        auto before = describe<Album>("Album");
        RecordingDatabase db;
        ASSERT_TRUE(db.open("t", path.c_str()));
        for (int i = 0; i < 20; i++) {
            std::string s(std::size_t(i * 13), char('a' + i));
            std::vector<std::int8_t> pic(std::size_t(i * 7), std::int8_t(i));
            Album rec{std::int16_t(-i), s.c_str(), {}, dbDateTime(1000000 + i)};
            rec.pic.setData(pic.data(), pic.size());
            ASSERT_TRUE(db.insertRecord(before.get(), nullptr, &rec));
        }
        db.close();
    }
    auto after = describe<AlbumWider>("Album");
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", path.c_str()));
    std::vector<AlbumWider> rows = fetchAll<AlbumWider>(db, after.get());
    ASSERT_EQ(rows.size(), 20u);
    for (int i = 0; i < 20; i++) {
        EXPECT_EQ(rows[i].first, 0);
        EXPECT_EQ(rows[i].a, -i);
        EXPECT_EQ(std::string(rows[i].s), std::string(std::size_t(i * 13), char('a' + i)));
        ASSERT_EQ(rows[i].pic.length(), std::size_t(i * 7));
        for (std::size_t k = 0; k < rows[i].pic.length(); k++) {
            ASSERT_EQ(rows[i].pic[k], i);
        }
        EXPECT_EQ(rows[i].when.stamp, 1000000 + i);
    }
    // The date's indexes were built again over the converted rows.
    dbFieldDescriptor* stamp = after->findLong("when.stamp");
    std::int32_t key = 1000007;
    std::vector<oid_t> found = indextest::hashFind(db, stamp, &key);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(indextest::treeWalk(db, stamp, true).size(), 20u);
    db.close();
    EXPECT_EQ(checkFile(readFile(path)), "");
}

TEST(Schema, RefusedChangesFailTheOpenAndLeaveTheFile)
{
    TempDir dir;
    std::string path = dir.file("t.zrv");
    {
        auto v1 = describe<ItemV1>("Item");
        RecordingDatabase db;
        ASSERT_TRUE(db.open("t", path.c_str()));
        ItemV1 rec{7, "seven"};
        ASSERT_TRUE(db.insertRecord(v1.get(), nullptr, &rec));
        db.close();
    }
    std::vector<uint8_t> before = readFile(path);
    {
        auto v0 = describe<ItemV0>("Item");  // a field this program does not know
        RecordingDatabase db;
        EXPECT_FALSE(db.open("t", path.c_str()));
        EXPECT_TRUE(db.reported("Incompatible class definition in application"));
    }
    EXPECT_EQ(readFile(path), before);
    // A string turned into a number, and a field added while the stored
    // layout is not declared one the table was stored in: damage.
    using Layout = std::unique_ptr<dbTableDescriptor> (*)(const char*);
    for (Layout layout : {&describe<ItemS>, &describe<ItemV2>}) {
        auto t = layout("Item");
        RecordingDatabase db;
        EXPECT_FALSE(db.open("t", path.c_str()));
        EXPECT_TRUE(db.reported("Incompatible class definition in application"));
        EXPECT_EQ(db.openFailure(), dbDatabase::dbFileNotDatabase);
        EXPECT_EQ(readFile(path), before);
    }
    auto declared = earlier<ItemV1>("Item");
    {
        // A read-only open converts nothing and adds no table.
        auto v2 = describe<ItemV2>("Item");
        RecordingDatabase db(dbDatabase::dbReadOnly);
        EXPECT_FALSE(db.open("t", path.c_str()));
        EXPECT_TRUE(db.reported("Incompatible class definition in application"));
    }
    {
        auto v1 = describe<ItemV1>("Item");
        auto other = describe<ItemV0>("Other");
        RecordingDatabase db(dbDatabase::dbReadOnly);
        EXPECT_FALSE(db.open("t", path.c_str()));
        EXPECT_TRUE(db.reported("New table definition can not be added to read only database"));
    }
    EXPECT_EQ(readFile(path), before);
    {
        // Still good with the original description.
        auto v1 = describe<ItemV1>("Item");
        RecordingDatabase db;
        ASSERT_TRUE(db.open("t", path.c_str()));
        std::vector<ItemV1> rows = fetchAll<ItemV1>(db, v1.get());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_STREQ(rows[0].s, "seven");
        db.close();
    }
}

TEST(Schema, NumbersConvertByValueWithSaturation)
{
    TempDir dir;
    std::string path = dir.file("t.zrv");
    const double values[] = {3.7, -3.7, 1e20, -1e20, std::nan(""), 0.0};
    const std::int32_t ys[] = {5, -5, 70000, -70000, 1, 0};
    {
        auto real = describe<RealRow>("Number");
        RecordingDatabase db;
        ASSERT_TRUE(db.open("t", path.c_str()));
        for (int i = 0; i < 6; i++) {
            RealRow rec{values[i], ys[i]};
            ASSERT_TRUE(db.insertRecord(real.get(), nullptr, &rec));
        }
        db.close();
    }
    auto ints = describe<IntRow>("Number");
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", path.c_str()));
    std::vector<IntRow> rows = fetchAll<IntRow>(db, ints.get());
    ASSERT_EQ(rows.size(), 6u);
    const std::int32_t xs[] = {3, -3, INT_MAX, INT_MIN, 0, 0};
    const std::int16_t shorts[] = {5, -5, SHRT_MAX, SHRT_MIN, 1, 0};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(rows[i].x, xs[i]) << i;
        EXPECT_EQ(rows[i].y, shorts[i]) << i;
    }
    db.close();
}

TEST(Schema, SchemeLoadOfAnAttachingProcessAltersNothing)
{
    TempDir dir;
    auto v1 = describe<ItemV1>("Item");
    SchemeDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    ItemV1 rec{1, "one"};
    ASSERT_TRUE(db.insertRecord(v1.get(), nullptr, &rec));
    ASSERT_TRUE(db.commit());
    EXPECT_TRUE(db.loadScheme(false));  // same layouts: attached as they are
    EXPECT_NE(db.findTable("Item"), nullptr);
    {
        auto v2 = describe<ItemV2>("Item");
        EXPECT_FALSE(db.loadScheme(false));
        EXPECT_TRUE(db.reported("Incompatible class definition in application"));
    }
    {
        auto indexed = describe<ItemIndexed>("Item");
        EXPECT_FALSE(db.loadScheme(false));
        EXPECT_TRUE(db.reported("Failed to alter indices with active applications"));
    }
    v1.reset();
    // The initialising process may add the index; its rows are indexed.
    auto indexed = describe<ItemIndexed>("Item");
    EXPECT_TRUE(db.loadScheme(true));
    oid_t hash = db.findTable("Item")->find("a")->hashTable;
    ASSERT_NE(hash, 0u);
    EXPECT_EQ(reinterpret_cast<const dbHashTable*>(db.get(hash))->used, 2u);
    ASSERT_TRUE(db.commit());
    // Dropping it is refused to an attaching process and done by the
    // initialising one.
    indexed.reset();
    v1 = describe<ItemV1>("Item");
    db.messages.clear();
    EXPECT_FALSE(db.loadScheme(false));
    EXPECT_TRUE(db.reported("Failed to alter indices with active applications"));
    EXPECT_NE(db.get(hash), nullptr);
    EXPECT_TRUE(db.loadScheme(true));
    EXPECT_EQ(db.findTable("Item")->find("a")->hashTable, 0u);
    EXPECT_EQ(db.get(hash), nullptr);
    db.close();
}

TEST(Schema, AnUnchangedTableKeepsItsIndexesAndTheFile)
{
    TempDir dir;
    std::string path = dir.file("t.zrv");
    oid_t hash, tree;
    {
        RecordingDatabase db;
        ASSERT_TRUE(db.open("t", path.c_str()));
        dbFieldDescriptor* stamp = db.findTable("Config")->findLong("lastBackupDate.stamp");
        hash = stamp->hashTable;
        tree = stamp->tTree;
        db.close();
    }
    std::vector<uint8_t> before = readFile(path);
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", path.c_str()));
    dbFieldDescriptor* stamp = db.findTable("Config")->findLong("lastBackupDate.stamp");
    EXPECT_EQ(stamp->hashTable, hash);
    EXPECT_EQ(stamp->tTree, tree);
    db.close();
    EXPECT_EQ(readFile(path), before);
}

namespace {
struct Orphan {  // an inverse field whose target lacks the named field
    dbReference<Every> owner;
    DB_FIELDS(Orphan, DB_RELATION(owner, orphans))
};
struct Misled {  // the target's field exists but names another inverse
    oid_t other;  // refers to Orphan (set below)
    DB_FIELDS(Misled, DB_RELATION(other, owner))
};
}  // namespace

TEST(Schema, InconsistentInverseReferencesAreReportedAndTheOpenGoesOn)
{
    TempDir dir;
    auto orphan = describe<Orphan>("Orphan");
    auto misled = describe<Misled>("Misled");
    misled->find("other")->refTable = orphan.get();
    RecordingDatabase db;
    ASSERT_TRUE(db.open("t", dir.file("t.zrv").c_str()));
    EXPECT_TRUE(db.reported("Failed to locate inverse reference field Every.orphans for field Orphan.owner"));
    EXPECT_TRUE(db.reported("Inverse references for field Misled.other is Orphan.owner, but its inverse reference is orphans"));
    for (int c : db.classes) {
        EXPECT_EQ(c, dbDatabase::InconsistentInverseReference);
    }
    db.close();
}

namespace {
struct Wide {
    const char* name;
    double amount;
    dbArray<std::int8_t> picture;
    std::int8_t flag;
    dbReference<Every> next;
    DB_FIELDS(Wide, DB_FIELD(name), DB_FIELD(amount), DB_FIELD(picture), DB_FIELD(flag), DB_FIELD(next))
};
struct Partial {
    const char* name;
    double undescribed;
    DB_FIELDS(Partial, DB_FIELD(name))
};
}  // namespace

TEST(Schema, DescribedClassesWithPointersAndArraysGiveNoWarning)
{
    testing::internal::CaptureStderr();
    {
        auto wide = describe<Wide>("Wide");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    {
        auto partial = describe<Partial>("Partial");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: may be not all fields of the class 'Partial' were described\n");
}

TEST(Schema, DateAccessorsReadLocalTime)
{
    setenv("TZ", "UTC", 1);
    tzset();
    dbDateTime leap(951782400);
    EXPECT_EQ(leap.year(), 2000);
    EXPECT_EQ(leap.month(), 2);
    EXPECT_EQ(leap.day(), 29);
    EXPECT_EQ(leap.dayOfWeek(), 3);
    EXPECT_EQ(leap.dayOfYear(), 60);
    EXPECT_EQ(leap.hour(), 0);
    dbDateTime late(951782400 + 23 * 3600 + 59 * 60 + 58);
    EXPECT_EQ(late.hour(), 23);
    EXPECT_EQ(late.minute(), 59);
    EXPECT_EQ(late.second(), 58);
    dbDateTime before1970(-86400);
    EXPECT_EQ(before1970.year(), 1969);
    EXPECT_EQ(before1970.dayOfYear(), 365);

    // As query methods, on a stored row.
    byte row[72] = {};
    std::int32_t stamp = 951782400;
    std::memcpy(row + 68, &stamp, 4);
    dbFieldDescriptor* month = Every::dbDescriptor.find("when")->components->find("month");
    std::int32_t result = 0;
    month->method->invoke(row, &result);
    EXPECT_EQ(result, 2);
}
