#include "engine/hashtab.h"

#include <cstring>


namespace {

constexpr std::uint32_t slotsPerPage = dbPageSize / sizeof(oid_t);  // 1,024

const dbHashTable& tableOf(dbDatabase* db, oid_t hashId)
{
    const auto& table = *reinterpret_cast<const dbHashTable*>(dbMustGet(db, hashId, dbHashTable::tableMarker));
    // The buckets (2^k - 1 of them, 2^k slots) fill whole pages whose ids
    // follow one another inside the object index: a count that does not fit
    // there is damage, found before any walk. The pages themselves lie
    // anywhere in the file (a page moves the first time a transaction
    // changes it); each is checked as it is reached (dbMustGet).
    const std::uint64_t slots = std::uint64_t(table.size) + 1;
    if (table.size == 0 || slots % slotsPerPage != 0 || (slots & (slots - 1)) != 0 || table.page == 0 ||
        table.page + slots / slotsPerPage > db->getIndexSize()) {
        dbDamaged(db);
    }
    return table;
}

// Counts one step along a chain: every item has an id of its own, so a
// chain longer than the object index is a loop.
void chainStep(dbDatabase* db, std::uint32_t& steps)
{
    if (++steps > db->getIndexSize()) {
        dbDamaged(db);
    }
}

oid_t slot(dbDatabase* db, oid_t firstPage, std::uint32_t bucket)
{
    return reinterpret_cast<const oid_t*>(dbMustGet(db, firstPage + bucket / slotsPerPage, dbPageObjectMarker))[bucket % slotsPerPage];
}

void setSlot(dbDatabase* db, oid_t firstPage, std::uint32_t bucket, oid_t item)
{
    reinterpret_cast<oid_t*>(dbMustPut(db, firstPage + bucket / slotsPerPage))[bucket % slotsPerPage] = item;
}

const dbHashTableItem& itemOf(dbDatabase* db, oid_t itemId)
{
    return *reinterpret_cast<const dbHashTableItem*>(dbMustGet(db, itemId, dbHashTable::itemMarker));
}

dbHashTableItem& writableItem(dbDatabase* db, oid_t itemId)
{
    return *reinterpret_cast<dbHashTableItem*>(dbMustPut(db, itemId));
}

// Hands every item of the table to visit(bucket, id, item), chain by chain;
// the item is read, and the next one taken, before visit may change or free it.
template <class Visit>
void forEachItem(dbDatabase* db, const dbHashTable& table, Visit&& visit)
{
    for (std::uint32_t b = 0; b < table.size; b++) {
        oid_t itemId = slot(db, table.page, b);
        std::uint32_t steps = 0;
        while (itemId != 0) {
            chainStep(db, steps);
            dbHashTableItem item = itemOf(db, itemId);
            visit(b, itemId, item);
            itemId = item.next;
        }
    }
}

// Where a check's walk of one chain stands: the next item to read and the
// chain's bucket.
struct ChainStep {
    oid_t item;
    std::uint32_t bucket;
};

// The room an ordering of steps by place keeps from one round to the next.
struct PlaceOrder {
    std::vector<ChainStep> spare;
    std::vector<std::uint32_t> starts;  // by group of ids: where its steps go
};

// Orders the steps nearly by item id, so that the items, which lie mostly in
// the order of their ids, are read in the order of their places in the file
// rather than anywhere in it. Ids that differ only in their lowest bits may
// stay in any order among themselves.
void orderByPlace(std::vector<ChainStep>& steps, PlaceOrder& buffers, std::size_t indexSize)
{
    constexpr unsigned groupBits = 8;
    std::vector<std::uint32_t>& starts = buffers.starts;
    std::vector<ChainStep>& spare = buffers.spare;
    starts.assign((indexSize >> groupBits) + 2, 0);
    for (const ChainStep& s : steps) {
        starts[std::min<std::size_t>(s.item >> groupBits, starts.size() - 2) + 1] += 1;
    }
    for (std::size_t g = 1; g < starts.size(); g++) {
        starts[g] += starts[g - 1];
    }
    spare.resize(steps.size());
    for (const ChainStep& s : steps) {
        spare[starts[std::min<std::size_t>(s.item >> groupBits, starts.size() - 2)]++] = s;
    }
    steps.swap(spare);
}

// Asks the processor early for an object; a hint, nothing is checked
// beyond reading inside the file.
void prefetchObject(dbDatabase* db, oid_t id)
{
    if (const byte* object = db->addressHint(id)) {
        dbPrefetch(object);
    }
}

std::uint32_t rowHash(dbDatabase* db, oid_t rowId, int type, std::size_t sizeofType, std::size_t offs)
{
    dbKeyBytes key = dbRecordKey(dbMustGet(db, rowId, 0), type, sizeofType, offs);
    return dbHashTable::hashCode(key.data, key.size);
}

}  // namespace

