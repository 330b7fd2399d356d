#include "scanner/acquireimage.h"

#include "appcore/picture.h"
#include "platform/dialogs.h"
#include "platform/longwork.h"
#include "scanner/dib.h"
#include "scanner/librarysessions.h"
#include "scanner/scanframes.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <sane/sane.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

// The entry points of the scanner library; null while it is not loaded.
// Copies of the library's entry points: null once it is unloaded.
struct TAcquireImage::Entries {
    template <class F>
    using Entry = platform::SharedLibrary::Entry<F>;
    Entry<decltype(::sane_init)> init;
    Entry<decltype(::sane_exit)> exit;
    Entry<decltype(::sane_get_devices)> getDevices;
    Entry<decltype(::sane_open)> open;
    Entry<decltype(::sane_close)> close;
    Entry<decltype(::sane_get_option_descriptor)> optionDescriptor;
    Entry<decltype(::sane_control_option)> controlOption;
    Entry<decltype(::sane_get_parameters)> getParameters;
    Entry<decltype(::sane_start)> start;
    Entry<decltype(::sane_read)> read;
    Entry<decltype(::sane_cancel)> cancel;
};

namespace {

constexpr int kIdentityText = 33;     // bytes of an identity text, without its end
constexpr int kMaxDevices = 1000;     // devices taken from the library's list
constexpr int kMaxDeviceText = 1024;  // bytes taken of each device text
constexpr int kReadChunk = 64 * 1024;
constexpr int kCancelGraceMs = 800;   // a read told to stop must have ended by then

enum Stage { kManager = 2, kSources = 3, kOpen = 4, kStart = 5, kTransfer = 7 };

// At most `limit` bytes of UTF-8, never half a character.
QByteArray cutUtf8(const QString& text, int limit)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= limit) return bytes;
    int end = limit;
    while (end > 0 && (uchar(bytes[end]) & 0xC0) == 0x80) --end;  // bytes[end] starts the first cut character
    bytes.truncate(end);
    return bytes;
}

QByteArray deviceText(const char* s)
{
    if (!s) return {};
    qsizetype n = 0;
    while (n < kMaxDeviceText && s[n]) ++n;
    return QByteArray(s, n);
}

// Our stand-in for the source's own window while a scan runs: progress and Cancel.
class ScanWindow : public QDialog {
public:
    ScanWindow(QWidget* owner, const QString& device) : QDialog(owner)
    {
        setObjectName("scanWindow");
        setWindowTitle("Scanning");
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel("Scanning from " + device + " ...", this));
        progress = new QProgressBar(this);
        progress->setRange(0, 0);
        layout->addWidget(progress);
        auto* cancel = new QPushButton("Cancel", this);
        cancel->setObjectName("cancelButton");
        layout->addWidget(cancel, 0, Qt::AlignRight);
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        connect(this, &QDialog::rejected, this, [this] { cancelled = true; });
        setWindowModality(Qt::ApplicationModal);
    }
    void showPercent(int percent)
    {
        if (percent < 0) {
            progress->setRange(0, 0);
        } else {
            progress->setRange(0, 100);
            progress->setValue(percent);
        }
    }
    QProgressBar* progress;
    bool cancelled = false;
};

int codeOf(SANE_Status status)
{
    if (status == SANE_STATUS_GOOD) return TAcquireImage::twSuccess;
    if (status == SANE_STATUS_CANCELLED) return TAcquireImage::twCancel;
    return TAcquireImage::twStatusBase + int(status);
}

int frameCode(FrameError e)
{
    switch (e) {
    case FrameError::None: return codeOf(SANE_STATUS_GOOD);
    case FrameError::Invalid: return codeOf(SANE_STATUS_INVAL);
    case FrameError::TooLarge: return codeOf(SANE_STATUS_NO_MEM);
    case FrameError::Truncated: return codeOf(SANE_STATUS_IO_ERROR);
    }
    return codeOf(SANE_STATUS_INVAL);
}

