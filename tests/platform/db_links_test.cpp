// Data sources, data links, master-detail, connections, definitions, parameters and the
// framework's helpers.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/platform/memdataset.h"

using namespace kxtest;

namespace {

using Strings = std::vector<std::string>;

// ---- master-detail ------------------------------------------------------------------------

class MasterDetailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    customers = new MemDataSet(nullptr);
    customers->SetName("Customers");
    customers->AddColumn("ID", ftInteger);
    customers->AddColumn("NAME", ftString, 10);
    customers->AddRow({1, "Acme"});
    customers->AddRow({2, "Globex"});
    customers->AddRow({3, "Initech"});
    master = new TDataSource(nullptr);
    master->SetDataSet(customers);
    orders = new MemDataSet(nullptr);
    orders->SetName("Orders");
    orders->AddColumn("ID", ftInteger);
    orders->AddColumn("CUST", ftInteger);
    for (int id : {10, 11, 12}) orders->AddRow({id, 1});
    orders->AddRow({20, 2});
    orders->SetDetailFields("CUST");
    orders->SetMasterFields("ID");
    orders->SetMasterSource(master);
  }
  void TearDown() override {
    delete orders;
    delete master;
    delete customers;
  }
  std::vector<int> OrderIds() {
    std::vector<int> ids;
    orders->First();
    while (!orders->GetEof()) {
      ids.push_back(orders->FieldByName("ID")->GetAsInteger());
      orders->Next();
    }
    orders->First();
    return ids;
  }

  MemDataSet* customers = nullptr;
  MemDataSet* orders = nullptr;
  TDataSource* master = nullptr;
};

TEST_F(MasterDetailTest, TheDetailFollowsTheMasterRecord) {
  customers->Open();
  orders->Open();
  EXPECT_EQ(orders->MasterLink()->GetFields().size(), 1u);
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 11, 12}));
  customers->Next();
  EXPECT_EQ(OrderIds(), (std::vector<int>{20}));
  customers->Next();
  EXPECT_TRUE(orders->IsEmpty());
  // A change of a linked master field moves the detail; other fields do not.
  customers->First();
  customers->Edit();
  orders->Log().clear();
  customers->FieldByName("NAME")->SetAsString("Acme Inc");
  EXPECT_TRUE(orders->Log().empty());
  customers->FieldByName("ID")->SetAsInteger(2);
  EXPECT_EQ(orders->FieldByName("ID")->GetAsInteger(), 20);
  customers->Cancel();
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 11, 12}));
  // Closing the master releases the detail.
  customers->Close();
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 11, 12, 20}));
}

TEST_F(MasterDetailTest, PendingDetailEditsArePostedBeforeTheMasterMoves) {
  customers->Open();
  orders->Open();
  orders->Edit();
  orders->FieldByName("ID")->SetAsInteger(13);
  customers->Next();
  EXPECT_EQ(orders->GetState(), dsBrowse);
  EXPECT_EQ(orders->StoredValue(0, "ID").AsInteger(), 13);
}

TEST_F(MasterDetailTest, MasterFieldsThatDoNotExistAreReported) {
  customers->Open();
  orders->Open();
  try {
    orders->SetMasterFields("NOPE");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Customers: Field 'NOPE' not found");
  }
  EXPECT_TRUE(orders->MasterLink()->GetFields().empty());
}

TEST_F(MasterDetailTest, CircularLinksAreRefused) {
  auto* detailSource = new TDataSource(nullptr);
  detailSource->SetDataSet(orders);
  const std::vector<std::pair<const char*, std::function<void()>>> attempts = {
      {"master of its own master", [&] { customers->SetMasterSource(detailSource); }},
      {"its own source", [&] { orders->SetMasterSource(detailSource); }},
      {"a source of a dataset that follows it", [&] { master->SetDataSet(orders); }},
  };
  for (const auto& [name, attempt] : attempts) {
    SCOPED_TRACE(name);
    try {
      attempt();
      FAIL() << "linked";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find("Circular datalinks are not allowed"), std::string::npos);
    }
  }
  EXPECT_EQ(orders->GetMasterSource(), master);
  EXPECT_EQ(master->GetDataSet(), customers);
  EXPECT_TRUE(customers->IsLinkedTo(detailSource));
  EXPECT_FALSE(orders->IsLinkedTo(master));
  EXPECT_TRUE(master->IsLinkedTo(orders));
  delete detailSource;
}

