// Pictures for HTML cells: loading by URL from files, animated GIFs and their
// frames, the cache and the container, files that cannot be read, and
// pictures shown in the HTML cells of a grid.
#include "gif_fixture.h"
#include "whitegrid.h"
#include "grid/gridobj.h"
#include "grid/pictures.h"
#include "grid/vurirod.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace grid;

namespace {

class PicturesTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& data)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        return path;
    }
    QString writePng(const QString& name, int w, int h, QRgb colour)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(image.save(path, "PNG"));
        return path;
    }
    static std::string url(const QString& path) { return "FILE://" + path.toStdString(); }

    QTemporaryDir dir;
};

// Five frames at different places on a 20 x 10 screen.
std::vector<giffixture::Frame> fiveFrames()
{
    using namespace giffixture;
    return {{0, 0, 20, 10, 10, White}, {1, 1, 4, 3, 20, Red}, {6, 2, 5, 4, 30, Green},
            {12, 5, 3, 2, 40, Blue},   {2, 7, 6, 2, 50, Red}};
}

}  // namespace

TEST_F(PicturesTest, PngFromFileUrlInAnyPrefixCase)
{
    const QString path = writePng("Card Picture.PNG", 12, 7, qRgb(255, 0, 0));
    for (const std::string prefix : {"FILE://", "file://", "File://"}) {
        THTMLPicture p;
        p.LoadFromURL(prefix + path.toStdString());
        EXPECT_FALSE(p.Empty()) << prefix;
        EXPECT_EQ(p.GetWidth(), 12);
        EXPECT_EQ(p.GetHeight(), 7);
        EXPECT_EQ(p.URL(), prefix + path.toStdString());  // the name keeps its case
        EXPECT_EQ(p.CurrentImage().pixel(3, 3), qRgb(255, 0, 0));
        EXPECT_EQ(p.GetFrameCount(), -1);
    }
}

