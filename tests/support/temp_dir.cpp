#include "support/temp_dir.h"

#include <unistd.h>

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

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "cellcentrify-test-XXXXXX").string();
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
