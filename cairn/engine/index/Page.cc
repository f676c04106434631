#include "cairn/engine/index/Page.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "cairn/engine/index/KeyComparer.h"
#include "cairn/engine/io/BufferedFile.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/io/ZeroRuns.h"

namespace cairn {

// ---- Header -----------------------------------------------------------------------------------

void TPageHeader::Encode(char* area) const {
  area[0] = static_cast<char>(PageType);
  EncodeFixed16(area + 1, NumberOfKeys);
  EncodeInt32(area + 3, LeftNumber);
  EncodeInt32(area + 7, RightNumber);
  EncodeFixed16(area + 11, CompressedSize);
}

TPageHeader TPageHeader::Decode(const char* area) {
  TPageHeader h;
  h.PageType = static_cast<uint8_t>(area[0]);
  h.NumberOfKeys = DecodeFixed16(area + 1);
  h.LeftNumber = DecodeInt32(area + 3);
  h.RightNumber = DecodeInt32(area + 7);
  h.CompressedSize = DecodeFixed16(area + 11);
  return h;
}

// ---- Life cycle -------------------------------------------------------------------------------

// A page gets its raw content only when it is read raw or made a raw page: a tree page lives in
// its entries.
TPage::TPage(TBufferedFile& file, const TPageLoadHint* loadHint)
    : TBuffer(file, TNoContent()), FLoadHint(loadHint) {}

void TPage::Initialize() {
  DropCompacted();
  TBuffer::Initialize();
  FHeader = TPageHeader();
  FKeySize = 0;
  FKeyUnique = false;
  FKeyCompressionType = 0;
  FNoKeyStatistics = false;
  FExpanded = false;
  FEntries.clear();  // the room stays for the next page (counted by HeldBytes)
  FStoredSize = 0;
}

void TPage::Copy(const TBuffer& source) {
  const auto* page = dynamic_cast<const TPage*>(&source);
  if (page == nullptr) throw std::invalid_argument("a page copies only another page");
  BeforeChange();
  DropCompacted();
  if (page->Compacted()) {
    // The copy takes the form a read leaves.
    std::vector<char> unit(static_cast<size_t>(BufferedFile().IOBlockSize()));
    page->StoreContent(unit.data());
    LoadContent(unit.data());
    FKeySize = page->FKeySize;
    FKeyUnique = page->FKeyUnique;
    FKeyCompressionType = page->FKeyCompressionType;
    FNoKeyStatistics = page->FNoKeyStatistics;
    SetIsDirty(true);
    HeldBytesChanged();
    return;
  }
  if (page->FExpanded) {
    ReleaseContent();
  } else {
    RestoreContent();  // zeros where a source not read yet has no content
  }
  TBuffer::Copy(source);
  FHeader = page->FHeader;
  FKeySize = page->FKeySize;
  FKeyUnique = page->FKeyUnique;
  FKeyCompressionType = page->FKeyCompressionType;
  FNoKeyStatistics = page->FNoKeyStatistics;
  FExpanded = page->FExpanded;
  FEntries = page->FEntries;
  FStoredSize = page->FStoredSize;
  HeldBytesChanged();
}

void TPage::CopyBuffer(const void* source) {
  BeforeChange();
  LoadContent(static_cast<const char*>(source));
  SetIsDirty(true);
}

void TPage::CopyToBuffer(void* destination) const {
  StoreContent(static_cast<char*>(destination));
}

bool TPage::IsEqualTo(const TBuffer& other) const {
  std::vector<char> mine(static_cast<size_t>(BufferedFile().IOBlockSize()));
  other.CopyToBuffer(mine.data());
  return IsEqualToBuffer(mine.data());
}

bool TPage::IsEqualToBuffer(const void* data) const {
  std::vector<char> mine(static_cast<size_t>(BufferedFile().IOBlockSize()));
  StoreContent(mine.data());
  return std::memcmp(mine.data(), data, mine.size()) == 0;
}

size_t TPage::HeldBytes() const {
  return TBuffer::HeldBytes() - AllocatedBytes(sizeof(TBuffer)) + AllocatedBytes(sizeof(TPage)) +
         AllocatedBytes(FEntries.capacity()) + AllocatedBytes(FCompact.capacity());
}

// An expanded page keeps its entries with their zero runs cut (header, parameters and stored size
// stay as they are), a raw page its area: key fields padded with zeros shrink to a fraction.
bool TPage::Compact() {
  if (Compacted()) return true;
  // Encoded aside at full length, then kept in an allocation of the encoding's size.
  thread_local std::vector<char> encoded;
  if (!FExpanded && Capacity() == 0) RestoreContent();  // a new raw page holds no content yet
  const char* data = FExpanded ? FEntries.data() : Buffer();
  const size_t size = FExpanded ? FEntries.size() : static_cast<size_t>(AreaSize());
  if (encoded.size() < ZeroRunsBound(size)) encoded.resize(ZeroRunsBound(size));
  const size_t length = EncodeZeroRuns(data, size, encoded.data());
  if (FExpanded) {
    std::vector<char>().swap(FEntries);
  } else {
    ReleaseContent();
  }
  FCompact.assign(encoded.data(), encoded.data() + length);
  SetCompacted(true);
  HeldBytesChanged();
  return true;
}

// Back to the form it was compacted from: nothing changes that a write or an undo could see.
void TPage::Thaw() {
  if (!Compacted()) return;
  bool whole = false;
  if (FExpanded) {
    const size_t bytes = static_cast<size_t>(FHeader.NumberOfKeys) * Stride();
    ReserveForThaw(bytes);
    FEntries.resize(bytes);
    whole = DecodeZeroRuns(FCompact.data(), FCompact.size(), FEntries.data(), bytes);
  } else {
    RestoreContent();
    whole =
        DecodeZeroRuns(FCompact.data(), FCompact.size(), Buffer(), static_cast<size_t>(AreaSize()));
  }
  if (!whole) throw std::logic_error("a compacted page does not make a whole page");
  std::vector<char>().swap(FCompact);
  SetCompacted(false);
  HeldBytesChanged();
}

// What StoreContent writes of a compacted page: its form decoded aside.
void TPage::StoreCompacted(char* unit) const {
  Header().Encode(unit);
  char* area = unit + TPageHeader::kSize;
  const size_t areaSize = static_cast<size_t>(AreaSize());
  bool whole = false;
  if (FExpanded) {
    thread_local std::vector<char> entries;
    entries.resize(static_cast<size_t>(FHeader.NumberOfKeys) * Stride());
    whole = DecodeZeroRuns(FCompact.data(), FCompact.size(), entries.data(), entries.size());
    // EncodeEntries reads FEntries: the decoded entries stand in for them meanwhile.
    auto& self = const_cast<TPage&>(*this);
    self.FEntries.swap(entries);
    std::memset(area, 0, areaSize);
    EncodeEntries(area);
    self.FEntries.swap(entries);
  } else {
    whole = DecodeZeroRuns(FCompact.data(), FCompact.size(), area, areaSize);
  }
  if (!whole) throw std::logic_error("a compacted page does not make a whole page");
}

void TPage::DropCompacted() {
  if (!Compacted()) return;
  std::vector<char>().swap(FCompact);
  FExpanded = false;
  SetCompacted(false);
  HeldBytesChanged();
}

void TPage::TakeParameters(const TIndexDefinition& definition) {
  FKeySize = definition.KeySize;
  FKeyUnique = definition.KeyUnique;
  FKeyCompressionType = definition.KeyCompressionType;
  FNoKeyStatistics = definition.NoKeyStatistics;
}

void TPage::Initialize(const TIndexDefinition& definition) {
  BeforeChange();
  DropCompacted();
  FHeader = TPageHeader();
  TakeParameters(definition);
  FExpanded = true;
  FEntries.clear();
  FStoredSize = 0;
  ReleaseContent();
  SetIsDirty(true);
}

void TPage::InitializeRaw(uint8_t pageType) {
  BeforeChange();
  DropCompacted();
  FHeader = TPageHeader();
  FHeader.PageType = pageType;
  FExpanded = false;
  FEntries.clear();
  FStoredSize = 0;
  RestoreContent();
  SetIsDirty(true);
}

// ---- Reading and writing ------------------------------------------------------------------------

// A page read from the file stays raw until a tree asks for it with its key parameters, unless
// the file is reading it for a tree (TPageLoadHint): then it is expanded at once, without a raw
// copy, when that writes back the same bytes.
void TPage::LoadContent(const char* unit) {
  DropCompacted();
  FHeader = TPageHeader::Decode(unit);
  FExpanded = false;
  FEntries.clear();
  FStoredSize = 0;
  const char* area = unit + TPageHeader::kSize;
  if (FLoadHint != nullptr && FLoadHint->Definition != nullptr && FLoadHint->Number == Number() &&
      LoadExpanded(area, *FLoadHint->Definition)) {
    return;
  }
  if (Capacity() == 0) RestoreContent();
  std::memcpy(Buffer(), area, static_cast<size_t>(AreaSize()));
}

void TPage::StoreContent(char* unit) const {
  if (Compacted()) {
    StoreCompacted(unit);
    return;
  }
  Header().Encode(unit);
  char* area = unit + TPageHeader::kSize;
  if (FExpanded) {
    // The entries fill the area from its start; the rest is zeros.
    const size_t used = EncodeEntries(area);
    const size_t areaSize = static_cast<size_t>(AreaSize());
    if (used < areaSize) std::memset(area + used, 0, areaSize - used);
  } else {
    // A page neither read nor made yet has no content: zeros.
    const size_t areaSize = static_cast<size_t>(AreaSize());
    const size_t held = std::min(areaSize, static_cast<size_t>(Capacity()));
    if (held > 0) std::memcpy(area, Buffer(), held);
    std::memset(area + held, 0, areaSize - held);
  }
}

TPageHeader TPage::Header() const {
  TPageHeader header = FHeader;
  if (FExpanded)
    header.CompressedSize = IsCompressedLeaf() ? static_cast<uint16_t>(FStoredSize) : 0;
  return header;
}

int32_t TPage::AreaSize() const {
  return std::max<int32_t>(BufferedFile().IOBlockSize() - static_cast<int32_t>(TPageHeader::kSize),
                           0);
}

bool TPage::FitsPage(const TIndexDefinition& definition, int32_t pageSize) {
  const int32_t K = definition.KeySize;
  const int32_t area = pageSize - static_cast<int32_t>(TPageHeader::kSize);
  // Two entries of the largest kind must fit, or a split could not make room.
  return K >= 1 && K <= idx::kMaxKeySize + 4 &&
         definition.KeyCompressionType <= idx::kCompressFull && (definition.KeyUnique || K >= 5) &&
         2 * (K + 8) <= area;
}

bool TPage::Expand(const TIndexDefinition& definition) {
  if (FExpanded) return SameParameters(definition);
  if (!ExpandableAs(definition)) return false;
  // The same entries, but an undo keeps the raw form: a rollback writes the page as it was read.
  BeforeChange();
  if (Capacity() == 0) RestoreContent();  // a page neither read nor made yet holds zeros
  bool canonical = false;
  if (!DecodeStored(Buffer(), definition, canonical)) return false;
  FExpanded = true;
  // Counts as this engine writes them are kept; any others are made again from the keys, so
  // that the page is written back as this engine writes it.
  if (!canonical) ComputeAllCounts();
  ReleaseContent();  // the entries are the content now; the raw form is made again to write
  return true;
}

bool TPage::ExpandableAs(const TIndexDefinition& definition) const {
  return FHeader.PageType <= pg::kRootLeaf && FitsPage(definition, BufferedFile().IOBlockSize());
}

bool TPage::DecodeStored(const char* area, const TIndexDefinition& definition, bool& canonical) {
  TakeParameters(definition);
  // A damaged count must not size the expanded entries: the area holds no more entries than its
  // shortest stored entries fill.
  if (FHeader.NumberOfKeys > AreaSize() / MinimumStoredLength()) return false;
  ReserveForExpand(FHeader.NumberOfKeys * Stride());
  FEntries.assign(FHeader.NumberOfKeys * Stride(), '\0');
  if (!DecodeEntries(area, canonical)) {
    std::vector<char>().swap(FEntries);  // the cached page keeps no room for a damaged count
    HeldBytesChanged();
    return false;
  }
  return true;
}

namespace {

bool AllZero(const char* bytes, size_t count) {
  return count == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, count - 1) == 0);
}

}  // namespace

