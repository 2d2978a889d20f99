// The abstract dataset's client-side filter (Filter text and OnFilterRecord), the Find
// searches, Locate and Lookup, over the test engine.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/kxtables/dataset.h"
#include "common/kxtables/session.h"
#include "common/kxtables/trace.h"
#include "platform/rtl/application.h"
#include "tests/common/filterdataset.h"

namespace kxtest {
namespace {

namespace fs = std::filesystem;

// Orders: five rows with a null here and there.
//   ID NAME   QTY  PRICE ACTIVE BIG
//   1  abc    20   5.0   true   10
//   2  abd    5    3.0   false  -
//   3  xyz    12   4.0   true   30
//   4  Abc    -    2.5   -      -
//   5  beta   11   7.25  false  50
class DataSetFilter : public FakeDataSetTest {
 protected:
  void SetUp() override {
    FakeDataSetTest::SetUp();
    orders = std::make_shared<FakeTable>(std::vector<FakeColumn>{{"ID", ftInteger},
                                                                 {"NAME", ftString, 20},
                                                                 {"QTY", ftInteger},
                                                                 {"PRICE", ftFloat},
                                                                 {"ACTIVE", ftBoolean},
                                                                 {"BIG", ftLargeint}});
    orders->AddRow({Variant(1), Variant("abc"), Variant(20), Variant(5.0), Variant(true), Variant(10LL)});
    orders->AddRow({Variant(2), Variant("abd"), Variant(5), Variant(3.0), Variant(false), Null()});
    orders->AddRow({Variant(3), Variant("xyz"), Variant(12), Variant(4.0), Variant(true), Variant(30LL)});
    orders->AddRow({Variant(4), Variant("Abc"), Null(), Variant(2.5), Null(), Null()});
    orders->AddRow({Variant(5), Variant("beta"), Variant(11), Variant(7.25), Variant(false), Variant(50LL)});
    od = TComponent::Create<FilterDataSet>(form.get(), orders, &sessions);
    od->SetName("Orders");
    od->SetDatabaseName("Sales");
  }

  void TearDown() override { Application()->SetOnException(nullptr); }

  int OrderId() const { return od->FieldByName("ID")->GetAsInteger(); }
  static std::vector<int> AllIds(TDataSet* D) {
    D->First();
    return Forward(D);
  }
  // Exceptions handed to the application's handler.
  void CollectReports() {
    Application()->SetOnException([this](TObject*, const Exception& E) { reports.push_back(E.Message()); });
  }