oid_t dbHashTable::allocatePages(dbDatabase* db, std::uint32_t size)
{
    std::uint32_t nPages = (size + 1) / slotsPerPage;
    oid_t first = db->allocateId(int(nPages));
    if (first == 0) {
        throw dbTransactionFailed{};
    }
    offs_t pos = db->allocate(std::size_t(size + 1) * sizeof(oid_t));
    if (pos == 0) {
        throw dbTransactionFailed{};
    }
    dbAssert((pos & (dbPageSize - 1)) == 0);
    std::memset(db->getBase() + pos, 0, std::size_t(size + 1) * sizeof(oid_t));
    for (std::uint32_t i = 0; i < nPages; i++) {
        db->setEntry(first + i, pos + offs_t(i * dbPageSize) + dbPageObjectMarker);
    }
    return first;
}

std::uint32_t dbHashTable::bucketsFor(std::size_t items)
{
    std::uint64_t size = initialSize;
    while ((size <= items || size % 31 == 0) && size < largestSize) {
        size = 2 * size + 1;
    }
    return std::uint32_t(size);
}

bool dbHashTable::wantsGrowth(std::uint32_t size, std::size_t items)
{
    return items > size || size % 31 == 0;
}

oid_t dbHashTable::allocate(dbDatabase* db, std::size_t expectedRows)
{
    oid_t hashId = 0;
    bool ok = dbGuarded(db, [&] {
        std::uint32_t size = bucketsFor(expectedRows);
        hashId = dbMustAllocate(db, tableMarker);
        oid_t first = allocatePages(db, size);
        dbHashTable& table = *reinterpret_cast<dbHashTable*>(dbMustPut(db, hashId));
        table.size = size;
        table.used = 0;
        table.page = first;
    });
    return ok ? hashId : 0;
}

void dbHashTable::grow(dbDatabase* db, oid_t hashId, dbHashTable& table, std::size_t items)
{
    const std::uint32_t newSize = bucketsFor(std::max<std::size_t>(items, table.size));
    const oid_t newPage = allocatePages(db, newSize);
    // Every item moves, chain by chain, to the head of its bucket in the
    // new table; a link is written only where it changes.
    const std::uint32_t nonEmpty = relink(
        newSize, [&](auto&& visit) { forEachItem(db, table, visit); },
        [&](std::uint32_t bucket) { return slot(db, newPage, bucket); },
        [&](std::uint32_t bucket, oid_t itemId) { setSlot(db, newPage, bucket, itemId); },
        [&](oid_t itemId, oid_t next) { writableItem(db, itemId).next = next; });
    for (std::uint32_t i = 0; i < (table.size + 1) / slotsPerPage; i++) {
        db->freeObject(table.page + i);
    }
    dbHashTable& t = *reinterpret_cast<dbHashTable*>(dbMustPut(db, hashId));
    t.size = newSize;
    t.used = nonEmpty;
    t.page = newPage;
    table = t;
}

bool dbHashTable::insert(dbDatabase* db, oid_t hashId, oid_t rowId, int type, std::size_t sizeofType,
                         std::size_t offs, std::size_t nRows)
{
    return dbGuarded(db, [&] {
        std::uint32_t h = rowHash(db, rowId, type, sizeofType, offs);
        dbHashTable table = tableOf(db, hashId);
        // One item per row, each with an id of its own: a row count beyond
        // the ids is damage, and takes no more buckets than there are ids.
        const std::size_t items = std::min<std::size_t>(nRows, db->getIndexSize());
        if (nRows != 0 && wantsGrowth(table.size, items)) {
            grow(db, hashId, table, items);
        }
        std::uint32_t bucket = h % table.size;
        oid_t head = slot(db, table.page, bucket);
        oid_t itemId = dbMustAllocate(db, itemMarker);
        dbHashTableItem& item = writableItem(db, itemId);
        item.next = head;
        item.record = rowId;
        item.hash = h;
        setSlot(db, table.page, bucket, itemId);
        if (head == 0) {
            reinterpret_cast<dbHashTable*>(dbMustPut(db, hashId))->used += 2;
        }
    });
}