// Taken in expanded only when writing it back makes the very bytes read: the counts as this
// engine makes them, the stored size in the header only for a compressed leaf, zeros after the
// entries. Then expanding changes nothing an undo must keep, and a rollback that writes the page
// again writes what the file holds. Any other page stays raw for Expand.
bool TPage::LoadExpanded(const char* area, const TIndexDefinition& definition) {
  if (!ExpandableAs(definition)) return false;
  bool canonical = false;
  if (!DecodeStored(area, definition, canonical)) return false;
  const bool same = canonical && (IsCompressedLeaf() || FHeader.CompressedSize == 0) &&
                    AllZero(area + FStoredSize, static_cast<size_t>(AreaSize() - FStoredSize));
  if (!same) {
    FEntries.clear();
    FStoredSize = 0;
    return false;
  }
  FExpanded = true;
  if (Capacity() > 0) ReleaseContent();
  HeldBytesChanged();
  return true;
}

bool TPage::DecodeEntries(const char* area, bool& canonical) {
  const int count = FHeader.NumberOfKeys;
  if (IsCompressedLeaf()) return DecodeCompressed(area, canonical);
  const size_t stored = (IsLeaf() || FNoKeyStatistics) ? FKeySize + 4u : FKeySize + 8u;
  if (static_cast<int64_t>(count) * static_cast<int64_t>(stored) > AreaSize()) return false;
  // Uncompressed entries: L and T stay 0.
  FStoredSize = count * static_cast<int32_t>(stored);
  canonical = true;
  for (int i = 1; i <= count; ++i) {
    const char* from = area + (i - 1) * stored;
    char* entry = Entry(i);
    std::memcpy(entry, from, FKeySize + 4u);
    if (!IsLeaf() && !FNoKeyStatistics) std::memcpy(entry + FKeySize + 4, from + FKeySize + 4, 4);
  }
  return true;
}

