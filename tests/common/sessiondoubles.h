// A small concrete engine package for tests of the engine-independent core: a session list,
// session and database over in-memory handles, and a dataset that holds its database the way
// the abstract dataset's database flags do.
//
// Each TestSessionList is one "package": it makes its default session (named "TestDefault"
// unless told otherwise) and keeps the engine's state (TestEngine): aliases, tables, the
// handles in use, a log of the engine operations, and switches that make operations fail.
//
//   kxtest::TestSessionList sessions;
//   auto* db = host::TComponent::Create<kxtest::TestDatabase>(form, &sessions);
//   db->SetDatabaseName("Sales");
//   db->Open();                       // sessions.engine.log: "Open Sales ..."
//
// Components are created with host::TComponent::Create (or owned by nothing and deleted by the
// test); the list frees its sessions when it goes.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/kxconst.h"
#include "common/kxtables.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/sync.h"
#include "tests/platform/memdataset.h"

namespace kxtest {

class TestSessionList;
class TestSession;

// What the in-memory engine holds and what it was asked to do.
struct TestEngine {
  // Operations in call order, such as "SaveAlias Sales add", "Open Sales user=bob",
  // "CloseHandle Sales", "StartTransaction Database1".
  std::vector<std::string> log;
  // Aliases of the engine's configuration: name -> NAME=value lines.
  std::map<std::string, std::vector<std::string>> aliases;
  // Tables and stored procedures of each database name.
  std::map<std::string, std::vector<std::string>> tables;
  std::map<std::string, std::vector<std::string>> procedures;
  // Failures to inject: opening these names, saving these aliases, starting sessions.
  std::set<std::string> refuseOpen;
  std::set<std::string> refuseSave;
  bool refuseStartSession = false;
  bool refuseStartTransaction = false;
  bool refuseCommit = false;
  // DecodeAliasParams rejects changes of these aliases.
  std::set<std::string> rejectDecode;
  int nextHandle = 1;

  bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
  int Count(const std::string& prefix) const {
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }
};

// The message of the exception the call raises, or "<no exception>".
template <class F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const host::Exception& e) {
    return e.Message();
  }
  return "<no exception>";
}

inline void FillLines(host::TStrings* List, const std::vector<std::string>& Lines) {
  for (const std::string& line : Lines) List->Add(line);
}

inline std::vector<std::string> Lines(const host::TStrings* List) {
  std::vector<std::string> lines;
  if (List == nullptr) return lines;
  for (int i = 0; i < List->Count(); ++i) lines.push_back(List->Get(i));
  return lines;
}

// ---- Session list --------------------------------------------------------------------------------

class TestSessionList : public kx::TKxAbsSessionList {
 public:
  explicit TestSessionList(const std::string& DefaultName = "TestDefault");
  ~TestSessionList() override {
    CloseAll();
    DestroyCriticalSection();
  }

  void InitCriticalSection() override { FLock = std::make_unique<host::TCriticalSection>(); }
  void DestroyCriticalSection() override { FLock.reset(); }
  kx::TKxAbsSession* GetDefaultSession() override;
  kx::TKxAbsSession* CreateSession() override;

  TestSession* DefaultSession() const { return FDefault; }
  host::TCriticalSection* Lock() const { return FLock.get(); }

  TestEngine engine;

 private:
  friend class TestSession;
  std::unique_ptr<host::TCriticalSection> FLock;
  TestSession* FDefault = nullptr;
};

// ---- Session ---------------------------------------------------------------------------------------

class TestSession : public kx::TKxAbsSession {
 public:
  TestSession(host::TComponent* AOwner, TestSessionList* List) : kx::TKxAbsSession(AOwner, List), FList(List) {}
  ~TestSession() override {
    if (FList->FDefault == this) FList->FDefault = nullptr;
  }

  TestEngine& Engine() const { return FList->engine; }
  TestSessionList* List() const { return FList; }
  int Handle() const { return FHandle; }
  int LockCount() const { return FLockCount; }

