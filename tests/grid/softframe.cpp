// The grid's border: with the soft look a flat frame of our own (grey inside,
// the parent's background outside), Qt's frame with the standard look, none
// with bsNone; not repainted while updates are held back.
#include "grid/listgrid.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace grid;

namespace {

constexpr QRgb kWindow = qRgb(0x20, 0x90, 0x40);

struct FramedGrid {
    QWidget window;
    RIvuZuvuzoZuvu* g;
    FramedGrid()
    {
        QPalette p = window.palette();
        p.setColor(QPalette::Window, QColor(kWindow));
        window.setPalette(p);
        window.setAutoFillBackground(true);
        window.resize(300, 200);
        g = new RIvuZuvuzoZuvu(&window);
        g->setGeometry(20, 20, 240, 150);
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
    }
    // The grid's own pixels as the window shows them.
    QImage grab()
    {
        window.repaint();
        return window.grab(g->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
    }
};

// Whether every pixel of ring Inset (0 outermost) of the image has colour C.
bool ringIs(const QImage& img, int Inset, QRgb C)
{
    const int w = img.width(), h = img.height();
    auto is = [&](int x, int y) { return img.pixel(x, y) == C; };
    for (int x = Inset; x < w - Inset; ++x)
        if (!is(x, Inset) || !is(x, h - 1 - Inset))
            return false;
    for (int y = Inset; y < h - Inset; ++y)
        if (!is(Inset, y) || !is(w - 1 - Inset, y))
            return false;
    return true;
}

}  // namespace

TEST(GridSoftFrame, SoftStandardAndNone)
{
    FramedGrid f;
    ASSERT_EQ(f.g->Look(), glSoft);
    QImage soft = f.grab();
    EXPECT_EQ(soft.pixel(1, 1), qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(soft.pixel(0, 0), kWindow);
    EXPECT_TRUE(ringIs(soft, 0, kWindow));
    EXPECT_TRUE(ringIs(soft, 1, qRgb(0x80, 0x80, 0x80)));
    EXPECT_EQ(f.g->frameWidth(), 2);
    const QString png = QDir::temp().filePath("grid_softframe.png");
    f.window.grab().save(png);
    std::printf("soft frame: %s\n", qPrintable(png));

    // While updates are held back the frame is not drawn.
    f.g->BeginUpdate();
    EXPECT_FALSE(ringIs(f.grab(), 1, qRgb(0x80, 0x80, 0x80)));
    f.g->EndUpdate();
    EXPECT_TRUE(ringIs(f.grab(), 1, qRgb(0x80, 0x80, 0x80)));

    f.g->SetLook(glStandard);
    const QImage standard = f.grab();
    EXPECT_FALSE(ringIs(standard, 1, qRgb(0x80, 0x80, 0x80)));
    EXPECT_FALSE(ringIs(standard, 0, kWindow));  // Qt's own frame

    f.g->SetLook(glSoft);
    f.g->SetBorderStyle(platform::bsNone);
    const QImage none = f.grab();
    EXPECT_EQ(f.g->frameWidth(), 0);
    EXPECT_FALSE(ringIs(none, 1, qRgb(0x80, 0x80, 0x80)));
    EXPECT_FALSE(ringIs(none, 0, kWindow));
    f.g->SetBorderStyle(platform::bsSingle);
    EXPECT_TRUE(ringIs(f.grab(), 1, qRgb(0x80, 0x80, 0x80)));
}
