// The abstract database component: names, states, sessions, login, alias resolution while
// connecting, disconnecting with datasets, and cached updates of several datasets in one
// transaction.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/kxtables.h"
#include "platform/rtl/application.h"
#include "tests/common/sessiondoubles.h"

namespace kx {
namespace {

using kxtest::Lines;
using kxtest::ErrorOf;
using kxtest::TestDatabase;
using kxtest::TestLinkDataSet;
using kxtest::TestSession;
using kxtest::TestSessionList;

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<host::TForm>(nullptr);
    form->SetName("Form1");
  }
  void TearDown() override { form.reset(); }

  TestDatabase* NewDatabase(const std::string& component, const std::string& name = {}) {
    auto* database = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
    database->SetName(component);
    if (!name.empty()) database->SetDatabaseName(name);
    return database;
  }

  TestLinkDataSet* NewDataSet(const std::string& component) {
    auto* dataSet = host::TComponent::Create<TestLinkDataSet>(form.get(), &sessions);
    dataSet->SetName(component);
    return dataSet;
  }

  TestSessionList sessions;
  std::unique_ptr<host::TForm> form;
};

// ---- Construction and names -----------------------------------------------------------------

TEST_F(DatabaseTest, JoinsTheSessionItsOwnerNames) {
  TestDatabase* database = NewDatabase("Database1");
  EXPECT_EQ(database->GetSession(), sessions.DefaultSession());
  EXPECT_EQ(database->GetSessionName(), "TestDefault");
  EXPECT_TRUE(database->GetLoginPrompt());
  EXPECT_TRUE(database->GetLoginPromptOnlyIfNecessary());
  EXPECT_TRUE(database->GetKeepConnection());
  EXPECT_EQ(database->GetTransIsolation(), tiReadCommitted);
  EXPECT_FALSE(database->GetInTransaction());

  auto* session = host::TComponent::Create<TestSession>(nullptr, &sessions);
  session->SetSessionName("Work");
  auto* owned = host::TComponent::Create<TestDatabase>(session, &sessions);
  EXPECT_EQ(owned->GetSession(), session);
  EXPECT_EQ(owned->GetSessionName(), "Work");
  delete owned;
  EXPECT_EQ(session->GetDatabaseCount(), 0);
}

TEST_F(DatabaseTest, DuplicateNamesAreRefusedUnlessShared) {
  NewDatabase("Database1", "Sales");
  TestDatabase* second = NewDatabase("Database2");
  EXPECT_EQ(ErrorOf([&] { second->SetDatabaseName("SALES"); }),
            "Duplicate database name 'SALES'. Component is Database2, owned by Form1");
  EXPECT_EQ(second->GetDatabaseName(), "");

  TestDatabase* shared1 = NewDatabase("Shared1");
  shared1->SetHandleShared(true);
  shared1->SetDatabaseName("Common");
  TestDatabase* shared2 = NewDatabase("Shared2");
  shared2->SetHandleShared(true);
  EXPECT_NO_THROW(shared2->SetDatabaseName("Common"));
  second->SetHandleShared(true);  // one side shared is not enough
  EXPECT_THROW(second->SetDatabaseName("Sales"), EKxDatabaseError);
}

// An unused temporary database gives its name up; one in use does not.
TEST_F(DatabaseTest, UnusedTemporaryDatabaseIsFreedForTheName) {
  TestSession* session = sessions.DefaultSession();
  TKxAbsDatabase* temporary = session->OpenDatabase("Scratch");
  TestDatabase* database = NewDatabase("Database1");
  EXPECT_EQ(ErrorOf([&] { database->SetDatabaseName("Scratch"); }),
            "Duplicate database name 'Scratch'. Component is Database1, owned by Form1");
  session->CloseDatabase(temporary);
  ASSERT_EQ(session->GetDatabaseCount(), 2);
  database->SetDatabaseName("Scratch");
  EXPECT_EQ(session->GetDatabaseCount(), 1);
  EXPECT_EQ(session->FindDatabase("Scratch"), database);
  EXPECT_TRUE(sessions.engine.Logged("CloseHandle Scratch"));
}

