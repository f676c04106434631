#include "cairn/engine/DataSession.h"

#include <algorithm>

#include "cairn/engine/directory/DataDirectory.h"
#include "cairn/engine/DataEngine.h"
#include "cairn/engine/ServerSettings.h"
#include "cairn/host/CodePage.h"

namespace cairn {

TDataSession::TDataSession(TDataEngine& engine)
    : FDataEngine(engine),
      FPrivateDirectory(host::Utf8ToAnsi(host::TempDirectory())),
      FEncryptPassword(kDefaultPassword) {}

TDataSession::~TDataSession() {
  // Owned objects go back to front.
  while (!FDataDirectories.empty()) FDataDirectories.pop_back();
  DeleteAllPasswords();
}

std::string TDataSession::PrivateDirectory() const {
  if (!FPrivateDirectory.empty()) return FPrivateDirectory;
  return host::IncludeTrailingDelimiter(
      host::TrimBlanks(host::Utf8ToAnsi(host::CurrentDirectory())));
}

void TDataSession::SetPrivateDirectory(const std::string& directory) {
  std::string trimmed = host::TrimBlanks(directory);
  FPrivateDirectory = trimmed.empty() ? std::string() : host::IncludeTrailingDelimiter(trimmed);
}

void TDataSession::AddPassword(const std::string& password) {
  if (password.empty() || FindPassword(password) != nullptr) return;
  FPasswordList.push_back(std::make_unique<TDataPassword>(*this, password));
}

void TDataSession::DeletePassword(const std::string& password) {
  auto it = std::find_if(FPasswordList.begin(), FPasswordList.end(),
                         [&](const auto& p) { return p->Password() == password; });
  if (it != FPasswordList.end()) FPasswordList.erase(it);
}

void TDataSession::DeleteAllPasswords() {
  while (!FPasswordList.empty()) FPasswordList.pop_back();
}

bool TDataSession::CheckForPassword(const TMD5Digest& checkValue) const {
  return GetDataPassword(checkValue) != nullptr;
}

TDataPassword* TDataSession::GetDataPassword(const TMD5Digest& checkValue) const {
  for (const auto& password : FPasswordList)
    if (password->Matches(checkValue)) return password.get();
  return nullptr;
}

TDataPassword* TDataSession::FindPassword(const std::string& password) const {
  for (const auto& known : FPasswordList)
    if (known->Password() == password) return known.get();
  return nullptr;
}

bool TDataSession::AskForPassword() {
  if (!FOnPassword) return false;
  return FOnPassword(*this);
}

// ---- Database directories ---------------------------------------------------------------------

namespace {

const char* const kMemoryDatabaseName = "Memory";

// The directory a database name and path stand for: trimmed and ending in "/", the current
// directory for a missing path, and no path at all for the in-memory database without one.
std::string DataDirectoryPath(const std::string& name, const std::string& path) {
  const std::string trimmed = host::TrimBlanks(path);
  if (!trimmed.empty()) return host::IncludeTrailingDelimiter(trimmed);
  if (host::AnsiSameText(host::TrimBlanks(name), kMemoryDatabaseName)) return std::string();
  // The current directory comes in the disk's form; engine paths are 8-bit strings.
  const std::string current = host::Utf8ToAnsi(host::CurrentDirectory());
  return host::IncludeTrailingDelimiter(host::TrimBlanks(current));
}

}  // namespace

TDataDirectory& TDataSession::OpenDataDirectory(const std::string& dataDirectoryName,
                                                const std::string& dataDirectoryPath,
                                                bool keepSharedTablesOpen, bool /*noRemoteCall*/,
                                                bool compareNames) {
  const std::string path = DataDirectoryPath(dataDirectoryName, dataDirectoryPath);
  for (const auto& directory : FDataDirectories) {
    if (!host::AnsiSameText(host::TrimBlanks(directory->Directory()), path)) continue;
    if (compareNames &&
        !host::AnsiSameText(directory->Name(), dataDirectoryName.substr(0, kMaxDatabaseNameLength)))
      continue;
    directory->IncUseCount();
    return *directory;
  }
  auto directory = std::make_unique<TDataDirectory>(*this, path, dataDirectoryName);
  directory->IncUseCount();
  directory->SetKeepTablesOpen(keepSharedTablesOpen);
  FDataDirectories.push_back(std::move(directory));
  return *FDataDirectories.back();
}

void TDataSession::CloseDataDirectory(TDataDirectory& directory, bool /*noRemoteCall*/) {
  if (directory.UseCount() == 0) return;
  directory.DecUseCount();
  if (directory.UseCount() > 0) return;
  const auto it = std::find_if(FDataDirectories.begin(), FDataDirectories.end(),
                               [&](const auto& owned) { return owned.get() == &directory; });
  if (it == FDataDirectories.end()) return;  // not one of this session's directories
  std::unique_ptr<TDataDirectory> owned = std::move(*it);
  FDataDirectories.erase(it);
  owned->Reset();
}

}  // namespace cairn
