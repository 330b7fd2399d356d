#include "engine/query.h"

#include <cstdlib>
#include <new>

#include "engine/compiler.h"

namespace {

dbQueryElementAllocator theAllocator;
bool exitHookRegistered = false;

void releaseAtExit()
{
    theAllocator.releaseAll();
}

} // namespace

dbQueryElementAllocator& dbQueryElementAllocator::instance()
{
    return theAllocator;
}

void* dbQueryElementAllocator::allocate(std::size_t size)
{
    {
        std::lock_guard<dbMutex> guard(mutex_);
        if (!exitHookRegistered) {
            // Objects that build queries after this point are destroyed
            // before the free list is released.
            exitHookRegistered = true;
            std::atexit(releaseAtExit);
        }
        if (freeList_ != nullptr && size <= sizeof(dbQueryElement)) {
            dbQueryElement* e = freeList_;
            freeList_ = e->next;
            freeCount_ -= 1;
            return e;
        }
    }
    return ::operator new(size < sizeof(dbQueryElement) ? sizeof(dbQueryElement) : size);
}

void dbQueryElementAllocator::deallocate(dbQueryElement* first, dbQueryElement** lastNext)
{
    if (first == nullptr) {
        return;
    }
    std::size_t n = 0;
    for (dbQueryElement* e = first; e != nullptr; e = e->next) {
        n += 1;
        if (&e->next == lastNext) {
            break;
        }
    }
    std::lock_guard<dbMutex> guard(mutex_);
    if (exiting_) {
        for (dbQueryElement* e = first; n != 0; --n) {
            dbQueryElement* next = e->next;
            ::operator delete(e);
            e = next;
        }
        return;
    }
    *lastNext = freeList_;
    freeList_ = first;
    freeCount_ += n;
}

std::size_t dbQueryElementAllocator::freeCount()
{
    std::lock_guard<dbMutex> guard(mutex_);
    return freeCount_;
}

void dbQueryElementAllocator::releaseAll()
{
    std::lock_guard<dbMutex> guard(mutex_);
    exiting_ = true;
    while (freeList_ != nullptr) {
        dbQueryElement* next = freeList_->next;
        ::operator delete(freeList_);
        freeList_ = next;
    }
    freeCount_ = 0;
}

void* dbQueryElement::operator new(std::size_t size)
{
    return dbQueryElementAllocator::instance().allocate(size);
}

void dbQueryElement::operator delete(void* p)
{
    auto* e = static_cast<dbQueryElement*>(p);
    e->next = nullptr;
    dbQueryElementAllocator::instance().deallocate(e, &e->next);
}

void dbCompiledQuery::destroy()
{
    dbExprNodeAllocator& pool = dbExprNodeAllocator::instance();
    {
        std::lock_guard<dbMutex> guard(pool.mutex());
        pool.deleteTreeLocked(tree);
        for (dbOrderByNode* o = order; o != nullptr;) {
            dbOrderByNode* next = o->next;
            pool.deleteTreeLocked(o->expr);
            delete o;
            o = next;
        }
    }
    for (dbFollowByNode* f = follow; f != nullptr;) {
        dbFollowByNode* next = f->next;
        delete f;
        f = next;
    }
    tree = nullptr;
    order = nullptr;
    follow = nullptr;
    table = nullptr;
    startFrom = StartFromAny;
    startParameter = nullptr;
}

void dbQueryChain::append(dbQueryElement::ElementType type, const void* ptr,
                          dbTableDescriptor* table)
{
    auto* e = new dbQueryElement;
    e->next = nullptr;
    e->ptr = ptr;
    e->type = type;
    e->table = table;
    *nextLink_ = e;
    nextLink_ = &e->next;
    operandExpected_ = (type == dbQueryElement::Text);
}

void dbQueryChain::addString(const char* s)
{
    append(operandExpected_ ? dbQueryElement::ParamString : dbQueryElement::Text, s, nullptr);
}

void dbQueryChain::releaseElements()
{
    if (first_ != nullptr) {
        dbQueryElementAllocator::instance().deallocate(first_, nextLink_);
    }
    first_ = nullptr;
    nextLink_ = &first_;
    operandExpected_ = false;
}

void dbQueryChain::splice(dbQueryChain& other)
{
    if (other.first_ == nullptr) {
        return;
    }
    *nextLink_ = other.first_;
    nextLink_ = other.nextLink_;
    *nextLink_ = nullptr;
    other.first_ = nullptr;
    other.nextLink_ = &other.first_;
    other.operandExpected_ = false;
}

dbQueryFragment::dbQueryFragment(const char* structName, const char* fieldName)
{
    append(dbQueryElement::Text, structName);
    if (fieldName != nullptr) {
        append(dbQueryElement::Text, ".");
        append(dbQueryElement::Text, fieldName);
    }
    operandExpected_ = false;
}

dbQuery& dbQuery::addParenthesized(dbQueryFragment& fragment)
{
    append(dbQueryElement::Text, "(");
    splice(fragment);
    append(dbQueryElement::Text, ")");
    operandExpected_ = false;
    return *this;
}

dbQuery& dbQuery::reset()
{
    releaseElements();
    compiling = false;
    destroy();
    return *this;
}
