#include "engine/support_index.h"

#include "engine/hashtab.h"
#include "engine/ttree.h"

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

}  // namespace indextest
