#include <set>
#include <thread>

#include "engines/store/home.h"
#include "tests/engines/mgi/mgi_api.h"

namespace {

using kxtest::mgi;

class MgiConnect : public kxtest::MgiTest {};

TEST_F(MgiConnect, ServersAndCredentials) {
  makeServer("Open");
  makeServer("Locked", "[users]\nadmin=pw\n");
  const std::string me = kxstore::computerName();
  struct Case {
    std::string server;
    const char* user;
    const char* password;
    std::uint16_t want;
  } cases[] = {
      {"", nullptr, nullptr, 0},
      {"localhost", "", "", 0},
      {me, "x", "y", 0},
      {"Open", "anyone", "anything", 0},
      {"OPEN", "", "", 0},
      {"Locked", "ADMIN", "pw", 0},
      {"Locked", "admin", "PW", KX_MGI_ACCESS_RIGHT},
      {"Locked", "", "", KX_MGI_ACCESS_RIGHT},
      {"Locked", nullptr, nullptr, KX_MGI_ACCESS_RIGHT},
      {"Nowhere", "", "", KX_MGI_FAIL},
      {"../home", "", "", KX_MGI_FAIL},
  };
  std::set<std::int32_t> handles;
  for (const auto& c : cases) {
    std::int32_t h = 12345;
    EXPECT_EQ(mgi().KxConnectServer(c.server.c_str(), c.user, c.password, &h), c.want) << c.server;
    if (c.want != 0) {
      EXPECT_EQ(h, 12345) << "handle written on failure: " << c.server;
      continue;
    }
    EXPECT_GT(h, 0) << c.server;
    EXPECT_TRUE(handles.insert(h).second) << "handle reused while open";
  }
  std::int32_t h = 0;
  EXPECT_EQ(mgi().KxConnectServer(nullptr, "", "", &h), KX_MGI_NULL_PTR);
  EXPECT_EQ(mgi().KxConnectServer("Open", "", "", nullptr), KX_MGI_NULL_PTR);
}

TEST_F(MgiConnect, DisconnectAndHandleLife) {
  makeServer("Srv1");
  const std::int32_t h = connect("Srv1");
  std::uint32_t count = 0;
  EXPECT_EQ(mgi().KxGetDbNamesData(h, &count), 0);
  EXPECT_EQ(mgi().KxDisconnect(h), 0);
  EXPECT_EQ(mgi().KxDisconnect(h), KX_MGI_INVALID_HANDLE);
  EXPECT_EQ(mgi().KxGetDbNamesData(h, &count), KX_MGI_INVALID_HANDLE);
  // -1 needs no connect and its disconnect is harmless; -2 is never a connection.
  EXPECT_EQ(mgi().KxDisconnect(KX_MGI_LOCAL), 0);
  EXPECT_EQ(mgi().KxGetDbNamesData(KX_MGI_LOCAL, &count), 0);
  EXPECT_EQ(mgi().KxGetDbNamesData(KX_MGI_NOT_CONNECTED, &count), KX_MGI_INVALID_HANDLE);
  EXPECT_EQ(mgi().KxDisconnect(KX_MGI_NOT_CONNECTED), KX_MGI_INVALID_HANDLE);

  // KxStop closes what is still open and says how much that was.
  const std::int32_t a = connect("Srv1");
  connect("localhost");
  std::int32_t open = -1;
  EXPECT_EQ(mgi().KxStop(&open), 0);
  EXPECT_EQ(open, 2);
  EXPECT_EQ(mgi().KxGetDbNamesData(a, &count), KX_MGI_INVALID_HANDLE);
  EXPECT_EQ(mgi().KxStop(nullptr), 0);
}

TEST_F(MgiConnect, RemovedServerFolderAnswersServerNotFound) {
  const std::string dir = makeServer("Gone");
  const std::int32_t h = connect("Gone");
  std::filesystem::remove_all(dir);
  std::uint32_t count = 0;
  EXPECT_EQ(mgi().KxGetDbNamesData(h, &count), KX_MGI_FAIL);
  EXPECT_EQ(mgi().KxDisconnect(h), 0);
}

TEST_F(MgiConnect, ServerNameAndEngineInformation) {
  makeServer("Srv1");
  makeServer("WinBox", "[server]\nplatform=1\n");
  const std::int32_t remote = connect("srv1");

  char buf[256];
  std::uint32_t len = sizeof buf;
  ASSERT_EQ(mgi().KxGetServerName(KX_MGI_LOCAL, &len, buf), 0);
  EXPECT_EQ(std::string(buf), kxstore::computerName());
  EXPECT_EQ(len, kxstore::computerName().size() + 1);
  len = sizeof buf;
  ASSERT_EQ(mgi().KxGetServerName(remote, &len, buf), 0);
  EXPECT_STREQ(buf, "srv1");

  struct Case {
    std::int32_t handle;
    std::uint32_t platform;
  } cases[] = {{KX_MGI_LOCAL, KX_MGI_PLATFORM_UNIX}, {remote, KX_MGI_PLATFORM_UNIX},
               {connect("WinBox"), KX_MGI_PLATFORM_WINDOWS}};
  for (const auto& c : cases) {
    std::uint8_t kind = 0;
    std::uint32_t major = 0, minor = 0, build = 0, platform = 0;
    ASSERT_EQ(mgi().KxGetEngineInformation(c.handle, &kind, &major, &minor, &build, &platform), 0);
    EXPECT_EQ(platform, c.platform);
    EXPECT_EQ(kind, 1);
    EXPECT_GT(major, 0u);
    ASSERT_EQ(mgi().KxGetEngineInformation(c.handle, nullptr, nullptr, nullptr, nullptr, &platform), 0);
  }
  EXPECT_EQ(mgi().KxGetEngineInformation(KX_MGI_LOCAL, nullptr, nullptr, nullptr, nullptr, nullptr), KX_MGI_NULL_PTR);
  EXPECT_EQ(mgi().KxGetEngineInformation(777777, nullptr, nullptr, nullptr, nullptr, &len), KX_MGI_INVALID_HANDLE);
}

TEST_F(MgiConnect, ConcurrentConnectsGetDistinctHandles) {
  makeServer("Srv1");
  constexpr int kThreads = 4, kRounds = 50;
  std::vector<std::vector<std::int32_t>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        std::int32_t h = 0;
        if (mgi().KxConnectServer("Srv1", "", "", &h) == 0) got[t].push_back(h);
      }
    });
  for (auto& th : threads) th.join();
  std::set<std::int32_t> all;
  for (const auto& v : got) all.insert(v.begin(), v.end());
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kRounds));
  EXPECT_EQ(all.count(-1) + all.count(-2) + all.count(0), 0u);
}

}  // namespace
