#include "backup/backupfile.h"

#include "appcore/dialogs.h"
#include "backup/volumeset.h"
#include "platform/file_attributes.h"
#include "platform/longwork.h"
#include "platform/stagedfile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QScopeGuard>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <numeric>
#include <optional>

// Archive format (all integers Int32 little-endian; a string is its length
// followed by its bytes, no terminator).
//
//   header (first volume only): title length >= 0, title, total size (sum of
//     the sizes of the files, plus the file-ID text), file count (not counting
//     the file-ID entry)
//   entries: name length > 0, name (full path, or "FILE:LIST" for the optional
//     file-ID entry, which comes first), DOS date-time, one segment
//   segment: "QZ2\0", blocks, Int32 0. A block is an Int32 k and |k| bytes:
//     k > 0: one complete zlib stream holding one chunk of the file;
//     k < 0: the chunk stored raw. A chunk is at most 16,384 bytes.
//   volume record: when a volume is full, after the segment end, the string
//     "NEXT:DISK" + three digits (the next volume's number; the first volume is
//     001). The volume ends there; the next one starts with the next segment of
//     the same entry. Its file name is the first volume's with the extension
//     replaced by "." and the digits.
//   end of archive: Int32 0 in place of a name length.
//
// The file-ID entry holds one line per file: path, TAB, DOS date-time in
// decimal, "=", size in decimal, CR LF.
//
// An archive of several volumes keeps files of its own beside its volumes
// (volumeset.cpp describes them); the volumes keep this layout.
//
// A restore that passes over no entry checks the sizes: the bytes restored
// plus the file-ID text must make the header's total (unless the writer
// clamped it at INT32_MAX), and with a file-ID entry each file's bytes must
// match its line. Nothing else in the format checks a block's length.

namespace {

constexpr char kMagic[4] = {'Q', 'Z', '2', '\0'};
const QByteArray kVolumeRecord = QByteArrayLiteral("NEXT:DISK");
const QByteArray kFileListName = QByteArrayLiteral("FILE:LIST");
const QString kStreamName = QStringLiteral(":STREAM");
// A block is started only while the volume position is below MaxSize - kReserve:
// room for one block (4 + 16,384), the segment end and the volume record.
constexpr int64_t kReserve = 100 + TBackupFile::kChunk;

int zlibLevel(TCompressionLevel level)
{
    switch (level) {
    case clFastest: return 1;
    case clNone: return 0;
    case clMax: return 9;
    case clDefault: break;
    }
    return Z_DEFAULT_COMPRESSION;
}

// The file-ID text as a restore reads it; refuses to grow past a size no
// list of real files reaches, so a damaged archive cannot fill the memory.
class FileListBuffer : public QBuffer {
public:
    static constexpr qint64 kLimit = 64 << 20;
    FileListBuffer() { open(QIODevice::WriteOnly); }

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        return size() + len > kLimit ? -1 : QBuffer::writeData(data, len);
    }
};

// The lines of a file-ID text without their line ends, empty ones left out.
QList<QByteArray> fileListLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

// File sizes by archived path from a file-ID text; a line that is not
// "path TAB date=size" makes the whole list unusable (false).
bool parseFileList(const QByteArray &text, QHash<QByteArray, int64_t> &sizes)
{
    for (const QByteArray &line : fileListLines(text)) {
        const qsizetype tab = line.lastIndexOf('\t'), eq = line.lastIndexOf('=');
        bool ok = tab > 0 && eq > tab;
        const int64_t size = ok ? line.mid(eq + 1).toLongLong(&ok) : 0;
        if (!ok || size < 0)
            return false;
        sizes.insert(line.left(tab), size);
    }
    return true;
}

// Windows-style wildcard match of one file name: "*" any run, "?" one
// character, "*.*" everything.
bool wildcardMatch(QStringView pattern, QStringView name)
{
    if (pattern == u"*.*")
        return true;
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool hasWildcard(const QString &s) { return s.contains(u'*') || s.contains(u'?'); }

QString fullPath(const QString &path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

int32_t fileDosDate(const QFileInfo &fi)
{
    return dosDateTimeOf(fi.lastModified().toSecsSinceEpoch());
}

}  // namespace

QString backupErrorText(int32_t code)
{
    switch (code) {
    case beCannotReadFile: return QStringLiteral("Cannot read file");
    case beOverwriteFailed: return QStringLiteral("Overwriting file failed");
    case beCannotReadArchive: return QStringLiteral("Cannot read archive");
    case beCannotWriteArchive: return QStringLiteral("Cannot write to archive");
    case beInvalidArchive: return QStringLiteral("Invalid archive type");
    case beCompression: return QStringLiteral("Compression error");
    case beTempFile: return QStringLiteral("Cannot create temporary file to save the file IDs");
    default: return QString();
    }
}

int32_t dosDateTimeOf(int64_t unixSeconds)
{
    const time_t t = static_cast<time_t>(unixSeconds);
    struct tm tm {};
    if (!localtime_r(&t, &tm))
        tm = {0, 0, 0, 1, 0, 80, 0, 0, 0, 0, nullptr};
    int year = tm.tm_year + 1900;
    if (year < 1980)
        tm = {0, 0, 0, 1, 0, 80, 0, 0, 0, 0, nullptr}, year = 1980;
    else if (year > 2107)
        tm = {58, 59, 23, 31, 11, 207, 0, 0, 0, 0, nullptr}, year = 2107;
    const uint32_t date = (uint32_t(year - 1980) << 9) | (uint32_t(tm.tm_mon + 1) << 5) | uint32_t(tm.tm_mday);
    const uint32_t time = (uint32_t(tm.tm_hour) << 11) | (uint32_t(tm.tm_min) << 5) | uint32_t(tm.tm_sec / 2);
    return static_cast<int32_t>((date << 16) | time);
}

int64_t unixSecondsOfDosDateTime(int32_t dos)
{
    const uint32_t v = static_cast<uint32_t>(dos);
    struct tm tm {};
    tm.tm_year = int((v >> 25) & 0x7F) + 80;
    tm.tm_mon = int((v >> 21) & 0x0F) - 1;
    tm.tm_mday = int((v >> 16) & 0x1F);
    tm.tm_hour = int((v >> 11) & 0x1F);
    tm.tm_min = int((v >> 5) & 0x3F);
    tm.tm_sec = int(v & 0x1F) * 2;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&tm));
}

// ---------------------------------------------------------------------------
// zlib, one stream per block. The streams are made once per component and
// reset between blocks, which gives the same bytes as a fresh stream.

struct TBackupFile::Codec {
    z_stream def {};
    z_stream inf {};
    bool defReady = false;
    bool infReady = false;
    int defLevel = 0;
    char in[kChunk];
    char out[kChunk];
    // Restored chunks are gathered here and written in larger pieces.
    static constexpr int kBatch = 64 * kChunk;  // 1 MiB
    std::unique_ptr<char[]> batch = std::make_unique<char[]>(kBatch);
    int batched = 0;

    // Room for one more chunk at the end of the batch; restored chunks are
    // read or inflated straight into it.
    char *room(QIODevice &dst)
    {
        if (batched + kChunk > kBatch && !flush(dst))
            return nullptr;
        return batch.get() + batched;
    }
    bool flush(QIODevice &dst)
    {
        const int n = batched;
        batched = 0;
        return n == 0 || dst.write(batch.get(), n) == n;
    }

    ~Codec()
    {
        if (defReady)
            deflateEnd(&def);
        if (infReady)
            inflateEnd(&inf);
    }

    enum Result { Compressed, DoesNotFit, Failed };

