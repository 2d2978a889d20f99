// Cached updates applied inside a database transaction: a failure part-way rolls the engine
// back and leaves every change in the cache, and a retry applies each change exactly once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/kxtables/database.h"
#include "common/kxtables/dataset.h"
#include "tests/common/cachefake.h"

namespace kxtest {
namespace {

// Two tables of five rows in one database "Sales" whose transactions cover both; a dataset
// over each, sharing one apply counter. Each dataset caches the same three changes: insert
// ID 100, rename row 2, delete row 4.
class CacheTransaction : public CacheTest {
 protected:
  void SetUp() override {
    CacheTest::SetUp();
    other = MakeTable(5);
    counter = std::make_shared<ApplyCounter>();
    db = TComponent::Create<TxDatabase>(form.get(), &sessions, std::vector<std::shared_ptr<FakeTable>>{table, other});
    db->SetName("Database1");
    db->SetDatabaseName("Sales");
    a = MakeDataSet("TableA", table, counter);
    b = MakeDataSet("TableB", other, counter);
    for (CacheFakeDataSet* d : {a, b}) {
      d->Open();
      Change(d);
    }
  }

  static void Change(CacheFakeDataSet* D) {
    InsertId(D, 100, "i100");
    Go(D, 2);
    SetName(D, "m2");
    Go(D, 4);
    D->Delete();
  }

  // The cache of a dataset holding all three changes, and what it shows.
  static void ExpectAllCached(CacheFakeDataSet* D) {
    ASSERT_EQ(D->CacheCount(), 3);
    EXPECT_TRUE(D->Entry(0)->CacheUpdOpType == TUpdateRecordTypes{rtInserted});
    EXPECT_EQ(D->EntryId(1), 2);
    EXPECT_TRUE(D->Entry(1)->CacheUpdOpType == TUpdateRecordTypes{rtModified});
    EXPECT_EQ(D->EntryId(2), 4);
    EXPECT_TRUE(D->Entry(2)->CacheUpdOpType == TUpdateRecordTypes{rtDeleted});
    EXPECT_TRUE(D->GetUpdatesPending());
    EXPECT_EQ(Forward(D), (std::vector<int>{100, 1, 2, 3, 5}));
    Go(D, 2);
    EXPECT_EQ(D->FieldByName("NAME")->GetAsString(), "m2");
    EXPECT_EQ(D->FieldByName("NAME")->GetOldValue().AsString(), "r2");
  }

