// A sweep of injected faults over a whole generator run, in this process: the k-th write, flush,
// open, create, lock or truncate of a clean run fails, for every k (every stride-th k in CTest; the
// full sweep is scripts/fault_sweep.sh). Each run must end with an engine error, never a crash, a
// hang or a success that hides the fault; every table left in the directory must open, read all
// of its records through every index and pass the table verifier; and one clean run afterwards
// completes the database.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnSession.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/host/DateTime.h"
#include "cairn/host/Dialogs.h"
#include "cairn/host/OsError.h"
#include "generator/GeneratorRun.h"
#include "tests/generator/GeneratedDatabase.h"
#include "tests/support/FaultInjectingFiles.h"

namespace kalvora::test {
namespace {

using cairn::host::TApplication;
using cairn::host::TDialogRecord;
using cairn::host::TRecordingDialogs;
using cairn::host::WindowsErrorFromErrno;
using cairn::test::TFaultInjectingFiles;
using cairn::test::TFileOp;

struct TOpCase {
  TFileOp Op;
  const char* Name;
  bool LockOrShare;  // a failed lock reports EACCES as a lock violation
};

const TOpCase kOps[] = {
    {TFileOp::Write, "write", false}, {TFileOp::Flush, "flush", false},
    {TFileOp::Open, "open", false},   {TFileOp::Create, "create", false},
    {TFileOp::Lock, "lock", true},    {TFileOp::Truncate, "truncate", false},
};

// ENOSPC and EIO have no Windows counterpart: both reach the engine as the same unknown error,
// so one of them stands for both.
const int kErrnos[] = {ENOSPC, EACCES};

// Every stride-th call is failed; KALVORA_FAULT_STRIDE=1 sweeps them all.
int64_t Stride() {
  const char* value = std::getenv("KALVORA_FAULT_STRIDE");
  const int64_t stride = value ? std::atoll(value) : 0;
  return stride > 0 ? stride : 7;
}

// The operations to sweep: KALVORA_FAULT_OPS names some ("open,create"), else all.
bool Swept(const TOpCase& op) {
  const char* value = std::getenv("KALVORA_FAULT_OPS");
  if (value == nullptr || *value == 0) return true;
  const std::string list = std::string(",") + value + ",";
  return list.find(std::string(",") + op.Name + ",") != std::string::npos;
}

class FaultSweepTest : public GeneratedDatabaseTest {
 protected:
  std::string Data() const { return Temp.File("Data"); }

  // An empty Data directory, or one that kept only the lock file of an earlier complete run (a
  // run then reads its table list under a lock instead of writing a new one).
  void FreshData(bool keepLockFile) {
    fs::remove_all(Data());
    fs::create_directory(Data());
    if (keepLockFile) fs::copy_file(Temp.File("saved.lck"), Data() + "/cairn.lck");
  }

  // One run over Data through Files; the layer is started here so that its engine takes them.
  int Run(std::vector<TDialogRecord>* dialogs = nullptr) {
    FinalizeComponentLayer();
    cairn::DefaultSession();
    cairn::DataEngine().SetHostFiles(&Files);
    auto recording = std::make_unique<TRecordingDialogs>();
    TRecordingDialogs& recorded = *recording;
    int status;
    {
      TApplication application(Temp.File("kalvora-dbgen"), std::move(recording));
      status = RunGenerator(Data(), application);
      if (dialogs) *dialogs = recorded.Records();
    }
    FinalizeComponentLayer();
    return status;
  }

  // Every table in Data opens and reads every record, every field, through every index, and
  // every index holds as many records as the header counts.
  void ExpectReadable() {
    TCairnDatabase db;
    db.SetDatabaseName("Check");
    db.SetDirectory(Data());
    for (const auto& entry : fs::directory_iterator(Data())) {
      if (entry.path().extension() != ".dat") continue;
      const std::string name = entry.path().stem().string();
      SCOPED_TRACE(name);
      const std::string dat = ReadDiskFile(entry.path());
      ASSERT_GE(dat.size(), TDataHeader::kSize);
      const int32_t count = TDataHeader::Decode(dat.data()).RecordCount;
      TCairnTable table;
      table.SetDatabaseName("Check");
      table.SetTableName(name);
      table.SetReadOnly(true);
      try {
        table.Open();
        for (int i = 0; i < table.IndexDefs().Count(); ++i) {
          table.SetIndexName(table.IndexDefs().Items(i).Name());
          int32_t seen = 0;
          for (table.First(); !table.Eof(); table.Next(), ++seen) {
            for (int f = 0; f < table.Fields().Count(); ++f) table.Fields().Fields(f).AsString();
          }
          EXPECT_EQ(seen, count) << "index " << table.IndexDefs().Items(i).Name();
        }
        table.Close();
      } catch (const std::exception& error) {
        ADD_FAILURE() << "unreadable: " << error.what();
      }
    }
    for (const cairn::TCheckFinding& finding : db.CheckTables())
      ADD_FAILURE() << finding.ToString();
  }