// Every L, T and stored length is checked against the key size and the area before a byte of
// the entry is taken. The entries keep the stored L and T; canonical tells whether each is the
// one ComputeCounts makes (then so is the stored size).
bool TPage::DecodeCompressed(const char* area, bool& canonical) {
  canonical = true;
  const int K = FKeySize;
  const int limit = AreaSize();
  const uint8_t type = FKeyCompressionType;
  const bool wholeSuffixAllowed = !FKeyUnique && K >= 5;
  int pos = 0;
  for (int i = 1; i <= FHeader.NumberOfKeys; ++i) {
    const int countBytes = type == idx::kCompressFull ? 2 : 1;
    if (pos + countBytes > limit) return false;
    int L = 0, T = 0;
    if (type != idx::kCompressTrailingByte) L = static_cast<uint8_t>(area[pos]);
    if (type == idx::kCompressTrailingByte) T = static_cast<uint8_t>(area[pos]);
    if (type == idx::kCompressFull) T = static_cast<uint8_t>(area[pos + 1]);
    if (L > K || L > pg::kMaxCompressCount || T > pg::kMaxCompressCount) return false;
    if (i == 1 && L != 0) return false;
    // Whether the last 4 key bytes are stored whole after the cut zeros.
    bool suffix = false;
    if (type == idx::kCompressTrailingByte) {
      if (!FKeyUnique && K < 4) return false;
      suffix = !FKeyUnique;
    } else if (type == idx::kCompressFull) {
      suffix = wholeSuffixAllowed && K - L >= 5;
      if (!FKeyUnique && K - L < 5 && T != 0) return false;
    }
    const int body = K - L - T - (suffix ? 4 : 0);  // bytes between the prefix and the zeros
    if (body < 0) return false;
    const int length = StoredLengthFor(L, T);
    if (pos + length > limit) return false;
    char* key = Entry(i);
    if (L > 0) std::memcpy(key, Entry(i - 1), static_cast<size_t>(L));
    const char* from = area + pos + countBytes;
    std::memcpy(key + L, from, static_cast<size_t>(body));
    from += body;
    if (suffix) {
      std::memcpy(key + K - 4, from, 4);
      from += 4;
    }
    std::memcpy(key + K, from, 4);
    key[K + 8] = static_cast<char>(L);
    key[K + 9] = static_cast<char>(T);
    if (canonical) canonical = CanonicalCounts(i, L, T);
    pos += length;
  }
  FStoredSize = pos;
  return pos == FHeader.CompressedSize;
}

