// Appending a table's default rows: each row inserted field by field or given as a whole record,
// as the table's schema says.
#pragma once

#include "cairn/access/CairnTable.h"
#include "generator/TableSchemas.h"

namespace kalvora {

// Opens the table, appends the schema's default rows in their order and closes the table again,
// also when a row fails. A failure of any step, the closing flush included, propagates.
void AppendDefaultRows(cairn::TCairnTable& table, const TTableSchema& schema);

}  // namespace kalvora
