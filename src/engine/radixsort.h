// A stable sort of many items by an unsigned integer key, in time linear in
// their number: for the engine's passes over every row of a table (a
// select's order, the start's check of an index), where a comparison sort,
// or putting each item straight at its place in a large array, would reach
// memory far apart for each item. Each pass reads the items in turn and
// appends each to one of 256 runs. The caller's key function
// must give the same key for an item every time it is asked.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

// The stored integer at `at` (of type Stored) as an unsigned Key that orders
// as the value does (signed values have their sign bit flipped); inverted
// for a descending order.
template <class Stored, class Key>
Key dbOrderedKey(const unsigned char* at, bool ascent = true)
{
    Stored v;
    std::memcpy(&v, at, sizeof v);
    Key k = static_cast<Key>(v);
    if constexpr (std::is_signed_v<Stored>) {
        k ^= Key(1) << (8 * sizeof(Stored) - 1);
        k &= sizeof(Stored) < sizeof(Key) ? (Key(1) << (8 * sizeof(Stored))) - 1 : ~Key(0);
    }
    return ascent ? k : static_cast<Key>(~k);
}

// Orders `items` by key(item), ties kept in their present order: one
// counting pass per byte of the key, least significant first,
// skipping the digits that every key shares.
template <class Item, class KeyOf>
void dbRadixSort(std::vector<Item>& items, KeyOf key)
{
    using Key = std::invoke_result_t<KeyOf, const Item&>;
    static_assert(std::is_unsigned_v<Key>);
    constexpr unsigned digitBits = 8;
    constexpr std::size_t radix = std::size_t(1) << digitBits;
    constexpr unsigned digits = (8 * sizeof(Key) + digitBits - 1) / digitBits;
    if (items.size() < 2) {
        return;
    }
    auto digitOf = [](Key k, unsigned d) { return std::size_t(k >> (d * digitBits)) & (radix - 1); };
    std::vector<std::size_t> counts(digits * radix, 0);
    for (const Item& item : items) {
        const Key k = key(item);
        for (unsigned d = 0; d < digits; d++) {
            counts[d * radix + digitOf(k, d)] += 1;
        }
    }
    std::vector<Item> other(items.size());
    const Key firstKey = key(items.front());
    for (unsigned d = 0; d < digits; d++) {
        std::size_t* count = counts.data() + d * radix;
        if (count[digitOf(firstKey, d)] == items.size()) {
            continue;  // every key has the same digit here
        }
        std::size_t at = 0;
        for (std::size_t b = 0; b < radix; b++) {
            const std::size_t here = count[b];
            count[b] = at;
            at += here;
        }
        for (const Item& item : items) {
            other[count[digitOf(key(item), d)]++] = item;
        }
        items.swap(other);
    }
}

// Orders `items` by key(item) as dbRadixSort does, for lists mostly in that
// order already (rows along their list, say): one pass sets aside the items
// that break the ascending run, which alone are sorted and then merged back
// from the end; a list far from its order is sorted whole.
template <class Item, class KeyOf>
void dbSortMostlyOrdered(std::vector<Item>& items, KeyOf key)
{
    std::size_t inRun = 0;
    for (std::size_t i = 0, last = 0; i < items.size(); i++) {
        if (inRun == 0 || key(items[i]) > key(items[last])) {
            last = i;
            inRun += 1;
        }
    }
    if (inRun == items.size()) {
        return;
    }
    if (items.size() - inRun > items.size() / 16) {
        dbRadixSort(items, key);
        return;
    }
    std::vector<Item> apart;
    apart.reserve(items.size() - inRun);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items.size(); i++) {
        if (kept == 0 || key(items[i]) > key(items[kept - 1])) {
            items[kept++] = items[i];
        } else {
            apart.push_back(items[i]);
        }
    }
    std::stable_sort(apart.begin(), apart.end(), [&](const Item& a, const Item& b) { return key(a) < key(b); });
    // Merged from the end, ties with the run's items after them.
    std::size_t to = items.size(), a = apart.size(), r = kept;
    while (a > 0) {
        if (r > 0 && key(items[r - 1]) > key(apart[a - 1])) {
            items[--to] = items[--r];
        } else {
            items[--to] = apart[--a];
        }
    }
}
