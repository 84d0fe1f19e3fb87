// The platform layer on Windows, the COFF symbol reader: finds the symbol table of the
// program's own image through the headers as loaded, reads it from the image's file, and
// looks up the routine at an address in it.
#include "recio/platform/windows/image_symbols.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace recio::platform {
namespace {

bool readAt(HANDLE file, DWORD offset, void* buffer, DWORD size) {
  OVERLAPPED at{};
  at.Offset = offset;
  DWORD got = 0;
  return ReadFile(file, buffer, size, &got, &at) && got == size;
}

}  // namespace

ImageSymbols::ImageSymbols(HMODULE image, const char* path) {
  // The headers as loaded say where the table lies in the file.
  const auto* base = reinterpret_cast<const unsigned char*>(image);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const DWORD table = nt->FileHeader.PointerToSymbolTable;
  const DWORD count = nt->FileHeader.NumberOfSymbols;
  if (table == 0 || count == 0 || count > 0x1000000 || nt->FileHeader.NumberOfSections > kMaxSections) return;
  sections_ = nt->FileHeader.NumberOfSections;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD index = 0; index < sections_; ++index) sectionAddress_[index] = section[index].VirtualAddress;

  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const DWORD recordBytes = count * kRecordSize;
  DWORD stringBytes = 0;  // the string table's size counts its own 4 bytes
  if (readAt(file, table + recordBytes, &stringBytes, 4) && stringBytes >= 4 && stringBytes < 0x10000000) {
    data_ = static_cast<char*>(std::malloc(recordBytes + stringBytes + 1));
    if (data_ != nullptr && readAt(file, table, data_, recordBytes + stringBytes)) {
      data_[recordBytes + stringBytes] = '\0';
      count_ = count;
      stringBytes_ = stringBytes;
    }
  }
  CloseHandle(file);
}

const char* ImageSymbols::routineAt(DWORD rva) {
  const char* best = nullptr;
  DWORD bestAddress = 0;
  for (DWORD index = 0; index < count_; ++index) {
    const char* record = data_ + index * kRecordSize;
    DWORD value;
    SHORT section;
    WORD type;
    std::memcpy(&value, record + 8, 4);
    std::memcpy(&section, record + 12, 2);
    std::memcpy(&type, record + 14, 2);
    const BYTE storage = static_cast<BYTE>(record[16]);
    const bool function = (type & 0x30) == 0x20 && section > 0 && section <= sections_ &&
                          (storage == IMAGE_SYM_CLASS_EXTERNAL || storage == IMAGE_SYM_CLASS_STATIC);
    index += static_cast<BYTE>(record[17]);  // auxiliary records
    if (!function) continue;
    const DWORD address = sectionAddress_[section - 1] + value;
    if (address <= rva && address >= bestAddress) {
      best = record;
      bestAddress = address;
    }
  }
  if (best == nullptr) return nullptr;
  // A short name sits in the record (8 bytes, not always terminated); a long one in the
  // string table, at the offset that follows four zero bytes.
  DWORD zeros;
  std::memcpy(&zeros, best, 4);
  if (zeros == 0) {
    DWORD offset;
    std::memcpy(&offset, best + 4, 4);
    if (offset < 4 || offset >= stringBytes_) return nullptr;
    return data_ + count_ * kRecordSize + offset;
  }
  std::memcpy(shortName_, best, 8);
  shortName_[8] = '\0';
  return shortName_;
}

ImageSymbols* programSymbols() {
  static ImageSymbols* symbols = [] {
    HMODULE program = GetModuleHandleA(nullptr);
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(program, path, sizeof path);
    if (length == 0 || length >= sizeof path) path[0] = '\0';
    return new (std::nothrow) ImageSymbols(program, path);
  }();
  return symbols;
}

}  // namespace recio::platform
