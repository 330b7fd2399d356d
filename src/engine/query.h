// Queries under construction and their compiled form. A dbQuery is a chain of
// elements: pieces of query text and bound parameters (addresses of the
// caller's variables, read each time the query runs). Neither texts nor
// variables are copied: the caller keeps both alive as long as the query.
// The compiler (compiler.h) fills the compiled part at the first select; a
// query stays compiled until it is reset. One thread uses a dbQuery at a
// time; select compiles it under the query's own mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "engine/sync.h"

class dbTableDescriptor;
class dbFieldDescriptor;
struct dbExprNode;

// One element of a query chain.
struct dbQueryElement {
    enum ElementType : std::uint8_t {
        Text = 0,
        ParamBool = 1,
        ParamInt1 = 2,
        ParamInt2 = 3,
        ParamInt4 = 4,
        ParamInt8 = 5,
        ParamReal4 = 6,
        ParamReal8 = 7,
        ParamString = 8,      // the characters are at the address
        ParamStringPtr = 9,   // the address holds a char* to the characters
        ParamReference = 10,  // a 32-bit object id
        ParamArrayOfRef = 11, // an array of references in place
        ParamArrayOfRefPtr = 12,
        ParamRawBinary = 13,
        ParamUnknown = 14 // accepted by the compiler, never evaluated
    };

    dbQueryElement* next;
    const void* ptr; // the text, or the bound variable's address
    ElementType type;
    dbTableDescriptor* table; // target table of a reference parameter

    static void* operator new(std::size_t size);
    static void operator delete(void* p);
};

// Process-wide recycler of query elements. Returned elements go to a free
// list and are reused; they are released only at program exit.
class dbQueryElementAllocator {
  public:
    static dbQueryElementAllocator& instance();

    void* allocate(std::size_t size);
    // Returns the chain from first to the element whose next field is
    // *lastNext in one step.
    void deallocate(dbQueryElement* first, dbQueryElement** lastNext);
    std::size_t freeCount();

    void releaseAll(); // program exit

  private:
    dbMutex mutex_;
    dbQueryElement* freeList_ = nullptr;
    std::size_t freeCount_ = 0;
    bool exiting_ = false;
};

// An ORDER BY key: a field of the queried table, or an expression evaluated
// per record. Keys keep their text order.
struct dbOrderByNode {
    dbOrderByNode* next = nullptr;
    dbFieldDescriptor* field = nullptr; // null for an expression key
    dbTableDescriptor* table = nullptr;
    dbExprNode* expr = nullptr; // null for a field key
    bool ascent = true;
};

// A FOLLOW BY field; the list holds them in reverse text order.
struct dbFollowByNode {
    dbFollowByNode* next = nullptr;
    dbFieldDescriptor* field = nullptr;
};

// The compiled part of a query. All null/0 while uncompiled.
struct dbCompiledQuery {
    enum StartFrom : int {
        StartFromAny = 0,
        StartFromFirst = 1,
        StartFromLast = 2,
        StartFromRef = 3,
        StartFromArray = 4,
        StartFromArrayPtr = 5
    };

    dbExprNode* tree = nullptr;
    dbOrderByNode* order = nullptr;
    dbFollowByNode* follow = nullptr;
    dbTableDescriptor* table = nullptr;
    StartFrom startFrom = StartFromAny;
    const void* startParameter = nullptr;

    bool compiled() const { return tree != nullptr; }
    // Deletes the condition, the keys and the FOLLOW BY list and clears
    // everything; safe on an uncompiled query.
    void destroy();
};

// A chain of elements being built, with the alternation rule: a string added
// where an operand is expected (right after a text) becomes a string
// parameter, otherwise it is text.
class dbQueryChain {
  public:
    dbQueryChain() = default;
    dbQueryChain(const dbQueryChain&) = delete;
    dbQueryChain& operator=(const dbQueryChain&) = delete;

    dbQueryElement* elements() const { return first_; }
    bool operandExpected() const { return operandExpected_; }

  protected:
    ~dbQueryChain() { releaseElements(); }
    void append(dbQueryElement::ElementType type, const void* ptr, dbTableDescriptor* table);
    void addString(const char* s);
    void releaseElements();
    // Moves the whole chain of other behind this one's last element.
    void splice(dbQueryChain& other);

