#include "support.h"

#include "backup/volumeset.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

#include <cstdlib>
#include <ctime>
#include <random>

namespace testing_backup {

void useUtc()
{
    setenv("TZ", "UTC", 1);
    tzset();
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(data), data.size());
}

void setMtime(const QString &path, int64_t unixSeconds)
{
    struct utimbuf t { time_t(unixSeconds), time_t(unixSeconds) };
    ASSERT_EQ(utime(QFile::encodeName(path).constData(), &t), 0);
}

int64_t mtimeOf(const QString &path)
{
    struct stat st {};
    if (stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return st.st_mtime;
}

QByteArray randomBytes(int n, uint32_t seed)
{
    std::mt19937 rng(seed);
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char(rng() & 0xFF);
    return b;
}

QByteArray mixedBytes(int n, uint32_t seed)
{
    std::mt19937 rng(seed);
    QByteArray b;
    b.reserve(n);
    const QByteArray text = "Cheque No. 000123 paid to Example Trading Ltd., amount 1,234.50\r\n";
    while (b.size() < n) {
        const int run = 1000 + int(rng() % 9000);
        switch (rng() % 3) {
        case 0:
            for (int i = 0; i < run; ++i)
                b.append(text[i % text.size()]);
            break;
        case 1: b.append(QByteArray(run, '\0')); break;
        default: b.append(randomBytes(run, rng())); break;
        }
    }
    b.truncate(n);
    return b;
}

ArchiveBuilder &ArchiveBuilder::i32(int32_t v)
{
    char b[4];
    qToLittleEndian<qint32>(v, b);
    bytes.append(b, 4);
    return *this;
}
ArchiveBuilder &ArchiveBuilder::str(const QByteArray &s) { return i32(int32_t(s.size())).raw(s); }
ArchiveBuilder &ArchiveBuilder::raw(const QByteArray &s)
{
    bytes.append(s);
    return *this;
}
ArchiveBuilder &ArchiveBuilder::header(const QByteArray &title, int32_t total, int32_t count)
{
    return str(title).i32(total).i32(count);
}
ArchiveBuilder &ArchiveBuilder::entry(const QByteArray &name, int32_t date) { return str(name).i32(date); }
ArchiveBuilder &ArchiveBuilder::magic() { return raw(QByteArray("QZ2\0", 4)); }
ArchiveBuilder &ArchiveBuilder::rawBlock(const QByteArray &chunk) { return i32(-int32_t(chunk.size())).raw(chunk); }
ArchiveBuilder &ArchiveBuilder::zlibBlock(const QByteArray &chunk, int level)
{
    return str(zlibCompress(chunk, level));
}

namespace {
struct Reader {
    const QByteArray &b;
    int64_t pos = 0;
    bool i32(int32_t &v)
    {
        if (pos + 4 > b.size())
            return false;
        v = qFromLittleEndian<qint32>(b.constData() + pos);
        pos += 4;
        return true;
    }
    bool take(int64_t n, QByteArray &out)
    {
        if (n < 0 || pos + n > b.size())
            return false;
        out = b.mid(pos, n);
        pos += n;
        return true;
    }
};

bool parseSegment(Reader &r, Entry &e)
{
    QByteArray magic;
    if (!r.take(4, magic) || magic != QByteArray("QZ2\0", 4))
        return false;
    if (e.blockOffset < 0)
        e.blockOffset = r.pos;
    for (;;) {
        int32_t k = 0;
        if (!r.i32(k))
            return false;
        if (k == 0)
            return true;
        Block blk {k, {}};
        if (!r.take(std::abs(int64_t(k)), blk.data))
            return false;
        e.blocks.push_back(blk);
    }
}
}  // namespace

Parsed parseVolume(const QByteArray &bytes, bool first)
{
    Parsed p;
    Reader r {bytes};
    int32_t n = 0;
    if (first) {
        EXPECT_TRUE(r.i32(n) && r.take(n, p.title) && r.i32(p.total) && r.i32(p.count)) << "header";
    } else {
        Entry cont;
        EXPECT_TRUE(parseSegment(r, cont)) << "continued segment";
        p.entries.push_back(cont);
    }
    for (;;) {
        if (!r.i32(n)) {
            ADD_FAILURE() << "archive ends before its end marker";
            return p;
        }
        if (n == 0) {
            p.ended = true;
            EXPECT_EQ(r.pos, bytes.size()) << "bytes after the end marker";
            return p;
        }
        Entry e;
        if (!r.take(n, e.name)) {
            ADD_FAILURE() << "name";
            return p;
        }
        if (e.name.startsWith("NEXT:DISK")) {
            p.nextVolume = e.name;
            EXPECT_EQ(r.pos, bytes.size()) << "bytes after the volume record";
            return p;
        }
        if (!r.i32(e.date) || !parseSegment(r, e)) {
            ADD_FAILURE() << "entry " << e.name.toStdString();
            return p;
        }
        p.entries.push_back(e);
    }
}

QByteArray zlibCompress(const QByteArray &data, int level)
{
    uLongf len = compressBound(uLong(data.size()));
    QByteArray out(int(len), '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef *>(out.data()), &len,
                        reinterpret_cast<const Bytef *>(data.constData()), uLong(data.size()), level),
              Z_OK);
    out.truncate(int(len));
    return out;
}

