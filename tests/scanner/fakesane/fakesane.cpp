// A scanner library for tests, loaded in place of the real one (built twice,
// as two libraries with a state each): one device, "fake:0", whose reads
// never bring data. FAKE_SANE_READ says how a read waits: "cancel" (the
// default) until sane_cancel, then it reports the cancel; "never": deaf to
// sane_cancel, until the test lets it go with fake_sane_release (one read a
// call, the first to come in first; a release with no such read waiting lets
// the next one go at once); "thread": as a real driver's, the page comes
// from a reading thread that sane_start starts, through a pipe, and that asks
// for asynchronous cancellation; it hands half the page over and then
// allocates and frees memory, with a cancellation point between rounds,
// until sane_cancel cancels it and waits for it to end (10 s at most). After
// fake_sane_hold_close the next sane_close
// waits inside until fake_sane_let_close (60 s at most). The library counts
// its misuses: a sane_init or sane_exit while a read or a close is inside it,
// a second sane_init without sane_exit, a sane_exit without sane_init, a
// device listed or opened while the library is not started.
// fake_sane_cancel_type_after_async_asked tells the cancellation type a
// thread of the library has after asking for asynchronous cancellation, as
// the real drivers' reading threads do.
#include <sane/sane.h>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

namespace {

// never destroyed: a deaf read may still wait on them when the process ends
std::mutex& lock() { static auto* m = new std::mutex; return *m; }
std::condition_variable& wake() { static auto* c = new std::condition_variable; return *c; }
bool cancelled = false;
int handleTag = 0;
int deafReads = 0;    // reads deaf to the cancel so far
int releases = 0;     // calls of fake_sane_release
int readsInside = 0;
int closesInside = 0;
bool holdClose = false;      // the next sane_close waits
bool releasedClose = false;  // until this
bool started = false;  // between sane_init and sane_exit
int openDevices = 0;
int faults = 0;
constexpr int pageBytes = 100;  // 10 lines of 10 grey pixels

// A count read under the lock.
template <class Count>
int counted(Count count)
{
    std::lock_guard<std::mutex> hold(lock());
    return count();
}

// The reading thread of "thread" and its pipe; only its thread writes
// into the pipe, and sane_cancel ends it and closes that end.
struct Reader {
    pthread_t thread{};
    bool running = false;
    int pipe[2] = {-1, -1};
} reader;

bool readByThread()
{
    const char* mode = std::getenv("FAKE_SANE_READ");
    return mode && std::strcmp(mode, "thread") == 0;
}

void* readPage(void*)
{
    pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
    const unsigned char half[pageBytes / 2] = {};
    if (write(reader.pipe[1], half, sizeof half) != sizeof half) return nullptr;
    for (;;) {
        // sizes beyond the per-thread caches, freed out of order: each call
        // takes the allocator's lock and joins free neighbours under it
        void* volatile blocks[64];
        for (size_t k = 0; k < 64; ++k) blocks[k] = std::malloc(2048 + 512 * k);
        for (size_t k = 0; k < 64; k += 2) std::free(blocks[k]);
        for (size_t k = 1; k < 64; k += 2) std::free(blocks[k]);
        pthread_testcancel();
    }
}

void closeEnd(int& fd)
{
    if (fd >= 0) close(fd);
    fd = -1;
}

const SANE_Device device = {"fake:0", "Fake", "blocking", "virtual device"};
const SANE_Device* devices[] = {&device, nullptr};

}  // namespace

