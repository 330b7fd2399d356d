// The program's wrapper on the engine: the text store, the database's
// remembered directory and object-index look-up, typed insert and seek.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "engine/support_storage.h"
#include "engine/zarvoCursor.h"

using namespace storagetest;
namespace fs = std::filesystem;

namespace {

class Layout {
  public:
    const char* name = nullptr;
    int2 left = 0;

    DB_FIELDS(Layout, DB_FIELD(name), DB_FIELD(left))
};

}  // namespace

DB_TABLE(Layout);

namespace {

std::size_t chunkCount(const zarvoBuffer& buffer)
{
    std::size_t n = 0;
    for (const ZrvBlock* chunk = buffer.chunks(); chunk != nullptr; chunk = chunk->next) {
        n++;
    }
    return n;
}

bool inChunk(const ZrvBlock* chunk, const char* p)
{
    return p >= chunk->data && p < chunk->data + chunk->size;
}

TEST(TextStore, LongTextGetsAChunkOfItsOwn)
{
    zarvoBuffer buffer;
    ASSERT_EQ(chunkCount(buffer), 1u);
    EXPECT_EQ(buffer.chunks()->size, 512u);

    std::string text(600, 'x');
    const char* copy = buffer.put(text.c_str());
    ASSERT_EQ(chunkCount(buffer), 2u);
    const ZrvBlock* second = buffer.chunks()->next;
    EXPECT_EQ(second->size, 602u);
    EXPECT_TRUE(inChunk(second, copy));
    EXPECT_EQ(std::string(copy), text);

    // clear keeps the chunks: the next texts go to the first chunk again, and
    // a long one to the second.
    buffer.clear();
    const char* small = buffer.put("abc");
    EXPECT_EQ(small, buffer.chunks()->data);
    const char* again = buffer.put(text.c_str());
    EXPECT_TRUE(inChunk(second, again));
    EXPECT_EQ(chunkCount(buffer), 2u);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(std::string(again), text);
}

TEST(TextStore, EmptyAndNullGiveTheSharedEmptyText)
{
    zarvoBuffer buffer;
    const char* empty = buffer.put("");
    EXPECT_EQ(buffer.put(static_cast<const char*>(nullptr)), empty);
    EXPECT_STREQ(empty, "");
    zarvoBuffer other;
    EXPECT_EQ(other.put(""), empty);
}

TEST(TextStore, TextsStayIntactWhileTheStoreGrows)
{
    zarvoBuffer buffer;
    std::vector<std::string> texts;
    std::vector<const char*> copies;
    for (int i = 0; i < 300; i++) {
        texts.push_back(std::string(std::size_t(i % 97), char('a' + i % 26)) + std::to_string(i));
        copies.push_back(buffer.put(texts.back().c_str()));
    }
    for (std::size_t i = 0; i < texts.size(); i++) {
        ASSERT_EQ(std::string(copies[i]), texts[i]) << i;
    }
    // Exactly at the end of the first chunk: 510 characters and the NUL
    // would fill all 512 bytes but one; 511 no longer fit.
    zarvoBuffer edge;
    edge.put(std::string(510, 'y'));
    EXPECT_EQ(chunkCount(edge), 1u);
    zarvoBuffer over;
    over.put(std::string(511, 'z'));
    EXPECT_EQ(chunkCount(over), 2u);
}

// Runs a test body in a scratch directory, then returns to the old one.
class DirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        old = fs::current_path();
        fs::current_path(dir.path);
    }
    void TearDown() override { fs::current_path(old); }

    TempDir dir;
    fs::path old;
};

TEST_F(DirectoryTest, FirstOpenRemembersTheDirectory)
{
    zarvoDatabase db;
    EXPECT_EQ(db.getDirectory(), "");
    ASSERT_TRUE(db.open("Quillet"));
    std::string here = fs::current_path().string();
    EXPECT_EQ(db.getDirectory(), here);
    EXPECT_NE(db.getDirectory().back(), '/');
    EXPECT_EQ(db.getName(), "Quillet");
    EXPECT_TRUE(fs::exists(here + "/Quillet.zrv"));
    EXPECT_EQ(db.getNumberOfUsers(), 1u);
    db.close();

    // A second open elsewhere keeps the first directory.
    fs::create_directory("elsewhere");
    fs::current_path("elsewhere");
    ASSERT_TRUE(db.open("Quillet", (here + "/Quillet.zrv").c_str()));
    EXPECT_EQ(db.getDirectory(), here);
    db.close();
    EXPECT_FALSE(fs::exists("Quillet.zrv"));
}

