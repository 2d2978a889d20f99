// Sessions, handles, transactions, named databases, logins, exclusive opens and the small
// utility functions.
#include "tests/engines/rcx/rcx_fixture.h"

#include <climits>
#include <fstream>

namespace rcxtest {
namespace {

class SessionTest : public RcxTest {};

TEST_F(SessionTest, BadHandlesGiveTheirStatusInEveryFamily) {
  std::uint32_t t = makeTable("T", {{"ID", kInteger, 4}});
  std::uint32_t ses2 = 0, db2 = 0;
  ASSERT_EQ(VoskBeginSession(&ses2, "", "", ""), 0);
  ASSERT_EQ(VoskOpenDatabase(ses2, dbString("TESTDB").c_str(), &db2, 0, "", ""), 0);
  std::uint32_t closedTable = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "T", 0, 0, &closedTable), 0);
  ASSERT_EQ(VoskCloseTable(ses, closedTable), 0);
  char buf[8];
  std::uint32_t n;
  std::int32_t v;
  std::uint32_t out;
  struct Case {
    const char* what;
    std::int32_t got;
    std::int32_t want;
  } cases[] = {
      {"session 0", VoskSetSessionOption(0, 2, 1), -1104},
      {"table as session", VoskSetTransact(t, RCX_LOGGING_ON, "x"), -1104},
      {"unknown database", VoskCloseDatabase(ses, 987654), -1010},
      {"database of another session", VoskCloseDatabase(ses, db2), -1010},
      {"session as database", VoskIsDatabaseSecured(ses, &v), -1010},
      {"closed table", VoskMove(ses, closedTable, RCX_MoveFirst), -1310},
      {"database as table", VoskRetrieveColumn(ses, db, 1, buf, 8, &n, nullptr), -1310},
      {"table of another session", VoskMove(ses2, t, RCX_MoveFirst), -1310},
      {"table with unknown session", VoskMove(987654, t, RCX_MoveFirst), -1104},
      {"table alone", VoskGetRecordCount(0, &v), -1310},
      {"column id 0", VoskGetBlobSize(t, 0, &out), -1517},
      {"column id past the end", VoskRetrieveColumn(ses, t, 2, buf, 8, &n, nullptr), -1517},
      {"open with no handle address", VoskOpenTable(ses, db, "T", 0, 0, nullptr), -1003},
      {"unknown table", VoskOpenTable(ses, db, "Nope", 0, 0, &out), -1305},
      {"unknown open mode", VoskOpenTable(ses, db, "T", 0, 5, &out), -1003},
      {"list with wrong size", VoskGetDatabaseTableInfo(ses, db, nullptr), -1003},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  VoskEndSession(ses2);
  // An ended session's handles are gone with it.
  EXPECT_EQ(VoskCloseDatabase(ses2, db2), -1010);
  EXPECT_EQ(VoskEndSession(ses2), -1104);
}

TEST_F(SessionTest, SessionOptions) {
  EXPECT_EQ(VoskSetSessionOption(ses, 6, 0), 0);
  EXPECT_EQ(VoskSetSessionOption(ses, 2, 2), 0);
  EXPECT_EQ(VoskSetSessionOption(ses, 6, 7), -1003);
  EXPECT_EQ(VoskSetSessionOption(ses, 2, -1), -1003);
  EXPECT_EQ(VoskSetSessionOption(ses, 99, 0), -1114);
}

TEST_F(SessionTest, SavePointsNestCommitAndRollBack) {
  std::uint32_t h = makeTable("T", {{"ID", kInteger, 4}, {"S", kString, 10}});
  auto add = [&](int id) { ASSERT_EQ(insertIntText(h, id, "x", 10), 0); };
  auto ids = [&] { return walkInts(h, 1); };
  // The save-point name protocol: a name in use is refused, the next one is taken.
  ASSERT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, "Database1"), 0);
  EXPECT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, "DATABASE1"), -3054);
  ASSERT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, "Database10"), 0);
  add(1);
  ASSERT_EQ(VoskSetTransact(ses, RCX_SAVEPOINT, "inner"), 0);
  add(2);
  ASSERT_EQ(VoskSetTransact(ses, RCX_ROLLBACK, "inner"), 0);
  EXPECT_EQ(ids(), (std::vector<std::int32_t>{1}));
  ASSERT_EQ(VoskSetTransact(ses, RCX_COMMIT, "Database10"), 0);
  add(3);
  ASSERT_EQ(VoskSetTransact(ses, RCX_ROLLBACK, "Database1"), 0);  // everything since the start
  EXPECT_EQ(ids(), (std::vector<std::int32_t>{}));
  EXPECT_EQ(VoskSetTransact(ses, RCX_COMMIT, "Database1"), -3051);
  EXPECT_EQ(VoskSetTransact(ses, RCX_SAVEPOINT, "x"), -3050);
  EXPECT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, ""), -1002);
  EXPECT_EQ(VoskSetTransact(ses, 77, "x"), -1003);

  // A batch: groups committed before a failure stay, the open group goes.
  ASSERT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, "Batch"), 0);
  for (int i = 1; i <= 7; ++i) {
    add(i);
    if (i % 3 == 0) {
      ASSERT_EQ(VoskSetTransact(ses, RCX_COMMIT, "Batch"), 0);
      ASSERT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, "Batch"), 0);
    }
  }
  ASSERT_EQ(VoskSetTransact(ses, RCX_ROLLBACK, "Batch"), 0);
  EXPECT_EQ(ids(), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));

  // Emptying a table in a transaction and rolling back restores it.
  ASSERT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, "Empty"), 0);
  while (VoskMove(ses, h, RCX_MoveFirst) == 0) ASSERT_EQ(VoskDeleteRecord(ses, h), 0);
  EXPECT_EQ(ids(), (std::vector<std::int32_t>{}));
  ASSERT_EQ(VoskSetTransact(ses, RCX_ROLLBACK, "Empty"), 0);
  EXPECT_EQ(ids().size(), 6u);
  // Auto-commit ends an open transaction keeping its work; logging off discards it.
  ASSERT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, "A"), 0);
  add(8);
  ASSERT_EQ(VoskSetTransact(ses, RCX_AUTO_COMMIT, nullptr), 0);
  ASSERT_EQ(VoskSetTransact(ses, RCX_LOGGING_ON, "B"), 0);
  add(9);
  ASSERT_EQ(VoskSetTransact(ses, RCX_LOGGING_OFF, nullptr), 0);
  EXPECT_EQ(ids().size(), 7u);
}

