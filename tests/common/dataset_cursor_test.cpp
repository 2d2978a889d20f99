// The abstract dataset driving an engine cursor: opening, browsing, bookmarks, editing,
// failures of the engine, and the client-side filter in the record loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/kxtables.h"
#include "common/kxtables/dataset.h"
#include "platform/rtl/application.h"
#include "tests/common/fakecursor.h"

namespace kxtest {
namespace {

using kx::EKxDatabaseError;

std::vector<int> Ids(std::initializer_list<int> l) { return std::vector<int>(l); }

// Keeps the dataset's buffer window at Count records, so that browsing shifts it.
class WindowLink : public TDataLink {
 public:
  WindowLink(TDataSet* DataSet, int Count) : FSource(new TDataSource(nullptr)) {
    FSource->SetDataSet(DataSet);
    SetBufferCount(Count);
    SetDataSource(FSource.get());
  }
  ~WindowLink() override { SetDataSource(nullptr); }

 private:
  std::unique_ptr<TDataSource> FSource;
};

// An engine error with one entry, as the engine packages raise them.
kx::EKxDBEngineError EngineError(TComponent* Owner, int Code, const char* Text) {
  kx::EKxDBEngineError e(Owner);
  new kx::TKxDBError(&e, Code, Text);
  e.SetMessage(Text);
  return e;
}

using DataSetCursor = FakeDataSetTest;

TEST_F(DataSetCursor, OpenReadsTheFirstRecordThroughTheContract) {
  ds->Open();
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(Id(), 1);
  EXPECT_FALSE(ds->IsHandleNull());
  const std::vector<std::string> expected{"CreateHandle", "KxInternalMoveFirst", "PrepareCursor",
                                          "KxGetRecord(gmNext)"};
  ASSERT_GE(ds->Calls().size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(ds->Calls().begin(), ds->Calls().begin() + 4), expected);
  EXPECT_EQ(ds->GetFieldCount(), 4);  // default fields

  ds->Close();
  EXPECT_TRUE(ds->IsHandleNull());
  EXPECT_EQ(ds->GetFieldCount(), 0) << "default fields go with the cursor";
  EXPECT_EQ(ds->Calls().back(), "DestroyHandle");
}

TEST_F(DataSetCursor, BrowsesInBothDirectionsThroughAShiftingWindow) {
  WindowLink link(ds, 3);
  ds->Open();
  EXPECT_EQ(Forward(ds), Ids({1, 2, 3, 4, 5}));
  EXPECT_TRUE(ds->GetEof());
  EXPECT_EQ(Backward(ds), Ids({5, 4, 3, 2, 1}));
  EXPECT_TRUE(ds->GetBof());

  ds->Last();
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(ds->CountCalls("KxInternalMoveLast"), 1);
  EXPECT_EQ(Backward(ds), Ids({5, 4, 3, 2, 1}));
  ds->First();
  EXPECT_EQ(Forward(ds), Ids({1, 2, 3, 4, 5}));

  // RecNo is the engine's position as stored in each buffer.
  ds->First();
  ds->MoveBy(2);
  EXPECT_EQ(ds->GetRecNo(), 3);
  EXPECT_EQ(ds->GetRecordCount(), 5);
}

TEST_F(DataSetCursor, AnEmptyTableHasNoRecordAndNoBuffer) {
  auto empty = std::make_shared<FakeTable>(std::vector<FakeColumn>{{"ID", ftInteger}});
  FakeCursorDataSet* d = MakeDataSet("Empty", empty);
  d->Open();
  EXPECT_TRUE(d->IsEmpty());
  EXPECT_TRUE(d->GetEof());
  EXPECT_TRUE(d->GetBof());
  EXPECT_EQ(d->GetRecNo(), -1);
  TRecordBuffer buffer = nullptr;
  EXPECT_FALSE(d->GetActiveRecBuf(buffer));
  EXPECT_EQ(buffer, nullptr);
  EXPECT_TRUE(d->FieldByName("ID")->GetIsNull());

  // Asking for the current record reads nothing from the engine.
  const int reads = d->CountCalls("KxGetRecord(gmCurrent)");
  TRecordBuffer scratch = d->AllocRecordBuffer();
  EXPECT_FALSE(d->GetCurrentRecord(scratch));
  d->FreeRecordBuffer(scratch);
  EXPECT_EQ(d->CountCalls("KxGetRecord(gmCurrent)"), reads);
  d->Last();
  EXPECT_TRUE(d->IsEmpty());
}

TEST_F(DataSetCursor, GetCurrentRecordCopiesOnlyAStoredRecord) {
  ds->Open();
  ds->Next();
  TRecordBuffer scratch = ds->AllocRecordBuffer();
  EXPECT_TRUE(ds->GetCurrentRecord(scratch));
  std::int32_t id = 0;
  std::memcpy(&id, scratch + 1, sizeof id);  // ID is the first column of the image
  EXPECT_EQ(id, 2);

  // A new record is not in the engine yet.
  ds->Insert();
  const int reads = ds->CountCalls("KxGetRecord(gmCurrent)");
  EXPECT_FALSE(ds->GetCurrentRecord(scratch));
  EXPECT_EQ(ds->CountCalls("KxGetRecord(gmCurrent)"), reads);
  ds->Cancel();
  ds->FreeRecordBuffer(scratch);
}

TEST_F(DataSetCursor, BookmarksReturnToTheirRecordAndGoStaleWithIt) {
  ds->Open();
  ds->MoveBy(2);
  const TBookmark mark = ds->GetBookmark();
  ASSERT_EQ(mark.size(), 4u);
  ds->Last();
  ds->GotoBookmark(mark);
  EXPECT_EQ(Id(), 3);
  EXPECT_TRUE(ds->BookmarkValid(mark));

  // Without a whole bookmark the engine is not asked.
  const int asked = ds->CountCalls("KxInternalBookmarkValid");
  EXPECT_FALSE(ds->BookmarkValid(TBookmark{}));
  EXPECT_FALSE(ds->BookmarkValid(TBookmark{3, 0}));
  EXPECT_EQ(ds->CountCalls("KxInternalBookmarkValid"), asked);

  // The record goes away behind the dataset's back.
  ds->First();
  table->RemoveRow(2);
  EXPECT_FALSE(ds->BookmarkValid(mark));
  EXPECT_THROW(ds->GotoBookmark(mark), EDatabaseError);
  ds->First();
  EXPECT_EQ(Forward(ds), Ids({1, 2, 4, 5}));
}

TEST_F(DataSetCursor, ANewRecordIsMarkedInsertedWithoutRecordNumber) {
  ds->Open();
  ds->Next();
  ds->Insert();
  EXPECT_EQ(ds->GetRecNo(), -1);
  EXPECT_EQ(ds->GetBookmarkFlag(ds->ActiveBuffer()), bfInserted);
  EXPECT_TRUE(ds->FieldByName("ID")->GetIsNull());
  EXPECT_TRUE(ds->FieldByName("NOTES")->GetIsNull());
  ds->Cancel();
}

TEST_F(DataSetCursor, InsertEditDeleteAndCancelReachTheEngine) {
  WindowLink link(ds, 3);
  ds->Open();

  // Insert before the second record.
  ds->Next();
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(10);
  ds->FieldByName("NAME")->SetAsString("new");
  ds->Post();
  EXPECT_EQ(TableIds(), Ids({1, 10, 2, 3, 4, 5}));
  EXPECT_EQ(Id(), 10);
  EXPECT_EQ(ds->GetRecNo(), 2);

  // Append.
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(11);
  ds->Post();
  EXPECT_EQ(TableIds(), Ids({1, 10, 2, 3, 4, 5, 11}));
  EXPECT_EQ(Id(), 11);

  // Edit the third record; then cancel an edit of the fourth.
  ds->First();
  ds->MoveBy(2);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("changed");
  ds->Post();
  EXPECT_EQ(table->Value(2, "NAME").AsString(), "changed");
  ds->Next();
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("dropped");
  ds->Cancel();
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "gamma");
  EXPECT_EQ(table->Value(3, "NAME").AsString(), "gamma");

