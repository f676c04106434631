// One page of an index file, held in the buffer cache.
//
// Every page starts with a 13-byte header:
//
//   offset size  field            notes
//   ------ ----  ---------------  -------------------------------------------------------------
//        0    1  PageType         0 root node, 1 node, 2 leaf, 3 root that is a leaf, 4 text data
//        1    2  NumberOfKeys     entries in the page
//        3    4  LeftNumber       left neighbour on the same tree level; 0 = none
//        7    4  RightNumber      right neighbour; next free page; next text-parameter page
//       11    2  CompressedSize   compressed leaves: total stored length of the entries, else 0
//
// The area after it (page size - 13 bytes) holds NumberOfKeys entries, by page type. K is the
// key size, R the i32 record number, C the i32 child page, S the i32 key count of the child's
// subtree, L the length of the prefix shared with the previous key (0 for the first), T the
// number of zero bytes cut; a "non-unique" key keeps its last 4 bytes (the RecordID) whole:
//
//   node, statistics        key[K] C S                               K + 8
//   node, no statistics     key[K] C                                 K + 4
//   leaf, uncompressed      key[K] R                                 K + 4
//   leaf, duplicate-byte    L key[L..K-1] R                          K - L + 5
//   leaf, trailing-byte     T key[0..K-T-1] R                        K - T + 5
//                 non-unique T key[0..K-T-5] key[K-4..K-1] R
//   leaf, full              L T key[L..K-T-1] R                      K - L - T + 6
//                 non-unique L T key[L..K-T-5] key[K-4..K-1] R      (when K - L >= 5)
//
// A text-parameter page (type 4) holds raw bytes of the text-parameter stream. In memory a tree
// page is kept expanded: NumberOfKeys entries of K + 10 bytes (key, record or child number, lower
// key count, L, T), compressed again when written; an expanded page holds no raw image beside
// its entries (the buffer's content is released until the page is raw again). An unused cached
// page may be compacted: only its entries (or raw area) with the zero runs cut are kept until it
// is handed out again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cairn/engine/index/IndexDefinition.h"
#include "cairn/engine/io/Buffer.h"

namespace cairn {

class TKeyComparer;

namespace pg {
constexpr uint8_t kRootNode = 0;
constexpr uint8_t kNode = 1;
constexpr uint8_t kLeaf = 2;
constexpr uint8_t kRootLeaf = 3;
constexpr uint8_t kTextParams = 4;
// L and T are single bytes.
constexpr int kMaxCompressCount = 254;
}  // namespace pg

struct TPageHeader {
  static constexpr size_t kSize = 13;

  uint8_t PageType = 0;
  uint16_t NumberOfKeys = 0;
  int32_t LeftNumber = 0;
  int32_t RightNumber = 0;
  uint16_t CompressedSize = 0;

  void Encode(char* area) const;
  static TPageHeader Decode(const char* area);
};

// The page an index file is about to read and the tree it reads it for, while it reads it.
struct TPageLoadHint {
  int32_t Number = 0;
  const TIndexDefinition* Definition = nullptr;
};

class TPage : public TBuffer {
 public:
  // loadHint: the owning file's hint, consulted whenever a page is read (null: none).
  explicit TPage(TBufferedFile& file, const TPageLoadHint* loadHint = nullptr);

  // Zeroes header and area and forgets the key parameters.
  void Initialize() override;
  void Copy(const TBuffer& source) override;
  // The content of a page is its raw form of IOBlockSize bytes (header and area).
  void CopyBuffer(const void* source) override;
  void CopyToBuffer(void* destination) const override;
  bool IsEqualTo(const TBuffer& other) const override;
  bool IsEqualToBuffer(const void* data) const override;
  // The object, the raw content (while not expanded) and the expanded entries.
  size_t HeldBytes() const override;
  // An unused cached page shrinks to its entries (or raw area) with the zero runs cut, the key
  // fields' padding, and takes its form back when handed out again.
  bool Compact() override;
  void Thaw() override;

