// Reading a whole file into memory within a size limit, for the readers of
// files the user picks. The caller words its own messages: TooLarge leaves
// `error` alone; Failed (cannot open or read) puts the system's text in it.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

enum class WholeFile { Read, Failed, TooLarge };

WholeFile ReadWholeFile(const QString& path, qint64 maxBytes, QByteArray& bytes, QString& error);

}  // namespace platform
