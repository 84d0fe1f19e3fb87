// The XIO_FMT_TERMINATOR grammar, and the one reading of the setting per run.
#include "recio/units/terminator_setting.h"

#include <cstring>
#include <mutex>
#include <string_view>

#include "recio/settings/settings.h"
#include "recio/stop/messages.h"
#include "recio/stop/stop.h"

namespace recio {
namespace {

struct Keyword {
  std::string_view name;
  RecordFormat format;
};
// CRLF before CR: "CR" is a prefix of "CRLF".
constexpr Keyword kKeywords[] = {{"CRLF", RecordFormat::CrLf}, {"CR", RecordFormat::Cr}, {"LF", RecordFormat::Lf}};

// The whole of `text` is a keyword.
bool isKeyword(std::string_view text, RecordFormat& format) {
  for (const Keyword& keyword : kKeywords) {
    if (text == keyword.name) {
      format = keyword.format;
      return true;
    }
  }
  return false;
}

// Keyword with its delimiter at the start of `text`; advances past both.
bool takeKeyword(std::string_view& text, char delimiter, RecordFormat& format) {
  for (const Keyword& keyword : kKeywords) {
    if (text.size() > keyword.name.size() && text.substr(0, keyword.name.size()) == keyword.name &&
        text[keyword.name.size()] == delimiter) {
      format = keyword.format;
      text.remove_prefix(keyword.name.size() + 1);
      return true;
    }
  }
  return false;
}

bool takeNumber(std::string_view& text, std::uint32_t& number) {
  std::size_t length = 0;
  std::uint64_t value = 0;
  while (length < text.size() && text[length] >= '0' && text[length] <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(text[length] - '0');
    if (value > 0x7fffffff) return false;
    ++length;
  }
  if (length == 0) return false;
  number = static_cast<std::uint32_t>(value);
  text.remove_prefix(length);
  return true;
}

bool parseList(std::string_view text, TerminatorSetting& setting) {
  if (text.empty()) return false;
  for (;;) {
    if (setting.itemCount == TerminatorSetting::kMaxItems) return false;
    TerminatorSetting::Range range{};
    if (!takeNumber(text, range.first)) return false;
    range.last = range.first;
    if (!text.empty() && text.front() == '-') {
      text.remove_prefix(1);
      if (!takeNumber(text, range.last) || range.last < range.first) return false;
    }
    setting.items[setting.itemCount++] = range;
    if (text.empty()) return true;
    if (text.front() != ',') return false;
    text.remove_prefix(1);
    if (text.empty()) return false;  // a list may not end with a comma
  }
}

bool parse(std::string_view text, TerminatorSetting& setting) {
  if (isKeyword(text, setting.defaultFormat)) {
    setting.hasDefault = true;
    return true;
  }
  if (text.find(';') != std::string_view::npos) {
    if (!takeKeyword(text, ';', setting.defaultFormat)) return false;
    setting.hasDefault = true;
  }
  if (text.find(':') != std::string_view::npos) {
    if (!takeKeyword(text, ':', setting.listedFormat)) return false;
  }
  if (!parseList(text, setting)) return false;
  if (setting.hasDefault && setting.listedFormat == setting.defaultFormat) setting.itemCount = 0;
  return true;
}

}  // namespace

RecordFormat TerminatorSetting::formatFor(std::int32_t unitNumber) const {
  if (unitNumber >= 0) {
    const auto number = static_cast<std::uint32_t>(unitNumber);
    for (int index = 0; index < itemCount; ++index) {
      if (number >= items[index].first && number <= items[index].last) return listedFormat;
    }
  }
  return hasDefault ? defaultFormat : RecordFormat::CrLf;
}

bool parseTerminatorSetting(const char* value, TerminatorSetting& setting) {
  setting = TerminatorSetting{};
  if (value == nullptr || *value == '\0') return true;
  if (!parse(std::string_view(value, std::strlen(value)), setting)) {
    setting = TerminatorSetting{};
    return false;
  }
  return true;
}

RecordFormat recordFormatFor(std::int32_t unitNumber) {
  static std::once_flag readOnce;
  static TerminatorSetting* setting = new TerminatorSetting;
  std::call_once(readOnce, [] {
    const char* value = terminatorSettingText();
    if (!parseTerminatorSetting(value, *setting)) fatalReport(kMsgTerminatorSetting, 0, value);
  });
  return setting->formatFor(unitNumber);
}

}  // namespace recio
