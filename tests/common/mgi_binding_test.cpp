// The administration binding: loading once, retrying after a failed load, missing entries,
// passing arguments and statuses through, concurrency under its lock, and unloading.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/mgi.h"
#include "platform/rtl/os.h"
#include "tests/common/mgi_binding/fakemgi.h"

namespace kx {
namespace {

using kxtest::FakeMgi;
using kxtest::UseFakeMgi;
using kxtest::UseMgiLibrary;

constexpr const char* kMissingLibrary = "/nonexistent/kestrin/libmgicli78.so";

// One call of each wrapper with distinctive arguments, and the log line the fake must record.
struct WrapperCase {
  const char* entry;
  std::function<std::uint16_t()> call;
  std::string expectedLog;  // empty: the arguments are not checked
};

std::vector<WrapperCase> AllWrappers() {
  static char buffer[64];
  static std::uint32_t length;
  static std::uint32_t count;
  static std::int32_t handle;
  static std::int16_t isLocal;
  static std::uint8_t kind;
  static std::uint32_t a, b, c, d;
  static char buffer2[64];
  static std::uint32_t length2;
  auto reset = [] {
    length = sizeof buffer;
    length2 = sizeof buffer2;
  };
  return {
      {"KxConnectServer", [] { return KxConnectServer("SRV1", "adm", "pw", &handle); }, "KxConnectServer(SRV1,adm,pw)"},
      {"KxDisconnect", [] { return KxDisconnect(17); }, "KxDisconnect(17)"},
      {"KxGetServerName", [=] { reset(); return KxGetServerName(17, &length, buffer); }, "KxGetServerName(17)"},
      {"KxStart", [] { return KxStart(5); }, "KxStart(5)"},
      {"KxStop", [] { return KxStop(&handle); }, "KxStop(ptr)"},
      {"KxGetDbNamesData", [] { return KxGetDbNamesData(17, &count); }, "KxGetDbNamesData(17)"},
      {"KxFreeDbNamesData", [] { return KxFreeDbNamesData(17); }, "KxFreeDbNamesData(17)"},
      {"KxGetDbName", [=] { reset(); return KxGetDbName(17, 3, &length, buffer); }, "KxGetDbName(17,3,64)"},
      {"KxCreateDatabase", [] { return KxCreateDatabase(17, "Sales", "/d", "/x", 6); },
       "KxCreateDatabase(17,Sales,/d,/x,6)"},
      {"KxDropDatabase", [] { return KxDropDatabase(17, "Sales", 1); }, "KxDropDatabase(17,Sales,1)"},
      {"KxModifyDatabase", [] { return KxModifyDatabase(17, "Old", "New", "/d", "/x", 3); },
       "KxModifyDatabase(17,Old,New,/d,/x,3)"},
      {"KxCheckDbInfo", [] { return KxCheckDbInfo(17, "Sales", 2); }, "KxCheckDbInfo(17,Sales,2)"},
      {"KxGetDbServerName", [=] { reset(); return KxGetDbServerName(17, "Sales", &length, buffer, &isLocal); },
       "KxGetDbServerName(17,Sales)"},
      {"KxGetDbFlags", [] { return KxGetDbFlags(17, "Sales", &count); }, "KxGetDbFlags(17,Sales)"},
      {"KxGetDbDictionaryPath", [=] { reset(); return KxGetDbDictionaryPath(17, "Sales", &length, buffer); },
       "KxGetDbDictionaryPath(17,Sales)"},
      {"KxGetDbDataPath", [=] { reset(); return KxGetDbDataPath(17, "Sales", &length, buffer); },
       "KxGetDbDataPath(17,Sales)"},
      {"KxGetDSN", [=] { reset(); return KxGetDSN(17, "Dsn1", &length, buffer, &length2, buffer2); },
       "KxGetDSN(17,Dsn1)"},
      {"KxCountDSNs", [] { return KxCountDSNs(17, &count, DSN_Filter_False); }, "KxCountDSNs(17,0)"},
      {"KxListDSNs", [=] { reset(); return KxListDSNs(17, &length, buffer, DSN_Filter_True); }, "KxListDSNs(17,1)"},
      {"KxCreateDSN", [] { return KxCreateDSN(17, "Dsn1", "desc", "Sales", 3); }, "KxCreateDSN(17,Dsn1,desc,Sales,3)"},
      {"KxDeleteDSN", [] { return KxDeleteDSN(17, "Dsn1"); }, "KxDeleteDSN(17,Dsn1)"},
      {"KxGetDSNEx", [=] { reset(); return KxGetDSNEx(17, "Dsn1", &length, buffer, &length2, buffer2, &handle); },
       "KxGetDSNEx(17,Dsn1)"},
      {"KxModifyDSN", [] { return KxModifyDSN(17, "Dsn1", "desc", "Sales", 2); }, "KxModifyDSN(17,Dsn1,desc,Sales,2)"},
      {"KxGetEngineInformation", [] { return KxGetEngineInformation(17, &kind, &a, &b, &c, &d); },
       "KxGetEngineInformation(17)"},
  };
}

TEST(MgiBinding, FilterConstants) {
  EXPECT_EQ(DSN_Filter_True, 1);
  EXPECT_EQ(DSN_Filter_False, 0);
  static_assert(sizeof(DSN_Filter_True) == 2 && sizeof(DSN_Filter_False) == 2);
}

// Each wrapper reaches the entry of its own name with its arguments unchanged, and returns
// the entry's status unchanged (a distinct one per entry, so a crossed slot shows).
TEST(MgiBinding, EveryWrapperPassesArgumentsAndStatusThrough) {
  UseFakeMgi use;
  std::uint16_t status = 7100;
  for (const WrapperCase& c : AllWrappers()) use.fake.SetStatus(c.entry, ++status);
  use.fake.SetStatus("KxStart", 0);  // the load itself must succeed

  // The first call loads: KxStart (0) comes before the first entry.
  ASSERT_EQ(KxDisconnect(17), 7102);
  ASSERT_GE(use.fake.Log().size(), 2u);
  EXPECT_EQ(use.fake.Log()[0], "KxStart(0)");

  status = 7100;
  for (const WrapperCase& c : AllWrappers()) {
    ++status;
    if (std::string(c.entry) == "KxStart") continue;
    use.fake.Reset();
    use.fake.SetStatus(c.entry, status);
    SCOPED_TRACE(c.entry);
    EXPECT_EQ(c.call(), status);
    const auto log = use.fake.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], c.expectedLog);
  }
}

