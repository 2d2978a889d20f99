// Cached updates of the abstract dataset over the in-memory test engine: the merged view in
// both directions, editing, status, applying with its events and actions, and switching.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/kxtables/cacheupdates.h"
#include "common/kxtables/dataset.h"
#include "tests/common/cachefake.h"

namespace kxtest {
namespace {

using kx::EKxDatabaseError;

const TUpdateRecordTypes kAllTypes{rtModified, rtInserted, rtDeleted, rtUnmodified};

// Keeps the dataset's buffer window at Count records, so that browsing shifts it.
class CacheWindowLink : public TDataLink {
 public:
  CacheWindowLink(TDataSet* DataSet, int Count) : FSource(new TDataSource(nullptr)) {
    FSource->SetDataSet(DataSet);
    SetBufferCount(Count);
    SetDataSource(FSource.get());
  }
  ~CacheWindowLink() override { SetDataSource(nullptr); }

 private:
  std::unique_ptr<TDataSource> FSource;
};

std::string TypesName(TUpdateRecordTypes Types) {
  std::string s;
  if (Types.Contains(rtModified)) s += "M";
  if (Types.Contains(rtInserted)) s += "I";
  if (Types.Contains(rtDeleted)) s += "D";
  if (Types.Contains(rtUnmodified)) s += "U";
  return s.empty() ? "none" : s;
}

// ---- the merged view --------------------------------------------------------------------------

// Engine rows marked P (plain), M (modified) or D (deleted), plus Inserts records inserted in
// the cache; every subset of UpdateRecordTypes; windows of one and of three buffers. The view
// must be: visible inserts newest first, then the engine's rows that are visible, in both
// directions, with the modified rows showing their new values.
struct MergedCase {
  const char* Rows;
  int Inserts;
};

class MergedView : public CacheTest, public ::testing::WithParamInterface<MergedCase> {};

TEST_P(MergedView, ShowsTheVisibleItemsInOrderBothWays) {
  const MergedCase c = GetParam();
  const std::string rows = c.Rows;
  for (int window : {1, 3}) {
    for (std::uint64_t bits = 0; bits < 16; ++bits) {
      const TUpdateRecordTypes types = TUpdateRecordTypes::FromBits(bits);
      SCOPED_TRACE("rows " + rows + ", inserts " + std::to_string(c.Inserts) + ", types " + TypesName(types) +
                   ", window " + std::to_string(window));
      auto t = MakeTable(static_cast<int>(rows.size()));
      CacheFakeDataSet* d = MakeDataSet("View", t);
      std::unique_ptr<CacheWindowLink> link;
      if (window > 1) link = std::make_unique<CacheWindowLink>(d, window);
      d->Open();
      d->SetUpdateRecordTypes(kAllTypes);
      d->First();
      for (char kind : rows) {
        if (kind == 'M') SetName(d, "m" + std::to_string(IdOf(d)));
        if (kind == 'D') d->Delete();
        d->Next();
      }
      for (int k = 0; k < c.Inserts; ++k) InsertId(d, 100 + k, "i" + std::to_string(k));
      d->SetUpdateRecordTypes(types);

      std::vector<std::string> expected;
      if (types.Contains(rtInserted)) {
        for (int k = c.Inserts - 1; k >= 0; --k) expected.push_back(std::to_string(100 + k) + ":i" + std::to_string(k));
      }
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const int id = static_cast<int>(i) + 1;
        const char kind = rows[i];
        const bool shown = (kind == 'P' && types.Contains(rtUnmodified)) ||
                           (kind == 'M' && types.Contains(rtModified)) || (kind == 'D' && types.Contains(rtDeleted));
        if (shown) expected.push_back(std::to_string(id) + ":" + (kind == 'M' ? "m" : "r") + std::to_string(id));
      }
      auto item = [d] { return std::to_string(IdOf(d)) + ":" + d->FieldByName("NAME")->GetAsString(); };
      std::vector<std::string> forward, backward;
      for (d->First(); !d->GetEof(); d->Next()) forward.push_back(item());
      for (d->Last(); !d->GetBof(); d->Prior()) backward.push_back(item());
      std::reverse(backward.begin(), backward.end());
      EXPECT_EQ(forward, expected);
      EXPECT_EQ(backward, expected);
      EXPECT_EQ(d->IsEmpty(), expected.empty());
      link.reset();
      delete d;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MergedView,
                         ::testing::Values(MergedCase{"PPPPP", 0}, MergedCase{"PPPPP", 2}, MergedCase{"MPPDPM", 0},
                                           MergedCase{"MPPDPM", 1}, MergedCase{"DPMPPD", 3}, MergedCase{"MMMM", 2},
                                           MergedCase{"DDDD", 0}, MergedCase{"DDDD", 2}, MergedCase{"PDDDDP", 1},
                                           MergedCase{"DMDMDM", 2}, MergedCase{"MDPPDM", 3}, MergedCase{"", 0},
                                           MergedCase{"", 3}, MergedCase{"P", 1}, MergedCase{"D", 1}));

TEST_F(CacheTest, InsertedRecordsComeFirstNewestFirstWithNegativeIdentifiers) {
  ds->Open();
  InsertId(ds, 10, "first");
  InsertId(ds, 11, "second");
  ASSERT_EQ(ds->CacheCount(), 2);
  EXPECT_EQ(ds->ValueIn(ds->Entry(0)->pNewRecBuf, "ID").AsInteger(), 11);
  EXPECT_EQ(ds->EntryId(0), -2);
  EXPECT_EQ(ds->EntryId(1), -1);
  EXPECT_TRUE(ds->Entry(0)->CacheUpdOpType == TUpdateRecordTypes{rtInserted});
  // Kept: the bookmark of the engine's first record when the record was inserted.
  ASSERT_EQ(ds->Entry(0)->LastRecBookmark.size(), 4u);
  EXPECT_EQ(ds->Entry(0)->LastRecBookmark[0], 1);
  EXPECT_EQ(Forward(ds), (std::vector<int>{11, 10, 1, 2, 3, 4, 5}));
  EXPECT_EQ(table->RowCount(), 5) << "nothing reaches the engine before ApplyUpdates";
  EXPECT_EQ(ds->UpdateStatus(), usUnmodified);
  ds->First();
  EXPECT_EQ(ds->UpdateStatus(), usInserted);
  EXPECT_TRUE(ds->GetUpdatesPending());
}

TEST_F(CacheTest, EngineRecordEntriesFollowBookmarkOrderWhateverTheEditOrder) {
  ds->Open();
  for (int id : {4, 2, 5, 1}) {
    Go(ds, id);
    SetName(ds, "x");
  }
  InsertId(ds, 50);
  std::vector<int> order;
  for (int i = 0; i < ds->CacheCount(); ++i) order.push_back(ds->EntryId(i));
  EXPECT_EQ(order, (std::vector<int>{-1, 1, 2, 4, 5}));
}

TEST_F(CacheTest, TheIdentifierBelowMinus32767IsRefusedAndLeavesNothingBehind) {
  ds->Open();
  InsertId(ds, 10);
  // Stand in for 32766 earlier inserts: the identifier in use is the lowest allowed.
  kx::TRecCacheUpdateInfoList& list = *ds->CacheList();
  list.WriteId(ds->Entry(0)->pNewRecBuf + ds->FBookmarkOfs, -32767);
  ds->First();
  try {
    ds->Insert();
    FAIL() << "an identifier past the limit";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Cached updates overflow. Component is Table1, owned by Form1");
  }
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(ds->CacheCount(), 1);
  EXPECT_EQ(Forward(ds), (std::vector<int>{10, 1, 2, 3, 4, 5}));
  // One step above the limit is still fine.
  list.WriteId(ds->Entry(0)->pNewRecBuf + ds->FBookmarkOfs, -32766);
  InsertId(ds, 11);
  EXPECT_EQ(ds->EntryId(0), -32767);
}

TEST_F(CacheTest, BookmarksAndGotoReachCachedRecords) {
  ds->Open();
  InsertId(ds, 10);
  ds->First();
  const TBookmark inserted = ds->GetBookmark();
  Go(ds, 3);
  SetName(ds, "m3");
  const TBookmark modified = ds->GetBookmark();
  Go(ds, 5);
  ds->GotoBookmark(inserted);
  EXPECT_EQ(IdOf(ds), 10);
  EXPECT_TRUE(ds->BookmarkValid(inserted));
  ds->Next();
  EXPECT_EQ(IdOf(ds), 1) << "after the inserted records come the engine's";
  ds->GotoBookmark(modified);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "m3");
  ds->Next();
  EXPECT_EQ(IdOf(ds), 4);
  ds->Prior();
  ds->Prior();
  EXPECT_EQ(IdOf(ds), 2);
  std::int32_t gone = -7;
  TBookmark unknown(reinterpret_cast<std::uint8_t*>(&gone), reinterpret_cast<std::uint8_t*>(&gone) + 4);
  EXPECT_FALSE(ds->BookmarkValid(unknown));
  EXPECT_EQ(IdOf(ds), 2) << "asking moves nothing";
  ds->Next();
  EXPECT_EQ(IdOf(ds), 3);
}

// ---- editing --------------------------------------------------------------------------------

TEST_F(CacheTest, EditPostEditCancelKeepsTheFirstPostedValues) {
  ds->Open();
  Go(ds, 2);
  SetName(ds, "posted");
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("dropped");
  ds->Cancel();
  ASSERT_EQ(ds->CacheCount(), 1);
  EXPECT_TRUE(ds->Entry(0)->CacheUpdOpType == TUpdateRecordTypes{rtModified});
  EXPECT_EQ(ds->Entry(0)->pSavedNewRecBuf, nullptr);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "posted");
  EXPECT_EQ(ds->FieldByName("NAME")->GetOldValue().AsString(), "r2");
  EXPECT_EQ(ds->UpdateStatus(), usModified);
  EXPECT_EQ(table->Value(1, "NAME").AsString(), "r2");
}

TEST_F(CacheTest, EditCancelledBeforePostLeavesNoEntry) {
  ds->Open();
  Go(ds, 2);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("never");
  ds->Cancel();
  EXPECT_EQ(ds->CacheCount(), 0);
  EXPECT_FALSE(ds->GetUpdatesPending());
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "r2");
  EXPECT_EQ(ds->UpdateStatus(), usUnmodified);
}

