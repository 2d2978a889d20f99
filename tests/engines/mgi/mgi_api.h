// The administration library opened by path, its 24 entries looked up by name, and a fixture
// with a private engine home and ODBC configuration.
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engines/mgi/mgicli.h"
#include "tests/engines/store/temp_home.h"

namespace kxtest {

struct MgiApi {
  void* handle = nullptr;
#define KX_MGI_ENTRY(name) name##_fn name = nullptr;
#include "tests/engines/mgi/mgi_entries.inc"
#undef KX_MGI_ENTRY

  explicit MgiApi(const char* path) {
    handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
#define KX_MGI_ENTRY(name) name = reinterpret_cast<name##_fn>(::dlsym(handle, #name));
#include "tests/engines/mgi/mgi_entries.inc"
#undef KX_MGI_ENTRY
  }
  ~MgiApi() {
    if (handle != nullptr) ::dlclose(handle);
  }
  MgiApi(const MgiApi&) = delete;
  MgiApi& operator=(const MgiApi&) = delete;
};

// The ODBC installer library fixes $ODBCSYSINI at its first use in a process, so every test of
// this program uses one private ODBC folder, emptied before each test.
class SharedOdbcFolder {
 public:
  SharedOdbcFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kxmgi-odbc-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
  }
  ~SharedOdbcFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  // Points the environment at the folder and empties its DSN files.
  void use() const {
    ::setenv("ODBCSYSINI", path_.c_str(), 1);
    ::setenv("ODBCINI", userIni().c_str(), 1);
    for (const auto& f : {systemIni(), userIni()}) std::fclose(std::fopen(f.c_str(), "w"));
  }
  std::string systemIni() const { return path_ + "/odbc.ini"; }
  std::string userIni() const { return path_ + "/user.ini"; }

 private:
  std::string path_;
};

inline const SharedOdbcFolder& odbcFolder() {
  static SharedOdbcFolder folder;
  return folder;
}

// The normal build, loaded once for the whole program like the binding does.
inline MgiApi& mgi() {
  static MgiApi* api = new MgiApi(KX_MGI_LIBRARY);
  return *api;
}

class MgiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    odbcFolder().use();
    ASSERT_NE(mgi().handle, nullptr) << ::dlerror();
    ASSERT_EQ(mgi().KxStart(0), 0);
  }
  void TearDown() override { mgi().KxStop(nullptr); }

  // A simulated server folder, optionally with users.
  std::string makeServer(const std::string& name, const std::string& serverIni = "") {
    const std::string dir = tmp.home() + "/servers/" + name;
    std::filesystem::create_directories(dir);
    if (!serverIni.empty()) {
      std::FILE* f = std::fopen((dir + "/server.ini").c_str(), "w");
      std::fputs(serverIni.c_str(), f);
      std::fclose(f);
    }
    return dir;
  }

  std::int32_t connect(const std::string& server, const char* user = "", const char* password = "") {
    std::int32_t h = KX_MGI_NOT_CONNECTED;
    EXPECT_EQ(mgi().KxConnectServer(server.c_str(), user, password, &h), 0) << server;
    return h;
  }

  TempHome tmp;
};

}  // namespace kxtest
