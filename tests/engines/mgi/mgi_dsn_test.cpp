#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/engines/mgi/mgi_api.h"

namespace {

using kxtest::mgi;

std::string readFile(const std::string& p) {
  std::ifstream f(p);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void appendFile(const std::string& p, const std::string& text) { std::ofstream(p, std::ios::app) << text; }

class MgiDsn : public kxtest::MgiTest {
 protected:
  // The SQL session's two-step listing: a 2-byte buffer first, then the size asked for.
  std::string listDsns(std::int32_t h, std::uint16_t filter = KX_MGI_DSN_FILTER_TRUE) {
    std::vector<char> buf(2, '#');
    std::uint32_t len = 2;
    std::uint16_t s = mgi().KxListDSNs(h, &len, buf.data(), filter);
    if (s == KX_MGI_BUFFER_TOO_SMALL) {
      EXPECT_GT(len, 2u);
      buf.assign(len, '#');
      const std::uint32_t asked = len;
      s = mgi().KxListDSNs(h, &len, buf.data(), filter);
      EXPECT_EQ(len, asked) << "the length on success counts the zero, as the size asked for did";
    }
    EXPECT_EQ(s, 0);
    EXPECT_EQ(len, std::strlen(buf.data()) + 1);
    return buf.data();
  }

  struct Dsn {
    std::uint16_t status = 0;
    std::string description, database;
    std::int32_t mode = -99;
  };
  Dsn getEx(std::int32_t h, const char* name) {
    Dsn d;
    char desc[1024], db[1024];
    std::uint32_t dl = sizeof desc, bl = sizeof db;
    desc[0] = db[0] = '\0';
    d.status = mgi().KxGetDSNEx(h, name, &dl, desc, &bl, db, &d.mode);
    d.description = desc;
    d.database = db;
    return d;
  }

  std::string systemIni() const { return kxtest::odbcFolder().systemIni(); }
  std::string userIni() const { return kxtest::odbcFolder().userIni(); }
};

TEST_F(MgiDsn, LocalRoundTripThroughTheInstallerFiles) {
  const std::int32_t h = KX_MGI_LOCAL;
  EXPECT_EQ(listDsns(h), "");  // no DSN: the empty text, length 1
  EXPECT_EQ(mgi().KxCreateDSN(h, "Sales", "Sales figures", "SALESDB", KX_MGI_OPEN_EXCLUSIVE), 0);
  EXPECT_EQ(mgi().KxCreateDSN(h, "Stock", "", "STOCKDB", KX_MGI_OPEN_NORMAL), 0);
  EXPECT_EQ(listDsns(h), "Sales;Stock");

  // A system DSN of the engine driver, keys and open mode as the installer keeps them.
  const std::string ini = readFile(systemIni());
  EXPECT_NE(ini.find("[Sales]"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Kestrin ODBC Engine Interface"), std::string::npos) << ini;
  EXPECT_NE(ini.find("SALESDB"), std::string::npos) << ini;
  EXPECT_NE(ini.find("-4"), std::string::npos) << ini;

  Dsn d = getEx(h, "SALES");
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.description, "Sales figures");
  EXPECT_EQ(d.database, "SALESDB");
  EXPECT_EQ(d.mode, KX_MGI_OPEN_EXCLUSIVE);

  EXPECT_EQ(mgi().KxModifyDSN(h, "sales", "Changed", "OTHERDB", KX_MGI_OPEN_ACCELERATED), 0);
  d = getEx(h, "Sales");
  EXPECT_EQ(d.description, "Changed");
  EXPECT_EQ(d.database, "OTHERDB");
  EXPECT_EQ(d.mode, KX_MGI_OPEN_ACCELERATED);

  // The older entry gives the same texts without the mode.
  char desc[64], db[64];
  std::uint32_t dl = sizeof desc, bl = sizeof db;
  ASSERT_EQ(mgi().KxGetDSN(h, "Sales", &dl, desc, &bl, db), 0);
  EXPECT_STREQ(desc, "Changed");
  EXPECT_EQ(dl, 8u);
  EXPECT_STREQ(db, "OTHERDB");

  std::uint32_t count = 0;
  EXPECT_EQ(mgi().KxCountDSNs(h, &count, KX_MGI_DSN_FILTER_TRUE), 0);
  EXPECT_EQ(count, 2u);

  EXPECT_EQ(mgi().KxDeleteDSN(h, "SALES"), 0);
  EXPECT_EQ(mgi().KxDeleteDSN(h, "Sales"), KX_MGI_DSN_DOES_NOT_EXIST);
  EXPECT_EQ(getEx(h, "Sales").status, KX_MGI_DSN_DOES_NOT_EXIST);
  EXPECT_EQ(listDsns(h), "Stock");
  EXPECT_EQ(readFile(systemIni()).find("[Sales]"), std::string::npos);
}

TEST_F(MgiDsn, LocalListingCoversUserDsnsAndTheFilter) {
  // DSNs the SQL package's own path made: a user engine DSN and a system client DSN, plus a
  // DSN of another driver.
  appendFile(userIni(), "[Mine]\nDriver=Kestrin ODBC Engine Interface\nDBQ=MYDB\nOpenMode=1\n");
  appendFile(systemIni(),
             "[Client]\nDriver=Kestrin ODBC Client Interface\nServerName=srv.1583\nServerDSN=X\n"
             "[Foreign]\nDriver=SomeOtherDriver\nDatabase=x\n");
  EXPECT_EQ(listDsns(KX_MGI_LOCAL), "Client;Mine");
  EXPECT_EQ(listDsns(KX_MGI_LOCAL, KX_MGI_DSN_FILTER_FALSE), "Client;Foreign;Mine");
  std::uint32_t count = 0;
  EXPECT_EQ(mgi().KxCountDSNs(KX_MGI_LOCAL, &count, KX_MGI_DSN_FILTER_FALSE), 0);
  EXPECT_EQ(count, 3u);

  Dsn d = getEx(KX_MGI_LOCAL, "mine");
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.database, "MYDB");
  EXPECT_EQ(d.mode, KX_MGI_OPEN_READ_ONLY);
  EXPECT_EQ(getEx(KX_MGI_LOCAL, "Foreign").status, KX_MGI_DSN_DOES_NOT_EXIST);
  // A client DSN is read, but never turned into an engine DSN or made twice.
  d = getEx(KX_MGI_LOCAL, "Client");
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.mode, KX_MGI_OPEN_NORMAL);  // no OpenMode stored
  EXPECT_EQ(mgi().KxModifyDSN(KX_MGI_LOCAL, "Client", "", "DB", 0), KX_MGI_DSN_DOES_NOT_EXIST);
  EXPECT_EQ(mgi().KxCreateDSN(KX_MGI_LOCAL, "Client", "", "DB", 0), KX_MGI_DSN_ALREADY_EXIST);
  EXPECT_EQ(mgi().KxCreateDSN(KX_MGI_LOCAL, "MINE", "", "DB", 0), KX_MGI_DSN_ALREADY_EXIST);
  EXPECT_EQ(mgi().KxDeleteDSN(KX_MGI_LOCAL, "Foreign"), KX_MGI_DSN_DOES_NOT_EXIST);

  // Modify and delete act in the store that holds the DSN: here the user's.
  EXPECT_EQ(mgi().KxModifyDSN(KX_MGI_LOCAL, "Mine", "d", "NEWDB", KX_MGI_OPEN_NORMAL), 0);
  EXPECT_NE(readFile(userIni()).find("NEWDB"), std::string::npos);
  EXPECT_EQ(mgi().KxDeleteDSN(KX_MGI_LOCAL, "Mine"), 0);
  EXPECT_EQ(readFile(userIni()).find("[Mine]"), std::string::npos);
}

TEST_F(MgiDsn, RemoteRoundTripInTheServersFile) {
  makeServer("Srv1");
  const std::int32_t h = connect("Srv1");
  EXPECT_EQ(listDsns(h), "");
  EXPECT_EQ(mgi().KxCreateDSN(h, "Sales", "desc", "SALESDB", KX_MGI_OPEN_READ_ONLY), 0);
  EXPECT_EQ(mgi().KxCreateDSN(h, "Other", "", "", KX_MGI_OPEN_NORMAL), 0);
  EXPECT_EQ(listDsns(h), "Sales;Other");
  EXPECT_EQ(listDsns(KX_MGI_LOCAL), "") << "the server's DSNs are its own";

  const std::string ini = readFile(tmp.home() + "/servers/Srv1/odbc.ini");
  EXPECT_NE(ini.find("[Sales]\nDriver=Kestrin ODBC Engine Interface\nDescription=desc\nDBQ=SALESDB\nOpenMode=1\n"),
            std::string::npos)
      << ini;

  Dsn d = getEx(h, "sales");
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.mode, KX_MGI_OPEN_READ_ONLY);
  EXPECT_EQ(mgi().KxModifyDSN(h, "Sales", "new", "DB2", KX_MGI_OPEN_EXCLUSIVE), 0);
  d = getEx(h, "Sales");
  EXPECT_EQ(d.description, "new");
  EXPECT_EQ(d.mode, KX_MGI_OPEN_EXCLUSIVE);
  EXPECT_EQ(mgi().KxDeleteDSN(h, "sales"), 0);
  EXPECT_EQ(listDsns(h), "Other");

