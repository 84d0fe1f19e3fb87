// The COFF symbol reader of the Windows platform layer (image_symbols.cpp): routine
// names from the symbol table of the program's own image.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "recio/platform/windows/win32.h"

namespace recio::platform {

// The COFF symbol table that mingw's linker leaves in the program's own image (unless it
// is stripped): routine names without debug information. Line and source would need a
// DWARF reader, which a mingw build does not have; they show as Unknown.
class ImageSymbols {
 public:
  ImageSymbols(HMODULE image, const char* path);
  ~ImageSymbols() { std::free(data_); }
  ImageSymbols(const ImageSymbols&) = delete;
  ImageSymbols& operator=(const ImageSymbols&) = delete;

  // The function symbol with the largest address at or below `rva`, as recorded;
  // nullptr if none. Valid until the next call.
  const char* routineAt(DWORD rva);

 private:
  static constexpr std::size_t kRecordSize = 18;  // IMAGE_SIZEOF_SYMBOL
  static constexpr std::size_t kMaxSections = 96;

  char* data_ = nullptr;  // the symbol records, then the string table
  DWORD count_ = 0;
  DWORD stringBytes_ = 0;
  DWORD sectionAddress_[kMaxSections] = {};
  WORD sections_ = 0;
  char shortName_[9] = {};  // a short name, terminated
};

// The program's own symbols, read at the first lookup that needs them and kept: a report
// may walk the stack again. nullptr when they cannot be had.
ImageSymbols* programSymbols();

}  // namespace recio::platform
