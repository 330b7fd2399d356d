// The query compiler: turns the element chain of a dbQuery (texts and bound
// parameters) into a typed tree of dbExprNode that the interpreter evaluates
// per record, plus the START FROM, FOLLOW BY and ORDER BY parts that select
// carries out. Each thread compiles with its own dbCompiler; the node pool
// and the symbol table are shared and lock themselves. compile() throws
// nothing: syntax and type errors are reported to the database's error
// handler (class 1, "<message> in position <n>") and compile() returns false,
// leaving the query uncompiled and every node it took back in the pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "engine/query.h"
#include "engine/symtab.h"

class dbDatabase;
class dbTableDescriptor;
class dbFieldDescriptor;

// Opcodes of compiled conditions. The numbers are fixed; the interpreter
// dispatches on them. Families run in the order of the field type codes.
enum dbvmCode : std::uint8_t {
    opLoadBool = 0, opLoadInt1, opLoadInt2, opLoadInt4, opLoadInt8, opLoadReal4, opLoadReal8,
    opLoadString, opLoadReference, opLoadArray,
    opInvokeBool = 10, opInvokeInt1, opInvokeInt2, opInvokeInt4, opInvokeInt8, opInvokeReal4,
    opInvokeReal8, opInvokeString, opInvokeReference,
    opLoadRawBinary = 19,
    opLoadSelfBool = 20, opLoadSelfInt1, opLoadSelfInt2, opLoadSelfInt4, opLoadSelfInt8,
    opLoadSelfReal4, opLoadSelfReal8, opLoadSelfString, opLoadSelfReference, opLoadSelfArray,
    opInvokeSelfBool = 30, opInvokeSelfInt1, opInvokeSelfInt2, opInvokeSelfInt4, opInvokeSelfInt8,
    opInvokeSelfReal4, opInvokeSelfReal8, opInvokeSelfString, opInvokeSelfReference,
    opLoadSelfRawBinary = 39,
    opInArrayBool = 40, opInArrayInt1, opInArrayInt2, opInArrayInt4, opInArrayInt8, opInArrayReal4,
    opInArrayReal8, opInArrayString, opInArrayReference,
    opInString = 49,
    opArrayLength = 50, opStringLength = 51,
    opArrayElement = 52, opStringChar = 53,
    opParamBool = 54, opParamInt1, opParamInt2, opParamInt4, opParamInt8, opParamReal4,
    opParamReal8, opParamString, opParamStringPtr, opParamReference, opParamArray,
    opParamArrayPtr, opParamRawBinary,
    opParamUnknown = 67, // parameter type 14: compiled, never executable
    opTrue = 68, opFalse, opCurrent, opFirst, opLast, opNull, opIntConst, opRealConst, opStringConst,
    opOrBool = 77, opAndBool, opNotBool, opIsNull,
    opNegInt = 81, opAddInt, opSubInt, opMulInt, opDivInt, opAndInt, opOrInt, opNotInt, opAbsInt,
    opPowerInt,
    opEqInt = 91, opNeInt, opGtInt, opGeInt, opLtInt, opLeInt, opBetweenInt,
    opNegReal = 98, opAddReal, opSubReal, opMulReal, opDivReal, opAbsReal, opPowerReal,
    opPowerRealInt,
    opEqBinary = 106, opNeBinary, opGtBinary, opGeBinary, opLtBinary, opLeBinary, opBetweenBinary,
    opEqReal = 113, opNeReal, opGtReal, opGeReal, opLtReal, opLeReal, opBetweenReal,
    opEqBool = 120, opNeBool, opEqReference, opNeReference,
    opEqString = 124, opNeString, opGtString, opGeString, opLtString, opLeString, opBetweenString,
    opLike = 131, opLikeEscape,
    opUpper = 133, opLower,
    opIntToReference = 135, opIntToReal, opRealToInt, opIntToString, opRealToString,
    opConcat = 140,
    opDeref = 141,
    opExists = 142,
    opVariable = 143,
    opList = 144,
    opVoid = 169
};

constexpr int dbvmCodeCount = 170;

// Result types of nodes.
enum dbExprType : std::uint8_t {
    tpInteger = 0, // signed 64-bit
    tpBoolean = 1,
    tpReal = 2,
    tpString = 3,
    tpReference = 4,
    tpArray = 5,
    tpRawBinary = 6,
    tpFreeVar = 7, // the index of an EXISTS loop
    tpList = 8,
    tpVoid = 9
};

typedef int (*dbExprComparator)(const void* a, const void* b, std::size_t size);

// One node of a compiled condition. Nodes come from dbExprNodeAllocator.
struct dbExprNode {
    std::uint8_t cop;  // dbvmCode
    std::uint8_t type; // dbExprType
    // Stored offset of a loaded field; element size of opArrayElement; field
    // size of a raw-binary comparison; loop index of opExists/opVariable.
    std::uint16_t offs;
    union {
        dbExprNode* operand[3];
        struct {
            dbExprNode* base; // null: the record under test
            dbFieldDescriptor* field;
        } ref;
        struct {
            const void* var; // address of the bound variable
        } param;
        std::int64_t ivalue;
        double fvalue;
        struct {
            char* str; // owned heap copy
            int len;   // characters plus the terminator
        } svalue;
    };
    dbExprComparator comparator; // raw-binary comparisons

    // Per opcode: number of operand nodes (a field load counts its base),
    // result type, and the comparison that holds with the operands swapped.
    static int operandCount(int cop);
    static int resultType(int cop);
    static int mirror(int cop);

