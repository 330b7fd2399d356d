// The expression interpreter: evaluates a compiled condition (a tree of
// dbExprNode, compiler.h) on one stored record, reading the record's fields
// in place in the mapped file. Only strings the evaluation itself computes
// (upper, lower, concatenation, string()) take space, from an 8 KB area in
// the evaluation context and then from heap blocks freed with the context.
//
// Callers keep to these rules:
//  - Evaluate under the calling thread's transaction (the rows must not move
//    or change while a condition runs on them).
//  - A run-time error (division by zero, an index out of range, a null or
//    dangling reference, a damaged row) leaves the evaluation with a thrown
//    dbRuntimeError; the caller that started the evaluation catches it and
//    reports it (dbDatabase::select does both). Nothing else is thrown.
#pragma once

#include "engine/casemap.h"
#include <cstddef>
#include <cstdint>

#include "engine/compiler.h"
#include "engine/database.h"

class dbTableDescriptor;

// The result of one node.
struct dbValue {
    union {
        std::int64_t ivalue; // integer; boolean as 0 or 1
        double fvalue;
        oid_t oid; // reference, 0 for null
        struct {
            const char* chars;
            std::uint32_t size; // characters counting the terminator
        } str;
        struct {
            const byte* base;   // first element
            std::uint32_t size; // number of elements
            const byte* end;    // end of the row holding the elements
        } arr;
        struct {
            const byte* base; // a record, an array element or a raw-binary field
            const byte* end;  // end of the row it lies in (null: not in a row)
        } addr;
    };
};

// A run-time error of a condition, thrown out of the evaluation: the class
// and arguments for dbDatabase::handleError.
struct dbRuntimeError {
    int errorClass;
    const char* msg;
    int arg;
};

// The evaluation context of one record. Reused from record to record by
// moveTo(); the temporaries of the previous record are freed then.
class dbInheritedAttribute {
  public:
    static constexpr std::size_t tempAreaSize = 8192;
    static constexpr int maxLoops = 3; // nested EXISTS loops

    dbInheritedAttribute(dbDatabase* db, dbTableDescriptor* table) : db(db), table(table) {}
    ~dbInheritedAttribute() { freeTemporaries(); }
    dbInheritedAttribute(const dbInheritedAttribute&) = delete;
    dbInheritedAttribute& operator=(const dbInheritedAttribute&) = delete;

    // Makes row oid the record under test (row: its stored address).
    void moveTo(oid_t id, const byte* row);
    // Space for n bytes of a computed string, valid until the next moveTo.
    char* allocate(std::size_t n);
    void freeTemporaries();

    const byte* record = nullptr;
    const byte* recordEnd = nullptr;
    oid_t oid = 0;
    dbDatabase* db;
    dbTableDescriptor* table;

    struct Loop {
        std::int64_t index;
        bool indexed; // the body indexed with the loop's variable this round
    } loops[maxLoops] = {};

  private:
    struct HeapBlock {
        HeapBlock* next;
    };
    HeapBlock* chain = nullptr;
    std::size_t used = 0;
    alignas(8) char temp[tempAreaSize];
};

// Evaluates node into value on the context's record.
void dbExecute(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& value);

// Whether a boolean condition holds for row oid (throws dbRuntimeError).
bool dbEvaluate(dbInheritedAttribute& iattr, const dbExprNode* condition, oid_t oid);

// The same for a condition whose value is compared by ORDER BY: evaluates an
// expression key on two rows and compares the results (negative, 0, positive).
int dbCompareExpressionKey(dbInheritedAttribute& iattr, const dbExprNode* key, const byte* a, const byte* b);


// The pattern matching of LIKE: '%' any run, '_' one character; escape (or
// -1 for none) followed by a character matches that character literally.
// Case-sensitive, byte by byte.
bool dbMatchLike(const char* s, const char* pattern, int escape = -1);
