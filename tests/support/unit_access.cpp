#include "support/unit_access.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "recio/settings/settings.h"
#include "recio/stop/messages.h"
#include "recio/units/open_keywords.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"
#include "support/temp_dir.h"

extern char** environ;

namespace testing_support {
using recio::characterKeyword;
using recio::characterValue;

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
  const auto items = recio::keywordList(characterKeyword(recio::kKeywordFile), characterKeyword(recio::kKeywordStatus),
                                        characterKeyword(recio::kKeywordAction));
  const auto values = recio::keywordValues(characterValue(name), characterValue(status), characterValue(action));
  return recio::openStatement(unitNumber, true, items.data(), values.data());
}

std::int32_t openForReading(std::int32_t unitNumber, std::string_view name) {
  return openWithTexts(unitNumber, name, "old", "read");
}

std::int32_t openForWriting(std::int32_t unitNumber, std::string_view name) {
  const auto items =
      recio::keywordList(characterKeyword(recio::kKeywordFile), recio::integerKeyword(recio::kKeywordStatus),
                         characterKeyword(recio::kKeywordAction));
  const auto values =
      recio::keywordValues(characterValue(name), recio::integerValue(recio::kStatusUnknown), characterValue("write"));
  return recio::openStatement(unitNumber, true, items.data(), values.data());
}

std::int32_t writeRecord(std::int32_t unitNumber, std::string_view record) {
  recio::Unit* unit = recio::acquireUnit(unitNumber);
  if (unit == nullptr) return recio::kMsgOpenFailure;
  const std::int32_t result = unit->putRecord(record.data(), record.size());
  recio::releaseUnit(*unit);
  return result;
}

InputRecord readRecord(std::int32_t unitNumber) {
  InputRecord record;
  recio::Unit* unit = recio::acquireUnit(unitNumber);
  if (unit == nullptr) return {recio::kMsgOpenFailure, {}};
  record.result = unit->getRecord();
  if (record.result == 0) {
    const recio::RecordText text = unit->currentRecord();
    record.text.assign(text.begin, text.end);
  }
  recio::releaseUnit(*unit);
  return record;
}

std::string unitPath(std::int32_t unitNumber) {
  recio::Unit* unit = recio::acquireUnit(unitNumber);
  if (unit == nullptr) return {};
  std::string path = unit->path();
  recio::releaseUnit(*unit);
  return path;
}

void setRecordLength(std::int32_t unitNumber, std::int32_t length) {
  recio::Unit* unit = recio::acquireUnit(unitNumber);
  ASSERT_NE(unit, nullptr) << "unit " << unitNumber << " is not connected";
  UnitAccess::setRecordLength(*unit, length);
  recio::releaseUnit(*unit);
}

std::string closeAndRead(std::int32_t unitNumber, const std::string& path) {
  EXPECT_EQ(recio::closeUnit(unitNumber, true), 0) << path;
  return readFile(path);
}

}  // namespace testing_support

namespace recio {

const Connection& UnitTestPeer::connection(const Unit& unit) { return unit.connection_; }

int UnitTestPeer::osError(const Unit& unit) { return unit.osError_; }

void UnitTestPeer::setRecordLength(Unit& unit, std::int32_t length) { unit.connection_.recordLength = length; }

void UnitTestPeer::setRecordFormat(Unit& unit, RecordFormat format) {
  unit.connection_.format = format;
  unit.terminator_ = recio::terminatorOf(format);
  unit.inputTerminator_ = recio::inputTerminatorOf(format);
}

}  // namespace recio
