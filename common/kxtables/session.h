// Sessions and the session list: the abstract classes each engine package derives from.
//
// A session groups the database components an application uses against one engine and holds
// what they share: the list of databases, aliases (named parameter sets that stand for a
// database), passwords, the credentials and the lazily opened connection to the engine's
// administration library (common/mgi.h), and the wait-cursor policy.
//
// An engine package derives
//   - its session list from TKxAbsSessionList (one instance per package, with a default
//     session), implementing InitCriticalSection, DestroyCriticalSection, GetDefaultSession and
//     CreateSession, and calling InitCriticalSection from its own constructor and CloseAll then
//     DestroyCriticalSection from its own destructor (a base class cannot reach an override
//     while it is being built or torn down);
//   - its session from TKxAbsSession, implementing the engine operations in the order declared
//     below, and passing its package's session list to the constructor.
//
// Creating sessions: create them on the heap, preferably with host::TComponent::Create, so that
// the checks of automatic session names run on the finished object; a session refused there
// is freed again and the exception passes on.
//
// Databases and datasets reach their session by name through the session list. A dataset
// that holds its database open (the dataset's database flags) asks the session for it with
// DoOpenDatabase (Name, the dataset's Owner), registers itself with the database
// (RegisterClient) and, when done, unregisters and hands it back with CloseDatabase.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/component.h"
#include "platform/rtl/containers.h"
#include "platform/rtl/sets.h"

namespace host {
class TTimer;
}

namespace kx {

class TKxAbsSession;
class TKxAbsSessionList;
class TKxAbsDatabase;

enum TDatabaseEvent { dbOpen, dbClose, dbAdd, dbRemove, dbAddAlias, dbDeleteAlias, dbDeleteDriver };

// What a database event is about: the database (dbOpen, dbClose, dbAdd, dbRemove) or the alias
// name (dbAddAlias, dbDeleteAlias).
struct TDatabaseNotifyParam {
  TKxAbsDatabase* Database = nullptr;
  std::string Name;
};

using TDatabaseNotifyEvent = std::function<void(TDatabaseEvent DBEvent, const TDatabaseNotifyParam& Param)>;
// Continue: set to true when the handler supplied a password and the operation should retry.
using TPasswordEvent = std::function<void(host::TObject* Sender, bool& Continue)>;

enum TConfigModes { cfmVirtual, cfmPersistent, cfmSession };
using TConfigMode = host::TSet<TConfigModes>;

enum TMgiConnectionHolderMode { dchmNormalMode, dchmDesignMode };

// Handle values of the administration connection that are not library handles.
inline constexpr std::int32_t MgiNotConnected = -2;
inline constexpr std::int32_t MgiLocalConnection = -1;

// The side of a dataset that sessions and databases call: the abstract dataset implements it.
// Sessions find a dataset's session name through it, databases apply cached updates and close
// their datasets through it.
class IKxDataSetLink {
 public:
  virtual std::string GetSessionName() const = 0;
  // The dataset's own setter, with its checks.
  virtual void SetSessionName(const std::string& Value) = 0;
  // Stores the name without checks: used while the component is being inserted.
  virtual void AssignSessionName(const std::string& Value) = 0;
  // The database the dataset works with.
  virtual TKxAbsDatabase* GetDatabase() = 0;
  virtual void ApplyUpdates() = 0;
  virtual void CommitUpdates() = 0;
  // The database's transaction was committed or rolled back (told to every registered
  // dataset). A dataset that keeps what it applied inside the transaction settles it here.
  virtual void TransactionEnded(bool /*Committed*/) noexcept {}
  // Closes the dataset because its database disconnects; the dataset unregisters from it.
  virtual void Disconnect() = 0;

 protected:
  ~IKxDataSetLink() = default;
};

// ---- Aliases --------------------------------------------------------------------------------

class TAliasItem : public host::TObject {
 public:
  TAliasItem(std::string Name, const host::TStrings* Params, bool IsAdd);
  TAliasItem(const TAliasItem&) = delete;
  TAliasItem& operator=(const TAliasItem&) = delete;

  const std::string& GetName() const { return FName; }
  // NAME=value lines; owned.
  host::TStringList* GetParams() const { return FParams.get(); }
  // A new alias rather than a change of an existing one.
  bool GetIsAdd() const { return FIsAdd; }

 private:
  std::string FName;
  std::unique_ptr<host::TStringList> FParams;
  bool FIsAdd;
};

// A list of aliases: one TAliasItem per entry (the entry's text is empty). The list owns its
// items: deleting an entry, clearing the list or destroying it frees them. Add items through
// AddAlias; assigning one alias list to another copies the items. Names compare exactly.
class TAliasList : public host::TStringList {
 public:
  TAliasList() = default;
  ~TAliasList() override;

