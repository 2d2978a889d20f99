#include "engines/store/dbnames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/engines/store/temp_home.h"

namespace kxstore {
void PrintTo(DbStatus s, std::ostream* os) { *os << describe(s); }
}  // namespace kxstore

namespace fs = std::filesystem;
using namespace kxstore;

namespace {

std::string readFile(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void writeFile(const std::string& p, const std::string& text) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f << text;
}

DbEntry entry(std::string name, std::string dict = "", std::string data = "", std::uint32_t flags = kDbIntegrity) {
  return DbEntry{std::move(name), std::move(dict), std::move(data), flags};
}

class DbNamesTest : public ::testing::Test {
 protected:
  kxtest::TempHome tmp;
  DbNames store{tmp.home()};
};

TEST_F(DbNamesTest, AddGetModifyDropRoundTrip) {
  EXPECT_EQ(store.add(entry("Sales", "/srv/sales", "data", kDbBound | kDbIntegrity)), DbStatus::ok);
  EXPECT_EQ(store.add(entry("archive")), DbStatus::ok);

  DbEntry e;
  ASSERT_EQ(store.get("SALES", e), DbStatus::ok);  // names ignore case
  EXPECT_EQ(e.name, "Sales");                       // and keep the case they were given
  EXPECT_EQ(e.dictionaryPath, "/srv/sales");
  EXPECT_EQ(e.dataPath, "data");
  EXPECT_EQ(e.flags, kDbBound | kDbIntegrity);

  std::vector<DbEntry> all;
  ASSERT_EQ(store.list(all), DbStatus::ok);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].name, "archive");  // sorted ignoring case
  EXPECT_EQ(all[1].name, "Sales");

  // Paths keep blanks at their ends; the flags lose create-dictionary, which is an action.
  EXPECT_EQ(store.modify("sales", entry("Sales", "/srv/sales", " data dir ", kDbBound | kDbIntegrity)),
            DbStatus::ok);
  ASSERT_EQ(store.get("Sales", e), DbStatus::ok);
  EXPECT_EQ(e.dataPath, " data dir ");
  EXPECT_EQ(store.modify("archive", entry("archive", "", "", kDbCreateDdf)), DbStatus::ok);
  ASSERT_EQ(store.get("archive", e), DbStatus::ok);
  EXPECT_EQ(e.flags, 0u);

  EXPECT_EQ(store.drop("ARCHIVE"), DbStatus::ok);
  EXPECT_EQ(store.get("archive", e), DbStatus::notFound);
  ASSERT_EQ(store.list(all), DbStatus::ok);
  EXPECT_EQ(all.size(), 1u);
}

TEST_F(DbNamesTest, MissingStoreIsEmptyAndFirstWriteCreatesIt) {
  std::vector<DbEntry> all{entry("stale")};
  EXPECT_EQ(store.list(all), DbStatus::ok);
  EXPECT_TRUE(all.empty());
  EXPECT_FALSE(fs::exists(store.file()));

  DbNames deeper(tmp.root() + "/not/yet/there");
  EXPECT_EQ(deeper.add(entry("x")), DbStatus::ok);
  EXPECT_TRUE(fs::exists(deeper.file()));
}

TEST_F(DbNamesTest, AddRefusals) {
  ASSERT_EQ(store.add(entry("Taken", "/srv/taken")), DbStatus::ok);
  ASSERT_EQ(store.add(entry("Bound", "/srv/bound", "/srv/bounddata", kDbBound)), DbStatus::ok);
  writeFile(tmp.root() + "/plainfile", "x");
  fs::create_directories(tmp.root() + "/hasdict");
  writeFile(tmp.root() + "/hasdict/" + kDatabaseFileName, "");

  struct Case {
    const char* what;
    DbEntry e;
    DbStatus want;
  } cases[] = {
      {"empty name", entry(""), DbStatus::invalidName},
      {"dot name", entry(".."), DbStatus::invalidName},
      {"bracket", entry("a]b"), DbStatus::invalidName},
      {"semicolon", entry("a;b"), DbStatus::invalidName},
      {"slash", entry("a/b"), DbStatus::invalidName},
      {"tab", entry("a\tb"), DbStatus::invalidName},
      {"leading blank", entry(" a"), DbStatus::invalidName},
      {"name too long", entry(std::string(kMaxDbNameLength + 1, 'n')), DbStatus::nameTooLong},
      {"duplicate in other case", entry("TAKEN"), DbStatus::duplicate},
      {"path too long", entry("p", std::string(kMaxDbPathLength + 1, 'p')), DbStatus::pathTooLong},
      {"newline in path", entry("p", "/srv/a\nb"), DbStatus::invalidPath},
      {"dictionary is a file", entry("p", tmp.root() + "/plainfile"), DbStatus::invalidPath},
      {"data is a file", entry("p", "", tmp.root() + "/plainfile"), DbStatus::invalidPath},
      {"shares a bound dictionary", entry("p", "/srv/bound/"), DbStatus::boundSharesDictionary},
      {"shares bound data", entry("p", "/srv/other", "/srv/bounddata"), DbStatus::boundSharesData},
      {"bound shares a dictionary", entry("p", "/srv/taken", "", kDbBound), DbStatus::boundSharesDictionary},
      {"dictionary exists", entry("p", tmp.root() + "/hasdict", "", kDbCreateDdf), DbStatus::dictionaryExists},
  };
  for (const auto& c : cases) EXPECT_EQ(store.add(c.e), c.want) << c.what;

  std::vector<DbEntry> all;
  ASSERT_EQ(store.list(all), DbStatus::ok);
  EXPECT_EQ(all.size(), 2u);
  // Unbound databases may share a dictionary folder.
  EXPECT_EQ(store.add(entry("Shares", "/srv/taken")), DbStatus::ok);
}

