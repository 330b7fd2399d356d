// The preview control: a new preview, page geometry, zoom, navigation, page
// frame and margins, printer margins through the PDF and none back-ends, and
// the page image at zoom 100 checked pixel by pixel.
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "printing/pvpreview.h"
#include "release_behind_modal.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

int countMessages(const platform::ScriptedDialogs& d, const QString& text)
{
    int n = 0;
    for (const auto& s : d.shown) n += s.text.endsWith(text);
    return n;
}

TEST(PvPreview, NewPreviewAndGeometry)
{
    TPvPreview pv;
    EXPECT_EQ(pv.GetNumPages(), 1);
    EXPECT_EQ(pv.CurrentPageNum(), 1);
    EXPECT_EQ(pv.PageWidth.AsPvUnits, 21000);
    EXPECT_EQ(pv.PageHeight.AsPvUnits, 29700);
    EXPECT_EQ(pv.PaperSize(), A4);
    EXPECT_EQ(pv.Orientation(), gmPortrait);
    EXPECT_EQ(pv.Zoom(), 20);
    EXPECT_EQ(pv.PreviewState(), gmIdle);
    EXPECT_EQ(pv.PageImage().size(), QSize(202, 268));

    int orientationEvents = 0;
    pv.OnChangeOrientation = [&](TPvPreview*) { ++orientationEvents; };
    pv.SetOrientation(gmLandscape);
    EXPECT_EQ(pv.PageWidth.AsPvUnits, 29700);
    EXPECT_EQ(pv.PageHeight.AsPvUnits, 21000);
    pv.SetOrientation(gmLandscape);
    EXPECT_EQ(orientationEvents, 1);
    pv.SetPageSize(100, 200, PvMillimeters);
    EXPECT_EQ(pv.PageWidth.AsPvUnits, 20000);
    EXPECT_EQ(pv.PageHeight.AsPvUnits, 10000);
    EXPECT_EQ(pv.PaperSize(), Custom);
    pv.SetOrientation(gmPortrait);
    pv.SetPage(Letter);
    EXPECT_EQ(pv.PageWidth.AsPvUnits, 21590);
    EXPECT_EQ(pv.PageHeight.AsPvUnits, 27940);
    // A size that does not fit leaves the page as it was.
    EXPECT_ANY_THROW(pv.SetPageSize(1e12L, 10, PvMillimeters));
    EXPECT_EQ(pv.PageWidth.AsPvUnits, 21590);
    // Callers set the size through the lengths; the page follows.
    pv.PageWidth.SetAsMm(100);
    pv.PageHeight.SetAsMm(50);
    EXPECT_EQ(pv.PageImage().size(), QSize(PvRound(96 * 100 / 25.4L * 0.2L + 40) + 3, PvRound(96 * 50 / 25.4L * 0.2L + 40) + 3));
}

