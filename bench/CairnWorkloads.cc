#include "bench/CairnWorkloads.h"

#include <map>
#include <memory>
#include <vector>

#include "bench/CountingFiles.h"
#include "bench/RowSource.h"
#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnField.h"
#include "cairn/access/CairnTable.h"
#include "generator/TableGenerator.h"
#include "generator/TableSchemas.h"

namespace cairn::bench {

namespace {

// The component layer of one workload's process: the buffer budgets, the counting host files
// and a database over the directory. Torn down in reverse order, after the tables closed.
class TCairnSetup {
 public:
  TCairnSetup(const std::string& directory, const TCairnBuffers& buffers) {
    CairnEngine().SetMaxTableDataBufferSize(buffers.Data);
    CairnEngine().SetMaxTableIndexBufferSize(buffers.Index);
    CairnEngine().SetMaxTableBlobBufferSize(buffers.Blob);
    if (buffers.Count > 0) {
      CairnEngine().SetMaxTableDataBufferCount(buffers.Count);
      CairnEngine().SetMaxTableIndexBufferCount(buffers.Count);
      CairnEngine().SetMaxTableBlobBufferCount(buffers.Count);
    }
    CairnEngineInstance().Handle().SetHostFiles(&FFiles);
    FDatabase.SetName("dbBench");
    FDatabase.SetDatabaseName("BenchDB");
    FDatabase.SetDirectory(directory);
  }
  ~TCairnSetup() {
    FDatabase.Close();
    CairnEngineInstance().Handle().SetHostFiles(nullptr);
  }

  std::unique_ptr<TCairnTable> Table(const std::string& name) {
    auto table = std::make_unique<TCairnTable>();
    table->SetName("tbl" + name);
    table->SetDatabaseName("BenchDB");
    table->SetTableName(name);
    table->SetExclusive(true);
    return table;
  }

  void Report(TMeasure& measure) const {
    measure.WriteCalls = FFiles.Counts().Writes;
    measure.BytesWritten = FFiles.Counts().BytesWritten;
    measure.ReadCalls = FFiles.Counts().Reads;
    measure.BytesRead = FFiles.Counts().BytesRead;
  }

 private:
  TCountingFiles FFiles;
  TCairnDatabase FDatabase;
};

}  // namespace

TCairnBuffers DefaultCairnBuffers() {
  return {CairnEngine().MaxTableDataBufferSize(), CairnEngine().MaxTableIndexBufferSize(),
          CairnEngine().MaxTableBlobBufferSize()};
}

void CairnContacts(const std::string& directory, const TCairnBuffers& buffers, int64_t rows,
                   TMeasure& measure) {
  TCairnSetup setup(directory, buffers);
  const kalvora::TTableSchema& schema = kalvora::ContactsSchema();
  auto table = setup.Table(schema.TableName);
  kalvora::GenerateTable(*table, schema);

  std::map<std::string, size_t> position;
  for (size_t i = 0; i < schema.Fields.size(); ++i) position[schema.Fields[i].Name] = i;
  std::vector<size_t> indexed;  // the twelve secondary indexes' fields
  for (size_t i = 1; i < schema.Indexes.size(); ++i)
    indexed.push_back(position.at(schema.Indexes[i].Fields));
  const size_t guid = position.at("ContactID");

  TRowSource source;
  std::vector<TCairnValue> values(schema.Fields.size(), TUnassigned{});
  std::string text;
  TStopwatch watch;
  table->Open();
  for (int64_t row = 0; row < rows; ++row) {
    source.Guid(text);
    values[guid] = text;
    for (size_t field : indexed) {
      source.Word(text);
      values[field] = text;
    }
    table->AppendRecord(values);
  }
  table->Close();
  measure.Seconds = watch.Seconds();
  measure.Rows = rows;
  setup.Report(measure);
}

void CairnSmall(const std::string& directory, const TCairnBuffers& buffers, int64_t rows,
                TMeasure& measure) {
  TCairnSetup setup(directory, buffers);
  auto table = setup.Table("Small");
  table->FieldDefs().Add("Name", ftString, 15);
  table->FieldDefs().Add("Value", ftInteger);
  table->FieldDefs().Add("Stamp", ftDateTime);
  table->IndexDefs().Add("ByName", "Name", {});
  table->CreateTable(0, 1, 0, false, "", "", 4096, 512, 0, "", nullptr, "", "");

  TRowSource source;
  std::vector<TCairnValue> values(3);
  std::string name;
  TStopwatch watch;
  table->Open();
  for (int64_t row = 0; row < rows; ++row) {
    source.Word(name);
    values[0] = name;
    values[1] = source.Integer();
    values[2] = TDateTimeValue{source.DateTime()};
    table->AppendRecord(values);
  }
  table->Close();
  measure.Seconds = watch.Seconds();
  measure.Rows = rows;
  setup.Report(measure);
}

void CairnScan(const std::string& directory, const TCairnBuffers& buffers, bool byName,
               TMeasure& measure) {
  TCairnSetup setup(directory, buffers);
  auto table = setup.Table("Small");
  if (byName) table->SetIndexName("ByName");
  TStopwatch watch;
  table->Open();
  TCairnField& name = table->FieldByName("Name");
  TCairnField& value = table->FieldByName("Value");
  TCairnField& stamp = table->FieldByName("Stamp");
  int64_t sum = 0, rows = 0;
  for (table->First(); !table->Eof(); table->Next()) {
    sum += value.AsInteger() + static_cast<int64_t>(name.AsString().size()) +
           (stamp.AsDateTime() > 0 ? 1 : 0);
    ++rows;
  }
  table->Close();
  measure.Seconds = watch.Seconds();
  measure.Rows = rows;
  measure.Checksum = sum;
  setup.Report(measure);
}

}  // namespace cairn::bench
