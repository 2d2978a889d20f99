// The abstract dataset's database and session: database flags, names, and what happens when
// the database or the dataset goes first.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/kxtables.h"
#include "common/kxtables/database.h"
#include "common/kxtables/dataset.h"
#include "tests/common/fakecursor.h"

namespace kxtest {
namespace {

using kx::EKxDatabaseError;
using kx::TKxAbsDatabase;

class DataSetDatabase : public FakeDataSetTest {
 protected:
  TKxAbsDatabase* Sales() { return sessions.DefaultSession()->FindDatabase("Sales"); }
};

TEST_F(DataSetDatabase, TheFirstFlagOpensTheDatabaseAndTheLastReleasesIt) {
  sessions.DefaultSession()->SetKeepConnections(false);
  EXPECT_FALSE(ds->SetDBFlag(3, true));
  EXPECT_TRUE(ds->SetDBFlag(3, true));
  EXPECT_FALSE(ds->SetDBFlag(7, true));
  EXPECT_EQ(sessions.engine.Count("Open Sales"), 1) << "one open for any number of flags";
  TKxAbsDatabase* database = ds->GetDatabase();
  ASSERT_EQ(database, Sales());
  EXPECT_EQ(database->GetRefCount(), 1);
  ASSERT_EQ(database->DataSetCount(), 1);
  EXPECT_EQ(database->DataSets(0), ds);

  // Clearing a flag that is not set, and flags outside 0..15, change nothing.
  EXPECT_FALSE(ds->SetDBFlag(5, false));
  EXPECT_FALSE(ds->SetDBFlag(16, true));
  EXPECT_FALSE(ds->SetDBFlag(-1, true));
  EXPECT_FALSE(ds->GetDBFlags().Contains(16));
  EXPECT_EQ(ds->GetDBFlags().Bits(), (1u << 3) | (1u << 7));

  EXPECT_TRUE(ds->SetDBFlag(3, false));
  EXPECT_EQ(Sales(), database) << "still held for flag 7";
  EXPECT_TRUE(ds->SetDBFlag(7, false));
  EXPECT_TRUE(ds->GetDBFlags().Empty());
  // A temporary database nobody keeps goes away with its last user.
  EXPECT_EQ(Sales(), nullptr);
  EXPECT_TRUE(sessions.engine.Logged("CloseHandle Sales"));
}

TEST_F(DataSetDatabase, OpeningHoldsTheDatabaseUntilTheLastReasonIsGone) {
  auto* database = TComponent::Create<TestDatabase>(form.get(), &sessions);
  database->SetDatabaseName("Sales");
  database->SetKeepConnection(false);
  ds->Open();
  EXPECT_EQ(ds->GetDatabase(), database);
  EXPECT_TRUE(database->GetConnected());
  ds->SetDBFlag(3, true);
  ds->Close();
  EXPECT_TRUE(database->GetConnected()) << "flag 3 still holds it";
  EXPECT_EQ(database->DataSetCount(), 1);
  ds->SetDBFlag(3, false);
  EXPECT_FALSE(database->GetConnected());
  EXPECT_EQ(database->DataSetCount(), 0);
  EXPECT_EQ(database->GetRefCount(), 0);
}

TEST_F(DataSetDatabase, TheSessionIsTheDatabasesOrTheNamedOrTheDefaultOne) {
  EXPECT_EQ(ds->GetDBSession(), sessions.DefaultSession());
  kx::TKxAbsSession* other = sessions.OpenSession("Other");
  ds->SetSessionName("Other");
  EXPECT_EQ(ds->GetDBSession(), other);
  ds->SetSessionName("Nowhere");
  EXPECT_EQ(ds->GetDBSession(), sessions.DefaultSession());

  // Opening needs the named session to exist.
  try {
    ds->Open();
    FAIL() << "opened in an unknown session";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("Invalid session name Nowhere"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(ds->GetActive());
  EXPECT_TRUE(ds->GetDBFlags().Empty());

  ds->SetSessionName("Other");
  ds->Open();
  EXPECT_EQ(ds->GetDatabase()->GetSession(), other);
  EXPECT_EQ(ds->GetDBSession(), other);
}

TEST_F(DataSetDatabase, ADatabaseOfTheNamedSessionWaitingInTheDefaultOneMovesThere) {
  // The database names session S2 before S2 exists, so it stays in the default session.
  auto* database = TComponent::Create<TestDatabase>(form.get(), &sessions);
  database->SetDatabaseName("Sales");
  database->SetSessionName("S2");
  ASSERT_EQ(database->GetSession(), sessions.DefaultSession());
  kx::TKxAbsSession* s2 = sessions.OpenSession("S2");
  ds->SetSessionName("S2");
  ds->Open();
  EXPECT_EQ(database->GetSession(), s2);
  EXPECT_EQ(ds->GetDatabase(), database);
}

TEST_F(DataSetDatabase, DatabaseNameChangesNeedAClosedDatasetThatHoldsNoDatabase) {
  ProbeDesigner designer;
  ds->SetDesigner(&designer);
  ds->Open();
  ds->SetDatabaseName("Sales");  // the same name: nothing to check
  EXPECT_THROW(ds->SetDatabaseName("Other"), EDatabaseError);
  EXPECT_EQ(ds->GetDatabaseName(), "Sales");
  ds->Close();

  ds->SetDBFlag(2, true);
  try {
    ds->SetDatabaseName("Other");
    FAIL() << "renamed while holding the database";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Cannot perform this operation on an open database. Component is Table1, owned by Form1");
  }
  ds->SetDBFlag(2, false);

  designer.Events.clear();
  ds->SetDatabaseName("Other");
  EXPECT_EQ(ds->GetDatabaseName(), "Other");
  EXPECT_EQ(std::count(designer.Events.begin(), designer.Events.end(), "dePropertyChange"), 1);
  ds->SetDesigner(nullptr);

  ds->Open();
  EXPECT_THROW(ds->SetSessionName("S"), EDatabaseError);
  EXPECT_EQ(ds->GetSessionName(), "");
}

TEST_F(DataSetDatabase, LeavingATemporaryDatabaseClosesItOnlyWhenNobodyElseUsesIt) {
  // An unused temporary database of the old name is closed.
  ds->Open();
  ds->Close();
  TKxAbsDatabase* sales = Sales();
  ASSERT_NE(sales, nullptr);
  ASSERT_TRUE(sales->GetConnected());
  ds->SetDatabaseName("Other");
  EXPECT_FALSE(sales->GetKeepConnection());
  EXPECT_FALSE(sales->GetConnected());

  // One that another dataset works through stays open, and so does that dataset.
  FakeCursorDataSet* second = MakeDataSet("Table2");
  second->Open();
  ds->SetDatabaseName("Sales");
  ds->Open();
  ds->Close();
  ds->SetDatabaseName("Other");
  EXPECT_TRUE(second->GetActive());
  EXPECT_TRUE(Sales()->GetConnected());
  EXPECT_EQ(second->FieldByName("ID")->GetAsInteger(), 1);
}

TEST_F(DataSetDatabase, ADisconnectingDatabaseClosesItsDatasets) {
  ds->Open();
  ds->SetDBFlag(4, true);
  ds->Edit();
  TKxAbsDatabase* database = ds->GetDatabase();
  database->Close();
  EXPECT_FALSE(ds->GetActive());
  EXPECT_TRUE(ds->GetDBFlags().Empty()) << "the database no longer counts the dataset";
  EXPECT_EQ(database->DataSetCount(), 0);
  // Clearing a flag afterwards is harmless, and the dataset opens again.
  EXPECT_FALSE(ds->SetDBFlag(4, false));
  ds->Open();
  EXPECT_EQ(ds->FieldByName("ID")->GetAsInteger(), 1);
}

TEST_F(DataSetDatabase, ATemporaryDatabaseWithoutKeepConnectionSurvivesItsOwnDisconnect) {
  // Closing the dataset from inside the database's disconnect must not free the database
  // while it is still disconnecting.
  sessions.DefaultSession()->SetKeepConnections(false);
  ds->Open();
  TKxAbsDatabase* database = ds->GetDatabase();
  ASSERT_TRUE(database->GetTemporary());
  database->Close();
  EXPECT_FALSE(ds->GetActive());
  EXPECT_EQ(Sales(), database);
  EXPECT_EQ(database->GetRefCount(), 0);
  ds->Open();
  EXPECT_EQ(ds->GetDatabase(), database);
  ds->Close();
  EXPECT_EQ(Sales(), nullptr);
}

TEST_F(DataSetDatabase, ADatasetDestroyedWhileHoldingItsDatabaseLetsItGo) {
  ds->SetDBFlag(6, true);
  TKxAbsDatabase* database = ds->GetDatabase();
  ASSERT_EQ(database->DataSetCount(), 1);
  delete ds;
  ds = nullptr;
  EXPECT_EQ(database->DataSetCount(), 0);
  EXPECT_EQ(database->GetRefCount(), 0);
  database->Close();  // would reach the freed dataset if it were still registered
}

TEST(DataSetDefaults, RefreshOnLocateStartsFromTheProcessDefault) {
  TestSessionList sessions;
  auto table = std::make_shared<FakeTable>(std::vector<FakeColumn>{{"ID", ftInteger}});
  std::unique_ptr<FakeCursorDataSet> before(new FakeCursorDataSet(nullptr, table, &sessions));
  kx::SetRefreshOnLocate(true);
  std::unique_ptr<FakeCursorDataSet> after(new FakeCursorDataSet(nullptr, table, &sessions));
  kx::SetRefreshOnLocate(false);
  EXPECT_FALSE(before->GetRefreshOnLocate());
  EXPECT_TRUE(after->GetRefreshOnLocate());
  EXPECT_TRUE(after->GetCacheBlobs());
  EXPECT_EQ(after->GetUpdateMode(), upWhereAll);
  EXPECT_TRUE(after->GetUpdateRecordTypes().Empty()) << "closed";
  EXPECT_TRUE(after->AreBookMarksEnabled());
}

}  // namespace
}  // namespace kxtest
