// Fields: native forms, conversions, validation, BLOBs, calculated and lookup fields, binding.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "tests/platform/memdataset.h"

using namespace kxtest;

namespace {

// One column of each field type, opened on a single row being edited.
class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUserLocale("C");
    ds = new MemDataSet(nullptr);
    ds->SetName("Types");
    ds->AddColumn("S", ftString, 10);
    ds->AddColumn("WS", ftWideString, 4);
    ds->AddColumn("FC", ftFixedChar, 5);
    ds->AddColumn("SI", ftSmallint);
    ds->AddColumn("W", ftWord);
    ds->AddColumn("I", ftInteger);
    ds->AddColumn("AI", ftAutoInc);
    ds->AddColumn("LI", ftLargeint);
    ds->AddColumn("B", ftBoolean);
    ds->AddColumn("F", ftFloat);
    ds->AddColumn("C", ftCurrency);
    ds->AddColumn("BCD", ftBCD, 2, false, 10);
    ds->AddColumn("D", ftDate);
    ds->AddColumn("T", ftTime);
    ds->AddColumn("DT", ftDateTime);
    ds->AddColumn("BY", ftBytes, 4);
    ds->AddColumn("VB", ftVarBytes, 6);
    ds->AddColumn("BL", ftBlob);
    ds->AddColumn("M", ftMemo);
    ds->AddRow({});
    ds->Open();
    ds->Edit();
  }
  void TearDown() override {
    delete ds;
    SetUserLocale("C");
  }
  TField* F(const char* name) { return ds->FieldByName(name); }

  MemDataSet* ds = nullptr;
};

struct ClassCase {
  const char* Field;
  const std::type_info& Class;
  int DataSize;
};

TEST_F(FieldTest, DefaultFieldsHaveTheirClassesAndNativeSizes) {
  const std::vector<ClassCase> cases = {
      {"S", typeid(TStringField), 11},     {"WS", typeid(TWideStringField), 13},
      {"FC", typeid(TStringField), 6},     {"SI", typeid(TSmallintField), 2},
      {"W", typeid(TWordField), 2},        {"I", typeid(TIntegerField), 4},
      {"AI", typeid(TAutoIncField), 4},    {"LI", typeid(TLargeintField), 8},
      {"B", typeid(TBooleanField), 2},     {"F", typeid(TFloatField), 8},
      {"C", typeid(TCurrencyField), 8},    {"BCD", typeid(TBCDField), 34},
      {"D", typeid(TDateField), 4},        {"T", typeid(TTimeField), 4},
      {"DT", typeid(TDateTimeField), 8},   {"BY", typeid(TBytesField), 4},
      {"VB", typeid(TVarBytesField), 8},   {"BL", typeid(TBlobField), 0},
      {"M", typeid(TMemoField), 0},
  };
  int fieldNo = 1;
  for (const ClassCase& c : cases) {
    SCOPED_TRACE(c.Field);
    TField* field = F(c.Field);
    EXPECT_EQ(typeid(*field), c.Class);
    EXPECT_EQ(field->GetDataSize(), c.DataSize);
    EXPECT_EQ(field->GetFieldNo(), fieldNo++);
    EXPECT_EQ(field->GetFieldKind(), fkData);
    EXPECT_EQ(field->GetDataSet(), ds);
  }
  EXPECT_EQ(F("FC")->GetDataType(), ftFixedChar);
  EXPECT_EQ(ds->GetBlobFieldCount(), 2);
  EXPECT_EQ(F("BL")->GetOffset(), 0);
  EXPECT_EQ(F("M")->GetOffset(), 1);
}

struct TextCase {
  const char* Field;
  const char* Input;
  const char* Text;
  TVarType Kind;
};

