// Sessions: aliases and configuration modes, the alias list, passwords, the session's
// database registry, and the wait cursor.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
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

const TConfigMode kAll{cfmVirtual, cfmPersistent, cfmSession};

std::unique_ptr<host::TStringList> Params(std::initializer_list<const char*> lines) {
  auto list = std::make_unique<host::TStringList>();
  for (const char* line : lines) list->Add(line);
  return list;
}

// Records the session's database events as "event:name".
std::vector<std::string>& Watch(TestSession* session, std::vector<std::string>& events) {
  session->SetOnDBNotify([&events](TDatabaseEvent event, const TDatabaseNotifyParam& param) {
    static const char* names[] = {"open", "close", "add", "remove", "addAlias", "deleteAlias", "deleteDriver"};
    const std::string name = param.Database != nullptr ? param.Database->GetDatabaseName() : param.Name;
    events.push_back(std::string(names[event]) + ":" + name);
  });
  return events;
}

// ---- Aliases ---------------------------------------------------------------------------------

// The configuration mode decides whether an alias goes to the engine (written at once) or
// stays in the session; the mode in force is put back afterwards.
TEST(SessionAliases, AddAliasGoesWhereTheModeSays) {
  struct Case {
    TConfigMode mode;
    bool engine;
  };
  const std::vector<Case> cases = {
      {kAll, true},
      {TConfigMode{cfmVirtual}, true},
      {TConfigMode{cfmPersistent}, true},
      {TConfigMode{cfmSession}, false},
      {TConfigMode{cfmVirtual, cfmSession}, false},
      {TConfigMode{cfmVirtual, cfmPersistent}, false},
      {TConfigMode{}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode.Bits());
    TestSessionList sessions;
    TestSession* session = sessions.DefaultSession();
    std::vector<std::string> events;
    Watch(session, events);
    session->SetConfigMode(c.mode);
    session->AddAlias("Sales", Params({"PATH=/data"}).get());
    EXPECT_EQ(session->GetConfigMode(), c.mode);
    EXPECT_EQ(events, std::vector<std::string>{"addAlias:Sales"});
    EXPECT_EQ(sessions.engine.Logged("SaveAlias Sales add"), c.engine);
    EXPECT_EQ(sessions.engine.aliases.count("Sales"), c.engine ? 1u : 0u);
    EXPECT_EQ(session->GetModifiedAliases()->Count(), 0);
    EXPECT_EQ(session->GetSessionAliases()->IndexOfAlias("Sales") >= 0, !c.engine);
    if (!c.engine) {
      EXPECT_EQ(Lines(session->GetSessionAliases()->GetParams("Sales")), std::vector<std::string>{"PATH=/data"});
    }
  }
}

TEST(SessionAliases, ModifyAliasMergesAndRefusals) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  session->SetName("Session1");
  session->AddAlias("Sales", Params({"PATH=/data", "DDF_PATH=/dict"}).get());
  session->ModifyAlias("Sales", Params({"PATH=/new"}).get());
  EXPECT_TRUE(sessions.engine.Logged("SaveAlias Sales modify"));
  EXPECT_EQ(sessions.engine.aliases["Sales"], (std::vector<std::string>{"PATH=/new", "DDF_PATH=/dict"}));

  // A change the engine rejects is dropped silently.
  sessions.engine.rejectDecode.insert("Sales");
  session->ModifyAlias("Sales", Params({"PATH=/other"}).get());
  EXPECT_EQ(sessions.engine.Count("SaveAlias"), 2);

  host::TStringList empty;
  EXPECT_EQ(ErrorOf([&] { session->ModifyAlias("Sales", &empty); }),
            "Invalid parameters count. Component is Session1");
  EXPECT_EQ(ErrorOf([&] { session->AddAlias("Sales", nullptr); }), "Invalid parameters count. Component is Session1");

  // Session aliases change in place.
  session->SetConfigMode(TConfigMode{cfmSession});
  session->AddAlias("Local", Params({"PATH=/a"}).get());
  session->ModifyAlias("Local", Params({"PATH=/b"}).get());
  EXPECT_EQ(session->GetSessionAliases()->Count(), 1);
  EXPECT_EQ(Lines(session->GetSessionAliases()->GetParams("Local")), std::vector<std::string>{"PATH=/b"});
  EXPECT_TRUE(session->GetSessionAliases()->Items(0)->GetIsAdd());
}

