#include "engine/interpreter.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "engine/class.h"

namespace {

// Leaves the EXISTS loop of slot `loop`: an index with its variable fell
// outside its array or string.
struct LoopEnd {
    int loop;
};

const char* const divisionByZero = "Division by zero";
const char* const zeroToNegativePower = "Raise zero to negative power";
const char* const complexPower = "Power operator returns complex result";

[[noreturn]] void arithmeticError(const char* msg)
{
    throw dbRuntimeError{dbDatabase::ArithmeticError, msg, 0};
}

[[noreturn]] void damagedRow()
{
    throw dbRuntimeError{dbDatabase::DatabaseOpenError, "Database file was corrupted: invalid record", 0};
}

template <class T>
T read(const byte* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The address of `size` bytes at base + offs, which must lie inside the row
// that ends at end (no check for memory outside the file: end null).
const byte* fieldAt(const byte* base, const byte* end, std::size_t offs, std::size_t size)
{
    if (end != nullptr && (base + offs > end || std::size_t(end - base - offs) < size)) {
        damagedRow();
    }
    return base + offs;
}

// Reads a stored scalar, string or array field (type code 0..9) at p, whose
// varying part is placed relative to base.
void loadField(int code, const byte* p, const byte* base, const byte* end, const dbFieldDescriptor* fd,
               dbValue& v)
{
    switch (code) {
    case dbField::tpBool:
        v.ivalue = *p != 0;
        return;
    case dbField::tpInt1:
        v.ivalue = read<std::int8_t>(p);
        return;
    case dbField::tpInt2:
        v.ivalue = read<std::int16_t>(p);
        return;
    case dbField::tpInt4:
        v.ivalue = read<std::int32_t>(p);
        return;
    case dbField::tpInt8:
        v.ivalue = read<std::int64_t>(p);
        return;
    case dbField::tpReal4:
        v.fvalue = read<float>(p);
        return;
    case dbField::tpReal8:
        v.fvalue = read<double>(p);
        return;
    case dbField::tpString: {
        dbVarying s = read<dbVarying>(p);
        const char* chars = reinterpret_cast<const char*>(base + s.offs);
        if (end != nullptr
            && (s.size == 0 || reinterpret_cast<const byte*>(chars) > end
                || std::size_t(end - reinterpret_cast<const byte*>(chars)) < s.size || chars[s.size - 1] != 0)) {
            damagedRow();
        }
        v.str.chars = chars;
        v.str.size = s.size;
        return;
    }
    case dbField::tpReference:
        v.oid = read<oid_t>(p);
        return;
    case dbField::tpArray: {
        dbVarying a = read<dbVarying>(p);
        const byte* data = base + a.offs;
        std::size_t elemSize = fd != nullptr && fd->components != nullptr ? fd->components->dbsSize : 1;
        if (end != nullptr && (data > end || std::uint64_t(end - data) < std::uint64_t(a.size) * elemSize)) {
            damagedRow();
        }
        v.arr.base = data;
        v.arr.size = a.size;
        v.arr.end = end;
        return;
    }
    default:
        dbAssert(false);
    }
}

// Calls a method field (a date accessor) on the structure stored at
// base + the method's offset and converts its result like a load.
void invokeMethod(int code, const byte* base, const byte* end, const dbFieldDescriptor* fd,
                  dbInheritedAttribute& iattr, dbValue& v)
{
    const dbFieldDescriptor* holder = fd->components;
    fieldAt(base, end, std::size_t(holder->dbsOffs), holder->dbsSize);
    alignas(8) byte result[16] = {};
    fd->method->invoke(base, result);
    if (code == dbField::tpString) {
        // The method's text is copied into the evaluation's temporaries.
        const char* text = read<const char*>(result);
        if (text == nullptr) {
            text = "";
        }
        std::size_t n = std::strlen(text) + 1;
        char* copy = iattr.allocate(n);
        std::memcpy(copy, text, n);
        v.str.chars = copy;
        v.str.size = std::uint32_t(n);
        return;
    }
    loadField(code, result, result, nullptr, fd, v);
}

// The text of an evaluated string with n characters more room checked.
std::uint32_t joinedSize(std::uint64_t size)
{
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        throw dbRuntimeError{dbDatabase::OutOfMemoryError, nullptr, std::numeric_limits<int>::max()};
    }
    return std::uint32_t(size);
}

void storeText(dbInheritedAttribute& iattr, const char* text, std::size_t n, dbValue& v)
{
    char* copy = iattr.allocate(n + 1);
    std::memcpy(copy, text, n);
    copy[n] = 0;
    v.str.chars = copy;
    v.str.size = joinedSize(n + 1);
}

std::int64_t wrapAdd(std::int64_t a, std::int64_t b)
{
    return std::int64_t(std::uint64_t(a) + std::uint64_t(b));
}
std::int64_t wrapSub(std::int64_t a, std::int64_t b)
{
    return std::int64_t(std::uint64_t(a) - std::uint64_t(b));
}
std::int64_t wrapMul(std::int64_t a, std::int64_t b)
{
    return std::int64_t(std::uint64_t(a) * std::uint64_t(b));
}

std::int64_t powerInt(std::int64_t b, std::int64_t e)
{
    if (b == 2 && e >= 0) {
        return e < 64 ? std::int64_t(std::uint64_t(1) << e) : 0;
    }
    if (b == 0 && e < 0) {
        arithmeticError(zeroToNegativePower);
    }
    std::uint64_t n = std::uint64_t(e);
    if (e < 0) {
        b = b == 1 ? 1 : b == -1 ? -1 : 0;
        n = 0 - n;
    }
    std::int64_t result = 1;
    while (n != 0) {
        if (n & 1) {
            result = wrapMul(result, b);
        }
        b = wrapMul(b, b);
        n >>= 1;
    }
    return result;
}

double powerRealInt(double b, std::int64_t e)
{
    if (b == 0.0 && e < 0) {
        arithmeticError(zeroToNegativePower);
    }
    std::uint64_t n = std::uint64_t(e);
    if (e < 0) {
        b = 1 / b;
        n = 0 - n;
    }
    double result = 1;
    while (n != 0) {
        if (n & 1) {
            result *= b;
        }
        b *= b;
        n >>= 1;
    }
    return result;
}

// Real to integer: truncated toward zero; NaN gives 0 and values outside the
// 64-bit range the nearest bound.
std::int64_t realToInt(double x)
{
    if (std::isnan(x)) {
        return 0;
    }
    if (x >= 9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (x < -9223372036854775808.0) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return std::int64_t(x);
}

// Whether x (m characters) occurs in y (n characters).
bool containsText(const char* x, std::size_t m, const char* y, std::size_t n)
{
    if (m > n) {
        return false;
    }
    if (n + 1 < 513) {
        return std::strstr(y, x) != nullptr;
    }
    if (m == 0) {
        return true;
    }
    // Horspool: shift by the distance of the window's last byte from the
    // end of x.
    std::size_t shift[256];
    for (std::size_t& s : shift) {
        s = m;
    }
    const auto* ux = reinterpret_cast<const unsigned char*>(x);
    const auto* uy = reinterpret_cast<const unsigned char*>(y);
    for (std::size_t i = 0; i + 1 < m; i++) {
        shift[ux[i]] = m - 1 - i;
    }
    for (std::size_t end = m - 1; end < n; end += shift[uy[end]]) {
        std::size_t j = 0;
        while (j < m && uy[end - j] == ux[m - 1 - j]) {
            j++;
        }
        if (j == m) {
            return true;
        }
    }
    return false;
}

// Element of an array of `size` elements: checks the index. An index with
// an EXISTS variable that falls outside ends that loop.
std::int64_t checkedIndex(const dbExprNode* indexNode, std::int64_t index, std::uint64_t bound,
                          dbInheritedAttribute& iattr)
{
    if (std::uint64_t(index) >= bound) {
        if (indexNode->cop == opVariable) {
            throw LoopEnd{indexNode->offs};
        }
        throw dbRuntimeError{dbDatabase::IndexOutOfRangeError, nullptr, int(index)};
    }
    if (indexNode->cop == opVariable) {
        iattr.loops[indexNode->offs].indexed = true;
    }
    return index;
}

// Whether the element at p of an array of the element type equals v.
bool elementEquals(int cop, const byte* p, const byte* elem, const byte* end, const dbValue& v)
{
    switch (cop) {
    case opInArrayBool:
        return *p == (v.ivalue != 0 ? 1 : 0);
    case opInArrayInt1:
        return read<std::int8_t>(p) == std::int8_t(v.ivalue);
    case opInArrayInt2:
        return read<std::int16_t>(p) == std::int16_t(v.ivalue);
    case opInArrayInt4:
        return read<std::int32_t>(p) == std::int32_t(v.ivalue);
    case opInArrayInt8:
        return read<std::int64_t>(p) == v.ivalue;
    case opInArrayReal4:
        return read<float>(p) == float(v.fvalue);
    case opInArrayReal8:
        return read<double>(p) == v.fvalue;
    case opInArrayString: {
        dbValue s;
        loadField(dbField::tpString, p, elem, end, nullptr, s);
        return std::strcmp(s.str.chars, v.str.chars) == 0;
    }
    case opInArrayReference:
        return read<oid_t>(p) == v.oid;
    default:
        dbAssert(false);
        return false;
    }
}

constexpr std::size_t elementSize[] = {1, 1, 2, 4, 8, 4, 8, 8, 4}; // by opInArrayBool + type

int compareInt(std::int64_t a, std::int64_t b)
{
    return a < b ? -1 : a > b ? 1 : 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Evaluation context

void dbInheritedAttribute::moveTo(oid_t id, const byte* row)
{
    freeTemporaries();
    oid = id;
    record = row;
    recordEnd = row + reinterpret_cast<const dbRecord*>(row)->size;
}

char* dbInheritedAttribute::allocate(std::size_t n)
{
    n = (n + 7) & ~std::size_t(7);
    if (n <= tempAreaSize - used) {
        char* p = temp + used;
        used += n;
        return p;
    }
    auto* block = static_cast<HeapBlock*>(::operator new(sizeof(HeapBlock) + n));
    block->next = chain;
    chain = block;
    return reinterpret_cast<char*>(block + 1);
}

void dbInheritedAttribute::freeTemporaries()
{
    used = 0;
    while (chain != nullptr) {
        HeapBlock* next = chain->next;
        ::operator delete(chain);
        chain = next;
    }
}

// ---------------------------------------------------------------------------
// LIKE

bool dbMatchLike(const char* s, const char* p, int escape)
{
    const char* resumePattern = nullptr;
    const char* resumeString = nullptr;
    const char esc = char(escape);
    while (true) {
        if (*p == '%') {
            resumePattern = ++p;
            resumeString = s;
            continue;
        }
        if (*s == 0) {
            break;
        }
        if (escape >= 0 && *p == esc) {
            if (p[1] == *s) { // the escaped character stands for itself
                s += 1;
                p += 2;
                continue;
            }
        } else if (*p == *s || *p == '_') {
            s += 1;
            p += 1;
            continue;
        }
        if (resumePattern == nullptr) {
            return false;
        }
        p = resumePattern;
        s = ++resumeString;
    }
    return *p == 0;
}

// ---------------------------------------------------------------------------
// Interpreter

namespace {

// Loads a field of a row or of the current record, or the result of a
// method on one.
void loadOperand(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    dbValue l;
    const int cop = node->cop;
    switch (cop) {
    case opLoadBool: case opLoadInt1: case opLoadInt2: case opLoadInt4: case opLoadInt8:
    case opLoadReal4: case opLoadReal8: case opLoadString: case opLoadReference: case opLoadArray: {
        dbExecute(node->ref.base, iattr, l);
        int code = cop - opLoadBool;
        std::size_t size = code == dbField::tpString || code == dbField::tpArray ? sizeof(dbVarying)
                           : code == dbField::tpReference                       ? sizeof(oid_t)
                           : node->ref.field != nullptr                          ? node->ref.field->dbsSize
                                                                                 : 1;
        const byte* p = fieldAt(l.addr.base, l.addr.end, node->offs, size);
        loadField(code, p, l.addr.base, l.addr.end, node->ref.field, v);
        return;
    }
    case opLoadSelfBool: case opLoadSelfInt1: case opLoadSelfInt2: case opLoadSelfInt4: case opLoadSelfInt8:
    case opLoadSelfReal4: case opLoadSelfReal8: case opLoadSelfString: case opLoadSelfReference:
    case opLoadSelfArray: {
        int code = cop - opLoadSelfBool;
        std::size_t size = code == dbField::tpString || code == dbField::tpArray ? sizeof(dbVarying)
                                                                                : node->ref.field->dbsSize;
        const byte* p = fieldAt(iattr.record, iattr.recordEnd, node->offs, size);
        loadField(code, p, iattr.record, iattr.recordEnd, node->ref.field, v);
        return;
    }
    case opInvokeBool: case opInvokeInt1: case opInvokeInt2: case opInvokeInt4: case opInvokeInt8:
    case opInvokeReal4: case opInvokeReal8: case opInvokeString: case opInvokeReference:
        dbExecute(node->ref.base, iattr, l);
        invokeMethod(cop - opInvokeBool, l.addr.base, l.addr.end, node->ref.field, iattr, v);
        return;
    case opInvokeSelfBool: case opInvokeSelfInt1: case opInvokeSelfInt2: case opInvokeSelfInt4:
    case opInvokeSelfInt8: case opInvokeSelfReal4: case opInvokeSelfReal8: case opInvokeSelfString:
    case opInvokeSelfReference:
        invokeMethod(cop - opInvokeSelfBool, iattr.record, iattr.recordEnd, node->ref.field, iattr, v);
        return;
    case opLoadRawBinary:
        dbExecute(node->ref.base, iattr, l);
        v.addr.base = fieldAt(l.addr.base, l.addr.end, node->offs, node->ref.field->dbsSize);
        v.addr.end = l.addr.end;
        return;
    case opLoadSelfRawBinary:
        v.addr.base = fieldAt(iattr.record, iattr.recordEnd, node->offs, node->ref.field->dbsSize);
        v.addr.end = iattr.recordEnd;
        return;
    default:
        break;
    }
}

// Membership, length and indexing of arrays and strings.
void executeArrayOrString(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    dbValue l, r;
    const int cop = node->cop;
    switch (cop) {
    case opInArrayBool: case opInArrayInt1: case opInArrayInt2: case opInArrayInt4: case opInArrayInt8:
    case opInArrayReal4: case opInArrayReal8: case opInArrayString: case opInArrayReference: {
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        std::size_t size = elementSize[cop - opInArrayBool];
        v.ivalue = 0;
        for (std::uint32_t i = 0; i < r.arr.size; i++) {
            const byte* elem = r.arr.base + i * size;
            if (elementEquals(cop, elem, elem, r.arr.end, l)) {
                v.ivalue = 1;
                break;
            }
        }
        return;
    }
    case opInString:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        v.ivalue = containsText(l.str.chars, l.str.size - 1, r.str.chars, r.str.size - 1);
        return;
    case opArrayLength:
        dbExecute(node->operand[0], iattr, l);
        v.ivalue = l.arr.size;
        return;
    case opStringLength:
        dbExecute(node->operand[0], iattr, l);
        v.ivalue = std::int64_t(l.str.size) - 1;
        return;
    case opArrayElement: {
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        std::int64_t i = checkedIndex(node->operand[1], r.ivalue, l.arr.size, iattr);
        v.addr.base = l.arr.base + std::size_t(i) * node->offs;
        v.addr.end = l.arr.end;
        return;
    }
    case opStringChar: {
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        std::int64_t i = checkedIndex(node->operand[1], r.ivalue, l.str.size - 1, iattr);
        v.ivalue = static_cast<unsigned char>(l.str.chars[i]);
        return;
    }
    default:
        break;
    }
}

// Reads a query parameter from the variable it is bound to.
void loadParameter(const dbExprNode* node, dbValue& v)
{
    const int cop = node->cop;
    switch (cop) {
    case opParamBool:
        v.ivalue = *static_cast<const byte*>(node->param.var) != 0;
        return;
    case opParamInt1: case opParamInt2: case opParamInt4: case opParamInt8:
    case opParamReal4: case opParamReal8:
        loadField(cop - opParamBool, static_cast<const byte*>(node->param.var), nullptr, nullptr, nullptr, v);
        return;
    case opParamString:
    case opParamStringPtr: {
        const char* text = cop == opParamString ? static_cast<const char*>(node->param.var)
                                                : read<const char*>(static_cast<const byte*>(node->param.var));
        if (text == nullptr) {
            text = "";
        }
        v.str.chars = text;
        v.str.size = joinedSize(std::strlen(text) + 1);
        return;
    }
    case opParamReference:
        v.oid = read<oid_t>(static_cast<const byte*>(node->param.var));
        return;
    case opParamArray:
    case opParamArrayPtr: {
        const dbAnyArray* arr = cop == opParamArray
                                    ? static_cast<const dbAnyArray*>(node->param.var)
                                    : read<const dbAnyArray*>(static_cast<const byte*>(node->param.var));
        v.arr.base = arr != nullptr ? static_cast<const byte*>(arr->base()) : nullptr;
        v.arr.size = arr != nullptr ? std::uint32_t(arr->length()) : 0;
        v.arr.end = v.arr.base != nullptr ? v.arr.base + std::size_t(v.arr.size) * sizeof(oid_t) : nullptr;
        return;
    }
    case opParamRawBinary:
        v.addr.base = static_cast<const byte*>(node->param.var);
        v.addr.end = nullptr;
        return;
    default:
        break;
    }
}

// Constants, the current record and the first and last rows of the table.
void loadConstant(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    const int cop = node->cop;
    switch (cop) {
    case opTrue:
        v.ivalue = 1;
        return;
    case opFalse:
        v.ivalue = 0;
        return;
    case opCurrent:
        v.oid = iattr.oid;
        return;
    case opFirst:
    case opLast: {
        const auto* t = reinterpret_cast<const dbTable*>(iattr.db->get(iattr.table->tableId));
        v.oid = t == nullptr ? 0 : cop == opFirst ? t->firstRow : t->lastRow;
        return;
    }
    case opNull:
        v.oid = 0;
        return;
    case opIntConst:
        v.ivalue = node->ivalue;
        return;
    case opRealConst:
        v.fvalue = node->fvalue;
        return;
    case opStringConst:
        v.str.chars = node->svalue.str;
        v.str.size = std::uint32_t(node->svalue.len);
        return;
    default:
        break;
    }
}

// Integer arithmetic, wrapping around on overflow.
void executeIntegerArithmetic(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    dbValue l, r;
    const int cop = node->cop;
    switch (cop) {
    case opNegInt:
        dbExecute(node->operand[0], iattr, l);
        v.ivalue = wrapSub(0, l.ivalue);
        return;
    case opNotInt:
        dbExecute(node->operand[0], iattr, l);
        v.ivalue = ~l.ivalue;
        return;
    case opAbsInt:
        dbExecute(node->operand[0], iattr, l);
        v.ivalue = l.ivalue < 0 ? wrapSub(0, l.ivalue) : l.ivalue;
        return;
    case opAddInt: case opSubInt: case opMulInt: case opDivInt: case opAndInt: case opOrInt:
    case opPowerInt:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        switch (cop) {
        case opAddInt:
            v.ivalue = wrapAdd(l.ivalue, r.ivalue);
            break;
        case opSubInt:
            v.ivalue = wrapSub(l.ivalue, r.ivalue);
            break;
        case opMulInt:
            v.ivalue = wrapMul(l.ivalue, r.ivalue);
            break;
        case opDivInt:
            if (r.ivalue == 0) {
                arithmeticError(divisionByZero);
            }
            // The one quotient outside the range wraps around like the others.
            v.ivalue = r.ivalue == -1 ? wrapSub(0, l.ivalue) : l.ivalue / r.ivalue;
            break;
        case opAndInt:
            v.ivalue = l.ivalue & r.ivalue;
            break;
        case opOrInt:
            v.ivalue = l.ivalue | r.ivalue;
            break;
        default:
            v.ivalue = powerInt(l.ivalue, r.ivalue);
            break;
        }
        return;
    default:
        break;
    }
}

// Real arithmetic.
void executeRealArithmetic(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    dbValue l, r;
    const int cop = node->cop;
    switch (cop) {
    case opNegReal:
        dbExecute(node->operand[0], iattr, l);
        v.fvalue = -l.fvalue;
        return;
    case opAbsReal:
        dbExecute(node->operand[0], iattr, l);
        v.fvalue = l.fvalue < 0 ? -l.fvalue : l.fvalue;
        return;
    case opAddReal: case opSubReal: case opMulReal: case opDivReal: case opPowerReal:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        switch (cop) {
        case opAddReal:
            v.fvalue = l.fvalue + r.fvalue;
            break;
        case opSubReal:
            v.fvalue = l.fvalue - r.fvalue;
            break;
        case opMulReal:
            v.fvalue = l.fvalue * r.fvalue;
            break;
        case opDivReal:
            if (r.fvalue == 0.0) {
                arithmeticError(divisionByZero);
            }
            v.fvalue = l.fvalue / r.fvalue;
            break;
        default:
            if (l.fvalue < 0) {
                arithmeticError(complexPower);
            }
            if (l.fvalue == 0.0 && r.fvalue < 0) {
                arithmeticError(zeroToNegativePower);
            }
            v.fvalue = std::pow(l.fvalue, r.fvalue);
            break;
        }
        return;
    case opPowerRealInt:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        v.fvalue = powerRealInt(l.fvalue, r.ivalue);
        return;
    default:
        break;
    }
}

// Comparisons and BETWEEN of integers, binaries, reals, booleans, references
// and strings.
void compareOperands(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    dbValue l, r, h;
    const int cop = node->cop;
    switch (cop) {
    case opEqInt: case opNeInt: case opGtInt: case opGeInt: case opLtInt: case opLeInt: {
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        std::int64_t a = l.ivalue, b = r.ivalue;
        v.ivalue = cop == opEqInt ? a == b : cop == opNeInt ? a != b : cop == opGtInt ? a > b
                 : cop == opGeInt ? a >= b : cop == opLtInt ? a < b : a <= b;
        return;
    }
    case opBetweenInt:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        if (l.ivalue < r.ivalue) {
            v.ivalue = 0;
            return;
        }
        dbExecute(node->operand[2], iattr, h);
        v.ivalue = l.ivalue <= h.ivalue;
        return;
    case opEqBinary: case opNeBinary: case opGtBinary: case opGeBinary: case opLtBinary: case opLeBinary: {
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        int d = node->comparator(l.addr.base, r.addr.base, node->offs);
        v.ivalue = cop == opEqBinary ? d == 0 : cop == opNeBinary ? d != 0 : cop == opGtBinary ? d > 0
                 : cop == opGeBinary ? d >= 0 : cop == opLtBinary ? d < 0 : d <= 0;
        return;
    }
    case opBetweenBinary:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        if (node->comparator(l.addr.base, r.addr.base, node->offs) < 0) {
            v.ivalue = 0;
            return;
        }
        dbExecute(node->operand[2], iattr, h);
        v.ivalue = node->comparator(l.addr.base, h.addr.base, node->offs) <= 0;
        return;

    case opEqReal: case opNeReal: case opGtReal: case opGeReal: case opLtReal: case opLeReal: {
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        double a = l.fvalue, b = r.fvalue;
        v.ivalue = cop == opEqReal ? a == b : cop == opNeReal ? a != b : cop == opGtReal ? a > b
                 : cop == opGeReal ? a >= b : cop == opLtReal ? a < b : a <= b;
        return;
    }
    case opBetweenReal:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        if (l.fvalue < r.fvalue) {
            v.ivalue = 0;
            return;
        }
        dbExecute(node->operand[2], iattr, h);
        v.ivalue = l.fvalue <= h.fvalue;
        return;

    case opEqBool:
    case opNeBool:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        v.ivalue = ((l.ivalue != 0) == (r.ivalue != 0)) == (cop == opEqBool);
        return;
    case opEqReference:
    case opNeReference:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        v.ivalue = (l.oid == r.oid) == (cop == opEqReference);
        return;

    case opEqString: case opNeString: case opGtString: case opGeString: case opLtString: case opLeString: {
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        int d = std::strcmp(l.str.chars, r.str.chars);
        v.ivalue = cop == opEqString ? d == 0 : cop == opNeString ? d != 0 : cop == opGtString ? d > 0
                 : cop == opGeString ? d >= 0 : cop == opLtString ? d < 0 : d <= 0;
        return;
    }
    case opBetweenString:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        if (std::strcmp(l.str.chars, r.str.chars) < 0) {
            v.ivalue = 0;
            return;
        }
        dbExecute(node->operand[2], iattr, h);
        v.ivalue = std::strcmp(l.str.chars, h.str.chars) <= 0;
        return;
    default:
        break;
    }
}

// LIKE, case changes, conversions and concatenation.
void executeStringFunction(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    dbValue l, r, h;
    const int cop = node->cop;
    switch (cop) {
    case opLike:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        v.ivalue = dbMatchLike(l.str.chars, r.str.chars);
        return;
    case opLikeEscape:
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        dbExecute(node->operand[2], iattr, h);
        v.ivalue = dbMatchLike(l.str.chars, r.str.chars, static_cast<unsigned char>(h.str.chars[0]));
        return;
    case opUpper:
    case opLower: {
        dbExecute(node->operand[0], iattr, l);
        char* copy = iattr.allocate(l.str.size);
        for (std::uint32_t i = 0; i < l.str.size; i++) {
            copy[i] = cop == opUpper ? dbUpperAscii(l.str.chars[i]) : dbLowerAscii(l.str.chars[i]);
        }
        v.str.chars = copy;
        v.str.size = l.str.size;
        return;
    }

    case opIntToReference:
        dbExecute(node->operand[0], iattr, l);
        v.oid = oid_t(std::uint64_t(l.ivalue));
        return;
    case opIntToReal:
        dbExecute(node->operand[0], iattr, l);
        v.fvalue = double(l.ivalue);
        return;
    case opRealToInt:
        dbExecute(node->operand[0], iattr, l);
        v.ivalue = realToInt(l.fvalue);
        return;
    case opIntToString: {
        dbExecute(node->operand[0], iattr, l);
        char buf[32];
        auto res = std::to_chars(buf, buf + sizeof buf, l.ivalue);
        storeText(iattr, buf, std::size_t(res.ptr - buf), v);
        return;
    }
    case opRealToString: {
        dbExecute(node->operand[0], iattr, l);
        char buf[400]; // six decimals of the largest double fit
        auto res = std::to_chars(buf, buf + sizeof buf, l.fvalue, std::chars_format::fixed, 6);
        storeText(iattr, buf, std::size_t(res.ptr - buf), v);
        return;
    }
    case opConcat: {
        dbExecute(node->operand[0], iattr, l);
        dbExecute(node->operand[1], iattr, r);
        std::uint32_t size = joinedSize(std::uint64_t(l.str.size) + r.str.size - 1);
        char* copy = iattr.allocate(size);
        std::memcpy(copy, l.str.chars, l.str.size - 1);
        std::memcpy(copy + l.str.size - 1, r.str.chars, r.str.size);
        v.str.chars = copy;
        v.str.size = size;
        return;
    }
    default:
        break;
    }
}

// Follows a reference to its row; a null or removed one is an error.
void followReference(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    dbValue l;
    dbExecute(node->operand[0], iattr, l);
    oid_t id = l.oid;
    if (id == 0) {
        throw dbRuntimeError{dbDatabase::NullReferenceError, nullptr, 0};
    }
    dbDatabase* db = iattr.db;
    if (id >= db->getIndexSize() || db->getPos(id) == 0
        || (db->getPos(id) & (dbInternalObjectMarker | dbFreeHandleMarker)) != 0) {
        throw dbRuntimeError{dbDatabase::NullReferenceError, "Reference to a removed object is accessed", int(id)};
    }
    const byte* row = reinterpret_cast<const byte*>(db->getRow(id));
    v.addr.base = row;
    v.addr.end = row + reinterpret_cast<const dbRecord*>(row)->size;
}

// EXISTS: runs the body for each value of its variable until it holds or the
// variable runs past its array or string.
void runExists(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    dbValue l;
    dbInheritedAttribute::Loop& loop = iattr.loops[node->offs];
    loop.index = 0;
    while (true) {
        loop.indexed = false;
        try {
            dbExecute(node->operand[0], iattr, l);
        } catch (const LoopEnd& end) {
            if (end.loop != node->offs) {
                throw;
            }
            v.ivalue = 0;
            return;
        }
        if (l.ivalue != 0) {
            v.ivalue = 1;
            return;
        }
        if (!loop.indexed) {
            // Nothing in the body depended on the variable this time:
            // every further round would be false as well.
            v.ivalue = 0;
            return;
        }
        loop.index += 1;
    }
}

} // namespace

void dbExecute(const dbExprNode* node, dbInheritedAttribute& iattr, dbValue& v)
{
    dbValue l, r;
    switch (node->cop) {
    case opLoadBool: case opLoadInt1: case opLoadInt2: case opLoadInt4: case opLoadInt8: case opLoadReal4:
    case opLoadReal8: case opLoadString: case opLoadReference: case opLoadArray: case opLoadSelfBool:
    case opLoadSelfInt1: case opLoadSelfInt2: case opLoadSelfInt4: case opLoadSelfInt8: case opLoadSelfReal4:
    case opLoadSelfReal8: case opLoadSelfString: case opLoadSelfReference: case opLoadSelfArray:
    case opInvokeBool: case opInvokeInt1: case opInvokeInt2: case opInvokeInt4: case opInvokeInt8:
    case opInvokeReal4: case opInvokeReal8: case opInvokeString: case opInvokeReference: case opInvokeSelfBool:
    case opInvokeSelfInt1: case opInvokeSelfInt2: case opInvokeSelfInt4: case opInvokeSelfInt8:
    case opInvokeSelfReal4: case opInvokeSelfReal8: case opInvokeSelfString: case opInvokeSelfReference:
    case opLoadRawBinary: case opLoadSelfRawBinary:
        loadOperand(node, iattr, v);
        return;
    case opInArrayBool: case opInArrayInt1: case opInArrayInt2: case opInArrayInt4: case opInArrayInt8:
    case opInArrayReal4: case opInArrayReal8: case opInArrayString: case opInArrayReference: case opInString:
    case opArrayLength: case opStringLength: case opArrayElement: case opStringChar:
        executeArrayOrString(node, iattr, v);
        return;
    case opParamBool: case opParamInt1: case opParamInt2: case opParamInt4: case opParamInt8: case opParamReal4:
    case opParamReal8: case opParamString: case opParamStringPtr: case opParamReference: case opParamArray:
    case opParamArrayPtr: case opParamRawBinary:
        loadParameter(node, v);
        return;
    case opTrue: case opFalse: case opCurrent: case opFirst: case opLast: case opNull: case opIntConst:
    case opRealConst: case opStringConst:
        loadConstant(node, iattr, v);
        return;
    case opNegInt: case opNotInt: case opAbsInt: case opAddInt: case opSubInt: case opMulInt: case opDivInt:
    case opAndInt: case opOrInt: case opPowerInt:
        executeIntegerArithmetic(node, iattr, v);
        return;
    case opNegReal: case opAbsReal: case opAddReal: case opSubReal: case opMulReal: case opDivReal:
    case opPowerReal: case opPowerRealInt:
        executeRealArithmetic(node, iattr, v);
        return;
    case opEqInt: case opNeInt: case opGtInt: case opGeInt: case opLtInt: case opLeInt: case opBetweenInt:
    case opEqBinary: case opNeBinary: case opGtBinary: case opGeBinary: case opLtBinary: case opLeBinary:
    case opBetweenBinary: case opEqReal: case opNeReal: case opGtReal: case opGeReal: case opLtReal:
    case opLeReal: case opBetweenReal: case opEqBool: case opNeBool: case opEqReference: case opNeReference:
    case opEqString: case opNeString: case opGtString: case opGeString: case opLtString: case opLeString:
    case opBetweenString:
        compareOperands(node, iattr, v);
        return;
    case opLike: case opLikeEscape: case opUpper: case opLower: case opIntToReference: case opIntToReal:
    case opRealToInt: case opIntToString: case opRealToString: case opConcat:
        executeStringFunction(node, iattr, v);
        return;
    case opDeref:
        followReference(node, iattr, v);
        return;
    case opExists:
        runExists(node, iattr, v);
        return;
    case opOrBool:
        dbExecute(node->operand[0], iattr, l);
        if (l.ivalue != 0) {
            v.ivalue = 1;
            return;
        }
        dbExecute(node->operand[1], iattr, r);
        v.ivalue = r.ivalue != 0;
        return;
    case opAndBool:
        dbExecute(node->operand[0], iattr, l);
        if (l.ivalue == 0) {
            v.ivalue = 0;
            return;
        }
        dbExecute(node->operand[1], iattr, r);
        v.ivalue = r.ivalue != 0;
        return;
    case opNotBool:
        dbExecute(node->operand[0], iattr, l);
        v.ivalue = l.ivalue == 0;
        return;
    case opIsNull:
        dbExecute(node->operand[0], iattr, l);
        v.ivalue = l.oid == 0;
        return;
    case opVariable:
        v.ivalue = iattr.loops[node->offs].index;
        return;
    case opVoid:
        v.ivalue = 1;
        return;
    default:
        dbAssert(false);
    }
}

bool dbEvaluate(dbInheritedAttribute& iattr, const dbExprNode* condition, oid_t oid)
{
    const byte* row = iattr.db->get(oid);
    if (row == nullptr) {
        return false;
    }
    iattr.moveTo(oid, row);
    dbValue v;
    dbExecute(condition, iattr, v);
    return v.ivalue != 0;
}

int dbCompareExpressionKey(dbInheritedAttribute& iattr, const dbExprNode* key, const byte* a, const byte* b)
{
    dbValue va, vb;
    iattr.moveTo(0, a);
    dbExecute(key, iattr, va);
    // b's temporaries join a's: both stay valid until the comparison is made.
    iattr.record = b;
    iattr.recordEnd = b + reinterpret_cast<const dbRecord*>(b)->size;
    dbExecute(key, iattr, vb);
    int diff;
    switch (key->type) {
    case tpReal:
        diff = va.fvalue < vb.fvalue ? -1 : va.fvalue > vb.fvalue ? 1 : 0;
        break;
    case tpString:
        diff = std::strcmp(va.str.chars, vb.str.chars);
        break;
    case tpReference:
        diff = va.oid < vb.oid ? -1 : va.oid > vb.oid ? 1 : 0;
        break;
    default:
        diff = compareInt(va.ivalue, vb.ivalue);
        break;
    }
    iattr.freeTemporaries();
    return diff;
}
