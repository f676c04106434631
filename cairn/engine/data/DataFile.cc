#include "cairn/engine/data/DataFile.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "cairn/engine/data/FieldLiterals.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/io/FileVersion.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/error/EngineErrorCodes.h"
#include "cairn/host/CodePage.h"
#include "cairn/host/DateTime.h"

namespace cairn {
namespace {

constexpr int64_t kDefinitionsAt = TDataHeader::kSize;
constexpr int64_t kDefinitionSize = TFieldDefinition::kSize;
constexpr int32_t kFirstFieldOffset = static_cast<int32_t>(TRecord::kSystemSize);
constexpr int32_t kMaxStringLength = 512;
constexpr int32_t kMaxWideStringLength = 256;
constexpr int32_t kRecordAreaOverhead = 44;  // bytes a cached slot costs beyond its content

int64_t RoundUpTo8(int64_t value) {
  return (value + 7) / 8 * 8;
}

// The smallest record: the system area rounded up.
constexpr int32_t kMinRecordLength = (kFirstFieldOffset + 7) / 8 * 8;

int32_t WrappingIncrement(int32_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + 1u);
}

bool IsStringLike(uint8_t dataType) {
  return dataType == fld::kString || dataType == fld::kBytes || dataType == fld::kVarBytes;
}

bool LengthFitsType(const TFieldDefinition& d) {
  if (!IsStringLike(d.DataType)) return d.Length == 0;
  return d.Length <= (d.SubType == fld::kSubWide ? kMaxWideStringLength : kMaxStringLength);
}

}  // namespace

TDataFile::TDataFile(TEngineServices& engine, TBufferedFileOwner* owner)
    : TBufferedFile(engine, owner),
      FRecordIDField(RecordIDFieldDefinition()),
      FRecordHashField(RecordHashFieldDefinition()) {}

TDataFile::~TDataFile() = default;

// ---- Life cycle ---------------------------------------------------------------------------------

void TDataFile::CreateFile() {
  TBufferedFile::CreateFile();
  FHeader = TDataHeader();
  FHeader.VersionNum = kFileVersion;
  FHeader.FileSignature = Engine().SignatureDigest();
  FHeader.NextEndingRecord = 1;
  MarkHeaderDirty();
  FFieldDefinitions.clear();
  FFieldsAreDirty = false;
  FDataPassword = nullptr;
  FTableKey.reset();
  InitializeBuffers();
}

void TDataFile::OpenFile() {
  OpenFile(nullptr);
}

void TDataFile::OpenFile(TTablePasswords* passwords) {
  if (IsOpen()) return;
  TBufferedFile::OpenFile();
  TScopeGuard close([&] { CloseFile(); });
  FHeader = ReadHeaderArea();
  FHeader.IsDirty = 0;
  FindTableKey(passwords);
  ReadFieldDefinitions();
  // The buffer budget follows the record length just read.
  InitializeBuffers();
  close.Dismiss();
}

void TDataFile::CloseFile() {
  FFieldDefinitions.clear();
  FFieldsAreDirty = false;
  FHeader = TDataHeader();
  FDataPassword = nullptr;
  FTableKey.reset();
  TBufferedFile::CloseFile();
}

// ---- Header -------------------------------------------------------------------------------------

TDataHeader TDataFile::ReadHeaderArea() {
  char area[TDataHeader::kSize];
  {
    TEngineFileLock lock(*this);
    Seek(0, kSeekBegin);
    Read(area, sizeof area);
  }
  const TDataHeader header = TDataHeader::Decode(area);
  ValidateHeader(header);
  if (!TDataHeader::StringLengthsValid(area)) RaiseError(CAIRN_HEADERCORRUPT);
  return header;
}