TEST(MgiBinding, LoadsAndStartsOnceForAnyNumberOfCalls) {
  UseFakeMgi use;
  EXPECT_FALSE(detail::IsMgiLoaded());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(KxDisconnect(-1), 0);
  std::uint32_t count = 0;
  EXPECT_EQ(KxGetDbNamesData(-1, &count), 0);
  EXPECT_TRUE(detail::IsMgiLoaded());
  EXPECT_EQ(use.fake.Calls("KxStart"), 1);
  EXPECT_EQ(use.fake.LastStartArgument(), 0);
  EXPECT_EQ(use.fake.Calls("KxDisconnect"), 5);
  EXPECT_EQ(use.fake.Calls("KxStop"), 0);
}

// Unloading stops the library with no argument and empties the slots; the next call loads
// and starts it again. Unloading an unloaded binding does nothing.
TEST(MgiBinding, DeinitStopsUnloadsAndTheNextCallLoadsAgain) {
  UseFakeMgi use;
  EXPECT_EQ(detail::DeinitMgi(), 0);
  EXPECT_EQ(use.fake.Calls("KxStop"), 0);

  ASSERT_EQ(KxDisconnect(-1), 0);
  EXPECT_EQ(detail::DeinitMgi(), 0);
  EXPECT_FALSE(detail::IsMgiLoaded());
  EXPECT_EQ(use.fake.Calls("KxStop"), 1);
  EXPECT_TRUE(use.fake.LastStopArgumentWasNull());

  ASSERT_EQ(KxDisconnect(-1), 0);
  EXPECT_EQ(use.fake.Calls("KxStart"), 2);
}

