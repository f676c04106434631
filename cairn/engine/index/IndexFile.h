// A table's index file: its header, the 32 index definitions and the pages of their B+-trees.
//
//   +------------------+------------------------------------+--------+--------+-----+
//   | TIndexHeader 512 | 32 x TIndexDefinition (768 bytes)  | page 1 | page 2 | ... |
//   +------------------+------------------------------------+--------+--------+-----+
//   0                  512                                  25088
//
// Slot 0 holds the primary index, slots 1 ... IndexCount the secondary indexes in the order they
// were added, slot 31 the full-text index "Sys Text". Pages are numbered from 1 and reached
// through the buffer cache; free pages form a chain through their RightNumber, headed by
// NextFreePage. The page size comes from the table's data file. The full-text parameters (stop
// words, space and include characters) are a byte stream in a chain of type-4 pages whose first
// page is entry 31 of DataRootPages.
//
// The table's field definitions are needed to check key fields and key sizes; the table hands
// them over before definitions are added or the header is checked.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cairn/engine/data/FieldDefinition.h"
#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/engine/index/IndexHeader.h"
#include "cairn/engine/index/Page.h"
#include "cairn/engine/index/TextIndexParams.h"
#include "cairn/engine/io/BufferedFile.h"

namespace cairn {

class TIndexFile;

// Raised inside the engine when a cache miss found the table changed by another writer: every
// cached page is gone and the operation must start again. Tree operations turn it into a false
// result; it never leaves the engine.
struct ETableChanged {};

// A page held from the cache for the length of an operation; released when it goes. A page of a
// cache that was dropped meanwhile (the table changed) is forgotten instead of released.
class TPageRef {
 public:
  TPageRef() = default;
  TPageRef(TIndexFile& file, TPage* page);
  ~TPageRef() { Release(); }
  // Moves and empty references cost no call: paths hold and pass pages by the handful.
  TPageRef(TPageRef&& other) noexcept
      : FFile(other.FFile), FPage(other.FPage), FGeneration(other.FGeneration) {
    other.FFile = nullptr;
    other.FPage = nullptr;
  }
  TPageRef& operator=(TPageRef&& other) noexcept {
    if (this != &other) {
      Release();
      FFile = other.FFile;
      FPage = other.FPage;
      FGeneration = other.FGeneration;
      other.FFile = nullptr;
      other.FPage = nullptr;
    }
    return *this;
  }
  TPageRef(const TPageRef&) = delete;
  TPageRef& operator=(const TPageRef&) = delete;

  TPage* operator->() const { return FPage; }
  TPage& operator*() const { return *FPage; }
  TPage* Get() const { return FPage; }
  explicit operator bool() const { return FPage != nullptr; }
  void Release() {
    if (FPage != nullptr) ReleaseHeld();
  }

 private:
  void ReleaseHeld();

  TIndexFile* FFile = nullptr;
  TPage* FPage = nullptr;
  uint64_t FGeneration = 0;
};

class TIndexFile : public TBufferedFile {
 public:
  static constexpr int32_t kMinPageSize = 64;
  static constexpr int32_t kMaxPageSize = 65536;

  explicit TIndexFile(TEngineServices& engine, TBufferedFileOwner* owner = nullptr,
                      int32_t pageSize = 0);
  ~TIndexFile() override;

  int32_t PageSize() const { return FPageSize; }
  void SetPageSize(int32_t value) { FPageSize = value; }
  const std::vector<TFieldDefinition>& FieldDefinitions() const { return FFieldDefinitions; }
  void SetFieldDefinitions(std::vector<TFieldDefinition> fields);

  // ---- File -----------------------------------------------------------------------------------
  // A new file: header with version 6, the engine's signature, NextEndingPage 1; every slot zero.
  // Nothing is written until WriteHeader and WriteIndexDefinitions. A page size outside 64 ...
  // 65536 fails with 9487.
  void CreateFile() override;
  // Opens, reads the header (version, signature, counts) and the definitions. A page size outside
  // 64 ... 65536 fails with 8961. A failure closes the file again.
  void OpenFile() override;
  void CloseFile() override;

  // ---- Header ---------------------------------------------------------------------------------
  // Reads and checks the header: CAIRN_OLDVERSION/CAIRN_BADSIGNATURE for version and signature,
  // CAIRN_HEADERCORRUPT for an IndexCount above 30 or a NextEndingPage below 1. A failed read
  // leaves the header in memory unchanged.
  void ReadHeader() override;
  // When forced or dirty: UpdateStamp + 1 and the header written at offset 0; whether it wrote.
  bool WriteHeader(bool force) override;
  void UpdateHeaderStamp() override;
  // Empties every tree: the file is cut to its definitions, the page counters and roots reset;
  // the full-text parameters are kept (written again to a new first page). The header is written.
  void ClearHeader() override;
  // Every consistency rule of the header and definitions; failures are 8961.
  void CheckHeader() override;
  bool CheckForChanges() override;
  const TIndexHeader& GetHeader() const { return FHeader; }

