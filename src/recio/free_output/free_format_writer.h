// Free-format output: the program's plain message lines, on the console unit or a file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recio/transfer.h"
#include "recio/units/held_unit.h"
#include "recio/units/unit.h"

namespace recio {

// The line length of free-format records on a unit: 80 columns, the unit's record
// length when it has one, or no wrapping at all when XIOT_FMT_NO_WRAP_MARGIN was true
// at connection.
std::size_t freeFormatLineLength(const Unit& unit);

// One free-format write statement of character items. Each record starts with one
// blank; items that do not fit the rest of a record move to the next one, and items
// longer than a line are split across records.
class FreeFormatWriter {
 public:
  void begin(std::int32_t unitNumber);
  // Places one item; after the item marked last, ends the statement.
  void transfer(const TransferItem& item);

 private:
  void place(const char* text, std::size_t length);
  void putBlank();
  void copy(const char* text, std::size_t count);
  bool endRecord();
  void startRecord();
  [[noreturn]] void fail(std::int32_t message);

  HeldUnit hold_;
  Unit* unit_ = nullptr;  // the hold's unit while a statement runs
  std::size_t lineLength_ = 80;
  std::size_t length_ = 0;
  bool blankPending_ = false;
};

}  // namespace recio
