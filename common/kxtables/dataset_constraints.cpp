// TKxDataSet: record and field constraints and default values.
#include "common/kxtables/dataset.h"

namespace kx {

using namespace host;

bool TKxDataSet::HasConstraints() const {
  if (GetConstraints()->Count() > 0) return true;
  for (TField* field : GetFields()->List()) {
    if (field->HasConstraints()) return true;
  }
  return false;
}

// The parsed checks and defaults are kept in the dataset's two constraint collections once
// the expression parser takes them; until then there is nothing to prepare or release.
void TKxDataSet::BeginConstrains() {}

void TKxDataSet::EndConstrains() {}

void TKxDataSet::SetDefaultConstraints(TRecordBuffer /*Buffer*/) {}

bool TKxDataSet::ConstraintsStored() const { return GetConstraints()->Count() > 0; }

void TKxDataSet::VerifyConstrains() {}

void TKxDataSet::CheckFieldConstrains(int /*FieldNo*/, TRecordBuffer /*ValueBuffer*/) {}

}  // namespace kx
