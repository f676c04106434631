// The base of every dataset of the component layer: its state and the engine cursor it holds.
//
// A dataset is closed (no cursor) or open (cursor held, state dsBrowse or an editing state).
// Open runs OpenCursor, then InternalOpen; a failure in either leaves the dataset closed with its
// cursor freed. Close cancels a pending change, then runs InternalClose, then CloseCursor.
// Opening an open dataset and closing a closed one do nothing.
//
// Destructors cannot reach the overrides of a derived class, so the most derived class closes the
// dataset in its own destructor (Destroy).
#pragma once

#include <cstdint>
#include <memory>

#include "cairn/access/Component.h"

namespace cairn {

class TDataCursor;

enum TDataSetState : uint8_t {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsInternalCalc,
};

class TCairnBaseDataSet : public TComponent {
 public:
  explicit TCairnBaseDataSet(TComponent* owner = nullptr);
  ~TCairnBaseDataSet() override;

  TDataSetState State() const { return FState; }
  bool Active() const { return FState != dsInactive; }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  // The engine cursor of the open dataset; null while closed.
  TDataCursor* Handle() const { return FHandle.get(); }

 protected:
  // Makes the opened engine cursor; a null result fails with "Error creating table handle".
  virtual std::unique_ptr<TDataCursor> CreateHandle() = 0;
  // Takes the cursor from CreateHandle. Derived classes wrap it to hold what the cursor needs.
  virtual void OpenCursor();
  // Closes the cursor and frees it; FHandle is null afterwards even when the close failed.
  virtual void CloseCursor();
  // The dataset's own open and close steps, run with the cursor held.
  virtual void InternalOpen() {}
  virtual void InternalClose() {}
  // Abandons a pending insert or edit; run by Close before InternalClose.
  virtual void CancelPendingChange() {}
  void SetState(TDataSetState state) { FState = state; }
  // Fails with "<Name>: Cannot perform this operation on a closed dataset" while closed.
  void CheckActive() const;

  // Closes the dataset for a destructor: failures are swallowed, the cursor is let go of.
  void Destroy() noexcept;
  // Fails with "<Name>: Cannot perform this operation on an open dataset" while open.
  void CheckInactive() const;

 private:
  void DoOpen();
  void DoClose();

  std::unique_ptr<TDataCursor> FHandle;
  TDataSetState FState = dsInactive;
};

}  // namespace cairn
