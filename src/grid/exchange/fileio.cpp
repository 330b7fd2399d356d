#include "grid/exchange/fileio.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

bool ReplaceFile(const QString& FileName, const QByteArray& Bytes)
{
    const QFileInfo info(FileName);
    if (info.exists() && !info.isFile())
        return false;
    QSaveFile file(FileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(Bytes) != Bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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
