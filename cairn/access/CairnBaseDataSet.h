// The base of every dataset of the component layer: its state and the engine cursor it holds.
//
// A dataset is closed (no cursor) or open (cursor held, state dsBrowse or an editing state).
// Open runs OpenCursor, then InternalOpen; a failure in either leaves the dataset closed with its
// cursor freed. Close cancels a pending change, then runs InternalClose, then CloseCursor.
// Opening an open dataset and closing a closed one do nothing.
//
// Destructors cannot reach the overrides of a derived class, so the most derived class closes the
// dataset in its own destructor (Destroy); a dataset being destroyed runs no events.
//
// Listeners (data-aware consumers of the dataset) are told of state changes, field changes and
// moves through DataEvent, in the order they were added.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "cairn/access/Component.h"

namespace cairn {

class TDataCursor;
class TCairnField;

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

// What a dataset tells its listeners.
enum TDataEvent : uint8_t {
  deFieldChange,      // a field's value changed in the active record (the field is given)
  deRecordChange,     // the active record changed as a whole
  deDataSetChange,    // the buffered rows changed (insert, post, cancel, refresh)
  deDataSetScroll,    // the dataset moved to another record
  deLayoutChange,     // fields were added or removed
  deUpdateRecord,     // pending edits of consumers are to be written into the record
  deUpdateState,      // the dataset's state changed
  deCheckBrowseMode,  // the dataset is about to leave an editing state
  dePropertyChange,   // a property that consumers show changed (the table name)
};

using TDataSetListener = std::function<void(TDataEvent event, const TCairnField* field)>;

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

  // Listeners, by the id AddListener returns; a listener may remove itself while being told.
  int AddListener(TDataSetListener listener);
  void RemoveListener(int id);

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
  // Changes the state and tells the listeners (deUpdateState) when it differs.
  void SetState(TDataSetState state);
  // Changes the state for an internal step (computing calculated fields) without telling anyone;
  // returns the state to restore.
  TDataSetState SetTempState(TDataSetState state);
  void RestoreState(TDataSetState state) { FState = state; }
  // Inline: a browse tells its (mostly absent) listeners at every step.
  void DataEvent(TDataEvent event, const TCairnField* field = nullptr) {
    if (!FListeners.empty()) NotifyListeners(event, field);
  }
  // The open and close events; a dataset being destroyed runs none.
  virtual void DoBeforeOpen() {}
  virtual void DoAfterOpen() {}
  virtual void DoBeforeClose() {}
  virtual void DoAfterClose() {}
  bool Destroying() const { return FDestroying; }
  // Fails with "<Name>: Cannot perform this operation on a closed dataset" while closed.
  void CheckActive() const;

  // Closes the dataset for a destructor: failures are swallowed, the cursor is let go of.
  void Destroy() noexcept;
  // Fails with "<Name>: Cannot perform this operation on an open dataset" while open.
  void CheckInactive() const;

 private:
  void DoOpen();
  void DoClose();
  void NotifyListeners(TDataEvent event, const TCairnField* field);

  std::unique_ptr<TDataCursor> FHandle;
  TDataSetState FState = dsInactive;
  bool FDestroying = false;
  struct TListener {
    int Id;
    TDataSetListener Notify;
  };
  std::vector<TListener> FListeners;
  int FNextListenerId = 1;
};

}  // namespace cairn