// A change that the engine refuses is dropped; the changes queued behind it stay queued.
TEST(SessionAliases, SaveConfigFileDropsTheFailingChangeOnly) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  session->GetModifiedAliases()->AddAlias("Bad", Params({"PATH=/x"}).get(), true);
  session->GetModifiedAliases()->AddAlias("Good", Params({"PATH=/y"}).get(), false);
  sessions.engine.refuseSave.insert("Bad");
  EXPECT_EQ(ErrorOf([&] { session->SaveConfigFile(); }), "cannot save Bad");
  ASSERT_EQ(session->GetModifiedAliases()->Count(), 1);
  EXPECT_EQ(session->GetModifiedAliases()->Items(0)->GetName(), "Good");
  session->SaveConfigFile();
  EXPECT_EQ(session->GetModifiedAliases()->Count(), 0);
  EXPECT_EQ(sessions.engine.log, (std::vector<std::string>{"SaveAlias Bad add", "SaveAlias Good modify"}));
}

TEST(SessionAliases, AddAliasFailureRestoresTheModeAndSendsNoEvent) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  std::vector<std::string> events;
  Watch(session, events);
  sessions.engine.refuseSave.insert("Sales");
  EXPECT_THROW(session->AddAlias("Sales", Params({"PATH=/x"}).get()), host::EDatabaseError);
  EXPECT_EQ(session->GetConfigMode(), kAll);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(session->GetModifiedAliases()->Count(), 0);
}

TEST(SessionAliases, DeleteAliasNotifiesFirstEvenForUnknownNames) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  std::vector<std::string> events;
  Watch(session, events);
  session->DeleteAlias("Ghost");
  EXPECT_EQ(events, std::vector<std::string>{"deleteAlias:Ghost"});
  EXPECT_TRUE(sessions.engine.Logged("RealDropAlias Ghost"));

  // In session mode only the session's alias goes; the engine is not asked.
  session->SetConfigMode(TConfigMode{cfmSession});
  session->AddAlias("Local", Params({"PATH=/a"}).get());
  session->DeleteAlias("Local");
  session->DeleteAlias("Ghost");
  EXPECT_EQ(session->GetSessionAliases()->Count(), 0);
  EXPECT_EQ(sessions.engine.Count("RealDropAlias"), 1);
  EXPECT_EQ(session->GetConfigMode(), TConfigMode{cfmSession});
}

TEST(SessionAliases, IsAliasAsksTheEngineAndRestoresTheMode) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  sessions.engine.aliases["Sales"] = {"PATH=/x"};
  session->SetConfigMode(TConfigMode{cfmSession});
  session->AddAlias("Local", Params({"PATH=/a"}).get());
  EXPECT_TRUE(session->IsAlias("Sales"));
  EXPECT_TRUE(session->IsAlias("SALES"));  // the list's case rules
  EXPECT_FALSE(session->IsAlias("Local"));
  EXPECT_EQ(session->GetConfigMode(), TConfigMode{cfmSession});
}

TEST(SessionAliases, DatabaseNamesAreSortedAndUnique) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  sessions.engine.aliases["b"] = {};
  sessions.engine.aliases["A"] = {};
  auto form = std::make_unique<host::TForm>(nullptr);
  host::TComponent::Create<TestDatabase>(form.get(), &sessions)->SetDatabaseName("a");
  host::TComponent::Create<TestDatabase>(form.get(), &sessions)->SetDatabaseName("C");
  host::TComponent::Create<TestDatabase>(form.get(), &sessions);  // no name
  host::TStringList names;
  names.Add("stale");
  session->GetDatabaseNames(&names);
  ASSERT_EQ(names.Count(), 3);
  EXPECT_TRUE(host::SameText(names.Get(0), "a"));
  EXPECT_EQ(names.Get(1), "b");
  EXPECT_EQ(names.Get(2), "C");
}

