#include "platform/sharedlibrary.h"

#include <dlfcn.h>

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
