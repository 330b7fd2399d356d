// The INI file keeps order, compares names without case and never loses the old file.
#include "platform/inifile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::IniFile;

TEST(IniFile, KeepsOrderAndReadsBackWhatItWrote)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("grid.ini");
    IniFile ini(path);
    ini.WriteInteger("Widths", "Col9", 120);
    ini.WriteInteger("Widths", "Col1", 40);
    ini.WriteString("Print", "Title", "a=b; c");
    ini.WriteBool("Print", "Borders", true);
    ini.WriteString("Widths", "col9", "130");  // same key, other case: replaced in place
    ASSERT_TRUE(ini.Save());

    const IniFile back(path);
    EXPECT_EQ(back.ReadSections(), QStringList({"Widths", "Print"}));
    EXPECT_EQ(back.ReadSection("WIDTHS"), QStringList({"Col9", "Col1"}));
    EXPECT_EQ(back.ReadInteger("Widths", "Col9"), 130);
    EXPECT_EQ(back.ReadString("Print", "Title"), "a=b; c");
    EXPECT_TRUE(back.ReadBool("Print", "Borders"));
    EXPECT_EQ(back.ReadInteger("Print", "Title", -1), -1);  // not a number
    EXPECT_EQ(back.ReadString("Nope", "x", "def"), "def");
}

TEST(IniFile, ToleratesForeignTextAndFailsSafely)
{
    IniFile ini;
    ini.FromText("stray=line\r\n; comment\r\n[A]\r\nk = v \r\nnoequals\r\n[B]\r\n=empty key\r\nx=1\r\n");
    EXPECT_EQ(ini.ReadSections(), QStringList({"A", "B"}));
    EXPECT_EQ(ini.ReadString("A", "k"), " v ");
    EXPECT_EQ(ini.ReadSection("B"), QStringList{"x"});
    ini.WriteString("A", "multi", "one\ntwo");
    IniFile copy;
    copy.FromText(ini.ToText());
    EXPECT_EQ(copy.ReadString("A", "multi"), "one two");
    EXPECT_EQ(copy.ReadSection("A"), QStringList({"k", "multi"}));
    ini.DeleteKey("A", "K");
    EXPECT_FALSE(ini.ValueExists("A", "k"));
    ini.EraseSection("b");
    EXPECT_FALSE(ini.SectionExists("B"));

    // A save into a missing folder fails and leaves nothing behind; an existing file survives a failed save.
    QTemporaryDir dir;
    EXPECT_FALSE(ini.SaveAs(dir.filePath("missing/x.ini")));
    const QString path = dir.filePath("keep.ini");
    ASSERT_TRUE(ini.SaveAs(path));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    ini.WriteString("A", "k", "changed");
    const bool saved = ini.SaveAs(path);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!saved) { EXPECT_EQ(IniFile(path).ReadString("A", "k", "gone"), "gone"); }  // the old file, without the key
    EXPECT_EQ(IniFile(path).ReadString("A", "multi"), "one two");
}