  // Empties the page as a tree page of the definition (header zeroed, type 0).
  void Initialize(const TIndexDefinition& definition);
  // Empties the page as a raw page of the given type (text parameters).
  void InitializeRaw(uint8_t pageType);
  // Expands a page read from the file with the definition's key parameters. False when the
  // stored page cannot be one of that tree: a type above 3, or a count or length beyond the
  // area. A page already expanded answers whether its parameters are the definition's.
  bool Expand(const TIndexDefinition& definition);
  bool Expanded() const { return FExpanded; }
  // Expand for a page taken from the cache: mostly expanded already, which costs no call.
  bool ExpandAgain(const TIndexDefinition& definition) {
    return FExpanded ? SameParameters(definition) : Expand(definition);
  }
  // Whether pages of the given size can hold a tree of the definition: a key size the entries
  // can carry, a known compression, room for the RecordID of a non-unique key, and two entries
  // of the largest kind in one page.
  static bool FitsPage(const TIndexDefinition& definition, int32_t pageSize);

  // ---- Header ---------------------------------------------------------------------------------
  uint8_t PageType() const { return FHeader.PageType; }
  // Between leaf and node kinds the entries' compression counts are recomputed.
  void SetPageType(uint8_t value);
  int NumberOfKeys() const { return FHeader.NumberOfKeys; }
  int32_t LeftNumber() const { return FHeader.LeftNumber; }
  void SetLeftNumber(int32_t value);
  int32_t RightNumber() const { return FHeader.RightNumber; }
  void SetRightNumber(int32_t value);
  // Empties the entries of a page being freed.
  void ClearEntries();
  // The header as it is written.
  TPageHeader Header() const;
  bool IsLeaf() const { return IsLeafType(FHeader.PageType); }
  bool IsRoot() const {
    return FHeader.PageType == pg::kRootNode || FHeader.PageType == pg::kRootLeaf;
  }
  static bool IsLeafType(uint8_t type) { return type == pg::kLeaf || type == pg::kRootLeaf; }

  uint16_t KeySize() const { return FKeySize; }
  bool KeyUnique() const { return FKeyUnique; }
  uint8_t KeyCompressionType() const { return FKeyCompressionType; }
  bool NoKeyStatistics() const { return FNoKeyStatistics; }

  // ---- Entries (positions 1 ... NumberOfKeys) ------------------------------------------------
  const char* GetKey(int i) const;
  // Inserts after position and advances it to the new entry.
  void InsertKey(const char* key, int& position, int32_t number = 0, int32_t lowerKeyCount = 0);
  void UpdateKey(const char* key, int i);
  // Removes the entry at position; position then names the entry before it.
  void DeleteKey(int& position);
  // Entries first ... last of another page of the same tree appended, as InsertKey after the last
  // entry makes them one by one (with the lower key count GetLowerKeyCount tells).
  void AppendEntries(const TPage& source, int first, int last);
  // Keeps the first count entries, as DeleteKey of the last entry makes it one by one.
  void TruncateEntries(int count);
  int32_t GetRecordNumber(int i) const;
  void SetRecordNumber(int i, int32_t value);
  // Keys in the subtree of a node entry; 1 on leaves, 0 on a node without statistics.
  int32_t GetLowerKeyCount(int i) const;
  // These have no effect on leaves, without statistics or on an empty page.
  void SetLowerKeyCount(int i, int32_t value);
  void IncLowerKeyCount(int i);
  void DecLowerKeyCount(int i);
  // Keys below entries 1 ... i - 1.
  int64_t GetPageKeyCount(int i) const;
  // Keys below all entries.
  int64_t TotalKeyCount() const { return GetPageKeyCount(NumberOfKeys() + 1); }
  uint8_t GetPrefixLength(int i) const;
  uint8_t GetTrailingCount(int i) const;