TEST_F(FieldTest, TextAndVariantRoundTrips) {
  const std::vector<TextCase> cases = {
      {"S", "hello", "hello", varString},
      {"WS", "añb", "añb", varString},
      {"FC", "abc", "abc", varString},
      {"SI", "-32768", "-32768", varSmallint},
      {"W", "65535", "65535", varWord},
      {"I", " 123 ", "123", varInteger},
      {"AI", "7", "7", varInteger},
      {"LI", "9000000000", "9000000000", varInt64},
      {"B", "true", "True", varBoolean},
      {"B", "f", "False", varBoolean},
      {"F", "1.5", "1.5", varDouble},
      {"C", "2.25", "2.25", varDouble},
      {"BCD", "12.345", "12.35", varCurrency},
      {"BCD", "-0.004", "0", varCurrency},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(std::string(c.Field) + " <- " + c.Input);
    TField* field = F(c.Field);
    field->SetAsString(c.Input);
    EXPECT_EQ(field->GetAsString(), c.Text);
    EXPECT_EQ(field->GetAsVariant().VType(), c.Kind);
    EXPECT_FALSE(field->GetIsNull());
    // The value survives a trip through a variant.
    const Variant v = field->GetAsVariant();
    field->Clear();
    EXPECT_TRUE(field->GetIsNull());
    field->SetAsVariant(v);
    EXPECT_EQ(field->GetAsString(), c.Text);
  }
}

TEST_F(FieldTest, NullValues) {
  for (const char* name : {"S", "I", "LI", "B", "F", "BCD", "D", "DT", "BY", "VB", "M", "BL"}) {
    SCOPED_TRACE(name);
    TField* field = F(name);
    EXPECT_TRUE(field->GetIsNull());
    EXPECT_TRUE(field->GetAsVariant().IsNull());
    EXPECT_EQ(field->GetAsString(), "");
  }
  EXPECT_EQ(F("I")->GetAsInteger(), 0);
  // Empty text clears a number but is a value for a text field.
  F("I")->SetAsInteger(5);
  F("I")->SetAsString("");
  EXPECT_TRUE(F("I")->GetIsNull());
  F("S")->SetAsString("");
  EXPECT_FALSE(F("S")->GetIsNull());
  F("S")->SetAsVariant(Unassigned());
  EXPECT_TRUE(F("S")->GetIsNull());
}

TEST_F(FieldTest, DatesAndTimesUseTheTimeStampForms) {
  std::int32_t day = 0;
  F("D")->SetAsDateTime(EncodeDate(1899, 12, 30));
  ASSERT_TRUE(F("D")->GetData(&day));
  EXPECT_EQ(day, DateDelta);
  F("D")->SetAsDateTime(EncodeDateTime(2024, 2, 29, 13, 0, 0, 0));  // the time is dropped
  EXPECT_DOUBLE_EQ(F("D")->GetAsDateTime(), EncodeDate(2024, 2, 29));
  std::int32_t msecs = 0;
  F("T")->SetAsDateTime(EncodeTime(1, 2, 3, 4));
  ASSERT_TRUE(F("T")->GetData(&msecs));
  EXPECT_EQ(msecs, 3723004);
  EXPECT_DOUBLE_EQ(F("T")->GetAsDateTime(), EncodeTime(1, 2, 3, 4));
  double stamp = 0;
  F("DT")->SetAsDateTime(EncodeDateTime(1899, 12, 30, 0, 0, 1, 0));
  ASSERT_TRUE(F("DT")->GetData(&stamp));
  EXPECT_DOUBLE_EQ(stamp, 693594.0 * 86400000.0 + 1000.0);
  EXPECT_EQ(F("DT")->GetAsVariant().VType(), varDate);
  // Text follows the format settings.
  F("D")->SetAsString(DateToStr(EncodeDate(2001, 7, 4)));
  EXPECT_DOUBLE_EQ(F("D")->GetAsDateTime(), EncodeDate(2001, 7, 4));
  EXPECT_THROW(F("D")->SetAsString("not a date"), EDatabaseError);
}

TEST_F(FieldTest, BcdKeepsItsScaleAndGoesThroughCurrency) {
  TBCDField* bcd = static_cast<TBCDField*>(F("BCD"));
  EXPECT_EQ(bcd->GetPrecision(), 10);
  EXPECT_EQ(bcd->GetSize(), 2);
  bcd->SetAsCurrency(StrToCurr("1234.5678"));
  TBcd native;
  ASSERT_TRUE(bcd->GetData(&native));
  EXPECT_EQ(BcdScale(native), 2);
  EXPECT_EQ(BcdToStr(native), "1234.57");
  EXPECT_EQ(bcd->GetAsCurrency(), StrToCurr("1234.57"));
  EXPECT_DOUBLE_EQ(bcd->GetAsFloat(), 1234.57);
  bcd->SetAsBCD(StrToBcd("-99.999"));
  EXPECT_EQ(bcd->GetAsString(), "-100");
  // Ten digits with two places leave eight for the integer part.
  EXPECT_THROW(bcd->SetAsString("123456789"), EDatabaseError);
  bcd->SetMinValue(Currency::FromInt(0));
  bcd->SetMaxValue(Currency::FromInt(100));
  EXPECT_THROW(bcd->SetAsCurrency(Currency::FromInt(101)), EDatabaseError);
}