    // Compresses in[0..n) into out; outLen gets the stream's length.
    Result compress(int level, int n, int &outLen)
    {
        if (defReady && defLevel != level) {
            deflateEnd(&def);
            defReady = false;
        }
        if (!defReady) {
            def = z_stream {};
            if (deflateInit(&def, level) != Z_OK)
                return Failed;
            defReady = true;
            defLevel = level;
        } else if (deflateReset(&def) != Z_OK) {
            return Failed;
        }
        def.next_in = reinterpret_cast<Bytef *>(in);
        def.avail_in = static_cast<uInt>(n);
        def.next_out = reinterpret_cast<Bytef *>(out);
        def.avail_out = kChunk;
        const int r = deflate(&def, Z_FINISH);
        if (r == Z_STREAM_END) {
            outLen = int(kChunk - def.avail_out);
            return Compressed;
        }
        return r == Z_OK ? DoesNotFit : Failed;
    }

    // Inflates src[0..n) into dst. The block must be exactly one complete
    // stream whose content fits in one chunk. It is inflated in one call
    // (Z_FINISH), so zlib keeps no copy of the output as a window.
    bool expand(const char *src, int n, char *dst, int &outLen)
    {
        if (!infReady) {
            inf = z_stream {};
            if (inflateInit(&inf) != Z_OK)
                return false;
            infReady = true;
        } else if (inflateReset(&inf) != Z_OK) {
            return false;
        }
        inf.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(src));
        inf.avail_in = static_cast<uInt>(n);
        inf.next_out = reinterpret_cast<Bytef *>(dst);
        inf.avail_out = kChunk;
        const int r = inflate(&inf, Z_FINISH);
        if (r != Z_STREAM_END || inf.avail_in != 0)
            return false;
        outLen = int(kChunk - inf.avail_out);
        return true;
    }
};

// ---------------------------------------------------------------------------
// One volume of an archive: a file of ours, or the caller's stream (never
// closed here).

class TBackupFile::Volume {
public:
    QIODevice *dev = nullptr;
    QString name;  // the volume file's name; empty for a stream

    bool openFile(const QString &fileName, QIODevice::OpenMode mode)
    {
        file_ = std::make_unique<QFile>(fileName);
        if (!file_->open(mode)) {
            file_.reset();
            dev = nullptr;
            return false;
        }
        dev = file_.get();
        name = fileName;
        size_ = file_->isReadable() ? file_->size() : -1;
        return true;
    }
    void useStream(QIODevice *stream)
    {
        dev = stream;
        size_ = -1;
    }
    bool isStream() const { return !file_; }
    // Closes a volume file of ours; false when written bytes did not reach it.
    bool close()
    {
        if (!file_)
            return true;
        const bool ok = !file_->isWritable() || (file_->flush() && file_->error() == QFileDevice::NoError);
        file_->close();
        file_.reset();
        dev = nullptr;
        return ok;
    }

protected:
    std::unique_ptr<QFile> file_;
    int64_t size_ = -1;  // size of a volume file of ours opened for reading
};

// The archive being written. Each volume file is staged beside its name
// (platform/stagedfile.h) and written whole and synced. An archive of one
// volume takes its name only once it is complete, so a run that fails or is
// stopped leaves the file of that name as it was. An archive of several
// volumes is a set (volumeset.h): each full volume goes in place, with its
// tag, before the next disk is asked for, so that it is whole on the disk
// it was written to. The journal notes the set as unfinished before its
// first volume replaces anything, and each volume before it is placed (its
// disk may leave the drive at any prompt after); the set is noted whole
// once its last volume is in place. What each volume replaced is kept
// aside till the set is whole, and goes from the disks as they are seen; a run that
// fails or is stopped puts back what it replaced on the disk in the drive,
// and the journal keeps the rest noted unfinished for the next backup to
// put back.
class TBackupFile::Output {
public:
    QIODevice *dev = nullptr;
    QString name;  // the final name of the volume being written
    uint16_t volume = 1;
    QStringList whole;  // the files written whole into the archive
    bool notSynced = false;  // something is in place whose folder could not be synced

    Output(const QString &firstVolume, const QString &journalFolder, const volumeset::Pump &pump)
        : first_(firstVolume), journal_(journalFolder), pump_(pump)
    {
    }
    volumeset::Journal &journal() { return journal_; }
    const QByteArray &set() const { return set_; }
    const QString &firstVolume() const { return first_; }

    bool create(const QString &fileName)
    {
        staged_ = std::make_unique<platform::StagedFile>(fileName);
        const bool opened = staged_->open(QIODevice::WriteOnly);
        dev = opened ? staged_.get() : nullptr;
        name = fileName;
        number_ = volume;
        size_ = 0;
        digest_.reset();
        return opened;
    }
    void useStream(QIODevice *stream)
    {
        dev = stream;
        stream_ = true;
    }
    bool isStream() const { return stream_; }
    // The volume being written is whole on the disk.
    bool closeVolume()
    {
        dev = nullptr;
        return stream_ || !staged_ || staged_->finish();
    }
    // A full volume of a set goes in place; the first one starts the set.
    // Its disk is noted in the set's record before anything on it changes,
    // so that whatever a kill leaves there is put right by the next backup
    // that sees the disk, wherever the drive is then.
    bool placeVolume()
    {
        const bool first = set_.isEmpty();
        if (first) {
            set_ = volumeset::newSetId();
            made_ = QDateTime::currentSecsSinceEpoch();
        }
        QList<int> away(number_);
        std::iota(away.begin(), away.end(), 1);
        if (!journal_.note({set_, QFileInfo(first_).absoluteFilePath(), away}, first)) {
            if (first)
                set_.clear();
            return false;
        }
        const volumeset::Tag tag {set_, number_, made_, size_, digest_.result()};
        volumeset::Placing placing;
        const bool placed = volumeset::place(*staged_, tag, placing);
        notSynced = notSynced || placing.notSynced;
        noRoomToPlace_ = placing.outOfSpace || staged_->outOfSpace();
        staged_.reset();
        return placed;
    }
    // The complete archive takes its place.
    bool commit()
    {
        if (stream_)
            return true;
        if (set_.isEmpty()) {
            if (!staged_->commit())
                return false;
            notSynced = notSynced || staged_->notSynced();
            // a tag left beside it speaks for the archive it replaced, which
            // was kept till then; it fits none of the new bytes meanwhile
            platform::removeFile(volumeset::tagPath(staged_->placeName()));
            staged_.reset();
            return true;
        }
        if (!placeVolume() || !journal_.whole(set_))
            return false;
        notSynced = notSynced || journal_.notSynced();
        set_.clear();
        volumeset::settleArchive(first_, journal_, pump_);  // what the whole set replaced goes where it is seen
        return true;
    }
    // Removes the staged volume and puts back what an unfinished set
    // replaced where it can be seen.
    void discard()
    {
        dev = nullptr;
        staged_.reset();
        if (set_.isEmpty())
            return;
        volumeset::settleArchive(first_, journal_, pump_);
        set_.clear();
    }
    bool outOfSpace() const { return noRoomToPlace_ || (staged_ && staged_->outOfSpace()); }
    // Why the staged volume could not be made or written, as the system says it.
    QString failure() const { return staged_ ? staged_->errorString() : QString(); }
    int64_t pos() const { return dev->pos(); }
    bool int32(int32_t v)
    {
        char b[4];
        qToLittleEndian<qint32>(v, b);
        return bytes(b, 4);
    }
    bool bytes(const char *p, int64_t n)
    {
        if (!dev || dev->write(p, n) != n)
            return false;
        if (!stream_) {
            digest_.addData(QByteArrayView(p, qsizetype(n)));
            size_ += n;
        }
        return true;
    }
    bool string(const QByteArray &s) { return int32(int32_t(s.size())) && bytes(s.constData(), s.size()); }

private:
    QString first_;
    volumeset::Journal journal_;
    const volumeset::Pump &pump_;
    std::unique_ptr<platform::StagedFile> staged_;
    int number_ = 1;  // of the staged volume, or of the one placed last
    int64_t size_ = 0;
    QCryptographicHash digest_ {QCryptographicHash::Blake2b_256};
    QByteArray set_;  // of the archive, once its first volume is in place
    int64_t made_ = 0;
    bool stream_ = false;
    bool noRoomToPlace_ = false;
};

