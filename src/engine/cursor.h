// Cursors and selections: a cursor is the application's window on the result
// of a select, either every row of one table (walked along the table's row
// links) or a selection of object ids kept in segments of 1,024 ids, filled
// by a query and optionally sorted by ORDER BY keys. A cursor moves over the
// result, copies the current row into the record object it was given, and,
// when made for update, removes rows.
//
// Callers keep to these rules:
//  - A cursor belongs to the thread that selected through it. An open cursor
//    is registered with that thread's transaction; when the transaction ends
//    (commit, rollback, precommit) the cursor is reset and has no current
//    record. Texts and arrays fetched into the record point into the
//    database file and stay valid only while the transaction lasts.
//  - The record object passed to the constructor outlives the cursor and is
//    an object of the table's class.
//  - Misuse (a null reference, removing through a read-only cursor) is a
//    fatal assertion; a cursor over a table that no open database knows
//    selects nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/class.h"
#include "engine/database.h"
#include "engine/query.h"

enum dbCursorType { dbCursorViewOnly = 0, dbCursorForUpdate = 1 };

// Object ids selected by a query, in segments of `quantum` ids.
class dbSelection {
  public:
    static constexpr std::size_t quantum = 1024;

    struct segment {
        segment* next;
        segment* prev;
        std::size_t nRows;
        oid_t rows[quantum];
    };

    segment* first = nullptr;
    segment* last = nullptr;
    segment* curr = nullptr;  // segment of the current id
    std::size_t nRows = 0;    // ids in every segment together
    std::size_t pos = 0;      // position of the current id in `curr`

    dbSelection() = default;
    ~dbSelection() { clear(); }
    dbSelection(const dbSelection&) = delete;
    dbSelection& operator=(const dbSelection&) = delete;

    // Appends an id, starting a new segment when the last one is full.
    void add(oid_t oid)
    {
        if (last == nullptr || last->nRows == quantum) {
            addSegment();
        }
        last->rows[last->nRows++] = oid;
        nRows += 1;
    }
    // Frees every segment.
    void clear();
    // Reverses the order of the ids.
    void reverse();
    // Orders the ids by the keys (ascending by compare; a key marked
    // descending inverts its comparison). One integer, boolean or reference
    // key sorts in linear time, equal keys in the order the ids had;
    // otherwise the sort is not stable.
    void sort(dbDatabase* db, const dbOrderByNode* order);
    // Compares two stored rows by the keys: negative, 0 or positive.
    static int compare(const byte* a, const byte* b, const dbOrderByNode* order);
    // Compares two stored rows by one field (texts as unsigned bytes).
    static int compareField(const byte* a, const byte* b, const dbFieldDescriptor* fd)
    {
        const byte* p = a + fd->dbsOffs;
        const byte* q = b + fd->dbsOffs;
        switch (fd->type) {
        case dbField::tpBool:
        case dbField::tpInt1:
            return compareValues<std::int8_t>(p, q);
        case dbField::tpInt2:
            return compareValues<std::int16_t>(p, q);
        case dbField::tpInt4:
            return compareValues<std::int32_t>(p, q);
        case dbField::tpInt8:
            return compareValues<std::int64_t>(p, q);
        case dbField::tpReal4:
            return compareValues<float>(p, q);
        case dbField::tpReal8:
            return compareValues<double>(p, q);
        case dbField::tpString:
            return std::strcmp(storedText(a, fd), storedText(b, fd));
        case dbField::tpReference:
            return compareValues<oid_t>(p, q);
        case dbField::tpRawBinary:
            return fd->comparator(p, q, fd->dbsSize);
        default:
            dbAssert(false);
            return 0;
        }
    }

    std::size_t segmentCount() const;

    // Compares two rows by an ORDER BY key that is an expression; set by the
    // expression interpreter on first use, on any thread (hence atomic).
    // Without it, an expression key is fatal.
    static inline std::atomic<int (*)(const byte* a, const byte* b, const dbOrderByNode* key)> compareExpressionKey =
        nullptr;