TEST_F(CacheTest, AnEditedInsertStaysAnInsertAndCancelOfANewInsertDropsIt) {
  ds->Open();
  InsertId(ds, 10, "a");
  ds->First();
  SetName(ds, "b");
  ASSERT_EQ(ds->CacheCount(), 1);
  EXPECT_TRUE(ds->Entry(0)->CacheUpdOpType == TUpdateRecordTypes{rtInserted});
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "b");
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("c");
  ds->Cancel();
  EXPECT_TRUE(ds->Entry(0)->CacheUpdOpType == TUpdateRecordTypes{rtInserted});
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "b");

  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(11);
  EXPECT_EQ(ds->CacheCount(), 2) << "the entry exists while the record is being inserted";
  ds->Cancel();
  EXPECT_EQ(ds->CacheCount(), 1);
  EXPECT_EQ(Forward(ds), (std::vector<int>{10, 1, 2, 3, 4, 5}));
}

TEST_F(CacheTest, DeletedRecordsHideUnlessAskedForAndShowTheirStatus) {
  ds->Open();
  Go(ds, 3);
  ds->Delete();
  EXPECT_EQ(IdOf(ds), 4) << "the next record takes the deleted one's place";
  EXPECT_EQ(Forward(ds), (std::vector<int>{1, 2, 4, 5}));
  EXPECT_EQ(table->RowCount(), 5);
  ds->SetUpdateRecordTypes(TUpdateRecordTypes{rtModified, rtInserted, rtUnmodified, rtDeleted});
  EXPECT_EQ(Forward(ds), (std::vector<int>{1, 2, 3, 4, 5}));
  Go(ds, 3);
  EXPECT_EQ(ds->UpdateStatus(), usDeleted);
  ds->SetUpdateRecordTypes(TUpdateRecordTypes{rtDeleted});
  EXPECT_EQ(Forward(ds), (std::vector<int>{3}));
}

