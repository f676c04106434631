#include "cairn/access/CairnDataSet.h"

#include "cairn/access/FieldTypeMap.h"
#include "cairn/cursor/DataCursor.h"
#include "cairn/host/CodePage.h"

namespace cairn {

TCairnDataSet::TCairnDataSet(TComponent* owner) : TCairnBaseDataSet(owner) {}

void TCairnDataSet::InternalOpen() {
  TDataCursor& cursor = *Handle();
  FRecordSize = cursor.RecordSize();
  FCanModify = !cursor.ReadOnly();
  InternalInitFieldDefs();
  InternalReadIndexInfo();
  // Field objects, the record-buffer layout, the read-ahead count (FRemoteReadSize, which only a
  // remote cursor uses) and the position before the first record come with record editing.
}

void TCairnDataSet::InternalClose() {
  FCanModify = false;
}

void TCairnDataSet::InternalInitFieldDefs() {
  ClearGenericFieldDefs();
  for (const TSurfacedField& field : SurfacedFields()) AddGenericFieldDef(field);
}

std::vector<TCairnDataSet::TSurfacedField> TCairnDataSet::SurfacedFields() const {
  const TDataCursor& cursor = *Handle();
  std::vector<TSurfacedField> fields;
  const int count = cursor.FieldCount();
  for (int fieldNo = 1; fieldNo <= count; ++fieldNo) {
    const TFieldDefinition* descriptor = cursor.FieldDefinition(fieldNo);
    if (descriptor == nullptr || descriptor->Hidden) continue;
    std::optional<TFieldType> type = FieldTypeOf(descriptor->DataType, descriptor->SubType);
    if (!type) continue;
    fields.push_back({fieldNo, *descriptor, *type, FieldSizeOf(*type, *descriptor)});
  }
  return fields;
}

void TCairnDataSet::AddGenericFieldDef(const TSurfacedField& field) {
  FGenericFieldDefs.push_back(TFieldDef{
      .FieldNo = field.FieldNo,
      .Name = host::AnsiToUtf8(field.Descriptor.FieldName),
      .DataType = field.DataType,
      .Size = field.Size,
      // An auto-increment field gets its value from the engine: it never needs one given.
      .Required = field.Descriptor.Required && field.DataType != ftAutoInc,
  });
}

}  // namespace cairn
