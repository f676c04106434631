#include "cairn/engine/DataSession.h"

#include <algorithm>

#include "cairn/engine/DataEngine.h"
#include "cairn/engine/ServerSettings.h"

namespace cairn {

TDataSession::TDataSession(TDataEngine& engine)
    : FDataEngine(engine),
      FPrivateDirectory(host::TempDirectory()),
      FEncryptPassword(kDefaultPassword) {}

TDataSession::~TDataSession() {
  // The directories this session opened are freed here once directories exist.
  DeleteAllPasswords();
}

std::string TDataSession::PrivateDirectory() const {
  if (!FPrivateDirectory.empty()) return FPrivateDirectory;
  return host::IncludeTrailingDelimiter(host::TrimBlanks(host::CurrentDirectory()));
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

}  // namespace cairn
