#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "common/kxtables.h"

namespace kx {
namespace {

using host::TComponent;

// A form owning a named component, a component with an unnamed owner, an unnamed component
// and one without owner: the shapes the component clause distinguishes.
class Components : public ::testing::Test {
 protected:
  void SetUp() override {
    form.reset(new TComponent(nullptr));
    form->SetName("Form1");
    table = TComponent::Create<TComponent>(form.get());
    table->SetName("Table1");
    unnamedOwner.reset(new TComponent(nullptr));
    child = TComponent::Create<TComponent>(unnamedOwner.get());
    child->SetName("Query1");
    unnamed = TComponent::Create<TComponent>(form.get());
    lone.reset(new TComponent(nullptr));
    lone->SetName("Session1");
  }

  std::unique_ptr<TComponent> form;
  TComponent* table = nullptr;
  std::unique_ptr<TComponent> unnamedOwner;
  TComponent* child = nullptr;
  TComponent* unnamed = nullptr;
  std::unique_ptr<TComponent> lone;
};

TEST(MaybePeriod, SeparatorOnlyAfterAnUnterminatedSentence) {
  struct Case {
    const char* text;
    const char* separator;
  };
  const Case cases[] = {
      {"", ""},
      {"x", ""},
      {"\xC3\xA9", ""},  // one character of two bytes
      {"Done.", ""},
      {"Done. ", ""},
      {"ab", ". "},
      {"\xC3\xA9t", ". "},
      {"Update failed", ". "},
      {"Update failed ", ". "},
      {"Alias name: ", ". "},
  };
  for (const Case& c : cases) EXPECT_EQ(maybePeriod(c.text), c.separator) << '"' << c.text << '"';
}

TEST_F(Components, NameAndOwnerNameBuildsTheComponentClause) {
  EXPECT_EQ(nameAndOwnerName(table), "Component is Table1, owned by Form1");
  EXPECT_EQ(nameAndOwnerName(child), "Component is Query1");
  EXPECT_EQ(nameAndOwnerName(lone.get()), "Component is Session1");
  EXPECT_EQ(nameAndOwnerName(unnamed), "Cannot name the component");
  EXPECT_EQ(nameAndOwnerName(nullptr), "");
}

TEST_F(Components, DatabaseErrorCompletesTheMessageOfAComponentOwner) {
  host::TPersistent notAComponent;
  struct Case {
    host::TPersistent* owner;
    std::string message;
    std::string expected;
  };
  const Case cases[] = {
      {table, SDatabaseOpen, "Cannot perform this operation on an open database. Component is Table1, owned by Form1"},
      {child, "Update failed", "Update failed. Component is Query1"},
      {unnamed, "Update failed", "Update failed. Cannot name the component"},
      {table, "", "Component is Table1, owned by Form1"},
      {table, "x", "xComponent is Table1, owned by Form1"},
      {table, "Stopped.", "Stopped.Component is Table1, owned by Form1"},
      {table, "Stopped. ", "Stopped. Component is Table1, owned by Form1"},
      {&notAComponent, "Update failed", "Update failed"},
      {nullptr, "Update failed", "Update failed"},
  };
  for (const Case& c : cases) {
    EKxDatabaseError e(c.owner, c.message);
    EXPECT_EQ(e.Message(), c.expected);
    EXPECT_EQ(e.GetOwner(), c.owner);
  }
}

TEST_F(Components, KxDatabaseErrorRaisesWithOwnerAndOptionalPrefix) {
  try {
    KxDatabaseError(table, SNoTableName);
    FAIL() << "nothing raised";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Missing TableName property. Component is Table1, owned by Form1");
    EXPECT_EQ(e.GetOwner(), table);
  }
  try {
    KxDatabaseError(table, SNoTableName, child);
    FAIL() << "nothing raised";
  } catch (const host::EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Query1: Missing TableName property. Component is Table1, owned by Form1");
  }
  // An unnamed third component adds no prefix.
  try {
    KxDatabaseError(nullptr, SNoTableName, unnamed);
    FAIL() << "nothing raised";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Missing TableName property");
  }
}

TEST_F(Components, KxDatabaseErrorFmtFormatsBeforeComposing) {
  try {
    KxDatabaseErrorFmt(lone.get(), SDuplicateSessionName, {"Sales"});
    FAIL() << "nothing raised";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Duplicate session name 'Sales'. Component is Session1");
  }
  try {
    const host::FormatArg args[] = {"Orders", "Form2"};
    KxDatabaseErrorFmt(table, SUpdateWrongDB, args);
    FAIL() << "nothing raised";
  } catch (const EKxDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Cannot update, Orders is not owned by Form2. Component is Table1, owned by Form1");
  }
}

// An engine entry with a field of its own, as the engine packages declare them.
class TStateError : public TKxDBError {
 public:
  TStateError(EKxDBEngineError* owner, const char* message, std::int32_t native, std::string state)
      : TKxDBError(owner, native, message), FState(std::move(state)) {}
  const std::string& GetState() const { return FState; }
  std::unique_ptr<TKxDBError> CloneEntry() const override {
    return std::unique_ptr<TKxDBError>(new TStateError(*this));
  }

