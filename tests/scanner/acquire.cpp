// Scans through the scanner library's "test" backend: picture sizes and kinds,
// three-pass colour, a hand scanner, cancels, failures and what the component
// does while the library is missing; and through a library of the test's own
// whose reads wait without end.
#include "bitmap_block.h"
#include "sane_fixture.h"

#include "scanner/acquireimage.h"

#include "appcore/picture.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

struct Event {
    int stage, code;
    bool operator==(const Event&) const = default;
};

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
    // Loads, starts, selects and opens `source`.
    void open(const QString& source = "test:0")
    {
        ASSERT_TRUE(scanner.LoadTwainModule());
        ASSERT_EQ(scanner.OpenSourceManager(), 0);
        ASSERT_EQ(scanner.SelectSource(source), 0);
        ASSERT_EQ(scanner.OpenSource(), 0);
    }
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

TEST_F(AcquireTest, CancelInTheScanWindowEndsTheScan)
{
    // slow enough for the window to be seen: the backend holds the data back for a second
    backend.Configure({{"read-limit", "true"}, {"read-limit-size", "1024"}, {"read-delay", "true"},
                       {"read-delay-duration", "1000000"}});
    open();
    scanner.SHOWhideUI = true;
    bool clicked = false;
    QTimer::singleShot(100, [&] {
        // nothing reached from an event while the scan runs may end the session under it
        EXPECT_EQ(scanner.CloseTwainSession(), 1);
        EXPECT_FALSE(scanner.UnLoadTwainModule());
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* cancel = w->findChild<QPushButton*>("cancelButton");
            if (w->objectName() == "scanWindow" && w->isVisible() && cancel) {
                cancel->click();
                clicked = true;
            }
        }
    });
    QByteArray dib;
    EXPECT_EQ(scanner.AcquirehDIB(dib), 3);
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_EQ(events, (std::vector<Event>{{5, 3}}));
    close();
}

// The counters and the release of the test's own scanner library.
struct FakeLibrary {
    FakeLibrary()
    {
        EXPECT_TRUE(library.Load(FAKE_SANE_LIBRARY) && library.Resolve("fake_sane_release", release)
                    && library.Resolve("fake_sane_faults", faults) && library.Resolve("fake_sane_in_use", inUse));
    }
    platform::SharedLibrary library;
    platform::SharedLibrary::Entry<void()> release;
    platform::SharedLibrary::Entry<int()> faults, inUse;
};

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
        EXPECT_EQ(next->OpenSourceManager(), 32768 + 3);
        EXPECT_EQ(next->CloseTwainSession(), 0);
        EXPECT_TRUE(next->UnLoadTwainModule());
    }
    const QString busy = "The scanner is still busy with an earlier scan. Try again in a moment.";
    EXPECT_EQ(dialogs.Messages(), (QStringList{busy, busy}));
    EXPECT_EQ(events, (std::vector<Event>{{5, 3}, {2, 32768 + 3}}));
    EXPECT_EQ(fake.inUse(), 2) << "started, the device open";
    fake.release();
    QElapsedTimer returned;
    returned.start();
    while (fake.inUse() != 0 && returned.elapsed() < 5000) QTest::qWait(5);
    EXPECT_EQ(fake.inUse(), 0);
    EXPECT_EQ(fake.faults(), 0);
    platform::SetScannerLibraryName("libsane.so.1");
    EXPECT_EQ(scan({}).size(), QSize(157, 196));
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
