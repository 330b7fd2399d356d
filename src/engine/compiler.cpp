#include "engine/compiler.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "engine/class.h"
#include "engine/database.h"

// ---------------------------------------------------------------------------
// Opcode tables

namespace {

struct OpcodeInfo {
    std::uint8_t count[dbvmCodeCount];
    std::uint8_t type[dbvmCodeCount];
    std::uint8_t mirror[dbvmCodeCount];
};

// Result type of a load of a field with the given type code (0..9).
constexpr std::uint8_t kindOfField(int code)
{
    return code == dbField::tpBool                              ? tpBoolean
           : code <= dbField::tpInt8                            ? tpInteger
           : code <= dbField::tpReal8                           ? tpReal
           : code == dbField::tpString                          ? tpString
           : code == dbField::tpReference                       ? tpReference
                                                                : tpArray;
}

constexpr OpcodeInfo makeOpcodeInfo()
{
    OpcodeInfo t{};
    auto set = [&t](int from, int to, int count, int type) {
        for (int i = from; i <= to; i++) {
            t.count[i] = std::uint8_t(count);
            t.type[i] = std::uint8_t(type);
        }
    };
    for (int i = 0; i < dbvmCodeCount; i++) {
        t.mirror[i] = std::uint8_t(i);
        t.type[i] = tpVoid;
    }
    for (int i = 0; i <= 9; i++) {
        set(opLoadBool + i, opLoadBool + i, 1, kindOfField(i));
        set(opLoadSelfBool + i, opLoadSelfBool + i, 1, kindOfField(i));
    }
    for (int i = 0; i <= 8; i++) {
        set(opInvokeBool + i, opInvokeBool + i, 1, kindOfField(i));
        set(opInvokeSelfBool + i, opInvokeSelfBool + i, 1, kindOfField(i));
    }
    set(opLoadRawBinary, opLoadRawBinary, 1, tpRawBinary);
    set(opLoadSelfRawBinary, opLoadSelfRawBinary, 1, tpRawBinary);
    set(opInArrayBool, opInString, 2, tpBoolean);
    set(opArrayLength, opStringLength, 1, tpInteger);
    set(opArrayElement, opStringChar, 2, tpInteger);
    set(opParamBool, opParamBool, 0, tpBoolean);
    set(opParamInt1, opParamInt8, 0, tpInteger);
    set(opParamReal4, opParamReal8, 0, tpReal);
    set(opParamString, opParamStringPtr, 0, tpString);
    set(opParamReference, opParamReference, 0, tpReference);
    set(opParamArray, opParamArrayPtr, 0, tpArray);
    set(opParamRawBinary, opParamRawBinary, 0, tpRawBinary);
    set(opParamUnknown, opParamUnknown, 0, tpString);
    set(opTrue, opFalse, 0, tpBoolean);
    set(opCurrent, opNull, 0, tpReference);
    set(opIntConst, opIntConst, 0, tpInteger);
    set(opRealConst, opRealConst, 0, tpReal);
    set(opStringConst, opStringConst, 0, tpString);
    set(opOrBool, opAndBool, 2, tpBoolean);
    set(opNotBool, opIsNull, 1, tpBoolean);
    set(opNegInt, opNegInt, 1, tpInteger);
    set(opAddInt, opOrInt, 2, tpInteger);
    set(opNotInt, opAbsInt, 1, tpInteger);
    set(opPowerInt, opPowerInt, 2, tpInteger);
    set(opEqInt, opLeInt, 2, tpBoolean);
    set(opBetweenInt, opBetweenInt, 3, tpBoolean);
    set(opNegReal, opNegReal, 1, tpReal);
    set(opAddReal, opDivReal, 2, tpReal);
    set(opAbsReal, opAbsReal, 1, tpReal);
    set(opPowerReal, opPowerRealInt, 2, tpReal);
    set(opEqBinary, opLeBinary, 2, tpBoolean);
    set(opBetweenBinary, opBetweenBinary, 3, tpBoolean);
    set(opEqReal, opLeReal, 2, tpBoolean);
    set(opBetweenReal, opBetweenReal, 3, tpBoolean);
    set(opEqBool, opNeReference, 2, tpBoolean);
    set(opEqString, opLeString, 2, tpBoolean);
    set(opBetweenString, opBetweenString, 3, tpBoolean);
    set(opLike, opLike, 2, tpBoolean);
    set(opLikeEscape, opLikeEscape, 3, tpBoolean);
    set(opUpper, opLower, 1, tpString);
    set(opIntToReference, opIntToReference, 1, tpReference);
    set(opIntToReal, opIntToReal, 1, tpReal);
    set(opRealToInt, opRealToInt, 1, tpInteger);
    set(opIntToString, opRealToString, 1, tpString);
    set(opConcat, opConcat, 2, tpString);
    set(opDeref, opDeref, 1, tpReference);
    set(opExists, opExists, 1, tpBoolean);
    set(opVariable, opVariable, 0, tpFreeVar);
    set(opList, opList, 2, tpList);
    // Greater and less exchange when the operands are swapped.
    for (int base : {int(opEqInt), int(opEqReal), int(opEqString), int(opEqBinary)}) {
        t.mirror[base + 2] = std::uint8_t(base + 4); // Gt <-> Lt
        t.mirror[base + 4] = std::uint8_t(base + 2);
        t.mirror[base + 3] = std::uint8_t(base + 5); // Ge <-> Le
        t.mirror[base + 5] = std::uint8_t(base + 3);
    }
    return t;
}

constexpr OpcodeInfo opcodeInfo = makeOpcodeInfo();

const char* const opcodeNames[dbvmCodeCount] = {
    "opLoadBool", "opLoadInt1", "opLoadInt2", "opLoadInt4", "opLoadInt8", "opLoadReal4",
    "opLoadReal8", "opLoadString", "opLoadReference", "opLoadArray",
    "opInvokeBool", "opInvokeInt1", "opInvokeInt2", "opInvokeInt4", "opInvokeInt8",
    "opInvokeReal4", "opInvokeReal8", "opInvokeString", "opInvokeReference",
    "opLoadRawBinary",
    "opLoadSelfBool", "opLoadSelfInt1", "opLoadSelfInt2", "opLoadSelfInt4", "opLoadSelfInt8",
    "opLoadSelfReal4", "opLoadSelfReal8", "opLoadSelfString", "opLoadSelfReference",
    "opLoadSelfArray",
    "opInvokeSelfBool", "opInvokeSelfInt1", "opInvokeSelfInt2", "opInvokeSelfInt4",
    "opInvokeSelfInt8", "opInvokeSelfReal4", "opInvokeSelfReal8", "opInvokeSelfString",
    "opInvokeSelfReference",
    "opLoadSelfRawBinary",
    "opInArrayBool", "opInArrayInt1", "opInArrayInt2", "opInArrayInt4", "opInArrayInt8",
    "opInArrayReal4", "opInArrayReal8", "opInArrayString", "opInArrayReference",
    "opInString", "opArrayLength", "opStringLength", "opArrayElement", "opStringChar",
    "opParamBool", "opParamInt1", "opParamInt2", "opParamInt4", "opParamInt8", "opParamReal4",
    "opParamReal8", "opParamString", "opParamStringPtr", "opParamReference", "opParamArray",
    "opParamArrayPtr", "opParamRawBinary", "opParamUnknown",
    "opTrue", "opFalse", "opCurrent", "opFirst", "opLast", "opNull", "opIntConst",
    "opRealConst", "opStringConst",
    "opOrBool", "opAndBool", "opNotBool", "opIsNull",
    "opNegInt", "opAddInt", "opSubInt", "opMulInt", "opDivInt", "opAndInt", "opOrInt",
    "opNotInt", "opAbsInt", "opPowerInt",
    "opEqInt", "opNeInt", "opGtInt", "opGeInt", "opLtInt", "opLeInt", "opBetweenInt",
    "opNegReal", "opAddReal", "opSubReal", "opMulReal", "opDivReal", "opAbsReal",
    "opPowerReal", "opPowerRealInt",
    "opEqBinary", "opNeBinary", "opGtBinary", "opGeBinary", "opLtBinary", "opLeBinary",
    "opBetweenBinary",
    "opEqReal", "opNeReal", "opGtReal", "opGeReal", "opLtReal", "opLeReal", "opBetweenReal",
    "opEqBool", "opNeBool", "opEqReference", "opNeReference",
    "opEqString", "opNeString", "opGtString", "opGeString", "opLtString", "opLeString",
    "opBetweenString",
    "opLike", "opLikeEscape", "opUpper", "opLower",
    "opIntToReference", "opIntToReal", "opRealToInt", "opIntToString", "opRealToString",
    "opConcat", "opDeref", "opExists", "opVariable", "opList",
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr,
    "opVoid"};

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}
bool isNameStart(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '$' || c == '_';
}
bool isNameChar(int c)
{
    return isNameStart(c) || isDigit(c);
}

