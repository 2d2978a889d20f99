// Diagnostic tracing: an XML-like audit log (KxAudit.xml) of what the datasets do, for
// support cases.
//
// Eleven process-wide switches select what is traced. Every trace point tests its switch
// first, so tracing costs nothing while the switches are off. The first switch turned on
// creates the log; it stays open while any switch is on and is finished and closed when the
// last one is turned off.
//
// The log is written line by line, one element per line:
//     <xml version="1.0" standalone="yes">
//     <audit prod="VOSK">
//     <start>date time</start>
//     ... trace elements ...
//     <end>date time</end>
//     </audit>
//     </xml>
// A trace point brackets its call with diagOpenLine(type, meth) and "</diag>" (or uses
// TKxDiagScope); with diagnoseTiming on, each closing line is preceded on the same line by the
// call's duration, <timing secs="0.000"/>.
//
// Switches, file and timing state are meant for the application's main thread; nothing here
// is locked.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {
class TObject;
}

namespace kx {

// ---- switches (all false at start) ------------------------------------------------------

extern bool diagnoseBlobs;       // "blob"
extern bool diagnoseLocate;      // "locate"
extern bool diagnoseGetRecord;   // "getRecord"
extern bool diagnoseNavigate;    // "navigate"
extern bool diagnoseEdit;        // "edit"
extern bool diagnoseDataEvent;   // "dataEvent"
extern bool diagnoseRefresh;     // "refresh"
extern bool diagnoseClose;       // "close"
extern bool diagnoseOpen;        // "open"
extern bool diagnose1590_Open;   // "1590_open": entry and exit of the internal operations
extern bool diagnoseTiming;      // "timing" elements inside the others

// Turning a switch on opens the log (a no-op when it is open already); when the log cannot
// be created the switch keeps its old value and EInOutError is raised. Turning the last switch
// off finishes and closes the log. Turning diagnoseTiming off drops the pending timings.
void SetDiagnoseBlobs(bool value);
void SetDiagnoseLocate(bool value);
void SetDiagnoseGetRecord(bool value);
void SetDiagnoseNavigate(bool value);
void SetDiagnoseEdit(bool value);
void SetDiagnoseDataEvent(bool value);
void SetDiagnoseRefresh(bool value);
void SetDiagnoseClose(bool value);
void SetDiagnoseOpen(bool value);
void SetDiagnose1590_Open(bool value);
void SetDiagnoseTiming(bool value);

// ---- writing ------------------------------------------------------------------------------

// Writes one line. A numbered line gets the suffix
// "<!-- - - - - - - - - - - - - - - - - - - - -  N -->" with the next line number (from 1).
// Writing while the log is closed, or failing to write, raises host::EInOutError.
void trace(std::string_view line, bool numbered = false);
// Writes "line [detail]" as one line (never timed).
void trace(std::string_view line, std::string_view detail);
void trace(std::string_view line, const char* detail);  // keeps trace("x", "y") off the bool overload
// Writes "<mark>", text and "</mark>" as three lines.
void Mark(std::string_view text);
// The number of numbered lines written since the log was opened.
int getCountTrace();

// ---- lines of the element shapes ----------------------------------------------------------

inline constexpr std::string_view kDiagClose = "</diag>";
inline constexpr std::string_view kDumpClose = "</dump>";
inline constexpr std::string_view kPathClose = "</path>";

// <diag type="open" meth="TKxDataSet.InternalOpen">
std::string diagOpenLine(std::string_view type, std::string_view meth);
// <dump count="2">
std::string dumpOpenLine(int count);
// <state name="FCached">true</state>
std::string stateLine(std::string_view name, bool value);
// <state name="result" val="grOK" />
std::string stateValLine(std::string_view name, std::string_view value);
// <datum name="FBlobSize">1024</datum>
std::string datumLine(std::string_view name, std::string_view value);
std::string datumLine(std::string_view name, std::int64_t value);
// <path refreshing="true">
std::string pathOpenLine(bool refreshing);

// Brackets a traced call: writes diagOpenLine when `enabled`, and "</diag>" when it goes out
// of scope. The closing line is written on every way out; a failure to write it is ignored,
// since it may happen while an exception unwinds.
class TKxDiagScope {
 public:
  TKxDiagScope(bool enabled, std::string_view type, std::string_view meth);
  ~TKxDiagScope();
  TKxDiagScope(const TKxDiagScope&) = delete;
  TKxDiagScope& operator=(const TKxDiagScope&) = delete;

  bool Active() const noexcept { return FActive; }

 private:
  bool FActive;
};

// ---- log file -----------------------------------------------------------------------------

// The folder that receives KxAudit.xml when the log is next opened; empty (the default)
// means the current directory.
void SetAuditLogDirectory(const std::filesystem::path& directory);
// The path the log is (or will be) written to.
std::filesystem::path GetAuditLogFileName();
bool IsAuditLogOpen() noexcept;

// ---- timing and the idle separator --------------------------------------------------------

// One open timing level. The levels form a chain: the outermost object sits alone in the
// unit's list, each nested call's object alone in its parent's subroutineTimingList.
class TTimingObject {
 public:
  std::int64_t start = 0;  // counter value when the element opened
  std::int32_t level = 0;  // nesting level, 1 for an outermost element
  std::vector<std::unique_ptr<TTimingObject>> subroutineTimingList;  // nested element, if any
  double subroutineSecs = 0;  // seconds of closed nested elements, then the element's own
};

// Hooked into the application's idle event while the log is open: writes the idle separator
// when something was traced since the last one, then passes the event on.
class TIdleObject {
 public:
  void printSeparator(host::TObject* sender, bool& done);
};

namespace detail {
// Replaces the source of the date and time written into the log (for tests); an empty
// function restores the local date and time. The counter is host::QueryPerformanceCounter.
void SetTraceDateTimeText(std::function<std::string()> text);
}  // namespace detail

}  // namespace kx
