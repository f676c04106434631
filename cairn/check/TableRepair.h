// Repairs one table in place, holding its files exclusively.
//
// What repair mends, in this order:
//
//   data file   a partial slot at the end is cut off (it holds no readable record); a slot that is
//               all zero (never written) becomes free; every other slot that is not deleted is
//               kept as a live record: a damaged status becomes live, a
//               null flag other than 0 or 1 becomes 1, a RecordHash that does not match is
//               renewed, a RecordID that is missing or repeated gets a new one; the deleted slots
//               are linked again into one chain; the header's slot counters, record count, last
//               RecordID, last auto-increment value and last blob signature are recounted
//   blob file   the engine's header repair (partial block, block count, free-chain head); a free
//               chain that loops or reaches a value's block is dropped; a value whose chain is
//               broken (a link outside the file, a loop, a block shared with another value, a
//               length its blocks do not hold) becomes empty, one whose only fault is the
//               signature in its record takes the signature of its first block
//   index file  rebuilt from the live records under the definitions it held (read even when its
//               header is damaged); the new file is written beside the old one, then takes its
//               place
//
// It never drops a record that can be read. Each mend is reported as one line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cairn/check/TableFiles.h"
#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/engine/index/TextIndexParams.h"

namespace cairn {

class TTableDirectory;

class TTableRepair {
 public:
  // tableName is the engine table name ("Events.dat").
  TTableRepair(TTableDirectory& directory, const std::string& tableName);
  TTableRepair(const TTableRepair&) = delete;
  TTableRepair& operator=(const TTableRepair&) = delete;

  // Mends the table; what was mended, one line each (none for a sound table, apart from the
  // rebuilt index). A data file that cannot be opened, or a table that cannot be had exclusively,
  // fails with its engine error and changes nothing.
  std::vector<std::string> Run();

 private:
  struct TLive {
    int32_t Slot;
    int32_t RecordID;
  };

  void Note(const std::string& text) { FActions.push_back(text); }
  std::string SlotName(int32_t slot) const { return "slot " + std::to_string(slot); }
  void OpenData();
  void CutPartialSlot();
  void OpenBlob();
  void MendRecords();
  // Mends one slot in place; whether it holds a live record.
  bool MendRecord(int32_t slot, char* record, bool& dirty);
  void MendBlobReference(int32_t slot, const TFieldDefinition& field, char* record, bool& dirty);
  void RenumberRecords();
  void RelinkDeletedSlots();
  void MendFreeBlocks();
  void ReadIndexDefinitions();
  // From the index file at path; false when even its definition area cannot be read.
  bool ReadIndexDefinitionsFrom(const std::string& path);
  void RebuildIndex();
  void WriteFiles();

  TTableFiles FFiles;
  std::vector<std::string> FActions;
  std::vector<TFieldDefinition> FFields;
  // The data header as the file held it before repair.
  TDataHeader FFoundHeader;
  bool FHasBlobs = false;
  bool FBlobOpen = false;
  int32_t FSlots = 0;
  int32_t FBlocks = 0;
  std::vector<TLive> FLive;
  std::vector<int32_t> FDeleted;
  int32_t FMaxSignature = 0;
  int32_t FMaxAutoInc = 0;
  std::vector<uint8_t> FBlockOwner;
  std::vector<char> FHashScratch;
  // The index definitions to rebuild: slot 0, the secondary indexes, slot 31.
  std::vector<TIndexDefinition> FDefinitions;
  TIndexDefinition FTextDefinition;
  TTextIndexParams FTextParams;
};

}  // namespace cairn
