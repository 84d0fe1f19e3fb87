// Unit 1 connected to the mesh, the model and the table in turn, and the message lines
// that say a file could not be found or read.
#include "app/connections.h"

#include "recio/free_output/free_format_writer.h"
#include "recio/stop/stop.h"
#include "recio/transfer.h"
#include "recio/units/open_keywords.h"
#include "recio/units/unit_table.h"

namespace app {
namespace {

using recio::characterKeyword;
using recio::characterValue;

// FILE, STATUS and ACTION, all character values: status "old", action "read".
constexpr auto kReadKeywords =
    recio::keywordList(characterKeyword(recio::kKeywordFile), characterKeyword(recio::kKeywordStatus),
                       characterKeyword(recio::kKeywordAction));

// FILE and ACTION as character values (action "write"), STATUS as the constant 4, UNKNOWN.
constexpr auto kWriteKeywords =
    recio::keywordList(characterKeyword(recio::kKeywordFile), characterKeyword(recio::kKeywordAction),
                       recio::integerKeyword(recio::kKeywordStatus));

}  // namespace

std::int32_t openForReading(const FileName& name) {
  const auto values = recio::keywordValues(characterValue(name.text()), characterValue("old"), characterValue("read"));
  return recio::openStatement(kFileUnit, true, kReadKeywords.data(), values.data());
}

void openForWriting(const FileName& name) {
  const auto values = recio::keywordValues(characterValue(name.text()), characterValue("write"),
                                           recio::integerValue(recio::kStatusUnknown));
  recio::openStatement(kFileUnit, false, kWriteKeywords.data(), values.data());
}

namespace {

[[noreturn]] void stopWithNotFound(std::string_view literal, const FileName& name) {
  const recio::LengthAddressBlock literalBlock = recio::characterBlock(literal);
  const recio::LengthAddressBlock nameBlock = recio::characterBlock(name.trimmed());
  recio::FreeFormatWriter writer;
  writer.begin(recio::kConsoleUnit);
  writer.transfer(recio::characterItem(literalBlock, recio::kFollowMore));
  writer.transfer(recio::characterItem(nameBlock, recio::kFollowLast));
  recio::runStop(kFailureStatus);
}

[[noreturn]] void stopWithReadFailure(const recio::FormatProgram& message, const FileName& name) {
  const recio::LengthAddressBlock nameBlock = recio::characterBlock(name.trimmed());
  recio::FormattedWriter writer;
  writer.begin(recio::kConsoleUnit, message);
  writer.transfer(recio::characterItem(nameBlock, recio::kFollowLast));
  recio::runStop(kFailureStatus);
}

}  // namespace

void stopUnlessOk(StageStatus status, const StageMessages& messages, const FileName& name) {
  switch (status) {
    case StageStatus::Ok:
      return;
    case StageStatus::NotFound:
      stopWithNotFound(messages.notFound, name);
    case StageStatus::TooShort:
      stopWithReadFailure(messages.tooShort, name);
    case StageStatus::ReadError:
      stopWithReadFailure(messages.readFailure, name);
  }
}

}  // namespace app
