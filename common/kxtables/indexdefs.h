// TKxIndexDefs: the index definitions of a dataset, with the lookup of an index by its field
// list that tables use to pick an index for master-detail links and ranges.
#pragma once

#include "platform/db/defs.h"

namespace kx {

// The framework's collection already chooses indexes the way this library's datasets need,
// so the lookup is inherited, one rule in one place:
// GetIndexForFields(Fields, CaseInsensitive) refreshes the definitions from the dataset, then
// gives the first index whose fields are Fields (ignoring case), else the first whose fields
// begin with Fields at a field boundary; expression indexes are never chosen, and with
// CaseInsensitive only indexes with ixCaseInsensitive are; nullptr when none.
// FindIndexForFields(Fields) is GetIndexForFields(Fields, false) and raises SNoIndexForFields
// (the dataset as component) when there is none.
class TKxIndexDefs : public host::TIndexDefs {
 public:
  explicit TKxIndexDefs(host::TDataSet* DataSet) : host::TIndexDefs(DataSet) {}
};

}  // namespace kx
