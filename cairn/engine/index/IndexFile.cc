#include "cairn/engine/index/IndexFile.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "cairn/engine/index/KeyComparer.h"
#include "cairn/engine/io/Cipher.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/io/FileVersion.h"
#include "cairn/engine/io/ScopeGuard.h"
#include "cairn/error/EngineError.h"
#include "cairn/host/Locales.h"

namespace cairn {
namespace {

constexpr const char* kPrimaryName = "Primary";

std::string UpperName(const std::string& name) {
  return host::LocaleUpperCase(0, name);
}

// The key bytes of a definition's fields: the sum of (key value length + 1).
enum class TKeyFieldsCheck { Ok, Unknown, Blob, Gap };

TKeyFieldsCheck CountKeyParts(const TIndexDefinition& definition,
                              const std::vector<TFieldDefinition>& fields, int& total) {
  total = 0;
  const int count = definition.KeyFieldCount;
  for (int i = 0; i < idx::kMaxKeyFields; ++i) {
    const uint16_t number = definition.KeyFields[i];
    if (i >= count) {
      if (number != 0) return TKeyFieldsCheck::Gap;
      continue;
    }
    if (number == 0) return TKeyFieldsCheck::Gap;
    const TFieldDefinition* field = TKeyComparer::FindKeyField(fields, number);
    if (field == nullptr) return TKeyFieldsCheck::Unknown;
    if (field->IsBlob()) return TKeyFieldsCheck::Blob;
    total += TKeyComparer::KeyValueLength(*field) + 1;
  }
  return TKeyFieldsCheck::Ok;
}

}  // namespace

// ---- Life cycle -------------------------------------------------------------------------------

TIndexFile::TIndexFile(TEngineServices& engine, TBufferedFileOwner* owner, int32_t pageSize)
    : TBufferedFile(engine, owner), FPageSize(pageSize) {}

TIndexFile::~TIndexFile() = default;

void TIndexFile::SetFieldDefinitions(std::vector<TFieldDefinition> fields) {
  FFieldDefinitions = std::move(fields);
}

int32_t TIndexFile::BufferSize() const {
  return std::max<int32_t>(FPageSize - static_cast<int32_t>(TPageHeader::kSize), 0);
}

int32_t TIndexFile::MaximumBufferCount() const {
  const TEngineSettings& settings = Engine().Settings();
  return MaximumBufferCountFor(settings.MaxIndexBufferSize, BufferSize(), 64,
                               settings.MaxIndexBufferCount);
}

int64_t TIndexFile::MaximumBufferBytes() const {
  return Engine().Settings().MaxIndexBufferSize;
}

std::unique_ptr<TBuffer> TIndexFile::CreateBuffer() {
  return std::make_unique<TPage>(*this, &FLoadHint);
}

int32_t TIndexFile::EvictionRank(const TBuffer& buffer) const {
  switch (static_cast<const TPage&>(buffer).PageType()) {
    case pg::kRootNode:
    case pg::kRootLeaf:
      return 2;
    case pg::kNode:
      return 1;
    default:
      return 0;
  }
}

uint16_t TIndexFile::CorruptBufferError() const {
  return CAIRN_INDEXCORRUPT;
}

void TIndexFile::CountAppendedBlock() {
  ++FHeader.NextEndingPage;
  MarkHeaderDirty();
}

void TIndexFile::CreateFile() {
  if (FPageSize < kMinPageSize || FPageSize > kMaxPageSize) RaiseError(CAIRN_INDEXLIMIT);
  TBufferedFile::CreateFile();
  ++FCacheGeneration;
  FHeader = TIndexHeader();
  FHeader.VersionNum = kFileVersion;
  FHeader.FileSignature = Engine().SignatureDigest();
  FHeader.NextEndingPage = 1;
  FHeader.IsDirty = true;
  FIndexDefinitions.fill(TIndexDefinition());
  FDefinitionLengthsValid.fill(true);
  FIndexesAreDirty = true;
}

void TIndexFile::OpenFile() {
  if (IsOpen()) return;
  if (FPageSize < kMinPageSize || FPageSize > kMaxPageSize) RaiseError(CAIRN_HEADERCORRUPT);
  TBufferedFile::OpenFile();
  ++FCacheGeneration;
  TScopeGuard close([&] { CloseFile(); });
  ReadHeader();
  ReadIndexDefinitions();
  close.Dismiss();
}

void TIndexFile::CloseFile() {
  ++FCacheGeneration;
  TBufferedFile::CloseFile();
}

void TIndexFile::MarkWritten() {
  if (Owner() != nullptr) Owner()->MarkWrittenTo();
}

void TIndexFile::RaiseIndexError(uint16_t code, const std::string& indexName) const {
  TEngineErrorContext context;
  context.DatabaseName = ProperDatabaseName();
  context.TableName = ProperFileName();
  context.IndexName = indexName;
  Engine().RaiseError(code, context);
}

void TIndexFile::RaiseCorruptIndex(int pos) const {
  if (pos < 0 || pos >= idx::kSlotCount) RaiseError(CAIRN_INDEXCORRUPT);
  RaiseIndexError(CAIRN_INDEXCORRUPT, FIndexDefinitions[pos].IndexName);
}

void TIndexFile::RaiseHeaderCorrupt(int pos) const {
  if (pos < 0) RaiseError(CAIRN_HEADERCORRUPT);
  RaiseIndexError(CAIRN_HEADERCORRUPT,
                  pos == 0 ? std::string(kPrimaryName) : FIndexDefinitions[pos].IndexName);
}

// ---- Header -----------------------------------------------------------------------------------

void TIndexFile::ReadHeader() {
  std::vector<char> raw(TIndexHeader::kSize);
  {
    TEngineFileLock lock(*this);
    Seek(0, kSeekBegin);
    Read(raw.data(), static_cast<int64_t>(raw.size()));
  }
  if (const TCipher* cipher = Cipher()) cipher->Decrypt(raw.data(), raw.size());
  const TIndexHeader header = TIndexHeader::Decode(raw.data());
  if (header.VersionNum != kFileVersion) {
    RaiseError(ValidFileVersion(header.VersionNum) ? CAIRN_OLDVERSION : CAIRN_BADSIGNATURE);
  }
  if (!Engine().IsAcceptedSignature(header.FileSignature)) RaiseError(CAIRN_BADSIGNATURE);
  if (header.IndexCount > idx::kMaxSecondaryIndexes || header.NextEndingPage < 1) {
    RaiseError(CAIRN_HEADERCORRUPT);
  }
  FHeader = header;
  FHeader.IsDirty = false;
}

bool TIndexFile::WriteHeader(bool force) {
  if (!force && !FHeader.IsDirty) return false;
  TIndexHeader next = FHeader;
  next.UpdateStamp = NextUpdateStamp(next.UpdateStamp);
  std::vector<char> raw(TIndexHeader::kSize);
  next.Encode(raw.data());
  if (const TCipher* cipher = Cipher()) cipher->Encrypt(raw.data(), raw.size());
  {
    TEngineFileLock lock(*this);
    Seek(0, kSeekBegin);
    Write(raw.data(), static_cast<int64_t>(raw.size()));
  }
  // The stamp counts only a header that reached the file.
  FHeader.UpdateStamp = next.UpdateStamp;
  FHeader.IsDirty = false;
  MarkWritten();
  return true;
}

void TIndexFile::UpdateHeaderStamp() {
  FHeader.UpdateStamp = NextUpdateStamp(FHeader.UpdateStamp);
  MarkHeaderDirty();
}

bool TIndexFile::CheckForChanges() {
  const int32_t stamp = FHeader.UpdateStamp;
  ReadHeader();
  return FHeader.UpdateStamp != stamp;
}

void TIndexFile::ClearHeader() {
  std::optional<TTextIndexParams> params;
  if (FHeader.DataRootPages[idx::kTextSlot] != 0) {
    try {
      params = ReadTextIndexParams();
    } catch (const ECairnEngineError&) {
      // A damaged chain is dropped with the pages; the defaults apply.
    }
  }
  TBufferedFile::ClearHeader();
  ++FCacheGeneration;
  FHeader.NextFreePage = 0;
  FHeader.NextEndingPage = 1;
  FHeader.RootPages.fill(0);
  FHeader.DataRootPages.fill(0);
  MarkHeaderDirty();
  if (params) {
    WriteTextIndexParams(*params);
    FlushBuffers();
  }
  WriteHeader(true);
}

// ---- Definitions --------------------------------------------------------------------------------

void TIndexFile::ReadIndexDefinitions() {
  CountTreeChange();
  std::vector<char> raw(static_cast<size_t>(kIndexDefinitionsSize));
  {
    TEngineFileLock lock(*this);
    Seek(kIndexDefinitionsOffset, kSeekBegin);
    Read(raw.data(), static_cast<int64_t>(raw.size()));
  }
  if (const TCipher* cipher = Cipher()) cipher->Decrypt(raw.data(), raw.size());
  for (int i = 0; i < idx::kSlotCount; ++i) {
    const char* area = raw.data() + i * TIndexDefinition::kSize;
    FIndexDefinitions[i] = TIndexDefinition::Decode(area);
    FDefinitionLengthsValid[i] = TIndexDefinition::StringLengthsValid(area);
  }
  FIndexesAreDirty = false;
}

void TIndexFile::WriteIndexDefinitions() {
  std::vector<char> raw(static_cast<size_t>(kIndexDefinitionsSize));
  for (int i = 0; i < idx::kSlotCount; ++i) {
    FIndexDefinitions[i].Encode(raw.data() + i * TIndexDefinition::kSize);
  }
  if (const TCipher* cipher = Cipher()) cipher->Encrypt(raw.data(), raw.size());
  {
    TEngineFileLock lock(*this);
    Seek(kIndexDefinitionsOffset, kSeekBegin);
    Write(raw.data(), static_cast<int64_t>(raw.size()));
  }
  FIndexesAreDirty = false;
  MarkWritten();
}

void TIndexFile::CheckSlot(int pos) const {
  if (pos < 0 || pos >= idx::kSlotCount) throw std::out_of_range("index definition slot");
}

const TIndexDefinition& TIndexFile::GetIndexDefinition(int pos) const {
  CheckSlot(pos);
  return FIndexDefinitions[pos];
}

void TIndexFile::SetIndexDefinition(int pos, const TIndexDefinition& definition) {
  CountTreeChange();
  CheckSlot(pos);
  FIndexDefinitions[pos] = definition;
  FDefinitionLengthsValid[pos] = true;
  FIndexesAreDirty = true;
}

void TIndexFile::UpdateIndexDefinition(int pos, const TIndexDefinition& definition) {
  SetIndexDefinition(pos, definition);
  WriteIndexDefinitions();
}

int TIndexFile::IndexPosition(const std::string& name) const {
  const std::string wanted = UpperName(name);
  for (int i = 1; i <= FHeader.IndexCount; ++i) {
    if (UpperName(FIndexDefinitions[i].IndexName) == wanted) return i;
  }
  return -1;
}

bool TIndexFile::IndexExists(const std::string& name) const {
  return IndexPosition(name) >= 0;
}

// Key fields must exist and not be blobs; the key size must be the fields' bytes (plus the
// RecordID of a non-unique key) within the limits of the page.
void TIndexFile::CheckKeyFields(const TIndexDefinition& definition,
                                const std::string& errorName) const {
  if (definition.KeyFieldCount > idx::kMaxKeyFields) RaiseIndexError(CAIRN_INDEXLIMIT, errorName);
  int total = 0;
  switch (CountKeyParts(definition, FFieldDefinitions, total)) {
    case TKeyFieldsCheck::Blob:
      RaiseIndexError(CAIRN_SEARCHCOLREQD, errorName);
    case TKeyFieldsCheck::Unknown:
    case TKeyFieldsCheck::Gap:
      RaiseIndexError(CAIRN_INVALIDIDXDESC, errorName);
    case TKeyFieldsCheck::Ok:
      break;
  }
  if (definition.KeyFieldCount == 0) RaiseIndexError(CAIRN_INVALIDIDXDESC, errorName);
  const int limit = std::min(idx::kMaxKeySize, (FPageSize - 13) / 3);
  const int expected = total + (definition.KeyUnique ? 0 : 4);
  if (total < 1 || total > limit || definition.KeySize != expected ||
      definition.KeyCompressionType > idx::kCompressFull ||
      !TPage::FitsPage(definition, FPageSize)) {
    RaiseIndexError(CAIRN_INVALIDKEY, errorName);
  }
}

void TIndexFile::AddPrimaryIndex(const TIndexDefinition& definition) {
  CountTreeChange();
  const TIndexDefinition& current = FIndexDefinitions[idx::kPrimarySlot];
  if (current.KeySize != 0 && !current.IsAutomaticPrimary()) {
    RaiseIndexError(CAIRN_PRIMARYKEYREDEFINE, kPrimaryName);
  }
  TIndexDefinition primary = definition;
  primary.IndexName.clear();
  primary.KeyUnique = true;
  CheckKeyFields(primary, kPrimaryName);
  FIndexDefinitions[idx::kPrimarySlot] = primary;
  FDefinitionLengthsValid[idx::kPrimarySlot] = true;
  SetRootPageNumber(idx::kPrimarySlot, 0);
  FIndexesAreDirty = true;
}

void TIndexFile::AddSecondaryIndex(const TIndexDefinition& definition) {
  CountTreeChange();
  const std::string& name = definition.IndexName;
  if (FHeader.IndexCount >= idx::kMaxSecondaryIndexes ||
      definition.KeyFieldCount > idx::kMaxKeyFields) {
    RaiseIndexError(CAIRN_INDEXLIMIT, name);
  }
  if (name.empty()) RaiseIndexError(CAIRN_INDEXNAMEREQUIRED, name);
  if (!IsValidNameStart(name) || name.size() > TIndexDefinition::kMaxNameLength) {
    RaiseIndexError(CAIRN_INVALIDINDEXNAME, name);
  }
  if (IndexExists(name)) RaiseIndexError(CAIRN_INDEXEXISTS, name);
  CheckKeyFields(definition, name);
  const int pos = FHeader.IndexCount + 1;
  FIndexDefinitions[pos] = definition;
  FDefinitionLengthsValid[pos] = true;
  FHeader.IndexCount = static_cast<uint8_t>(pos);
  FHeader.RootPages[pos] = 0;
  FHeader.DataRootPages[pos] = 0;
  MarkHeaderDirty();
  FIndexesAreDirty = true;
}

void TIndexFile::DeleteIndex(int pos, bool adjust) {
  CountTreeChange();
  if (pos < 0 || pos >= idx::kSlotCount) RaiseIndexError(CAIRN_INVALIDIDXDESC, "");
  if (adjust && pos >= 1 && pos <= idx::kMaxSecondaryIndexes) {
    if (pos > FHeader.IndexCount) RaiseIndexError(CAIRN_INVALIDIDXDESC, "");
    const int last = idx::kMaxSecondaryIndexes;
    for (int i = pos; i < last; ++i) {
      FIndexDefinitions[i] = FIndexDefinitions[i + 1];
      FDefinitionLengthsValid[i] = FDefinitionLengthsValid[i + 1];
      FHeader.RootPages[i] = FHeader.RootPages[i + 1];
      FHeader.DataRootPages[i] = FHeader.DataRootPages[i + 1];
    }
    FIndexDefinitions[last] = TIndexDefinition();
    FDefinitionLengthsValid[last] = true;
    FHeader.RootPages[last] = 0;
    FHeader.DataRootPages[last] = 0;
    --FHeader.IndexCount;
    MarkHeaderDirty();
  } else {
    SetRootPageNumber(pos, 0);
    // Only the primary slot falls back to an index of its own; another slot keeps its
    // definition with an empty tree.
    if (pos == idx::kPrimarySlot) {
      FIndexDefinitions[pos] = TIndexDefinition::AutomaticPrimary();
      FDefinitionLengthsValid[pos] = true;
    }
  }
  FIndexesAreDirty = true;
}

TIndexDefinition TIndexFile::TextIndexDefinition(const std::vector<uint16_t>& fieldNums) {
  TIndexDefinition d;
  d.IndexName = idx::kTextIndexName;
  d.KeySize = idx::kTextIndexKeySize;
  d.KeyCompressionType = idx::kCompressFull;
  d.NoKeyStatistics = true;
  d.KeyUnique = false;
  const size_t count = std::min<size_t>(fieldNums.size(), idx::kMaxKeyFields);
  for (size_t i = 0; i < count; ++i) d.KeyFields[i] = fieldNums[i];
  d.KeyFieldCount = static_cast<uint8_t>(count);
  return d;
}

// ---- Roots and the free chain -----------------------------------------------------------------

int32_t TIndexFile::GetRootPageNumber(int pos) const {
  CheckSlot(pos);
  return FHeader.RootPages[pos];
}

void TIndexFile::SetRootPageNumber(int pos, int32_t number) {
  CheckSlot(pos);
  if (FHeader.RootPages[pos] == number) return;
  FHeader.RootPages[pos] = number;
  MarkHeaderDirty();
}

int32_t TIndexFile::GetDataRootPageNumber(int pos) const {
  CheckSlot(pos);
  return FHeader.DataRootPages[pos];
}

void TIndexFile::SetDataRootPageNumber(int pos, int32_t number) {
  CheckSlot(pos);
  if (FHeader.DataRootPages[pos] == number) return;
  FHeader.DataRootPages[pos] = number;
  MarkHeaderDirty();
}

void TIndexFile::SetNextFreePageNumber(int32_t number) {
  if (FHeader.NextFreePage == number) return;
  FHeader.NextFreePage = number;
  MarkHeaderDirty();
}

// ---- Consistency check --------------------------------------------------------------------------

bool TIndexFile::ValidPageNumber(int32_t number) const {
  return number == 0 || (number >= 1 && number <= FHeader.NextEndingPage - 1);
}

void TIndexFile::CheckHeaderSlot(int pos) const {
  const TIndexDefinition& d = FIndexDefinitions[pos];
  if (!FDefinitionLengthsValid[pos]) RaiseHeaderCorrupt(pos);
  if (pos == idx::kPrimarySlot) {
    if (!d.IndexName.empty() || !d.KeyUnique || d.KeyFields[0] == 0) RaiseHeaderCorrupt(pos);
  } else {
    if (!IsValidNameStart(d.IndexName)) RaiseHeaderCorrupt(pos);
    for (int other = 1; other <= FHeader.IndexCount; ++other) {
      if (other != pos && UpperName(FIndexDefinitions[other].IndexName) == UpperName(d.IndexName)) {
        RaiseHeaderCorrupt(pos);
      }
    }
  }
  if (d.KeyFieldCount < 1 || d.KeyFieldCount > idx::kMaxKeyFields) RaiseHeaderCorrupt(pos);
  int total = 0;
  if (CountKeyParts(d, FFieldDefinitions, total) != TKeyFieldsCheck::Ok) RaiseHeaderCorrupt(pos);
  const int limit = std::min(idx::kMaxKeySize, (FPageSize - 13) / 3);
  if (total < 1 || total > limit) RaiseHeaderCorrupt(pos);
  // The pages are laid out by KeySize: it must be the size the fields make.
  if (d.KeySize != total + (d.KeyUnique ? 0 : 4) || !TPage::FitsPage(d, FPageSize)) {
    RaiseHeaderCorrupt(pos);
  }
  if (!ValidPageNumber(FHeader.RootPages[pos]) || !ValidPageNumber(FHeader.DataRootPages[pos])) {
    RaiseHeaderCorrupt(pos);
  }
}

void TIndexFile::CheckTextSlot() const {
  const int pos = idx::kTextSlot;
  const TIndexDefinition& d = FIndexDefinitions[pos];
  if (!FDefinitionLengthsValid[pos] || UpperName(d.IndexName) != UpperName(idx::kTextIndexName) ||
      d.KeySize != idx::kTextIndexKeySize || d.KeyCompressionType != idx::kCompressFull ||
      !d.NoKeyStatistics || d.KeyFieldCount > idx::kMaxKeyFields) {
    RaiseHeaderCorrupt(pos);
  }
  for (int i = 0; i < idx::kMaxKeyFields; ++i) {
    const uint16_t number = d.KeyFields[i];
    if (i >= d.KeyFieldCount) {
      if (number != 0) RaiseHeaderCorrupt(pos);
      continue;
    }
    const TFieldDefinition* field = TKeyComparer::FindKeyField(FFieldDefinitions, number);
    const bool text = field != nullptr && field->FieldNum == number &&
                      (field->DataType == fld::kString ||
                       (field->DataType == fld::kBlob && field->SubType == fld::kSubMemo));
    if (!text) RaiseHeaderCorrupt(pos);
  }
  if (!ValidPageNumber(FHeader.RootPages[pos]) || !ValidPageNumber(FHeader.DataRootPages[pos])) {
    RaiseHeaderCorrupt(pos);
  }
}

void TIndexFile::CheckHeader() {
  if (FHeader.IndexCount > idx::kMaxSecondaryIndexes || FHeader.NextEndingPage < 1 ||
      !ValidPageNumber(FHeader.NextFreePage)) {
    RaiseError(CAIRN_HEADERCORRUPT);
  }
  for (int pos = 0; pos <= FHeader.IndexCount; ++pos) CheckHeaderSlot(pos);
  CheckTextSlot();
}

}  // namespace cairn
