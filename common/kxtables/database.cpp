#include "common/kxtables/database.h"

#include <mutex>
#include <utility>
#include <vector>

#include "common/kxconst.h"
#include "common/kxtables/errors.h"
#include "platform/rtl/application.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/strings.h"

namespace kx {

namespace {

constexpr const char* kUserName = "USER NAME";
constexpr const char* kPassword = "PASSWORD";

struct LoginDialog {
  std::mutex Lock;
  TDatabaseLoginDialogProc Proc;
};

LoginDialog& DatabaseLoginDialog() {
  static auto* dialog = new LoginDialog();
  return *dialog;
}

// The line of a list that is byte for byte equal to Line.
bool HasLine(const host::TStrings& List, const std::string& Line) {
  for (int i = 0; i < List.Count(); ++i) {
    if (List.Get(i) == Line) return true;
  }
  return false;
}

}  // namespace

TDatabaseLoginDialogProc SetDatabaseLoginDialogProc(TDatabaseLoginDialogProc Proc) {
  LoginDialog& dialog = DatabaseLoginDialog();
  std::lock_guard guard(dialog.Lock);
  std::swap(dialog.Proc, Proc);
  return Proc;
}

// ---- Life cycle ----------------------------------------------------------------------------------

TKxAbsDatabase::TKxAbsDatabase(host::TComponent* AOwner)
    : host::TCustomConnection(AOwner), FParams(std::make_unique<host::TStringList>()) {
  // The parameters describe the connection to make: they may not change under an open one.
  FParams->SetOnChanging([this](host::TObject*) { CheckInactive(); });
  SetLoginPrompt(true);
}

void TKxAbsDatabase::InitSession() {
  if (FSession != nullptr) return;
  TKxAbsSession* session = GetOwnerSession(Owner());
  if (session == nullptr) return;
  FSessionName = session->GetSessionName();
  AttachSession(session);
}

void TKxAbsDatabase::BeforeDestruction() {
  // Closes the connection (and with it the datasets) while the object is whole.
  host::TCustomConnection::BeforeDestruction();
  try {
    // Datasets registered with a database that never connected still have to let go.
    CloseDataSets();
  } catch (...) {
    // Destruction cannot fail.
  }
  AttachSession(nullptr);
}

TKxAbsDatabase::~TKxAbsDatabase() {
  // A database destroyed without the early step (a member or a local variable).
  if (FSession != nullptr) AttachSession(nullptr);
}

void TKxAbsDatabase::AttachSession(TKxAbsSession* NewSession) {
  if (FSession == NewSession) return;
  if (FSession != nullptr) {
    TKxAbsSession* old = FSession;
    FSession = nullptr;
    old->RemoveDatabase(this);
    RemoveFreeNotification(old);
  }
  FSession = NewSession;
  if (FSession != nullptr) {
    FSession->AddDatabase(this);
    // Hear of the session's removal also when it has another owner.
    FreeNotification(FSession);
  }
}

void TKxAbsDatabase::SessionRemoved(TKxAbsSession* Session) noexcept {
  if (Session == nullptr || Session != FSession) return;
  try {
    Close();
  } catch (...) {
    // The session goes either way; its connection is given up.
  }
  TKxAbsSession* fallback = nullptr;
  if (!ComponentState().Contains(host::csDestroying)) {
    try {
      fallback = GetDefaultSession();
    } catch (...) {
      fallback = nullptr;
    }
  }
  if (fallback == Session) fallback = nullptr;
  // An empty session name stands for the default session.
  FSessionName.clear();
  AttachSession(fallback);
}

void TKxAbsDatabase::Notification(host::TComponent* AComponent, host::TOperation Operation) {
  host::TCustomConnection::Notification(AComponent, Operation);
  if (Operation == host::opRemove && AComponent != nullptr && AComponent == FSession) {
    SessionRemoved(FSession);
  }
}

void TKxAbsDatabase::Loaded() {
  host::TCustomConnection::Loaded();
  if (!GetStreamedConnected()) CheckSessionName(false);
}

// ---- Engine operations with a base ----------------------------------------------------------

void TKxAbsDatabase::Login(host::TStrings* LoginParams) {
  if (FOnLogin) {
    FOnLogin(this, LoginParams);
  } else {
    TDatabaseLoginDialogProc dialog;
    {
      LoginDialog& d = DatabaseLoginDialog();
      std::lock_guard guard(d.Lock);
      dialog = d.Proc;
    }
    std::string user = LoginParams->Values(kUserName);
    std::string password;
    if (!dialog || !dialog(FDatabaseName, user, password)) {
      KxDatabaseErrorFmt(this, SLoginError, {host::FormatArg(FDatabaseName)});
    }
    LoginParams->SetValues(kUserName, user);
    LoginParams->SetValues(kPassword, password);
  }
  host::Application()->ProcessMessages();
}

void TKxAbsDatabase::SetDatabaseFlags() { FSQLBased = false; }

std::string TKxAbsDatabase::GetDirectory() { return {}; }

void TKxAbsDatabase::SetDirectory(const std::string& /*Value*/) { KxDatabaseError(this, SKxErrorSettingDirectory); }

void TKxAbsDatabase::FlushSchemaCache(const std::string& /*TableName*/) {}

// ---- State checks ---------------------------------------------------------------------------------

void TKxAbsDatabase::CheckActive() {
  if (IsHandleNull()) KxDatabaseError(this, SDatabaseClosed);
}

void TKxAbsDatabase::CheckInactive() {
  if (IsHandleNull()) return;
  if (ComponentState().Contains(host::csDesigning)) {
    Close();
  } else {
    KxDatabaseError(this, SDatabaseOpen);
  }
}

void TKxAbsDatabase::CheckDatabaseName() {
  if (FDatabaseName.empty() && !FTemporary) KxDatabaseError(this, SDatabaseNameMissing);
}

// ---- Names and sessions ----------------------------------------------------------------------------

void TKxAbsDatabase::SetDatabaseName(const std::string& Value) {
  if (IsReading()) {
    FDatabaseName = Value;
    return;
  }
  if (FDatabaseName == Value) return;
  CheckInactive();
  ValidateName(Value);
  FDatabaseName = Value;
}

void TKxAbsDatabase::ValidateName(const std::string& Name) {
  if (Name.empty() || FSession == nullptr) return;
  TKxAbsDatabase* other = FSession->FindDatabase(Name);
  if (other == nullptr || other == this || (other->FHandleShared && FHandleShared)) return;
  if (!other->FTemporary || other->FRefCount != 0) {
    KxDatabaseErrorFmt(this, SDuplicateDatabaseName, {host::FormatArg(Name)});
  }
  // An unused temporary database gives its name up.
  delete other;
}

void TKxAbsDatabase::SetSessionName(const std::string& Value) {
  if (IsReading()) {
    FSessionName = Value;
    return;
  }
  CheckInactive();
  if (FSessionName == Value) return;
  FSessionName = Value;
  CheckSessionName(false);
}

void TKxAbsDatabase::CheckSessionName(bool Required) {
  TKxAbsSessionList* sessions = GetSessions();
  TKxAbsSession* session = nullptr;
  if (sessions != nullptr) {
    session = Required ? sessions->GetSessionByName(FSessionName) : sessions->FindSession(FSessionName);
  }
  if (session != nullptr && session != FSession) {
    AttachSession(session);
    try {
      ValidateName(FDatabaseName);
    } catch (...) {
      FDatabaseName.clear();
      throw;
    }
  }
  if (Required && session != nullptr) session->SetActive(true);
}

TKxAbsSession* TKxAbsDatabase::RequireSession() {
  if (FSession == nullptr) CheckSessionName(true);
  if (FSession == nullptr) host::DatabaseErrorFmt(SInvalidSessionName, {host::FormatArg(FSessionName)});
  return FSession;
}

// ---- Properties that need a closed database --------------------------------------------------

void TKxAbsDatabase::SetAliasName(const std::string& Value) {
  CheckInactive();
  FAliasName = Value;
}

void TKxAbsDatabase::SetParams(const host::TStrings* Value) {
  CheckInactive();
  FParams->Assign(Value);
}

void TKxAbsDatabase::SetExclusive(bool Value) {
  CheckInactive();
  FExclusive = Value;
}

void TKxAbsDatabase::SetReadOnly(bool Value) {
  CheckInactive();
  FReadOnly = Value;
}

void TKxAbsDatabase::SetKeepConnection(bool Value) {
  if (FKeepConnection == Value) return;
  FKeepConnection = Value;
  if (!Value && FRefCount == 0) Close();
}

// ---- Connecting ------------------------------------------------------------------------------------

void TKxAbsDatabase::CheckDatabaseAlias(std::string& Password, bool UseAlias, bool ForceLogin) {
  TKxAbsSession* session = RequireSession();
  Password.clear();
  FSessionAlias = false;
  host::TStringList aliasParams;
  if (!FAliasName.empty() && FAliasName.find('\\') == std::string::npos && UseAlias) {
    try {
      session->GetAliasParams(FAliasName, &aliasParams);
    } catch (const host::Exception&) {
      // An alias the engine cannot resolve falls back to the session's own parameters.
      aliasParams.Clear();
      session->GetSessionParams(&aliasParams);
    }
  } else {
    session->GetSessionParams(&aliasParams);
  }

  if (ForceLogin || (GetLoginPrompt() && !FLoginPromptOnlyIfNecessary)) {
    if (FParams->Values(kUserName).empty()) FParams->SetValues(kUserName, aliasParams.Values(kUserName));
    host::TStringList loginParams;
    loginParams.SetValues(kUserName, FParams->Values(kUserName));
    Login(&loginParams);
    Password = loginParams.Values(kPassword);
    FParams->SetValues(kUserName, loginParams.Values(kUserName));
  } else {
    Password = FParams->Values(kPassword);
  }

  // Parameters of the database that override the alias's make a session alias of their own.
  bool needAlias = !FAliasName.empty() && FAliasName != FDatabaseName;
  for (int i = 0; i < FParams->Count(); ++i) {
    const std::string line = FParams->Get(i);
    if (HasLine(aliasParams, line)) continue;
    const std::string name = FParams->Names(i);
    if (host::SameText(name, kPassword) || aliasParams.IndexOfName(name) < 0) continue;
    aliasParams.SetValues(name, FParams->ValueFromIndex(i));
    needAlias = true;
  }
  if (needAlias) {
    session->InternalAddAlias(FDatabaseName, &aliasParams, TConfigMode{cfmSession}, false);
    FSessionAlias = true;
  }
}

void TKxAbsDatabase::DoDisconnect() {
  if (IsHandleNull() || FDisconnecting) return;
  struct Disconnecting {
    bool& flag;
    explicit Disconnecting(bool& f) : flag(f) { flag = true; }
    ~Disconnecting() { flag = false; }
  } disconnecting(FDisconnecting);
  if (FSession != nullptr) FSession->DBNotification(dbClose, {this, {}});
  CloseDataSets();
  if (FIsInTransaction) Rollback();
  if (FAcquiredHandle) {
    FAcquiredHandle = false;
  } else if (FSession != nullptr) {
    FSession->CloseDatabaseHandle(this);
  }
  FSQLBased = false;
  FRefCount = 0;
  if (FSessionAlias) {
    FSessionAlias = false;
    if (FSession != nullptr) FSession->InternalDeleteAlias(FDatabaseName, TConfigMode{cfmSession}, true);
  }
}

void TKxAbsDatabase::CloseDataSets() {
  while (DataSetCount() > 0) {
    host::TDataSet* dataSet = DataSets(DataSetCount() - 1);
    if (auto* link = dynamic_cast<IKxDataSetLink*>(dataSet)) {
      link->Disconnect();
    } else {
      dataSet->Close();
    }
    // A dataset that stayed registered would be closed again and again.
    if (DataSetCount() > 0 && DataSets(DataSetCount() - 1) == dataSet) UnRegisterClient(dataSet);
  }
}

// ---- Transactions ------------------------------------------------------------------------------------

void TKxAbsDatabase::Commit() {
  CheckActive();
  EndTransaction(teCommit);
  NotifyTransactionEnded(true);
}

void TKxAbsDatabase::Rollback() {
  // Told also when the rollback fails: the engine keeps nothing of an unfinished transaction,
  // so the changes applied inside it must become pending again rather than be lost.
  struct Notify {
    TKxAbsDatabase* Self;
    ~Notify() { Self->NotifyTransactionEnded(false); }
  } notify{this};
  CheckActive();
  EndTransaction(teRollback);
}

void TKxAbsDatabase::NotifyTransactionEnded(bool Committed) noexcept {
  // By index from the end: a dataset may leave the list while it settles.
  for (int i = DataSetCount() - 1; i >= 0; --i) {
    if (i >= DataSetCount()) continue;
    if (auto* link = dynamic_cast<IKxDataSetLink*>(DataSets(i))) link->TransactionEnded(Committed);
  }
}

void TKxAbsDatabase::ApplyUpdates(std::initializer_list<host::TDataSet*> DataSets) {
  ApplyUpdates(std::span<host::TDataSet* const>(DataSets.begin(), DataSets.size()));
}

void TKxAbsDatabase::ApplyUpdates(std::span<host::TDataSet* const> DataSets) {
  StartTransaction();
  std::vector<IKxDataSetLink*> links;
  try {
    // Every dataset is checked before any is applied: a wrong one must not have the others'
    // changes applied and then rolled back under their feet.
    links.reserve(DataSets.size());
    for (host::TDataSet* dataSet : DataSets) {
      auto* link = dynamic_cast<IKxDataSetLink*>(dataSet);
      if (link == nullptr || link->GetDatabase() != this) {
        KxDatabaseErrorFmt(this, SUpdateWrongDB,
                           {host::FormatArg(dataSet != nullptr ? dataSet->Name() : std::string()),
                            host::FormatArg(Name())});
      }
      links.push_back(link);
    }
    for (IKxDataSetLink* link : links) link->ApplyUpdates();
    Commit();
  } catch (...) {
    try {
      Rollback();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  for (IKxDataSetLink* link : links) link->CommitUpdates();
}

}  // namespace kx
