// The showcase: what the library can do so far, run against the embedded default engine.
#include <cstdio>

extern "C" const char* kxplatform_version();
extern "C" const char* kxcommon_version();

int main() {
  std::printf("Kestrin data-access library demo\n");
  std::printf("  platform %s, common %s\n", kxplatform_version(), kxcommon_version());
  return 0;
}
