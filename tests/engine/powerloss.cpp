// Power loss: only what a completed flush wrote is sure to be on disk, and
// any subset of the pages stored since may have reached it too. Every such
// file must open to exactly the old or the new committed state.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine/support_storage.h"

using namespace storagetest;

namespace {

struct CrashImage {
    std::vector<uint8_t> flushed;  // the file as the last completed flush left it
    std::vector<uint8_t> current;  // what the process had stored at the crash point
};

// Keeps the file as it stood after each completed flush, and at each crash
// point (before every flush, right after the commit's switch, half-way through
// the index copy) the pair of that copy and the present contents.
class Recorder : public dbFileObserver {
public:
    Recorder() { dbFile::setObserver(this); }
    ~Recorder() override { dbFile::setObserver(nullptr); }
    int beforeFlush(const dbFile& f) override
    {
        capture(f);
        return 0;
    }
    void afterFlush(const dbFile& f) override
    {
        flushed.assign(f.getBase(), f.getBase() + f.getSize());
        capture(f);
    }
    void reached(const dbFile& f, int) override { capture(f); }
    std::vector<CrashImage> images;
    std::vector<uint8_t> flushed;

private:
    void capture(const dbFile& f)
    {
        if (!flushed.empty()) {
            images.push_back({flushed, std::vector<uint8_t>(f.getBase(), f.getBase() + f.getSize())});
        }
    }
};

// The flushed copy plus a random subset of the pages that differ from it.
std::vector<uint8_t> lostPages(const CrashImage& image, std::mt19937& random, bool keepNone)
{
    std::vector<uint8_t> bytes = image.flushed;
    if (keepNone) {
        return bytes;
    }
    bool grown = image.current.size() > bytes.size() && random() % 2 == 0;
    if (grown) {
        bytes.resize(image.current.size(), 0);
    }
    for (size_t page = 0; page * dbPageSize < bytes.size() && page * dbPageSize < image.current.size(); page++) {
        size_t at = page * dbPageSize;
        bool differs = at >= image.flushed.size()
                    || std::memcmp(&image.flushed[at], &image.current[at], dbPageSize) != 0;
        if (differs && random() % 2 == 0) {
            std::memcpy(&bytes[at], &image.current[at], dbPageSize);
        }
    }
    return bytes;
}

void powerLoss(bool large, bool manyIds)
{
    TempDir dir;
    std::string baseline = dir.file("baseline.zrv");
    createBaseline(baseline);
    const auto oldState = committedRecords(readFile(baseline));
    const auto newState = changedState(baseline, dir.file("scratch.zrv"), large, manyIds);

    std::string path = dir.file("run.zrv");
    writeFile(path, readFile(baseline));
    std::vector<CrashImage> images;
    {
        Recorder recorder;
        recorder.flushed = readFile(path);  // as the last close left it
        dbDatabase db;
        ASSERT_TRUE(db.open("run", path.c_str()));
        changeBaseline(db, large, manyIds);
        ASSERT_TRUE(db.commit());
        db.close();
        images = std::move(recorder.images);
    }
    ASSERT_GE(images.size(), 5u);

    std::mt19937 random(7);
    int sawOld = 0, sawNew = 0;
    for (size_t i = 0; i < images.size(); i++) {
        for (int variant = 0; variant < 6; variant++) {
            SCOPED_TRACE("crash point " + std::to_string(i) + ", variant " + std::to_string(variant));
            std::string file = dir.file("lost.zrv");
            writeFile(file, lostPages(images[i], random, variant == 0));
            RecordingDatabase db;
            ASSERT_TRUE(db.open("lost", file.c_str())) << (db.messages.empty() ? "" : db.messages[0]);
            db.close();
            std::vector<uint8_t> bytes = readFile(file);
            ASSERT_EQ(checkFile(bytes), "");
            auto state = committedRecords(bytes);
            ASSERT_TRUE(state == oldState || state == newState);
            sawOld += state == oldState;
            sawNew += state == newState;
        }
    }
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);
}

}  // namespace

TEST(PowerLoss, CommitIsAllOrNothing)
{
    powerLoss(false, false);
}

TEST(PowerLoss, CommitThatGrewTheFile)
{
    powerLoss(true, false);
}

TEST(PowerLoss, CommitThatDoubledTheIndex)
{
    powerLoss(false, true);
}
