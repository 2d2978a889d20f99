// The abstract database component: a named connection to one engine database inside a session.
//
// An engine package derives its database from TKxAbsDatabase, calls InitSession at the end of
// its constructor (which joins the session GetOwnerSession names; a base class cannot reach an
// override while it is being built), and implements DoConnect (which calls CheckDatabaseAlias, SetDatabaseFlags and Login as
// needed), DoDisconnect (calling the base first), the transaction operations and the
// operations declared abstract below, in their slot order.
//
// Datasets use a database through their session (TKxAbsSession::DoOpenDatabase and
// CloseDatabase) and register with it while they hold it open (RegisterClient /
// UnRegisterClient of host::TCustomConnection). A dataset that implements IKxDataSetLink
// (session.h) is closed through Disconnect when the database disconnects and takes part in
// ApplyUpdates.
//
// Errors about names and states are raised with the database as owner, so each message ends
// with the database's component clause.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

#include "common/kxtables/session.h"
#include "platform/db/connection.h"
#include "platform/rtl/containers.h"

namespace kx {

enum TTransIsolation { tiReadCommitted };
enum TTransEnd { teCommit, teRollback };

using TDatabaseLoginEvent = std::function<void(TKxAbsDatabase* Database, host::TStrings* LoginParams)>;

// The database login dialog: edits the user name and password; false when cancelled. A program
// without one (headless) behaves as if the user cancelled. Returns the procedure it replaces.
using TDatabaseLoginDialogProc =
    std::function<bool(const std::string& DatabaseName, std::string& UserName, std::string& Password)>;
TDatabaseLoginDialogProc SetDatabaseLoginDialogProc(TDatabaseLoginDialogProc Proc);

class TKxAbsDatabase : public host::TCustomConnection {
 public:
  explicit TKxAbsDatabase(host::TComponent* AOwner);
  ~TKxAbsDatabase() override;

  // ---- Engine operations, in slot order
  // Commits or rolls back the current transaction and clears InTransaction.
  virtual void EndTransaction(TTransEnd TransEnd) = 0;
  // No engine connection.
  virtual bool IsHandleNull() = 0;
  // Obtains user name and password into LoginParams ("USER NAME", "PASSWORD").
  virtual void Login(host::TStrings* LoginParams);
  virtual TKxAbsSession* GetOwnerSession(host::TComponent* AOwner) = 0;
  virtual TKxAbsSessionList* GetSessions() = 0;
  virtual TKxAbsSession* GetDefaultSession() = 0;
  // The base clears IsSQLBased.
  virtual void SetDatabaseFlags();
  virtual std::string GetDirectory();
  // Always raises "Assignment to 'Directory' property is not supported".
  virtual void SetDirectory(const std::string& Value);
  virtual void FlushSchemaCache(const std::string& TableName);
  // Begins a transaction and sets InTransaction.
  virtual void StartTransaction() = 0;

  // ---- Connection
  bool GetConnected() override { return !IsHandleNull(); }
  void Commit();
  void Rollback();
  // Applies the cached updates of several datasets of this database in one transaction; on
  // any failure the transaction is rolled back, every dataset's cache holds all its changes
  // again (those applied before the failure included), and the error passes on.
  void ApplyUpdates(std::span<host::TDataSet* const> DataSets);
  void ApplyUpdates(std::initializer_list<host::TDataSet*> DataSets);
  // Closes the registered datasets, last first.
  void CloseDataSets();
  // "Cannot perform this operation on a closed database" when not connected.
  void CheckActive();
  // When connected: closes the database while designing, else raises "Cannot perform this
  // operation on an open database".
  void CheckInactive();
  void CheckDatabaseName();
  // Finds the session named SessionName (Required: raising for an unknown name) and moves
  // the database there; with Required the session is made active.
  void CheckSessionName(bool Required);
  // Resolves the alias parameters while connecting: returns the password to use, asks for a
  // login when told to, and creates a session alias named DatabaseName when Params override
  // the alias's parameters (removed again at disconnect).
  void CheckDatabaseAlias(std::string& Password, bool UseAlias, bool ForceLogin);
  // Raises "Duplicate database name" for a name in use in the session; frees an unused
  // temporary database of that name.
  void ValidateName(const std::string& Name);

