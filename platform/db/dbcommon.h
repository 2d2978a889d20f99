// Helpers that read SQL text for provider support: the table a statement works on and the
// order its ORDER BY clause asks for.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/db/defs.h"

namespace host {

class TDataSet;

// The one table a SELECT (after FROM), DELETE, UPDATE or INSERT works on, as written (owner
// parts and quotes kept). Empty when there is none or more than one (a join, a list of
// tables, a derived table).
std::string GetTableNameFromSQL(std::string_view SQL);

// A new index definition (unnamed) for the ORDER BY of a SELECT: its fields separated by ";",
// those sorted DESC also in DescFields. A column given by number is taken from DataSet's fields.
// None when the statement has no ORDER BY or names something other than plain columns.
std::unique_ptr<TIndexDef> GetIndexForOrderBy(std::string_view SQL, TDataSet* DataSet);

}  // namespace host
