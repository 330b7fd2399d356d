// File access shared by the grid's writers and readers: whole regular files
// only (a directory, device or pipe is refused at once), and files replaced
// through a temporary file beside them, so that a failed write leaves the old
// file as it was.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <string_view>
#include <vector>

namespace grid::fileio {

// The whole file; false when it is no regular file or cannot be read.
bool ReadRegularFile(const QString& FileName, QByteArray& Bytes);
// A file written a block at a time that replaces FileName only when Commit
// succeeds: the blocks go to a temporary file beside it, renamed over it at
// the end. Dropped without Commit (or when a write failed), the old file is
// untouched and the temporary file goes.
class NewFile {
public:
    explicit NewFile(const QString& FileName);
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    // Appends the bytes; once a write has failed, the rest are skipped.
    void Write(std::string_view Bytes);
    // True when every block was written and the file replaced.
    bool Commit();

private:
    QSaveFile file_;
    bool ok_ = false;
};

// Replaces the file with Bytes; false, and the old file untouched, on failure.
bool ReplaceFile(const QString& FileName, const QByteArray& Bytes);
// Lines split at CR LF, CR or LF; no empty line after a final line end.
std::vector<QByteArray> SplitLines(const QByteArray& Bytes);
// The old content of a regular file to append to (empty when there is none);
// false when something else stands there or it cannot be read.
bool OldContent(const QString& FileName, QByteArray& Bytes);

}  // namespace grid::fileio
