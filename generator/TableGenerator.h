// The shape every generator operation shares: define a missing table from its schema, create it
// and append its default rows.
#pragma once

#include "cairn/access/CairnTable.h"
#include "generator/TableSchemas.h"

namespace kalvora {

// Sets the table object's Exclusive (for good), asks Exists again and, when the table is
// missing, replaces the field and index definitions with the schema's, creates the table with
// the fixed creation arguments and appends the schema's default rows. When the rows fail, the new
// table is deleted before the failure propagates. Returns whether it created the table.
bool GenerateTable(cairn::TCairnTable& table, const TTableSchema& schema);

}  // namespace kalvora