  int AddAlias(const std::string& Name, const host::TStrings* Params, bool IsAdd);
  TAliasItem* Items(int Index) const;
  int IndexOfAlias(std::string_view Name) const;
  // The alias's parameters, or nullptr.
  host::TStringList* GetParams(std::string_view Name) const;
  // Replaces the parameters of an existing alias; does nothing for an unknown name.
  void SetParams(std::string_view Name, const host::TStrings* List);

  void Delete(int Index) override;
  void Clear() override;
  void PutObject(int Index, host::TObject* AObject) override;
  void Assign(const host::TPersistent* Source) override;
  using host::TStringList::Assign;
};

// ---- The administration connection ------------------------------------------------------------

// Holds a session's connection to the administration library. The connection opens on first
// use of GetConnection and closes after Timeout milliseconds without use (an application timer,
// run by host::Application()->ProcessMessages), when the credentials change, when the session
// closes and when the holder is destroyed. LockHandle suspends the time-out during a series of
// calls.
class TMgiConnectionHolder : public host::TObject {
 public:
  explicit TMgiConnectionHolder(TKxAbsSession* Owner);
  TMgiConnectionHolder(const TMgiConnectionHolder&) = delete;
  TMgiConnectionHolder& operator=(const TMgiConnectionHolder&) = delete;
  ~TMgiConnectionHolder() override;

  // Connected (also counts as use: restarts a running time-out).
  bool GetConnected();
  // The connection, opened when needed: -1 for the local machine, else a library handle.
  std::int32_t GetConnection();
  std::int32_t GetHandle() { return GetConnection(); }
  std::uint32_t GetTimeout() const { return FTimeout; }
  void SetTimeout(std::uint32_t Value);
  TMgiConnectionHolderMode GetMgiConnectionHolderMode() const { return FMgiConnectionHolderMode; }
  void SetMgiConnectionHolderMode(TMgiConnectionHolderMode Value) { FMgiConnectionHolderMode = Value; }

  void LockHandle();
  void UnlockHandle();
  std::int32_t GetLockCount() const { return FLockCount; }
  void Disconnect();
  // Fired by the idle timer.
  void OnTimer(host::TObject* Sender);
  // Whether the idle time-out is counting.
  bool IsTimerRunning() const;

 private:
  void StartTimer();

  TKxAbsSession* FOwner;
  std::int32_t FConnection = MgiNotConnected;
  std::unique_ptr<host::TTimer> FTimer;
  std::uint32_t FTimeout = 5000;
  std::int32_t FLockCount = 0;
  TMgiConnectionHolderMode FMgiConnectionHolderMode;
};

// ---- Dialogs ----------------------------------------------------------------------------------
//
// The sessions show two dialogs: the server login (server name, user name and password, edited
// in place) and the password list of a session. The dialog units install themselves here; a
// program without them (headless) behaves as if the user cancelled. Each setter returns the
// procedure it replaces.

using TMgiLoginDialogProc =
    std::function<bool(const std::string& ServerName, std::string& UserName, std::string& Password)>;
using TPasswordDialogProc = std::function<bool(TKxAbsSession* Session)>;
TMgiLoginDialogProc SetMgiLoginDialogProc(TMgiLoginDialogProc Proc);
TPasswordDialogProc SetPasswordDialogProc(TPasswordDialogProc Proc);

// ---- Wait cursor -------------------------------------------------------------------------------
//
// One process-wide nesting counter and saved screen cursor, shared by every session of every
// engine package and guarded by one critical section: the first Set saves the screen cursor and
// shows the SQL-wait cursor, the last Restore puts the saved cursor back.

void GlobalSetSQLHourGlassOnScreen();
void GlobalRestoreFromSQLHourGlassOnScreen();

// Shows a session's wait cursor (when its SQLHourGlass is on) for the guard's lifetime. The
// restore matches the set even when SQLHourGlass changes in between.
class TKxSQLHourGlass {
 public:
  explicit TKxSQLHourGlass(const TKxAbsSession* Session);
  TKxSQLHourGlass(const TKxSQLHourGlass&) = delete;
  TKxSQLHourGlass& operator=(const TKxSQLHourGlass&) = delete;
  ~TKxSQLHourGlass();