// The archive being read. No length taken from the archive is trusted: reads
// never allocate more than the data that is actually there.
class TBackupFile::Input : public Volume {
public:
    // Our own volume files are read ahead in large pieces; a caller's stream
    // is read no further than the archive goes.
    bool open(const QString &fileName)
    {
        ahead_.reset();
        aheadPos_ = aheadLen_ = 0;
        if (!openFile(fileName, QIODevice::ReadOnly | QIODevice::Unbuffered))
            return false;
        ahead_ = std::make_unique<char[]>(kAhead);
        return true;
    }
    void useStream(QIODevice *stream)
    {
        Volume::useStream(stream);
        ahead_.reset();
        aheadPos_ = aheadLen_ = 0;
    }

    // Bytes left, or -1 when the device cannot tell.
    int64_t remaining() const
    {
        if (!dev || dev->isSequential())
            return -1;
        return (size_ >= 0 ? size_ : dev->size()) - dev->pos() + (aheadLen_ - aheadPos_);
    }
    bool fits(int64_t n) const
    {
        const int64_t r = remaining();
        return r < 0 || n <= r;
    }
    // The next n bytes where they lie in the read-ahead buffer, taken as
    // read; null (and nothing read) when they are not all there.
    const char *view(int64_t n)
    {
        if (!ahead_ || aheadLen_ - aheadPos_ < n)
            return nullptr;
        const char *p = ahead_.get() + aheadPos_;
        aheadPos_ += n;
        return p;
    }
    bool raw(char *p, int64_t n)
    {
        while (n > 0) {
            if (aheadPos_ < aheadLen_) {
                const int64_t part = std::min(n, aheadLen_ - aheadPos_);
                memcpy(p, ahead_.get() + aheadPos_, size_t(part));
                aheadPos_ += part;
                p += part;
                n -= part;
                continue;
            }
            if (!ahead_ || n >= kAhead) {
                const int64_t r = dev->read(p, n);
                if (r <= 0)
                    return false;
                p += r;
                n -= r;
                continue;
            }
            aheadPos_ = 0;
            aheadLen_ = std::max<int64_t>(dev->read(ahead_.get(), kAhead), 0);
            if (aheadLen_ == 0)
                return false;
        }
        return true;
    }
    bool int32(int32_t &v)
    {
        char b[4];
        if (!dev || !raw(b, 4))
            return false;
        v = qFromLittleEndian<qint32>(b);
        return true;
    }
    // Reads n bytes, growing the buffer only as data arrives.
    bool bytes(QByteArray &out, int64_t n)
    {
        out.clear();
        if (n < 0 || !fits(n))
            return false;
        constexpr int64_t step = 1 << 16;
        while (out.size() < n) {
            const int64_t part = std::min<int64_t>(step, n - out.size());
            const qsizetype at = out.size();
            out.resize(at + part);
            if (!raw(out.data() + at, part))
                return false;
        }
        return true;
    }
    bool skip(int64_t n)
    {
        if (!fits(n))
            return false;
        const int64_t buffered = std::min(n, aheadLen_ - aheadPos_);
        aheadPos_ += buffered;
        n -= buffered;
        if (n == 0)
            return true;
        if (!dev->isSequential())
            return dev->seek(dev->pos() + n);
        char sink[4096];
        while (n > 0) {
            const int64_t part = std::min<int64_t>(n, sizeof sink);
            if (!raw(sink, part))
                return false;
            n -= part;
        }
        return true;
    }

private:
    static constexpr int64_t kAhead = 1 << 20;
    std::unique_ptr<char[]> ahead_;
    int64_t aheadPos_ = 0;
    int64_t aheadLen_ = 0;
};

// ---------------------------------------------------------------------------

TBackupFile::TBackupFile()
    : codec_(std::make_unique<Codec>())
{
    ProcessMessages = [this] {
        if (!QCoreApplication::instance())
            return;
        if (!work_)
            work_ = std::make_unique<platform::LongWork>();
        work_->Pump();
    };
    ShowErrorBox = [](const QString &text) { platform::ShowMessage(text, nullptr, platform::MessageKind::Error); };
    AskDiskBox = [](const QString &text) { return AskOkCancel(text); };
}

TBackupFile::~TBackupFile() = default;

void TBackupFile::SetBackupMode(TBackupMode mode)
{
    if (mode == backupMode_)
        return;
    backupMode_ = mode;
    if (mode == bmIncremental)
        SetArchiveFlag = true;
}

void TBackupFile::fail(int32_t code)
{
    if (errorCode_ == 0)
        errorCode_ = code;
    continue_ = false;
}

void TBackupFile::failWrite()
{
    writeFailed_ = writeFailed_ || errorCode_ == 0;
    fail(beCannotReadFile);
}

int TBackupFile::percentDone() const
{
    if (totalSize_ <= 0)
        return 0;
    const double p = std::round(double(bytesDone_) * 100.0 / double(totalSize_));
    return int(std::clamp(p, 0.0, 100.0));
}

void TBackupFile::progress(const QString &file, int percent)
{
    if (OnProgress)
        OnProgress(*this, file, percent, continue_);
}

int TBackupFile::CompressionRate() const
{
    if (totalSize_ <= 0)
        return 0;
    return 100 - int(std::lround(double(archiveBytes_) / double(totalSize_) * 100.0));
}

void TBackupFile::MessageError(int32_t code)
{
    QString text = backupErrorText(code);
    if (code == beCannotWriteArchive && diskFull_)
        text = QStringLiteral("Cannot write to archive: the disk holding %1 is full").arg(archiveFolder_);
    else if (code == errorCode_ && !failureText_.isEmpty())
        text = failureText_;
    if (OnError)
        OnError(*this, code, text);
    else if (ShowErrorBox)
        ShowErrorBox(text);
}

// The end of a Backup or Restore: progress at 100, the first error told.
void TBackupFile::endRun()
{
    currentFile_.clear();
    progress(QString(), 100);
    busy_ = false;
    work_.reset();
    if (errorCode_ != 0)
        MessageError(errorCode_);
}

bool TBackupFile::askForDisk(uint16_t diskId)
{
    bool cont = true;
    if (OnNeedDisk)
        OnNeedDisk(*this, diskId, cont);
    else if (AskDiskBox)
        cont = AskDiskBox(QStringLiteral("Please insert disk %1 and click OK to continue.").arg(diskId) +
                          (diskNote_.isEmpty() ? QString() : u'\n' + diskNote_));
    else
        cont = false;
    if (!cont) {
        continue_ = false;
        cancelled_ = true;
    }
    return cont;
}

QString TBackupFile::VolumeDigits(uint16_t volume)
{
    return (QStringLiteral("00") + QString::number(volume)).right(3);
}

QString TBackupFile::VolumeName(const QString &name, const QString &digits)
{
    const qsizetype slash = name.lastIndexOf(u'/');
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > slash ? name.left(dot) : name;
    return stem + u'.' + digits;
}

// ---------------------------------------------------------------------------
// File list

QStringList TBackupFile::ExpandFileList(const QStringList &lines, const QString &archiveName) const
{
    const QString archiveFull =
        archiveName.isEmpty() || archiveName == kStreamName ? QString() : fullPath(archiveName);
    QStringList out;
    QSet<QString> seen;
    for (const QString &line : lines)
        expandLine(line, out, seen, archiveFull);
    return out;
}

