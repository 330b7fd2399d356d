// Helpers of the index and record tests: searches through a hash index or a
// T-tree that collect the ids they find.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "engine/class.h"

namespace indextest {

// Collects found ids, up to `limit`.
class Collect : public dbSearchSink {
  public:
    bool add(oid_t id) override
    {
        found.push_back(id);
        return found.size() < limit;
    }
    std::vector<oid_t> found;
    std::size_t limit = SIZE_MAX;
};

// Takes each id once, as the check of a table's rows takes each row once.
class EveryRowOnce : public dbSearchSink {
  public:
    bool add(oid_t id) override { return taken.insert(id).second; }
    std::set<oid_t> taken;
};

// Records whose key field equals key (a NUL-terminated text for strings).
std::vector<oid_t> hashFind(dbDatabase& db, dbFieldDescriptor* field, const void* key);
// Records whose key lies within the bounds (null: open), in key order.
std::vector<oid_t> treeRange(dbDatabase& db, dbFieldDescriptor* field, const void* low, bool lowInclusive,
                             const void* high, bool highInclusive);
// Every record of a T-tree, ascending or descending.
std::vector<oid_t> treeWalk(dbDatabase& db, dbFieldDescriptor* field, bool forward);

// Files a field's hash table as earlier releases left tables of `size`
// buckets (2^k - 1; they made sizes that 31 divides, 1,023 and 32,767, and
// kept them however many rows came): the first (size + 1) / 1,024 of its
// pages, every item at the head of the bucket of its code in the order of
// the chains, the used count as they kept it; the other pages freed. The
// table must have as many pages. Commits; false when that fails.
bool fileHashAsEarlierReleases(dbDatabase& db, dbFieldDescriptor* field, std::uint32_t size);

}  // namespace indextest