TEST_F(PicturesTest, AnimatedGifDecodedIntoFrames)
{
    const QString path = write("anim.gif", giffixture::makeGif(20, 10, fiveFrames()));
    THTMLPicture p;
    int changes = 0;
    p.OnFrameChange = [&](THTMLPicture*) { ++changes; };
    p.LoadFromURL(url(path));
    ASSERT_FALSE(p.Empty());
    EXPECT_TRUE(p.IsGIFFile());
    EXPECT_EQ(p.GetFrameCount(), 5);
    EXPECT_EQ(p.FramesDecoded(), 5);  // once each, though the GIF loops forever
    EXPECT_EQ(p.GetMaxWidth(), 20);
    EXPECT_EQ(p.GetMaxHeight(), 10);
    EXPECT_EQ(p.GetFrameTime(4), 40);
    EXPECT_EQ(p.GetFrameTime(6), -1);

    p.SetFrame(3);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(p.FrameXPos(), 6);
    EXPECT_EQ(p.FrameYPos(), 2);
    EXPECT_EQ(p.FrameWidth(), 5);
    EXPECT_EQ(p.FrameHeight(), 4);
    // The third frame is shown in place over what the earlier ones left.
    const QImage image = p.CurrentImage();
    ASSERT_EQ(image.size(), QSize(20, 10));
    EXPECT_EQ(QColor(image.pixel(7, 3)), QColor(0, 255, 0));
    EXPECT_EQ(QColor(image.pixel(2, 2)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(image.pixel(18, 1)), QColor(255, 255, 255));
    EXPECT_EQ(QColor(image.pixel(13, 6)), QColor(255, 255, 255));  // frame 4 not yet

    p.SetFrame(5);
    p.FrameNext();
    EXPECT_EQ(p.Frame(), 1);
    p.FramePrev();
    EXPECT_EQ(p.Frame(), 5);
}

TEST_F(PicturesTest, StepSwitchesOnTheSeventhTickThenEveryFifth)
{
    using namespace giffixture;
    const QString path = write("two.gif", makeGif(4, 4, {{0, 0, 4, 4, 50, Red}, {0, 0, 4, 4, 50, Blue}}));
    THTMLPicture p;
    p.LoadFromURL(url(path));
    ASSERT_EQ(p.GetFrameCount(), 2);
    EXPECT_EQ(p.FramesDecoded(), 2);
    std::vector<int> switches;
    for (int call = 1; call <= 17; ++call)
        if (p.Step())
            switches.push_back(call);
    EXPECT_EQ(switches, (std::vector<int>{7, 12, 17}));
    EXPECT_EQ(p.Frame(), 2);
    EXPECT_EQ(QColor(p.CurrentImage().pixel(1, 1)), QColor(0, 0, 255));

    THTMLPicture still;
    still.LoadFromURL(url(writePng("still.png", 3, 3, qRgb(0, 0, 0))));
    EXPECT_FALSE(still.Step());
}

TEST_F(PicturesTest, UnreadableFilesStayEmptyWithoutBlocking)
{
    const QString fifo = dir.filePath("pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir(dir.path()).mkdir("folder.png");
    const QString corrupt = write("corrupt.png", QByteArray("\x89PNG\r\n\x1a\n garbage that is no picture"));
    const QString truncatedGif = write("cut.gif", giffixture::makeGif(20, 10, fiveFrames()).left(30));
    const QString empty = write("empty.gif", QByteArray());
    const QString huge = write("huge.png", QByteArray("\x89PNG"));
    QFile(huge).resize(MaxPictureFileSize + 1);  // sparse: costs no disk

    QElapsedTimer timer;
    timer.start();
    for (const QString& path : {dir.filePath("missing.png"), dir.filePath("folder.png"), fifo, corrupt,
                                truncatedGif, empty, huge, QStringLiteral("/dev/zero")}) {
        THTMLPicture p;
        EXPECT_NO_THROW(p.LoadFromURL(url(path))) << path.toStdString();
        EXPECT_TRUE(p.Empty()) << path.toStdString();
        EXPECT_EQ(p.GetWidth(), 0);
        EXPECT_EQ(p.GetMaxWidth(), 0);
        EXPECT_THROW(p.LoadFromFile(path), EPictureError) << path.toStdString();

        TFilePicture file;
        file.SetFileName(path);
        EXPECT_EQ(file.Width(), 0);
    }
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST_F(PicturesTest, NetworkAddressesAreKeptNotFetched)
{
    THTMLPicture sync;
    sync.Asynch = false;
    sync.LoadFromURL("http://example.invalid/a.png");
    EXPECT_TRUE(sync.Empty());
    EXPECT_EQ(sync.URL(), "http://example.invalid/a.png");
    EXPECT_EQ(sync.DownloadURL(), "http://example.invalid/a.png");

    THTMLPicture async;
    async.LoadFromURL("http://example.invalid/b.png");
    EXPECT_TRUE(async.Empty());
    EXPECT_TRUE(async.Downloading());
    EXPECT_EQ(async.DownloadURL(), "http://example.invalid/b.png");
    EXPECT_EQ(async.URL(), "");

    // The download events are there to attach to, but none fires: nothing is fetched.
    THTMLImage image;
    int fired = 0;
    image.OnDownLoadProgress = [&](THTMLImage*, unsigned, unsigned) { ++fired; };
    image.OnDownLoadCancel = [&](THTMLImage*, bool&) { ++fired; };
    image.OnDownLoadComplete = [&](THTMLImage*) { ++fired; };
    image.OnDownLoadError = [&](THTMLImage*, const std::string&) { ++fired; };
    image.LoadFromURL("http://example.invalid/c.gif");
    QApplication::processEvents();
    EXPECT_TRUE(image.HTMLPicture().Downloading());
    EXPECT_EQ(image.HTMLPicture().DownloadURL(), "http://example.invalid/c.gif");
    EXPECT_TRUE(image.HTMLPicture().Empty());
    EXPECT_EQ(fired, 0);
    // What the picture would report is passed on with the control as sender.
    THTMLImage* sender = nullptr;
    image.OnDownLoadComplete = [&](THTMLImage* s) { sender = s; };
    image.HTMLPicture().OnDownLoadComplete(&image.HTMLPicture());
    EXPECT_EQ(sender, &image);

    THTMLPicture res;
    EXPECT_NO_THROW(res.LoadFromURL("RES://NOSUCHPICTURE"));
    EXPECT_TRUE(res.Empty());
    EXPECT_EQ(res.URL(), "RES://NOSUCHPICTURE");
}

TEST_F(PicturesTest, CacheAndContainerLookups)
{
    const std::string u = url(writePng("a.png", 5, 5, qRgb(0, 0, 255)));
    THTMLPictureCache cache;
    THTMLPicture* p = cache.AddPicture();
    p->LoadFromURL(u);
    EXPECT_EQ(cache.FindPicture(u), p);
    EXPECT_EQ(cache.FindPicture(UpperCase(u)), nullptr);  // exact text only
    EXPECT_FALSE(cache.Animate());
    cache.ClearPictures();
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_EQ(cache.FindPicture(u), nullptr);

    TPictureContainer container;
    TPictureItem* item = container.Items.Add();
    item->Name = "Logo";
    item->Picture.LoadFromURL(u);
    EXPECT_EQ(container.FindPicture("LOGO"), &item->Picture);
    EXPECT_EQ(container.FindPicture("logo"), nullptr);
    EXPECT_EQ(container.FindPicture("Logo"), nullptr);

    TPictureItem* copy = container.Items.Insert(0);
    copy->Assign(*item);
    EXPECT_EQ(copy->Name, "Logo");
    EXPECT_FALSE(copy->Picture.Empty());
    EXPECT_EQ(container.Items.Count(), 2);
    EXPECT_EQ(container.Items.GetItem(1), copy);
}

TEST_F(PicturesTest, ImageControlPlacesThePicture)
{
    const std::string u = url(writePng("b.png", 10, 10, qRgb(255, 0, 0)));
    THTMLImage control;
    control.resize(40, 30);
    control.LoadFromURL(u);
    control.SetPicturePosition(bpBottomRight);
    QImage shot = control.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(35, 25)), QColor(255, 0, 0));
    EXPECT_NE(QColor(shot.pixel(5, 5)), QColor(255, 0, 0));

    control.SetPicturePosition(bpStretched);
    shot = control.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(2, 2)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(shot.pixel(37, 27)), QColor(255, 0, 0));
}

