// The full-text parameters of an index file, kept in a chain of type-4 pages.
//
// The stream, item by item (every length an i32):
//
//   count | length word1 | ... | length wordN | 32 | space set 32 | 32 | include set 32
//
// Each item (a length, or the bytes that follow it) is written whole into the current page's
// area (page size - 13 bytes after the page header); an item that does not fit in what is left
// starts at offset 0 of the next page of the chain, linked through RightNumber. A length is
// capped at the area. A character set has one bit per character code: bit c mod 8 of byte c div 8.
#include <algorithm>
#include <cstring>
#include <set>

#include "cairn/error/EngineErrorCodes.h"
#include "cairn/engine/io/Coding.h"
#include "cairn/engine/index/IndexFile.h"

namespace cairn {
namespace {

constexpr int32_t kCharSetBytes = 32;

void EncodeCharSet(const TCharSet& set, char* out) {
  std::memset(out, 0, kCharSetBytes);
  for (int c = 0; c < 256; ++c) {
    if (set.test(static_cast<size_t>(c)))
      out[c / 8] = static_cast<char>(out[c / 8] | (1 << (c % 8)));
  }
}

TCharSet DecodeCharSet(const char* in) {
  TCharSet set;
  for (int c = 0; c < 256; ++c) {
    if ((static_cast<unsigned char>(in[c / 8]) >> (c % 8)) & 1) set.set(static_cast<size_t>(c));
  }
  return set;
}

}  // namespace

// Writes items into the chain, reusing its pages in order and allocating more when they run out.
class TIndexFile::TTextStreamWriter {
 public:
  TTextStreamWriter(TIndexFile& file, std::vector<int32_t> chain)
      : FFile(file), FChain(std::move(chain)) {
    NextPage();
  }

  void Put(const char* data, int32_t length) {
    if (FOffset + length > FFile.BufferSize()) NextPage();
    std::memcpy(FPage->Buffer() + FOffset, data, static_cast<size_t>(length));
    FOffset += length;
    FPage->SetIsDirty(true);
  }

  void PutLength(int32_t value) {
    char bytes[4];
    EncodeInt32(bytes, value);
    Put(bytes, 4);
  }

  int32_t FirstPage() const { return FFirst; }
  // Ends the chain at the current page; the old chain's pages beyond it are freed.
  void Finish() {
    FPage->SetRightNumber(0);
    FPage.Release();
    for (size_t i = FUsed; i < FChain.size(); ++i) {
      TPageRef spare = FFile.ReadRawPage(FChain[i]);
      FFile.FreePage(*spare);
    }
  }

 private:
  void NextPage() {
    TPageRef next = FUsed < FChain.size() ? FFile.ReadRawPage(FChain[FUsed])
                                          : FFile.AllocateRawPage(pg::kTextParams);
    ++FUsed;
    next->InitializeRaw(pg::kTextParams);
    if (FPage) {
      FPage->SetRightNumber(next->Number());
    } else {
      FFirst = next->Number();
    }
    FPage = std::move(next);
    FOffset = 0;
  }

  TIndexFile& FFile;
  std::vector<int32_t> FChain;
  size_t FUsed = 0;
  TPageRef FPage;
  int32_t FOffset = 0;
  int32_t FFirst = 0;
};

// Reads items back, checking every length against the page and every link against the file;
// a page met twice is a loop.
class TIndexFile::TTextStreamReader {
 public:
  TTextStreamReader(TIndexFile& file, int32_t first) : FFile(file) { Enter(first); }

  const char* Get(int32_t length) {
    if (length < 0 || length > FFile.BufferSize()) Corrupt();
    if (FOffset + length > FFile.BufferSize()) Enter(FPage->RightNumber());
    const char* data = FPage->Buffer() + FOffset;
    FOffset += length;
    return data;
  }

  int32_t GetLength() { return DecodeInt32(Get(4)); }

  [[noreturn]] void Corrupt() const { FFile.RaiseCorruptIndex(idx::kTextSlot); }

 private:
  void Enter(int32_t number) {
    if (number == 0 || !FVisited.insert(number).second) Corrupt();
    FPage = FFile.ReadRawPage(number);
    if (FPage->PageType() != pg::kTextParams || FPage->Expanded()) Corrupt();
    FOffset = 0;
  }

  TIndexFile& FFile;
  std::set<int32_t> FVisited;
  TPageRef FPage;
  int32_t FOffset = 0;
};

// The pages of the current chain, in order; a damaged chain is an error.
std::vector<int32_t> TIndexFile::TextChainPages() {
  std::vector<int32_t> pages;
  std::set<int32_t> visited;
  for (int32_t number = FHeader.DataRootPages[idx::kTextSlot]; number != 0;) {
    if (!visited.insert(number).second) RaiseCorruptIndex(idx::kTextSlot);
    TPageRef page = ReadRawPage(number);
    if (page->PageType() != pg::kTextParams || page->Expanded()) RaiseCorruptIndex(idx::kTextSlot);
    pages.push_back(number);
    number = page->RightNumber();
  }
  return pages;
}

TTextIndexParams TIndexFile::ReadTextIndexParams() {
  // A restart finds the table's read lock held, so the second pass cannot be interrupted again.
  for (int attempt = 0;; ++attempt) {
    try {
      const int32_t first = FHeader.DataRootPages[idx::kTextSlot];
      if (first == 0) return GetDefaultTextIndexParams();
      TTextStreamReader reader(*this, first);
      TTextIndexParams params;
      const int32_t count = reader.GetLength();
      if (count < 0) reader.Corrupt();
      for (int32_t i = 0; i < count; ++i) {
        const int32_t length = reader.GetLength();
        const char* text = reader.Get(length);
        params.StopWords.emplace_back(text, static_cast<size_t>(length));
      }
      if (reader.GetLength() != kCharSetBytes) reader.Corrupt();
      params.SpaceChars = DecodeCharSet(reader.Get(kCharSetBytes));
      if (reader.GetLength() != kCharSetBytes) reader.Corrupt();
      params.IncludeChars = DecodeCharSet(reader.Get(kCharSetBytes));
      return params;
    } catch (const ETableChanged&) {
      if (attempt > 0) RaiseCorruptIndex(idx::kTextSlot);
    }
  }
}

void TIndexFile::WriteTextIndexParams(const TTextIndexParams& params) {
  for (int attempt = 0;; ++attempt) {
    try {
      TTextStreamWriter writer(*this, TextChainPages());
      writer.PutLength(static_cast<int32_t>(params.StopWords.size()));
      for (const std::string& word : params.StopWords) {
        const auto length =
            static_cast<int32_t>(std::min<size_t>(word.size(), static_cast<size_t>(BufferSize())));
        writer.PutLength(length);
        writer.Put(word.data(), length);
      }
      char set[kCharSetBytes];
      EncodeCharSet(params.SpaceChars, set);
      writer.PutLength(kCharSetBytes);
      writer.Put(set, kCharSetBytes);
      EncodeCharSet(params.IncludeChars, set);
      writer.PutLength(kCharSetBytes);
      writer.Put(set, kCharSetBytes);
      const int32_t first = writer.FirstPage();
      writer.Finish();
      SetDataRootPageNumber(idx::kTextSlot, first);
      return;
    } catch (const ETableChanged&) {
      if (attempt > 0) RaiseCorruptIndex(idx::kTextSlot);
    }
  }
}

}  // namespace cairn
