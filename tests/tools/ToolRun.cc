#include "tests/tools/ToolRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/DiskFiles.h"
#include "tests/support/TempDir.h"

#ifndef CAIRN_TOOL
#error "CAIRN_TOOL must name the cairn binary (set by tests/CMakeLists.txt)"
#endif
#ifndef KALVORA_DBGEN
#error "KALVORA_DBGEN must name the kalvora-dbgen binary (set by tests/CMakeLists.txt)"
#endif

extern char** environ;

namespace cairn::test {
namespace {

namespace fs = std::filesystem;

// Runs a program, its outputs into files of scratch; the exit status, -1 if it did not exit.
int Spawn(const std::string& program, const std::vector<std::string>& args, const TTempDir& scratch,
          const std::string& workingDirectory = {}) {
  const std::string out = scratch.File("stdout"), err = scratch.File("stderr");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!workingDirectory.empty())
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(spawned, 0) << program;
  if (spawned != 0) return -1;
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TToolRun RunCairn(const std::vector<std::string>& args) {
  TTempDir scratch;
  TToolRun run;
  run.Status = Spawn(CAIRN_TOOL, args, scratch);
  run.Out = ReadDiskFile(scratch.File("stdout"));
  run.Err = ReadDiskFile(scratch.File("stderr"));
  return run;
}

void GenerateDatabase(const std::string& directory) {
  // The generator works on the Data folder beside its executable.
  TTempDir scratch;
  const fs::path exe = fs::path(scratch.Path()) / "kalvora-dbgen";
  fs::copy_file(KALVORA_DBGEN, exe);
  fs::create_directory(scratch.File("Data"));
  ASSERT_EQ(Spawn(exe.string(), {}, scratch), 0) << ReadDiskFile(scratch.File("stderr"));
  fs::create_directories(directory);
  fs::copy(scratch.File("Data"), directory,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace cairn::test