void TBackupFile::expandLine(const QString &line, QStringList &out, QSet<QString> &seen,
                             const QString &archiveFull) const
{
    QString spec = line.trimmed();
    // Only a trailing " /s" token asks for subdirectories: paths such as
    // "/srv/x" contain "/s" too.
    bool recurse = false;
    if (spec.size() > 2 && spec.endsWith(QLatin1String("/s")) && spec[spec.size() - 3].isSpace()) {
        recurse = true;
        spec = spec.left(spec.size() - 2).trimmed();
    }
    if (spec.isEmpty())
        return;
    const qsizetype slash = spec.lastIndexOf(u'/');
    const QString dirPart = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : spec.left(slash);
    const QString pattern = spec.mid(slash + 1);
    const QDir dir(dirPart);
    const QString dirFull = QDir::cleanPath(dir.absolutePath());
    const QString prefix = dirFull.endsWith(u'/') ? dirFull : dirFull + u'/';

    if (recurse) {
        // Symbolic links to directories are not followed: they could loop.
        const QStringList subdirs = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden |
                                                      QDir::NoSymLinks, QDir::Name);
        for (const QString &sub : subdirs)
            expandLine(prefix + sub + u'/' + pattern + QStringLiteral(" /s"), out, seen, archiveFull);
    }

    auto add = [&](const QString &full) {
        if (seen.contains(full))
            return;
        if (!archiveFull.isEmpty() && (full == archiveFull || platform::sameFile(full, archiveFull)))
            return;
        if (backupMode_ == bmIncremental && !platform::archiveFlagSet(full))
            return;
        seen.insert(full);
        out.append(full);
    };
    if (pattern.isEmpty())
        return;
    if (!hasWildcard(pattern)) {
        const QFileInfo fi(prefix + pattern);
        if (fi.exists() && !fi.isDir())
            add(prefix + pattern);
        return;
    }
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : names)
        if (wildcardMatch(pattern, name))
            add(prefix + name);
}

// ---------------------------------------------------------------------------
// Writing

bool TBackupFile::BackupToStream(const QStringList &files, QIODevice *stream)
{
    if (!stream)
        return false;
    targetStream_ = stream;
    MaxSize = 0;
    return Backup(files, kStreamName);
}

bool TBackupFile::Backup(const QStringList &files, const QString &archiveName)
{
    if (busy_)
        return false;
    errorCode_ = 0;
    failureText_.clear();
    cancelled_ = false;
    diskFull_ = false;
    notSynced_ = false;
    busy_ = true;
    const bool toStream = archiveName == kStreamName;
    archiveFolder_ = toStream ? QString() : QFileInfo(archiveName).absolutePath();
    QStringList names = ExpandFileList(files, archiveName);
    fileCount_ = int32_t(names.size());

    continue_ = true;
    progress(QString(), 0);
    totalSize_ = 0;
    filesDone_ = 0;

    QByteArray idText;
    for (const QString &name : names) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        totalSize_ += f.size();
        if (SaveFileID)
            idText += name.toUtf8() + '\t' + QByteArray::number(fileDosDate(QFileInfo(f))) + '=' +
                      QByteArray::number(f.size()) + "\r\n";
    }
    if (SaveFileID)
        totalSize_ += idText.size();

    bool result = false;
    Output out(archiveName, journalFolderFor(archiveName), ProcessMessages);
    writing_ = &out;
    if (!toStream)
        volumeset::settleArchive(archiveName, out.journal(), ProcessMessages);  // what failed or killed runs left
    bool opened = toStream ? (targetStream_ != nullptr) : out.create(archiveName);
    if (toStream && opened)
        out.useStream(targetStream_);
    const QByteArray title = BackupTitle.toUtf8();
    if (!opened || !out.string(title) || !out.int32(int32_t(std::min<int64_t>(totalSize_, INT32_MAX))) ||
        !out.int32(fileCount_)) {
        fail(beCannotWriteArchive);
    }
    bytesDone_ = 0;
    archiveBytes_ = 0;

    if (opened && continue_) {
        QBuffer idEntry(&idText);
        writeFileEntries(out, names, SaveFileID ? &idEntry : nullptr);
        if (continue_) {
            if (out.int32(0))
                result = true;
            else
                fail(beCannotWriteArchive);
        }
    }
    if (result && !(out.closeVolume() && out.commit())) {
        fail(beCannotWriteArchive);
        result = false;
    }
    diskFull_ = errorCode_ == beCannotWriteArchive && out.outOfSpace();
    notSynced_ = result && out.notSynced;
    if (result) {
        // only a file that is wholly in an archive in place loses its mark, so
        // that a later incremental run still takes one that failed
        for (const QString &name : out.whole)
            platform::clearArchiveFlag(name);
    }
    out.discard();
    writing_ = nullptr;
    endRun();
    return result && errorCode_ == 0;
}

// The volume `number` of the archive, links followed, and the journal a
// Backup of it keeps.
QString TBackupFile::volumePlace(const QString &archiveName, uint16_t number) const
{
    return platform::linkedPath(number == 1 ? archiveName : VolumeName(archiveName, VolumeDigits(number)));
}

QString TBackupFile::journalFolderFor(const QString &archiveName) const
{
    return JournalFolder.isEmpty() ? QFileInfo(platform::linkedPath(archiveName)).absolutePath() : JournalFolder;
}

TBackupFile::PreviousFiles TBackupFile::PreviousVolume(const QString &archiveName, uint16_t number)
{
    const auto endWork = qScopeGuard([this] { endWorkOutsideRun(); });
    const QString volume = volumePlace(archiveName, number);
    const QByteArray writing = writing_ ? writing_->set() : QByteArray();
    volumeset::Journal journal(journalFolderFor(archiveName));
    volumeset::settleVolume(volume, number, archiveName, journal, writing, ProcessMessages);
    PreviousFiles previous;  // bytes of volumes: tags left alone take no room worth a question
    const QString tags = volumeset::tagPath(volume);  // in place, and kept aside as "<tag>.<set>.old"
    for (const QString &file : volumeset::filesOfOthers(volume, writing))
        previous.bytes += file.startsWith(tags) ? 0 : QFileInfo(file).size();
    previous.sets = volumeset::setsOfOthers(volume, writing);
    return previous;
}

bool TBackupFile::ReplacePreviousVolume(const QString &archiveName, uint16_t number, QString *why)
{
    volumeset::Journal journal(journalFolderFor(archiveName));
    int error = 0;
    const bool replaced = volumeset::replaceOthers(volumePlace(archiveName, number), archiveName, journal,
                                                   writing_ ? writing_->set() : QByteArray(), error);
    if (!replaced && why)
        *why = QString::fromLocal8Bit(strerror(error));
    return replaced;
}

// What a call outside a run pumped goes with it: the user's input is taken again.
void TBackupFile::endWorkOutsideRun()
{
    if (!busy_)
        work_.reset();
}

bool TBackupFile::writeFileEntries(Output &out, const QStringList &names, QIODevice *idEntry)
{
    const qsizetype count = names.size() + (idEntry ? 1 : 0);
    for (qsizetype i = 0; i < count && continue_; ++i) {
        const bool isId = idEntry && i == 0;
        const QString name = isId ? QString() : names[i - (idEntry ? 1 : 0)];
        QFile file(name);
        QIODevice *in = isId ? idEntry : &file;
        if (!isId && !QFileInfo::exists(name)) {
            // Gone since the list was made: the archive could not hold the
            // count its header gives.
            fail(beCannotReadFile);
            break;
        }
        currentFile_ = isId ? QString::fromLatin1(kFileListName) : name;
        const QByteArray entryName = isId ? kFileListName : name.trimmed().toUtf8();
        if (!out.string(entryName) || !in->open(QIODevice::ReadOnly)) {
            fail(beCannotReadFile);
            break;
        }
        const int32_t date = isId ? dosDateTimeOf(QDateTime::currentSecsSinceEpoch()) : fileDosDate(QFileInfo(file));
        if (!out.int32(date)) {
            fail(beCannotReadFile);
            break;
        }
        int64_t remaining = in->size();
        do {
            writeSegment(out, *in, remaining);
        } while (remaining > 0 && continue_);
        const bool complete = remaining == 0 && continue_;
        in->close();
        if (!isId) {
            ++filesDone_;
            if (SetArchiveFlag && complete)
                out.whole.append(name);
        }
    }
    return continue_;
}

