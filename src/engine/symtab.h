// Process-wide table of interned names and the token codes of the query
// language. Every name the query scanner meets, every keyword and every table
// and field name of the descriptors is interned here, so that names are later
// compared by pointer. Interned texts live until program exit; a caller that
// interns without a copy (allocate false) must keep its text alive as long.
#pragma once

#include <cstddef>
#include <cstdint>

// Token codes of the query scanner. The numbers are fixed: they are also the
// tags under which keywords are kept in the symbol table.
enum dbToken {
    tokIdent = 0,
    tokLParen = 1,
    tokRParen = 2,
    tokLBracket = 3,
    tokRBracket = 4,
    tokDot = 5,
    tokComma = 6,
    tokPower = 7,
    tokIntConst = 8,
    tokStrConst = 9,
    tokRealConst = 10,
    tokPlus = 11,
    tokMinus = 12,
    tokMul = 13,
    tokDiv = 14,
    tokAnd = 15,
    tokOr = 16,
    tokNot = 17,
    tokNull = 18,
    // 19 is never produced
    tokEq = 20,
    tokNe = 21,
    tokGt = 22,
    tokGe = 23,
    tokLt = 24,
    tokLe = 25,
    tokBetween = 26,
    tokEscape = 27,
    tokExists = 28,
    tokLike = 29,
    tokIn = 30,
    tokLength = 31,
    tokLower = 32,
    tokUpper = 33,
    tokAbs = 34,
    tokIs = 35,
    tokInteger = 36,
    tokReal = 37,
    tokString = 38,
    tokFirst = 39,
    tokLast = 40,
    tokCurrent = 41,
    tokParam = 42,
    tokColon = 43,
    tokTrue = 44,
    tokFalse = 45,
    tokWhere = 46,
    tokFollow = 47,
    tokStart = 48,
    tokFrom = 49,
    tokOrder = 50,
    tokBy = 51,
    tokAsc = 52,
    tokDesc = 53,
    tokEof = 54,
    tokInsert = 55,
    tokInto = 56,
    tokSelect = 57,
    tokTable = 58,
    // 59 is never produced
    tokAll = 60
};

class dbSymbolTable {
  public:
    // Interns *name. When the text is present already, *name is replaced by
    // the interned pointer and the stored tag is returned (tag is ignored).
    // Otherwise a new entry with the given tag is added: with allocate the
    // entry owns a heap copy and *name is pointed at it; without, the entry
    // points at the caller's text. Returns the tag. Thread-safe.
    static int add(const char*& name, int tag, bool allocate = true);
    static int add(char*& name, int tag, bool allocate = true);

    // Registers the 35 keywords of the query language with their token codes.
    // Runs once per process; it also runs before the first name is interned,
    // so a field that happens to be called like a keyword ("string") can
    // never hide the keyword.
    static void registerKeywords();

    // Number of interned names (keywords included); for tests.
    static std::size_t size();

    static constexpr std::size_t hashTableSize = 1009;
    static std::uint32_t hash(const char* name);
};