  private:
    void addSegment();
    // The sort by one integer, boolean or reference field; false (nothing
    // done) for any other order.
    bool sortByIntegerKey(dbDatabase* db, const dbOrderByNode* order);
    template <class T>
    static int compareValues(const byte* a, const byte* b)
    {
        T x, y;
        std::memcpy(&x, a, sizeof(T));
        std::memcpy(&y, b, sizeof(T));
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    // Text of a stored string field: {count, offset from the row's start}.
    static const char* storedText(const byte* row, const dbFieldDescriptor* fd)
    {
        std::uint32_t offs;
        std::memcpy(&offs, row + fd->dbsOffs + sizeof(std::uint32_t), sizeof(offs));
        return reinterpret_cast<const char*>(row + offs);
    }
};

// Watches rows as a scan adds them and keeps the one that orders before all
// the others, while no other compares equal to it. Only field keys are
// followed (an expression key makes it give up); the rows seen must stay
// where they are until unique() is asked.
class dbFirstInOrder {
  public:
    explicit dbFirstInOrder(const dbOrderByNode* order);
    void see(oid_t id, const byte* row)
    {
        seen += 1;
        int diff = -1;
        if (bestRow != nullptr && onlyKey != nullptr) {
            diff = dbSelection::compareField(row, bestRow, onlyKey->field);
            diff = onlyKey->ascent ? diff : -diff;
        } else if (bestRow != nullptr) {
            diff = dbSelection::compare(row, bestRow, order);
        }
        if (diff < 0) {
            best = id;
            bestRow = row;
            tied = false;
        } else if (diff == 0) {
            tied = true;
        }
    }
    bool watching() const { return order != nullptr; }
    // The first row when it is alone in its place and `total` rows were
    // seen; else 0.
    oid_t unique(std::size_t total) const { return !tied && seen == total ? best : 0; }

  private:
    const dbOrderByNode* order;
    const dbOrderByNode* onlyKey = nullptr;  // the key when there is one
    oid_t best = 0;
    const byte* bestRow = nullptr;
    std::size_t seen = 0;
    bool tied = false;
};

// The keys of an ORDER BY of one integer, boolean or reference field, noted
// row by row while the rows are at hand (a scan's walk, or the sort's own
// pass over the selection), so that the order costs no second pass over
// rows spread through the file: none at all when the rows came in that
// order already. The caller notes every selected row, in the selection's
// order, before it settles or sorts the selection.
class dbIntegerOrder {
  public:
    explicit dbIntegerOrder(const dbOrderByNode* order);
    // Whether the order is of that kind; for any other, the rest does nothing.
    bool applies() const { return field != nullptr; }
    void reserve(std::size_t rows);
    void see(oid_t id, const byte* row);
    // Puts the selection in the asked order when the keys noted show that
    // it has it already, or has exactly the opposite one (no two keys
    // equal); false, with nothing done, for any other order, or when the
    // rows noted are not those of the selection.
    bool settle(dbSelection& selection) const;
    // Puts the selection (the rows noted) in the asked order, rows of equal
    // keys in the order they had.
    void sort(dbSelection& selection);

  private:
    template <class Key>
    struct Keyed {
        Key key;  // orders as the field's value does in the asked direction
        oid_t oid;
    };
    template <class Key>
    bool settle(const std::vector<Keyed<Key>>& keys, dbSelection& selection) const;
    template <class Key>
    void sort(std::vector<Keyed<Key>>& keys, dbSelection& selection);

    const dbFieldDescriptor* field = nullptr;
    bool ascent = true;
    bool wide = false;  // 8-byte keys
    std::vector<Keyed<std::uint32_t>> narrowKeys;
    std::vector<Keyed<std::uint64_t>> wideKeys;
};

class dbAnyCursor {
  public:
    static constexpr std::size_t defaultLimit = 2000000000;

    // record: the object fetch fills (null: the cursor never fetches).
    dbAnyCursor(dbTableDescriptor& table, dbCursorType type, byte* record);
    virtual ~dbAnyCursor();
    dbAnyCursor(const dbAnyCursor&) = delete;
    dbAnyCursor& operator=(const dbAnyCursor&) = delete;

    // Back to idle: no selection, no current record, not registered.
    void reset();
    // Makes the cursor hold exactly the record ref (registering it with the
    // thread's transaction) and fetches it when prefetch is on. False when
    // ref names no record of the cursor's table; the cursor is then empty.
    bool at(oid_t ref);

    // Moves. Each returns false when there is nowhere to go (the cursor then
    // stays); with prefetch on a successful move fetches the new record.
    virtual bool gotoFirst();
    virtual bool gotoNext();
    virtual bool gotoPrev();

    // Copies the current record into the record object. False when the row
    // is damaged (fetched as empty values, reported by the database).
    bool fetch();
    // Removes the current record (update cursors only); the cursor moves to
    // the next record, else the previous one, else has none.
    void remove();
    // Removes every selected record (update cursors only) and resets.
    void removeAllSelected();
    // Removes every record of the table (update cursors only) and resets.
    void removeAll();

