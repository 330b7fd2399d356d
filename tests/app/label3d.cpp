// The link label: angles, link behaviour, what its 3-D text looks like, and
// what a keyboard and a screen reader make of a link.
#include "app/label3d.h"

#include "accessible_events.h"
#include "palettes.h"
#include "platform/shell.h"

#include <QAccessible>
#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>


using namespace platform;

namespace {

int argc = 1;
char arg0[] = "test";
char* argv[] = {arg0, nullptr};
QApplication* app = new QApplication(argc, argv);

void enter(QWidget* w)
{
    QEnterEvent e(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(w, &e);
}

void leave(QWidget* w)
{
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

bool hasColour(const QImage& img, const QRect& area, QRgb colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixel(x, y) == colour)
                return true;
    return false;
}

// The bounding box of the pixels of one colour.
QRect boxOf(const QImage& img, QRgb colour)
{
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == colour)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST(Label3D, EscapementIsKeptBetweenZeroAnd360)
{
    TLabel3D label;
    const std::pair<int, int> cases[] = {{-30, 330}, {-360, 0}, {-90, 270}, {400, 40}, {360, 360}, {720, 360}, {45, 45}};
    for (auto [in, out] : cases) {
        label.SetEscapement(in);
        EXPECT_EQ(label.Escapement(), out) << in;
    }
}

TEST(Label3D, DefaultsAndEllipsisSwitchesAutoSizeOff)
{
    TLabel3D label;
    EXPECT_EQ(label.Font.Name, "Arial");
    EXPECT_EQ(label.BorderColor(), clRed);
    EXPECT_EQ(label.BorderWidth(), 1);
    EXPECT_EQ(label.TextStyle(), tsRaised);
    EXPECT_EQ(label.Shift(), 1);
    EXPECT_TRUE(label.AutoSize());
    label.SetEllipsesStyle(esPath);
    EXPECT_FALSE(label.AutoSize());
    label.SetBorderStyle(psDash);
    EXPECT_EQ(label.BorderPenStyle(), psDash);
}

TEST(Label3D, LinkOpensAddressAndMail)
{
    CapturingShell shell;
    TLabel3D label;
    label.resize(100, 20);
    int clicks = 0;
    label.OnClick = [&](QObject*) { ++clicks; };

    label.SetLabelStyle(lsWWWAddress);
    label.Address = "www.example.com";
    QTest::mouseClick(&label, Qt::LeftButton);
    label.SetLabelStyle(lsEMailAddress);
    label.Address = "sales@example.com";
    QTest::mouseClick(&label, Qt::LeftButton);
    label.Address = "";
    QTest::mouseClick(&label, Qt::LeftButton);

    ASSERT_EQ(shell.launched.size(), 2);
    EXPECT_EQ(shell.launched[0].toString(), "http://www.example.com");
    EXPECT_EQ(shell.launched[1].toString(), "mailto:sales@example.com");
    EXPECT_EQ(clicks, 3);
}

TEST(Label3D, ALinkIsReachedByTabReadAsALinkAndOpenedByItsKeys)
{
    CapturingShell shell;
    QWidget window;
    auto* before = new QLineEdit(&window);
    auto* link = new TLabel3D(&window);
    auto* plain = new TLabel3D(&window);
    link->SetCaption("&Our web site");
    link->SetLabelStyle(lsWWWAddress);
    link->Address = "www.example.com";
    link->move(0, 40);
    plain->SetCaption("Version 1.3");
    plain->move(0, 80);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(giveFocus(before));
    const QImage unfocused = link->grab().toImage();

    // Tab reaches the link (never the plain label), which shows the focus.
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(link->hasFocus());
    EXPECT_NE(link->grab().toImage(), unfocused);
    QTest::keyClick(link, Qt::Key_Tab);
    EXPECT_FALSE(plain->hasFocus());
    link->setFocus();
    QTest::keyClick(link, Qt::Key_Return);
    QTest::keyClick(link, Qt::Key_Space);
    ASSERT_EQ(shell.launched.size(), 2);
    EXPECT_EQ(shell.launched[0].toString(), "http://www.example.com");

    // What a reader reads: a link named by its caption, pressed as by a click.
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(link);
    EXPECT_EQ(read->role(), QAccessible::Link);
    EXPECT_EQ(read->text(QAccessible::Name), "Our web site");
    EXPECT_TRUE(read->state().linked);
    EXPECT_TRUE(read->state().focusable);
    read->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(shell.launched.size(), 3);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(plain)->role(), QAccessible::StaticText);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(plain)->text(QAccessible::Name), "Version 1.3");
}

