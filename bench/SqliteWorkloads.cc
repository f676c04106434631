#include "bench/SqliteWorkloads.h"

#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "bench/RowSource.h"
#include "generator/TableSchemas.h"

namespace cairn::bench {

namespace {

class TSqlite {
 public:
  TSqlite(const std::string& path, int64_t cacheKiB) {
    if (sqlite3_open(path.c_str(), &FDb) != SQLITE_OK) Fail("open");
    if (cacheKiB > 0) Exec("PRAGMA cache_size = -" + std::to_string(cacheKiB));
  }
  ~TSqlite() { sqlite3_close(FDb); }
  TSqlite(const TSqlite&) = delete;
  TSqlite& operator=(const TSqlite&) = delete;

  void Exec(const std::string& sql) {
    if (sqlite3_exec(FDb, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(FDb, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail(sql);
    return statement;
  }
  void Step(sqlite3_stmt* statement) {
    if (sqlite3_step(statement) != SQLITE_DONE) Fail("step");
    sqlite3_reset(statement);
  }
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("sqlite " + what.substr(0, 60) + ": " + sqlite3_errmsg(FDb));
  }

 private:
  sqlite3* FDb = nullptr;
};

const char* SqlType(TFieldType type) {
  switch (type) {
    case ftString:
    case ftGuid:
    case ftMemo:
      return "TEXT";
    case ftBoolean:
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
      return "INTEGER";
    case ftBlob:
      return "BLOB";
    default:
      return "REAL";
  }
}

void Bind(sqlite3_stmt* statement, int column, const std::string& text) {
  sqlite3_bind_text(statement, column, text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
}

void ReportIo(const TProcessIo& before, TMeasure& measure) {
  const TProcessIo after = ProcessIo();
  measure.WriteCalls = after.WriteCalls - before.WriteCalls;
  measure.BytesWritten = after.BytesWritten - before.BytesWritten;
  measure.ReadCalls = after.ReadCalls - before.ReadCalls;
  measure.BytesRead = after.BytesRead - before.BytesRead;
}

}  // namespace

std::string SqliteContactsSchema(const std::string& tableName) {
  const kalvora::TTableSchema& schema = kalvora::ContactsSchema();
  std::string sql = "CREATE TABLE " + tableName + " (";
  for (size_t i = 0; i < schema.Fields.size(); ++i) {
    const kalvora::TFieldSpec& field = schema.Fields[i];
    sql += std::string(i ? ", " : "") + "\"" + field.Name + "\" " + SqlType(field.DataType);
    if (std::string(field.DefaultValue) == "False") sql += " DEFAULT 0";
  }
  sql += ");\n";
  for (const kalvora::TIndexSpec& index : schema.Indexes) {
    const std::string name = index.Name[0] ? index.Name : "IDX_PRIMARY";
    sql += std::string("CREATE ") + (index.Options.Contains(ixUnique) ? "UNIQUE " : "") + "INDEX " +
           name + " ON " + tableName + " (\"" + index.Fields + "\");\n";
  }
  return sql;
}

std::string SqliteContactsLoadColumns() {
  const kalvora::TTableSchema& schema = kalvora::ContactsSchema();
  std::string columns;
  for (const kalvora::TIndexSpec& index : schema.Indexes)
    columns += std::string(columns.empty() ? "" : ", ") + "\"" + index.Fields + "\"";
  return columns;
}

void SqliteContacts(const std::string& path, int64_t cacheKiB, int64_t rows, TMeasure& measure) {
  TSqlite db(path, cacheKiB);
  db.Exec(SqliteContactsSchema("Contacts"));
  const std::string columns = SqliteContactsLoadColumns();
  std::string marks = "?";
  for (int i = 1; i < 13; ++i) marks += ", ?";

  const TProcessIo before = ProcessIo();
  TStopwatch watch;
  sqlite3_stmt* insert =
      db.Prepare("INSERT INTO Contacts (" + columns + ") VALUES (" + marks + ")");
  db.Exec("BEGIN");
  TRowSource source;
  std::string text;
  for (int64_t row = 0; row < rows; ++row) {
    source.Guid(text);
    Bind(insert, 1, text);
    for (int column = 2; column <= 13; ++column) {
      source.Word(text);
      Bind(insert, column, text);
    }
    db.Step(insert);
  }
  sqlite3_finalize(insert);
  db.Exec("COMMIT");
  measure.Seconds = watch.Seconds();
  measure.Rows = rows;
  ReportIo(before, measure);
}

void SqliteSmall(const std::string& path, int64_t cacheKiB, int64_t rows, TMeasure& measure) {
  TSqlite db(path, cacheKiB);
  db.Exec(
      "CREATE TABLE Small (name TEXT, value INTEGER, stamp REAL);"
      "CREATE INDEX ByName ON Small (name);");
  const TProcessIo before = ProcessIo();
  TStopwatch watch;
  sqlite3_stmt* insert = db.Prepare("INSERT INTO Small (name, value, stamp) VALUES (?, ?, ?)");
  db.Exec("BEGIN");
  TRowSource source;
  std::string name;
  for (int64_t row = 0; row < rows; ++row) {
    source.Word(name);
    Bind(insert, 1, name);
    sqlite3_bind_int(insert, 2, source.Integer());
    sqlite3_bind_double(insert, 3, source.DateTime());
    db.Step(insert);
  }
  sqlite3_finalize(insert);
  db.Exec("COMMIT");
  measure.Seconds = watch.Seconds();
  measure.Rows = rows;
  ReportIo(before, measure);
}

void SqliteScan(const std::string& path, int64_t cacheKiB, bool byName, TMeasure& measure) {
  const TProcessIo before = ProcessIo();
  TStopwatch watch;
  TSqlite db(path, cacheKiB);
  sqlite3_stmt* select = db.Prepare(std::string("SELECT name, value, stamp FROM Small") +
                                    (byName ? " ORDER BY name" : ""));
  int64_t sum = 0, rows = 0;
  int step;
  while ((step = sqlite3_step(select)) == SQLITE_ROW) {
    sum += sqlite3_column_int(select, 1) + sqlite3_column_bytes(select, 0) +
           (sqlite3_column_double(select, 2) > 0 ? 1 : 0);
    ++rows;
  }
  sqlite3_finalize(select);
  if (step != SQLITE_DONE) db.Fail("scan");
  measure.Seconds = watch.Seconds();
  measure.Rows = rows;
  measure.Checksum = sum;
  ReportIo(before, measure);
}

}  // namespace cairn::bench
