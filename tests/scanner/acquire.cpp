// Scans through the scanner library's "test" backend: picture sizes and kinds,
// three-pass colour, a hand scanner, cancels, failures and what the component
// does while the library is missing; and through a library of the test's own
// whose reads wait without end: reads left inside it, the scanner busy until
// they return, slow closes, and two such libraries loaded at once; or whose
// reading thread is cancelled while it allocates.
#include "bitmap_block.h"
#include "sane_fixture.h"

#include "scanner/acquireimage.h"
#include "scanner/librarysessions.h"

#include "appcore/picture.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <pthread.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace {

struct Event {
    int stage, code;
    bool operator==(const Event&) const = default;
};

constexpr int kBusy = 32768 + 3;     // the library's busy status
constexpr int kStalled = 32768 + 9;  // a scan ended by the stall limit
const QString kBusyText = "The scanner is still busy with an earlier scan. Try again in a moment.";

// Loads, starts, selects and opens `source`.
void openSource(TAcquireImage& component, const QString& source)
{
    ASSERT_TRUE(component.LoadTwainModule());
    ASSERT_EQ(component.OpenSourceManager(), 0);
    ASSERT_EQ(component.SelectSource(source), 0);
    ASSERT_EQ(component.OpenSource(), 0);
}

// `component` scans the test library's device, which it has open; the read,
// deaf to the cancel, is left inside the library when the stall limit ends
// the scan.
void stallInside(TAcquireImage& component)
{
    qputenv("FAKE_SANE_READ", "never");
    component.SHOWhideUI = false;
    component.stallLimitMs = 100;
    QByteArray dib;
    EXPECT_EQ(component.AcquirehDIB(dib), kStalled);
}

// The same from the start of a session to its end.
void leaveReadInside(TAcquireImage& component)
{
    openSource(component, "fake:0");
    stallInside(component);
    EXPECT_EQ(component.CloseTwainSession(), 0);
    EXPECT_TRUE(component.UnLoadTwainModule());
}

class AcquireTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        scanner.OnTwainError = [this](TAcquireImage* sender, int stage, int code) {
            EXPECT_EQ(sender, &scanner);
            events.push_back({stage, code});
        };
        scanner.SHOWhideUI = false;
    }
    void open(const QString& source = "test:0") { openSource(scanner, source); }
    void close()
    {
        EXPECT_EQ(scanner.CloseTwainSession(), 0);
        EXPECT_TRUE(scanner.UnLoadTwainModule());
    }
    // One whole acquisition with the backend set up so.
    QImage scan(const SaneTestBackend::Options& options)
    {
        backend.Configure(options);
        QImage picture;
        open();
        EXPECT_EQ(scanner.AcquireBmp(picture), 0);
        close();
        return picture;
    }

    SaneTestBackend backend;
    platform::ScriptedDialogs dialogs;
    TAcquireImage scanner;
    std::vector<Event> events;
};

TEST_F(AcquireTest, EveryKindOfScanHasTheBackendsDefaultSize)
{
    const struct {
        SaneTestBackend::Options options;
        QImage::Format format;
    } cases[] = {
        {{{"mode", "Gray"}, {"depth", "8"}}, QImage::Format_Grayscale8},
        {{{"mode", "Gray"}, {"depth", "16"}}, QImage::Format_Grayscale8},
        {{{"mode", "Gray"}, {"depth", "1"}}, QImage::Format_Mono},
        {{{"mode", "Color"}, {"depth", "8"}}, QImage::Format_RGB888},
        {{{"mode", "Color"}, {"depth", "16"}}, QImage::Format_RGB888},
        {{{"mode", "Color"}, {"three-pass", "true"}}, QImage::Format_RGB888},
    };
    for (const auto& c : cases) {
        const QImage picture = scan(c.options);
        SCOPED_TRACE(c.options.begin()->second + " " + std::next(c.options.begin())->second);
        EXPECT_EQ(picture.size(), QSize(157, 196));
        EXPECT_EQ(picture.format(), c.format);
    }
    EXPECT_TRUE(events.empty());
}