  void CloseDatabaseHandle(kx::TKxAbsDatabase* Database) override;
  void GetSessionParams(host::TStrings* List) override {
    List->Clear();
    List->Add("INTEGRITY=TRUE");
  }
  bool IsHandleNull() override { return FHandle == 0; }
  void LockSession() override {
    if (FLockCount == 0) FList->Lock()->Enter();
    ++FLockCount;
  }
  void UnlockSession() override {
    if (FLockCount <= 0) return;
    if (--FLockCount == 0) FList->Lock()->Leave();
  }
  bool IsValidDataSet(host::TComponent* Component) override {
    return dynamic_cast<kx::IKxDataSetLink*>(Component) != nullptr;
  }
  bool IsValidDatabase(host::TComponent* Component) override;
  kx::TKxAbsDatabase* CreateDatabase(kx::TKxAbsSession* Session) override;
  kx::TKxAbsSessionList* GetSessions() override { return FList; }
  kx::TKxAbsSession* GetDefaultSession() override { return FList->GetDefaultSession(); }

  void RealDropAlias(const std::string& Name) override {
    Engine().log.push_back("RealDropAlias " + Name);
    Engine().aliases.erase(Name);
  }

  bool DecodeAliasParams(const std::string& Name, const host::TStrings* Given, bool IsAdd,
                         host::TStrings* Result) override {
    if (Engine().rejectDecode.count(Name) != 0) return false;
    bool changed = IsAdd;
    if (!IsAdd) GetAliasParams(Name, Result);
    for (int i = 0; i < Given->Count(); ++i) {
      const std::string name = Given->Names(i);
      const std::string value = Given->ValueFromIndex(i);
      if (value.empty()) continue;
      Result->SetValues(name, value);
      changed = true;
    }
    return changed;
  }

  void SaveAlias(const std::string& Name, const host::TStrings* Params, bool IsAdd) override {
    Engine().log.push_back("SaveAlias " + Name + (IsAdd ? " add" : " modify"));
    if (Engine().refuseSave.count(Name) != 0) throw host::EDatabaseError("cannot save " + Name);
    Engine().aliases[Name] = Lines(Params);
  }

  void StartSession(bool Value) override {
    kx::TKxAbsSession::StartSession(Value);
    if (Value) {
      if (GetOnStartup()) GetOnStartup()(this);
      if (GetSessionName().empty()) kx::KxDatabaseError(this, kx::SSessionNameMissing);
      if (Engine().refuseStartSession) throw host::EDatabaseError("engine refused the session");
      SetConfigMode(kx::TConfigMode{kx::cfmVirtual, kx::cfmPersistent, kx::cfmSession});
      FHandle = Engine().nextHandle++;
      Engine().log.push_back("StartSession " + GetSessionName());
    } else {
      for (int i = GetDatabaseCount() - 1; i >= 0; --i) {
        if (i >= GetDatabaseCount()) continue;
        kx::TKxAbsDatabase* database = GetDatabases(i);
        database->Close();
        if (database->GetTemporary()) delete database;
      }
      if (FHandle != 0) Engine().log.push_back("EndSession " + GetSessionName());
      FHandle = 0;
    }
  }

  void AddStandardAlias(const std::string& Name, const std::string& Path) override {
    host::TStringList params;
    params.Add("PATH=" + Path);
    AddAlias(Name, &params);
  }

  void GetAliasNames(host::TStrings* List) override {
    const kx::TConfigMode all{kx::cfmVirtual, kx::cfmPersistent, kx::cfmSession};
    const kx::TConfigMode mode = GetConfigMode();
    List->Clear();
    if (IsEngineConfigMode(mode)) {
      for (const auto& alias : Engine().aliases) List->Add(alias.first);
    }
    if (mode == all || mode == kx::TConfigMode{kx::cfmSession}) {
      for (int i = 0; i < GetSessionAliases()->Count(); ++i) {
        const std::string& name = GetSessionAliases()->Items(i)->GetName();
        if (List->IndexOf(name) < 0) List->Add(name);
      }
    }
  }