  // ---- Definitions ----------------------------------------------------------------------------
  // The 24576-byte definition area in one transfer.
  void ReadIndexDefinitions();
  void WriteIndexDefinitions();
  bool IndexesAreDirty() const { return FIndexesAreDirty; }

  // Slot 0 takes the definition (empty name, unique) with an empty tree. CAIRN_PRIMARYKEYREDEFINE
  // when slot 0 holds a primary index other than the automatic one; CAIRN_INDEXLIMIT over 128 key
  // fields; CAIRN_INVALIDIDXDESC for a key field the table does not have; CAIRN_SEARCHCOLREQD for a
  // blob key field; CAIRN_INVALIDKEY for a key size that does not match its fields or exceeds the
  // page's limit.
  void AddPrimaryIndex(const TIndexDefinition& definition);
  // The next secondary slot takes the definition with an empty tree. CAIRN_INDEXLIMIT when 30 exist
  // or over 128 key fields; CAIRN_INDEXNAMEREQUIRED empty name; CAIRN_INVALIDINDEXNAME bad name;
  // CAIRN_INDEXEXISTS name exists; then as the primary.
  void AddSecondaryIndex(const TIndexDefinition& definition);
  // With adjust, a secondary index (1 ... IndexCount) is removed and the slots above move down
  // with their roots. Otherwise the slot's tree is emptied; slot 0 becomes the automatic primary
  // index. The pages of the dropped tree are the caller's to free. CAIRN_INVALIDIDXDESC for a bad
  // position.
  void DeleteIndex(int pos, bool adjust);
  const TIndexDefinition& GetIndexDefinition(int pos) const;
  // Replaces a slot in memory; the definitions are written with the next flush.
  void SetIndexDefinition(int pos, const TIndexDefinition& definition);
  // Replaces a slot and writes the definition area at once.
  void UpdateIndexDefinition(int pos, const TIndexDefinition& definition);
  // A secondary index of that name (case ignored).
  bool IndexExists(const std::string& name) const;
  // Its slot, or -1.
  int IndexPosition(const std::string& name) const;
  int IndexCount() const { return FHeader.IndexCount; }

  // The definition of the full-text index over the given fields.
  static TIndexDefinition TextIndexDefinition(const std::vector<uint16_t>& fieldNums);

  // ---- Roots and the free chain (setters mark the header dirty only on a change) --------------
  int32_t GetRootPageNumber(int pos) const;
  void SetRootPageNumber(int pos, int32_t number);
  int32_t GetDataRootPageNumber(int pos) const;
  void SetDataRootPageNumber(int pos, int32_t number);
  int32_t GetNextFreePageNumber() const { return FHeader.NextFreePage; }
  void SetNextFreePageNumber(int32_t number);

  // ---- Pages ----------------------------------------------------------------------------------
  // Page number of the tree in slot pos, expanded with that slot's key parameters.
  // CAIRN_INDEXCORRUPT for a number outside the file's pages or a page that cannot belong to the
  // tree. Throws ETableChanged when the table changed under a cache miss.
  TPageRef ReadPage(int pos, int32_t number);
  // ReadPage of a page the caller read before, spared the look-up while no page has left the
  // cache since departures was read (CacheDepartures); an empty reference otherwise.
  TPageRef RereadPage(int pos, TPage* page, uint64_t departures);
  // A page in its raw form (text parameters); CAIRN_INDEXCORRUPT for a number outside the file's
  // pages.
  TPageRef ReadRawPage(int32_t number);
  // A free page (the chain's head, else one appended), emptied as a tree page of slot pos.
  TPageRef AllocatePage(int pos);
  // A free page emptied as a raw page of the given type.
  TPageRef AllocateRawPage(uint8_t pageType);
  // Empties the page and puts it at the head of the free chain.
  void FreePage(TPage& page);
  // Raises the index-corrupt error naming the index of slot pos (-1: none).
  [[noreturn]] void RaiseCorruptIndex(int pos) const;
  // Raises an engine error naming the table, its database and an index.
  [[noreturn]] void RaiseIndexError(uint16_t code, const std::string& indexName) const;

  // ---- Full-text parameters -------------------------------------------------------------------
  // The parameters stored in the text-parameter chain; the engine's defaults when there is none.
  // CAIRN_INDEXCORRUPT for a damaged chain (a page that is not a text page, a link outside the
  // file, a loop, a length beyond the page or the stream).
  TTextIndexParams ReadTextIndexParams();
  // Writes the parameters into the chain (its pages reused, more allocated, the rest freed).
  void WriteTextIndexParams(const TTextIndexParams& params);