namespace {

// Where a row's item lies in the chain of its key's bucket: its id (0 when
// the chain holds none), the item before it (0 when it heads the chain) and
// the item as read.
struct RowItem {
    oid_t id = 0;
    oid_t prev = 0;
    dbHashTableItem item{};
};

RowItem rowItem(dbDatabase* db, const dbHashTable& table, std::uint32_t bucket, oid_t rowId)
{
    RowItem at;
    oid_t itemId = slot(db, table.page, bucket);
    std::uint32_t steps = 0;
    while (itemId != 0) {
        chainStep(db, steps);
        const dbHashTableItem item = itemOf(db, itemId);
        if (item.record == rowId) {
            at.id = itemId;
            at.item = item;
            return at;
        }
        at.prev = itemId;
        itemId = item.next;
    }
    return RowItem{};
}

}  // namespace

bool dbHashTable::remove(dbDatabase* db, oid_t hashId, oid_t rowId, int type, std::size_t sizeofType,
                         std::size_t offs)
{
    return dbGuarded(db, [&] {
        std::uint32_t h = rowHash(db, rowId, type, sizeofType, offs);
        dbHashTable table = tableOf(db, hashId);
        std::uint32_t bucket = h % table.size;
        const RowItem at = rowItem(db, table, bucket, rowId);
        if (at.id == 0) {
            return;
        }
        if (at.prev != 0) {
            writableItem(db, at.prev).next = at.item.next;
        } else {
            setSlot(db, table.page, bucket, at.item.next);
            if (at.item.next == 0) {
                reinterpret_cast<dbHashTable*>(dbMustPut(db, hashId))->used -= 1;
            }
        }
        db->freeObject(at.id);
    });
}

bool dbHashTable::holds(dbDatabase* db, oid_t hashId, oid_t rowId, int type, std::size_t sizeofType,
                        std::size_t offs)
{
    bool held = false;
    dbGuarded(db, [&] {
        const std::uint32_t h = rowHash(db, rowId, type, sizeofType, offs);
        const dbHashTable table = tableOf(db, hashId);
        held = rowItem(db, table, h % table.size, rowId).id != 0;
    });
    return held;
}

void dbHashTable::find(dbDatabase* db, oid_t hashId, dbSearchContext& sc)
{
    dbGuarded(db, [&] {
        const byte* key = static_cast<const byte*>(sc.firstKey);
        std::size_t keySize =
            sc.type == dbField::tpString ? std::strlen(static_cast<const char*>(sc.firstKey)) : sc.sizeofType;
        std::uint32_t h = hashCode(key, keySize);
        dbHashTable table = tableOf(db, hashId);
        oid_t itemId = slot(db, table.page, h % table.size);
        std::uint32_t steps = 0;
        while (itemId != 0) {
            chainStep(db, steps);
            dbHashTableItem item = itemOf(db, itemId);
            sc.probes += 1;
            if (item.hash == h) {
                dbKeyBytes stored = dbRecordKey(dbMustGet(db, item.record, 0), sc.type, sc.sizeofType, sc.offs);
                bool equal = sc.type == dbField::tpString
                                 ? stored.size == keySize && std::memcmp(stored.data, key, keySize) == 0
                                 : sc.comparator(stored.data, key, sc.sizeofType) == 0;
                if (equal && sc.sink->accept(item.record) && !sc.sink->add(item.record)) {
                    return;
                }
            }
            itemId = item.next;
        }
    });
}

namespace {

// One check of a hash table against the rows of its table (see
// dbHashTable::check), in its steps: the first item of each chain, the walk
// of the chains, and the keys the rows hold now against those the items were
// filed under.
class HashCheck {
  public:
    HashCheck(dbDatabase* db, const dbHashTable& table, dbSearchSink& rows)
        : db(db), table(table), rows(rows), rowState(db->getIndexSize(), 0), metInChain(db->getIndexSize(), 0),
          filedHash(db->getIndexSize(), 0)
    {
    }

