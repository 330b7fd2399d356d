// The program as the desktop sees it: its windows carry the program's icon at
// every size the icon theme gets, and name the class and desktop entry that
// the installed entry (dist/<id>.desktop) names, so that the task bar matches
// a window to the entry and shows the icon.
#include "mainwindow_fixture.h"

#include "app/identity.h"

#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>

namespace {

// The value of a key of the desktop entry; empty when it has none.
QString entryValue(const QString& entry, const QString& key)
{
    const auto m = QRegularExpression("^" + key + "=(.*)$", QRegularExpression::MultilineOption).match(entry);
    return m.hasMatch() ? m.captured(1) : QString();
}

}  // namespace

TEST_F(MainWindowTest, WindowsCarryTheIconAndNameTheDesktopEntry)
{
    PresentProgram();
    QFile file(QStringLiteral(QUILLET_DIST "/") + QGuiApplication::desktopFileName() + ".desktop");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no desktop entry named " << file.fileName().toStdString();
    const QString entry = QString::fromUtf8(file.readAll());
    EXPECT_EQ(entryValue(entry, "StartupWMClass"), QGuiApplication::applicationName());
    EXPECT_EQ(entryValue(entry, "Icon"), QGuiApplication::desktopFileName());

    ASSERT_EQ(start(), -1);
    QList<QSize> sizes = window->windowIcon().availableSizes();
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    EXPECT_EQ(sizes, (QList<QSize>{{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));
}