TEST_F(DirectoryTest, LongDirectoryIsRecordedWhole)
{
    std::string path = fs::current_path().string() + "/";
    while (path.size() < 120) {
        path += "d";
    }
    path.resize(120);
    fs::create_directories(path);
    fs::current_path(path);
    zarvoDatabase db;
    ASSERT_TRUE(db.open("Quillet"));
    EXPECT_EQ(db.getDirectory(), path);
    EXPECT_EQ(db.getDirectory().size(), 120u);
    db.close();
}

class WrapperTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(db.open("wrapper", dir.file("wrapper.zrv").c_str())); }
    void TearDown() override { db.close(); }

    dbReference<Layout> add(const char* name, int2 left)
    {
        Layout layout;
        zarvoBuffer texts;
        layout.name = texts.put(name);
        layout.left = left;
        return insert(layout);
    }

    TempDir dir;
    zarvoDatabase db;
};

TEST_F(WrapperTest, SeekFindsAReferenceOrNothing)
{
    dbReference<Layout> a = add("A4", 10);
    dbReference<Layout> b = add("Letter", 20);
    dbReference<Layout> c = add("", 30);
    ASSERT_TRUE(db.commit());

    zarvoCursor<Layout> cursor;
    ASSERT_EQ(cursor.select(), 3u);
    Layout* found = cursor.seek(b);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name, "Letter");
    EXPECT_EQ(found->left, 20);
    EXPECT_EQ(cursor.getPosition(), 1u);

    EXPECT_EQ(cursor.seek(dbReference<Layout>(a.getOid() + 100000)), nullptr);
    EXPECT_EQ(cursor.getOid(), c.getOid());  // left on the last row
    found = cursor.seek(c);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->name, "");
    EXPECT_EQ(cursor.currentId().getOid(), c.getOid());
    ASSERT_TRUE(db.commit());
}

TEST_F(WrapperTest, ObjectIndexEntryTellsLiveFromFree)
{
    dbReference<Layout> a = add("gone", 1);
    ASSERT_TRUE(db.commit());
    EXPECT_EQ(db.getPos(a.getOid()) & (dbFreeHandleMarker | dbInternalObjectMarker), 0u);

    dbCursor<Layout> cursor(dbCursorForUpdate);
    ASSERT_NE(cursor.at(a), nullptr);
    cursor.remove();
    ASSERT_TRUE(db.commit());
    EXPECT_NE(db.getPos(a.getOid()) & dbFreeHandleMarker, 0u);
    EXPECT_EQ(db.getPos(0xFFFFFFF0u), dbFreeHandleMarker);  // beyond the index
}

TEST_F(WrapperTest, UpdateWritesTheRecordBack)
{
    dbReference<Layout> a = add("draft", 5);
    ASSERT_TRUE(db.commit());
    {
        dbCursor<Layout> cursor(dbCursorForUpdate);
        ASSERT_NE(cursor.at(a), nullptr);
        zarvoBuffer texts;
        cursor->name = texts.put(std::string(700, 'n'));
        cursor->left = -3;
        ASSERT_TRUE(cursor.update());
        ASSERT_TRUE(db.commit());
    }
    dbCursor<Layout> check;
    ASSERT_NE(check.at(a), nullptr);
    EXPECT_EQ(std::string(check->name), std::string(700, 'n'));
    EXPECT_EQ(check->left, -3);
    db.commit();
}

TEST(Wrapper, InsertIntoADetachedTableIsRefused)
{
    Layout layout;
    EXPECT_EQ(insert(layout).getOid(), 0u);
    dbCursor<Layout> cursor;
    EXPECT_EQ(cursor.select(), 0u);
}

}  // namespace
