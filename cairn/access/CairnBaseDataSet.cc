#include "cairn/access/CairnBaseDataSet.h"

#include "cairn/access/DatabaseError.h"
#include "cairn/access/Messages.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/engine/io/ScopeGuard.h"

namespace cairn {

TCairnBaseDataSet::TCairnBaseDataSet(TComponent* owner) : TComponent(owner) {}

// The derived class has closed the dataset already (Destroy); what is left is only freed.
TCairnBaseDataSet::~TCairnBaseDataSet() = default;

void TCairnBaseDataSet::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    DoOpen();
  } else {
    DoClose();
  }
}

void TCairnBaseDataSet::DoOpen() {
  OpenCursor();
  // On failure: InternalClose, then CloseCursor even when InternalClose failed.
  TScopeGuard closeCursor([&] { CloseCursor(); });
  TScopeGuard internalClose([&] { InternalClose(); });
  InternalOpen();
  internalClose.Dismiss();
  closeCursor.Dismiss();
  FState = dsBrowse;
}

void TCairnBaseDataSet::DoClose() {
  if (FState != dsBrowse) CancelPendingChange();
  FState = dsInactive;
  TScopeGuard closeCursor([&] { CloseCursor(); });
  InternalClose();
  closeCursor.Dismiss();
  CloseCursor();
}

void TCairnBaseDataSet::OpenCursor() {
  FHandle = CreateHandle();
  if (!FHandle) DatabaseError(SHandleError);
}

void TCairnBaseDataSet::CloseCursor() {
  std::unique_ptr<TDataCursor> cursor = std::move(FHandle);
  if (cursor) cursor->CloseCursor(/*freeIfTemporary=*/true);
}

void TCairnBaseDataSet::Destroy() noexcept {
  try {
    Close();
  } catch (...) {
    // The cursor was freed on the way (CloseCursor); nothing else can be done in a destructor.
  }
}

void TCairnBaseDataSet::CheckInactive() const {
  if (Active()) DatabaseError(SDataSetOpen, this);
}

void TCairnBaseDataSet::CheckActive() const {
  if (!Active()) DatabaseError(SDataSetClosed, this);
}

}  // namespace cairn
