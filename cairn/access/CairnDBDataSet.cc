#include "cairn/access/CairnDBDataSet.h"

#include "cairn/access/CairnDatabase.h"
#include "cairn/access/CairnEngine.h"
#include "cairn/access/CairnSession.h"
#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"
#include "cairn/engine/io/ScopeGuard.h"

namespace cairn {

TCairnDBDataSet::TCairnDBDataSet(TComponent* owner) : TCairnDataSet(owner) {}

TCairnDBDataSet::~TCairnDBDataSet() {
  for (int flag = 0; flag < kUseFlagCount; ++flag) ReleaseDBFlag(flag);
}

// ---- Names --------------------------------------------------------------------------------------

void TCairnDBDataSet::CheckNameChange() const {
  CheckInactive();
  if (FDatabase != nullptr) DatabaseError(SDatabaseOpen);
}

// Paths use "/" on this host and are kept as given.
void TCairnDBDataSet::SetDatabaseName(const std::string& value) {
  if (Loading()) {
    FDatabaseName = value;
    return;
  }
  if (value == FDatabaseName) return;
  CheckNameChange();
  FDatabaseName = value;
}

void TCairnDBDataSet::SetSessionName(const std::string& value) {
  if (Loading()) {
    FSessionName = value;
    return;
  }
  if (value == FSessionName) return;
  CheckNameChange();
  FSessionName = value;
}

// ---- Use flags ----------------------------------------------------------------------------------

bool TCairnDBDataSet::SetDBFlag(int flag, bool value) {
  const auto bit = static_cast<uint8_t>(flag);
  const bool wasSet = FDBFlags.Contains(bit);
  if (value == wasSet) return wasSet;
  if (value) {
    if (FDBFlags.Empty()) AcquireDatabase();
    FDBFlags.Include(bit);
  } else {
    FDBFlags.Exclude(bit);
    if (FDBFlags.Empty()) ReleaseDatabase();
  }
  return wasSet;
}

void TCairnDBDataSet::ReleaseDBFlag(int flag) noexcept {
  try {
    SetDBFlag(flag, false);
  } catch (...) {
    // Releasing only fails while the database closes; the reference is gone either way.
    FDatabase = nullptr;
  }
}

void TCairnDBDataSet::AcquireDatabase() {
  MoveDatabaseToSession();
  TCairnSession& session = CairnEngineInstance().GetSessionByName(FSessionName);
  TCairnDatabase& database = session.OpenDatabase(FDatabaseName);
  database.RegisterClient(*this);
  FDatabase = &database;
}

void TCairnDBDataSet::ReleaseDatabase() {
  TCairnDatabase* database = FDatabase;
  FDatabase = nullptr;
  if (database == nullptr) return;
  database->UnregisterClient(*this);
  // The session may free a temporary database object here: it is not touched afterwards.
  if (TCairnSession* session = database->Session()) session->CloseDatabase(*database);
}

void TCairnDBDataSet::MoveDatabaseToSession() {
  if (FSessionName.empty() || FDatabaseName.empty()) return;
  TCairnSession* session = CairnEngineInstance().FindSession(FSessionName);
  if (session == nullptr || session->FindDatabase(FDatabaseName) != nullptr) return;
  TCairnDatabase* database = DefaultSession().FindDatabase(FDatabaseName);
  if (database == nullptr) return;
  // A database object keeps the session name it was given while that session did not exist
  // yet; writing the same name is ignored, so the name is cleared first to bind it anew.
  const std::string target = session->SessionName();
  if (database->SessionName() == target) database->SetSessionName({});
  database->SetSessionName(target);
}

// ---- Cursor -------------------------------------------------------------------------------------

void TCairnDBDataSet::OpenCursor() {
  const bool wasSet = SetDBFlag(kUseCursor, true);
  TScopeGuard release([&] {
    if (!wasSet) ReleaseDBFlag(kUseCursor);
  });
  TCairnDataSet::OpenCursor();
  release.Dismiss();
}

void TCairnDBDataSet::CloseCursor() {
  TScopeGuard release([&] { ReleaseDBFlag(kUseCursor); });
  TCairnDataSet::CloseCursor();
  release.Dismiss();
  SetDBFlag(kUseCursor, false);
}

void TCairnDBDataSet::CloseForDisconnect() {
  Close();
}

}  // namespace cairn
