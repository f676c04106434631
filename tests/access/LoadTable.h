// The table the tests of many processes share: rows numbered by writer and sequence, each with a
// name and a memo that both follow from the numbers, so a reader can tell a whole row from a torn
// one; a primary and two secondary indexes, each with its own order to check.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnTable.h"
#include "cairn/error/EngineError.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn::test {

inline constexpr const char* kLoadTable = "Load";

// A size from the environment variable, or the fallback when it is not set.
inline int SizeFromEnvironment(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

inline std::string LoadName(int writer, int seq) {
  char text[32];
  std::snprintf(text, sizeof text, "W%d-%06d", writer, seq);
  return text;
}

// 1 to 1200 bytes: none, one or three blob blocks.
inline std::string LoadNote(int writer, int seq) {
  const size_t size = 1 + static_cast<size_t>((seq * 37 + writer * 11) % 1200);
  std::string note(size, static_cast<char>('a' + writer % 26));
  const std::string tag = LoadName(writer, seq);
  note.replace(0, std::min(size, tag.size()), tag, 0, std::min(size, tag.size()));
  return note;
}

inline void CreateLoadTable(TCairnTable& table) {
  table.FieldDefs().Add("Writer", ftInteger, 0, true);
  table.FieldDefs().Add("Seq", ftInteger, 0, true);
  table.FieldDefs().Add("Name", ftString, 20, true);
  table.FieldDefs().Add("Note", ftMemo);
  table.IndexDefs().Add("", "Writer;Seq", {ixPrimary, ixUnique});
  table.IndexDefs().Add("ByName", "Name", {ixCaseInsensitive});
  table.IndexDefs().Add("BySeq", "Seq;Writer", {});
  table.CreateTable(0, 1, 0, false, "", "", 4096, 512, 0, "", nullptr, "", "");
}

inline void AppendLoadRow(TCairnTable& table, int writer, int seq) {
  table.AppendRecord({int32_t{writer}, int32_t{seq}, LoadName(writer, seq), LoadNote(writer, seq)});
}

// The failures a process sharing a table may meet and retry: a lock it did not get in time.
inline bool IsLockTimeout(const ECairnEngineError& error) {
  switch (error.ErrorCode()) {
    case CAIRN_LOCKREADLOCK:
    case CAIRN_LOCKWRITELOCK:
    case CAIRN_READLOCK:
    case CAIRN_WRITELOCK:
    case CAIRN_LOCKED:
    case CAIRN_RECLOCKFAILED:
      return true;
    default:
      return false;
  }
}

// A table object on the table of a database object named "Load" over directory.
struct TLoadConnection {
  explicit TLoadConnection(const std::string& directory, bool exclusive = false) {
    database.SetDatabaseName("LoadDB");
    database.SetDirectory(directory);
    table.SetDatabaseName("LoadDB");
    table.SetTableName(kLoadTable);
    table.SetExclusive(exclusive);
  }
  TCairnDatabase database;
  TCairnTable table;
};

// Every row reachable through the primary index, and which of them are not whole, read under a
// fresh component layer; OpenError tells why the table could not be opened.
struct TLoadRows {
  bool Opened = false;
  std::string OpenError;
  std::set<std::pair<int, int>> Keys;
  std::set<std::pair<int, int>> Torn;
};

inline TLoadRows ReadLoadRows(const std::string& directory) {
  TLoadRows rows;
  FinalizeComponentLayer();
  try {
    TLoadConnection connection(directory, true);
    connection.table.Open();
    rows.Opened = true;
    TCairnTable& table = connection.table;
    for (table.First(); !table.Eof(); table.Next()) {
      const std::pair<int, int> key{table.FieldByName("Writer").AsInteger(),
                                    table.FieldByName("Seq").AsInteger()};
      rows.Keys.insert(key);
      if (table.FieldByName("Name").AsString() != LoadName(key.first, key.second) ||
          table.FieldByName("Note").AsString() != LoadNote(key.first, key.second)) {
        rows.Torn.insert(key);
      }
    }
  } catch (const std::exception& error) {
    rows.OpenError = error.what();
  }
  FinalizeComponentLayer();
  return rows;
}

// The verifier's findings on the table, and repair's account of what it mended, each under a
// fresh component layer.
inline TCheckFindings CheckLoadTable(const std::string& directory) {
  FinalizeComponentLayer();
  TCheckFindings findings;
  {
    TLoadConnection connection(directory);
    findings = connection.database.CheckTable(kLoadTable);
  }
  FinalizeComponentLayer();
  return findings;
}

inline std::vector<std::string> RepairLoadTable(const std::string& directory) {
  FinalizeComponentLayer();
  std::vector<std::string> mended;
  {
    TLoadConnection connection(directory);
    mended = connection.database.RepairTable(kLoadTable);
  }
  FinalizeComponentLayer();
  return mended;
}

}  // namespace cairn::test
