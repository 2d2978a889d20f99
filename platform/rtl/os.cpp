#include "platform/rtl/os.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/rtl/classesconsts.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

namespace host {

namespace {

std::string TrimBlanks(std::string s) {
  std::size_t first = 0;
  while (first < s.size() && static_cast<unsigned char>(s[first]) <= ' ') ++first;
  std::size_t last = s.size();
  while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ') --last;
  return s.substr(first, last - first);
}

}  // namespace

std::string SysErrorMessage(int ErrorCode) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = ::strerror_r(ErrorCode, buffer, sizeof buffer);
  return text != nullptr ? std::string(text) : std::string();
}

void RaiseLastOSError() { RaiseLastOSError(errno); }

void RaiseLastOSError(int ErrorCode) {
  if (ErrorCode == 0) throw EOSError(rtlconsts::SUnkOSError, 0);
  throw EOSError(Format(rtlconsts::SOSError, {ErrorCode, SysErrorMessage(ErrorCode)}), ErrorCode);
}

std::string GetComputerName() {
  char buffer[HOST_NAME_MAX + 2] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) RaiseLastOSError();
  return TrimBlanks(buffer);
}

std::string TOSVersion::ToString() const {
  std::string text = Distribution.empty() ? std::string() : Distribution + ", ";
  text += Name + " " + Release;
  if (!Architecture.empty()) text += " (" + Architecture + ")";
  return text;
}

TOSVersion GetOSVersion() {
  TOSVersion version;
  struct utsname names {};
  if (::uname(&names) == 0) {
    version.Name = names.sysname;
    version.Release = names.release;
    version.Architecture = names.machine;
    // "6.1.0-18-amd64": the leading numbers.
    const char* p = names.release;
    int* parts[] = {&version.Major, &version.Minor, &version.Build};
    for (int* part : parts) {
      char* end = nullptr;
      long n = std::strtol(p, &end, 10);
      if (end == p) break;
      *part = static_cast<int>(n);
      if (*end != '.') break;
      p = end + 1;
    }
  }
  std::ifstream release("/etc/os-release");
  std::string line;
  while (std::getline(release, line)) {
    if (line.rfind("PRETTY_NAME=", 0) == 0) {
      std::string value = line.substr(12);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      version.Distribution = value;
      break;
    }
  }
  return version;
}

// ---------------------------------------------------------------------------------------------
// Dynamic libraries

namespace {

thread_local std::string tLibraryError;

void NoteLibraryError() {
  const char* text = ::dlerror();
  tLibraryError = text != nullptr ? text : "unknown loader error";
}

}  // namespace

HMODULE LoadLibrary(const std::string& FileName) {
  ::dlerror();
  void* handle = ::dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) NoteLibraryError();
  return handle;
}

void* GetProcAddress(HMODULE Module, const std::string& ProcName) {
  if (Module == nullptr) {
    tLibraryError = "no library";
    return nullptr;
  }
  ::dlerror();
  void* address = ::dlsym(Module, ProcName.c_str());
  if (address == nullptr) NoteLibraryError();
  return address;
}

bool FreeLibrary(HMODULE Module) {
  if (Module == nullptr) return false;
  ::dlerror();
  if (::dlclose(Module) != 0) {
    NoteLibraryError();
    return false;
  }
  return true;
}

std::string LibraryErrorText() { return tLibraryError; }

void RaiseLibraryError(const std::string& FileName) {
  throw EOSError(Format(rtlconsts::SLibraryError, {FileName, tLibraryError}), 0);
}

// ---------------------------------------------------------------------------------------------
// Counters