TEST_F(SessionTest, NamedDatabases) {
  TSqlDbFlags flags = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::string dict = home.dir() + "/mydata";
  ASSERT_EQ(SQLAddDatabaseName2("MYDB", flags, std::int32_t(dict.size() + 1), dict.c_str(), 1, "", 0, "", ""), 0);
  EXPECT_EQ(SQLAddDatabaseName2("mydb", flags, 1, "", 1, "", 0, "", ""), 2303);
  char d[513], p[513];
  std::int32_t dl = 513, pl = 513;
  TSqlDbFlags got{};
  ASSERT_EQ(SQLGetDatabaseInfo2("MyDb", got, &dl, d, &pl, p, "", ""), 0);
  EXPECT_EQ(std::string(d), dict);
  EXPECT_EQ(dl, std::int32_t(dict.size() + 1));
  EXPECT_EQ(std::string(p), "");
  EXPECT_EQ(got[0], 1);  // BOUND
  EXPECT_EQ(got[1], 0);  // INTEGRITY
  dl = 4;
  EXPECT_EQ(SQLGetDatabaseInfo2("MyDb", got, &dl, d, &pl, p, "", ""), 2302);
  EXPECT_EQ(dl, std::int32_t(dict.size() + 1));
  // Modify a name the store does not know: 2301, the caller then adds it.
  EXPECT_EQ(SQLModifyDatabaseInfo2("OTHER", "OTHER", 1, "", 1, "", flags, "", ""), 2301);
  TSqlDbFlags integrity = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(SQLModifyDatabaseInfo2("MYDB", "MYDB", std::int32_t(dict.size() + 1), dict.c_str(), 1, "", integrity, "", ""), 0);
  dl = pl = 513;
  ASSERT_EQ(SQLGetDatabaseInfo2("MYDB", got, &dl, d, &pl, p, "", ""), 0);
  EXPECT_EQ(got[1], 1);
  // A length shorter than the text ends the path there; a path is never read past it.
  char noZero[4] = {'a', 'b', 'c', 'd'};
  ASSERT_EQ(SQLAddDatabaseName2("CUT", flags, 2, noZero, 1, "", 0, "", ""), 0);
  dl = pl = 513;
  ASSERT_EQ(SQLGetDatabaseInfo2("CUT", got, &dl, d, &pl, p, "", ""), 0);
  EXPECT_EQ(std::string(d), "ab");
  // Opened databases cannot be dropped; closed ones can.
  std::uint32_t h = 0;
  ASSERT_EQ(VoskOpenDatabase(ses, dbString("MYDB").c_str(), &h, 0, "", ""), 0);
  EXPECT_EQ(SQLDropDatabaseName2("MYDB", 0, "", ""), 2309);
  ASSERT_EQ(VoskCloseDatabase(ses, h), 0);
  EXPECT_EQ(SQLDropDatabaseName2("MYDB", 0, "", ""), 0);
  EXPECT_EQ(SQLDropDatabaseName2("MYDB", 0, "", ""), 2301);
  EXPECT_NE(SQLAddDatabaseName2("bad\tname", flags, 1, "", 1, "", 0, "", ""), 0);
}

