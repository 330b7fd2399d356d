// Helpers shared by the backup tests: scratch folders and files, file dates,
// archives parsed and forged byte by byte, a TBackupFile wired to record its
// errors and answer its prompts, and disks changed in one drive.
#pragma once

#include "backup/backupfile.h"
#include "platform/file_attributes.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <vector>

// Readable texts in test failures.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace testing_backup {

// Runs the test process in UTC so that DOS dates are predictable.
void useUtc();

QByteArray readAll(const QString &path);
void writeFile(const QString &path, const QByteArray &data);
void setMtime(const QString &path, int64_t unixSeconds);
int64_t mtimeOf(const QString &path);
QByteArray randomBytes(int n, uint32_t seed);
// Text, zero and random runs mixed, n bytes.
QByteArray mixedBytes(int n, uint32_t seed);

// Little-endian builder for forged archives.
struct ArchiveBuilder {
    QByteArray bytes;
    ArchiveBuilder &i32(int32_t v);
    ArchiveBuilder &str(const QByteArray &s);
    ArchiveBuilder &raw(const QByteArray &s);
    ArchiveBuilder &header(const QByteArray &title, int32_t total, int32_t count);
    ArchiveBuilder &entry(const QByteArray &name, int32_t date);
    ArchiveBuilder &magic();
    ArchiveBuilder &rawBlock(const QByteArray &chunk);      // negative length
    ArchiveBuilder &zlibBlock(const QByteArray &chunk, int level = 1);
};

// One parsed block: its stored length and bytes.
struct Block {
    int32_t k;
    QByteArray data;
};
struct Entry {
    QByteArray name;
    int32_t date = 0;
    std::vector<Block> blocks;
    int64_t blockOffset = -1;  // offset of the first block length in the archive
};
struct Parsed {
    QByteArray title;
    int32_t total = 0;
    int32_t count = 0;
    std::vector<Entry> entries;
    bool ended = false;
    QByteArray nextVolume;  // "NEXT:DISKnnn" when the volume ends with a record
};
// Parses one volume; the first volume has the header. Fails the test on
// anything malformed.
Parsed parseVolume(const QByteArray &bytes, bool first = true);

// zlib helpers independent of the component.
QByteArray zlibCompress(const QByteArray &data, int level);
// Inflates one stream; ok only when it is complete and uses all the input.
bool zlibInflate(const QByteArray &stream, QByteArray &out);

// A component with the test's handlers: errors are recorded, disk prompts are
// answered from a queue (an empty queue answers Cancel), no dialog is shown.
struct Recorder {
    TBackupFile bf;
    std::vector<int32_t> errors;
    std::vector<uint16_t> disksAsked;
    std::vector<QString> diskNotes;  // DiskNote() at each prompt
    std::deque<bool> diskAnswers;
    Recorder();
};

// While one lives, every rename, removal and folder sync of the process asks
// it first: a nonzero error code fails that step.
class OnFileStep : public platform::FileStepObserver {
public:
    using Step = std::function<int(platform::FileStep step, const QString &path)>;
    explicit OnFileStep(Step step) : step_(std::move(step)), previous_(platform::setFileStepObserver(this)) {}
    ~OnFileStep() override { platform::setFileStepObserver(previous_); }
    OnFileStep(const OnFileStep &) = delete;
    OnFileStep &operator=(const OnFileStep &) = delete;
    int beforeStep(platform::FileStep step, const QString &path) override { return step_(step, path); }

private:
    Step step_;
    platform::FileStepObserver *previous_;
};

// The path of volume `number` of `archive` (the archive itself is volume 1).
QString volumePath(const QString &archive, int number);
// The time a volume's tag gives, as the messages show it; empty without a tag.
QString madeAt(const QString &volume);

using Files = std::map<QString, QByteArray>;  // bytes by path or name
// The files in `folder` that `names` matches (every one when it is empty),
// hidden ones too, by path, or by name when `byName`.
Files filesIn(const QString &folder, const QStringList &names = {}, bool byName = false);

// Disks changed in one drive: the drive (a folder) holds the files of the
// disk inserted, those that `names` matches (every file when it is empty);
// every other disk waits on a shelf, in a folder named by its label.
struct DiskDrive {
    QString path, shelf;
    QStringList names;
    QString current = "1";  // the label of the disk in the drive
    QString folderOf(const QString &label) const { return label == current ? path : shelf + "/" + label; }
    // The names of a disk's files in `dir` or where the disk lies, and their bytes by name.
    QStringList namesIn(const QString &dir) const { return QDir(dir).entryList(names, QDir::Files | QDir::Hidden); }
    QStringList files(const QString &label) const { return namesIn(folderOf(label)); }
    Files contents(const QString &label) const { return filesIn(folderOf(label), names, true); }
    // The labels of the shelf's folders (the drive's disk has one once it has been out).
    QStringList shelved() const { return QDir(shelf).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }
    // Every file on every disk, by where it lies now.
    Files everyFile() const
    {
        Files files = filesIn(path, names);
        for (const QString &label : shelved())
            files.merge(filesIn(shelf + "/" + label, names));
        return files;
    }
    // The disk in the drive goes on the shelf, under its label; `label` comes in.
    void insert(const QString &label);
};

}  // namespace testing_backup
