// The persistent hash index of one field: equality look-ups for the query
// executor, kept up to date by insert, update and remove of records. Its
// parts are objects of the database file changed only through the running
// transaction's copies; callers hold that transaction (exclusive for the
// changing calls) and pass the key field's stored type, size and offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/class.h"

// Stored layout (marker 4, 12 bytes): `size` buckets (2^k - 1), the used
// count, and the first of (size + 1) / 1,024 consecutive page ids. The pages
// are allocated as one run, but each moves on its own the first time a
// transaction changes it, so they may lie anywhere in the file, in any
// order. Slot b is entry b mod 1,024 of page (page + b / 1,024) and holds the
// first item of bucket b (0 = empty).
// Items (marker 5, 12 bytes): next item, record id, hash code. The hash code
// is h = h * 31 + byte over the key bytes (unsigned, modulo 2^32): the stored
// bytes of a scalar field, a string's characters without its NUL.
class dbHashTable {
  public:
    std::uint32_t size;
    std::uint32_t used;
    oid_t page;

    static constexpr std::uint32_t initialSize = 16383;
    static constexpr offs_t tableMarker = 4;
    static constexpr offs_t itemMarker = 5;

    // A new empty table sized for the expected number of rows.
    static oid_t allocate(dbDatabase* db, std::size_t expectedRows = 0);
    // nRows: the row-count hint that bounds growth (0: never grow).
    static bool insert(dbDatabase* db, oid_t hashId, oid_t rowId, int type, std::size_t sizeofType,
                       std::size_t offs, std::size_t nRows);
    static bool remove(dbDatabase* db, oid_t hashId, oid_t rowId, int type, std::size_t sizeofType,
                       std::size_t offs);
    // Hands every record whose key equals sc.firstKey to sc.sink.
    static void find(dbDatabase* db, oid_t hashId, dbSearchContext& sc);
    // Whether every item lies in the bucket of its stored hash code and
    // names a record rows.add takes (each check of a table's rows takes each
    // row once). Each fault is reported as met and the walk goes on with the
    // next item it can still reach, so that what the rest of the table shows
    // is not lost. An item that lies in the bucket of its stored code tells
    // under which key its row was filed: keyFiled gets the rows some such
    // item names under the key they hold, keyChanged the rows that such
    // items name only under another key (filed under one key, they now hold
    // another). Both come sorted.
    static bool check(dbDatabase* db, oid_t hashId, int type, std::size_t sizeofType, std::size_t offs,
                      dbSearchSink& rows, std::vector<oid_t>& keyChanged, std::vector<oid_t>& keyFiled);
    // Removes every item (purge) or the whole table (drop).
    static bool purge(dbDatabase* db, oid_t hashId);
    static bool drop(dbDatabase* db, oid_t hashId);

    static std::uint32_t hashCode(const byte* key, std::size_t n)
    {
        std::uint32_t h = 0;
        for (std::size_t i = 0; i < n; i++) {
            h = h * 31 + key[i];
        }
        return h;
    }

  private:
    static oid_t allocatePages(dbDatabase* db, std::uint32_t size);
    static void freeItems(dbDatabase* db, const dbHashTable& table);
};
static_assert(sizeof(dbHashTable) == 12);

struct dbHashTableItem {
    oid_t next;
    oid_t record;
    std::uint32_t hash;
};
static_assert(sizeof(dbHashTableItem) == 12);
