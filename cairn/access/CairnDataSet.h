// A dataset over one engine cursor: its field objects, its record buffers, adding records and
// browsing them.
//
// Opening takes the record size and the modify right from the cursor, rebuilds the field
// definitions and field objects, and reads the first record. The dataset holds two record
// buffers in the engine's slot layout: the browse buffer (the current record, if any) and the
// insert buffer (the new record while in dsInsert). Field objects read and write the active one.
// Nothing reaches the table until Post.
#pragma once

#include <cstdint>
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

class TCairnDataSet : public TCairnBaseDataSet {
 public:
  explicit TCairnDataSet(TComponent* owner = nullptr);

  // False while closed and for a cursor opened read-only.
  bool CanModify() const { return FCanModify; }
  // Bytes of one record in the engine's slot layout; 0 until the dataset has been opened.
  int32_t RecordSize() const { return FRecordSize; }
  // How many records the cursor reads ahead for a remote session.
  int32_t RemoteReadSize() const { return FRemoteReadSize; }
  void SetRemoteReadSize(int32_t value) { FRemoteReadSize = value; }

  // The generic field definitions of the last open; they stay after the dataset closes.
  const std::vector<TFieldDef>& GenericFieldDefs() const { return FGenericFieldDefs; }

  // ---- Field objects (rebuilt at every open, freed at close) ----------------------------------
  TCairnFields& Fields() { return FFields; }
  TCairnField* FindField(const std::string& name) const { return FFields.FindField(name); }
  // Letter case ignored; "<Name>: Field '%s' not found" for an unknown name.
  TCairnField& FieldByName(const std::string& name) const;

  // ---- Adding records -------------------------------------------------------------------------
  // A new record with the engine's defaults, in dsInsert. A pending change is completed first
  // (posted when modified, else cancelled). Needs an open, modifiable dataset.
  void Insert();
  // The same as Insert: records take their place by the index, not by where they were added.
  void Append() { Insert(); }
  // Stores the new record through the cursor. A required field without a value fails before the
  // engine is asked; an engine failure propagates with the dataset still in dsInsert and the
  // values kept. Afterwards the stored record is the current one. Nothing happens in dsBrowse.
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
  // Eof: a Next found no further record, or there is none. Bof: on the first record, or none.
  bool Eof() const { return FEof; }
  bool Bof() const { return FBof; }
  bool IsEmpty() const { return !FHasRecord && State() == dsBrowse; }
  // The live records of the table.
  int32_t RecordCount() const;

  // ---- For the field objects ------------------------------------------------------------------
  const TFieldDefinition& EngineField(int32_t fieldNo) const;
  // Copies the field's native value from the active buffer; false when null or without one.
  bool GetFieldData(const TCairnField& field, char* buffer) const;
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
  void CreateFields();
  void FreeModifiedBlobs(char* record);
  // The buffer field objects read and write in the current state; null when there is none.
  char* ActiveBuffer() const;
  // Posts a modified pending change, cancels an unmodified one.
  void CheckBrowseMode();
  void CheckRequiredFields() const;
  // Takes a record the cursor read into FScratch as the current one.
  void TakeRecord();
  // Reads the cursor's current record again into the browse buffer.
  void RefreshCurrent();
  void Step(bool forward);

  int32_t FRecordSize = 0;
  bool FCanModify = false;
  TCairnFields FFields;
  // Mutable: the cursor's field reads take a non-const record.
  mutable std::vector<char> FRecordBuffer;
  mutable std::vector<char> FInsertBuffer;
  std::vector<char> FOldRecordBuffer;
  std::vector<char> FScratch;
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
