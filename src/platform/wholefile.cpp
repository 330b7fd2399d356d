#include "platform/wholefile.h"

#include <QFile>

namespace platform {

WholeFile ReadWholeFile(const QString& path, qint64 maxBytes, QByteArray& bytes, QString& error)
{
    bytes.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return WholeFile::Failed;
    }
    if (file.size() > maxBytes)
        return WholeFile::TooLarge;
    bytes = file.readAll();
    if (bytes.size() != file.size()) {  // cut short or grown while read
        error = file.errorString();
        bytes.clear();
        return WholeFile::Failed;
    }
    return WholeFile::Read;
}

}  // namespace platform