  // Cancelling an insert leaves nothing behind.
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(12);
  ds->Cancel();
  EXPECT_EQ(table->RowCount(), 7);

  // Delete the current record: the next one takes its place.
  ds->First();
  ds->Next();
  ds->Delete();
  EXPECT_EQ(TableIds(), Ids({1, 2, 3, 4, 5, 11}));
  EXPECT_EQ(Id(), 2);

  EXPECT_EQ(ds->CountCalls("KxInternalInsert"), 3);
  EXPECT_EQ(ds->CountCalls("KxInternalEdit"), 2);
  EXPECT_EQ(ds->CountCalls("KxInternalPost"), 3);
  EXPECT_EQ(ds->CountCalls("KxInternalCancel"), 2);
  EXPECT_EQ(ds->CountCalls("KxInternalDelete"), 1);
}

TEST_F(DataSetCursor, InsertRecordAndAppendRecordAddInOneStep) {
  ds->Open();
  ds->Next();
  ds->InsertRecord({Variant(20), Variant(std::string("inserted"))});
  ds->AppendRecord({Variant(21), Variant(std::string("appended"))});
  EXPECT_EQ(TableIds(), Ids({1, 20, 2, 3, 4, 5, 21}));
  EXPECT_EQ(ds->CountCalls("KxInternalAddRecord(insert)"), 1);
  EXPECT_EQ(ds->CountCalls("KxInternalAddRecord(append)"), 1);
  EXPECT_EQ(ds->CountCalls("KxInternalInsert"), 0);
  EXPECT_EQ(Id(), 21);
}

TEST_F(DataSetCursor, RefreshRereadsTheEngine) {
  ds->Open();
  ds->Next();
  ds->FIsDatasetEmpty = true;
  FakeTable::Row& row = table->Rows()[1];
  table->Put(row, table->ColumnIndex("NAME"), Variant("renamed"));
  ds->Refresh();
  EXPECT_EQ(ds->CountCalls("KxInternalRefresh"), 1);
  EXPECT_FALSE(ds->FIsDatasetEmpty);
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "renamed");
}

