// Column widths and print settings kept in INI files: where they go, what is
// written (read back as text), what loading makes of missing, damaged and
// out-of-range values, and a folder that refuses the write.
#include "folder_override.h"
#include "grid/listgrid.h"
#include "platform/inifile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace grid;

namespace {

struct Persist : ::testing::Test {
    QTemporaryDir work, config;
    QString oldDir;
    QByteArray oldConfig;

    void SetUp() override
    {
        oldDir = QDir::currentPath();
        oldConfig = qgetenv("XDG_CONFIG_HOME");
        QDir::setCurrent(work.path());
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    }
    void TearDown() override
    {
        QDir::setCurrent(oldDir);
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }
    static QString read(const QString& File)
    {
        QFile f(File);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    static void widths(RIvuZuvuzoZuvu& G, std::initializer_list<int> W)
    {
        G.SetColCountEx(static_cast<int>(W.size()));
        int c = 0;
        for (int w : W)
            G.SetColWidths(c++, w);
    }
};

TEST_F(Persist, ColumnWidthsInIniFileAndRegistry)
{
    RIvuZuvuzoZuvu grid;
    widths(grid, {30, 40, 50});
    grid.ColumnSize->Location = clIniFile;
    grid.ColumnSize->Key = QStringLiteral("cols.ini");
    grid.SaveColSizes();  // no section
    grid.ColumnSize->Key = QString();
    grid.ColumnSize->Section = QStringLiteral("Main");
    grid.SaveColSizes();  // no key
    EXPECT_TRUE(QDir(work.path()).entryList(QDir::Files).isEmpty());

    grid.ColumnSize->Key = QStringLiteral("cols.ini");
    grid.SaveColSizes();
    EXPECT_EQ(read(work.filePath("cols.ini")), QStringLiteral("[Main]\nCol0=30\nCol1=40\nCol2=50\n"));

    // Only the stored column changes; damaged and out-of-range widths change nothing.
    QFile f(work.filePath("cols.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Main]\nCol1=77\nCol0=abc\nCol2=70000\n");
    f.close();
    widths(grid, {30, 40, 50});
    grid.LoadColSizes();
    EXPECT_EQ(grid.ColWidths(0), 30);
    EXPECT_EQ(grid.ColWidths(1), 77);
    EXPECT_EQ(grid.ColWidths(2), 50);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Main]\nCol0=-5\n");
    f.close();
    grid.LoadColSizes();
    EXPECT_EQ(grid.ColWidths(0), 30);

    grid.ColumnSize->Location = clRegistry;
    grid.ColumnSize->Key = QStringLiteral("Software\\Quillet");
    grid.SaveColSizes();
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    EXPECT_TRUE(folder.startsWith(config.path()));
    const platform::IniFile registry(QDir(folder).filePath("registry.ini"));
    EXPECT_EQ(registry.ReadInteger("Software\\Quillet\\Main", "Col1", -1), 77);
}

TEST_F(Persist, SavedWithTheGridAndLoadedWhenShown)
{
    const auto make = [](RIvuZuvuzoZuvu& G) {
        G.ColumnSize->Save = true;
        G.ColumnSize->Location = clIniFile;
        G.ColumnSize->Key = QStringLiteral("grid.ini");
        G.ColumnSize->Section = QStringLiteral("List");
    };
    {
        RIvuZuvuzoZuvu grid;
        make(grid);
        widths(grid, {21, 32, 43});
    }
    RIvuZuvuzoZuvu again;
    make(again);
    widths(again, {64, 64, 64});
    again.show();
    EXPECT_EQ(again.ColWidths(0), 21);
    EXPECT_EQ(again.ColWidths(2), 43);
    again.hide();
}

TEST_F(Persist, ReadOnlyFolderKeepsTheOldFile)
{
    QDir(work.path()).mkdir("locked");
    const QString file = work.filePath("locked/cols.ini");
    RIvuZuvuzoZuvu grid;
    widths(grid, {10, 20});
    grid.ColumnSize->Location = clIniFile;
    grid.ColumnSize->Key = file;
    grid.ColumnSize->Section = QStringLiteral("S");
    grid.SaveColSizes();
    const QString before = read(file);
    ASSERT_FALSE(before.isEmpty());
    ::chmod(work.filePath("locked").toLocal8Bit().constData(), 0555);
    {
        WithoutFolderOverride asUser;
        grid.SetColWidths(0, 99);
        grid.SaveColSizes();  // fails quietly
    }
    ::chmod(work.filePath("locked").toLocal8Bit().constData(), 0755);
    EXPECT_EQ(read(file), before);
}

TEST_F(Persist, PrintSettingsWrittenInOrderAndReadBack)
{
    RIvuZuvuzoZuvu grid;
    TPrintSettings& s = *grid.PrintSettings;
    s.Centered = true;
    s.Borders = pbAround;
    s.PageNr = ppBottomRight;
    platform::Font bold = s.Font();
    bold.Style = platform::fsBold | platform::fsUnderline;
    s.Font = bold;
    s.TitleLines = QStringList{"A", "B"};
    grid.SavePrintSettings(work.filePath("print.ini"), QStringLiteral("Print"));
    const QString text = read(work.filePath("print.ini"));
    const QStringList keys{"ColumnSpacing", "RowSpacing", "TitleSpacing", "FixedHeight", "FixedWidth", "Centered",
                           "NoAutoSize", "UseFixedHeight", "UseFixedWidth", "RepeatFixedRows", "RepeatFixedCols",
                           "Borders", "BorderStyle", "Date", "PageNr", "Title", "Time", "DateFormat", "TitleText",
                           "FooterSize", "HeaderSize", "LeftSize", "RightSize", "FitToPage", "FontName", "FontSize",
                           "FontStyle", "FontColor", "HeaderFontName", "HeaderFontSize", "HeaderFontStyle",
                           "HeaderFontColor", "FooterFontName", "FooterFontSize", "FooterFontStyle",
                           "FooterFontColor", "PageNumSep", "PageSuffix", "PagePrefix", "Orientation", "TitleLines"};
    const platform::IniFile ini(work.filePath("print.ini"));
    EXPECT_EQ(ini.ReadSection("Print"), keys);
    for (const char* line : {"Centered=Y\n", "NoAutoSize=N\n", "Borders=5\n", "PageNr=5\n", "FontStyle=5\n",
                             "TitleLines=A\\nB\\n\n"})
        EXPECT_TRUE(text.contains(QLatin1String(line))) << line;

    RIvuZuvuzoZuvu other;
    other.PrintSettings->Borders = pbDouble;
    other.LoadPrintSettings(work.filePath("print.ini"), QStringLiteral("Print"));
    EXPECT_EQ(other.PrintSettings->TitleLines(), (QStringList{"A", "B"}));
    EXPECT_EQ(other.PrintSettings->Font().Style, platform::fsBold | platform::fsUnderline);
    EXPECT_EQ(other.PrintSettings->Borders(), pbAround);

    // A font saved plain loads plain; a bad position is none; a bad border mode stays.
    QFile f(work.filePath("print.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Print]\nFontStyle=0\nTitle=9\nBorders=12\n");
    f.close();
    other.PrintSettings->Title = ppTopLeft;
    other.LoadPrintSettings(work.filePath("print.ini"), QStringLiteral("Print"));
    EXPECT_EQ(other.PrintSettings->Font().Style, 0u);
    EXPECT_EQ(other.PrintSettings->Title(), ppNone);
    EXPECT_EQ(other.PrintSettings->Borders(), pbAround);

    // An empty section (or a missing file) gives the loading defaults.
    RIvuZuvuzoZuvu fresh;
    fresh.LoadPrintSettings(work.filePath("missing.ini"), QStringLiteral("None"));
    const TPrintSettings& d = *fresh.PrintSettings;
    for (const platform::Font& font : {d.Font(), d.HeaderFont(), d.FooterFont()}) {
        EXPECT_EQ(font.Name, QStringLiteral("Arial"));
        EXPECT_EQ(font.Size(), 10);
    }
    for (int size : {d.FooterSize(), d.HeaderSize(), d.LeftSize(), d.RightSize()})
        EXPECT_EQ(size, 100);
    for (int spacing : {d.ColumnSpacing(), d.RowSpacing(), d.TitleSpacing()})
        EXPECT_EQ(spacing, 20);
    EXPECT_TRUE(d.Centered());
}

}  // namespace
