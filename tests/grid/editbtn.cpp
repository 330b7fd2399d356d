// Edits with a button: the button fires on its press, F4 fires it too, a
// switched-off editor takes no text, the unit menu, and the minimum height.
#include "grid/editbtn.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace grid;

namespace {

template <typename Edit>
struct EditForm {
    QWidget form;
    Edit edit{&form};
    EditForm()
    {
        form.resize(260, 80);
        edit.setGeometry(10, 10, 160, 26);
        form.show();
        (void)QTest::qWaitForWindowExposed(&form);
        edit.setFocus();
    }
    QWidget* button() { return edit.ButtonPanel()->Button(); }
};

}  // namespace

TEST(EditBtn, ButtonFiresOnPressAndF4)
{
    EditForm<TAsgEditBtn> f;
    EXPECT_EQ(f.edit.text(), "0");
    EXPECT_TRUE(f.edit.EditorEnabled);
    EXPECT_FALSE(f.edit.RightAlign());
    int clicks = 0;
    f.edit.OnClickBtn = [&](QObject* Sender) {
        EXPECT_EQ(Sender, &f.edit);
        ++clicks;
    };
    QTest::mousePress(f.button(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);  // before any release
    QTest::mouseRelease(f.button(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    QTest::keyClick(&f.edit, Qt::Key_F4);
    EXPECT_EQ(clicks, 2);

    // The button stays inside the control, never narrower than 15.
    f.edit.SetButtonWidth(10);
    EXPECT_GE(f.button()->width(), 15);
    const QRect panel = f.edit.ButtonPanel()->geometry();
    EXPECT_LE(panel.right(), f.edit.width());
    EXPECT_LE(f.edit.EditRect().right(), panel.left());
}

TEST(EditBtn, SwitchedOffEditorTakesNoText)
{
    EditForm<TAsgEditBtn> f;
    f.edit.EditorEnabled = false;
    int clicks = 0;
    f.edit.OnClickBtn = [&](QObject*) { ++clicks; };
    f.edit.setCursorPosition(1);
    QTest::keyClicks(&f.edit, "12");
    QTest::keyClick(&f.edit, Qt::Key_Backspace);
    QTest::keyClick(&f.edit, Qt::Key_Delete);
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClick(&f.edit, Qt::Key_V, Qt::ControlModifier);
    f.edit.selectAll();
    QTest::keyClick(&f.edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(f.edit.text(), "0");
    QTest::mousePress(f.button(), Qt::LeftButton);
    QTest::mouseRelease(f.button(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);

    f.edit.EditorEnabled = true;
    f.edit.setCursorPosition(1);
    QTest::keyClicks(&f.edit, "5");
    EXPECT_EQ(f.edit.text(), "05");
}

TEST(EditBtn, UnitMenuChoosesTheUnit)
{
    EditForm<TAsgUnitEditBtn> f;
    EXPECT_TRUE(f.edit.RightAlign());
    EXPECT_EQ(f.edit.UnitSpace(), 20);
    f.edit.SetUnits({"mm", "cm", "in"});
    int items = -1;
    QPoint menuAt;
    QTimer::singleShot(50, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        items = static_cast<int>(menu->actions().size());
        menuAt = menu->pos();
        menu->actions().at(1)->trigger();
        menu->close();
    });
    QTest::mousePress(f.button(), Qt::LeftButton);
    EXPECT_EQ(items, 3);
    EXPECT_EQ(menuAt, f.edit.mapToGlobal(QPoint(f.edit.width() - 15, f.edit.height())));
    EXPECT_EQ(f.edit.UnitID(), "cm");

    // The unit is drawn in its strip, right of the text.
    f.edit.setText(QStringLiteral("1"));
    QPalette pal = f.edit.palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    f.edit.setPalette(pal);
    const QImage image = f.edit.grab().toImage();
    const QRect strip = f.edit.UnitRect();
    EXPECT_LE(f.edit.EditRect().right(), strip.left());
    int dark = 0;
    for (int y = strip.top(); y <= strip.bottom(); ++y)
        for (int x = strip.left(); x <= strip.right(); ++x)
            dark += qGray(image.pixel(x, y)) < 100;
    EXPECT_GT(dark, 5);
    f.edit.SetUnitID(QString());
    const QImage empty = f.edit.grab().toImage();
    int left = 0;
    for (int y = strip.top(); y <= strip.bottom(); ++y)
        for (int x = strip.left(); x <= strip.right(); ++x)
            left += qGray(empty.pixel(x, y)) < 100;
    EXPECT_LT(left, dark);
}

TEST(EditBtn, KeepsItsMinimumHeight)
{
    EditForm<TAsgEditBtn> f;
    f.edit.resize(160, 4);
    QApplication::processEvents();
    EXPECT_EQ(f.edit.height(), f.edit.MinHeight());
    EXPECT_GT(f.edit.MinHeight(), f.edit.fontMetrics().height());
}
