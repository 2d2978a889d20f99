// Test access to the scriptable administration library (fake_mgicli.cpp) and to the test
// builds of the real one. KX_MGI_FAKE_LIBRARY and friends are the files' paths, given by the
// build.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/mgi.h"

namespace kxtest {

// The fake's control functions. The test opens the fake by the same path the binding loads,
// so both share one copy, and keeps it open: the fake's counters outlive the binding's unloads.
struct FakeMgi {
  void* handle = nullptr;
  void (*Reset)() = nullptr;
  int (*Calls)(const char*) = nullptr;
  int (*LogCount)() = nullptr;
  bool (*LogLine)(int, char*, std::uint32_t) = nullptr;
  void (*SetStatus)(const char*, std::uint16_t) = nullptr;
  void (*QueueStatus)(const char*, std::uint16_t) = nullptr;
  void (*SetStartDelay)(int) = nullptr;
  int (*LastStartArgument)() = nullptr;
  bool (*LastStopArgumentWasNull)() = nullptr;
  void (*Block)(const char*) = nullptr;
  bool (*WaitHeld)(int) = nullptr;
  void (*Release)() = nullptr;

  static FakeMgi& Get() {
    static FakeMgi* fake = [] {
      auto* f = new FakeMgi();
      f->handle = ::dlopen(KX_MGI_FAKE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
      if (f->handle == nullptr) throw std::runtime_error(std::string("cannot open the fake: ") + ::dlerror());
      f->Bind(f->Reset, "FakeMgiReset");
      f->Bind(f->Calls, "FakeMgiCalls");
      f->Bind(f->LogCount, "FakeMgiLogCount");
      f->Bind(f->LogLine, "FakeMgiLogLine");
      f->Bind(f->SetStatus, "FakeMgiSetStatus");
      f->Bind(f->QueueStatus, "FakeMgiQueueStatus");
      f->Bind(f->SetStartDelay, "FakeMgiSetStartDelay");
      f->Bind(f->LastStartArgument, "FakeMgiLastStartArgument");
      f->Bind(f->LastStopArgumentWasNull, "FakeMgiLastStopArgumentWasNull");
      f->Bind(f->Block, "FakeMgiBlock");
      f->Bind(f->WaitHeld, "FakeMgiWaitHeld");
      f->Bind(f->Release, "FakeMgiRelease");
      return f;
    }();
    return *fake;
  }

  // Every call the fake received since the last Reset, as "Entry(arguments)".
  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    char buffer[512];
    for (int i = 0; i < LogCount(); ++i) {
      if (LogLine(i, buffer, sizeof buffer)) lines.emplace_back(buffer);
    }
    return lines;
  }

 private:
  template <class F>
  void Bind(F& target, const char* name) {
    target = reinterpret_cast<F>(::dlsym(handle, name));
    if (target == nullptr) throw std::runtime_error(std::string("the fake lacks ") + name);
  }
};

// Points the binding at a library file for the scope's lifetime, starting from an unloaded
// binding and leaving it unloaded again.
class UseMgiLibrary {
 public:
  explicit UseMgiLibrary(const std::string& file) {
    kx::detail::DeinitMgi();
    previous_ = kx::detail::SetMgiLibraryFile(file);
  }
  ~UseMgiLibrary() {
    kx::detail::DeinitMgi();
    kx::detail::SetMgiLibraryFile(previous_);
  }
  UseMgiLibrary(const UseMgiLibrary&) = delete;
  UseMgiLibrary& operator=(const UseMgiLibrary&) = delete;

 private:
  std::string previous_;
};

// The binding on the fake, with the fake's script and counters cleared.
class UseFakeMgi : public UseMgiLibrary {
 public:
  UseFakeMgi() : UseMgiLibrary(KX_MGI_FAKE_LIBRARY), fake(FakeMgi::Get()) { fake.Reset(); }
  ~UseFakeMgi() { fake.Release(); }
  FakeMgi& fake;
};

}  // namespace kxtest