    // The first item of each chain, read a page of buckets at a time;
    // `pagesSound` false when a page of buckets is damaged.
    static std::vector<ChainStep> firstItems(dbDatabase* db, const dbHashTable& table, bool& pagesSound)
    {
        std::vector<ChainStep> round;
        for (std::uint32_t page = 0; page < (table.size + 1) / slotsPerPage; page++) {
            const oid_t* slots = nullptr;
            if (!dbGuarded(db, [&] {
                    slots = reinterpret_cast<const oid_t*>(dbMustGet(db, table.page + page, dbPageObjectMarker));
                })) {
                pagesSound = false;  // the page of buckets is damaged: none of its chains can be walked
                continue;
            }
            for (std::uint32_t k = 0; k < slotsPerPage && page * slotsPerPage + k < table.size; k++) {
                if (slots[k] != 0) {
                    round.push_back({slots[k], page * slotsPerPage + k});
                }
            }
        }
        return round;
    }

    // The chains are walked side by side, a step of each in turn: the items
    // lie anywhere in the file, so each round's steps are taken in the order
    // of their items' places, asked for a few steps before they are read.
    void walkChains(std::vector<ChainStep>& round)
    {
        PlaceOrder buffers;
        constexpr std::size_t itemsAhead = 8;
        while (!round.empty() && steps <= 2 * metInChain.size()) {
            orderByPlace(round, buffers, metInChain.size());
            std::size_t kept = 0;
            for (std::size_t k = 0; k < round.size(); k++) {
                if (k + itemsAhead < round.size()) {
                    prefetchObject(db, round[k + itemsAhead].item);
                }
                ChainStep at = round[k];
                if (step(at)) {
                    round[kept++] = at;
                }
            }
            round.resize(kept);
        }
    }

    // Compares the code each filed row's key has now (heldCode(row, code):
    // false when it cannot be had) with the code the row was filed under,
    // in the order of the rows' ids; the rows filed under the key they hold
    // go to keyFiled, the others to keyChanged.
    template <class HeldCode>
    void compareKeys(HeldCode&& heldCode, bool readsRows, std::size_t offs, std::vector<oid_t>& keyChanged,
                     std::vector<oid_t>& keyFiled)
    {
        auto compare = [&](oid_t record, std::uint32_t hash) {
            std::uint32_t held = 0;
            if (heldCode(record, held)) {
                rowState[record] |= held == hash ? filedAsHeld : filedOtherwise;
            }
        };
        // Rows lie mostly in the order of their ids: when they are read,
        // each is asked for some ids before its key is.
        constexpr oid_t rowsAhead = 16;
        for (oid_t record = 0; record < rowState.size(); record++) {
            if (readsRows && record + rowsAhead < rowState.size() && (rowState[record + rowsAhead] & filed)) {
                db->prefetchKey(record + rowsAhead, offs, false);
            }
            if (rowState[record] & filed) {
                compare(record, filedHash[record]);
            }
        }
        for (const auto& [record, hash] : filedAgain) {
            compare(record, hash);
        }
        for (oid_t record = 0; record < rowState.size(); record++) {
            if (rowState[record] & filedAsHeld) {
                keyFiled.push_back(record);
            } else if (rowState[record] & filedOtherwise) {
                keyChanged.push_back(record);
            }
        }
    }

    // Reports damage once; the check goes on.
    void fault()
    {
        if (sound) {
            dbGuarded(db, [&] { dbDamaged(db); });
        }
        sound = false;
    }

    bool sound = true;

  private:
    // Notes an item of bucket b that was read: its row taken, and what the
    // item says of the row's key.
    void note(std::uint32_t b, const dbHashTableItem& item)
    {
        const bool rowTaken = rows.add(item.record);  // a row of the table, met for the first time
        if (rowTaken) {
            rowState[item.record] |= taken;
        }
        if (item.hash % table.size != b || !rowTaken) {
            fault();
        }
        if (item.hash % table.size == b && item.record < rowState.size() && (rowState[item.record] & taken)) {
            if (!(rowState[item.record] & filed)) {
                rowState[item.record] |= filed;
                filedHash[item.record] = item.hash;
            } else {
                filedAgain.emplace_back(item.record, item.hash);
            }
        }
    }

    // One step along a chain: the item is checked, read and noted; false
    // when the chain ends there.
    bool step(ChainStep& at)
    {
        const std::uint32_t b = at.bucket;
        const oid_t itemId = at.item;
        dbHashTableItem item{};
        if (itemId >= metInChain.size() || metInChain[itemId] == b + 1 || ++steps > 2 * metInChain.size()) {
            fault();
            return false;
        }
        metInChain[itemId] = b + 1;
        if (!dbGuarded(db, [&] { item = itemOf(db, itemId); })) {
            sound = false;  // the rest of the chain is out of reach
            return false;
        }
        note(b, item);
        at.item = item.next;
        return at.item != 0;
    }

