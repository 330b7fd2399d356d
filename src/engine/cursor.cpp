#include "engine/cursor.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/hashtab.h"
#include "engine/radixsort.h"
#include "engine/sync.h"

// ---------------------------------------------------------------------------
// dbSelection

void dbSelection::addSegment()
{
    segment* seg = new segment;
    seg->next = nullptr;
    seg->prev = last;
    seg->nRows = 0;
    if (last != nullptr) {
        last->next = seg;
    } else {
        first = seg;
    }
    last = seg;
}

void dbSelection::clear()
{
    segment* seg = first;
    while (seg != nullptr) {
        segment* next = seg->next;
        delete seg;
        seg = next;
    }
    first = last = curr = nullptr;
    nRows = 0;
    pos = 0;
}

std::size_t dbSelection::segmentCount() const
{
    std::size_t n = 0;
    for (const segment* seg = first; seg != nullptr; seg = seg->next) {
        n += 1;
    }
    return n;
}

void dbSelection::reverse()
{
    for (segment* seg = first; seg != nullptr; seg = seg->prev) {  // prev is the old next after the swap
        std::swap(seg->next, seg->prev);
        std::reverse(seg->rows, seg->rows + seg->nRows);
    }
    std::swap(first, last);
    if (curr != nullptr && curr->nRows != 0) {
        pos = curr->nRows - 1 - pos;
    }
}

int dbSelection::compare(const byte* a, const byte* b, const dbOrderByNode* order)
{
    for (; order != nullptr; order = order->next) {
        int diff;
        if (order->field != nullptr) {
            diff = compareField(a, b, order->field);
        } else {
            dbAssert(compareExpressionKey != nullptr);
            diff = compareExpressionKey(a, b, order);
        }
        if (diff != 0) {
            return order->ascent ? diff : -diff;
        }
    }
    return 0;
}

dbIntegerOrder::dbIntegerOrder(const dbOrderByNode* order)
{
    if (order == nullptr || order->next != nullptr || order->field == nullptr) {
        return;
    }
    switch (order->field->type) {
    case dbField::tpBool:
    case dbField::tpInt1:
    case dbField::tpInt2:
    case dbField::tpInt4:
    case dbField::tpReference:
        break;
    case dbField::tpInt8:
        wide = true;
        break;
    default:
        return;
    }
    field = order->field;
    ascent = order->ascent;
}

void dbIntegerOrder::reserve(std::size_t rows)
{
    if (field != nullptr) {
        wide ? wideKeys.reserve(rows) : narrowKeys.reserve(rows);
    }
}

void dbIntegerOrder::see(oid_t id, const byte* row)
{
    if (field == nullptr) {
        return;
    }
    const byte* at = row + field->dbsOffs;
    switch (field->type) {
    case dbField::tpBool:
    case dbField::tpInt1:
        narrowKeys.push_back({dbOrderedKey<std::int8_t, std::uint32_t>(at, ascent), id});
        break;
    case dbField::tpInt2:
        narrowKeys.push_back({dbOrderedKey<std::int16_t, std::uint32_t>(at, ascent), id});
        break;
    case dbField::tpInt4:
        narrowKeys.push_back({dbOrderedKey<std::int32_t, std::uint32_t>(at, ascent), id});
        break;
    case dbField::tpReference:
        narrowKeys.push_back({dbOrderedKey<oid_t, std::uint32_t>(at, ascent), id});
        break;
    default:
        wideKeys.push_back({dbOrderedKey<std::int64_t, std::uint64_t>(at, ascent), id});
        break;
    }
}

bool dbIntegerOrder::settle(dbSelection& selection) const
{
    if (field == nullptr) {
        return false;
    }
    return wide ? settle(wideKeys, selection) : settle(narrowKeys, selection);
}