TEST_F(DbNamesTest, ModifyRefusalsAndRules) {
  ASSERT_EQ(store.add(entry("a", "/srv/a", "/srv/a-data")), DbStatus::ok);
  ASSERT_EQ(store.add(entry("b", "/srv/b", "", kDbBound)), DbStatus::ok);

  struct Case {
    const char* what;
    const char* oldName;
    DbEntry e;
    DbStatus want;
  } cases[] = {
      {"missing", "zzz", entry("zzz"), DbStatus::notFound},
      {"invalid old name", "a;", entry("a"), DbStatus::notFound},
      {"rename onto another", "a", entry("B", "/srv/a", "/srv/a-data"), DbStatus::duplicate},
      {"rename and move dictionary", "a", entry("c", "/srv/x", "/srv/a-data"), DbStatus::renameAndMoveDictionary},
      {"rename and bind", "a", entry("c", "/srv/a", "/srv/a-data", kDbBound), DbStatus::renameAndBind},
      {"rename and unbind", "b", entry("c", "/srv/b", "", 0), DbStatus::renameAndUnbind},
      {"rename and move data", "a", entry("c", "/srv/a", "/srv/y"), DbStatus::renameAndMoveData},
      {"move dictionary and bind", "a", entry("a", "/srv/x", "/srv/a-data", kDbBound), DbStatus::moveDictionaryAndBind},
      {"move dictionary and unbind", "b", entry("b", "/srv/x", "", 0), DbStatus::moveDictionaryAndUnbind},
      {"bind and move data", "a", entry("a", "/srv/a", "/srv/y", kDbBound), DbStatus::bindAndMoveData},
      // b's empty data path follows its dictionary; naming that folder explicitly is no move.
      {"unbind and move data", "b", entry("b", "/srv/b", "/srv/y", 0), DbStatus::unbindAndMoveData},
      {"onto a bound dictionary", "a", entry("a", "/srv/b", "/srv/a-data"), DbStatus::boundSharesDictionary},
      {"new name invalid", "a", entry("a=b"), DbStatus::invalidName},
  };
  for (const auto& c : cases) EXPECT_EQ(store.modify(c.oldName, c.e), c.want) << c.what;

  EXPECT_EQ(store.modify("b", entry("b", "/srv/b/", "/srv/b", kDbBound)), DbStatus::ok) << "same folders";
  // One change at a time is allowed, a rename included.
  EXPECT_EQ(store.modify("a", entry("renamed", "/srv/a", "/srv/a-data")), DbStatus::ok);
  DbEntry e;
  EXPECT_EQ(store.get("a", e), DbStatus::notFound);
  EXPECT_EQ(store.get("renamed", e), DbStatus::ok);
  EXPECT_EQ(store.modify("renamed", entry("renamed", "/srv/a", "/srv/a-data", kDbBound | kDbIntegrity)), DbStatus::ok);
  EXPECT_EQ(store.drop("nothere"), DbStatus::notFound);
}

TEST_F(DbNamesTest, RenameOfDatabaseInItsDefaultFolderIsRefused) {
  // With an empty dictionary path the folder follows the name, so a rename would lose the data.
  ASSERT_EQ(store.add(entry("first")), DbStatus::ok);
  EXPECT_EQ(store.modify("first", entry("second")), DbStatus::renameAndMoveDictionary);
  EXPECT_EQ(store.modify("first", entry("FIRST")), DbStatus::ok);  // a change of case only
}