constexpr std::size_t maxLiteralLength = 4096;

bool isFieldKeyLoad(int cop)
{
    return (cop >= opLoadSelfBool && cop <= opLoadSelfReference) || cop == opLoadSelfRawBinary;
}

bool isRawFieldLoad(const dbExprNode* e)
{
    return e->cop == opLoadRawBinary || e->cop == opLoadSelfRawBinary;
}

dbExprNodeAllocator theNodePool;

} // namespace

int dbExprNode::operandCount(int cop)
{
    return opcodeInfo.count[cop];
}

int dbExprNode::resultType(int cop)
{
    return opcodeInfo.type[cop];
}

int dbExprNode::mirror(int cop)
{
    return opcodeInfo.mirror[cop];
}

const char* dbOpcodeName(int cop)
{
    if (cop < 0 || cop >= dbvmCodeCount || opcodeNames[cop] == nullptr) {
        return "opUnknown";
    }
    return opcodeNames[cop];
}

// ---------------------------------------------------------------------------
// Node pool

namespace {
struct NodeChunk {
    NodeChunk* next;
    dbExprNode nodes[dbExprNodeAllocator::chunkSize];
};
} // namespace

dbExprNodeAllocator& dbExprNodeAllocator::instance()
{
    return theNodePool;
}

dbExprNode* dbExprNodeAllocator::allocateLocked()
{
    if (freeList_ == nullptr) {
        auto* chunk = new NodeChunk;
        chunk->next = static_cast<NodeChunk*>(chunks_);
        chunks_ = chunk;
        for (std::size_t i = 0; i + 1 < chunkSize; i++) {
            chunk->nodes[i].operand[0] = freeList_;
            freeList_ = &chunk->nodes[i];
        }
        freeCount_ += chunkSize - 1;
        return &chunk->nodes[chunkSize - 1];
    }
    dbExprNode* node = freeList_;
    freeList_ = node->operand[0];
    freeCount_ -= 1;
    return node;
}

void dbExprNodeAllocator::deallocateLocked(dbExprNode* node)
{
    node->operand[0] = freeList_;
    freeList_ = node;
    freeCount_ += 1;
}

dbExprNode* dbExprNodeAllocator::allocate()
{
    std::lock_guard<dbMutex> guard(mutex_);
    return allocateLocked();
}

void dbExprNodeAllocator::deallocate(dbExprNode* node)
{
    std::lock_guard<dbMutex> guard(mutex_);
    deallocateLocked(node);
}

void dbExprNodeAllocator::deleteTree(dbExprNode* tree)
{
    std::lock_guard<dbMutex> guard(mutex_);
    deleteTreeLocked(tree);
}

void dbExprNodeAllocator::deleteTreeLocked(dbExprNode* tree)
{
    if (tree == nullptr) {
        return;
    }
    if (tree->cop == opStringConst) {
        delete[] tree->svalue.str;
    } else {
        int n = dbExprNode::operandCount(tree->cop);
        for (int i = 0; i < n; i++) {
            deleteTreeLocked(tree->operand[i]);
        }
    }
    deallocateLocked(tree);
}

std::size_t dbExprNodeAllocator::freeCount()
{
    std::lock_guard<dbMutex> guard(mutex_);
    return freeCount_;
}

// ---------------------------------------------------------------------------
// Dump

