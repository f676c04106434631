#include "cairn/check/TableRepair.h"

#include <algorithm>
#include <cstring>

#include "cairn/check/BlobChainWalker.h"
#include "cairn/cursor/KeyBuilder.h"
#include "cairn/cursor/RecordHash.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/index/IndexTree.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/io/EngineServices.h"
#include "cairn/engine/table/TableDirectory.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {
namespace {

constexpr int32_t kReadAhead = 64;

bool IsAutoInc(const TFieldDefinition& field) {
  return field.DataType == fld::kInteger && field.SubType == fld::kSubAutoInc;
}

}  // namespace

TTableRepair::TTableRepair(TTableDirectory& directory, const std::string& tableName)
    : FFiles(directory, tableName, true) {}

std::vector<std::string> TTableRepair::Run() {
  FActions.clear();
  OpenData();
  CutPartialSlot();
  ReadIndexDefinitions();
  OpenBlob();
  MendRecords();
  RenumberRecords();
  RelinkDeletedSlots();
  if (FBlobOpen) MendFreeBlocks();
  // The records are mended on disk first: the index is built from them and, should the rebuild
  // be cut short, a second repair starts from sound records.
  WriteFiles();
  RebuildIndex();
  FFiles.Close();
  return FActions;
}

void TTableRepair::OpenData() {
  if (!FFiles.OpenData()) throw *FFiles.DataError();
  TDataFile& data = FFiles.Data();
  for (int32_t pos = 1; pos <= data.FieldCount(); ++pos) {
    FFields.push_back(*data.GetFieldDefinitionByPos(pos));
  }
  FHasBlobs = data.GetHeader().BlobFieldCount > 0;
  FFoundHeader = data.GetHeader();
}

// A slot cut short holds no readable record; the file ends after the last whole slot.
void TTableRepair::CutPartialSlot() {
  TDataFile& data = FFiles.Data();
  const TDataHeader& header = data.GetHeader();
  const int64_t area = data.HeaderSize();
  const int64_t size = data.GetSize();
  if (size < area) data.RaiseError(CAIRN_HEADERCORRUPT);
  const int64_t whole = (size - area) / header.RecordLength;
  FSlots = static_cast<int32_t>(std::min<int64_t>(whole, data.Engine().MaximumNumRecords()));
  data.FreeBuffers();
  if ((size - area) % header.RecordLength != 0 || whole != FSlots) {
    {
      TEngineFileLock lock(data);
      data.Seek(area + static_cast<int64_t>(FSlots) * header.RecordLength, kSeekBegin);
      data.Write(nullptr, 0);
    }
    Note("data file: the partial slot " + std::to_string(FSlots + 1) + " at the end was cut off");
  }
  if (header.NextEndingRecord - 1 != FSlots) {
    Note("data file: the header counted " + std::to_string(header.NextEndingRecord - 1) +
         " slots, the file holds " + std::to_string(FSlots));
  }
  // The chain and the count are set again once the slots are read.
  data.SetRepairedCounters(FSlots + 1, 0, 0);
}

void TTableRepair::OpenBlob() {
  if (!FHasBlobs) return;
  if (!FFiles.OpenBlob()) {
    Note("blob file: cannot be opened (" + FFiles.BlobError()->Message() +
         "); blob values are left as they are");
    return;
  }
  FBlobOpen = true;
  TBlobFile& blob = FFiles.Blob();
  blob.RepairHeader(false, [&](const std::string& message) { Note("blob file: " + message); });
  FBlocks = blob.IOBlocksUsed();
  FBlockOwner.assign(static_cast<size_t>(FBlocks) + 1, 0);
}

void TTableRepair::MendRecords() {
  TDataFile& data = FFiles.Data();
  TBufferRequest request;
  request.Exclusive = true;
  for (int32_t slot = 1; slot <= FSlots; ++slot) {
    request.ReadAheadCount = std::min(kReadAhead, FSlots - slot + 1);
    TBuffer* buffer = nullptr;
    data.GetBuffer(request, slot, true, TReadAheadDirection::Forward, buffer);
    bool dirty = false;
    if (MendRecord(slot, buffer->Buffer(), dirty)) {
      FLive.push_back({slot, DecodeInt32(buffer->Buffer() + TRecord::kRecordIDAt)});
    } else {
      FDeleted.push_back(slot);
    }
    if (dirty) buffer->SetIsDirty(true);
    data.PutBuffer(buffer);
  }
}