  TFaultInjectingFiles Files;  // outlives the engine, which closes files through it
};

TEST_F(FaultSweepTest, EveryFaultEndsInAnEngineErrorAndLeavesASoundDatabase) {
  FreshData(false);
  ASSERT_EQ(Run(), 0);
  fs::copy_file(Data() + "/cairn.lck", Temp.File("saved.lck"));

  const int64_t stride = Stride();
  int injected = 0, failed = 0, absorbed = 0;
  std::map<std::string, int> reports;
  for (const bool keepLockFile : {false, true}) {
    SCOPED_TRACE(keepLockFile ? "lock file kept" : "empty directory");
    // The calls of a clean run.
    FreshData(keepLockFile);
    Files.ResetCounts();
    ASSERT_EQ(Run(), 0);
    std::map<TFileOp, int64_t> calls;
    for (const TOpCase& op : kOps) calls[op.Op] = Files.Calls(op.Op);
    std::printf("  clean run (%s):", keepLockFile ? "lock file kept" : "empty directory");
    for (const TOpCase& op : kOps) std::printf(" %s %lld", op.Name, (long long)calls[op.Op]);
    std::printf("\n");

    for (const TOpCase& op : kOps) {
      if (!Swept(op)) continue;
      for (const int errnoValue : kErrnos) {
        const int error = WindowsErrorFromErrno(errnoValue, op.LockOrShare);
        // The stride starts at a different call for each case, so that a strided sweep still
        // reaches late calls; an operation with few calls has each of them failed.
        const int64_t step = calls[op.Op] < 2 * stride ? 1 : stride;
        for (int64_t k = 1 + (injected % step); k <= calls[op.Op]; k += step) {
          SCOPED_TRACE(std::string(op.Name) + " #" + std::to_string(k) + " fails with " +
                       std::to_string(error));
          FreshData(keepLockFile);
          Files.Disarm();
          Files.ResetCounts();
          Files.Arm(op.Op, k, error);
          std::vector<TDialogRecord> dialogs;
          const int status = Run(&dialogs);
          Files.Disarm();
          ++injected;
          if (status == 0) {
            // Only a call the engine makes again (the lock file's open is retried a while, a
            // lock too) may fail without failing the run.
            EXPECT_TRUE(dialogs.empty());
            EXPECT_GT(Files.Calls(op.Op), calls[op.Op]) << "the run succeeded over the fault";
            ++absorbed;
            ++reports[std::string("absorbed: ") + op.Name + " #" + std::to_string(k) +
                      " failing with " + std::to_string(error)];
          } else {
            ++failed;
            EXPECT_EQ(status, 1);
            ASSERT_FALSE(dialogs.empty());
            // The engine error of the fault; or, where a denied open made the engine fall back
            // to a read-only open, the table's refusal to take its rows.
            const std::string& report = dialogs.back().Text;
            const bool engineError = report.rfind("Cairn Engine Error # ", 0) == 0;
            EXPECT_TRUE(engineError || report.ends_with(": Cannot modify a read-only dataset."))
                << report;
            ++reports[engineError ? report.substr(0, report.find(' ', 21)) : report];
          }
          ExpectReadable();
          const double start = cairn::host::Now();
          EXPECT_EQ(Run(), 0);
          ExpectDatabase(Data(), {start - 1, cairn::host::Now()});
          if (HasFailure()) return;
        }
      }
    }
  }
  std::printf(
      "  stride %lld: %d faults injected, %d runs reported the failure, %d absorbed by a "
      "retry\n",
      (long long)stride, injected, failed, absorbed);
  for (const auto& [report, count] : reports) std::printf("  %s: %d\n", report.c_str(), count);
  EXPECT_GT(injected, 0);
}

}  // namespace
}  // namespace kalvora::test