std::string dbDumpExpr(const dbExprNode* node)
{
    if (node == nullptr) {
        return "null";
    }
    std::string s = dbOpcodeName(node->cop);
    int cop = node->cop;
    if (cop <= opLoadSelfRawBinary) {
        if (node->ref.field != nullptr) {
            s += ' ';
            s += node->ref.field->name;
        }
        if (node->ref.base != nullptr) {
            s += "(" + dbDumpExpr(node->ref.base) + ")";
        }
        return s;
    }
    switch (cop) {
    case opIntConst:
        return s + " " + std::to_string(node->ivalue);
    case opRealConst: {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, node->fvalue);
        return s + " " + std::string(buf, r.ptr);
    }
    case opStringConst:
        return s + " '" + node->svalue.str + "'";
    case opExists:
    case opVariable:
        s += "#" + std::to_string(node->offs);
        break;
    default:
        break;
    }
    int n = dbExprNode::operandCount(cop);
    if (n > 0) {
        s += '(';
        for (int i = 0; i < n; i++) {
            if (i > 0) {
                s += ", ";
            }
            s += dbDumpExpr(node->operand[i]);
        }
        s += ')';
    }
    return s;
}

// ---------------------------------------------------------------------------
// Scanner

dbCompiler::dbCompiler(dbDatabase* database) : db(database)
{
    dbSymbolTable::registerKeywords();
}

dbCompiler::~dbCompiler()
{
    discardTaken();
}

void dbCompiler::startScan(const dbQuery& query)
{
    elem = query.elements();
    currPos = 0;
    tokenPos = 0;
    firstPos = 0;
    offsetWithinStatement = query.pos;
    hasToken = false;
    lex = tokEof;
}

int dbCompiler::nextToken()
{
    try {
        return scan();
    } catch (const CompileError&) {
        return -1;
    }
}

void dbCompiler::unget(int tok)
{
    pushedToken = tok;
    hasToken = true;
}

int dbCompiler::peekPos() const
{
    if (hasToken || elem == nullptr || elem->type != dbQueryElement::Text || elem->ptr == nullptr) {
        return hasToken ? tokenPos : currPos;
    }
    const char* text = static_cast<const char*>(elem->ptr);
    int p = currPos;
    while (isSpace(static_cast<unsigned char>(text[p]))) {
        p++;
    }
    return p;
}

int dbCompiler::scan()
{
    if (hasToken) {
        hasToken = false;
        return pushedToken;
    }
    while (true) {
        if (elem == nullptr) {
            tokenPos = currPos;
            return tokEof;
        }
        if (elem->type != dbQueryElement::Text) {
            paramType = elem->type;
            paramPtr = elem->ptr;
            paramTable = elem->table;
            elem = elem->next;
            tokenPos = currPos;
            return tokParam;
        }
        const char* text = static_cast<const char*>(elem->ptr);
        if (text == nullptr) {
            text = "";
        }
        int ch = static_cast<unsigned char>(text[currPos]);
        while (isSpace(ch)) {
            if (ch == '\n') {
                offsetWithinStatement = -(currPos + 1);
                firstPos = 0;
            }
            ch = static_cast<unsigned char>(text[++currPos]);
        }
        if (ch == 0) {
            elem = elem->next;
            if (elem != nullptr) {
                currPos = 0;
            } // else the end of the query stays where the last text ended
            continue;
        }
        tokenPos = currPos;
        currPos += 1;
        switch (ch) {
        case '(':
            return tokLParen;
        case ')':
            return tokRParen;
        case '[':
            return tokLBracket;
        case ']':
            return tokRBracket;
        case ',':
            return tokComma;
        case '.':
            return tokDot;
        case '^':
            return tokPower;
        case '*':
            return tokMul;
        case '/':
            return tokDiv;
        case '+':
            return tokPlus;
        case '=':
            return tokEq;
        case ':':
            return tokColon;
        case '-':
            if (text[currPos] == '-') {
                // A comment runs to the end of its line.
                while (text[currPos] != '\n' && text[currPos] != 0) {
                    currPos += 1;
                }
                continue;
            }
            return tokMinus;
        case '<':
            if (text[currPos] == '=') {
                currPos += 1;
                return tokLe;
            }
            if (text[currPos] == '>') {
                currPos += 1;
                return tokNe;
            }
            return tokLt;
        case '>':
            if (text[currPos] == '=') {
                currPos += 1;
                return tokGe;
            }
            return tokGt;
        case '!':
            if (text[currPos] != '=') {
                error("Invalid token '!'");
            }
            currPos += 1;
            return tokNe;
        case '|':
            if (text[currPos] != '|') {
                error("Invalid token '|'");
            }
            currPos += 1;
            return tokPlus;
        case '\'':
            return scanString(text);
        default:
            if (isDigit(ch)) {
                return scanNumber(text);
            }
            if (isNameStart(ch)) {
                return scanName(text);
            }
            error("Invalid symbol");
        }
    }
}

int dbCompiler::scanString(const char* text)
{
    svalue.clear();
    while (true) {
        int ch = static_cast<unsigned char>(text[currPos++]);
        if (ch == '\'') {
            if (text[currPos] != '\'') {
                return tokStrConst;
            }
            currPos += 1; // two quotes stand for one
        } else if (ch == 0) {
            error("Unterminated character constant");
        }
        if (svalue.size() >= maxLiteralLength) {
            error("String constant too long");
        }
        svalue += char(ch);
    }
}

int dbCompiler::scanNumber(const char* text)
{
    int start = tokenPos;
    int p = start;
    std::uint32_t acc = 0;
    while (isDigit(text[p])) {
        acc = acc * 10 + std::uint32_t(text[p] - '0');
        p += 1;
    }
    const char* end = text + std::strlen(text);
    if (text[p] == '.' || text[p] == 'e' || text[p] == 'E') {
        auto r = std::from_chars(text + start, end, fvalue);
        if (r.ec != std::errc()) {
            error("Bad floating point constant");
        }
        currPos = int(r.ptr - text);
        return tokRealConst;
    }
    if (p - start <= 9) {
        ivalue = std::int32_t(acc);
        currPos = p;
        return tokIntConst;
    }
    auto r = std::from_chars(text + start, end, ivalue);
    if (r.ec != std::errc()) {
        error("Bad integer constant");
    }
    currPos = int(r.ptr - text);
    return tokIntConst;
}

int dbCompiler::scanName(const char* text)
{
    int start = tokenPos;
    int p = start;
    while (isNameChar(static_cast<unsigned char>(text[p]))) {
        p += 1;
        if (std::size_t(p - start) > maxLiteralLength) {
            currPos = p;
            error("Name too long");
        }
    }
    currPos = p;
    std::string word(text + start, std::size_t(p - start));
    const char* interned = word.c_str();
    int tok = dbSymbolTable::add(interned, tokIdent, true);
    name = interned;
    return tok;
}

