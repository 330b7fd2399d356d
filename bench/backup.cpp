// Backup and restore throughput of the archive component against zlib run as
// one stream over the same bytes at the same level (same files read and
// written, same process), and against "gzip -1"; and a backup across volumes
// onto the disks of the previous one against a backup of one volume. A restore syncs what it
// wrote, so its peer is the one-stream inflate that also syncs its file; the
// plain inflate stays as the outer reference. The data file mixes text,
// zero and random pages. QUILLET_BENCH_MB sets its size (default 256).
#include "backup/backupfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Setup {
    QTemporaryDir dir;
    QString data, archive, stream, restoredDir, inflated;
    int64_t size = 0;

    Setup()
    {
        const char *mb = std::getenv("QUILLET_BENCH_MB");
        size = int64_t(mb ? std::atoi(mb) : 256) << 20;
        data = dir.path() + "/Quillet.zrv";
        archive = dir.path() + "/bench.zbf";
        stream = dir.path() + "/bench.z";
        restoredDir = dir.path() + "/restored";
        inflated = dir.path() + "/inflated.zrv";
        QDir().mkpath(restoredDir);
        QFile f(data);
        f.open(QIODevice::WriteOnly);
        std::mt19937 rng(1);
        const std::string line = "Example Trading Ltd.\t12 Harbour Road\t+852 2345 6789\t1,234.50\r\n";
        std::vector<char> page(4096);
        for (int64_t done = 0; done < size; done += int64_t(page.size())) {
            switch (rng() % 3) {
            case 0:
                for (size_t i = 0; i < page.size(); ++i)
                    page[i] = line[(i + size_t(done / 7)) % line.size()];
                break;
            case 1: std::fill(page.begin(), page.end(), 0); break;
            default:
                for (char &c : page)
                    c = char(rng());
                break;
            }
            f.write(page.data(), qint64(page.size()));
        }
    }
};

Setup &setup()
{
    static Setup s;
    return s;
}

std::map<std::string, double> mbPerSecond;
std::map<std::string, double> ratio;

void record(benchmark::State &state, const std::string &name, double seconds, int64_t outBytes)
{
    const double mb = double(setup().size) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations()) * setup().size);
    mbPerSecond[name] = mb * double(state.iterations()) / seconds;
    if (outBytes > 0)
        ratio[name] = double(setup().size) / double(outBytes);
}

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void BM_ArchiveBackup(benchmark::State &state)
{
    Setup &s = setup();
    TBackupFile bf;
    bf.BackupTitle = "Backup Zarvo";
    bf.CompressionLevel = clFastest;
    double t = 0;
    for (auto _ : state) {
        const double t0 = now();
        if (!bf.Backup({s.data}, s.archive))
            state.SkipWithError("backup failed");
        t += now() - t0;
    }
    record(state, "archive backup", t, QFileInfo(s.archive).size());
}

void BM_ArchiveRestore(benchmark::State &state)
{
    Setup &s = setup();
    TBackupFile bf;
    if (!QFileInfo::exists(s.archive))
        bf.Backup({s.data}, s.archive);
    double t = 0;
    for (auto _ : state) {
        const double t0 = now();
        if (!bf.Restore(s.archive, s.restoredDir))
            state.SkipWithError("restore failed");
        t += now() - t0;
    }
    record(state, "archive restore", t, 0);
}

// A backup across four volumes onto the disks that hold the previous one
// (one folder here, the volumes named as on their disks): what each volume
// replaces is kept until the set is whole, and then goes.
void BM_BackupToTheSameDisks(benchmark::State &state)
{
    Setup &s = setup();
    const QString disks = s.dir.path() + "/disks", archive = disks + "/X.zbf";
    QDir().mkpath(disks);
    TBackupFile bf;
    bf.BackupTitle = "Backup Zarvo";
    bf.CompressionLevel = clFastest;
    bf.JournalFolder = s.dir.path() + "/journal";
    bf.OnNeedDisk = [](TBackupFile &, uint16_t, bool &cont) { cont = true; };
    if (!bf.Backup({s.data}, archive))  // one volume, to learn the archive's size
        state.SkipWithError("backup failed");
    bf.MaxSize = int32_t(QFileInfo(archive).size() / 4 + TBackupFile::kChunk * 2);
    if (!bf.Backup({s.data}, archive))  // the previous backup on the disks
        state.SkipWithError("backup failed");
    double t = 0;
    for (auto _ : state) {
        const double t0 = now();
        if (!bf.Backup({s.data}, archive))
            state.SkipWithError("backup failed");
        t += now() - t0;
    }
    record(state, "backup to the same disks", t, 0);
}

