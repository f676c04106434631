// The verifier's run and its data-file checks.
#include "cairn/check/TableVerifier.h"

#include <algorithm>
#include <cstring>

#include "cairn/cursor/RecordHash.h"
#include "cairn/engine/data/Record.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

TTableVerifier::TTableVerifier(TTableDirectory& directory, const std::string& tableName)
    : FFiles(directory, tableName, false) {}

TCheckFindings TTableVerifier::Run() {
  FFindings.clear();
  FKindCounts.clear();
  if (!CheckDataHeader()) {
    SummarizeOverflow();
    return FFindings;
  }
  FIndexOpen = CheckIndexHeader();
  if (FIndexOpen) LoadKeyBuilders();
  FBlobOpen = FHasBlobs && CheckBlobHeader();
  ScanRecords();
  CheckRecordIDs();
  CheckDeletedChain();
  if (FIndexOpen) {
    CheckTrees();
    CheckFreePages();
    CheckTextPages();
    CheckLostPages();
  }
  if (FBlobOpen) {
    CheckBlobChains();
    CheckFreeBlocks();
  }
  FFiles.Close();
  SummarizeOverflow();
  return FFindings;
}

// ---- Reporting ----------------------------------------------------------------------------------

void TTableVerifier::Report(TFileKind file, int64_t offset, const std::string& kind,
                            const std::string& text) {
  const std::string key = FileName(file) + "\n" + kind;
  if (++FKindCounts[key] > kMaxFindingsPerKind) return;
  FFindings.push_back({FFiles.BaseName(), FileName(file), offset, text});
}

void TTableVerifier::ReportError(TFileKind file, int64_t offset, const std::string& what,
                                 const ECairnEngineError& error) {
  Report(file, offset, what, what + ": " + error.Message());
}

void TTableVerifier::SummarizeOverflow() {
  for (const auto& [key, count] : FKindCounts) {
    if (count <= kMaxFindingsPerKind) continue;
    const size_t cut = key.find('\n');
    FFindings.push_back({FFiles.BaseName(), key.substr(0, cut), 0,
                         std::to_string(count - kMaxFindingsPerKind) +
                             " more findings of this kind: " + key.substr(cut + 1)});
  }
}

std::string TTableVerifier::FileName(TFileKind file) const {
  switch (file) {
    case TFileKind::Data:
      return TTableFiles::FileNameOf(FFiles.DataPath());
    case TFileKind::Index:
      return TTableFiles::FileNameOf(FFiles.IndexPath());
    case TFileKind::Blob:
      break;
  }
  return TTableFiles::FileNameOf(FFiles.BlobPath());
}

// ---- Data file ----------------------------------------------------------------------------------

// The header must describe the file as it is: whole slots, as many as NextEndingRecord counts.
bool TTableVerifier::CheckDataHeader() {
  if (!FFiles.OpenData()) {
    ReportError(TFileKind::Data, 0, "the data file cannot be opened", *FFiles.DataError());
    return false;
  }
  TDataFile& data = FFiles.Data();
  const TDataHeader& header = data.GetHeader();
  for (int32_t pos = 1; pos <= data.FieldCount(); ++pos) {
    FFields.push_back(*data.GetFieldDefinitionByPos(pos));
  }
  FHasBlobs = header.BlobFieldCount > 0;
  const int64_t area = data.HeaderSize();
  const int64_t size = data.GetSize();
  const int64_t length = header.RecordLength;
  bool sound = true;
  if (size < area) {
    Report(TFileKind::Data, size, "cut",
           "the file is " + std::to_string(size) + " bytes long, shorter than its header and " +
               "field definitions (" + std::to_string(area) + " bytes)");
    return false;
  }
  const int64_t whole = (size - area) / length;
  if ((size - area) % length != 0) {
    sound = false;
    Report(TFileKind::Data, area + whole * length, "partial slot",
           "the file ends " + std::to_string((size - area) % length) + " bytes into slot " +
               std::to_string(whole + 1) + " (a cut or unfinished write)");
  }
  if (header.NextEndingRecord - 1 != whole) {
    sound = false;
    Report(TFileKind::Data, 29, "slot count",
           "the header counts " + std::to_string(header.NextEndingRecord - 1) +
               " slots (NextEndingRecord " + std::to_string(header.NextEndingRecord) +
               "), the file holds " + std::to_string(whole));
  }
  FSlots = static_cast<int32_t>(std::min<int64_t>(header.NextEndingRecord - 1, whole));
  try {
    data.CheckHeader();
  } catch (const ECairnEngineError& error) {
    // The size rules are part of the engine's check; only a finding beyond them is new.
    if (sound)
      ReportError(TFileKind::Data, 0, "the header or field definitions fail the check", error);
  }
  return true;
}