TEST(PvPreview, Zoom)
{
    TPvPreview pv;
    pv.ZoomStyle = gmVariableZoom;
    pv.SetZoom(30);
    pv.ZoomIn();
    EXPECT_EQ(pv.Zoom(), 45);
    pv.ZoomOut();
    EXPECT_EQ(pv.Zoom(), 23);
    pv.ZoomStyle = gmFixedZoom;
    pv.SetZoom(390);
    pv.ZoomIn();
    pv.ZoomIn();
    EXPECT_EQ(pv.Zoom(), 400);
    pv.SetZoom(1);
    EXPECT_EQ(pv.Zoom(), 10);
    pv.Perform(PvMsgRendering, 0);
    pv.SetZoom(50);
    EXPECT_EQ(pv.Zoom(), 10);
    pv.Perform(PvMsgRendering, 1);
    pv.SetZoom(50);
    EXPECT_EQ(pv.Zoom(), 50);

    // Fits of a page without width or height change nothing.
    pv.PageWidth.AsPvUnits = 0;
    pv.FitWidth();
    pv.FitWholePage();
    EXPECT_EQ(pv.Zoom(), 50);

    // A Ctrl+click without a drag keeps the zoom.
    pv.PageWidth.SetAsMm(210);
    pv.resize(600, 600);
    pv.show();
    QTest::mouseClick(&pv.PageImage(), Qt::LeftButton, Qt::ControlModifier, QPoint(60, 60));
    EXPECT_EQ(pv.Zoom(), 50);
    // A click zooms in, a Shift+click out; outside the page picture nothing happens.
    QTest::mouseClick(&pv.PageImage(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 60));
    EXPECT_EQ(pv.Zoom(), 60);
    QTest::mouseClick(&pv.PageImage(), Qt::LeftButton, Qt::ShiftModifier, QPoint(60, 60));
    EXPECT_EQ(pv.Zoom(), 50);
    QTest::mouseClick(&pv.PageImage(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(pv.Zoom(), 50);
    // A Ctrl+drag zooms the band to fill the preview.
    TPvPageImage& image = pv.PageImage();
    QTest::mousePress(&image, Qt::LeftButton, Qt::ControlModifier, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(200, 150), image.mapToGlobal(QPointF(200, 150)), Qt::NoButton,
                     Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(&image, &move);
    QTest::mouseRelease(&image, Qt::LeftButton, Qt::ControlModifier, QPoint(200, 150));
    const QSize vp = pv.viewport()->size();
    EXPECT_EQ(pv.Zoom(), std::min(400, PvRound(50 * std::min(vp.width() / 100.0L, vp.height() / 50.0L))));
}

// A drag zoom whose release a modal window took zooms nothing, then or at
// the next click, which zooms in one step as any click does.
TEST(PvPreview, ADragZoomWhoseReleaseAModalWindowTookZoomsNothing)
{
    TPvPreview pv;
    pv.resize(600, 600);
    pv.show();
    pv.SetZoom(50);
    TPvPageImage& image = pv.PageImage();
    QTest::mousePress(&image, Qt::LeftButton, Qt::ControlModifier, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(200, 150), image.mapToGlobal(QPointF(200, 150)), Qt::NoButton,
                     Qt::LeftButton, Qt::ControlModifier);
    QApplication::sendEvent(&image, &move);
    ReleaseBehindModal(pv.windowHandle(), image.mapTo(&pv, QPoint(200, 150)));
    EXPECT_EQ(pv.Zoom(), 50);
    QTest::mouseClick(&image, Qt::LeftButton, Qt::NoModifier, QPoint(60, 60));
    EXPECT_EQ(pv.Zoom(), 60);
}

TEST(PvPreview, PagesAndNavigation)
{
    platform::ScriptedDialogs dialogs;
    TPvPreview pv;
    pv.NewPage();
    pv.NewPage();
    EXPECT_EQ(pv.CurrentPageNum(), 3);
    pv.SetCurrentPageNum(2);
    pv.SetCurrentPageNum(0);
    pv.SetCurrentPageNum(5);
    EXPECT_EQ(pv.CurrentPageNum(), 2);
    EXPECT_EQ(countMessages(dialogs, kPvMsgPageRange), 2);
    EXPECT_EQ(pv.GetPage(9), pv.GetPage(2));
    EXPECT_EQ(countMessages(dialogs, kPvMsgPageRange), 3);

    std::vector<int> changes;
    pv.OnPageChange = [&](TPvPreview*, int n) { changes.push_back(n); };
    pv.LastPage();
    pv.NextPage();
    EXPECT_EQ(changes, (std::vector<int>{3, 3}));

    pv.DeleteAllPages(false);
    pv.Canvas().TextOutLeft(10, 10, QStringLiteral("after"));  // makes a page first
    EXPECT_EQ(pv.GetNumPages(), 1);
    pv.DeletePage(1);
    EXPECT_EQ(pv.GetNumPages(), 1);
    EXPECT_EQ(pv.CurrentPageNum(), 1);
    EXPECT_TRUE(pv.CurrentPage()->Objects.empty());
}

TEST(PvPreview, MarginsAndPrinterMargins)
{
    TPvPreview pv;
    int messages = 0;
    pv.OnChangeMargins = [&](TPvPreview*) { ++messages; };
    TPvMargins margins(&pv);
    EXPECT_EQ(messages, 0);
    EXPECT_EQ(margins.Left.AsPvUnits, 1500);
    EXPECT_EQ(margins.Top.AsPvUnits, 2000);
    EXPECT_EQ(margins.Right.AsPvUnits, 1500);
    EXPECT_EQ(margins.Bottom.AsPvUnits, 2500);
    EXPECT_TRUE(margins.Visible());
    EXPECT_FALSE(margins.ClipMargins());
    EXPECT_EQ(margins.Pen().Color, platform::clSilver);
    EXPECT_EQ(margins.PrinterMarginPen().Style, platform::psDot);
    margins.Left.SetAsMm(15);
    EXPECT_EQ(messages, 1);

    QTemporaryDir dir;
    platform::PdfPrinterSetup setup;
    setup.folder = dir.path();
    setup.margins = QMarginsF(4.2, 4.2, 4.2, 4.2);
    platform::UsePdfPrinter(setup);
    for (TPvValue* v : {&margins.Left, &margins.Top, &margins.Right, &margins.Bottom}) v->SetAsMm(4);
    EXPECT_FALSE(margins.AreMarginsValid());
    for (TPvValue* v : {&margins.Left, &margins.Top, &margins.Right, &margins.Bottom}) v->SetAsMm(4.2L);
    EXPECT_TRUE(margins.AreMarginsValid());

    platform::UseNoPrinter();
    platform::ScriptedDialogs dialogs;
    pv.UsePrinterPageSize();
    EXPECT_EQ(countMessages(dialogs, kPvMsgNoPrinter), 1);
    pv.Margins().UsePrinterMargins();
    EXPECT_EQ(pv.Margins().Left.AsPvUnits + pv.Margins().Top.AsPvUnits + pv.Margins().Bottom.AsPvUnits, 0);
    EXPECT_FALSE(pv.Print());
}

TEST(PvPreview, LinkedControlsHearEveryChange)
{
    struct Recorder : TPvLinkedControl {
        std::vector<int> got;
        void PreviewMessage(TPvPreview*, int message, int, int) override { got.push_back(message); }
    } linked;
    TPvPreview pv;
    pv.AddAssociatedComponent(&linked);
    pv.AddAssociatedComponent(&linked);  // once only
    pv.NewPage();
    pv.SetOrientation(gmLandscape);
    pv.SetPagesPerSheet(gmTwoPage);
    pv.SetPage(A5);
    pv.RefreshChild();
    // The orientation re-lays the pages (an update) before it says so; the paper size says so first.
    const std::vector<int> expected{PvMsgPageChanged, PvMsgPageAdded, PvMsgUpdated, PvMsgOrientation,
                                    PvMsgPagesPerSheet, PvMsgPageSize, PvMsgUpdated, PvMsgUpdated};
    EXPECT_EQ(linked.got, expected);
    linked.got.clear();
    pv.InstantPreview = false;
    pv.UpdatePreview();
    int printerChanges = 0;
    pv.OnChangePrinter = [&](TPvPreview*) { ++printerChanges; };
    pv.SetPrinterIndex(pv.GetPrinterIndex());
    pv.RemoveAssociatedComponent(&linked);
    pv.NewPage();
    EXPECT_TRUE(linked.got.empty());
    EXPECT_EQ(printerChanges, 0);
}

// Columns of row y (or rows of column x) that are not the sheet's white.
bool dark(const QImage& img, int x, int y) { return qGray(img.pixel(x, y)) < 100; }
bool silver(const QImage& img, int x, int y) { return img.pixel(x, y) == qRgb(0xC0, 0xC0, 0xC0); }

TEST(PvPreview, PageImageAtZoom100)
{
    TPvPreview pv;
    pv.resize(900, 700);
    pv.SetZoom(100);
    ASSERT_EQ(pv.PageImage().size(), QSize(837, 1166));
    const QImage img = pv.PageImage().grab().toImage().convertToFormat(QImage::Format_RGB32);
    if (const QByteArray shots = qgetenv("QUILLET_SHOTS"); !shots.isEmpty())
        img.save(QString::fromLocal8Bit(shots) + QStringLiteral("/preview_zoom100.png"));
    // The sheet's outline (20, 20)-(813, 1142).
    for (int y : {20, 500, 1141}) {
        EXPECT_TRUE(dark(img, 20, y)) << y;
        EXPECT_TRUE(dark(img, 812, y)) << y;
        EXPECT_FALSE(dark(img, 19, y)) << y;
    }
    EXPECT_TRUE(dark(img, 400, 20) && dark(img, 400, 1141));
    EXPECT_FALSE(dark(img, 400, 19) || dark(img, 400, 21));
    // The dotted margins (77, 96)-(757, 1049).
    auto dotsOnColumn = [&](int x) {
        int n = 0;
        for (int y = 97; y < 1048; ++y) n += silver(img, x, y);  // between the two rows
        return n;
    };
    auto dotsOnRow = [&](int y) {
        int n = 0;
        for (int x = 78; x < 756; ++x) n += silver(img, x, y);
        return n;
    };
    EXPECT_GT(dotsOnColumn(77), 300);
    EXPECT_GT(dotsOnColumn(756), 300);
    EXPECT_EQ(dotsOnColumn(76) + dotsOnColumn(78) + dotsOnColumn(757), 0);
    EXPECT_GT(dotsOnRow(96), 200);
    EXPECT_GT(dotsOnRow(1048), 200);
    EXPECT_EQ(dotsOnRow(95) + dotsOnRow(1049), 0);
    // The shadow bars (813, 24)-(816, 1145) and (24, 1142)-(813, 1145).
    for (int x : {813, 815}) {
        EXPECT_TRUE(dark(img, x, 24) && dark(img, x, 1144)) << x;
        EXPECT_FALSE(dark(img, x, 23)) << x;
    }
    EXPECT_FALSE(dark(img, 816, 500));
    EXPECT_TRUE(dark(img, 24, 1142) && dark(img, 24, 1144));
    EXPECT_FALSE(dark(img, 23, 1143) || dark(img, 400, 1145));

    // A page turn shows the page turned to, drawn from its objects.
    pv.Canvas().Brush.SetColor(platform::clRed);
    pv.Canvas().FillRect(50, 50, 100, 100);
    pv.NewPage();
    pv.UpdatePreview();
    const auto redAt75mm = [&] { return pv.PageImage().grab().toImage().pixel(304, 304) == qRgb(255, 0, 0); };
    EXPECT_FALSE(redAt75mm());
    pv.PreviousPage();
    EXPECT_TRUE(redAt75mm());
    pv.NextPage();
    EXPECT_FALSE(redAt75mm());
}

}  // namespace