std::int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The device calls of one scan, copied as plain addresses, so that the
// reading thread needs nothing of the component (the entries are the
// window's thread's; a thread left behind has the library pinned under it
// and ends the session it was left with by itself).
struct DeviceCalls {
    decltype(&::sane_start) start;
    decltype(&::sane_get_parameters) getParameters;
    decltype(&::sane_read) read;
    decltype(&::sane_close) close;
    decltype(&::sane_exit) exit;
};

// What the reading thread and the window's thread share during one scan.
// The reader writes code, stage and picture before it sets done.
struct ScanState {
    std::atomic<std::int64_t> lastData{nowMs()};  // when data last came (or the scan began)
    std::atomic<int> percent{-1};
    std::atomic<bool> stop{false};                // the window's thread has given the scan up
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    bool leftBehind = false;  // the reader owns the device and the session once it returns
    int code = TAcquireImage::twFailure;
    int stage = kStart;
    QImage picture;

    // True when the reader was left behind.
    bool finish(int result)
    {
        std::lock_guard<std::mutex> lock(mutex);
        code = result;
        done = true;
        changed.notify_all();
        return leftBehind;
    }
    // Hands the device and the session to a reader that has not finished;
    // false when it has.
    bool leaveBehind(LibrarySessions& sessions)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (done) return false;
        sessions.LeaveBehind();
        leftBehind = true;
        return true;
    }
    // Waits at most `ms` for the reader to finish; true when it has.
    bool waitDone(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done; });
    }
};

// The frames of one scan, on a thread of its own: reads may block as long as
// the backend likes, the window's thread watches the time.
int readFrames(const DeviceCalls& device, SANE_Handle handle, ScanState& state)
{
    int code = codeOf(device.start(handle));
    if (code != TAcquireImage::twSuccess) return code;
    state.stage = kTransfer;
    FrameAssembler frames;
    QByteArray buffer(kReadChunk, '\0');
    for (;;) {
        SANE_Parameters p{};
        code = codeOf(device.getParameters(handle, &p));
        if (code != TAcquireImage::twSuccess) return code;
        code = frameCode(frames.BeginFrame({p.format, p.last_frame != SANE_FALSE, p.bytes_per_line,
                                            p.pixels_per_line, p.lines, p.depth}));
        if (code != TAcquireImage::twSuccess) return code;
        for (;;) {
            if (state.stop) return TAcquireImage::twCancel;
            SANE_Int length = 0;
            const SANE_Status status = device.read(handle, reinterpret_cast<SANE_Byte*>(buffer.data()), kReadChunk, &length);
            if (status == SANE_STATUS_EOF) break;
            if (status != SANE_STATUS_GOOD) return codeOf(status);
            if (length < 0 || length > kReadChunk) return codeOf(SANE_STATUS_INVAL);
            if (length == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            state.lastData = nowMs();
            code = frameCode(frames.Add(reinterpret_cast<const uchar*>(buffer.constData()), length));
            if (code != TAcquireImage::twSuccess) return code;
            state.percent = frames.Percent();
        }
        if (state.stop) return TAcquireImage::twCancel;
        code = frameCode(frames.EndFrame());
        if (code != TAcquireImage::twSuccess) return code;
        if (frames.Complete()) break;
        code = codeOf(device.start(handle));  // the next colour of a three-pass scan
        if (code != TAcquireImage::twSuccess) return code;
    }
    state.picture = frames.Picture();
    return state.picture.isNull() ? codeOf(SANE_STATUS_NO_MEM) : TAcquireImage::twSuccess;
}

}  // namespace

TAcquireImage::TAcquireImage() : sane_(std::make_unique<Entries>())
{
    setAppInfo("Variz Adazaduv Evudezazi");
    setAppManufacturer("none");
    setAppProductFamily("none");
    setAppProductName("none");
}

TAcquireImage::~TAcquireImage() { UnLoadTwainModule(); }

void TAcquireImage::setAppInfo(const QString& text) { appInfo_ = cutUtf8(text, kIdentityText); }
void TAcquireImage::setAppManufacturer(const QString& text) { appManufacturer_ = cutUtf8(text, kIdentityText); }
void TAcquireImage::setAppProductFamily(const QString& text) { appProductFamily_ = cutUtf8(text, kIdentityText); }
void TAcquireImage::setAppProductName(const QString& text) { appProductName_ = cutUtf8(text, kIdentityText); }

