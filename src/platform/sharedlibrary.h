// A shared library loaded while the program runs, so the program starts and
// runs without it. The library object owns the table of the entry points
// resolved during one load; callers hold Entry copies, which read as null
// once that load ends (Unload, a new Load or the end of the library object),
// so no call can reach a library that is gone, whichever of the library
// object and its copies goes first. Callers check Loaded() or an entry
// before calling it.
//
// Every library in the process, linked or loaded, has its threads cancelled
// only at cancellation points: the program exports a pthread_setcanceltype of
// its own (sharedlibrary.cpp) that the libraries find before the C library's,
// and that keeps cancellation deferred whatever a thread asks for. The scanner
// needs it: a scanner driver cancels its reading thread asynchronously, and a
// thread ended at any instruction can die inside malloc or free holding a lock
// of the allocator, so that it hangs at its own end, or the next thread to
// allocate does, and the program freezes. What it would break: a library that
// cancels one of its threads that never reaches a cancellation point (a loop
// of pure computation) would no longer end it; the thread runs on, and a
// join on it waits for good. A library that needs that must not be loaded.
#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace platform {

class SharedLibrary {
    using Table = std::vector<void*>;  // the addresses found during one load

public:
    // A copy of one entry point of function type F.
    template <class F>
    class Entry {
    public:
        Entry() = default;
        // The function; null when not found or when its load has ended.
        F* get() const
        {
            return table_ && index_ < table_->size() ? reinterpret_cast<F*>((*table_)[index_]) : nullptr;
        }
        explicit operator bool() const { return get() != nullptr; }
        template <class... A>
        decltype(auto) operator()(A&&... args) const
        {
            return get()(std::forward<A>(args)...);
        }

    private:
        friend class SharedLibrary;
        std::shared_ptr<const Table> table_;
        std::size_t index_ = 0;
    };

    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Opens the library by file name (searched the usual way). A library
    // already loaded is unloaded first. False when it cannot be opened.
    bool Load(const QString& fileName);
    bool Loaded() const { return handle_ != nullptr; }
    // Looks up a function by name into `entry`; false (entry null) when the
    // library is not loaded or has no such entry. The library keeps nothing
    // of `entry` itself.
    template <class F>
    bool Resolve(const char* name, Entry<F>& entry)
    {
        entry = Entry<F>();
        if (!lookUp(name, entry.index_)) return false;
        entry.table_ = table_;
        return true;
    }
    // Closes the library and empties its table, so that every entry of this
    // load reads as null. True when the library was loaded and closed
    // without an error.
    bool Unload();
    // Keeps the loaded library's code in memory for the rest of the run,
    // whatever Unload does later: for a thread that may still be inside it
    // (through addresses it took with Entry::get before).
    void Pin();

private:
    // Adds the address of `name` to the table; false when there is none.
    bool lookUp(const char* name, std::size_t& index);

    void* handle_ = nullptr;
    QString fileName_;
    std::shared_ptr<Table> table_;
};

// The file name under which the scanner library is loaded ("libsane.so.1").
// Tests point it at another file, or at one that does not exist.
QString ScannerLibraryName();
void SetScannerLibraryName(const QString& fileName);

}  // namespace platform