TEST_F(MasterDetailTest, FreeingTheMasterUnlinksTheDetail) {
  customers->Open();
  orders->Open();
  delete customers;
  customers = nullptr;
  EXPECT_EQ(master->GetDataSet(), nullptr);
  EXPECT_EQ(OrderIds(), (std::vector<int>{10, 11, 12, 20}));
  delete orders;
  orders = nullptr;
  EXPECT_EQ(master->LinkCount(), 0);
}

// ---- data sources -------------------------------------------------------------------------

TEST(DataSourceTest, StateChangesAndDataEvents) {
  auto* ds = new MemDataSet(nullptr);
  ds->AddColumn("ID", ftInteger);
  ds->AddRow({1});
  ds->AddRow({2});
  auto* source = new TDataSource(nullptr);
  Strings events;
  source->SetOnStateChange([&](TObject*) { events.push_back("state " + std::string(DataSetStateName(source->GetState()))); });
  source->SetOnDataChange([&](TObject*, TField* field) {
    events.push_back(field == nullptr ? "data" : "data " + field->GetFieldName());
  });
  source->SetDataSet(ds);
  ProbeLink link;
  link.SetDataSource(source);
  ds->Open();
  ds->Next();
  source->Edit();
  ds->FieldByName("ID")->SetAsInteger(5);
  ds->Post();
  EXPECT_EQ(events, (Strings{"state dsBrowse", "data", "state dsEdit", "data", "data ID", "state dsBrowse", "data"}));
  EXPECT_TRUE(link.GetActive());
  source->SetEnabled(false);
  EXPECT_EQ(source->GetState(), dsInactive);
  EXPECT_FALSE(link.GetActive());
  source->SetEnabled(true);
  EXPECT_TRUE(link.GetActive());
  source->SetAutoEdit(false);
  source->Edit();
  EXPECT_EQ(ds->GetState(), dsBrowse);
  link.SetReadOnly(true);
  ds->Edit();
  EXPECT_FALSE(link.GetEditing());
  ds->Cancel();
  // A source freed first leaves its links unattached.
  delete source;
  EXPECT_EQ(link.GetDataSource(), nullptr);
  EXPECT_FALSE(link.GetActive());
  delete ds;
}

// ---- connections --------------------------------------------------------------------------

class TestConnection : public TCustomConnection {
 public:
  using TCustomConnection::TCustomConnection;
  bool GetConnected() override { return FOpen; }
  Strings Log;
  bool Fail = false;

 protected:
  void DoConnect() override {
    Log.push_back("DoConnect");
    if (Fail) throw EDatabaseError("cannot connect");
    FOpen = true;
  }
  void DoDisconnect() override {
    Log.push_back("DoDisconnect");
    FOpen = false;
  }

 private:
  bool FOpen = false;
};

