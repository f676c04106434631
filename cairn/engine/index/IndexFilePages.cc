// Pages of an index file: holding them from the cache, allocating them from the free chain or the
// end of the file, and freeing them.
#include "cairn/engine/index/IndexFile.h"

#include "cairn/engine/io/ScopeGuard.h"

#include "cairn/error/EngineErrorCodes.h"

namespace cairn {

// ---- Held pages ---------------------------------------------------------------------------------

void TPageRef::ReleaseHeld() {
  // A page of a dropped cache no longer exists.
  if (FFile->CacheGeneration() == FGeneration) FFile->PutBuffer(FPage);
  FPage = nullptr;
  FFile = nullptr;
}

// ---- Pages --------------------------------------------------------------------------------------

TPageRef TIndexFile::Pin(int32_t number) {
  TBufferRequest request;
  request.Exclusive = Exclusive();
  TBuffer* buffer = nullptr;
  if (!GetBuffer(request, number, false, TReadAheadDirection::None, buffer)) {
    ++FCacheGeneration;
    throw ETableChanged();
  }
  return TPageRef(*this, static_cast<TPage*>(buffer));
}

TPageRef TIndexFile::ReadPage(int pos, int32_t number) {
  CheckSlot(pos);
  if (number < 1 || number > IOBlocksUsed()) RaiseCorruptIndex(pos);
  // The hint lasts for this read only; expanding a page held already reads nothing.
  FLoadHint = TPageLoadHint{number, &FIndexDefinitions[pos]};
  TScopeGuard clearHint([&] { FLoadHint = TPageLoadHint(); });
  TPageRef page = Pin(number);
  if (!page->ExpandAgain(FIndexDefinitions[pos])) RaiseCorruptIndex(pos);
  return page;
}

TPageRef TIndexFile::RereadPage(int pos, TPage* page, uint64_t departures) {
  CheckSlot(pos);
  if (!RepinBuffer(page, departures)) return TPageRef();
  TPageRef ref(*this, page);
  if (!ref->ExpandAgain(FIndexDefinitions[pos])) RaiseCorruptIndex(pos);
  return ref;
}

TPageRef TIndexFile::ReadRawPage(int32_t number) {
  if (number < 1 || number > IOBlocksUsed()) RaiseCorruptIndex(idx::kTextSlot);
  TPageRef page = Pin(number);
  KeepBeforeChange(*page);  // a raw page's bytes are changed in place, unreported
  return page;
}

// The chain's head when there is one, else a page appended at the end. A head equal to
// NextEndingPage names the page about to be appended, whose zero link then empties the chain. A
// free page holds no entries and links inside the file.
TPageRef TIndexFile::TakeFreePage() {
  CountTreeChange();
  const int32_t head = FHeader.NextFreePage;
  if (head == FHeader.NextEndingPage) SetNextFreePageNumber(0);
  if (head == 0 || head == FHeader.NextEndingPage) return Pin(IOBlocksUsed() + 1);
  if (head < 1 || head > IOBlocksUsed()) RaiseError(CAIRN_INDEXCORRUPT);
  TPageRef page = Pin(head);
  const int32_t next = page->RightNumber();
  if (page->NumberOfKeys() != 0 || next == head || !ValidPageNumber(next)) {
    RaiseError(CAIRN_INDEXCORRUPT);
  }
  SetNextFreePageNumber(next);
  return page;
}

TPageRef TIndexFile::AllocatePage(int pos) {
  CheckSlot(pos);
  if (!TPage::FitsPage(FIndexDefinitions[pos], FPageSize)) RaiseCorruptIndex(pos);
  TPageRef page = TakeFreePage();
  page->Initialize(FIndexDefinitions[pos]);
  return page;
}

TPageRef TIndexFile::AllocateRawPage(uint8_t pageType) {
  TPageRef page = TakeFreePage();
  page->InitializeRaw(pageType);
  return page;
}

void TIndexFile::FreePage(TPage& page) {
  CountTreeChange();
  int32_t head = FHeader.NextFreePage;
  if (head == FHeader.NextEndingPage) head = 0;
  page.ClearEntries();
  page.SetRightNumber(head);
  SetNextFreePageNumber(page.Number());
}

}  // namespace cairn