// zlib over the whole file as one stream, 1 MiB reads and writes.
void compressOneStream(const Setup &s)
{
    std::vector<char> in(1 << 20), out(1 << 20);
    QFile src(s.data), dst(s.stream);
    src.open(QIODevice::ReadOnly);
    dst.open(QIODevice::WriteOnly | QIODevice::Truncate);
    z_stream z {};
    deflateInit(&z, 1);
    int flush = Z_NO_FLUSH;
    do {
        const qint64 n = src.read(in.data(), qint64(in.size()));
        flush = n < qint64(in.size()) ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = reinterpret_cast<Bytef *>(in.data());
        z.avail_in = uInt(std::max<qint64>(n, 0));
        do {
            z.next_out = reinterpret_cast<Bytef *>(out.data());
            z.avail_out = uInt(out.size());
            deflate(&z, flush);
            dst.write(out.data(), qint64(out.size() - z.avail_out));
        } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&z);
}

void BM_ZlibOneStreamCompress(benchmark::State &state)
{
    Setup &s = setup();
    double t = 0;
    for (auto _ : state) {
        const double t0 = now();
        compressOneStream(s);
        t += now() - t0;
    }
    record(state, "zlib one stream compress", t, QFileInfo(s.stream).size());
}

// zlib inflating the one stream into a file in the same folder; with
// `sync`, the file is also synced to disk, as a restore must do.
void inflateOneStream(benchmark::State &state, bool sync)
{
    Setup &s = setup();
    if (!QFileInfo::exists(s.stream))
        compressOneStream(s);
    std::vector<char> in(1 << 20), out(1 << 20);
    double t = 0;
    for (auto _ : state) {
        const double t0 = now();
        QFile src(s.stream), dst(s.inflated);
        src.open(QIODevice::ReadOnly);
        dst.open(QIODevice::WriteOnly | QIODevice::Truncate);
        z_stream z {};
        inflateInit(&z);
        int r = Z_OK;
        while (r != Z_STREAM_END) {
            const qint64 n = src.read(in.data(), qint64(in.size()));
            if (n <= 0)
                break;
            z.next_in = reinterpret_cast<Bytef *>(in.data());
            z.avail_in = uInt(n);
            do {
                z.next_out = reinterpret_cast<Bytef *>(out.data());
                z.avail_out = uInt(out.size());
                r = inflate(&z, Z_NO_FLUSH);
                dst.write(out.data(), qint64(out.size() - z.avail_out));
            } while (z.avail_out == 0 && r == Z_OK);
        }
        inflateEnd(&z);
        if (sync && (!dst.flush() || ::fsync(dst.handle()) != 0))
            state.SkipWithError("sync failed");
        dst.close();
        t += now() - t0;
    }
    record(state, sync ? "zlib one stream inflate+sync" : "zlib one stream inflate", t, 0);
}

void BM_ZlibOneStreamInflate(benchmark::State &state) { inflateOneStream(state, false); }
void BM_ZlibOneStreamInflateSync(benchmark::State &state) { inflateOneStream(state, true); }

void BM_Gzip1(benchmark::State &state)
{
    Setup &s = setup();
    const std::string out = (s.dir.path() + "/bench.gz").toStdString();
    const std::string cmd = "gzip -1 -c '" + s.data.toStdString() + "' > '" + out + "'";
    double t = 0;
    for (auto _ : state) {
        const double t0 = now();
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("gzip failed");
        t += now() - t0;
    }
    record(state, "gzip -1", t, QFileInfo(QString::fromStdString(out)).size());
}

BENCHMARK(BM_ArchiveBackup)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_BackupToTheSameDisks)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ZlibOneStreamCompress)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ArchiveRestore)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ZlibOneStreamInflate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ZlibOneStreamInflateSync)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Gzip1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\n%lld MiB of text, zero and random pages, fastest level:\n", (long long)(setup().size >> 20));
    for (const auto &[name, mbs] : mbPerSecond) {
        std::printf("  %-26s %8.1f MB/s", name.c_str(), mbs);
        if (ratio.count(name))
            std::printf("   ratio %.2f : 1", ratio[name]);
        std::printf("\n");
    }
    auto share = [](const char *a, const char *b) {
        if (mbPerSecond.count(a) && mbPerSecond.count(b))
            std::printf("  %s at %.0f%% of %s\n", a, 100.0 * mbPerSecond[a] / mbPerSecond[b], b);
    };
    share("archive backup", "zlib one stream compress");
    share("backup to the same disks", "archive backup");
    share("archive restore", "zlib one stream inflate");
    share("archive restore", "zlib one stream inflate+sync");
    return 0;
}
