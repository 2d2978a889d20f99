// TKxDataSet: the operations a provider drives a dataset through.
#include "common/kxtables/dataset.h"

namespace kx {

using namespace host;

std::string TKxDataSet::PSGetQuoteChar() { return "\""; }

void TKxDataSet::PSEndTransaction(bool Commit) { TDataSet::PSEndTransaction(Commit); }

std::unique_ptr<EUpdateError> TKxDataSet::PSGetUpdateException(const Exception& E, const EUpdateError* Prev) {
  return TDataSet::PSGetUpdateException(E, Prev);
}

bool TKxDataSet::PSInTransaction() { return TDataSet::PSInTransaction(); }

bool TKxDataSet::PSIsSQLBased() { return TDataSet::PSIsSQLBased(); }

void TKxDataSet::PSReset() { TDataSet::PSReset(); }

void TKxDataSet::PSStartTransaction() { TDataSet::PSStartTransaction(); }

bool TKxDataSet::PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) {
  return TDataSet::PSUpdateRecord(UpdateKind, Delta);
}

}  // namespace kx