template <class Key>
bool dbIntegerOrder::settle(const std::vector<Keyed<Key>>& keys, dbSelection& selection) const
{
    if (keys.size() != selection.nRows) {
        return false;
    }
    // The rows noted must be the selection's, in its order, for the keys to
    // say anything of it.
    std::size_t i = 0;
    for (auto* seg = selection.first; seg != nullptr; seg = seg->next) {
        for (std::size_t j = 0; j < seg->nRows; j++) {
            if (keys[i++].oid != seg->rows[j]) {
                return false;
            }
        }
    }
    const auto below = [](const Keyed<Key>& a, const Keyed<Key>& b) { return a.key < b.key; };
    if (std::is_sorted(keys.begin(), keys.end(), below)) {
        return true;
    }
    if (std::adjacent_find(keys.begin(), keys.end(), [](const Keyed<Key>& a, const Keyed<Key>& b) {
            return a.key <= b.key;
        }) == keys.end()) {
        selection.reverse();  // every key below the one before: the order reversed, no tie to keep
        return true;
    }
    return false;
}

void dbIntegerOrder::sort(dbSelection& selection)
{
    if (field != nullptr) {
        wide ? sort(wideKeys, selection) : sort(narrowKeys, selection);
    }
}

template <class Key>
void dbIntegerOrder::sort(std::vector<Keyed<Key>>& keys, dbSelection& selection)
{
    if (settle(keys, selection)) {
        return;
    }
    dbRadixSort(keys, [](const Keyed<Key>& k) { return k.key; });
    std::size_t i = 0;
    for (auto* seg = selection.first; seg != nullptr; seg = seg->next) {
        for (std::size_t j = 0; j < seg->nRows; j++) {
            seg->rows[j] = keys[i++].oid;
        }
    }
}

bool dbSelection::sortByIntegerKey(dbDatabase* db, const dbOrderByNode* order)
{
    dbIntegerOrder keys(order);
    if (!keys.applies()) {
        return false;
    }
    keys.reserve(nRows);
    constexpr std::size_t rowsAhead = 16;  // rows asked for before their keys are read
    for (auto* seg = first; seg != nullptr; seg = seg->next) {
        for (std::size_t i = 0; i < seg->nRows; i++) {
            if (i + rowsAhead < seg->nRows) {
                db->prefetchKey(seg->rows[i + rowsAhead], order->field->dbsOffs, false);
            }
            keys.see(seg->rows[i], reinterpret_cast<const byte*>(db->getRow(seg->rows[i])));
        }
    }
    keys.sort(*this);
    return true;
}

void dbSelection::sort(dbDatabase* db, const dbOrderByNode* order)
{
    std::size_t n = nRows;
    if (n < 2 || sortByIntegerKey(db, order)) {
        return;
    }
    // Heap sort over (row, id) pairs: it needs no consistent ordering to
    // stay inside the array, whatever the stored values (NaN included).
    struct Item {
        const byte* row;
        oid_t oid;
    };
    std::vector<Item> items;
    items.reserve(n);
    for (segment* seg = first; seg != nullptr; seg = seg->next) {
        for (std::size_t i = 0; i < seg->nRows; i++) {
            items.push_back({reinterpret_cast<const byte*>(db->getRow(seg->rows[i])), seg->rows[i]});
        }
    }
    auto less = [order](const Item& x, const Item& y) { return compare(x.row, y.row, order) < 0; };
    auto siftDown = [&](std::size_t root, std::size_t end) {  // heap of items[0 .. end)
        for (;;) {
            std::size_t child = 2 * root + 1;
            if (child >= end) {
                return;
            }
            if (child + 1 < end && less(items[child], items[child + 1])) {
                child += 1;
            }
            if (!less(items[root], items[child])) {
                return;
            }
            std::swap(items[root], items[child]);
            root = child;
        }
    };
    for (std::size_t i = n / 2; i-- > 0;) {
        siftDown(i, n);
    }
    for (std::size_t end = n - 1; end > 0; end--) {
        std::swap(items[0], items[end]);
        siftDown(0, end);
    }
    std::size_t i = 0;
    for (segment* seg = first; seg != nullptr; seg = seg->next) {
        for (std::size_t j = 0; j < seg->nRows; j++) {
            seg->rows[j] = items[i++].oid;
        }
    }
}

dbFirstInOrder::dbFirstInOrder(const dbOrderByNode* keys) : order(keys)
{
    for (const dbOrderByNode* key = keys; key != nullptr; key = key->next) {
        if (key->field == nullptr) {
            order = nullptr;
        }
    }
    if (order != nullptr && order->next == nullptr) {
        onlyKey = order;
    }
}

// ---------------------------------------------------------------------------
// dbAnyCursor