// Version and signature first, so that a foreign or future file is named as such; then every
// value the layout of the file rests on.
void TDataFile::ValidateHeader(const TDataHeader& h) const {
  if (h.VersionNum != kFileVersion) {
    RaiseError(ValidFileVersion(h.VersionNum) ? CAIRN_OLDVERSION : CAIRN_BADSIGNATURE);
  }
  if (!Engine().IsAcceptedSignature(h.FileSignature)) RaiseError(CAIRN_BADSIGNATURE);
  if (h.FieldCount > kMaxFieldCount) RaiseError(CAIRN_HEADERCORRUPT);
  const bool sane = h.Encrypted <= 1 && h.RecordLength >= kMinRecordLength &&
                    h.RecordLength % 8 == 0 && h.BlobFieldCount <= h.FieldCount &&
                    h.NextEndingRecord >= 1 && h.NextFreeRecord >= 0 &&
                    h.NextFreeRecord < h.NextEndingRecord;
  if (!sane) RaiseError(CAIRN_HEADERCORRUPT);
}

void TDataFile::UpdateHeader(int32_t newLocaleID, uint16_t newUserMajorVersion,
                             uint16_t newUserMinorVersion, bool newEncrypted,
                             const TMD5Digest& newDigest, std::string_view newDescription,
                             int32_t newIndexPageSize, int32_t newBlobBlockSize,
                             int32_t newLastAutoIncID) {
  FHeader.LocaleID = newLocaleID;
  FHeader.UserMajorVersion = newUserMajorVersion;
  FHeader.UserMinorVersion = newUserMinorVersion;
  FHeader.Encrypted = newEncrypted ? 1 : 0;
  FHeader.Digest = newEncrypted ? newDigest : TMD5Digest();
  FHeader.Description = std::string(newDescription.substr(0, TDataHeader::kMaxDescriptionLength));
  FHeader.IndexPageSize = newIndexPageSize;
  FHeader.BlobBlockSize = newBlobBlockSize;
  // -1 asks for no starting value.
  FHeader.LastAutoIncID = newLastAutoIncID == -1 ? 0 : newLastAutoIncID;
  MarkHeaderDirty();
}

void TDataFile::ReadHeader() {
  const TDataHeader header = ReadHeaderArea();
  // The definitions in memory describe the slots; a header of another layout is not this table.
  if (header.FieldCount != FHeader.FieldCount || header.RecordLength != FHeader.RecordLength ||
      header.Encrypted != FHeader.Encrypted) {
    RaiseError(CAIRN_HEADERCORRUPT);
  }
  FHeader = header;
  FHeader.IsDirty = 0;
}

bool TDataFile::WriteHeader(bool force) {
  if (!force && !HeaderIsDirty()) return false;
  const TDataHeader before = FHeader;
  FHeader.UpdateStamp = NextUpdateStamp(FHeader.UpdateStamp);
  FHeader.LastUpdated = host::Now() - TDataHeader::kLastUpdatedBias;
  // The dirty byte goes out as it is at this moment.
  char area[TDataHeader::kSize];
  FHeader.Encode(area);
  TScopeGuard restore([&] { FHeader = before; });
  {
    TEngineFileLock lock(*this);
    Seek(0, kSeekBegin);
    Write(area, sizeof area);
  }
  restore.Dismiss();
  if (Owner() != nullptr) Owner()->MarkWrittenTo();
  FHeader.IsDirty = 0;
  return true;
}

void TDataFile::UpdateHeaderStamp() {
  FHeader.UpdateStamp = NextUpdateStamp(FHeader.UpdateStamp);
  MarkHeaderDirty();
}

void TDataFile::ClearHeader() {
  TBufferedFile::ClearHeader();
  FHeader.NextFreeRecord = 0;
  FHeader.NextEndingRecord = 1;
  FHeader.LastRecordID = 0;
  FHeader.LastAutoIncID = 0;
  FHeader.RecordCount = 0;
  MarkHeaderDirty();
}

bool TDataFile::CheckForChanges() {
  const int32_t seen = FHeader.UpdateStamp;
  ReadHeader();
  return FHeader.UpdateStamp != seen;
}

void TDataFile::RaiseFieldError(uint16_t code, const std::string& fieldName) const {
  TEngineErrorContext context;
  context.DatabaseName = ProperDatabaseName();
  context.TableName = ProperFileName();
  context.FieldName = fieldName;
  Engine().RaiseError(code, context);
}