bool TTableRepair::MendRecord(int32_t slot, char* record, bool& dirty) {
  const uint8_t status = static_cast<uint8_t>(record[TRecord::kStatusAt]);
  if (status == TRecord::kDeleted) return false;
  const size_t length = FFiles.Data().GetHeader().RecordLength;
  if (std::all_of(record, record + length, [](char c) { return c == 0; })) {
    // No record was ever written here (the file grew, the write was cut short): a free slot.
    record[TRecord::kStatusAt] = static_cast<char>(TRecord::kDeleted);
    dirty = true;
    Note("data file: " + SlotName(slot) + " was all zero (no record written); it is now free");
    return false;
  }
  if (status != TRecord::kLive) {
    record[TRecord::kStatusAt] = static_cast<char>(TRecord::kLive);
    EncodeInt32(record + TRecord::kNextFreeAt, 0);
    dirty = true;
    Note("data file: " + SlotName(slot) + " had status " + std::to_string(status) +
         "; it is kept as a live record");
  }
  for (const TFieldDefinition& field : FFields) {
    char& flag = record[field.Offset];
    if (static_cast<uint8_t>(flag) > 1) {
      flag = 1;
      dirty = true;
      Note("data file: " + SlotName(slot) + ": the null flag of field " + field.FieldName +
           " was damaged; the value is kept as present");
    }
    if (field.IsBlob()) MendBlobReference(slot, field, record, dirty);
    if (IsAutoInc(field) && flag == 1) {
      FMaxAutoInc = std::max(FMaxAutoInc, DecodeInt32(record + field.Offset + 1));
    }
  }
  const TMD5Digest hash = RecordHashOf(FFields, FHasBlobs, record, length, FHashScratch);
  if (std::memcmp(hash.Bytes.data(), record + TRecord::kRecordHashAt, hash.Bytes.size()) != 0) {
    std::memcpy(record + TRecord::kRecordHashAt, hash.Bytes.data(), hash.Bytes.size());
    dirty = true;
    Note("data file: " + SlotName(slot) +
         ": the RecordHash did not match the record; the content is kept and its hash renewed");
  }
  return true;
}

void TTableRepair::MendBlobReference(int32_t slot, const TFieldDefinition& field, char* record,
                                     bool& dirty) {
  char* reference = record + field.Offset + 1;
  const int32_t first = DecodeInt32(reference);
  const int32_t signature = DecodeInt32(reference + 4);
  if (first == 0 || !FBlobOpen) return;
  const std::string value = "the blob of field " + field.FieldName + " in " + SlotName(slot);
  TBlobChainWalker walker(FFiles.Blob(), FBlocks, FBlockOwner);
  const auto problems = walker.Walk(first, signature, field.Compression, 0, "");
  const bool signatureOnly =
      !problems.empty() && std::all_of(problems.begin(), problems.end(),
                                       [](const auto& p) { return p.Kind == "blob signature"; });
  if (problems.empty()) {
    FMaxSignature = std::max(FMaxSignature, signature);
    return;
  }
  dirty = true;
  if (signatureOnly) {
    TBufferRequest request;
    request.Exclusive = true;
    TBlock* block = nullptr;
    FFiles.Blob().GetBlock(request, first, 1, block);
    const int32_t stored = block->Signature();
    FFiles.Blob().PutBlock(block);
    EncodeInt32(reference + 4, stored);
    FMaxSignature = std::max(FMaxSignature, stored);
    Note("data file: " + value + " takes the signature of its first block");
    return;
  }
  // The value cannot be read; the record stays, the value becomes empty.
  std::memset(record + field.Offset, 0, 9);
  std::string why = problems.front().Text;
  why.erase(0, why.find_first_not_of(": "));
  Note("data file: " + value + " could not be read (" + why + "); the value is now empty");
}

// RecordIDs must be unique and handed out: a missing or repeated one is replaced by a new one.
void TTableRepair::RenumberRecords() {
  TDataFile& data = FFiles.Data();
  int32_t last = data.LastRecordID();
  for (const TLive& live : FLive) last = std::max(last, live.RecordID);
  std::vector<int32_t> seen;
  TBufferRequest request;
  request.Exclusive = true;
  for (TLive& live : FLive) {
    const bool repeated = std::binary_search(seen.begin(), seen.end(), live.RecordID);
    if (live.RecordID >= 1 && !repeated) {
      seen.insert(std::upper_bound(seen.begin(), seen.end(), live.RecordID), live.RecordID);
      continue;
    }
    last = TDataFile::NextIdentity(last);
    Note("data file: " + SlotName(live.Slot) + " had RecordID " + std::to_string(live.RecordID) +
         (repeated ? " (repeated)" : "") + "; it now has RecordID " + std::to_string(last));
    live.RecordID = last;
    TBuffer* buffer = nullptr;
    data.GetBuffer(request, live.Slot, false, TReadAheadDirection::None, buffer);
    static_cast<TRecord*>(buffer)->SetRecordID(last);
    data.PutBuffer(buffer);
  }
  if (last != data.LastRecordID()) {
    Note("data file: the last RecordID handed out was " + std::to_string(data.LastRecordID()) +
         ", records use up to " + std::to_string(last));
    data.SetLastRecordID(last);
  }
  if (FMaxAutoInc > data.LastAutoIncID()) data.SetLastAutoIncID(FMaxAutoInc);
  if (FMaxSignature > data.LastBlobSignature()) data.SetLastBlobSignature(FMaxSignature);
}

