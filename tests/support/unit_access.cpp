#include "support/unit_access.h"

#include <cstdlib>
#include <cstring>

#include "recio/messages.h"
#include "recio/settings.h"
#include "recio/units.h"

extern char** environ;

namespace testing_support {
namespace {

recio::KeywordValue text(std::string_view value) {
  return {static_cast<std::intptr_t>(value.size()), value.data()};
}

constexpr recio::KeywordItem kEnd{{1, 0, 0, 0}};
constexpr recio::KeywordItem characterItem(std::uint8_t keyword) {
  return {{recio::kKeywordKindCharacter, 4, keyword, 0}};
}

}  // namespace

void clearIoEnvironment() {
  std::vector<std::string> names;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    if (text.rfind("XIO", 0) == 0) names.emplace_back(text.substr(0, text.find('=')));
  }
  for (const std::string& name : names) ::unsetenv(name.c_str());
  recio::readStartUpSettings();
}

std::int32_t openWithTexts(std::int32_t unitNumber, std::string_view name, std::string_view status,
                           std::string_view action) {
  const recio::KeywordItem items[] = {characterItem(recio::kKeywordFile), characterItem(recio::kKeywordStatus),
                                      characterItem(recio::kKeywordAction), kEnd};
  const recio::KeywordValue values[] = {text(name), text(status), text(action), {0, nullptr}};
  return recio::openStatement(unitNumber, true, items, values);
}

std::int32_t openForReading(std::int32_t unitNumber, std::string_view name) {
  return openWithTexts(unitNumber, name, "old", "read");
}

std::int32_t openForWriting(std::int32_t unitNumber, std::string_view name) {
  const recio::KeywordItem items[] = {characterItem(recio::kKeywordFile),
                                      {{recio::kKeywordKindInteger, 1, recio::kKeywordStatus, 0}},
                                      characterItem(recio::kKeywordAction), kEnd};
  const recio::KeywordValue values[] = {text(name), {recio::kStatusUnknown, nullptr}, text("write"), {0, nullptr}};
  return recio::openStatement(unitNumber, true, items, values);
}

std::int32_t writeRecord(std::int32_t unitNumber, std::string_view record) {
  recio::Unit* unit = recio::acquireUnit(unitNumber);
  if (unit == nullptr) return recio::kMsgOpenFailure;
  const std::int32_t result = recio::putRecord(*unit, record.data(), record.size());
  recio::releaseUnit(*unit);
  return result;
}

InputRecord readRecord(std::int32_t unitNumber) {
  InputRecord record;
  recio::Unit* unit = recio::acquireUnit(unitNumber);
  if (unit == nullptr) return {recio::kMsgOpenFailure, {}};
  record.result = recio::getRecord(*unit);
  if (record.result == 0) {
    const recio::InputBuffer& input = unit->input;
    record.text.assign(input.data + input.recordBegin, input.recordEnd - input.recordBegin);
  }
  recio::releaseUnit(*unit);
  return record;
}

std::string unitPath(std::int32_t unitNumber) {
  recio::Unit* unit = recio::acquireUnit(unitNumber);
  if (unit == nullptr) return {};
  std::string path = unit->path;
  recio::releaseUnit(*unit);
  return path;
}

}  // namespace testing_support
