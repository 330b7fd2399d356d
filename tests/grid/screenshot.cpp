// A picture of the whole grid as the contact list uses it (13 columns, one
// fixed row, banded rows, a sorted column, a few selected rows, the footer),
// saved for a person to look at: $QUILLET_ARTEFACTS/grid_contacts.png (or the
// working directory).
#include "inputfixture.h"

#include <QImage>
#include <QSet>

#include <gtest/gtest.h>

using namespace grid;

TEST(GridScreenshot, ContactListGrid)
{
    static const char* const headers[13] = {"ID",    "ID",      "Name",    "Contact", "Tel",    "Mobile",  "Fax",
                                            "Email", "Website", "Address", "Remark",  "Amount", "Category"};
    static const int widths[13] = {1, 40, 110, 90, 70, 70, 70, 130, 110, 120, 60, 60, 70};
    static const char* const names[] = {"Gamma Printing", "Alpha Trading", "Delta Foods", "Beta Supplies",
                                        "Epsilon Tools",  "Zeta Paper",    "Eta Metals",  "Theta Glass"};
    InputGrid t(9, 13);
    RIvuZuvuzoZuvu& g = t.g;
    g.Bands->Active = true;
    g.SetURLShow(true);
    for (int c = 0; c < 13; ++c) {
        g.SetCells(c, 0, headers[c]);
        g.SetColWidths(c, widths[c]);
    }
    for (int r = 1; r < 9; ++r) {
        const std::string n = std::to_string(r);
        g.SetCells(0, r, std::to_string(1000 + r));
        g.SetCells(1, r, n);
        g.SetCells(2, r, names[r - 1]);
        g.SetCells(3, r, "Mr. Chan " + n);
        g.SetCells(4, r, "2345-67" + n + n);
        g.SetCells(5, r, "9123-45" + n + n);
        g.SetCells(6, r, "");
        g.SetCells(7, r, "info" + n + "@example.com");
        g.SetCells(8, r, "http://www.example" + n + ".com");
        g.SetCells(9, r, n + " Queen's Road, Central");
        g.SetCells(10, r, r % 3 ? "" : "VIP");
        g.SetCells(11, r, std::to_string(r * 125) + ".00");
        g.SetCells(12, r, r % 2 ? "Supplier" : "Customer");
    }
    g.resize(900, 260);
    QApplication::processEvents();

    t.click(t.center(2, 0));  // sorted by name
    ASSERT_EQ(g.SortSettings->Column(), 2);
    EXPECT_EQ(g.Cells(2, 1), "Alpha Trading");
    t.click(t.center(2, 3));
    t.click(t.center(2, 5), Qt::ControlModifier);
    EXPECT_EQ(t.selectedRows(), (std::vector<int>{3, 5}));

    g.FloatingFooter.FooterStyle = fsCustomPreview;
    g.FloatingFooter.CustomTemplate = std::string("Selected: <#2>, amount <#11>");
    g.FloatingFooter.Height = 22;
    g.FloatingFooter.Visible = true;
    QApplication::processEvents();

    const QImage shot = g.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    const QString dir = QString::fromLocal8Bit(qgetenv("QUILLET_ARTEFACTS"));
    EXPECT_TRUE(shot.save((dir.isEmpty() ? QStringLiteral(".") : dir) + "/grid_contacts.png"));
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 3);  // not one flat colour
}
