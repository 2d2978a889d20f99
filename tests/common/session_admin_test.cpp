// Sessions and the administration library: CheckMGI's messages, the administration
// connection (local and remote servers, credentials, login dialog, idle time-out).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/kxtables.h"
#include "platform/rtl/application.h"
#include "platform/rtl/os.h"
#include "tests/common/mgi_binding/fakemgi.h"
#include "tests/common/sessiondoubles.h"

namespace kx {
namespace {

using kxtest::TestDatabase;
using kxtest::TestSession;
using kxtest::TestSessionList;

// The message a CheckMGI raised, with its class checked.
template <class F>
std::string AdminError(F&& call, std::uint16_t expectedCode) {
  try {
    call();
  } catch (const EKxDbAdminEngineError& e) {
    EXPECT_EQ(e.GetErrorType(), dbmeMGI);
    EXPECT_EQ(e.GetErrorCount(), 1);
    if (e.GetErrorCount() == 1) {
      EXPECT_EQ(e.GetErrors(0).GetNativeError(), expectedCode);
    }
    return e.Message();
  }
  ADD_FAILURE() << "no EKxDbAdminEngineError";
  return {};
}

struct StatusCase {
  std::uint16_t status;
  std::string text;
};

TEST(CheckMgi, EveryStatusWithAndWithoutAlias) {
  TestSessionList sessions;
  TestSession* session = sessions.DefaultSession();
  const std::vector<StatusCase> cases = {
      {7001, "Invalid connection handle"},
      {7002, "Call with NULL pointer"},
      {7003, "The buffer is too small"},
      {7004, "MGI call failed. Probably, you don't have enough access rights for requested operation or server is "
             "not found"},
      {7005, "Invalid data type"},
      {7006, "Out of range"},
      {7007, "Invalid selection"},
      {7008, "Sequence number is not valid"},
      {7009, "Data for database name are not available"},
      {7010, "Invalid client"},
      {7011, "Insufficient access rights"},
      {7012, "Named database already exists on the server"},
      {7013, "Named database does not exist"},
      {7014, "Invalid MGI version"},
      {7015, "File is not opened"},
      {7016, "Dictionary path is used by another database"},
      {7017, "DDF files already exist at the dictionary path"},
      {7018, "Invalid DSN name"},
      {7019, "DSN already exists"},
      {7020, "DSN does not exist"},
      {7021, "Invalid open mode"},
      {7590, "Unable to initialize MGI"},
      {7591, "Requested MGI call is not supported by Zirvel engine. Most probably, you are using old or "
             "incompatible version"},
      {42, "MGI error 42"},
      {7000, "MGI error 7000"},
      {7022, "MGI error 7022"},
      {65535, "MGI error 65535"},
  };
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(AdminError([&] { session->CheckMGI("", c.status); }, c.status), c.text);
    EXPECT_EQ(AdminError([&] { session->CheckMGI("Sales", c.status); }, c.status), c.text + ". Alias name: Sales");
  }
  EXPECT_NO_THROW(session->CheckMGI("Sales", 0));
}

TEST(CheckMgi, OwnerIsTheSession) {
  TestSessionList sessions;
  try {
    sessions.DefaultSession()->CheckMGI("", 7013);
    FAIL();
  } catch (const EKxDbAdminEngineError& e) {
    EXPECT_EQ(e.GetOwner(), sessions.DefaultSession());
  }
}

// The database and session forms add the server, database and session clauses and the
// component clause; an unnamed component leaves the message as it was.
TEST(CheckMgi, DatabaseAndSessionFormsAddTheirContext) {
  TestSessionList sessions;
  auto form = std::make_unique<host::TForm>(nullptr);
  form->SetName("Form1");
  auto* session = host::TComponent::Create<TestSession>(form.get(), &sessions);
  session->SetName("Session1");
  session->SetSessionName("Work");
  auto* database = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
  database->SetName("Database1");
  auto* unnamedDatabase = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
  TestSession* unnamedSession = sessions.DefaultSession();  // no component name

  const std::string base = "Named database does not exist. Alias name: Sales";
  struct Case {
    const char* what;
    std::function<void()> call;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"database, server and name", [&] { session->CheckMGI("Sales", 7013, "SRV1", "SalesDb", database); },
       base + ". Server name is SRV1. Database name is SalesDb. Component is Database1, owned by Form1"},
      {"database, no server, no name", [&] { session->CheckMGI("Sales", 7013, "", "", database); },
       base + ". Component is Database1, owned by Form1"},
      {"unnamed database", [&] { session->CheckMGI("Sales", 7013, "SRV1", "SalesDb", unnamedDatabase); }, base},
      {"no database", [&] { session->CheckMGI("", 7013, "SRV1", "", static_cast<TKxAbsDatabase*>(nullptr)); },
       "Named database does not exist. Server name is SRV1. "},
      {"session form", [&] { session->CheckMGI("Sales", 7013, "SRV1", "", static_cast<TKxAbsSession*>(session)); },
       base + ". Server name is SRV1. Session name is Work. Component is Session1, owned by Form1"},
      {"session form, other session",
       [&] { session->CheckMGI("", 7004, "", "", static_cast<TKxAbsSession*>(unnamedSession)); },
       std::string(SKxMGIErrorFAIL.Text()) + ". Session name is TestDefault. Cannot name the component"},
      {"session form, unnamed checking session",
       [&] { unnamedSession->CheckMGI("Sales", 7013, "SRV1", "Db", static_cast<TKxAbsSession*>(session)); }, base},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.call();
      ADD_FAILURE() << "no exception";
    } catch (const EKxDbAdminEngineError& e) {
      EXPECT_EQ(e.Message(), c.expected);
    }
  }
  EXPECT_NO_THROW(session->CheckMGI("Sales", 0, "SRV1", "Db", database));
}

