// Record operations: insert, update, remove and fetch of rows, deleting a
// table, and the back references of inverse reference fields. Every change
// works inside the calling thread's exclusive transaction and through the
// storage's copy on write, so a rollback or a crash returns to the last
// committed state.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "engine/class.h"
#include "engine/hashtab.h"
#include "engine/radixsort.h"
#include "engine/ttree.h"

struct dbDatabase::RemovalLink {
    oid_t oid;
    RemovalLink* next;
};

namespace {

// A zeroed application object of a table's class, for rewriting rows the
// caller did not pass (back references). Frees the arrays it owns.
class TempRecord {
  public:
    explicit TempRecord(dbTableDescriptor* t) : table(t), data(t->appSize + 16, 0) {}
    ~TempRecord()
    {
        if (filled) {
            dbFieldDescriptor::clearRecordFields(table->columns, get());
        }
    }
    byte* get() { return data.data(); }
    dbTableDescriptor* table;
    std::vector<byte> data;
    bool filled = false;
};

// A zeroed work buffer in the caller's frame, from the heap when large.
class SmallBuffer {
  public:
    explicit SmallBuffer(std::size_t size)
    {
        if (size > sizeof local) {
            heap.reset(new byte[size]);
        }
        std::memset(get(), 0, size);
    }
    byte* get() { return heap ? heap.get() : local; }

  private:
    alignas(8) byte local[512];
    std::unique_ptr<byte[]> heap;
};

const char* const invalidRecord = dbDatabase::invalidRecordText;
const char* const invalidIndex = dbDatabase::invalidIndexText;

thread_local std::uint64_t damageMet = 0;  // see dbDamageMetByThisThread

oid_t readOid(const byte* p)
{
    oid_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

// The record operations' helpers; a friend of dbDatabase.
struct dbRecordOps {
    // Whether row oid is a record of at least the table's fixed size whose
    // varying parts all lie inside it.
    static bool validRow(dbDatabase* db, dbTableDescriptor* table, oid_t oid)
    {
        const dbRecord* row = db->findRecord(oid);
        return row != nullptr && row->size >= table->fixedSize &&
               dbFieldDescriptor::checkRecord(table->columns, reinterpret_cast<const byte*>(row), 0, row->size);
    }

    // Runs one change of field fd's index (false: it failed). A broken index
    // takes no changes, and damage met now marks it broken.
    template <class Change>
    static void changeIndex(dbDatabase* db, dbFieldDescriptor* fd, Change&& change)
    {
        if (fd->indexBroken) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidIndex);
            throw dbTransactionFailed{};
        }
        dbIndexWatch watch(db, fd);
        if (!change()) {
            throw dbTransactionFailed{};
        }
    }