void TDataFile::CheckHeader() {
  if (FHeader.LocaleID != 0 && !Engine().IsValidLocale(static_cast<uint32_t>(FHeader.LocaleID)))
    RaiseError(CAIRN_CANNOTLOADLDDRV);
  std::unordered_set<std::string> names;
  std::unordered_set<uint16_t> numbers;
  int64_t offset = kFirstFieldOffset;
  for (size_t k = 0; k < FFieldDefinitions.size(); ++k) {
    TFieldDefinition& d = FFieldDefinitions[k];
    d.DataSize = FieldDataSize(d.DataType, d.SubType, d.Length);
    d.DataDecimals = d.Decimals;
    const bool valid =
        IsValidNameStart(d.FieldName) && d.FieldName.size() <= TFieldDefinition::kMaxNameLength &&
        numbers.insert(d.FieldNum).second &&
        names.insert(host::AnsiUpperCase(d.FieldName)).second && d.DataType != 0 &&
        LengthFitsType(d) && IsValidFieldLiteral(d.DataType, d.Default) &&
        IsValidFieldLiteral(d.DataType, d.Minimum) && IsValidFieldLiteral(d.DataType, d.Maximum) &&
        (d.Decimals == 0 || d.DataType == fld::kBCD) && d.Offset == offset &&
        d.FieldNum == static_cast<int64_t>(k) + 1;
    if (!valid) RaiseFieldError(CAIRN_HEADERCORRUPT, d.FieldName);
    offset += d.DataSize + 1;
  }
  if (FHeader.RecordLength != RoundUpTo8(offset)) RaiseError(CAIRN_HEADERCORRUPT);
  const int64_t size = GetSize();
  const int64_t slotBytes = size - HeaderSize();
  if (slotBytes < 0) RaiseError(CAIRN_HEADERCORRUPT);
  // The file must hold every slot the header counts. It may hold more: a process that died
  // between writing a new slot and writing the header leaves it there, uncounted, and the next
  // new record takes its place.
  const int64_t slots = slotBytes / FHeader.RecordLength;
  if (FHeader.NextEndingRecord > slots + 1 || FHeader.NextFreeRecord < 0 ||
      FHeader.NextFreeRecord >= FHeader.NextEndingRecord) {
    RaiseError(CAIRN_HEADERCORRUPT);
  }
}

// ---- Field definitions --------------------------------------------------------------------------

void TDataFile::SetFieldDefinitions(std::span<const TFieldDefinition> definitions) {
  if (definitions.size() > static_cast<size_t>(kMaxFieldCount)) RaiseError(CAIRN_FLDLIMIT);
  int32_t blobFields = 0;
  int64_t size = kFirstFieldOffset;
  for (const TFieldDefinition& d : definitions) {
    if (d.DataType == fld::kBlob) {
      if (blobFields == kMaxBlobFieldCount) RaiseFieldError(CAIRN_BLOBLIMIT, d.FieldName);
      ++blobFields;
    }
    if (!d.ExpressionField) size += d.DataSize + 1;
  }
  const int64_t recordLength = RoundUpTo8(size);
  if (recordLength > kMaxRecordLength) RaiseError(CAIRN_RECTOOBIG);
  FFieldDefinitions.assign(definitions.begin(), definitions.end());
  FHeader.FieldCount = static_cast<uint16_t>(definitions.size());
  FHeader.BlobFieldCount = static_cast<uint16_t>(blobFields);
  FHeader.RecordLength = static_cast<uint16_t>(recordLength);
  FFieldsAreDirty = true;
  MarkHeaderDirty();
}

const TCipher* TDataFile::DefinitionsCipher() const {
  if (!Encrypted()) return nullptr;
  if (FTableKey) return FTableKey.get();
  if (const TCipher* key = Cipher()) return key;
  RaiseError(CAIRN_NOTSUFFTABLERIGHTS);
}

