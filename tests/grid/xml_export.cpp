// The list grid's flat XML (the document itself is tested in
// gridexchange_htmlxml): the saved cells, a refused name, and a write that fails.
#include "../folder_override.h"
#include "../scratch_files.h"
#include "grid/listgrid.h"

#include <QDir>

#include <sys/stat.h>

#include <array>

using namespace grid;

TEST_F(ScratchFiles, GridXmlCellsRefusedNamesAndFailedWrites)
{
    RIvuZuvuzoZuvu g;
    g.SetColCountEx(3);
    g.SetRowCountEx(3);
    g.SetFixedCols(1);
    g.SetFixedRows(1);
    g.SetCells(1, 1, "1");
    g.SetCells(2, 1, "a");
    g.SetCells(1, 2, "2");
    g.SetCells(2, 2, "b&c");
    g.SaveToXML(path("l.xml"), "list", "rec", nullptr);
    EXPECT_EQ(read("l.xml"), QByteArray("<?xml version=\"1.0\"?>\r\n<list>\r\n<rec>\r\n<FIELD0>1</FIELD0>\r\n"
                                        "<FIELD1>a</FIELD1>\r\n</rec>\r\n<rec>\r\n<FIELD0>2</FIELD0>\r\n"
                                        "<FIELD1>b&amp;c</FIELD1>\r\n</rec>\r\n</list>\r\n"));
    // names no XML parser reads are refused and the file stays as it was
    const QByteArray good = read("l.xml");
    for (const auto& [list, rec, field] : std::vector<std::array<QString, 3>>{
             {"list", "rec", "1st"}}) {
        const QStringList fields = {"id", field};
        try {
            g.SaveToXML(path("l.xml"), list, rec, &fields);
            ADD_FAILURE() << field.toStdString();
        } catch (const DIdiZedoRorid& e) {
            EXPECT_EQ(e.what(), "Cannot Create file " + path("l.xml").toStdString());
        }
        EXPECT_EQ(read("l.xml"), good);
    }

    QDir(scratch.path()).mkdir("ro");
    write("ro/old.xml", "old");
    ASSERT_EQ(::chmod(QFile::encodeName(path("ro")).constData(), 0555), 0);
    WithoutFolderOverride asUser;
    for (const bool html : {false, true}) {
        try {
            if (html)
                g.AppendToHTML(path("ro/old.xml"));
            else
                g.SaveToXML(path("ro/old.xml"), "list", "rec", nullptr);
            ADD_FAILURE() << "no error";
        } catch (const DIdiZedoRorid& e) {
            EXPECT_EQ(e.what(), "Cannot Create file " + path("ro/old.xml").toStdString());
        }
        EXPECT_EQ(read("ro/old.xml"), "old");
    }
}
