// TKxIndexDefs: the framework's collection already chooses indexes by field list the way
// datasets of this library need; these overrides keep that one rule in one place.
#include "common/kxtables/indexdefs.h"

namespace kx {

host::TIndexDef* TKxIndexDefs::GetIndexForFields(std::string_view Fields, bool CaseInsensitive) {
  return host::TIndexDefs::GetIndexForFields(Fields, CaseInsensitive);
}

host::TIndexDef* TKxIndexDefs::FindIndexForFields(std::string_view Fields) {
  return host::TIndexDefs::FindIndexForFields(Fields);
}

}  // namespace kx
