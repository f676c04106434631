#include "bench/LoadWorkload.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/CairnWorkloads.h"
#include "bench/Measure.h"
#include "bench/RowSource.h"
#include "bench/SqliteWorkloads.h"

extern char** environ;

namespace cairn::bench {

namespace {

namespace fs = std::filesystem;

struct TProcessRun {
  int Status = -1;
  double Seconds = 0;
  double CpuSeconds = 0;
  int64_t PeakRssKiB = 0;
};

// Runs argv with stdin from inputPath (or /dev/null) and stdout and stderr to logPath.
TProcessRun RunProcess(const std::vector<std::string>& argv, const std::string& inputPath,
                       const std::string& logPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inputPath.empty() ? "/dev/null" : inputPath.c_str(),
                                   O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  TProcessRun run;
  TStopwatch watch;
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.Seconds = watch.Seconds();
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.PeakRssKiB = usage.ru_maxrss;
  run.CpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return run;
}

// The CSV a user would load: a header naming the GUID and the twelve indexed fields, then the
// rows of W1 (the same sequence, so the same values).
void WriteContactsCsv(const std::string& path, int64_t rows) {
  std::ofstream out(path, std::ios::binary);
  std::string header = SqliteContactsLoadColumns();
  std::erase(header, '"');
  std::erase(header, ' ');
  out << header << '\n';
  TRowSource source;
  std::string text;
  for (int64_t row = 0; row < rows; ++row) {
    source.Guid(text);
    out << text;
    for (int column = 0; column < 12; ++column) {
      source.Word(text);
      out << ',' << text;
    }
    out << '\n';
  }
}

void PrintRun(const char* label, const TProcessRun& run, int64_t rows, const TProcessRun* ratioTo,
              int64_t fileBytes) {
  if (run.Status != 0) {
    std::printf("  %-16s FAILED (exit status %d; see the log in the L1 folder)\n", label,
                run.Status);
    return;
  }
  char ratio[16] = "";
  if (ratioTo && ratioTo->Status == 0 && run.Seconds > 0)
    std::snprintf(ratio, sizeof ratio, "%.2fx", ratioTo->Seconds / run.Seconds);
  std::printf("  %-16s %9lld %8.2f %7.2f %10.0f %8s %20s %6.1f MB %19.1f MB\n", label,
              static_cast<long long>(rows), run.Seconds, run.CpuSeconds, rows / run.Seconds, ratio,
              "", run.PeakRssKiB / 1024.0, fileBytes / double(1 << 20));
}

}  // namespace

void RunLoadWorkload(const std::string& cairnTool, const std::string& directory, int64_t rows) {
  if (cairnTool.empty()) {
    std::printf("\nL1 load: skipped (no cairn tool given)\n");
    return;
  }
  const std::string base = directory + "/L1";
  fs::remove_all(base);
  fs::create_directories(base + "/cairn");
  const std::string csv = base + "/contacts.csv";
  const std::string log = base + "/log.txt";
  WriteContactsCsv(csv, rows);

  // Untimed preparation: the empty tables (Contacts with the generator's schema).
  const TMeasure created = RunMeasured(
      [&](TMeasure& m) { CairnContacts(base + "/cairn", DefaultCairnBuffers(), 0, m); });
  TProcessRun generated;
  generated.Status = created.Failed() ? 1 : 0;
  const std::string db = base + "/contacts.db";
  {
    std::ofstream schema(base + "/schema.sql");
    schema << SqliteContactsSchema("Contacts");
  }
  const TProcessRun schemaRun = RunProcess({"sqlite3", db}, base + "/schema.sql", log);

  // Timed: the whole load processes.
  TProcessRun cairn;
  if (generated.Status == 0)
    cairn = RunProcess({cairnTool, "load", base + "/cairn", "Contacts", csv}, "", log);
  {
    std::ofstream script(base + "/import.sql");
    std::string columns = SqliteContactsLoadColumns();
    script << ".mode csv\n.import " << csv << " Staging\n"
           << "INSERT INTO Contacts (" << columns << ") SELECT " << columns << " FROM Staging;\n";
  }
  TProcessRun sqlite;
  if (schemaRun.Status == 0) sqlite = RunProcess({"sqlite3", db}, base + "/import.sql", log);

  std::printf(
      "\nL1 load (%lld contacts from a CSV, whole processes; cairn load with its own default "
      "table buffers (--buffers 64), sqlite3 .import + INSERT ... SELECT with its default cache)\n",
      static_cast<long long>(rows));
  std::printf("  %-16s %9s %8s %7s %10s %8s %20s %9s %22s\n", "engine", "rows", "seconds", "cpu s",
              "rows/s", "ratio", "", "peak RSS", "files");
  PrintRun("cairn load", cairn, rows, &sqlite,
           generated.Status == 0 ? FileBytes(base + "/cairn", "Contacts.") : 0);
  PrintRun("sqlite3 .import", sqlite, rows, nullptr,
           fs::exists(db) ? static_cast<int64_t>(fs::file_size(db)) : 0);
}

}  // namespace cairn::bench
