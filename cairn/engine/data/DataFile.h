// A table's data file: header, field definitions and record slots.
//
//   offset                        length                        enciphered (encrypted table)
//   ----------------------------  ----------------------------  ----------------------------
//   0                             512                           never         TDataHeader
//   512                           768 x FieldCount              as one unit   field definitions
//   512 + 768 x FieldCount        RecordLength x (NextEnding-1) each slot     slots 1, 2, ...
//
// Slot n starts at 512 + 768 x FieldCount + (n - 1) x RecordLength; the file ends after its last
// slot. The slots are the blocks of the buffered file (TRecord buffers); the header and the
// definitions are read and written here, each in one transfer under the file section.
//
// Encryption: the key is made from the MD5 digest of the table password; the header's Digest
// holds that digest enciphered with its own key (PasswordCheckValue). Opening an encrypted table
// finds the password among the session's (or checks the owner's key) before any definition is
// read. The owner's Cipher() must answer the table's key for the slots: after OpenFile that is
// TableKey(); at creation the owner sets it up from the password it was given.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cairn/crypto/Md5.h"
#include "cairn/engine/data/DataHeader.h"
#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/data/TablePasswords.h"
#include "cairn/engine/io/BufferedFile.h"
#include "cairn/engine/io/Cipher.h"

namespace cairn {

class TDataFile : public TBufferedFile {
 public:
  static constexpr int32_t kMaxFieldCount = 1024;
  static constexpr int32_t kMaxBlobFieldCount = 256;
  static constexpr int32_t kMaxRecordLength = 65534;

  explicit TDataFile(TEngineServices& engine, TBufferedFileOwner* owner = nullptr);
  ~TDataFile() override;

  // ---- Life cycle -----------------------------------------------------------------------------
  // Creates (or replaces) the file with a zeroed header and no definitions: version 6, the
  // engine's signature digest, NextEndingRecord 1, header dirty. Nothing is written yet.
  void CreateFile() override;
  // Opens without a session: an encrypted table opens only when the owner's key is its key.
  void OpenFile() override;
  // Opens and checks the header (version CAIRN_OLDVERSION/CAIRN_BADSIGNATURE, signature
  // CAIRN_BADSIGNATURE, damage CAIRN_HEADERCORRUPT), finds the password of an encrypted table
  // (CAIRN_NOTSUFFTABLERIGHTS when none opens it), then reads the definitions. A failed open leaves
  // the file closed.
  void OpenFile(TTablePasswords* passwords);
  // Releases the definitions and the table key, then closes.
  void CloseFile() override;

  // ---- Header ---------------------------------------------------------------------------------
  const TDataHeader& GetHeader() const { return FHeader; }
  bool HeaderIsDirty() const { return FHeader.IsDirty != 0; }
  void UpdateHeader(int32_t newLocaleID, uint16_t newUserMajorVersion, uint16_t newUserMinorVersion,
                    bool newEncrypted, const TMD5Digest& newDigest, std::string_view newDescription,
                    int32_t newIndexPageSize, int32_t newBlobBlockSize, int32_t newLastAutoIncID);
  // Reads the 512 header bytes. A header whose layout no longer fits the definitions in memory
  // is damage (CAIRN_HEADERCORRUPT) and leaves the header in memory as it was.
  void ReadHeader() override;
  // Only when forced or dirty: stamp + 1, LastUpdated := now, the 512 bytes written plain.
  bool WriteHeader(bool force) override;
  void UpdateHeaderStamp() override;
  // Empties the table: truncates to the header area and resets the counters. The update stamp
  // keeps rising, so that other processes notice the change.
  void ClearHeader() override;
  // Every consistency rule of header and definitions: CAIRN_HEADERCORRUPT, CAIRN_CANNOTLOADLDDRV
  // for an unknown locale.
  void CheckHeader() override;
  bool CheckForChanges() override;

  // ---- Field definitions ----------------------------------------------------------------------
  // Takes copies of the definitions (table creation), counts the blob fields and computes the
  // record length: more than 256 blob fields fail with CAIRN_BLOBLIMIT, a record above 65534 bytes
  // with CAIRN_RECTOOBIG; on failure nothing changes.
  void SetFieldDefinitions(std::span<const TFieldDefinition> definitions);
  // All FieldCount x 768 bytes at 512 in one transfer; enciphered as one unit when encrypted.
  void ReadFieldDefinitions();
  void WriteFieldDefinitions();
  bool FieldsAreDirty() const { return FFieldsAreDirty; }
  int32_t FieldCount() const { return FHeader.FieldCount; }

  // Positions and numbers count from 1; null when there is no such field. Numbers -1 and -2
  // (65535, 65534) and the names "RecordID" and "RecordHash" give the pseudo-fields.
  const TFieldDefinition* GetFieldDefinitionByPos(int32_t pos) const;
  const TFieldDefinition* GetFieldDefinitionByNumber(int32_t number) const;
  const TFieldDefinition* GetFieldDefinitionByName(std::string_view name) const;
  // The field number of a name; 0 when there is none.
  int32_t GetFieldNumber(std::string_view name) const;
  // Replaces the stored fields of one definition; CAIRN_HEADERCORRUPT for a position out of range.
  void UpdateFieldDefinitionByPos(int32_t pos, const TFieldDefinition& definition);