TEST_F(SessionTest, OpeningDatabasesByHostAndName) {
  std::uint32_t h = 0;
  struct Case {
    std::string dbString;
    std::int32_t status;
  } cases[] = {
      {"TESTDB", 0},
      {"\tTESTDB", 0},
      {"localhost\ttestdb", 0},
      {"localhost\tNOSUCH", -1203},
      {"NOSERVER\tTESTDB", -1203},
      {"localhost\t", -1204},
      {"localhost\tA;B", -1204},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VoskOpenDatabase(ses, c.dbString.c_str(), &h, 0, "", ""), c.status) << c.dbString;
    if (c.status != 0) {
      EXPECT_EQ(h, 0u);
    } else {
      VoskCloseDatabase(ses, h);
    }
  }
  EXPECT_EQ(VoskOpenDatabase(ses, "TESTDB", &h, 1, "", ""), -1003);
  // A simulated server has its own named databases.
  std::string server = home.dir() + "/servers/SRV1";
  std::filesystem::create_directories(server);
  setenv("KX_ENGINE_HOME", server.c_str(), 1);
  TSqlDbFlags flags = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(SQLAddDatabaseName2("REMOTE", flags, 1, "", 1, "", 0, "", ""), 0);
  setenv("KX_ENGINE_HOME", home.dir().c_str(), 1);
  EXPECT_EQ(VoskOpenDatabase(ses, "SRV1\tREMOTE", &h, 0, "", ""), 0);
  EXPECT_EQ(VoskOpenDatabase(ses, "localhost\tREMOTE", &h, 0, "", ""), -1203);
}

