#include "support/temp_dir.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace testing_support {
namespace {

void removeTree(const std::string& path) {
  std::error_code ignored;
  // Tests may leave read-only directories behind; make them writable before removal.
  for (auto it = std::filesystem::recursive_directory_iterator(path, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
  }
  std::filesystem::remove_all(path, ignored);
}

// Directories still alive when the process ends through exit(): a death test's child
// ends inside the test, so its fixture's TempDir is never destroyed. Each entry keeps
// the process that made it, because a forked child inherits the list and must not
// remove its parent's directories.
struct LiveDirectories {
  std::mutex lock;
  std::vector<std::pair<pid_t, std::string>> entries;
};

LiveDirectories& liveDirectories() {
  static LiveDirectories* live = new LiveDirectories;  // still intact while exit handlers run
  return *live;
}

void removeLeftOvers() {
  LiveDirectories& live = liveDirectories();
  std::lock_guard<std::mutex> guard(live.lock);
  for (const auto& [owner, path] : live.entries) {
    if (owner == ::getpid()) removeTree(path);
  }
  live.entries.clear();
}

void track(const std::string& path) {
  static const bool registered = std::atexit(removeLeftOvers) == 0;
  (void)registered;
  LiveDirectories& live = liveDirectories();
  std::lock_guard<std::mutex> guard(live.lock);
  live.entries.emplace_back(::getpid(), path);
}

void untrack(const std::string& path) {
  LiveDirectories& live = liveDirectories();
  std::lock_guard<std::mutex> guard(live.lock);
  std::erase_if(live.entries, [&](const auto& entry) { return entry.second == path; });
}

constexpr std::string_view kPrefix = "cellcentrify-test-";

// A test process that was killed (a case over CTest's time limit, an interrupted run)
// leaves its directories behind: each name carries the process that made it, and the
// first directory a process makes removes those of processes that no longer exist.
void removeDirectoriesOfEndedProcesses(const std::filesystem::path& parent) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(parent, ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, kPrefix.size(), kPrefix) != 0) continue;
    char* end = nullptr;
    const long owner = std::strtol(name.c_str() + kPrefix.size(), &end, 10);
    if (owner <= 0 || *end != '-') continue;
    if (::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH) removeTree(entry.path().string());
  }
}

}  // namespace

TempDir::TempDir() {
  const std::filesystem::path parent = std::filesystem::temp_directory_path();
  static const bool swept = (removeDirectoriesOfEndedProcesses(parent), true);
  (void)swept;
  std::string pattern = (parent / (std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
  track(path_);
}

TempDir::~TempDir() {
  untrack(path_);
  removeTree(path_);
}

std::string TempDir::write(std::string_view name, std::string_view contents) const {
  std::string target = file(name);
  std::ofstream out(target, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  return target;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

}  // namespace testing_support
