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
  DoBeforeOpen();
  OpenCursor();
  // On failure: InternalClose, then CloseCursor even when InternalClose failed.
  TScopeGuard closeCursor([&] { CloseCursor(); });
  TScopeGuard internalClose([&] { InternalClose(); });
  InternalOpen();
  internalClose.Dismiss();
  closeCursor.Dismiss();
  SetState(dsBrowse);
  DoAfterOpen();
}

void TCairnBaseDataSet::DoClose() {
  if (!FDestroying) DoBeforeClose();
  if (FState != dsBrowse) CancelPendingChange();
  SetState(dsInactive);
  {
    TScopeGuard closeCursor([&] { CloseCursor(); });
    InternalClose();
    closeCursor.Dismiss();
    CloseCursor();
  }
  if (!FDestroying) DoAfterClose();
}

void TCairnBaseDataSet::SetState(TDataSetState state) {
  if (state == FState) return;
  FState = state;
  if (!FDestroying) DataEvent(deUpdateState);
}

TDataSetState TCairnBaseDataSet::SetTempState(TDataSetState state) {
  const TDataSetState old = FState;
  FState = state;
  return old;
}

int TCairnBaseDataSet::AddListener(TDataSetListener listener) {
  FListeners.push_back({FNextListenerId, std::move(listener)});
  return FNextListenerId++;
}

void TCairnBaseDataSet::RemoveListener(int id) {
  std::erase_if(FListeners, [id](const TListener& l) { return l.Id == id; });
}

void TCairnBaseDataSet::NotifyListeners(TDataEvent event, const TCairnField* field) {
  // A copy: a listener may add or remove listeners while being told.
  const std::vector<TListener> listeners = FListeners;
  for (const TListener& listener : listeners) {
    if (listener.Notify) listener.Notify(event, field);
  }
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
  FDestroying = true;
  FListeners.clear();
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
