// For tests that write and read real files: a temporary folder removed at the
// end, with helpers to name, write and read the files in it.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class ScratchFiles : public ::testing::Test {
protected:
    QString path(const QString& name) const { return scratch.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // The file's bytes; empty when it cannot be read.
    QByteArray read(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir scratch;
};
