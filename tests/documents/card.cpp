// The card window: saving the picture as JPEG or bitmap, and printing it.
#include "register_fixture.h"

#include "documents/cardform.h"
#include "folder_override.h"

#include <QFile>
#include <QProcess>

namespace {

class Card : public RegisterTest {
protected:
    void SetUp() override
    {
        RegisterTest::SetUp();
        QImage picture(96, 48, QImage::Format_RGB32);  // one inch by half an inch on the screen
        picture.fill(Qt::blue);
        form.SetPicture(picture);
    }
    // Saves under `name` in the scratch folder; the bytes of `readBack` (the name by default).
    QByteArray saveAs(const QString& name, const QString& readBack = {})
    {
        const QString path = scratch.path() + "/" + name;
        dialogs.AnswerFile(path);
        form.saveButtonClick();
        QFile f(readBack.isEmpty() ? path : readBack);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    TCardForm form;
};

}  // namespace

TEST_F(Card, SavesJpegOrBitmapByTheNameAndNothingElse)
{
    const QString jpg = scratch.path() + "/card.jpg";
    QByteArray bytes = saveAs("card", jpg);
    ASSERT_GE(bytes.size(), 2);
    EXPECT_EQ(uchar(bytes[0]), 0xFF);
    EXPECT_EQ(uchar(bytes[1]), 0xD8);
    EXPECT_EQ(dialogs.Messages().last(), "Image has saved to " + jpg);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].defaultSuffix, "jpg");

    EXPECT_TRUE(saveAs("card.bmp").startsWith("BM"));
    const auto said = dialogs.Messages().size();
    EXPECT_TRUE(saveAs("card.png").isEmpty());
    EXPECT_FALSE(QFile::exists(scratch.path() + "/card.png"));
    EXPECT_EQ(dialogs.Messages().size(), said);  // nothing shown either
}

TEST_F(Card, AFolderThatRefusesTheWriteGetsNoFile)
{
    const QString locked = scratch.path() + "/locked";
    ASSERT_TRUE(QDir().mkpath(locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    {
        WithoutFolderOverride noOverride;
        EXPECT_TRUE(saveAs("locked/card.jpg").isEmpty());
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Fail to save " + locked + "/card.jpg."});
    EXPECT_TRUE(QDir(locked).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(Card, PrintsThePictureAt15By15Millimetres)
{
    ASSERT_TRUE(form.cPrintClick());
    ASSERT_EQ(printer->JobsWritten(), 1);
    const QString png = scratch.path() + "/page";
    QProcess p;
    p.start("pdftoppm", {"-r", "254", "-png", "-singlefile", printer->JobFile(1), png});  // 10 pixels a millimetre
    ASSERT_TRUE(p.waitForFinished(30000));
    QImage page(png + ".png");
    ASSERT_FALSE(page.isNull());
    auto blue = [&](int x, int y) { return qBlue(page.pixel(x, y)) > 200 && qRed(page.pixel(x, y)) < 60; };
    EXPECT_TRUE(blue(152, 152));   // just inside the top-left corner at 15, 15 mm
    EXPECT_FALSE(blue(147, 152));  // left of it
    EXPECT_FALSE(blue(152, 147));  // above it
    EXPECT_TRUE(blue(150 + 250, 150 + 120));   // a 96 x 48 picture is 25.4 x 12.7 mm
    EXPECT_FALSE(blue(150 + 260, 150 + 60));
    EXPECT_LT(longestDarkRow(1), 0.5);  // no header or footer rule on the card
}
