// Page thumbnails of a preview: sizes, layouts, captions, the highlight of
// the current page, clicks, and following the preview's pages.
#include "platform/dialogs.h"
#include "printing/pvthumbnails.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct ThumbsTest : ::testing::Test {
    platform::ScriptedDialogs dialogs;
    TPvPreview preview;
    TPvThumbnails thumbs;
    void SetUp() override
    {
        for (int i = 0; i < 5; ++i) preview.NewPage();  // six pages, the last current
        thumbs.resize(400, 300);
        thumbs.SetPreview(&preview);
    }
    QColor BorderPixel(int i)
    {
        // The sheet's left edge: page image at (3, 3), its border gap 3.
        return thumbs.Thumbnail(i)->grab().toImage().pixelColor(6, 30);
    }
    // Pixels of the caption drawn in blue and in black.
    std::pair<int, int> CaptionInk(int i)
    {
        const QImage im = thumbs.Thumbnail(i)->CaptionLabel().grab().toImage();
        int blue = 0, black = 0;
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x) {
                const QColor c = im.pixelColor(x, y);
                blue += c.blue() > 150 && c.red() < 80 && c.green() < 80;
                black += c.blue() < 60 && c.red() < 60 && c.green() < 60;
            }
        return {blue, black};
    }
};

TEST_F(ThumbsTest, AnA4PageAtSizeFiveGivesTheThumbnailSizes)
{
    ASSERT_EQ(thumbs.Count(), 6);
    EXPECT_EQ(thumbs.PictureSize(), QSize(52, 74));
    EXPECT_EQ(thumbs.Thumbnail(0)->size(), QSize(64, 100));
    EXPECT_EQ(thumbs.Thumbnail(1)->pos(), QPoint(64, 0));
    thumbs.SetShowCaption(false);
    EXPECT_EQ(thumbs.Thumbnail(0)->size(), QSize(64, 86));
    EXPECT_FALSE(thumbs.Thumbnail(0)->CaptionLabel().isVisibleTo(thumbs.Thumbnail(0)));
}

TEST_F(ThumbsTest, GridAndColumnLayouts)
{
    thumbs.SetLayout(gmThumbGrid);
    EXPECT_EQ(thumbs.GridWidth(), 4);
    EXPECT_EQ(thumbs.Thumbnail(3)->pos(), QPoint(192, 0));
    EXPECT_EQ(thumbs.Thumbnail(4)->pos(), QPoint(0, 100));
    thumbs.SetGridWidth(0);
    const int scrolled = thumbs.verticalScrollBar()->value();  // the current page, the last, scrolled into view
    EXPECT_GT(scrolled, 0);
    for (int i = 0; i < thumbs.Count(); ++i) EXPECT_EQ(thumbs.Thumbnail(i)->pos(), QPoint(0, i * 100 - scrolled));
    thumbs.SetLayout(gmThumbVert);
    thumbs.verticalScrollBar()->setValue(0);
    EXPECT_EQ(thumbs.Thumbnail(2)->pos(), QPoint(0, 200));
}

TEST_F(ThumbsTest, CaptionsCarryThePageNumberForEveryHash)
{
    EXPECT_EQ(thumbs.Thumbnail(0)->CaptionLabel().text(), "Page: 1");
    thumbs.SetPageCaption("# of #");
    EXPECT_EQ(thumbs.Thumbnail(1)->CaptionLabel().text(), "2 of 2");
}

TEST_F(ThumbsTest, TheCurrentPageIsBlueAndTheOthersBlack)
{
    EXPECT_EQ(thumbs.ItemIndex(), 6);
    const QColor blue = platform::ToQColor(0xFF0000);
    EXPECT_EQ(thumbs.Thumbnail(5)->PageImage().BorderColor, 0xFF0000u);
    EXPECT_GT(CaptionInk(5).first, 0);
    EXPECT_EQ(CaptionInk(5).second, 0);
    EXPECT_EQ(BorderPixel(5), blue);
    EXPECT_EQ(thumbs.Thumbnail(0)->PageImage().BorderColor, 0u);
    EXPECT_EQ(BorderPixel(0), QColor(Qt::black));
    EXPECT_EQ(CaptionInk(0).first, 0);
    EXPECT_GT(CaptionInk(0).second, 0);
    thumbs.SetHighlight(false);
    for (int i = 0; i < thumbs.Count(); ++i) {
        EXPECT_EQ(thumbs.Thumbnail(i)->PageImage().BorderColor, 0u);
        EXPECT_EQ(CaptionInk(i).first, 0);
    }
    EXPECT_EQ(BorderPixel(5), QColor(Qt::black));
}