TEST_F(DataSetCursor, AReadOnlyCursorRefusesChanges) {
  ds->SetReadOnly(true);
  ds->Open();
  EXPECT_FALSE(ds->GetCanModify());
  EXPECT_THROW(ds->Edit(), EDatabaseError);
  EXPECT_THROW(ds->Insert(), EDatabaseError);
  EXPECT_EQ(ds->CountCalls("KxInternalEdit"), 0);
}

TEST_F(DataSetCursor, EngineErrorsPassThroughUnchanged) {
  ds->Open();
  ds->Next();
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("changed");
  ds->FailNext("KxInternalPost", EngineError(ds, 80, "record locked"));
  try {
    ds->Post();
    FAIL() << "Post succeeded";
  } catch (const kx::EKxDBEngineError& e) {
    EXPECT_EQ(e.Message(), "record locked");
    ASSERT_EQ(e.GetErrorCount(), 1);
    EXPECT_EQ(e.GetErrors(0).GetNativeError(), 80);
  }
  // The edit is still there to retry or cancel, and the engine kept the old value.
  EXPECT_EQ(ds->GetState(), dsEdit);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "changed");
  EXPECT_EQ(table->Value(1, "NAME").AsString(), "beta");

  // The framework's error event may retry.
  ds->FailNext("KxInternalPost", EDatabaseError("busy"));
  int asked = 0;
  ds->SetOnPostError([&](TDataSet*, EDatabaseError* E, TDataAction& Action) {
    ++asked;
    EXPECT_EQ(E->Message(), "busy");
    Action = daRetry;
  });
  ds->Post();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(table->Value(1, "NAME").AsString(), "changed");
}

TEST_F(DataSetCursor, AFailedFirstMoveLeavesTheDatasetClosedAndTheDatabaseFree) {
  ds->FailNext("KxInternalMoveFirst", EDatabaseError("no cursor"));
  EXPECT_THROW(ds->Open(), EDatabaseError);
  EXPECT_FALSE(ds->GetActive());
  EXPECT_TRUE(ds->IsHandleNull());
  EXPECT_TRUE(ds->GetDBFlags().Empty());
  EXPECT_EQ(ds->GetFieldCount(), 0);
  kx::TKxAbsDatabase* database = sessions.DefaultSession()->FindDatabase("Sales");
  ASSERT_NE(database, nullptr);
  EXPECT_EQ(database->GetRefCount(), 0);
  EXPECT_EQ(database->DataSetCount(), 0);
  // And it opens once the engine cooperates.
  ds->Open();
  EXPECT_EQ(Id(), 1);
}

