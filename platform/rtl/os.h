// Operating-system services: error texts, the computer's name and the system's version,
// dynamic libraries, the high-resolution counter and tick counts, environment variables, and a
// line-by-line text-file writer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace host {

// The system's text for an errno value.
std::string SysErrorMessage(int ErrorCode);
// Raises EOSError "System Error.  Code: N.\n<text>" for errno (or the given code).
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseLastOSError(int ErrorCode);

// The host name as the system reports it, trimmed of blanks. Not shortened: comparing it with
// a server name typed by a user must not depend on a length limit. Raises EOSError on failure.
std::string GetComputerName();

struct TOSVersion {
  std::string Name;          // kernel name, "Linux"
  int Major = 0;             // kernel release numbers, 6.1.0 -> 6, 1, 0
  int Minor = 0;
  int Build = 0;
  std::string Release;       // the whole kernel release text, "6.1.0-18-amd64"
  std::string Architecture;  // "x86_64"
  std::string Distribution;  // PRETTY_NAME of /etc/os-release, or empty
  // "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64 (x86_64)"
  std::string ToString() const;
};
TOSVersion GetOSVersion();

// Dynamic libraries. A bare name is searched for the way the system's loader searches
// (LD_LIBRARY_PATH, the run path of this platform library, the system folders).
using HMODULE = void*;
// nullptr on failure; LibraryErrorText then tells why (for the calling thread).
HMODULE LoadLibrary(const std::string& FileName);
// nullptr when the library has no such entry.
void* GetProcAddress(HMODULE Module, const std::string& ProcName);
bool FreeLibrary(HMODULE Module);
// The loader's text for the last failure of LoadLibrary, GetProcAddress or FreeLibrary on this
// thread.
std::string LibraryErrorText();
// Raises EOSError "Cannot load library "<name>". <loader's text>".
[[noreturn]] void RaiseLibraryError(const std::string& FileName);

// A monotonic counter: ticks and ticks per second. A frequency of 0 means there is no counter.
bool QueryPerformanceCounter(std::int64_t& Counter);
bool QueryPerformanceFrequency(std::int64_t& Frequency);
// For tests: replaces the counter (Frequency 0 simulates a system without one).
void SetPerformanceCounterOverride(std::int64_t Frequency, std::function<std::int64_t()> Counter);
void ResetPerformanceCounter();

// Milliseconds of a monotonic clock; the 32-bit form wraps after 49.7 days.
std::uint32_t GetTickCount();
std::uint64_t GetTickCount64();

// Environment variables. Reads and writes through these functions are serialised with each
// other; the C library's own getenv/setenv from other threads are not.
std::string GetEnvironmentVariable(const std::string& Name);
bool FindEnvironmentVariable(const std::string& Name, std::string& Value);
void SetEnvironmentVariable(const std::string& Name, const std::string& Value);
void UnsetEnvironmentVariable(const std::string& Name);

// Writes a text file line by line; each line reaches the file when it is written, so a trace
// survives a crash of the program. Failures raise EInOutError; so does writing to a writer that
// is not open ("File not open").
class TTextFileWriter {
 public:
  TTextFileWriter() = default;
  TTextFileWriter(const TTextFileWriter&) = delete;
  TTextFileWriter& operator=(const TTextFileWriter&) = delete;
  ~TTextFileWriter();

  // Creates the file, or empties an existing one.
  void Rewrite(const std::string& FileName);
  // Opens the file to add to its end, creating it when missing.
  void Append(const std::string& FileName);
  void Write(std::string_view Text);
  void WriteLine(std::string_view Line);
  void Close();
  bool IsOpen() const { return FHandle >= 0; }
  const std::string& FileName() const { return FFileName; }
  const std::string& LineBreak() const { return FLineBreak; }
  void SetLineBreak(std::string Value) { FLineBreak = std::move(Value); }

 private:
  void Open(const std::string& FileName, int Flags);
  int FHandle = -1;
  std::string FFileName;
  std::string FLineBreak = "\n";
};

}  // namespace host