// The deleted slots, in slot order, become the chain of deleted slots.
void TTableRepair::RelinkDeletedSlots() {
  TDataFile& data = FFiles.Data();
  TBufferRequest request;
  request.Exclusive = true;
  bool relinked = false;
  for (size_t i = 0; i < FDeleted.size(); ++i) {
    const int32_t next = i + 1 < FDeleted.size() ? FDeleted[i + 1] : 0;
    TBuffer* buffer = nullptr;
    data.GetBuffer(request, FDeleted[i], false, TReadAheadDirection::None, buffer);
    TRecord* record = static_cast<TRecord*>(buffer);
    if (record->NextFreeRecord() != next) {
      record->SetNextFreeRecord(next);
      relinked = true;
    }
    data.PutBuffer(buffer);
  }
  const int32_t head = FDeleted.empty() ? 0 : FDeleted.front();
  const int32_t live = static_cast<int32_t>(FLive.size());
  data.SetRepairedCounters(FSlots + 1, head, live);
  if (relinked || head != FFoundHeader.NextFreeRecord) {
    Note("data file: the chain of deleted slots was linked again; it starts at slot " +
         std::to_string(head) + " (was " + std::to_string(FFoundHeader.NextFreeRecord) + ")");
  }
  if (live != FFoundHeader.RecordCount) {
    Note("data file: the header counted " + std::to_string(FFoundHeader.RecordCount) +
         " records, " + std::to_string(live) + " are live");
  }
}

// The free chain is only ever taken from; one that loops, leaves the file or reaches a block in
// use is dropped (its blocks stay unused).
void TTableRepair::MendFreeBlocks() {
  TBlobFile& blob = FFiles.Blob();
  TBufferRequest request;
  request.Exclusive = true;
  std::vector<uint8_t> owners = FBlockOwner;
  for (int32_t number = blob.GetHeader().NextFreeBlock; number != 0;) {
    if (number < 1 || number > FBlocks || owners[static_cast<size_t>(number)] != 0) {
      blob.SetNextFreeBlockNumber(0);
      Note("blob file: the free-block chain was broken at block " + std::to_string(number) +
           "; it is dropped");
      return;
    }
    owners[static_cast<size_t>(number)] = 2;
    TBlock* block = nullptr;
    blob.GetBlock(request, number, 1, block);
    number = block->NextNumber();
    blob.PutBlock(block);
  }
}

// The definitions come from the index file, even when its header cannot be read, or else from
// the file of a rebuild that was cut short; without them only the automatic primary index can be
// rebuilt.
void TTableRepair::ReadIndexDefinitions() {
  FTextParams = GetDefaultTextIndexParams();
  FTextDefinition = TIndexFile::TextIndexDefinition({});
  const std::string path = FFiles.IndexPath();
  if (ReadIndexDefinitionsFrom(path)) return;
  if (ReadIndexDefinitionsFrom(path + ".rebuild")) {
    Note("index file: the definitions were taken from the file of a rebuild that was cut short");
    return;
  }
  FDefinitions.assign(1, TIndexDefinition::AutomaticPrimary());
  Note("index file: its definitions could not be read (" + FFiles.IndexError()->Message() +
       "); only the primary index on RecordID is rebuilt");
}

