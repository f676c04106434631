#include "fuzz/TableReader.h"

#include <vector>

#include "cairn/access/CairnBlobStream.h"
#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnField.h"
#include "cairn/access/CairnIndexDefs.h"
#include "cairn/access/CairnSession.h"
#include "cairn/access/CairnTable.h"
#include "cairn/access/CairnValue.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/DataSession.h"
#include "cairn/error/EngineError.h"

namespace cairn::fuzz {

namespace {

// Every field of the current record: scalars as text, memos and blobs through a stream read to
// its end in odd-sized pieces.
void ReadFields(TCairnTable& table) {
  for (int i = 0; i < table.Fields().Count(); ++i) {
    TCairnField& field = table.Fields().Fields(i);
    if (field.DataType() == ftBlob || field.DataType() == ftMemo) {
      TCairnBlobStream stream(field, bmRead);
      char piece[333];
      size_t total = 0;
      while (const size_t got = stream.Read(piece, sizeof piece)) total += got;
      (void)stream.Size();
      (void)total;
    } else {
      (void)field.IsNull();
      (void)field.AsString();
    }
  }
}

int ReadInOrder(TCairnTable& table) {
  int count = 0;
  for (table.First(); !table.Eof(); table.Next()) {
    ReadFields(table);
    ++count;
  }
  // And back: the reverse walk takes other paths through pages and slots.
  for (table.Last(); !table.Bof(); table.Prior()) ReadFields(table);
  return count;
}

int ReadAll(TCairnTable& table) {
  table.Handle()->SetSlotOrder(true);
  int count = ReadInOrder(table);
  table.Handle()->SetSlotOrder(false);
  (void)table.RecordCount();
  std::vector<std::string> indexes;
  table.IndexDefs().Update();
  for (int i = 0; i < table.IndexDefs().Count(); ++i)
    indexes.push_back(table.IndexDefs().Items(i).Name());
  for (const std::string& name : indexes) {
    table.SetIndexName(name);
    count += ReadInOrder(table);
  }
  return count;
}

void AppendOneRow(TCairnTable& table) {
  table.Insert();
  table.FieldByName("Caption").SetAsString("appended");
  table.FieldByName("Message").SetAsString(std::string(700, 'm'));
  table.Post();
}

}  // namespace

TReadOutcome ReadWholeTable(const std::string& directory, const std::string& tableName,
                            const TReadOptions& options) {
  TReadOutcome outcome;
  FinalizeComponentLayer();
  try {
    TCairnSession& session = DefaultSession();
    session.Open();
    session.Handle()->SetLockFileOpenAttempts(options.LockFileOpenAttempts);
    TCairnDatabase database;
    database.SetDatabaseName("Fuzzed");
    database.SetDirectory(directory);
    TCairnTable table;
    table.SetDatabaseName("Fuzzed");
    table.SetTableName(tableName);
    table.SetExclusive(options.Exclusive);
    table.Open();
    if (options.AppendRow) AppendOneRow(table);
    outcome.RecordsRead = ReadAll(table);
    table.Close();
  } catch (const ECairnEngineError& error) {
    outcome.ErrorCode = error.ErrorCode();
  } catch (const EDatabaseError&) {
    outcome.ErrorCode = -1;
  }
  FinalizeComponentLayer();
  return outcome;
}

}  // namespace cairn::fuzz