bool TAcquireImage::loaded() const { return library_.Loaded() && bool(sane_->init); }

int TAcquireImage::report(int stage, int code)
{
    if (code != twSuccess && OnTwainError) OnTwainError(this, stage, code);
    return code;
}

int TAcquireImage::statusCode(int status) const { return codeOf(SANE_Status(status)); }

// ---------------------------------------------------------------- library and manager

bool TAcquireImage::LoadTwainModule()
{
    if (loaded()) return true;
    if (!library_.Load(platform::ScannerLibraryName())) return false;
    Entries& e = *sane_;
    const bool all = library_.Resolve("sane_init", e.init) && library_.Resolve("sane_exit", e.exit)
                     && library_.Resolve("sane_get_devices", e.getDevices) && library_.Resolve("sane_open", e.open)
                     && library_.Resolve("sane_close", e.close)
                     && library_.Resolve("sane_get_option_descriptor", e.optionDescriptor)
                     && library_.Resolve("sane_control_option", e.controlOption)
                     && library_.Resolve("sane_get_parameters", e.getParameters)
                     && library_.Resolve("sane_start", e.start) && library_.Resolve("sane_read", e.read)
                     && library_.Resolve("sane_cancel", e.cancel);
    if (!all) library_.Unload();
    return all;
}

bool TAcquireImage::UnLoadTwainModule()
{
    if (acquiring_) return false;  // reached from an event during a scan
    if (session_ && loaded()) CloseTwainSession();
    session_ = nullptr;
    handle_ = nullptr;
    return library_.Unload();
}

int TAcquireImage::OpenSourceManager()
{
    if (!loaded()) return twFailure;
    if (session_) return twSuccess;
    parent_ = QApplication::activeWindow();
    LibrarySessions& sessions = LibrarySessions::Of(sane_->init.get());
    SANE_Int version = 0;
    const SANE_Status status = sessions.Open(version);
    if (status == SANE_STATUS_DEVICE_BUSY) return refuseBusy(kManager);
    if (status == SANE_STATUS_GOOD) {
        session_ = &sessions;
        libraryVersion_ = version;
    }
    return report(kManager, statusCode(status));
}

int TAcquireImage::refuseBusy(int stage)
{
    platform::ShowMessage("The scanner is still busy with an earlier scan. Try again in a moment.", parent_);
    return report(stage, statusCode(SANE_STATUS_DEVICE_BUSY));
}

int TAcquireImage::CloseTwainSession()
{
    if (!loaded() || acquiring_) return twFailure;
    if (handle_) {
        sane_->cancel(handle_);
        sane_->close(handle_);
        handle_ = nullptr;
    }
    if (session_) session_->Close(sane_->exit.get());
    session_ = nullptr;
    return twSuccess;
}

// ---------------------------------------------------------------- sources

int TAcquireImage::listDevices(std::vector<Device>& devices)
{
    devices.clear();
    if (!session_) return twFailure;
    const SANE_Device** list = nullptr;
    const int code = statusCode(sane_->getDevices(&list, SANE_FALSE));
    if (code != twSuccess) return code;
    for (int i = 0; list && list[i] && i < kMaxDevices; ++i)
        devices.push_back({deviceText(list[i]->name), deviceText(list[i]->vendor), deviceText(list[i]->model),
                           deviceText(list[i]->type)});
    return devices.empty() ? twEndOfList : twSuccess;
}

int TAcquireImage::userSelect()
{
    std::vector<Device> devices;
    const int code = listDevices(devices);
    // the list is not offered empty: the user is told why there is nothing to pick
    if (code == twEndOfList) platform::ShowMessage("No scanner was found.", parent_);
    if (code != twSuccess) return code;
    QStringList items;
    for (const Device& d : devices)
        items << QString::fromUtf8(d.name + " (" + d.vendor + " " + d.model + ")");
    const int chosen = platform::ChooseItem("Select the scanner:", items, parent_, "Select Source");
    if (chosen < 0) return twCancel;
    source_ = devices[chosen];
    return twSuccess;
}

