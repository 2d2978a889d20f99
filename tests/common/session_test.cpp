// The session list and sessions: finding and opening sessions, session names (automatic ones
// included), loading from a stored form, and what a session's end does to its databases.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/kxtables.h"
#include "platform/rtl/application.h"
#include "tests/common/mgi_binding/fakemgi.h"
#include "tests/common/sessiondoubles.h"

namespace kx {
namespace {

using kxtest::ErrorOf;
using kxtest::TestDatabase;
using kxtest::TestLinkDataSet;
using kxtest::TestSession;
using kxtest::TestSessionList;

std::unique_ptr<host::TForm> NewForm(const std::string& name) {
  auto form = std::make_unique<host::TForm>(nullptr);
  form->SetName(name);
  return form;
}

TestSession* NewSession(host::TComponent* owner, TestSessionList& list, const std::string& name) {
  auto* session = host::TComponent::Create<TestSession>(owner, &list);
  session->SetName(name);
  return session;
}

// ---- The session list ----------------------------------------------------------------------

TEST(SessionList, FindsSessionsByNameIgnoringCase) {
  TestSessionList sessions;
  TestSession* work = NewSession(nullptr, sessions, "");
  work->SetSessionName("Work");
  EXPECT_EQ(sessions.FindSession(""), sessions.DefaultSession());
  EXPECT_EQ(sessions.FindSession("testDEFAULT"), sessions.DefaultSession());
  EXPECT_EQ(sessions.FindSession("WORK"), work);
  EXPECT_EQ(sessions.FindSession("Nope"), nullptr);
  EXPECT_EQ(sessions.GetList("work"), work);
  EXPECT_EQ(sessions.GetCount(), 2);
  EXPECT_EQ(sessions.GetSessions(1), work);
  EXPECT_THROW(sessions.GetSessions(2), host::EListError);

  // The framework's own database error, not the library's.
  try {
    sessions.GetSessionByName("Nope");
    FAIL() << "no exception";
  } catch (const host::EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Invalid session name Nope");
    EXPECT_EQ(dynamic_cast<const EKxDatabaseError*>(&e), nullptr);
  }

  host::TStringList names;
  names.Add("stale");
  sessions.GetSessionNames(&names);
  EXPECT_EQ(kxtest::Lines(&names), (std::vector<std::string>{"TestDefault", "Work"}));
}

TEST(SessionList, OpenSessionMakesAndStartsASessionOnce) {
  TestSessionList sessions;
  TKxAbsSession* work = sessions.OpenSession("Work");
  EXPECT_EQ(work->GetSessionName(), "Work");
  EXPECT_TRUE(work->GetActive());
  EXPECT_EQ(sessions.OpenSession("WORK"), work);
  EXPECT_EQ(sessions.engine.Count("StartSession"), 1);
  // An existing inactive session is started.
  EXPECT_EQ(sessions.OpenSession(""), sessions.DefaultSession());
  EXPECT_TRUE(sessions.DefaultSession()->GetActive());
}

TEST(SessionList, OpenSessionThatCannotStartStaysListed) {
  TestSessionList sessions;
  sessions.engine.refuseStartSession = true;
  EXPECT_THROW(sessions.OpenSession("Work"), host::EDatabaseError);
  ASSERT_NE(sessions.FindSession("Work"), nullptr);
  EXPECT_FALSE(sessions.FindSession("Work")->GetActive());
}

TEST(SessionList, FreedSessionsLeaveTheListAndTheListFreesTheRest) {
  auto form = NewForm("Form1");
  auto sessions = std::make_unique<TestSessionList>();
  TestSession* a = NewSession(form.get(), *sessions, "SessionA");
  TestSession* b = NewSession(form.get(), *sessions, "SessionB");
  sessions->SetCurrentSession(b);
  delete b;
  EXPECT_EQ(sessions->GetCount(), 2);
  EXPECT_EQ(sessions->GetCurrentSession(), nullptr);
  a->SetSessionName("A");
  a->Open();
  sessions.reset();  // frees the default session and SessionA, which leaves its form
  EXPECT_EQ(form->ComponentCount(), 0);
}

// ---- Session names ---------------------------------------------------------------------------

TEST(SessionNames, SetSessionNameRefusals) {
  TestSessionList sessions;
  auto form = NewForm("Form1");
  TestSession* other = NewSession(nullptr, sessions, "");
  other->SetSessionName("Work");
  TestSession* session = NewSession(form.get(), sessions, "Session1");
  const std::string clause = ". Component is Session1, owned by Form1";

  EXPECT_EQ(ErrorOf([&] { session->SetSessionName("WORK"); }), "Duplicate session name 'WORK'" + clause);
  session->SetSessionName("Mine");
  session->Open();
  EXPECT_EQ(ErrorOf([&] { session->SetSessionName("Other"); }),
            "Cannot perform this operation on an active session" + clause);
  session->Close();
  session->SetAutoSessionName(true);
  EXPECT_EQ(ErrorOf([&] { session->SetSessionName("Other"); }),
            "Cannot modify SessionName while AutoSessionName is enabled" + clause);
  EXPECT_EQ(session->GetSessionName(), "Session1_1");
  // A session without a name is fine, and so is an empty name for several sessions.
  other->SetSessionName("");
  EXPECT_NO_THROW(NewSession(nullptr, sessions, "")->SetSessionName(""));
}

TEST(SessionNames, StartingWithoutANameIsRefused) {
  TestSessionList sessions;
  TestSession* session = NewSession(nullptr, sessions, "Session9");
  EXPECT_EQ(ErrorOf([&] { session->Open(); }), "Session name missing. Component is Session9");
  EXPECT_FALSE(session->GetActive());
}

// Automatic names take the lowest free number of the session list; disabling or freeing a
// session gives its number back.
TEST(SessionNames, AutomaticNamesNumberSessionsOfTheSameName) {
  TestSessionList sessions;
  auto form1 = NewForm("Form1");
  auto form2 = NewForm("Form2");
  auto form3 = NewForm("Form3");
  TestSession* first = NewSession(form1.get(), sessions, "Session1");
  TestSession* second = NewSession(form2.get(), sessions, "Session1");
  first->SetAutoSessionName(true);
  second->SetAutoSessionName(true);
  EXPECT_EQ(first->GetSessionName(), "Session1_1");
  EXPECT_EQ(second->GetSessionName(), "Session1_2");
  EXPECT_EQ(first->GetSessionNumber(), 0);

  first->SetAutoSessionName(false);
  EXPECT_EQ(first->GetSessionNumber(), -1);
  EXPECT_EQ(first->GetSessionName(), "Session1_1");  // the name stays; the number is free
  first->SetSessionName("Manual");
  TestSession* third = NewSession(form3.get(), sessions, "Session1");
  third->SetAutoSessionName(true);
  EXPECT_EQ(third->GetSessionName(), "Session1_1");

  form2.reset();  // frees the session holding number 1
  auto form4 = NewForm("Form4");
  TestSession* fourth = NewSession(form4.get(), sessions, "Session1");
  fourth->SetAutoSessionName(true);
  EXPECT_EQ(fourth->GetSessionName(), "Session1_2");
}

TEST(SessionNames, AutomaticNameFollowsTheComponentName) {
  TestSessionList sessions;
  auto form = NewForm("Form1");
  TestSession* session = NewSession(form.get(), sessions, "Session1");
  session->SetAutoSessionName(true);
  session->SetName("Main");
  EXPECT_EQ(session->GetSessionName(), "Main_1");
}

// An automatic name that another session already uses is refused, and the number taken for
// it is given back.
TEST(SessionNames, AutomaticNameClashGivesTheNumberBack) {
  TestSessionList sessions;
  NewSession(nullptr, sessions, "")->SetSessionName("Session1_1");
  auto form = NewForm("Form1");
  TestSession* session = NewSession(form.get(), sessions, "Session1");
  EXPECT_EQ(ErrorOf([&] { session->SetAutoSessionName(true); }),
            "Duplicate session name 'Session1_1'. Component is Session1, owned by Form1");
  EXPECT_FALSE(session->GetAutoSessionName());
  EXPECT_EQ(session->GetSessionNumber(), -1);
  auto form2 = NewForm("Form2");
  TestSession* other = NewSession(form2.get(), sessions, "Other");
  other->SetAutoSessionName(true);
  EXPECT_EQ(other->GetSessionName(), "Other_1");
}

// Another class, so sessions of it may share an owner with a TestSession.
class OtherTestSession : public TestSession {
 public:
  using TestSession::TestSession;
};

TEST(SessionNames, OneAutomaticSessionPerOwnerAndClass) {
  TestSessionList sessions;
  auto form = NewForm("Form1");
  TestSession* first = NewSession(form.get(), sessions, "Session1");
  NewSession(form.get(), sessions, "Session2");
  EXPECT_EQ(ErrorOf([&] { first->SetAutoSessionName(true); }),
            "Cannot enable AutoSessionName property with more than one session on a form or data-module. "
            "Component is Session1, owned by Form1");
  EXPECT_FALSE(first->GetAutoSessionName());

  auto form2 = NewForm("Form2");
  TestSession* automatic = NewSession(form2.get(), sessions, "Auto");
  automatic->SetAutoSessionName(true);
  const int count = sessions.GetCount();
  EXPECT_EQ(ErrorOf([&] { host::TComponent::Create<TestSession>(form2.get(), &sessions); }),
            "Cannot add a session to the form or data-module while session 'Auto' has AutoSessionName enabled. "
            "Cannot name the component");
  EXPECT_EQ(form2->ComponentCount(), 1);
  EXPECT_EQ(sessions.GetCount(), count);

  // A session of another class may join.
  auto* other = host::TComponent::Create<OtherTestSession>(form2.get(), &sessions);
  EXPECT_EQ(other->Owner(), form2.get());
}

// An automatic session names the datasets and databases of its engine on its owner, and
// claims those inserted later.
TEST(SessionNames, AutomaticSessionClaimsItsOwnersDatasetsAndDatabases) {
  TestSessionList sessions;
  auto form = NewForm("Form1");
  auto* database = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
  auto* dataSet = host::TComponent::Create<TestLinkDataSet>(form.get(), &sessions);
  ASSERT_EQ(database->GetSession(), sessions.DefaultSession());
  TestSession* session = NewSession(form.get(), sessions, "Session1");
  session->SetAutoSessionName(true);
  EXPECT_EQ(database->GetSessionName(), "Session1_1");
  EXPECT_EQ(database->GetSession(), session);
  EXPECT_EQ(dataSet->GetSessionName(), "Session1_1");
  EXPECT_EQ(sessions.DefaultSession()->GetDatabaseCount(), 0);

  auto* later = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
  EXPECT_EQ(later->GetSession(), session);
  EXPECT_EQ(later->GetSessionName(), "Session1_1");
  auto* laterSet = host::TComponent::Create<TestLinkDataSet>(form.get(), &sessions);
  EXPECT_EQ(laterSet->GetSessionName(), "Session1_1");
  // Components of other owners are left alone.
  auto elsewhere = NewForm("Form2");
  auto* foreign = host::TComponent::Create<TestDatabase>(elsewhere.get(), &sessions);
  EXPECT_EQ(foreign->GetSession(), sessions.DefaultSession());
}

// ---- Loading from a stored form ------------------------------------------------------------

TEST(SessionLoading, StreamedActiveAndAutomaticNamesApplyAfterLoading) {
  TestSessionList sessions;
  auto form = NewForm("Form1");
  TestSession* session = NewSession(form.get(), sessions, "Session1");
  auto* database = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
  host::LoadComponents({form.get()}, [&] {
    session->SetAutoSessionName(true);
    session->SetActive(true);
    EXPECT_FALSE(session->GetActive());  // only the wish while reading
  });
  EXPECT_TRUE(session->GetActive());
  EXPECT_EQ(session->GetSessionName(), "Session1_1");
  EXPECT_EQ(database->GetSession(), session);
}

TEST(SessionLoading, StartFailureWhileDesigningGoesToTheApplication) {
  TestSessionList sessions;
  sessions.engine.refuseStartSession = true;
  std::vector<std::string> handled;
  host::Application()->SetOnException(
      [&](host::TObject*, const host::Exception& e) { handled.push_back(e.Message()); });
  {
    auto form = NewForm("Form1");
    form->SetDesigning(true);
    TestSession* session = NewSession(form.get(), sessions, "Session1");
    session->SetSessionName("Designed");
    EXPECT_NO_THROW(host::LoadComponents({form.get()}, [&] { session->SetActive(true); }));
    EXPECT_EQ(handled, std::vector<std::string>{"engine refused the session"});
  }
  {
    auto form = NewForm("Form2");
    TestSession* session = NewSession(form.get(), sessions, "Session1");
    session->SetSessionName("Running");
    EXPECT_THROW(host::LoadComponents({form.get()}, [&] { session->SetActive(true); }), host::EDatabaseError);
  }
  host::Application()->SetOnException(nullptr);
  EXPECT_EQ(handled.size(), 1u);
}

// ---- The end of a session ---------------------------------------------------------------------

// Closing a session ends the engine session and drops the administration connection; freeing
// it frees the databases it made and hands the others to the default session, closed.
TEST(SessionEnd, FreeingASessionFreesItsTemporariesAndMovesTheOthers) {
  kxtest::UseFakeMgi mgi;
  TestSessionList sessions;
  auto form = NewForm("Form1");
  auto other = NewForm("Form2");
  TestSession* session = NewSession(other.get(), sessions, "Session1");
  session->SetSessionName("Work");
  auto* database = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
  database->SetSessionName("Work");
  database->SetDatabaseName("Sales");
  database->Open();
  TKxAbsDatabase* temporary = session->OpenDatabase("Scratch");
  ASSERT_TRUE(temporary->GetTemporary());
  ASSERT_EQ(session->GetDatabaseCount(), 2);

  other.reset();  // frees the session
  EXPECT_EQ(database->GetSession(), sessions.DefaultSession());
  EXPECT_EQ(database->GetSessionName(), "");
  EXPECT_FALSE(database->GetConnected());
  EXPECT_EQ(sessions.DefaultSession()->GetDatabaseCount(), 1);
  EXPECT_TRUE(sessions.engine.Logged("CloseHandle Scratch"));
  EXPECT_TRUE(sessions.engine.Logged("CloseHandle Sales"));
  EXPECT_TRUE(sessions.engine.Logged("EndSession Work"));
  // The database still works with its new session.
  database->Open();
  EXPECT_TRUE(database->GetConnected());
}

TEST(SessionEnd, DatabasesOutliveTheirSessionList) {
  auto form = NewForm("Form1");
  TestDatabase* database = nullptr;
  {
    TestSessionList sessions;
    database = host::TComponent::Create<TestDatabase>(form.get(), &sessions);
    database->SetDatabaseName("Sales");
    database->Open();
  }
  EXPECT_EQ(database->GetSession(), nullptr);
  EXPECT_FALSE(database->GetConnected());
  form.reset();  // frees the database without a session
}

}  // namespace
}  // namespace kx