// ---- The administration connection ------------------------------------------------------

// Sessions on the fake library, a manual clock for the idle timer, and a scripted login dialog.
class AdminConnection : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_ = std::make_shared<host::TManualClock>(1000);
    host::Application()->SetClock(clock_);
    previousDialog_ = SetMgiLoginDialogProc([this](const std::string& server, std::string& user, std::string& password) {
      dialogCalls_.push_back(server + ":" + user + ":" + password);
      if (!dialogAnswer_) return false;
      user = dialogUser_;
      password = dialogPassword_;
      return true;
    });
    form_ = std::make_unique<host::TForm>(nullptr);
    form_->SetName("Form1");
  }

  void TearDown() override {
    form_.reset();
    SetMgiLoginDialogProc(previousDialog_);
    host::Application()->SetClock(nullptr);
  }

  TestSession* NewSession(const std::string& server, bool designing = false) {
    form_->SetDesigning(designing);
    auto* session = host::TComponent::Create<TestSession>(form_.get(), &sessions_);
    session->SetName("Session1");
    session->SetServerName(server);
    session->SetServerAdminUser("adm");
    session->SetServerAdminPassword("pw");
    return session;
  }

  std::vector<std::string> Connects() {
    std::vector<std::string> connects;
    for (const std::string& line : use_.fake.Log()) {
      if (line.rfind("KxConnectServer", 0) == 0) connects.push_back(line);
    }
    return connects;
  }

  void Advance(std::int64_t ms) {
    clock_->Advance(ms);
    host::Application()->ProcessMessages();
  }

  kxtest::UseFakeMgi use_;
  TestSessionList sessions_;
  std::unique_ptr<host::TForm> form_;
  std::shared_ptr<host::TManualClock> clock_;
  TMgiLoginDialogProc previousDialog_;
  std::vector<std::string> dialogCalls_;
  bool dialogAnswer_ = true;
  std::string dialogUser_ = "newuser";
  std::string dialogPassword_ = "newpw";
};

TEST_F(AdminConnection, LocalServersNeedNoLogin) {
  for (const std::string& server : {std::string(), std::string("localhost"), host::GetComputerName()}) {
    SCOPED_TRACE(server);
    TestSession* session = NewSession(server);
    EXPECT_EQ(session->GetMgiHandle(), MgiLocalConnection);
    EXPECT_TRUE(session->GetMgiConnectionHolder()->GetConnected());
    EXPECT_TRUE(session->GetGotLoginData());
    delete session;
  }
  EXPECT_TRUE(Connects().empty());
  EXPECT_TRUE(dialogCalls_.empty());
}

TEST_F(AdminConnection, LocalServerShowsTheDialogOnlyWithTheLoginPrompt) {
  TestSession* session = NewSession("localhost");
  session->SetServerAdminLoginPrompt(true);
  EXPECT_EQ(session->GetMgiHandle(), MgiLocalConnection);
  EXPECT_EQ(dialogCalls_, std::vector<std::string>{"localhost:adm:pw"});
  EXPECT_EQ(session->GetServerAdminUser(), "newuser");
  EXPECT_TRUE(Connects().empty());
}

TEST_F(AdminConnection, RunTimeRetriesWithEmptyCredentials) {
  TestSession* session = NewSession("SRV1");
  use_.fake.QueueStatus("KxConnectServer", 7011);
  const std::int32_t handle = session->GetMgiHandle();
  EXPECT_GT(handle, 0);
  EXPECT_EQ(Connects(), (std::vector<std::string>{"KxConnectServer(SRV1,adm,pw)", "KxConnectServer(SRV1,,)"}));
  // Connected: the next use makes no call.
  EXPECT_EQ(session->GetMgiHandle(), handle);
  EXPECT_EQ(Connects().size(), 2u);
  EXPECT_TRUE(dialogCalls_.empty());
}

