// Expressions over a framework dataset: names resolve to its TField objects, values come from
// the record its state shows, and default values are written through the fields.

#include <gtest/gtest.h>

#include <string>

#include "common/kxparser.h"
#include "platform/rtl/component.h"
#include "platform/rtl/locale.h"
#include "tests/platform/memdataset.h"

namespace {

using namespace kx;
using host::Variant;

class DataSetExprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSaved = host::FormatSettings();
    host::FormatSettings().DecimalSeparator = '.';
    FOwner.SetName("Form1");
    FData = host::TComponent::Create<kxtest::MemDataSet>(&FOwner);
    FData->SetName("Orders");
    FData->AddColumn("Qty", host::ftInteger);
    FData->AddColumn("Name", host::ftString, 20);
    FData->AddColumn("Price", host::ftFloat);
    FData->AddColumn("Active", host::ftBoolean);
    FData->AddRow({Variant(5), Variant("bob"), Variant(2.5), Variant(true)});
    FData->AddRow({Variant(12), Variant("bill"), Variant(7.0), Variant(false)});
    FData->AddRow({host::Null(), Variant("ann"), Variant(1.0), Variant(true)});
    FData->AddRow({Variant(30), host::Null(), host::Null(), host::Null()});
    FData->Open();
  }
  void TearDown() override { host::FormatSettings() = FSaved; }

  // The names (or "-" for a null name) of the records that pass, in order.
  std::string Passing(const std::string& filter, host::TFilterOptions fo = {}) {
    TExprParser parser(FData, filter, fo, {poExtSyntax}, "", nullptr);
    TParseVerifier verifier(FData, parser.FilterData());
    std::string names;
    for (FData->First(); !FData->GetEof(); FData->Next()) {
      if (!verifier.Verify()) continue;
      const host::TField* name = FData->FieldByName("Name");
      names += (names.empty() ? "" : ",") + (name->GetIsNull() ? std::string("-") : name->GetAsString());
    }
    return names;
  }

  host::TFormatSettings FSaved;
  host::TComponent FOwner{nullptr};
  kxtest::MemDataSet* FData = nullptr;  // owned by FOwner
};

TEST_F(DataSetExprTest, FiltersReadTheCurrentRecord) {
  EXPECT_EQ(Passing("Qty > 10"), "bill,-");
  EXPECT_EQ(Passing("Name = 'b*'"), "bob,bill");
  EXPECT_EQ(Passing("Name = 'B*'", {host::foCaseInsensitive}), "bob,bill");
  EXPECT_EQ(Passing("Active"), "bob,ann");
  EXPECT_EQ(Passing("Qty IS NULL OR Price > 5"), "bill,ann");
  EXPECT_EQ(Passing("(Qty > 10) and (Name = 'bill') or (Price <= 1.5)"), "bill,ann");
  EXPECT_EQ(Passing("Qty * 2 > Price + 10"), "bill");
}

TEST_F(DataSetExprTest, ErrorsNameTheDataSet) {
  try {
    TExprParser parser(FData, "Qty >", {}, {}, "", nullptr);
    FAIL();
  } catch (const host::Exception& e) {
    EXPECT_EQ(e.Message(), "Expression expected but nothing found. Component is Orders, owned by Form1");
  }
  // An unknown name is the framework's own "field not found".
  EXPECT_THROW(TExprParser(FData, "Missing = 1", {}, {}, "", nullptr), host::EDatabaseError);
}

TEST_F(DataSetExprTest, DefaultsWriteThroughTheFields) {
  TExprParser qty(FData, "7", {host::foNoPartialCompare}, {poDefaultExpr}, "Qty", nullptr);
  TExprParser name(FData, "'new'", {host::foNoPartialCompare}, {poDefaultExpr}, "Name", nullptr);
  FData->Insert();
  EXPECT_TRUE(TParseVerifier(FData, qty.FilterData()).Verify());
  EXPECT_TRUE(TParseVerifier(FData, name.FilterData()).Verify());
  EXPECT_EQ(FData->FieldByName("Qty")->GetAsVariant().AsInteger(), 7);
  EXPECT_EQ(FData->FieldByName("Name")->GetAsString(), "new");
  FData->Cancel();
}

TEST_F(DataSetExprTest, DependentFieldsByFieldNumber) {
  host::TBits bits;
  TExprParser parser(FData, "Price > 1 AND Active", {}, {poFieldDepend}, "", &bits);
  EXPECT_FALSE(bits.Bits(0));
  EXPECT_FALSE(bits.Bits(1));
  EXPECT_TRUE(bits.Bits(2));
  EXPECT_TRUE(bits.Bits(3));
}

}  // namespace
