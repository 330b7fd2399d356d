// Whole files read within a limit: the bytes, a refusal over the limit, and
// the system's text for a file that cannot be opened.
#include "platform/wholefile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using platform::ReadWholeFile;
using platform::WholeFile;

TEST(WholeFile, ReadsWithinTheLimitAndRefusesBeyondIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ten");
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("0123456789");
    out.close();

    QByteArray bytes("stale");
    QString error;
    EXPECT_EQ(ReadWholeFile(path, 10, bytes, error), WholeFile::Read);
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_TRUE(error.isEmpty());

    EXPECT_EQ(ReadWholeFile(path, 9, bytes, error), WholeFile::TooLarge);
    EXPECT_TRUE(bytes.isEmpty());
    EXPECT_TRUE(error.isEmpty());

    EXPECT_EQ(ReadWholeFile(dir.filePath("absent"), 10, bytes, error), WholeFile::Failed);
    EXPECT_TRUE(bytes.isEmpty());
    EXPECT_FALSE(error.isEmpty());
}
