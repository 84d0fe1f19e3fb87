// The two I/O floors the conversion is measured against, as bare system calls:
//
//   io_floor blocks MODEL BYTES TABLE   read MODEL and write BYTES bytes to TABLE, both
//                                       in 128 KiB blocks (what buffered output cannot beat)
//   io_floor records COUNT TABLE        COUNT write calls of one 66-byte record each (what
//                                       writing every record at once cannot beat)
//
// TABLE is created or emptied first, as the conversion does with its table.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kBlockSize = 128 * 1024;
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

int blocks(const char* modelName, unsigned long long tableBytes, const char* tableName) {
  std::vector<char> block(kBlockSize, ' ');
  const int model = ::open(modelName, O_RDONLY);
  if (model < 0) return 1;
  while (::read(model, block.data(), block.size()) > 0) {
  }
  ::close(model);
  const int table = openTable(tableName);
  if (table < 0) return 1;
  for (; tableBytes > 0; tableBytes -= std::min<unsigned long long>(tableBytes, kBlockSize)) {
    if (!writeAll(table, block.data(), std::min<unsigned long long>(tableBytes, kBlockSize))) return 1;
  }
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
  if (argc == 5 && std::strcmp(argv[1], "blocks") == 0) return blocks(argv[2], std::strtoull(argv[3], nullptr, 10), argv[4]);
  if (argc == 4 && std::strcmp(argv[1], "records") == 0) return records(std::strtoull(argv[2], nullptr, 10), argv[3]);
  return 2;
}