  // ---- Counters -------------------------------------------------------------------------------
  // Every change marks the header dirty.
  int32_t RecordCount() const { return FHeader.RecordCount; }
  void IncRecordCount();
  void DecRecordCount();
  // The slot the next record goes to: NextFreeRecord when the chain of deleted slots is not
  // empty, else NextEndingRecord (a new slot at the end).
  int32_t NextFreeSlot() const;
  int32_t NextFreeRecord() const { return FHeader.NextFreeRecord; }
  void SetNextFreeRecord(int32_t value);
  int32_t NextEndingRecord() const { return FHeader.NextEndingRecord; }
  uint16_t RecordLength() const { return FHeader.RecordLength; }
  int32_t LastRecordID() const { return FHeader.LastRecordID; }
  void SetLastRecordID(int32_t value);
  int32_t LastAutoIncID() const { return FHeader.LastAutoIncID; }
  void SetLastAutoIncID(int32_t value);
  int32_t LastBlobSignature() const { return FHeader.LastBlobSignature; }
  void SetLastBlobSignature(int32_t value);
  // The identity after last: last + 1, wrapping from 2147483647 to 1.
  static int32_t NextIdentity(int32_t last);
  // The values the next record would get; nothing changes.
  int32_t NextRecordID() const { return NextIdentity(FHeader.LastRecordID); }
  int32_t NextAutoIncID() const { return NextIdentity(FHeader.LastAutoIncID); }
  // Hands out a new blob signature: LastBlobSignature advances to it.
  int32_t NextBlobSignature();
  // Table repair: the slot counters recounted from the slots themselves (the file already ends
  // after slot nextEndingRecord - 1, and no slot beyond it is cached); the header becomes dirty.
  // CAIRN_HEADERCORRUPT for values that cannot describe a file.
  void SetRepairedCounters(int32_t nextEndingRecord, int32_t nextFreeRecord, int32_t recordCount);

  // ---- Encryption -----------------------------------------------------------------------------
  bool Encrypted() const { return FHeader.Encrypted != 0; }
  // The value an encrypted table stores for a password of this digest: the digest enciphered
  // with the key made from it.
  static TMD5Digest PasswordCheckValue(TEngineServices& engine, const TMD5Digest& digest);
  // The session password that opened the table (null when none); owned by the session.
  TTablePassword* DataPassword() const { return FDataPassword; }
  // The key found at open (null for a plain table or an open through the owner's key).
  const TCipher* TableKey() const { return FTableKey.get(); }

  // ---- Record, table and semaphore locks (byte ranges far beyond the data) --------------------
  // Each answers whether the lock or unlock succeeded; waiting and retrying is the caller's.
  bool LockRecord(int32_t number);
  bool UnlockRecord(int32_t number);
  bool LockTable();
  bool UnlockTable();
  bool LockSemaphore(int32_t number);
  bool UnlockSemaphore(int32_t number);

  // ---- The buffered file's values ---------------------------------------------------------------
  int32_t IOBlockSize() const override { return FHeader.RecordLength; }
  int32_t BufferSize() const override { return FHeader.RecordLength; }
  int64_t HeaderSize() const override;
  int32_t IOBlocksUsed() const override { return FHeader.NextEndingRecord - 1; }
  int32_t LastUpdateStamp() const override { return FHeader.UpdateStamp; }
  int32_t MRUBuffers() const override { return 4; }
  int32_t BufferExpand() const override { return 64; }
  int32_t MaximumBufferCount() const override;
  int64_t MaximumBufferBytes() const override;
  int32_t ReadAheadReserve() const override;
  int32_t ReadAheadCount(const TBufferRequest& request) const override;

 protected:
  std::unique_ptr<TBuffer> CreateBuffer() override;
  uint16_t CorruptBufferError() const override;
  // CAIRN_TABLEFULL when the slots reach the engine's maximum record count or the file its maximum
  // size.
  void CheckSizeLimit() override;
  void CountAppendedBlock() override;
  void SaveHeaderForUndo() override { FUndoHeader = FHeader; }
  void RestoreHeaderForUndo() override { FHeader = FUndoHeader; }

 private:
  TDataHeader ReadHeaderArea();
  // Version, signature and the layout values a reader relies on.
  void ValidateHeader(const TDataHeader& header) const;
  // The key of an encrypted table, matched against the stored check value; CAIRN_NOTSUFFTABLERIGHTS
  // when none.
  void FindTableKey(TTablePasswords* passwords);
  // The cipher of the definitions: null for a plain table.
  const TCipher* DefinitionsCipher() const;
  // Checks what was read and sets DataSize and DataDecimals by the type rules.
  void ValidateDefinitions(std::vector<TFieldDefinition>& definitions,
                           const std::vector<char>& area) const;
  void MarkHeaderDirty() { FHeader.IsDirty = 1; }
  [[noreturn]] void RaiseFieldError(uint16_t code, const std::string& fieldName) const;

  TDataHeader FHeader;
  TDataHeader FUndoHeader;
  bool FFieldsAreDirty = false;
  std::vector<TFieldDefinition> FFieldDefinitions;  // position k - 1 holds field number k
  TFieldDefinition FRecordIDField;
  TFieldDefinition FRecordHashField;
  TTablePassword* FDataPassword = nullptr;
  std::unique_ptr<TCipher> FTableKey;
};

}  // namespace cairn