  void GetAliasParams(const std::string& AliasName, host::TStrings* List) override {
    if (List == nullptr) return;
    const kx::TConfigMode all{kx::cfmVirtual, kx::cfmPersistent, kx::cfmSession};
    const kx::TConfigMode mode = GetConfigMode();
    List->Clear();
    if (mode == all || mode == kx::TConfigMode{kx::cfmSession}) {
      if (host::TStringList* params = GetSessionAliases()->GetParams(AliasName)) {
        List->Assign(params);
        return;
      }
    }
    if (!IsEngineConfigMode(mode)) kx::KxDatabaseError(this, kx::SKxDBNamesErrorCannotLocateDB);
    if (host::TStringList* params = GetModifiedAliases()->GetParams(AliasName)) {
      List->Assign(params);
      return;
    }
    auto it = Engine().aliases.find(AliasName);
    if (it == Engine().aliases.end()) kx::KxDatabaseError(this, kx::SKxDBNamesErrorCannotLocateDB);
    FillLines(List, it->second);
  }

  void GetTableNames(const std::string& DatabaseName, const std::string& /*Pattern*/, bool /*Extensions*/,
                     bool /*SystemTables*/, host::TStrings* List) override {
    List->Clear();
    FillLines(List, Engine().tables[DatabaseName]);
  }

  void GetStoredProcNames(const std::string& DatabaseName, host::TStrings* List) override {
    List->Clear();
    FillLines(List, Engine().procedures[DatabaseName]);
  }

 private:
  TestSessionList* FList;
  int FHandle = 0;
  int FLockCount = 0;
};

// ---- Database ------------------------------------------------------------------------------------

class TestDatabase : public kx::TKxAbsDatabase {
 public:
  TestDatabase(host::TComponent* AOwner, TestSessionList* List) : kx::TKxAbsDatabase(AOwner), FList(List) {
    InitSession();
  }

  int Handle() const { return FHandle; }
  TestEngine& Engine() const { return FList->engine; }
  // The password CheckDatabaseAlias gave the last connection.
  const std::string& LastPassword() const { return FLastPassword; }
  // Takes another database's handle (the shared-handle path of the engine packages).
  void AcquireHandle(int Handle) {
    FHandle = Handle;
    SetAcquiredHandle(true);
  }

  void EndTransaction(kx::TTransEnd TransEnd) override {
    if (!GetInTransaction()) kx::KxDatabaseError(this, kx::SKxNotInTransaction);
    const bool commit = TransEnd == kx::teCommit;
    Engine().log.push_back(std::string(commit ? "Commit " : "Rollback ") + GetDatabaseName());
    if (commit && Engine().refuseCommit) throw host::EDatabaseError("commit refused");
    SetInTransaction(false);
  }
  bool IsHandleNull() override { return FHandle == 0; }
  kx::TKxAbsSession* GetOwnerSession(host::TComponent* AOwner) override {
    if (auto* session = dynamic_cast<TestSession*>(AOwner)) return session;
    return FList->GetDefaultSession();
  }
  kx::TKxAbsSessionList* GetSessions() override { return FList; }
  kx::TKxAbsSession* GetDefaultSession() override { return FList->GetDefaultSession(); }
  void StartTransaction() override {
    CheckActive();
    if (GetInTransaction()) kx::KxDatabaseError(this, kx::SKxNestedTransactionsNotSupported);
    Engine().log.push_back("StartTransaction " + GetDatabaseName());
    if (Engine().refuseStartTransaction) throw host::EDatabaseError("transaction refused");
    SetInTransaction(true);
  }

 protected:
  void DoConnect() override {
    if (FHandle != 0) return;
    CheckDatabaseName();
    CheckSessionName(true);
    kx::TKxAbsSession* session = GetSession();
    session->LockSession();
    struct Unlock {
      kx::TKxAbsSession* s;
      ~Unlock() { s->UnlockSession(); }
    } unlock{session};
    std::string password;
    CheckDatabaseAlias(password, true, false);
    FLastPassword = password;
    const std::string name = GetAliasName().empty() ? GetDatabaseName() : GetAliasName();
    Engine().log.push_back("Open " + name + " user=" + GetParams()->Values("USER NAME") + " password=" + password);
    if (Engine().refuseOpen.count(name) != 0) {
      if (GetSessionAlias()) session->InternalDeleteAlias(GetDatabaseName(), kx::TConfigMode{kx::cfmSession}, true);
      throw host::EDatabaseError("cannot open " + name);
    }
    FHandle = Engine().nextHandle++;
    SetDatabaseFlags();
    session->DBNotification(kx::dbOpen, {this, {}});
  }