    dbQueryElement* first_ = nullptr;
    dbQueryElement** nextLink_ = &first_;
    bool operandExpected_ = false;
};

// The element type of a variable bound as a parameter; Text (none) for a
// type that is not exactly one of the parameter types.
template <class T> struct dbBoundParameter { static constexpr auto type = dbQueryElement::Text; };
template <> struct dbBoundParameter<bool> { static constexpr auto type = dbQueryElement::ParamBool; };
template <> struct dbBoundParameter<std::int8_t> { static constexpr auto type = dbQueryElement::ParamInt1; };
template <> struct dbBoundParameter<std::int16_t> { static constexpr auto type = dbQueryElement::ParamInt2; };
template <> struct dbBoundParameter<std::int32_t> { static constexpr auto type = dbQueryElement::ParamInt4; };
template <> struct dbBoundParameter<std::int64_t> { static constexpr auto type = dbQueryElement::ParamInt8; };
template <> struct dbBoundParameter<float> { static constexpr auto type = dbQueryElement::ParamReal4; };
template <> struct dbBoundParameter<double> { static constexpr auto type = dbQueryElement::ParamReal8; };
template <> struct dbBoundParameter<const char*> { static constexpr auto type = dbQueryElement::ParamStringPtr; };
template <> struct dbBoundParameter<char*> { static constexpr auto type = dbQueryElement::ParamStringPtr; };

// The typed operations of a chain, shared by dbQuery and dbQueryFragment.
template <class Self>
class dbQueryBuilder : public dbQueryChain {
  public:
    // Text, or a string parameter when it follows a text: "name=" then the
    // typed name binds the name. A text that must follow a text directly
    // goes through append(dbQueryElement::Text, s).
    Self& add(const char* s) { addString(s); return self(); }
    Self& append(dbQueryElement::ElementType type, const void* ptr,
                 dbTableDescriptor* table = nullptr)
    {
        dbQueryChain::append(type, ptr, table);
        return self();
    }

    // Binds a variable of one of the parameter types: bool, std::int8_t,
    // std::int16_t, std::int32_t, std::int64_t, float, double, or a text
    // pointer (const char* or char*; the query reads the pointer anew at
    // each run). The variable itself is bound, so its type must be exactly
    // one of these: a converted copy, like any temporary (a literal,
    // name.c_str(), a uint16_t or char variable, a string literal), would be
    // gone when the query runs. Those are refused when compiling.
    template <class T>
        requires(dbBoundParameter<std::remove_const_t<T>>::type != dbQueryElement::Text)
    Self& bind(T& v)
    {
        return append(dbBoundParameter<std::remove_const_t<T>>::type, &v);
    }
    template <class T>
    Self& bind(T&&) = delete;
    // A 32-bit object id variable leading into table; refused for anything
    // but an lvalue of that type, as bind refuses.
    template <class T>
        requires std::is_same_v<std::remove_const_t<T>, std::uint32_t>
    Self& bindReference(T& oid, dbTableDescriptor* table)
    {
        return append(dbQueryElement::ParamReference, &oid, table);
    }
    template <class T>
    Self& bindReference(T&&, dbTableDescriptor*) = delete;

  private:
    Self& self() { return static_cast<Self&>(*this); }
};

// A parenthesised part of a query built from a field path, e.g. the
// elements "transDate" "." "stamp"; further texts and parameters follow.
class dbQueryFragment : public dbQueryBuilder<dbQueryFragment> {
  public:
    explicit dbQueryFragment(const char* structName, const char* fieldName = nullptr);
    ~dbQueryFragment() = default;

  private:
    friend class dbQuery;
};

class dbQuery : public dbCompiledQuery, public dbQueryBuilder<dbQuery> {
  public:
    dbQuery() = default;
    explicit dbQuery(const char* text) { add(text); }
    ~dbQuery() { reset(); }

    // Reset followed by the text.
    dbQuery& operator=(const char* text)
    {
        reset();
        return add(text);
    }

    // Appends "(", the fragment's elements and ")"; the fragment is left
    // empty (its elements now belong to this query).
    dbQuery& addParenthesized(dbQueryFragment& fragment);

    // Returns the elements to the allocator and drops the compiled part.
    dbQuery& reset();

    dbMutex mutex;         // serialises compilation in select
    bool compiling = false; // set while select compiles under the mutex
    int pos = 0;           // added to reported error positions
};
