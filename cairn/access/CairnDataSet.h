// A dataset over one engine cursor: its field objects, its record buffers, adding records and
// browsing them.
//
// Opening takes the record size and the modify right from the cursor, rebuilds the field
// definitions and field objects, and reads the first record. The dataset holds only the current
// row: the browse buffer (the current record, if any) and the insert buffer (the new record while
// in dsInsert). Field objects read and write the active buffer of the state. Nothing reaches the
// table until Post.
//
// Every row buffer has FRecBufSize bytes:
//
//   0              FRecordSize      FRecInfoOfs             FBookmarkOfs        FRecBufSize
//   | record image | calculated     | record information    | bookmark           |
//   | (slot layout)| fields         | number:i32 flag:u8 +3 | (the cursor's)     |
//
// A calculated field takes one byte (1 when it has a value) and then its value in the field's
// native form. The record information holds the row's record number and its bookmark flag
// (TBookmarkFlag); the bookmark area holds the cursor's bookmark of the row.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "cairn/access/CairnBaseDataSet.h"
#include "cairn/access/CairnFields.h"
#include "cairn/access/CairnValue.h"
#include "cairn/access/FieldTypes.h"
#include "cairn/engine/data/FieldDefinition.h"

namespace cairn {

// A generic field definition: what every dataset knows of a field, whatever created it.
struct TFieldDef {
  int32_t FieldNo = 0;
  std::string Name;
  TFieldType DataType = ftUnknown;
  int32_t Size = 0;
  bool Required = false;
};

// How a row buffer relates to the cursor: read from it (current), before the first or after the
// last record, or a new record not stored yet.
enum TBookmarkFlag : uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };

// What a post-error handler decides: let the error propagate, end silently (EAbort), or try the
// post again.
enum TDataAction : uint8_t { daFail, daAbort, daRetry };

// The silent exception: an operation abandoned on purpose, with nothing to report.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// A row's place, as the cursor gives it; empty when there is none.
using TBookmark = std::vector<char>;

class TCairnDataSet;
using TDataSetNotifyEvent = std::function<void(TCairnDataSet&)>;
using TDataSetErrorEvent = std::function<TDataAction(TCairnDataSet&, const std::exception& error)>;

class TCairnDataSet : public TCairnBaseDataSet {
 public:
  explicit TCairnDataSet(TComponent* owner = nullptr);

  // ---- Events -----------------------------------------------------------------------------------
  // A before-event that throws stops the operation before it changes anything. None runs while
  // the dataset is being destroyed.
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforePost, AfterPost;
  TDataSetNotifyEvent BeforeCancel, AfterCancel, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh;
  // A new record has its defaults; values set here count as the record's initial values.
  TDataSetNotifyEvent OnNewRecord;
  // Computes the calculated fields of a row read from the cursor; runs in dsCalcFields, where
  // only calculated fields can be set.
  TDataSetNotifyEvent OnCalcFields;
  // Decides what a failed post does; without a handler the error propagates.
  TDataSetErrorEvent OnPostError;

  // False while closed and for a cursor opened read-only.
  bool CanModify() const { return FCanModify; }
  // How many records the cursor reads ahead for a remote session.
  int32_t RemoteReadSize() const { return FRemoteReadSize; }
  void SetRemoteReadSize(int32_t value) { FRemoteReadSize = value; }

  // ---- Record buffer layout (0 until the dataset has been opened) -------------------------------
  // Bytes of one record in the engine's slot layout.
  int32_t RecordSize() const { return FRecordSize; }
  int32_t CalcFieldsSize() const { return FCalcFieldsSize; }
  int32_t RecInfoOfs() const { return FRecInfoOfs; }
  int32_t BookmarkOfs() const { return FBookmarkOfs; }
  int32_t BookmarkSize() const { return FBookmarkSize; }
  int32_t RecBufSize() const { return FRecBufSize; }
  // The buffer field objects read and write in the current state; null when there is none:
  // dsInsert the new record, dsCalcFields the row being computed, dsOldValue FOldRecordBuffer,
  // dsBrowse, dsEdit, dsNewValue the current row if there is one. Key and filter buffers are
  // not kept (searching by key and filters are not offered), so dsSetKey and dsFilter have none.
  const char* ActiveBuffer() const { return ActiveRecordBuffer(); }
  // The record number of the active row's record information; 0 for a new record or none.
  int32_t RecNo() const;

