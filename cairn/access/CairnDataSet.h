// A dataset over one engine cursor: what it can do with the records, and the generic field
// definitions read back from the cursor when it opens.
//
// The record-buffer layout and the field objects come with record editing; opening here takes the
// record size and the modify right from the cursor and rebuilds the field definitions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cairn/access/CairnBaseDataSet.h"
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

 protected:
  void InternalOpen() override;
  void InternalClose() override;

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
  int32_t FRecordSize = 0;
  bool FCanModify = false;
  int32_t FRemoteReadSize = 1;
  std::vector<TFieldDef> FGenericFieldDefs;
};

}  // namespace cairn