// Checks in constant time what ComputeCounts would compute, given that the entry was decoded
// with these counts: the prefix [0, L) equals the previous key and the T bytes before the end
// of the zero-cut range are zero. L is then the computed one when it reaches its limit or the
// keys differ right after it; T when it reaches its limit, fills its range or follows a nonzero
// byte.
bool TPage::CanonicalCounts(int i, int L, int T) const {
  const int K = FKeySize;
  const uint8_t type = FKeyCompressionType;
  const char* key = Entry(i);
  if (type == idx::kCompressDuplicateByte || type == idx::kCompressFull) {
    const int limit = std::min(K, pg::kMaxCompressCount);
    if (i > 1 && L < limit && key[L] == Entry(i - 1)[L]) return false;
  }
  int from = 0;
  int end = 0;
  if (type == idx::kCompressTrailingByte) {
    end = FKeyUnique ? K : K - 4;
  } else if (type == idx::kCompressFull && (FKeyUnique || K - L >= 5)) {
    from = L;
    end = FKeyUnique ? K : K - 4;
  } else {
    return T == 0;
  }
  return T == pg::kMaxCompressCount || end - T == from || key[end - T - 1] != 0;
}

size_t TPage::EncodeEntries(char* area) const {
  const int K = FKeySize;
  const int count = NumberOfKeys();
  if (!IsCompressedLeaf()) {
    const size_t stored = (IsLeaf() || FNoKeyStatistics) ? K + 4u : K + 8u;
    for (int i = 1; i <= count; ++i) std::memcpy(area + (i - 1) * stored, Entry(i), stored);
    return static_cast<size_t>(count) * stored;
  }
  const uint8_t type = FKeyCompressionType;
  char* to = area;
  for (int i = 1; i <= count; ++i) {
    const char* key = Entry(i);
    const int L = GetPrefixLength(i);
    const int T = GetTrailingCount(i);
    bool suffix = false;
    if (type == idx::kCompressDuplicateByte) {
      *to++ = static_cast<char>(L);
    } else if (type == idx::kCompressTrailingByte) {
      *to++ = static_cast<char>(T);
      suffix = !FKeyUnique;
    } else {
      *to++ = static_cast<char>(L);
      *to++ = static_cast<char>(T);
      suffix = !FKeyUnique && K - L >= 5;
    }
    const int body = K - L - T - (suffix ? 4 : 0);
    std::memcpy(to, key + L, static_cast<size_t>(body));
    to += body;
    if (suffix) {
      std::memcpy(to, key + K - 4, 4);
      to += 4;
    }
    std::memcpy(to, key + K, 4);
    to += 4;
  }
  return static_cast<size_t>(to - area);
}