  std::shared_ptr<FakeTable> orders;
  FilterDataSet* od = nullptr;
  std::vector<std::string> reports;
};

using Ids = std::vector<int>;

// ---- filtering --------------------------------------------------------------------------------

TEST_F(DataSetFilter, TheFilterTextDecidesWhichRecordsTheLoopDelivers) {
  struct Case {
    const char* text;
    TFilterOptions options;
    Ids ids;
  };
  const Case cases[] = {
      {"QTY > 10", {}, {1, 3, 5}},
      {"QTY <> 20", {}, {2, 3, 5}},
      {"QTY IS NULL", {}, {4}},
      {"NAME = 'ab*'", {}, {1, 2}},
      {"NAME = 'ab*'", {foNoPartialCompare}, {}},
      {"NAME = 'ABC'", {foCaseInsensitive}, {1, 4}},
      {"ACTIVE", {}, {1, 3}},
      {"QTY * 2 > 30", {}, {1}},
      {"QTY IN (5, 12)", {}, {2, 3}},
      {"(QTY > 10) and (NAME = 'abc') or (PRICE <= 3.5)", {}, {1, 2, 4}},
      {"", {}, {1, 2, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    od->SetFilter(c.text);
    od->SetFilterOptions(c.options);
    od->SetFiltered(true);
    od->Open();
    EXPECT_EQ(Forward(od), c.ids);
    od->Last();
    EXPECT_EQ(Backward(od), Ids(c.ids.rbegin(), c.ids.rend()));
    EXPECT_EQ(od->FFilterParser != nullptr, c.text[0] != '\0');
    od->Close();
    EXPECT_EQ(od->FFilterParser, nullptr);
    EXPECT_EQ(od->FFilterParseVerifier, nullptr);
  }
}

TEST_F(DataSetFilter, TheEventSeesOnlyRecordsTheTextAccepted) {
  std::vector<int> asked;
  od->SetOnFilterRecord([&](TDataSet* D, bool& Accept) {
    asked.push_back(D->FieldByName("ID")->GetAsInteger());
    Accept = D->FieldByName("ID")->GetAsInteger() != 3;
  });
  od->SetFilter("QTY > 10");
  od->SetFiltered(true);
  od->Open();
  EXPECT_EQ(Forward(od), Ids({1, 5}));
  EXPECT_TRUE(std::all_of(asked.begin(), asked.end(), [](int id) { return id == 1 || id == 3 || id == 5; }));

  // Changing the text while filtered refilters from the first record.
  od->Next();
  od->SetFilter("QTY < 15");
  EXPECT_EQ(OrderId(), 2);
  EXPECT_EQ(Forward(od), Ids({2, 5}));

  // Switching the filter off leaves the text but drops its evaluator.
  od->SetFiltered(false);
  EXPECT_EQ(od->FFilterParser, nullptr);
  EXPECT_EQ(AllIds(od), Ids({1, 2, 3, 4, 5}));
  od->SetFiltered(true);
  EXPECT_EQ(AllIds(od), Ids({2, 5}));
  // Emptying the text leaves only the event.
  od->SetFilter("");
  EXPECT_EQ(od->FFilterParser, nullptr);
  EXPECT_EQ(AllIds(od), Ids({1, 2, 4, 5}));
}

TEST_F(DataSetFilter, ARecordWhoseEvaluationFailsIsReportedAndAccepted) {
  CollectReports();
  // A 64-bit integer on the left of a comparison cannot be evaluated; a null one compares
  // as undefined before that, and is rejected.
  od->SetFilter("BIG IN (10, 20)");
  od->SetFiltered(true);
  od->Open();
  EXPECT_EQ(Forward(od), Ids({1, 3, 5}));
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front(), "Bad variant type. Component is Orders, owned by Form1");
  EXPECT_EQ(od->GetState(), dsBrowse);
}

TEST_F(DataSetFilter, AMalformedFilterFailsItsActivationAndLeavesNoEvaluator) {
  const char* texts[] = {"QTY >", "NOSUCH = 1", "NAME = 'x", "QTY > 1 2", "UPPER(NAME) = 'X'", "QTY + 1"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    od->SetFilter(text);
    od->SetFiltered(true);
    EXPECT_THROW(od->Open(), EDatabaseError);
    EXPECT_FALSE(od->GetActive());
    EXPECT_TRUE(od->GetDBFlags().Empty());
    EXPECT_EQ(od->FFilterParser, nullptr);
    EXPECT_EQ(od->FFilterParseVerifier, nullptr);

    // Switched on while open: the dataset stays unfiltered.
    od->SetFiltered(false);
    od->Open();
    EXPECT_THROW(od->SetFiltered(true), EDatabaseError);
    EXPECT_FALSE(od->GetFiltered());
    EXPECT_EQ(od->FFilterParser, nullptr);
    EXPECT_EQ(AllIds(od), Ids({1, 2, 3, 4, 5}));
    od->Close();
  }
}

TEST_F(DataSetFilter, AMalformedTextWhileFilteredKeepsThePreviousFilter) {
  od->SetFilter("QTY > 10");
  od->SetFiltered(true);
  od->Open();
  EXPECT_THROW(od->SetFilter("QTY >"), EDatabaseError);
  EXPECT_EQ(od->GetFilter(), "QTY > 10");
  EXPECT_NE(od->FFilterParseVerifier, nullptr);
  EXPECT_EQ(AllIds(od), Ids({1, 3, 5}));
}

// ---- FindFirst, FindNext, FindLast, FindPrior ----------------------------------------------

TEST_F(DataSetFilter, FindSearchesByTheFilterTextAndLeavesTheDatasetUnfiltered) {
  od->SetFilter("QTY > 10");
  od->Open();
  enum Find { First, Next, Last, Prior };
  struct Step {
    Find find;
    bool found;
    int id;
  };
  const Step steps[] = {
      {Next, true, 3},  {Next, true, 5},  {Next, false, 5}, {Prior, true, 3},
      {First, true, 1}, {Prior, false, 1}, {Last, true, 5}, {Prior, true, 3},
  };
  int scrolls = 0;
  od->SetAfterScroll([&scrolls](TDataSet*) { ++scrolls; });
  for (const Step& s : steps) {
    SCOPED_TRACE(static_cast<int>(&s - steps));
    const int before = scrolls;
    bool found = false;
    switch (s.find) {
      case First: found = od->FindFirst(); break;
      case Next: found = od->FindNext(); break;
      case Last: found = od->FindLast(); break;
      case Prior: found = od->FindPrior(); break;
    }
    EXPECT_EQ(found, s.found);
    EXPECT_EQ(od->GetFound(), s.found);
    EXPECT_EQ(OrderId(), s.id);
    EXPECT_EQ(scrolls - before, s.found ? 1 : 0);
    EXPECT_FALSE(od->GetFiltered());
    EXPECT_EQ(od->FFilterParser, nullptr);
  }
  od->SetAfterScroll(nullptr);
  // The window around the found record is unfiltered.
  EXPECT_EQ(Forward(od), Ids({3, 4, 5}));
}

TEST_F(DataSetFilter, FindOnAFilteredDatasetKeepsItsFilter) {
  od->SetFilter("QTY > 10");
  od->SetFiltered(true);
  od->Open();
  EXPECT_TRUE(od->FindNext());
  EXPECT_EQ(OrderId(), 3);
  EXPECT_TRUE(od->FindLast());
  EXPECT_EQ(OrderId(), 5);
  EXPECT_TRUE(od->GetFiltered());
  EXPECT_NE(od->FFilterParseVerifier, nullptr);
  EXPECT_EQ(AllIds(od), Ids({1, 3, 5}));
}

TEST_F(DataSetFilter, FindWithoutAnyFilterMovesOneRecord) {
  od->Open();
  EXPECT_TRUE(od->FindNext());
  EXPECT_EQ(OrderId(), 2);
  EXPECT_TRUE(od->FindLast());
  EXPECT_EQ(OrderId(), 5);
}

TEST_F(DataSetFilter, FindSwitchesTheFilterOffAgainWhenTheMoveFails) {
  od->SetFilter("QTY > 10");
  od->Open();
  od->FailNext("KxInternalMoveNext", EDatabaseError("lost the cursor"));
  EXPECT_THROW(od->FindNext(), EDatabaseError);
  EXPECT_FALSE(od->GetFiltered());
  EXPECT_EQ(od->FFilterParser, nullptr);
  EXPECT_EQ(kx::detail::SQLHourGlassNesting(), 0);
  EXPECT_EQ(AllIds(od), Ids({1, 2, 3, 4, 5}));
}

// ---- Locate ---------------------------------------------------------------------------------

TEST_F(DataSetFilter, LocateFindsTheFirstMatchingRecord) {
  od->Open();
  struct Case {
    const char* fields;
    Variant values;
    TLocateOptions options;
    int id;  // 0: not found, the dataset stays on record 1
  };
  const Case cases[] = {
      {"NAME", Variant("xyz"), {}, 3},
      {"NAME", Variant("XY"), {loPartialKey, loCaseInsensitive}, 3},
      {"NAME", Variant("XY"), {loPartialKey}, 0},
      {"NAME", Variant("ABC"), {loCaseInsensitive}, 0},  // whole values compare case and all
      {"NAME", Variant(""), {loPartialKey}, 0},
      {"NAME", Variant("abcd"), {loPartialKey}, 0},
      {"PRICE", Variant(7.2500004), {}, 5},
      {"PRICE", Variant(7.251), {}, 0},
      {"QTY", Variant("12"), {}, 3},
      {"QTY", Null(), {}, 4},
      {"ID;NAME", VarArrayOf({Variant(4), Variant("Ab")}), {loPartialKey}, 4},
      {"ID;NAME", VarArrayOf({Variant(2), Variant("xyz")}), {loPartialKey}, 0},
      {"ACTIVE;QTY", VarArrayOf({Variant(false), Variant(11)}), {}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fields) + " " + (c.values.IsArray() ? "[...]" : VarToStr(c.values)));
    od->First();
    od->LocateCalls = 0;
    EXPECT_EQ(od->Locate(c.fields, c.values, c.options), c.id != 0);
    EXPECT_EQ(od->LocateCalls, 1);
    EXPECT_EQ(OrderId(), c.id != 0 ? c.id : 1);
  }
  // The window follows the found record.
  od->Locate("ID", Variant(4), {});
  EXPECT_EQ(Forward(od), Ids({4, 5}));
}

TEST_F(DataSetFilter, LocateOnTheCurrentRecordDoesNotSearch) {
  od->Open();
  od->MoveBy(2);
  od->Calls().clear();
  EXPECT_TRUE(od->Locate("NAME;QTY", VarArrayOf({Variant("xy"), Variant(12)}), {loPartialKey}));
  EXPECT_EQ(od->LocateCalls, 0);
  EXPECT_EQ(OrderId(), 3);
  // The record is re-read through its bookmark.
  EXPECT_EQ(od->CountCalls("KxInternalBookmarkValid"), 1);
  EXPECT_EQ(od->CountCalls("KxGetRecord(gmCurrent)"), 1);
  EXPECT_EQ(od->GetBookmarkFlag(od->ActiveBuffer()), bfCurrent);
  EXPECT_EQ(Forward(od), Ids({3, 4, 5}));
}

TEST_F(DataSetFilter, TheSearchRunsUnderTheWaitCursorAndKnowsTheCurrentRecordWasTested) {
  od->Open();
  EXPECT_TRUE(od->Locate("ID", Variant(5), {}));
  EXPECT_GE(od->WaitDepthDuringSearch, 1);
  EXPECT_TRUE(od->CurrentCheckedDuringSearch);
  EXPECT_TRUE(od->LastSyncCursor);
  EXPECT_FALSE(od->FCurrentChecked);
  EXPECT_EQ(kx::detail::SQLHourGlassNesting(), 0);

  // A failing search passes its error on with the wait cursor restored.
  od->FailNext("KxInternalGotoBookmark", EDatabaseError("engine gone"));
  EXPECT_THROW(od->Locate("ID", Variant(2), {}), EDatabaseError);
  EXPECT_EQ(kx::detail::SQLHourGlassNesting(), 0);
  EXPECT_FALSE(od->FCurrentChecked);
}

TEST_F(DataSetFilter, LocateSearchesOnlyRecordsThatPassTheFilter) {
  od->SetFilter("QTY > 10");
  od->SetFiltered(true);
  od->Open();
  EXPECT_FALSE(od->Locate("ID", Variant(2), {}));
  EXPECT_EQ(OrderId(), 1);
  EXPECT_TRUE(od->Locate("ID", Variant(5), {}));
  EXPECT_EQ(Backward(od), Ids({5, 3, 1}));
}

TEST_F(DataSetFilter, LocateRefreshesFirstWhenAskedTo) {
  od->Open();
  od->SetRefreshOnLocate(true);
  EXPECT_TRUE(od->Locate("ID", Variant(1), {}));
  EXPECT_EQ(od->CountCalls("KxInternalRefresh"), 1);
}

TEST_F(DataSetFilter, AnEmptyDatasetMatchesNoKey) {
  od->SetOnFilterRecord([](TDataSet*, bool& Accept) { Accept = false; });
  od->SetFiltered(true);
  od->Open();
  ASSERT_TRUE(od->IsEmpty());
  // Not even a key of nulls: there is no record whose fields could be null.
  EXPECT_FALSE(od->Locate("QTY", Null(), {}));
  EXPECT_EQ(od->LocateCalls, 1);
  // Told that an empty dataset needs no search, it does none.
  od->FShouldCheckForEmpty = true;
  EXPECT_FALSE(od->Locate("QTY", Null(), {}));
  EXPECT_EQ(od->LocateCalls, 1);

  // The base search, which tests only the current record, agrees.
  auto empty = std::make_shared<FakeTable>(std::vector<FakeColumn>{{"ID", ftInteger}});
  FakeCursorDataSet* plain = MakeDataSet("Empty", empty);
  plain->Open();
  EXPECT_FALSE(plain->Locate("ID", Null(), {}));
}

TEST_F(DataSetFilter, LocateIsTracedWithItsRefresh) {
  std::string folder = (fs::temp_directory_path() / "kx-locate-XXXXXX").string();
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  kx::SetAuditLogDirectory(folder);
  od->Open();
  od->SetRefreshOnLocate(true);
  kx::SetDiagnoseLocate(true);
  od->Locate("ID", Variant(3), {});
  kx::SetDiagnoseLocate(false);
  kx::SetAuditLogDirectory({});

  std::ifstream in(fs::path(folder) / "KxAudit.xml");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.find("diag") != std::string::npos || line.find("path") != std::string::npos) lines.push_back(line);
  }
  fs::remove_all(folder);
  const std::vector<std::string> expected = {R"(<diag type="locate" meth="TKxDataSet.Locate">)",
                                             R"(<path refreshing="true">)", "</path>", "</diag>"};
  EXPECT_EQ(lines, expected);
}