namespace {

// Whether a row link of the table's list names a record; a link to a free
// id or an internal object is a break in the list.
bool linksRecord(dbDatabase* db, dbTableDescriptor* table, oid_t id)
{
    if (!db->isRecord(id)) {
        db->rowListBroken(table);
        return false;
    }
    return true;
}

}  // namespace

dbAnyCursor::dbAnyCursor(dbTableDescriptor& aTable, dbCursorType aType, byte* aRecord)
    : db(aTable.db == DETACHED_TABLE ? nullptr : aTable.db), table(&aTable), type(aType), record(aRecord)
{
    // The database tells the cursors of changed records through this hook.
    static const bool hookInstalled = (dbDatabase::cursorHook = &dbAnyCursor::recordChanged, true);
    (void)hookInstalled;
}

dbAnyCursor::~dbAnyCursor()
{
    unlink();
    delete[] bitmap;
}

std::vector<dbAnyCursor*>* dbAnyCursor::threadCursors(bool create) const
{
    if (db == nullptr) {
        return nullptr;
    }
    dbDatabaseThreadContext* ctx = db->getContext(create);
    return ctx != nullptr ? &ctx->cursors : nullptr;
}

void dbAnyCursor::link()
{
    if (!linked) {
        if (std::vector<dbAnyCursor*>* list = threadCursors(true)) {
            list->push_back(this);
            linked = true;
        }
    }
}

void dbAnyCursor::unlink()
{
    if (linked) {
        if (std::vector<dbAnyCursor*>* list = threadCursors(false)) {
            auto it = std::find(list->begin(), list->end(), this);
            if (it != list->end()) {
                list->erase(it);
            }
        }
        linked = false;
    }
}

void dbAnyCursor::reset()
{
    if (db != nullptr && table->db != db) {
        // A descriptor shared by several databases: use this one's copy.
        if (dbTableDescriptor* attached = db->findTable(table->name)) {
            table = attached;
        }
    } else if (db == nullptr) {
        db = table->db == DETACHED_TABLE ? nullptr : table->db;
    }
    unlink();
    clear();
}

void dbAnyCursor::clear()
{
    selection.clear();
    pendingOrder.clear();
    pendingFirst = 0;
    allRecords = false;
    firstId = lastId = currId = 0;
    eliminateDuplicates = false;
    removed = false;
    removing = false;
}

void dbAnyCursor::transactionEnded(std::vector<dbAnyCursor*>& cursors)
{
    std::vector<dbAnyCursor*> list;
    list.swap(cursors);
    for (dbAnyCursor* c : list) {
        c->linked = false;
        c->clear();
    }
}

bool dbAnyCursor::beginSelect()
{
    reset();
    // No select without an open database that knows the table (its layout
    // may load only with the first transaction).
    if (db == nullptr || !db->beginTransaction(type == dbCursorForUpdate ? dbDatabase::dbExclusiveLock
                                                                         : dbDatabase::dbSharedLock)) {
        return false;
    }
    reset();  // the layout may have been loaded just now
    if (table->tableId == 0) {
        return false;
    }
    link();
    return true;
}

void dbAnyCursor::selectAllRows(oid_t firstRow, oid_t lastRow, std::size_t nRows)
{
    firstId = firstRow;
    lastId = lastRow;
    selection.nRows = nRows;
    allRecords = true;
}

bool dbAnyCursor::at(oid_t ref)
{
    removed = false;
    if (!beginSelect()) {
        return false;
    }
    if (ref == 0 || ref >= db->getIndexSize() || (db->getPos(ref) & (dbInternalObjectMarker | dbFreeHandleMarker)) != 0) {
        return false;  // no such record (any more)
    }
    // A stale reference whose id a row of another table has taken must not be
    // updated or removed as a row of this table. The check looks the row up
    // in a hash index of the table, or, for a table with none, walks the row
    // list back to its head, or to a row the transaction found in it before;
    // only cursors that can write pay for it, and a transaction that
    // positions on many rows walks each stretch of the list once; a view
    // reads such a row through the fetch's checks at worst.
    if (type == dbCursorForUpdate && !inTable(ref)) {
        return false;
    }
    currId = ref;
    add(ref);
    selection.curr = selection.first;
    selection.pos = 0;
    fetchIfPrefetch();
    return true;
}

