// The binding loads "libmgicli78.so" by its bare name, so the system's search order decides
// which build a process gets. CTest runs this program once with the build tree's library and
// once with each test build's folder in LD_LIBRARY_PATH (KX_MGI_EXPECT names the case).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/mgi.h"
#include "platform/rtl/os.h"

namespace {

std::string Expected() {
  const char* value = std::getenv("KX_MGI_EXPECT");
  return value == nullptr ? "normal" : value;
}

TEST(MgiBareName, LoadsTheBuildTheLoaderFinds) {
  EXPECT_STREQ(kx::MgiLibraryName, "libmgicli78.so");
  char name[256] = {};
  std::uint32_t length = sizeof name;
  ASSERT_EQ(kx::KxGetServerName(-1, &length, name), 0);
  EXPECT_TRUE(kx::detail::IsMgiLoaded());

  // A NULL DSN name: the real library refuses it with 7002 without touching any file.
  char description[8] = {}, database[8] = {};
  std::uint32_t descriptionLength = sizeof description, databaseLength = sizeof database;
  std::int32_t openMode = -1;
  const std::uint16_t status =
      kx::KxGetDSNEx(-1, nullptr, &descriptionLength, description, &databaseLength, database, &openMode);

  const std::string expected = Expected();
  if (expected == "fake") {
    EXPECT_STREQ(name, "FAKESERVER");
    EXPECT_EQ(status, 0);
  } else if (expected == "no-getdsnex") {
    EXPECT_EQ(std::string(name), host::GetComputerName());
    EXPECT_EQ(status, kx::MGI_CALL_NOT_SUPPORTED);
  } else {
    EXPECT_EQ(std::string(name), host::GetComputerName());
    EXPECT_EQ(status, 7002);
  }
}

// A connection left open when the program ends: the library's own objects are destroyed at
// exit, and kxcommon's finalization must not call into it afterwards. This test cannot see
// the outcome; the program's end can (AddressSanitizer reports a use after free otherwise).
TEST(MgiBareName, AConnectionLeftOpenAtExitIsHarmless) {
  std::int32_t handle = -2;
  ASSERT_EQ(kx::KxConnectServer("localhost", "", "", &handle), 0);
  EXPECT_GT(handle, 0);
}

}  // namespace