TEST(AliasList, OwnsCopiesAndFindsItsItemsExactly) {
  TAliasList list;
  list.AddAlias("Sales", Params({"PATH=/a"}).get(), true);
  list.AddAlias("sales", Params({"PATH=/b"}).get(), false);
  EXPECT_EQ(list.IndexOfAlias("Sales"), 0);
  EXPECT_EQ(list.IndexOfAlias("sales"), 1);
  EXPECT_EQ(list.IndexOfAlias("SALES"), -1);
  EXPECT_EQ(list.GetParams("Nope"), nullptr);
  list.SetParams("Sales", Params({"PATH=/c"}).get());
  list.SetParams("Nope", Params({"PATH=/d"}).get());
  EXPECT_EQ(Lines(list.GetParams("Sales")), std::vector<std::string>{"PATH=/c"});

  TAliasList copy;
  copy.AddAlias("Old", nullptr, true);
  copy.Assign(&list);
  ASSERT_EQ(copy.Count(), 2);
  copy.GetParams("Sales")->Clear();
  EXPECT_EQ(Lines(list.GetParams("Sales")), std::vector<std::string>{"PATH=/c"});
  EXPECT_FALSE(copy.Items(1)->GetIsAdd());

  host::TStringList plain;
  plain.Add("x");
  EXPECT_THROW(copy.Assign(&plain), host::EConvertError);

  list.Delete(0);
  EXPECT_EQ(list.IndexOfAlias("sales"), 0);
  list.PutObject(0, new TAliasItem("Other", nullptr, true));
  EXPECT_EQ(list.IndexOfAlias("Other"), 0);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  // Everything else is freed by the lists (AddressSanitizer reports a leak otherwise).
}

// ---- Passwords -------------------------------------------------------------------------------

TEST(SessionPasswords, ExactTextsEachKeptOnce) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  for (const char* password : {"b", "a", "A", "a", ""}) session->AddPassword(password);
  EXPECT_EQ(session->GetPasswords()->Count(), 4);
  session->RemovePassword("B");
  EXPECT_EQ(session->GetPasswords()->Count(), 4);
  session->RemovePassword("A");
  const auto left = Lines(session->GetPasswords());
  EXPECT_EQ(std::count(left.begin(), left.end(), "A"), 0);
  EXPECT_EQ(std::count(left.begin(), left.end(), "a"), 1);
  session->RemoveAllPasswords();
  EXPECT_EQ(session->GetPasswords()->Count(), 0);
}

TEST(SessionPasswords, GetPasswordAsksTheHandlerElseTheDialog) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  EXPECT_FALSE(session->GetPassword());  // no dialog in a headless program

  std::vector<TKxAbsSession*> asked;
  const TPasswordDialogProc previous = SetPasswordDialogProc([&](TKxAbsSession* s) {
    asked.push_back(s);
    s->AddPassword("fromDialog");
    return true;
  });
  EXPECT_TRUE(session->GetPassword());
  EXPECT_EQ(asked, std::vector<TKxAbsSession*>{session});

  session->SetOnPassword([](host::TObject* sender, bool& continueOperation) {
    static_cast<TKxAbsSession*>(static_cast<host::TComponent*>(sender))->AddPassword("fromEvent");
    continueOperation = false;
  });
  EXPECT_FALSE(session->GetPassword());
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_GE(session->GetPasswords()->IndexOf("fromEvent"), 0);
  SetPasswordDialogProc(previous);
}

// ---- The session's databases ---------------------------------------------------------------