bool TBackupFile::writeSegment(Output &out, QIODevice &in, int64_t &remaining)
{
    if (!out.bytes(kMagic, 4)) {
        fail(beCannotWriteArchive);
        return false;
    }
    archiveBytes_ += 4;
    const bool limited = MaxSize != 0 && !out.isStream();
    Codec &c = *codec_;
    while (remaining > 0 && continue_ && (!limited || out.pos() < int64_t(MaxSize) - kReserve)) {
        const int want = int(std::min<int64_t>(remaining, kChunk));
        int got = 0;
        while (got < want) {
            const int64_t r = in.read(c.in + got, want - got);
            if (r <= 0)
                break;
            got += int(r);
        }
        if (got < want) {
            // The file is shorter than when it was opened: the archive would
            // not hold it whole.
            fail(beCannotReadFile);
            break;
        }
        remaining -= got;
        bytesDone_ += got;
        int len = 0;
        const Codec::Result r = c.compress(zlibLevel(CompressionLevel), got, len);
        bool written = true;
        if (r == Codec::Compressed) {
            written = out.int32(len) && out.bytes(c.out, len);
        } else if (r == Codec::DoesNotFit) {
            len = got;
            written = out.int32(-got) && out.bytes(c.in, got);
        } else {
            fail(beCompression);
            break;
        }
        if (!written) {
            fail(beCannotWriteArchive);
            break;
        }
        archiveBytes_ += len + 4;
        if (ProcessMessages)
            ProcessMessages();
        progress(currentFile_, percentDone());
    }
    if (!out.int32(0)) {
        fail(beCannotWriteArchive);
        return false;
    }
    if (remaining > 0 && continue_)
        return nextVolume(out);
    return continue_;
}

bool TBackupFile::nextVolume(Output &out)
{
    if (out.isStream()) {  // a caller's stream never spans volumes
        fail(beCannotWriteArchive);
        return false;
    }
    ++out.volume;
    const QString digits = VolumeDigits(out.volume);
    const QString next = VolumeName(out.name, digits);
    // the full volume is whole on its disk before another disk is asked for
    if (!out.string(kVolumeRecord + digits.toLatin1()) || !out.closeVolume() || !out.placeVolume()) {
        fail(beCannotWriteArchive);
        return false;
    }
    // Ask until the answer is Cancel or the disk put in can take the new
    // volume: room for at least one block (the prompt's handler may measure
    // the free space again, or refuse the disk), and a volume file made there.
    diskNote_.clear();
    for (;;) {
        diskRefusal_.clear();
        if (!askForDisk(out.volume) || !continue_)
            return false;
        if (!diskRefusal_.isEmpty()) {
            diskNote_ = diskRefusal_;
            continue;
        }
        if (!VolumeTakesABlock(MaxSize)) {
            diskNote_ = noRoomNote();
            continue;
        }
        // what an earlier run left on this disk is put right before anything replaces it
        volumeset::settleVolume(platform::linkedPath(next), out.volume, out.firstVolume(), out.journal(), out.set(),
                                ProcessMessages);
        if (out.create(next))
            break;
        diskNote_ = out.outOfSpace()
                        ? noRoomNote()
                        : QStringLiteral("The disk in the drive cannot be written to (%1).").arg(out.failure());
    }
    diskNote_.clear();
    return true;
}

QString TBackupFile::noRoomNote()
{
    return QStringLiteral("There is no room for it on the disk in the drive.");
}

bool TBackupFile::VolumeTakesABlock(int32_t maxSize)
{
    return maxSize == 0 || int64_t(maxSize) - kReserve > 4;
}

void TBackupFile::RefuseDisk(const QString &why)
{
    diskRefusal_ = why;
}

// ---------------------------------------------------------------------------
// Reading

bool TBackupFile::DeCompress(QIODevice &source, QIODevice *destination, bool write)
{
    Input in;
    in.useStream(&source);
    return readSegment(in, destination, write);
}

bool TBackupFile::readSegment(Input &in, QIODevice *destination, bool write, bool quiet)
{
    char magic[4];
    if (!in.raw(magic, 4) || memcmp(magic, kMagic, 4) != 0) {
        fail(beInvalidArchive);
        return false;
    }
    write = write && destination;
    Codec &c = *codec_;
    c.batched = 0;
    while (continue_) {
        int32_t k = 0;
        if (!in.int32(k)) {
            fail(beCannotReadFile);
            return false;
        }
        if (k == 0) {
            if (write && !c.flush(*destination)) {
                failWrite();
                return false;
            }
            return true;
        }
        if (k == INT32_MIN || std::abs(k) > kChunk) {
            fail(beCannotReadFile);
            return false;
        }
        const int n = std::abs(k);
        if (write) {
            char *dst = c.room(*destination);
            const char *src = dst && k > 0 ? in.view(n) : nullptr;
            if (!dst) {
                failWrite();
                return false;
            }
            if (!src && (!in.fits(n) || !in.raw(k > 0 ? c.in : dst, n))) {
                fail(beCannotReadFile);
                return false;
            }
            int len = n;
            if (k > 0 && !c.expand(src ? src : c.in, n, dst, len)) {
                fail(beCompression);
                return false;
            }
            c.batched += len;
            if (!quiet) {
                bytesDone_ += len;
                progress(currentFile_, percentDone());
            }
        } else if (!in.skip(n)) {
            fail(beCannotReadFile);
            return false;
        }
        if (ProcessMessages)
            ProcessMessages();
    }
    return false;
}

QString TBackupFile::restoreTarget(const QString &archived, const QString &targetDir, bool &refused) const
{
    refused = false;
    if (targetDir.isEmpty())
        return archived;
    QString rel;
    if (RestoreFullPath) {
        // Rebuild the path below the target: drop a drive prefix ("C:") and
        // the leading separators; archives from Windows use "\".
        rel = archived;
        rel.replace(u'\\', u'/');
        if (rel.size() >= 2 && rel[1] == u':' && rel[0].isLetter())
            rel.remove(0, 2);
        while (rel.startsWith(u'/'))
            rel.remove(0, 1);
    } else {
        const qsizetype cut = std::max(archived.lastIndexOf(u'/'), archived.lastIndexOf(u'\\'));
        rel = archived.mid(cut + 1);
    }
    // Refuse anything that would leave the target directory or name no file.
    int depth = 0;
    const QStringList parts = rel.split(u'/');
    for (const QString &part : parts) {
        if (part == u"..")
            --depth;
        else if (!part.isEmpty() && part != u".")
            ++depth;
        if (depth < 0)
            break;
    }
    const QString last = parts.isEmpty() ? QString() : parts.last();
    if (depth <= 0 || last.isEmpty() || last == u"." || last == u"..") {
        refused = true;
        return QString();
    }
    return QDir::cleanPath(targetDir + rel);
}

// Opens the archive to read: the caller's stream for ":STREAM", else the named
// file. Missing: no stream was given, or there is no such file.
TBackupFile::OpenResult TBackupFile::openArchive(Input &in, const QString &archiveName)
{
    if (archiveName == kStreamName) {
        if (!sourceStream_)
            return OpenResult::Missing;
        in.useStream(sourceStream_);
        return OpenResult::Opened;
    }
    if (!QFileInfo::exists(archiveName))
        return OpenResult::Missing;
    return in.open(archiveName) ? OpenResult::Opened : OpenResult::Unreadable;
}

