// Scanning a card picture in the contact editor, through the scanner
// library's "test" backend.
#include "contacts_fixture.h"
#include "sane_fixture.h"

#include "appcore/picture.h"
#include "platform/sharedlibrary.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>

namespace {

class EditorScanTest : public ContactsTest {
protected:
    void SetUp() override
    {
        ContactsTest::SetUp();
        TMainForm::scanSource.clear();
        addCategory("Shops");
    }
    // How often the source list has been offered.
    int sourceDialogs() const
    {
        return int(std::count_if(dialogs.shown.begin(), dialogs.shown.end(),
                                 [](const auto& s) { return s.kind == platform::ScriptedDialogs::Shown::Choice; }));
    }
    SaneTestBackend backend;
};

QImage oldCard()
{
    QImage image(20, 10, QImage::Format_RGB888);
    image.fill(QColor(10, 200, 30));
    return image;
}

TEST_F(EditorScanTest, FirstScanAsksForTheSourceAndSaveStoresTheScanAsJpeg)
{
    dialogs.AnswerChoice(1);
    QByteArray card;
    saveEditor([&](TMainForm& e) {
        e.cID->setText("1");
        e.cName->setText("Scanned");
        e.scanButton->click();
        EXPECT_EQ(sourceDialogs(), 1);
        EXPECT_EQ(TMainForm::scanSource, "test:1");
        e.setPicture(QImage());
        e.scanButton->click();
        EXPECT_EQ(sourceDialogs(), 1) << "the second scan goes to the source picked first";
        card = e.cardBytes();
    });
    insertActionExecute(*window);
    QImage decoded;
    ASSERT_TRUE(DecodeJpeg(card, decoded));
    EXPECT_EQ(decoded.size(), QSize(157, 196));
    ASSERT_EQ(customers().size(), 1u);
    EXPECT_EQ(customers()[0].cardBytes, std::size_t(card.size()));

    TMainForm another(window.get());
    another.scanButtonClick();
    EXPECT_EQ(sourceDialogs(), 1) << "every editor shares the source";
    EXPECT_EQ(another.picture().size(), QSize(157, 196));
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

TEST_F(EditorScanTest, CancelledOrFailedScanKeepsTheOldCard)
{
    TMainForm editor(window.get());
    editor.setPicture(oldCard());
    dialogs.AnswerChoice(-1);
    editor.scanButtonClick();
    EXPECT_EQ(sourceDialogs(), 1);
    EXPECT_EQ(editor.picture(), oldCard()) << "no source picked";
    TMainForm::scanSource = "test:0";
    for (const char* status : {"\"SANE_STATUS_CANCELLED\"", "\"SANE_STATUS_IO_ERROR\"", "\"SANE_STATUS_JAMMED\""}) {
        backend.Configure({{"read-status-code", status}});
        editor.scanButtonClick();
        EXPECT_EQ(editor.picture(), oldCard()) << status;
    }
    TMainForm::scanSource = "test:7";
    backend.Configure({});
    editor.scanButtonClick();
    EXPECT_EQ(editor.picture(), oldCard()) << "a source that is gone";
    EXPECT_EQ(sourceDialogs(), 2) << "a source that is gone is forgotten and another one asked for";
    EXPECT_EQ(TMainForm::scanSource, "");
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    backend.SetBackends("");
    editor.scanButtonClick();
    EXPECT_EQ(editor.picture(), oldCard()) << "no scanner at all";
    EXPECT_EQ(sourceDialogs(), 2) << "an empty list is not offered";
    EXPECT_EQ(dialogs.Messages(), QStringList{"No scanner was found."});
    EXPECT_FALSE(editor.cardBytes().isEmpty());
}

TEST_F(EditorScanTest, WithoutTheScannerLibraryOnlyTheMessageIsShown)
{
    platform::SetScannerLibraryName("libquillet-no-such-library.so.1");
    TMainForm editor(window.get());
    editor.setPicture(oldCard());
    editor.scanButtonClick();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Fail to find TWAIN_32.DLL."});
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(editor.picture(), oldCard());
}

TEST_F(EditorScanTest, WhileScanningTheEditorTakesNoInput)
{
    backend.Configure({{"read-delay", "true"}, {"read-delay-duration", "1000000"}, {"read-limit", "true"},
                       {"read-limit-size", "1024"}});
    TMainForm::scanSource = "test:0";
    TMainForm editor(window.get());
    editor.show();
    editor.setPicture(oldCard());
    int clicks = 0;
    QObject::connect(editor.scanButton, &QPushButton::clicked, [&] { ++clicks; });
    bool closed = true, cancelled = false;
    QTimer::singleShot(100, [&] {
        QTest::mouseClick(editor.scanButton, Qt::LeftButton);
        QTest::keyClick(&editor, Qt::Key_F12);  // Cancel of the editor
        closed = editor.close();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "scanWindow" && w->isVisible()) {
                QTest::mouseClick(w->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
                cancelled = true;
            }
    });
    editor.scanButtonClick();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.result(), 0);
    EXPECT_EQ(editor.picture(), oldCard());
}

TEST(ProgramBinary, NeedsNoScannerLibraryToStart)
{
    QProcess readelf;
    readelf.start("readelf", {"-d", QCoreApplication::applicationFilePath()});
    ASSERT_TRUE(readelf.waitForFinished(30000));
    const QString needed = QString::fromUtf8(readelf.readAllStandardOutput());
    EXPECT_TRUE(needed.contains("NEEDED")) << "this test program links what the program links";
    EXPECT_FALSE(needed.contains("libsane")) << needed.toStdString();
}

}  // namespace