bool dbAnyCursor::inTable(oid_t ref) const
{
    // Rows carry no table id. A hash index of the table holds an item of
    // each of its rows and of nothing else, filed under the row's key: one
    // chain tells.
    for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
        if (fd->hashTable != 0 && !fd->indexBroken) {
            dbIndexWatch watch(db, fd);
            return dbHashTable::holds(db, fd->hashTable, ref, fd->type, fd->dbsSize, fd->dbsOffs);
        }
    }
    // Else follow the previous-row links to the head of the list, or to a
    // row known to be in it, and remember every row passed.
    dbDatabaseThreadContext* ctx = db->getContext(false);
    const auto* t = reinterpret_cast<const dbTable*>(db->get(table->tableId));
    if (ctx == nullptr || t == nullptr) {
        return false;
    }
    std::vector<oid_t> passed;
    bool found = false;
    oid_t id = ref;
    for (std::size_t budget = db->getIndexSize(); budget != 0; budget--) {
        if (const auto known = ctx->rowTables.find(id); known != ctx->rowTables.end()) {
            found = known->second == table->tableId;
            break;
        }
        const dbRecord* row = db->getRow(id);
        if (row == nullptr || (db->getPos(id) & dbInternalObjectMarker) != 0) {
            break;
        }
        passed.push_back(id);
        if (row->prev == 0) {
            found = id == t->firstRow;
            break;
        }
        id = row->prev;
    }
    if (found) {
        for (const oid_t row : passed) {
            ctx->rowTables.emplace(row, table->tableId);
        }
    }
    return found;
}

bool dbAnyCursor::markSelected(oid_t oid)
{
    std::size_t word = oid / 32;
    if (word >= bitmapSize) {
        // The index grew since the bitmap was made.
        std::size_t size = std::max<std::size_t>(word + 1, (db->getIndexSize() + 31) / 32);
        std::uint32_t* grown = new std::uint32_t[size]();
        std::copy(bitmap, bitmap + bitmapSize, grown);
        delete[] bitmap;
        bitmap = grown;
        bitmapSize = size;
    }
    std::uint32_t bit = std::uint32_t(1) << (oid % 32);
    if (bitmap[word] & bit) {
        return false;
    }
    bitmap[word] |= bit;
    return true;
}

void dbAnyCursor::checkForDuplicates()
{
    if (!eliminateDuplicates && limit > 1) {
        eliminateDuplicates = true;
        std::size_t size = (db->getIndexSize() + 31) / 32;
        if (size > bitmapSize) {
            delete[] bitmap;
            bitmap = new std::uint32_t[size];
            bitmapSize = size;
        }
        std::fill(bitmap, bitmap + bitmapSize, 0u);
    }
}

void dbAnyCursor::fetchIfPrefetch()
{
    if (prefetch && currId != 0 && record != nullptr) {
        fetch();
    }
}

bool dbAnyCursor::fetch()
{
    return currId != 0 && db->fetchRecord(table, currId, record);  // a row that is no record is reported there
}

// Rows the walk's table holds now.
std::size_t dbAnyCursor::tableRows() const
{
    return db->claimedRows(reinterpret_cast<const dbTable*>(db->get(table->tableId)));
}

// Whether the next step of a select-all walk may go to row `to`. A damaged
// list may loop back, skip rows, end early or lead out of the table: the walk
// then ends with a damaged-record report. Each row reached must link back to
// the row it was reached from; loops are also found by marking the row
// reached after 1, 2, 4, ... steps in one direction (a walk that meets its
// mark again goes round), and no walk takes more steps than there are ids.
bool dbAnyCursor::walkMayGo(bool forward, oid_t to)
{
    if (forward != walkForward) {
        walkForward = forward;
        walkSteps = 0;
        loopMark = 0;
    }
    bool damaged;
    if (to == 0) {
        // Rows are only ever appended, so a list that ends before the count
        // of rows does not hold all of them.
        damaged = forward && walkPos + 1 < tableRows();
    } else {
        walkSteps += 1;
        damaged = to == loopMark || walkSteps > db->getIndexSize();
        if ((walkSteps & (walkSteps - 1)) == 0) {
            loopMark = to;
        }
    }
    if (!damaged && to != 0) {
        // The row stepped to must link back to the row stepped from.
        const dbRecord* row = db->findRecord(to);
        damaged = row == nullptr || (forward ? row->prev : row->next) != currId;
    }
    if (damaged) {
        db->rowListBroken(table);
        return false;
    }
    return to != 0;
}

