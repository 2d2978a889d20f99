// Failures are statuses: damaged files, folders that cannot be written, a full disk, writers
// killed in the middle of a write, and locks held by other processes.
#include "tests/engines/rcx/rcx_fixture.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>

namespace rcxtest {
namespace {

class ReliabilityTest : public RcxTest {
 protected:
  // Runs `body` in a child process; returns its exit code (or 128 + signal).
  template <class F>
  static int inChild(F&& body) {
    pid_t pid = fork();
    if (pid == 0) {
      int code = 1;
      try {
        code = body();
      } catch (...) {
        code = 99;
      }
      _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::int32_t count(std::uint32_t s, std::uint32_t h) {
    std::int32_t n = -1;
    EXPECT_EQ(VoskGetRecordCount(h, &n), 0);
    (void)s;
    return n;
  }

  void closeAll() {
    VoskEndSession(ses);
    ses = 0;
  }
};

TEST_F(ReliabilityTest, DamagedFilesAreReportedNotRead) {
  std::uint32_t h = makeTable("T", {{"ID", kInteger, 4}, {"S", kString, 200}});
  for (int i = 0; i < 300; ++i) ASSERT_EQ(insertIntText(h, i, std::string(150, 'x'), 200), 0);
  closeAll();
  std::string file = fileOf("TESTDB");
  // A damaged page of the table: reading it fails with a status.
  sqlite3* d = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &d), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(d, "SELECT rootpage FROM sqlite_schema WHERE name='T'", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  long root = sqlite3_column_int(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(d);
  {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((root - 1) * 4096);
    std::string junk(64, '\xEE');
    f.write(junk.data(), std::streamsize(junk.size()));
  }
  ASSERT_EQ(VoskBeginSession(&ses, "", "", ""), 0);
  ASSERT_EQ(VoskOpenDatabase(ses, "TESTDB", &db, 0, "", ""), 0);
  ASSERT_EQ(VoskOpenTable(ses, db, "T", 0, 0, &h), 0);
  std::int32_t r = VoskMove(ses, h, RCX_MoveFirst);
  EXPECT_EQ(r, -1206);
  EXPECT_NE(extText(r).find("malformed"), std::string::npos);
  std::int32_t n = 0;
  EXPECT_EQ(VoskGetRecordCount(h, &n), -1206);
  closeAll();

  // A file that is no database at all.
  {
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    f << std::string(8192, 'z');
  }
  std::remove((file + "-wal").c_str());
  std::remove((file + "-shm").c_str());
  ASSERT_EQ(VoskBeginSession(&ses, "", "", ""), 0);
  EXPECT_EQ(VoskOpenDatabase(ses, "TESTDB", &db, 0, "", ""), -1028);
  EXPECT_FALSE(extText(-1028).empty());
}

TEST_F(ReliabilityTest, FoldersThatCannotBeWrittenGiveStatuses) {
  std::uint32_t h = makeTable("T", {{"ID", kInteger, 4}, {"S", kString, 10}});
  ASSERT_EQ(insertIntText(h, 1, "a", 10), 0);
  closeAll();
  std::string file = fileOf("TESTDB");
  std::string folder = file.substr(0, file.rfind('/'));
  // Readable by everyone, writable by its owner only.
  for (std::string p = folder; p.size() > home.dir().size() - 1; p = p.substr(0, p.rfind('/'))) chmod(p.c_str(), 0755);
  chmod(file.c_str(), 0644);
  std::remove((file + "-kxlock").c_str());
  addDatabase("OTHER");
  std::string otherFolder = home.dir() + "/databases/other";
  std::filesystem::create_directories(otherFolder);
  chmod(otherFolder.c_str(), 0755);
  chmod((home.dir() + "/databases").c_str(), 0755);
  chmod((home.dir() + "/dbnames.cfg").c_str(), 0644);

  int code = inChild([&] {
    if (setgid(65534) != 0 || setuid(65534) != 0) return 2;
    std::uint32_t s = 0, d = 0, t = 0;
    if (VoskBeginSession(&s, "", "", "") != 0) return 3;
    // A new database in a folder this user cannot write: refused with a status.
    std::int32_t r = VoskOpenDatabase(s, "OTHER", &d, 0, "", "");
    if (r >= 0) return 4;
    // An existing one opens; reading works, writing is refused.
    r = VoskOpenDatabase(s, "TESTDB", &d, 0, "", "");
    if (r != 0) return 10 + (-r % 100);
    if (VoskOpenTable(s, d, "T", 0, 0, &t) != 0) return 5;
    if (VoskMove(s, t, RCX_MoveFirst) != 0) return 6;
    if (VoskInitUpdate(s, t, RCX_INIT_INSERT) != -1032) return 7;
    std::uint32_t nt = 0;
    if (VoskCreateTable(s, d, "New", &nt) != -1032) return 8;
    VoskEndSession(s);
    return 0;
  });
  EXPECT_EQ(code, 0);
}

TEST_F(ReliabilityTest, AFullDiskFailsTheWriteAndKeepsTheCommittedData) {
  std::uint32_t h = makeTable("T", {{"ID", kInteger, 4}, {"B", kBlob, 0}});
  for (int i = 1; i <= 5; ++i) {
    ASSERT_EQ(VoskInitUpdate(ses, h, 0), 0);
    set(h, 1, i32(i));
    ASSERT_EQ(VoskUpdateRecord(ses, h), 0);
  }
  closeAll();
  int code = inChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim{256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &lim);
    std::uint32_t s = 0, d = 0, t = 0;
    if (VoskBeginSession(&s, "", "", "") || VoskOpenDatabase(s, "TESTDB", &d, 0, "", "") ||
        VoskOpenTable(s, d, "T", 0, 0, &t))
      return 2;
    std::string big(64 * 1024, 'b');
    for (int i = 100; i < 200; ++i) {
      if (VoskInitUpdate(s, t, 0) != 0) return 3;
      VoskSetColumn(s, t, 1, &i, 4, 0, 0, nullptr);
      VoskSetColumn(s, t, 2, big.data(), std::uint32_t(big.size()), 0, 0, nullptr);
      std::int32_t r = VoskUpdateRecord(s, t);
      if (r == -1808 || r == -1022) return 0;  // disk full / write error: reported
      if (r != 0) return 4;
    }
    return 5;  // the limit never hit
  });
  EXPECT_EQ(code, 0);
  ASSERT_EQ(VoskBeginSession(&ses, "", "", ""), 0);
  ASSERT_EQ(VoskOpenDatabase(ses, "TESTDB", &db, 0, "", ""), 0);
  ASSERT_EQ(VoskOpenTable(ses, db, "T", 0, 0, &h), 0);
  std::vector<std::int32_t> ids = walkInts(h, 1);
  ASSERT_GE(ids.size(), 5u);
  EXPECT_EQ(std::vector<std::int32_t>(ids.begin(), ids.begin() + 5), (std::vector<std::int32_t>{1, 2, 3, 4, 5}));
  sqlite3* d = nullptr;
  ASSERT_EQ(sqlite3_open(fileOf("TESTDB").c_str(), &d), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(d, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
  sqlite3_finalize(st);
  sqlite3_close(d);
}

TEST_F(ReliabilityTest, AWriterKilledMidTransactionLeavesTheLastCommit) {
  std::uint32_t h = makeTable("T", {{"ID", kInteger, 4}, {"S", kString, 100}});
  closeAll();
  constexpr int kBatch = 50;
  int pipeFd[2];
  ASSERT_EQ(pipe(pipeFd), 0);
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeFd[0]);
    std::uint32_t s = 0, d = 0, t = 0;
    if (VoskBeginSession(&s, "", "", "") || VoskOpenDatabase(s, "TESTDB", &d, 0, "", "") ||
        VoskOpenTable(s, d, "T", 0, 0, &t))
      _exit(2);
    std::string payload(90, 'p');
    for (int batch = 0;; ++batch) {
      VoskSetTransact(s, RCX_LOGGING_ON, "W");
      for (int i = 0; i < kBatch; ++i) {
        int id = batch * kBatch + i;
        VoskInitUpdate(s, t, 0);
        VoskSetColumn(s, t, 1, &id, 4, 0, 0, nullptr);
        VoskSetColumn(s, t, 2, payload.data(), 100, 0, 0, nullptr);
        if (VoskUpdateRecord(s, t) != 0) _exit(3);
        // Half the batch also rewrites the previous record: updates in flight too.
        if (i % 2 && VoskInitUpdate(s, t, RCX_INIT_UPDATE) == 0) {
          VoskSetColumn(s, t, 2, payload.data(), 100, 0, 0, nullptr);
          VoskUpdateRecord(s, t);
        }
      }
      if (VoskSetTransact(s, RCX_COMMIT, "W") != 0) _exit(4);
      int done = batch + 1;
      if (write(pipeFd[1], &done, sizeof done) != sizeof done) _exit(5);
    }
  }
  close(pipeFd[1]);
  int committed = 0, v = 0;
  while (committed < 5 && read(pipeFd[0], &v, sizeof v) == sizeof v) committed = v;
  usleep(3000);  // let it get into the next batch
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  while (read(pipeFd[0], &v, sizeof v) == sizeof v) committed = v;
  close(pipeFd[0]);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own: " << WEXITSTATUS(status);

  ASSERT_EQ(VoskBeginSession(&ses, "", "", ""), 0);
  ASSERT_EQ(VoskOpenDatabase(ses, "TESTDB", &db, 0, "", ""), 0);
  ASSERT_EQ(VoskOpenTable(ses, db, "T", 0, 0, &h), 0);
  std::vector<std::int32_t> ids = walkInts(h, 1);
  // Whole batches only: every reported commit, at most the one in flight when it died.
  ASSERT_EQ(ids.size() % kBatch, 0u) << ids.size();
  EXPECT_GE(ids.size(), size_t(committed) * kBatch);
  EXPECT_LE(ids.size(), size_t(committed + 1) * kBatch);
  for (size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(ids[i], std::int32_t(i));
  // The database is usable for writing again.
  EXPECT_EQ(insertIntText(h, -1, "after", 100), 0);
}

TEST_F(ReliabilityTest, LocksOfAnotherProcessAndTheirReleaseWhenItDies) {
  std::uint32_t h = makeTable("T", {{"ID", kInteger, 4}, {"S", kString, 10}});
  ASSERT_EQ(insertIntText(h, 1, "a", 10), 0);
  ASSERT_EQ(VoskSetSessionOption(ses, RCX_OPT_LOCK_WAIT, 0), 0);
  int ready[2], stop[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(stop), 0);
  pid_t pid = fork();
  if (pid == 0) {
    std::uint32_t s = 0, d = 0, t = 0, x = 0;
    if (VoskBeginSession(&s, "", "", "") || VoskOpenDatabase(s, "TESTDB", &d, 0, "", "") ||
        VoskOpenTable(s, d, "T", 0, 0, &t) || VoskMove(s, t, RCX_MoveFirst) || VoskInitUpdate(s, t, RCX_INIT_UPDATE) ||
        VoskOpenTable(s, d, "T", 0, 0, &x))
      _exit(2);
    char c = 1;
    if (write(ready[1], &c, 1) != 1) _exit(3);
    if (read(stop[0], &c, 1) < 0) _exit(4);  // hold the lock until told, or killed
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(VoskMove(ses, h, RCX_MoveFirst), 0);
  EXPECT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), -5202);
  EXPECT_EQ(VoskDeleteTable(ses, db, "T"), -4914);  // the other process has it open
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  // The kernel dropped its locks with it.
  EXPECT_EQ(VoskInitUpdate(ses, h, RCX_INIT_UPDATE), 0);
  set(h, 2, text("mine", 10));
  EXPECT_EQ(VoskUpdateRecord(ses, h), 0);
  EXPECT_EQ(getText(h, 2), "mine");
  for (int fd : {ready[0], ready[1], stop[0], stop[1]}) close(fd);
}

}  // namespace
}  // namespace rcxtest