    static void addKeys(dbDatabase* db, dbTableDescriptor* table, oid_t oid, std::size_t nRows, bool onlyUpdated)
    {
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            if ((!onlyUpdated || (fd->attr & dbFieldDescriptor::Updated)) && fd->hashTable != 0) {
                changeIndex(db, fd, [&] {
                    return dbHashTable::insert(db, fd->hashTable, oid, fd->type, fd->dbsSize, fd->dbsOffs, nRows);
                });
            }
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            if ((!onlyUpdated || (fd->attr & dbFieldDescriptor::Updated)) && fd->tTree != 0) {
                changeIndex(db, fd, [&] {
                    return dbTtree::insert(db, fd->tTree, oid, fd->type, fd->dbsSize, fd->comparator, fd->dbsOffs);
                });
            }
        }
    }

    static void removeKeys(dbDatabase* db, dbTableDescriptor* table, oid_t oid, bool onlyUpdated)
    {
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            if ((!onlyUpdated || (fd->attr & dbFieldDescriptor::Updated)) && fd->hashTable != 0) {
                changeIndex(db, fd, [&] {
                    return dbHashTable::remove(db, fd->hashTable, oid, fd->type, fd->dbsSize, fd->dbsOffs);
                });
            }
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            if ((!onlyUpdated || (fd->attr & dbFieldDescriptor::Updated)) && fd->tTree != 0) {
                changeIndex(db, fd, [&] {
                    return dbTtree::remove(db, fd->tTree, oid, fd->type, fd->dbsSize, fd->comparator, fd->dbsOffs);
                });
            }
        }
    }

    // Whether row oid already holds exactly what storing the application
    // object would write: same size, same bytes after the row header. Such
    // an update changes nothing (its back references and keys included).
    static bool storedAsIs(dbDatabase* db, dbTableDescriptor* table, oid_t oid, const byte* obj)
    {
        if (!validRow(db, table, oid)) {
            return false;  // the rewrite reports it
        }
        const dbRecord* row = db->getRow(oid);
        const std::size_t size = table->recordSize(obj);
        if (row->size != size) {
            return false;
        }
        SmallBuffer packed(size);
        std::memcpy(packed.get(), row, sizeof(dbRecord));
        dbFieldDescriptor::storeRecordFields(table->columns, packed.get(), obj, table->fixedSize);
        return std::memcmp(packed.get(), row, size) == 0;
    }

    // Rewrites row oid from an application object: new area when needed
    // (a committed row always moves), indexes touched only for the indexed
    // fields whose value changed; with `inverse`, the back references of
    // the record's inverse fields follow the change.
    static void rewrite(dbDatabase* db, dbTableDescriptor* table, oid_t oid, const byte* obj, bool inverse)
    {
        // A row reached through a broken list may be no row of this table
        // (another table's, a table descriptor): nothing is written there.
        if (table->rowListBroken || !validRow(db, table, oid)) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidRecord);
            throw dbTransactionFailed{};
        }
        // Back references first: rewriting a target of the same table uses
        // the same descriptors' change marks.
        if (inverse && table->inverseFields != nullptr) {
            struct Updating {
                dbDatabase* db;
                oid_t saved;
                ~Updating() { db->updatedRecordId = saved; }
            } updating{db, db->updatedRecordId};
            db->updatedRecordId = oid;
            for (dbFieldDescriptor* fd = table->inverseFields; fd != nullptr; fd = fd->nextInverseField) {
                updateInverse(db, fd, oid, db->get(oid), obj);
            }
        }
        const byte* old = db->get(oid);
        std::size_t newSize = table->recordSize(obj);
        bool anyChanged = false;
        for (dbFieldDescriptor* fd = table->firstField; fd != nullptr; fd = fd->nextField) {
            fd->attr &= ~dbFieldDescriptor::Updated;
            if ((fd->indexType & (dbHashed | dbIndexed)) && fd->type != dbField::tpStructure &&
                !(fd->attr & dbFieldDescriptor::ComponentOfArray) && fd->type != dbField::tpArray &&
                fd->differs(old, obj)) {
                fd->attr |= dbFieldDescriptor::Updated;
                anyChanged = true;
            }
        }
        if (anyChanged) {
            removeKeys(db, table, oid, true);
        }
        const byte* before = db->get(oid);
        dbRecord* row = db->putRow(oid, newSize);
        if (row == nullptr) {
            throw dbTransactionFailed{};
        }
        byte* dst = reinterpret_cast<byte*>(row);
        if (dst == before) {
            // In place: the object's texts may point into this very row, so
            // the new contents are packed aside first.
            SmallBuffer buffer(newSize);
            std::memcpy(buffer.get(), dst, sizeof(dbRecord));
            dbFieldDescriptor::storeRecordFields(table->columns, buffer.get(), obj, table->fixedSize);
            std::memcpy(dst, buffer.get(), newSize);
        } else {
            std::memset(dst + sizeof(dbRecord), 0, newSize - sizeof(dbRecord));
            dbFieldDescriptor::storeRecordFields(table->columns, dst, obj, table->fixedSize);
        }
        if (anyChanged) {
            addKeys(db, table, oid, 0, true);
            for (dbFieldDescriptor* fd = table->firstField; fd != nullptr; fd = fd->nextField) {
                fd->attr &= ~dbFieldDescriptor::Updated;
            }
        }
        db->updateCursors(oid, false);
    }

    // The references an inverse field holds in a stored row, or in an
    // application object.
    static std::vector<oid_t> storedRefs(const dbFieldDescriptor* fd, const byte* row)
    {
        std::vector<oid_t> refs;
        const byte* p = row + fd->dbsOffs;
        if (fd->type == dbField::tpReference) {
            refs.push_back(readOid(p));
        } else {
            dbVarying v;
            std::memcpy(&v, p, sizeof v);
            for (std::uint32_t i = 0; i < v.size; i++) {
                refs.push_back(readOid(row + v.offs + i * sizeof(oid_t)));
            }
        }
        return refs;
    }

    static std::vector<oid_t> objectRefs(const dbFieldDescriptor* fd, const byte* obj)
    {
        std::vector<oid_t> refs;
        const byte* p = obj + fd->appOffs;
        if (fd->type == dbField::tpReference) {
            refs.push_back(readOid(p));
        } else {
            const dbAnyArray* arr = reinterpret_cast<const dbAnyArray*>(p);
            const byte* items = static_cast<const byte*>(arr->base());
            for (std::size_t i = 0; i < arr->length(); i++) {
                refs.push_back(readOid(items + i * sizeof(oid_t)));
            }
        }
        return refs;
    }

    static void updateInverse(dbDatabase* db, dbFieldDescriptor* fd, oid_t oid, const byte* row, const byte* obj)
    {
        std::vector<oid_t> before = storedRefs(fd, row);
        std::vector<oid_t> after = objectRefs(fd, obj);
        auto contains = [](const std::vector<oid_t>& list, oid_t id) {
            return std::find(list.begin(), list.end(), id) != list.end();
        };
        for (oid_t target : before) {
            if (target != 0 && !contains(after, target)) {
                removeInverseReference(db, fd, target, oid);
            }
        }
        for (oid_t target : after) {
            if (target != 0 && !contains(before, target)) {
                insertInverseReference(db, fd, target, oid);
            }
        }
    }

    // Reads target into a temporary object of its class; false when the
    // target is not a sound record of that class.
    static bool fetchTarget(dbDatabase* db, dbTableDescriptor* table, oid_t target, TempRecord& tmp)
    {
        if (!validRow(db, table, target)) {
            return false;
        }
        dbFieldDescriptor::fetchRecordFields(table->columns, tmp.get(), db->get(target));
        tmp.filled = true;
        return true;
    }

    static void insertInverseReference(dbDatabase* db, dbFieldDescriptor* fd, oid_t target, oid_t source)
    {
        dbFieldDescriptor* inv = fd->inverseRef;
        if (target == source || inv == nullptr) {
            return;
        }
        dbTableDescriptor* targetTable = inv->defTable;
        TempRecord tmp(targetTable);
        if (!fetchTarget(db, targetTable, target, tmp)) {
            return;
        }
        byte* p = tmp.get() + inv->appOffs;
        if (inv->type == dbField::tpReference) {
            std::memcpy(p, &source, sizeof source);
        } else {
            dbAnyArray* arr = reinterpret_cast<dbAnyArray*>(p);
            std::vector<oid_t> ids = objectRefs(inv, tmp.get());
            ids.push_back(source);
            inv->arraySetter(arr, nullptr, ids.size(), sizeof(oid_t));
            std::memcpy(arr->base(), ids.data(), ids.size() * sizeof(oid_t));
        }
        rewrite(db, targetTable, target, tmp.get(), false);
    }

    static bool beingRemoved(dbDatabase* db, oid_t oid)
    {
        for (dbDatabase::RemovalLink* l = db->removalChain; l != nullptr; l = l->next) {
            if (l->oid == oid) {
                return true;
            }
        }
        return false;
    }

    static void removeInverseReference(dbDatabase* db, dbFieldDescriptor* fd, oid_t target, oid_t source)
    {
        dbFieldDescriptor* inv = fd->inverseRef;
        if (target == source || target == db->updatedRecordId || inv == nullptr || db->get(target) == nullptr ||
            beingRemoved(db, target)) {
            return;
        }
        dbTableDescriptor* targetTable = inv->defTable;
        TempRecord tmp(targetTable);
        if (!fetchTarget(db, targetTable, target, tmp)) {
            return;
        }
        std::vector<oid_t> ids = objectRefs(inv, tmp.get());
        if ((fd->indexType & dbOwner) && (inv->type == dbField::tpReference || ids.size() < 2)) {
            removeRecord(db, targetTable, target);
            return;
        }
        byte* p = tmp.get() + inv->appOffs;
        if (inv->type == dbField::tpReference) {
            if (readOid(p) != source) {
                return;
            }
            oid_t none = 0;
            std::memcpy(p, &none, sizeof none);
        } else {
            auto it = std::find(ids.begin(), ids.end(), source);
            if (it == ids.end()) {
                return;
            }
            ids.erase(it);
            dbAnyArray* arr = reinterpret_cast<dbAnyArray*>(p);
            inv->arraySetter(arr, nullptr, ids.size(), sizeof(oid_t));
            if (!ids.empty()) {
                std::memcpy(arr->base(), ids.data(), ids.size() * sizeof(oid_t));
            }
        }
        rewrite(db, targetTable, target, tmp.get(), false);
    }

    static void removeInverseReferences(dbDatabase* db, dbTableDescriptor* table, oid_t oid)
    {
        if (table->inverseFields == nullptr || !validRow(db, table, oid)) {
            return;
        }
        dbDatabase::RemovalLink link{oid, db->removalChain};
        db->removalChain = &link;
        try {
            for (dbFieldDescriptor* fd = table->inverseFields; fd != nullptr; fd = fd->nextInverseField) {
                std::vector<oid_t> refs = storedRefs(fd, db->get(oid));
                for (auto it = refs.rbegin(); it != refs.rend(); ++it) {
                    if (*it != 0) {
                        removeInverseReference(db, fd, *it, oid);
                    }
                }
            }
        } catch (...) {
            db->removalChain = link.next;
            throw;
        }
        db->removalChain = link.next;
    }

    [[noreturn]] static void damaged(dbDatabase* db)
    {
        damageMet += 1;
        if (dbIndexWatch* watch = dbIndexWatch::current(db)) {
            watch->met();
        }
        if (!db->txnFailed) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidIndex);
            if (db->modified) {
                db->failTransaction();
            }
        }
        throw dbTransactionFailed{};
    }

    // A change that links into the table's row list and every index of it,
    // refused when a walk found that list broken or an index is broken.
    static void mayRelink(dbDatabase* db, dbTableDescriptor* table)
    {
        if (table->rowListBroken) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidRecord);
            throw dbTransactionFailed{};
        }
        bool broken = false;
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            broken |= fd->indexBroken;
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            broken |= fd->indexBroken;
        }
        if (broken) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidIndex);
            throw dbTransactionFailed{};
        }
    }

    static void removeRecord(dbDatabase* db, dbTableDescriptor* table, oid_t oid)
    {
        mayRelink(db, table);
        removeInverseReferences(db, table, oid);
        if (validRow(db, table, oid)) {
            removeKeys(db, table, oid, false);
        }
        db->freeRow(table->tableId, oid);
        if (db->transactionFailed()) {
            throw dbTransactionFailed{};
        }
        db->updateCursors(oid, true);
    }
};