TEST_F(CacheTest, DeletingTheLastVisibleRecordsLeavesAnEmptyViewAndCancelBringsThemBack) {
  auto t = MakeTable(2);
  CacheFakeDataSet* d = MakeDataSet("Small", t);
  d->Open();
  d->Delete();
  d->Delete();
  EXPECT_TRUE(d->IsEmpty());
  d->CancelUpdates();
  EXPECT_FALSE(d->IsEmpty());
  EXPECT_EQ(Forward(d), (std::vector<int>{1, 2}));
}

TEST_F(CacheTest, ARecordInsertedAndDeletedInTheCacheNeverReachesTheEngine) {
  ds->Open();
  InsertId(ds, 10);
  InsertId(ds, 11);
  ds->First();
  ASSERT_EQ(IdOf(ds), 11);
  ds->Delete();
  EXPECT_EQ(ds->CacheCount(), 1) << "the entry goes at once";
  EXPECT_EQ(IdOf(ds), 10);
  ds->Delete();
  EXPECT_EQ(ds->CacheCount(), 0);
  EXPECT_EQ(IdOf(ds), 1);
  EXPECT_FALSE(ds->GetUpdatesPending());
  ds->ApplyUpdates();
  EXPECT_EQ(ds->Counter().Attempts, 0);
  EXPECT_EQ(ds->CountCalls("CacheUpdatesApplyDeleted"), 0);
  EXPECT_EQ(TableIds(*table), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(CacheTest, AModifiedThenDeletedRecordIsDeletedAndCancelUndoesTheDeleteOnly) {
  ds->Open();
  Go(ds, 2);
  SetName(ds, "m2");
  ds->Delete();
  ASSERT_EQ(ds->CacheCount(), 1);
  EXPECT_TRUE(ds->Entry(0)->CacheUpdOpType == TUpdateRecordTypes{rtDeleted});
  EXPECT_TRUE(ds->Entry(0)->SavedCacheUpdOpType == TUpdateRecordTypes{rtModified});
  ds->ApplyUpdates();
  EXPECT_EQ(TableIds(*table), (std::vector<int>{1, 3, 4, 5}));
  EXPECT_EQ(ds->Counter().Log, (std::vector<std::string>{"D2"}));
}

TEST_F(CacheTest, OldValuesComeFromTheFirstEdit) {
  ds->Open();
  Go(ds, 4);
  SetName(ds, "one");
  SetName(ds, "two");
  EXPECT_EQ(ds->FieldByName("NAME")->GetOldValue().AsString(), "r4");
  EXPECT_EQ(ds->FieldByName("NAME")->GetNewValue().AsString(), "two");
  Go(ds, 5);
  EXPECT_EQ(ds->FieldByName("NAME")->GetOldValue().AsString(), "r5") << "an unchanged record's old values are its values";
}

TEST_F(CacheTest, RevertAndCancelUpdatesDropCachedChanges) {
  ds->Open();
  Go(ds, 2);
  SetName(ds, "m2");
  Go(ds, 3);
  ds->Delete();
  InsertId(ds, 10);
  EXPECT_EQ(ds->CacheCount(), 3);
  Go(ds, 2);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("pending");
  ds->RevertRecord();
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(ds->CacheCount(), 2);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "r2");
  ds->First();
  ds->RevertRecord();
  EXPECT_EQ(IdOf(ds), 1) << "a reverted insert is gone; the view starts over";
  ds->Insert();
  ds->CancelUpdates();
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(ds->CacheCount(), 0);
  EXPECT_EQ(Forward(ds), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ds->Counter().Attempts, 0);
}

TEST_F(CacheTest, BlobListsFollowEditPostCancelAndReachTheEngine) {
  ds->Open();
  Go(ds, 2);
  ds->Edit();
  ASSERT_EQ(ds->CacheCount(), 1);
  kx::TRecCacheUpdateInfo* e = ds->Entry(0);
  const std::size_t notes = 3;
  ASSERT_EQ(e->BlobColumnCount(), 4) << "one element per column";
  for (auto* sizes : {&e->pSavedNewBlobSize, &e->pOldBlobSize}) EXPECT_EQ(sizes->size(), 4u);
  EXPECT_EQ(CacheFakeDataSet::BlobText(e->pNewBlobBuf, e->pNewBlobSize, notes), "note 2");
  EXPECT_EQ(CacheFakeDataSet::BlobText(e->pOldBlobBuf, e->pOldBlobSize, notes), "note 2");
  // The engine's BLOB stream writes the new value into the entry.
  e->SetNewBlob(static_cast<int>(notes), "first", 5);
  ds->Post();
  ds->Edit();
  EXPECT_EQ(CacheFakeDataSet::BlobText(e->pSavedNewBlobBuf, e->pSavedNewBlobSize, notes), "first");
  e->SetNewBlob(static_cast<int>(notes), "second, longer", 14);
  ds->Cancel();
  EXPECT_EQ(CacheFakeDataSet::BlobText(e->pNewBlobBuf, e->pNewBlobSize, notes), "first");
  EXPECT_EQ(CacheFakeDataSet::BlobText(e->pSavedNewBlobBuf, e->pSavedNewBlobSize, notes), "");
  EXPECT_EQ(e->pSavedNewBlobSize[notes], 0);
  EXPECT_EQ(CacheFakeDataSet::BlobText(e->pOldBlobBuf, e->pOldBlobSize, notes), "note 2");
  EXPECT_THROW(e->SetNewBlob(9, "x", 1), EKxDatabaseError);
  EXPECT_THROW(e->AddBlobColumn(nullptr, 3), EKxDatabaseError);
  EXPECT_EQ(e->pOldBlobBuf.size(), e->pNewBlobBuf.size()) << "a refused column leaves the lists alike";

  InsertId(ds, 10);
  EXPECT_EQ(ds->Entry(0)->BlobColumnCount(), 4);
  EXPECT_EQ(ds->Entry(0)->pNewBlobSize[notes], 0) << "an inserted record starts without BLOB data";

  ds->ApplyUpdates();
  EXPECT_EQ(table->Value(1, "NOTES").AsString(), "first");
  EXPECT_EQ(table->Value(0, "NOTES").AsString(), "note 1");
}

TEST_F(CacheTest, AppendAndTheOneStepInsertsAlsoGoIntoTheCache) {
  CacheWindowLink link(ds, 3);
  ds->Open();
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(20);
  ds->Post();
  ds->AppendRecord({Variant(21), Variant("appended")});
  Go(ds, 3);
  ds->InsertRecord({Variant(22), Variant("inserted")});
  EXPECT_EQ(IdOf(ds), 22);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "inserted");
  EXPECT_EQ(ds->CountCalls("KxInternalAddRecord(append)") + ds->CountCalls("KxInternalAddRecord(insert)"), 0);
  EXPECT_EQ(table->RowCount(), 5);
  // Inserted records show first, newest first, wherever they were added.
  EXPECT_EQ(Forward(ds), (std::vector<int>{22, 21, 20, 1, 2, 3, 4, 5}));
  EXPECT_EQ(Backward(ds), (std::vector<int>{5, 4, 3, 2, 1, 20, 21, 22}));
  std::vector<int> ids;
  for (int i = 0; i < ds->CacheCount(); ++i) ids.push_back(ds->EntryId(i));
  EXPECT_EQ(ids, (std::vector<int>{-3, -2, -1}));
}