TEST(ConnectionTest, ConnectingDisconnectingAndClients) {
  auto* connection = TComponent::Create<TestConnection>(nullptr);
  auto add = [&](const char* name) { return [connection, name](TObject*) { connection->Log.push_back(name); }; };
  connection->SetBeforeConnect(add("BeforeConnect"));
  connection->SetAfterConnect(add("AfterConnect"));
  connection->SetBeforeDisconnect(add("BeforeDisconnect"));
  connection->SetAfterDisconnect(add("AfterDisconnect"));
  auto* ds = new MemDataSet(nullptr);
  ProbeDesigner designer;
  ds->SetDesigner(&designer);
  connection->RegisterClient(ds);
  connection->RegisterClient(ds);
  TObject other;
  connection->RegisterClient(&other, [&](TObject*, bool connecting) {
    connection->Log.push_back(connecting ? "client on" : "client off");
  });
  EXPECT_EQ(connection->DataSetCount(), 1);
  EXPECT_EQ(connection->DataSets(0), ds);
  EXPECT_THROW(connection->DataSets(1), EListError);
  connection->Open();
  connection->Open();
  connection->Close();
  EXPECT_EQ(connection->Log, (Strings{"BeforeConnect", "DoConnect", "client on", "AfterConnect", "BeforeDisconnect",
                                      "client off", "DoDisconnect", "AfterDisconnect"}));
  EXPECT_EQ(designer.Events, (Strings{"deConnectChange", "deConnectChange"}));
  connection->Fail = true;
  connection->Log.clear();
  EXPECT_THROW(connection->Open(), EDatabaseError);
  EXPECT_FALSE(connection->GetConnected());
  EXPECT_EQ(connection->Log, (Strings{"BeforeConnect", "DoConnect"}));
  connection->UnRegisterClient(ds);
  EXPECT_EQ(connection->DataSetCount(), 0);
  ds->SetDesigner(nullptr);
  delete ds;
  delete connection;
}

TEST(ConnectionTest, StoredConnectedAppliesWhenLoaded) {
  auto* connection = TComponent::Create<TestConnection>(nullptr);
  LoadComponents({connection}, [&] {
    connection->SetConnected(true);
    EXPECT_FALSE(connection->GetConnected());
  });
  EXPECT_TRUE(connection->GetConnected());
  delete connection;  // disconnects on the way
  // A dataset too; a failure while designing goes to its exception handler.
  auto* ds = new MemDataSet(nullptr);
  ds->AddColumn("ID", ftInteger);
  LoadComponents({ds}, [&] { ds->SetActive(true); });
  EXPECT_TRUE(ds->GetActive());
  delete ds;
  ds = new MemDataSet(nullptr);
  ds->SetDesigning(true);
  ds->SetBeforeOpen([](TDataSet*) { throw EDatabaseError("no"); });
  LoadComponents({ds}, [&] { ds->SetActive(true); });
  EXPECT_FALSE(ds->GetActive());
  EXPECT_EQ(ds->Log().back(), "InternalHandleException");
  delete ds;
}

// ---- field and index definitions ----------------------------------------------------------

class IndexedDataSet : public MemDataSet {
 public:
  using MemDataSet::MemDataSet;
  TIndexDefs* GetIndexDefs() { return &FIndexDefs; }
  int Updates = 0;

 protected:
  void UpdateIndexDefs() override {
    ++Updates;
    FIndexDefs.Clear();
    FIndexDefs.Add("ByNameCity", "Name;City", {});
    FIndexDefs.Add("ByName", "Name", {ixCaseInsensitive});
    FIndexDefs.Add("ByExpr", "", {})->SetExpression("upper(Name)");
    FIndexDefs.Add("Primary", "ID", {ixPrimary, ixUnique});
  }

 private:
  TIndexDefs FIndexDefs{this};
};

TEST(DefsTest, FieldDefinitions) {
  auto* ds = new MemDataSet(nullptr);
  ds->SetName("Defs");
  ds->AddColumn("ID", ftInteger, 0, true);
  ds->AddColumn("NAME", ftString, 20);
  TFieldDefs* defs = ds->GetFieldDefs();
  EXPECT_EQ(defs->Count(), 0);
  ds->Log().clear();
  defs->Update();  // reads the definitions without opening the dataset
  EXPECT_FALSE(ds->GetActive());
  EXPECT_EQ(ds->Log(), (Strings{"InternalInitFieldDefs", "InternalClose"}));
  ASSERT_EQ(defs->Count(), 2);
  EXPECT_TRUE(defs->GetUpdated());
  EXPECT_TRUE(defs->Find("id")->GetRequired());
  EXPECT_EQ(defs->Items(1)->GetSize(), 20);
  EXPECT_EQ(defs->Items(1)->GetFieldNo(), 2);
  EXPECT_EQ(defs->IndexOf("missing"), -1);
  try {
    defs->Find("missing");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Defs: Field 'missing' not found");
  }
  EXPECT_THROW(defs->Add("name", ftInteger), EDatabaseError);
  EXPECT_THROW(defs->Add("", ftInteger), EDatabaseError);
  EXPECT_THROW(defs->Add("X", ftInteger, -1), EDatabaseError);
  EXPECT_EQ(defs->Count(), 2);
  ds->DataEvent(dePropertyChange, 0);
  EXPECT_FALSE(defs->GetUpdated());
  TFieldDefs copy(nullptr);
  copy.Assign(defs);
  EXPECT_EQ(copy.Items(0)->GetName(), "ID");
  EXPECT_TRUE(copy.Items(0)->GetRequired());
  delete ds;
}