    dbDatabase* db;
    const dbHashTable& table;
    dbSearchSink& rows;
    // By id: taken by the walk, and what the items that agree with their
    // buckets say of the row: filed under the key it holds, or under another.
    enum : std::uint8_t { taken = 1, filedAsHeld = 2, filedOtherwise = 4, filed = 8 };
    std::vector<std::uint8_t> rowState;
    // By item id: the bucket whose chain met it last, plus one. A damaged
    // link may lead back into its own chain (a loop), or into another
    // bucket's chain, which is walked from its own slot all the same.
    std::vector<std::uint32_t> metInChain;
    // The rows' keys are read after the walk, in the order of the rows' ids
    // (mostly that of their places in the file), not in the order of the
    // buckets, which is anywhere in the file: by row id, the hash code the
    // first item in its right bucket files it under, and the codes of any
    // further such items of the same row.
    std::vector<std::uint32_t> filedHash;
    std::vector<std::pair<oid_t, std::uint32_t>> filedAgain;
    // Each item is met in its own chain, and now and then from a damaged
    // link: twice the ids in all is more than a walk through damage takes,
    // unless many links lead into one chain; the walk then ends there.
    std::size_t steps = 0;
};

}  // namespace

bool dbHashTable::check(dbDatabase* db, oid_t hashId, int type, std::size_t sizeofType, std::size_t offs,
                        dbSearchSink& rows, const std::vector<dbRowHash>* codes, std::vector<oid_t>& keyChanged,
                        std::vector<oid_t>& keyFiled)
{
    dbHashTable table{};
    if (!dbGuarded(db, [&] { table = tableOf(db, hashId); })) {
        return false;
    }
    bool pagesSound = true;
    std::vector<ChainStep> round = HashCheck::firstItems(db, table, pagesSound);
    if (round.empty()) {
        return pagesSound;  // an index with no items has nothing more to check (and takes no room for it)
    }
    HashCheck check(db, table, rows);
    check.sound = pagesSound;
    check.walkChains(round);
    // The code each row's key has now: from `codes` when given (they hold
    // every row rows.add takes), else from the row. A row the walk of the
    // rows took without its code is a disagreement of the two checks, told
    // as damage.
    static const std::vector<dbRowHash> noCodes;
    dbRowLookup<dbRowHash> given(codes != nullptr ? *codes : noCodes);
    auto heldCode = [&](oid_t record, std::uint32_t& held) {
        if (codes == nullptr) {
            return dbGuarded(db, [&] { held = rowHash(db, record, type, sizeofType, offs); });
        }
        const dbRowHash* code = given.find(record);
        if (code == nullptr) {
            check.fault();
            return false;
        }
        held = code->hash;
        return true;
    };
    check.compareKeys(heldCode, codes == nullptr, offs, keyChanged, keyFiled);
    return check.sound;
}

void dbHashTable::freeItems(dbDatabase* db, const dbHashTable& table)
{
    forEachItem(db, table, [&](std::uint32_t, oid_t itemId, const dbHashTableItem&) { db->freeObject(itemId); });
}

bool dbHashTable::purge(dbDatabase* db, oid_t hashId)
{
    return dbGuarded(db, [&] {
        dbHashTable table = tableOf(db, hashId);
        freeItems(db, table);
        for (std::uint32_t i = 0; i < (table.size + 1) / slotsPerPage; i++) {
            static const byte emptyPage[dbPageSize] = {};
            if (std::memcmp(dbMustGet(db, table.page + i, dbPageObjectMarker), emptyPage, dbPageSize) != 0) {
                std::memset(dbMustPut(db, table.page + i), 0, dbPageSize);
            }
        }
        reinterpret_cast<dbHashTable*>(dbMustPut(db, hashId))->used = 0;
    });
}

bool dbHashTable::drop(dbDatabase* db, oid_t hashId)
{
    return dbGuarded(db, [&] {
        dbHashTable table = tableOf(db, hashId);
        freeItems(db, table);
        for (std::uint32_t i = 0; i < (table.size + 1) / slotsPerPage; i++) {
            db->freeObject(table.page + i);
        }
        db->freeObject(hashId);
    });
}