 private:
  bool FShown = false;
};

namespace detail {
// The nesting depth of the wait cursor (for tests and diagnostics).
int SQLHourGlassNesting();
}  // namespace detail

// ---- The session list -------------------------------------------------------------------------

class TKxAbsSessionList : public host::TObject {
 public:
  TKxAbsSessionList() = default;
  TKxAbsSessionList(const TKxAbsSessionList&) = delete;
  TKxAbsSessionList& operator=(const TKxAbsSessionList&) = delete;
  // Frees the remaining sessions (a derived list has done so already, see above).
  ~TKxAbsSessionList() override;

  // Engine operations, in slot order.
  virtual void InitCriticalSection() = 0;
  virtual void DestroyCriticalSection() = 0;
  virtual TKxAbsSession* GetDefaultSession() = 0;
  virtual TKxAbsSession* CreateSession() = 0;

  // Sessions add and remove themselves.
  void AddSession(TKxAbsSession* Session);
  void RemoveSession(TKxAbsSession* Session);
  // Frees every session, last first.
  void CloseAll();
  // The default session for an empty name; else the first session of that name (ignoring
  // case), or nullptr.
  TKxAbsSession* FindSession(std::string_view Name);
  // FindSession, raising EDatabaseError "Invalid session name <Name>" when there is none.
  TKxAbsSession* GetSessionByName(std::string_view Name);
  void GetSessionNames(host::TStrings* List);
  // FindSession; when there is none a new session of that name. Made active either way.
  TKxAbsSession* OpenSession(const std::string& Name);

  int GetCount() const { return static_cast<int>(FSessions.size()); }
  // Raises EListError for a bad index.
  TKxAbsSession* GetSessions(int Index) const;
  TKxAbsSession* GetList(std::string_view Name) { return GetSessionByName(Name); }
  TKxAbsSession* GetCurrentSession() const { return FCurrentSession; }
  void SetCurrentSession(TKxAbsSession* Value) { FCurrentSession = Value; }

 private:
  friend class TKxAbsSession;

  std::vector<TKxAbsSession*> FSessions;  // not owning: each session adds and removes itself
  host::TBits FSessionNumbers;            // numbers held by sessions with AutoSessionName
  TKxAbsSession* FCurrentSession = nullptr;
};

// ---- The session ---------------------------------------------------------------------------------

class TKxAbsSession : public host::TComponent {
 public:
  // Sessions: the engine package's session list, which the session joins.
  TKxAbsSession(host::TComponent* AOwner, TKxAbsSessionList* Sessions);
  ~TKxAbsSession() override;

  // ---- Engine operations, in slot order
  // Releases the engine connection of a database component.
  virtual void CloseDatabaseHandle(TKxAbsDatabase* Database) = 0;
  // The session's engine parameters as NAME=value lines.
  virtual void GetSessionParams(host::TStrings* List) = 0;
  // No engine handle; Active is the negation.
  virtual bool IsHandleNull() = 0;
  // The engine package's session lock, re-entrant per session.
  virtual void LockSession() = 0;
  virtual void UnlockSession() = 0;
  virtual bool IsValidDataSet(host::TComponent* Component) = 0;
  virtual bool IsValidDatabase(host::TComponent* Component) = 0;
  virtual TKxAbsDatabase* CreateDatabase(TKxAbsSession* Session) = 0;
  virtual TKxAbsSessionList* GetSessions() = 0;
  virtual TKxAbsSession* GetDefaultSession() = 0;
  virtual void RealDropAlias(const std::string& Name) = 0;
  // Validates and normalises alias parameters into Result; false rejects the change silently.
  virtual bool DecodeAliasParams(const std::string& Name, const host::TStrings* Given, bool IsAdd,
                                 host::TStrings* Result) = 0;
  virtual void SaveAlias(const std::string& Name, const host::TStrings* Params, bool IsAdd) = 0;
  // Opens (true) or closes (false) the engine session. The base only drops the administration
  // connection on close; engine sessions call it first.
  virtual void StartSession(bool Value);
  virtual void AddStandardAlias(const std::string& Name, const std::string& Path) = 0;
  virtual void GetAliasNames(host::TStrings* List) = 0;
  virtual void GetAliasParams(const std::string& AliasName, host::TStrings* List) = 0;
  virtual void GetTableNames(const std::string& DatabaseName, const std::string& Pattern, bool Extensions,
                             bool SystemTables, host::TStrings* List) = 0;
  virtual void GetStoredProcNames(const std::string& DatabaseName, host::TStrings* List) = 0;