// ---- States ------------------------------------------------------------------------------------

TEST_F(DatabaseTest, ClosedAndOpenStateChecks) {
  TestDatabase* database = NewDatabase("Database1");
  const std::string clause = ". Component is Database1, owned by Form1";
  EXPECT_EQ(ErrorOf([&] { database->CheckActive(); }), "Cannot perform this operation on a closed database" + clause);
  EXPECT_EQ(ErrorOf([&] { database->Commit(); }), "Cannot perform this operation on a closed database" + clause);
  EXPECT_EQ(ErrorOf([&] { database->Open(); }), "Database name missing" + clause);
  database->SetTemporary(true);
  EXPECT_NO_THROW(database->CheckDatabaseName());
  database->SetTemporary(false);
  EXPECT_EQ(ErrorOf([&] { database->SetDirectory("/x"); }),
            "Assignment to 'Directory' property is not supported" + clause);
  EXPECT_EQ(database->GetDirectory(), "");

  database->SetDatabaseName("Sales");
  database->GetParams()->Add("USER NAME=bob");
  database->Open();
  ASSERT_TRUE(database->GetConnected());
  struct Case {
    const char* what;
    std::function<void()> change;
  };
  host::TStringList params;
  params.Add("X=1");
  const std::vector<Case> cases = {
      {"DatabaseName", [&] { database->SetDatabaseName("Other"); }},
      {"SessionName", [&] { database->SetSessionName("Other"); }},
      {"AliasName", [&] { database->SetAliasName("Alias"); }},
      {"Exclusive", [&] { database->SetExclusive(true); }},
      {"ReadOnly", [&] { database->SetReadOnly(true); }},
      {"Params", [&] { database->SetParams(&params); }},
      {"Params contents", [&] { database->GetParams()->Add("PASSWORD=x"); }},
      {"Params update", [&] { database->GetParams()->BeginUpdate(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ErrorOf(c.change), "Cannot perform this operation on an open database" + clause);
  }
  EXPECT_EQ(database->GetDatabaseName(), "Sales");
  EXPECT_EQ(Lines(database->GetParams()), std::vector<std::string>{"USER NAME=bob"});
  EXPECT_FALSE(database->GetExclusive());
  EXPECT_TRUE(database->GetConnected());
  // The same value again is no change.
  EXPECT_NO_THROW(database->SetDatabaseName("Sales"));
}

TEST_F(DatabaseTest, DesigningClosesInsteadOfRefusing) {
  form->SetDesigning(true);
  TestDatabase* database = NewDatabase("Database1", "Sales");
  database->Open();
  database->SetExclusive(true);
  EXPECT_FALSE(database->GetConnected());
  EXPECT_TRUE(database->GetExclusive());
}

TEST_F(DatabaseTest, KeepConnectionOffClosesAnUnusedDatabase) {
  TestDatabase* database = NewDatabase("Database1", "Sales");
  database->Open();
  sessions.DefaultSession()->OpenDatabase("Sales");  // a user
  database->SetKeepConnection(false);
  EXPECT_TRUE(database->GetConnected());
  database->SetKeepConnection(true);
  sessions.DefaultSession()->CloseDatabase(database);
  EXPECT_TRUE(database->GetConnected());
  database->SetKeepConnection(false);
  EXPECT_FALSE(database->GetConnected());
}

// ---- Sessions ------------------------------------------------------------------------------------

TEST_F(DatabaseTest, SessionNameMovesTheDatabase) {
  TestDatabase* database = NewDatabase("Database1", "Sales");
  auto* work = host::TComponent::Create<TestSession>(nullptr, &sessions);
  work->SetSessionName("Work");
  database->SetSessionName("work");
  EXPECT_EQ(database->GetSession(), work);
  EXPECT_EQ(sessions.DefaultSession()->GetDatabaseCount(), 0);
  EXPECT_EQ(work->GetDatabaseCount(), 1);
  EXPECT_FALSE(work->GetActive());  // not required, so not started

  // An unknown name keeps the session until the database must connect.
  database->SetSessionName("Nope");
  EXPECT_EQ(database->GetSession(), work);
  EXPECT_EQ(ErrorOf([&] { database->Open(); }), "Invalid session name Nope");

  database->SetSessionName("Work");
  database->Open();
  EXPECT_TRUE(work->GetActive());
}

TEST_F(DatabaseTest, NameClashInTheNewSessionClearsTheName) {
  auto* work = host::TComponent::Create<TestSession>(nullptr, &sessions);
  work->SetSessionName("Work");
  auto* there = host::TComponent::Create<TestDatabase>(work, &sessions);
  there->SetDatabaseName("Sales");
  TestDatabase* database = NewDatabase("Database1", "Sales");
  EXPECT_EQ(ErrorOf([&] { database->SetSessionName("Work"); }),
            "Duplicate database name 'Sales'. Component is Database1, owned by Form1");
  EXPECT_EQ(database->GetDatabaseName(), "");
  EXPECT_EQ(database->GetSession(), work);
}

TEST_F(DatabaseTest, LoadedAttachesToTheStoredSession) {
  auto* work = host::TComponent::Create<TestSession>(nullptr, &sessions);
  work->SetSessionName("Work");
  TestDatabase* database = NewDatabase("Database1");
  host::LoadComponents({form.get()}, [&] {
    database->SetSessionName("Work");
    database->SetDatabaseName("Sales");
    EXPECT_EQ(database->GetSession(), sessions.DefaultSession());
  });
  EXPECT_EQ(database->GetSession(), work);
  EXPECT_FALSE(database->GetConnected());

  TestDatabase* connected = NewDatabase("Database2");
  host::LoadComponents({form.get()}, [&] {
    connected->SetSessionName("Work");
    connected->SetDatabaseName("Orders");
    connected->Open();
  });
  EXPECT_TRUE(connected->GetConnected());
  EXPECT_EQ(connected->GetSession(), work);
}

// ---- Login --------------------------------------------------------------------------------------

TEST_F(DatabaseTest, LoginUsesTheEventOrTheDialog) {
  TestDatabase* database = NewDatabase("Database1", "Sales");
  host::TStringList params;
  params.Add("USER NAME=bob");

  // No dialog in a headless program: the login is cancelled.
  EXPECT_EQ(ErrorOf([&] { database->Login(&params); }),
            "Cannot connect to database 'Sales'. Component is Database1, owned by Form1");

  std::vector<std::string> shown;
  bool answer = true;
  const TDatabaseLoginDialogProc previous =
      SetDatabaseLoginDialogProc([&](const std::string& name, std::string& user, std::string& password) {
        shown.push_back(name + ":" + user);
        user = "alice";
        password = "secret";
        return answer;
      });
  database->Login(&params);
  EXPECT_EQ(shown, std::vector<std::string>{"Sales:bob"});
  EXPECT_EQ(params.Values("USER NAME"), "alice");
  EXPECT_EQ(params.Values("PASSWORD"), "secret");
  answer = false;
  EXPECT_THROW(database->Login(&params), EKxDatabaseError);
  EXPECT_EQ(params.Values("USER NAME"), "alice");

  std::vector<std::string> heard;
  database->SetOnLogin([&](TKxAbsDatabase* db, host::TStrings* list) {
    heard.push_back(db->GetDatabaseName() + ":" + list->Values("USER NAME"));
    list->SetValues("PASSWORD", "fromEvent");
  });
  database->Login(&params);
  EXPECT_EQ(heard, std::vector<std::string>{"Sales:alice"});
  EXPECT_EQ(params.Values("PASSWORD"), "fromEvent");
  EXPECT_EQ(shown.size(), 2u);
  SetDatabaseLoginDialogProc(previous);
}

// ---- Resolving the alias while connecting ---------------------------------------------------

struct AliasCase {
  const char* what;
  std::string databaseName;
  std::string aliasName;
  std::vector<std::string> params;
  bool loginPrompt;
  bool onlyIfNecessary;
  // Expected: the password used, whether a session alias named DatabaseName appears and its
  // parameters, and the USER NAME left in Params.
  std::string password;
  bool sessionAlias;
  std::vector<std::string> sessionAliasParams;
  std::string userName;
};

TEST_F(DatabaseTest, CheckDatabaseAliasCases) {
  sessions.engine.aliases["Sales"] = {"DDF_PATH=/dict", "PATH=/data", "USER NAME=aliasUser"};
  const std::vector<AliasCase> cases = {
      {"alias equals name, only a password", "Sales", "Sales", {"PASSWORD=pw"}, true, true, "pw", false, {}, ""},
      {"parameter overrides the alias", "Sales", "Sales", {"PATH=/other", "PASSWORD=pw"}, true, true, "pw", true,
       {"DDF_PATH=/dict", "PATH=/other", "USER NAME=aliasUser"}, ""},
      {"parameter the alias lacks", "Sales", "Sales", {"EXTRA=1"}, true, true, "", false, {}, ""},
      {"name differs from the alias", "MyDb", "Sales", {}, true, true, "", true,
       {"DDF_PATH=/dict", "PATH=/data", "USER NAME=aliasUser"}, ""},
      {"unknown alias falls back to the session", "MyDb", "Nope", {"INTEGRITY=FALSE"}, true, true, "", true,
       {"INTEGRITY=FALSE"}, ""},
      {"path-like alias is not looked up", "MyDb", "C:\\data", {}, true, true, "", true, {"INTEGRITY=TRUE"}, ""},
      {"login prompt asks", "Sales", "Sales", {"PASSWORD=ignored"}, true, false, "typed", false, {}, "aliasUser"},
  };
  const TDatabaseLoginDialogProc previous =
      SetDatabaseLoginDialogProc([](const std::string&, std::string& user, std::string& password) {
        password = "typed";
        return !user.empty();
      });
  int n = 0;
  for (const AliasCase& c : cases) {
    SCOPED_TRACE(c.what);
    TestDatabase* database = NewDatabase("Db" + std::to_string(++n));
    database->SetDatabaseName(c.databaseName);
    database->SetAliasName(c.aliasName);
    kxtest::FillLines(database->GetParams(), c.params);
    database->SetLoginPrompt(c.loginPrompt);
    database->SetLoginPromptOnlyIfNecessary(c.onlyIfNecessary);
    TestSession* session = sessions.DefaultSession();
    database->Open();
    EXPECT_EQ(database->LastPassword(), c.password);
    EXPECT_EQ(database->GetSessionAlias(), c.sessionAlias);
    host::TStringList* alias = session->GetSessionAliases()->GetParams(c.databaseName);
    EXPECT_EQ(alias != nullptr, c.sessionAlias);
    if (alias != nullptr) {
      EXPECT_EQ(Lines(alias), c.sessionAliasParams);
    }
    EXPECT_EQ(database->GetParams()->Values("USER NAME"), c.userName);
    // Resolving the alias leaves the session in session-only mode; the engine packages put
    // the mode back after connecting.
    session->SetConfigMode(TConfigMode{cfmVirtual, cfmPersistent, cfmSession});
    // The session alias lives as long as the connection.
    database->Close();
    EXPECT_EQ(session->GetSessionAliases()->IndexOfAlias(c.databaseName), -1);
    EXPECT_FALSE(database->GetSessionAlias());
    delete database;
  }
  SetDatabaseLoginDialogProc(previous);
}

// ---- Disconnecting -----------------------------------------------------------------------------

TEST_F(DatabaseTest, DisconnectClosesDatasetsRollsBackAndReleases) {
  TestDatabase* database = NewDatabase("Database1", "Sales");
  TestLinkDataSet* first = NewDataSet("DS1");
  TestLinkDataSet* second = NewDataSet("DS2");
  first->HoldDatabase("Sales");
  second->HoldDatabase("Sales");
  ASSERT_EQ(database->DataSetCount(), 2);
  EXPECT_EQ(database->GetRefCount(), 2);
  database->StartTransaction();
  std::vector<std::string> events;
  sessions.DefaultSession()->SetOnDBNotify([&](TDatabaseEvent event, const TDatabaseNotifyParam& param) {
    if (event == dbClose) events.push_back("close:" + param.Database->GetDatabaseName());
  });
  sessions.engine.log.clear();

  database->Close();
  EXPECT_EQ(events, std::vector<std::string>{"close:Sales"});
  EXPECT_EQ(sessions.engine.log,
            (std::vector<std::string>{"Disconnect DS2", "Disconnect DS1", "Rollback Sales", "CloseHandle Sales"}));
  EXPECT_EQ(database->DataSetCount(), 0);
  EXPECT_EQ(database->GetRefCount(), 0);
  EXPECT_FALSE(database->GetInTransaction());
  EXPECT_EQ(first->GetDatabase(), nullptr);
}

TEST_F(DatabaseTest, DisconnectLetsGoOfOtherClientsAndAcquiredHandles) {
  TestDatabase* database = NewDatabase("Database1", "Sales");
  database->Open();
  // A dataset that knows nothing of the library: closed and unregistered, never looped on.
  auto* plain = host::TComponent::Create<kxtest::MemDataSet>(form.get());
  database->RegisterClient(plain);
  database->Close();
  EXPECT_EQ(database->DataSetCount(), 0);

  // A handle taken from another database is not released.
  TestDatabase* other = NewDatabase("Database2");
  other->SetDatabaseName("Other");
  other->AcquireHandle(99);
  sessions.engine.log.clear();
  other->Close();
  EXPECT_TRUE(sessions.engine.log.empty());
  EXPECT_FALSE(other->GetConnected());
}

TEST_F(DatabaseTest, SharedHandleStaysOpenWhileAnotherDatabaseUsesIt) {
  TestDatabase* first = NewDatabase("Database1");
  first->SetHandleShared(true);
  first->SetDatabaseName("Sales");
  TestDatabase* second = NewDatabase("Database2");
  second->SetHandleShared(true);
  second->SetDatabaseName("Sales");
  first->Open();
  second->Open();
  sessions.engine.log.clear();
  first->Close();
  EXPECT_TRUE(sessions.engine.log.empty());
  second->Close();
  EXPECT_EQ(sessions.engine.log, std::vector<std::string>{"CloseHandle Sales"});
}

// A temporary database without KeepConnection would be freed when its last dataset hands it
// back; while it is disconnecting that must not happen under its feet.
TEST_F(DatabaseTest, ClosingATemporaryDatabaseItsDatasetsHold) {
  TestSession* session = sessions.DefaultSession();
  session->SetKeepConnections(false);
  TestLinkDataSet* dataSet = NewDataSet("DS1");
  dataSet->HoldDatabase("Scratch");
  TKxAbsDatabase* temporary = dataSet->GetDatabase();
  ASSERT_TRUE(temporary->GetTemporary());
  temporary->Close();
  EXPECT_EQ(dataSet->GetDatabase(), nullptr);
  EXPECT_EQ(session->GetDatabaseCount(), 1);
  EXPECT_EQ(sessions.engine.Count("CloseHandle Scratch"), 1);
  session->DropConnections();
  EXPECT_EQ(session->GetDatabaseCount(), 0);

  // Ending the session closes and frees it in one go.
  dataSet->HoldDatabase("Scratch");
  session->Close();
  EXPECT_EQ(dataSet->GetDatabase(), nullptr);
  EXPECT_EQ(session->GetDatabaseCount(), 0);
}

// Freeing a database lets its datasets go and leaves its session.
TEST_F(DatabaseTest, FreeingADatabaseClosesItsDatasets) {
  TestDatabase* database = NewDatabase("Database1", "Sales");
  TestLinkDataSet* dataSet = NewDataSet("DS1");
  dataSet->HoldDatabase("Sales");
  delete database;
  EXPECT_EQ(dataSet->GetDatabase(), nullptr);
  EXPECT_EQ(sessions.DefaultSession()->GetDatabaseCount(), 0);
}

// ---- Cached updates of several datasets ---------------------------------------------------

class ApplyUpdatesTest : public DatabaseTest {
 protected:
  void SetUp() override {
    DatabaseTest::SetUp();
    database = NewDatabase("Database1", "Sales");
    ds1 = NewDataSet("DS1");
    ds2 = NewDataSet("DS2");
    ds1->HoldDatabase("Sales");
    ds2->HoldDatabase("Sales");
    sessions.engine.log.clear();
  }
  TestDatabase* database = nullptr;
  TestLinkDataSet* ds1 = nullptr;
  TestLinkDataSet* ds2 = nullptr;
};

TEST_F(ApplyUpdatesTest, AllInOneTransactionThenEachCacheIsCommitted) {
  database->ApplyUpdates({ds2, ds1});
  EXPECT_EQ(sessions.engine.log,
            (std::vector<std::string>{"StartTransaction Sales", "ApplyUpdates DS2", "ApplyUpdates DS1", "Commit Sales",
                                      "CommitUpdates DS2", "CommitUpdates DS1"}));
  EXPECT_FALSE(database->GetInTransaction());
}

TEST_F(ApplyUpdatesTest, ADatasetOfAnotherDatabaseStopsEverything) {
  TestDatabase* other = NewDatabase("Database2", "Orders");
  TestLinkDataSet* foreign = NewDataSet("DS3");
  foreign->HoldDatabase("Orders");
  sessions.engine.log.clear();
  EXPECT_EQ(ErrorOf([&] { database->ApplyUpdates({ds1, foreign, ds2}); }),
            "Cannot update, DS3 is not owned by Database1. Component is Database1, owned by Form1");
  EXPECT_EQ(sessions.engine.log, (std::vector<std::string>{"StartTransaction Sales", "Rollback Sales"}));
  EXPECT_FALSE(database->GetInTransaction());
  static_cast<void>(other);

  // A dataset that is not one of the library's cannot take part either.
  auto* plain = host::TComponent::Create<kxtest::MemDataSet>(form.get());
  plain->SetName("Plain");
  EXPECT_EQ(ErrorOf([&] { database->ApplyUpdates({plain}); }),
            "Cannot update, Plain is not owned by Database1. Component is Database1, owned by Form1");
}

TEST_F(ApplyUpdatesTest, AFailureRollsBackAndKeepsEveryCache) {
  ds2->FailApply = true;
  EXPECT_EQ(ErrorOf([&] { database->ApplyUpdates({ds1, ds2}); }), "apply failed in DS2");
  EXPECT_EQ(sessions.engine.log, (std::vector<std::string>{"StartTransaction Sales", "ApplyUpdates DS1",
                                                           "ApplyUpdates DS2", "Rollback Sales"}));

  ds2->FailApply = false;
  sessions.engine.refuseCommit = true;
  sessions.engine.log.clear();
  EXPECT_EQ(ErrorOf([&] { database->ApplyUpdates({ds1}); }), "commit refused");
  EXPECT_EQ(sessions.engine.Count("CommitUpdates"), 0);
  EXPECT_TRUE(sessions.engine.Logged("Rollback Sales"));
  EXPECT_FALSE(database->GetInTransaction());
}

TEST_F(ApplyUpdatesTest, NoTransactionNoUpdates) {
  sessions.engine.refuseStartTransaction = true;
  EXPECT_EQ(ErrorOf([&] { database->ApplyUpdates({ds1}); }), "transaction refused");
  EXPECT_EQ(sessions.engine.Count("ApplyUpdates"), 0);
  EXPECT_EQ(sessions.engine.Count("Rollback"), 0);
  // Nested transactions are the engine's to refuse; the database passes that on.
  sessions.engine.refuseStartTransaction = false;
  database->StartTransaction();
  EXPECT_EQ(ErrorOf([&] { database->ApplyUpdates({ds1}); }),
            "Nested transactions not supported. Component is Database1, owned by Form1");
  EXPECT_TRUE(database->GetInTransaction());
  database->Rollback();
}

}  // namespace
}  // namespace kx
