// The card picture readers on sound, damaged and hostile input, and the
// workbook's save, which never leaves a half-written file.
#include "appcore/picture.h"
#include "appcore/zrvexcel.h"

#include <QDir>
#include <QFile>
#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

int argc = 1;
char arg0[] = "test";
char* argv[] = {arg0, nullptr};
QGuiApplication* app = new QGuiApplication(argc, argv);

} // namespace

TEST(Workbook, SaveNeverLeavesAHalfFile)
{
    QTemporaryDir scratch;
    const QString old = scratch.filePath("old.xlsx");
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("old") == 3);
    f.close();
    TZrvExcel book{QString()};
    book.setCell(1, 1, QString(40000, 'x'));  // longer than a sheet cell may hold
    EXPECT_FALSE(book.save(old));
    EXPECT_FALSE(book.saveError().isEmpty());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "old");
    EXPECT_TRUE(book.fileName.isEmpty());
    EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.xlsx"});
    EXPECT_FALSE(book.save(scratch.filePath("missing-folder/new.xlsx")));
}

TEST(Pictures, JpegRoundTripAndDamage)
{
    QImage image(64, 48, QImage::Format_ARGB32);
    image.fill(qRgba(0, 128, 255, 255));
    const QByteArray jpeg = EncodeJpeg(image);
    ASSERT_FALSE(jpeg.isEmpty());
    QImage back;
    ASSERT_TRUE(DecodeJpeg(jpeg, back));
    EXPECT_EQ(back.size(), QSize(64, 48));
    const QRgb centre = back.pixel(32, 24);
    EXPECT_NEAR(qBlue(centre), 255, 8);
    EXPECT_NEAR(qRed(centre), 0, 8);

    EXPECT_TRUE(EncodeJpeg(QImage()).isEmpty());
    EXPECT_TRUE(EncodeJpeg(QImage(0, 10, QImage::Format_RGB32)).isEmpty());

    QString error;
    QImage kept(3, 3, QImage::Format_RGB32);
    for (const QByteArray& bad : {QByteArray(), jpeg.left(jpeg.size() - 40), jpeg.left(20), QByteArray("not a jpeg"),
                                  QByteArray(500, '\xff')}) {
        error.clear();
        EXPECT_FALSE(DecodeJpeg(bad, kept, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(kept.size(), QSize(3, 3)) << "a failed decode leaves the image alone";
    }
    // a frame header that claims 60000 x 60000 pixels
    QByteArray huge = jpeg;
    const qsizetype sof = huge.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    huge[sof + 5] = '\xEA';
    huge[sof + 6] = '\x60';
    huge[sof + 7] = '\xEA';
    huge[sof + 8] = '\x60';
    EXPECT_FALSE(DecodeJpeg(huge, kept, &error));

    // A progressive picture is gathered whole before its first row comes
    // out, so its size must be refused from the header: a small file that
    // claims 20000 x 20000 pixels is turned down as too large, not read.
    QByteArray progressive;
    {
        QBuffer buffer(&progressive);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        ASSERT_TRUE(writer.write(image));
    }
    const qsizetype sof2 = progressive.indexOf("\xFF\xC2");
    ASSERT_GT(sof2, 0) << "the writer made no progressive picture";
    progressive[sof2 + 5] = '\x4E';
    progressive[sof2 + 6] = '\x20';
    progressive[sof2 + 7] = '\x4E';
    progressive[sof2 + 8] = '\x20';
    error.clear();
    EXPECT_FALSE(DecodeJpeg(progressive, kept, &error));
    EXPECT_TRUE(error.contains("too large")) << error.toStdString();

    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        QByteArray bad = jpeg;
        for (int i = 0; i < 4; ++i)
            bad[static_cast<qsizetype>(random() % bad.size())] = static_cast<char>(random());
        QImage out;
        DecodeJpeg(bad, out);  // either decodes whole or fails: never ends the process
    }
}

TEST(Pictures, BitmapsAreCheckedFromTheirHeaderBeforeDecoding)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        ASSERT_TRUE(image.save(&buffer, "BMP"));
    }
    QImage back;
    ASSERT_TRUE(DecodeBitmap(bmp, back));
    EXPECT_EQ(back.size(), QSize(40, 30));

    QString error;
    QImage kept(3, 3, QImage::Format_RGB32);
    QByteArray huge = bmp;  // claims 50000 x 50000 pixels
    huge[18] = '\x50', huge[19] = '\xC3', huge[20] = 0, huge[21] = 0;
    huge[22] = '\x50', huge[23] = '\xC3', huge[24] = 0, huge[25] = 0;
    for (const QByteArray& bad : {QByteArray(), bmp.left(20), QByteArray("BM not a bitmap at all"), huge}) {
        error.clear();
        EXPECT_FALSE(DecodeBitmap(bad, kept, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(kept.size(), QSize(3, 3));
    }
    EXPECT_EQ(error, "The picture is too large");

    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bad = bmp.left(static_cast<qsizetype>(random() % (bmp.size() + 1)));
        for (int i = 0; i < 3 && !bad.isEmpty(); ++i)
            bad[static_cast<qsizetype>(random() % bad.size())] = static_cast<char>(random());
        QImage out;
        if (DecodeBitmap(bad, out)) {
            EXPECT_TRUE(platform::PictureSizeAllowed(out.width(), out.height()));
        }
    }
}