void TDataFile::ReadFieldDefinitions() {
  const int64_t bytes = kDefinitionSize * FHeader.FieldCount;
  // The area must lie inside the file before anything is allocated for it.
  if (GetSize() < kDefinitionsAt + bytes) RaiseError(CAIRN_HEADERCORRUPT);
  std::vector<char> area(static_cast<size_t>(bytes));
  if (bytes > 0) {
    TEngineFileLock lock(*this);
    Seek(kDefinitionsAt, kSeekBegin);
    Read(area.data(), bytes);
  }
  if (const TCipher* cipher = DefinitionsCipher()) cipher->Decrypt(area.data(), area.size());
  std::vector<TFieldDefinition> definitions;
  definitions.reserve(FHeader.FieldCount);
  for (int64_t at = 0; at < bytes; at += kDefinitionSize) {
    definitions.push_back(TFieldDefinition::Decode(area.data() + at));
  }
  ValidateDefinitions(definitions, area);
  FFieldDefinitions = std::move(definitions);
  FFieldsAreDirty = false;
}

// What every reader of the slots relies on: readable strings, lengths within the type's limits,
// each field inside the record and the blob count of the header. DataSize and DataDecimals are
// taken from the type rules, never from the bytes.
void TDataFile::ValidateDefinitions(std::vector<TFieldDefinition>& definitions,
                                    const std::vector<char>& area) const {
  int32_t blobFields = 0;
  for (size_t k = 0; k < definitions.size(); ++k) {
    TFieldDefinition& d = definitions[k];
    d.DataSize = FieldDataSize(d.DataType, d.SubType, d.Length);
    d.DataDecimals = d.Decimals;
    const bool valid = TFieldDefinition::StringLengthsValid(area.data() + k * kDefinitionSize) &&
                       LengthFitsType(d) && d.Offset >= kFirstFieldOffset &&
                       int64_t{d.Offset} + 1 + d.DataSize <= FHeader.RecordLength;
    if (!valid) RaiseFieldError(CAIRN_HEADERCORRUPT, d.FieldName);
    if (d.IsBlob()) ++blobFields;
  }
  if (blobFields != FHeader.BlobFieldCount) RaiseError(CAIRN_HEADERCORRUPT);
}

void TDataFile::WriteFieldDefinitions() {
  const int64_t bytes = kDefinitionSize * static_cast<int64_t>(FFieldDefinitions.size());
  if (bytes > 0) {
    std::vector<char> area(static_cast<size_t>(bytes));
    for (size_t k = 0; k < FFieldDefinitions.size(); ++k) {
      FFieldDefinitions[k].Encode(area.data() + k * kDefinitionSize);
    }
    if (const TCipher* cipher = DefinitionsCipher()) cipher->Encrypt(area.data(), area.size());
    TEngineFileLock lock(*this);
    Seek(kDefinitionsAt, kSeekBegin);
    Write(area.data(), bytes);
  }
  if (Owner() != nullptr) Owner()->MarkWrittenTo();
  FFieldsAreDirty = false;
}

const TFieldDefinition* TDataFile::GetFieldDefinitionByPos(int32_t pos) const {
  if (pos < 1 || pos > static_cast<int32_t>(FFieldDefinitions.size())) return nullptr;
  return &FFieldDefinitions[static_cast<size_t>(pos - 1)];
}

const TFieldDefinition* TDataFile::GetFieldDefinitionByNumber(int32_t number) const {
  if (number == -1 || number == fld::kRecordIDFieldNum) return &FRecordIDField;
  if (number == -2 || number == fld::kRecordHashFieldNum) return &FRecordHashField;
  return GetFieldDefinitionByPos(number);
}

const TFieldDefinition* TDataFile::GetFieldDefinitionByName(std::string_view name) const {
  if (host::AnsiSameText(name, FRecordIDField.FieldName)) return &FRecordIDField;
  if (host::AnsiSameText(name, FRecordHashField.FieldName)) return &FRecordHashField;
  for (const TFieldDefinition& d : FFieldDefinitions) {
    if (host::AnsiSameText(name, d.FieldName)) return &d;
  }
  return nullptr;
}

