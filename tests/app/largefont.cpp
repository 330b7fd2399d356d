// The windows at twice the font size (QT_FONT_DPI=192, as a desktop set to
// large fonts gives) on a 1280x900 screen, which Qt then scales to 640x450:
// every window opens inside the screen with its buttons in view, and no
// caption or number is cut.
#include "mainwindow_fixture.h"

#include "app/editor.h"
#include "app/login.h"
#include "backup/backupform.h"
#include "documents/cardform.h"
#include "documents/chequeform.h"
#include "documents/emailform.h"
#include "documents/envelopeform.h"
#include "documents/mailinsertform.h"
#include "documents/printpreviewform.h"
#include "documents/reportform.h"
#include "documents/savechequeform.h"
#include "platform/accessibility.h"
#include "platform/screenroom.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QTest>


namespace {

// The offscreen platform's screen, set before the application object is made.
const bool kLargeScreen = [] {
    static QTemporaryFile config;
    config.open();
    config.write(R"({"screens":[{"name":"large","x":0,"y":0,"width":1280,"height":900}]})");
    config.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
    qputenv("QT_FONT_DPI", "192");
    return true;
}();

class LargeFont : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_EQ(start(), -1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        database.commit();
        MainWindowTest::TearDown();
    }
};

// What a window shows of a control outside its scrolling part: the part of
// it inside the window and inside each widget it is in.
QRect shownPart(QWidget& w)
{
    QRect part(QPoint(0, 0), w.size());
    for (QWidget* at = &w; at && !at->isWindow(); at = at->parentWidget())
        part = part.translated(at->pos()).intersected(QRect(QPoint(0, 0), at->parentWidget()->size()));
    return part;
}
bool scrolls(QWidget& w)
{
    for (QWidget* at = w.parentWidget(); at && !at->isWindow(); at = at->parentWidget())
        if (qobject_cast<QAbstractScrollArea*>(at))
            return true;
    return false;
}

// Looks at one window as the program shows it.
void expectFits(QWidget& window, const std::string& name)
{
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window)) << name;
    const QRect room = window.screen()->availableGeometry();
    EXPECT_TRUE(room.contains(window.frameGeometry())) << name << ": " << window.frameGeometry().width() << "x"
                                                       << window.frameGeometry().height() << " on " << room.width()
                                                       << "x" << room.height();
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(&window) || b->text().isEmpty())
            continue;
        const QString caption = platform::SpokenCaption(b->text());
        const int needed = b->fontMetrics().horizontalAdvance(b->text().remove('&'));
        EXPECT_GE(b->width(), needed) << name << ": \"" << caption.toStdString() << "\" is cut";
        if (!qobject_cast<QPushButton*>(b) || scrolls(*b))
            continue;
        EXPECT_EQ(shownPart(*b).size(), b->size()) << name << ": \"" << caption.toStdString() << "\" is out of view";
    }
    window.hide();
}

using Make = std::unique_ptr<QWidget> (*)(QWidget*);
template <class Form>
std::unique_ptr<QWidget> made(QWidget* owner)
{
    return std::make_unique<Form>(owner);
}

}  // namespace

TEST_F(LargeFont, EveryWindowFitsTheScreenWithItsButtonsWhole)
{
    ASSERT_EQ(window->screen()->availableGeometry().size(), QSize(640, 450));
    expectFits(*window, "main");
    const std::pair<std::string, Make> windows[] = {
        {"editor", made<TMainForm>},        {"cheque", made<TChequeForm>},        {"save cheque", made<TSaveChequeForm>},
        {"envelope", made<TEnvelopeForm>},  {"card", made<TCardForm>},            {"report", made<TReportForm>},
        {"list print", made<TPrintPreviewForm>}, {"e-mail", made<TEmailForm>},    {"mail template", made<TMailInsertForm>},
        {"setup", made<TBackupForm>},       {"login", made<TLoginForm>},          {"password", made<TPasswordForm>},
    };
    for (const auto& [name, make] : windows) {
        std::unique_ptr<QWidget> w = make(window.get());
        expectFits(*w, name);
    }
}

