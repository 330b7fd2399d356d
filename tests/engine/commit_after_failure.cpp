// A change that fails (an insert, an update, a removal, a change of an
// indexed key) fails its whole transaction: every later change fails, commit
// returns false, and the file keeps its last commit.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "engine/hashtab.h"
#include "engine/support_storage.h"
#include "engine/zarvoCursor.h"

using namespace storagetest;

namespace {

struct Keyed {
    std::int32_t key;
    const char* text;
    DB_FIELDS(Keyed, DB_KEY(key, dbHashed), DB_FIELD(text))
};

struct Note {
    const char* text;
    DB_FIELDS(Note, DB_FIELD(text))
};

}  // namespace

DB_TABLE(Keyed);
DB_TABLE(Note);

namespace {

enum Damage { DamagedIndex, DamagedRow };

// Ten keyed rows, committed and closed; then the damage is written into the
// closed file: the hash index's bucket count becomes 0, or the text of row 3
// points outside its row.
std::vector<uint8_t> damagedFile(const std::string& path, Damage damage)
{
    size_t at = 0;
    uint32_t value = 0;
    {
        RecordingDatabase db;
        EXPECT_TRUE(db.open("t", path.c_str()));
        std::vector<oid_t> rows;
        for (std::int32_t i = 0; i < 10; i++) {
            Keyed k{i, "row"};
            rows.push_back(insert(k).getOid());
        }
        EXPECT_TRUE(db.commit());
        oid_t hashId = Keyed::dbDescriptor.find("key")->hashTable;
        if (damage == DamagedIndex) {
            at = db.getPos(hashId) & ~dbInternalObjectMarker;  // dbHashTable::size
        } else {
            at = db.getPos(rows[3]) + Keyed::dbDescriptor.find("text")->dbsOffs + 4;  // the text's offset
            value = 0x10000;
        }
        db.close();
    }
    std::vector<uint8_t> bytes = readFile(path);
    std::memcpy(bytes.data() + at, &value, 4);
    writeFile(path, bytes);
    return bytes;
}

struct Case {
    const char* name;
    Damage damage;
    std::function<bool()> change;  // false: the change failed
};

bool updateRow3(bool newKey)
{
    dbCursor<Keyed> c(dbCursorForUpdate);  // the fourth row, found without the index
    EXPECT_EQ(c.select(), 10u);
    for (int i = 0; i < 3; i++) {
        EXPECT_NE(c.next(), nullptr);
    }
    c->key = newKey ? 33 : 3;
    c->text = "changed";
    return c.update();
}

}  // namespace

TEST(CommitAfterFailure, AFailedChangeFailsTheCommitAndKeepsTheLastOne)
{
    const Case cases[] = {
        {"insert", DamagedIndex, [] { Keyed k{99, "new"}; return insert(k).getOid() != 0; }},
        {"update", DamagedRow, [] { return updateRow3(false); }},
        {"remove", DamagedIndex,
         [] {
             dbCursor<Keyed> c(dbCursorForUpdate);
             c.select();
             c.remove();
             return !Keyed::dbDescriptor.db->transactionFailed();
         }},
        {"index change", DamagedIndex, [] { return updateRow3(true); }},
    };
    for (const Case& test : cases) {
        for (bool changedBefore : {true, false}) {
            SCOPED_TRACE(std::string(test.name) + (changedBefore ? " after a change" : " as the first change"));
            TempDir dir;
            std::string path = dir.file("t.zrv");
            const std::vector<uint8_t> before = damagedFile(path, test.damage);
            RecordingDatabase db;
            ASSERT_TRUE(db.open("t", path.c_str()));
            if (changedBefore) {
                Note n{"kept only if committed"};
                ASSERT_NE(insert(n).getOid(), 0u);
            }
            EXPECT_FALSE(test.change());
            EXPECT_TRUE(db.transactionFailed());
            EXPECT_FALSE(db.messages.empty());
            Note later{"after the failure"};
            EXPECT_EQ(insert(later).getOid(), 0u) << "changes after a failure fail";
            EXPECT_FALSE(db.commit());
            EXPECT_EQ(committedRecords(readFile(path)), committedRecords(before));
            // The next transaction starts afresh.
            Note next{"next transaction"};
            EXPECT_NE(insert(next).getOid(), 0u);
            EXPECT_TRUE(db.commit());
            dbCursor<Note> notes;
            EXPECT_EQ(notes.select(), 1u);
            db.close();
        }
    }
}
