// The persistent T-tree index of one field: a height-balanced binary tree
// whose nodes hold sorted runs of record ids. It serves range searches and
// ordered walks, and insert, update and remove of records keep it up to
// date. Nodes are objects of the database file changed only through the
// running transaction's copies; callers hold that transaction (exclusive for
// the changing calls) and pass the key field's stored type, size, comparator
// and offset. Keys are read from the records themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/class.h"
#include "engine/rowkeys.h"

// A node (marker 3, 512 bytes): left and right child ids, balance (-1 left
// higher, 0 even, +1 right higher), one unused byte, item count, and up to
// 125 record ids sorted by key.
struct dbTtreeNode {
    static constexpr int maxItems = 125;
    oid_t left;
    oid_t right;
    std::int8_t balance;
    std::uint8_t unused;
    std::uint16_t nItems;
    oid_t item[maxItems];
};
static_assert(sizeof(dbTtreeNode) == 512);

// The tree object (marker 2, 4 bytes): the root node's id, 0 when empty.
class dbTtree {
  public:
    oid_t root;

    static constexpr offs_t treeMarker = 2;
    static constexpr offs_t nodeMarker = 3;

    static oid_t allocate(dbDatabase* db);
    static bool insert(dbDatabase* db, oid_t treeId, oid_t rowId, int type, std::size_t sizeofType,
                       dbUDTComparator comparator, std::size_t offs);
    static bool remove(dbDatabase* db, oid_t treeId, oid_t rowId, int type, std::size_t sizeofType,
                       dbUDTComparator comparator, std::size_t offs);
    // Range search: every record whose key lies within sc's bounds, in
    // ascending key order, to sc.sink.
    static void find(dbDatabase* db, oid_t treeId, dbSearchContext& sc);
    // Every record in ascending (forward) or descending key order.
    static void traverseForward(dbDatabase* db, oid_t treeId, dbSearchSink* sink) { traverse(db, treeId, sink, true); }
    static void traverseBackward(dbDatabase* db, oid_t treeId, dbSearchSink* sink) { traverse(db, treeId, sink, false); }
    static void traverse(dbDatabase* db, oid_t treeId, dbSearchSink* sink, bool forward);
    // Whether every node's balance is the difference of its subtrees'
    // heights (at most one) and every item names a record rows.add takes
    // (each check of a table's rows takes each row once). Each fault is
    // reported as met and the walk goes on past it as far as the links can
    // be read. The keys' order is told apart: a block of whole nodes (more
    // than one item) moved as one in the walk's order is damage of the
    // tree, and so is an item of a row the tree also holds elsewhere, or a
    // subtree two links lead to (their items say nothing of the keys);
    // outOfOrder gets the other items that some longest run of ascending
    // keys leaves out (none in a sound tree), also when the tree is damaged
    // otherwise. The tree keeps no copy of a key, so such an item was either
    // moved inside the tree or its row's key was changed; the caller weighs
    // that. For a text key, `prefixes` may give the prefixes of the keys of
    // every row rows.add takes, by ascending row id, read from the rows as
    // they are now: the check then reads rows only to compare keys whose
    // prefixes are equal; a row taken that they lack is a disagreement
    // between the two checks, reported as damage (its prefix is then read
    // from the row).
    static bool check(dbDatabase* db, oid_t treeId, int type, std::size_t sizeofType, dbUDTComparator comparator,
                      std::size_t offs, dbSearchSink& rows, const std::vector<dbRowKeyPrefix>* prefixes,
                      std::vector<oid_t>& outOfOrder);
    // Fills the empty tree treeId with `rows` (row ids, each once): they are
    // put in ascending key order, by their keys' leading parts where those
    // tell them apart, and laid out in nodes of equal fill, as balanced as
    // the number of nodes allows. False when the transaction failed.
    static bool build(dbDatabase* db, oid_t treeId, std::vector<oid_t> rows, int type, std::size_t sizeofType,
                      dbUDTComparator comparator, std::size_t offs);
    // Frees every node (root 0), or the whole tree.
    static bool purge(dbDatabase* db, oid_t treeId);
    static bool drop(dbDatabase* db, oid_t treeId);

    // Compares a search key with the key stored in a row: negative, 0 or
    // positive by the stored type (strings byte-wise as unsigned values, reals
    // with NaN after every number).
    static int compare(const void* key, const byte* row, int type, std::size_t sizeofType,
                       dbUDTComparator comparator, std::size_t offs);
};
static_assert(sizeof(dbTtree) == 4);
