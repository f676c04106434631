// cairn load DIR TABLE FILE.csv [--password P] [--buffers MB]: appends the rows of a CSV file whose
// header names fields. The whole file is read and converted before the first row is written, then
// read again to write the rows, a chunk at a time both times (a pipe, which cannot be read twice,
// is held in memory instead); the table is opened exclusively once for the whole load, with table
// buffers of its own budget.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnTable.h"
#include "tools/cairn/Commands.h"
#include "tools/cairn/CsvLoader.h"
#include "tools/cairn/Progress.h"
#include "tools/cairn/ToolDatabase.h"

namespace cairn::tools {
namespace {

struct TLoadOptions {
  std::string Directory;
  std::string Table;
  std::string File;
  std::string Password;
  int BuffersMiB = 0;
};

// A bulk load holds its table alone, so it may cache far more of it than the engine's defaults
// (tens of kilobytes a file, meant for many tables open side by side): with the index pages of
// every tree in memory, a row costs no file access until the close. The budget is split like the
// benchmark's tuned settings: an eighth for data blocks, a sixteenth for blob blocks, the rest for
// index pages.
constexpr int kDefaultLoadBuffersMiB = 64;
constexpr int kMaxLoadBuffersMiB = 1024;

struct TLoadBuffers {
  int64_t Data;
  int64_t Index;
  int64_t Blob;
};

TLoadBuffers SplitLoadBuffers(int mebibytes) {
  const int64_t total = int64_t{mebibytes} << 20;
  return {total / 8, total - total / 8 - total / 16, total / 16};
}

// Engine settings are per process: they apply to the table opened next.
void UseLoadBuffers(const TLoadBuffers& buffers) {
  // Counts are limited by the sizes alone.
  constexpr int32_t kAnyCount = 1 << 20;
  TCairnEngine& engine = CairnEngine();
  engine.SetMaxTableDataBufferSize(static_cast<int32_t>(buffers.Data));
  engine.SetMaxTableIndexBufferSize(static_cast<int32_t>(buffers.Index));
  engine.SetMaxTableBlobBufferSize(static_cast<int32_t>(buffers.Blob));
  engine.SetMaxTableDataBufferCount(kAnyCount);
  engine.SetMaxTableIndexBufferCount(kAnyCount);
  engine.SetMaxTableBlobBufferCount(kAnyCount);
}

// Warnings beyond this many are only counted.
constexpr int kShownWarnings = 10;

// The file to load, open for reading; a pipe's bytes are read whole into text.
struct TLoadInput {
  std::ifstream Stream;
  std::string Text;
  bool Seekable = false;
};

void OpenLoadInput(const std::string& path, TLoadInput& input) {
  input.Stream.open(path, std::ios::binary);
  if (!input.Stream) throw EToolError("cannot read '" + path + "'");
  input.Seekable = input.Stream.tellg() != std::streampos(-1);
  if (input.Seekable) return;
  input.Stream.clear();
  std::ostringstream text;
  text << input.Stream.rdbuf();
  if (input.Stream.bad()) throw EToolError("cannot read '" + path + "'");
  input.Text = std::move(text).str();
}

void RunLoad(const TLoadOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  TLoadInput input;
  OpenLoadInput(options.File, input);
  // Before the database: the engine takes no new settings once it is active.
  const TLoadBuffers buffers = SplitLoadBuffers(options.BuffersMiB);
  UseLoadBuffers(buffers);
  TToolDatabase database(options.Directory, options.Password);
  auto table = database.ExistingTable(options.Table);
  table->SetExclusive(true);
  table->Open();

  TCsvLoader loader = input.Seekable ? TCsvLoader(*table, input.Stream, options.File)
                                     : TCsvLoader(*table, input.Text, options.File);
  int warnings = 0;
  const int64_t rows = loader.Check([&warnings](const std::string& message) {
    if (++warnings <= kShownWarnings) std::fprintf(stderr, "cairn: warning: %s\n", message.c_str());
  });
  if (warnings > kShownWarnings)
    std::fprintf(stderr, "cairn: warning: %d more texts cut\n", warnings - kShownWarnings);
  {
    TProgress progress("loading " + options.Table, rows);
    loader.Write([&progress](int64_t done) { progress.Update(done); });
  }
  table->Close();

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "loaded %lld %s into %s in %.2f s (%.0f rows/s; table buffers %d MB: data %.1f, index %.1f, "
      "blob %.1f MB)\n",
      static_cast<long long>(loader.Written()), loader.Written() == 1 ? "row" : "rows",
      options.Table.c_str(), seconds,
      seconds > 0 ? static_cast<double>(loader.Written()) / seconds : 0.0, options.BuffersMiB,
      buffers.Data / 1048576.0, buffers.Index / 1048576.0, buffers.Blob / 1048576.0);
}

}  // namespace

void AddLoadCommand(CLI::App& app, TToolContext&) {
  auto options = std::make_shared<TLoadOptions>();
  CLI::App* command = app.add_subcommand(
      "load", "Append the rows of a CSV file whose header row names fields of the table");
  command->add_option("DIR", options->Directory, "the database directory")->required();
  command->add_option("TABLE", options->Table, "the table")->required();
  command->add_option("FILE", options->File, "the CSV file (UTF-8, RFC 4180)")->required();
  command->add_option("--password", options->Password, "password of an encrypted table");
  options->BuffersMiB = kDefaultLoadBuffersMiB;
  command
      ->add_option("--buffers", options->BuffersMiB,
                   "MB of table buffers for the load (data, index and blob caches together)")
      ->check(CLI::Range(1, kMaxLoadBuffersMiB))
      ->capture_default_str();
  command->callback([options] { RunLoad(*options); });
}

}  // namespace cairn::tools