  // ---- Properties
  const std::string& GetDatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& Value);
  const std::string& GetSessionName() const { return FSessionName; }
  void SetSessionName(const std::string& Value);
  TKxAbsSession* GetSession() const { return FSession; }
  const std::string& GetAliasName() const { return FAliasName; }
  void SetAliasName(const std::string& Value);
  host::TStringList* GetParams() const { return FParams.get(); }
  void SetParams(const host::TStrings* Value);
  bool GetExclusive() const { return FExclusive; }
  void SetExclusive(bool Value);
  bool GetReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  bool GetHandleShared() const { return FHandleShared; }
  void SetHandleShared(bool Value) { FHandleShared = Value; }
  bool GetKeepConnection() const { return FKeepConnection; }
  // Turning it off closes a database no dataset holds.
  void SetKeepConnection(bool Value);
  bool GetLoginPromptOnlyIfNecessary() const { return FLoginPromptOnlyIfNecessary; }
  void SetLoginPromptOnlyIfNecessary(bool Value) { FLoginPromptOnlyIfNecessary = Value; }
  TTransIsolation GetTransIsolation() const { return FTransIsolation; }
  void SetTransIsolation(TTransIsolation Value) { FTransIsolation = Value; }
  bool GetTemporary() const { return FTemporary; }
  void SetTemporary(bool Value) { FTemporary = Value; }
  // How many datasets opened this database through its session.
  std::int32_t GetRefCount() const { return FRefCount; }
  bool GetSessionAlias() const { return FSessionAlias; }
  bool GetIsSQLBased() const { return FSQLBased; }
  bool GetInTransaction() const { return FIsInTransaction; }
  const TDatabaseLoginEvent& GetOnLogin() const { return FOnLogin; }
  void SetOnLogin(TDatabaseLoginEvent Value) { FOnLogin = std::move(Value); }

  void Loaded() override;
  void Notification(host::TComponent* AComponent, host::TOperation Operation) override;

 protected:
  // Joins GetOwnerSession (Owner) unless a session was assigned already. Engine databases call
  // it at the end of their constructors.
  void InitSession();
  void DoDisconnect() override;
  void BeforeDestruction() override;
  // For the engine packages: the handle was taken from another database and is not released.
  bool GetAcquiredHandle() const { return FAcquiredHandle; }
  void SetAcquiredHandle(bool Value) { FAcquiredHandle = Value; }
  void SetIsSQLBased(bool Value) { FSQLBased = Value; }
  void SetInTransaction(bool Value) { FIsInTransaction = Value; }
  // Tells every registered dataset that the transaction was committed or rolled back.
  void NotifyTransactionEnded(bool Committed) noexcept;

 private:
  friend class TKxAbsSession;

  // Leaves the current session's list and joins NewSession's (nullptr: none).
  void AttachSession(TKxAbsSession* NewSession);
  // The session is going away: close and move to the default session.
  void SessionRemoved(TKxAbsSession* Session) noexcept;
  TKxAbsSession* RequireSession();
  bool IsReading() const { return ComponentState().Contains(host::csReading); }

  bool FLoginPromptOnlyIfNecessary = true;
  bool FKeepConnection = true;
  bool FTemporary = false;
  bool FHandleShared = false;
  bool FReadOnly = false;
  std::int32_t FRefCount = 0;
  std::string FSessionName;
  std::string FAliasName;
  bool FAcquiredHandle = false;
  std::string FDatabaseName;
  TDatabaseLoginEvent FOnLogin;
  bool FExclusive = false;
  std::unique_ptr<host::TStringList> FParams;
  TKxAbsSession* FSession = nullptr;  // not owning
  bool FSessionAlias = false;
  bool FSQLBased = false;
  bool FIsInTransaction = false;
  TTransIsolation FTransIsolation = tiReadCommitted;
  // Set while DoDisconnect runs: datasets handing the database back meanwhile must not close
  // or free it again.
  bool FDisconnecting = false;
};

}  // namespace kx