// The rows of every table while the indexes are checked: each check of an
// index takes every row of its table once (add refuses an id that is no row
// of the table or was taken before in the same check).
namespace {

class dbCheckedRows : public dbSearchSink {
  public:
    explicit dbCheckedRows(std::size_t indexSize) : marks(indexSize, 0) {}

    // Takes table number `table` (from 1) along its row list; false when the
    // list is not whole (a row damaged, met before in this list or in one
    // taken before, or not linked back to the row before it, a count or end
    // that differs from the table's): a link that leaves the table, into
    // another table's rows, onto a table descriptor or onto no row, is
    // found so. A list that is not whole takes no row: the rows it met stay
    // free for the lists they belong to. The keys of the table's indexes are
    // read on the way, while each row is at hand (see rowkeys.h), so that
    // the indexes' checks need not read the rows again.
    bool walk(dbDatabase* db, dbTableDescriptor* table, std::uint16_t number)
    {
        const auto* meta = reinterpret_cast<const dbTable*>(dbMustGet(db, table->tableId, 0));
        // Each row taken was checked on the way: the same steps lead through
        // them again.
        auto giveBack = [&] {
            for (oid_t id = meta->firstRow; id != 0 && id < marks.size() && ownerOf(marks[id]) == number;
                 id = db->getRow(id)->next) {
                marks[id] = 0;
            }
        };
        bool whole = false;
        try {
            whole = walkList(db, table, meta, number);
        } catch (...) {
            giveBack();
            throw;
        }
        if (!whole) {
            giveBack();
        }
        return whole;
    }