dbDatabase* dbCompiler::errorTarget() const
{
    if (db == nullptr && table != nullptr && table->db != DETACHED_TABLE) {
        return table->db;
    }
    return db;
}

void dbCompiler::report(const char* msg, int pos)
{
    if (dbDatabase* target = errorTarget()) {
        target->handleError(dbDatabase::QueryError, msg, pos);
    } else {
        std::fprintf(stderr, "%s in position %d\n", msg, pos);
    }
}

void dbCompiler::error(const char* msg, int pos)
{
    if (pos < 0) {
        pos = currPos - 1;
        if (pos < 0) {
            pos = 0;
        }
    } else if (pos < firstPos) {
        pos = firstPos;
    }
    if (pos + offsetWithinStatement >= 0) {
        pos += offsetWithinStatement;
    }
    report(msg, pos);
    throw CompileError{};
}

// ---------------------------------------------------------------------------
// Nodes

dbExprNode* dbCompiler::node(int cop, dbExprNode* a, dbExprNode* b, dbExprNode* c)
{
    dbExprNode* n = dbExprNodeAllocator::instance().allocate();
    taken.insert(n);
    n->cop = std::uint8_t(cop);
    n->type = std::uint8_t(dbExprNode::resultType(cop));
    n->offs = 0;
    n->operand[0] = a;
    n->operand[1] = b;
    n->operand[2] = c;
    n->comparator = nullptr;
    return n;
}

dbExprNode* dbCompiler::load(dbExprNode* base, dbFieldDescriptor* fd)
{
    int code = fd->method != nullptr ? fd->appType : fd->type;
    int cop;
    if (code == dbField::tpStructure) {
        return nullptr; // selected further by a path
    } else if (code == dbField::tpRawBinary) {
        cop = base != nullptr ? opLoadRawBinary : opLoadSelfRawBinary;
    } else if (code >= dbField::tpBool && code <= dbField::tpMethodReference) {
        cop = (base != nullptr ? opLoadBool : opLoadSelfBool) + code;
    } else {
        error("Field not found");
    }
    dbExprNode* n = node(cop);
    n->ref.base = base;
    n->ref.field = fd;
    n->offs = std::uint16_t(fd->dbsOffs);
    return n;
}

dbExprNode* dbCompiler::stringConst(const std::string& s)
{
    dbExprNode* n = node(opStringConst);
    n->svalue.str = new char[s.size() + 1];
    std::memcpy(n->svalue.str, s.c_str(), s.size() + 1);
    n->svalue.len = int(s.size() + 1);
    return n;
}

dbExprNode* dbCompiler::toReal(dbExprNode* e)
{
    if (e->cop == opIntConst) {
        double v = double(e->ivalue);
        e->cop = opRealConst;
        e->type = tpReal;
        e->fvalue = v;
        return e;
    }
    return node(opIntToReal, e);
}

dbExprNode* dbCompiler::copy(const dbExprNode* e)
{
    if (e == nullptr) {
        return nullptr;
    }
    dbExprNode* n = node(e->cop);
    *n = *e;
    if (e->cop == opStringConst) {
        n->svalue.str = nullptr;
        n->svalue.str = new char[e->svalue.len];
        std::memcpy(n->svalue.str, e->svalue.str, std::size_t(e->svalue.len));
        return n;
    }
    int count = dbExprNode::operandCount(e->cop);
    for (int i = 0; i < count; i++) {
        n->operand[i] = nullptr;
    }
    for (int i = 0; i < count; i++) {
        n->operand[i] = copy(e->operand[i]);
    }
    return n;
}

void dbCompiler::release(dbExprNode* e)
{
    taken.erase(e);
    if (e->cop == opStringConst) {
        delete[] e->svalue.str;
    }
    dbExprNodeAllocator::instance().deallocate(e);
}

void dbCompiler::discardTaken()
{
    dbExprNodeAllocator& pool = dbExprNodeAllocator::instance();
    for (dbExprNode* n : taken) {
        if (n->cop == opStringConst) {
            delete[] n->svalue.str;
        }
        pool.deallocate(n);
    }
    taken.clear();
}

void dbCompiler::rawBinaryOperands(dbExprNode* cmp, dbExprNode* first, dbExprNode* second, int pos)
{
    const dbExprNode* f = isRawFieldLoad(first) ? first
                          : (second != nullptr && isRawFieldLoad(second)) ? second
                                                                          : nullptr;
    if (f == nullptr) {
        error("Operations with raw binary types should include at least one record field");
    }
    cmp->offs = std::uint16_t(f->ref.field->dbsSize);
    cmp->comparator = f->ref.field->comparator;
}

dbFieldDescriptor* dbCompiler::findField(dbFieldDescriptor* ring, int pos)
{
    dbFieldDescriptor* fd = ring != nullptr ? ring->find(name) : nullptr;
    if (fd == nullptr) {
        error("Field not found");
    }
    return fd;
}

// ---------------------------------------------------------------------------
// Grammar

// One level of a nested term or of a right-associative operator chain, so
// that no query text can run the compiler (or later the interpreter) out of
// stack. The level past the limit is reported at the token that opened it.
class dbCompiler::NestingScope {
  public:
    explicit NestingScope(dbCompiler& c) : compiler(c)
    {
        if (compiler.nesting >= maxNesting) {
            compiler.error("Expression is nested too deeply");
        }
        compiler.nesting += 1;
    }
    ~NestingScope() { compiler.nesting -= 1; }
    NestingScope(const NestingScope&) = delete;
    NestingScope& operator=(const NestingScope&) = delete;

  private:
    dbCompiler& compiler;
};

dbExprNode* dbCompiler::disjunction()
{
    return logical(tokOr);
}

dbExprNode* dbCompiler::conjunction()
{
    return logical(tokAnd);
}

// "or" over conjunctions, "and" over comparisons; both right-associative,
// logical on booleans and bitwise on integers.
dbExprNode* dbCompiler::logical(int tok)
{
    bool isOr = tok == tokOr;
    dbExprNode* left = isOr ? conjunction() : comparison();
    if (lex != tok) {
        return left;
    }
    int pos = currPos;
    NestingScope nested(*this);
    dbExprNode* right = logical(tok);
    if (left->type == tpBoolean && right->type == tpBoolean) {
        return node(isOr ? opOrBool : opAndBool, left, right);
    }
    if (left->type == tpInteger && right->type == tpInteger) {
        return node(isOr ? opOrInt : opAndInt, left, right);
    }
    error(isOr ? "Bad operands for OR operator" : "Bad operands for AND operator", pos);
}