// ---- Header fields ------------------------------------------------------------------------------

void TPage::SetPageType(uint8_t value) {
  BeforeChange();
  const bool kindChanges = IsLeafType(value) != IsLeaf();
  FHeader.PageType = value;
  if (kindChanges && FExpanded) ComputeAllCounts();
  SetIsDirty(true);
}

void TPage::SetLeftNumber(int32_t value) {
  BeforeChange();
  FHeader.LeftNumber = value;
  SetIsDirty(true);
}

void TPage::SetRightNumber(int32_t value) {
  BeforeChange();
  FHeader.RightNumber = value;
  SetIsDirty(true);
}

void TPage::ClearEntries() {
  BeforeChange();
  FEntries.clear();
  FStoredSize = 0;
  FHeader.NumberOfKeys = 0;
  FHeader.CompressedSize = 0;
  SetIsDirty(true);
}

void TPage::SetNumberOfKeys(size_t count) {
  FHeader.NumberOfKeys = static_cast<uint16_t>(count);
}

// ---- Entries ----------------------------------------------------------------------------------

// The entries grow by an eighth (at least 8 entries) rather than doubling, and a page that lost a
// third of them (the left half of a split) gives the room back: the cache counts what the entries
// hold against its byte budget, and doubled room would let it keep fewer pages.
void TPage::ReserveForInsert() {
  const size_t room = RoomForInsert(FEntries.size(), FEntries.capacity());
  if (room == FEntries.capacity()) return;
  FEntries.reserve(room);
  HeldBytesChanged();
}

size_t TPage::RoomForInsert(size_t size, size_t room) const {
  if (size + Stride() <= room) return room;
  return size + Stride() + std::max(size / 8 / Stride(), size_t{8}) * Stride();
}

size_t TPage::RoomAfterDelete(size_t size, size_t room) const {
  return room > size + size / 2 + Stride() ? size : room;
}

// An expanded page mostly gains an entry next: the same room ahead as an insert makes, so that
// the first insert does not move the entries again.
void TPage::ReserveForExpand(size_t bytes) {
  if (bytes <= FEntries.capacity()) return;
  FEntries.clear();
  FEntries.reserve(bytes + std::max(bytes / 8 / Stride(), size_t{8}) * Stride());
}