// The real library is freed by the unload (nothing else holds it in this process).
TEST(MgiBinding, DeinitFreesTheLibrary) {
  {
    UseMgiLibrary use(KX_MGI_LIBRARY_NO_GETDSNEX);
    std::uint32_t length = 0;
    ASSERT_EQ(KxGetServerName(-1, &length, nullptr), 7003);  // a size query
    EXPECT_GT(length, 1u);
    void* probe = ::dlopen(KX_MGI_LIBRARY_NO_GETDSNEX, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(probe, nullptr);
    ::dlclose(probe);
  }
  EXPECT_EQ(::dlopen(KX_MGI_LIBRARY_NO_GETDSNEX, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

// Without the library every wrapper answers 7590 without raising, and each call tries again:
// once the library can be found the next call loads it.
TEST(MgiBinding, AbsentLibraryAnswers7590AndEveryCallRetries) {
  UseMgiLibrary use(kMissingLibrary);
  for (const WrapperCase& c : AllWrappers()) {
    SCOPED_TRACE(c.entry);
    std::uint16_t status = 0;
    EXPECT_NO_THROW(status = c.call());
    EXPECT_EQ(status, MGI_PROBLEM_TO_LOAD_DLL);
    EXPECT_FALSE(detail::IsMgiLoaded());
  }
  FakeMgi& fake = FakeMgi::Get();
  fake.Reset();
  detail::SetMgiLibraryFile(KX_MGI_FAKE_LIBRARY);
  EXPECT_EQ(KxDisconnect(-1), 0);
  EXPECT_EQ(fake.Calls("KxStart"), 1);
  EXPECT_EQ(fake.Calls("KxDisconnect"), 1);
}

// A library without KxGetDSNEx: only that wrapper answers 7591, the others reach the library.
TEST(MgiBinding, MissingEntryAnswers7591ForThatWrapperOnly) {
  UseMgiLibrary use(KX_MGI_LIBRARY_NO_GETDSNEX);
  char description[16], database[16];
  std::uint32_t descriptionLength = sizeof description, databaseLength = sizeof database;
  std::int32_t openMode = 99;
  EXPECT_EQ(KxGetDSNEx(-1, "Any", &descriptionLength, description, &databaseLength, database, &openMode),
            MGI_CALL_NOT_SUPPORTED);
  EXPECT_EQ(openMode, 99);
  EXPECT_TRUE(detail::IsMgiLoaded());

  char name[256];
  std::uint32_t length = sizeof name;
  ASSERT_EQ(KxGetServerName(-1, &length, name), 0);
  EXPECT_EQ(std::string(name), host::GetComputerName());
  EXPECT_EQ(KxDisconnect(-1), 0);
  // The missing entry stays missing; nothing is reloaded for it.
  EXPECT_EQ(KxGetDSNEx(-1, "Any", &descriptionLength, description, &databaseLength, database, &openMode),
            MGI_CALL_NOT_SUPPORTED);
}

// KxStart refusing: the call that loaded returns KxStart's status without reaching its own
// entry; the library stays loaded and the next call reaches its entry without a new start.
TEST(MgiBinding, FailedStartIsReturnedByTheLoadingCallOnly) {
  {
    UseMgiLibrary use(KX_MGI_LIBRARY_START_FAILS);
    char name[256] = "untouched";
    std::uint32_t length = sizeof name;
    EXPECT_EQ(KxGetServerName(-1, &length, name), 7014);
    EXPECT_STREQ(name, "untouched");
    EXPECT_TRUE(detail::IsMgiLoaded());
    ASSERT_EQ(KxGetServerName(-1, &length, name), 0);
    EXPECT_EQ(std::string(name), host::GetComputerName());
  }
  // The same with the fake, which counts the calls.
  UseFakeMgi use;
  use.fake.SetStatus("KxStart", 7014);
  EXPECT_EQ(KxDisconnect(-1), 7014);
  EXPECT_EQ(use.fake.Calls("KxDisconnect"), 0);
  EXPECT_EQ(KxDisconnect(-1), 0);
  EXPECT_EQ(use.fake.Calls("KxDisconnect"), 1);
  EXPECT_EQ(use.fake.Calls("KxStart"), 1);
}

// Threads making their first calls at the same moment load and start the library once.
// KxStart is slowed down so that late threads arrive while the first is loading; several
// threads and rounds make it likely that some pass the "not loaded" check together.
TEST(MgiBinding, ThreadsCallingFirstLoadOnce) {
  constexpr int kThreads = 8;
  for (int round = 0; round < 20; ++round) {
    UseFakeMgi use;
    use.fake.SetStartDelay(round % 2 == 0 ? 20 : 0);
    std::atomic<int> ready{0};
    std::vector<std::uint16_t> statuses(kThreads, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        ++ready;
        while (ready < kThreads) std::this_thread::yield();
        std::uint32_t count = 0;
        statuses[static_cast<std::size_t>(t)] = t % 2 == 0 ? KxDisconnect(-1) : KxGetDbNamesData(-1, &count);
      });
    }
    for (std::thread& t : threads) t.join();
    SCOPED_TRACE(round);
    EXPECT_EQ(statuses, std::vector<std::uint16_t>(kThreads, 0));
    EXPECT_EQ(use.fake.Calls("KxStart"), 1);
    EXPECT_EQ(use.fake.Calls("KxDisconnect") + use.fake.Calls("KxGetDbNamesData"), kThreads);
  }
}

// Calls are not serialised: while one call is inside the library another one runs. An
// unload waits until the call in progress has returned.
TEST(MgiBinding, CallsRunConcurrentlyAndUnloadWaitsForThem) {
  UseFakeMgi use;
  ASSERT_EQ(KxDisconnect(-1), 0);  // loaded
  use.fake.Block("KxGetDbFlags");
  std::uint32_t flags = 0;
  std::thread inside([&] { EXPECT_EQ(KxGetDbFlags(-1, "Sales", &flags), 0); });
  ASSERT_TRUE(use.fake.WaitHeld(1));

  // Another call passes by the held one.
  std::uint32_t count = 0;
  EXPECT_EQ(KxCountDSNs(-1, &count, DSN_Filter_True), 0);

  std::atomic<bool> unloaded{false};
  std::thread unloading([&] {
    detail::DeinitMgi();
    unloaded = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(unloaded);
  EXPECT_EQ(use.fake.Calls("KxStop"), 0);

  use.fake.Release();
  inside.join();
  unloading.join();
  EXPECT_TRUE(unloaded);
  EXPECT_EQ(use.fake.Calls("KxStop"), 1);
  EXPECT_EQ(flags, 3u);
}

}  // namespace
}  // namespace kx