dbExprNode* dbCompiler::comparison()
{
    int leftPos = peekPos();
    dbExprNode* left = addition();
    int cop = lex;
    switch (cop) {
    case tokEq: case tokNe: case tokGt: case tokGe: case tokLt: case tokLe:
    case tokBetween: case tokLike: case tokNot: case tokIs: case tokIn:
        break;
    default:
        return left;
    }
    int opPos = tokenPos;
    if (cop == tokIs) {
        if (left->type != tpReference) {
            error("IS [NOT] NULL predicate can be applied only to references");
        }
        int tok = scan();
        if (tok == tokNull) {
            left = node(opIsNull, left);
        } else if (tok == tokNot) {
            if (scan() != tokNull) {
                error("NULL expected");
            }
            left = node(opNotBool, node(opIsNull, left));
        } else {
            error("[NOT] NULL expected");
        }
        lex = scan();
        return left;
    }
    bool negate = false;
    if (cop == tokNot) {
        cop = scan();
        if (cop != tokLike && cop != tokBetween && cop != tokIn) {
            error("LIKE, BETWEEN or IN expected");
        }
        negate = true;
        opPos = tokenPos;
    }
    dbExprNode* result;
    if (cop == tokBetween) {
        result = between(left, leftPos, opPos);
    } else {
        int rightPos = peekPos();
        dbExprNode* right = addition();
        if (cop == tokLike) {
            result = like(left, right, opPos);
        } else if (cop == tokIn) {
            result = in(left, right, opPos, rightPos);
        } else {
            result = relation(cop, left, right, opPos);
        }
    }
    if (negate) {
        result = node(opNotBool, result);
    }
    return result;
}

dbExprNode* dbCompiler::relation(int tok, dbExprNode* left, dbExprNode* right, int pos)
{
    int k = tok - tokEq; // Eq, Ne, Gt, Ge, Lt, Le
    int cop;
    bool raw = false;
    if (left->type == tpReal || right->type == tpReal) {
        if (left->type == tpInteger) {
            left = toReal(left);
        }
        if (right->type == tpInteger) {
            right = toReal(right);
        }
        if (left->type != tpReal || right->type != tpReal) {
            error("operands of relation operator should be of intger, real or string type");
        }
        cop = opEqReal + k;
    } else if (left->type == tpInteger && right->type == tpInteger) {
        cop = opEqInt + k;
    } else if (left->type == tpString && right->type == tpString) {
        cop = opEqString + k;
    } else if ((left->type == tpReference && (right->type == tpReference || right->type == tpInteger))
               || (left->type == tpInteger && right->type == tpReference)) {
        if (k > 1) {
            error("References can be checked only for equality");
        }
        if (left->type == tpInteger) {
            left = node(opIntToReference, left);
        }
        if (right->type == tpInteger) {
            right = node(opIntToReference, right);
        }
        cop = opEqReference + k;
    } else if (left->type == tpBoolean && right->type == tpBoolean) {
        if (k > 1) {
            error("Boolean variables can be checked only for equality");
        }
        cop = opEqBool + k;
    } else if (left->type == tpRawBinary && right->type == tpRawBinary) {
        cop = opEqBinary + k;
        raw = true;
    } else {
        error("operands of relation operator should be of integer, real or string type");
    }
    dbExprNode* cmp = node(cop, left, right);
    if (raw) {
        rawBinaryOperands(cmp, left, right, pos);
    }
    if (dbExprNode::isParameter(left->cop)) {
        // A bound parameter always stands on the right.
        cmp->operand[0] = right;
        cmp->operand[1] = left;
        cmp->cop = std::uint8_t(dbExprNode::mirror(cop));
    }
    return cmp;
}

dbExprNode* dbCompiler::between(dbExprNode* left, int leftPos, int betweenPos)
{
    dbExprNode* low = addition();
    if (lex != tokAnd) {
        error("AND expected");
    }
    int andPos = tokenPos;
    dbExprNode* high = addition();
    dbExprNode* ops[3] = {left, low, high};
    const int positions[3] = {leftPos, betweenPos, andPos};
    auto all = [&ops](int type) {
        return ops[0]->type == type && ops[1]->type == type && ops[2]->type == type;
    };
    if (ops[0]->type == tpReal || ops[1]->type == tpReal || ops[2]->type == tpReal) {
        for (int i = 0; i < 3; i++) {
            if (ops[i]->type == tpInteger) {
                ops[i] = toReal(ops[i]);
            } else if (ops[i]->type != tpReal) {
                error("operand of BETWEEN operator should be of integer, real or string type",
                      positions[i]);
            }
        }
        return node(opBetweenReal, ops[0], ops[1], ops[2]);
    }
    if (all(tpInteger)) {
        return node(opBetweenInt, left, low, high);
    }
    if (all(tpString)) {
        return node(opBetweenString, left, low, high);
    }
    if (all(tpRawBinary)) {
        dbExprNode* cmp = node(opBetweenBinary, left, low, high);
        rawBinaryOperands(cmp, left, nullptr, betweenPos);
        return cmp;
    }
    error("operands of BETWEEN operator should be of integer, real or string type", betweenPos);
}

dbExprNode* dbCompiler::like(dbExprNode* left, dbExprNode* right, int pos)
{
    if (left->type != tpString || right->type != tpString) {
        error("operands of LIKE operator should be of string type");
    }
    if (lex != tokEscape) {
        return node(opLike, left, right);
    }
    if (scan() != tokStrConst) {
        error("String literal espected after ESCAPE");
    }
    if (svalue.empty()) {
        // The matcher takes the escape's first character; an empty escape
        // would make it read a terminator as the escape character.
        error("Escape character expected");
    }
    dbExprNode* escape = stringConst(svalue);
    lex = scan();
    return node(opLikeEscape, left, right, escape);
}