TEST_F(FieldTest, TextIsCutAtACharacterBoundary) {
  F("S")->SetAsString("abcdefghij-too-long");
  EXPECT_EQ(F("S")->GetAsString(), "abcdefghij");
  F("S")->SetAsString("abcdefghi\xC3\xA9");  // "é" would straddle the tenth byte
  EXPECT_EQ(F("S")->GetAsString(), "abcdefghi");
  F("S")->SetAsString(std::string("ab\0cd", 5));
  EXPECT_EQ(F("S")->GetAsString(), "ab");
  // Size 4 counts UTF-16 units: the emoji takes two.
  F("WS")->SetAsString("a\xF0\x9F\x98\x80" "bcd");
  EXPECT_EQ(F("WS")->GetAsString(), "a\xF0\x9F\x98\x80" "b");
  F("WS")->SetAsString("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC");
  EXPECT_EQ(F("WS")->GetAsString(), "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC");
}

struct BadValueCase {
  const char* Name;
  std::function<void(MemDataSet*)> Assign;
  const char* Message;
};

TEST_F(FieldTest, BadValuesAreRefusedWithTheFieldNamed) {
  const std::vector<BadValueCase> cases = {
      {"smallint overflow", [](MemDataSet* d) { d->FieldByName("SI")->SetAsInteger(40000); },
       "40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767"},
      {"negative word", [](MemDataSet* d) { d->FieldByName("W")->SetAsInteger(-1); },
       "-1 is not a valid value for field 'W'. The allowed range is 0 to 65535"},
      {"integer text", [](MemDataSet* d) { d->FieldByName("I")->SetAsString("12x"); },
       "'12x' is not a valid integer value for field 'I'"},
      {"integer from a huge float", [](MemDataSet* d) { d->FieldByName("I")->SetAsFloat(1e12); },
       "1000000000000 is not a valid value for field 'I'. The allowed range is -2147483648 to 2147483647"},
      {"float text", [](MemDataSet* d) { d->FieldByName("F")->SetAsString("1,5x"); },
       "'1,5x' is not a valid floating point value for field 'F'"},
      {"boolean text", [](MemDataSet* d) { d->FieldByName("B")->SetAsString("maybe"); },
       "'maybe' is not a valid boolean value for field 'B'"},
      {"bytes too long", [](MemDataSet* d) { d->FieldByName("BY")->SetAsBytes({1, 2, 3, 4, 5}); },
       "Invalid value for field 'BY'"},
      {"blob as integer", [](MemDataSet* d) { d->FieldByName("BL")->SetAsInteger(1); },
       "Cannot access field 'BL' as type Integer"},
  };
  for (const BadValueCase& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      c.Assign(ds);
      FAIL() << "accepted";
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
  }
  EXPECT_TRUE(F("SI")->GetIsNull());
  EXPECT_TRUE(F("I")->GetIsNull());
  F("LI")->SetAsLargeInt(9000000000);
  EXPECT_THROW(F("LI")->GetAsInteger(), EDatabaseError);
  static_cast<TIntegerField*>(F("I"))->SetMinValue(1);
  static_cast<TIntegerField*>(F("I"))->SetMaxValue(10);
  EXPECT_THROW(F("I")->SetAsInteger(11), EDatabaseError);
  F("I")->SetAsInteger(10);
  EXPECT_EQ(F("I")->GetAsInteger(), 10);
}

TEST_F(FieldTest, BinaryFields) {
  F("BY")->SetAsBytes({1, 2});
  EXPECT_EQ(F("BY")->GetAsBytes(), (TBytes{1, 2, 0, 0}));
  F("VB")->SetAsBytes({9, 8, 7});
  EXPECT_EQ(F("VB")->GetAsBytes(), (TBytes{9, 8, 7}));
  const Variant v = F("VB")->GetAsVariant();
  ASSERT_TRUE(v.IsArray());
  EXPECT_EQ(v.HighBound(1), 2);
  EXPECT_EQ(v.GetElement(2).AsInteger(), 7);
  F("VB")->Clear();
  F("VB")->SetAsVariant(v);
  EXPECT_EQ(F("VB")->GetAsBytes(), (TBytes{9, 8, 7}));
  EXPECT_THROW(F("VB")->SetAsBytes(TBytes(7, 1)), EDatabaseError);
}

