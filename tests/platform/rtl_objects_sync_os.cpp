// Locks from several threads, and the operating-system services.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/os.h"
#include "platform/rtl/sync.h"

namespace host {
namespace {

using namespace std::chrono_literals;

// A blocked thread shows itself by not finishing within this time.
constexpr auto kBlocked = 100ms;
constexpr auto kDeadline = 10s;

TEST(TCriticalSectionTest, ReentrantForItsOwnerOnly) {
  TCriticalSection cs;
  cs.Enter();
  cs.Enter();
  EXPECT_FALSE(std::async(std::launch::async, [&] { return cs.TryEnter(); }).get());
  EXPECT_THROW(std::async(std::launch::async, [&] { cs.Leave(); }).get(), EInvalidOperation);
  cs.Leave();
  EXPECT_FALSE(std::async(std::launch::async, [&] { return cs.TryEnter(); }).get()) << "still held once";
  cs.Leave();
  EXPECT_THROW(cs.Leave(), EInvalidOperation) << "no longer held";
  auto other = std::async(std::launch::async, [&] {
    std::lock_guard<TCriticalSection> guard(cs);
    return true;
  });
  EXPECT_TRUE(other.get());
}

TEST(MrewTest, ReadersShareWritersExclude) {
  TMultiReadExclusiveWriteSynchronizer lock;
  lock.BeginRead();
  // Another reader gets in while this one reads.
  auto reader = std::async(std::launch::async, [&] {
    TReadLockGuard guard(lock);
    return lock.ActiveReaders();
  });
  ASSERT_EQ(reader.wait_for(kDeadline), std::future_status::ready);
  EXPECT_EQ(reader.get(), 2);

  // A writer waits for the reader.
  auto writer = std::async(std::launch::async, [&] {
    TWriteLockGuard guard(lock);
    return lock.ActiveReaders();
  });
  EXPECT_EQ(writer.wait_for(kBlocked), std::future_status::timeout);
  // A nested read of the holder goes through although a writer waits.
  lock.BeginRead();
  lock.EndRead();
  // A new reader waits behind the waiting writer.
  auto late = std::async(std::launch::async, [&] { TReadLockGuard guard(lock); });
  EXPECT_EQ(late.wait_for(kBlocked), std::future_status::timeout);

  lock.EndRead();
  ASSERT_EQ(writer.wait_for(kDeadline), std::future_status::ready);
  EXPECT_EQ(writer.get(), 0) << "nobody reads while it writes";
  ASSERT_EQ(late.wait_for(kDeadline), std::future_status::ready);
}

TEST(MrewTest, WriterNestsAndReads) {
  TMultiReadExclusiveWriteSynchronizer lock;
  EXPECT_TRUE(lock.BeginWrite());
  EXPECT_TRUE(lock.BeginWrite());
  lock.BeginRead();
  lock.EndRead();
  lock.EndWrite();
  EXPECT_TRUE(lock.IsWriter());
  auto reader = std::async(std::launch::async, [&] { TReadLockGuard guard(lock); });
  EXPECT_EQ(reader.wait_for(kBlocked), std::future_status::timeout);
  lock.EndWrite();
  EXPECT_EQ(reader.wait_for(kDeadline), std::future_status::ready);

  EXPECT_THROW(lock.EndWrite(), EInvalidOperation);
  EXPECT_THROW(lock.EndRead(), EInvalidOperation);
}

TEST(MrewTest, AReaderBecomesTheWriter) {
  TMultiReadExclusiveWriteSynchronizer lock;
  lock.BeginRead();
  lock.BeginRead();
  EXPECT_TRUE(lock.BeginWrite()) << "alone: nobody wrote in between";
  EXPECT_EQ(lock.ActiveReaders(), 0);
  lock.EndWrite();
  EXPECT_EQ(lock.ActiveReaders(), 1) << "its reads count again";
  auto writer = std::async(std::launch::async, [&] { TWriteLockGuard guard(lock); });
  EXPECT_EQ(writer.wait_for(kBlocked), std::future_status::timeout) << "still a reader";
  lock.EndRead();
  lock.EndRead();
  EXPECT_EQ(writer.wait_for(kDeadline), std::future_status::ready);
}

TEST(MrewTest, TwoPromotingReadersDoNotDeadlock) {
  TMultiReadExclusiveWriteSynchronizer lock;
  std::latch bothReading(2);
  auto promote = [&] {
    lock.BeginRead();
    bothReading.arrive_and_wait();
    bool undisturbed = lock.BeginWrite();
    lock.EndWrite();
    lock.EndRead();
    return undisturbed;
  };
  auto a = std::async(std::launch::async, promote);
  auto b = std::async(std::launch::async, promote);
  ASSERT_EQ(a.wait_for(kDeadline), std::future_status::ready);
  ASSERT_EQ(b.wait_for(kDeadline), std::future_status::ready);
  // The second writer learns that the first wrote while it waited.
  EXPECT_NE(a.get(), b.get());
}

TEST(MrewTest, CheckedLoadingHappensOnce) {
  // The load-on-first-use pattern: check under the read lock, load under the write lock,
  // check again there.
  TMultiReadExclusiveWriteSynchronizer lock;
  bool loaded = false;
  std::atomic<int> loads{0};
  std::latch start(8);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      TReadLockGuard read(lock);
      bool isLoaded;
      {
        TReadLockGuard nested(lock);
        isLoaded = loaded;
      }
      if (!isLoaded) {
        TWriteLockGuard write(lock);
        if (!loaded) {
          ++loads;
          std::this_thread::sleep_for(1ms);
          loaded = true;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(loads.load(), 1);
}

// ---------------------------------------------------------------------------------------------
// Operating system

TEST(OsTest, ErrorsAndNames) {
  try {
    RaiseLastOSError(ENOENT);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_EQ(e.Message(), "System Error.  Code: 2.\nNo such file or directory");
  }
  char name[256] = {};
  ASSERT_EQ(::gethostname(name, sizeof name - 1), 0);
  EXPECT_EQ(GetComputerName(), std::string(name));
  EXPECT_FALSE(GetComputerName().empty());

  TOSVersion version = GetOSVersion();
  EXPECT_EQ(version.Name, "Linux");
  EXPECT_GT(version.Major, 0);
  EXPECT_NE(version.ToString().find(version.Release), std::string::npos);
}

TEST(OsTest, DynamicLibraries) {
  HMODULE libm = LoadLibrary("libm.so.6");
  ASSERT_NE(libm, nullptr) << LibraryErrorText();
  auto* cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(libm, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(GetProcAddress(libm, "no_such_entry_kx"), nullptr);
  EXPECT_NE(LibraryErrorText().find("no_such_entry_kx"), std::string::npos);
  EXPECT_TRUE(FreeLibrary(libm));

  EXPECT_EQ(LoadLibrary("libkx_missing_library.so"), nullptr);
  EXPECT_NE(LibraryErrorText().find("libkx_missing_library.so"), std::string::npos);
  try {
    RaiseLibraryError("libkx_missing_library.so");
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot load library \"libkx_missing_library.so\". ", 0), 0u) << e.Message();
  }
  EXPECT_EQ(GetProcAddress(nullptr, "cos"), nullptr);
  EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST(OsTest, PerformanceCounter) {
  std::int64_t frequency = 0, a = 0, b = 0;
  ASSERT_TRUE(QueryPerformanceFrequency(frequency));
  EXPECT_EQ(frequency, 1000000000);
  ASSERT_TRUE(QueryPerformanceCounter(a));
  ASSERT_TRUE(QueryPerformanceCounter(b));
  EXPECT_GE(b, a);

  SetPerformanceCounterOverride(0, nullptr);
  EXPECT_FALSE(QueryPerformanceFrequency(frequency));
  EXPECT_EQ(frequency, 0) << "no counter";
  EXPECT_FALSE(QueryPerformanceCounter(a));
  std::int64_t fake = 500;
  SetPerformanceCounterOverride(1000, [&] { return fake; });
  ASSERT_TRUE(QueryPerformanceCounter(a));
  EXPECT_EQ(a, 500);
  ResetPerformanceCounter();
  ASSERT_TRUE(QueryPerformanceFrequency(frequency));
  EXPECT_EQ(frequency, 1000000000);

  std::uint64_t t1 = GetTickCount64();
  std::this_thread::sleep_for(5ms);
  EXPECT_GE(GetTickCount64(), t1 + 4);
}

TEST(OsTest, EnvironmentVariables) {
  const std::string name = "KX_RTL_OBJECTS_TEST_VAR";
  std::string value;
  UnsetEnvironmentVariable(name);
  EXPECT_FALSE(FindEnvironmentVariable(name, value));
  EXPECT_EQ(GetEnvironmentVariable(name), "");
  SetEnvironmentVariable(name, "a=b c");
  EXPECT_TRUE(FindEnvironmentVariable(name, value));
  EXPECT_EQ(value, "a=b c");
  SetEnvironmentVariable(name, "");
  EXPECT_TRUE(FindEnvironmentVariable(name, value)) << "set but empty is not unset";
  UnsetEnvironmentVariable(name);
  EXPECT_THROW(SetEnvironmentVariable("BAD=NAME", "x"), EOSError);
}

TEST(OsTest, TextFileWriter) {
  char pattern[] = "/tmp/kx-textfile-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  std::filesystem::path dir = pattern;
  std::string path = (dir / "KxAudit.xml").string();
  auto read = [&] {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };

  TTextFileWriter writer;
  try {
    writer.WriteLine("lost");
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "File not open");
  }
  writer.Rewrite(path);
  writer.WriteLine("<xml>");
  EXPECT_EQ(read(), "<xml>\n") << "a line is in the file as soon as it is written";
  writer.Close();
  EXPECT_THROW(writer.WriteLine("after close"), EInOutError);

  writer.Append(path);
  writer.WriteLine("</xml>");
  writer.Close();
  EXPECT_EQ(read(), "<xml>\n</xml>\n");
  writer.Rewrite(path);
  writer.Close();
  EXPECT_EQ(read(), "") << "Rewrite starts over";

  EXPECT_THROW(writer.Rewrite((dir / "missing" / "x.txt").string()), EInOutError);
  EXPECT_FALSE(writer.IsOpen());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace host