  // The generic field definitions of the last open; they stay after the dataset closes.
  const std::vector<TFieldDef>& GenericFieldDefs() const { return FGenericFieldDefs; }

  // ---- Field objects (rebuilt at every open, freed at close) ----------------------------------
  TCairnFields& Fields() { return FFields; }
  TCairnField* FindField(const std::string& name) const { return FFields.FindField(name); }
  // Letter case ignored; "<Name>: Field '%s' not found" for an unknown name.
  TCairnField& FieldByName(const std::string& name) const;
  // Declares a calculated field: a field object of kind fkCalculated, made at every open after
  // the data fields, whose value lives in the row's calculated-field area and is set by
  // OnCalcFields (or while inserting). Needs a closed dataset; blob and memo types are refused.
  void AddCalcField(const std::string& name, TFieldType dataType, int32_t size = 0);

  // ---- Adding records -------------------------------------------------------------------------
  // A new record with the engine's defaults, in dsInsert. A pending change is completed first
  // (posted when modified, else cancelled). Needs an open, modifiable dataset.
  void Insert();
  // The same as Insert: records take their place by the index, not by where they were added.
  void Append() { Insert(); }
  // Stores the new record through the cursor. A required field without a value fails before the
  // engine is asked; an engine failure propagates with the dataset still in dsInsert and the
  // values kept. Afterwards the stored record is the current one. Nothing happens in dsBrowse.
  // Changing stored records (Edit) is not offered: the cursor has no operation to modify one.
  void Post();
  // Abandons the new record and the blob values it opened.
  void Cancel();
  // Adds one record from values in field order: a new record, each value given to the field at
  // its position (fewer values leave the rest at their defaults), then stored through the
  // cursor without the required-field check; the engine's own checks apply. More values than
  // fields fail before anything changes. On any failure the dataset is back in dsBrowse and
  // nothing is stored.
  void AppendRecord(const std::vector<TCairnValue>& values);
  bool Modified() const { return FModified; }

  // ---- Browsing, in the order of the cursor's current index -----------------------------------
  // Each completes a pending change first.
  void First();
  void Last();
  void Next();
  void Prior();
  // Reads the current record again and with it what other users changed in the table: their
  // new records are reached by browsing and counted by RecordCount. A current record another
  // user removed gives way to the first record.
  void Refresh();
  // Eof: a Next found no further record, or there is none. Bof: on the first record, or none.
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  bool IsEmpty() const { return !FHasRecord && State() == dsBrowse; }
  // The live records of the table, as its header counts them (what others added included).
  int32_t RecordCount() const;

  // ---- Bookmarks --------------------------------------------------------------------------------
  // The current row's bookmark; empty without a current row and for a record not stored yet.
  TBookmark GetBookmark() const;
  // Makes the bookmarked record current (completing a pending change first); a record that is
  // gone fails with the engine's error.
  void GotoBookmark(const TBookmark& bookmark);
  // Whether the bookmark names a record the table still holds.
  bool BookmarkValid(const TBookmark& bookmark);
  // The order of two bookmarks in the current index: negative, 0 or positive; an empty bookmark
  // comes before any other.
  int CompareBookmarks(const TBookmark& a, const TBookmark& b);