TEST(SessionDatabases, OpenDatabaseMakesTemporariesAndCountsUsers) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  std::vector<std::string> events;
  Watch(session, events);
  TKxAbsDatabase* temporary = session->OpenDatabase("Scratch");
  EXPECT_TRUE(temporary->GetTemporary());
  EXPECT_EQ(temporary->Owner(), session);
  EXPECT_TRUE(temporary->GetKeepConnection());
  EXPECT_TRUE(temporary->GetConnected());
  EXPECT_EQ(temporary->GetRefCount(), 1);
  EXPECT_EQ(session->OpenDatabase("SCRATCH"), temporary);
  EXPECT_EQ(temporary->GetRefCount(), 2);
  EXPECT_EQ(events, (std::vector<std::string>{"add:", "open:Scratch"}));

  // KeepConnections: the last user leaves it open; DropConnections frees it.
  session->CloseDatabase(temporary);
  session->CloseDatabase(temporary);
  session->CloseDatabase(temporary);  // never below zero
  EXPECT_EQ(temporary->GetRefCount(), 0);
  EXPECT_TRUE(temporary->GetConnected());
  session->DropConnections();
  EXPECT_EQ(session->GetDatabaseCount(), 0);
  EXPECT_TRUE(sessions.engine.Logged("CloseHandle Scratch"));

  // Without KeepConnections the last user frees it.
  session->SetKeepConnections(false);
  TKxAbsDatabase* another = session->OpenDatabase("Other");
  EXPECT_FALSE(another->GetKeepConnection());
  session->CloseDatabase(another);
  EXPECT_EQ(session->GetDatabaseCount(), 0);
}

TEST(SessionDatabases, ADatabaseThatCannotOpenIsNotKept) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  sessions.engine.refuseOpen.insert("Broken");
  EXPECT_EQ(ErrorOf([&] { session->OpenDatabase("Broken"); }), "cannot open Broken");
  EXPECT_EQ(session->GetDatabaseCount(), 0);

  // A database component of that name stays, unopened.
  auto form = std::make_unique<host::TForm>(nullptr);
  auto* database = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
  database->SetDatabaseName("Broken");
  EXPECT_THROW(session->OpenDatabase("Broken"), host::EDatabaseError);
  EXPECT_EQ(session->GetDatabaseCount(), 1);
  EXPECT_EQ(database->GetRefCount(), 0);
}

TEST(SessionDatabases, FindingPrefersSharedHandlesOfTheCallersOwner) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  auto form1 = std::make_unique<host::TForm>(nullptr);
  auto form2 = std::make_unique<host::TForm>(nullptr);
  auto* first = host::TComponent::Create<TestDatabase>(form1.get(), &sessions);
  first->SetHandleShared(true);
  first->SetDatabaseName("Sales");
  auto* second = host::TComponent::Create<TestDatabase>(form2.get(), &sessions);
  second->SetHandleShared(true);
  second->SetDatabaseName("Sales");
  EXPECT_EQ(session->FindDatabase("sales"), first);
  EXPECT_EQ(session->DoFindDatabase("Sales", form2.get()), second);
  EXPECT_EQ(session->DoFindDatabase("Sales", nullptr), first);
  EXPECT_EQ(session->DoOpenDatabase("Sales", form2.get()), second);
  EXPECT_EQ(second->GetRefCount(), 1);
  EXPECT_EQ(first->GetRefCount(), 0);
  EXPECT_EQ(session->FindDatabase(""), nullptr);
  EXPECT_THROW(session->GetDatabases(5), host::EListError);
}

TEST(SessionDatabases, ANonTemporaryDatabaseIsClosedNotFreed) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  auto form = std::make_unique<host::TForm>(nullptr);
  auto* database = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
  database->SetDatabaseName("Sales");
  database->SetKeepConnection(false);
  EXPECT_EQ(session->OpenDatabase("Sales"), database);
  session->CloseDatabase(database);
  EXPECT_FALSE(database->GetConnected());
  EXPECT_EQ(session->GetDatabaseCount(), 1);
}