  // ---- The kind's values ----------------------------------------------------------------------
  int32_t IOBlockSize() const override { return FPageSize; }
  int32_t BufferSize() const override;
  int64_t HeaderSize() const override { return kIndexFileHeaderSize; }
  int32_t IOBlocksUsed() const override { return FHeader.NextEndingPage - 1; }
  int32_t LastUpdateStamp() const override { return FHeader.UpdateStamp; }
  int32_t MRUBuffers() const override { return 2; }
  int32_t BufferExpand() const override { return 4; }
  int32_t MaximumBufferCount() const override;
  int64_t MaximumBufferBytes() const override;
  int32_t ReadAheadReserve() const override { return 1; }
  int32_t ReadAheadCount(const TBufferRequest&) const override { return 1; }

  // The pages the latest descent into a tree passed, root first, with the cache's departures and
  // the tree generation then: while both stand, each is still cached and still a page of that
  // tree, though its entries may have changed since. A descent checks them before it searches: keys
  // in ascending order (an automatic primary index) take the same path time after time.
  struct TDescentPath {
    static constexpr size_t kMaxDepth = 8;
    uint64_t Departures = 0;
    uint64_t TreeGeneration = 0;
    size_t Depth = 0;  // 0: nothing remembered
    std::array<TPage*, kMaxDepth> Pages{};
  };
  TDescentPath& LatestDescent(int pos) { return FLatestDescents[static_cast<size_t>(pos)]; }

  // Counts cache drops, so that pages held across one are not released into the new cache.
  uint64_t CacheGeneration() const { return FCacheGeneration; }
  // Changes whenever a page may have left its tree or joined another: a page taken or freed, a
  // definition or header replaced, the cache dropped. While it stands, a page found as a leaf of
  // a tree is still a leaf of that tree.
  uint64_t TreeGeneration() const { return FCacheGeneration + FTreeChanges; }
  // Frees every cached page (the table changed under it); pages still held are forgotten.
  void DropCache() {
    ++FCacheGeneration;
    FreeBuffers();
  }

 protected:
  std::unique_ptr<TBuffer> CreateBuffer() override;
  uint16_t CorruptBufferError() const override;
  // Roots rank above nodes and nodes above leaves: every insertion passes through the root and
  // one node of each level, but through a leaf of its own.
  int32_t EvictionRank(const TBuffer& buffer) const override;
  int32_t MaximumEvictionRank() const override { return 2; }
  // A budget of at least kCompactingBudget compacts unused pages before evicting them: a tree
  // larger than the cache then stays in memory far longer. A small budget holds only the pages
  // every operation passes through, which compacting would merely shuffle.
  bool CompactsBuffers() const override { return MaximumBufferBytes() >= kCompactingBudget; }
  static constexpr int64_t kCompactingBudget = 1 << 20;
  void CountAppendedBlock() override;
  void SaveHeaderForUndo() override { FUndoHeader = FHeader; }
  void RestoreHeaderForUndo() override { FHeader = FUndoHeader; }
  // Pages change only through TPage, which reports every change.
  bool DefersUndoImages() const override { return true; }

 private:
  friend class TPageRef;
  class TTextStreamWriter;
  class TTextStreamReader;

  [[noreturn]] void RaiseHeaderCorrupt(int pos) const;
  bool ValidPageNumber(int32_t number) const;
  void CheckSlot(int pos) const;
  void CheckKeyFields(const TIndexDefinition& definition, const std::string& errorName) const;
  void CheckHeaderSlot(int pos) const;
  void CheckTextSlot() const;
  TPageRef Pin(int32_t number);
  TPageRef TakeFreePage();
  std::vector<int32_t> TextChainPages();
  void MarkHeaderDirty() { FHeader.IsDirty = true; }
  void MarkWritten();
  void CountTreeChange() { ++FTreeChanges; }

  int32_t FPageSize;
  TIndexHeader FHeader;
  TIndexHeader FUndoHeader;
  bool FIndexesAreDirty = false;
  std::array<TIndexDefinition, idx::kSlotCount> FIndexDefinitions{};
  // Whether each slot's stored name lengths fit their areas (checked by CheckHeader).
  std::array<bool, idx::kSlotCount> FDefinitionLengthsValid{};
  std::vector<TFieldDefinition> FFieldDefinitions;
  uint64_t FCacheGeneration = 0;
  uint64_t FTreeChanges = 0;
  // Set while ReadPage pins a page: a miss then expands the page as it reads it.
  TPageLoadHint FLoadHint;
  std::array<TDescentPath, idx::kSlotCount> FLatestDescents{};
};

inline TPageRef::TPageRef(TIndexFile& file, TPage* page)
    : FFile(&file), FPage(page), FGeneration(file.CacheGeneration()) {}

}  // namespace cairn
