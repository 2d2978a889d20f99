// The record-buffer protocol of TDataSet, exercised through the in-memory dataset.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/platform/memdataset.h"

using namespace kxtest;

namespace {

using Strings = std::vector<std::string>;

// A dataset of ten rows (ID 1..10, NAME "n1".."n10") whose events all write to its log.
class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds = new MemDataSet(nullptr);
    ds->SetName("People");
    ds->AddColumn("ID", ftInteger);
    ds->AddColumn("NAME", ftString, 10);
    for (int i = 1; i <= 10; ++i) ds->AddRow({i, "n" + std::to_string(i)});
    auto log = [this](const char* name) { return [this, name](TDataSet*) { ds->Log().push_back(name); }; };
    ds->SetBeforeOpen(log("BeforeOpen"));
    ds->SetAfterOpen(log("AfterOpen"));
    ds->SetBeforeClose(log("BeforeClose"));
    ds->SetAfterClose(log("AfterClose"));
    ds->SetBeforeInsert(log("BeforeInsert"));
    ds->SetAfterInsert(log("AfterInsert"));
    ds->SetBeforeEdit(log("BeforeEdit"));
    ds->SetAfterEdit(log("AfterEdit"));
    ds->SetBeforePost(log("BeforePost"));
    ds->SetAfterPost(log("AfterPost"));
    ds->SetBeforeCancel(log("BeforeCancel"));
    ds->SetAfterCancel(log("AfterCancel"));
    ds->SetBeforeDelete(log("BeforeDelete"));
    ds->SetAfterDelete(log("AfterDelete"));
    ds->SetBeforeScroll(log("BeforeScroll"));
    ds->SetAfterScroll(log("AfterScroll"));
    ds->SetBeforeRefresh(log("BeforeRefresh"));
    ds->SetAfterRefresh(log("AfterRefresh"));
    ds->SetOnNewRecord(log("OnNewRecord"));
  }
  void TearDown() override { delete ds; }

  int Id() { return ds->FieldByName("ID")->GetAsInteger(); }
  std::string Name() { return ds->FieldByName("NAME")->GetAsString(); }
  // IDs of the live rows in storage order.
  std::vector<int> StoredIds() {
    std::vector<int> ids;
    for (int i = 0; i < ds->RowCount(); ++i) ids.push_back(ds->StoredValue(i, "ID").AsInteger());
    return ids;
  }
  void OpenAt(int id) {
    ds->Open();
    while (Id() != id) ds->Next();
    ds->Log().clear();
  }

  MemDataSet* ds = nullptr;
};

// ---- event and protocol orders ------------------------------------------------------------

struct OrderCase {
  const char* Name;
  std::function<void(MemDataSet*)> Setup;
  std::function<void(MemDataSet*)> Action;
  Strings Expected;
};