TEST_F(CacheTest, TheFilterJudgesTheCachedValues) {
  ds->Open();
  Go(ds, 2);
  SetName(ds, "keep");
  InsertId(ds, 10, "keep");
  InsertId(ds, 11, "drop");
  ds->SetOnFilterRecord([](TDataSet* D, bool& Accept) {
    Accept = D->FieldByName("NAME")->GetAsString() == "keep" || D->FieldByName("ID")->GetAsInteger() == 4;
  });
  ds->SetFiltered(true);
  EXPECT_EQ(Forward(ds), (std::vector<int>{10, 4}));
  EXPECT_EQ(Backward(ds), (std::vector<int>{4, 10}));
  // Row 2 is judged by its cached name only when the engine lets it through: the engine
  // filters its own records while stepping.
  ds->SetOnFilterRecord([](TDataSet* D, bool& Accept) { Accept = D->FieldByName("ID")->GetAsInteger() != 3; });
  ds->First();
  EXPECT_EQ(Forward(ds), (std::vector<int>{11, 10, 1, 2, 4, 5}));
  Go(ds, 2);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "keep");
}

TEST_F(CacheTest, RefreshKeepsTheCachedView) {
  ds->Open();
  Go(ds, 2);
  SetName(ds, "m2");
  ds->Refresh();
  EXPECT_EQ(ds->CountCalls("KxInternalRefresh"), 0);
  EXPECT_EQ(IdOf(ds), 2);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "m2");
}