bool dbAnyCursor::gotoFirst()
{
    removed = false;
    bool found;
    if (allRecords) {
        found = firstId != 0 && linksRecord(db, table, firstId);
        currId = found ? firstId : 0;
        walkPos = walkSteps = 0;
        walkForward = true;
        loopMark = 0;
    } else if (!pendingOrder.empty()) {
        currId = pendingFirst;
        found = true;
    } else if (selection.first == nullptr) {
        found = currId != 0;
    } else {
        selection.curr = selection.first;
        selection.pos = 0;
        currId = selection.curr->rows[0];
        found = true;
    }
    if (found) {
        fetchIfPrefetch();
    }
    return found;
}

bool dbAnyCursor::gotoNext()
{
    return step(true);
}

bool dbAnyCursor::gotoPrev()
{
    return step(false);
}

bool dbAnyCursor::step(bool forward)
{
    settle();
    removed = false;
    if (allRecords) {
        if (currId == 0) {
            return false;
        }
        const dbRecord* row = db->isRecord(currId) ? db->getRow(currId) : nullptr;
        if (row == nullptr) {
            return false;
        }
        oid_t to = forward ? row->next : row->prev;
        if (!walkMayGo(forward, to)) {
            return false;
        }
        currId = to;
        walkPos = forward ? walkPos + 1 : walkPos - std::min<std::size_t>(walkPos, 1);
    } else {
        dbSelection::segment* seg = selection.curr;
        if (seg == nullptr) {
            return false;
        }
        if (forward ? selection.pos + 1 < seg->nRows : selection.pos > 0) {
            selection.pos += forward ? 1 : -1;
        } else if (dbSelection::segment* to = forward ? seg->next : seg->prev) {
            selection.curr = seg = to;
            selection.pos = forward ? 0 : seg->nRows - 1;
        } else {
            return false;
        }
        currId = seg->rows[selection.pos];
        // A walk that fetches each row reads the rows ahead of it soon
        // after: they are asked for early (within the segment).
        constexpr std::size_t rowsAhead = 8;
        if (prefetch && record != nullptr && forward && selection.pos + rowsAhead < seg->nRows) {
            db->prefetchRow(seg->rows[selection.pos + rowsAhead]);
        }
    }
    fetchIfPrefetch();
    return true;
}

void dbAnyCursor::remove()
{
    oid_t removedId = currId;
    dbAssert(type == dbCursorForUpdate);
    if (removedId == 0) {
        // Nothing to remove (the walk met a damaged row, or the record is
        // gone): the transaction fails rather than commit without it.
        db->abandonChange(nullptr);
        return;
    }
    settle();
    removing = true;
    if (allRecords) {
        const dbRecord* row = db->isRecord(removedId) ? db->getRow(removedId) : nullptr;
        oid_t next = row != nullptr ? row->next : 0, prev = row != nullptr ? row->prev : 0;
        if (next != 0) {
            if (firstId == removedId) {
                firstId = next;
            }
            currId = next;
        } else if (removedId != firstId && prev != 0) {
            currId = lastId = prev;
            walkPos -= std::min<std::size_t>(walkPos, 1);
        } else {
            firstId = lastId = currId = 0;
        }
        if (selection.nRows > 0) {
            selection.nRows -= 1;
        }
    } else if (dbSelection::segment* seg = selection.curr) {
        std::size_t pos = selection.pos;
        std::copy(seg->rows + pos + 1, seg->rows + seg->nRows, seg->rows + pos);
        seg->nRows -= 1;
        selection.nRows -= 1;
        if (seg->nRows == 0) {
            // The segment is empty: unlink and free it.
            dbSelection::segment* next = seg->next;
            dbSelection::segment* prev = seg->prev;
            (prev != nullptr ? prev->next : selection.first) = next;
            (next != nullptr ? next->prev : selection.last) = prev;
            delete seg;
            seg = next != nullptr ? next : prev;
            pos = next != nullptr ? 0 : (prev != nullptr ? prev->nRows - 1 : 0);
        } else if (pos == seg->nRows) {
            // It was the segment's last id: the next id opens the next
            // segment, or else the cursor steps back.
            if (seg->next != nullptr) {
                seg = seg->next;
                pos = 0;
            } else {
                pos -= 1;
            }
        }
        selection.curr = seg;
        selection.pos = pos;
        currId = seg != nullptr ? seg->rows[pos] : 0;
    } else {
        currId = 0;
    }
    bool ok = db->remove(table, removedId);
    removing = false;
    if (!ok) {
        // The transaction failed and was rolled back: nothing here holds.
        reset();
        return;
    }
    removed = true;
    fetchIfPrefetch();
}