TEST_F(FieldTest, BlobAndMemoFieldsGoThroughStreams) {
  auto* memo = static_cast<TMemoField*>(F("M"));
  auto* blob = static_cast<TBlobField*>(F("BL"));
  memo->SetAsString("a long text");
  EXPECT_TRUE(memo->GetModified());
  EXPECT_EQ(memo->GetAsString(), "a long text");
  EXPECT_EQ(memo->GetBlobSize(), 11);
  EXPECT_EQ(memo->GetAsVariant().VType(), varString);
  TStringStream in(std::string("\x00\x01\x02", 3));
  blob->LoadFromStream(&in);
  EXPECT_EQ(blob->GetAsBytes(), (TBytes{0, 1, 2}));
  ds->Post();
  EXPECT_FALSE(memo->GetModified());
  EXPECT_EQ(ds->StoredValue(0, "M").AsString(), "a long text");
  ds->Close();
  ds->Open();
  EXPECT_EQ(F("M")->GetAsString(), "a long text");
  EXPECT_EQ(F("BL")->GetAsVariant().HighBound(1), 2);
  TStringStream out;
  static_cast<TBlobField*>(F("BL"))->SaveToStream(&out);
  EXPECT_EQ(out.DataString(), std::string("\x00\x01\x02", 3));
  // Writing needs edit mode; clearing makes it null.
  EXPECT_THROW(F("M")->SetAsString("x"), EDatabaseError);
  ds->Edit();
  F("M")->Clear();
  EXPECT_TRUE(F("M")->GetIsNull());
  ds->Post();
  EXPECT_TRUE(F("M")->GetIsNull());
}

// ---- validation and change events ---------------------------------------------------------

TEST_F(FieldTest, OnValidateSeesThePendingValueAndCanRefuseIt) {
  std::vector<std::string> seen;
  F("I")->SetAsInteger(1);
  F("I")->SetOnValidate([&](TField* f) {
    seen.push_back(f->GetAsString());
    if (f->GetAsInteger() < 0) throw EDatabaseError("negative");
  });
  F("I")->SetAsInteger(5);
  EXPECT_THROW(F("I")->SetAsInteger(-5), EDatabaseError);
  EXPECT_EQ(F("I")->GetAsInteger(), 5);
  EXPECT_EQ(seen, (std::vector<std::string>{"5", "-5"}));
  // A converted type: the pending native value reads in its value form.
  TDateTime pending;
  F("DT")->SetOnValidate([&](TField* f) { pending = f->GetAsDateTime(); });
  F("DT")->SetAsDateTime(EncodeDate(2020, 1, 2));
  EXPECT_DOUBLE_EQ(pending, EncodeDate(2020, 1, 2));
  bool sawNull = false;
  F("DT")->SetOnValidate([&](TField* f) { sawNull = f->GetIsNull(); });
  F("DT")->Clear();
  EXPECT_TRUE(sawNull);
}

TEST_F(FieldTest, OnChangeFollowsTheStoredValue) {
  std::vector<std::string> changes;
  F("S")->SetOnChange([&](TField* f) { changes.push_back(f->GetAsString()); });
  F("S")->SetAsString("one");
  F("S")->SetAsString("two");
  EXPECT_EQ(changes, (std::vector<std::string>{"one", "two"}));
  EXPECT_TRUE(ds->GetModified());
}

TEST_F(FieldTest, ReadOnlyFieldRefusesValues) {
  F("S")->SetReadOnly(true);
  try {
    F("S")->SetAsString("x");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Types: Field 'S' cannot be modified");
  }
  EXPECT_FALSE(F("S")->GetCanModify());
  EXPECT_TRUE(F("I")->GetCanModify());
}

