#include "generator/TableGenerator.h"

#include "cairn/engine/io/ScopeGuard.h"
#include "generator/DefaultRows.h"

namespace kalvora {

bool GenerateTable(cairn::TCairnTable& table, const TTableSchema& schema) {
  table.SetExclusive(true);
  if (table.Exists()) return false;

  cairn::TCairnFieldDefs& fieldDefs = table.FieldDefs();
  fieldDefs.Clear();
  for (const TFieldSpec& field : schema.Fields)
    fieldDefs.Add(field.Name, field.DataType, field.Size, field.Required, field.DefaultValue);

  cairn::TCairnIndexDefs& indexDefs = table.IndexDefs();
  indexDefs.Clear();
  for (const TIndexSpec& index : schema.Indexes)
    indexDefs.Add(index.Name, index.Fields, index.Options);

  // Locale 0, user version 1.0, not encrypted, no password or description, index pages of 4096
  // bytes, blob blocks of 512 bytes, last auto-increment value 0, no full-text index.
  table.CreateTable(/*newLocaleID=*/0, /*newUserMajorVersion=*/1, /*newUserMinorVersion=*/0,
                    /*newEncrypted=*/false, /*newPassword=*/"", /*newDescription=*/"",
                    /*newIndexPageSize=*/4096, /*newBlobBlockSize=*/512,
                    /*newLastAutoIncValue=*/0, /*newTextIndexFields=*/"",
                    /*newTextIndexStopWords=*/nullptr, /*newTextIndexSpaceChars=*/"",
                    /*newTextIndexIncludeChars=*/"");

  if (!schema.DefaultRows.Rows.empty()) {
    // A table left without its rows would stay so for good, since later runs only check that it
    // exists: one this run created and could not fill goes again, files and all, before the
    // failure is reported, so that the next run creates it afresh.
    cairn::TScopeGuard drop([&] { table.DeleteTable(); });
    AppendDefaultRows(table, schema);
    drop.Dismiss();
  }
  return true;
}

}  // namespace kalvora
