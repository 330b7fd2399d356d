// The main window on screens of 1024 x 600, 1280 x 720 and 1920 x 1080: it
// opens no larger than the screen, and every button, edit, box and the grid
// lies wholly inside it with its caption uncut, also at its smallest size.
// Set QUILLET_SHOTS to a folder to keep a picture of each.
#include "mainwindow_fixture.h"

#include "app/customeractions.h"
#include "platform/screenroom.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

const QSize kScreens[] = {{1024, 600}, {1280, 720}, {1920, 1080}};

// The offscreen platform's screens, side by side.
QByteArray screensConfig()
{
    QByteArray json = R"({"screens": [)";
    int x = 0;
    for (const QSize& s : kScreens) {
        if (x > 0)
            json += ",";
        json += QString(R"({"name": "%1x%2", "x": %3, "y": 0, "width": %1, "height": %2, "logicalDpi": 96,)"
                        R"( "logicalBaseDpi": 96, "dpr": 1})")
                    .arg(s.width())
                    .arg(s.height())
                    .arg(x)
                    .toUtf8();
        x += s.width();
    }
    return json + "]}";
}

class Layout : public MainWindowTest, public ::testing::WithParamInterface<QSize> {
protected:
    QScreen* screenOfSize(QSize size)
    {
        for (QScreen* s : QGuiApplication::screens())
            if (s->size() == size)
                return s;
        return nullptr;
    }

    // Everything the user works with lies inside the window, and no button
    // is narrower than its caption.
    void expectWhole(const char* when)
    {
        SCOPED_TRACE(when);
        window->layout()->activate();
        QCoreApplication::processEvents();
        const QRect inside = window->rect();
        QList<QWidget*> controls{window->grid};
        for (QWidget* w : window->findChildren<QWidget*>())
            if (qobject_cast<QPushButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                qobject_cast<QCheckBox*>(w))
                controls << w;
        int buttons = 0;
        for (QWidget* w : controls) {
            if (!w->isVisibleTo(window.get()) || w->window() != window.get())
                continue;
            const QRect r(w->mapTo(window.get(), QPoint(0, 0)), w->size());
            EXPECT_TRUE(inside.contains(r)) << w->metaObject()->className() << " "
                                             << w->objectName().toStdString() << " at " << r.x() << "," << r.y()
                                             << " " << r.width() << "x" << r.height();
            auto* check = qobject_cast<QCheckBox*>(w);
            if (check) {
                EXPECT_GE(w->width(), w->sizeHint().width()) << check->text().toStdString();
            }
            auto* b = qobject_cast<QPushButton*>(w);
            if (!b)
                continue;
            ++buttons;
            const QString caption = QString(b->text()).remove('&');
            const int text = b->fontMetrics().horizontalAdvance(caption);
            EXPECT_GE(b->width(), text + 12) << caption.toStdString();
            EXPECT_GE(b->width(), b->sizeHint().width()) << caption.toStdString();
        }
        EXPECT_EQ(buttons, 16);
        EXPECT_GE(window->grid->height(), 150) << "the grid takes the rest";
    }
};

TEST_P(Layout, EveryControlIsWholeAndTheWindowFitsTheScreen)
{
    const QSize size = GetParam();
    QScreen* screen = screenOfSize(size);
    ASSERT_NE(screen, nullptr) << "no offscreen screen of " << size.width() << "x" << size.height();
    window = std::make_unique<TMainListForm>();
    window->setScreen(screen);
    window->move(screen->geometry().topLeft());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    {
        Category c;
        c.name = "Suppliers of office paper and printing supplies";  // a long name widens nothing
        const dbReference<Category> suppliers = insert(c);
        const char* names[] = {"Zed Paper Company", "Acme Printing, Ltd.", "Harbour Stationers"};
        for (int i = 0; i < 3; ++i) {
            Customer person;
            person.id = i + 1;
            person.name = names[i];
            person.person = "Ann Lee";
            person.telephone = "2345 6789";
            person.email = "orders@example.org";
            person.website = "www.example.org";
            person.amount = 1250.5f * (i + 1);
            person.category = suppliers;
            insert(person);
        }
        database.commit();
        RebuildCategoryFilter(*window, -1);
        window->RefreshGrid();
    }

    EXPECT_EQ(window->screen(), screen);
    const QRect room = screen->availableGeometry();
    EXPECT_TRUE(room.contains(window->frameGeometry()))
        << window->frameGeometry().width() << "x" << window->frameGeometry().height();
    EXPECT_EQ(window->minimumSize(), QSize(1024, 600).boundedTo(platform::RoomInside(window.get())));
    expectWhole("as opened");
    if (const QByteArray shots = qgetenv("QUILLET_SHOTS"); !shots.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(shots));
        window->grab().save(QString("%1/main-window-%2x%3.png")
                                .arg(QString::fromLocal8Bit(shots))
                                .arg(size.width())
                                .arg(size.height()));
    }
    window->resize(window->minimumSize());
    expectWhole("at its smallest");
}

INSTANTIATE_TEST_SUITE_P(Screens, Layout, ::testing::ValuesIn(kScreens),
                         [](const ::testing::TestParamInfo<QSize>& info) {
                             return QString("%1x%2").arg(info.param.width()).arg(info.param.height()).toStdString();
                         });

} // namespace

int main(int argc, char** argv)
{
    // three screens instead of the offscreen platform's one 800 x 600 screen
    QString config;
    if (qgetenv("QT_QPA_PLATFORM").startsWith("offscreen")) {
        config = QDir::temp().filePath(QString("quillet-screens-%1.json").arg(::getpid()));
        QFile f(config);
        if (f.open(QIODevice::WriteOnly))
            f.write(screensConfig());
        f.close();
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    }
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    if (!config.isEmpty())
        QFile::remove(config);
    return failed;
}