TEST(DefsTest, IndexDefinitions) {
  auto* ds = new IndexedDataSet(nullptr);
  ds->SetName("Indexed");
  TIndexDefs* defs = ds->GetIndexDefs();
  // The exact field list wins over a longer index that begins with it.
  EXPECT_EQ(defs->GetIndexForFields("name", false)->GetName(), "ByName");
  EXPECT_EQ(ds->Updates, 1);
  EXPECT_EQ(defs->GetIndexForFields("Name;City", false)->GetName(), "ByNameCity");
  EXPECT_EQ(defs->GetIndexForFields("Name;Ci", false), nullptr);
  EXPECT_EQ(defs->GetIndexForFields("Name;City", true), nullptr);
  EXPECT_EQ(defs->GetIndexForFields("", false), nullptr);
  EXPECT_EQ(defs->Find("primary")->GetFields(), "ID");
  try {
    defs->Find("Nope");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Indexed: Index 'Nope' not found");
  }
  try {
    defs->FindIndexForFields("City");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Indexed: No index for fields 'City'");
  }
  EXPECT_EQ(defs->IndexOf("BYEXPR"), 2);
  EXPECT_TRUE(defs->Items(2)->GetOptions().Contains(ixExpression));
  EXPECT_THROW(defs->Add("byname", "X", {}), EDatabaseError);
  TIndexDefs primary(nullptr);
  GetIndexDefs(*defs, {itPrimary}, primary);
  ASSERT_EQ(primary.Count(), 1);
  EXPECT_EQ(primary.Items(0)->GetName(), "Primary");
  TIndexDefs all(nullptr);
  GetIndexDefs(*defs, {itDefault}, all);
  EXPECT_EQ(all.Count(), 3);  // not the expression index
  EXPECT_EQ(ds->Updates, 1);
  defs->SetUpdated(false);
  defs->Update();
  EXPECT_EQ(ds->Updates, 2);
  delete ds;
}

// ---- parameters ---------------------------------------------------------------------------

struct ParseCase {
  const char* SQL;
  const char* Text;
  Strings Names;
};

TEST(ParamsTest, TheParserReplacesNamedParameters) {
  const std::vector<ParseCase> cases = {
      {"select * from t where a = :a and b=:B2", "select * from t where a = ? and b=?", {"a", "B2"}},
      {"where x = ':inside' and y = \":ident\"", "where x = ':inside' and y = \":ident\"", {}},
      {"a = :p or c = :p", "a = ? or c = ?", {"p", "p"}},
      {"v = :\"my param\"", "v = ?", {"my param"}},
      {"cast(x as int)::text, t = '12:30'", "cast(x as int):text, t = '12:30'", {}},
      {"-- :c\n:d /* :e */ :f", "-- :c\n? /* :e */ ?", {"d", "f"}},
      {"it''s = 'it''s :q'", "it''s = 'it''s :q'", {}},
      {"x = :", "x = :", {}},
      {"name = :n\xC3\xA4me", "name = ?", {"n\xC3\xA4me"}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.SQL);
    TParams params;
    EXPECT_EQ(params.ParseSQL(c.SQL, true), c.Text);
    Strings names;
    for (int i = 0; i < params.Count(); ++i) {
      names.push_back(params[i]->GetName());
      EXPECT_EQ(params[i]->GetParamType(), ptUnknown);
      EXPECT_EQ(params[i]->GetDataType(), ftUnknown);
    }
    EXPECT_EQ(names, c.Names);
    TParams none;
    EXPECT_EQ(none.ParseSQL(c.SQL, false), c.Text);
    EXPECT_EQ(none.Count(), 0);
  }
}