TEST_F(AcquireTest, ThreePassColourEqualsSinglePassInAnyOrder)
{
    const SaneTestBackend::Options colour = {{"mode", "Color"}, {"test-picture", "\"Color pattern\""}};
    const QImage single = scan(colour);
    ASSERT_FALSE(single.isNull());
    EXPECT_GT(single.convertToFormat(QImage::Format_Indexed8).colorCount(), 2) << "a pattern, not one colour";
    for (const char* order : {"RGB", "BGR", "GBR"}) {
        auto threePass = colour;
        threePass["three-pass"] = "true";
        threePass["three-pass-order"] = order;
        EXPECT_EQ(scan(threePass), single) << order;
    }
}

TEST_F(AcquireTest, HandScannerFrameIsReadToItsEnd)
{
    backend.Configure({{"hand-scanner", "true"}});
    open();
    TImageInfo info;
    ASSERT_EQ(scanner.GetImageInfo(info), 0);
    EXPECT_EQ(info.ImageLength, -1);
    QImage picture;
    ASSERT_EQ(scanner.AcquireBmp(picture), 0);
    EXPECT_EQ(picture.width(), info.ImageWidth);
    EXPECT_GT(picture.height(), 0);
    close();
}

TEST_F(AcquireTest, DibBlockHoldsTheSamePicture)
{
    backend.Configure({{"mode", "Color"}, {"test-picture", "\"Color pattern\""}});
    open();
    QImage bitmap;
    QByteArray dib;
    ASSERT_EQ(scanner.AcquireBmp(bitmap), 0);
    ASSERT_EQ(scanner.AcquirehDIB(dib), 0) << "a second picture from the same open source";
    close();
    ASSERT_GE(dib.size(), 40);
    EXPECT_EQ(qFromLittleEndian<qint32>(dib.constData() + 4), 157);
    EXPECT_EQ(qFromLittleEndian<qint32>(dib.constData() + 8), 196);
    const QImage decoded = ReadBitmapBlock(dib);
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB888), bitmap);
    EXPECT_EQ(decoded.dotsPerMeterX(), 1969) << "50 dpi";
}

TEST_F(AcquireTest, CancelledScansHandNothingOver)
{
    backend.Configure({{"read-status-code", "\"SANE_STATUS_CANCELLED\""}});
    open();
    QByteArray dib("old");
    EXPECT_EQ(scanner.AcquirehDIB(dib), 3);
    EXPECT_TRUE(dib.isEmpty());
    QImage bitmap(5, 5, QImage::Format_RGB32);
    EXPECT_EQ(scanner.AcquireBmp(bitmap), 1);
    EXPECT_EQ(bitmap.size(), QSize(5, 5));
    QByteArray jpeg("old");
    EXPECT_EQ(scanner.AcquireJpg(jpeg, 80), 1);
    EXPECT_EQ(jpeg, "old");
    close();
    EXPECT_EQ(events, (std::vector<Event>{{7, 3}, {7, 3}, {7, 3}}));
}

// The threads of this process that bear its name, as every thread a scan
// starts does (Qt's threads name themselves).
int threadsNamedAsTheProcess()
{
    auto nameOf = [](const std::filesystem::path& file) {
        std::string name;
        std::getline(std::ifstream(file), name);
        return name;
    };
    const std::string own = nameOf("/proc/self/comm");
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        count += nameOf(task.path() / "comm") == own;
    return count;
}