dbExprNode* dbCompiler::in(dbExprNode* left, dbExprNode* right, int pos, int rightPos)
{
    if (right->type == tpString) {
        if (left->type != tpString) {
            error("Left operand of IN expression hasn't string type");
        }
        return node(opInString, left, right);
    }
    if (right->type == tpArray) {
        int elemType = (right->cop == opParamArray || right->cop == opParamArrayPtr)
                           ? int(dbField::tpReference)
                           : right->ref.field->components->type;
        bool match;
        switch (elemType) {
        case dbField::tpBool:
            match = left->type == tpBoolean;
            break;
        case dbField::tpInt1: case dbField::tpInt2: case dbField::tpInt4: case dbField::tpInt8:
            match = left->type == tpInteger;
            break;
        case dbField::tpReal4: case dbField::tpReal8:
            match = left->type == tpReal;
            break;
        case dbField::tpString:
            match = left->type == tpString;
            break;
        case dbField::tpReference:
            if (left->type == tpInteger) {
                left = node(opIntToReference, left);
            }
            match = left->type == tpReference;
            break;
        default:
            match = false;
        }
        if (!match) {
            error("Type of selective expression of IN operator doesn't match type of the array");
        }
        return node(opInArrayBool + elemType, left, right);
    }
    if (right->type == tpList) {
        return inList(left, right, pos);
    }
    error("List of expressions or array expected");
}

dbExprNode* dbCompiler::inList(dbExprNode* left, dbExprNode* list, int pos)
{
    std::vector<dbExprNode*> links;
    for (dbExprNode* l = list; l != nullptr; l = l->operand[0]) {
        links.push_back(l);
    }
    dbExprNode* result = nullptr;
    int number = 0;
    for (auto it = links.rbegin(); it != links.rend(); ++it) {
        number += 1;
        dbExprNode* item = (*it)->operand[1];
        dbExprNode* l = number == 1 ? left : copy(left);
        int cop;
        if (l->type == tpInteger && item->type == tpInteger) {
            cop = opEqInt;
        } else if ((l->type == tpInteger && item->type == tpReal)
                   || (l->type == tpReal && (item->type == tpInteger || item->type == tpReal))) {
            if (l->type == tpInteger) {
                l = toReal(l);
            }
            if (item->type == tpInteger) {
                item = toReal(item);
            }
            cop = opEqReal;
        } else if ((l->type == tpInteger || l->type == tpReference) && item->type == tpReference) {
            if (l->type == tpInteger) {
                l = node(opIntToReference, l);
            }
            cop = opEqReference;
        } else if (l->type == tpString && item->type == tpString) {
            cop = opEqString;
        } else if (l->type == tpBoolean && item->type == tpBoolean) {
            cop = opEqBool;
        } else if (l->type == tpRawBinary && item->type == tpRawBinary) {
            cop = opEqBinary;
        } else {
            char msg[128];
            std::snprintf(msg, sizeof msg,
                          "Expression %d in right part of IN operator have incompatible type", number);
            error(msg);
        }
        dbExprNode* cmp = node(cop, l, item);
        if (cop == opEqBinary) {
            rawBinaryOperands(cmp, l, item, pos);
        }
        result = result == nullptr ? cmp : node(opOrBool, result, cmp);
    }
    for (dbExprNode* l : links) {
        release(l);
    }
    return result;
}

dbExprNode* dbCompiler::addition()
{
    return arithmetic(true);
}

dbExprNode* dbCompiler::multiplication()
{
    return arithmetic(false);
}

// Left-associative "+" and "-" over multiplications, or "*" and "/" over
// powers.
dbExprNode* dbCompiler::arithmetic(bool additive)
{
    dbExprNode* left = additive ? multiplication() : power();
    while (additive ? (lex == tokPlus || lex == tokMinus) : (lex == tokMul || lex == tokDiv)) {
        int tok = lex;
        int pos = tokenPos;
        dbExprNode* right = additive ? multiplication() : power();
        int cop;
        if (left->type == tpReal || right->type == tpReal) {
            left = realOperand(left, "operands of arithmetic operators should be of integer or real type", pos);
            right = realOperand(right, "operands of arithmetic operator should be of integer or real type", pos);
            cop = tok == tokPlus ? opAddReal : tok == tokMinus ? opSubReal : tok == tokMul ? opMulReal : opDivReal;
        } else if (left->type == tpInteger && right->type == tpInteger) {
            cop = tok == tokPlus ? opAddInt : tok == tokMinus ? opSubInt : tok == tokMul ? opMulInt : opDivInt;
        } else if (additive && left->type == tpString && right->type == tpString) {
            if (tok == tokMinus) {
                error("Operation - is not defined for strings");
            }
            cop = opConcat;
        } else {
            error("operands of arithmentic operator should be of integer or real type");
        }
        left = node(cop, left, right);
    }
    return left;
}

dbExprNode* dbCompiler::realOperand(dbExprNode* e, const char* msg, int pos)
{
    if (e->type == tpInteger) {
        return toReal(e);
    }
    if (e->type != tpReal) {
        error(msg);
    }
    return e;
}

dbExprNode* dbCompiler::power()
{
    dbExprNode* left = term();
    if (lex != tokPower) {
        return left;
    }
    int pos = tokenPos;
    NestingScope nested(*this);
    dbExprNode* right = power();
    if (left->type == tpInteger && right->type == tpInteger) {
        return node(opPowerInt, left, right);
    }
    if (left->type != tpReal && right->type != tpReal) {
        error("operands of arithmentic operator should be of integer or real type");
    }
    left = realOperand(left, "operands of arithmetic operators should be of integer or real type", pos);
    if (right->type == tpInteger) {
        return node(opPowerRealInt, left, right);
    }
    if (right->type != tpReal) {
        error("operands of arithmetic operator should be of integer or real type");
    }
    return node(opPowerReal, left, right);
}

