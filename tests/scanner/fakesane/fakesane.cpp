// A scanner library for tests, loaded in place of the real one: one device,
// "fake:0", whose reads never bring data. FAKE_SANE_READ says how a read
// waits: "cancel" (the default) until sane_cancel, then it reports the
// cancel; "never": deaf to sane_cancel, until the test calls
// fake_sane_release. The library counts its misuses: a sane_init or
// sane_exit while a read is inside it, a second sane_init without sane_exit,
// a sane_exit without sane_init.
#include <sane/sane.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// never destroyed: a deaf read may still wait on them when the process ends
std::mutex& lock() { static auto* m = new std::mutex; return *m; }
std::condition_variable& wake() { static auto* c = new std::condition_variable; return *c; }
bool cancelled = false;
int handleTag = 0;
int releases = 0;     // calls of fake_sane_release
int readsInside = 0;
bool started = false;  // between sane_init and sane_exit
int openDevices = 0;
int faults = 0;

const SANE_Device device = {"fake:0", "Fake", "blocking", "virtual device"};
const SANE_Device* devices[] = {&device, nullptr};

}  // namespace

extern "C" {

SANE_Status sane_init(SANE_Int* version, SANE_Auth_Callback)
{
    std::lock_guard<std::mutex> hold(lock());
    faults += readsInside > 0 || started;
    started = true;
    if (version) *version = SANE_VERSION_CODE(1, 0, 0);
    return SANE_STATUS_GOOD;
}
void sane_exit()
{
    std::lock_guard<std::mutex> hold(lock());
    faults += readsInside > 0 || !started;
    started = false;
}
SANE_Status sane_get_devices(const SANE_Device*** list, SANE_Bool)
{
    *list = devices;
    return SANE_STATUS_GOOD;
}
SANE_Status sane_open(SANE_String_Const name, SANE_Handle* h)
{
    if (std::strcmp(name, device.name) != 0) return SANE_STATUS_INVAL;
    std::lock_guard<std::mutex> hold(lock());
    ++openDevices;
    *h = &handleTag;
    return SANE_STATUS_GOOD;
}
void sane_close(SANE_Handle)
{
    std::lock_guard<std::mutex> hold(lock());
    --openDevices;
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
    return SANE_STATUS_GOOD;
}
SANE_Status sane_read(SANE_Handle, SANE_Byte*, SANE_Int, SANE_Int* length)
{
    *length = 0;
    const char* mode = std::getenv("FAKE_SANE_READ");
    const bool deaf = mode && std::strcmp(mode, "never") == 0;
    std::unique_lock<std::mutex> hold(lock());
    ++readsInside;
    const int released = releases;
    wake().wait(hold, [deaf, released] { return deaf ? releases != released : cancelled; });
    --readsInside;
    return SANE_STATUS_CANCELLED;
}
void sane_cancel(SANE_Handle)
{
    std::lock_guard<std::mutex> hold(lock());
    cancelled = true;
    wake().notify_all();
}

// Lets every read deaf to the cancel return.
void fake_sane_release()
{
    std::lock_guard<std::mutex> hold(lock());
    ++releases;
    wake().notify_all();
}
int fake_sane_faults()
{
    std::lock_guard<std::mutex> hold(lock());
    return faults;
}
// Whether the library is started or a device open: 0 when everything was closed.
int fake_sane_in_use()
{
    std::lock_guard<std::mutex> hold(lock());
    return int(started) + openDevices;
}
}
