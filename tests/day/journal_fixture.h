#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "day/journal.h"
#include "route/route.h"

namespace testing_support {

// A fresh folder under TMPDIR (or /tmp), on the disk and not in memory so
// that syncing is real; removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, std::string_view bytes);
// Every file in a folder by name, with its size and a digest of its bytes.
std::map<std::string, std::string> FolderSnapshot(const std::string& folder);
std::vector<std::string> FileNames(const std::string& folder);

// Three articles, four customers: loaded 30, 20, 25.
route::RouteSheet SmallSheet();
// The sheet written out as a route file's bytes, for the fingerprint.
std::string SheetBytes(const route::RouteSheet& sheet);
route::RouteData Started(const route::RouteSheet& sheet);

// The window's save path: plan every cell, record, and only then apply and
// move on to the next customer.
// Returns the journal's message when the save could not be kept.
std::optional<std::string> SaveThrough(route::RouteData& route, day::Journal& journal, int16_t kund,
                                       const std::vector<std::string>& levTexts);

// Lager, Lev of every customer, the saved mark and the page on screen.
void ExpectSameRoute(const route::RouteData& actual, const route::RouteData& expected);
// Lager = loaded - sum of Lev over the saved customers, for every article.
void ExpectStockBalances(const route::RouteData& route, const route::RouteSheet& sheet);

// Runs body in a forked child and returns its wait status; the child exits
// 0 unless a check in it failed or it threw. Failures print as usual.
int RunInChild(const std::function<void()>& body);
bool ExitedCleanly(int status);

// A writer that makes the saves (customers 1, 2, ... in turn) in a child
// process and is killed with SIGKILL while it holds the journal open. The
// route file is named "tisdag.csv". The last `inLogOnly` saves are made as
// an earlier version made them, committed into a write-ahead log beside the
// file, and the writer is killed before they reach the file itself.
void CrashWriter(const std::string& journalPath, const route::RouteSheet& sheet,
                 const std::vector<std::vector<std::string>>& saves, std::size_t inLogOnly = 0);

// For the rest of the process: root's capabilities to bypass file
// permissions are dropped, so a read-only file or folder stops it as it
// stops anyone else. Only in a child.
void DropFilePermissionOverride();

}  // namespace testing_support