TEST_F(DataSetCursor, AFailingReadWithoutCheckIsAnErrorResult) {
  ds->Open();
  ds->FailNext("KxGetRecord", EDatabaseError("read failed"));
  TRecordBuffer scratch = ds->AllocRecordBuffer();
  EXPECT_EQ(ds->GetRecord(scratch, gmCurrent, false), grError);
  ds->FailNext("KxGetRecord", EDatabaseError("read failed"));
  EXPECT_THROW(ds->GetRecord(scratch, gmCurrent, true), EDatabaseError);
  ds->FreeRecordBuffer(scratch);
}

// ---- the client-side filter -----------------------------------------------------------------

TEST_F(DataSetCursor, OnFilterRecordDecidesWhichRecordsTheLoopDelivers) {
  WindowLink link(ds, 2);
  int waitDepth = -1;
  ds->SetOnFilterRecord([&](TDataSet* D, bool& Accept) {
    waitDepth = std::max(waitDepth, kx::detail::SQLHourGlassNesting());
    Accept = D->FieldByName("ID")->GetAsInteger() % 2 == 1;
  });
  ds->SetFiltered(true);
  ds->Open();
  EXPECT_EQ(Forward(ds), Ids({1, 3, 5}));
  EXPECT_EQ(Backward(ds), Ids({5, 3, 1}));
  ds->Last();
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(ds->GetRecordCount(), -1);

  // The moves to the ends may scan: they show the wait cursor, and put it back.
  EXPECT_GE(waitDepth, 1);
  EXPECT_EQ(kx::detail::SQLHourGlassNesting(), 0);

  // Switching the filter off shows every record from the first.
  ds->Next();
  ds->SetFiltered(false);
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(Forward(ds), Ids({1, 2, 3, 4, 5}));
}

TEST_F(DataSetCursor, FilterRejectingEverythingGivesAnEmptyDataset) {
  ds->SetOnFilterRecord([](TDataSet*, bool& Accept) { Accept = false; });
  ds->SetFiltered(true);
  ds->Open();
  EXPECT_TRUE(ds->IsEmpty());
  ds->Last();
  EXPECT_TRUE(ds->IsEmpty());
}

TEST_F(DataSetCursor, SettingFilteredAgainWhileOpenStillMovesToTheFirstRecord) {
  ds->Open();
  ds->MoveBy(3);
  ds->SetFiltered(false);
  EXPECT_EQ(Id(), 1);
}

TEST_F(DataSetCursor, AFilterHandlerThatRaisesDoesNotEndTheScan) {
  std::vector<std::string> reported;
  Application()->SetOnException([&](TObject*, const Exception& E) { reported.push_back(E.Message()); });
  ds->SetOnFilterRecord([](TDataSet* D, bool& Accept) {
    const int id = D->FieldByName("ID")->GetAsInteger();
    if (id == 2) {
      Accept = false;
      throw EDatabaseError("rejected 2, then failed");
    }
    if (id == 4) throw EDatabaseError("failed on 4");
  });
  ds->SetFiltered(true);
  ds->Open();
  // Record 2 keeps the verdict given before the failure; record 4 keeps the default.
  EXPECT_EQ(Forward(ds), Ids({1, 3, 4, 5}));
  Application()->SetOnException(nullptr);
  EXPECT_FALSE(reported.empty());
  EXPECT_EQ(reported.front(), "rejected 2, then failed");
}

TEST_F(DataSetCursor, TheWaitCursorComesBackWhenAMoveToAnEndFails) {
  ds->SetAlwaysSlow(true);
  ds->Open();
  ds->FailNext("KxInternalMoveLast", EDatabaseError("lost the cursor"));
  EXPECT_THROW(ds->Last(), EDatabaseError);
  EXPECT_EQ(kx::detail::SQLHourGlassNesting(), 0);
  ds->SetAlwaysSlow(false);
}