  void DoDisconnect() override {
    if (FHandle == 0) return;
    kx::TKxAbsDatabase::DoDisconnect();
    FHandle = 0;
  }

 private:
  friend class TestSession;
  TestSessionList* FList;
  int FHandle = 0;
  std::string FLastPassword;
};

// ---- A dataset that holds its database ------------------------------------------------------------

// Holds its database as the abstract dataset's first database flag does (HoldDatabase) and
// lets it go as clearing the last one does (ReleaseDatabase); takes part in ApplyUpdates.
class TestLinkDataSet : public MemDataSet, public kx::IKxDataSetLink {
 public:
  TestLinkDataSet(host::TComponent* AOwner, TestSessionList* List) : MemDataSet(AOwner), FList(List) {}
  ~TestLinkDataSet() override { ReleaseDatabase(); }

  std::string GetSessionName() const override { return FSessionName; }
  void SetSessionName(const std::string& Value) override {
    CheckInactive();
    FSessionName = Value;
  }
  void AssignSessionName(const std::string& Value) override { FSessionName = Value; }
  kx::TKxAbsDatabase* GetDatabase() override { return FDatabase; }
  void ApplyUpdates() override {
    FList->engine.log.push_back("ApplyUpdates " + Name());
    if (FailApply) throw host::EDatabaseError("apply failed in " + Name());
  }
  void CommitUpdates() override { FList->engine.log.push_back("CommitUpdates " + Name()); }
  void Disconnect() override {
    FList->engine.log.push_back("Disconnect " + Name());
    Close();
    ReleaseDatabase();
  }

  void HoldDatabase(const std::string& DatabaseName) {
    kx::TKxAbsSession* session = FList->GetSessionByName(FSessionName);
    FDatabase = session->DoOpenDatabase(DatabaseName, Owner());
    FDatabase->RegisterClient(this);
  }
  void ReleaseDatabase() {
    if (FDatabase == nullptr) return;
    kx::TKxAbsDatabase* database = FDatabase;
    FDatabase = nullptr;
    database->UnRegisterClient(this);
    if (kx::TKxAbsSession* session = database->GetSession()) session->CloseDatabase(database);
  }

  bool FailApply = false;

 private:
  TestSessionList* FList;
  std::string FSessionName;
  kx::TKxAbsDatabase* FDatabase = nullptr;
};

// ---- Out-of-line parts ------------------------------------------------------------------------

inline TestSessionList::TestSessionList(const std::string& DefaultName) {
  InitCriticalSection();
  FDefault = host::TComponent::Create<TestSession>(nullptr, this);
  FDefault->SetSessionName(DefaultName);
}

inline kx::TKxAbsSession* TestSessionList::GetDefaultSession() { return FDefault; }

inline kx::TKxAbsSession* TestSessionList::CreateSession() {
  return host::TComponent::Create<TestSession>(nullptr, this);
}

inline bool TestSession::IsValidDatabase(host::TComponent* Component) {
  return dynamic_cast<TestDatabase*>(Component) != nullptr;
}

inline kx::TKxAbsDatabase* TestSession::CreateDatabase(kx::TKxAbsSession* Session) {
  return host::TComponent::Create<TestDatabase>(Session, FList);
}

inline void TestSession::CloseDatabaseHandle(kx::TKxAbsDatabase* Database) {
  // A handle another database of the same name still uses stays open.
  for (int i = 0; i < GetDatabaseCount(); ++i) {
    kx::TKxAbsDatabase* other = GetDatabases(i);
    if (other != Database && !other->IsHandleNull() &&
        host::AnsiSameText(other->GetDatabaseName(), Database->GetDatabaseName())) {
      return;
    }
  }
  if (!Database->IsHandleNull()) Engine().log.push_back("CloseHandle " + Database->GetDatabaseName());
}

}  // namespace kxtest