  // ---- Activation
  bool GetActive() { return !IsHandleNull(); }
  // While the component is being read only the wish is kept; Loaded applies it.
  void SetActive(bool Value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  // ---- Names
  const std::string& GetSessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  bool GetAutoSessionName() const { return FAutoSessionName; }
  void SetAutoSessionName(bool Value);
  // The number held for the automatic name, -1 when none.
  std::int32_t GetSessionNumber() const { return FSessionNumber; }
  void SetName(const std::string& NewName) override;

  // ---- Databases
  void AddDatabase(TKxAbsDatabase* Database);
  void RemoveDatabase(TKxAbsDatabase* Database);
  int GetDatabaseCount() const { return static_cast<int>(FDatabases.size()); }
  // Raises EListError for a bad index.
  TKxAbsDatabase* GetDatabases(int Index) const;
  // The first database that has that name (ignoring case) and a name or is temporary.
  TKxAbsDatabase* FindDatabase(std::string_view Name);
  // With an owner, first a database of that owner with HandleShared and that name.
  TKxAbsDatabase* DoFindDatabase(std::string_view Name, host::TComponent* AOwner);
  // The database of that name, opened, with its reference count increased. An alias or an
  // unknown name gets a temporary database that the session creates; it is freed again when
  // opening fails.
  TKxAbsDatabase* DoOpenDatabase(const std::string& Name, host::TComponent* AOwner);
  TKxAbsDatabase* OpenDatabase(const std::string& Name) { return DoOpenDatabase(Name, nullptr); }
  // Gives back a database from DoOpenDatabase: the last user of a database without
  // KeepConnection closes it, and frees it when it is temporary.
  void CloseDatabase(TKxAbsDatabase* Database);
  // Frees the temporary databases nobody uses.
  void DropConnections();
  // The engine's alias names and the names of the session's databases, sorted, each once.
  void GetDatabaseNames(host::TStrings* List);
  void DBNotification(TDatabaseEvent DBEvent, const TDatabaseNotifyParam& Param);
  bool GetKeepConnections() const { return FKeepConnections; }
  void SetKeepConnections(bool Value) { FKeepConnections = Value; }

  // ---- Aliases and configuration modes
  TConfigMode GetConfigMode() const { return FConfigMode; }
  void SetConfigMode(TConfigMode Value) { FConfigMode = Value; }
  // All three modes become [cfmPersistent]; any other mode is taken as it is.
  void CheckConfigMode(TConfigMode Mode);
  // Whether a mode addresses the engine's configuration (all three, [cfmVirtual] or
  // [cfmPersistent]) rather than the session-only aliases.
  static bool IsEngineConfigMode(TConfigMode Mode);
  void AddAlias(const std::string& Name, const host::TStrings* List);
  void ModifyAlias(const std::string& Name, const host::TStrings* List);
  void DeleteAlias(const std::string& Name);
  bool IsAlias(const std::string& Name);
  void InternalAddAlias(const std::string& Name, const host::TStrings* List, TConfigMode Mode, bool RestoreMode);
  void InternalModifyAlias(const std::string& Name, const host::TStrings* List, bool IsAdd);
  void InternalDeleteAlias(const std::string& Name, TConfigMode Mode, bool RestoreMode);
  // Writes the queued alias changes to the engine's configuration, first queued first.
  void SaveConfigFile();
  void GetConfigParams(const std::string& Path, const std::string& Section, host::TStrings* List);
  void ModifyConfigParams(const std::string& Path, const std::string& Section, host::TStrings* List);
  // Aliases that live only in this session, and changes waiting to be written.
  TAliasList* GetSessionAliases() const { return FSessionAliases.get(); }
  TAliasList* GetModifiedAliases() const { return FModifiedAliases.get(); }

  // ---- Passwords (exact, case-sensitive texts)
  void AddPassword(const std::string& Password);
  void RemovePassword(const std::string& Password);
  void RemoveAllPasswords();
  // OnPassword when assigned, else the password dialog; true when a password was supplied.
  bool GetPassword();
  host::TStringList* GetPasswords() const { return FPasswords.get(); }

  // ---- Administration credentials and connection
  const std::string& GetServerName() const { return FServerName; }
  void SetServerName(const std::string& Value);
  const std::string& GetServerAdminUser() const { return FMgiUserName; }
  void SetServerAdminUser(const std::string& Value);
  const std::string& GetServerAdminPassword() const { return FMgiPassword; }
  void SetServerAdminPassword(const std::string& Value);
  bool GetServerAdminLoginPrompt() const { return FMgiLoginPrompt; }
  void SetServerAdminLoginPrompt(bool Value);
  // Credentials used while the session is being designed.
  const std::string& GetMgiUserNameDesign() const { return FMgiUserNameDesign; }
  const std::string& GetMgiPasswordDesign() const { return FMgiPasswordDesign; }
  bool GetGotLoginData() const { return FGotLoginData; }
  // Shows the server login dialog; raises "Cannot connect to server '<ServerName>'." when
  // cancelled.
  void MgiLogin();
  void InvalidateLoginData() { FGotLoginData = false; }
  // ServerName is empty or this computer's name (ignoring case).
  bool GetLocalSystem() const;
  TMgiConnectionHolder* GetMgiConnectionHolder() const { return FMgiConnectionHolder.get(); }
  std::int32_t GetMgiHandle() { return FMgiConnectionHolder->GetConnection(); }

  // Raises EKxDbAdminEngineError (dbmeMGI) for a nonzero administration status; a non-empty
  // alias name is appended to the message.
  void CheckMGI(const std::string& AliasName, std::uint16_t Status);
  // The same, with server, database, session and component clauses added to the message.
  void CheckMGI(const std::string& AliasName, std::uint16_t Status, const std::string& ServerName,
                const std::string& DbName, TKxAbsDatabase* Database);
  void CheckMGI(const std::string& AliasName, std::uint16_t Status, const std::string& ServerName,
                const std::string& DbName, TKxAbsSession* Session);

  // ---- Wait cursor
  bool GetSQLHourGlass() const { return FSQLHourGlass; }
  void SetSQLHourGlass(bool Value) { FSQLHourGlass = Value; }
  void SetSQLHourGlassOnScreen() const;
  void RestoreFromSQLHourGlassOnScreen() const;

  // ---- Other properties
  std::string GetNetFileDir() const;
  void SetNetFileDir(const std::string& Value) { FNetFileDir = Value; }
  std::string GetPrivateDir() const;
  void SetPrivateDir(const std::string& Value) { FPrivateDir = Value; }
  const std::string& GetUserName() const { return FUserName; }
  void SetUserName(const std::string& Value) { FUserName = Value; }
  const TPasswordEvent& GetOnPassword() const { return FOnPassword; }
  void SetOnPassword(TPasswordEvent Value) { FOnPassword = std::move(Value); }
  const TDatabaseNotifyEvent& GetOnDBNotify() const { return FOnDBNotify; }
  void SetOnDBNotify(TDatabaseNotifyEvent Value) { FOnDBNotify = std::move(Value); }
  const host::TNotifyEvent& GetOnStartup() const { return FOnStartup; }
  void SetOnStartup(host::TNotifyEvent Value) { FOnStartup = std::move(Value); }

  void Loaded() override;
  void Notification(host::TComponent* AComponent, host::TOperation Operation) override;

 protected:
  void BeforeDestruction() override;
  // Raises "Cannot perform this operation on an active session" while active.
  void CheckInactive();
  void ValidateAutoSession(host::TComponent* AOwner, bool Enabling);
  void UpdateAutoSessionName();
  // Gives this session's name to the datasets and databases of this engine on the owner.
  void SetSessionNames();

 private:
  friend class TMgiConnectionHolder;

  // Frees the owned databases and hands the others to the default session; leaves the list.
  void Detach() noexcept;
  void ReleaseSessionNumber() noexcept;
  bool IsDesigning() const { return ComponentState().Contains(host::csDesigning); }

  TKxAbsSessionList* FSessionList;  // the list joined at construction
  std::unique_ptr<host::TStringList> FPasswords;
  bool FStreamedActive = false;
  bool FKeepConnections = true;
  bool FSQLHourGlass = true;
  bool FAutoSessionName = false;
  bool FUpdatingAutoSessionName = false;
  std::int32_t FSessionNumber = -1;
  std::string FNetFileDir;
  std::string FPrivateDir;
  TPasswordEvent FOnPassword;
  TDatabaseNotifyEvent FOnDBNotify;
  TConfigMode FConfigMode{cfmVirtual, cfmPersistent, cfmSession};
  std::string FServerName;
  std::string FMgiUserName;
  std::string FMgiPassword;
  std::string FMgiUserNameDesign;
  std::string FMgiPasswordDesign;
  bool FMgiLoginPrompt = false;
  bool FGotLoginData = false;
  std::vector<TKxAbsDatabase*> FDatabases;  // not owning
  std::unique_ptr<TMgiConnectionHolder> FMgiConnectionHolder;
  std::string FUserName;
  std::unique_ptr<TAliasList> FSessionAliases;
  std::unique_ptr<TAliasList> FModifiedAliases;
  host::TNotifyEvent FOnStartup;
  std::string FSessionName;
};

// The message of an administration status (the table of CheckMGI), without alias.
std::string MgiStatusMessage(std::uint16_t Status);

}  // namespace kx