TEST(Label3D, HoverHighlightsOnlyLinks)
{
    TLabel3D label;
    label.Font.Color = clBlue;
    int entered = 0, left = 0;
    label.OnMouseEnter = [&](QObject*) { ++entered; };
    label.OnMouseExit = [&](QObject*) { ++left; };

    enter(&label);
    EXPECT_EQ(label.Font.Color, clBlue);
    EXPECT_EQ(label.Font.Style & fsUnderline, 0u);
    leave(&label);

    label.SetLabelStyle(lsWWWAddress);
    enter(&label);
    EXPECT_EQ(label.Font.Color, clHotLight);  // the palette's link colour
    EXPECT_NE(label.Font.Style & fsUnderline, 0u);
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    leave(&label);
    EXPECT_EQ(label.Font.Color, clBlue);
    EXPECT_EQ(label.Font.Style & fsUnderline, 0u);
    EXPECT_EQ(entered, 2);
    EXPECT_EQ(left, 2);
}

// A link label in the palette's colours reads at 4.5:1 or better in the
// light, dark and high-contrast palettes, at rest and under the mouse.
TEST(Label3D, ALinkReadsInEveryPalette)
{
    for (const NamedPalette& p : testPalettes()) {
        PaletteScope scope(p.palette);
        TLabel3D label;
        label.SetCaption("www.zarvo.example");
        label.SetLabelStyle(lsWWWAddress);
        const double still = textContrast(label.grab().toImage(), label.rect());
        enter(&label);
        const double hovered = textContrast(label.grab().toImage(), label.rect());
        std::printf("contrast %s, link label: %.1f, under the mouse: %.1f\n", p.name.c_str(), still, hovered);
        EXPECT_GE(std::min(still, hovered), ReadableContrast) << p.name;
    }
}

TEST(Label3D, ShadowIsDrawnShiftPixelsRightAndDown)
{
    TLabel3D label;
    label.SetAutoSize(false);
    label.resize(200, 40);
    label.Color = clWhite;
    label.Font.Color = clBlack;
    label.Font.Height = -24;
    label.SetCaption("HHHH");
    label.SetTextStyle(tsShadow);
    label.SetShift(3);
    label.SetColorRR(clRed, clLime);
    const QImage img = label.grab().toImage().convertToFormat(QImage::Format_RGB32);

    const QRect text = boxOf(img, qRgb(0, 0, 0));
    const QRect shadow = boxOf(img, qRgb(255, 0, 0));
    ASSERT_FALSE(text.isEmpty());
    ASSERT_FALSE(shadow.isEmpty());
    EXPECT_EQ(shadow.right() - text.right(), 3);
    EXPECT_EQ(shadow.bottom() - text.bottom(), 3);
}

TEST(Label3D, DisabledTextIsGreyButTheCopiesKeepTheirColours)
{
    TLabel3D label;
    label.SetAutoSize(false);
    label.resize(200, 40);
    label.Color = clWhite;
    label.Font.Color = clBlack;
    label.Font.Height = -24;
    label.SetCaption("HHHH");
    label.SetColorRR(clRed, clLime);
    label.setEnabled(false);
    const QImage img = label.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_FALSE(hasColour(img, img.rect(), qRgb(0, 0, 0)));
    EXPECT_TRUE(hasColour(img, img.rect(), ToQColor(clGrayText).rgb()));
    EXPECT_TRUE(hasColour(img, img.rect(), qRgb(255, 0, 0)));
}

TEST(Label3D, RecessedBorderHasGreyTopLeftAndWhiteBottomRight)
{
    TLabel3D label;
    label.SetAutoSize(false);
    label.resize(50, 30);
    label.Color = clSilver;
    label.SetBorder(true);
    label.SetBorderType(btRecessed);
    const QImage img = label.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(img.pixel(0, 10), qRgb(128, 128, 128));
    EXPECT_EQ(img.pixel(10, 0), qRgb(128, 128, 128));
    EXPECT_EQ(img.pixel(49, 10), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(10, 29), qRgb(255, 255, 255));
}