TEST_F(AdminConnection, RefusedConnectionRaisesTheSecondStatusAndStaysClosed) {
  TestSession* session = NewSession("SRV1");
  use_.fake.QueueStatus("KxConnectServer", 7011);
  use_.fake.QueueStatus("KxConnectServer", 7004);
  EXPECT_EQ(AdminError([&] { session->GetMgiHandle(); }, 7004), SKxMGIErrorFAIL.Text());
  EXPECT_FALSE(session->GetMgiConnectionHolder()->GetConnected());
  EXPECT_FALSE(session->GetGotLoginData());
  EXPECT_FALSE(session->GetMgiConnectionHolder()->IsTimerRunning());
  // The next use tries again.
  EXPECT_GT(session->GetMgiHandle(), 0);
}

TEST_F(AdminConnection, MissingLibraryRaisesUnableToInitialize) {
  kxtest::UseMgiLibrary missing("/nonexistent/kestrin/libmgicli78.so");
  TestSession* session = NewSession("SRV1");
  EXPECT_EQ(AdminError([&] { session->GetMgiHandle(); }, 7590), "Unable to initialize MGI");
  EXPECT_FALSE(session->GetMgiConnectionHolder()->GetConnected());
}

TEST_F(AdminConnection, DesignModeTriesTwiceWithTheLoginDialogBetween) {
  TestSession* session = NewSession("SRV1", true);
  ASSERT_EQ(session->GetMgiConnectionHolder()->GetMgiConnectionHolderMode(), dchmDesignMode);
  EXPECT_EQ(session->GetMgiUserNameDesign(), "adm");
  use_.fake.QueueStatus("KxConnectServer", 7011);
  EXPECT_GT(session->GetMgiHandle(), 0);
  EXPECT_EQ(dialogCalls_, std::vector<std::string>{"SRV1:adm:pw"});
  // The dialog edited the design credentials, which the second attempt used.
  EXPECT_EQ(session->GetMgiUserNameDesign(), "newuser");
  EXPECT_EQ(session->GetServerAdminUser(), "adm");
  EXPECT_EQ(Connects(),
            (std::vector<std::string>{"KxConnectServer(SRV1,adm,pw)", "KxConnectServer(SRV1,newuser,newpw)"}));
}

TEST_F(AdminConnection, DesignModeChecksTheLastAttempt) {
  TestSession* session = NewSession("SRV1", true);
  use_.fake.QueueStatus("KxConnectServer", 7011);
  use_.fake.QueueStatus("KxConnectServer", 7004);
  EXPECT_EQ(AdminError([&] { session->GetMgiHandle(); }, 7004), SKxMGIErrorFAIL.Text());
  EXPECT_EQ(Connects().size(), 2u);
  EXPECT_FALSE(session->GetMgiConnectionHolder()->GetConnected());
}

TEST_F(AdminConnection, CancelledLoginRaisesAndKeepsTheCredentials) {
  TestSession* session = NewSession("SRV1", true);
  use_.fake.QueueStatus("KxConnectServer", 7011);
  dialogAnswer_ = false;
  try {
    session->GetMgiHandle();
    FAIL() << "no exception";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Cannot connect to server 'SRV1'.Component is Session1, owned by Form1");
  }
  EXPECT_EQ(session->GetMgiUserNameDesign(), "adm");
  EXPECT_EQ(Connects().size(), 1u);
  EXPECT_FALSE(session->GetMgiConnectionHolder()->GetConnected());
}

TEST_F(AdminConnection, LoginPromptAsksOnceUntilTheCredentialsChange) {
  TestSession* session = NewSession("SRV1");
  session->SetServerAdminLoginPrompt(true);
  EXPECT_GT(session->GetMgiHandle(), 0);
  EXPECT_EQ(dialogCalls_.size(), 1u);
  EXPECT_EQ(Connects(), std::vector<std::string>{"KxConnectServer(SRV1,newuser,newpw)"});

  session->GetMgiConnectionHolder()->Disconnect();
  EXPECT_GT(session->GetMgiHandle(), 0);
  EXPECT_EQ(dialogCalls_.size(), 1u);  // the login data was confirmed

  session->SetServerAdminPassword("other");
  EXPECT_FALSE(session->GetMgiConnectionHolder()->GetConnected());
  EXPECT_GT(session->GetMgiHandle(), 0);
  EXPECT_EQ(dialogCalls_.size(), 2u);
}