TEST_F(DbNamesTest, ResolvesEveryPathKindToOneSqliteFile) {
  ASSERT_EQ(store.add(entry("Dflt")), DbStatus::ok);
  ASSERT_EQ(store.add(entry("Rel", "dbs/../dbs/rel/", "")), DbStatus::ok);
  ASSERT_EQ(store.add(entry("Abs", tmp.root() + "//abs/./x", "/elsewhere")), DbStatus::ok);

  struct Case {
    const char* name;
    std::string folder;
  } cases[] = {
      {"DFLT", tmp.home() + "/databases/dflt"},
      {"rel", tmp.home() + "/dbs/rel"},
      {"abs", tmp.root() + "/abs/x"},
  };
  for (const auto& c : cases) {
    ResolvedDb r;
    ASSERT_EQ(resolveDatabase(tmp.home(), c.name, r, false), DbStatus::ok) << c.name;
    EXPECT_EQ(r.folder, c.folder) << c.name;
    EXPECT_EQ(r.file, c.folder + "/" + kDatabaseFileName) << c.name;
    EXPECT_FALSE(fs::exists(c.folder)) << "created without being asked: " << c.name;
    ASSERT_EQ(resolveDatabase(tmp.home(), c.name, r, true), DbStatus::ok) << c.name;
    EXPECT_TRUE(fs::is_directory(c.folder)) << c.name;
  }
  ResolvedDb r;
  EXPECT_EQ(resolveDatabase(tmp.home(), "nothere", r, true), DbStatus::notFound);

  // A folder that turned into a file after the entry was made.
  ASSERT_EQ(store.add(entry("Late", tmp.root() + "/late")), DbStatus::ok);
  writeFile(tmp.root() + "/late", "");
  EXPECT_EQ(resolveDatabase(tmp.home(), "late", r, true), DbStatus::invalidPath);
  EXPECT_EQ(resolveDatabase(tmp.home(), "late", r, false), DbStatus::invalidPath);
}

TEST_F(DbNamesTest, CreateDictionaryAndDropWithFiles) {
  ASSERT_EQ(store.add(entry("Made", "", "", kDbCreateDdf | kDbIntegrity)), DbStatus::ok);
  const std::string file = tmp.home() + "/databases/made/" + kDatabaseFileName;
  EXPECT_TRUE(fs::exists(file));
  // Modify with create-dictionary keeps an existing file.
  writeFile(file, "content");
  EXPECT_EQ(store.modify("Made", entry("Made", "", "", kDbCreateDdf)), DbStatus::ok);
  EXPECT_EQ(readFile(file), "content");

  // Dropping without removing files keeps them; with it, a shared dictionary is kept.
  ASSERT_EQ(store.add(entry("One", tmp.root() + "/shared", "", kDbCreateDdf)), DbStatus::ok);
  ASSERT_EQ(store.add(entry("Two", tmp.root() + "/shared")), DbStatus::ok);
  const std::string shared = tmp.root() + "/shared/" + kDatabaseFileName;
  writeFile(shared + "-wal", "");
  EXPECT_EQ(store.drop("One", true), DbStatus::ok);
  EXPECT_TRUE(fs::exists(shared));
  EXPECT_EQ(store.drop("Two", true), DbStatus::ok);
  EXPECT_FALSE(fs::exists(shared));
  EXPECT_FALSE(fs::exists(shared + "-wal"));

  EXPECT_EQ(store.drop("Made", false), DbStatus::ok);
  EXPECT_TRUE(fs::exists(file));
}

