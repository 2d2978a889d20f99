// The abstract dataset's record and field constraints and default values, over the test
// engine (which checks a field's constraints when it receives a value and the record's
// before a post, as the engine datasets do).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/kxtables/dataset.h"
#include "common/kxtables/errors.h"
#include "tests/common/filterdataset.h"

namespace kxtest {
namespace {

using kx::EKxDatabaseError;

// Stock: ID integer, NAME string(20), QTY integer, PRICE float; two rows.
class DataSetConstraints : public FakeDataSetTest {
 protected:
  void SetUp() override {
    FakeDataSetTest::SetUp();
    stock = std::make_shared<FakeTable>(std::vector<FakeColumn>{
        {"ID", ftInteger}, {"NAME", ftString, 20}, {"QTY", ftInteger}, {"PRICE", ftFloat}});
    stock->AddRow({Variant(1), Variant("bolt"), Variant(10), Variant(0.5)});
    stock->AddRow({Variant(2), Variant("nut"), Variant(20), Variant(0.25)});
    sd = TComponent::Create<FilterDataSet>(form.get(), stock, &sessions);
    sd->SetName("Stock");
    sd->SetDatabaseName("Sales");
  }

  // Persistent fields in the order of the definitions, or in reverse.
  void CreateFields(bool Reversed = false) {
    sd->GetFieldDefs()->Update();
    const int n = sd->GetFieldDefs()->Count();
    for (int i = 0; i < n; ++i) sd->GetFieldDefs()->Items(Reversed ? n - 1 - i : i)->CreateField(sd);
  }
  TField* Field(const char* Name) const { return sd->FieldByName(Name); }
  // The message of the EKxDatabaseError that Action raises, or "" when it raises none.
  template <typename F>
  static std::string ErrorOf(F Action) {
    try {
      Action();
    } catch (const EKxDatabaseError& e) {
      return e.Message();
    }
    return "";
  }