TEST(ParamsTest, ValuesByNameAndPosition) {
  TParams params;
  params.ParseSQL("a = :x or b = :y or c = :x", true);
  params.SetParamValues("x", Variant(5));
  EXPECT_EQ(params[0]->GetAsInteger(), 5);
  EXPECT_EQ(params[2]->GetAsInteger(), 5);  // every use of the name
  EXPECT_EQ(params[0]->GetDataType(), ftInteger);
  EXPECT_TRUE(params[0]->GetBound());
  EXPECT_FALSE(params[1]->GetBound());
  EXPECT_TRUE(params.ParamByName("Y")->GetIsNull());
  try {
    params.ParamByName("z");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Parameter 'z' not found");
  }
  TParams other;
  other.CreateParam(ftString, "y", ptInput)->SetAsString("why");
  other.CreateParam(ftString, "unused", ptInput)->SetAsString("-");
  params.AssignValues(&other);
  EXPECT_EQ(params[1]->GetAsString(), "why");
  EXPECT_EQ(params.Count(), 3);
  const Variant both = params.GetParamValues("x;y");
  EXPECT_EQ(both.GetElement(1).AsString(), "why");
  TParams copy;
  copy.Assign(&params);
  EXPECT_TRUE(copy.IsEqual(&params));
  copy[0]->SetAsInteger(6);
  EXPECT_FALSE(copy.IsEqual(&params));
}

TEST(ParamsTest, NativeFormsRoundTrip) {
  struct Case {
    TFieldType Type;
    Variant Value;
    int Size;
  };
  const std::vector<Case> cases = {
      {ftString, Variant("text"), 5},
      {ftSmallint, Variant(-3), 2},
      {ftWord, Variant(65000), 2},
      {ftInteger, Variant(123456), 4},
      {ftLargeint, Variant(static_cast<long long>(1) << 40), 8},
      {ftBoolean, Variant(true), 2},
      {ftFloat, Variant(2.5), 8},
      {ftCurrency, Variant(StrToCurr("7.25")), 8},
      {ftBCD, Variant(StrToBcd("12.34")), 34},
      {ftDate, Variant(EncodeDate(2020, 5, 17)), 4},
      {ftTime, Variant(EncodeTime(10, 20, 30, 0)), 4},
      {ftDateTime, Variant(EncodeDateTime(2020, 5, 17, 10, 20, 30, 0)), 8},
      {ftVarBytes, Variant(std::string("\x01\x02", 2)), 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(FieldTypeName(c.Type)));
    TParams params;
    TParam* p = params.CreateParam(c.Type, "p", ptInput);
    p->SetValue(c.Value);
    EXPECT_EQ(p->GetDataSize(), c.Size);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(p->GetDataSize()) + 8);
    p->GetData(buffer.data());
    TParam* q = params.CreateParam(c.Type, "q", ptInput);
    q->SetData(buffer.data());
    EXPECT_TRUE(VarSameValue(q->GetValue(), p->GetValue())) << VarToStr(q->GetValue());
  }
  std::vector<std::uint8_t> day(4);
  TParams params;
  TParam* date = params.CreateParam(ftDate, "d", ptInput);
  date->SetAsDateTime(EncodeDate(1899, 12, 30));
  date->SetDataType(ftDate);
  date->GetData(day.data());
  std::int32_t stamp;
  std::memcpy(&stamp, day.data(), 4);
  EXPECT_EQ(stamp, DateDelta);
  EXPECT_THROW(params.CreateParam(ftUnknown, "u", ptInput)->GetDataSize(), EDatabaseError);
  TParam* blob = params.CreateParam(ftBlob, "b", ptInput);
  blob->SetBlobData("\0blob", 5);
  EXPECT_EQ(blob->GetDataSize(), 5);
  EXPECT_EQ(blob->GetAsBytes(), (TBytes{0, 'b', 'l', 'o', 'b'}));
}