// Cancel in the scan window while a page is being read ends the scan as
// cancelled and every thread it started, the driver's reading thread that
// the driver cancels too, and the next scan works. That thread asked to be
// cancelled at any instruction; taken inside malloc or free, the cancel
// would leave the allocator locked: the thread hangs at its own end, or the
// next thread to allocate does.
TEST_F(AcquireTest, CancelWhileAPageIsReadEndsTheScanAndItsThreads)
{
    const struct {
        const char* what;
        const char* library;
        const char* source;
        SaneTestBackend::Options options;
        int scans;  // a cancel lands in the allocator about every second time
    } cases[] = {
        {"the test backend, slowly (a page of 8 s)", "libsane.so.1", "test:0",
         {{"read-limit", "true"}, {"read-limit-size", "1024"}, {"read-delay", "true"}, {"read-delay-duration", "500000"},
          {"resolution", "300.0"}},
         1},
        {"a driver whose reading thread allocates", FAKE_SANE_LIBRARY, "fake:0", {}, 6},
    };
    qputenv("FAKE_SANE_READ", "thread");
    for (const auto& c : cases) {
        for (int round = 1; round <= c.scans && !HasFailure(); ++round) {
            SCOPED_TRACE(std::string(c.what) + ", scan " + std::to_string(round));
            events.clear();
            backend.Configure(c.options);
            platform::SetScannerLibraryName(c.library);
            const int threads = threadsNamedAsTheProcess();
            open(c.source);
            scanner.SHOWhideUI = true;
            bool clicked = false;
            QTimer watch;  // clicks Cancel once part of the page has come
            QObject::connect(&watch, &QTimer::timeout, [&] {
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    auto* progress = w->findChild<QProgressBar*>();
                    if (clicked || w->objectName() != "scanWindow" || !w->isVisible() || !progress
                        || progress->maximum() != 100 || progress->value() <= 0)
                        continue;
                    // nothing reached from an event while the scan runs may end the session under it
                    EXPECT_EQ(scanner.CloseTwainSession(), 1);
                    EXPECT_FALSE(scanner.UnLoadTwainModule());
                    QTest::mouseClick(w->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
                    clicked = true;
                }
            });
            watch.start(10);
            QByteArray dib("old");
            EXPECT_EQ(scanner.AcquirehDIB(dib), 3);
            watch.stop();
            EXPECT_TRUE(clicked);
            EXPECT_TRUE(dib.isEmpty());
            EXPECT_EQ(events, (std::vector<Event>{{5, 3}}));
            close();
            EXPECT_TRUE(QTest::qWaitFor([&] { return threadsNamedAsTheProcess() <= threads; }, 5000))
                << "a thread of the scan is left: " << threadsNamedAsTheProcess() - threads;
            platform::SetScannerLibraryName("libsane.so.1");
            scanner.stallLimitMs = 20'000;  // a thread stuck in the allocator ends it
            EXPECT_EQ(scan({}).size(), QSize(157, 196)) << "the next scan";
        }
    }
    qunsetenv("FAKE_SANE_READ");
}

// The counters, gates and release of a scanner library of the test's own.
struct FakeLibrary {
    explicit FakeLibrary(const char* file = FAKE_SANE_LIBRARY)
    {
        EXPECT_TRUE(library.Load(file) && library.Resolve("fake_sane_release", release)
                    && library.Resolve("fake_sane_hold_close", holdClose)
                    && library.Resolve("fake_sane_let_close", letClose) && library.Resolve("fake_sane_faults", faults)
                    && library.Resolve("fake_sane_in_use", inUse)
                    && library.Resolve("fake_sane_reads_inside", readsInside)
                    && library.Resolve("fake_sane_closes_inside", closesInside) && library.Resolve("sane_init", init));
    }
    // Whether, within 5 s, every read left inside has returned, the library
    // is stopped and the scanner is no longer busy.
    bool idle()
    {
        return QTest::qWaitFor([this] { return inUse() == 0 && !LibrarySessions::Of(init.get()).Busy(); }, 5000);
    }
    platform::SharedLibrary library;
    platform::SharedLibrary::Entry<void()> release, holdClose, letClose;
    platform::SharedLibrary::Entry<int()> faults, inUse, readsInside, closesInside;
    platform::SharedLibrary::Entry<decltype(::sane_init)> init;
};

// A driver ends its reading thread with a cancel it asked to take at any
// instruction; taken inside malloc or free, it would leave the allocator
// locked and the program frozen at a later allocation. Its threads take a
// cancel only at the points where the C library lets go of its locks.
TEST(ScannerLibraryThreads, AreCancelledOnlyAtSafePoints)
{
    platform::SharedLibrary library;
    platform::SharedLibrary::Entry<int()> typeAfterAsyncAsked;
    ASSERT_TRUE(library.Load(FAKE_SANE_LIBRARY)
                && library.Resolve("fake_sane_cancel_type_after_async_asked", typeAfterAsyncAsked));
    EXPECT_EQ(typeAfterAsyncAsked(), PTHREAD_CANCEL_DEFERRED);
}

