// A new database file has exactly the layout the file format prescribes.
#include <gtest/gtest.h>

#include "engine/support_storage.h"

#include <sys/stat.h>

using namespace storagetest;

namespace {

std::vector<uint8_t> freshFile(const TempDir& dir)
{
    RecordingDatabase db;
    EXPECT_TRUE(db.open("Quillet", dir.file("Quillet.zrv").c_str()));
    db.close();
    EXPECT_TRUE(db.messages.empty());
    return readFile(dir.file("Quillet.zrv"));
}

}  // namespace

TEST(Format, FreshFileWithTheApplicationsParameters)
{
    TempDir dir;
    std::vector<uint8_t> bytes = freshFile(dir);
    ASSERT_EQ(bytes.size(), 1048576u);

    const uint32_t header[18] = {1048576, 0, 0, 1, 4096, 266240, 65536, 65536, 8194,
                                 0, 266240, 4096, 65536, 65536, 8194, 0, 2, 70};
    for (int i = 0; i < 18; i++) {
        EXPECT_EQ(word(bytes, 4 * i), header[i]) << "header word " << i;
    }
    for (size_t i = 72; i < 4096; i++) {
        ASSERT_EQ(bytes[i], 0) << "unused header byte " << i;
    }
    // Both indexes hold the same first 8,194 entries.
    for (size_t base : {size_t(4096), size_t(266240)}) {
        EXPECT_EQ(word(bytes, base + 0), 0x80000000u);
        EXPECT_EQ(word(bytes, base + 4), 536576u);
        EXPECT_EQ(word(bytes, base + 8), 528385u);
        EXPECT_EQ(word(bytes, base + 12), 532481u);
        for (size_t id = 4; id < 8194; id++) {
            ASSERT_EQ(word(bytes, base + 4 * id), 0x80000000u) << "entry " << id << " of index at " << base;
        }
    }
    for (size_t i = 528384; i <= 532575; i++) {
        ASSERT_EQ(bytes[i], 0xFF) << "bitmap byte " << i;
    }
    EXPECT_EQ(checkFile(bytes), "");
}

// The contacts are the user's: a new file is readable by no one else, even
// with a umask that would let everyone read it.
TEST(Format, AFreshFileIsTheOwnersAlone)
{
    TempDir dir;
    const mode_t umaskBefore = ::umask(0);
    freshFile(dir);
    ::umask(umaskBefore);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("Quillet.zrv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Format, MetatableDescribesItself)
{
    TempDir dir;
    std::vector<uint8_t> bytes = freshFile(dir);
    const size_t row = 536576;
    // 48 + 16 x 44 + "Metatable\0" + the sixteen names with their NULs and two
    // empty strings each.
    EXPECT_EQ(word(bytes, row + 0), 985u);
    EXPECT_EQ(word(bytes, row + 4), 0u);
    EXPECT_EQ(word(bytes, row + 8), 0u);
    EXPECT_EQ(word(bytes, row + 12), 10u);   // name count
    EXPECT_EQ(word(bytes, row + 16), 752u);  // name offset
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[row + 752])), "Metatable");
    EXPECT_EQ(word(bytes, row + 20), 16u);
    EXPECT_EQ(word(bytes, row + 24), 48u);
    EXPECT_EQ(word(bytes, row + 28), 48u);  // fixedSize
    EXPECT_EQ(word(bytes, row + 32), 0u);   // nRows
    EXPECT_EQ(word(bytes, row + 36), 5u);   // nColumns
    EXPECT_EQ(word(bytes, row + 40), 0u);
    EXPECT_EQ(word(bytes, row + 44), 0u);

    struct Expected {
        const char* name;
        uint32_t type, offset, size;
    };
    const Expected fields[16] = {
        {"name", 7, 12, 8},          {"fields", 9, 20, 8},          {"fields[]", 19, 0, 44},
        {"fields[].name", 7, 0, 8},  {"fields[].tableName", 7, 8, 8}, {"fields[].inverse", 7, 16, 8},
        {"fields[].type", 3, 24, 4}, {"fields[].offset", 3, 28, 4}, {"fields[].size", 3, 32, 4},
        {"fields[].hashTable", 8, 36, 4}, {"fields[].tTree", 8, 40, 4}, {"fixedSize", 3, 28, 4},
        {"nRows", 3, 32, 4},         {"nColumns", 3, 36, 4},        {"firstRow", 8, 40, 4},
        {"lastRow", 8, 44, 4},
    };
    size_t strings = row + 752 + 10;
    for (int i = 0; i < 16; i++) {
        size_t entry = row + 48 + 44 * size_t(i);
        std::string name = fields[i].name;
        EXPECT_EQ(word(bytes, entry + 0), name.size() + 1) << name;
        EXPECT_EQ(entry + word(bytes, entry + 4), strings) << name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[strings])), name);
        strings += name.size() + 1;
        for (int s = 1; s <= 2; s++) {  // table name and inverse name: ""
            EXPECT_EQ(word(bytes, entry + 8 * s), 1u) << name;
            EXPECT_EQ(entry + word(bytes, entry + 8 * s + 4), strings) << name;
            EXPECT_EQ(bytes[strings], 0);
            strings += 1;
        }
        EXPECT_EQ(word(bytes, entry + 24), fields[i].type) << name;
        EXPECT_EQ(word(bytes, entry + 28), fields[i].offset) << name;
        EXPECT_EQ(word(bytes, entry + 32), fields[i].size) << name;
        EXPECT_EQ(word(bytes, entry + 36), 0u);
        EXPECT_EQ(word(bytes, entry + 40), 0u);
    }
    EXPECT_EQ(strings, row + 985);
}

TEST(Format, ReopenKeepsTheFileAndSmallParametersStillGiveTheMinimumIndex)
{
    TempDir dir;
    std::vector<uint8_t> first = freshFile(dir);
    std::vector<uint8_t> second = freshFile(dir);
    EXPECT_EQ(first, second);

    // An index below 8,194 entries is raised to 9,216 (a multiple of 1,024),
    // and the file to at least 16 bytes per entry, in 524,288-byte steps.
    RecordingDatabase db(dbDatabase::dbAllAccess, 0, appQuantum, 10);
    ASSERT_TRUE(db.open("small", dir.file("small.zrv").c_str()));
    db.close();
    std::vector<uint8_t> bytes = readFile(dir.file("small.zrv"));
    EXPECT_EQ(bytes.size(), 1048576u);
    EXPECT_EQ(word(bytes, 24), 9216u);
    EXPECT_EQ(word(bytes, 20), 4096u + 4 * 9216);
    EXPECT_EQ(checkFile(bytes), "");
}
