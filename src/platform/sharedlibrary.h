// A shared library loaded while the program runs, so the program starts and runs
// without it. Resolve fills slots that Unload sets back to null, so no call can
// reach a library that is gone. Callers check Loaded() or their slots before a
// call and keep each slot alive until Unload or the end of the library object.
#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace platform {

class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Opens the library by file name (searched the usual way). A library
    // already loaded is unloaded first. False when it cannot be opened.
    bool Load(const QString& fileName);
    bool Loaded() const { return handle_ != nullptr; }
    // Looks up a function by name into `slot`; false (slot null) when the
    // library is not loaded or has no such entry.
    template <class F>
    bool Resolve(const char* name, F*& slot)
    {
        slot = reinterpret_cast<F*>(lookUp(name));
        if (slot) clearers_.push_back([&slot] { slot = nullptr; });
        return slot != nullptr;
    }
    // Closes the library and nulls every slot filled by Resolve. True when
    // the library was loaded and closed without an error.
    bool Unload();
    // Keeps the loaded library's code in memory for the rest of the run,
    // whatever Unload does later: for a thread that may still be inside it.
    void Pin();

private:
    void* lookUp(const char* name) const;

    void* handle_ = nullptr;
    QString fileName_;
    std::vector<std::function<void()>> clearers_;
};

// The file name under which the scanner library is loaded ("libsane.so.1").
// Tests point it at another file, or at one that does not exist.
QString ScannerLibraryName();
void SetScannerLibraryName(const QString& fileName);

}  // namespace platform