bool zlibInflate(const QByteArray &stream, QByteArray &out)
{
    z_stream s {};
    if (inflateInit(&s) != Z_OK)
        return false;
    out = QByteArray(1 << 20, '\0');
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stream.constData()));
    s.avail_in = uInt(stream.size());
    s.next_out = reinterpret_cast<Bytef *>(out.data());
    s.avail_out = uInt(out.size());
    const int r = inflate(&s, Z_FINISH);
    const bool ok = r == Z_STREAM_END && s.avail_in == 0;
    out.truncate(int(s.total_out));
    inflateEnd(&s);
    return ok;
}

Recorder::Recorder()
{
    bf.OnError = [this](TBackupFile &sender, int32_t code, const QString &text) {
        errors.push_back(code);
        EXPECT_TRUE(text == backupErrorText(code) || text.startsWith(backupErrorText(code) + ": "))
            << text.toStdString();
    };
    bf.OnNeedDisk = [this](TBackupFile &sender, uint16_t disk, bool &cont) {
        disksAsked.push_back(disk);
        diskNotes.push_back(sender.DiskNote());
        cont = !diskAnswers.empty() && diskAnswers.front();
        if (!diskAnswers.empty())
            diskAnswers.pop_front();
    };
    bf.ProcessMessages = nullptr;
}

QString volumePath(const QString &archive, int number)
{
    return number == 1 ? archive : TBackupFile::VolumeName(archive, TBackupFile::VolumeDigits(uint16_t(number)));
}

QString madeAt(const QString &volume)
{
    const std::optional<volumeset::Tag> tag = volumeset::readTag(volume);
    return tag ? QDateTime::fromSecsSinceEpoch(tag->made).toString("yyyy-MM-dd HH:mm:ss") : QString();
}

Files filesIn(const QString &folder, const QStringList &names, bool byName)
{
    Files files;
    for (const QString &name : QDir(folder).entryList(names, QDir::Files | QDir::Hidden))
        files[byName ? name : folder + "/" + name] = readAll(folder + "/" + name);
    return files;
}

void DiskDrive::insert(const QString &label)
{
    const QString out = shelf + "/" + current, in = shelf + "/" + label;
    for (const auto &[from, to] : {std::pair {path, out}, std::pair {in, path}}) {
        QDir().mkpath(to);
        for (const QString &name : namesIn(from))
            EXPECT_TRUE(QFile::rename(from + "/" + name, to + "/" + name)) << name.toStdString();
    }
    current = label;
}

}  // namespace testing_backup
