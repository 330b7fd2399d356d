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
#include "engine/rowkeys.h"

// Items (marker 5, 12 bytes): next item, record id, hash code. The hash code
// is h = h * 31 + byte over the key bytes (unsigned, modulo 2^32): the stored
// bytes of a scalar field, a string's characters without its NUL.
struct dbHashTableItem {
    oid_t next;
    oid_t record;
    std::uint32_t hash;
};
static_assert(sizeof(dbHashTableItem) == 12);

// Table (marker 4, 12 bytes): `size` buckets (2^k - 1), the used
// count, and the first of (size + 1) / 1,024 consecutive page ids. The pages
// are allocated as one run, but each moves on its own the first time a
// transaction changes it, so they may lie anywhere in the file, in any
// order. Slot b is entry b mod 1,024 of page (page + b / 1,024) and holds the
// first item of bucket b (0 = empty); an item lies in bucket h mod size.
// Every size 2^k - 1 with k of 10 or more reads as a table. This release makes
// only sizes that 31 does not divide (k not a multiple of 5): the code
// multiplies by 31 at each byte, so every key whose last byte is 0 (an
// integer below 2^24, stored little-endian) has a code that 31 divides, and
// in a table whose size 31 divides such codes all fall into the buckets that
// 31 divides, a 31st of them. A table grows when its rows outnumber its
// buckets; a table of a size that 31 divides (made by an earlier release) is
// moved to a larger one at its next insert, and by a compaction.
// The used count is kept as earlier releases keep it (2 for each bucket
// taken, 1 less for each emptied, the buckets taken after a growth), since
// they grow by it; this release reads nothing from it.
class dbHashTable {
  public:
    std::uint32_t size;
    std::uint32_t used;
    oid_t page;

    static constexpr std::uint32_t initialSize = 16383;
    static constexpr std::uint32_t largestSize = 0x7FFFFFFF;
    static constexpr offs_t tableMarker = 4;
    static constexpr offs_t itemMarker = 5;

    // A new empty table sized for the expected number of rows.
    static oid_t allocate(dbDatabase* db, std::size_t expectedRows = 0);
    // nRows: the table's rows, this one included, each with an item of its
    // own; the table grows when they outnumber its buckets, or when a size
    // that 31 divides is to be left (0: an update, never grows).
    static bool insert(dbDatabase* db, oid_t hashId, oid_t rowId, int type, std::size_t sizeofType,
                       std::size_t offs, std::size_t nRows);
    static bool remove(dbDatabase* db, oid_t hashId, oid_t rowId, int type, std::size_t sizeofType,
                       std::size_t offs);
    // Whether the table holds an item of the row under the key the row
    // holds: for a table that indexes every row of its own, whether the row
    // is one of them.
    static bool holds(dbDatabase* db, oid_t hashId, oid_t rowId, int type, std::size_t sizeofType,
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
    // another). Both come sorted. `codes` may give the codes of the keys of
    // every row rows.add takes, by ascending row id, from the rows as they
    // are now: the check then reads no row; a row taken that they lack is a
    // disagreement between the two checks, reported as damage.
    static bool check(dbDatabase* db, oid_t hashId, int type, std::size_t sizeofType, std::size_t offs,
                      dbSearchSink& rows, const std::vector<dbRowHash>* codes, std::vector<oid_t>& keyChanged,
                      std::vector<oid_t>& keyFiled);
    // Removes every item (purge) or the whole table (drop).
    static bool purge(dbDatabase* db, oid_t hashId);
    static bool drop(dbDatabase* db, oid_t hashId);

    // The buckets of a table made for `items` items: the least size this
    // release makes that is more than the items.
    static std::uint32_t bucketsFor(std::size_t items);
    // Whether a table of `size` buckets that is to hold `items` items moves
    // to a larger one (of bucketsFor the larger of the two).
    static bool wantsGrowth(std::uint32_t size, std::size_t items);
    // Moves every item into an empty table of newSize buckets: each, in the
    // order walk(visit) hands them to visit(bucket, id, item) (chain by
    // chain, the item read before it is handed over), to the head of bucket
    // item.hash % newSize. head(b) and setHead(b, id) read and write the new
    // slots, setNext(id, next) an item's link, asked for only where it
    // changes. Returns the buckets it filled.
    template <class Walk, class Head, class SetHead, class SetNext>
    static std::uint32_t relink(std::uint32_t newSize, Walk&& walk, Head&& head, SetHead&& setHead, SetNext&& setNext)
    {
        std::uint32_t filled = 0;
        walk([&](std::uint32_t, oid_t itemId, const dbHashTableItem& item) {
            const std::uint32_t bucket = item.hash % newSize;
            const oid_t first = head(bucket);
            filled += first == 0 ? 1 : 0;
            if (item.next != first) {
                setNext(itemId, first);
            }
            setHead(bucket, itemId);
        });
        return filled;
    }

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
    // Moves the table's items into a larger table (wantsGrowth said so).
    static void grow(dbDatabase* db, oid_t hashId, dbHashTable& table, std::size_t items);
    static void freeItems(dbDatabase* db, const dbHashTable& table);
};
static_assert(sizeof(dbHashTable) == 12);
