// Shared pieces of the cursor tests: a fixture that creates a table from a few definitions and
// opens cursors on it, and small helpers to set and read field values of record buffers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/io/Coding.h"
#include "tests/support/TableTestSupport.h"

namespace cairn::test {

inline TTableCreateParams TableParams(std::vector<TFieldDefinition> fields,
                                      std::vector<TIndexDefinition> indexes = {},
                                      int32_t localeId = 0) {
  TTableCreateParams params;
  params.LocaleID = localeId;
  params.Fields = std::move(fields);
  for (size_t k = 0; k < params.Fields.size(); ++k) {
    params.Fields[k].FieldNum = static_cast<uint16_t>(k + 1);
  }
  params.SecondaryIndexes = std::move(indexes);
  return params;
}

// An index over several fields (numbers), with per-field descending flags.
inline TIndexDefinition IndexOn(const std::string& name, std::vector<uint16_t> fields,
                                bool unique = false, bool caseInsensitive = false,
                                std::vector<bool> descending = {}) {
  TIndexDefinition index;
  index.IndexName = name;
  index.KeyUnique = unique;
  index.KeyCaseInsensitive = caseInsensitive;
  for (size_t i = 0; i < fields.size(); ++i) {
    index.KeyFields[i] = fields[i];
    index.KeyDescendingFields[i] = i < descending.size() && descending[i];
  }
  index.KeyFieldCount = static_cast<uint8_t>(fields.size());
  return index;
}

class CursorFixture : public TableFixture {
 protected:
  void Create(const std::string& name, TTableCreateParams params) {
    TDataCursor cursor(FDirectory);
    cursor.SetTableName(name);
    cursor.SetExclusive(true);
    cursor.CreateTable(params);
  }
  std::unique_ptr<TDataCursor> Open(const std::string& name, bool exclusive = true) {
    return OpenIn(FDirectory, name, exclusive);
  }
  static std::unique_ptr<TDataCursor> OpenIn(TDataDirectory& directory, const std::string& name,
                                             bool exclusive) {
    auto cursor = std::make_unique<TDataCursor>(directory);
    cursor->SetTableName(name);
    cursor->SetExclusive(exclusive);
    cursor->OpenCursor();
    return cursor;
  }
};

// A record buffer of a cursor, with typed access to its fields.
class TRow {
 public:
  explicit TRow(TDataCursor& cursor) : FCursor(cursor), FBytes(cursor.RecordSize()) {}
  char* Data() { return FBytes.data(); }
  const char* Data() const { return FBytes.data(); }
  void Init() { FCursor.InitRecord(Data()); }

  void SetNull(int32_t field) { FCursor.PutField(field, Data(), nullptr); }
  void SetText(int32_t field, const std::string& text) {
    FCursor.PutField(field, Data(), text.c_str());
  }
  void SetInt(int32_t field, int32_t value) {
    char bytes[4];
    EncodeInt32(bytes, value);
    FCursor.PutField(field, Data(), bytes);
  }
  void SetInt16(int32_t field, int16_t value) {
    char bytes[2];
    EncodeInt16(bytes, value);
    FCursor.PutField(field, Data(), bytes);
  }
  void SetDouble(int32_t field, double value) {
    char bytes[8];
    EncodeDouble(bytes, value);
    FCursor.PutField(field, Data(), bytes);
  }

  bool IsNull(int32_t field) const {
    char value[1024];
    bool isNull = false;
    FCursor.GetField(field, Data(), value, isNull);
    return isNull;
  }
  std::string Text(int32_t field) const {
    char value[1024] = {};
    bool isNull = false;
    FCursor.GetField(field, Data(), value, isNull);
    return isNull ? std::string() : std::string(value);
  }
  int32_t Int(int32_t field) const {
    char value[8] = {};
    bool isNull = false;
    FCursor.GetField(field, Data(), value, isNull);
    return DecodeInt32(value);
  }
  int16_t Int16(int32_t field) const {
    char value[8] = {};
    bool isNull = false;
    FCursor.GetField(field, Data(), value, isNull);
    return DecodeInt16(value);
  }
  uint16_t Word(int32_t field) const { return static_cast<uint16_t>(Int16(field)); }
  double Double(int32_t field) const {
    char value[8] = {};
    bool isNull = false;
    FCursor.GetField(field, Data(), value, isNull);
    return DecodeDouble(value);
  }
  int64_t Int64(int32_t field) const {
    char value[8] = {};
    bool isNull = false;
    FCursor.GetField(field, Data(), value, isNull);
    return DecodeInt64(value);
  }
  int32_t RecordID() const { return Int(-1); }
  int32_t SlotNumber() const { return DecodeInt32(Data() + 1); }

 private:
  TDataCursor& FCursor;
  std::vector<char> FBytes;
};

}  // namespace cairn::test