TEST(ParamsTest, ParametersFromFields) {
  auto* ds = new MemDataSet(nullptr);
  ds->AddColumn("PRICE", ftBCD, 2, false, 8);
  ds->AddColumn("NAME", ftString, 10);
  ds->AddRow({Variant(StrToCurr("9.99")), Null()});
  ds->Open();
  TParams params;
  TParam* price = params.AddParameter();
  price->AssignField(ds->FieldByName("PRICE"));
  EXPECT_EQ(price->GetName(), "PRICE");
  EXPECT_EQ(price->GetDataType(), ftBCD);
  EXPECT_EQ(price->GetPrecision(), 8);
  EXPECT_EQ(price->GetNumericScale(), 2);
  EXPECT_EQ(price->GetAsCurrency(), StrToCurr("9.99"));
  TParam* name = params.AddParameter();
  name->AssignFieldValue(ds->FieldByName("NAME"), Null());
  EXPECT_TRUE(name->GetIsNull());
  EXPECT_TRUE(name->GetBound());
  EXPECT_EQ(name->GetSize(), 10);
  ds->Edit();
  name->SetAsString("from param");
  ds->FieldByName("NAME")->Assign(name);
  EXPECT_EQ(ds->FieldByName("NAME")->GetAsString(), "from param");
  ds->Cancel();
  delete ds;
}

// ---- SQL helpers for providers ------------------------------------------------------------

TEST(SqlTextTest, TableNameFromSQL) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"select * from Orders", "Orders"},
      {"SELECT a, (select max(x) from Other) FROM dbo.Orders o WHERE a > 1", "dbo.Orders"},
      {"select * from \"My Table\" as t order by 1", "\"My Table\""},
      {"select * from a, b", ""},
      {"select * from a join b on a.id = b.id", ""},
      {"select * from a left outer join b on 1=1", ""},
      {"select * from (select 1) x", ""},
      {"update Customers set x = 1", "Customers"},
      {"delete from Orders where id = 3", "Orders"},
      {"insert into [Order Lines] values (1)", "[Order Lines]"},
      {"/* from x */ select -- from y\n * from z", "z"},
      {"select 1", ""},
      {"", ""},
  };
  for (const auto& [sql, table] : cases) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(GetTableNameFromSQL(sql), table);
  }
}

TEST(SqlTextTest, IndexForOrderBy) {
  auto* ds = new MemDataSet(nullptr);
  ds->AddColumn("ID", ftInteger);
  ds->AddColumn("NAME", ftString, 10);
  ds->Open();
  struct Case {
    const char* SQL;
    const char* Fields;  // nullptr: no index
    const char* DescFields;
    bool Descending;
  };
  const std::vector<Case> cases = {
      {"select * from t order by NAME", "NAME", "", false},
      {"select * from t order by t.NAME desc, \"ID\" asc", "NAME;ID", "NAME", false},
      {"select * from t order by 2 desc, 1 desc", "NAME;ID", "NAME;ID", true},
      {"select * from t where x in (select y from u order by y) ", nullptr, "", false},
      {"select * from t order by upper(NAME)", nullptr, "", false},
      {"select * from t order by 3", nullptr, "", false},
      {"select * from t order by ID limit 5", "ID", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.SQL);
    std::unique_ptr<TIndexDef> def = GetIndexForOrderBy(c.SQL, ds);
    if (c.Fields == nullptr) {
      EXPECT_EQ(def, nullptr);
      continue;
    }
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->GetFields(), c.Fields);
    EXPECT_EQ(def->GetDescFields(), c.DescFields);
    EXPECT_EQ(def->GetOptions().Contains(ixDescending), c.Descending);
  }
  delete ds;
}