TEST_F(FieldTest, DisplayTexts) {
  F("F")->SetAsFloat(1.5);
  static_cast<TFloatField*>(F("F"))->SetDisplayFormat("0.00");
  EXPECT_EQ(F("F")->GetDisplayText(), "1.50");
  EXPECT_EQ(F("F")->GetAsString(), "1.5");
  auto* b = static_cast<TBooleanField*>(F("B"));
  b->SetDisplayValues("Yes;No");
  b->SetAsString("n");
  EXPECT_FALSE(b->GetAsBoolean());
  EXPECT_EQ(b->GetAsString(), "No");
  b->SetAsString("YES");
  EXPECT_TRUE(b->GetAsBoolean());
  F("I")->SetAsInteger(3);
  F("I")->SetOnGetText([](TField* f, std::string& text, bool display) {
    text = (display ? "#" : "") + std::to_string(f->GetAsInteger());
  });
  EXPECT_EQ(F("I")->GetDisplayText(), "#3");
  EXPECT_EQ(F("I")->GetText(), "3");
  F("M")->SetAsString("x");
  EXPECT_EQ(F("M")->GetDisplayText(), "(MEMO)");
}

TEST_F(FieldTest, FieldListsAndValues) {
  try {
    ds->FieldByName("NOPE");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Types: Field 'NOPE' not found");
  }
  EXPECT_EQ(ds->FindField("s"), F("S"));  // names ignore case
  std::vector<TField*> list;
  ds->GetFieldList(list, "I; S ;;F");
  EXPECT_EQ(list, (std::vector<TField*>{F("I"), F("S"), F("F")}));
  ds->SetFieldValues("I;S", VarArrayOf({Variant(4), Variant("four")}));
  const Variant both = ds->GetFieldValues("I;S");
  EXPECT_EQ(both.GetElement(0).AsInteger(), 4);
  EXPECT_EQ(both.GetElement(1).AsString(), "four");
  EXPECT_THROW(ds->SetFieldValues("I;S", Variant(1)), EDatabaseError);
  TStringList names;
  ds->GetFieldNames(&names);
  EXPECT_EQ(names.Count(), 19);
  EXPECT_EQ(names.Strings(0), "S");
}

// ---- persistent, calculated and lookup fields ---------------------------------------------

class CalcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    customers = new MemDataSet(nullptr);
    customers->AddColumn("ID", ftInteger);
    customers->AddColumn("NAME", ftString, 20);
    customers->AddRow({1, "Acme"});
    customers->AddRow({2, "Globex"});
    customers->Open();

    orders = new MemDataSet(nullptr);
    orders->SetName("Orders");
    orders->AddColumn("ID", ftInteger);
    orders->AddColumn("CUST", ftInteger);
    orders->AddColumn("QTY", ftInteger);
    orders->AddColumn("PRICE", ftFloat);
    orders->AddRow({10, 1, 3, 2.5});
    orders->AddRow({11, 2, 1, 10.0});
    for (const char* name : {"ID", "CUST", "QTY"}) Make<TIntegerField>(name);
    Make<TFloatField>("PRICE");
    total = Make<TFloatField>("TOTAL", fkCalculated);
    custName = Make<TStringField>("CUSTNAME", fkLookup);
    custName->SetSize(20);
    custName->SetLookupDataSet(customers);
    custName->SetKeyFields("CUST");
    custName->SetLookupKeyFields("ID");
    custName->SetLookupResultField("NAME");
    orders->SetOnCalcFields([this](TDataSet* d) {
      ++calcCount;
      total->SetAsFloat(d->FieldByName("QTY")->GetAsInteger() * d->FieldByName("PRICE")->GetAsFloat());
    });
  }
  void TearDown() override {
    delete orders;
    delete customers;
  }
  template <class T>
  T* Make(const char* name, TFieldKind kind = fkData) {
    T* field = TComponent::Create<T>(orders);
    field->SetFieldName(name);
    field->SetFieldKind(kind);
    field->SetDataSet(orders);
    return field;
  }

  MemDataSet* customers = nullptr;
  MemDataSet* orders = nullptr;
  TField* total = nullptr;
  TStringField* custName = nullptr;
  int calcCount = 0;
};

