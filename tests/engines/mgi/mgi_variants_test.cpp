#include "tests/engines/mgi/mgi_api.h"

namespace {

// The test builds the loader's tests need. Each is opened by its own path next to the normal
// build; RTLD_LOCAL keeps their entries apart.
TEST(MgiVariants, WithoutGetDsnEx) {
  kxtest::TempHome tmp;
  kxtest::odbcFolder().use();
  kxtest::MgiApi api(KX_MGI_LIBRARY_NO_GETDSNEX);
  ASSERT_NE(api.handle, nullptr) << ::dlerror();
  EXPECT_EQ(api.KxGetDSNEx, nullptr);
  int present = 0;
#define KX_MGI_ENTRY(name) present += api.name != nullptr;
#include "tests/engines/mgi/mgi_entries.inc"
#undef KX_MGI_ENTRY
  EXPECT_EQ(present, 23);
  ASSERT_EQ(api.KxStart(0), 0);
  char desc[8], db[8];
  std::uint32_t dl = sizeof desc, bl = sizeof db;
  EXPECT_EQ(api.KxGetDSN(KX_MGI_LOCAL, "Missing", &dl, desc, &bl, db), KX_MGI_DSN_DOES_NOT_EXIST);
  api.KxStop(nullptr);
}

TEST(MgiVariants, StartFails) {
  kxtest::TempHome tmp;
  kxtest::odbcFolder().use();
  kxtest::MgiApi api(KX_MGI_LIBRARY_START_FAILS);
  ASSERT_NE(api.handle, nullptr) << ::dlerror();
  EXPECT_EQ(api.KxStart(0), KX_MGI_INVALID_VERSION);
  // The entries still answer after a failed start.
  std::uint32_t count = 1;
  EXPECT_EQ(api.KxGetDbNamesData(KX_MGI_LOCAL, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(api.KxFreeDbNamesData(KX_MGI_LOCAL), 0);
}

TEST(MgiVariants, NormalBuildExportsAll24) {
  int present = 0;
#define KX_MGI_ENTRY(name) present += kxtest::mgi().name != nullptr;
#include "tests/engines/mgi/mgi_entries.inc"
#undef KX_MGI_ENTRY
  EXPECT_EQ(present, 24);
  // Only the entries: the store code inside stays private.
  EXPECT_EQ(::dlsym(kxtest::mgi().handle, "_ZN7kxstore10engineHomeEv"), nullptr);
}

}  // namespace