QString TAcquireImage::GetSource(bool flag)
{
    if (!loaded()) return {};
    source_ = {};
    int code = twSuccess;
    if (flag) {
        std::vector<Device> devices;
        code = listDevices(devices);
        if (code == twSuccess) source_ = devices.front();
    } else {
        code = userSelect();
    }
    report(kSources, code);
    return code == twSuccess ? QString::fromUtf8(source_.name) : QString();
}

void TAcquireImage::GetSources(QStringList& list)
{
    if (!loaded()) return;
    source_ = {};
    std::vector<Device> devices;
    if (report(kSources, listDevices(devices)) != twSuccess) return;
    list.clear();
    for (const Device& d : devices) list << QString::fromUtf8(d.name);
}

int TAcquireImage::SelectSource(const QString& name)
{
    if (!loaded()) return twFailure;
    source_ = {};
    if (name.isEmpty()) return report(kSources, userSelect());
    std::vector<Device> devices;
    int code = listDevices(devices);
    if (code == twSuccess) {
        code = twEndOfList;
        const QByteArray wanted = name.toUtf8();
        for (const Device& d : devices) {
            source_ = d;  // after a miss the last device seen stays
            if (d.name == wanted) {
                code = twSuccess;
                break;
            }
        }
    }
    return report(kSources, code);
}

int TAcquireImage::OpenSource()
{
    if (!loaded()) return twFailure;
    if (!session_) return report(kOpen, twFailure);
    if (session_->Busy()) return refuseBusy(kOpen);
    if (handle_) {
        sane_->close(handle_);
        handle_ = nullptr;
    }
    SANE_Handle handle = nullptr;
    const int code = statusCode(sane_->open(source_.name.constData(), &handle));
    if (code == twSuccess && !handle) return report(kOpen, twFailure);
    if (code == twSuccess) handle_ = handle;
    return report(kOpen, code);
}

TSourceInfo TAcquireImage::GetSourceInfo() const
{
    TSourceInfo info;
    if (!loaded()) return info;
    if (session_) {
        info.ProtocolVersion = QString("%1.%2").arg(SANE_VERSION_MAJOR(libraryVersion_)).arg(SANE_VERSION_MINOR(libraryVersion_));
        info.Version = info.ProtocolVersion + QString(".%1").arg(SANE_VERSION_BUILD(libraryVersion_));
    }
    info.Manufacturer = QString::fromUtf8(source_.vendor);
    info.ProductFamily = QString::fromUtf8(source_.model);
    info.ProductName = QString::fromUtf8(source_.name);
    info.Info = QString::fromUtf8(source_.type);
    return info;
}