TEST_F(DataSetTest, EventAndProtocolOrders) {
  auto noSetup = [](MemDataSet*) {};
  auto openAt4 = [](MemDataSet* d) {
    d->Open();
    d->MoveBy(3);
  };
  const std::vector<OrderCase> cases = {
      {"open", noSetup, [](MemDataSet* d) { d->Open(); },
       {"BeforeOpen", "InternalOpen", "InternalInitFieldDefs", "AfterOpen", "AfterScroll"}},
      {"close", openAt4, [](MemDataSet* d) { d->Close(); }, {"BeforeClose", "InternalClose", "AfterClose"}},
      {"insert", openAt4, [](MemDataSet* d) { d->Insert(); },
       {"BeforeInsert", "BeforeScroll", "InternalInitRecord", "InternalInsert", "OnNewRecord", "AfterInsert",
        "AfterScroll"}},
      {"append", openAt4, [](MemDataSet* d) { d->Append(); },
       {"BeforeInsert", "BeforeScroll", "InternalInitRecord", "InternalInsert", "OnNewRecord", "AfterInsert",
        "AfterScroll"}},
      {"post append",
       [](MemDataSet* d) {
         d->Open();
         d->Append();
       },
       [](MemDataSet* d) { d->Post(); }, {"BeforePost", "InternalLast", "InternalPost", "AfterPost"}},
      {"edit", openAt4, [](MemDataSet* d) { d->Edit(); }, {"BeforeEdit", "InternalEdit", "AfterEdit"}},
      {"post edit",
       [](MemDataSet* d) {
         d->Open();
         d->MoveBy(3);
         d->Edit();
         d->FieldByName("NAME")->SetAsString("x");
       },
       [](MemDataSet* d) { d->Post(); }, {"BeforePost", "InternalPost", "AfterPost"}},
      {"post insert",
       [](MemDataSet* d) {
         d->Open();
         d->MoveBy(3);
         d->Insert();
         d->FieldByName("ID")->SetAsInteger(99);
       },
       [](MemDataSet* d) { d->Post(); }, {"BeforePost", "InternalPost", "AfterPost"}},
      {"cancel edit",
       [](MemDataSet* d) {
         d->Open();
         d->Edit();
       },
       [](MemDataSet* d) { d->Cancel(); }, {"BeforeCancel", "InternalCancel", "AfterCancel"}},
      {"cancel insert",
       [](MemDataSet* d) {
         d->Open();
         d->Insert();
       },
       [](MemDataSet* d) { d->Cancel(); },
       {"BeforeCancel", "BeforeScroll", "InternalCancel", "AfterCancel", "AfterScroll"}},
      {"delete", openAt4, [](MemDataSet* d) { d->Delete(); },
       {"BeforeDelete", "BeforeScroll", "InternalDelete", "AfterDelete", "AfterScroll"}},
      {"delete while inserting cancels",
       [](MemDataSet* d) {
         d->Open();
         d->Insert();
       },
       [](MemDataSet* d) { d->Delete(); },
       {"BeforeCancel", "BeforeScroll", "InternalCancel", "AfterCancel", "AfterScroll"}},
      {"append record", openAt4, [](MemDataSet* d) { d->AppendRecord({Variant(11), Variant("n11")}); },
       {"BeforeInsert", "BeforeScroll", "InternalInitRecord", "BeforePost", "InternalLast",
        "InternalAddRecord(true)", "AfterPost", "AfterScroll"}},
      {"insert record", openAt4, [](MemDataSet* d) { d->InsertRecord({Variant(11), Variant("n11")}); },
       {"BeforeInsert", "BeforeScroll", "InternalInitRecord", "BeforePost", "InternalAddRecord(false)",
        "AfterPost", "AfterScroll"}},
      {"first", openAt4, [](MemDataSet* d) { d->First(); }, {"BeforeScroll", "InternalFirst", "AfterScroll"}},
      {"last", openAt4, [](MemDataSet* d) { d->Last(); }, {"BeforeScroll", "InternalLast", "AfterScroll"}},
      {"refresh", openAt4, [](MemDataSet* d) { d->Refresh(); },
       {"BeforeRefresh", "InternalRefresh", "AfterRefresh"}},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TearDown();
    SetUp();
    c.Setup(ds);
    ds->Log().clear();
    c.Action(ds);
    EXPECT_EQ(ds->Log(), c.Expected);
  }
}

TEST_F(DataSetTest, StatesFollowTheOperations) {
  EXPECT_EQ(ds->GetState(), dsInactive);
  ds->Open();
  EXPECT_EQ(ds->GetState(), dsBrowse);
  ds->Edit();
  EXPECT_EQ(ds->GetState(), dsEdit);
  ds->Cancel();
  ds->Insert();
  EXPECT_EQ(ds->GetState(), dsInsert);
  ds->Cancel();
  EXPECT_EQ(ds->GetState(), dsBrowse);
  ds->Close();
  EXPECT_EQ(ds->GetState(), dsInactive);
}

// The state a designer or a control sees around each operation, and the modified flag.
TEST_F(DataSetTest, DataEventsOfEditing) {
  ProbeDesigner designer;
  ds->SetDesigner(&designer);
  ds->Open();
  designer.Events.clear();
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("changed");
  EXPECT_TRUE(ds->GetModified());
  ds->Post();
  EXPECT_FALSE(ds->GetModified());
  EXPECT_EQ(designer.Events, (Strings{"deCheckBrowseMode", "deUpdateState", "deRecordChange", "deFieldChange",
                                      "deUpdateRecord", "deCheckBrowseMode", "deUpdateState", "deDataSetChange"}));
  ds->SetDesigner(nullptr);
}