int64_t TTableVerifier::SlotOffset(int32_t slot) const {
  return FFiles.Data().HeaderSize() +
         static_cast<int64_t>(slot - 1) * FFiles.Data().GetHeader().RecordLength;
}

std::string TTableVerifier::RecordName(int32_t slot) const {
  return "slot " + std::to_string(slot);
}

void TTableVerifier::ScanRecords() {
  TDataFile& data = FFiles.Data();
  FSlotStatus.assign(static_cast<size_t>(FSlots), 0);
  FNextDeleted.assign(static_cast<size_t>(FSlots), 0);
  FExpected.assign(FKeys.size(), {});
  TBufferRequest request;
  request.Exclusive = true;  // no lock to take: the verifier reads the file as it is
  std::vector<char> record(data.GetHeader().RecordLength);
  for (int32_t slot = 1; slot <= FSlots; ++slot) {
    TBuffer* buffer = nullptr;
    // Reading ahead stops at the file's real end, wherever the header puts it.
    request.ReadAheadCount = std::min(64, FSlots - slot + 1);
    try {
      data.GetBuffer(request, slot, true, TReadAheadDirection::Forward, buffer);
      std::memcpy(record.data(), buffer->Buffer(), record.size());
      data.PutBuffer(buffer);
    } catch (const ECairnEngineError& error) {
      ReportError(TFileKind::Data, SlotOffset(slot), "a slot cannot be read", error);
      continue;
    }
    CheckRecord(slot, record.data());
  }
  const int32_t live = static_cast<int32_t>(FLiveSlots.size());
  if (data.RecordCount() != live) {
    Report(TFileKind::Data, 41, "record count",
           "the header counts " + std::to_string(data.RecordCount()) + " records, " +
               std::to_string(live) + " slots hold a live record");
  }
}

void TTableVerifier::CheckRecord(int32_t slot, const char* record) {
  const size_t at = static_cast<size_t>(slot - 1);
  const uint8_t status = static_cast<uint8_t>(record[TRecord::kStatusAt]);
  const int64_t offset = SlotOffset(slot);
  if (status == TRecord::kDeleted) {
    FSlotStatus[at] = 2;
    FNextDeleted[at] = DecodeInt32(record + TRecord::kNextFreeAt);
    return;
  }
  if (status != TRecord::kLive) {
    FSlotStatus[at] = 3;
    Report(TFileKind::Data, offset, "status",
           RecordName(slot) + " has status " + std::to_string(status) +
               ", neither live (0) nor deleted (1)");
    return;
  }
  const size_t length = FFiles.Data().GetHeader().RecordLength;
  if (std::all_of(record, record + length, [](char c) { return c == 0; })) {
    // A slot the file grew by but no record was written to (a write cut short).
    FSlotStatus[at] = 3;
    Report(TFileKind::Data, offset, "empty slot",
           RecordName(slot) + " is all zero: no record was ever written there");
    return;
  }
  FSlotStatus[at] = 1;
  FLiveSlots.push_back(slot);
  const int32_t recordID = DecodeInt32(record + TRecord::kRecordIDAt);
  FLiveRecordIDs.push_back(recordID);
  TMD5Digest stored;
  std::memcpy(stored.Bytes.data(), record + TRecord::kRecordHashAt, stored.Bytes.size());
  if (RecordHashOf(FFields, FHasBlobs, record, length, FHashScratch) != stored) {
    Report(TFileKind::Data, offset + TRecord::kRecordHashAt, "hash",
           RecordName(slot) + " (RecordID " + std::to_string(recordID) +
               "): the RecordHash does not match the record's content");
  }
  for (const TFieldDefinition& field : FFields) {
    const uint8_t flag = static_cast<uint8_t>(record[field.Offset]);
    if (flag > 1) {
      Report(TFileKind::Data, offset + field.Offset, "null flag",
             RecordName(slot) + ": the null flag of field " + field.FieldName + " is " +
                 std::to_string(flag) + ", neither 0 nor 1");
    }
    if (field.IsBlob()) {
      FBlobRefs.push_back({slot, &field, DecodeInt32(record + field.Offset + 1),
                           DecodeInt32(record + field.Offset + 5)});
    }
  }
  for (size_t pos = 0; pos < FKeys.size(); ++pos) {
    if (!FKeysLoaded[pos]) {
      FExpected[pos].emplace_back();
      continue;
    }
    std::string key(FKeys[pos].KeySize(), '\0');
    FKeys[pos].Build(record, key.data());
    FExpected[pos].push_back(std::move(key));
  }
}