// A page handed out again mostly gains one entry (an insertion at a random key) or none (a read)
// before it goes cold and is compacted again: room for one more, where an expanded page read from
// the file gets the room of an insert. Every byte of room is a byte fewer for whole pages.
void TPage::ReserveForThaw(size_t bytes) {
  if (bytes + Stride() <= FEntries.capacity()) return;
  FEntries.clear();
  FEntries.reserve(bytes + Stride());
}

void TPage::ShrinkAfterDelete() {
  if (RoomAfterDelete(FEntries.size(), FEntries.capacity()) != FEntries.capacity()) {
    FEntries.shrink_to_fit();
    HeldBytesChanged();
  }
}

char* TPage::Entry(int i) {
  return FEntries.data() + static_cast<size_t>(i - 1) * Stride();
}

const char* TPage::Entry(int i) const {
  return FEntries.data() + static_cast<size_t>(i - 1) * Stride();
}

const char* TPage::GetKey(int i) const {
  if (i < 1 || i > NumberOfKeys() || !FExpanded) throw std::out_of_range("page entry");
  return Entry(i);
}

void TPage::InsertKey(const char* key, int& position, int32_t number, int32_t lowerKeyCount) {
  if (!FExpanded || position < 0 || position > NumberOfKeys()) {
    throw std::out_of_range("page entry");
  }
  // Removing the entry again undoes the insertion exactly: the counts of its neighbour are
  // recomputed from the same keys.
  const bool logged = UndoImagePending();
  if (logged) {
    ReserveUndoStep();
  } else {
    BeforeChange();
  }
  // A key taken from this very page would move with the entries: it is copied first.
  std::string own;
  if (key >= FEntries.data() && key < FEntries.data() + FEntries.size()) {
    own.assign(key, FKeySize);
    key = own.data();
  }
  ReserveForInsert();
  char* entry = &*FEntries.insert(FEntries.begin() + static_cast<ptrdiff_t>(position * Stride()),
                                  Stride(), '\0');
  std::memcpy(entry, key, FKeySize);
  EncodeInt32(entry + FKeySize, number);
  EncodeInt32(entry + FKeySize + 4, lowerKeyCount);
  ++position;
  if (logged) AddUndoStep(kStepInsertKey, position, 0);
  SetNumberOfKeys(FEntries.size() / Stride());
  FStoredSize += StoredLengthFor(0, 0);  // the new entry's counts start at 0
  ComputeCounts(position);
  if (position < NumberOfKeys()) ComputeCounts(position + 1);
  SetIsDirty(true);
}

void TPage::UpdateKey(const char* key, int i) {
  GetKey(i);  // range check
  BeforeChange();
  std::memcpy(Entry(i), key, FKeySize);
  ComputeCounts(i);
  if (i < NumberOfKeys()) ComputeCounts(i + 1);
  SetIsDirty(true);
}

void TPage::DeleteKey(int& position) {
  GetKey(position);  // range check
  BeforeChange();
  FStoredSize -= StoredLength(position);
  const auto first = FEntries.begin() + static_cast<ptrdiff_t>((position - 1) * Stride());
  FEntries.erase(first, first + static_cast<ptrdiff_t>(Stride()));
  ShrinkAfterDelete();
  SetNumberOfKeys(FEntries.size() / Stride());
  if (position <= NumberOfKeys()) ComputeCounts(position);
  --position;
  SetIsDirty(true);
}

// The room is taken once, as much as inserting the entries one by one would end with.
void TPage::AppendEntries(const TPage& source, int first, int last) {
  if (!FExpanded || !source.FExpanded || source.Compacted() || source.FKeySize != FKeySize ||
      first < 1 || last > source.NumberOfKeys() || &source == this) {
    throw std::out_of_range("page entries");
  }
  if (first > last) return;
  BeforeChange();
  const size_t end = FEntries.size() + static_cast<size_t>(last - first + 1) * Stride();
  size_t room = FEntries.capacity();
  for (size_t size = FEntries.size(); size < end; size += Stride())
    room = RoomForInsert(size, room);
  if (room > FEntries.capacity()) {
    FEntries.reserve(room);
    HeldBytesChanged();
  }
  const int32_t stored = StoredLengthFor(0, 0);
  for (int i = first; i <= last; ++i) {
    const int32_t lower = source.GetLowerKeyCount(i);
    FEntries.resize(FEntries.size() + Stride());
    const int position = static_cast<int>(FEntries.size() / Stride());
    char* entry = Entry(position);
    std::memcpy(entry, source.Entry(i), FKeySize + 4u);  // key and record or child number
    EncodeInt32(entry + FKeySize + 4, lower);
    entry[FKeySize + 8] = 0;
    entry[FKeySize + 9] = 0;
    FStoredSize += stored;
    ComputeCounts(position);
  }
  SetNumberOfKeys(FEntries.size() / Stride());
  SetIsDirty(true);
}