// ---- Lookup ---------------------------------------------------------------------------------

TEST_F(DataSetFilter, LookupReadsTheFoundRecordAndLeavesTheDatasetWhereItWas) {
  od->Open();
  od->Next();
  struct Case {
    const char* keyFields;
    Variant key;
    const char* resultFields;
    std::string result;  // VarToStr of the value or of each element joined by "|"
    bool null;
  };
  const Case cases[] = {
      {"NAME", Variant("xyz"), "QTY", "12", false},
      {"ID", Variant(5), "NAME;PRICE", "beta|7.25", false},
      {"ID", Variant(4), "QTY", "", true},
      {"NAME", Variant("nope"), "QTY", "", true},
      {"NAME;QTY", VarArrayOf({Variant("abc"), Variant(20)}), "ID", "1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.keyFields) + " -> " + c.resultFields);
    const Variant value = od->Lookup(c.keyFields, c.key, c.resultFields);
    EXPECT_FALSE(od->LastSyncCursor);
    EXPECT_EQ(value.IsNull(), c.null);
    std::string text;
    if (value.IsArray()) {
      for (int i = value.LowBound(1); i <= value.HighBound(1); ++i) {
        text += (text.empty() ? "" : "|") + VarToStr(value.GetElement(i));
      }
    } else if (!value.IsNull()) {
      text = VarToStr(value);
    }
    EXPECT_EQ(text, c.result);
    EXPECT_EQ(OrderId(), 2);
    EXPECT_EQ(od->GetState(), dsBrowse);
  }
  // The cursor comes back to the active record for the next move.
  od->Next();
  EXPECT_EQ(OrderId(), 3);
  EXPECT_EQ(Forward(od), Ids({3, 4, 5}));
}

TEST_F(DataSetFilter, LookupComputesTheCalculatedFieldsOfTheFoundRecord) {
  od->GetFieldDefs()->Update();
  for (int i = 0; i < od->GetFieldDefs()->Count(); ++i) od->GetFieldDefs()->Items(i)->CreateField(od);
  auto* total = TComponent::Create<TFloatField>(od);
  total->SetFieldName("TOTAL");
  total->SetFieldKind(fkCalculated);
  total->SetDataSet(od);
  od->SetOnCalcFields([](TDataSet* D) {
    D->FieldByName("TOTAL")->SetAsFloat(D->FieldByName("QTY")->GetAsInteger() * D->FieldByName("PRICE")->GetAsFloat());
  });
  od->Open();
  EXPECT_DOUBLE_EQ(od->Lookup("ID", Variant(3), "TOTAL").AsDouble(), 48.0);
  EXPECT_DOUBLE_EQ(od->FieldByName("TOTAL")->GetAsFloat(), 100.0);
  EXPECT_EQ(OrderId(), 1);
}

}  // namespace
}  // namespace kxtest
