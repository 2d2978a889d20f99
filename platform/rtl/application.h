// The application object, timers, the screen cursor, and the form and data-module classes.
//
// Application() is the process's root component: forms and data modules are created owned by
// it, and the library walks its tree. It hands exceptions that must not interrupt an operation
// to one replaceable handler (HandleException), tells listeners when the program is idle
// (OnIdle), and runs due timers (ProcessMessages). There is no message loop behind it: a
// program calls ProcessMessages or Run itself, and tests drive timers with a manual clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/rtl/component.h"

namespace host {

// Time source of the timers, in milliseconds.
class TClock {
 public:
  virtual ~TClock() = default;
  virtual std::int64_t NowMs() = 0;
};

// The real, monotonic clock.
class TSteadyClock : public TClock {
 public:
  std::int64_t NowMs() override;
};

// A clock that moves only when told to.
class TManualClock : public TClock {
 public:
  explicit TManualClock(std::int64_t Start = 0) : FNow(Start) {}
  std::int64_t NowMs() override { return FNow.load(); }
  void Advance(std::int64_t Ms) { FNow += Ms; }
  void SetNow(std::int64_t Ms) { FNow = Ms; }

 private:
  std::atomic<std::int64_t> FNow;
};

// Calls OnTimer every Interval milliseconds while Enabled, from ProcessMessages. Changing
// Enabled, Interval or OnTimer starts the period anew (setting the value it already has does
// not); Restart does so explicitly. A timer with Interval 0 or without OnTimer does not run. An exception from OnTimer goes to Application()->HandleException.
// Timers belong to the thread that runs ProcessMessages.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned Value);
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent Value);
  // Starts the period anew when the timer runs.
  void Restart();

  // Whether the timer is scheduled, and when it is due next (on the application's clock).
  bool Running() const { return FRunning; }
  std::int64_t DueTime() const { return FDue; }

 protected:
  virtual void Timer();

 private:
  friend class TApplication;
  void UpdateTimer();

  bool FEnabled = true;
  unsigned FInterval = 1000;
  TNotifyEvent FOnTimer;
  bool FRunning = false;
  std::int64_t FDue = 0;
};

class TApplication : public TComponent {
 public:
  using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;
  using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;

  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  // Call from inside a catch block: EAbort is ignored; any other exception goes to OnException
  // when it is assigned, otherwise to ShowException. Exceptions that are not the host's are
  // passed on as an Exception with their what() text.
  void HandleException(TObject* Sender);
  // Writes the message to the standard error stream.
  virtual void ShowException(const Exception& E);
  const TExceptionEvent& OnException() const { return FOnException; }
  void SetOnException(TExceptionEvent Value) { FOnException = std::move(Value); }

  // The idle event. A component that hooks it keeps the previous handler (OnIdle()) to call
  // and to put back.
  const TIdleEvent& OnIdle() const { return FOnIdle; }
  void SetOnIdle(TIdleEvent Value) { FOnIdle = std::move(Value); }
  // Tells the program is idle: calls OnIdle with Done preset to true; returns Done.
  bool DoIdle();

  // Runs every timer that is due on the application's clock, earliest first, once each.
  void ProcessMessages();
  // Until Terminate: run due timers, go idle, and sleep until the next timer (at most 50 ms
  // at a time, so that Terminate from another thread is seen).
  void Run();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }

  // The timers' clock; nullptr puts back the steady clock.
  void SetClock(std::shared_ptr<TClock> Clock);
  TClock& Clock() const { return *FClock; }

 private:
  friend class TTimer;
  struct TimerEntry {
    TTimer* Timer;
    std::uint64_t Serial;
  };
  void StartTimer(TTimer* Timer);
  void StopTimer(TTimer* Timer);
  std::int64_t NextDue() const;

  TExceptionEvent FOnException;
  TIdleEvent FOnIdle;
  std::atomic<bool> FTerminated{false};
  std::shared_ptr<TClock> FClock;
  std::vector<TimerEntry> FTimers;
};

// The process's application object. It lives as long as the process: components it owns are
// freed by Application()->DestroyComponents(), not at exit.
TApplication* Application();

// Mouse cursors (the host's numbering).
using TCursor = int;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crMultiDrag = -16;
inline constexpr TCursor crSQLWait = -17;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;
inline constexpr TCursor crSize = crSizeAll;

// The screen: here only its cursor, which a headless program cannot show but which the
// library saves, changes and puts back. OnCursorChange lets a test or a front end follow it.
class TScreen : public TObject {
 public:
  using TCursorChangeEvent = std::function<void(TCursor OldCursor, TCursor NewCursor)>;

  TCursor Cursor() const { return FCursor.load(); }
  void SetCursor(TCursor Value);
  void SetOnCursorChange(TCursorChangeEvent Value);

 private:
  std::atomic<TCursor> FCursor{crDefault};
  std::mutex FLock;
  TCursorChangeEvent FOnCursorChange;
};

TScreen* Screen();

// Marker classes: the library tells forms and data modules from other components by class.
class TForm : public TComponent {
 public:
  using TComponent::TComponent;
};

class TDataModule : public TComponent {
 public:
  using TComponent::TComponent;
};

}  // namespace host
