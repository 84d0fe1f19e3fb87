// Decoding the keyword list of an open statement.
#include "recio/keywords.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "recio/messages.h"
#include "recio/platform.h"
#include "recio/stop.h"
#include "recio/unit_table.h"

namespace recio {
namespace {

// Status and action texts: upper case, trailing blanks removed (one character kept
// at least), leading blanks significant.
std::int32_t matchKeywordText(const char* text, std::size_t length, const char* const* names, int count) {
  while (length > 1 && text[length - 1] == ' ') --length;
  for (int index = 0; index < count; ++index) {
    const char* name = names[index];
    if (std::strlen(name) != length) continue;
    bool same = true;
    for (std::size_t at = 0; at < length && same; ++at) {
      char c = text[at];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == name[at];
    }
    if (same) return index + 1;
  }
  return 0;
}

constexpr const char* kStatusNames[] = {"OLD", "NEW", "SCRATCH", "UNKNOWN", "REPLACE"};
constexpr const char* kActionNames[] = {"READ", "READWRITE", "WRITE"};

}  // namespace

std::int32_t openStatement(std::int32_t unitNumber, bool handlesErrors, const KeywordItem* items,
                           const KeywordValue* values) {
  OpenRequest request;
  request.unitNumber = unitNumber;
  request.handlesErrors = handlesErrors;
  const char* statusText = nullptr;
  std::size_t statusLength = 0;
  const char* actionText = nullptr;
  std::size_t actionLength = 0;

  for (int index = 0; !isEndOfKeywords(items[index]); ++index) {
    const KeywordItem& item = items[index];
    const KeywordValue& value = values[index];
    const bool isText = item.bytes[0] == kKeywordKindCharacter;
    const auto length = static_cast<std::size_t>(value.word0 < 0 ? 0 : value.word0);
    const char* text = static_cast<const char*>(value.word1);
    switch (item.bytes[2]) {
      case kKeywordFile:
        request.fileName = text;
        request.fileNameLength = length;
        break;
      case kKeywordStatus:
        if (isText) {
          statusText = text;
          statusLength = length;
        } else {
          request.status = static_cast<std::int32_t>(value.word0);
        }
        break;
      case kKeywordAction:
        if (isText) {
          actionText = text;
          actionLength = length;
        } else {
          request.action = static_cast<std::int32_t>(value.word0);
        }
        break;
      default:
        break;
    }
  }

  bool keywordError = false;
  if (statusText != nullptr) {
    request.status = matchKeywordText(statusText, statusLength, kStatusNames, 5);
    keywordError = keywordError || request.status == 0;
  }
  if (actionText != nullptr) {
    request.action = matchKeywordText(actionText, actionLength, kActionNames, 3);
    keywordError = keywordError || request.action == 0;
  }
  if (keywordError) {
    std::string_view name(request.fileName != nullptr ? request.fileName : "", request.fileNameLength);
    if (!handlesErrors) fatalReport(kMsgKeywordValue, unitNumber, platform::fullPath(name, kMaxPathLength));
    return kMsgKeywordValue;
  }
  return openUnit(request);
}

}  // namespace recio