// The room kept is what deleting the entries one by one would leave.
void TPage::TruncateEntries(int count) {
  if (!FExpanded || count < 0 || count > NumberOfKeys()) throw std::out_of_range("page entries");
  if (count == NumberOfKeys()) return;
  BeforeChange();
  for (int i = count + 1; i <= NumberOfKeys(); ++i) FStoredSize -= StoredLength(i);
  const size_t kept = static_cast<size_t>(count) * Stride();
  size_t room = FEntries.capacity();
  for (size_t size = FEntries.size(); size > kept;) {
    size -= Stride();
    room = RoomAfterDelete(size, room);
  }
  FEntries.resize(kept);
  if (room != FEntries.capacity()) {
    std::vector<char> entries;
    entries.reserve(room);
    entries.assign(FEntries.begin(), FEntries.end());
    FEntries.swap(entries);
    HeldBytesChanged();
  }
  SetNumberOfKeys(FEntries.size() / Stride());
  SetIsDirty(true);
}

int32_t TPage::GetRecordNumber(int i) const {
  return DecodeInt32(GetKey(i) + FKeySize);
}

void TPage::SetRecordNumber(int i, int32_t value) {
  GetKey(i);  // range check
  BeforeChange();
  EncodeInt32(Entry(i) + FKeySize, value);
  SetIsDirty(true);
}

int32_t TPage::GetLowerKeyCount(int i) const {
  const char* entry = GetKey(i);
  if (IsLeaf()) return 1;
  if (FNoKeyStatistics) return 0;
  return DecodeInt32(entry + FKeySize + 4);
}

void TPage::SetLowerKeyCount(int i, int32_t value) {
  if (IsLeaf() || FNoKeyStatistics || NumberOfKeys() == 0) return;
  char* count = const_cast<char*>(GetKey(i)) + FKeySize + 4;
  // The counts on an insertion's path change by one each: logging the old value is far cheaper
  // than an image of the page.
  const bool logged = UndoImagePending();
  if (logged) ReserveUndoStep();
  const int32_t old = DecodeInt32(count);
  EncodeInt32(count, value);
  if (logged) AddUndoStep(kStepLowerKeyCount, i, old);
  SetIsDirty(true);
}

// Only a rollback calls this, newest step first, so the page holds what the step left behind. A
// page read again meanwhile (its clean buffer recycled) holds what the file has and is left.
void TPage::RevertStep(int32_t kind, int32_t entry, int32_t value) {
  if (!FExpanded || entry < 1 || entry > NumberOfKeys()) return;
  if (kind == kStepLowerKeyCount) {
    SetLowerKeyCount(entry, value);
  } else if (kind == kStepInsertKey) {
    DeleteKey(entry);
  }
}

void TPage::IncLowerKeyCount(int i) {
  if (IsLeaf() || FNoKeyStatistics || NumberOfKeys() == 0) return;
  SetLowerKeyCount(i, GetLowerKeyCount(i) + 1);
}

void TPage::DecLowerKeyCount(int i) {
  if (IsLeaf() || FNoKeyStatistics || NumberOfKeys() == 0) return;
  SetLowerKeyCount(i, GetLowerKeyCount(i) - 1);
}

int64_t TPage::GetPageKeyCount(int i) const {
  const int last = std::min(i - 1, NumberOfKeys());
  if (IsLeaf()) return std::max(last, 0);
  int64_t total = 0;
  for (int j = 1; j <= last; ++j) total += GetLowerKeyCount(j);
  return total;
}

uint8_t TPage::GetPrefixLength(int i) const {
  return static_cast<uint8_t>(GetKey(i)[FKeySize + 8]);
}

uint8_t TPage::GetTrailingCount(int i) const {
  return static_cast<uint8_t>(GetKey(i)[FKeySize + 9]);
}

