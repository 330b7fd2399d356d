// The flat combo box: its defaults, the button width's range, the colours
// while disabled, the dropped list's width, grabs of its looks, and its
// button after a press whose release a modal window took.
#include "grid/flatcombo.h"
#include "release_behind_modal.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

using namespace grid;

namespace {

struct ComboForm {
    QWidget form;
    TASGComboBox combo{&form};
    QLineEdit other{&form};  // holds the focus unless a test moves it
    ComboForm()
    {
        other.setGeometry(200, 20, 40, 24);
        QPalette pal = form.palette();
        pal.setColor(QPalette::Window, QColor(255, 255, 0));
        form.setPalette(pal);
        form.setAutoFillBackground(true);
        form.resize(260, 80);
        combo.addItems({"Apple", "Apricot", "Banana"});
        combo.setGeometry(20, 20, 160, 24);
        form.show();
        (void)QTest::qWaitForWindowExposed(&form);
        other.setFocus();
    }
    // Pixels of the combo's text area (inside the border, left of the button).
    QColor background() { return combo.grab().toImage().pixelColor(combo.width() - combo.ButtonWidth() - 6, 4); }
};

}  // namespace

TEST(FlatCombo, Defaults)
{
    ComboForm f;
    const TASGComboBox& c = f.combo;
    EXPECT_FALSE(c.AutoFocus);
    EXPECT_TRUE(c.Flat());
    EXPECT_FALSE(c.Ctl3D());
    EXPECT_FALSE(c.Etched());
    EXPECT_FALSE(c.FocusBorder());
    EXPECT_EQ(c.ButtonWidth(), c.style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2);
    EXPECT_EQ(c.DropWidth(), 0);
    EXPECT_EQ(c.DropDownCount(), 8);
    EXPECT_EQ(c.MaxLength(), 0);
    EXPECT_FALSE(c.Sorted());
    EXPECT_FALSE(c.IsWinXP);
}

TEST(FlatCombo, ButtonWidthOnlyInRange)
{
    ComboForm f;
    f.combo.SetButtonWidth(20);
    for (int w : {40, 13, 33, -1}) {
        f.combo.SetButtonWidth(w);
        EXPECT_EQ(f.combo.ButtonWidth(), 20) << w;
    }
    for (int w : {14, 32}) {
        f.combo.SetButtonWidth(w);
        EXPECT_EQ(f.combo.ButtonWidth(), w);
        EXPECT_EQ(f.combo.ButtonRect().width(), w);
    }
}

TEST(FlatCombo, DisabledTakesTheParentsColour)
{
    ComboForm f;
    QPalette pal = f.combo.palette();
    pal.setColor(QPalette::Base, QColor(200, 230, 255));
    f.combo.setPalette(pal);
    EXPECT_EQ(f.background(), QColor(200, 230, 255));
    f.combo.setEnabled(false);
    EXPECT_EQ(f.background(), QColor(255, 255, 0));
    f.combo.setEnabled(true);
    EXPECT_EQ(f.background(), QColor(200, 230, 255));

    // A combo without a colour of its own goes back to the inherited one.
    TASGComboBox plain(&f.form);
    plain.setGeometry(20, 50, 160, 24);
    plain.show();
    const QColor own = plain.palette().color(QPalette::Base);
    plain.setEnabled(false);
    plain.setEnabled(true);
    EXPECT_EQ(plain.palette().color(QPalette::Base), own);
    EXPECT_FALSE(plain.testAttribute(Qt::WA_SetPalette));
}

TEST(FlatCombo, DropWidthSizesTheList)
{
    ComboForm f;
    f.combo.SetDropWidth(200);
    f.combo.showPopup();
    EXPECT_TRUE(f.combo.DroppedDown());
    EXPECT_EQ(f.combo.view()->window()->width(), 200);
    f.combo.hidePopup();
    EXPECT_FALSE(f.combo.DroppedDown());
}

TEST(FlatCombo, LooksFlatHotAndFocused)
{
    ComboForm f;
    f.combo.SetFocusBorder(true);
    const QImage flat = f.combo.grab().toImage();
    flat.save(QStringLiteral("grid_flatcombo_flat.png"));
    // Flat: the outer two rings have the parent's colour.
    EXPECT_EQ(flat.pixelColor(0, 10), QColor(255, 255, 0));
    EXPECT_EQ(flat.pixelColor(1, 10), QColor(255, 255, 0));

    QTest::mouseMove(&f.combo, QPoint(10, 10));
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), f.combo.mapToGlobal(QPointF(10, 10)));
    QApplication::sendEvent(&f.combo, &enter);
    ASSERT_TRUE(f.combo.MouseInControl());
    const QImage hot = f.combo.grab().toImage();
    hot.save(QStringLiteral("grid_flatcombo_hot.png"));
    EXPECT_NE(hot.pixelColor(1, 10), QColor(255, 255, 0));  // the 3-D border
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&f.combo, &leave);
    EXPECT_FALSE(f.combo.MouseInControl());

    f.form.activateWindow();
    f.combo.setFocus();
    QApplication::processEvents();
    const QImage focused = f.combo.grab().toImage();
    focused.save(QStringLiteral("grid_flatcombo_focused.png"));
    EXPECT_NE(focused, flat);
}

// A press whose release a modal window took leaves the button drawn up, as
// a click does.
TEST(FlatCombo, APressWhoseReleaseAModalWindowTookLeavesTheButtonUp)
{
    ComboForm f;
    f.combo.IsWinXP = true;
    const QPoint on = f.combo.ButtonRect().center();
    auto button = [&] { return f.combo.grab(f.combo.ButtonRect().adjusted(5, 5, -5, -5)).toImage(); };
    QTest::mouseClick(&f.combo, Qt::RightButton, {}, on);
    const QImage up = button();
    QTest::mousePress(&f.combo, Qt::RightButton, {}, on);
    ASSERT_FALSE(button() == up) << "drawn down while held";
    ReleaseBehindModal(f.form.windowHandle(), f.combo.mapTo(&f.form, on), Qt::RightButton);
    EXPECT_TRUE(button() == up);
}