// ---- applying -------------------------------------------------------------------------------

TEST_F(CacheTest, ApplyWritesInListOrderAndEmptiesTheList) {
  ds->Open();
  Go(ds, 4);
  SetName(ds, "m4");
  Go(ds, 2);
  ds->Delete();
  InsertId(ds, 10, "a");
  InsertId(ds, 11, "b");
  ds->ApplyUpdates();
  EXPECT_EQ(ds->Counter().Log, (std::vector<std::string>{"I11", "I10", "D2", "M4"}));
  EXPECT_EQ(TableIds(*table), (std::vector<int>{1, 3, 4, 5, 11, 10}));
  EXPECT_EQ(table->Value(2, "NAME").AsString(), "m4");
  EXPECT_EQ(ds->CacheCount(), 0);
  EXPECT_FALSE(ds->GetUpdatesPending());
  EXPECT_EQ(Forward(ds), (std::vector<int>{1, 3, 4, 5, 11, 10}));
  ds->CommitUpdates();
  EXPECT_EQ(ds->CacheCount(), 0);
}

TEST_F(CacheTest, ApplyPostsAPendingEditFirst) {
  ds->Open();
  Go(ds, 1);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("typed");
  ds->ApplyUpdates();
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(table->Value(0, "NAME").AsString(), "typed");
}

// OnUpdateError's answer to an engine failure of the first of two modifications.
struct EngineErrorCase {
  TUpdateAction Action;
  const char* Raises;  // "" none, "engine", "abort", "bad"
  int EntriesLeft;
  int Attempts;
};

class ApplyEngineError : public CacheTest, public ::testing::WithParamInterface<EngineErrorCase> {};

