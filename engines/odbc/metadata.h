#pragma once

#include "engines/odbc/driver.h"
#include "engines/odbc/types.h"
#include "engines/store/catalog.h"

namespace kxodbc {

// ODBC type of a catalogued (or derived) column.
SqlTypeDesc typeFromColumn(const kxstore::ColumnDef& c, bool* autoUnique);
// The table's definition, cached per schema version; nullptr when there is no such table.
const kxstore::TableDef* tableDef(Dbc& dbc, const std::string& table);

}  // namespace kxodbc
