// cairn-bench: the same rows into Cairn and into SQLite, side by side.
//
//   cairn-bench [--quick] [--dir DIRECTORY] [--only W1|W2|R1|L1] [--config LABEL] [--cairn PATH]
//               [--reuse]
//
// --only and --config (a part of a label such as "cairn default") narrow the run for profiling.
// --reuse keeps DIRECTORY and, with --only R1, reads the W2 tables an earlier run left there
// instead of writing them again (W2's row is then reported as skipped).
// Every workload runs for Cairn with its default buffer budgets and with tuned ones, and for
// SQLite with its default page cache and with a 64 MB cache, each in its own child process (see
// Measure.h). --quick runs a tenth of the rows.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/CairnWorkloads.h"
#include "bench/LoadWorkload.h"
#include "bench/Measure.h"
#include "bench/SqliteWorkloads.h"

namespace cairn::bench {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMiB = 1 << 20;
constexpr int64_t kSqliteTunedKiB = 64 * 1024;
// Tuned: a table's data, index and blob caches raised to 64 MB together, the SQLite tuned cache,
// and the count limit (8192 buffers a file by default) raised so that the bytes decide.
const TCairnBuffers kTunedBuffers{8 * kMiB, 52 * kMiB, 4 * kMiB, 1 << 20};

struct TOptions {
  bool Quick = false;
  bool Reuse = false;  // keep the directory; R1 reads W2 tables already there
  std::string Directory = "bench-data";
  std::string Only;
  std::string CairnTool;
  std::string Config;  // run only the configurations whose label contains this
};

// One configuration of one engine: where its files are and what it is called in the table.
struct TConfig {
  const char* Label;
  bool IsCairn;
  TCairnBuffers Buffers;  // Cairn
  int64_t CacheKiB;       // SQLite
  std::string Directory;
};

struct TRow {
  const TConfig* Config;
  TMeasure Measure;
  int64_t FileBytes = -1;
};

double Mb(int64_t bytes) {
  return bytes / double(kMiB);
}

void PrintHeader(const char* title) {
  std::printf("\n%s\n", title);
  std::printf("  %-16s %9s %8s %7s %10s %7s %9s %10s %9s %9s %9s %9s\n", "engine", "rows",
              "seconds", "cpu s", "rows/s", "ratio", "cpu ratio", "written", "writes", "peak RSS",
              "budget", "files");
}

// ratioTo: the SQLite row this row is compared with (Cairn rows only).
void PrintRow(const TRow& row, const TRow* ratioTo) {
  const TMeasure& m = row.Measure;
  if (m.Failed()) {
    std::printf("  %-16s FAILED: %s\n", row.Config->Label, m.Error);
    return;
  }
  // Cairn's speed over SQLite's, by wall-clock time and by CPU time.
  char ratio[16] = "", cpuRatio[16] = "";
  if (ratioTo && !ratioTo->Measure.Failed() && ratioTo->Measure.RowsPerSecond() > 0) {
    std::snprintf(ratio, sizeof ratio, "%.2fx",
                  m.RowsPerSecond() / ratioTo->Measure.RowsPerSecond());
    if (m.CpuSeconds > 0)
      std::snprintf(cpuRatio, sizeof cpuRatio, "%.2fx", ratioTo->Measure.CpuSeconds / m.CpuSeconds);
  }
  char budget[16] = "";
  if (row.Config->IsCairn)
    std::snprintf(budget, sizeof budget, "%.1f MB", Mb(row.Config->Buffers.Total()));
  else
    std::snprintf(budget, sizeof budget, "%s", row.Config->CacheKiB ? "64.0 MB" : "~2 MB");
  char files[16] = "";
  if (row.FileBytes >= 0) std::snprintf(files, sizeof files, "%.1f MB", Mb(row.FileBytes));
  std::printf("  %-16s %9lld %8.2f %7.2f %10.0f %7s %9s %7.1f MB %9lld %6.1f MB %9s %9s\n",
              row.Config->Label, static_cast<long long>(m.Rows), m.Seconds, m.CpuSeconds,
              m.RowsPerSecond(), ratio, cpuRatio, Mb(m.BytesWritten),
              static_cast<long long>(m.WriteCalls), m.PeakRssKiB / 1024.0, budget, files);
}

// Prints the four rows of a workload: Cairn default against SQLite default, Cairn tuned against
// SQLite with 64 MB.
void PrintWorkload(const char* title, const std::vector<TRow>& rows) {
  PrintHeader(title);
  PrintRow(rows[0], &rows[2]);
  PrintRow(rows[1], &rows[3]);
  PrintRow(rows[2], nullptr);
  PrintRow(rows[3], nullptr);
}

int64_t MemoryOverBudgetKiB(const TRow& row) {
  return row.Measure.PeakRssKiB - row.Measure.StartRssKiB - row.Config->Buffers.Total() / 1024;
}

void PrintMemory(const char* name, const std::vector<TRow>& rows) {
  for (size_t i = 0; i < 2; ++i)
    if (!rows[i].Measure.Failed())
      std::printf("  memory %-3s %-14s peak %.1f MB = start %.1f MB + budget %.1f MB %+.1f MB\n",
                  name, rows[i].Config->Label, rows[i].Measure.PeakRssKiB / 1024.0,
                  rows[i].Measure.StartRssKiB / 1024.0, Mb(rows[i].Config->Buffers.Total()),
                  MemoryOverBudgetKiB(rows[i]) / 1024.0);
}

TMeasure Skipped() {
  TMeasure measure;
  std::snprintf(measure.Error, sizeof measure.Error, "skipped");
  return measure;
}

void Run(const TOptions& options) {
  const int64_t contactRows = options.Quick ? 10000 : 100000;
  const int64_t smallRows = options.Quick ? 100000 : 1000000;
  if (!options.Reuse) fs::remove_all(options.Directory);
  fs::create_directories(options.Directory);
  const std::string base = fs::absolute(options.Directory).string();
  std::vector<TConfig> configs{
      {"cairn default", true, DefaultCairnBuffers(), 0, base + "/cairn-default"},
      {"cairn tuned", true, kTunedBuffers, 0, base + "/cairn-tuned"},
      {"sqlite default", false, {}, 0, base + "/sqlite-default"},
      {"sqlite 64 MB", false, {}, kSqliteTunedKiB, base + "/sqlite-64mb"},
  };
  for (const TConfig& config : configs) fs::create_directories(config.Directory);
  const bool all = options.Only.empty();
  auto measured = [&](const TConfig& config, const std::function<void(TMeasure&)>& workload) {
    const bool chosen = std::string(config.Label).find(options.Config) != std::string::npos;
    return chosen ? RunMeasured(workload) : Skipped();
  };

  std::printf(
      "cairn-bench%s: W1 %lld rows, W2/R1 %lld rows; tuned Cairn buffers: data %.0f MB, "
      "index %.0f MB, blob %.0f MB per table file, up to %d buffers a file\n",
      options.Quick ? " --quick" : "", static_cast<long long>(contactRows),
      static_cast<long long>(smallRows), Mb(kTunedBuffers.Data), Mb(kTunedBuffers.Index),
      Mb(kTunedBuffers.Blob), kTunedBuffers.Count);

  if (all || options.Only == "W1") {
    std::vector<TRow> rows;
    for (const TConfig& config : configs) {
      TRow row{&config, measured(config, [&](TMeasure& m) {
                 if (config.IsCairn)
                   CairnContacts(config.Directory, config.Buffers, contactRows, m);
                 else
                   SqliteContacts(config.Directory + "/contacts.db", config.CacheKiB, contactRows,
                                  m);
               })};
      row.FileBytes = FileBytes(config.Directory, config.IsCairn ? "Contacts." : "contacts.db");
      rows.push_back(row);
    }
    PrintWorkload("W1 contacts (130 fields, 13 indexes)", rows);
    const int64_t floorBytes = rows[0].FileBytes;
    const double floor = SequentialWriteSeconds(base + "/floor.tmp", floorBytes);
    std::printf(
        "  floor: %.1f MB written with 1 MB write calls in %.2f s = %.0f rows/s; "
        "Cairn default takes %.1fx that time, tuned %.1fx\n",
        Mb(floorBytes), floor, floor > 0 ? contactRows / floor : 0.0,
        rows[0].Measure.Seconds / floor, rows[1].Measure.Seconds / floor);
    PrintMemory("W1", rows);
  }

  std::vector<TRow> small;
  if (all || options.Only == "W2" || options.Only == "R1") {
    for (const TConfig& config : configs) {
      const char* file = config.IsCairn ? "Small." : "small.db";
      if (options.Reuse && options.Only == "R1" && FileBytes(config.Directory, file) > 0) {
        small.push_back({&config, Skipped(), FileBytes(config.Directory, file)});
        continue;
      }
      TRow row{&config, measured(config, [&](TMeasure& m) {
                 if (config.IsCairn)
                   CairnSmall(config.Directory, config.Buffers, smallRows, m);
                 else
                   SqliteSmall(config.Directory + "/small.db", config.CacheKiB, smallRows, m);
               })};
      row.FileBytes = FileBytes(config.Directory, config.IsCairn ? "Small." : "small.db");
      small.push_back(row);
    }
    PrintWorkload("W2 small (string, integer, date-time; 2 indexes)", small);
    PrintMemory("W2", small);
  }

  if (all || options.Only == "R1") {
    for (bool byName : {false, true}) {
      std::vector<TRow> rows;
      for (const TConfig& config : configs) {
        rows.push_back({&config, measured(config, [&](TMeasure& m) {
                          if (config.IsCairn)
                            CairnScan(config.Directory, config.Buffers, byName, m);
                          else
                            SqliteScan(config.Directory + "/small.db", config.CacheKiB, byName, m);
                        })});
      }
      PrintWorkload(byName ? "R1 scan in index order (ByName / ORDER BY name)"
                           : "R1 scan in slot order (primary index / rowid)",
                    rows);
      bool same = true;
      const TRow* first = nullptr;  // the first run that was not skipped
      for (const TRow& row : rows) {
        if (row.Measure.Failed()) continue;
        if (!first) first = &row;
        same = same && row.Measure.Checksum == first->Measure.Checksum;
      }
      std::printf("  checksums %s (%lld)\n", same ? "agree" : "DIFFER",
                  static_cast<long long>(first ? first->Measure.Checksum : 0));
      PrintMemory("R1", rows);
    }
  }

  if ((all || options.Only == "L1")) RunLoadWorkload(options.CairnTool, base, contactRows);
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      options.Quick = true;
    } else if (arg == "--reuse") {
      options.Reuse = true;
    } else if (std::string* value = arg == "--dir"      ? &options.Directory
                                    : arg == "--only"   ? &options.Only
                                    : arg == "--config" ? &options.Config
                                    : arg == "--cairn"  ? &options.CairnTool
                                                        : nullptr;
               value != nullptr && i + 1 < argc) {
      *value = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: cairn-bench [--quick] [--dir DIRECTORY] [--only W1|W2|R1|L1] "
                   "[--config LABEL] [--cairn PATH] [--reuse]\n");
      std::exit(2);
    }
  }
  return options;
}

}  // namespace
}  // namespace cairn::bench

int main(int argc, char** argv) {
  cairn::bench::Run(cairn::bench::ParseOptions(argc, argv));
  return 0;
}