TEST_F(CalcTest, CalculatedAndLookupFieldsGetSlotsAndValues) {
  orders->Open();
  EXPECT_FALSE(orders->GetDefaultFields());
  EXPECT_EQ(orders->GetCalcFieldsSize(), (8 + 1) + (21 + 1));
  EXPECT_EQ(total->GetOffset(), 0);
  EXPECT_EQ(custName->GetOffset(), 9);
  EXPECT_EQ(total->GetFieldNo(), -1);
  EXPECT_EQ(custName->GetFieldNo(), -1);
  EXPECT_DOUBLE_EQ(total->GetAsFloat(), 7.5);
  EXPECT_EQ(custName->GetAsString(), "Acme");
  orders->Next();
  EXPECT_DOUBLE_EQ(total->GetAsFloat(), 10.0);
  EXPECT_EQ(custName->GetAsString(), "Globex");
  // Editing recomputes them as the data fields change.
  orders->Edit();
  orders->FieldByName("QTY")->SetAsInteger(4);
  EXPECT_DOUBLE_EQ(total->GetAsFloat(), 40.0);
  orders->FieldByName("CUST")->SetAsInteger(1);
  EXPECT_EQ(custName->GetAsString(), "Acme");
  orders->FieldByName("CUST")->SetAsInteger(3);
  EXPECT_TRUE(custName->GetIsNull());
  orders->Cancel();
  EXPECT_EQ(custName->GetAsString(), "Globex");
  // Calculated fields cannot be written outside the calculation.
  EXPECT_THROW(total->SetAsFloat(1), EDatabaseError);
  EXPECT_TRUE(total->GetOldValue().IsNull());
}

TEST_F(CalcTest, AutoCalcFieldsOffLeavesEditsUncalculated) {
  orders->Open();
  orders->SetAutoCalcFields(false);
  orders->Edit();
  const int before = calcCount;
  orders->FieldByName("QTY")->SetAsInteger(100);
  EXPECT_EQ(calcCount, before);
  EXPECT_DOUBLE_EQ(total->GetAsFloat(), 7.5);
  orders->Post();
  EXPECT_DOUBLE_EQ(total->GetAsFloat(), 250.0);
}

TEST_F(CalcTest, BindingChecksFieldsAgainstTheDefinitions) {
  struct Case {
    const char* Name;
    std::function<void()> Break;
    const char* Message;
  };
  const std::vector<Case> cases = {
      {"unknown data field", [this] { Make<TIntegerField>("MISSING"); }, "Orders: Field 'MISSING' not found"},
      {"wrong type",
       [this] {
         delete orders->FieldByName("QTY");
         Make<TStringField>("QTY");
       },
       "Orders: Type mismatch for field 'QTY', expecting: String actual: Integer"},
      {"incomplete lookup", [this] { custName->SetLookupResultField(""); },
       "Orders: Lookup information for field 'CUSTNAME' is incomplete"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TearDown();
    SetUp();
    c.Break();
    try {
      orders->Open();
      FAIL() << "opened";
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
    EXPECT_FALSE(orders->GetActive());
  }
}

TEST(FieldSizeTest, APersistentTextFieldMustMatchItsColumnSize) {
  auto* ds = new MemDataSet(nullptr);
  ds->AddColumn("NAME", ftString, 30);
  auto* name = TComponent::Create<TStringField>(ds);
  name->SetFieldName("NAME");
  name->SetSize(10);
  name->SetDataSet(ds);
  try {
    ds->Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Size mismatch for field 'NAME', expecting: 10 actual: 30");
  }
  delete ds;
}

TEST(FieldOwnershipTest, FieldsAndDataSets) {
  auto* ds = new MemDataSet(nullptr);
  ds->AddColumn("A", ftInteger);
  auto* a = TComponent::Create<TIntegerField>(nullptr);
  a->SetFieldName("A");
  a->SetDataSet(ds);
  auto* dup = TComponent::Create<TIntegerField>(nullptr);
  dup->SetFieldName("a");
  EXPECT_THROW(dup->SetDataSet(ds), EDatabaseError);
  auto* unnamed = TComponent::Create<TIntegerField>(nullptr);
  EXPECT_THROW(unnamed->SetDataSet(ds), EDatabaseError);
  ds->Open();
  EXPECT_THROW(dup->SetDataSet(ds), EDatabaseError);
  EXPECT_THROW(a->SetFieldName("B"), EDatabaseError);
  ds->Close();
  // Freeing a field takes it out of its dataset; freeing the dataset frees its fields.
  delete dup;
  delete unnamed;
  delete ds;
}

}  // namespace