  // Another driver's DSN and a client DSN in the server's file: listed by the filter's rules,
  // never changed or deleted as engine DSNs.
  appendFile(tmp.home() + "/servers/Srv1/odbc.ini",
             "[Client]\nDriver=Kestrin ODBC Client Interface\n[Foreign]\nDriver=Other\n");
  EXPECT_EQ(listDsns(h), "Other;Client");
  EXPECT_EQ(listDsns(h, KX_MGI_DSN_FILTER_FALSE), "Other;Client;Foreign");
  EXPECT_EQ(mgi().KxModifyDSN(h, "Client", "", "DB", 0), KX_MGI_DSN_DOES_NOT_EXIST);
  EXPECT_EQ(mgi().KxDeleteDSN(h, "Foreign"), KX_MGI_DSN_DOES_NOT_EXIST);
  EXPECT_EQ(mgi().KxDeleteDSN(h, "Client"), 0);
  EXPECT_EQ(listDsns(h, KX_MGI_DSN_FILTER_FALSE), "Other;Foreign");
}

TEST_F(MgiDsn, StatusesLocalAndRemote) {
  makeServer("Srv1");
  const std::int32_t remote = connect("Srv1");
  for (const std::int32_t h : {static_cast<std::int32_t>(KX_MGI_LOCAL), remote}) {
    SCOPED_TRACE(h);
    ASSERT_EQ(mgi().KxCreateDSN(h, "Taken", "", "DB", 0), 0);
    struct Case {
      const char* what;
      std::uint16_t got;
      std::uint16_t want;
    } cases[] = {
        {"duplicate", mgi().KxCreateDSN(h, "TAKEN", "", "DB", 0), KX_MGI_DSN_ALREADY_EXIST},
        {"bad name", mgi().KxCreateDSN(h, "a;b", "", "DB", 0), KX_MGI_INVALID_NAME},
        {"empty name", mgi().KxCreateDSN(h, "", "", "DB", 0), KX_MGI_INVALID_NAME},
        {"long name", mgi().KxCreateDSN(h, std::string(33, 'd').c_str(), "", "DB", 0), KX_MGI_INVALID_NAME},
        {"mode 4", mgi().KxCreateDSN(h, "New", "", "DB", 4), KX_MGI_INVALID_OPEN_MODE},
        {"mode -1", mgi().KxModifyDSN(h, "Taken", "", "DB", -1), KX_MGI_INVALID_OPEN_MODE},
        {"line break", mgi().KxCreateDSN(h, "New", "a\nDriver=x", "DB", 0), KX_MGI_OUT_OF_RANGE},
        {"modify missing", mgi().KxModifyDSN(h, "Missing", "", "DB", 0), KX_MGI_DSN_DOES_NOT_EXIST},
        {"modify bad name", mgi().KxModifyDSN(h, "a;b", "", "DB", 0), KX_MGI_DSN_DOES_NOT_EXIST},
        {"delete missing", mgi().KxDeleteDSN(h, "Missing"), KX_MGI_DSN_DOES_NOT_EXIST},
        {"null", mgi().KxCreateDSN(h, "New", nullptr, "DB", 0), KX_MGI_NULL_PTR},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;

    // Too small buffers: both lengths tell the sizes needed.
    char desc[4], db[1];
    std::uint32_t dl = sizeof desc, bl = sizeof db;
    ASSERT_EQ(mgi().KxModifyDSN(h, "Taken", "long description", "DB", 0), 0);
    EXPECT_EQ(mgi().KxGetDSN(h, "Taken", &dl, desc, &bl, db), KX_MGI_BUFFER_TOO_SMALL);
    EXPECT_EQ(dl, 17u);
    EXPECT_EQ(bl, 3u);
    std::int32_t mode = 42;
    dl = sizeof desc;
    bl = sizeof db;
    EXPECT_EQ(mgi().KxGetDSNEx(h, "Taken", &dl, desc, &bl, db, &mode), KX_MGI_BUFFER_TOO_SMALL);
    EXPECT_EQ(mode, 42);
    EXPECT_EQ(mgi().KxDeleteDSN(h, "Taken"), 0);
  }
  std::uint32_t len = 10;
  EXPECT_EQ(mgi().KxListDSNs(KX_MGI_LOCAL, &len, nullptr, 1), KX_MGI_NULL_PTR);
  EXPECT_EQ(mgi().KxListDSNs(KX_MGI_LOCAL, nullptr, nullptr, 1), KX_MGI_NULL_PTR);
  EXPECT_EQ(mgi().KxListDSNs(99999, &len, nullptr, 1), KX_MGI_INVALID_HANDLE);
}

TEST_F(MgiDsn, StoredOpenModeOutsideTheFourGives7021WithTheTexts) {
  appendFile(systemIni(), "[Odd]\nDriver=Kestrin ODBC Engine Interface\nDescription=d\nDBQ=ODDDB\nOpenMode=7\n");
  const Dsn d = getEx(KX_MGI_LOCAL, "Odd");
  EXPECT_EQ(d.status, KX_MGI_INVALID_OPEN_MODE);
  EXPECT_EQ(d.description, "d");
  EXPECT_EQ(d.database, "ODDDB");
  EXPECT_EQ(d.mode, -99) << "the mode stays unset";
}

TEST_F(MgiDsn, ChangesByAnotherProcessAreSeenAtOnce) {
  ASSERT_EQ(mgi().KxCreateDSN(KX_MGI_LOCAL, "Shared", "before", "DB1", KX_MGI_OPEN_NORMAL), 0);
  ASSERT_EQ(getEx(KX_MGI_LOCAL, "Shared").database, "DB1");
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const auto s = mgi().KxModifyDSN(KX_MGI_LOCAL, "Shared", "after", "DB2", KX_MGI_OPEN_READ_ONLY);
    ::_exit(s == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const Dsn d = getEx(KX_MGI_LOCAL, "Shared");
  EXPECT_EQ(d.description, "after");
  EXPECT_EQ(d.database, "DB2");
  EXPECT_EQ(d.mode, KX_MGI_OPEN_READ_ONLY);
}

TEST_F(MgiDsn, ConcurrentCreatesOnTheLocalStore) {
  constexpr int kThreads = 3, kPer = 5;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPer; ++i) {
        const std::string name = kxtest::numberedName("D", t, i);
        if (mgi().KxCreateDSN(KX_MGI_LOCAL, name.c_str(), "", "DB", 0) != 0) ++failures;
        std::uint32_t len = 0;
        if (mgi().KxListDSNs(KX_MGI_LOCAL, &len, nullptr, 1) != KX_MGI_BUFFER_TOO_SMALL) ++failures;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  std::uint32_t count = 0;
  ASSERT_EQ(mgi().KxCountDSNs(KX_MGI_LOCAL, &count, 1), 0);
  EXPECT_EQ(count, static_cast<std::uint32_t>(kThreads * kPer));
}

}  // namespace