extern "C" {

SANE_Status sane_init(SANE_Int* version, SANE_Auth_Callback)
{
    std::lock_guard<std::mutex> hold(lock());
    faults += readsInside > 0 || closesInside > 0 || started;
    started = true;
    if (version) *version = SANE_VERSION_CODE(1, 0, 0);
    return SANE_STATUS_GOOD;
}
void sane_exit()
{
    std::lock_guard<std::mutex> hold(lock());
    faults += readsInside > 0 || closesInside > 0 || !started;
    started = false;
}
SANE_Status sane_get_devices(const SANE_Device*** list, SANE_Bool)
{
    std::lock_guard<std::mutex> hold(lock());
    faults += !started;
    *list = devices;
    return SANE_STATUS_GOOD;
}
SANE_Status sane_open(SANE_String_Const name, SANE_Handle* h)
{
    if (std::strcmp(name, device.name) != 0) return SANE_STATUS_INVAL;
    std::lock_guard<std::mutex> hold(lock());
    faults += !started;
    ++openDevices;
    *h = &handleTag;
    return SANE_STATUS_GOOD;
}
void sane_close(SANE_Handle)
{
    std::unique_lock<std::mutex> hold(lock());
    ++closesInside;
    const bool held = holdClose;
    holdClose = false;
    if (held) {
        wake().wait_for(hold, std::chrono::seconds(60), [] { return releasedClose; });
        releasedClose = false;
    }
    --closesInside;
    --openDevices;
    closeEnd(reader.pipe[0]);
}
const SANE_Option_Descriptor* sane_get_option_descriptor(SANE_Handle, SANE_Int) { return nullptr; }
SANE_Status sane_control_option(SANE_Handle, SANE_Int, SANE_Action, void*, SANE_Int*) { return SANE_STATUS_INVAL; }
SANE_Status sane_get_parameters(SANE_Handle, SANE_Parameters* p)
{
    *p = {SANE_FRAME_GRAY, SANE_TRUE, 10, 10, 10, 8};
    return SANE_STATUS_GOOD;
}
SANE_Status sane_start(SANE_Handle)
{
    std::lock_guard<std::mutex> hold(lock());
    cancelled = false;
    if (readByThread() && !reader.running) {
        closeEnd(reader.pipe[0]);
        if (pipe2(reader.pipe, O_CLOEXEC) != 0) return SANE_STATUS_IO_ERROR;
        reader.running = pthread_create(&reader.thread, nullptr, readPage, nullptr) == 0;
        if (!reader.running) {
            closeEnd(reader.pipe[1]);
            return SANE_STATUS_IO_ERROR;
        }
    }
    return SANE_STATUS_GOOD;
}
SANE_Status sane_read(SANE_Handle, SANE_Byte* data, SANE_Int size, SANE_Int* length)
{
    *length = 0;
    const char* mode = std::getenv("FAKE_SANE_READ");
    const bool deaf = mode && std::strcmp(mode, "never") == 0;
    std::unique_lock<std::mutex> hold(lock());
    ++readsInside;
    if (readByThread()) {
        const int from = reader.pipe[0];
        hold.unlock();
        const ssize_t n = read(from, data, size_t(size));
        hold.lock();
        --readsInside;
        if (n <= 0) return SANE_STATUS_CANCELLED;  // the reading thread was ended
        *length = SANE_Int(n);
        return SANE_STATUS_GOOD;
    }
    if (deaf) {
        const int turn = deafReads++;
        wake().wait(hold, [turn] { return releases > turn; });
    } else {
        wake().wait(hold, [] { return cancelled; });
    }
    --readsInside;
    return SANE_STATUS_CANCELLED;
}
void sane_cancel(SANE_Handle)
{
    std::lock_guard<std::mutex> hold(lock());
    cancelled = true;
    wake().notify_all();
    if (reader.running) {
        // A thread that has not ended in 10 s never will (stuck in the
        // allocator): it is left, to be found by the test, not waited for.
        timespec deadline{};
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += 10;
        pthread_cancel(reader.thread);
        pthread_timedjoin_np(reader.thread, nullptr, &deadline);
        reader.running = false;
        closeEnd(reader.pipe[1]);  // a read waiting on the pipe returns
    }
}

// Lets the first waiting read deaf to the cancel return.
void fake_sane_release()
{
    std::lock_guard<std::mutex> hold(lock());
    ++releases;
    wake().notify_all();
}
void fake_sane_hold_close()
{
    std::lock_guard<std::mutex> hold(lock());
    holdClose = true;
    releasedClose = false;
}
void fake_sane_let_close()
{
    std::lock_guard<std::mutex> hold(lock());
    releasedClose = true;
    wake().notify_all();
}
int fake_sane_faults() { return counted([] { return faults; }); }
int fake_sane_reads_inside() { return counted([] { return readsInside; }); }
int fake_sane_closes_inside() { return counted([] { return closesInside; }); }
// Whether the library is started or a device open: 0 when everything was closed.
int fake_sane_in_use() { return counted([] { return int(started) + openDevices; }); }
int fake_sane_cancel_type_after_async_asked()
{
    int type = -1;
    std::thread([&type] {
        pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
        pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, &type);
    }).join();
    return type;
}
}
