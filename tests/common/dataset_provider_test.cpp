// What a provider asks of the abstract dataset (transactions under database flag 10, the SQL
// question, engine errors as update errors, reset, applying through OnUpdateRecord), and the
// index lookup by field list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "common/kxtables/database.h"
#include "common/kxtables/errors.h"
#include "common/kxtables/indexdefs.h"
#include "tests/common/fakecursor.h"

namespace kxtest {
namespace {

using ::testing::HasSubstr;

constexpr int ProviderFlag = 10;

class DataSetProvider : public FakeDataSetTest {
 protected:
  void SetUp() override {
    FakeDataSetTest::SetUp();
    database = TComponent::Create<TestDatabase>(form.get(), &sessions);
    database->SetDatabaseName("Sales");
    database->Open();
  }
  TestEngine& Engine() { return sessions.engine; }
  TestDatabase* database = nullptr;
};

TEST_F(DataSetProvider, TransactionsHoldTheDatabaseUntilTheyEnd) {
  EXPECT_EQ(ds->PSGetQuoteChar(), "\"");
  EXPECT_FALSE(ds->PSInTransaction());
  ds->PSStartTransaction();
  EXPECT_TRUE(ds->GetDBFlags().Contains(ProviderFlag));
  EXPECT_TRUE(ds->PSInTransaction());
  EXPECT_TRUE(database->GetInTransaction());
  ds->PSEndTransaction(true);
  EXPECT_TRUE(Engine().Logged("Commit Sales"));
  EXPECT_FALSE(ds->GetDBFlags().Contains(ProviderFlag));
  EXPECT_FALSE(ds->PSInTransaction());

  ds->PSStartTransaction();
  ds->PSEndTransaction(false);
  EXPECT_TRUE(Engine().Logged("Rollback Sales"));
  EXPECT_TRUE(ds->GetDBFlags().Empty());
}

TEST_F(DataSetProvider, AFailingTransactionCallLeavesNoFlagBehind) {
  Engine().refuseStartTransaction = true;
  EXPECT_THROW(ds->PSStartTransaction(), EDatabaseError);
  EXPECT_FALSE(ds->GetDBFlags().Contains(ProviderFlag));
  Engine().refuseStartTransaction = false;

  Engine().refuseCommit = true;
  ds->PSStartTransaction();
  EXPECT_THROW(ds->PSEndTransaction(true), EDatabaseError);
  EXPECT_FALSE(ds->GetDBFlags().Contains(ProviderFlag));
  // The refused commit left the transaction open: the provider rolls it back.
  Engine().refuseCommit = false;
  ds->PSEndTransaction(false);
  EXPECT_TRUE(Engine().Logged("Rollback Sales"));
  // Ending one that is not open is the engine's error, and still leaves no flag.
  EXPECT_THROW(ds->PSEndTransaction(false), kx::EKxDatabaseError);
  EXPECT_FALSE(ds->GetDBFlags().Contains(ProviderFlag));
}

TEST_F(DataSetProvider, InTransactionLooksTheDatabaseUpByTheDatasetsNames) {
  ds->SetDatabaseName("Elsewhere");
  EXPECT_FALSE(ds->PSInTransaction()) << "no database of that name";
  ds->SetSessionName("NoSuchSession");
  try {
    ds->PSInTransaction();
    ADD_FAILURE() << "an unknown session must be reported";
  } catch (const EDatabaseError& e) {
    EXPECT_THAT(e.Message(), HasSubstr("NoSuchSession"));
  }
}

TEST_F(DataSetProvider, IsSQLBasedAsksTheDatabaseAndPutsTheFlagBack) {
  EXPECT_FALSE(ds->PSIsSQLBased());
  EXPECT_FALSE(ds->GetDBFlags().Contains(ProviderFlag));
  ds->SetDBFlag(ProviderFlag, true);
  EXPECT_FALSE(ds->PSIsSQLBased());
  EXPECT_TRUE(ds->GetDBFlags().Contains(ProviderFlag)) << "a flag that was set stays set";
}

TEST_F(DataSetProvider, EngineErrorsBecomeUpdateErrorsWithTheirNativeCode) {
  kx::EKxDBEngineError engine(ds);
  new kx::TKxDBError(&engine, 5, "key violation");
  new kx::TKxDBError(&engine, 9, "second entry");
  const EUpdateError previous("earlier", "", 7, 0, nullptr);

  struct Case {
    const char* name;
    const Exception* error;
    const EUpdateError* prev;
    int code;
    int previousCode;
  };
  const EDatabaseError other("not an engine error");
  kx::EKxDBEngineError noEntries(ds);
  const Case cases[] = {
      {"engine error", &engine, nullptr, 5, 0},
      {"engine error after another", &engine, &previous, 5, 7},
      {"engine error without entries", &noEntries, nullptr, 0, 0},
      {"other error", &other, &previous, 0, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<EUpdateError> update = ds->PSGetUpdateException(*c.error, c.prev);
    ASSERT_NE(update, nullptr);
    EXPECT_EQ(update->Message(), c.error->Message());
    EXPECT_EQ(update->Context(), "");
    EXPECT_EQ(update->ErrorCode(), c.code);
    EXPECT_EQ(update->PreviousError(), c.previousCode);
    ASSERT_NE(update->OriginalException(), nullptr);
    EXPECT_EQ(update->OriginalException()->Message(), c.error->Message());
  }
  auto update = ds->PSGetUpdateException(engine, nullptr);
  auto* original = dynamic_cast<kx::EKxDBEngineError*>(update->OriginalException());
  ASSERT_NE(original, nullptr) << "the cause keeps its class and entries";
  EXPECT_EQ(original->GetErrorCount(), 2);
}

TEST_F(DataSetProvider, UpdateRecordAppliesOnlyWhatTheApplicationSaysItApplied) {
  ds->Open();
  EXPECT_FALSE(ds->PSUpdateRecord(ukModify, ds));
  EXPECT_EQ(ds->GetState(), dsBrowse);

  std::vector<std::string> seen;
  TUpdateAction answer = uaApplied;
  ds->SetOnUpdateRecord([&](TDataSet* DataSet, TUpdateKind Kind, TUpdateAction& Action) {
    seen.push_back(DataSet->Name() + " " + std::to_string(static_cast<int>(Kind)) + " " +
                   std::to_string(static_cast<int>(Action)));
    Action = answer;
  });
  EXPECT_TRUE(ds->PSUpdateRecord(ukInsert, ds));
  answer = uaSkip;
  EXPECT_FALSE(ds->PSUpdateRecord(ukDelete, ds));
  EXPECT_THAT(seen, ::testing::ElementsAre(
                        "Table1 " + std::to_string(static_cast<int>(ukInsert)) + " " + std::to_string(static_cast<int>(uaFail)),
                        "Table1 " + std::to_string(static_cast<int>(ukDelete)) + " " + std::to_string(static_cast<int>(uaFail))));
}

TEST_F(DataSetProvider, ResetRereadsTheEngineAndReturnsToTheFirstRecord) {
  ds->Open();
  ds->Last();
  ds->Calls().clear();
  ds->PSReset();
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(ds->CountCalls("KxInternalRefresh"), 1);
  ds->Close();
  ds->PSReset();  // closed: nothing to do
  EXPECT_FALSE(ds->GetActive());
}

// ---- index lookup by fields -------------------------------------------------------------------

TEST(KxIndexDefs, ExactFieldListsWinThenPrefixesAtAFieldBoundary) {
  kx::TKxIndexDefs defs(nullptr);
  defs.Add("ByNameCity", "Name;City", TIndexOptions{});
  defs.Add("ByName", "Name", TIndexOptions{});
  defs.Add("ByCodeCI", "Code;Region", TIndexOptions{ixCaseInsensitive});
  defs.Add("ByExpr", "", TIndexOptions{})->SetExpression("UPPER(Name)");
  defs.Add("ByCode", "Code", TIndexOptions{});

  struct Case {
    const char* fields;
    bool caseInsensitive;
    const char* expected;  // nullptr: none
  };
  const Case cases[] = {
      {"Name", false, "ByName"},           // exact beats the earlier prefix
      {"name;CITY", false, "ByNameCity"},  // names ignore case
      {"Name;Ci", false, nullptr},         // not at a field boundary
      {"Code", false, "ByCode"},
      {"Code", true, "ByCodeCI"},          // only case-insensitive indexes qualify
      {"Name", true, nullptr},
      {"UPPER(Name)", false, nullptr},     // expression indexes are never chosen
      {"City", false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields);
    TIndexDef* def = defs.GetIndexForFields(c.fields, c.caseInsensitive);
    if (c.expected == nullptr) {
      EXPECT_EQ(def, nullptr);
    } else {
      ASSERT_NE(def, nullptr);
      EXPECT_EQ(def->GetName(), c.expected);
    }
  }
  EXPECT_EQ(defs.FindIndexForFields("Name;City")->GetName(), "ByNameCity");
  try {
    defs.FindIndexForFields("Name;Ci");
    ADD_FAILURE() << "no index must be reported";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "No index for fields 'Name;Ci'");
  }
}

}  // namespace
}  // namespace kxtest