// ---------------------------------------------------------------------------
// Restoring. Each restored entry goes to a temporary file beside its target.
// The targets are replaced only once the end marker has been read and the
// sizes add up, so a damaged or cut archive leaves every one of them as it was.
//
// The first volume read is the newest copy at its name (volumeset.h) that
// the journal does not note unfinished or replaced. Each disk put in at a
// prompt tells which volumes of which sets it holds; when the disk asked for
// holds no copy of the volume wanted, and an older copy of the first volume
// belongs to a backup whose volumes the disks have shown so far (or one
// that ends on its first volume), the user is asked for Disk #1 again for
// it, and the restore starts over from it.

namespace {

// The volumes of a set that the disks put in have shown; `last`, when
// known, the one that ends the archive.
struct SeenVolumes {
    QSet<int> volumes;
    int last = 0;
    int64_t made = 0;  // as its tags say, only shown
};

// Whether a volume ends its archive: a volume that goes on ends with its
// volume record (length 12, "NEXT:DISK", three digits).
bool endsArchive(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 16 || !f.seek(f.size() - 16))
        return false;
    const QByteArray tail = f.read(16);
    return tail.size() == 16 && !(qFromLittleEndian<qint32>(tail.constData()) == 12 && tail.mid(4, 9) == kVolumeRecord);
}

void noteSeen(QHash<QByteArray, SeenVolumes> &seen, const std::vector<volumeset::Copy> &copies, int number)
{
    for (const volumeset::Copy &c : copies) {
        if (!c.tag || c.tag->volume != number)
            continue;
        SeenVolumes &s = seen[c.tag->set];
        s.volumes.insert(number);
        s.made = c.tag->made;
        if (endsArchive(c.file))
            s.last = number;
    }
}

// Whether the journal, when known, notes the set unfinished or no longer whole.
bool notedNotWhole(const std::optional<volumeset::Journal> &journal, const QByteArray &set)
{
    return journal && (journal->state(set) == volumeset::Journal::State::Unfinished || journal->replaced(set));
}

// Whether a copy of the first volume may be read: not one of a later
// volume, nor of a set the journal notes unfinished or no longer whole.
bool mayRead(const volumeset::Copy &c, const std::optional<volumeset::Journal> &journal)
{
    return !c.tag || (c.tag->volume == 1 && !notedNotWhole(journal, c.tag->set));
}

}  // namespace

struct TBackupFile::RestoreRun {
    // The entry being restored; once its segments are read, one waiting to
    // replace its target.
    struct Pending {
        std::unique_ptr<QSaveFile> file;
        QString target;
        int32_t date = 0;
        QByteArray archived;
        int64_t start = 0;  // BytesDone when the entry began; its size once staged
    };

    Input in;
    QString archive;  // the first volume's name as given; the further names come from it
    QString nextFile;  // the file holding the volume asked for, once it is found
    std::optional<volumeset::Journal> journal;  // what is known of the sets' states, when known
    std::optional<volumeset::Tag> set;          // the first volume's tag: every volume must be of its set
    QString first;                               // the first volume's place (links followed)
    struct Candidate {
        volumeset::Copy copy;
        int64_t made = 0;        // as shown: the tag's time, else the file's
        bool oneVolume = false;  // a copy without a tag that ends the archive: whole on Disk #1
    };
    std::vector<Candidate> candidates;           // copies of the first volume that may be read, newest first
    size_t reading = 0;                          // the candidate being read
    QHash<QByteArray, SeenVolumes> seen;         // by set
    std::optional<size_t> offered;               // the older candidate Disk #1 is asked for
    std::optional<volumeset::Copy> restart;      // the copy of the first volume to start over from
    QList<QByteArray> others;                    // the sets of the copies at the name asked for last, but its own
    QString dir;        // the target directory ending in "/", or empty
    int32_t total = 0;  // the header's total size
    Pending pending;
    std::vector<Pending> staged;
    bool ended = false;  // the end marker was read
    bool inEntry = false;
    int32_t entriesRead = 0;  // file entries, restored or passed over
    bool passedOver = false;
    std::unique_ptr<FileListBuffer> fileList;  // while and after the file-ID entry is read
    bool inFileList = false;
};

namespace {

QString madeText(int64_t made)
{
    return QDateTime::fromSecsSinceEpoch(made).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}


}  // namespace

// Opens the first volume: the caller's stream, or the named file's copy to
// read (see above). A copy without a tag that fits it is read as it is,
// without a set. False when there is nothing to read (told only when it
// cannot be read).
bool TBackupFile::openFirstVolume(RestoreRun &run, const QString &archiveName)
{
    QString file = archiveName;
    if (archiveName != kStreamName) {
        run.archive = archiveName;
        run.first = platform::linkedPath(archiveName);
        const std::vector<volumeset::Copy> copies = volumeset::copiesAt(run.first, ProcessMessages);
        noteSeen(run.seen, copies, 1);
        for (const volumeset::Copy &c : copies) {
            if (mayRead(c, run.journal))
                run.candidates.push_back({c, c.tag ? c.tag->made : QFileInfo(c.file).lastModified().toSecsSinceEpoch(),
                                          !c.tag && endsArchive(c.file)});
        }
        const volumeset::Copy *chosen = !run.candidates.empty() ? &run.candidates.front().copy
                                        : !copies.empty()        ? &copies.front()
                                                                 : nullptr;
        if (chosen) {
            run.set = chosen->tag;
            file = chosen->file;
        }
    }
    switch (openArchive(run.in, file)) {
    case OpenResult::Opened: return true;
    case OpenResult::Missing: return false;
    case OpenResult::Unreadable: break;
    }
    MessageError(beCannotReadArchive);
    errorCode_ = beCannotReadArchive;
    return false;
}

// Asks for the disk of the next volume until it is in the drive, the user
// cancels, or the user puts in Disk #1 for an older backup offered instead
// (run.restart is then set, and the result is false).
bool TBackupFile::openNextReadVolume(RestoreRun &run, const QString &digits)
{
    const QString next = VolumeName(run.archive, digits);
    run.in.close();
    const uint16_t number = uint16_t(digits.toUInt());
    diskNote_.clear();
    for (;;) {
        if (!askForDisk(run.offered ? 1 : number) || !continue_)
            return false;
        diskNote_ = volumeProblem(run, next, number);
        if (diskNote_.isEmpty()) {
            run.offered.reset();  // the backup being read goes on
            break;
        }
        if (offeredInDrive(run))
            return false;
        offerOlder(run, number);
        if (const QString none = noWholeBackup(run, number); !none.isEmpty()) {
            failureText_ = backupErrorText(beCannotReadArchive) + QStringLiteral(": ") + none;
            fail(beCannotReadArchive);
            return false;
        }
    }
    if (!run.in.open(run.nextFile)) {
        fail(beCannotReadArchive);
        return false;
    }
    return true;
}