TEST_F(DbNamesTest, DamagedStoreIsReportedAndNeverOverwritten) {
  const std::string texts[] = {
      "garbage line\n",
      "KEY=before any section\n",
      "[a]\nDDF_PATH=/x\nUNKNOWN=1\n",
      "[a]\nDDF_PATH=/x\nDDF_PATH=/y\n",
      "[a]\n[A]\n",
      "[a]\nFLAGS=two\n",
      "[a]\nFLAGS=99999999999\n",
      "[a;b]\n",
      "[a\n",
      "[]\n",
      std::string("[a]\nPATH=/x\0y\n", 14),
  };
  for (const std::string& t : texts) {
    writeFile(store.file(), t);
    const std::string before = readFile(store.file());
    std::vector<DbEntry> all;
    DbEntry e;
    EXPECT_EQ(store.list(all), DbStatus::damaged) << t;
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(store.get("a", e), DbStatus::damaged) << t;
    EXPECT_EQ(store.add(entry("new")), DbStatus::damaged) << t;
    EXPECT_EQ(store.modify("a", entry("a")), DbStatus::damaged) << t;
    EXPECT_EQ(store.drop("a"), DbStatus::damaged) << t;
    EXPECT_EQ(readFile(store.file()), before) << t;
    EXPECT_EQ(rcxStatus(DbStatus::damaged), 2307);
  }
  // The store's own format, written by hand, reads back.
  writeFile(store.file(), "# comment\n\n[a]\r\nDDF_PATH=/x\r\nFLAGS=7\n; other\n[b]\n");
  std::vector<DbEntry> all;
  ASSERT_EQ(store.list(all), DbStatus::ok);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].dictionaryPath, "/x");
  EXPECT_EQ(all[0].flags, kDbBound | kDbIntegrity);
  EXPECT_EQ(all[1].flags, kDbIntegrity);  // the default when FLAGS is absent
}

TEST_F(DbNamesTest, UnusableFilesAndFolders) {
  // A folder where the file should be cannot be read, and is not replaced.
  fs::create_directories(store.file());
  std::vector<DbEntry> all;
  EXPECT_EQ(store.list(all), DbStatus::cannotOpen);
  EXPECT_EQ(store.add(entry("x")), DbStatus::cannotOpen);
  EXPECT_EQ(rcxStatus(DbStatus::cannotOpen), 2307);
  EXPECT_EQ(mgiStatus(DbStatus::cannotOpen), 7015);

  // A home folder that cannot be made.
  writeFile(tmp.root() + "/file", "");
  DbNames nowhere(tmp.root() + "/file/home");
  EXPECT_EQ(nowhere.list(all), DbStatus::ok);  // nothing stored there
  EXPECT_EQ(nowhere.add(entry("x")), DbStatus::cannotCreate);
  EXPECT_EQ(rcxStatus(DbStatus::cannotCreate), 2314);
}

TEST(DbNamesStatus, CodesTheCallersReactTo) {
  // The record-level session creates on 2301 after a modify; the remote session on 7013.
  EXPECT_EQ(rcxStatus(DbStatus::notFound), 2301);
  EXPECT_EQ(mgiStatus(DbStatus::notFound), 7013);
  EXPECT_EQ(rcxStatus(DbStatus::ok), 0);
  EXPECT_EQ(mgiStatus(DbStatus::ok), 0);
  EXPECT_EQ(rcxStatus(DbStatus::duplicate), 2303);
  EXPECT_EQ(mgiStatus(DbStatus::duplicate), 7012);
}

// Writers in several processes and threads: every entry must survive.
TEST_F(DbNamesTest, ConcurrentWritersLoseNoEntry) {
  constexpr int kChildren = 3;
  constexpr int kPerWriter = 25;
  std::vector<pid_t> pids;
  for (int c = 0; c < kChildren; ++c) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      DbNames s(tmp.home());
      int bad = 0;
      for (int i = 0; i < kPerWriter; ++i) {
        const std::string name = kxtest::numberedName("p", c, i);
        if (s.add(entry(name)) != DbStatus::ok) ++bad;
        if (i % 5 == 0 && s.modify(name, entry(name, "", "", 0)) != DbStatus::ok) ++bad;
      }
      ::_exit(bad == 0 ? 0 : 1);
    }
    pids.push_back(pid);
  }
  std::vector<std::thread> threads;
  std::atomic<int> threadFailures{0};
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      DbNames s(tmp.home());
      for (int i = 0; i < kPerWriter; ++i)
        if (s.add(entry(kxtest::numberedName("t", t, i))) != DbStatus::ok) ++threadFailures;
    });
  for (auto& th : threads) th.join();
  for (const pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(threadFailures.load(), 0);

  std::vector<DbEntry> all;
  ASSERT_EQ(store.list(all), DbStatus::ok);
  std::set<std::string> names;
  for (const auto& e : all) names.insert(e.name);
  EXPECT_EQ(names.size(), static_cast<std::size_t>((kChildren + 2) * kPerWriter));
  EXPECT_TRUE(names.count("p2_24") && names.count("t1_24"));
  DbEntry e;
  ASSERT_EQ(store.get("p1_5", e), DbStatus::ok);
  EXPECT_EQ(e.flags, 0u);
  // No temporary file is left behind.
  for (const auto& f : fs::directory_iterator(tmp.home()))
    EXPECT_EQ(f.path().filename().string().find(".tmp."), std::string::npos) << f.path();
}

}  // namespace