  static void ExpectUntouched(const FakeTable& T) {
    EXPECT_EQ(TableIds(T), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(T.Value(1, "NAME").AsString(), "r2");
  }

  // Each change once: row 100 once, row 2 renamed, row 4 gone; nothing left in the cache.
  static void ExpectApplied(const FakeTable& T, CacheFakeDataSet* D) {
    EXPECT_EQ(TableIds(T), (std::vector<int>{1, 2, 3, 5, 100}));
    EXPECT_EQ(T.Value(1, "NAME").AsString(), "m2");
    EXPECT_EQ(D->CacheCount(), 0);
    EXPECT_FALSE(D->GetUpdatesPending());
    EXPECT_EQ(D->CacheList()->SetAsideCount(), 0);
    EXPECT_EQ(Forward(D), (std::vector<int>{1, 2, 3, 5, 100}));
  }

  std::shared_ptr<FakeTable> other;
  std::shared_ptr<ApplyCounter> counter;
  TxDatabase* db = nullptr;
  CacheFakeDataSet* a = nullptr;
  CacheFakeDataSet* b = nullptr;
};

TEST_F(CacheTransaction, AFailureAtAnyApplyOfTwoDatasetsLosesNothingAndARetryAppliesEachChangeOnce) {
  // Six applies in all: three of TableA, then three of TableB.
  for (int n = 1; n <= 6; ++n) {
    SCOPED_TRACE("failing apply " + std::to_string(n));
    TearDown();
    SetUp();
    counter->FailAt = n;
    EXPECT_THROW(db->ApplyUpdates({a, b}), EDatabaseError);
    EXPECT_FALSE(db->GetInTransaction());
    EXPECT_TRUE(sessions.engine.Logged("Rollback Sales"));
    ExpectUntouched(*table);
    ExpectUntouched(*other);
    ExpectAllCached(a);
    ExpectAllCached(b);

    counter->FailAt = 0;
    counter->Log.clear();
    db->ApplyUpdates({a, b});
    EXPECT_EQ(counter->Log, (std::vector<std::string>{"I100", "M2", "D4", "I100", "M2", "D4"}));
    ExpectApplied(*table, a);
    ExpectApplied(*other, b);
  }
}

TEST_F(CacheTransaction, AFailureInOneDatasetRollsBackItsOwnEarlierApplies) {
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE("failing apply " + std::to_string(n));
    TearDown();
    SetUp();
    counter->FailAt = n;
    EXPECT_THROW(db->ApplyUpdates({a}), EDatabaseError);
    ExpectUntouched(*table);
    ExpectAllCached(a);
    counter->FailAt = 0;
    counter->Log.clear();
    db->ApplyUpdates({a});
    EXPECT_EQ(counter->Log, (std::vector<std::string>{"I100", "M2", "D4"}));
    ExpectApplied(*table, a);
    ExpectAllCached(b);
  }
}

TEST_F(CacheTransaction, AFailedCommitKeepsTheChangesToo) {
  sessions.engine.refuseCommit = true;
  EXPECT_THROW(db->ApplyUpdates({a, b}), EDatabaseError);
  ExpectUntouched(*table);
  ExpectAllCached(a);
  ExpectAllCached(b);
  sessions.engine.refuseCommit = false;
  db->ApplyUpdates({a, b});
  ExpectApplied(*table, a);
  ExpectApplied(*other, b);
}

TEST_F(CacheTransaction, TheApplicationsOwnTransactionDecidesWhatBecomesOfAppliedChanges) {
  db->StartTransaction();
  a->ApplyUpdates();
  EXPECT_EQ(a->CacheCount(), 0) << "applied changes are no longer pending";
  EXPECT_FALSE(a->GetUpdatesPending());
  a->CommitUpdates();
  EXPECT_EQ(a->CacheList()->SetAsideCount(), 3) << "kept until the transaction ends";
  db->Rollback();
  ExpectUntouched(*table);
  ExpectAllCached(a);

  db->StartTransaction();
  a->ApplyUpdates();
  db->Commit();
  a->CommitUpdates();
  ExpectApplied(*table, a);
  // Nothing of the committed transaction comes back with a later rollback.
  db->StartTransaction();
  db->Rollback();
  EXPECT_EQ(a->CacheCount(), 0);
}

TEST_F(CacheTransaction, ARollbackThatReportsAFailureStillBringsTheChangesBack) {
  db->StartTransaction();
  a->ApplyUpdates();
  db->FailRollback = true;
  EXPECT_THROW(db->Rollback(), EDatabaseError);
  ExpectUntouched(*table);
  ExpectAllCached(a);
}

TEST_F(CacheTransaction, ARollbackDuringAnEditKeepsTheEditAndBringsTheAppliedChangesBack) {
  db->StartTransaction();
  a->ApplyUpdates();
  Go(a, 3);
  a->Edit();
  a->FieldByName("NAME")->SetAsString("e3");
  db->Rollback();
  EXPECT_EQ(a->GetState(), dsEdit);
  a->Post();
  EXPECT_EQ(a->CacheCount(), 4);
  EXPECT_EQ(IdOf(a), 3);
  EXPECT_EQ(a->FieldByName("NAME")->GetAsString(), "e3");
  EXPECT_EQ(Forward(a), (std::vector<int>{100, 1, 2, 3, 5}));
  a->ApplyUpdates();
  EXPECT_EQ(TableIds(*table), (std::vector<int>{1, 2, 3, 5, 100}));
  EXPECT_EQ(table->Value(1, "NAME").AsString(), "m2");
  EXPECT_EQ(table->Value(2, "NAME").AsString(), "e3");
}

TEST_F(CacheTransaction, ARecordChangedAgainAfterItsApplyKeepsItsOriginalOldValues) {
  db->StartTransaction();
  a->ApplyUpdates();
  Go(a, 2);
  EXPECT_EQ(a->FieldByName("NAME")->GetAsString(), "m2") << "the engine shows the applied change";
  SetName(a, "again");
  InsertId(a, 101);
  db->Rollback();
  ASSERT_EQ(a->CacheCount(), 4);
  EXPECT_NE(a->EntryId(0), a->EntryId(1)) << "identifiers are not reused while changes are set aside";
  Go(a, 2);
  EXPECT_EQ(a->FieldByName("NAME")->GetAsString(), "again");
  EXPECT_EQ(a->FieldByName("NAME")->GetOldValue().AsString(), "r2");
  a->ApplyUpdates();
  EXPECT_EQ(TableIds(*table), (std::vector<int>{1, 2, 3, 5, 101, 100}));
  EXPECT_EQ(table->Value(1, "NAME").AsString(), "again");
}

TEST_F(CacheTransaction, OutsideATransactionEachApplyIsDurable) {
  counter->FailAt = 2;
  EXPECT_THROW(a->ApplyUpdates(), EDatabaseError);
  EXPECT_EQ(TableIds(*table), (std::vector<int>{1, 2, 3, 4, 5, 100})) << "the insert stays applied";
  ASSERT_EQ(a->CacheCount(), 2) << "the applied entry is gone, the failing one stays";
  EXPECT_EQ(a->EntryId(0), 2);
  counter->FailAt = 0;
  counter->Log.clear();
  a->ApplyUpdates();
  EXPECT_EQ(counter->Log, (std::vector<std::string>{"M2", "D4"}));
  ExpectApplied(*table, a);
}

TEST_F(CacheTransaction, ADatasetOfAnotherDatabaseIsRefusedBeforeAnythingIsApplied) {
  auto* stranger = TComponent::Create<CacheFakeDataSet>(form.get(), MakeTable(1), &sessions);
  stranger->SetName("Stranger");
  stranger->SetDatabaseName("Elsewhere");
  stranger->SetCachedUpdates(true);
  stranger->Open();
  EXPECT_THROW(db->ApplyUpdates({a, stranger}), EDatabaseError);
  EXPECT_EQ(counter->Attempts, 0);
  ExpectAllCached(a);
}

}  // namespace
}  // namespace kxtest
