// A temporary engine home for one test: KX_ENGINE_HOME, ODBCSYSINI and ODBCINI point into a
// fresh folder that is removed afterwards, so no test touches the user's configuration.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace kxtest {

class TempHome {
 public:
  TempHome() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kxstore-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    root_ = tmpl;
    std::filesystem::create_directories(root_ + "/home");
    std::filesystem::create_directories(root_ + "/odbc");
    ::setenv("KX_ENGINE_HOME", (root_ + "/home").c_str(), 1);
    ::setenv("ODBCSYSINI", (root_ + "/odbc").c_str(), 1);
    ::setenv("ODBCINI", (root_ + "/odbc/user.ini").c_str(), 1);
  }
  ~TempHome() {
    std::error_code ec;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(root_, ec);
  }
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& root() const { return root_; }
  std::string home() const { return root_ + "/home"; }

 private:
  std::string root_;
};

// "p3_12": a name made of a prefix and one or two numbers. (Built by appending: GCC 12 warns
// falsely about "literal" + std::string at -O3.)
inline std::string numberedName(const char* prefix, int a, int b = -1) {
  std::string s(prefix);
  s += std::to_string(a);
  if (b >= 0) {
    s += '_';
    s += std::to_string(b);
  }
  return s;
}

}  // namespace kxtest