    // Appends an id to the selection (unless the limit is reached or, with
    // duplicate elimination, the id is already there). True while the
    // count stays below the limit.
    bool add(oid_t oid)
    {
        settle();
        if (selection.nRows >= limit) {
            return false;
        }
        if (!eliminateDuplicates || markSelected(oid)) {
            selection.add(oid);
        }
        return selection.nRows < limit;
    }
    // Turns on duplicate elimination for the next adds.
    void checkForDuplicates();

    std::size_t getNumberOfRecords() const { return selection.nRows; }
    bool isEmpty() const { return selection.nRows == 0; }
    oid_t getOid() const { return currId; }
    bool isRemoved() const { return removed; }
    bool isAllRecords() const { return allRecords; }
    bool isUpdateCursor() const { return type == dbCursorForUpdate; }
    bool isLimitReached() const { return selection.nRows >= limit; }
    void setLimit(std::size_t n) { limit = n; }
    std::size_t getLimit() const { return limit; }
    void setPrefetchMode(bool on) { prefetch = on; }
    bool getPrefetchMode() const { return prefetch; }
    dbDatabase* getDatabase() const { return db; }
    dbTableDescriptor* getTable() const { return table; }
    const dbSelection& getSelection()
    {
        settle();
        return selection;
    }

    // Sorts the selection (see dbSelection::sort); the cursor goes to the
    // first id afterwards. `first`, when not 0, is the selected row that
    // orders before all others (see dbFirstInOrder): the cursor stands on it
    // and the sort waits until the cursor moves on (or a row of the thread's
    // transaction is about to change), so that reading only the first row
    // costs no sort, and every reader still sees the order the sort gives.
    // `seen`, when given, holds the keys of every selected row (see
    // dbIntegerOrder): an order they show settled needs no sort at all.
    void sort(const dbOrderByNode* order, oid_t first = 0, const dbIntegerOrder* seen = nullptr);

    // Starts a select: resolves the database, registers the cursor with the
    // thread's transaction, taken shared or (update cursors) exclusive.
    // False when the transaction cannot begin.
    bool beginSelect();
    // Select-all mode over the table's row list (used by dbDatabase::select).
    void selectAllRows(oid_t firstRow, oid_t lastRow, std::size_t nRows);

    // Resets every cursor of a thread's list and empties the list; the
    // database calls it when the thread's transaction ends.
    static void transactionEnded(std::vector<dbAnyCursor*>& cursors);

  protected:
    // The calling thread's cursor list of this cursor's database.
    std::vector<dbAnyCursor*>* threadCursors(bool create) const;
    void link();
    void unlink();
    // Forgets the selection and the current record.
    void clear();
    // Runs a sort that was put off; the cursor stays on the first id.
    void settle()
    {
        if (!pendingOrder.empty()) {
            sortPending();
        }
    }
    void sortPending();
    // Called (through dbDatabase::changeHook) before an update or remove:
    // the thread's cursors sort what they put off while the rows still hold
    // the values they were selected with.
    static void rowsChanging(dbDatabase* db);
    void fetchIfPrefetch();
    // Marks an id as selected in the duplicate bitmap; false when it was.
    bool markSelected(oid_t oid);
    // Whether row ref is in the list of the cursor's table.
    bool inTable(oid_t ref) const;
    // One row forward or back (see gotoNext, gotoPrev).
    bool step(bool forward);
    std::size_t tableRows() const;
    bool walkMayGo(bool forward, oid_t to);
    // Called (through dbDatabase::cursorHook) for every record an update
    // or remove changes: cursors of this thread standing on it refetch or
    // lose it.
    static void recordChanged(dbDatabase* db, oid_t oid, bool removed);
    friend class dbDatabase;

    dbDatabase* db;
    dbTableDescriptor* table;
    dbCursorType type;
    dbSelection selection;
    // The keys of a put-off sort (copies, linked in order; empty when none)
    // and the id that orders first.
    std::vector<dbOrderByNode> pendingOrder;
    oid_t pendingFirst = 0;
    bool allRecords = false;
    oid_t firstId = 0;
    oid_t lastId = 0;
    oid_t currId = 0;
    // Select-all walks: position from the first row, and the loop check
    // (steps in the present direction, the row marked after a power of two).
    std::size_t walkPos = 0;
    std::size_t walkSteps = 0;
    bool walkForward = true;
    oid_t loopMark = 0;
    byte* record;
    std::size_t limit = defaultLimit;
    std::uint32_t* bitmap = nullptr;  // duplicate elimination, one bit per id
    std::size_t bitmapSize = 0;       // in words
    bool eliminateDuplicates = false;
    bool prefetch = true;
    bool removed = false;
    bool removing = false;
    bool updating = false;  // the record object is being stored: no refetch
    bool linked = false;
};
