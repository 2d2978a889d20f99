// TKxDataSet: the operations a provider drives a dataset through: transactions around
// applying a delta, engine errors turned into update errors, reset, and applying one record
// through the application's OnUpdateRecord.
#include "common/kxtables/database.h"
#include "common/kxtables/dataset.h"
#include "common/kxtables/errors.h"

namespace kx {

using namespace host;

namespace {

// Database flag held while a provider's transaction is open or the SQL question is asked.
constexpr int ProviderFlag = 10;

}  // namespace

std::string TKxDataSet::PSGetQuoteChar() { return "\""; }

void TKxDataSet::PSStartTransaction() {
  SetDBFlag(ProviderFlag, true);
  try {
    GetDatabase()->StartTransaction();
  } catch (...) {
    SetDBFlag(ProviderFlag, false);
    throw;
  }
}

void TKxDataSet::PSEndTransaction(bool Commit) {
  try {
    GetDatabase()->EndTransaction(Commit ? teCommit : teRollback);
  } catch (...) {
    SetDBFlag(ProviderFlag, false);
    throw;
  }
  SetDBFlag(ProviderFlag, false);
}

bool TKxDataSet::PSInTransaction() {
  TKxAbsSession* session = GetSessions()->GetSessionByName(FSessionName);
  TKxAbsDatabase* database = session->DoFindDatabase(FDatabaseName, Owner());
  return database != nullptr && database->GetInTransaction();
}

bool TKxDataSet::PSIsSQLBased() {
  const bool wasSet = SetDBFlag(ProviderFlag, true);
  bool result;
  try {
    result = GetDatabase()->GetIsSQLBased();
  } catch (...) {
    SetDBFlag(ProviderFlag, wasSet);
    throw;
  }
  SetDBFlag(ProviderFlag, wasSet);
  return result;
}

void TKxDataSet::PSReset() {
  TDataSet::PSReset();
  if (!IsHandleNull()) {
    InternalRefresh();
    First();
  }
}

std::unique_ptr<EUpdateError> TKxDataSet::PSGetUpdateException(const Exception& E,
                                                               const EUpdateError* Prev) {
  const auto* engineError = dynamic_cast<const EKxDBEngineError*>(&E);
  if (engineError == nullptr) return TDataSet::PSGetUpdateException(E, Prev);
  // An engine error without entries carries no native code to report.
  const int errorCode = engineError->GetErrorCount() > 0 ? engineError->GetErrors(0).GetNativeError() : 0;
  const int previous = Prev != nullptr ? Prev->ErrorCode() : 0;
  return std::make_unique<EUpdateError>(E.Message(), std::string(), errorCode, previous,
                                        std::shared_ptr<Exception>(E.Clone()));
}

bool TKxDataSet::PSUpdateRecord(TUpdateKind UpdateKind, TDataSet* Delta) {
  if (!FOnUpdateRecord) return false;
  TUpdateAction action = uaFail;
  FOnUpdateRecord(Delta, UpdateKind, action);
  return action == uaApplied;
}

}  // namespace kx