// Why the disk in the drive holds no copy of volume `number` (named `name`)
// of the set being restored; empty when it does, and run.nextFile is then
// that copy. Nothing on the disk is changed.
QString TBackupFile::volumeProblem(RestoreRun &run, const QString &name, uint16_t number)
{
    const QString place = platform::linkedPath(name), shown = QFileInfo(name).fileName();
    const bool there = QFileInfo::exists(name);
    if (!run.set) {
        // a first volume without a fitting tag: only an archive without tags can be read on
        if (there && volumeset::tagsAt(place))
            return QStringLiteral("%1 has no tag that fits it, so %2 on the disk in the drive cannot be checked to be "
                                  "from the same backup.")
                .arg(QFileInfo(run.archive).fileName(), shown);
        run.nextFile = name;
    } else {
        const std::vector<volumeset::Copy> copies = volumeset::copiesAt(place, ProcessMessages);
        noteSeen(run.seen, copies, number);
        run.others.clear();
        for (const volumeset::Copy &copy : copies) {
            if (copy.tag && copy.tag->set == run.set->set && copy.tag->volume == number) {
                run.nextFile = copy.file;
                return {};
            }
            if (copy.tag && copy.tag->volume == number)
                run.others.append(copy.tag->set);
        }
    }
    if (!there)
        return shown + QStringLiteral(" is not on the disk in the drive.");
    if (!run.set)
        return {};
    const std::optional<volumeset::Tag> tag = volumeset::fittingTag(place, ProcessMessages);
    const QString other = tag ? QStringLiteral(", made %1").arg(madeText(tag->made)) : QString();
    return QStringLiteral("%1 on the disk in the drive is from another backup%2; this backup was made %3.")
        .arg(shown, other, madeText(run.set->made));
}

// Offers the newest older backup whose volumes the disks have shown up to
// volume `number` (or that ends before it), once the set being read lacks
// that volume: the next prompt asks for Disk #1 and says why.
void TBackupFile::offerOlder(RestoreRun &run, uint16_t number)
{
    for (size_t i = run.reading + 1; run.set && !run.offered && i < run.candidates.size(); ++i) {
        const volumeset::Copy &c = run.candidates[i].copy;
        const SeenVolumes seen = c.tag ? run.seen.value(c.tag->set) : SeenVolumes {};
        const int upTo = !c.tag ? 0 : seen.last > 0 ? std::min<int>(seen.last, number) : number;
        bool shown = c.tag || run.candidates[i].oneVolume;
        for (int volume = 1; volume <= upTo; ++volume)
            shown = shown && seen.volumes.contains(volume);
        if (shown)
            run.offered = i;
    }
    if (run.offered)
        diskNote_ = QStringLiteral("The backup made %1 is not whole on these disks; the one made %2 is. Insert Disk #1 "
                                   "to restore it.")
                        .arg(madeText(run.set->made), madeText(run.candidates[*run.offered].made));
}

// Why no whole backup can be read, once the disk put in for volume `number`
// holds that volume of other backups only, none of which is whole so far on
// the disks, and the backup being read is not known whole (the journal here
// notes it so): which backups the disks hold, and the volume each lacks.
// Empty while a whole backup may still come from another disk.
QString TBackupFile::noWholeBackup(const RestoreRun &run, uint16_t number) const
{
    const bool knownWhole = run.set && run.journal && !notedNotWhole(run.journal, run.set->set) &&
                            run.journal->state(run.set->set) == volumeset::Journal::State::Whole;
    if (!run.set || knownWhole || run.offered || run.others.isEmpty())
        return {};
    const QString archive = QFileInfo(run.archive).fileName();
    const auto lacking = [&](int volume) {
        return QStringLiteral("lacks volume %1 (%2)")
            .arg(volume)
            .arg(volume == 1 ? archive : VolumeName(archive, VolumeDigits(uint16_t(volume))));
    };
    QStringList others;
    for (const QByteArray &set : run.others) {
        const SeenVolumes seen = run.seen.value(set);
        int lacks = 1;  // the first not on the disks shown
        while (seen.volumes.contains(lacks))
            ++lacks;
        others << QStringLiteral("the backup made %1, which %2")
                      .arg(madeText(seen.made), lacks > number && notedNotWhole(run.journal, set)
                                                    ? QStringLiteral("this computer notes as not whole")
                                                    : lacking(lacks));
    }
    return QStringLiteral("no whole backup was found on these disks. The backup made %1 %2. The disk put in for it "
                          "holds volume %3 of %4.")
        .arg(madeText(run.set->made), lacking(number))
        .arg(number)
        .arg(others.join(QStringLiteral(", and of ")));
}

// Whether the disk in the drive holds the first volume of the backup
// offered; run.restart is then its copy.
bool TBackupFile::offeredInDrive(RestoreRun &run)
{
    if (!run.offered)
        return false;
    const volumeset::Copy &offered = run.candidates[*run.offered].copy;
    const QByteArray set = offered.tag ? offered.tag->set : QByteArray();
    for (const volumeset::Copy &c : volumeset::copiesAt(run.first, ProcessMessages, set)) {
        if (offered.tag ? c.tag && c.tag->volume == 1 : !c.tag && c.file == offered.file) {
            run.restart = c;
            run.reading = *std::exchange(run.offered, std::nullopt);
            diskNote_.clear();
            return true;
        }
    }
    return false;
}

// Reads the archive again from the start, from the copy of the first
// volume offered; nothing read so far is kept.
bool TBackupFile::startOver(RestoreRun &run)
{
    const volumeset::Copy copy = *std::exchange(run.restart, std::nullopt);
    run.pending = RestoreRun::Pending {};
    run.staged.clear();
    run.inEntry = run.inFileList = run.passedOver = false;
    run.entriesRead = 0;
    run.fileList.reset();
    run.set = copy.tag;
    bytesDone_ = 0;
    if (!run.in.open(copy.file)) {
        fail(beCannotReadArchive);
        return false;
    }
    return true;
}

bool TBackupFile::RestoreFromStream(QIODevice *stream, const QString &targetDir)
{
    if (!stream)
        return false;
    sourceStream_ = stream;
    return Restore(kStreamName, targetDir);
}

bool TBackupFile::Restore(const QString &archiveName, const QString &targetDir)
{
    if (busy_)
        return false;
    RestoreRun run;
    run.dir = targetDir;
    if (!run.dir.isEmpty() && !run.dir.endsWith(u'/'))
        run.dir += u'/';
    errorCode_ = 0;
    failureText_.clear();
    cancelled_ = false;
    writeFailed_ = false;
    filesDone_ = 0;
    continue_ = true;
    if (archiveName != kStreamName && !JournalFolder.isEmpty())
        run.journal.emplace(JournalFolder);
    busy_ = true;  // before the first pump of events
    if (!openFirstVolume(run, archiveName)) {
        busy_ = false;
        work_.reset();
        return false;
    }
    bytesDone_ = 0;
    readArchiveHead(run);
    restoreEntries(run);
    while (continue_ && run.restart && startOver(run)) {
        readArchiveHead(run);
        restoreEntries(run);
    }
    return closeRestore(run);
}

void TBackupFile::readArchiveHead(RestoreRun &run)
{
    int32_t titleLen = 0, count = 0;
    QByteArray title;
    if (!run.in.int32(titleLen) || !run.in.bytes(title, titleLen) || !run.in.int32(run.total) ||
        !run.in.int32(count)) {
        fail(beCannotReadArchive);
    } else if (count < 0) {
        fail(beInvalidArchive);
    } else {
        totalSize_ = std::max(run.total, 0);
        fileCount_ = count;
    }
}

// Reads entries and volume records up to the end marker, or until the run
// stops or fails.
void TBackupFile::restoreEntries(RestoreRun &run)
{
    while (continue_ && !run.restart) {
        int32_t len = 0;
        if (!run.in.int32(len)) {
            fail(beCannotReadArchive);  // the archive ends before its end marker
            return;
        }
        if (len == 0) {
            endOfArchive(run);
            return;
        }
        QByteArray name;
        if (len < 0 || len > kMaxName || !run.in.bytes(name, len) || name.contains('\0')) {
            fail(beInvalidArchive);
            return;
        }
        if (name.startsWith(kVolumeRecord))
            continueOnNextVolume(run, name);
        else
            restoreEntry(run, name);
    }
}