TEST_F(AcquireTest, AReadThatWaitsIsEndedByCancelOrByTheStallLimit)
{
    const struct {
        const char* read;  // how the device's read waits
        bool clickCancel;  // else the stall limit ends the scan
        int code;
        Event event;
    } cases[] = {
        {"cancel", true, 3, {5, 3}},
        {"cancel", false, 32768 + 9, {7, 32768 + 9}},
        {"never", true, 3, {5, 3}},  // deaf to the cancel: its thread is left behind
    };
    platform::SetScannerLibraryName(FAKE_SANE_LIBRARY);
    QWidget other;
    other.show();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.read) + (c.clickCancel ? " cancel" : " stall"));
        qputenv("FAKE_SANE_READ", c.read);
        events.clear();
        open("fake:0");
        scanner.SHOWhideUI = true;
        scanner.stallLimitMs = c.clickCancel ? 60'000 : 400;
        int paints = 0;
        QTimer repaint;
        QObject::connect(&repaint, &QTimer::timeout, [&] {
            other.repaint();  // runs only while the window's thread is free
            ++paints;
        });
        repaint.start(50);
        QElapsedTimer clock;
        clock.start();
        qint64 end = 400;  // when the scan is to end, within a second
        if (c.clickCancel)
            QTimer::singleShot(300, [&] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->objectName() == "scanWindow" && w->isVisible())
                        QTest::mouseClick(w->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
                end = clock.elapsed();
            });
        QByteArray dib("old");
        EXPECT_EQ(scanner.AcquirehDIB(dib), c.code);
        EXPECT_LT(clock.elapsed() - end, 1000);
        EXPECT_GE(paints, 4);
        EXPECT_TRUE(dib.isEmpty());
        EXPECT_EQ(events, std::vector<Event>{c.event});
        close();
    }
    // The last read is still inside the library: for this component and for
    // a new one the scanner is busy, and the library is neither started nor
    // stopped, until the read returns; then it closes its session itself.
    FakeLibrary fake;
    TAcquireImage another;
    for (TAcquireImage* next : {&scanner, &another}) {
        ASSERT_TRUE(next->LoadTwainModule());
        EXPECT_EQ(next->OpenSourceManager(), kBusy);
        EXPECT_EQ(next->CloseTwainSession(), 0);
        EXPECT_TRUE(next->UnLoadTwainModule());
    }
    EXPECT_EQ(dialogs.Messages(), (QStringList{kBusyText, kBusyText}));
    EXPECT_EQ(events, (std::vector<Event>{{5, 3}, {2, kBusy}}));
    EXPECT_EQ(fake.inUse(), 2) << "started, the device open";
    fake.release();
    EXPECT_TRUE(fake.idle());
    EXPECT_EQ(fake.faults(), 0);
    platform::SetScannerLibraryName("libsane.so.1");
    EXPECT_EQ(scan({}).size(), QSize(157, 196));
}

// The second scan starts while the first one's read waits inside the library,
// and both reads are left there: the scanner stays busy until both have
// returned, not only the first.
TEST_F(AcquireTest, TheScannerIsBusyUntilEveryReadLeftInsideHasReturned)
{
    platform::SetScannerLibraryName(FAKE_SANE_LIBRARY);
    FakeLibrary fake;
    TAcquireImage second;
    open("fake:0");
    openSource(second, "fake:0");
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(QTest::qWaitFor([&] { return fake.readsInside() == 1; }, 5000));
        stallInside(second);
    });
    qputenv("FAKE_SANE_READ", "never");
    scanner.stallLimitMs = 300;  // the second scan starts well before
    QByteArray dib;
    EXPECT_EQ(scanner.AcquirehDIB(dib), kStalled);
    EXPECT_EQ(fake.readsInside(), 2);
    close();
    EXPECT_EQ(second.CloseTwainSession(), 0);
    TAcquireImage next;
    auto opens = [&next] {
        EXPECT_TRUE(next.LoadTwainModule());
        const int code = next.OpenSourceManager();
        EXPECT_EQ(next.CloseTwainSession(), 0);
        EXPECT_TRUE(next.UnLoadTwainModule());
        return code;
    };
    EXPECT_EQ(opens(), kBusy);
    fake.release();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fake.inUse() == 2; }, 5000)) << "started, the second read's device open";
    EXPECT_EQ(opens(), kBusy) << "the second read is still inside";
    fake.release();
    EXPECT_TRUE(fake.idle());
    EXPECT_EQ(opens(), 0);
    EXPECT_EQ(dialogs.Messages(), (QStringList{kBusyText, kBusyText}));
    EXPECT_EQ(fake.faults(), 0);
}