  private:
    // The walk itself: each row it takes is marked as the table's.
    bool walkList(dbDatabase* db, dbTableDescriptor* table, const dbTable* meta, std::uint16_t number)
    {
        const std::size_t count = db->claimedRows(meta);
        std::vector<std::pair<const dbFieldDescriptor*, std::vector<dbRowHash>*>> hashed;
        for (const dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            if (fd->hashTable != 0) {
                hashed.emplace_back(fd, &startList(codes[fd], count));
            }
        }
        std::vector<std::pair<const dbFieldDescriptor*, std::vector<dbRowKeyPrefix>*>> keyed;
        for (const dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            if (fd->tTree != 0 && fd->type == dbField::tpString) {
                keyed.emplace_back(fd, &startList(prefixes[fd], count));
            }
        }
        std::size_t total = 0;
        oid_t previous = 0;
        bool ascending = true;
        for (oid_t id = meta->firstRow; id != 0; total++) {
            if (total >= count || !dbRecordOps::validRow(db, table, id) || ownerOf(marks[id]) != 0 ||
                db->getRow(id)->prev != previous) {
                return false;
            }
            marks[id] = std::uint32_t(number) << 16;
            db->prefetchRowAhead(id, previous);
            const byte* row = db->get(id);
            for (const auto& [fd, list] : hashed) {
                const dbKeyBytes key = dbRecordKey(row, fd->type, fd->dbsSize, fd->dbsOffs);
                list->push_back({id, dbHashTable::hashCode(key.data, key.size)});
            }
            for (const auto& [fd, list] : keyed) {
                list->push_back({id, dbTextPrefix::of(dbRecordKey(row, fd->type, fd->dbsSize, fd->dbsOffs))});
            }
            ascending = ascending && id > previous;
            previous = id;
            id = db->getRow(id)->next;
        }
        if (!ascending) {
            for (const auto& [fd, list] : hashed) {
                dbSortMostlyOrdered(*list, [](const dbRowHash& r) { return r.row; });
            }
            for (const auto& [fd, list] : keyed) {
                dbSortMostlyOrdered(*list, [](const dbRowKeyPrefix& r) { return r.row; });
            }
        }
        if (totals.size() <= number) {
            totals.resize(number + 1u, 0);
        }
        totals[number] = total;
        return total == count && previous == meta->lastRow;
    }

