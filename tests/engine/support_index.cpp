#include "engine/support_index.h"

#include "engine/hashtab.h"
#include "engine/ttree.h"

#include <cstring>

namespace indextest {

namespace {

dbSearchContext contextFor(dbFieldDescriptor* field, Collect& sink)
{
    dbSearchContext sc;
    sc.type = field->type;
    sc.sizeofType = field->dbsSize;
    sc.comparator = field->comparator;
    sc.offs = field->dbsOffs;
    sc.sink = &sink;
    return sc;
}

}  // namespace

std::vector<oid_t> hashFind(dbDatabase& db, dbFieldDescriptor* field, const void* key)
{
    Collect sink;
    dbSearchContext sc = contextFor(field, sink);
    sc.firstKey = key;
    dbHashTable::find(&db, field->hashTable, sc);
    return sink.found;
}

std::vector<oid_t> treeRange(dbDatabase& db, dbFieldDescriptor* field, const void* low, bool lowInclusive,
                             const void* high, bool highInclusive)
{
    Collect sink;
    dbSearchContext sc = contextFor(field, sink);
    sc.firstKey = low;
    sc.firstKeyInclusive = lowInclusive;
    sc.lastKey = high;
    sc.lastKeyInclusive = highInclusive;
    dbTtree::find(&db, field->tTree, sc);
    return sink.found;
}

std::vector<oid_t> treeWalk(dbDatabase& db, dbFieldDescriptor* field, bool forward)
{
    Collect sink;
    if (forward) {
        dbTtree::traverseForward(&db, field->tTree, &sink);
    } else {
        dbTtree::traverseBackward(&db, field->tTree, &sink);
    }
    return sink.found;
}

bool fileHashAsEarlierReleases(dbDatabase& db, dbFieldDescriptor* field, std::uint32_t size)
{
    const dbHashTable before = *reinterpret_cast<const dbHashTable*>(db.get(field->hashTable));
    const std::uint32_t pages = (before.size + 1) / dbHandlesPerPage, kept = (size + 1) / dbHandlesPerPage;
    if (kept > pages) {
        return false;
    }
    auto slot = [&](std::uint32_t bucket) -> oid_t& {
        return reinterpret_cast<oid_t*>(db.put(before.page + bucket / dbHandlesPerPage))[bucket % dbHandlesPerPage];
    };
    std::vector<oid_t> items;
    for (std::uint32_t b = 0; b < before.size; b++) {
        for (oid_t item = reinterpret_cast<const oid_t*>(db.get(before.page + b / dbHandlesPerPage))[b % dbHandlesPerPage];
             item != 0; item = reinterpret_cast<const dbHashTableItem*>(db.get(item))->next) {
            items.push_back(item);
        }
    }
    for (std::uint32_t page = 0; page < pages; page++) {
        std::memset(db.put(before.page + page), 0, dbPageSize);
    }
    std::uint32_t filled = 0;
    for (const oid_t item : items) {
        dbHashTableItem& it = *reinterpret_cast<dbHashTableItem*>(db.put(item));
        oid_t& head = slot(it.hash % size);
        filled += head == 0 ? 1 : 0;
        it.next = head;
        head = item;
    }
    for (std::uint32_t page = kept; page < pages; page++) {
        db.freeObject(before.page + page);
    }
    dbHashTable& table = *reinterpret_cast<dbHashTable*>(db.put(field->hashTable));
    table.size = size;
    table.used = filled;
    return db.commit();
}

}  // namespace indextest
