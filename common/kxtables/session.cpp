#include "common/kxtables/session.h"

#include <algorithm>
#include <mutex>
#include <typeinfo>
#include <utility>

#include "common/kxconst.h"
#include "common/kxtables/database.h"
#include "common/kxtables/errors.h"
#include "common/mgi.h"
#include "platform/db/dberrors.h"
#include "platform/rtl/application.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/os.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sync.h"

namespace kx {

namespace {

// ---- Dialog procedures ----------------------------------------------------------------------

struct DialogProcs {
  std::mutex Lock;
  TMgiLoginDialogProc MgiLogin;
  TPasswordDialogProc Password;
};

DialogProcs& Dialogs() {
  static auto* procs = new DialogProcs();
  return *procs;
}

TMgiLoginDialogProc CurrentMgiLoginDialog() {
  std::lock_guard guard(Dialogs().Lock);
  return Dialogs().MgiLogin;
}

TPasswordDialogProc CurrentPasswordDialog() {
  std::lock_guard guard(Dialogs().Lock);
  return Dialogs().Password;
}

// ---- Wait cursor ----------------------------------------------------------------------------

struct HourGlassState {
  host::TCriticalSection Lock;
  int Count = 0;
  host::TCursor Saved = host::crDefault;
};

// Never destroyed: sessions freed during the program's exit may still restore the cursor.
HourGlassState& HourGlass() {
  static auto* state = new HourGlassState();
  return *state;
}

constexpr TConfigMode kAllConfigModes{cfmVirtual, cfmPersistent, cfmSession};

// Clears a flag when the scope ends, also on an exception.
class TFlagScope {
 public:
  explicit TFlagScope(bool& Flag) : FFlag(Flag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
};

// Puts a configuration mode back when the scope ends, when asked to.
class TConfigModeScope {
 public:
  TConfigModeScope(TKxAbsSession* Session, bool Restore)
      : FSession(Session), FSaved(Session->GetConfigMode()), FRestore(Restore) {}
  ~TConfigModeScope() {
    if (FRestore) FSession->SetConfigMode(FSaved);
  }
  TConfigModeScope(const TConfigModeScope&) = delete;
  TConfigModeScope& operator=(const TConfigModeScope&) = delete;

 private:
  TKxAbsSession* FSession;
  TConfigMode FSaved;
  bool FRestore;
};

class TUpdateScope {
 public:
  explicit TUpdateScope(host::TStrings* List) : FList(List) { FList->BeginUpdate(); }
  ~TUpdateScope() { FList->EndUpdate(); }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