// The open source's resolution in dots per inch; 0 when it has none to tell.
int TAcquireImage::resolution()
{
    SANE_Int count = 0;
    const SANE_Option_Descriptor* first = sane_->optionDescriptor(handle_, 0);
    if (!first || first->type != SANE_TYPE_INT || first->size != sizeof(SANE_Word)
        || sane_->controlOption(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return 0;
    for (SANE_Int i = 1; i < count && i < 10'000; ++i) {
        const SANE_Option_Descriptor* d = sane_->optionDescriptor(handle_, i);
        if (!d || !d->name || std::strcmp(d->name, "resolution") != 0) continue;
        if ((d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) || d->size != sizeof(SANE_Word)
            || !SANE_OPTION_IS_ACTIVE(d->cap))
            return 0;
        SANE_Word value = 0;
        if (sane_->controlOption(handle_, i, SANE_ACTION_GET_VALUE, &value, nullptr) != SANE_STATUS_GOOD) return 0;
        const double dpi = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(value) : value;
        return dpi > 0 && dpi < 1'000'000 ? int(dpi + 0.5) : 0;
    }
    return 0;
}

int TAcquireImage::GetImageInfo(TImageInfo& info)
{
    if (!loaded() || !handle_) return twFailure;
    SANE_Parameters p{};
    const int code = statusCode(sane_->getParameters(handle_, &p));
    if (code != twSuccess) return code;
    info = {};
    info.XResolution = info.YResolution = float(resolution());
    info.ImageWidth = p.pixels_per_line;
    info.ImageLength = p.lines;
    info.SamplesPerPixel = p.format == SANE_FRAME_GRAY ? 1 : 3;
    for (int i = 0; i < info.SamplesPerPixel; ++i) info.BitsPerSample[i] = qint16(p.depth);
    info.BitsPerPixel = qint16(p.depth * info.SamplesPerPixel);
    info.Planar = p.format >= SANE_FRAME_RED && p.format <= SANE_FRAME_BLUE;
    info.PixelType = p.format != SANE_FRAME_GRAY ? 2 : p.depth == 1 ? 0 : 1;
    return twSuccess;
}

// ---------------------------------------------------------------- acquiring

int TAcquireImage::AcquirehDIB(QByteArray& dib)
{
    dib.clear();
    QImage picture;
    const int code = acquire(picture);
    if (code == twSuccess) dib = DeviceIndependentBitmap(picture, resolution());
    return code;
}

int TAcquireImage::AcquireToClipboard()
{
    QImage picture;
    if (acquire(picture) != twSuccess) return twFailure;
    QClipboard* clipboard = qApp ? QApplication::clipboard() : nullptr;
    if (!clipboard) return twFailure;
    clipboard->setImage(picture);
    return twSuccess;
}

int TAcquireImage::AcquireBmp(QImage& bitmap)
{
    QImage picture;
    if (acquire(picture) != twSuccess) return twFailure;
    bitmap = picture;
    return twSuccess;
}

int TAcquireImage::AcquireJpg(QByteArray& jpeg, int quality)
{
    QImage picture;
    if (acquire(picture) != twSuccess) return twFailure;
    QByteArray bytes = EncodeJpeg(picture, quality);
    if (bytes.isEmpty()) return twFailure;
    jpeg = bytes;
    return twSuccess;
}

int TAcquireImage::acquire(QImage& picture)
{
    if (!loaded() || acquiring_) return twFailure;
    if (!handle_) return report(kStart, twFailure);
    if (session_->Busy()) return refuseBusy(kStart);
    acquiring_ = true;
    int stage = kStart;
    const int code = scan(picture, stage);
    if (handle_) sane_->cancel(handle_);  // ends the page and drops any further pages the device holds
    acquiring_ = false;
    if (code != twSuccess) picture = QImage();
    return report(stage, code);
}

int TAcquireImage::scan(QImage& picture, int& stage)
{
    std::unique_ptr<ScanWindow> window;
    if (SHOWhideUI && qApp) {
        window = std::make_unique<ScanWindow>(parent_, QString::fromUtf8(source_.name));
        window->show();
    }
    platform::LongWork busy(window.get());
    auto state = std::make_shared<ScanState>();
    const DeviceCalls device{sane_->start.get(), sane_->getParameters.get(), sane_->read.get(), sane_->close.get(),
                             sane_->exit.get()};
    std::thread reader([device, handle = handle_, sessions = session_, state] {
        if (state->finish(readFrames(device, handle, *state))) sessions->ReadReturned(device.close, device.exit, handle);
    });
    enum { Reading, Cancelled, Stalled } end = Reading;
    while (!state->waitDone(10)) {
        busy.Pump();
        if (window) window->showPercent(state->percent);
        if (window && window->cancelled)
            end = Cancelled;
        else if (nowMs() - state->lastData > stallLimitMs)
            end = Stalled;
        if (end != Reading) break;
    }
    if (end != Reading) {
        state->stop = true;
        sane_->cancel(handle_);  // a read that waits returns
        QElapsedTimer grace;
        grace.start();
        while (!state->waitDone(10) && grace.elapsed() < kCancelGraceMs) busy.Pump();
    }
    if (state->leaveBehind(*session_)) {
        // A backend deaf to the cancel: its thread is left where it is, with
        // the library kept loaded; the device and this session are its own
        // to close when its read returns.
        reader.detach();
        library_.Pin();
        handle_ = nullptr;
        session_ = nullptr;
    } else {
        reader.join();
    }
    if (end == Cancelled) {
        stage = kStart;
        return twCancel;
    }
    stage = kTransfer;
    if (end == Stalled) return statusCode(SANE_STATUS_IO_ERROR);
    stage = state->stage;
    picture = state->picture;
    return state->code;
}