dbExprNode* dbCompiler::term()
{
    int tok = scan();
    if (tok == tokWhere) {
        if (firstPos == 0) {
            firstPos = currPos;
        }
        tok = scan();
    }
    int pos = tokenPos;
    NestingScope nested(*this);
    dbExprNode* expr;
    switch (tok) {
    case tokIdent: {
        for (Binding* b = bindings; b != nullptr; b = b->next) {
            if (b->name == name) {
                b->used = true;
                expr = node(opVariable);
                expr->offs = std::uint16_t(b->index);
                lex = scan();
                return expr;
            }
        }
        dbFieldDescriptor* fd = findField(table->columns, pos);
        expr = load(nullptr, fd);
        lex = scan();
        return path(expr, nullptr, fd, nullptr);
    }
    case tokLParen:
        expr = disjunction();
        if (lex == tokComma) {
            dbExprNode* list = node(opList, nullptr, expr);
            while (lex == tokComma) {
                list = node(opList, list, disjunction());
            }
            expr = list;
        }
        if (lex != tokRParen) {
            error("')' expected");
        }
        lex = scan();
        return expr;
    case tokIntConst:
        expr = node(opIntConst);
        expr->ivalue = ivalue;
        lex = scan();
        return expr;
    case tokRealConst:
        expr = node(opRealConst);
        expr->fvalue = fvalue;
        lex = scan();
        return expr;
    case tokStrConst:
        expr = stringConst(svalue);
        lex = scan();
        return path(expr, nullptr, nullptr, nullptr);
    case tokPlus:
        error("Using of unary plus operator has no sence");
    case tokMinus:
        expr = term();
        if (expr->cop == opIntConst) {
            expr->ivalue = std::int64_t(0 - std::uint64_t(expr->ivalue));
        } else if (expr->cop == opRealConst) {
            expr->fvalue = -expr->fvalue;
        } else if (expr->type == tpInteger) {
            expr = node(opNegInt, expr);
        } else if (expr->type == tpReal) {
            expr = node(opNegReal, expr);
        } else {
            error("Unary minus can be applied only to integer or real expressions");
        }
        return expr;
    case tokNot:
        expr = comparison();
        if (expr->type == tpBoolean) {
            return node(opNotBool, expr);
        }
        if (expr->cop == opIntConst) {
            expr->ivalue = ~expr->ivalue;
            return expr;
        }
        if (expr->type == tpInteger) {
            return node(opNotInt, expr);
        }
        error("NOT operator can be applied only to integer or boolean expressions");
    case tokNull:
        expr = node(opNull);
        lex = scan();
        return expr;
    case tokTrue:
    case tokFalse:
        expr = node(tok == tokTrue ? opTrue : opFalse);
        lex = scan();
        return expr;
    case tokFirst:
    case tokLast:
    case tokCurrent:
        expr = node(tok == tokFirst ? opFirst : tok == tokLast ? opLast : opCurrent);
        lex = scan();
        return path(expr, nullptr, nullptr, table);
    case tokParam: {
        int cop = paramType == dbQueryElement::ParamUnknown ? opParamUnknown
                                                            : opParamBool + paramType - 1;
        expr = node(cop);
        expr->param.var = paramPtr;
        dbTableDescriptor* target = paramTable;
        lex = scan();
        return path(expr, nullptr, nullptr, target);
    }
    case tokLength:
    case tokLower:
    case tokUpper:
    case tokAbs:
    case tokInteger:
    case tokReal:
    case tokString:
        return userFunction(tok, pos);
    case tokExists:
        return exists();
    case tokStart:
    case tokOrder:
    case tokEof:
        lex = tok;
        return node(opVoid);
    default:
        error("operand expected");
    }
}

dbExprNode* dbCompiler::userFunction(int fn, int pos)
{
    dbExprNode* arg = term();
    int t = arg->type;
    dbExprNode* expr = nullptr;
    switch (fn) {
    case tokLength:
        if (t == tpArray) {
            expr = node(opArrayLength, arg);
        } else if (t == tpString) {
            expr = node(opStringLength, arg);
        } else {
            error("LENGTH function is defined only for arrays and strings");
        }
        break;
    case tokLower:
        if (t != tpString) {
            error("LOWER function can be applied only to string argument");
        }
        expr = node(opLower, arg);
        break;
    case tokUpper:
        if (t != tpString) {
            error("UPPER function can be applied only to string argument");
        }
        expr = node(opUpper, arg);
        break;
    case tokAbs:
        if (t == tpInteger) {
            expr = node(opAbsInt, arg);
        } else if (t == tpReal) {
            expr = node(opAbsReal, arg);
        } else {
            error("ABS function can be applied only to integer or real expression");
        }
        break;
    case tokInteger:
        if (t != tpReal) {
            error("INTEGER function can be applied only to expression of real type");
        }
        expr = node(opRealToInt, arg);
        break;
    case tokReal:
        if (t != tpInteger) {
            error("REAL function can be applied only to expression of integer type");
        }
        expr = toReal(arg);
        break;
    case tokString:
        if (t == tpInteger) {
            expr = node(opIntToString, arg);
        } else if (t == tpReal) {
            expr = node(opRealToString, arg);
        } else {
            error("STRING function can be applied only to integer or real expression");
        }
        break;
    default:
        dbAssert(false);
    }
    return path(expr, nullptr, nullptr, nullptr);
}

dbExprNode* dbCompiler::exists()
{
    if (scan() != tokIdent) {
        error("Free variable name expected");
    }
    if (nFreeVars >= 3) {
        error("Too many nested EXISTS clauses\n");
    }
    Binding var{bindings, name, false, nFreeVars};
    bindings = &var;
    nFreeVars += 1;
    if (scan() != tokColon) {
        error("':' expected");
    }
    dbExprNode* body = comparison();
    if (body->type != tpBoolean) {
        error("Expresion in EXISTS clause should be of boolean type");
    }
    if (var.used) {
        body = node(opExists, body);
        body->offs = std::uint16_t(var.index);
    }
    dbAssert(bindings == &var);
    bindings = var.next;
    nFreeVars -= 1;
    return body;
}