 private:
  TStateError(const TStateError&) = default;
  std::string FState;
};

TEST_F(Components, EngineErrorOwnsItsEntriesInOrder) {
  EKxDBEngineError e(table);
  EXPECT_EQ(e.Message(), "Component is Table1, owned by Form1");
  EXPECT_EQ(e.GetErrorCount(), 0);
  EXPECT_THROW(e.GetErrors(0), host::EListError);

  new TKxDBError(&e, 3, "first");
  new TStateError(&e, "second", -7, "42S02");
  new TKxDBError(&e, 0, static_cast<const char*>(nullptr));
  ASSERT_EQ(e.GetErrorCount(), 3);
  EXPECT_EQ(e.GetErrors(0).GetNativeError(), 3);
  EXPECT_EQ(e.GetErrors(0).GetMessage(), "first");
  EXPECT_EQ(e.GetErrors(1).GetNativeError(), -7);
  EXPECT_EQ(dynamic_cast<TStateError&>(e.GetErrors(1)).GetState(), "42S02");
  EXPECT_EQ(e.GetErrors(2).GetMessage(), "");
  EXPECT_THROW(e.GetErrors(3), host::EListError);
  EXPECT_THROW(e.GetErrors(-1), host::EListError);
}

// Raise and Clone hand on a copy: it keeps the class and its own copies of the entries,
// which outlive the original.
TEST_F(Components, EngineErrorCopiesKeepClassAndEntries) {
  auto original = std::make_unique<EKxDBEngineError>(table);
  new TKxDBError(original.get(), 1, "disk full");
  new TStateError(original.get(), "table missing", 2, "42S02");
  original->SetMessage("disk full. table missing");

  std::unique_ptr<host::Exception> clone = original->Clone();
  try {
    original->Raise();
  } catch (const host::Exception& raised) {
    original.reset();
    auto* copy = dynamic_cast<const EKxDBEngineError*>(&raised);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Message(), "disk full. table missing");
    EXPECT_EQ(copy->GetOwner(), table);
    ASSERT_EQ(copy->GetErrorCount(), 2);
    EXPECT_EQ(copy->GetErrors(0).GetMessage(), "disk full");
    EXPECT_EQ(dynamic_cast<TStateError&>(copy->GetErrors(1)).GetState(), "42S02");
  }
  auto* cloned = dynamic_cast<EKxDBEngineError*>(clone.get());
  ASSERT_NE(cloned, nullptr);
  ASSERT_EQ(cloned->GetErrorCount(), 2);
  EXPECT_EQ(cloned->GetErrors(1).GetMessage(), "table missing");
  // Entries added to a copy belong to that copy.
  new TKxDBError(cloned, 9, "more");
  EXPECT_EQ(cloned->GetErrorCount(), 3);

  EKxDBEngineError moved(std::move(*cloned));
  EXPECT_EQ(moved.GetErrorCount(), 3);
  EXPECT_EQ(moved.GetErrors(2).GetMessage(), "more");
}

// An entry class whose own constructor fails after the base has listed the entry.
class TFailingError : public TKxDBError {
 public:
  TFailingError(EKxDBEngineError* owner) : TKxDBError(owner, 5, "failing") {
    throw std::runtime_error("entry refused");
  }
};

TEST_F(Components, EntryWhoseConstructionFailsIsNotKept) {
  EKxDBEngineError e(table);
  new TKxDBError(&e, 1, "kept");
  EXPECT_THROW(new TFailingError(&e), std::runtime_error);
  ASSERT_EQ(e.GetErrorCount(), 1);
  EXPECT_EQ(e.GetErrors(0).GetMessage(), "kept");
}

TEST_F(Components, AdministrationErrors) {
  struct Case {
    TKxDbAdminEngineErrorTypes type;
    std::uint32_t code;
    std::string message;
    std::string expectedMessage;
    std::int32_t expectedNative;
  };
  const Case cases[] = {
      {dbmeMGI, 42, "", "MGI error 42", 42},
      {dbmeMGI, 7013, "Named database does not exist. Alias name: Sales",
       "Named database does not exist. Alias name: Sales", 7013},
      {dbmeLocal, 0xFFFFFFFFu, "", "MGI error 4294967295", -1},
      {dbmeLocalSql, 11, "Invalid DSN name", "Invalid DSN name", 11},
  };
  for (const Case& c : cases) {
    EKxDbAdminEngineError e(table, c.type, c.code, c.message);
    EXPECT_EQ(e.Message(), c.expectedMessage) << "no component clause";
    EXPECT_EQ(e.GetErrorType(), c.type);
    EXPECT_EQ(e.GetOwner(), table);
    ASSERT_EQ(e.GetErrorCount(), 1);
    EXPECT_EQ(e.GetErrors(0).GetNativeError(), c.expectedNative);
    EXPECT_EQ(e.GetErrors(0).GetMessage(), c.expectedMessage);
  }

  EKxDbAdminEngineError empty(table);
  EXPECT_EQ(empty.GetErrorType(), dbmeLocal);
  EXPECT_EQ(empty.GetErrorCount(), 0);
  EXPECT_EQ(empty.Message(), "Component is Table1, owned by Form1");

  try {
    EKxDbAdminEngineError(table, dbmeMGI, 7001, "").Raise();
  } catch (const EKxDBEngineError& raised) {
    auto* admin = dynamic_cast<const EKxDbAdminEngineError*>(&raised);
    ASSERT_NE(admin, nullptr);
    EXPECT_EQ(admin->GetErrorType(), dbmeMGI);
    EXPECT_EQ(admin->GetErrors(0).GetNativeError(), 7001);
  }
}

TEST(NoResultSet, IsADatabaseErrorOfItsOwnClass) {
  ENoResultSet e(SHandleError);
  std::unique_ptr<host::Exception> clone = e.Clone();
  EXPECT_NE(dynamic_cast<ENoResultSet*>(clone.get()), nullptr);
  EXPECT_THROW(e.Raise(), host::EDatabaseError);
  EXPECT_EQ(clone->Message(), "Error creating cursor handle");
}

}  // namespace
}  // namespace kx