int32_t TDataFile::GetFieldNumber(std::string_view name) const {
  const TFieldDefinition* d = GetFieldDefinitionByName(name);
  if (d == nullptr) return 0;
  if (d == &FRecordIDField) return -1;
  if (d == &FRecordHashField) return -2;
  return d->FieldNum;
}

void TDataFile::UpdateFieldDefinitionByPos(int32_t pos, const TFieldDefinition& definition) {
  if (pos < 1 || pos > static_cast<int32_t>(FFieldDefinitions.size()))
    throw std::out_of_range("field position out of range");
  TFieldDefinition& d = FFieldDefinitions[static_cast<size_t>(pos - 1)];
  // The stored fields only; what exists in memory alone stays.
  TFieldDefinition updated = definition;
  updated.ExpressionField = d.ExpressionField;
  updated.ExpressionTokens = d.ExpressionTokens;
  updated.FieldOrigin = d.FieldOrigin;
  updated.OriginFieldNum = d.OriginFieldNum;
  updated.FieldPos = d.FieldPos;
  updated.FieldDatabaseOrigin = d.FieldDatabaseOrigin;
  d = std::move(updated);
  FFieldsAreDirty = true;
}

// ---- Counters -----------------------------------------------------------------------------------

void TDataFile::IncRecordCount() {
  FHeader.RecordCount = WrappingIncrement(FHeader.RecordCount);
  MarkHeaderDirty();
}

void TDataFile::DecRecordCount() {
  FHeader.RecordCount = static_cast<int32_t>(static_cast<uint32_t>(FHeader.RecordCount) - 1u);
  MarkHeaderDirty();
}

int32_t TDataFile::NextFreeSlot() const {
  return FHeader.NextFreeRecord != 0 ? FHeader.NextFreeRecord : FHeader.NextEndingRecord;
}

void TDataFile::SetNextFreeRecord(int32_t value) {
  if (FHeader.NextFreeRecord == value) return;
  FHeader.NextFreeRecord = value;
  MarkHeaderDirty();
}

void TDataFile::SetLastRecordID(int32_t value) {
  FHeader.LastRecordID = value;
  MarkHeaderDirty();
}

void TDataFile::SetLastAutoIncID(int32_t value) {
  FHeader.LastAutoIncID = value;
  MarkHeaderDirty();
}

void TDataFile::SetLastBlobSignature(int32_t value) {
  FHeader.LastBlobSignature = value;
  MarkHeaderDirty();
}

int32_t TDataFile::NextIdentity(int32_t last) {
  return last == INT32_MAX ? 1 : last + 1;
}

void TDataFile::SetRepairedCounters(int32_t nextEndingRecord, int32_t nextFreeRecord,
                                    int32_t recordCount) {
  if (nextEndingRecord < 1 || nextFreeRecord < 0 || nextFreeRecord >= nextEndingRecord ||
      recordCount < 0 || recordCount >= nextEndingRecord) {
    RaiseError(CAIRN_HEADERCORRUPT);
  }
  FHeader.NextEndingRecord = nextEndingRecord;
  FHeader.NextFreeRecord = nextFreeRecord;
  FHeader.RecordCount = recordCount;
  MarkHeaderDirty();
}

int32_t TDataFile::NextBlobSignature() {
  SetLastBlobSignature(NextIdentity(FHeader.LastBlobSignature));
  return FHeader.LastBlobSignature;
}

// ---- Encryption ---------------------------------------------------------------------------------

TMD5Digest TDataFile::PasswordCheckValue(TEngineServices& engine, const TMD5Digest& digest) {
  const std::unique_ptr<TCipher> key = engine.CryptoInit(digest.Bytes.data(), digest.Bytes.size());
  TMD5Digest value = digest;
  key->Encrypt(value.Bytes.data(), value.Bytes.size());
  return value;
}

