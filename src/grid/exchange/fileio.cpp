#include "grid/exchange/fileio.h"

#include <QFile>
#include <QFileInfo>

namespace grid::fileio {

bool ReadRegularFile(const QString& FileName, QByteArray& Bytes)
{
    if (!QFileInfo(FileName).isFile())
        return false;
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Bytes = file.readAll();
    return Bytes.size() == file.size();
}

NewFile::NewFile(const QString& FileName) : file_(FileName)
{
    const QFileInfo info(FileName);
    file_.setDirectWriteFallback(false);
    ok_ = !(info.exists() && !info.isFile()) && file_.open(QIODevice::WriteOnly);
}

void NewFile::Write(std::string_view Bytes)
{
    const auto size = static_cast<qint64>(Bytes.size());
    ok_ = ok_ && file_.write(Bytes.data(), size) == size;
}

bool NewFile::Commit()
{
    if (!ok_) {
        if (file_.isOpen())
            file_.cancelWriting();
        return false;
    }
    return file_.commit();
}

bool ReplaceFile(const QString& FileName, const QByteArray& Bytes)
{
    NewFile file(FileName);
    file.Write(std::string_view(Bytes.constData(), static_cast<size_t>(Bytes.size())));
    return file.Commit();
}

std::vector<QByteArray> SplitLines(const QByteArray& Bytes)
{
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = Bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (Bytes[i] != '\r' && Bytes[i] != '\n')
            continue;
        lines.push_back(Bytes.mid(start, i - start));
        if (Bytes[i] == '\r' && i + 1 < n && Bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.push_back(Bytes.mid(start));
    return lines;
}

bool OldContent(const QString& FileName, QByteArray& Bytes)
{
    Bytes.clear();
    const QFileInfo info(FileName);
    if (!info.exists())
        return true;
    return info.isFile() && ReadRegularFile(FileName, Bytes);
}

}  // namespace grid::fileio
