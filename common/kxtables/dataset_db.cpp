// TKxDataSet: the database and session a dataset works in, the database flags, and the
// moves to the ends that may scan many records.
#include <optional>

#include "common/kxconst.h"
#include "common/kxtables/database.h"
#include "common/kxtables/dataset.h"
#include "common/kxtables/errors.h"
#include "common/kxtables/session.h"
#include "common/kxtables/trace.h"

namespace kx {

using namespace host;


// ---- moves to the ends --------------------------------------------------------------------

// The wait cursor's restore matches its set, also when the move changes what IsMayBeSlow
// answers or raises.
void TKxDataSet::InternalFirst() {
  std::optional<TKxSQLHourGlass> wait;
  if (IsMayBeSlow()) wait.emplace(GetDBSession());
  InternalMoveFirst(true);
}

void TKxDataSet::InternalLast() {
  std::optional<TKxSQLHourGlass> wait;
  if (IsMayBeSlow()) wait.emplace(GetDBSession());
  InternalMoveLast(true);
}

// ---- session and database -----------------------------------------------------------------

TKxAbsSession* TKxDataSet::GetDBSession() {
  if (FDatabase != nullptr) return FDatabase->GetSession();
  TKxAbsSession* session = GetSessions()->FindSession(FSessionName);
  return session != nullptr ? session : GetDefaultSession();
}

TKxAbsDatabase* TKxDataSet::GetDatabase() {
  if (FDatabase != nullptr) return FDatabase;
  return OpenDatabase();
}

TKxAbsDatabase* TKxDataSet::OpenDatabase() {
  TKxAbsSession* session = GetSessions()->GetSessionByName(FSessionName);
  return session->DoOpenDatabase(FDatabaseName, Owner());
}

TKxAbsDatabase* TKxDataSet::OpenDatabaseEx(bool SetDatabase) {
  TKxAbsDatabase* database = OpenDatabase();
  if (SetDatabase) FDatabase = database;
  return database;
}

void TKxDataSet::CloseDatabase(TKxAbsDatabase* Database) {
  if (Database == nullptr) return;
  if (TKxAbsSession* session = Database->GetSession(); session != nullptr) {
    session->CloseDatabase(Database);
  }
}

void TKxDataSet::CheckDBSessionName() {
  if (FSessionName.empty() || FDatabaseName.empty()) return;
  TKxAbsSession* session = GetSessions()->FindSession(FSessionName);
  if (session == nullptr) return;
  if (session->DoFindDatabase(FDatabaseName, Owner()) != nullptr) return;
  TKxAbsSession* defaultSession = GetDefaultSession();
  if (defaultSession == nullptr || defaultSession == session) return;
  if (TKxAbsDatabase* database = defaultSession->DoFindDatabase(FDatabaseName, Owner())) {
    database->CheckSessionName(true);
  }
}

bool TKxDataSet::SetDBFlag(int Flag, bool Value) {
  TKxDiagScope diag(diagnose1590_Open, "1590_open", "TKxDataSet.SetDBFlag");
  const bool wasSet = FDBFlags.Contains(Flag);
  if (Flag < 0 || Flag > 15 || wasSet == Value) return wasSet;
  if (Value) {
    if (FDBFlags.Empty()) {
      CheckDBSessionName();
      TKxAbsDatabase* database = OpenDatabase();
      try {
        database->RegisterClient(this);
      } catch (...) {
        CloseDatabase(database);
        throw;
      }
      FDatabase = database;
    }
    FDBFlags.Include(Flag);
  } else {
    FDBFlags.Exclude(Flag);
    if (FDBFlags.Empty()) {
      // Forget the database first: whatever the session does with it, the dataset no longer
      // holds it.
      TKxAbsDatabase* database = FDatabase;
      FDatabase = nullptr;
      if (database != nullptr) {
        database->UnRegisterClient(this);
        if (!FDisconnecting) CloseDatabase(database);
      }
    }
  }
  return wasSet;
}

void TKxDataSet::ForgetDatabase() noexcept {
  TKxAbsDatabase* database = FDatabase;
  FDatabase = nullptr;
  FDBFlags = {};
  if (database != nullptr) {
    try {
      database->UnRegisterClient(this);
    } catch (...) {
      // The registration is a list entry; nothing to report.
    }
  }
}

void TKxDataSet::Disconnect() {
  struct Flag {
    bool& Value;
    explicit Flag(bool& V) : Value(V) { Value = true; }
    ~Flag() { Value = false; }
  } disconnecting(FDisconnecting);
  // Handing the database back here could free a temporary database in the middle of its own
  // disconnect; it resets its use count itself.
  try {
    Close();
  } catch (...) {
    ForgetDatabase();
    throw;
  }
  ForgetDatabase();
}

// ---- names --------------------------------------------------------------------------------

void TKxDataSet::SetDatabaseName(const std::string& Value) {
  if (Value == FDatabaseName) return;
  CheckInactive();
  if (FDatabase != nullptr) KxDatabaseError(this, SDatabaseOpen);
  if (!FDatabaseName.empty()) {
    TKxAbsSession* session = GetDBSession();
    TKxAbsDatabase* old = session != nullptr ? session->FindDatabase(FDatabaseName) : nullptr;
    if (old != nullptr && old->GetTemporary()) {
      old->SetKeepConnection(false);
      // Another dataset may still work through that connection; only an unused one goes.
      if (old->DataSetCount() == 0) old->Close();
    }
  }
  FDatabaseName = Value;
  DataEvent(dePropertyChange, 0);
}

void TKxDataSet::SetSessionName(const std::string& Value) {
  CheckInactive();
  FSessionName = Value;
  DataEvent(dePropertyChange, 0);
}

}  // namespace kx