TEST_F(SessionTest, ExclusiveDatabasesAndTables) {
  std::uint32_t t = makeTable("T", {{"ID", kInteger, 4}});
  std::uint32_t ses2 = 0, db2 = 0, x = 0;
  ASSERT_EQ(VoskBeginSession(&ses2, "", "", ""), 0);
  EXPECT_EQ(VoskOpenDatabase(ses2, "TESTDB", &db2, RCX_OPEN_EXCLUSIVE, "", ""), -1207);
  ASSERT_EQ(VoskOpenDatabase(ses2, "TESTDB", &db2, 0, "", ""), 0);
  // Tables: an exclusive open needs the table to itself, and keeps it.
  std::uint32_t t2 = 0;
  EXPECT_EQ(VoskOpenTable(ses2, db2, "T", 0, RCX_TABLE_EXCLUSIVE, &t2), -1304);
  ASSERT_EQ(VoskCloseTable(ses, t), 0);
  ASSERT_EQ(VoskOpenTable(ses2, db2, "T", 0, RCX_TABLE_EXCLUSIVE | RCX_TABLE_READONLY, &t2), 0);
  EXPECT_EQ(VoskOpenTable(ses, db, "T", 0, 0, &x), -1302);
  EXPECT_EQ(VoskDeleteTable(ses, db, "T"), -4914);
  ASSERT_EQ(VoskCloseTable(ses2, t2), 0);
  ASSERT_EQ(VoskCloseDatabase(ses2, db2), 0);
  // The first session's database open still blocks an exclusive one elsewhere.
  EXPECT_EQ(VoskOpenDatabase(ses2, "TESTDB", &db2, RCX_OPEN_EXCLUSIVE, "", ""), -1207);
  ASSERT_EQ(VoskCloseDatabase(ses, db), 0);
  ASSERT_EQ(VoskOpenDatabase(ses2, "TESTDB", &db2, RCX_OPEN_EXCLUSIVE | RCX_OPEN_OEM, "", ""), 0);
  EXPECT_EQ(VoskOpenDatabase(ses, "TESTDB", &db, 0, "", ""), -1207);
  VoskEndSession(ses2);
  EXPECT_EQ(VoskOpenDatabase(ses, "TESTDB", &db, 0, "", ""), 0);
}

TEST_F(SessionTest, SecuredDatabasesCheckLogins) {
  std::int32_t secured = -1;
  ASSERT_EQ(VoskIsDatabaseSecured(db, &secured), 0);
  EXPECT_EQ(secured, 0);
  ASSERT_EQ(VoskSetDatabaseUser(ses, db, "ADM", "root!", 0), 0);  // the first user administers
  ASSERT_EQ(VoskSetDatabaseUser(ses, db, "bob", "pw", 0), 0);
  ASSERT_EQ(VoskIsDatabaseSecured(db, &secured), 0);
  EXPECT_EQ(secured & 0xFFFF, 1);
  std::uint32_t s2 = 0, d2 = 0;
  ASSERT_EQ(VoskBeginSession(&s2, "", "", ""), 0);
  struct Case {
    const char* user;
    const char* password;
    std::int32_t status;
  } cases[] = {
      {"", "", -4828},          {"eve", "pw", -1903},         {"bob", "PW", -1905},
      {"BOB", "pw", 0},         {"bob___ADM", "x___root!", 0}, {"bob___ADM", "x___wrong", -1905},
      {"nobody___ADM", "x___root!", 0},
  };
  for (const auto& c : cases) {
    d2 = 0;
    EXPECT_EQ(VoskOpenDatabase(s2, "TESTDB", &d2, 0, c.user, c.password), c.status) << c.user << "/" << c.password;
    if (c.status != 0) {
      EXPECT_FALSE(extText(c.status, s2).empty());
    }
    if (d2) VoskCloseDatabase(s2, d2);
  }
  // Only administrators change users.
  ASSERT_EQ(VoskOpenDatabase(s2, "TESTDB", &d2, 0, "bob", "pw"), 0);
  EXPECT_EQ(VoskSetDatabaseUser(s2, d2, "eve", "x", 0), -1907);
  EXPECT_EQ(VoskDropDatabaseUser(ses, db, "eve"), -1903);
  EXPECT_EQ(VoskDropDatabaseUser(ses, db, "bob"), 0);
  VoskEndSession(s2);
  // The session's own credentials are the default login.
  ASSERT_EQ(VoskBeginSession(&s2, "ADM", "root!", ""), 0);
  EXPECT_EQ(VoskOpenDatabase(s2, "TESTDB", &d2, 0, "", ""), 0);
  VoskEndSession(s2);
}

