// The I/O floors the conversion is measured against, as bare system calls:
//
//   io_floor blocks MODEL BYTES TABLE   read MODEL and write BYTES bytes to TABLE, both
//                                       in 128 KiB blocks (what buffered output cannot beat)
//   io_floor direct MODEL BYTES TABLE [BLOCK]
//                                       the same, the table written past the page cache
//                                       (O_DIRECT) in aligned blocks of BLOCK bytes (default
//                                       1 MiB, a multiple of 4096), the unaligned tail after
//                                       clearing the flag; exit status 3 where the table's
//                                       file system takes no direct I/O
//   io_floor records COUNT TABLE        COUNT write calls of one 66-byte record each (what
//                                       writing every record at once cannot beat)
//
// TABLE is created or emptied first, as the conversion does with its table.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kBlockSize = 128 * 1024;
constexpr std::size_t kDirectBlockSize = 1024 * 1024;
constexpr std::size_t kRecordSize = 66;  // 64 characters and CR LF

int openTable(const char* name) { return ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644); }

bool writeAll(int handle, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(handle, bytes, count);
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

bool readModel(const char* modelName, char* buffer, std::size_t size) {
  const int model = ::open(modelName, O_RDONLY);
  if (model < 0) return false;
  while (::read(model, buffer, size) > 0) {
  }
  ::close(model);
  return true;
}

int blocks(const char* modelName, unsigned long long tableBytes, const char* tableName) {
  std::vector<char> block(kBlockSize, ' ');
  if (!readModel(modelName, block.data(), block.size())) return 1;
  const int table = openTable(tableName);
  if (table < 0) return 1;
  for (; tableBytes > 0; tableBytes -= std::min<unsigned long long>(tableBytes, kBlockSize)) {
    if (!writeAll(table, block.data(), std::min<unsigned long long>(tableBytes, kBlockSize))) return 1;
  }
  return ::close(table) == 0 ? 0 : 1;
}

#if defined(__linux__) && defined(STATX_DIOALIGN)
// Whether the open file's system really writes past the page cache: tmpfs, for one,
// accepts O_DIRECT and reports no alignment.
bool takesDirectWrites(int handle) {
  struct statx info;
  return ::statx(handle, "", AT_EMPTY_PATH, STATX_DIOALIGN, &info) == 0 && (info.stx_mask & STATX_DIOALIGN) != 0 &&
         info.stx_dio_offset_align != 0 && kDirectBlockSize % info.stx_dio_offset_align == 0 &&
         4096 % std::max(info.stx_dio_mem_align, 1u) == 0;
}
#else
bool takesDirectWrites(int) { return false; }
#endif

int direct(const char* modelName, unsigned long long tableBytes, const char* tableName, std::size_t blockSize) {
  if (blockSize == 0 || blockSize % 4096 != 0) return 2;
  char* block = static_cast<char*>(std::aligned_alloc(4096, blockSize));
  if (block == nullptr) return 1;
  std::memset(block, ' ', blockSize);
  if (!readModel(modelName, block, blockSize)) return 1;
  std::memset(block, ' ', blockSize);
  const int table = openTable(tableName);
  if (table < 0) return 1;
  const int flags = ::fcntl(table, F_GETFL);
  if (!takesDirectWrites(table) || ::fcntl(table, F_SETFL, flags | O_DIRECT) != 0) {
    std::fputs("io_floor: the table's file system takes no direct I/O\n", stderr);
    return 3;
  }
  for (; tableBytes >= blockSize; tableBytes -= blockSize) {
    if (!writeAll(table, block, blockSize)) return 1;
  }
  if (tableBytes > 0 && (::fcntl(table, F_SETFL, flags) != 0 || !writeAll(table, block, tableBytes))) return 1;
  std::free(block);
  return ::close(table) == 0 ? 0 : 1;
}

int records(unsigned long long count, const char* tableName) {
  char record[kRecordSize];
  std::memset(record, ' ', sizeof record);
  std::memcpy(record + kRecordSize - 2, "\r\n", 2);
  const int table = openTable(tableName);
  if (table < 0) return 1;
  for (; count > 0; --count) {
    if (::write(table, record, sizeof record) != static_cast<ssize_t>(sizeof record)) return 1;
  }
  return ::close(table) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "blocks") == 0)
    return blocks(argv[2], std::strtoull(argv[3], nullptr, 10), argv[4]);
  if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "direct") == 0) {
    const std::size_t blockSize = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : kDirectBlockSize;
    return direct(argv[2], std::strtoull(argv[3], nullptr, 10), argv[4], blockSize);
  }
  if (argc == 4 && std::strcmp(argv[1], "records") == 0) return records(std::strtoull(argv[2], nullptr, 10), argv[3]);
  return 2;
}