void TTableVerifier::CheckRecordIDs() {
  const TDataHeader& header = FFiles.Data().GetHeader();
  std::vector<std::pair<int32_t, int32_t>> ids;  // RecordID, slot
  for (size_t i = 0; i < FLiveSlots.size(); ++i) {
    const int32_t id = FLiveRecordIDs[i];
    const int32_t slot = FLiveSlots[i];
    if (id < 1 || id > header.LastRecordID) {
      Report(TFileKind::Data, SlotOffset(slot) + TRecord::kRecordIDAt, "RecordID",
             RecordName(slot) + " has RecordID " + std::to_string(id) +
                 ", outside 1 ... the last RecordID handed out (" +
                 std::to_string(header.LastRecordID) + ")");
    }
    ids.emplace_back(id, slot);
  }
  std::sort(ids.begin(), ids.end());
  for (size_t i = 1; i < ids.size(); ++i) {
    if (ids[i].first != ids[i - 1].first) continue;
    Report(TFileKind::Data, SlotOffset(ids[i].second) + TRecord::kRecordIDAt, "duplicate RecordID",
           RecordName(ids[i - 1].second) + " and " + RecordName(ids[i].second) +
               " have the same RecordID " + std::to_string(ids[i].first));
  }
}

// Deleted slots form one chain from the header's NextFreeRecord; every deleted slot is on it and
// nothing else is.
void TTableVerifier::CheckDeletedChain() {
  const int32_t head = FFiles.Data().NextFreeRecord();
  std::vector<bool> onChain(static_cast<size_t>(FSlots), false);
  int64_t linkOffset = 25;
  for (int32_t slot = head, steps = 0; slot != 0; ++steps) {
    if (slot < 1 || slot > FSlots) {
      Report(TFileKind::Data, linkOffset, "free chain",
             "the chain of deleted slots links to slot " + std::to_string(slot) +
                 ", outside the file's " + std::to_string(FSlots) + " slots");
      break;
    }
    const size_t at = static_cast<size_t>(slot - 1);
    if (onChain[at] || steps > FSlots) {
      Report(TFileKind::Data, linkOffset, "free chain",
             "the chain of deleted slots returns to slot " + std::to_string(slot) + " (a loop)");
      break;
    }
    onChain[at] = true;
    if (FSlotStatus[at] != 2) {
      Report(TFileKind::Data, SlotOffset(slot), "free chain",
             "the chain of deleted slots reaches " + RecordName(slot) +
                 ", which is not a deleted slot");
      break;
    }
    linkOffset = SlotOffset(slot) + TRecord::kNextFreeAt;
    slot = FNextDeleted[at];
  }
  for (int32_t slot = 1; slot <= FSlots; ++slot) {
    const size_t at = static_cast<size_t>(slot - 1);
    if (FSlotStatus[at] == 2 && !onChain[at]) {
      Report(TFileKind::Data, SlotOffset(slot), "lost slot",
             RecordName(slot) + " is deleted but not on the chain of deleted slots");
    }
  }
}

}  // namespace cairn