// ---- errors, messages and names -----------------------------------------------------------

TEST(DbErrorsTest, DatabaseErrorNamesTheComponent) {
  auto* ds = new MemDataSet(nullptr);
  try {
    DatabaseError(SRecordNotFound, ds);
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Record not found");
  }
  ds->SetName("Sales");
  try {
    DatabaseErrorFmt(SFieldNotFound, {"X"}, ds);
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Sales: Field 'X' not found");
  }
  SetDbMessageText(SRecordNotFound, "Datensatz nicht gefunden");
  EXPECT_EQ(std::string(SRecordNotFound), "Datensatz nicht gefunden");
  EXPECT_TRUE(SetDbMessageText("SDataSetEmpty", "leer"));
  EXPECT_FALSE(SetDbMessageText("SNoSuchMessage", "x"));
  ResetDbMessageTexts();
  EXPECT_EQ(std::string(SRecordNotFound), "Record not found");
  EXPECT_EQ(std::string(SDataSetEmpty), "Cannot perform this operation on an empty dataset");
  for (std::size_t i = 0; i < DbMessageCount; ++i) {
    const TDbMessage m = *DbMessageAt(i);
    EXPECT_EQ(FindDbMessage(m.Name()), m);
    EXPECT_FALSE(m.DefaultText().empty());
  }
  delete ds;
}

TEST(DbNamesTest, EnumerationsPrintTheirNames) {
  EXPECT_EQ(DataSetStateName(dsCalcFields), "dsCalcFields");
  EXPECT_EQ(DataSetStateName(dsOpening), "dsOpening");
  EXPECT_EQ(DataEventName(deDisabledStateChange), "deDisabledStateChange");
  EXPECT_EQ(GetResultName(grEOF), "grEOF");
  EXPECT_EQ(GetModeName(gmPrior), "gmPrior");
  EXPECT_EQ(FieldTypeName(ftDataSet), "ftDataSet");
  EXPECT_EQ(static_cast<int>(ftDataSet), 29);
  EXPECT_EQ(static_cast<int>(ftWideString), 24);
  EXPECT_EQ(UpdateActionName(uaApplied), "uaApplied");
}

// ---- provider support defaults ------------------------------------------------------------

TEST(ProviderTest, BaseBehaviour) {
  auto* ds = new MemDataSet(nullptr);
  ds->SetName("P");
  ds->AddColumn("A", ftInteger);
  ds->AddColumn("B", ftInteger);
  ds->AddRow({1, 2});
  ds->AddRow({3, 4});
  ds->Open();
  ds->FieldByName("B")->SetProviderFlags({pfInKey, pfInWhere});
  EXPECT_EQ(ds->PSGetKeyFields(), "B");
  EXPECT_EQ(ds->PSGetQuoteChar(), "\"");
  EXPECT_FALSE(ds->PSIsSQLBased());
  EXPECT_FALSE(ds->PSUpdateRecord(ukModify, ds));
  EXPECT_THROW(ds->PSExecuteStatement("select 1", nullptr, nullptr), EDatabaseError);
  ds->Next();
  ds->PSReset();
  EXPECT_EQ(ds->FieldByName("A")->GetAsInteger(), 1);
  const EDatabaseError cause("engine says no");
  EUpdateError previous("before", "", 7, 0, nullptr);
  std::unique_ptr<EUpdateError> wrapped = ds->PSGetUpdateException(cause, &previous);
  EXPECT_EQ(wrapped->Message(), "engine says no");
  EXPECT_EQ(wrapped->PreviousError(), 7);
  ASSERT_NE(wrapped->OriginalException(), nullptr);
  EXPECT_EQ(wrapped->OriginalException()->Message(), "engine says no");
  EXPECT_NE(dynamic_cast<EDatabaseError*>(wrapped->OriginalException()), nullptr);
  delete ds;
}

}  // namespace