TEST_F(AdminConnection, IdleTimeOutClosesTheConnection) {
  TestSession* session = NewSession("SRV1");
  TMgiConnectionHolder* holder = session->GetMgiConnectionHolder();
  EXPECT_EQ(holder->GetTimeout(), 5000u);
  const std::int32_t handle = session->GetMgiHandle();
  Advance(4999);
  EXPECT_TRUE(holder->GetConnected());  // also a use: the period starts again
  Advance(4999);
  EXPECT_EQ(session->GetMgiHandle(), handle);
  Advance(4999);
  EXPECT_EQ(use_.fake.Calls("KxDisconnect"), 0);
  Advance(1);
  EXPECT_EQ(use_.fake.Calls("KxDisconnect"), 1);
  EXPECT_EQ(use_.fake.Log().back(), "KxDisconnect(" + std::to_string(handle) + ")");
  EXPECT_FALSE(holder->GetConnected());
  EXPECT_FALSE(holder->IsTimerRunning());
}

TEST_F(AdminConnection, LockHandleSuspendsTheTimeOut) {
  TestSession* session = NewSession("SRV1");
  TMgiConnectionHolder* holder = session->GetMgiConnectionHolder();
  session->GetMgiHandle();
  holder->LockHandle();
  holder->LockHandle();
  EXPECT_FALSE(holder->IsTimerRunning());
  session->GetMgiHandle();  // a use while locked does not end it either
  Advance(20000);
  EXPECT_TRUE(holder->GetConnected());
  holder->UnlockHandle();
  Advance(20000);
  EXPECT_TRUE(holder->GetConnected());
  holder->UnlockHandle();
  EXPECT_TRUE(holder->IsTimerRunning());
  holder->UnlockHandle();  // never below zero
  EXPECT_EQ(holder->GetLockCount(), 0);
  Advance(5000);
  EXPECT_FALSE(holder->GetConnected());
}

TEST_F(AdminConnection, TimeOutChangesAndZero) {
  TestSession* session = NewSession("SRV1");
  TMgiConnectionHolder* holder = session->GetMgiConnectionHolder();
  session->GetMgiHandle();
  holder->SetTimeout(100);
  Advance(100);
  EXPECT_FALSE(holder->GetConnected());

  holder->SetTimeout(0);
  session->GetMgiHandle();
  EXPECT_FALSE(holder->IsTimerRunning());
  Advance(1000000);
  EXPECT_TRUE(holder->GetConnected());
}

// Whatever makes the connection wrong or unneeded drops it.
TEST_F(AdminConnection, ChangesThatDropTheConnection) {
  struct Case {
    const char* what;
    std::function<void(TestSession*)> change;
  };
  const std::vector<Case> cases = {
      {"user", [](TestSession* s) { s->SetServerAdminUser("someone"); }},
      {"password", [](TestSession* s) { s->SetServerAdminPassword("secret"); }},
      {"server", [](TestSession* s) { s->SetServerName("SRV2"); }},
      {"session closed",
       [](TestSession* s) {
         s->SetSessionName("Admin");
         s->Open();
         s->Close();
       }},
      {"session freed", [](TestSession* s) { delete s; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    use_.fake.Reset();
    TestSession* session = NewSession("SRV1");
    session->SetName("S" + std::to_string(form_->ComponentCount()));
    const std::int32_t handle = session->GetMgiHandle();
    c.change(session);
    EXPECT_EQ(use_.fake.Calls("KxDisconnect"), 1);
    EXPECT_EQ(use_.fake.Log().back(), "KxDisconnect(" + std::to_string(handle) + ")");
  }
}

TEST_F(AdminConnection, SettingTheSameValuesKeepsTheConnection) {
  TestSession* session = NewSession("SRV1");
  session->GetMgiHandle();
  session->SetServerAdminUser("adm");
  session->SetServerAdminPassword("pw");
  session->SetServerName("SRV1");
  EXPECT_TRUE(session->GetMgiConnectionHolder()->GetConnected());
  EXPECT_EQ(use_.fake.Calls("KxDisconnect"), 0);
}

TEST_F(AdminConnection, LocalSystem) {
  TestSession* session = NewSession("");
  EXPECT_TRUE(session->GetLocalSystem());
  session->SetServerName(host::LowerCase(host::GetComputerName()));
  EXPECT_TRUE(session->GetLocalSystem());
  session->SetServerName(host::UpperCase(host::GetComputerName()));
  EXPECT_TRUE(session->GetLocalSystem());
  // "localhost" is a name the administration connection treats as local, but not this
  // computer's name.
  session->SetServerName("localhost");
  EXPECT_FALSE(session->GetLocalSystem());
  session->SetServerName("SRV1");
  EXPECT_FALSE(session->GetLocalSystem());
}

}  // namespace
}  // namespace kx