// ---- CheckBrowseMode, required fields, read-only datasets ---------------------------------

TEST_F(DataSetTest, CheckBrowseModePostsChangesAndCancelsTheRest) {
  OpenAt(2);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("two");
  ds->CheckBrowseMode();
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(ds->StoredValue(1, "NAME").AsString(), "two");
  ds->Edit();
  ds->Log().clear();
  ds->CheckBrowseMode();
  EXPECT_EQ(ds->Log(), (Strings{"BeforeCancel", "InternalCancel", "AfterCancel"}));
}

TEST_F(DataSetTest, NavigationPostsPendingChanges) {
  OpenAt(2);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("moved");
  ds->Next();
  EXPECT_EQ(ds->StoredValue(1, "NAME").AsString(), "moved");
  EXPECT_EQ(Id(), 3);
}

TEST_F(DataSetTest, RequiredFieldIsCheckedAtPost) {
  TearDown();
  ds = new MemDataSet(nullptr);
  ds->AddColumn("ID", ftInteger, 0, /*Required=*/true);
  ds->AddColumn("NAME", ftString, 10);
  ds->Open();
  ds->Append();
  ds->FieldByName("NAME")->SetAsString("no id");
  try {
    ds->Post();
    FAIL() << "Post accepted a null required field";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'ID' must have a value");
  }
  EXPECT_EQ(ds->GetState(), dsInsert);
  ds->FieldByName("ID")->SetAsInteger(1);
  ds->Post();
  EXPECT_EQ(ds->RowCount(), 1);
}

TEST_F(DataSetTest, ReadOnlyDataSetRefusesChanges) {
  ds->SetCanModify(false);
  ds->Open();
  const std::vector<std::pair<const char*, std::function<void()>>> operations = {
      {"Edit", [this] { ds->Edit(); }},
      {"Insert", [this] { ds->Insert(); }},
      {"Append", [this] { ds->Append(); }},
      {"Delete", [this] { ds->Delete(); }},
      {"AppendRecord", [this] { ds->AppendRecord({Variant(1)}); }},
  };
  for (const auto& [name, op] : operations) {
    SCOPED_TRACE(name);
    try {
      op();
      FAIL() << "accepted";
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), "People: Cannot modify a read-only dataset");
    }
    EXPECT_EQ(ds->GetState(), dsBrowse);
  }
  EXPECT_EQ(ds->RowCount(), 10);
}

TEST_F(DataSetTest, ClosedAndBrowsingDataSetsRefuseWhatNeedsOtherStates) {
  EXPECT_THROW(ds->Next(), EDatabaseError);
  try {
    ds->First();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Cannot perform this operation on a closed dataset");
  }
  ds->Open();
  try {
    ds->Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Dataset not in edit or insert mode");
  }
  EXPECT_THROW(ds->FieldByName("NAME")->SetAsString("x"), EDatabaseError);
  EXPECT_THROW(ds->CheckInactive(), EDatabaseError);
}

// ---- empty datasets -----------------------------------------------------------------------

TEST_F(DataSetTest, EmptyDataSet) {
  ds->ClearStorage();
  ds->Open();
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->GetBof());
  EXPECT_TRUE(ds->GetEof());
  EXPECT_TRUE(ds->FieldByName("ID")->GetIsNull());
  EXPECT_TRUE(ds->GetBookmark().empty());
  try {
    ds->Delete();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Cannot perform this operation on an empty dataset");
  }
  ds->Edit();  // nothing to edit: inserts
  EXPECT_EQ(ds->GetState(), dsInsert);
  ds->Cancel();
  EXPECT_TRUE(ds->IsEmpty());
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(5);
  ds->Post();
  EXPECT_FALSE(ds->IsEmpty());
  EXPECT_EQ(Id(), 5);
  ds->Delete();
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->GetEof());
}

// ---- inserting in the middle, appending, deleting -----------------------------------------

TEST_F(DataSetTest, InsertGoesBeforeTheActiveRecordAndStaysActive) {
  OpenAt(4);
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(40);
  ds->Post();
  EXPECT_EQ(Id(), 40);
  EXPECT_EQ(StoredIds(), (std::vector<int>{1, 2, 3, 40, 4, 5, 6, 7, 8, 9, 10}));
  ds->Next();
  EXPECT_EQ(Id(), 4);
}

