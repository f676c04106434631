// A dataset that reaches its table through a database object, acquired by name.
//
// The dataset holds its database object through 16 use flags: the first flag set acquires the
// database (the session opens it by name and counts the acquisition), the last flag cleared
// releases it. Flag 0 is held while the cursor is open; the table object uses others for the
// short questions it asks without opening (kUseExists, kUseFieldDefs). While it holds the
// database the dataset is registered as its client, so that closing the database closes it.
#pragma once

#include <cstdint>
#include <string>

#include "cairn/access/CairnDataSet.h"
#include "cairn/access/DatabaseClient.h"
#include "cairn/access/Set.h"

namespace cairn {

class TCairnDatabase;

class TCairnDBDataSet : public TCairnDataSet, public TDatabaseClient {
 public:
  // The use flags.
  static constexpr int kUseCursor = 0;
  static constexpr int kUseExists = 3;  // Exists, CreateTable and DeleteTable
  static constexpr int kUseFieldDefs = 4;
  static constexpr int kUseFlagCount = 16;

  explicit TCairnDBDataSet(TComponent* owner = nullptr);
  // Lets go of the database even if a flag was left set.
  ~TCairnDBDataSet() override;

  // While loading the names are stored as given. Otherwise a change needs a closed dataset
  // ("Cannot perform this operation on an open dataset") and a released database ("Cannot
  // perform this operation on an open database"). An empty session name is the default session.
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& value);
  const std::string& SessionName() const { return FSessionName; }
  void SetSessionName(const std::string& value);
  // Ends loading.
  virtual void Loaded() { SetLoading(false); }

  // The database object while any use flag is set, else null.
  TCairnDatabase* Database() const { return FDatabase; }
  bool DBFlag(int flag) const { return FDBFlags.Contains(static_cast<uint8_t>(flag)); }
  uint16_t DBFlags() const { return FDBFlags.Bits(); }

  // TDatabaseClient: the database goes down.
  void CloseForDisconnect() override;

 protected:
  // Sets or clears use flag 0 ... 15, acquiring the database with the first flag and releasing it
  // with the last; returns whether the flag was set before. Acquisition failures leave the flags
  // as they were.
  bool SetDBFlag(int flag, bool value);

  // Holds a use flag for a scope, unless it was held already.
  class TUseFlag {
   public:
    TUseFlag(TCairnDBDataSet& dataSet, int flag)
        : FDataSet(dataSet), FFlag(flag), FWasSet(dataSet.SetDBFlag(flag, true)) {}
    ~TUseFlag() {
      if (!FWasSet) FDataSet.ReleaseDBFlag(FFlag);
    }
    TUseFlag(const TUseFlag&) = delete;
    TUseFlag& operator=(const TUseFlag&) = delete;

   private:
    TCairnDBDataSet& FDataSet;
    int FFlag;
    bool FWasSet;
  };

  void OpenCursor() override;
  void CloseCursor() override;

 private:
  void AcquireDatabase();
  void ReleaseDatabase();
  // SetDBFlag(flag, false) for destructors and cleanup: never throws.
  void ReleaseDBFlag(int flag) noexcept;
  // A database object of the name left in the default session although its session exists now
  // moves there, so that the table finds it in the session it names.
  void MoveDatabaseToSession();
  void CheckNameChange() const;

  TSet<uint8_t, uint16_t> FDBFlags;
  TCairnDatabase* FDatabase = nullptr;
  std::string FDatabaseName;
  std::string FSessionName;
};

}  // namespace cairn