// A session that was open before another component's read was left inside
// the library is held to the same rule as a new one.
TEST_F(AcquireTest, ASessionOpenedBeforeAReadWasLeftInsideIsBusyToo)
{
    const struct {
        bool sourceOpen;  // else only the session is
        Event refused;
    } cases[] = {
        {false, {4, kBusy}},  // it does not open the device
        {true, {5, kBusy}},   // nor scan with the device it opened before
    };
    platform::SetScannerLibraryName(FAKE_SANE_LIBRARY);
    FakeLibrary fake;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sourceOpen ? "source open" : "session open");
        events.clear();
        ASSERT_TRUE(scanner.LoadTwainModule());
        ASSERT_EQ(scanner.OpenSourceManager(), 0);
        ASSERT_EQ(scanner.SelectSource("fake:0"), 0);
        if (c.sourceOpen) {
            ASSERT_EQ(scanner.OpenSource(), 0);
        }
        TAcquireImage other;
        leaveReadInside(other);
        scanner.stallLimitMs = 100;  // a scan that did start would not wait long
        QByteArray dib;
        EXPECT_EQ(c.sourceOpen ? scanner.AcquirehDIB(dib) : scanner.OpenSource(), kBusy);
        EXPECT_EQ(events, std::vector<Event>{c.refused});
        EXPECT_EQ(fake.readsInside(), 1) << "no read of its own";
        close();
        fake.release();
        EXPECT_TRUE(fake.idle());
    }
    EXPECT_EQ(dialogs.Messages(), (QStringList{kBusyText, kBusyText}));
    EXPECT_EQ(fake.faults(), 0);
}

// A read left inside returns and the close of its device takes long (held
// for up to a minute): the window's thread waits for none of it, neither for a new
// session nor to close one opened before.
TEST_F(AcquireTest, ASlowCloseOfAReadLeftInsideNeverHoldsTheWindow)
{
    platform::SetScannerLibraryName(FAKE_SANE_LIBRARY);
    FakeLibrary fake;
    open("fake:0");
    TAcquireImage other, next;
    leaveReadInside(other);
    fake.holdClose();
    fake.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.closesInside() == 1; }, 5000));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(next.LoadTwainModule());
    EXPECT_EQ(next.OpenSourceManager(), kBusy) << "the read's device is still being closed";
    close();
    EXPECT_LT(clock.elapsed(), 30000) << "far below the close's hold, however busy the machine";
    EXPECT_EQ(fake.inUse(), 2) << "started, the read's device open";
    fake.letClose();
    EXPECT_TRUE(fake.idle());
    EXPECT_EQ(fake.faults(), 0);
    EXPECT_EQ(dialogs.Messages(), QStringList{kBusyText});
}

// Two scanner libraries loaded at once keep their sessions apart: each is
// started and stopped with its own, and a read left inside one leaves the
// other free.
TEST_F(AcquireTest, EachLibraryCountsItsOwnSessions)
{
    platform::SetScannerLibraryName(FAKE_SANE_LIBRARY);
    FakeLibrary one, two(FAKE_SANE_LIBRARY_2);
    open("fake:0");
    platform::SetScannerLibraryName(FAKE_SANE_LIBRARY_2);
    TAcquireImage onTwo;
    ASSERT_TRUE(onTwo.LoadTwainModule());
    ASSERT_EQ(onTwo.OpenSourceManager(), 0);
    EXPECT_EQ(two.inUse(), 1) << "started for its own first session";
    EXPECT_EQ(onTwo.CloseTwainSession(), 0);
    EXPECT_EQ(two.inUse(), 0) << "stopped with its own last session";
    EXPECT_EQ(one.inUse(), 2) << "started, the device open";
    close();
    EXPECT_EQ(one.inUse(), 0);

    platform::SetScannerLibraryName(FAKE_SANE_LIBRARY);
    TAcquireImage left;
    leaveReadInside(left);
    ASSERT_EQ(onTwo.OpenSourceManager(), 0);
    ASSERT_EQ(onTwo.SelectSource("fake:0"), 0);
    EXPECT_EQ(onTwo.OpenSource(), 0);
    EXPECT_EQ(onTwo.CloseTwainSession(), 0);
    EXPECT_TRUE(onTwo.UnLoadTwainModule());
    EXPECT_EQ(two.inUse(), 0);
    one.release();
    EXPECT_TRUE(one.idle());
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_EQ(one.faults(), 0);
    EXPECT_EQ(two.faults(), 0);
}