void dbAnyCursor::removeAllSelected()
{
    dbAssert(type == dbCursorForUpdate);
    settle();
    if (allRecords) {
        db->deleteTable(table);
    } else if (selection.nRows == 0) {
        if (currId != 0) {
            db->remove(table, currId);
            currId = 0;
        }
        return;
    } else {
        for (dbSelection::segment* seg = selection.first; seg != nullptr; seg = seg->next) {
            for (std::size_t i = 0; i < seg->nRows; i++) {
                oid_t oid = seg->rows[i];
                // An id met twice, or removed meanwhile through another
                // cursor, is no longer a record: skip it.
                if ((db->getPos(oid) & (dbInternalObjectMarker | dbFreeHandleMarker)) != 0) {
                    continue;
                }
                if (!db->remove(table, oid)) {
                    reset();
                    return;
                }
            }
        }
    }
    reset();
}

void dbAnyCursor::removeAll()
{
    dbAssert(type == dbCursorForUpdate);
    db->deleteTable(table);
    reset();
}

void dbAnyCursor::sort(const dbOrderByNode* order, oid_t first, const dbIntegerOrder* seen)
{
    pendingOrder.clear();
    const bool settled = seen != nullptr && seen->settle(selection);
    if (!settled && first != 0 && selection.nRows >= 2) {
        for (const dbOrderByNode* key = order; key != nullptr; key = key->next) {
            pendingOrder.push_back(*key);
        }
        for (std::size_t i = 0; i < pendingOrder.size(); i++) {
            pendingOrder[i].next = i + 1 < pendingOrder.size() ? &pendingOrder[i + 1] : nullptr;
        }
        pendingFirst = first;
        selection.curr = selection.first;
        selection.pos = 0;
        static const bool hookInstalled = (dbDatabase::changeHook = &dbAnyCursor::rowsChanging, true);
        (void)hookInstalled;
    } else if (!settled) {
        selection.sort(db, order);
    }
    gotoFirst();
}

void dbAnyCursor::sortPending()
{
    selection.sort(db, pendingOrder.data());
    pendingOrder.clear();
    // The id that orders first is alone in its place: the sort puts it first.
    selection.curr = selection.first;
    selection.pos = 0;
}

void dbAnyCursor::rowsChanging(dbDatabase* db)
{
    if (dbDatabaseThreadContext* ctx = db->getContext(false)) {
        for (dbAnyCursor* c : ctx->cursors) {
            c->settle();
        }
    }
}

void dbAnyCursor::recordChanged(dbDatabase* db, oid_t oid, bool removedRecord)
{
    dbDatabaseThreadContext* ctx = db->getContext(false);
    if (ctx == nullptr) {
        return;
    }
    if (removedRecord) {
        ctx->rowTables.erase(oid);
    }
    for (dbAnyCursor* c : ctx->cursors) {
        if (c->currId != oid) {
            continue;
        }
        if (removedRecord) {
            c->currId = 0;
        } else if (c->record != nullptr && !c->updating && !c->removing) {
            c->fetch();
        }
    }
}

// ---------------------------------------------------------------------------

bool dbDatabase::select(dbAnyCursor* cursor)
{
    dbAssert(opened);
    if (!cursor->beginSelect()) {
        return false;
    }
    const dbTable* t = reinterpret_cast<const dbTable*>(get(cursor->table->tableId));
    if (t == nullptr) {
        return false;
    }
    cursor->selectAllRows(t->firstRow, t->lastRow, claimedRows(t));
    return true;
}
