#include <atomic>
#include <cstring>
#include <thread>

#include "engines/store/dbnames.h"
#include "tests/engines/mgi/mgi_api.h"

namespace {

using kxtest::mgi;

class MgiDbNames : public kxtest::MgiTest {
 protected:
  // The list protocol as the record-level session runs it: snapshot, 100-byte reads, free.
  std::vector<std::string> listNames(std::int32_t h) {
    std::vector<std::string> names;
    std::uint32_t count = 0;
    EXPECT_EQ(mgi().KxGetDbNamesData(h, &count), 0);
    for (std::uint32_t n = 1; n <= count; ++n) {
      char buf[100];
      std::uint32_t len = sizeof buf;
      EXPECT_EQ(mgi().KxGetDbName(h, n, &len, buf), 0);
      EXPECT_EQ(len, std::strlen(buf) + 1);
      names.emplace_back(buf);
    }
    EXPECT_EQ(mgi().KxFreeDbNamesData(h), 0);
    return names;
  }

  std::string text(std::uint16_t (*get)(std::int32_t, const char*, std::uint32_t*, char*), std::int32_t h,
                   const char* name) {
    char buf[512];
    std::uint32_t len = sizeof buf;
    EXPECT_EQ(get(h, name, &len, buf), 0) << name;
    EXPECT_EQ(len, std::strlen(buf) + 1) << "the length counts the zero";
    return buf;
  }
};

TEST_F(MgiDbNames, LocalAndRemoteRoundTrip) {
  makeServer("Srv1");
  const std::int32_t remote = connect("Srv1");
  for (const std::int32_t h : {static_cast<std::int32_t>(KX_MGI_LOCAL), remote}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(mgi().KxCreateDatabase(h, "Sales", "/srv/sales", "/srv/sales/data", KX_MGI_DB_BOUND | KX_MGI_DB_INTEGRITY), 0);
    EXPECT_EQ(mgi().KxCreateDatabase(h, "archive", "", "", 0), 0);
    EXPECT_EQ(mgi().KxCreateDatabase(h, "SALES", "", "", 0), KX_MGI_DUPLICATE_NAME);
    EXPECT_EQ(listNames(h), (std::vector<std::string>{"archive", "Sales"}));

    std::uint32_t flags = 0;
    EXPECT_EQ(mgi().KxGetDbFlags(h, "sales", &flags), 0);
    EXPECT_EQ(flags, KX_MGI_DB_BOUND | KX_MGI_DB_INTEGRITY);
    EXPECT_EQ(text(mgi().KxGetDbDictionaryPath, h, "sales"), "/srv/sales");
    EXPECT_EQ(text(mgi().KxGetDbDataPath, h, "sales"), "/srv/sales/data");
    EXPECT_EQ(text(mgi().KxGetDbDataPath, h, "archive"), "");

    // The sessions modify with old name = new name, and create when told 7013.
    EXPECT_EQ(mgi().KxModifyDatabase(h, "Sales", "Sales", "/srv/sales", "/srv/sales/data", KX_MGI_DB_BOUND), 0);
    EXPECT_EQ(mgi().KxGetDbFlags(h, "Sales", &flags), 0);
    EXPECT_EQ(flags, KX_MGI_DB_BOUND);
    EXPECT_EQ(mgi().KxModifyDatabase(h, "New", "New", "", "", 2), KX_MGI_NOT_EXIST);
    EXPECT_EQ(mgi().KxCheckDbInfo(h, "Sales", KX_MGI_DB_BOUND), 0);
    EXPECT_EQ(mgi().KxCheckDbInfo(h, "Sales", KX_MGI_DB_INTEGRITY), KX_MGI_INVALID_SELECTION);
    EXPECT_EQ(mgi().KxCheckDbInfo(h, "New", 0), KX_MGI_NOT_EXIST);

    EXPECT_EQ(mgi().KxDropDatabase(h, "sales", 0), 0);
    EXPECT_EQ(mgi().KxDropDatabase(h, "sales", 0), KX_MGI_NOT_EXIST);
    EXPECT_EQ(mgi().KxGetDbFlags(h, "sales", &flags), KX_MGI_NOT_EXIST);
    EXPECT_EQ(listNames(h), (std::vector<std::string>{"archive"}));
  }
}

TEST_F(MgiDbNames, SharesTheStoreWithTheRecordManager) {
  // What the record manager writes through the store is what handle -1 lists, and the reverse.
  kxstore::DbNames local(tmp.home());
  ASSERT_EQ(local.add(kxstore::DbEntry{"FromRcx", "/a", "/b", kxstore::kDbIntegrity}), kxstore::DbStatus::ok);
  ASSERT_EQ(mgi().KxCreateDatabase(KX_MGI_LOCAL, "FromMgi", "rel", "", KX_MGI_DB_CREATE_DDF), 0);
  EXPECT_EQ(listNames(KX_MGI_LOCAL), (std::vector<std::string>{"FromMgi", "FromRcx"}));

  kxstore::ResolvedDb r;
  ASSERT_EQ(kxstore::resolveDatabase(tmp.home(), "frommgi", r, false), kxstore::DbStatus::ok);
  EXPECT_EQ(r.file, tmp.home() + "/rel/" + kxstore::kDatabaseFileName);
  EXPECT_TRUE(std::filesystem::exists(r.file)) << "create-dictionary makes the file";

  // A server's store is its own.
  makeServer("Srv1");
  EXPECT_TRUE(listNames(connect("Srv1")).empty());
  // "localhost" and this computer's name reach the local store through a handle too.
  EXPECT_EQ(listNames(connect("localhost")).size(), 2u);
}

TEST_F(MgiDbNames, ListProtocolStatuses) {
  ASSERT_EQ(mgi().KxCreateDatabase(KX_MGI_LOCAL, "one", "", "", 0), 0);
  char buf[100];
  std::uint32_t len = sizeof buf;
  std::uint32_t count = 0;
  EXPECT_EQ(mgi().KxFreeDbNamesData(KX_MGI_LOCAL), 0) << "harmless without a list";
  EXPECT_EQ(mgi().KxGetDbName(KX_MGI_LOCAL, 1, &len, buf), KX_MGI_INVALID_SEQUENCE);

  ASSERT_EQ(mgi().KxGetDbNamesData(KX_MGI_LOCAL, &count), 0);
  ASSERT_EQ(count, 1u);
  // The list is a snapshot: a database made meanwhile shows in the next one.
  ASSERT_EQ(mgi().KxCreateDatabase(KX_MGI_LOCAL, "two", "", "", 0), 0);
  struct Case {
    std::uint32_t number;
    std::uint16_t want;
  } cases[] = {{0, KX_MGI_OUT_OF_RANGE}, {1, 0}, {2, KX_MGI_OUT_OF_RANGE}};
  for (const auto& c : cases) {
    len = sizeof buf;
    EXPECT_EQ(mgi().KxGetDbName(KX_MGI_LOCAL, c.number, &len, buf), c.want) << c.number;
  }
  EXPECT_EQ(mgi().KxGetDbNamesData(KX_MGI_LOCAL, nullptr), KX_MGI_NULL_PTR);

  // Another thread has no list of its own on the shared handle -1.
  std::uint16_t other = 0;
  std::thread([&] {
    char b[100];
    std::uint32_t l = sizeof b;
    other = mgi().KxGetDbName(KX_MGI_LOCAL, 1, &l, b);
    mgi().KxFreeDbNamesData(KX_MGI_LOCAL);  // and freeing there leaves ours alone
  }).join();
  EXPECT_EQ(other, KX_MGI_INVALID_SEQUENCE);
  len = sizeof buf;
  EXPECT_EQ(mgi().KxGetDbName(KX_MGI_LOCAL, 1, &len, buf), 0);
  EXPECT_EQ(mgi().KxFreeDbNamesData(KX_MGI_LOCAL), 0);
  len = sizeof buf;
  EXPECT_EQ(mgi().KxGetDbName(KX_MGI_LOCAL, 1, &len, buf), KX_MGI_INVALID_SEQUENCE);
}

TEST_F(MgiDbNames, TextBuffersAreHonoured) {
  const std::string path = "/srv/" + std::string(40, 'p');  // 45 bytes, 46 with the zero
  ASSERT_EQ(mgi().KxCreateDatabase(KX_MGI_LOCAL, "db", path.c_str(), path.c_str(), 0), 0);
  for (const auto get : {mgi().KxGetDbDictionaryPath, mgi().KxGetDbDataPath}) {
    struct Case {
      std::uint32_t size;
      bool nullBuffer;
      std::uint16_t want;
    } cases[] = {
        {46, false, 0}, {100, false, 0}, {45, false, KX_MGI_BUFFER_TOO_SMALL},
        {1, false, KX_MGI_BUFFER_TOO_SMALL}, {0, true, KX_MGI_BUFFER_TOO_SMALL}, {46, true, KX_MGI_NULL_PTR},
    };
    for (const auto& c : cases) {
      char buf[128];
      std::memset(buf, '#', sizeof buf);
      std::uint32_t len = c.size;
      EXPECT_EQ(get(KX_MGI_LOCAL, "db", &len, c.nullBuffer ? nullptr : buf), c.want) << c.size;
      if (c.want == 0 || c.want == KX_MGI_BUFFER_TOO_SMALL) {
        EXPECT_EQ(len, 46u) << c.size;
      }
      if (c.want == 0) {
        EXPECT_EQ(std::string(buf), path);
      }
      if (c.want == KX_MGI_BUFFER_TOO_SMALL && !c.nullBuffer) {
        EXPECT_EQ(buf[0], '\0');
      }
      if (!c.nullBuffer) {
        for (std::size_t i = std::min<std::size_t>(c.size, sizeof buf); i < sizeof buf; ++i)
          ASSERT_EQ(buf[i], '#') << "written beyond the buffer, size " << c.size;
      }
    }
    EXPECT_EQ(get(KX_MGI_LOCAL, "db", nullptr, nullptr), KX_MGI_NULL_PTR);
    std::uint32_t len = 8;
    char b[8];
    EXPECT_EQ(get(KX_MGI_LOCAL, nullptr, &len, b), KX_MGI_NULL_PTR);
    EXPECT_EQ(get(KX_MGI_LOCAL, "nothere", &len, b), KX_MGI_NOT_EXIST);
  }

  // KxGetDbName: a name of the longest kind fits the sessions' 100-byte buffer.
  const std::string longName(kxstore::kMaxDbNameLength, 'n');
  ASSERT_EQ(mgi().KxCreateDatabase(KX_MGI_LOCAL, longName.c_str(), "", "", 0), 0);
  std::uint32_t count = 0;
  ASSERT_EQ(mgi().KxGetDbNamesData(KX_MGI_LOCAL, &count), 0);
  char small[10];
  std::uint32_t len = sizeof small;
  EXPECT_EQ(mgi().KxGetDbName(KX_MGI_LOCAL, 2, &len, small), KX_MGI_BUFFER_TOO_SMALL);
  EXPECT_EQ(len, kxstore::kMaxDbNameLength + 1);
  mgi().KxFreeDbNamesData(KX_MGI_LOCAL);
}

TEST_F(MgiDbNames, RefusalsCarryTheirStatuses) {
  makeServer("Srv1");
  const std::int32_t h = connect("Srv1");
  ASSERT_EQ(mgi().KxCreateDatabase(h, "bound", "/srv/b", "", KX_MGI_DB_BOUND), 0);
  std::filesystem::create_directories(tmp.root() + "/has");
  std::FILE* f = std::fopen((tmp.root() + "/has/" + kxstore::kDatabaseFileName).c_str(), "w");
  std::fclose(f);
  const std::string longPath(kxstore::kMaxDbPathLength + 1, 'p');
  const std::string hasDict = tmp.root() + "/has";
  const std::string longName(kxstore::kMaxDbNameLength + 1, 'n');
  struct Case {
    const char* what;
    const char* name;
    const char* dict;
    const char* data;
    std::uint32_t flags;
    std::uint16_t want;
  } cases[] = {
      {"empty name", "", "", "", 0, KX_MGI_INVALID_SELECTION},
      {"bad name", "a;b", "", "", 0, KX_MGI_INVALID_SELECTION},
      {"long name", longName.c_str(), "", "", 0, KX_MGI_OUT_OF_RANGE},
      {"long path", "x", longPath.c_str(), "", 0, KX_MGI_OUT_OF_RANGE},
      {"shares bound dictionary", "x", "/srv/b", "", 0, KX_MGI_DICTIONARY_ALREADY_EXISTS},
      {"dictionary exists", "x", hasDict.c_str(), "", KX_MGI_DB_CREATE_DDF, KX_MGI_SHARED_DDF_EXIST},
      {"data on another host", "x", "", "\\\\OTHER\\C$\\DATA", 0, KX_MGI_DATA_UNAVAILABLE},
      {"null path", "x", nullptr, "", 0, KX_MGI_NULL_PTR},
  };
  for (const auto& c : cases) EXPECT_EQ(mgi().KxCreateDatabase(h, c.name, c.dict, c.data, c.flags), c.want) << c.what;
  EXPECT_EQ(mgi().KxModifyDatabase(h, "bound", "bound", "/srv/moved", "", 0), KX_MGI_INVALID_SELECTION)
      << "unbind and move at once";
  EXPECT_EQ(mgi().KxCreateDatabase(12345, "x", "", "", 0), KX_MGI_INVALID_HANDLE);
}

TEST_F(MgiDbNames, DataPathsRewrittenForTheServerComeBackLocal) {
  makeServer("Srv1");
  const std::int32_t remote = connect("Srv1");
  const std::int32_t viaLocalhost = connect("localhost");
  struct Case {
    std::int32_t handle;
    const char* sent;
    const char* stored;
  } cases[] = {
      {remote, "\\\\SRV1\\C$\\DATA\\Sales", "/DATA/Sales"},  // drive share of a Windows-style rewrite
      {remote, "\\\\srv1\\\\data\\x", "/data/x"},             // a rooted path behind the prefix
      {remote, "\\\\Srv1\\rel\\dir", "rel/dir"},              // a relative path stays relative
      {remote, "\\\\SRV1\\C$", "/"},
      {remote, "/plain/path", "/plain/path"},
      {KX_MGI_LOCAL, "\\\\localhost\\C$\\d", "/d"},
      {viaLocalhost, "\\\\localhost\\\\d\\e", "/d/e"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string name = kxtest::numberedName("db", n++);
    ASSERT_EQ(mgi().KxCreateDatabase(c.handle, name.c_str(), "", c.sent, 0), 0) << c.sent;
    EXPECT_EQ(text(mgi().KxGetDbDataPath, c.handle, name.c_str()), c.stored) << c.sent;
    // Modify goes through the same rewrite.
    ASSERT_EQ(mgi().KxModifyDatabase(c.handle, name.c_str(), name.c_str(), "", c.sent, 0), 0) << c.sent;
    EXPECT_EQ(text(mgi().KxGetDbDataPath, c.handle, name.c_str()), c.stored) << c.sent;
  }
  EXPECT_EQ(mgi().KxCreateDatabase(remote, "other", "", "\\\\SRV2\\C$\\x", 0), KX_MGI_DATA_UNAVAILABLE);
  EXPECT_EQ(mgi().KxCreateDatabase(KX_MGI_LOCAL, "other", "", "\\\\SRV1\\C$\\x", 0), KX_MGI_DATA_UNAVAILABLE);
}

TEST_F(MgiDbNames, DbServerNameAndDropWithFiles) {
  makeServer("Srv1");
  const std::int32_t remote = connect("Srv1");
  ASSERT_EQ(mgi().KxCreateDatabase(remote, "db", "", "", KX_MGI_DB_CREATE_DDF), 0);
  char buf[64];
  std::uint32_t len = sizeof buf;
  std::int16_t isLocal = -1;
  ASSERT_EQ(mgi().KxGetDbServerName(remote, "db", &len, buf, &isLocal), 0);
  EXPECT_STREQ(buf, "Srv1");
  EXPECT_EQ(isLocal, 0);
  EXPECT_EQ(mgi().KxGetDbServerName(remote, "none", &len, buf, &isLocal), KX_MGI_NOT_EXIST);

  const std::string file = tmp.home() + "/servers/Srv1/databases/db/" + kxstore::kDatabaseFileName;
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(mgi().KxDropDatabase(remote, "db", KX_MGI_DROP_FILES), 0);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(MgiDbNames, DamagedStoreGivesAStatus) {
  std::FILE* f = std::fopen((tmp.home() + "/dbnames.cfg").c_str(), "w");
  std::fputs("not a store\n", f);
  std::fclose(f);
  std::uint32_t count = 99;
  EXPECT_EQ(mgi().KxGetDbNamesData(KX_MGI_LOCAL, &count), KX_MGI_FILE_NOT_OPEN);
  EXPECT_EQ(mgi().KxCreateDatabase(KX_MGI_LOCAL, "x", "", "", 0), KX_MGI_FILE_NOT_OPEN);
  std::uint32_t flags = 0;
  EXPECT_EQ(mgi().KxGetDbFlags(KX_MGI_LOCAL, "x", &flags), KX_MGI_FILE_NOT_OPEN);
}

TEST_F(MgiDbNames, ConcurrentSessionsOnTheSharedLocalHandle) {
  constexpr int kThreads = 4, kRounds = 15;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        const std::string name = kxtest::numberedName("t", t, i);
        if (mgi().KxCreateDatabase(KX_MGI_LOCAL, name.c_str(), "", "", 2) != 0) ++failures;
        std::uint32_t count = 0;
        if (mgi().KxGetDbNamesData(KX_MGI_LOCAL, &count) != 0) ++failures;
        bool found = false;
        for (std::uint32_t n = 1; n <= count; ++n) {
          char buf[100];
          std::uint32_t len = sizeof buf;
          if (mgi().KxGetDbName(KX_MGI_LOCAL, n, &len, buf) != 0) ++failures;
          found = found || name == buf;
        }
        if (!found) ++failures;  // our own snapshot holds what we just made
        mgi().KxFreeDbNamesData(KX_MGI_LOCAL);
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(listNames(KX_MGI_LOCAL).size(), static_cast<std::size_t>(kThreads * kRounds));
}

}  // namespace