// With a session: its known passwords, asking it for more while it wants to try again. Without
// one: the owner's key, when deciphering the check value with it gives a digest whose own check
// value is the stored one.
void TDataFile::FindTableKey(TTablePasswords* passwords) {
  FDataPassword = nullptr;
  FTableKey.reset();
  if (!Encrypted()) return;
  if (passwords != nullptr) {
    do {
      if (TTablePassword* password = passwords->GetDataPassword(FHeader.Digest)) {
        FDataPassword = password;
        FTableKey =
            Engine().CryptoInit(password->Digest().Bytes.data(), password->Digest().Bytes.size());
        return;
      }
    } while (passwords->AskForPassword());
  } else if (const TCipher* key = Cipher()) {
    TMD5Digest candidate = FHeader.Digest;
    key->Decrypt(candidate.Bytes.data(), candidate.Bytes.size());
    if (PasswordCheckValue(Engine(), candidate) == FHeader.Digest) return;
  }
  RaiseError(CAIRN_NOTSUFFTABLERIGHTS);
}

// ---- Locks --------------------------------------------------------------------------------------

bool TDataFile::LockRecord(int32_t number) {
  if (number < 1) return false;
  return LockRegion(Engine().LockGeometry().RecordLockByte() - number, 1, true);
}

bool TDataFile::UnlockRecord(int32_t number) {
  if (number < 1) return false;
  return LockRegion(Engine().LockGeometry().RecordLockByte() - number, 1, false);
}

bool TDataFile::LockTable() {
  const TLockGeometry& geometry = Engine().LockGeometry();
  return LockRegion(geometry.RecordLockByte() - geometry.RecordLockRange(),
                    geometry.RecordLockRange(), true);
}

bool TDataFile::UnlockTable() {
  const TLockGeometry& geometry = Engine().LockGeometry();
  return LockRegion(geometry.RecordLockByte() - geometry.RecordLockRange(),
                    geometry.RecordLockRange(), false);
}

bool TDataFile::LockSemaphore(int32_t number) {
  if (number < 1 || number > Engine().LockGeometry().SemaphoreLockRange()) return false;
  return LockRegion(Engine().LockGeometry().SemaphoreLockByte() - number, 1, true);
}

bool TDataFile::UnlockSemaphore(int32_t number) {
  if (number < 1 || number > Engine().LockGeometry().SemaphoreLockRange()) return false;
  return LockRegion(Engine().LockGeometry().SemaphoreLockByte() - number, 1, false);
}

// ---- The buffered file's values
// -------------------------------------------------------------------

int64_t TDataFile::HeaderSize() const {
  return kDefinitionsAt + kDefinitionSize * FHeader.FieldCount;
}

int32_t TDataFile::MaximumBufferCount() const {
  const TEngineSettings& settings = Engine().Settings();
  return MaximumBufferCountFor(settings.MaxDataBufferSize, BufferSize(), kRecordAreaOverhead,
                               settings.MaxDataBufferCount);
}

int64_t TDataFile::MaximumBufferBytes() const {
  return Engine().Settings().MaxDataBufferSize;
}

int32_t TDataFile::ReadAheadReserve() const {
  return std::max(static_cast<int32_t>(BufferCapacity() / 4), 1);
}

int32_t TDataFile::ReadAheadCount(const TBufferRequest& request) const {
  return request.ReadAheadCount;
}

std::unique_ptr<TBuffer> TDataFile::CreateBuffer() {
  // Slots of an encrypted table never pass through the cache without the table's key.
  if (Encrypted() && Cipher() == nullptr) RaiseError(CAIRN_NOTSUFFTABLERIGHTS);
  return std::make_unique<TRecord>(*this);
}

uint16_t TDataFile::CorruptBufferError() const {
  return CAIRN_FILECORRUPT;
}

void TDataFile::CheckSizeLimit() {
  // Without definitions there is no record to append.
  if (FHeader.RecordLength < kMinRecordLength) RaiseError(CAIRN_HEADERCORRUPT);
  CheckAppendLimits(Engine().MaximumFileSize(), Engine().MaximumNumRecords());
}

void TDataFile::CountAppendedBlock() {
  ++FHeader.NextEndingRecord;
  MarkHeaderDirty();
}

}  // namespace cairn