dbExprNode* dbCompiler::path(dbExprNode* expr, dbExprNode* base, dbFieldDescriptor* fd,
                             dbTableDescriptor* refTable)
{
    while (lex == tokDot || lex == tokLBracket) {
        if (lex == tokDot) {
            if (scan() != tokIdent) {
                error("identifier expected");
            }
            int pos = tokenPos;
            if (expr == nullptr && fd != nullptr && fd->type == dbField::tpStructure) {
                fd = findField(fd->components, pos);
            } else {
                if (expr == nullptr || expr->type != tpReference) {
                    error("Left operand of '.' should be structure or reference");
                }
                dbTableDescriptor* target = refTable != nullptr ? refTable
                                            : fd != nullptr     ? fd->refTable
                                                                : nullptr;
                fd = findField(target != nullptr ? target->columns : nullptr, pos);
                base = node(opDeref, expr);
                refTable = nullptr;
            }
            expr = load(base, fd);
        } else {
            if (expr == nullptr || (expr->type != tpArray && expr->type != tpString)) {
                error("Index can be applied only to arrays");
            }
            dbExprNode* index = disjunction();
            if (lex != tokRBracket) {
                error("']' expected");
            }
            if (index->type != tpInteger && index->type != tpFreeVar) {
                error("Index should have integer type");
            }
            if (expr->type == tpString) {
                lex = scan();
                return node(opStringChar, expr, index);
            }
            base = node(opArrayElement, expr, index);
            if (expr->cop == opParamArray || expr->cop == opParamArrayPtr) {
                // Arrays bound as parameters hold references into the
                // parameter's table.
                base->offs = 4;
                expr = node(opLoadReference);
                expr->ref.base = base;
                expr->ref.field = nullptr;
                fd = nullptr;
            } else {
                fd = fd->components;
                base->offs = std::uint16_t(fd->dbsSize);
                expr = load(base, fd);
            }
        }
        lex = scan();
    }
    if (expr == nullptr) {
        error("'.' expected");
    }
    return expr;
}

// ---------------------------------------------------------------------------
// START FROM, FOLLOW BY, ORDER BY

void dbCompiler::startFrom(dbQuery& query)
{
    if (scan() != tokFrom) {
        error("FROM expected after START");
    }
    switch (scan()) {
    case tokFirst:
        query.startFrom = dbCompiledQuery::StartFromFirst;
        break;
    case tokLast:
        query.startFrom = dbCompiledQuery::StartFromLast;
        break;
    case tokParam:
        if (paramType == dbQueryElement::ParamReference) {
            if (paramTable != table) {
                error("Incompatiable type of reference variable");
            }
            query.startFrom = dbCompiledQuery::StartFromRef;
        } else if (paramType == dbQueryElement::ParamArrayOfRef
                   || paramType == dbQueryElement::ParamArrayOfRefPtr) {
            if (paramTable != table) {
                error("Incompatiable type of array of reference variable");
            }
            query.startFrom = paramType == dbQueryElement::ParamArrayOfRef
                                  ? dbCompiledQuery::StartFromArray
                                  : dbCompiledQuery::StartFromArrayPtr;
        } else {
            error("Reference or array of reference variable expected");
        }
        query.startParameter = paramPtr;
        break;
    default:
        error("FIRST, LAST or reference varaible expected");
    }
    lex = scan();
    if (lex == tokFollow) {
        followBy(query);
    }
}

void dbCompiler::followBy(dbQuery& query)
{
    if (scan() != tokBy) {
        error("BY expected after FOLLOW");
    }
    do {
        if (scan() != tokIdent) {
            error("Field name expected");
        }
        dbFieldDescriptor* fd = findField(table->columns, tokenPos);
        while (fd->type == dbField::tpStructure) {
            if (scan() != tokDot) {
                error("'.' expected");
            }
            if (scan() != tokIdent) {
                error("Field name expected");
            }
            fd = findField(fd->components, tokenPos);
        }
        bool reference = fd->type == dbField::tpReference && fd->refTable == table;
        bool array = fd->type == dbField::tpArray && fd->components->type == dbField::tpReference
                     && fd->components->refTable == table;
        if (!reference && !array) {
            error("Follow field should be of compatibale reference or array of reference type");
        }
        auto* follow = new dbFollowByNode;
        follow->field = fd;
        follow->next = query.follow;
        query.follow = follow;
    } while ((lex = scan()) == tokComma);
}

void dbCompiler::orderBy(dbQuery& query)
{
    if (scan() != tokBy) {
        error("BY expected after ORDER");
    }
    int parentheses = 0;
    dbOrderByNode** link = &query.order;
    do {
        int tok = scan();
        if (tok == tokLParen) {
            parentheses += 1;
        } else {
            unget(tok);
        }
        dbExprNode* expr = disjunction();
        auto* key = new dbOrderByNode;
        key->table = table;
        *link = key;
        link = &key->next;
        if (isFieldKeyLoad(expr->cop)) {
            key->field = expr->ref.field;
            release(expr);
        } else {
            // Method results, lengths and other expressions are evaluated
            // per record; arrays have no order.
            switch (expr->type) {
            case tpInteger: case tpBoolean: case tpReal: case tpString: case tpReference:
                break;
            default:
                error("Expressions in ORDER BY part should have scalar type");
            }
            key->expr = expr;
        }
        if (lex == tokDesc) {
            key->ascent = false;
            lex = scan();
        } else if (lex == tokAsc) {
            lex = scan();
        }
        if (lex == tokRParen) {
            if (parentheses == 0) {
                error("Unbalanced parentheses ");
            }
            parentheses -= 1;
            lex = scan();
        }
    } while (lex == tokComma);
}

// ---------------------------------------------------------------------------

bool dbCompiler::compile(dbTableDescriptor* tbl, dbQuery& query)
{
    dbAssert(tbl != nullptr);
    query.destroy();
    table = tbl;
    bindings = nullptr;
    nFreeVars = 0;
    nesting = 0;
    discardTaken();
    startScan(query);
    try {
        dbExprNode* expr = disjunction();
        if (expr->type != tpBoolean && expr->type != tpVoid) {
            report("Conditional expression should have boolean type\n", 0);
            discardTaken();
            return false;
        }
        if (lex == tokStart) {
            startFrom(query);
        }
        if (lex == tokOrder) {
            orderBy(query);
        }
        if (lex != tokEof) {
            // A second condition without "and", a misspelt keyword or FOLLOW
            // BY without START FROM must not run as a shorter query.
            error("End of query expected");
        }
        query.tree = expr;
        query.table = table;
        taken.clear();
        return true;
    } catch (const CompileError&) {
        abandon(query);
        return false;
    } catch (const std::bad_alloc&) {
        abandon(query);
        if (dbDatabase* target = errorTarget()) {
            target->handleError(dbDatabase::OutOfMemoryError, nullptr, 0);
        }
        return false;
    }
}

void dbCompiler::abandon(dbQuery& query)
{
    // Every node of this compilation goes back to the pool; the keys'
    // expressions were among them.
    discardTaken();
    for (dbOrderByNode* o = query.order; o != nullptr; o = o->next) {
        o->expr = nullptr;
    }
    query.destroy();
}
