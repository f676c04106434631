// Verifies one table the way a careful reader would, changing nothing.
//
// The table's files are opened read-only and shared, outside the directory's list of open tables,
// and read through the engine's own file classes. The verifier checks:
//
//   data file   header values against the file's size, every field definition (the engine's header
//               check), every slot's status, RecordHash, null flags and RecordID, the record count,
//               and the chain of deleted slots
//   index file  header values against the file's size, the definitions, and for every index: page
//               types, key order, node keys against their children's first keys, key counts, level
//               links, leaves at one depth, and that its keys are exactly the keys of the live
//               records; the free-page chain, the text-parameter chain, pages used twice or by no
//               one
//   blob file   header values against the file's size, every live record's chains (signature,
//               links both ways, lengths, loops, blocks shared by two values), the free-block chain
//
// Damage never ends the run: what cannot be read is reported and the checks that need it are
// skipped. Every walk is bounded by the number of blocks the file really holds, and memory grows
// with the table's size only (one key per live record and index).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cairn/check/CheckFinding.h"
#include "cairn/check/TableFiles.h"
#include "cairn/cursor/KeyBuilder.h"

namespace cairn {

class TTableDirectory;

class TTableVerifier {
 public:
  // Findings of one kind in one file beyond this many are summed up in one more finding.
  static constexpr int kMaxFindingsPerKind = 20;

  // tableName is the engine table name ("Events.dat").
  TTableVerifier(TTableDirectory& directory, const std::string& tableName);
  TTableVerifier(const TTableVerifier&) = delete;
  TTableVerifier& operator=(const TTableVerifier&) = delete;

  // Runs every check once; the findings in the order found.
  TCheckFindings Run();

 private:
  enum class TFileKind { Data, Index, Blob };
  struct TExpectedKey {
    std::string Key;
    int32_t Slot;
  };
  struct TLeafEntry {
    std::string Key;
    int32_t Record;
    int32_t Page;
  };
  struct TLevelPage {
    int32_t Page;
    int32_t Left;
    int32_t Right;
  };
  struct TTreeWalk {
    int Pos = 0;
    const TKeyBuilder* Keys = nullptr;
    std::string Name;
    std::vector<TLeafEntry> Leaves;
    std::vector<std::vector<TLevelPage>> Levels;
    int LeafDepth = -1;
  };
  struct TBlobRef {
    int32_t Slot;
    const TFieldDefinition* Field;
    int32_t FirstBlock;
    int32_t Signature;
  };

  // ---- Reporting ------------------------------------------------------------------------------
  void Report(TFileKind file, int64_t offset, const std::string& kind, const std::string& text);
  void ReportError(TFileKind file, int64_t offset, const std::string& what,
                   const ECairnEngineError& error);
  std::string FileName(TFileKind file) const;
  void SummarizeOverflow();

  // ---- Data file (TableVerifier.cc) -------------------------------------------------------------
  bool CheckDataHeader();
  void ScanRecords();
  void CheckRecord(int32_t slot, const char* record);
  void CheckRecordIDs();
  void CheckDeletedChain();
  int64_t SlotOffset(int32_t slot) const;
  std::string RecordName(int32_t slot) const;

  // ---- Index file (TableVerifierIndex.cc) -----------------------------------------------------
  bool CheckIndexHeader();
  void LoadKeyBuilders();
  void CheckTrees();
  void CheckTree(int pos);
  // The keys in the subtree of page number (-1 when it could not be read); firstKey receives its
  // first key.
  int64_t VisitPage(TTreeWalk& walk, int32_t number, int depth, int64_t linkOffset,
                    std::string& firstKey);
  void CheckLevelLinks(const TTreeWalk& walk);
  void CheckLeafOrder(const TTreeWalk& walk);
  void MatchRecords(const TTreeWalk& walk);
  void CheckUniqueKeys(const TTreeWalk& walk);
  void CheckFreePages();
  void CheckTextPages();
  void CheckLostPages();
  int64_t PageOffset(int32_t page) const;
  std::string IndexName(int pos) const;

  // ---- Blob file (TableVerifierBlobs.cc) --------------------------------------------------------
  bool CheckBlobHeader();
  void CheckBlobChains();
  void CheckBlobChain(const TBlobRef& ref);
  void CheckFreeBlocks();
  int64_t BlockOffset(int32_t block) const;

  TTableFiles FFiles;
  TCheckFindings FFindings;
  std::map<std::string, int> FKindCounts;
  std::vector<TFieldDefinition> FFields;
  bool FHasBlobs = false;
  // Slots, pages and blocks that are both counted by the header and present in the file.
  int32_t FSlots = 0;
  int32_t FPages = 0;
  int32_t FBlocks = 0;
  bool FIndexOpen = false;
  bool FBlobOpen = false;
  // Every tree was walked to its end, so a page no one holds is really lost.
  bool FAllTreesWalked = true;
  // Per slot (index slot - 1): 0 not read, 1 live, 2 deleted, 3 of another status.
  std::vector<uint8_t> FSlotStatus;
  std::vector<int32_t> FNextDeleted;  // per slot: the link of a deleted slot
  std::vector<int32_t> FLiveSlots;    // ascending
  std::vector<int32_t> FLiveRecordIDs;
  // Per index slot 0 ... IndexCount: a loaded key builder and the keys of the live records in
  // the order of FLiveSlots.
  std::vector<TKeyBuilder> FKeys;
  std::vector<bool> FKeysLoaded;
  std::vector<std::vector<std::string>> FExpected;
  std::vector<TBlobRef> FBlobRefs;
  // Per index page: 0 unused, 1 + slot for a tree page, 100 free, 101 text parameters.
  std::vector<uint8_t> FPageOwner;
  // Per blob block: 0 unused, 1 in a value's chain, 2 free.
  std::vector<uint8_t> FBlockOwner;
  std::vector<char> FHashScratch;
};

}  // namespace cairn