// ---- old values and conversions -------------------------------------------------------------

TEST_F(DataSetCursor, OldAndNewValuesNeedCachedUpdates) {
  ds->Open();
  try {
    (void)ds->FieldByName("NAME")->GetOldValue();
    FAIL() << "OldValue outside cached updates";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Not in cached update mode. Component is Table1, owned by Form1");
  }
  EXPECT_THROW((void)ds->FieldByName("NAME")->GetNewValue(), EKxDatabaseError);
}

TEST_F(DataSetCursor, CachedUpdatesKeepEditsAwayFromTheEngineContract) {
  ds->SetCachedUpdates(true);
  ds->Open();
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("cached");
  ds->Post();
  ds->Delete();
  EXPECT_EQ(ds->CountCalls("KxInternalEdit"), 0);
  EXPECT_EQ(ds->CountCalls("KxInternalPost"), 0);
  EXPECT_EQ(ds->CountCalls("KxInternalDelete"), 0);
  EXPECT_EQ(table->Value(0, "NAME").AsString(), "alpha");
  EXPECT_EQ(Id(), 2);
}

TEST_F(DataSetCursor, BcdValuesTravelThroughTheirDecimalText) {
  auto money = std::make_shared<FakeTable>(std::vector<FakeColumn>{{"ID", ftInteger}, {"PRICE", ftBCD, 2}});
  money->AddRow({Variant(1), Variant(StrToCurr("12.34"))});
  FakeCursorDataSet* d = MakeDataSet("Prices", money);
  d->Open();
  EXPECT_EQ(d->FieldByName("PRICE")->GetAsCurrency(), StrToCurr("12.34"));
  d->Edit();
  d->FieldByName("PRICE")->SetAsCurrency(StrToCurr("-0.5"));
  d->Post();
  EXPECT_EQ(money->Value(0, "PRICE").AsCurrency(), StrToCurr("-0.5"));
  EXPECT_EQ(d->FieldByName("PRICE")->GetAsString(), "-0.5");

  // A stored value beyond the currency range reads as an overflow.
  money->AddRow({Variant(2), Variant(StrToBcd("123456789012345678901.5"))});
  d->Last();
  EXPECT_THROW((void)d->FieldByName("PRICE")->GetAsCurrency(), EDatabaseError);
}

// ---- matching the current record ------------------------------------------------------------

TEST_F(DataSetCursor, TheBaseLocateMatchesOnlyTheCurrentRecord) {
  table->AddRow({Variant(6), Variant("smith"), Variant(1.0), Null()});
  ds->Open();
  ds->Last();
  ASSERT_EQ(Id(), 6);
  struct Case {
    const char* fields;
    Variant values;
    TLocateOptions options;
    bool match;
  };
  const Case cases[] = {
      {"NAME", Variant("smith"), {}, true},
      {"NAME", Variant("Smith"), {}, false},
      {"NAME", Variant("Sm"), {loPartialKey, loCaseInsensitive}, true},
      {"NAME", Variant("Sm"), {loPartialKey}, false},
      {"NAME", Variant(""), {loPartialKey}, false},
      {"NAME", Variant("smithers"), {loPartialKey}, false},
      {"AMOUNT", Variant(1.0000004), {}, true},
      {"AMOUNT", Variant(1.000001), {}, false},
      {"NOTES", Null(), {}, true},
      {"NAME", Null(), {}, false},
      {"ID;NAME", VarArrayOf({Variant(6), Variant("SM")}), {loPartialKey, loCaseInsensitive}, true},
      {"ID;NAME", VarArrayOf({Variant(99), Variant("sm")}), {loPartialKey}, false},
      {"ID;NAME", VarArrayOf({Variant(6)}), {}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ds->LocateRecord(c.fields, c.values, c.options, true), c.match)
        << c.fields << " " << (c.values.IsArray() ? std::string("[...]") : VarToStr(c.values));
  }
  EXPECT_EQ(Id(), 6);
}

}  // namespace
}  // namespace kxtest