// ---- Compression counts -------------------------------------------------------------------------

int32_t TPage::StoredLengthFor(int L, int T) const {
  const int K = FKeySize;
  if (!IsLeaf()) return FNoKeyStatistics ? K + 4 : K + 8;
  switch (FKeyCompressionType) {
    case idx::kCompressDuplicateByte:
      return K - L + 5;
    case idx::kCompressTrailingByte:
      return K - T + 5;
    case idx::kCompressFull:
      return K - L - T + 6;
    default:
      return K + 4;
  }
}

// Each count cuts at most 254 bytes, and full compression cuts no more than the key has.
int32_t TPage::MinimumStoredLength() const {
  if (!IsCompressedLeaf()) return StoredLengthFor(0, 0);
  const int K = FKeySize;
  const int most = std::min(K, pg::kMaxCompressCount);
  switch (FKeyCompressionType) {
    case idx::kCompressDuplicateByte:
      return StoredLengthFor(most, 0);
    case idx::kCompressTrailingByte:
      return StoredLengthFor(0, most);
    default:
      return StoredLengthFor(most, std::min(K - most, pg::kMaxCompressCount));
  }
}

int32_t TPage::StoredLength(int i) const {
  return StoredLengthFor(GetPrefixLength(i), GetTrailingCount(i));
}

namespace {

// Zero bytes at the end of key[from, to), at most the compress limit.
int TrailingZeros(const char* key, int from, int to) {
  int count = 0;
  for (int j = to - 1; j >= from && key[j] == 0 && count < pg::kMaxCompressCount; --j) ++count;
  return count;
}

}  // namespace

void TPage::ComputeCounts(int i) {
  char* key = Entry(i);
  const int K = FKeySize;
  const int before =
      StoredLengthFor(static_cast<uint8_t>(key[K + 8]), static_cast<uint8_t>(key[K + 9]));
  int L = 0, T = 0;
  const uint8_t type = IsLeaf() ? FKeyCompressionType : idx::kCompressNone;
  if ((type == idx::kCompressDuplicateByte || type == idx::kCompressFull) && i > 1) {
    const char* previous = Entry(i - 1);
    const int limit = std::min(K, pg::kMaxCompressCount);
    while (L < limit && key[L] == previous[L]) ++L;
  }
  if (type == idx::kCompressTrailingByte) {
    T = TrailingZeros(key, 0, FKeyUnique ? K : K - 4);
  } else if (type == idx::kCompressFull) {
    if (FKeyUnique) {
      T = TrailingZeros(key, L, K);
    } else if (K - L >= 5) {
      T = TrailingZeros(key, L, K - 4);
    }
  }
  key[K + 8] = static_cast<char>(L);
  key[K + 9] = static_cast<char>(T);
  FStoredSize += StoredLengthFor(L, T) - before;
}

void TPage::ComputeAllCounts() {
  FStoredSize = 0;
  for (int i = 1; i <= NumberOfKeys(); ++i) {
    char* key = Entry(i);
    key[FKeySize + 8] = 0;
    key[FKeySize + 9] = 0;
    FStoredSize += StoredLengthFor(0, 0);
    ComputeCounts(i);
  }
}

// ---- Capacity and search ----------------------------------------------------------------------

int32_t TPage::MaximumEntries() const {
  const int32_t stored = (IsLeaf() || FNoKeyStatistics) ? FKeySize + 4 : FKeySize + 8;
  return AreaSize() / stored;
}

bool TPage::PageDataOverflowed() const {
  if (IsCompressedLeaf()) return FStoredSize > AreaSize();
  return NumberOfKeys() > MaximumEntries();
}

int TPage::Search(const TKeyComparer& comparer, const char* key, size_t n, bool* exact) const {
  int low = 1;
  int high = NumberOfKeys();
  int result = 0;
  if (exact) *exact = false;
  if (high > 0) GetKey(high);  // an expanded page: every entry probed below is then in range
  while (low <= high) {
    const int middle = (low + high) / 2;
    const int c = comparer.Compare(Entry(middle), key, n);
    if (c == 0) {
      if (exact) *exact = true;
      return middle;
    }
    if (c < 0) {
      result = middle;
      low = middle + 1;
    } else {
      high = middle - 1;
    }
  }
  // A key smaller than everything still descends into the first child.
  return IsLeaf() ? result : std::max(result, 1);
}

}  // namespace cairn