TEST_F(AcquireTest, WithoutADeviceTheUserIsToldSo)
{
    backend.SetBackends("");
    ASSERT_TRUE(scanner.LoadTwainModule());
    ASSERT_EQ(scanner.OpenSourceManager(), 0);
    EXPECT_EQ(scanner.GetSource(false), "");
    EXPECT_EQ(dialogs.Messages(), QStringList{"No scanner was found."});
    EXPECT_EQ(events, (std::vector<Event>{{3, 7}}));
    close();
}

TEST_F(AcquireTest, FailingDeviceEndsTheScanWithItsStatus)
{
    backend.Configure({{"read-status-code", "\"SANE_STATUS_IO_ERROR\""}});
    open();
    QByteArray dib;
    EXPECT_EQ(scanner.AcquirehDIB(dib), 32768 + 9);
    EXPECT_TRUE(dib.isEmpty());
    close();
    EXPECT_EQ(events, (std::vector<Event>{{7, 32768 + 9}}));
}

TEST_F(AcquireTest, FrameBeyondThePictureLimitsIsRefused)
{
    // 200 x 250 mm at 1200 dpi: more pixels than a picture may have
    backend.Configure({{"geometry_max", "300.0"}, {"resolution", "1200.0"}, {"br_x", "200.0"}, {"br_y", "250.0"}});
    open();
    QImage bitmap;
    EXPECT_EQ(scanner.AcquireBmp(bitmap), 1);
    EXPECT_TRUE(bitmap.isNull());
    close();
    EXPECT_EQ(events, (std::vector<Event>{{7, 32768 + 10}}));
}

TEST_F(AcquireTest, SourcesAreNamedByDeviceAndComparedExactly)
{
    ASSERT_TRUE(scanner.LoadTwainModule());
    ASSERT_EQ(scanner.OpenSourceManager(), 0);
    QStringList list{"stale"};
    scanner.GetSources(list);
    EXPECT_EQ(list, (QStringList{"test:0", "test:1"}));
    EXPECT_EQ(scanner.GetSource(true), "test:0");

    dialogs.AnswerChoice(1);
    EXPECT_EQ(scanner.GetSource(false), "test:1");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].items.size(), 2);
    dialogs.AnswerChoice(-1);
    EXPECT_EQ(scanner.GetSource(false), "");
    dialogs.AnswerChoice(0);
    EXPECT_EQ(scanner.SelectSource(""), 0);
    EXPECT_EQ(scanner.GetSourceInfo().ProductName, "test:0");

    EXPECT_EQ(scanner.SelectSource("Test:0"), 7);
    EXPECT_EQ(scanner.SelectSource("test:9"), 7);
    EXPECT_EQ(scanner.GetSourceInfo().ProductName, "test:1") << "the last source seen";
    EXPECT_EQ(events, (std::vector<Event>{{3, 3}, {3, 7}, {3, 7}}));

    ASSERT_EQ(scanner.SelectSource("test:1"), 0);
    ASSERT_EQ(scanner.OpenSource(), 0);
    const TSourceInfo info = scanner.GetSourceInfo();
    EXPECT_EQ(info.Manufacturer, "Noname");
    EXPECT_EQ(info.ProductFamily, "frontend-tester");
    EXPECT_EQ(info.Info, "virtual device");
    EXPECT_TRUE(info.ProtocolVersion.startsWith("1.")) << info.ProtocolVersion.toStdString();
    EXPECT_TRUE(info.Version.startsWith(info.ProtocolVersion + "."));
    TImageInfo image;
    ASSERT_EQ(scanner.GetImageInfo(image), 0);
    EXPECT_EQ(image.ImageWidth, 157);
    EXPECT_EQ(image.ImageLength, 196);
    EXPECT_EQ(image.XResolution, 50);
    EXPECT_EQ(image.PixelType, 1);
    close();
}