TEST_P(ApplyEngineError, TheHandlersActionDecides) {
  const EngineErrorCase c = GetParam();
  ds->Open();
  Go(ds, 2);
  SetName(ds, "m2");
  Go(ds, 3);
  SetName(ds, "m3");
  ds->Counter().FailAt = 1;
  int calls = 0;
  ds->SetOnUpdateError([&](TDataSet* D, EDatabaseError* E, TUpdateKind Kind, TUpdateAction& Action) {
    ++calls;
    EXPECT_EQ(D, ds);
    EXPECT_EQ(E->Message(), "apply refused by the engine");
    EXPECT_EQ(Kind, ukModify);
    EXPECT_EQ(Action, uaFail);
    Action = c.Action;
  });
  const std::string raises = c.Raises;
  try {
    ds->ApplyUpdates();
    EXPECT_EQ(raises, "");
  } catch (const EAbort&) {
    EXPECT_EQ(raises, "abort");
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(raises, "bad");
    EXPECT_EQ(e.Message(), "Bad UpdateAction value. Component is Table1, owned by Form1");
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(raises, "engine");
    EXPECT_EQ(e.Message(), "apply refused by the engine");
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ds->CacheCount(), c.EntriesLeft);
  EXPECT_EQ(ds->Counter().Attempts, c.Attempts);
  EXPECT_EQ(table->Value(2, "NAME").AsString(), c.Attempts >= 2 ? "m3" : "r3");
}

INSTANTIATE_TEST_SUITE_P(Actions, ApplyEngineError,
                         ::testing::Values(EngineErrorCase{uaFail, "engine", 2, 1}, EngineErrorCase{uaAbort, "abort", 2, 1},
                                           EngineErrorCase{uaSkip, "", 1, 2}, EngineErrorCase{uaRetry, "", 0, 3},
                                           EngineErrorCase{uaApplied, "bad", 2, 1}));

TEST_F(CacheTest, EngineErrorsPassOnWithoutAHandlerAndOtherExceptionsAlways) {
  ds->Open();
  Go(ds, 2);
  SetName(ds, "m2");
  ds->Counter().FailAt = 1;
  EXPECT_THROW(ds->ApplyUpdates(), EDatabaseError);
  EXPECT_EQ(ds->CacheCount(), 1);
  int calls = 0;
  ds->SetOnUpdateError([&](TDataSet*, EDatabaseError*, TUpdateKind, TUpdateAction& Action) {
    ++calls;
    Action = uaSkip;
  });
  ds->FailNext("CacheUpdatesApplyModified", Exception("not a database error"));
  EXPECT_THROW(ds->ApplyUpdates(), Exception);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(ds->CacheCount(), 1);
  ds->ApplyUpdates();
  EXPECT_EQ(ds->CacheCount(), 0);
  EXPECT_EQ(table->Value(1, "NAME").AsString(), "m2");
}

// OnUpdateRecord's answer, and OnUpdateError's answer when that is uaFail.
struct RecordEventCase {
  TUpdateAction Action;
  bool HasErrorHandler;
  TUpdateAction ErrorAction;
  const char* Raises;  // "" none, "abort", "bad", "failed"
  int EntriesLeft;
};

class ApplyRecordEvent : public CacheTest, public ::testing::WithParamInterface<RecordEventCase> {};

