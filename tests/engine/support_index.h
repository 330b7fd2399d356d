// Helpers of the index and record tests: searches through a hash index or a
// T-tree that collect the ids they find.
#pragma once

#include <cstdint>
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

// Records whose key field equals key (a NUL-terminated text for strings).
std::vector<oid_t> hashFind(dbDatabase& db, dbFieldDescriptor* field, const void* key);
// Records whose key lies within the bounds (null: open), in key order.
std::vector<oid_t> treeRange(dbDatabase& db, dbFieldDescriptor* field, const void* low, bool lowInclusive,
                             const void* high, bool highInclusive);
// Every record of a T-tree, ascending or descending.
std::vector<oid_t> treeWalk(dbDatabase& db, dbFieldDescriptor* field, bool forward);

}  // namespace indextest
