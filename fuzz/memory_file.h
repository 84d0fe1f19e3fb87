// Fuzz inputs become files: the record layer reads and writes files through the
// operating system, so each input is written to a file in a private temporary directory
// first, and what a target writes is read back from one.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "recio/units/unit_table.h"

namespace fuzzing {

inline const std::string& scratchDirectory();

// Removes the scratch directory and what the last inputs left in it when the fuzzer ends.
inline void removeScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(scratchDirectory(), ignored);
}

inline const std::string& scratchDirectory() {
  // Never freed, so that it outlives the exit handler that removes the directory.
  static const std::string* const directory = [] {
    // Memory-backed when the machine has it: a fuzzer writes two files per input.
    std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/cellcentrify-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) ::abort();
    auto* path = new std::string(pattern);
    std::atexit(removeScratchDirectory);
    return path;
  }();
  return *directory;
}

// Writes the bytes to `name` in the scratch directory and returns its path.
inline std::string writeScratchFile(const char* name, const std::uint8_t* data, std::size_t size) {
  std::string path = scratchDirectory() + "/" + name;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) ::abort();
  std::size_t done = 0;
  while (done < size) {
    ssize_t written = ::write(fd, data + done, size - done);
    if (written <= 0) ::abort();
    done += static_cast<std::size_t>(written);
  }
  ::close(fd);
  return path;
}

// The bytes of the file at `path`, read in one go: a character at a time through a stream
// took a tenth of the time of a run of a thousand statements.
inline std::string readWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) ::abort();
  struct stat status;
  if (::fstat(fd, &status) != 0) ::abort();
  std::string bytes(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (got <= 0) ::abort();
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  return bytes;
}

// Connects unit 1 to a file as the program does, for reading (status OLD) or for
// writing (status UNKNOWN), with the errors handled; 0 or the message.
inline std::int32_t openUnitOne(const std::string& path, std::int32_t status, std::int32_t action) {
  recio::OpenRequest request;
  request.unitNumber = 1;
  request.fileName = path.c_str();
  request.fileNameLength = path.size();
  request.status = status;
  request.action = action;
  request.handlesErrors = true;
  return recio::openUnit(request);
}

inline std::int32_t openForReading(const std::string& path) {
  return openUnitOne(path, recio::kStatusOld, recio::kActionRead);
}

inline std::int32_t openForWriting(const std::string& path) {
  return openUnitOne(path, recio::kStatusUnknown, recio::kActionWrite);
}

}  // namespace fuzzing
