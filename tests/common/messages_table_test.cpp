#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/kxconst.h"

namespace kx {
namespace {

// Texts whose exact bytes matter to the composition rules or to callers that format them.
TEST(MessageTable, TextsThatCallersDependOnAreExact) {
  struct Case {
    TKxMessage message;
    const char* text;
  };
  const Case cases[] = {
      {SErrCompName, "Component is %s"},
      {SErrCompOwnerName, "owned by %s"},
      {SDynamicallyCreatedNoOwner, "Cannot name the component"},
      {SKxAliasSuffix, ". Alias name: "},
      {SKxMGIError, "MGI error %d"},
      {SKxODBCInvalidHandle, "The handle indicated by handle type %d and handle $%p is not a valid handle"},
      {SKxIndexNotFound, "%s: Index '%s' not found"},
      {SKxMgiLoginError, "Cannot connect to server '%s'."},
      {SKxMGIErrorFAIL,
       "MGI call failed. Probably, you don't have enough access rights for requested operation or "
       "server is not found"},
      {SKxDBNamesErrorInvalidBufferLenght, "Invalid buffer Length"},
      {SKxResultUndefine, "Result of operation is undefine"},
      {SDatabaseOpen, "Cannot perform this operation on an open database"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.message.Text(), c.text) << c.message.Name();
    EXPECT_EQ(std::string(c.message), c.text) << c.message.Name();
  }
}

TEST(MessageTable, EveryEntryIsReachableByItsOwnNameAndHasText) {
  ASSERT_EQ(KxMessageCount, 160u);
  std::set<std::string> names;
  for (std::size_t i = 0; i < KxMessageCount; ++i) {
    std::optional<TKxMessage> m = KxMessageAt(i);
    ASSERT_TRUE(m.has_value()) << i;
    const std::string name(m->Name());
    EXPECT_EQ(name[0], 'S') << name;
    EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
    EXPECT_FALSE(m->DefaultText().empty()) << name;
    std::optional<TKxMessage> byName = FindKxMessage(name);
    ASSERT_TRUE(byName.has_value()) << name;
    EXPECT_EQ(*byName, *m) << name;
  }
  EXPECT_FALSE(KxMessageAt(KxMessageCount).has_value());
  EXPECT_FALSE(FindKxMessage("SNoSuchMessage").has_value());
  EXPECT_FALSE(FindKxMessage("skxblobreadonly").has_value()) << "names are case-sensitive";
}

TEST(MessageTable, TranslationReplacesTextUntilReset) {
  SetKxMessageText(SKxBlobReadOnly, "Flux BLOB en lecture seule");
  EXPECT_TRUE(SetKxMessageText("SKxBlobWriteOnly", "Flux BLOB en écriture seule"));
  EXPECT_FALSE(SetKxMessageText("SNoSuchMessage", "x"));

  EXPECT_EQ(SKxBlobReadOnly.Text(), "Flux BLOB en lecture seule");
  EXPECT_EQ(SKxBlobWriteOnly.Text(), "Flux BLOB en écriture seule");
  EXPECT_EQ(SKxBlobReadOnly.DefaultText(), "BLOB stream read only");
  EXPECT_EQ(SDatabaseOpen.Text(), "Cannot perform this operation on an open database");

  ResetKxMessageText(SKxBlobReadOnly);
  EXPECT_EQ(SKxBlobReadOnly.Text(), "BLOB stream read only");
  EXPECT_EQ(SKxBlobWriteOnly.Text(), "Flux BLOB en écriture seule");
  ResetKxMessageTexts();
  EXPECT_EQ(SKxBlobWriteOnly.Text(), "BLOB stream write only");
}

}  // namespace
}  // namespace kx