TEST_F(SessionTest, ExtendedErrorTexts) {
  std::uint32_t h = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "Missing", 0, 0, &h), -1305);
  EXPECT_NE(extText(-1305).find("Missing"), std::string::npos);
  EXPECT_EQ(extText(-1605), "Duplicate key value");  // no detail recorded: the general text
  EXPECT_EQ(extText(12345), "");
  char tiny[4];
  std::uint32_t len = 99;
  ASSERT_EQ(VoskGetExtErrStr(ses, -1305, tiny, sizeof tiny, &len), 0);
  EXPECT_EQ(len, 3u);
  EXPECT_EQ(tiny[3], '\0');
  EXPECT_EQ(VoskGetExtErrStr(ses, -1305, nullptr, 10, &len), -1003);
  // Without a session the calling thread's last failure is used.
  char buf[256];
  ASSERT_EQ(VoskGetExtErrStr(0, -1104, buf, sizeof buf, &len), 0);
  EXPECT_STRNE(buf, "");
}

TEST_F(SessionTest, IntPower10) {
  struct Case {
    std::int64_t value;
    std::int32_t power;
    std::int32_t ok;
    std::int64_t result;
  } cases[] = {
      {123400, -2, 1, 1234},      {1234, 2, 1, 123400},   {-15, -1, 1, -2},  // half away from zero
      {14, -1, 1, 1},             {-14, -1, 1, -1},       {5, 0, 1, 5},
      {1, 18, 1, 1000000000000000000LL}, {10, 18, 0, 10},  // overflow leaves the value alone
      {INT64_MAX, -30, 1, 0},     {0, 400, 1, 0},         {-922337203685477580LL, 1, 1, -9223372036854775800LL},
  };
  for (const auto& c : cases) {
    std::uint64_t u = std::uint64_t(c.value);
    std::uint16_t w[4] = {std::uint16_t(u), std::uint16_t(u >> 16), std::uint16_t(u >> 32), std::uint16_t(u >> 48)};
    std::int32_t r = VoskIntPower10(&w[0], &w[1], &w[2], &w[3], c.power);
    std::uint64_t back = std::uint64_t(w[0]) | (std::uint64_t(w[1]) << 16) | (std::uint64_t(w[2]) << 32) | (std::uint64_t(w[3]) << 48);
    EXPECT_EQ(r != 0, c.ok != 0) << c.value << "e" << c.power;
    EXPECT_EQ(std::int64_t(back), c.result) << c.value << "e" << c.power;
  }
  std::uint16_t w = 0;
  EXPECT_EQ(VoskIntPower10(&w, nullptr, &w, &w, 1), 0);
}

}  // namespace
}  // namespace rcxtest

namespace rcxtest {
namespace {

// A cursor that repositions sees what other sessions committed, even while another cursor of
// its session is in the middle of a walk.
TEST_F(SessionTest, RepositioningSeesOtherSessionsCommits) {
  std::uint32_t a = makeTable("T", {{"ID", kInteger, 4}, {"S", kString, 10}});
  for (int i = 1; i <= 3; ++i) ASSERT_EQ(insertIntText(a, i, "x", 10), 0);
  std::uint32_t b = 0;
  ASSERT_EQ(VoskOpenTable(ses, db, "T", 0, 0, &b), 0);
  ASSERT_EQ(VoskMove(ses, a, RCX_MoveFirst), 0);  // a walk in progress
  std::uint32_t s2 = 0, d2 = 0, t2 = 0;
  ASSERT_EQ(VoskBeginSession(&s2, "", "", ""), 0);
  ASSERT_EQ(VoskOpenDatabase(s2, "TESTDB", &d2, 0, "", ""), 0);
  ASSERT_EQ(VoskOpenTable(s2, d2, "T", 0, 0, &t2), 0);
  ASSERT_EQ(VoskInitUpdate(s2, t2, 0), 0);
  std::int32_t four = 4;
  ASSERT_EQ(VoskSetColumn(s2, t2, 1, &four, 4, 0, 0, nullptr), 0);
  ASSERT_EQ(VoskUpdateRecord(s2, t2), 0);
  EXPECT_EQ(walkInts(b, 1), (std::vector<std::int32_t>{1, 2, 3, 4}));
  // The first cursor goes on from where it was.
  ASSERT_EQ(VoskMove(ses, a, RCX_MoveNext), 0);
  EXPECT_EQ(getInt(a, 1), 2);
  VoskEndSession(s2);
}

}  // namespace
}  // namespace rcxtest