// ---- Wait cursor ------------------------------------------------------------------------------

class WaitCursor : public ::testing::Test {
 protected:
  void SetUp() override { host::Screen()->SetCursor(host::crDefault); }
  void TearDown() override {
    EXPECT_EQ(detail::SQLHourGlassNesting(), 0);
    host::Screen()->SetCursor(host::crDefault);
  }
  TestSessionList sessions;
};

TEST_F(WaitCursor, NestedCallsRestoreOnlyAtTheEnd) {
  TestSession* session = sessions.DefaultSession();
  host::Screen()->SetCursor(host::crHandPoint);
  session->SetSQLHourGlassOnScreen();
  EXPECT_EQ(host::Screen()->Cursor(), host::crSQLWait);
  session->SetSQLHourGlassOnScreen();
  EXPECT_EQ(detail::SQLHourGlassNesting(), 2);
  session->RestoreFromSQLHourGlassOnScreen();
  EXPECT_EQ(host::Screen()->Cursor(), host::crSQLWait);
  session->RestoreFromSQLHourGlassOnScreen();
  EXPECT_EQ(host::Screen()->Cursor(), host::crHandPoint);
  session->RestoreFromSQLHourGlassOnScreen();  // nothing to restore
  EXPECT_EQ(host::Screen()->Cursor(), host::crHandPoint);
}

TEST_F(WaitCursor, ACursorChangedMeanwhileIsLeftAlone) {
  TestSession* session = sessions.DefaultSession();
  session->SetSQLHourGlassOnScreen();
  host::Screen()->SetCursor(host::crArrow);
  session->RestoreFromSQLHourGlassOnScreen();
  EXPECT_EQ(host::Screen()->Cursor(), host::crArrow);
}

TEST_F(WaitCursor, AWaitCursorShownBeforeStays) {
  TestSession* session = sessions.DefaultSession();
  // An earlier nesting saved the hand cursor.
  host::Screen()->SetCursor(host::crHandPoint);
  session->SetSQLHourGlassOnScreen();
  session->RestoreFromSQLHourGlassOnScreen();
  host::Screen()->SetCursor(host::crSQLWait);
  session->SetSQLHourGlassOnScreen();
  session->RestoreFromSQLHourGlassOnScreen();
  EXPECT_EQ(host::Screen()->Cursor(), host::crSQLWait);
}

TEST_F(WaitCursor, SessionsWithoutTheWaitCursorDoNothing) {
  TestSession* session = sessions.DefaultSession();
  session->SetSQLHourGlass(false);
  session->SetSQLHourGlassOnScreen();
  EXPECT_EQ(host::Screen()->Cursor(), host::crDefault);
  EXPECT_EQ(detail::SQLHourGlassNesting(), 0);
  {
    TKxSQLHourGlass guard(session);
    EXPECT_EQ(detail::SQLHourGlassNesting(), 0);
  }
  // The guard restores what it showed even when the setting changes in between.
  session->SetSQLHourGlass(true);
  {
    TKxSQLHourGlass guard(session);
    session->SetSQLHourGlass(false);
    EXPECT_EQ(host::Screen()->Cursor(), host::crSQLWait);
  }
  EXPECT_EQ(host::Screen()->Cursor(), host::crDefault);
}

TEST_F(WaitCursor, SharedByThreads) {
  TestSession* session = sessions.DefaultSession();
  std::vector<std::thread> threads;
  std::atomic<int> go{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      ++go;
      while (go < 8) std::this_thread::yield();
      for (int i = 0; i < 500; ++i) {
        TKxSQLHourGlass guard(session);
        EXPECT_EQ(host::Screen()->Cursor(), host::crSQLWait);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(host::Screen()->Cursor(), host::crDefault);
}

}  // namespace
}  // namespace kx