    static bool isParameter(int cop) { return cop >= opParamBool && cop <= opParamUnknown; }
};

// Process-wide pool of expression nodes: chunks of 1024 nodes, recycled
// through a free list and never returned to the heap.
class dbExprNodeAllocator {
  public:
    static constexpr std::size_t chunkSize = 1024;

    static dbExprNodeAllocator& instance();

    dbExprNode* allocate();
    void deallocate(dbExprNode* node);
    // Frees a whole tree (string texts included); null is allowed.
    void deleteTree(dbExprNode* tree);
    // The same for callers that hold mutex() already.
    void deleteTreeLocked(dbExprNode* tree);
    dbMutex& mutex() { return mutex_; }
    std::size_t freeCount();

  private:
    dbExprNode* allocateLocked();
    void deallocateLocked(dbExprNode* node);

    dbMutex mutex_;
    dbExprNode* freeList_ = nullptr;
    std::size_t freeCount_ = 0;
    void* chunks_ = nullptr; // chained, never freed
};

// Readable form of a tree for diagnostics and tests, e.g.
// "opEqInt(opLoadSelfInt4 id, opParamInt4)".
std::string dbDumpExpr(const dbExprNode* node);
const char* dbOpcodeName(int cop);

class dbCompiler {
  public:
    // db receives the error reports; null: the queried table's database.
    explicit dbCompiler(dbDatabase* db = nullptr);
    ~dbCompiler();
    dbCompiler(const dbCompiler&) = delete;
    dbCompiler& operator=(const dbCompiler&) = delete;

    // Compiles query for table, replacing whatever it held compiled. False
    // after a reported error; the query is then left uncompiled.
    bool compile(dbTableDescriptor* table, dbQuery& query);

    // The scanner, for tests and tools: starts reading the elements of query
    // and returns one token per call (tokEof at the end). A scan error is
    // reported like a compile error and yields -1.
    void startScan(const dbQuery& query);
    int nextToken();
    // Value of the last token.
    std::int64_t intValue() const { return ivalue; }
    double realValue() const { return fvalue; }
    const std::string& stringValue() const { return svalue; }
    const char* nameValue() const { return name; }

  private:
    struct CompileError {};
    class NestingScope;
    // Deepest nesting of terms and of operator chains the compiler follows
    // (far beyond any query the program builds); deeper is a compile error.
    static constexpr int maxNesting = 1000;
    struct Binding {
        Binding* next;
        const char* name;
        bool used;
        int index;
    };

    // scanner
    int scan();
    void unget(int tok);
    [[noreturn]] void error(const char* msg, int pos = -1);
    void report(const char* msg, int pos);
    dbDatabase* errorTarget() const;
    void abandon(dbQuery& query);
    int scanNumber(const char* text);
    int scanString(const char* text);
    int scanName(const char* text);
    int peekPos() const; // where the next token starts

    // grammar
    dbExprNode* disjunction();
    dbExprNode* conjunction();
    dbExprNode* comparison();
    dbExprNode* logical(int tok);
    dbExprNode* addition();
    dbExprNode* multiplication();
    dbExprNode* arithmetic(bool additive);
    dbExprNode* realOperand(dbExprNode* e, const char* msg, int pos);
    dbExprNode* power();
    dbExprNode* term();
    dbExprNode* path(dbExprNode* expr, dbExprNode* base, dbFieldDescriptor* fd,
                     dbTableDescriptor* refTable);
    dbExprNode* userFunction(int fn, int pos);
    dbExprNode* relation(int tok, dbExprNode* left, dbExprNode* right, int pos);
    dbExprNode* between(dbExprNode* left, int leftPos, int betweenPos);
    dbExprNode* like(dbExprNode* left, dbExprNode* right, int pos);
    dbExprNode* in(dbExprNode* left, dbExprNode* right, int pos, int rightPos);
    dbExprNode* inList(dbExprNode* left, dbExprNode* list, int pos);
    dbExprNode* exists();
    void startFrom(dbQuery& query);
    void followBy(dbQuery& query);
    void orderBy(dbQuery& query);
    dbFieldDescriptor* findField(dbFieldDescriptor* ring, int pos);

    // nodes taken during this compilation (freed again when it fails)
    dbExprNode* node(int cop, dbExprNode* a = nullptr, dbExprNode* b = nullptr,
                     dbExprNode* c = nullptr);
    dbExprNode* load(dbExprNode* base, dbFieldDescriptor* fd);
    dbExprNode* stringConst(const std::string& s);
    dbExprNode* toReal(dbExprNode* e);
    dbExprNode* copy(const dbExprNode* e);
    void release(dbExprNode* e);
    void discardTaken();
    void rawBinaryOperands(dbExprNode* cmp, dbExprNode* first, dbExprNode* second, int pos);

    dbDatabase* db;
    dbDatabase* reportTo = nullptr;
    dbTableDescriptor* table = nullptr;
    std::unordered_set<dbExprNode*> taken;

    // scanner state
    const dbQueryElement* elem = nullptr;
    int currPos = 0;
    int tokenPos = 0;
    int firstPos = 0;
    int offsetWithinStatement = 0;
    bool hasToken = false; // a pushed-back token waits in pushedToken
    int pushedToken = tokEof;
    int lex = tokEof;
    std::int64_t ivalue = 0;
    double fvalue = 0;
    std::string svalue;
    const char* name = nullptr;
    int paramType = 0;
    const void* paramPtr = nullptr;
    dbTableDescriptor* paramTable = nullptr;

    Binding* bindings = nullptr;
    int nFreeVars = 0;
    int nesting = 0;
};
