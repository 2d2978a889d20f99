// TConstraintCollection: typed access to constraint items that own their parsed expressions.

#include <gtest/gtest.h>

#include <memory>

#include "common/kxparser.h"
#include "tests/common/parser_memrecord.h"

namespace {

using namespace kx;

class OtherItem : public host::TCollectionItem {
 public:
  using host::TCollectionItem::TCollectionItem;
};

class ConstraintsTest : public ::testing::Test {
 protected:
  std::unique_ptr<TExprParser> Parse(const char* text) {
    return std::make_unique<TExprParser>(FRecord, text, host::TFilterOptions{host::foNoPartialCompare},
                                         TParserOptions{poExtSyntax}, "", nullptr);
  }
  kxtest::MemRecordResolver FRecord{kxtest::AllTypesFields()};
};

TEST_F(ConstraintsTest, ItemsStartEmpty) {
  TConstraintCollection checks;
  TConstraintItem* item = checks.Add();
  EXPECT_EQ(item->FieldNum, 0);
  EXPECT_TRUE(item->Expression.empty());
  EXPECT_TRUE(item->ErrorMessage.empty());
  EXPECT_EQ(item->GetParser(), nullptr);
  EXPECT_EQ(checks.Count(), 1);
  EXPECT_EQ(checks.Items(0), item);
}

// Deleting an item, emptying the collection or freeing it frees the parsers it holds (the
// leak checker of the sanitizer build watches this test).
TEST_F(ConstraintsTest, ItemsOwnTheirParsers) {
  auto checks = std::make_unique<TConstraintCollection>();
  for (const char* text : {"Qty > 0", "Name <> ''", "Price < 100"}) {
    TConstraintItem* item = checks->Add();
    item->FieldNum = -1;
    item->Expression = text;
    item->SetParser(Parse(text));
  }
  checks->Add();  // one without a parser
  ASSERT_NE(checks->GetItem(1)->GetParser()->FilterData(), nullptr);
  checks->Delete(1);
  checks->Delete(2);
  EXPECT_EQ(checks->Count(), 2);
  EXPECT_EQ(checks->GetItem(1)->Expression, "Price < 100");
  checks->Clear();
  EXPECT_EQ(checks->Count(), 0);
  checks->Add()->SetParser(Parse("Qty = 1"));
  checks.reset();
}

TEST_F(ConstraintsTest, TypedAccessors) {
  TConstraintCollection checks;
  TConstraintItem* first = checks.Add();
  TConstraintItem* inserted = checks.Insert(0);
  EXPECT_EQ(checks.GetItem(0), inserted);
  EXPECT_EQ(checks[1], first);
  EXPECT_EQ(checks.FindItemID(first->ID()), first);
  EXPECT_EQ(checks.FindItemID(first->ID() + 1000), nullptr);

  first->FieldNum = 3;
  first->Expression = "Qty > 1";
  first->ErrorMessage = "Too few";
  first->SetParser(Parse("Qty > 1"));
  checks.SetItem(0, first);
  EXPECT_EQ(inserted->FieldNum, 3);
  EXPECT_EQ(inserted->Expression, "Qty > 1");
  EXPECT_EQ(inserted->ErrorMessage, "Too few");
  EXPECT_EQ(inserted->GetParser(), nullptr);

  // An item of another class in the collection fails the verifying cast.
  auto* other = new OtherItem(nullptr);
  other->SetCollection(&checks);
  EXPECT_THROW(checks.GetItem(2), host::EInvalidCast);
  EXPECT_THROW(checks.FindItemID(other->ID()), host::EInvalidCast);
  EXPECT_THROW(checks.GetItem(5), host::EListError);
}

}  // namespace