  std::shared_ptr<FakeTable> stock;
  FilterDataSet* sd = nullptr;
};

TEST_F(DataSetConstraints, ADatasetWithoutConstraintsParsesNothing) {
  sd->Open();
  EXPECT_FALSE(sd->FConstraintLayer);
  EXPECT_EQ(sd->FParseConstrains->Count(), 0);
  EXPECT_EQ(sd->FDefaultConstrains->Count(), 0);
  EXPECT_FALSE(sd->ConstraintsStored());
  sd->Edit();
  Field("QTY")->SetAsInteger(-5);
  sd->Post();
  EXPECT_EQ(stock->Value(0, "QTY").AsInteger(), -5);
}

TEST_F(DataSetConstraints, ExpressionsAreParsedOnceAtOpenIntoTheirCollections) {
  CreateFields();
  TCheckConstraint* record = sd->GetConstraints()->Add();
  record->SetCustomConstraint("PRICE < 100");
  record->SetErrorMessage("Too expensive");
  Field("QTY")->SetCustomConstraint("> 0");      // needs the field given
  Field("QTY")->SetImportedConstraint("QTY < 1000");  // parses on its own
  Field("QTY")->SetConstraintErrorMessage("Bad quantity");
  Field("NAME")->SetDefaultExpression("'new'");
  sd->Open();
  EXPECT_TRUE(sd->FConstraintLayer);
  EXPECT_TRUE(sd->ConstraintsStored());

  struct Expected {
    int fieldNum;
    const char* expression;
    const char* message;
  };
  // Record checks first, then per field in field order: imported before custom.
  const Expected checks[] = {{-1, "PRICE < 100", "Too expensive"},
                             {-1, "QTY < 1000", "Bad quantity"},
                             {2, "> 0", "Bad quantity"}};
  ASSERT_EQ(sd->FParseConstrains->Count(), 3);
  for (int i = 0; i < 3; ++i) {
    const kx::TConstraintItem* item = sd->FParseConstrains->GetItem(i);
    EXPECT_EQ(item->FieldNum, checks[i].fieldNum) << i;
    EXPECT_EQ(item->Expression, checks[i].expression) << i;
    EXPECT_EQ(item->ErrorMessage, checks[i].message) << i;
    EXPECT_NE(item->GetParser(), nullptr) << i;
  }
  ASSERT_EQ(sd->FDefaultConstrains->Count(), 1);
  EXPECT_EQ(sd->FDefaultConstrains->GetItem(0)->FieldNum, 1);
  EXPECT_EQ(sd->FDefaultConstrains->GetItem(0)->ErrorMessage, "");

  // Closing drops the checks; the defaults wait for the next open.
  sd->Close();
  EXPECT_EQ(sd->FParseConstrains->Count(), 0);
  EXPECT_EQ(sd->FDefaultConstrains->Count(), 1);
  sd->Open();
  EXPECT_EQ(sd->FParseConstrains->Count(), 3);
}

TEST_F(DataSetConstraints, AFieldCheckRunsWhenTheFieldIsSetAndBeforeThePost) {
  stock->AddRow({Variant(3), Variant("washer"), Variant(-4), Variant(0.1)});
  CreateFields();
  Field("QTY")->SetCustomConstraint("> 0");
  Field("QTY")->SetConstraintErrorMessage("Quantity must be positive");
  sd->Open();
  sd->Edit();
  struct Case {
    Variant value;
    bool refused;
  };
  // A null quantity does not compare greater than zero either.
  const Case cases[] = {{Variant(5), false}, {Variant(0), true}, {Variant(-3), true}, {Null(), true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(VarToStr(c.value));
    sd->VerifyStateSeen = false;
    const std::string message = ErrorOf([&] { Field("QTY")->SetAsVariant(c.value); });
    EXPECT_EQ(message, c.refused ? "Quantity must be positive. Component is Stock, owned by Form1" : "");
    EXPECT_TRUE(sd->VerifyStateSeen) << "the check reads the pending value in verify state";
    EXPECT_FALSE(sd->GetIsFieldConstrainVerifyState());
    EXPECT_EQ(sd->GetState(), dsEdit);
  }
  // A refused value never reached the record; other fields are not checked against it.
  EXPECT_EQ(Field("QTY")->GetAsInteger(), 5);
  Field("NAME")->SetAsString("bolt M6");
  sd->Post();
  EXPECT_EQ(stock->Value(0, "QTY").AsInteger(), 5);

  // The same check runs before the post: the stored quantity of -4 does not pass.
  sd->Last();
  sd->Edit();
  Field("NAME")->SetAsString("big washer");
  EXPECT_EQ(ErrorOf([&] { sd->Post(); }), "Quantity must be positive. Component is Stock, owned by Form1");
  EXPECT_EQ(sd->GetState(), dsEdit);
  EXPECT_EQ(stock->Value(2, "NAME").AsString(), "washer");
  Field("QTY")->SetAsInteger(7);
  sd->Post();
  EXPECT_EQ(stock->Value(2, "QTY").AsInteger(), 7);
}

TEST_F(DataSetConstraints, AFieldCheckFollowsItsFieldWhateverTheFieldOrder) {
  CreateFields(/*Reversed=*/true);
  ASSERT_EQ(Field("PRICE")->GetIndex(), 0);
  Field("PRICE")->SetCustomConstraint("< 10");
  Field("PRICE")->SetConstraintErrorMessage("Price too high");
  sd->Open();
  sd->Edit();
  // ID is field number 1 but stands last: setting it must not run the price check, and
  // setting the price must.
  Field("ID")->SetAsInteger(99);
  EXPECT_EQ(ErrorOf([&] { Field("PRICE")->SetAsFloat(12.5); }), "Price too high. Component is Stock, owned by Form1");
  Field("PRICE")->SetAsFloat(9.5);
  sd->Post();
  EXPECT_DOUBLE_EQ(stock->Value(0, "PRICE").AsDouble(), 9.5);
}

TEST_F(DataSetConstraints, RecordChecksRunBeforeThePostInOrder) {
  struct Check {
    const char* expression;
    const char* message;
  };
  const Check checks[] = {{"QTY >= 0", "Negative stock"}, {"PRICE * QTY < 1000", ""}};
  for (const Check& c : checks) {
    TCheckConstraint* item = sd->GetConstraints()->Add();
    item->SetCustomConstraint(c.expression);
    item->SetErrorMessage(c.message);
  }
  sd->Open();
  struct Case {
    int qty;
    double price;
    std::string error;
  };
  const Case cases[] = {
      {5, 1.0, ""},
      {-1, 1.0, "Negative stock. Component is Stock, owned by Form1"},
      {-1, 5000.0, "Negative stock. Component is Stock, owned by Form1"},
      // An empty message leaves the component clause alone.
      {10, 500.0, "Component is Stock, owned by Form1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.qty);
    sd->Edit();
    Field("QTY")->SetAsInteger(c.qty);
    Field("PRICE")->SetAsFloat(c.price);
    EXPECT_EQ(ErrorOf([&] { sd->Post(); }), c.error);
    if (!c.error.empty()) {
      EXPECT_EQ(sd->GetState(), dsEdit);
      sd->Cancel();
    }
    EXPECT_EQ(stock->Value(0, "QTY").AsInteger(), 5);
  }
}

TEST_F(DataSetConstraints, DisablingNestsAndOnlyAffectsTheRecordCheck) {
  TCheckConstraint* item = sd->GetConstraints()->Add();
  item->SetCustomConstraint("QTY >= 0");
  item->SetErrorMessage("Negative stock");
  sd->Open();
  sd->DisableConstraints();
  sd->DisableConstraints();
  sd->EnableConstraints();
  EXPECT_TRUE(sd->ConstraintsDisabled());
  sd->Edit();
  Field("QTY")->SetAsInteger(-1);
  sd->Post();
  EXPECT_EQ(stock->Value(0, "QTY").AsInteger(), -1);

  sd->EnableConstraints();
  EXPECT_FALSE(sd->ConstraintsDisabled());
  // Extra enables never push the count below zero: one disable is enough again.
  sd->EnableConstraints();
  sd->EnableConstraints();
  sd->DisableConstraints();
  EXPECT_TRUE(sd->ConstraintsDisabled());
  sd->EnableConstraints();
  sd->Edit();
  Field("QTY")->SetAsInteger(-2);
  EXPECT_THROW(sd->Post(), EKxDatabaseError);
  sd->Cancel();
}

TEST_F(DataSetConstraints, ANewRecordCarriesItsDefaultsWhenOnNewRecordRuns) {
  CreateFields();
  Field("NAME")->SetDefaultExpression("'new item'");
  Field("QTY")->SetDefaultExpression("1");
  Field("PRICE")->SetDefaultExpression("2.5");
  std::vector<std::string> seen;
  sd->SetOnNewRecord([&](TDataSet* D) {
    for (const char* name : {"NAME", "QTY", "PRICE", "ID"}) seen.push_back(D->FieldByName(name)->GetAsString());
    D->FieldByName("ID")->SetAsInteger(3);
  });
  sd->Open();
  sd->Append();
  EXPECT_EQ(seen, (std::vector<std::string>{"new item", "1", "2.5", ""}));
  EXPECT_EQ(sd->GetState(), dsInsert);
  sd->Post();
  ASSERT_EQ(stock->RowCount(), 3);
  EXPECT_EQ(stock->Value(2, "NAME").AsString(), "new item");
  EXPECT_EQ(stock->Value(2, "QTY").AsInteger(), 1);

  // Insert fills them too; the defaults are evaluated afresh for each record.
  seen.clear();
  sd->Insert();
  EXPECT_EQ(seen, (std::vector<std::string>{"new item", "1", "2.5", ""}));
  sd->Cancel();
}

TEST_F(DataSetConstraints, DefaultsOfAnEarlierOpenAreNotApplied) {
  CreateFields();
  Field("QTY")->SetDefaultExpression("42");
  sd->Open();
  sd->Close();
  Field("QTY")->SetDefaultExpression("");
  sd->Open();
  EXPECT_FALSE(sd->FConstraintLayer);
  sd->Append();
  EXPECT_TRUE(Field("QTY")->GetIsNull());
  sd->Cancel();
}

TEST_F(DataSetConstraints, AnExpressionThatDoesNotParseFailsTheOpen) {
  struct Case {
    const char* what;
    std::function<void()> set;
  };
  const Case cases[] = {
      {"record check", [&] { sd->GetConstraints()->Add()->SetCustomConstraint("QTY >"); }},
      {"default", [&] { Field("NAME")->SetDefaultExpression("NAME +"); }},
      {"default of the wrong type", [&] { Field("QTY")->SetDefaultExpression("'many'"); }},
      {"field check in neither reading", [&] { Field("QTY")->SetCustomConstraint("> 'x' +"); }},
      {"imported check in neither reading", [&] { Field("PRICE")->SetImportedConstraint("<"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sd->GetConstraints()->Clear();
    for (TField* f : sd->GetFields()->List()) {
      f->SetDefaultExpression("");
      f->SetCustomConstraint("");
      f->SetImportedConstraint("");
    }
    if (sd->GetFieldCount() == 0) CreateFields();
    // Valid expressions before and after the bad one are dropped with it.
    Field("ID")->SetDefaultExpression("0");
    Field("PRICE")->SetCustomConstraint("PRICE >= 0");
    c.set();
    EXPECT_THROW(sd->Open(), EDatabaseError);
    EXPECT_FALSE(sd->GetActive());
    EXPECT_TRUE(sd->GetDBFlags().Empty());
    EXPECT_EQ(sd->FParseConstrains->Count(), 0);
    EXPECT_EQ(sd->FDefaultConstrains->Count(), 0);
  }
}

}  // namespace
}  // namespace kxtest