TEST_P(ApplyRecordEvent, TheEventsActionsDecide) {
  const RecordEventCase c = GetParam();
  ds->Open();
  Go(ds, 2);
  SetName(ds, "m2");
  int recordCalls = 0, errorCalls = 0;
  ds->SetOnUpdateRecord([&](TDataSet* D, TUpdateKind Kind, TUpdateAction& Action) {
    EXPECT_EQ(D, ds);
    EXPECT_EQ(Kind, ukModify);
    EXPECT_EQ(Action, uaFail);
    // A retry comes back here; the second answer applies.
    Action = ++recordCalls == 1 ? c.Action : uaApplied;
  });
  if (c.HasErrorHandler) {
    ds->SetOnUpdateError([&](TDataSet*, EDatabaseError* E, TUpdateKind Kind, TUpdateAction& Action) {
      ++errorCalls;
      EXPECT_EQ(E->Message(), "Error while applying cached updates. Component is Table1, owned by Form1");
      EXPECT_EQ(Kind, ukModify);
      EXPECT_EQ(Action, uaFail);
      Action = c.ErrorAction;
    });
  }
  const std::string raises = c.Raises;
  try {
    ds->ApplyUpdates();
    EXPECT_EQ(raises, "");
  } catch (const EAbort&) {
    EXPECT_EQ(raises, "abort");
  } catch (const EKxDatabaseError& e) {
    if (raises == "bad") {
      EXPECT_EQ(e.Message(), "Bad UpdateAction value. Component is Table1, owned by Form1");
    } else {
      EXPECT_EQ(raises, "failed");
      EXPECT_EQ(e.Message(), "Error while applying cached updates. Component is Table1, owned by Form1");
    }
  }
  EXPECT_EQ(ds->CacheCount(), c.EntriesLeft);
  EXPECT_EQ(ds->GetUpdatesPending(), c.EntriesLeft > 0);
  EXPECT_EQ(ds->Counter().Attempts, 0) << "with OnUpdateRecord the engine is never asked";
  EXPECT_EQ(errorCalls, c.HasErrorHandler && c.Action == uaFail ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ApplyRecordEvent,
    ::testing::Values(RecordEventCase{uaApplied, false, uaFail, "", 0}, RecordEventCase{uaSkip, false, uaFail, "", 1},
                      RecordEventCase{uaAbort, false, uaFail, "abort", 1}, RecordEventCase{uaRetry, false, uaFail, "bad", 1},
                      RecordEventCase{uaFail, false, uaFail, "failed", 1}, RecordEventCase{uaFail, true, uaFail, "failed", 1},
                      RecordEventCase{uaFail, true, uaAbort, "abort", 1}, RecordEventCase{uaFail, true, uaSkip, "", 1},
                      RecordEventCase{uaFail, true, uaRetry, "", 0}, RecordEventCase{uaFail, true, uaApplied, "bad", 1}));

TEST_F(CacheTest, OnUpdateRecordSeesEachKindInListOrderAndMakesTheDatasetModifiable) {
  ds->SetReadOnly(true);
  ds->Open();
  EXPECT_FALSE(ds->GetCanModify());
  std::vector<TUpdateKind> kinds;
  ds->SetOnUpdateRecord([&](TDataSet*, TUpdateKind Kind, TUpdateAction& Action) {
    kinds.push_back(Kind);
    Action = uaApplied;
  });
  EXPECT_TRUE(ds->GetCanModify());
  Go(ds, 3);
  ds->Delete();
  Go(ds, 1);
  SetName(ds, "m1");
  InsertId(ds, 10);
  ds->ApplyUpdates();
  EXPECT_EQ(kinds, (std::vector<TUpdateKind>{ukInsert, ukModify, ukDelete}));
  EXPECT_EQ(ds->CacheCount(), 0);
  EXPECT_EQ(TableIds(*table), (std::vector<int>{1, 2, 3, 4, 5}));
}

// ---- modes and properties -------------------------------------------------------------------

TEST_F(CacheTest, ModeChecksAndUpdateRecordTypes) {
  EXPECT_TRUE(ds->GetUpdateRecordTypes().Empty()) << "closed: the empty set";
  ds->SetCachedUpdates(false);
  ds->Open();
  try {
    ds->SetUpdateRecordTypes(kAllTypes);
    FAIL() << "outside cached updates";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Not in cached update mode. Component is Table1, owned by Form1");
  }
  EXPECT_THROW((void)ds->GetUpdateRecordTypes(), EKxDatabaseError);
  EXPECT_THROW(ds->ApplyUpdates(), EKxDatabaseError);
  EXPECT_THROW(ds->CommitUpdates(), EKxDatabaseError);
  EXPECT_THROW(ds->CancelUpdates(), EKxDatabaseError);
  EXPECT_THROW(ds->RevertRecord(), EKxDatabaseError);
  EXPECT_THROW((void)ds->UpdateStatus(), EKxDatabaseError);
  EXPECT_FALSE(ds->GetUpdatesPending());
  ds->SetCachedUpdates(true);
  EXPECT_TRUE(ds->GetUpdateRecordTypes() == (TUpdateRecordTypes{rtModified, rtInserted, rtUnmodified}));
}

TEST_F(CacheTest, SwitchingOnWhileOpenKeepsThePlaceAndSwitchingOffDropsTheChanges) {
  ds->SetCachedUpdates(false);
  ds->Open();
  Go(ds, 3);
  ds->SetCachedUpdates(true);
  EXPECT_TRUE(ds->GetCachedUpdates());
  EXPECT_EQ(IdOf(ds), 3);
  SetName(ds, "cached");
  InsertId(ds, 10);
  EXPECT_EQ(table->Value(2, "NAME").AsString(), "r3");
  Go(ds, 3);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("posted on the way out");
  ds->SetCachedUpdates(false);
  EXPECT_FALSE(ds->GetCachedUpdates());
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(ds->CacheList(), nullptr);
  EXPECT_EQ(IdOf(ds), 3);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "r3");
  EXPECT_EQ(Forward(ds), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(table->Value(2, "NAME").AsString(), "r3");
  EXPECT_EQ(ds->CountCalls("CacheUpdatesApplyModified"), 0);
  // Back in non-cached mode edits go straight to the engine.
  Go(ds, 3);
  SetName(ds, "direct");
  EXPECT_EQ(table->Value(2, "NAME").AsString(), "direct");
}

// Fails laying out its buffers when told to; keeps a chosen bookmark size.
class LayoutFakeDataSet : public CacheFakeDataSet {
 public:
  using CacheFakeDataSet::CacheFakeDataSet;
  bool FailLayout = false;
  int BookmarkBytes = 4;

 protected:
  void InitBufferPointers(bool GetProps) override {
    if (FailLayout) throw EDatabaseError("no memory for the buffers");
    SetBookmarkSize(BookmarkBytes);
    CacheFakeDataSet::InitBufferPointers(GetProps);
  }
};

TEST_F(CacheTest, AFailedRebuildLeavesTheDatasetClosed) {
  auto* d = TComponent::Create<LayoutFakeDataSet>(form.get(), table, &sessions);
  d->SetName("Layout");
  d->SetDatabaseName("Sales");
  d->Open();
  d->FailLayout = true;
  EXPECT_THROW(d->SetCachedUpdates(true), EDatabaseError);
  EXPECT_FALSE(d->GetActive());
  EXPECT_TRUE(d->IsHandleNull());
  EXPECT_TRUE(d->GetDBFlags().Empty());
  d->FailLayout = false;
  d->Open();
  EXPECT_TRUE(d->GetCachedUpdates());
  EXPECT_EQ(Forward(d), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(CacheTest, BookmarksShorterThanTwoBytesRefuseCachedUpdates) {
  auto* d = TComponent::Create<LayoutFakeDataSet>(form.get(), table, &sessions);
  d->SetName("Short");
  d->SetDatabaseName("Sales");
  d->BookmarkBytes = 1;
  d->SetCachedUpdates(true);
  try {
    d->Open();
    FAIL() << "opened with a one-byte bookmark";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Cached updates not supported. Component is Short, owned by Form1");
  }
  EXPECT_FALSE(d->GetActive());
  EXPECT_TRUE(d->GetDBFlags().Empty());
  d->SetCachedUpdates(false);
  d->Open();
  EXPECT_THROW(d->SetCachedUpdates(true), EKxDatabaseError);
  EXPECT_TRUE(d->GetActive()) << "a refusal changes nothing";
  EXPECT_FALSE(d->GetCachedUpdates());
}

TEST_F(CacheTest, ShortBookmarksHoldSixteenBitIdentifiers) {
  auto* d = TComponent::Create<LayoutFakeDataSet>(form.get(), table, &sessions);
  d->BookmarkBytes = 2;
  d->SetCachedUpdates(false);
  kx::TRecCacheUpdateInfoList list(d);
  std::uint8_t mark[2];
  list.WriteId(mark, -300);
  EXPECT_EQ(list.IdOf(mark), -300);
  EXPECT_EQ(list.NextInsertedId(), -1);
}

TEST_F(CacheTest, ClosingFreesTheListAndReopeningStartsClean) {
  ds->Open();
  InsertId(ds, 10);
  Go(ds, 2);
  SetName(ds, "m2");
  ds->Close();
  EXPECT_EQ(ds->CacheList(), nullptr);
  ds->Open();
  EXPECT_FALSE(ds->GetUpdatesPending());
  EXPECT_EQ(Forward(ds), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(CacheTest, ADatasetFreedWhileOpenReleasesEveryEntryAndWritesNothing) {
  ds->Open();
  InsertId(ds, 10);
  Go(ds, 2);
  EXPECT_EQ(ds->FieldByName("NOTES")->GetAsString(), "note 2");  // a cached BLOB reference
  SetName(ds, "m2");
  Go(ds, 3);
  ds->Delete();
  Go(ds, 4);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("pending edit");
  // Freed in edit state with an insert, a modification and a delete cached: the leak checker
  // sees whether the entries' buffers and BLOB references are released.
  delete ds;
  ds = nullptr;
  EXPECT_EQ(table->RowCount(), 5);
  EXPECT_EQ(table->Value(1, "NAME").AsString(), "r2");
  EXPECT_EQ(table->Value(3, "NAME").AsString(), "r4");
}

}  // namespace
}  // namespace kxtest