TEST_F(AcquireTest, OnlyTheClipboardAcquisitionTouchesTheClipboard)
{
    QApplication::clipboard()->setText("kept");
    open();
    QImage bitmap;
    QByteArray jpeg;
    ASSERT_EQ(scanner.AcquireBmp(bitmap), 0);
    ASSERT_EQ(scanner.AcquireJpg(jpeg, 75), 0);
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");
    QImage decoded;
    ASSERT_TRUE(DecodeJpeg(jpeg, decoded));
    EXPECT_EQ(decoded.size(), QSize(157, 196));
    ASSERT_EQ(scanner.AcquireToClipboard(), 0);
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(157, 196));
    close();
}

TEST_F(AcquireTest, WithoutTheLibraryEveryOperationFails)
{
    // once loaded and unloaded, no entry point is left to call
    ASSERT_TRUE(scanner.LoadTwainModule());
    EXPECT_TRUE(scanner.UnLoadTwainModule());
    for (const QString name : {"libsane.so.1", "libquillet-no-such-library.so.1"}) {
        platform::SetScannerLibraryName(name);
        if (name != "libsane.so.1") {
            EXPECT_FALSE(scanner.LoadTwainModule());
        }
        QImage bitmap;
        QByteArray bytes;
        TImageInfo info;
        QStringList list{"alone"};
        EXPECT_EQ(scanner.OpenSourceManager(), 1);
        EXPECT_EQ(scanner.GetSource(false), "");
        scanner.GetSources(list);
        EXPECT_EQ(list, QStringList{"alone"});
        EXPECT_EQ(scanner.SelectSource("test:0"), 1);
        EXPECT_EQ(scanner.OpenSource(), 1);
        EXPECT_EQ(scanner.AcquireBmp(bitmap), 1);
        EXPECT_EQ(scanner.AcquireJpg(bytes, 90), 1);
        EXPECT_EQ(scanner.AcquireToClipboard(), 1);
        EXPECT_EQ(scanner.AcquirehDIB(bytes), 1);
        EXPECT_EQ(scanner.GetImageInfo(info), 1);
        EXPECT_EQ(scanner.CloseTwainSession(), 1);
        EXPECT_FALSE(scanner.UnLoadTwainModule());
        const TSourceInfo empty = scanner.GetSourceInfo();
        EXPECT_TRUE(empty.ProductName.isEmpty() && empty.Manufacturer.isEmpty() && empty.Version.isEmpty());
    }
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(AcquireTest, IdentityTextsAreCutOnACharacterBoundary)
{
    EXPECT_EQ(scanner.AppInfo(), "Variz Adazaduv Evudezazi");
    EXPECT_EQ(scanner.AppProductName(), "none");
    scanner.setAppManufacturer(QString(40, 'x'));
    EXPECT_EQ(scanner.AppManufacturer(), QString(33, 'x'));
    scanner.setAppProductFamily(QString(20, QChar(0x00E4)));  // two bytes each
    EXPECT_EQ(scanner.AppProductFamily(), QString(16, QChar(0x00E4)));
}

// The library's entry points stay the library's: an entry that dies before
// the unload is no harm to it, and every copy reads null once its load has
// ended, also after the library object itself is gone.
TEST(SharedLibraryEntries, CopiesReadNullOnceTheirLoadHasEnded)
{
    using Call = platform::SharedLibrary::Entry<void()>;  // sane_exit
    Call kept;
    {
        platform::SharedLibrary library;
        ASSERT_TRUE(library.Load(FAKE_SANE_LIBRARY));
        {
            Call shortLived;
            ASSERT_TRUE(library.Resolve("sane_exit", shortLived));
        }
        EXPECT_FALSE(library.Resolve("no_such_entry", kept));
        ASSERT_TRUE(library.Resolve("sane_exit", kept));
        const Call copy = kept;
        copy();
        EXPECT_TRUE(library.Unload());
        EXPECT_FALSE(copy);
        ASSERT_TRUE(library.Load(FAKE_SANE_LIBRARY));
        EXPECT_FALSE(kept);  // a new load brings no old copy back
        ASSERT_TRUE(library.Resolve("sane_exit", kept));
    }
    EXPECT_EQ(kept.get(), nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