namespace {
bool isGreenPixel(QRgb p) { return qGreen(p) > 200 && qRed(p) < 60 && qBlue(p) < 60; }
}  // namespace

TEST_F(PicturesTest, HtmlCellsShowPicturesFromFiles)
{
    using namespace giffixture;
    const QString png = writePng("red.png", 20, 12, qRgb(255, 0, 0));
    const QString gif = write("anim.gif", makeGif(16, 16, {{0, 0, 16, 16, 10, Green}, {4, 4, 8, 8, 10, Blue}}));
    const QString fifo = dir.filePath("pipe.gif");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir(dir.path()).mkdir("folder.gif");

    RIvuZuvuzoZuvu g;
    layOutWhiteGrid(g, 4, 3, 100, 40);
    auto img = [](const QString& path) { return "<IMG SRC=\"FILE://" + path.toStdString() + "\">"; };
    g.SetCells(1, 1, img(png));
    g.SetCells(2, 1, img(gif));
    g.SetCells(1, 2, img(dir.filePath("missing.png")));
    g.SetCells(2, 2, img(dir.filePath("folder.gif")));
    g.SetCells(3, 2, img(fifo));

    QElapsedTimer timer;
    timer.start();
    const QImage shot = grabCells(g);
    EXPECT_LT(timer.elapsed(), 5000);

    auto count = [&](int c, int r, bool (*pred)(QRgb)) { return countPixels(shot, g.CellRect(c, r), pred); };
    EXPECT_EQ(count(1, 1, isRedPixel), 20 * 12);
    EXPECT_EQ(count(2, 1, isGreenPixel), 16 * 16);  // the first frame
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(count(c, 2, isRedPixel) + count(c, 2, isGreenPixel), 0);

    // Each address was looked up once and kept; the unreadable ones stay empty.
    THTMLPictureCache& cache = g.PictureCache();
    ASSERT_NE(cache.FindPicture("FILE://" + png.toStdString()), nullptr);
    EXPECT_FALSE(cache.FindPicture("FILE://" + png.toStdString())->Empty());
    ASSERT_NE(cache.FindPicture("FILE://" + fifo.toStdString()), nullptr);
    EXPECT_TRUE(cache.FindPicture("FILE://" + fifo.toStdString())->Empty());
    const int pictures = cache.Count();
    g.viewport()->repaint();
    EXPECT_EQ(cache.Count(), pictures);

    // The animation moves the GIF on to its second frame.
    THTMLPicture* animated = cache.FindPicture("FILE://" + gif.toStdString());
    ASSERT_NE(animated, nullptr);
    animated->SetFrame(2);
    const QImage next = grabCells(g);
    EXPECT_EQ(countPixels(next, g.CellRect(2, 1), [](QRgb p) { return p == qRgb(0, 0, 255); }), 8 * 8);
}