  public:
    // The hash codes of the keys of hashed field fd, and the prefixes of
    // those of text T-tree field fd, of every row of its table, by ascending
    // id, as the walk read them; null when it read none.
    const std::vector<dbRowHash>* codesOf(const dbFieldDescriptor* fd) const { return listOf(codes, fd); }
    const std::vector<dbRowKeyPrefix>* prefixesOf(const dbFieldDescriptor* fd) const { return listOf(prefixes, fd); }
    // Starts the check of an index of table `number`.
    void restart(std::uint16_t number)
    {
        table = number;
        if (++check > checkMask) {  // the numbers start over: no row is taken by any check
            for (std::uint32_t& m : marks) {
                m &= ~checkMask;
            }
            check = 1;
        }
        count = 0;
    }
    bool add(oid_t id) override
    {
        if (id >= marks.size()) {
            return false;
        }
        std::uint32_t& m = marks[id];
        if (ownerOf(m) != table || (m & checkMask) == check) {
            return false;
        }
        m = (m & ~checkMask) | check;
        count += 1;
        return true;
    }
    // Whether the check took every row of its table.
    bool allTaken() const { return count == totals[table]; }

  private:
    template <class Item>
    static std::vector<Item>& startList(std::vector<Item>& list, std::size_t count)
    {
        list.clear();
        list.reserve(count);
        return list;
    }
    template <class Item>
    static const std::vector<Item>* listOf(const std::map<const dbFieldDescriptor*, std::vector<Item>>& lists,
                                           const dbFieldDescriptor* fd)
    {
        const auto it = lists.find(fd);
        return it != lists.end() ? &it->second : nullptr;
    }

    static constexpr std::uint32_t checkMask = 0xFFFF;
    static std::uint16_t ownerOf(std::uint32_t mark) { return std::uint16_t(mark >> 16); }
    // By id, in one word so that a row's check reads one place: the number
    // of the table whose row it is (high half, 0 for none) and the last
    // check that took it (low half).
    std::vector<std::uint32_t> marks;
    std::vector<std::size_t> totals;   // by table number: its rows
    std::map<const dbFieldDescriptor*, std::vector<dbRowHash>> codes;
    std::map<const dbFieldDescriptor*, std::vector<dbRowKeyPrefix>> prefixes;
    std::uint16_t table = 0;
    std::uint32_t check = 0;
    std::size_t count = 0;
};

// Runs one step of the check of the tables: false when it met damage. A
// failure to allocate inside it (room for what a damaged count or link
// claims) is damage of what was being checked, reported as such.
template <class Step>
bool checkStep(dbDatabase* db, const char* damage, Step&& step)
{
    try {
        return dbGuarded(db, step);
    } catch (const std::bad_alloc&) {
        db->handleError(dbDatabase::DatabaseOpenError, damage);
        return false;
    }
}

}  // namespace

struct dbDatabase::DamagedIndex {
    dbTableDescriptor* table;
    dbFieldDescriptor* field;
};