// The main window leaves the screen room for the window manager's frame (the
// offscreen screen draws none), at the desktop's font and at 18 points: every
// control of the search panel is shown whole, its captions uncut (in one row
// at the desktop's font), and so are the status bar's count of contacts and
// its hint.
TEST_F(LargeFont, TheMainWindowLeavesRoomForItsFrameAndShowsItsSearchAndStatusWhole)
{
    for (int id = 1; id <= 300; ++id) {
        Customer c;
        c.id = id;
        c.name = "Contact";
        insert(c);
    }
    ASSERT_TRUE(database.commit());
    const QFont before = QApplication::font();
    for (const int points : {before.pointSize(), 18}) {
        stop();
        QFont font = before;
        font.setPointSize(points);
        QApplication::setFont(font);
        ASSERT_EQ(start(), -1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::sendPostedEvents();  // the status bar laid out for the count
        ASSERT_EQ(window->StatusText(1), "Total Customer: 300");
        const QRect room = window->screen()->availableGeometry();
        const QSize frame = room.size() - platform::RoomInside(window.get());
        std::printf("main window at %d pt and 192 dpi: %dx%d at %d,%d, with a frame of %dx%d: %dx%d of the room's "
                    "%dx%d\n",
                    points, window->width(), window->height(), window->x(), window->y(), frame.width(),
                    frame.height(), window->width() + frame.width(), window->height() + frame.height(), room.width(),
                    room.height());
        EXPECT_TRUE(room.contains(QRect(window->pos(), window->size() + frame))) << points << " pt";
        if (points == before.pointSize()) {  // one row where it has room
            EXPECT_LT(window->reverseSort->y(), window->id->geometry().bottom());
        }
        QList<QWidget*> whole = window->Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QLabel* panel : window->StatusBar1->findChildren<QLabel*>())
            whole.append(panel);
        whole.append(window->StatusBar1);
        for (QWidget* w : whole) {
            const QString text = w->property("text").toString();
            const std::string name = std::to_string(points) + " pt: " + w->metaObject()->className() + " \"" +
                                     (text.isEmpty() ? w->accessibleName() : text).toStdString() + '"';
            const QRect needed = w->fontMetrics().boundingRect(w->rect(), Qt::TextWordWrap, text);
            EXPECT_TRUE(w->isVisibleTo(window.get())) << name;
            EXPECT_EQ(shownPart(*w).size(), w->size()) << name << " is out of view";
            EXPECT_TRUE(shownPart(*w).contains(QRect(w->mapTo(window.get(), QPoint(0, 0)), needed.size())))
                << name << " is cut";
            EXPECT_TRUE(w->size().expandedTo(w->minimumSizeHint()) == w->size()) << name << " is squeezed";
        }
    }
    QApplication::setFont(before);
}

TEST_F(LargeFont, TheEditorsNumbersStayWholeAt18Points)
{
    const QFont before = QApplication::font();
    QFont large = before;
    large.setPointSize(18);
    QApplication::setFont(large);
    {
        TMainForm editor(window.get());
        const std::pair<QLineEdit*, QString> numbers[] = {
            {editor.cTelephone, "5550003"}, {editor.cMobile, "91234567"}, {editor.cFax, "5550004"},
            {editor.cID, "1234567"},        {editor.amount, "1234567.89"},
        };
        for (const auto& [edit, text] : numbers)
            edit->setText(text);  // the caret at the end, as after typing
        editor.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
        for (const auto& [edit, text] : numbers) {
            // a number cut at its start would put the caret before its full width
            EXPECT_GE(edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x(), edit->fontMetrics().horizontalAdvance(text))
                << edit->accessibleName().toStdString() << " cuts " << text.toStdString();
        }
        expectFits(editor, "editor at 18 pt");
    }
    QApplication::setFont(before);
}