  // ---- For the field objects ------------------------------------------------------------------
  const TFieldDefinition& EngineField(int32_t fieldNo) const;
  // Copies the field's native value from the active buffer; false when null or without one.
  bool GetFieldData(const TCairnField& field, char* buffer) const;
  // The field's native value where it lies in the active buffer, or copied into scratch
  // (kFieldScratchSize bytes) when it lies elsewhere; null when null or without a buffer. Valid
  // until the active buffer changes.
  const char* FieldValue(const TCairnField& field, char* scratch) const;
  // Writes the native value (null for null) into the active buffer; needs an editing state.
  void SetFieldData(TCairnField& field, const void* buffer);
  // Whether a blob stream wrote the field in the pending record (its value is open in the
  // cursor until the record is posted or cancelled).
  bool FieldModified(const TCairnField& field) const;
  void SetFieldModified(const TCairnField& field);

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  void CancelPendingChange() override;
  void DoBeforeOpen() override { Run(BeforeOpen); }
  void DoAfterOpen() override;
  void DoBeforeClose() override { Run(BeforeClose); }
  void DoAfterClose() override { Run(AfterClose); }

  // Rebuilds the field definitions from the cursor's field descriptors.
  virtual void InternalInitFieldDefs();
  // Reads the cursor's index information; a dataset without index definitions has none to read.
  virtual void InternalReadIndexInfo() {}

  // A field of the open cursor as the component layer sees it.
  struct TSurfacedField {
    int32_t FieldNo;
    TFieldDefinition Descriptor;
    TFieldType DataType;
    int32_t Size;
  };
  // The fields of the open cursor that are not hidden and whose engine type has a field type, in
  // field-number order.
  std::vector<TSurfacedField> SurfacedFields() const;
  void ClearGenericFieldDefs() { FGenericFieldDefs.clear(); }
  void AddGenericFieldDef(const TSurfacedField& field);

 private:
  friend class TCairnBlobStream;
  struct TCalcFieldDef {
    std::string Name;
    TFieldType DataType;
    int32_t Size;
  };

  void Run(const TDataSetNotifyEvent& event) {
    if (event && !Destroying()) event(*this);
  }
  void CreateFields();
  void FreeModifiedBlobs(char* record);
  char* ActiveRecordBuffer() const;
  // Posts a modified pending change, cancels an unmodified one.
  void CheckBrowseMode();
  void CheckRequiredFields() const;
  // The new record in the insert buffer: defaults, cleared calculated fields, record
  // information, FOldRecordBuffer cleared, dsInsert, OnNewRecord.
  void BeginInsert();
  bool StoreInsertBuffer();
  void EndInsertAfterStore();
  // Takes the record the cursor read into FScratch as the current one.
  void TakeRecord();
  void CalculateFields(char* buffer);
  // Reads the cursor's current record again; without one (or when it is gone) the first.
  void ReadCurrent();
  void ReadFirst();
  void ReadLast();
  void Step(bool forward);
  int32_t BookmarkRecord(const TBookmark& bookmark) const;
  // Runs body positioned on the bookmarked record, then puts the cursor back on the current row.
  uint16_t VisitBookmark(const TBookmark& bookmark, const std::function<void()>& body);

  int32_t FRecordSize = 0;
  int32_t FCalcFieldsSize = 0;
  int32_t FRecInfoOfs = 0;
  int32_t FBookmarkOfs = 0;
  int32_t FBookmarkSize = 0;
  int32_t FRecBufSize = 0;
  bool FCanModify = false;
  TCairnFields FFields;
  std::vector<TCalcFieldDef> FCalcFieldDefs;
  // Mutable: the cursor's field reads take a non-const record.
  mutable std::vector<char> FRecordBuffer;
  mutable std::vector<char> FInsertBuffer;
  std::vector<char> FOldRecordBuffer;
  std::vector<char> FScratch;
  // The row whose calculated fields are being computed (dsCalcFields).
  char* FCalcBuffer = nullptr;
  bool FHasRecord = false;
  int32_t FBookmark = 0;
  bool FEof = true;
  bool FBof = true;
  bool FModified = false;
  // Field numbers written through blob streams in the pending record.
  std::vector<int32_t> FModifiedBlobFields;
  int32_t FRemoteReadSize = 1;
  std::vector<TFieldDef> FGenericFieldDefs;
};

}  // namespace cairn
