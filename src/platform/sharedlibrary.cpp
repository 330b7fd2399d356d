#include "platform/sharedlibrary.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cerrno>

// A loaded library may start threads of its own and end them with
// pthread_cancel after asking for asynchronous cancellation (the scanner
// library's device drivers do, for their reading threads). A thread ended at
// any instruction may be inside malloc or free, holding a lock of the
// allocator that nothing then lets go: the program freezes at a later
// allocation, in whichever thread makes it. This definition comes before the
// C library's for every library the program loads (the link exports it; see
// the platform library's link options) and keeps every thread's cancellation
// deferred: a thread asked to end ends at its next cancellation point (the
// write into its pipe, a sleep, a read), never inside the allocator.
extern "C" int pthread_setcanceltype(int type, int* oldType)
{
    using SetCancelType = int (*)(int, int*);
    static const auto next = reinterpret_cast<SetCancelType>(dlsym(RTLD_NEXT, "pthread_setcanceltype"));
    if (type != PTHREAD_CANCEL_DEFERRED && type != PTHREAD_CANCEL_ASYNCHRONOUS) return EINVAL;
    return next ? next(PTHREAD_CANCEL_DEFERRED, oldType) : ENOSYS;
}

namespace platform {

namespace {
QString g_scannerLibrary = QStringLiteral("libsane.so.1");
}

SharedLibrary::~SharedLibrary() { Unload(); }

bool SharedLibrary::Load(const QString& fileName)
{
    Unload();
    if (fileName.isEmpty()) return false;
    handle_ = dlopen(fileName.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    fileName_ = fileName;
    if (handle_) table_ = std::make_shared<Table>();
    return handle_ != nullptr;
}

bool SharedLibrary::lookUp(const char* name, std::size_t& index)
{
    void* address = handle_ ? dlsym(handle_, name) : nullptr;
    if (!address) return false;
    index = table_->size();
    table_->push_back(address);
    return true;
}

bool SharedLibrary::Unload()
{
    // copies of the entries share the table: emptied, it reads null in all of them
    if (table_) table_->clear();
    table_.reset();
    if (!handle_) return false;
    const bool closed = dlclose(handle_) == 0;
    handle_ = nullptr;
    return closed;
}

void SharedLibrary::Pin()
{
    // the library is already loaded: this only marks it never to be unmapped
    if (handle_) dlopen(fileName_.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

QString ScannerLibraryName() { return g_scannerLibrary; }
void SetScannerLibraryName(const QString& fileName) { g_scannerLibrary = fileName; }

}  // namespace platform
