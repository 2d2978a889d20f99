#include "engines/store/home.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "tests/engines/store/temp_home.h"

namespace fs = std::filesystem;
using namespace kxstore;

namespace {

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(Home, EngineHomeFromEnvironmentOrUserHome) {
  kxtest::TempHome tmp;
  EXPECT_EQ(engineHome(), tmp.home());
  EXPECT_EQ(serversFolder(), tmp.home() + "/servers");

  ::setenv("KX_ENGINE_HOME", (tmp.home() + "/./x/../").c_str(), 1);
  EXPECT_EQ(engineHome(), tmp.home());

  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("KX_ENGINE_HOME", "", 1);  // empty counts as unset
  ::setenv("HOME", tmp.root().c_str(), 1);
  EXPECT_EQ(engineHome(), tmp.root() + "/.local/share/kestrin");
  ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(Home, LocalAndRemoteServers) {
  kxtest::TempHome tmp;
  fs::create_directories(tmp.home() + "/servers/Srv1");
  std::ofstream(tmp.home() + "/servers/notafolder") << "x";

  const std::string me = computerName();
  struct Case {
    std::string name;
    ServerKind kind;
    std::string home;
  } cases[] = {
      {"", ServerKind::local, tmp.home()},
      {"localhost", ServerKind::local, tmp.home()},
      {"LOCALHOST", ServerKind::local, tmp.home()},
      {me, ServerKind::local, tmp.home()},
      {upper(me), ServerKind::local, tmp.home()},
      {"Srv1", ServerKind::remote, tmp.home() + "/servers/Srv1"},
      {"SRV1", ServerKind::remote, tmp.home() + "/servers/Srv1"},
      {"srv2", ServerKind::unknown, ""},
      {"notafolder", ServerKind::unknown, ""},
      {"../home", ServerKind::unknown, ""},
      {"..", ServerKind::unknown, ""},
      {"a\nb", ServerKind::unknown, ""},
  };
  for (const auto& c : cases) {
    const ServerLocation loc = locateServer(c.name);
    EXPECT_EQ(loc.kind, c.kind) << c.name;
    EXPECT_EQ(loc.home, c.home) << c.name;
  }
}

TEST(Home, ServerLogin) {
  kxtest::TempHome tmp;
  const std::string open = tmp.root() + "/open";
  const std::string locked = tmp.root() + "/locked";
  const std::string broken = tmp.root() + "/broken";
  fs::create_directories(open);
  fs::create_directories(locked);
  fs::create_directories(broken);
  std::ofstream(locked + "/server.ini") << "[server]\nplatform = 1\n[users]\nAdmin = s3cret\nguest=\n";
  std::ofstream(broken + "/server.ini") << "this is not an ini file\n";

  struct Case {
    const std::string& home;
    const char* user;
    const char* password;
    bool ok;
  } cases[] = {
      {open, "", "", true},             // a server without users takes anyone
      {open, "who", "ever", true},
      {locked, "admin", "s3cret", true},  // user ignoring case
      {locked, "Admin", "S3CRET", false},  // password exactly
      {locked, "", "", false},
      {locked, "nobody", "s3cret", false},
      {locked, "guest", "", true},
      {broken, "", "", false},  // an unreadable file refuses everyone
  };
  for (const auto& c : cases)
    EXPECT_EQ(checkServerLogin(c.home, c.user, c.password), c.ok) << c.home << " " << c.user << "/" << c.password;

  EXPECT_EQ(readServerSettings(open).platform, kPlatformUnix);
  EXPECT_FALSE(readServerSettings(open).requiresLogin);
  EXPECT_EQ(readServerSettings(locked).platform, kPlatformWindows);
  EXPECT_TRUE(readServerSettings(locked).requiresLogin);
  EXPECT_FALSE(readServerSettings(broken).readable);
}

TEST(Home, NormalizePath) {
  struct Case {
    const char* path;
    const char* base;
    const char* want;
  } cases[] = {
      {"/a//b/./c/", "/x", "/a/b/c"},
      {"/a/../../b", "/x", "/b"},
      {"rel/dir", "/base", "/base/rel/dir"},
      {"../up", "/base/sub", "/base/up"},
      {"", "/base", "/base"},
      {"/", "/x", "/"},
  };
  for (const auto& c : cases) EXPECT_EQ(normalizePath(c.path, c.base), c.want) << c.path;
}

TEST(Home, MakeFolders) {
  kxtest::TempHome tmp;
  EXPECT_TRUE(makeFolders(tmp.root() + "/a/b/c"));
  EXPECT_TRUE(makeFolders(tmp.root() + "/a/b/c"));
  std::ofstream(tmp.root() + "/f") << "x";
  EXPECT_FALSE(makeFolders(tmp.root() + "/f"));
  EXPECT_FALSE(makeFolders(tmp.root() + "/f/g"));
}

}  // namespace
