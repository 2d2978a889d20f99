// TKxIndexDefs: the index definitions of a dataset, with the lookup of an index by its field
// list that tables use to pick an index for master-detail links and ranges.
#pragma once

#include <string_view>

#include "platform/db/defs.h"

namespace kx {

class TKxIndexDefs : public host::TIndexDefs {
 public:
  explicit TKxIndexDefs(host::TDataSet* DataSet) : host::TIndexDefs(DataSet) {}

  // Refreshes the definitions from the dataset, then: the first index whose fields are
  // Fields (ignoring case), else the first whose fields begin with Fields at a field
  // boundary. Expression indexes are never chosen; with CaseInsensitive only indexes with
  // ixCaseInsensitive are. nullptr when none.
  host::TIndexDef* GetIndexForFields(std::string_view Fields, bool CaseInsensitive) override;
  // GetIndexForFields(Fields, false); raises SNoIndexForFields (the dataset as component)
  // when there is none.
  host::TIndexDef* FindIndexForFields(std::string_view Fields) override;
};

}  // namespace kx