namespace {

// What the checks of one field's indexes found, sound or not.
struct FieldFindings {
    dbTableDescriptor* table = nullptr;
    dbFieldDescriptor* field = nullptr;
    std::vector<oid_t> keyChanged;  // by the hash index: rows filed under another key only
    std::vector<oid_t> keyFiled;    // by the hash index: rows filed under the key they hold (sorted)
    std::vector<oid_t> outOfOrder;  // by the T-tree: rows out of key order
};

FieldFindings& findingsOf(std::vector<FieldFindings>& all, dbTableDescriptor* table, dbFieldDescriptor* fd)
{
    auto it = std::find_if(all.begin(), all.end(), [&](const FieldFindings& f) { return f.field == fd; });
    if (it != all.end()) {
        return *it;
    }
    FieldFindings& f = all.emplace_back();
    f.table = table;
    f.field = fd;
    return f;
}

bool contains(const std::vector<oid_t>& ids, oid_t id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The rows whose keys disagree with what the field's indexes still show,
// whatever other damage the indexes have. A hash item keeps its key's hash,
// a T-tree item nothing of its key: a row out of the tree's order counts as
// changed unless the hash index shows it filed under the key it holds (then
// the tree's item was moved, and the tree is merely damaged: *treeMoved).
std::vector<oid_t> changedRowsOf(const FieldFindings& f, bool* treeMoved)
{
    std::vector<oid_t> changed = f.keyChanged;
    *treeMoved = false;
    for (oid_t id : f.outOfOrder) {
        if (std::binary_search(f.keyFiled.begin(), f.keyFiled.end(), id)) {
            *treeMoved = true;
        } else if (!contains(changed, id)) {
            changed.push_back(id);
        }
    }
    return changed;
}

}  // namespace

dbDatabase::dbIndexRepair dbDatabase::checkTables(std::vector<DamagedIndex>* damaged,
                                                  std::vector<dbChangedRow>* changedRows)
{
    if (!beginTransaction(dbSharedLock)) {
        return dbIndexesDamaged;
    }
    checkTimes = {};
    using Clock = std::chrono::steady_clock;
    auto secondsSince = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    auto startStep = [&] {
        if (beforeCheckStep) {
            beforeCheckStep();
        }
        return Clock::now();
    };
    Clock::time_point start = startStep();
    dbCheckedRows rows(currIndexSize);
    std::vector<dbTableDescriptor*> whole;
    bool rowsDamaged = false;
    std::uint16_t number = 0;
    for (dbTableDescriptor* table = tables; table != nullptr; table = table->nextDbTable) {
        bool walked = false;
        number += 1;
        const bool read = checkStep(this, invalidRecordText, [&] { walked = rows.walk(this, table, number); });
        if (read && walked) {
            whole.push_back(table);
        } else if (read) {
            rowsDamaged = true;
            rowListBroken(table);
        } else {
            rowsDamaged = true;
            table->rowListBroken = true;  // its descriptor row is damaged, reported as the walk met it
        }
    }
    checkTimes.rows = secondsSince(start);
    bool indexesDamaged = false;
    auto markDamaged = [&](dbTableDescriptor* table, dbFieldDescriptor* fd) {
        indexesDamaged = true;
        if (damaged != nullptr && std::none_of(damaged->begin(), damaged->end(),
                                               [&](const DamagedIndex& d) { return d.field == fd; })) {
            damaged->push_back({table, fd});
        }
    };
    // Each index's own check reports what it finds; rows it left out are
    // reported here.
    auto check = [&](dbTableDescriptor* table, dbFieldDescriptor* fd, bool hash, auto&& checkIndex) {
        start = startStep();
        const bool sound = checkStep(this, invalidIndexText, [&] {
            dbIndexWatch watch(this, fd);
            if (!checkIndex()) {
                throw dbTransactionFailed{};  // reported where it was met
            }
            if (!rows.allTaken()) {
                dbDamaged(this);
            }
        });
        checkTimes.indexes.push_back({fd, hash, secondsSince(start)});
        if (!sound) {
            markDamaged(table, fd);
        }
        return sound;
    };
    std::vector<FieldFindings> findings;
    number = 0;
    for (dbTableDescriptor* table = tables; table != nullptr; table = table->nextDbTable) {
        number += 1;
        if (std::find(whole.begin(), whole.end(), table) == whole.end()) {
            continue;
        }
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            if (fd->hashTable != 0) {
                FieldFindings& f = findingsOf(findings, table, fd);
                check(table, fd, true, [&] {
                    rows.restart(number);
                    return dbHashTable::check(this, fd->hashTable, fd->type, fd->dbsSize, fd->dbsOffs, rows,
                                              rows.codesOf(fd), f.keyChanged, f.keyFiled);
                });
            }
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            if (fd->tTree != 0) {
                FieldFindings& f = findingsOf(findings, table, fd);
                check(table, fd, false, [&] {
                    rows.restart(number);
                    return dbTtree::check(this, fd->tTree, fd->type, fd->dbsSize, fd->comparator, fd->dbsOffs,
                                          rows, rows.prefixesOf(fd), f.outOfOrder);
                });
            }
        }
    }
    // Keys that disagree with what the indexes show: the field's indexes
    // are rebuilt all the same, and the rows are told as possibly changed.
    for (const FieldFindings& f : findings) {
        bool treeMoved = false;
        const std::vector<oid_t> changed = changedRowsOf(f, &treeMoved);
        if (changed.empty() && !treeMoved) {
            continue;
        }
        f.field->indexBroken = true;
        handleError(DatabaseOpenError, invalidIndexText);
        markDamaged(f.table, f.field);
        for (oid_t id : changed) {
            if (changedRows != nullptr &&
                std::none_of(changedRows->begin(), changedRows->end(), [&](const dbChangedRow& r) { return r.oid == id; })) {
                changedRows->push_back({f.table, id});
            }
        }
    }
    return rowsDamaged ? dbRowsDamaged : indexesDamaged ? dbIndexesDamaged : dbIndexesSound;
}

