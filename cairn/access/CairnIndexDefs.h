// A table's index definitions: an ordered list of TCairnIndexDef, names unique without regard to
// case (the primary index's empty name included). Errors marked with the owner carry the table
// component's name in front.
#pragma once

#include <memory>
#include <string>

#include "cairn/access/CairnIndexDef.h"
#include "cairn/access/DefCollection.h"
#include "cairn/access/FieldTypes.h"

namespace cairn {

class TCairnIndexDefs : public TDefCollection {
 public:
  explicit TCairnIndexDefs(TComponent* dataSet = nullptr) : TDefCollection(dataSet) {}

  const char* ClassName() const override { return "TCairnIndexDefs"; }
  TCairnIndexDef& Items(int index) const { return static_cast<TCairnIndexDef&>(ItemAt(index)); }

  // Appends a definition. A name already in the list, even the empty one, fails with
  // "<table>: Duplicate index name '%s'". A non-empty descFields adds ixDescending; options with
  // ixDescending and no descFields make every field descending.
  TCairnIndexDef& Add(const std::string& name, const std::string& fields,
                      TIndexOptions options = {}, const std::string& descFields = {},
                      TIndexCompression compression = icNone, bool noKeyStatistics = false);
  // An empty definition at the end.
  TCairnIndexDef& AddIndexDef();

  // Fails with "<table>: Index '%s' not found".
  TCairnIndexDef& Find(const std::string& name) const;

  // Refreshes the list (Update), then looks for an index on a field list: first one whose
  // Fields equal the list, then one whose Fields begin with it followed by ";". Names compare
  // without regard to case; expression indexes are skipped, and so are indexes without
  // ixCaseInsensitive when caseInsensitive is asked. Null when there is none.
  TCairnIndexDef* GetIndexForFields(const std::string& fields, bool caseInsensitive);
  // GetIndexForFields without case-insensitivity; fails with "<table>: No index for fields '%s'".
  TCairnIndexDef& FindIndexForFields(const std::string& fields);

 private:
  friend class TCairnIndexDef;
  std::unique_ptr<TCairnIndexDef> NewDef();
};

}  // namespace cairn
