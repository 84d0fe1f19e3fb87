// Decoding the keyword list of an open statement.
#include "recio/units/open_keywords.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "recio/stop/messages.h"
#include "recio/stop/stop.h"
#include "recio/units/unit_table.h"

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

// A status or action given as text, matched against its names once the whole list is
// read (the file name is only known then, for the message); nullptr when none was given.
struct KeywordText {
  const char* text = nullptr;
  std::size_t length = 0;
};

// A status or action keyword: text is kept for matching, an integer is the code itself.
void takeSetting(bool isText, const KeywordText& given, const KeywordValue& value, KeywordText& text,
                 std::int32_t& code) {
  if (isText) {
    text = given;
  } else {
    code = static_cast<std::int32_t>(value.length);
  }
}

// Matches a text given for a setting against its names; false when it matches none.
template <std::size_t kCount>
bool matchSetting(const KeywordText& given, const char* const (&names)[kCount], std::int32_t& code) {
  if (given.text == nullptr) return true;
  code = matchKeywordText(given.text, given.length, names, static_cast<int>(kCount));
  return code != 0;
}

}  // namespace

std::int32_t openStatement(std::int32_t unitNumber, bool handlesErrors, const KeywordItem* items,
                           const KeywordValue* values) {
  OpenRequest request;
  request.unitNumber = unitNumber;
  request.handlesErrors = handlesErrors;
  KeywordText statusText;
  KeywordText actionText;

  for (int index = 0; !isEndOfKeywords(items[index]); ++index) {
    const KeywordItem& item = items[index];
    const KeywordValue& value = values[index];
    const bool isText = item.bytes[0] == kTypeCharacter;
    const KeywordText given{static_cast<const char*>(value.address),
                            static_cast<std::size_t>(value.length < 0 ? 0 : value.length)};
    switch (item.bytes[2]) {
      case kKeywordFile:
        request.fileName = given.text;
        request.fileNameLength = given.length;
        break;
      case kKeywordStatus:
        takeSetting(isText, given, value, statusText, request.status);
        break;
      case kKeywordAction:
        takeSetting(isText, given, value, actionText, request.action);
        break;
      default:
        break;
    }
  }

  const bool statusMatched = matchSetting(statusText, kStatusNames, request.status);
  const bool actionMatched = matchSetting(actionText, kActionNames, request.action);
  const bool keywordError = !statusMatched || !actionMatched;
  if (keywordError) {
    if (!handlesErrors)
      fatalReport(kMsgKeywordValue, unitNumber, fullFileName(request.fileName, request.fileNameLength));
    return kMsgKeywordValue;
  }
  return openUnit(request);
}

}  // namespace recio
