// Shared by the query execution tests: a record class with a field of every
// kind the query language reaches, and a fixture with an open scratch
// database that records every error report.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/select.h"
#include "engine/support_storage.h"
#include "engine/zarvoCursor.h"

class Sample {
  public:
    bool flag = false;
    int1 small = 0;
    int2 medium = 0;
    int4 id = 0;
    int8 big = 0;
    real4 price = 0;
    real8 total = 0;
    const char* name = nullptr;
    const char* note = nullptr;
    dbReference<Sample> parent;
    dbArray<int1> bytes;
    dbArray<bool> flags;
    dbArray<int4> numbers;
    dbArray<real4> weights;
    dbArray<const char*> tags;
    dbArray<dbReference<Sample>> children;
    dbDateTime when;

    DB_FIELDS(Sample, DB_FIELD(flag), DB_FIELD(small), DB_FIELD(medium), DB_KEY(id, dbHashed), DB_FIELD(big),
              DB_KEY(price, dbHashed | dbIndexed), DB_FIELD(total), DB_KEY(name, dbIndexed), DB_FIELD(note),
              DB_FIELD(parent), DB_FIELD(bytes), DB_FIELD(flags), DB_FIELD(numbers), DB_FIELD(weights),
              DB_FIELD(tags), DB_FIELD(children), DB_FIELD(when))
};

class QueryExecTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(db.open("query", dir.file("query.zrv").c_str())); }
    void TearDown() override { db.close(); }

    // Inserts a Sample filled by fill (id and name set by the caller).
    oid_t addSample(const std::function<void(Sample&)>& fill)
    {
        Sample s;
        fill(s);
        oid_t oid = insert(s).getOid();
        EXPECT_NE(oid, 0u);
        return oid;
    }

    // The ids of the records the query selects, in the cursor's order.
    template <class T>
    std::vector<oid_t> selectIds(dbQuery& query, std::size_t limit = dbAnyCursor::defaultLimit)
    {
        dbCursor<T> cursor;
        cursor.setLimit(limit);
        cursor.select(query);
        std::vector<oid_t> ids;
        if (cursor.getNumberOfRecords() != 0) {
            do {
                ids.push_back(cursor.getOid());
            } while (cursor.gotoNext());
        }
        return ids;
    }
    template <class T>
    std::vector<oid_t> selectIds(const char* text)
    {
        dbQuery query(text);
        return selectIds<T>(query);
    }

    // The report texts received since the last call.
    std::vector<std::string> takeMessages()
    {
        std::vector<std::string> m;
        m.swap(db.messages);
        db.classes.clear();
        return m;
    }

    storagetest::TempDir dir;
    storagetest::RecordingDatabase db;
};
