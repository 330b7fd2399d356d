// For tests that write and read real files: a temporary folder removed at the
// end, with helpers to name, write and read the files in it.
#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

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

    // The text of the Error that work raises; "no error" when it raises none.
    template <typename Error, typename Work>
    static std::string errorOf(Work work)
    {
        try {
            work();
        } catch (const Error& e) {
            return e.what();
        }
        return "no error";
    }

    QTemporaryDir scratch;
};