  // Stored length of all entries (compressed leaves: CompressedSize).
  int32_t StoredSize() const { return FStoredSize; }
  // Stored length of entry i.
  int32_t StoredLength(int i) const;
  // The bytes after the header.
  int32_t AreaSize() const;
  // Entries a node or an uncompressed leaf holds.
  int32_t MaximumEntries() const;
  bool IsCompressedLeaf() const { return IsLeaf() && FKeyCompressionType != idx::kCompressNone; }
  bool PageDataOverflowed() const;

  // Binary search for the first n bytes of key: the equal entry, else the last smaller one; 0 on
  // a leaf when the key is smaller than all, at least 1 on a node. exact tells an equal entry.
  // The page must hold entries.
  int Search(const TKeyComparer& comparer, const char* key, size_t n, bool* exact) const;

 protected:
  void LoadContent(const char* unit) override;
  void StoreContent(char* unit) const override;
  void RevertStep(int32_t kind, int32_t entry, int32_t value) override;

 private:
  // The changes an undo logs instead of an image of the page.
  static constexpr int32_t kStepLowerKeyCount = 1;  // entry's lower key count was value
  static constexpr int32_t kStepInsertKey = 2;      // entry was inserted
  size_t Stride() const { return FKeySize + 10u; }
  char* Entry(int i);
  const char* Entry(int i) const;
  void TakeParameters(const TIndexDefinition& definition);
  // A stored page of a type and a file whose pages can hold a tree of the definition.
  bool ExpandableAs(const TIndexDefinition& definition) const;
  // Takes the definition's parameters and fills the entries from a stored area; false (no room
  // kept) for a damaged page.
  bool DecodeStored(const char* area, const TIndexDefinition& definition, bool& canonical);
  bool LoadExpanded(const char* area, const TIndexDefinition& definition);
  bool SameParameters(const TIndexDefinition& definition) const {
    return FKeySize == definition.KeySize && FKeyUnique == definition.KeyUnique &&
           FKeyCompressionType == definition.KeyCompressionType &&
           FNoKeyStatistics == definition.NoKeyStatistics;
  }
  // Recomputes L and T of entry i from its key and the one before, keeping StoredSize.
  void ComputeCounts(int i);
  void ComputeAllCounts();
  int32_t StoredLengthFor(int L, int T) const;
  // The shortest entry a page of this kind can store.
  int32_t MinimumStoredLength() const;
  // Fill the entries, their counts and the stored size; canonical tells whether the stored
  // counts are the ones ComputeAllCounts would make.
  bool DecodeEntries(const char* area, bool& canonical);
  bool DecodeCompressed(const char* area, bool& canonical);
  bool CanonicalCounts(int i, int L, int T) const;
  // Writes the entries from the start of the area; the bytes written.
  size_t EncodeEntries(char* area) const;
  void SetNumberOfKeys(size_t count);
  // Room for one more entry, for the entries of an expansion, and room given back after deletes.
  void ReserveForInsert();
  // The room (capacity in bytes) of size bytes of entries in room bytes after one entry more, or
  // one entry less.
  size_t RoomForInsert(size_t size, size_t room) const;
  size_t RoomAfterDelete(size_t size, size_t room) const;
  void ReserveForExpand(size_t bytes);
  void ReserveForThaw(size_t bytes);
  void ShrinkAfterDelete();
  // Leaves the compacted form without reading it back (the content is about to be replaced).
  void DropCompacted();
  void StoreCompacted(char* unit) const;

  const TPageLoadHint* FLoadHint = nullptr;
  TPageHeader FHeader;
  uint16_t FKeySize = 0;
  bool FKeyUnique = false;
  uint8_t FKeyCompressionType = 0;
  bool FNoKeyStatistics = false;
  // Expanded tree page: the entries are in FEntries. Otherwise the area is kept raw in the
  // buffer's content.
  bool FExpanded = false;
  std::vector<char> FEntries;
  int32_t FStoredSize = 0;
  // Compacted: the entries of an expanded page or the area of a raw one, zero runs cut
  // (ZeroRuns.h); FEntries and the content are then empty.
  std::vector<char> FCompact;
};

}  // namespace cairn
