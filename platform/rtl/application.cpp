#include "platform/rtl/application.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>

#include "platform/rtl/classesconsts.h"

namespace host {

std::int64_t TSteadyClock::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// ---------------------------------------------------------------------------------------------
// TTimer

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() {
  if (FRunning) Application()->StopTimer(this);
}

void TTimer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::Restart() {
  if (FRunning) UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  FOnTimer = std::move(Value);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  TApplication* app = Application();
  if (FRunning) app->StopTimer(this);
  if (FInterval != 0 && FEnabled && FOnTimer) app->StartTimer(this);
}

void TTimer::Timer() {
  // A copy: the handler may free this timer, and with it FOnTimer.
  TNotifyEvent handler = FOnTimer;
  if (handler) handler(this);
}

// ---------------------------------------------------------------------------------------------
// TApplication

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner), FClock(std::make_shared<TSteadyClock>()) {}

TApplication::~TApplication() {
  for (const TimerEntry& entry : FTimers) entry.Timer->FRunning = false;
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr pending = std::current_exception();
  if (!pending) return;
  auto dispatch = [&](const Exception& e) {
    if (FOnException) {
      TExceptionEvent handler = FOnException;
      handler(Sender, e);
    } else {
      ShowException(e);
    }
  };
  try {
    std::rethrow_exception(pending);
  } catch (const EAbort&) {
    // Silent by definition.
  } catch (const Exception& e) {
    dispatch(e);
  } catch (const std::exception& e) {
    dispatch(Exception(e.what()));
  } catch (...) {
    dispatch(Exception(rtlconsts::SUnknownException));
  }
}

void TApplication::ShowException(const Exception& E) {
  std::fprintf(stderr, "%s\n", E.Message().c_str());
  std::fflush(stderr);
}

bool TApplication::DoIdle() {
  bool done = true;
  if (FOnIdle) {
    TIdleEvent handler = FOnIdle;
    handler(this, done);
  }
  return done;
}

void TApplication::StartTimer(TTimer* Timer) {
  Timer->FDue = FClock->NowMs() + Timer->FInterval;
  Timer->FRunning = true;
  FTimers.push_back({Timer, Timer->CreationSerial()});
}

void TApplication::StopTimer(TTimer* Timer) {
  std::erase_if(FTimers, [&](const TimerEntry& e) { return e.Timer == Timer; });
  Timer->FRunning = false;
}

void TApplication::ProcessMessages() {
  const std::int64_t now = FClock->NowMs();
  std::vector<TimerEntry> due;
  for (const TimerEntry& e : FTimers) {
    if (e.Timer->FDue <= now) due.push_back(e);
  }
  std::stable_sort(due.begin(), due.end(),
                   [](const TimerEntry& a, const TimerEntry& b) { return a.Timer->FDue < b.Timer->FDue; });
  for (const TimerEntry& e : due) {
    // An earlier handler may have freed or stopped this timer (or freed it and created another
    // at the same address): only the very timer that is still scheduled and due runs.
    auto it = std::find_if(FTimers.begin(), FTimers.end(),
                           [&](const TimerEntry& t) { return t.Timer == e.Timer && t.Serial == e.Serial; });
    if (it == FTimers.end() || e.Timer->FDue > now) continue;
    // The next period starts now; the handler may change it.
    e.Timer->FDue = now + e.Timer->FInterval;
    try {
      e.Timer->Timer();
    } catch (...) {
      HandleException(e.Timer);
    }
  }
}

std::int64_t TApplication::NextDue() const {
  std::int64_t next = INT64_MAX;
  for (const TimerEntry& e : FTimers) next = std::min(next, e.Timer->FDue);
  return next;
}

void TApplication::Run() {
  while (!FTerminated) {
    ProcessMessages();
    if (FTerminated) break;
    if (!DoIdle()) continue;
    std::int64_t wait = NextDue() - FClock->NowMs();
    wait = std::clamp<std::int64_t>(wait, 0, 50);
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  }
}

void TApplication::SetClock(std::shared_ptr<TClock> Clock) {
  FClock = Clock ? std::move(Clock) : std::make_shared<TSteadyClock>();
  // Periods start anew on the new clock.
  const std::int64_t now = FClock->NowMs();
  for (const TimerEntry& e : FTimers) e.Timer->FDue = now + e.Timer->FInterval;
}

TApplication* Application() {
  // Never destroyed: components freed during the program's exit may still reach it.
  static TApplication* application = [] {
    auto* app = new TApplication(nullptr);
    app->SetName("Application");
    return app;
  }();
  return application;
}

// ---------------------------------------------------------------------------------------------
// TScreen

void TScreen::SetCursor(TCursor Value) {
  TCursor old = FCursor.exchange(Value);
  if (old == Value) return;
  TCursorChangeEvent handler;
  {
    std::lock_guard<std::mutex> guard(FLock);
    handler = FOnCursorChange;
  }
  if (handler) handler(old, Value);
}

void TScreen::SetOnCursorChange(TCursorChangeEvent Value) {
  std::lock_guard<std::mutex> guard(FLock);
  FOnCursorChange = std::move(Value);
}

TScreen* Screen() {
  static auto* screen = new TScreen();
  return screen;
}

}  // namespace host
