// What the start's check reads of the rows' keys on its walk of a table's
// row list, while each row is at hand, so that the checks of the table's
// indexes compare their items with the rows' keys without reading the rows
// again: per row, the hash code of each hashed field's key and the leading
// bytes of each text T-tree field's key. The lists are sorted by row id;
// callers keep them unchanged while a lookup reads them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/class.h"

// The first bytes of a text key, up to its end, as two numbers that order
// as the bytes do (zeros past the end): keys whose leading parts differ
// compare as these do; equal ones say nothing.
struct dbTextPrefix {
    std::uint64_t high, low;
    static dbTextPrefix of(const dbKeyBytes& key);
    // Negative, 0 (undecided) or positive, as the keys compare.
    int compare(const dbTextPrefix& other) const
    {
        if (high != other.high) {
            return high < other.high ? -1 : 1;
        }
        if (low != other.low) {
            return low < other.low ? -1 : 1;
        }
        return 0;
    }
};

// A row with the prefix of its key of one text field.
struct dbRowKeyPrefix {
    oid_t row;
    dbTextPrefix prefix;
};

// A row with the hash code of its key of one field.
struct dbRowHash {
    oid_t row;
    std::uint32_t hash;
};

// Finds rows in a list of Items (dbRowKeyPrefix or dbRowHash) sorted by
// row, for a caller that asks mostly in ascending order: such a run of
// questions goes through the list once.
template <class Item>
class dbRowLookup {
  public:
    explicit dbRowLookup(const std::vector<Item>& list) : items(list) {}
    // The item of `row`, null when the list has none.
    const Item* find(oid_t row)
    {
        if (next > 0 && items[next - 1].row >= row) {  // asked out of order
            next = std::size_t(std::lower_bound(items.begin(), items.end(), row,
                                                [](const Item& item, oid_t r) { return item.row < r; }) -
                               items.begin());
        }
        while (next < items.size() && items[next].row < row) {
            next += 1;
        }
        return next < items.size() && items[next].row == row ? &items[next++] : nullptr;
    }

  private:
    const std::vector<Item>& items;
    std::size_t next = 0;
};