TEST_F(ThumbsTest, AClickMakesThatPageCurrent)
{
    TPvPage* clicked = nullptr;
    thumbs.OnThumbMouseDown = [&](TPvThumbnail*, Qt::MouseButton, Qt::KeyboardModifiers, TPvPage* page) {
        clicked = page;
    };
    QTest::mouseClick(&thumbs.Thumbnail(2)->PageImage(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(preview.CurrentPageNum(), 3);
    EXPECT_EQ(thumbs.ItemIndex(), 3);
    EXPECT_EQ(clicked, preview.GetPage(3));
    EXPECT_EQ(thumbs.Thumbnail(2)->PageImage().BorderColor, 0xFF0000u);
    EXPECT_EQ(thumbs.Thumbnail(5)->PageImage().BorderColor, 0u);
    QTest::mouseClick(thumbs.Thumbnail(0), Qt::LeftButton, {}, QPoint(30, 90));  // on the caption
    EXPECT_EQ(preview.CurrentPageNum(), 1);

    QMenu popup;
    popup.addAction("Print this page");
    thumbs.SetThumbPopup(&popup);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(20, 20), QPoint(120, 120));
    QCoreApplication::sendEvent(&thumbs.Thumbnail(1)->PageImage(), &menuEvent);
    EXPECT_TRUE(popup.isVisible());
    popup.close();
}

TEST_F(ThumbsTest, ThumbnailsFollowPagesAddedAndDeleted)
{
    preview.NewPage();
    EXPECT_EQ(thumbs.Count(), 7);
    preview.DeletePage(1);
    preview.DeletePage(1);
    EXPECT_EQ(thumbs.Count(), 5);
    thumbs.SetThumbsEnabled(false);
    preview.NewPage();
    EXPECT_EQ(thumbs.Count(), 5) << "switched off, the thumbnails stay as they are";
    thumbs.SetThumbsEnabled(true);
    EXPECT_EQ(thumbs.Count(), 6);

    auto other = std::make_unique<TPvPreview>();
    thumbs.SetPreview(other.get());
    EXPECT_EQ(thumbs.Count(), 1);
    other.reset();
    EXPECT_EQ(thumbs.Preview(), nullptr);
    thumbs.grab();  // paints without the preview
    thumbs.UpdateThumbnails();
    EXPECT_EQ(thumbs.Count(), 1);
}

TEST_F(ThumbsTest, ALoadedDocumentBringsItsPages)
{
    QTemporaryDir dir;
    TPvPreview three;
    three.NewPage();
    three.NewPage();
    ASSERT_TRUE(three.SaveToFile(dir.filePath("three.qpv")));
    ASSERT_TRUE(preview.LoadFromFile(dir.filePath("three.qpv")));
    EXPECT_EQ(thumbs.Count(), 3);
    EXPECT_EQ(thumbs.ItemIndex(), 3);
}

TEST_F(ThumbsTest, ThumbSizeOutsideOneToTwentyIsRefused)
{
    for (int bad : {0, 21}) {
        thumbs.SetThumbSize(bad);
        EXPECT_EQ(thumbs.ThumbSize(), 5);
    }
    ASSERT_EQ(dialogs.Messages().size(), 2);
    EXPECT_TRUE(dialogs.Messages().first().endsWith("Thumbnail size must be in the range 1-20."));
    thumbs.SetThumbSize(1);
    EXPECT_EQ(thumbs.ThumbSize(), 1);
    thumbs.SetThumbSize(20);
    EXPECT_EQ(thumbs.ThumbSize(), 20);
    EXPECT_EQ(thumbs.Thumbnail(0)->size(), QSize(210 + 12, 297 + 12 + 14));
    EXPECT_EQ(dialogs.Messages().size(), 2);
}

}  // namespace