bool TTableRepair::ReadIndexDefinitionsFrom(const std::string& path) {
  TIndexFile& index = FFiles.Index();
  index.SetFileName(path);
  FDefinitions.clear();
  if (FFiles.OpenIndex()) {
    for (int pos = 0; pos <= index.IndexCount(); ++pos) {
      FDefinitions.push_back(index.GetIndexDefinition(pos));
    }
    FTextDefinition = index.GetIndexDefinition(idx::kTextSlot);
    try {
      FTextParams = index.ReadTextIndexParams();
    } catch (const ECairnEngineError&) {
      Note("index file: the text-index parameters could not be read; the defaults are used");
    }
    index.CloseFile();
    return true;
  }
  try {
    // The definition area alone, with the slots up to the first empty one.
    index.TBufferedFile::OpenFile();
    index.ReadIndexDefinitions();
    FDefinitions.push_back(index.GetIndexDefinition(idx::kPrimarySlot));
    for (int pos = 1; pos <= idx::kMaxSecondaryIndexes; ++pos) {
      const TIndexDefinition& definition = index.GetIndexDefinition(pos);
      if (definition.IndexName.empty() || definition.KeySize == 0) break;
      FDefinitions.push_back(definition);
    }
    FTextDefinition = index.GetIndexDefinition(idx::kTextSlot);
    index.CloseFile();
  } catch (const ECairnEngineError&) {
    index.CloseFile();
    return false;
  }
  if (FDefinitions.front().KeySize == 0)
    FDefinitions.front() = TIndexDefinition::AutomaticPrimary();
  Note("index file: its header could not be read (" + FFiles.IndexError()->Message() +
       "); the definitions were read on their own");
  return true;
}

// A new index file beside the old one, its trees filled from the live records in slot order.
void TTableRepair::RebuildIndex() {
  TEngineServices& engine = FFiles.Engine();
  const std::string path = FFiles.IndexPath();
  const std::string building = path + ".rebuild";
  TIndexFile fresh(engine, &FFiles, FFiles.Data().GetHeader().IndexPageSize);
  fresh.SetFileName(building);
  fresh.SetDatabaseName(FFiles.DatabaseName());
  fresh.SetExclusive(true);
  fresh.SetFieldDefinitions(FFields);
  fresh.CreateFile();
  fresh.AddPrimaryIndex(FDefinitions.front());
  for (size_t pos = 1; pos < FDefinitions.size(); ++pos) {
    try {
      fresh.AddSecondaryIndex(FDefinitions[pos]);
    } catch (const ECairnEngineError& error) {
      Note("index file: the definition of index " + FDefinitions[pos].IndexName +
           " is not valid and is dropped (" + error.Message() + ")");
    }
  }
  try {
    fresh.SetIndexDefinition(idx::kTextSlot, FTextDefinition);
  } catch (const ECairnEngineError&) {
    fresh.SetIndexDefinition(idx::kTextSlot, TIndexFile::TextIndexDefinition({}));
  }
  fresh.WriteHeader(true);
  fresh.WriteIndexDefinitions();
  fresh.InitializeBuffers();
  fresh.WriteTextIndexParams(FTextParams);

  TDataFile& data = FFiles.Data();
  TBufferRequest request;
  request.Exclusive = true;
  const uint32_t locale = static_cast<uint32_t>(data.GetHeader().LocaleID);
  for (int pos = 0; pos <= fresh.IndexCount(); ++pos) {
    TKeyBuilder keys;
    keys.Load(engine, pos, fresh.GetIndexDefinition(pos), FFields, locale);
    TIndexTree tree(fresh, pos, keys.Comparer());
    std::string key(keys.KeySize(), '\0');
    const std::string name =
        pos == 0 ? "the primary index" : "index " + keys.Definition().IndexName;
    for (const TLive& live : FLive) {
      TBuffer* buffer = nullptr;
      data.GetBuffer(request, live.Slot, false, TReadAheadDirection::None, buffer);
      keys.Build(buffer->Buffer(), key.data());
      data.PutBuffer(buffer);
      if (keys.Unique() && tree.Find(key).Found) {
        Note("index file: " + SlotName(live.Slot) + " has the same key as another record in " +
             "unique " + name + "; the record is kept without a key there");
        continue;
      }
      tree.Insert(key, live.Slot);
    }
  }
  fresh.FlushBuffers();
  fresh.WriteHeader(true);
  fresh.Flush();
  fresh.CloseFile();
  Note("index file: rebuilt with " + std::to_string(fresh.IndexCount() + 1) + " index(es) over " +
       std::to_string(FLive.size()) + " live record(s)");
  // The old file goes only once the new one is whole.
  TEngineFile old(engine, path);
  if (old.Exists()) old.DeleteFile();
  fresh.RenameFile(path);
}

void TTableRepair::WriteFiles() {
  TDataFile& data = FFiles.Data();
  data.FlushBuffers();
  data.WriteHeader(true);
  data.Flush();
  if (FBlobOpen) {
    FFiles.Blob().FlushBuffers();
    FFiles.Blob().WriteHeader(false);
    FFiles.Blob().Flush();
  }
}

}  // namespace cairn