namespace {

struct CounterOverride {
  std::mutex lock;
  bool active = false;
  std::int64_t frequency = 0;
  std::function<std::int64_t()> counter;
};

CounterOverride& Override() {
  static auto* o = new CounterOverride();
  return *o;
}

std::int64_t SteadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool QueryPerformanceCounter(std::int64_t& Counter) {
  CounterOverride& o = Override();
  std::function<std::int64_t()> counter;
  {
    std::lock_guard<std::mutex> guard(o.lock);
    if (o.active) {
      if (o.frequency == 0 || !o.counter) {
        Counter = 0;
        return false;
      }
      counter = o.counter;
    }
  }
  Counter = counter ? counter() : SteadyNanoseconds();
  return true;
}

bool QueryPerformanceFrequency(std::int64_t& Frequency) {
  CounterOverride& o = Override();
  std::lock_guard<std::mutex> guard(o.lock);
  Frequency = o.active ? o.frequency : 1000000000;
  return Frequency != 0;
}

void SetPerformanceCounterOverride(std::int64_t Frequency, std::function<std::int64_t()> Counter) {
  CounterOverride& o = Override();
  std::lock_guard<std::mutex> guard(o.lock);
  o.active = true;
  o.frequency = Frequency < 0 ? 0 : Frequency;
  o.counter = std::move(Counter);
}

void ResetPerformanceCounter() {
  CounterOverride& o = Override();
  std::lock_guard<std::mutex> guard(o.lock);
  o.active = false;
  o.frequency = 0;
  o.counter = nullptr;
}

std::uint64_t GetTickCount64() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

std::uint32_t GetTickCount() { return static_cast<std::uint32_t>(GetTickCount64()); }

// ---------------------------------------------------------------------------------------------
// Environment

namespace {

std::mutex& EnvironmentLock() {
  static auto* lock = new std::mutex();
  return *lock;
}

}  // namespace

bool FindEnvironmentVariable(const std::string& Name, std::string& Value) {
  std::lock_guard<std::mutex> guard(EnvironmentLock());
  const char* value = std::getenv(Name.c_str());
  if (value == nullptr) return false;
  Value = value;
  return true;
}

std::string GetEnvironmentVariable(const std::string& Name) {
  std::string value;
  FindEnvironmentVariable(Name, value);
  return value;
}

void SetEnvironmentVariable(const std::string& Name, const std::string& Value) {
  std::lock_guard<std::mutex> guard(EnvironmentLock());
  if (::setenv(Name.c_str(), Value.c_str(), 1) != 0) RaiseLastOSError();
}

void UnsetEnvironmentVariable(const std::string& Name) {
  std::lock_guard<std::mutex> guard(EnvironmentLock());
  if (::unsetenv(Name.c_str()) != 0) RaiseLastOSError();
}

// ---------------------------------------------------------------------------------------------
// TTextFileWriter

TTextFileWriter::~TTextFileWriter() {
  if (FHandle >= 0) ::close(FHandle);
}

void TTextFileWriter::Open(const std::string& FileName, int Flags) {
  Close();
  int fd = -1;
  do {
    fd = ::open(FileName.c_str(), Flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EInOutError(Format(rtlconsts::SFCreateErrorEx, {FileName, SysErrorMessage(errno)}));
  FHandle = fd;
  FFileName = FileName;
}

void TTextFileWriter::Rewrite(const std::string& FileName) { Open(FileName, O_TRUNC); }

void TTextFileWriter::Append(const std::string& FileName) { Open(FileName, O_APPEND); }

void TTextFileWriter::Write(std::string_view Text) {
  if (FHandle < 0) throw EInOutError(rtlconsts::SFileNotOpen);
  std::size_t done = 0;
  while (done < Text.size()) {
    ssize_t n = ::write(FHandle, Text.data() + done, Text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError(Format(rtlconsts::SFileWriteError, {FFileName, SysErrorMessage(errno)}));
    }
    done += static_cast<std::size_t>(n);
  }
}

void TTextFileWriter::WriteLine(std::string_view Line) {
  // One write per line, so lines of a crashing program are whole.
  std::string text;
  text.reserve(Line.size() + FLineBreak.size());
  text.append(Line);
  text.append(FLineBreak);
  Write(text);
}

void TTextFileWriter::Close() {
  if (FHandle < 0) return;
  int fd = FHandle;
  FHandle = -1;
  if (::close(fd) != 0 && errno != EINTR) {
    throw EInOutError(Format(rtlconsts::SFileWriteError, {FFileName, SysErrorMessage(errno)}));
  }
}

}  // namespace host