TEST_F(DataSetTest, AppendAndInsertRecordPlaceTheirValues) {
  OpenAt(4);
  ds->AppendRecord({Variant(11), Null()});
  EXPECT_EQ(Id(), 11);
  EXPECT_TRUE(ds->FieldByName("NAME")->GetIsNull());
  ds->First();
  ds->MoveBy(2);
  ds->InsertRecord({Variant(25), Variant("between")});
  EXPECT_EQ(Id(), 25);
  EXPECT_EQ(StoredIds(), (std::vector<int>{1, 2, 25, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_THROW(ds->AppendRecord({Variant(1), Variant("a"), Variant("too many")}), EDatabaseError);
  EXPECT_EQ(ds->GetState(), dsBrowse);
}

TEST_F(DataSetTest, DeleteMovesToTheNextRecordOrTheLast) {
  OpenAt(9);
  ds->Delete();
  EXPECT_EQ(Id(), 10);
  ds->Delete();
  EXPECT_EQ(Id(), 8);
  EXPECT_EQ(StoredIds(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

// A failure inside an insert leaves the window and the cursor as they were.
TEST_F(DataSetTest, FailedInsertLeavesNoTrace) {
  OpenAt(4);
  ds->FailOperation("InternalInsert");
  EXPECT_THROW(ds->Insert(), EDatabaseError);
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(Id(), 4);
  ds->Next();
  EXPECT_EQ(Id(), 5);
  ds->FailOperation("InternalInsert");
  EXPECT_THROW(ds->Append(), EDatabaseError);
  EXPECT_EQ(Id(), 10);
  EXPECT_TRUE(ds->GetEof());
  ds->SetOnNewRecord([](TDataSet*) { throw EDatabaseError("no new records today"); });
  ds->Log().clear();
  EXPECT_THROW(ds->Insert(), EDatabaseError);
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_NE(std::find(ds->Log().begin(), ds->Log().end(), "InternalCancel"), ds->Log().end());
  EXPECT_EQ(Id(), 10);
  EXPECT_EQ(ds->RowCount(), 10);
}

// ---- the error loops ----------------------------------------------------------------------

struct ErrorLoopCase {
  const char* Operation;  // the failing protocol operation
  TDataAction Action;
  bool Raises;
  bool Aborts;  // the silent abort
};

TEST_F(DataSetTest, ErrorEventsDecideWhatAFailureDoes) {
  const std::vector<ErrorLoopCase> cases = {
      {"InternalPost", daFail, true, false},  {"InternalPost", daAbort, true, true},
      {"InternalPost", daRetry, false, false}, {"InternalEdit", daFail, true, false},
      {"InternalEdit", daAbort, true, true},  {"InternalEdit", daRetry, false, false},
      {"InternalDelete", daFail, true, false}, {"InternalDelete", daAbort, true, true},
      {"InternalDelete", daRetry, false, false},
  };
  for (const ErrorLoopCase& c : cases) {
    SCOPED_TRACE(std::string(c.Operation) + " action " + std::to_string(c.Action));
    TearDown();
    SetUp();
    OpenAt(3);
    std::vector<std::string> seen;
    auto handler = [&](TDataSet*, EDatabaseError* E, TDataAction& Action) {
      EXPECT_EQ(Action, daFail);
      seen.push_back(E->Message());
      Action = c.Action;
    };
    ds->SetOnPostError(handler);
    ds->SetOnEditError(handler);
    ds->SetOnDeleteError(handler);
    const std::string op = c.Operation;
    if (op == "InternalPost") {
      ds->Edit();
      ds->FieldByName("NAME")->SetAsString("retry");
    }
    ds->FailOperation(op, 1);
    std::function<void()> run = [&] {
      if (op == "InternalPost") ds->Post();
      if (op == "InternalEdit") ds->Edit();
      if (op == "InternalDelete") ds->Delete();
    };
    if (!c.Raises) {
      run();
    } else if (c.Aborts) {
      EXPECT_THROW(run(), EAbort);
    } else {
      EXPECT_THROW(run(), EDatabaseError);
    }
    EXPECT_EQ(seen, (Strings{op + " failed"}));
    const long attempts = std::count(ds->Log().begin(), ds->Log().end(), op);
    EXPECT_EQ(attempts, c.Action == daRetry ? 2 : 1);
    if (!c.Raises) {
      if (op == "InternalPost") {
        EXPECT_EQ(ds->StoredValue(2, "NAME").AsString(), "retry");
      } else if (op == "InternalEdit") {
        EXPECT_EQ(ds->GetState(), dsEdit);
      } else {
        EXPECT_EQ(ds->RowCount(), 9);
      }
    } else {
      // A failed post keeps the edit; failed edits and deletes leave the record alone.
      EXPECT_EQ(ds->GetState(), op == "InternalPost" ? dsEdit : dsBrowse);
      EXPECT_EQ(ds->RowCount(), 10);
    }
  }
}

TEST_F(DataSetTest, OtherExceptionsBypassTheErrorEvent) {
  OpenAt(3);
  bool called = false;
  ds->SetOnDeleteError([&](TDataSet*, EDatabaseError*, TDataAction& Action) {
    called = true;
    Action = daRetry;
  });
  ds->FailOperation("InternalDelete", 1, /*DatabaseError=*/false);
  EXPECT_THROW(ds->Delete(), EConvertError);
  EXPECT_FALSE(called);
  EXPECT_EQ(ds->RowCount(), 10);
}

// ---- positioning before the operations that act on the cursor's record --------------------

TEST_F(DataSetTest, EditPostAndDeleteActOnTheActiveRecordAfterTheCursorMoved) {
  OpenAt(4);
  ds->MoveCursorBehindBack(7);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("four");
  ds->MoveCursorBehindBack(0);
  ds->Post();
  EXPECT_EQ(ds->StoredValue(3, "NAME").AsString(), "four");
  ds->MoveCursorBehindBack(8);
  ds->Delete();
  EXPECT_EQ(StoredIds(), (std::vector<int>{1, 2, 3, 5, 6, 7, 8, 9, 10}));
  for (const std::string& line : ds->Log()) EXPECT_EQ(line.find("MISPOSITIONED"), std::string::npos) << line;
}

// ---- navigation, bookmarks, Resync --------------------------------------------------------

TEST_F(DataSetTest, MoveByReportsTheDistanceMovedAndSetsBofEof) {
  ds->Open();
  EXPECT_TRUE(ds->GetBof());
  EXPECT_EQ(ds->MoveBy(3), 3);
  EXPECT_EQ(Id(), 4);
  EXPECT_FALSE(ds->GetBof());
  EXPECT_EQ(ds->MoveBy(100), 6);
  EXPECT_TRUE(ds->GetEof());
  EXPECT_EQ(Id(), 10);
  EXPECT_EQ(ds->MoveBy(1), 0);
  EXPECT_EQ(ds->MoveBy(-100), -9);
  EXPECT_TRUE(ds->GetBof());
  EXPECT_EQ(Id(), 1);
  ds->Last();
  EXPECT_TRUE(ds->GetEof());
  EXPECT_EQ(Id(), 10);
}

TEST_F(DataSetTest, BookmarksReturnToTheirRecords) {
  OpenAt(5);
  const TBookmark five = ds->GetBookmark();
  ASSERT_EQ(five.size(), 4u);
  ds->Last();
  const TBookmark ten = ds->GetBookmark();
  EXPECT_LT(ds->CompareBookmarks(five, ten), 0);
  EXPECT_EQ(ds->CompareBookmarks(five, five), 0);
  ds->GotoBookmark(five);
  EXPECT_EQ(Id(), 5);
  EXPECT_TRUE(ds->BookmarkValid(five));
  ds->Insert();
  EXPECT_TRUE(ds->GetBookmark().empty());  // a new record has none
  ds->Cancel();
  ds->VanishRow(ds->StoredId(9));
  EXPECT_FALSE(ds->BookmarkValid(ten));
  EXPECT_THROW(ds->GotoBookmark(ten), EDatabaseError);
  ds->GotoBookmark(TBookmark());  // ignored
}

TEST_F(DataSetTest, ResyncOnAVanishedRecord) {
  OpenAt(3);
  ds->VanishRow(ds->StoredId(2));
  try {
    ds->Resync({rmExact});
    FAIL() << "Resync found a vanished record";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "People: Record not found");
  }
  // Without rmExact the dataset settles on a neighbour.
  ds->Close();
  OpenAt(4);
  ds->VanishRow(4);
  ds->Resync({});
  EXPECT_EQ(Id(), 5);
  // When every record vanished the dataset is empty.
  for (int id = 1; id <= 10; ++id) ds->VanishRow(id);
  ds->Resync({});
  EXPECT_TRUE(ds->IsEmpty());
}

// ---- the buffer window with a small BufferCount -------------------------------------------

class WindowTest : public DataSetTest {
 protected:
  void SetUp() override {
    DataSetTest::SetUp();
    source = new TDataSource(nullptr);
    source->SetDataSet(ds);
    link.SetBufferCount(3);
    link.SetDataSource(source);
  }
  void TearDown() override {
    link.SetDataSource(nullptr);
    delete source;
    DataSetTest::TearDown();
  }
  // The IDs the link sees, one per row of its window.
  std::vector<int> Window() {
    std::vector<int> ids;
    const int active = link.GetActiveRecord();
    for (int i = 0; i < link.GetRecordCount(); ++i) {
      link.SetActiveRecord(i);
      ids.push_back(Id());
    }
    link.SetActiveRecord(active);
    return ids;
  }
  TDataSource* source = nullptr;
  ProbeLink link;
};

TEST_F(WindowTest, TheWindowShiftsOneRecordAtATime) {
  ds->Open();
  EXPECT_EQ(ds->GetBufferCount(), 3);
  EXPECT_EQ(Window(), (std::vector<int>{1, 2, 3}));
  link.Events.clear();
  ds->MoveBy(2);
  EXPECT_EQ(link.GetActiveRecord(), 2);
  EXPECT_EQ(Window(), (std::vector<int>{1, 2, 3}));
  ds->Next();
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(link.GetActiveRecord(), 2);
  EXPECT_EQ(Window(), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(link.Events, (Strings{"CheckBrowseMode", "DataSetScrolled(0)", "CheckBrowseMode", "DataSetScrolled(1)"}));
  ds->Last();
  EXPECT_EQ(Window(), (std::vector<int>{8, 9, 10}));
  EXPECT_EQ(link.GetActiveRecord(), 2);
  ds->MoveBy(-3);
  EXPECT_EQ(Id(), 7);
  EXPECT_EQ(Window(), (std::vector<int>{7, 8, 9}));
  EXPECT_EQ(link.GetActiveRecord(), 0);
}

TEST_F(WindowTest, ResyncCentersOrKeepsTheRow) {
  ds->Open();
  ds->MoveBy(5);  // ID 6 at the bottom row
  EXPECT_EQ(Window(), (std::vector<int>{4, 5, 6}));
  ds->Resync({rmExact, rmCenter});
  EXPECT_EQ(Window(), (std::vector<int>{5, 6, 7}));
  EXPECT_EQ(link.GetActiveRecord(), 1);
  // Resync without rmExact reads where the cursor is: callers put it on the active record.
  ds->UpdateCursorPos();
  ds->Resync({});
  EXPECT_EQ(Window(), (std::vector<int>{5, 6, 7}));
  const TBookmark two = [&] {
    ds->First();
    ds->Next();
    return ds->GetBookmark();
  }();
  ds->Last();
  ds->GotoBookmark(two);
  EXPECT_EQ(Window(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Id(), 2);
}

TEST_F(WindowTest, InsertAndDeleteInAFullWindow) {
  ds->Open();
  ds->MoveBy(1);
  ds->Insert();
  EXPECT_EQ(Window(), (std::vector<int>{1, 0, 2}));  // the new record shows no ID yet
  ds->FieldByName("ID")->SetAsInteger(15);
  ds->Post();
  EXPECT_EQ(Window(), (std::vector<int>{1, 15, 2}));
  ds->Delete();
  EXPECT_EQ(Window(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Id(), 2);
}

TEST_F(WindowTest, ChangingTheBufferCountKeepsTheActiveRecord) {
  ds->Open();
  ds->MoveBy(5);
  link.SetBufferCount(5);
  EXPECT_EQ(ds->GetBufferCount(), 5);
  EXPECT_EQ(Id(), 6);
  EXPECT_EQ(link.GetRecordCount(), 5);
  link.SetBufferCount(2);
  EXPECT_EQ(ds->GetBufferCount(), 2);
  EXPECT_EQ(Id(), 6);
  EXPECT_EQ(link.GetRecordCount(), 2);
  ds->Next();
  EXPECT_EQ(Id(), 7);
  ds->Prior();
  ds->Prior();
  EXPECT_EQ(Id(), 5);
}

TEST_F(WindowTest, LinksFollowTheStateAndTheEditing) {
  link.Events.clear();
  ds->Open();
  EXPECT_EQ(link.Events.front(), "ActiveChanged(on)");
  link.Events.clear();
  ds->Edit();
  EXPECT_EQ(link.Events, (Strings{"CheckBrowseMode", "EditingChanged(on)", "RecordChanged"}));
  link.Events.clear();
  ds->FieldByName("NAME")->SetAsString("x");
  EXPECT_EQ(link.Events, (Strings{"RecordChanged(NAME)"}));
  link.Events.clear();
  ds->Post();
  EXPECT_EQ(link.Events,
            (Strings{"UpdateData", "CheckBrowseMode", "EditingChanged(off)", "DataSetChanged"}));
  link.Events.clear();
  ds->Close();
  EXPECT_EQ(link.Events, (Strings{"ActiveChanged(off)"}));
}

TEST_F(WindowTest, DisableControlsNests) {
  ds->Open();
  link.Events.clear();
  ds->DisableControls();
  ds->DisableControls();
  ds->Next();
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("quiet");
  ds->Post();
  ds->EnableControls();
  EXPECT_TRUE(ds->ControlsDisabled());
  EXPECT_TRUE(link.Events.empty());
  ds->EnableControls();
  EXPECT_FALSE(ds->ControlsDisabled());
  EXPECT_EQ(link.Events, (Strings{"DataSetChanged"}));
  // A state change while disabled is announced when enabled again.
  link.Events.clear();
  ds->DisableControls();
  ds->Edit();
  ds->EnableControls();
  EXPECT_EQ(link.Events, (Strings{"EditingChanged(on)", "DataSetChanged"}));
  ds->Cancel();
  // Unbalanced EnableControls is harmless.
  ds->EnableControls();
  EXPECT_FALSE(ds->ControlsDisabled());
}

TEST_F(WindowTest, BlockReadsSkipControlsAndScrollEvents) {
  ds->Open();
  link.Events.clear();
  ds->Log().clear();
  ds->SetBlockReadSize(100);
  EXPECT_EQ(ds->GetState(), dsBlockRead);
  EXPECT_EQ(link.Events, (Strings{"CheckBrowseMode"}));  // what was pending is settled first
  link.Events.clear();
  ds->Log().clear();
  int sum = 0;
  while (!ds->GetEof()) {
    sum += Id();
    ds->Next();
  }
  EXPECT_EQ(sum, 55);
  EXPECT_TRUE(link.Events.empty());
  EXPECT_EQ(std::count(ds->Log().begin(), ds->Log().end(), "BeforeScroll"), 0);
  EXPECT_EQ(std::count(ds->Log().begin(), ds->Log().end(), "AfterScroll"), 0);
  ds->SetBlockReadSize(0);
  EXPECT_EQ(ds->GetState(), dsBrowse);
  EXPECT_EQ(link.Events, (Strings{"DataSetChanged"}));
  EXPECT_EQ(Id(), 10);
  ds->Prior();
  EXPECT_EQ(Id(), 9);
}

// ---- old, new and current values ----------------------------------------------------------

TEST_F(DataSetTest, OldNewAndCurrentValuesOutsideCachedUpdates) {
  OpenAt(2);
  TField* name = ds->FieldByName("NAME");
  EXPECT_EQ(name->GetOldValue().AsString(), "n2");
  ds->Edit();
  name->SetAsString("edited");
  EXPECT_EQ(name->GetAsString(), "edited");
  EXPECT_EQ(name->GetOldValue().AsString(), "n2");
  EXPECT_EQ(name->GetNewValue().AsString(), "edited");
  ds->ChangeStoredValue(2, "NAME", "other");
  EXPECT_EQ(name->GetCurValue().AsString(), "other");
  name->SetNewValue("new");
  EXPECT_EQ(name->GetAsString(), "new");
  EXPECT_EQ(ds->GetState(), dsEdit);
  EXPECT_TRUE(ds->GetModified());
  ds->Post();
  EXPECT_EQ(name->GetOldValue().AsString(), "new");
  ds->Insert();
  EXPECT_TRUE(name->GetOldValue().IsNull());
  ds->Cancel();
}

// ---- temporary states ---------------------------------------------------------------------

TEST_F(DataSetTest, TemporaryStatesRestoreStateAndModifiedFlag) {
  OpenAt(1);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("dirty");
  ASSERT_TRUE(ds->GetModified());
  {
    TTempState state(ds, dsSetKey);
    EXPECT_EQ(ds->GetState(), dsSetKey);
    EXPECT_FALSE(ds->GetModified());
    EXPECT_TRUE(ds->ControlsDisabled());
  }
  EXPECT_EQ(ds->GetState(), dsEdit);
  EXPECT_TRUE(ds->GetModified());
  EXPECT_FALSE(ds->ControlsDisabled());
  try {
    TTempState state(ds, dsFilter);
    throw EDatabaseError("inside");
  } catch (const EDatabaseError&) {
  }
  EXPECT_EQ(ds->GetState(), dsEdit);
}

// ---- searching ----------------------------------------------------------------------------

TEST_F(DataSetTest, FindFunctionsRouteToFindRecord) {
  ds->Open();
  ds->SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldByName("ID")->GetAsInteger() % 3 == 0; });
  ds->Log().clear();
  EXPECT_TRUE(ds->FindFirst());
  EXPECT_EQ(Id(), 3);
  EXPECT_TRUE(ds->FindNext());
  EXPECT_EQ(Id(), 6);
  EXPECT_TRUE(ds->FindLast());
  EXPECT_EQ(Id(), 9);
  EXPECT_TRUE(ds->FindPrior());
  EXPECT_EQ(Id(), 6);
  EXPECT_TRUE(ds->GetFound());
  ds->Last();
  EXPECT_FALSE(ds->FindNext());
  EXPECT_FALSE(ds->GetFound());
  Strings finds;
  for (const std::string& line : ds->Log()) {
    if (line.rfind("FindRecord", 0) == 0) finds.push_back(line);
  }
  EXPECT_EQ(finds, (Strings{"FindRecord(true,true)", "FindRecord(false,true)", "FindRecord(true,false)",
                            "FindRecord(false,false)", "FindRecord(false,true)"}));
}

TEST_F(DataSetTest, FilteredDataSetShowsOnlyAcceptedRecords) {
  ds->SetOnFilterRecord([](TDataSet* d, bool& accept) { accept = d->FieldByName("ID")->GetAsInteger() > 7; });
  ds->Open();
  EXPECT_EQ(Id(), 1);
  ds->SetFiltered(true);
  EXPECT_EQ(Id(), 8);
  EXPECT_EQ(ds->GetRecordCount(), 3);
  ds->SetFiltered(false);
  EXPECT_EQ(ds->GetRecordCount(), 10);
}

TEST_F(DataSetTest, LocateAndLookup) {
  ds->Open();
  EXPECT_TRUE(ds->Locate("NAME", Variant("n7"), {}));
  EXPECT_EQ(Id(), 7);
  EXPECT_TRUE(ds->Locate("ID;NAME", VarArrayOf({Variant(3), Variant("n3")}), {}));
  EXPECT_EQ(Id(), 3);
  EXPECT_FALSE(ds->Locate("NAME", Variant("N9"), {}));
  EXPECT_TRUE(ds->Locate("NAME", Variant("N9"), {loCaseInsensitive}));
  EXPECT_EQ(Id(), 9);
  EXPECT_EQ(ds->Lookup("ID", Variant(5), "NAME").AsString(), "n5");
  EXPECT_EQ(Id(), 9);  // Lookup does not move
  EXPECT_TRUE(ds->Lookup("ID", Variant(50), "NAME").IsNull());
  const Variant both = ds->Lookup("ID", Variant(4), "ID;NAME");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both.GetElement(1).AsString(), "n4");
}

}  // namespace