bool dbDatabase::checkIndexes()
{
    return checkTables(nullptr, nullptr) == dbIndexesSound;
}

bool dbDatabase::rebuildIndexes(const std::vector<DamagedIndex>& damaged, const std::function<void()>& beforeCommit)
{
    struct Ids {
        oid_t hash, tree;
    };
    std::vector<Ids> before;
    for (const DamagedIndex& d : damaged) {
        before.push_back({d.field->hashTable, d.field->tTree});
    }
    bool ok = beginTransaction(dbExclusiveLock) && dbGuarded(this, [&] {
        for (const DamagedIndex& d : damaged) {
            if (d.field->hashTable != 0) {
                d.field->hashTable = buildIndex(d.table, d.field, true);
            }
            if (d.field->tTree != 0) {
                d.field->tTree = buildIndex(d.table, d.field, false);
            }
            storeIndexIds(d.table, d.field);
        }
    });
    if (ok && beforeCommit) {
        beforeCommit();
    }
    ok = ok ? commit() : (rollback(), false);
    for (std::size_t i = 0; i < damaged.size(); i++) {
        if (!ok) {
            damaged[i].field->hashTable = before[i].hash;
            damaged[i].field->tTree = before[i].tree;
        }
        damaged[i].field->indexBroken = !ok;
    }
    return ok;
}

dbDatabase::dbIndexRepair dbDatabase::checkAndRebuildIndexes(
    std::vector<dbChangedRow>* changedRows, const std::function<void(const std::vector<dbChangedRow>&)>& tellChanged)
{
    std::vector<DamagedIndex> damaged;
    std::vector<dbChangedRow> changed;
    const dbIndexRepair found = checkTables(&damaged, &changed);
    commit();  // ends the check's read transaction
    if (changedRows != nullptr) {
        *changedRows = changed;
    }
    if (found != dbIndexesDamaged || damaged.empty()) {
        return found;
    }
    outOfSpace = false;
    auto tell = [&] {
        if (!changed.empty() && tellChanged) {
            tellChanged(changed);
        }
    };
    if (!rebuildIndexes(damaged, tell)) {
        return outOfSpace ? dbIndexesNoSpace : dbIndexesDamaged;
    }
    const dbIndexRepair again = checkTables(nullptr, nullptr);
    commit();
    if (again != dbIndexesSound) {
        return again;
    }
    return changed.empty() ? dbIndexesRebuilt : dbRowKeysChanged;
}

bool dbDatabase::damageFound() const
{
    for (const dbTableDescriptor* table = tables; table != nullptr; table = table->nextDbTable) {
        bool broken = table->rowListBroken;
        for (const dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            broken |= fd->indexBroken;
        }
        for (const dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            broken |= fd->indexBroken;
        }
        if (broken) {
            return true;
        }
    }
    return false;
}

std::uint64_t dbDamageMetByThisThread()
{
    return damageMet;
}

void dbDamaged(dbDatabase* db)
{
    dbRecordOps::damaged(db);
}

// ---------------------------------------------------------------------------

bool dbDatabase::insertRecord(dbTableDescriptor* table, dbAnyReference* ref, const void* record)
{
    dbAssert(opened);
    if (!beginTransaction(dbExclusiveLock) || table->tableId == 0) {
        return false;
    }
    const byte* obj = static_cast<const byte*>(record);
    return changed(dbGuarded(this, [&] {
        dbRecordOps::mayRelink(this, table);
        oid_t oid = allocateRow(table->tableId, table->recordSize(obj));
        byte* row = oid != 0 ? put(oid) : nullptr;
        if (row == nullptr) {
            throw dbTransactionFailed{};
        }
        dbFieldDescriptor::storeRecordFields(table->columns, row, obj, table->fixedSize);
        if (ref != nullptr) {
            ref->oid = oid;
        }
        for (dbFieldDescriptor* fd = table->inverseFields; fd != nullptr; fd = fd->nextInverseField) {
            std::vector<oid_t> refs = dbRecordOps::objectRefs(fd, obj);
            for (auto it = refs.rbegin(); it != refs.rend(); ++it) {
                if (*it != 0) {
                    dbRecordOps::insertInverseReference(this, fd, *it, oid);
                }
            }
        }
        const std::size_t nRows = claimedRows(reinterpret_cast<const dbTable*>(dbMustGet(this, table->tableId, 0)));
        dbRecordOps::addKeys(this, table, oid, nRows, false);
    }));
}

