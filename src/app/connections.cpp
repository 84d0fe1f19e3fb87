#include "app/connections.h"

#include "recio/console.h"
#include "recio/stop.h"
#include "recio/units.h"

namespace app {
namespace {

using recio::KeywordItem;
using recio::KeywordValue;

constexpr KeywordItem kEndOfList = {{0x01, 0x00, 0x00, 0x00}};

// FILE, STATUS and ACTION, all character values: status "old", action "read".
constexpr KeywordItem kReadKeywords[] = {
    {{recio::kKeywordKindCharacter, 4, recio::kKeywordFile, 0}},
    {{recio::kKeywordKindCharacter, 4, recio::kKeywordStatus, 0}},
    {{recio::kKeywordKindCharacter, 4, recio::kKeywordAction, 0}},
    kEndOfList,
};

// FILE and ACTION as character values (action "write"), STATUS as the constant 4, UNKNOWN.
constexpr KeywordItem kWriteKeywords[] = {
    {{recio::kKeywordKindCharacter, 4, recio::kKeywordFile, 0}},
    {{recio::kKeywordKindCharacter, 4, recio::kKeywordAction, 0}},
    {{recio::kKeywordKindInteger, 1, recio::kKeywordStatus, 0}},
    kEndOfList,
};

KeywordValue textValue(std::string_view text) { return {static_cast<std::intptr_t>(text.size()), text.data()}; }

recio::TransferItem characterItem(const recio::LengthAddressBlock& block, bool isLast) {
  return {{recio::kTypeCharacter, recio::kFormLengthAddress, isLast ? recio::kFollowLast : recio::kFollowMore, 0},
          &block};
}

}  // namespace

std::int32_t openForReading(const NameField& name) {
  const KeywordValue values[] = {textValue(name.field()), textValue("old"), textValue("read"), {0, nullptr}};
  return recio::openStatement(kFileUnit, true, kReadKeywords, values);
}

void openForWriting(const NameField& name) {
  const KeywordValue values[] = {textValue(name.field()), textValue("write"), {recio::kStatusUnknown, nullptr},
                                 {0, nullptr}};
  recio::openStatement(kFileUnit, false, kWriteKeywords, values);
}

void stopWithNotFound(std::string_view literal, const NameField& name) {
  const std::string_view trimmed = name.trimmed();
  const recio::LengthAddressBlock literalBlock{static_cast<std::intptr_t>(literal.size()), literal.data()};
  const recio::LengthAddressBlock nameBlock{static_cast<std::intptr_t>(trimmed.size()), trimmed.data()};
  recio::FreeFormatWriter writer;
  writer.begin(recio::kConsoleUnit);
  writer.transfer(characterItem(literalBlock, false), false);
  writer.transfer(characterItem(nameBlock, true), true);
  recio::runStop(kFailureStatus);
}

void stopWithReadFailure(const recio::FormatProgram& message, const NameField& name) {
  const std::string_view trimmed = name.trimmed();
  const recio::LengthAddressBlock nameBlock{static_cast<std::intptr_t>(trimmed.size()), trimmed.data()};
  recio::FormattedWriter writer;
  writer.begin(recio::kConsoleUnit, message);
  writer.transfer(characterItem(nameBlock, true), true);
  recio::runStop(kFailureStatus);
}

}  // namespace app