// At the end marker: the archive holds all the files its header counts and
// their sizes add up, or no target is replaced.
void TBackupFile::endOfArchive(RestoreRun &run)
{
    if (run.entriesRead < fileCount_) {
        fail(beInvalidArchive);  // an end before the files the header counts
        return;
    }
    if (!stagePending(run))
        return;
    if (!sizesAddUp(run)) {
        fail(beCannotReadFile);
        return;
    }
    if (!replaceTargets(run))
        return;
    run.ended = true;
}

// The current entry goes on in the next volume, which is asked for.
void TBackupFile::continueOnNextVolume(RestoreRun &run, const QByteArray &record)
{
    if (!run.inEntry || run.in.isStream()) {
        fail(beInvalidArchive);
        return;
    }
    if (openNextReadVolume(run, QString::fromLatin1(record.mid(kVolumeRecord.size(), 3))))
        readEntrySegment(run);
}

// One entry: the previous one is staged, the target is found and asked
// about, and the entry's first segment is read.
void TBackupFile::restoreEntry(RestoreRun &run, const QByteArray &name)
{
    if (!stagePending(run))
        return;
    int32_t date = 0;
    if (!run.in.int32(date)) {
        fail(beInvalidArchive);
        return;
    }
    run.inEntry = true;
    run.inFileList = name == kFileListName;
    if (!run.inFileList)
        ++run.entriesRead;
    const QString archived = QString::fromUtf8(name);
    currentFile_ = archived;
    bool refused = false;
    QString target = restoreTarget(archived, run.dir, refused);
    if (refused) {
        fail(beCannotReadFile);
        return;
    }
    bool doRestore = false;
    if (!run.inFileList) {
        doRestore = restoreWanted(target, date);
        run.passedOver |= !doRestore;
    }
    if (doRestore && !startStagedFile(run, target, date, name))
        return;
    if (run.inFileList && run.fileList) {
        readSegment(run.in, nullptr, false);  // a second file-ID entry: its first segment is passed over
        return;
    }
    if (run.inFileList)
        run.fileList = std::make_unique<FileListBuffer>();
    readEntrySegment(run);
}

// Whether an entry replaces target under RestoreMode and OnRestoreFile, which
// may also change the target.
bool TBackupFile::restoreWanted(QString &target, int32_t date)
{
    const QFileInfo fi(target);
    const bool exists = fi.exists();
    // compared unsigned: from 2044 on the top bit is set
    const bool newer = !exists || uint32_t(date) > uint32_t(fileDosDate(fi));
    bool doRestore = true;
    switch (RestoreMode) {
    case rmAll: break;
    case rmNoOverwrite: doRestore = !exists; break;
    case rmNewer: doRestore = newer; break;
    case rmExisting: doRestore = exists; break;
    case rmExistingNewer: doRestore = exists && newer; break;
    }
    if (OnRestoreFile)
        OnRestoreFile(*this, target, date, doRestore);
    return doRestore;
}

// Opens the temporary file beside target that takes the entry's bytes.
bool TBackupFile::startStagedFile(RestoreRun &run, const QString &target, int32_t date, const QByteArray &name)
{
    const QFileInfo fi(target);
    if (!QDir().mkpath(fi.absolutePath())) {
        failWrite();
        return false;
    }
    RestoreRun::Pending &p = run.pending;
    p.file = std::make_unique<QSaveFile>(target);
    p.target = target;
    p.date = date;
    p.archived = name;
    p.start = bytesDone_;
    if (!p.file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        p.file.reset();
        failWrite();
        return false;
    }
    // A file that replaces one keeps that one's permissions; a new one is the
    // user's alone, as the database and its archives are.
    if (!fi.exists())
        p.file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    currentFile_ = target;
    return true;
}

// The entry's next segment goes where its bytes belong: the file-ID text, the
// staged file, or nowhere when the entry is passed over.
void TBackupFile::readEntrySegment(RestoreRun &run)
{
    if (run.inFileList)
        readSegment(run.in, run.fileList.get(), true, true);
    else
        readSegment(run.in, run.pending.file.get(), run.pending.file != nullptr);
}

// The entry read last waits, flushed and dated, for the end of the archive.
bool TBackupFile::stagePending(RestoreRun &run)
{
    RestoreRun::Pending &p = run.pending;
    if (!p.file)
        return true;
    p.start = bytesDone_ - p.start;
    if (OnFileRestored)
        OnFileRestored(*this, p.target, *p.file);
    if (!p.file->flush()) {
        p.file.reset();
        failWrite();
        return false;
    }
    p.file->setFileTime(QDateTime::fromSecsSinceEpoch(unixSecondsOfDosDateTime(p.date)),
                        QFileDevice::FileModificationTime);
    run.staged.push_back(std::move(p));
    p = RestoreRun::Pending {};
    return true;
}

bool TBackupFile::sizesAddUp(const RestoreRun &run) const
{
    if (run.passedOver)
        return true;
    const int64_t listBytes = run.fileList ? run.fileList->size() : 0;
    if (run.total != INT32_MAX && bytesDone_ + listBytes != int64_t(run.total))
        return false;
    QHash<QByteArray, int64_t> listed;
    if (!run.fileList)
        return true;
    if (!parseFileList(run.fileList->data(), listed))
        return false;
    for (const RestoreRun::Pending &p : run.staged) {
        const auto it = listed.constFind(p.archived);
        if (it == listed.cend() || it.value() != p.start)
            return false;
    }
    return true;
}

// Each staged file takes its target's place.
bool TBackupFile::replaceTargets(RestoreRun &run)
{
    for (RestoreRun::Pending &p : run.staged) {
        if (!p.file->commit()) {
            failWrite();
            return false;
        }
        ++filesDone_;
    }
    run.staged.clear();
    return true;
}

// Unfinished entries leave their targets untouched.
bool TBackupFile::closeRestore(RestoreRun &run)
{
    run.pending.file.reset();
    run.staged.clear();
    run.in.close();
    const bool result = run.ended && errorCode_ == 0 && continue_;
    endRun();
    return result;
}

QString TBackupFile::GetArchiveTitleFromStream(QIODevice *stream, QStringList *idList)
{
    if (!stream)
        return QString();
    sourceStream_ = stream;
    return GetArchiveTitle(kStreamName, idList);
}

QString TBackupFile::GetArchiveTitle(const QString &archiveName, QStringList *idList)
{
    fileCount_ = 0;
    totalSize_ = 0;
    filesDone_ = 0;
    errorCode_ = 0;
    failureText_.clear();
    Input in;
    switch (openArchive(in, archiveName)) {
    case OpenResult::Opened: break;
    case OpenResult::Missing: return QString();
    case OpenResult::Unreadable:
        errorCode_ = beCannotReadArchive;
        MessageError(beCannotReadArchive);
        return QString();
    }
    QString result;
    int32_t titleLen = 0, total = 0, count = 0, len = 0;
    QByteArray title;
    bool ok = in.int32(titleLen) && in.bytes(title, titleLen);
    if (ok)
        result = QString::fromUtf8(title);
    ok = ok && in.int32(total) && in.int32(count) && in.int32(len);
    if (ok) {
        totalSize_ = std::max(total, 0);
        fileCount_ = count;
    }
    if (ok && len > 0 && idList) {
        QByteArray name;
        int32_t date = 0;
        ok = len <= kMaxName && in.bytes(name, len);
        if (ok && name == kFileListName) {
            QByteArray text;
            QBuffer buffer(&text);
            buffer.open(QIODevice::WriteOnly);
            continue_ = true;
            ok = in.int32(date) && readSegment(in, &buffer, true);
            if (ok) {
                idList->clear();
                for (const QByteArray &line : fileListLines(text))
                    idList->append(QString::fromUtf8(line));
            }
        }
    }
    if (!ok) {
        errorCode_ = beInvalidArchive;
        MessageError(beInvalidArchive);
    }
    in.close();
    return result;
}