// Every change that did not complete fails the whole transaction, whatever
// stopped it, so that commit never writes half of it.
bool dbDatabase::changed(bool ok)
{
    if (!ok) {
        abandonChange(nullptr);
    }
    return ok;
}

bool dbDatabase::update(oid_t oid, dbTableDescriptor* table, const void* record)
{
    dbAssert(opened);
    if (changeHook != nullptr) {
        changeHook(this);
    }
    if (!beginTransaction(dbExclusiveLock)) {
        return false;
    }
    const byte* obj = static_cast<const byte*>(record);
    // Values the row holds already write nothing: the transaction stays
    // unmodified and its commit costs no flush. A transaction that cannot
    // change anything goes the usual way, which reports why.
    if (!txnFailed && !commitBroken && (accessType == dbAllAccess || accessType == dbConcurrentUpdate) &&
        dbRecordOps::storedAsIs(this, table, oid, obj)) {
        return true;
    }
    return changed(dbGuarded(this, [&] { dbRecordOps::rewrite(this, table, oid, obj, true); }));
}

bool dbDatabase::remove(dbTableDescriptor* table, oid_t oid)
{
    dbAssert(opened);
    if (changeHook != nullptr) {
        changeHook(this);
    }
    return beginTransaction(dbExclusiveLock) &&
           changed(dbGuarded(this, [&] { dbRecordOps::removeRecord(this, table, oid); }));
}

bool dbDatabase::deleteTable(dbTableDescriptor* table)
{
    dbAssert(opened);
    if (changeHook != nullptr) {
        changeHook(this);
    }
    return beginTransaction(dbExclusiveLock) && changed(dbGuarded(this, [&] {
        dbRecordOps::mayRelink(this, table);
        dbTable* meta = reinterpret_cast<dbTable*>(dbMustPut(this, table->tableId));
        oid_t row = meta->firstRow;
        meta->nRows = 0;
        meta->firstRow = meta->lastRow = 0;
        for (std::uint32_t steps = 0; row != 0 && steps < currIndexSize; steps++) {
            const dbRecord* rec = getRow(row);
            if (rec == nullptr || (currIndex[row] & dbInternalObjectMarker) != 0) {
                break;
            }
            oid_t next = rec->next;
            dbRecordOps::removeInverseReferences(this, table, row);
            freeObject(row);
            if (txnFailed) {
                throw dbTransactionFailed{};
            }
            updateCursors(row, true);
            row = next;
        }
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            if (fd->hashTable != 0 && !dbHashTable::purge(this, fd->hashTable)) {
                throw dbTransactionFailed{};
            }
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            if (fd->tTree != 0 && !dbTtree::purge(this, fd->tTree)) {
                throw dbTransactionFailed{};
            }
        }
    }));
}

bool dbDatabase::fetchRecord(dbTableDescriptor* table, oid_t oid, void* record)
{
    byte* obj = static_cast<byte*>(record);
    if (!dbRecordOps::validRow(this, table, oid)) {
        handleError(DatabaseOpenError, invalidRecord);
        dbFieldDescriptor::clearRecordFields(table->columns, obj);
        return false;
    }
    dbFieldDescriptor::fetchRecordFields(table->columns, obj, get(oid));
    return true;
}

void dbDatabase::rowListBroken(dbTableDescriptor* table)
{
    table->rowListBroken = true;
    handleError(DatabaseOpenError, invalidRecord);
}

dbRecord* dbDatabase::reallocateRow(oid_t oid, size_t newSize)
{
    return putRow(oid, newSize);
}

void dbDatabase::updateCursors(oid_t oid, bool removed)
{
    if (cursorHook != nullptr) {
        cursorHook(this, oid, removed);
    }
}

dbTableDescriptor* dbDatabase::findTable(const char* name)
{
    for (dbTableDescriptor* t = tables; t != nullptr; t = t->nextDbTable) {
        if (std::strcmp(t->name, name) == 0) {
            return t;
        }
    }
    return nullptr;
}