 private:
  host::TStrings* FList;
};

// A server reached without logging in: no name, this computer's exact name, or "localhost".
bool IsLocalServer(const std::string& ServerName) {
  return ServerName.empty() || ServerName == "localhost" || ServerName == host::GetComputerName();
}

}  // namespace

TMgiLoginDialogProc SetMgiLoginDialogProc(TMgiLoginDialogProc Proc) {
  std::lock_guard guard(Dialogs().Lock);
  std::swap(Dialogs().MgiLogin, Proc);
  return Proc;
}

TPasswordDialogProc SetPasswordDialogProc(TPasswordDialogProc Proc) {
  std::lock_guard guard(Dialogs().Lock);
  std::swap(Dialogs().Password, Proc);
  return Proc;
}

// ---- Wait cursor ----------------------------------------------------------------------------

void GlobalSetSQLHourGlassOnScreen() {
  HourGlassState& s = HourGlass();
  std::lock_guard guard(s.Lock);
  if (s.Count == 0) {
    const host::TCursor current = host::Screen()->Cursor();
    // When the screen already shows the wait cursor it is what the last restore leaves.
    s.Saved = current;
    if (current != host::crSQLWait) host::Screen()->SetCursor(host::crSQLWait);
  }
  ++s.Count;
}

void GlobalRestoreFromSQLHourGlassOnScreen() {
  HourGlassState& s = HourGlass();
  std::lock_guard guard(s.Lock);
  if (s.Count == 0) return;
  --s.Count;
  if (s.Count == 0 && host::Screen()->Cursor() == host::crSQLWait) host::Screen()->SetCursor(s.Saved);
}

namespace detail {
int SQLHourGlassNesting() {
  HourGlassState& s = HourGlass();
  std::lock_guard guard(s.Lock);
  return s.Count;
}
}  // namespace detail

TKxSQLHourGlass::TKxSQLHourGlass(const TKxAbsSession* Session) {
  if (Session != nullptr && Session->GetSQLHourGlass()) {
    GlobalSetSQLHourGlassOnScreen();
    FShown = true;
  }
}

TKxSQLHourGlass::~TKxSQLHourGlass() {
  if (FShown) GlobalRestoreFromSQLHourGlassOnScreen();
}

// ---- Messages of administration statuses ---------------------------------------------------

std::string MgiStatusMessage(std::uint16_t Status) {
  switch (Status) {
    case 7001: return SKxMGIErrorINVALID_HANDLE;
    case 7002: return SKxMGIErrorNULL_PTR;
    case 7003: return SKxMGIErrorBUFFER_TOO_SMALL;
    case 7004: return SKxMGIErrorFAIL;
    case 7005: return SKxMGIErrorINVALID_DATA_TYPE;
    case 7006: return SKxMGIErrorOUT_OF_RANGE;
    case 7007: return SKxMGIErrorINVALID_SELECTION;
    case 7008: return SKxMGIErrorINVALID_SEQUENCE;
    case 7009: return SKxMGIErrorDATA_UNAVAILABLE;
    case 7010: return SKxMGIErrorINVALID_CLIENT;
    case 7011: return SKxMGIErrorACCESS_RIGHT;
    case 7012: return SKxMGIErrorDUPLICATE_NAME;
    case 7013: return SKxMGIErrorNOT_EXIST;
    case 7014: return SKxMGIErrorINVALID_VERSION;
    case 7015: return SKxMGIErrorFILE_NOT_OPEN;
    case 7016: return SKxMGIErrorDICTIONARY_ALREADY_EXISTS;
    case 7017: return SKxMGIErrorSHARED_DDF_EXIST;
    case 7018: return SKxMGIErrorINVALID_NAME;
    case 7019: return SKxMGIErrorDSN_ALREADY_EXIST;
    case 7020: return SKxMGIErrorDSN_DOES_NOT_EXIST;
    case 7021: return SKxMGIErrorINVALID_OPEN_MODE;
    case MGI_PROBLEM_TO_LOAD_DLL: return SKxMGIErrorPROBLEM_TO_LOAD_DLL;
    case MGI_CALL_NOT_SUPPORTED: return SKxMGIErrorCALL_NOT_SUPPORTED;
    default: return host::Format(SKxMGIError.Text(), {host::FormatArg(static_cast<int>(Status))});
  }
}

// ---- TAliasItem, TAliasList --------------------------------------------------------------

TAliasItem::TAliasItem(std::string Name, const host::TStrings* Params, bool IsAdd)
    : FName(std::move(Name)), FParams(std::make_unique<host::TStringList>()), FIsAdd(IsAdd) {
  if (Params != nullptr) FParams->Assign(Params);
}

TAliasList::~TAliasList() { Clear(); }

int TAliasList::AddAlias(const std::string& Name, const host::TStrings* Params, bool IsAdd) {
  auto item = std::make_unique<TAliasItem>(Name, Params, IsAdd);
  const int index = AddObject(std::string(), item.get());
  static_cast<void>(item.release());
  return index;
}

TAliasItem* TAliasList::Items(int Index) const { return host::As<TAliasItem>(GetObject(Index)); }

int TAliasList::IndexOfAlias(std::string_view Name) const {
  for (int i = 0; i < Count(); ++i) {
    const auto* item = dynamic_cast<const TAliasItem*>(GetObject(i));
    if (item != nullptr && item->GetName() == Name) return i;
  }
  return -1;
}

host::TStringList* TAliasList::GetParams(std::string_view Name) const {
  const int index = IndexOfAlias(Name);
  return index < 0 ? nullptr : Items(index)->GetParams();
}

void TAliasList::SetParams(std::string_view Name, const host::TStrings* List) {
  if (host::TStringList* params = GetParams(Name); params != nullptr) params->Assign(List);
}

void TAliasList::Delete(int Index) {
  host::TObject* item = GetObject(Index);
  host::TStringList::Delete(Index);
  delete item;
}

void TAliasList::Clear() {
  std::vector<host::TObject*> items;
  items.reserve(static_cast<std::size_t>(Count()));
  for (int i = 0; i < Count(); ++i) items.push_back(GetObject(i));
  host::TStringList::Clear();
  for (host::TObject* item : items) delete item;
}

void TAliasList::PutObject(int Index, host::TObject* AObject) {
  host::TObject* old = GetObject(Index);
  host::TStringList::PutObject(Index, AObject);
  if (old != AObject) delete old;
}

void TAliasList::Assign(const host::TPersistent* Source) {
  const auto* source = dynamic_cast<const TAliasList*>(Source);
  if (source == nullptr) {
    // Lines without items, or items that another list owns, cannot make an alias list.
    AssignError(Source);
  }
  if (source == this) return;
  TAliasList copy;
  for (int i = 0; i < source->Count(); ++i) {
    const TAliasItem* item = source->Items(i);
    copy.AddAlias(item->GetName(), item->GetParams(), item->GetIsAdd());
  }
  TUpdateScope update(this);
  Clear();
  // Moves the copies over; `copy` then holds no items.
  for (int i = 0; i < copy.Count(); ++i) {
    AddObject(std::string(), copy.GetObject(i));
  }
  copy.host::TStringList::Clear();
}

// ---- TMgiConnectionHolder ------------------------------------------------------------------

TMgiConnectionHolder::TMgiConnectionHolder(TKxAbsSession* Owner)
    : FOwner(Owner),
      FMgiConnectionHolderMode(Owner != nullptr && Owner->IsDesigning() ? dchmDesignMode : dchmNormalMode) {}

TMgiConnectionHolder::~TMgiConnectionHolder() { Disconnect(); }

bool TMgiConnectionHolder::GetConnected() {
  if (FTimer) FTimer->Restart();
  return FConnection != MgiNotConnected;
}

bool TMgiConnectionHolder::IsTimerRunning() const { return FTimer && FTimer->Running(); }

std::int32_t TMgiConnectionHolder::GetConnection() {
  if (FConnection == MgiNotConnected) {
    TKxAbsSession* s = FOwner;
    TKxSQLHourGlass wait(s);
    const std::string server = s->GetServerName();
    const bool remote = !IsLocalServer(server);
    std::int32_t handle = MgiLocalConnection;
    if (FMgiConnectionHolderMode == dchmDesignMode && !s->GetServerAdminLoginPrompt()) {
      // Two attempts, with the login dialog in between.
      std::uint16_t status = 0;
      for (int attempt = 0; attempt < 2; ++attempt) {
        status = remote ? KxConnectServer(server.c_str(), s->FMgiUserNameDesign.c_str(),
                                          s->FMgiPasswordDesign.c_str(), &handle)
                        : 0;
        if (status == 0) break;
        if (attempt == 0) s->MgiLogin();
      }
      s->CheckMGI(std::string(), status);
    } else {
      if (s->GetServerAdminLoginPrompt() && !s->FGotLoginData) s->MgiLogin();
      if (remote) {
        std::uint16_t status = 0;
        if (s->IsDesigning()) {
          status = KxConnectServer(server.c_str(), s->FMgiUserNameDesign.c_str(), s->FMgiPasswordDesign.c_str(),
                                   &handle);
        } else {
          status = KxConnectServer(server.c_str(), s->FMgiUserName.c_str(), s->FMgiPassword.c_str(), &handle);
          // A server that needs no login accepts empty credentials.
          if (status != 0) status = KxConnectServer(server.c_str(), "", "", &handle);
        }
        s->CheckMGI(std::string(), status);
      }
    }
    s->FGotLoginData = true;
    FConnection = handle;
  }
  // The idle time-out counts from the last use.
  StartTimer();
  return FConnection;
}

void TMgiConnectionHolder::StartTimer() {
  if (FTimer) {
    FTimer->Restart();
    return;
  }
  if (FTimeout == 0) return;
  auto timer = std::make_unique<host::TTimer>(nullptr);
  timer->SetInterval(FTimeout);
  timer->SetOnTimer([this](host::TObject* Sender) { OnTimer(Sender); });
  FTimer = std::move(timer);
}

void TMgiConnectionHolder::SetTimeout(std::uint32_t Value) {
  FTimeout = Value;
  if (FTimer) FTimer->SetInterval(Value);
}

void TMgiConnectionHolder::LockHandle() {
  ++FLockCount;
  FTimer.reset();
}

void TMgiConnectionHolder::UnlockHandle() {
  if (FLockCount <= 0) return;
  --FLockCount;
  if (FLockCount == 0 && FConnection != MgiNotConnected && !FTimer && FTimeout != 0) StartTimer();
}

void TMgiConnectionHolder::OnTimer(host::TObject* /*Sender*/) {
  if (FLockCount <= 0) Disconnect();
}

void TMgiConnectionHolder::Disconnect() {
  FTimer.reset();
  if (FConnection != MgiNotConnected) {
    const std::int32_t connection = FConnection;
    FConnection = MgiNotConnected;
    // Nothing to retry when the library refuses: the connection is given up either way.
    static_cast<void>(KxDisconnect(connection));
  }
}

// ---- TKxAbsSessionList -------------------------------------------------------------------

TKxAbsSessionList::~TKxAbsSessionList() { CloseAll(); }

void TKxAbsSessionList::AddSession(TKxAbsSession* Session) {
  if (Session != nullptr && std::find(FSessions.begin(), FSessions.end(), Session) == FSessions.end()) {
    FSessions.push_back(Session);
  }
}

void TKxAbsSessionList::RemoveSession(TKxAbsSession* Session) {
  std::erase(FSessions, Session);
  if (FCurrentSession == Session) FCurrentSession = nullptr;
}

void TKxAbsSessionList::CloseAll() {
  while (!FSessions.empty()) {
    TKxAbsSession* session = FSessions.back();
    delete session;
    // A session always leaves the list when freed; never loop on one that did not.
    RemoveSession(session);
  }
}

TKxAbsSession* TKxAbsSessionList::FindSession(std::string_view Name) {
  if (Name.empty()) return GetDefaultSession();
  for (TKxAbsSession* session : FSessions) {
    if (host::AnsiSameText(session->GetSessionName(), Name)) return session;
  }
  return nullptr;
}

TKxAbsSession* TKxAbsSessionList::GetSessionByName(std::string_view Name) {
  TKxAbsSession* session = FindSession(Name);
  if (session == nullptr) host::DatabaseErrorFmt(SInvalidSessionName, {host::FormatArg(Name)});
  return session;
}

void TKxAbsSessionList::GetSessionNames(host::TStrings* List) {
  TUpdateScope update(List);
  List->Clear();
  for (TKxAbsSession* session : FSessions) List->Add(session->GetSessionName());
}

TKxAbsSession* TKxAbsSessionList::OpenSession(const std::string& Name) {
  TKxAbsSession* session = FindSession(Name);
  if (session == nullptr) {
    session = CreateSession();
    try {
      session->SetSessionName(Name);
    } catch (...) {
      delete session;
      throw;
    }
  }
  session->SetActive(true);
  return session;
}

TKxAbsSession* TKxAbsSessionList::GetSessions(int Index) const {
  if (Index < 0 || Index >= GetCount()) {
    throw host::EListError(host::Format("List index out of bounds (%d)", {host::FormatArg(Index)}));
  }
  return FSessions[static_cast<std::size_t>(Index)];
}

// ---- TKxAbsSession: life cycle --------------------------------------------------------------

TKxAbsSession::TKxAbsSession(host::TComponent* AOwner, TKxAbsSessionList* Sessions)
    : host::TComponent(AOwner),
      FSessionList(Sessions),
      FPasswords(std::make_unique<host::TStringList>()),
      FSessionAliases(std::make_unique<TAliasList>()),
      FModifiedAliases(std::make_unique<TAliasList>()) {
  FPasswords->SetCaseSensitive(true);
  FPasswords->SetDuplicates(host::dupIgnore);
  FPasswords->SetSorted(true);
  FMgiConnectionHolder = std::make_unique<TMgiConnectionHolder>(this);
  if (FSessionList != nullptr) FSessionList->AddSession(this);
}

void TKxAbsSession::BeforeDestruction() {
  try {
    if (!IsHandleNull()) StartSession(false);
  } catch (...) {
    // Destruction cannot fail; the engine session is given up.
  }
  ReleaseSessionNumber();
  Detach();
  host::TComponent::BeforeDestruction();
}

TKxAbsSession::~TKxAbsSession() {
  // Only what needs no engine operation: a session destroyed without the early step (a
  // member or a local variable) still leaves its list and its databases.
  while (!FDatabases.empty()) FDatabases.back()->AttachSession(nullptr);
  if (FSessionList != nullptr) FSessionList->RemoveSession(this);
  FMgiConnectionHolder.reset();
}

void TKxAbsSession::Detach() noexcept {
  // Databases the session created (owned by it) go with it; the others move to the default
  // session, closed.
  while (!FDatabases.empty()) {
    TKxAbsDatabase* database = FDatabases.back();
    if (database->Owner() == this) {
      delete database;
    } else {
      database->SessionRemoved(this);
    }
    // Never loop on a database that stayed.
    if (!FDatabases.empty() && FDatabases.back() == database) database->AttachSession(nullptr);
  }
  if (FSessionList != nullptr) FSessionList->RemoveSession(this);
}

void TKxAbsSession::ReleaseSessionNumber() noexcept {
  if (FSessionNumber < 0 || FSessionList == nullptr) return;
  try {
    LockSession();
    FSessionList->FSessionNumbers.SetBits(FSessionNumber, false);
    UnlockSession();
  } catch (...) {
    // Only the engine lock can fail here; the number is simply not reused.
  }
  FSessionNumber = -1;
}

// ---- Activation -------------------------------------------------------------------------------

void TKxAbsSession::SetActive(bool Value) {
  if (ComponentState().Contains(host::csReading)) {
    FStreamedActive = Value;
    return;
  }
  if (Value != GetActive()) StartSession(Value);
}

void TKxAbsSession::StartSession(bool Value) {
  if (!Value) FMgiConnectionHolder->Disconnect();
}

void TKxAbsSession::CheckInactive() {
  if (GetActive()) KxDatabaseError(this, SSessionActive);
}

void TKxAbsSession::Loaded() {
  host::TComponent::Loaded();
  try {
    if (FAutoSessionName) SetSessionNames();
    if (FStreamedActive) SetActive(true);
  } catch (...) {
    if (!IsDesigning()) throw;
    host::Application()->HandleException(this);
  }
}

// ---- Names -------------------------------------------------------------------------------------

void TKxAbsSession::SetSessionName(const std::string& Value) {
  if (FAutoSessionName && !FUpdatingAutoSessionName) KxDatabaseError(this, SAutoSessionActive);
  CheckInactive();
  if (!Value.empty() && FSessionList != nullptr) {
    for (TKxAbsSession* other : FSessionList->FSessions) {
      if (other != this && host::AnsiSameText(other->FSessionName, Value)) {
        KxDatabaseErrorFmt(this, SDuplicateSessionName, {host::FormatArg(Value)});
      }
    }
  }
  FSessionName = Value;
}

void TKxAbsSession::SetAutoSessionName(bool Value) {
  if (Value == FAutoSessionName) return;
  if (Value) {
    CheckInactive();
    ValidateAutoSession(Owner(), true);
    if (FSessionList != nullptr) {
      LockSession();
      try {
        host::TBits& numbers = FSessionList->FSessionNumbers;
        const int number = numbers.OpenBit();
        numbers.SetBits(number, true);
        FSessionNumber = number;
      } catch (...) {
        UnlockSession();
        throw;
      }
      UnlockSession();
    }
    try {
      UpdateAutoSessionName();
    } catch (...) {
      // The name could not be taken: give the number back.
      ReleaseSessionNumber();
      throw;
    }
  } else {
    ReleaseSessionNumber();
  }
  FAutoSessionName = Value;
}

void TKxAbsSession::UpdateAutoSessionName() {
  {
    TFlagScope updating(FUpdatingAutoSessionName);
    SetSessionName(host::Format("%s_%d", {host::FormatArg(Name()), host::FormatArg(FSessionNumber + 1)}));
  }
  SetSessionNames();
}

void TKxAbsSession::SetSessionNames() {
  host::TComponent* owner = Owner();
  if (owner == nullptr) return;
  for (int i = 0; i < owner->ComponentCount(); ++i) {
    host::TComponent* component = owner->Components(i);
    if (IsValidDataSet(component)) {
      if (auto* link = dynamic_cast<IKxDataSetLink*>(component);
          link != nullptr && !host::AnsiSameText(link->GetSessionName(), FSessionName)) {
        link->SetSessionName(FSessionName);
      }
    }
    if (IsValidDatabase(component)) {
      if (auto* database = dynamic_cast<TKxAbsDatabase*>(component);
          database != nullptr && !host::AnsiSameText(database->GetSessionName(), FSessionName)) {
        database->SetSessionName(FSessionName);
      }
    }
  }
}

void TKxAbsSession::ValidateAutoSession(host::TComponent* AOwner, bool Enabling) {
  if (AOwner == nullptr) return;
  for (int i = 0; i < AOwner->ComponentCount(); ++i) {
    host::TComponent* component = AOwner->Components(i);
    if (component == this || typeid(*component) != typeid(*this)) continue;
    const auto* other = dynamic_cast<const TKxAbsSession*>(component);
    if (other == nullptr) continue;
    if (Enabling) KxDatabaseError(this, SAutoSessionExclusive);
    if (other->FAutoSessionName) KxDatabaseErrorFmt(this, SAutoSessionExists, {host::FormatArg(other->Name())});
  }
}

void TKxAbsSession::SetName(const std::string& NewName) {
  host::TComponent::SetName(NewName);
  if (FAutoSessionName) UpdateAutoSessionName();
}

void TKxAbsSession::Notification(host::TComponent* AComponent, host::TOperation Operation) {
  host::TComponent::Notification(AComponent, Operation);
  if (Operation != host::opInsert || AComponent == nullptr) return;
  if (AComponent == this) {
    // This session joins an owner: it may not join beside a same-class automatic session.
    ValidateAutoSession(Owner(), false);
    return;
  }
  if (!FAutoSessionName || Owner() == nullptr || AComponent->Owner() != Owner()) return;
  if (IsValidDataSet(AComponent)) {
    if (auto* link = dynamic_cast<IKxDataSetLink*>(AComponent)) link->AssignSessionName(FSessionName);
  }
  if (IsValidDatabase(AComponent)) {
    if (auto* database = dynamic_cast<TKxAbsDatabase*>(AComponent)) {
      database->FSessionName = FSessionName;
      database->AttachSession(this);
    }
  }
}

// ---- Databases ----------------------------------------------------------------------------------

void TKxAbsSession::AddDatabase(TKxAbsDatabase* Database) {
  if (Database == nullptr || std::find(FDatabases.begin(), FDatabases.end(), Database) != FDatabases.end()) return;
  FDatabases.push_back(Database);
  DBNotification(dbAdd, {Database, {}});
}

void TKxAbsSession::RemoveDatabase(TKxAbsDatabase* Database) {
  auto it = std::find(FDatabases.begin(), FDatabases.end(), Database);
  if (it == FDatabases.end()) return;
  FDatabases.erase(it);
  DBNotification(dbRemove, {Database, {}});
}

TKxAbsDatabase* TKxAbsSession::GetDatabases(int Index) const {
  if (Index < 0 || Index >= GetDatabaseCount()) {
    throw host::EListError(host::Format("List index out of bounds (%d)", {host::FormatArg(Index)}));
  }
  return FDatabases[static_cast<std::size_t>(Index)];
}

TKxAbsDatabase* TKxAbsSession::FindDatabase(std::string_view Name) {
  for (TKxAbsDatabase* database : FDatabases) {
    if ((!database->GetDatabaseName().empty() || database->GetTemporary()) &&
        host::AnsiSameText(database->GetDatabaseName(), Name)) {
      return database;
    }
  }
  return nullptr;
}

TKxAbsDatabase* TKxAbsSession::DoFindDatabase(std::string_view Name, host::TComponent* AOwner) {
  if (AOwner != nullptr) {
    for (TKxAbsDatabase* database : FDatabases) {
      if (database->Owner() == AOwner && database->GetHandleShared() &&
          host::AnsiSameText(database->GetDatabaseName(), Name)) {
        return database;
      }
    }
  }
  return FindDatabase(Name);
}

TKxAbsDatabase* TKxAbsSession::DoOpenDatabase(const std::string& Name, host::TComponent* AOwner) {
  TKxAbsDatabase* database = DoFindDatabase(Name, AOwner);
  bool created = false;
  if (database == nullptr) {
    database = CreateDatabase(this);
    created = true;
    try {
      database->SetDatabaseName(Name);
      database->SetKeepConnection(FKeepConnections);
      database->SetTemporary(true);
    } catch (...) {
      delete database;
      throw;
    }
  }
  try {
    database->Open();
  } catch (...) {
    if (created) delete database;
    throw;
  }
  ++database->FRefCount;
  return database;
}

void TKxAbsSession::CloseDatabase(TKxAbsDatabase* Database) {
  if (Database == nullptr) return;
  if (Database->FRefCount > 0) --Database->FRefCount;
  // A database that is disconnecting is closing already; freeing it now would pull it away
  // from under its own DoDisconnect.
  if (Database->FRefCount != 0 || Database->GetKeepConnection() || Database->FDisconnecting) return;
  if (Database->GetTemporary()) {
    if (!Database->ComponentState().Contains(host::csDestroying)) delete Database;
  } else {
    Database->Close();
  }
}

void TKxAbsSession::DropConnections() {
  for (int i = GetDatabaseCount() - 1; i >= 0; --i) {
    if (i >= GetDatabaseCount()) continue;  // freeing one may have freed others
    TKxAbsDatabase* database = FDatabases[static_cast<std::size_t>(i)];
    if (database->GetTemporary() && database->GetRefCount() == 0) delete database;
  }
}

void TKxAbsSession::GetDatabaseNames(host::TStrings* List) {
  host::TStringList aliases;
  GetAliasNames(&aliases);
  host::TStringList names;
  names.SetDuplicates(host::dupIgnore);
  names.SetSorted(true);
  for (int i = 0; i < aliases.Count(); ++i) names.Add(aliases.Get(i));
  for (TKxAbsDatabase* database : FDatabases) {
    if (!database->GetDatabaseName().empty()) names.Add(database->GetDatabaseName());
  }
  List->Assign(&names);
}

void TKxAbsSession::DBNotification(TDatabaseEvent DBEvent, const TDatabaseNotifyParam& Param) {
  if (FOnDBNotify) FOnDBNotify(DBEvent, Param);
}

// ---- Aliases -------------------------------------------------------------------------------------

void TKxAbsSession::CheckConfigMode(TConfigMode Mode) {
  FConfigMode = Mode == kAllConfigModes ? TConfigMode{cfmPersistent} : Mode;
}

bool TKxAbsSession::IsEngineConfigMode(TConfigMode Mode) {
  return Mode == kAllConfigModes || Mode == TConfigMode{cfmVirtual} || Mode == TConfigMode{cfmPersistent};
}

void TKxAbsSession::AddAlias(const std::string& Name, const host::TStrings* List) {
  InternalAddAlias(Name, List, FConfigMode, true);
}

void TKxAbsSession::ModifyAlias(const std::string& Name, const host::TStrings* List) {
  InternalModifyAlias(Name, List, false);
}

void TKxAbsSession::DeleteAlias(const std::string& Name) { InternalDeleteAlias(Name, FConfigMode, true); }

void TKxAbsSession::InternalAddAlias(const std::string& Name, const host::TStrings* List, TConfigMode Mode,
                                     bool RestoreMode) {
  {
    TConfigModeScope mode(this, RestoreMode);
    CheckConfigMode(Mode);
    InternalModifyAlias(Name, List, true);
  }
  DBNotification(dbAddAlias, {nullptr, Name});
}

void TKxAbsSession::InternalModifyAlias(const std::string& Name, const host::TStrings* List, bool IsAdd) {
  if (List == nullptr || List->Count() == 0) KxDatabaseError(this, SKxDBNamesInvalidParameter);
  host::TStringList params;
  if (!DecodeAliasParams(Name, List, IsAdd, &params)) return;
  const bool engine = IsEngineConfigMode(FConfigMode);
  TAliasList* target = engine ? FModifiedAliases.get() : FSessionAliases.get();
  if (const int index = target->IndexOfAlias(Name); index >= 0) {
    target->Items(index)->GetParams()->Assign(&params);
  } else {
    target->AddAlias(Name, &params, IsAdd);
  }
  if (engine) SaveConfigFile();
}

void TKxAbsSession::InternalDeleteAlias(const std::string& Name, TConfigMode Mode, bool RestoreMode) {
  DBNotification(dbDeleteAlias, {nullptr, Name});
  TConfigModeScope mode(this, RestoreMode);
  CheckConfigMode(Mode);
  if (IsEngineConfigMode(FConfigMode)) {
    RealDropAlias(Name);
  } else if (const int index = FSessionAliases->IndexOfAlias(Name); index >= 0) {
    FSessionAliases->Delete(index);
  }
}

void TKxAbsSession::SaveConfigFile() {
  while (FModifiedAliases->Count() > 0) {
    TAliasItem* item = FModifiedAliases->Items(0);
    auto forget = [&] {
      // By identity: the engine may have changed the queue meanwhile.
      if (const int index = FModifiedAliases->IndexOfObject(item); index >= 0) FModifiedAliases->Delete(index);
    };
    try {
      SaveAlias(item->GetName(), item->GetParams(), item->GetIsAdd());
    } catch (...) {
      // The failed change is dropped; the ones behind it stay queued.
      forget();
      throw;
    }
    forget();
  }
}

void TKxAbsSession::GetConfigParams(const std::string& /*Path*/, const std::string& /*Section*/,
                                    host::TStrings* /*List*/) {}

void TKxAbsSession::ModifyConfigParams(const std::string& /*Path*/, const std::string& /*Section*/,
                                       host::TStrings* /*List*/) {}

bool TKxAbsSession::IsAlias(const std::string& Name) {
  host::TStringList names;
  {
    TConfigModeScope mode(this, true);
    FConfigMode = TConfigMode{cfmPersistent};
    GetAliasNames(&names);
  }
  return names.IndexOf(Name) >= 0;
}

// ---- Passwords ----------------------------------------------------------------------------------

void TKxAbsSession::AddPassword(const std::string& Password) { FPasswords->Add(Password); }

void TKxAbsSession::RemovePassword(const std::string& Password) {
  for (int i = 0; i < FPasswords->Count(); ++i) {
    if (FPasswords->Get(i) == Password) {
      FPasswords->Delete(i);
      return;
    }
  }
}

void TKxAbsSession::RemoveAllPasswords() { FPasswords->Clear(); }

bool TKxAbsSession::GetPassword() {
  if (FOnPassword) {
    bool continueOperation = false;
    FOnPassword(this, continueOperation);
    return continueOperation;
  }
  const TPasswordDialogProc dialog = CurrentPasswordDialog();
  return dialog ? dialog(this) : false;
}

// ---- Administration credentials --------------------------------------------------------------

void TKxAbsSession::SetServerName(const std::string& Value) {
  if (Value != FServerName && !ComponentState().Contains(host::csReading)) {
    FGotLoginData = false;
    if (IsDesigning()) {
      FMgiUserNameDesign = FMgiUserName;
      FMgiPasswordDesign = FMgiPassword;
    }
    SetActive(false);
    // A connection to the old server must not serve the new one.
    FMgiConnectionHolder->Disconnect();
  }
  FServerName = Value;
}

void TKxAbsSession::SetServerAdminUser(const std::string& Value) {
  if (Value == FMgiUserName) return;
  FMgiUserName = Value;
  FGotLoginData = false;
  if (IsDesigning()) FMgiUserNameDesign = Value;
  FMgiConnectionHolder->Disconnect();
}

void TKxAbsSession::SetServerAdminPassword(const std::string& Value) {
  if (Value == FMgiPassword) return;
  FMgiPassword = Value;
  FGotLoginData = false;
  if (IsDesigning()) FMgiPasswordDesign = Value;
  FMgiConnectionHolder->Disconnect();
}

void TKxAbsSession::SetServerAdminLoginPrompt(bool Value) {
  if (Value == FMgiLoginPrompt) return;
  FMgiLoginPrompt = Value;
  FGotLoginData = false;
  if (IsDesigning()) {
    FMgiUserNameDesign = FMgiUserName;
    FMgiPasswordDesign = FMgiPassword;
  }
}

void TKxAbsSession::MgiLogin() {
  FGotLoginData = false;
  const bool designing = IsDesigning();
  // The dialog edits copies; the credentials change only when it is confirmed.
  std::string user = designing ? FMgiUserNameDesign : FMgiUserName;
  std::string password = designing ? FMgiPasswordDesign : FMgiPassword;
  const TMgiLoginDialogProc dialog = CurrentMgiLoginDialog();
  if (!dialog || !dialog(FServerName, user, password)) {
    KxDatabaseErrorFmt(this, SKxMgiLoginError, {host::FormatArg(FServerName)});
  }
  if (designing) {
    FMgiUserNameDesign = std::move(user);
    FMgiPasswordDesign = std::move(password);
  } else {
    FMgiUserName = std::move(user);
    FMgiPassword = std::move(password);
  }
}

bool TKxAbsSession::GetLocalSystem() const {
  return FServerName.empty() || host::AnsiSameText(FServerName, host::GetComputerName());
}

// ---- CheckMGI ------------------------------------------------------------------------------------

void TKxAbsSession::CheckMGI(const std::string& AliasName, std::uint16_t Status) {
  if (Status == 0) return;
  std::string message = MgiStatusMessage(Status);
  if (!AliasName.empty()) message += SKxAliasSuffix.Text() + AliasName;
  throw EKxDbAdminEngineError(this, dbmeMGI, Status, message);
}

namespace {

std::string ContextClauses(const std::string& Message, const std::string& ServerName, const std::string& DbName) {
  std::string text = Message + maybePeriod(Message);
  if (!ServerName.empty()) text += host::Format(SServerNameIs.Text(), {host::FormatArg(ServerName)}) + ". ";
  if (!DbName.empty()) text += host::Format(SDbNameIs.Text(), {host::FormatArg(DbName)}) + ". ";
  return text;
}

}  // namespace

void TKxAbsSession::CheckMGI(const std::string& AliasName, std::uint16_t Status, const std::string& ServerName,
                             const std::string& DbName, TKxAbsDatabase* Database) {
  try {
    CheckMGI(AliasName, Status);
  } catch (host::Exception& e) {
    const std::string clause = nameAndOwnerName(Database);
    if (clause == SDynamicallyCreatedNoOwner.Text()) throw;
    e.SetMessage(ContextClauses(e.Message(), ServerName, DbName) + clause);
    throw;
  }
}

void TKxAbsSession::CheckMGI(const std::string& AliasName, std::uint16_t Status, const std::string& ServerName,
                             const std::string& DbName, TKxAbsSession* Session) {
  try {
    CheckMGI(AliasName, Status);
  } catch (host::Exception& e) {
    if (nameAndOwnerName(this) == SDynamicallyCreatedNoOwner.Text()) throw;
    std::string text = ContextClauses(e.Message(), ServerName, DbName);
    if (Session != nullptr && !Session->GetSessionName().empty()) {
      text += host::Format(SErrSessionName.Text(), {host::FormatArg(Session->GetSessionName())}) + ". ";
    }
    e.SetMessage(text + nameAndOwnerName(Session));
    throw;
  }
}

// ---- Wait cursor and other properties ------------------------------------------------------

void TKxAbsSession::SetSQLHourGlassOnScreen() const {
  if (FSQLHourGlass) GlobalSetSQLHourGlassOnScreen();
}

void TKxAbsSession::RestoreFromSQLHourGlassOnScreen() const {
  if (FSQLHourGlass) GlobalRestoreFromSQLHourGlassOnScreen();
}

// Directory names read back in upper case, as the engine's file-name rules compare them.
std::string TKxAbsSession::GetNetFileDir() const { return host::AnsiUpperCase(FNetFileDir); }

std::string TKxAbsSession::GetPrivateDir() const { return host::AnsiUpperCase(FPrivateDir); }

}  // namespace kx
