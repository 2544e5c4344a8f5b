// The power cut before each write, sync and rename of a day in turn: the
// disk keeps only what was synced, and every save the driver was told was
// kept is still there, in a journal that opens whole and takes the next save.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "day/journal.h"
#include "day/journal_file.h"
#include "day/sqlite.h"
#include "faulty_vfs.h"
#include "journal_fixture.h"

namespace {

namespace fs = std::filesystem;
using testing_support::FaultyVfs;

// A disk under one folder that keeps files as they were at their last
// fsync and names as they were at the folder's last fsync; what was there
// when it was laid counts as synced. The power goes before step `cutAt`
// (each write, sync and rename is a step): the folder is left as the disk
// kept it, and the process ends there.
class PowerCutDisk final : public day::JournalFiles {
public:
    PowerCutDisk(const std::string& folder, int cutAt) : cutAt_(cutAt) {
        for (const auto& entry : fs::directory_iterator(folder))
            now_[Key(entry.path())] =
                std::make_shared<Node>(Node{testing_support::ReadBytes(entry.path())});
        synced_ = now_;
        vfs_.Watch([this](FaultyVfs::Call call, const void* file, const char* name) {
            if (call == FaultyVfs::Call::Open) {
                const std::string key = Key(name);
                // A name not seen before is a new file: nothing of it synced.
                if (!now_.contains(key)) now_[key] = std::make_shared<Node>();
                open_[file] = now_[key];
                return;
            }
            Step();
            if (call == FaultyVfs::Call::Sync) Synced(open_.at(file));
        });
        day::JournalFiles::Use(this);
    }
    ~PowerCutDisk() override { day::JournalFiles::Use(nullptr); }
    PowerCutDisk(const PowerCutDisk&) = delete;
    PowerCutDisk& operator=(const PowerCutDisk&) = delete;

    void Sync(const std::string& path) override {
        Step();
        day::JournalFiles::Sync(path);
        Synced(now_.at(Key(path)));
    }
    void SyncFolder(const std::string& path) override {
        Step();
        day::JournalFiles::SyncFolder(path);
        synced_.clear();
        for (const auto& [name, node] : now_)
            if (fs::exists(name)) synced_[name] = node;
    }
    void Rename(const std::string& from, const std::string& to) override {
        Step();
        day::JournalFiles::Rename(from, to);
        now_[Key(to)] = now_.at(Key(from));
        now_.erase(Key(from));
    }

    // The power goes now.
    void Cut() {
        for (const auto& [name, node] : now_) fs::remove(name);
        for (const auto& [name, node] : synced_)
            testing_support::WriteBytes(name, node->synced.value_or(""));
    }

private:
    struct Node {
        std::optional<std::string> synced;  // the bytes at the last fsync
    };

    static std::string Key(const fs::path& path) { return fs::weakly_canonical(path).string(); }
    void Step() {
        if (++steps_ < cutAt_) return;
        Cut();
        std::fflush(nullptr);
        _exit(0);
    }
    // The file's bytes now are what a cut leaves of it.
    void Synced(const std::shared_ptr<Node>& node) {
        for (const auto& [name, held] : now_)
            if (held == node) node->synced = testing_support::ReadBytes(name);
    }

    FaultyVfs vfs_;
    int cutAt_;
    int steps_ = 0;
    std::map<std::string, std::shared_ptr<Node>> now_;     // the names as they are now
    std::map<std::string, std::shared_ptr<Node>> synced_;  // as a cut leaves them
    std::map<const void*, std::shared_ptr<Node>> open_;    // SQLite's open files
};

TEST(PowerCut, EverySaveToldKeptSurvivesInAWholeJournal) {
    const route::RouteSheet sheet = testing_support::SmallSheet();
    const std::string bytes = testing_support::SheetBytes(sheet);
    const std::vector<std::vector<std::string>> saves = {
        {"8", "5", "0"}, {"6", "5", "12"}, {"4", "5", "3"}};
    // Shared with the child: saves it was told were kept (-1 before the day
    // was begun), and whether it got to the end before the cut.
    struct Told {
        int kept;
        bool done;
    };
    auto* told = static_cast<Told*>(
        mmap(nullptr, sizeof(Told), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(told, MAP_FAILED);
    int cuts = 0;
    for (int cutAt = 1; !told->done; ++cutAt, ++cuts) {
        SCOPED_TRACE("the power cut before step " + std::to_string(cutAt));
        testing_support::TempDir dir;
        const std::string path = dir.File("tisdag.csv.journal");
        *told = {-1, false};
        const int status = testing_support::RunInChild([&] {
            PowerCutDisk disk(dir.path(), cutAt);
            day::Journal journal =
                day::Journal::Open(path, "tisdag.csv", bytes, day::Journal::Mode::ReadWrite);
            route::RouteData route = testing_support::Started(sheet);
            journal.Replay(route);
            told->kept = 0;
            for (std::size_t i = 0; i < saves.size(); ++i) {
                ASSERT_FALSE(testing_support::SaveThrough(route, journal,
                                                          static_cast<int16_t>(i + 1), saves[i]));
                told->kept = static_cast<int>(i + 1);
            }
            told->done = true;
            disk.Cut();
        });
        ASSERT_TRUE(testing_support::ExitedCleanly(status));
        if (told->kept < 0 && !fs::exists(path)) continue;  // no day begun, none kept
        try {
            const day::JournalContents kept = day::ReadJournal(path);
            {
                day::sql::Connection db(path, SQLITE_OPEN_READONLY);
                day::sql::Statement check(db, "PRAGMA integrity_check");
                ASSERT_TRUE(check.Step());
                EXPECT_EQ(check.Text(0), "ok");
            }
            const int count = static_cast<int>(kept.Count());
            EXPECT_GE(count, told->kept);
            EXPECT_LE(count, told->kept + 1);  // the save on its way, whole or not at all
            std::vector<int16_t> lev;
            for (int i = 0; i < count; ++i)
                for (const std::string& text : saves.at(static_cast<std::size_t>(i)))
                    lev.push_back(static_cast<int16_t>(std::stoi(text)));
            EXPECT_EQ(kept.lev, lev);
            // Started again: it replays, and takes the next save.
            route::RouteData route = testing_support::Started(sheet);
            day::Journal journal =
                day::Journal::Open(path, "tisdag.csv", bytes, day::Journal::Mode::ReadWrite);
            journal.Replay(route);
            EXPECT_EQ(route.nSparadKund, count);
            EXPECT_FALSE(testing_support::SaveThrough(route, journal, 4, {"1", "1", "1"}));
        } catch (const std::exception& e) {
            FAIL() << "the journal after the cut: " << e.what();
        }
    }
    munmap(told, sizeof(Told));
    std::printf("%d power cuts\n", cuts);
    EXPECT_GT(cuts, 20);
}

}  // namespace
