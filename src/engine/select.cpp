#include "engine/select.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "engine/class.h"
#include "engine/compiler.h"
#include "engine/cursor.h"
#include "engine/hashtab.h"
#include "engine/interpreter.h"
#include "engine/ttree.h"

namespace {

thread_local dbQueryStatistics statistics;

// The evaluation context of the select whose selection is being sorted by
// expression keys.
thread_local dbInheritedAttribute* sortContext = nullptr;

int compareExpressionKeys(const byte* a, const byte* b, const dbOrderByNode* key)
{
    dbAssert(sortContext != nullptr);
    return dbCompareExpressionKey(*sortContext, key->expr, a, b);
}

template <class T>
T read(const void* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool isSelfFieldLoad(int cop)
{
    return (cop >= opLoadSelfBool && cop <= opLoadSelfArray) || cop == opLoadSelfRawBinary;
}

// A constant, or a parameter that can stand for a key (arrays cannot).
bool isKeyOperand(int cop)
{
    return cop == opIntConst || cop == opRealConst || cop == opStringConst
           || (cop >= opParamBool && cop <= opParamRawBinary && cop != opParamArray && cop != opParamArrayPtr);
}

// One bound of an index search in the stored form of the field's type.
struct SearchKey {
    alignas(8) byte scalar[8] = {};
    std::string text;
    const void* raw = nullptr;
    bool isText = false;

    const void* data() const { return raw != nullptr ? raw : isText ? static_cast<const void*>(text.c_str()) : scalar; }
};

bool fitsWidth(std::int64_t v, std::size_t size)
{
    switch (size) {
    case 1:
        return v >= INT8_MIN && v <= INT8_MAX;
    case 2:
        return v >= INT16_MIN && v <= INT16_MAX;
    case 4:
        return v >= INT32_MIN && v <= INT32_MAX;
    default:
        return true;
    }
}

// Builds the key for field fd from a constant or parameter operand. False
// when the operand cannot serve: not a constant or parameter, or a value the
// field cannot hold exactly (the scan then compares exactly instead).
bool makeKey(const dbExprNode* e, const dbFieldDescriptor* fd, SearchKey& key, dbInheritedAttribute& iattr)
{
    if (!isKeyOperand(e->cop)) {
        return false;
    }
    dbValue v;
    dbExecute(e, iattr, v);
    int type = dbExprNode::resultType(e->cop);
    switch (fd->type) {
    case dbField::tpInt1:
    case dbField::tpInt2:
    case dbField::tpInt4:
    case dbField::tpInt8: {
        if (type != tpInteger || !fitsWidth(v.ivalue, fd->dbsSize)) {
            return false;
        }
        std::int8_t i1 = std::int8_t(v.ivalue);
        std::int16_t i2 = std::int16_t(v.ivalue);
        std::int32_t i4 = std::int32_t(v.ivalue);
        const void* src = fd->dbsSize == 1 ? static_cast<const void*>(&i1)
                          : fd->dbsSize == 2 ? static_cast<const void*>(&i2)
                          : fd->dbsSize == 4 ? static_cast<const void*>(&i4)
                                             : static_cast<const void*>(&v.ivalue);
        std::memcpy(key.scalar, src, fd->dbsSize);
        return true;
    }
    case dbField::tpReal4: {
        if (type != tpReal || !(std::fabs(v.fvalue) <= FLT_MAX)) {
            return false;
        }
        float f = float(v.fvalue);
        if (double(f) != v.fvalue) {
            return false;
        }
        std::memcpy(key.scalar, &f, sizeof f);
        return true;
    }
    case dbField::tpReal8:
        if (type != tpReal || std::isnan(v.fvalue)) {
            return false;
        }
        std::memcpy(key.scalar, &v.fvalue, sizeof v.fvalue);
        return true;
    case dbField::tpString:
        if (type != tpString) {
            return false;
        }
        key.text.assign(v.str.chars);
        key.isText = true;
        return true;
    case dbField::tpReference:
        if (e->cop != opParamReference) {
            return false;
        }
        std::memcpy(key.scalar, &v.oid, sizeof v.oid);
        return true;
    case dbField::tpRawBinary:
        if (e->cop != opParamRawBinary) {
            return false;
        }
        key.raw = e->param.var;
        return true;
    default:
        return false;
    }
}

// What one index does for one comparison.
struct IndexPlan {
    enum Kind { HashFind, TreeRange, TreeWalk };
    Kind kind = TreeRange;
    dbFieldDescriptor* field = nullptr;
    const dbExprNode* filter = nullptr; // tested on every record the index yields
    bool hasLow = false;
    bool lowInclusive = true;
    bool hasHigh = false;
    bool highInclusive = true;
    SearchKey low, high;
};

bool isZeroReal(const dbFieldDescriptor* fd, const SearchKey& key)
{
    if (fd->type == dbField::tpReal4) {
        return read<float>(key.scalar) == 0;
    }
    return fd->type == dbField::tpReal8 && read<double>(key.scalar) == 0;
}

// Equality on plan.low: the hash index, else a T-tree range of one key.
// A real zero is not looked up by hash: 0.0 and -0.0 are equal but hash
// differently.
bool planEquality(IndexPlan& plan)
{
    dbFieldDescriptor* fd = plan.field;
    if (fd->hashTable != 0 && !isZeroReal(fd, plan.low)) {
        plan.kind = IndexPlan::HashFind;
        return true;
    }
    if (fd->tTree == 0) {
        return false;
    }
    plan.kind = IndexPlan::TreeRange;
    plan.high = plan.low;
    plan.hasLow = plan.hasHigh = true;
    plan.lowInclusive = plan.highInclusive = true;
    return true;
}

bool sameKeys(const dbFieldDescriptor* fd, const SearchKey& a, const SearchKey& b)
{
    switch (fd->type) {
    case dbField::tpString:
        return a.text == b.text;
    case dbField::tpRawBinary:
        return std::memcmp(a.raw, b.raw, fd->dbsSize) == 0;
    case dbField::tpReal4:
        return read<float>(a.scalar) == read<float>(b.scalar);
    case dbField::tpReal8:
        return read<double>(a.scalar) == read<double>(b.scalar);
    default:
        return std::memcmp(a.scalar, b.scalar, sizeof a.scalar) == 0;
    }
}

// LIKE on an indexed string field: an exact look-up without wildcards, a
// walk of the whole T-tree for "%", else the T-tree range of the prefix
// before the first wildcard.
bool planLike(const dbExprNode* node, const dbExprNode* filter, const dbExprNode* whole, IndexPlan& plan,
              dbInheritedAttribute& iattr)
{
    dbFieldDescriptor* fd = plan.field;
    const dbExprNode* patternNode = node->operand[1];
    if (fd->type != dbField::tpString || !isKeyOperand(patternNode->cop)
        || dbExprNode::resultType(patternNode->cop) != tpString) {
        return false;
    }
    dbValue v;
    dbExecute(patternNode, iattr, v);
    std::string pattern(v.str.chars);
    std::string specials = "_%";
    if (node->cop == opLikeEscape) {
        dbExecute(node->operand[2], iattr, v);
        specials += v.str.chars[0];
    }
    std::size_t first = pattern.find_first_of(specials);
    if (first == std::string::npos) {
        plan.low.text = pattern;
        plan.low.isText = true;
        return planEquality(plan);
    }
    if ((first == 0 && pattern.size() > 1) || fd->tTree == 0) {
        return false;
    }
    if (pattern == "%") {
        plan.kind = IndexPlan::TreeWalk;
        return true;
    }
    if (pattern.size() == 1) {
        return false; // "_" or the escape alone
    }
    plan.kind = IndexPlan::TreeRange;
    plan.low.text = pattern.substr(0, first);
    plan.low.isText = true;
    plan.hasLow = true;
    plan.lowInclusive = true;
    // Every text with the prefix is below the prefix with its last byte that
    // is not 0xFF increased by one (trailing 0xFF bytes dropped); a prefix of
    // 0xFF bytes only has no upper bound.
    std::string upper = plan.low.text;
    while (!upper.empty() && static_cast<unsigned char>(upper.back()) == 0xFF) {
        upper.pop_back();
    }
    if (!upper.empty()) {
        upper.back() = char(static_cast<unsigned char>(upper.back()) + 1);
        plan.high.text = upper;
        plan.high.isText = true;
        plan.hasHigh = true;
        plan.highInclusive = false;
    }
    if (pattern.compare(first, std::string::npos, "%") != 0) {
        // The range only narrows the search: the pattern is tested again.
        plan.filter = filter != nullptr ? whole : node;
    }
    return true;
}

// Whether an index of a field of the queried table can answer the
// comparison node (records it yields tested with filter, when given);
// whole is the condition filter belongs to. Fills plan; reads the
// parameters' current values.
bool isIndexApplicable(const dbExprNode* node, const dbExprNode* filter, const dbExprNode* whole, IndexPlan& plan,
                       dbInheritedAttribute& iattr)
{
    while (node->cop == opExists) {
        node = node->operand[0];
    }
    int cop = node->cop;
    if (dbExprNode::operandCount(cop) < 2 || !isSelfFieldLoad(node->operand[0]->cop)) {
        return false;
    }
    dbFieldDescriptor* fd = node->operand[0]->ref.field;
    if ((fd->hashTable == 0 && fd->tTree == 0) || fd->indexBroken) {
        return false;  // a broken index is gone round: the rows are walked instead
    }
    plan.field = fd;
    plan.filter = filter;
    if (cop == opLike || cop == opLikeEscape) {
        return planLike(node, filter, whole, plan, iattr);
    }
    if (cop == opEqReference) {
        return makeKey(node->operand[1], fd, plan.low, iattr) && planEquality(plan);
    }
    int relation = -1; // 0 =, 1 !=, 2 >, 3 >=, 4 <, 5 <=, 6 between
    for (int base : {int(opEqInt), int(opEqReal), int(opEqString), int(opEqBinary)}) {
        if (cop >= base && cop <= base + 6) {
            relation = cop - base;
        }
    }
    switch (relation) {
    case 0:
        return makeKey(node->operand[1], fd, plan.low, iattr) && planEquality(plan);
    case 2:
    case 3:
        if (fd->tTree == 0 || !makeKey(node->operand[1], fd, plan.low, iattr)) {
            return false;
        }
        plan.hasLow = true;
        plan.lowInclusive = relation == 3;
        return true;
    case 4:
    case 5:
        if (fd->tTree == 0 || !makeKey(node->operand[1], fd, plan.high, iattr)) {
            return false;
        }
        plan.hasHigh = true;
        plan.highInclusive = relation == 5;
        return true;
    case 6:
        if (!makeKey(node->operand[1], fd, plan.low, iattr) || !makeKey(node->operand[2], fd, plan.high, iattr)) {
            return false;
        }
        if (fd->hashTable != 0 && sameKeys(fd, plan.low, plan.high) && planEquality(plan)) {
            return true;
        }
        if (fd->tTree == 0) {
            return false;
        }
        plan.kind = IndexPlan::TreeRange;
        plan.hasLow = plan.hasHigh = true;
        plan.lowInclusive = plan.highInclusive = true;
        return true;
    default:
        return false;
    }
}

// Adds the records an index search or walk yields to the cursor, each
// tested with the filter when there is one.
class CursorSink : public dbSearchSink {
  public:
    CursorSink(dbAnyCursor* c, const dbExprNode* f, dbInheritedAttribute& i) : cursor(c), filter(f), iattr(i) {}

    bool accept(oid_t oid) override
    {
        if (filter == nullptr) {
            return true;
        }
        statistics.evaluations += 1;
        return dbEvaluate(iattr, filter, oid);
    }
    bool add(oid_t oid) override { return cursor->add(oid); }

  private:
    dbAnyCursor* cursor;
    const dbExprNode* filter;
    dbInheritedAttribute& iattr;
};

// Runs a search or walk through the field's index: damage it meets marks
// the index, whether the index's own code found it or the evaluation of a
// row the index led to did (a damaged record).
template <class Search>
void throughIndex(dbDatabase* db, dbFieldDescriptor* fd, Search&& search)
{
    dbIndexWatch watch(db, fd);
    try {
        search();
    } catch (const dbRuntimeError& e) {
        if (e.errorClass == dbDatabase::DatabaseOpenError) {
            watch.met();
        }
        throw;
    }
}

// Runs a plan; false when the cursor's limit was reached.
bool runPlan(dbDatabase* db, dbAnyCursor* cursor, const IndexPlan& plan, dbInheritedAttribute& iattr)
{
    CursorSink sink(cursor, plan.filter, iattr);
    dbFieldDescriptor* fd = plan.field;
    dbSearchContext sc;
    sc.type = fd->type;
    sc.sizeofType = fd->dbsSize;
    sc.comparator = fd->comparator;
    sc.offs = std::size_t(fd->dbsOffs);
    sc.sink = &sink;
    throughIndex(db, fd, [&] {
        switch (plan.kind) {
        case IndexPlan::HashFind:
            sc.firstKey = plan.low.data();
            dbHashTable::find(db, fd->hashTable, sc);
            statistics.hashSearches += 1;
            statistics.hashItems += sc.probes;
            break;
        case IndexPlan::TreeRange:
            if (plan.hasLow) {
                sc.firstKey = plan.low.data();
                sc.firstKeyInclusive = plan.lowInclusive;
            }
            if (plan.hasHigh) {
                sc.lastKey = plan.high.data();
                sc.lastKeyInclusive = plan.highInclusive;
            }
            dbTtree::find(db, fd->tTree, sc);
            statistics.treeSearches += 1;
            statistics.treeNodes += sc.probes;
            break;
        case IndexPlan::TreeWalk:
            dbTtree::traverseForward(db, fd->tTree, &sink);
            statistics.treeWalks += 1;
            break;
        }
    });
    return !cursor->isLimitReached();
}

bool isRecord(dbDatabase* db, oid_t oid)
{
    if (oid == 0 || oid >= db->getIndexSize()) {
        return false;
    }
    offs_t pos = db->getPos(oid);
    return pos != 0 && (pos & (dbInternalObjectMarker | dbFreeHandleMarker)) == 0;
}

// A stack of object ids whose first entries live in the frame.
class IdStack {
  public:
    void push(oid_t oid)
    {
        if (n < inlineSize) {
            inlineIds[n] = oid;
        } else {
            more.push_back(oid);
        }
        n += 1;
    }
    oid_t pop()
    {
        n -= 1;
        if (n < inlineSize) {
            return inlineIds[n];
        }
        oid_t oid = more.back();
        more.pop_back();
        return oid;
    }
    bool empty() const { return n == 0; }

  private:
    static constexpr std::size_t inlineSize = 1024;
    oid_t inlineIds[inlineSize];
    std::vector<oid_t> more;
    std::size_t n = 0;
};

// The elements of an array of references (from the last to the first).
void pushReferences(IdStack& stack, const oid_t* ids, std::size_t n, const std::vector<bool>& visited)
{
    for (std::size_t i = n; i-- > 0;) {
        oid_t id = read<oid_t>(ids + i);
        if (id != 0 && (id >= visited.size() || !visited[id])) {
            stack.push(id);
        }
    }
}

// START FROM ... FOLLOW BY: depth first from the start records along the
// FOLLOW BY fields, each record visited once.
void traverse(dbDatabase* db, dbAnyCursor* cursor, const dbQuery& query, dbInheritedAttribute& iattr)
{
    IdStack stack;
    std::vector<bool> visited(db->getIndexSize());
    const auto* table = reinterpret_cast<const dbTable*>(db->get(cursor->getTable()->tableId));
    switch (query.startFrom) {
    case dbCompiledQuery::StartFromFirst:
    case dbCompiledQuery::StartFromLast: {
        oid_t start = query.startFrom == dbCompiledQuery::StartFromFirst ? table->firstRow : table->lastRow;
        if (start != 0) {
            stack.push(start);
        }
        break;
    }
    case dbCompiledQuery::StartFromRef: {
        oid_t start = read<oid_t>(query.startParameter);
        if (start != 0) {
            stack.push(start);
        }
        break;
    }
    default: {
        const dbAnyArray* arr = query.startFrom == dbCompiledQuery::StartFromArray
                                    ? static_cast<const dbAnyArray*>(query.startParameter)
                                    : read<const dbAnyArray*>(query.startParameter);
        if (arr != nullptr && arr->length() != 0) {
            pushReferences(stack, static_cast<const oid_t*>(arr->base()), arr->length(), visited);
        }
        break;
    }
    }
    cursor->checkForDuplicates();
    const dbExprNode* condition = query.tree->cop == opVoid ? nullptr : query.tree;
    while (!stack.empty()) {
        oid_t id = stack.pop();
        if (id >= visited.size() || visited[id] || !isRecord(db, id)) {
            continue; // met before, or a reference to no record
        }
        visited[id] = true;
        if (condition == nullptr || (statistics.evaluations += 1, dbEvaluate(iattr, condition, id))) {
            if (!cursor->add(id)) {
                return;
            }
        }
        const byte* row = db->get(id);
        std::size_t rowSize = reinterpret_cast<const dbRecord*>(row)->size;
        for (const dbFollowByNode* f = query.follow; f != nullptr; f = f->next) {
            const dbFieldDescriptor* fd = f->field;
            std::size_t offs = std::size_t(fd->dbsOffs);
            if (fd->type == dbField::tpArray) {
                dbVarying arr = read<dbVarying>(row + offs);
                if (offs + sizeof(dbVarying) <= rowSize && arr.offs <= rowSize
                    && (rowSize - arr.offs) / sizeof(oid_t) >= arr.size) {
                    pushReferences(stack, reinterpret_cast<const oid_t*>(row + arr.offs), arr.size, visited);
                }
            } else {
                dbAssert(fd->type == dbField::tpReference);
                if (offs + sizeof(oid_t) <= rowSize) {
                    pushReferences(stack, reinterpret_cast<const oid_t*>(row + offs), 1, visited);
                }
            }
        }
    }
}

// Whether every ORDER BY field lies inside the row, a text with its end, so
// that rows compared by their keys are read nowhere beyond themselves.
bool keysInside(const dbRecord* row, const dbOrderByNode* order)
{
    const auto* base = reinterpret_cast<const byte*>(row);
    for (; order != nullptr; order = order->next) {
        const dbFieldDescriptor* fd = order->field;
        if (fd == nullptr) {
            continue;  // an expression reads through the interpreter's checks
        }
        if (std::uint64_t(fd->dbsOffs) + fd->dbsSize > row->size) {
            return false;
        }
        if (fd->type == dbField::tpString) {
            dbVarying v;
            std::memcpy(&v, base + fd->dbsOffs, sizeof v);
            if (v.size == 0 || std::uint64_t(v.offs) + v.size > row->size || base[v.offs + v.size - 1] != 0) {
                return false;
            }
        }
    }
    return true;
}

// The error a select meets on a damaged row.
dbRuntimeError damagedRecord()
{
    return {dbDatabase::DatabaseOpenError, "Database file was corrupted: invalid record", 0};
}

// Clears the sort's evaluation context when the select ends, however.
struct SortContextScope {
    explicit SortContextScope(dbInheritedAttribute* iattr) { sortContext = iattr; }
    ~SortContextScope() { sortContext = nullptr; }
};

} // namespace

const dbQueryStatistics& dbLastQueryStatistics()
{
    return statistics;
}

bool dbDatabase::select(dbAnyCursor* cursor, dbQuery& query)
{
    const std::uint64_t damageBefore = dbDamageMetByThisThread();
    bool ok = selectRows(cursor, query);
    if (dbDamageMetByThisThread() != damageBefore) {
        // An index search met damage: what it found before stays selected.
        statistics.failed = true;
        ok = false;
    }
    return ok;
}

bool dbDatabase::selectRows(dbAnyCursor* cursor, dbQuery& query)
{
    dbAssert(opened);
    statistics = dbQueryStatistics();
    cursor->reset();
    dbTableDescriptor* table = cursor->table;
    {
        std::lock_guard<dbMutex> guard(query.mutex);
        query.compiling = true;
        bool compiled = query.tree != nullptr && query.table == table;
        if (!compiled) {
            dbCompiler compiler(this);
            compiled = compiler.compile(table, query);
        }
        query.compiling = false;
        if (!compiled) {
            return false;
        }
    }
    if (!cursor->beginSelect()) {
        return false;
    }
    const dbExprNode* condition = query.tree;
    const dbOrderByNode* order = query.order;
    try {
        dbInheritedAttribute iattr(this, table);
        SortContextScope sortScope(&iattr);
        if (query.startFrom != dbCompiledQuery::StartFromAny) {
            statistics.strategy = dbQueryStatistics::Traversal;
            traverse(this, cursor, query, iattr);
            if (order != nullptr) {
                sortSelection(cursor, order, 0, false);
            }
            return true;
        }
        if (condition->cop == opVoid && order == nullptr) {
            statistics.strategy = dbQueryStatistics::AllRecords;
            return select(cursor);
        }
        if (condition->cop == opEqReference) {
            const dbExprNode* a = condition->operand[0];
            const dbExprNode* b = condition->operand[1];
            if ((a->cop == opCurrent && b->cop == opParamReference)
                || (a->cop == opParamReference && b->cop == opCurrent)) {
                statistics.strategy = dbQueryStatistics::NamedRecord;
                oid_t ref = read<oid_t>((a->cop == opCurrent ? b : a)->param.var);
                if (ref != 0) { // a null reference names no record
                    cursor->at(ref);
                }
                return true;
            }
        }
        if (selectByIndexes(cursor, condition, order, iattr)) {
            return true;
        }
        const dbExprNode* filter = condition->cop == opVoid ? nullptr : condition;
        if (order != nullptr && order->next == nullptr && order->field != nullptr && order->field->tTree != 0 &&
            !order->field->indexBroken) {
            statistics.strategy = dbQueryStatistics::OrderedWalk;
            statistics.treeWalks += 1;
            CursorSink sink(cursor, filter, iattr);
            throughIndex(this, order->field, [&] {
                dbTtree::traverse(this, order->field->tTree, &sink, order->ascent);
            });
            return true;
        }
        return scanRows(cursor, filter, order, iattr);
    } catch (const dbRuntimeError& e) {
        // The evaluation's temporaries are gone with its context.
        cursor->reset();
        statistics.failed = true;
        handleError(e.errorClass, e.msg, e.arg);
        return false;
    } catch (const std::bad_alloc&) {
        cursor->reset();
        statistics.failed = true;
        handleError(OutOfMemoryError, nullptr, 0);
        return false;
    }
}

// Sorts the selection by the ORDER BY keys. Rows a scan has not checked
// (from an index or a walk) are checked here, before a sort compares them.
void dbDatabase::sortSelection(dbAnyCursor* cursor, const dbOrderByNode* order, oid_t first, bool keysChecked,
                               const dbIntegerOrder* seen)
{
    static const bool hooked = (dbSelection::compareExpressionKey = &compareExpressionKeys, true);
    (void)hooked;
    for (auto* seg = cursor->selection.first; !keysChecked && seg != nullptr; seg = seg->next) {
        for (std::size_t i = 0; i < seg->nRows; i++) {
            const dbRecord* row = findRecord(seg->rows[i]);
            if (row == nullptr || !keysInside(row, order)) {
                throw damagedRecord();
            }
        }
    }
    statistics.sorts += 1;
    cursor->sort(order, first, seen);
}

// Selects through the indexes when they serve the whole condition: one
// search, or one for each part of an OR chain. Every index search is planned
// first, so that a condition only partly served by indexes is left to the
// walk or scan as a whole. False (nothing selected) when they do not serve.
bool dbDatabase::selectByIndexes(dbAnyCursor* cursor, const dbExprNode* condition, const dbOrderByNode* order,
                                 dbInheritedAttribute& iattr)
{
    std::vector<IndexPlan> plans;
    bool served;
    if (condition->cop == opAndBool) {
        plans.emplace_back();
        served = isIndexApplicable(condition->operand[0], condition->operand[1], condition, plans.back(), iattr);
    } else {
        const dbExprNode* node = condition;
        served = true;
        while (served && node->cop == opOrBool) {
            plans.emplace_back();
            served = isIndexApplicable(node->operand[0], nullptr, nullptr, plans.back(), iattr);
            node = node->operand[1];
        }
        if (served) {
            plans.emplace_back();
            served = isIndexApplicable(node, nullptr, nullptr, plans.back(), iattr);
        }
    }
    if (!served) {
        return false;
    }
    statistics.strategy = plans.size() == 1 ? dbQueryStatistics::IndexSearch : dbQueryStatistics::IndexOrChain;
    if (plans.size() > 1) {
        cursor->checkForDuplicates();
    }
    for (const IndexPlan& plan : plans) {
        if (!runPlan(this, cursor, plan, iattr)) {
            break;
        }
    }
    if (order == nullptr) {
        return true;
    }
    if (plans.size() == 1 && order->next == nullptr && order->field == plans[0].field) {
        // The index delivered the key order.
        if (!order->ascent) {
            cursor->selection.reverse();
            statistics.reverses += 1;
        }
    } else {
        sortSelection(cursor, order, 0, false);
    }
    return true;
}

// Walks the table's row list, selecting the rows that satisfy the filter
// (all rows without one), then sorts them when an order is asked for.
bool dbDatabase::scanRows(dbAnyCursor* cursor, const dbExprNode* filter, const dbOrderByNode* order,
                          dbInheritedAttribute& iattr)
{
    statistics.strategy = dbQueryStatistics::Scan;
    const auto* t = reinterpret_cast<const dbTable*>(get(cursor->table->tableId));
    // A damaged row list could loop: the walk takes no more steps than
    // the table claims rows. A list that ends before the count of rows is
    // damaged as well.
    const std::size_t rows = claimedRows(t);
    std::size_t walked = 0;
    // The first row in ORDER BY order is found while the rows pass.
    // A break in the list ends the walk with the rows met before it.
    dbFirstInOrder first(order);
    // An order by one integer field takes each selected row's key now, so
    // that it need not read the rows again.
    dbIntegerOrder keys(order);
    if (filter == nullptr) {
        keys.reserve(rows);
    }
    oid_t previous = 0;
    bool broken = false;
    for (oid_t id = t->firstRow; !cursor->isLimitReached(); walked++) {
        if (id == 0) {
            broken = walked < rows;
            break;
        }
        // Each row links back to the row before it.
        const dbRecord* row = walked < rows ? findRecord(id) : nullptr;
        if (row == nullptr || row->prev != previous) {
            broken = true;
            break;
        }
        prefetchRowAhead(id, previous);
        previous = id;
        statistics.rowsScanned += 1;
        if (filter == nullptr || (statistics.evaluations += 1, dbEvaluate(iattr, filter, id))) {
            if (order != nullptr && !keysInside(row, order)) {
                throw damagedRecord();
            }
            std::size_t before = cursor->getNumberOfRecords();
            bool more = cursor->add(id);
            if (cursor->getNumberOfRecords() > before) {
                if (first.watching()) {
                    first.see(id, reinterpret_cast<const byte*>(row));
                }
                keys.see(id, reinterpret_cast<const byte*>(row));
            }
            if (!more) {
                break;
            }
        }
        id = row->next;
    }
    if (order != nullptr) {
        sortSelection(cursor, order, first.unique(cursor->getNumberOfRecords()), true, &keys);
    }
    if (broken) {
        statistics.failed = true;
        rowListBroken(cursor->table);
    }
    return !broken;
}
