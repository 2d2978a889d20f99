// The application object: exception handling, idle, timers on a manual clock, the screen
// cursor, forms and data modules.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/rtl/application.h"
#include "platform/rtl/exceptions.h"

namespace host {
namespace {

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_ = std::make_shared<TManualClock>(1000);
    Application()->SetClock(clock_);
    Application()->SetOnException([this](TObject* sender, const Exception& e) {
      handled_.push_back({sender, TObject::ClassNameOf(typeid(e)) + ": " + e.Message()});
    });
  }
  void TearDown() override {
    Application()->SetOnException(nullptr);
    Application()->SetOnIdle(nullptr);
    Application()->SetClock(nullptr);
  }
  // Moves the clock and lets due timers run.
  void Pass(std::int64_t ms) {
    clock_->Advance(ms);
    Application()->ProcessMessages();
  }

  struct Handled {
    TObject* sender;
    std::string text;
  };
  std::shared_ptr<TManualClock> clock_;
  std::vector<Handled> handled_;
};

TEST_F(ApplicationTest, HandleExceptionReportsAllButAbort) {
  TComponent sender(nullptr);
  auto raiseAndHandle = [&](auto thrower) {
    try {
      thrower();
    } catch (...) {
      Application()->HandleException(&sender);
    }
  };
  raiseAndHandle([] { throw EConvertError("bad number"); });
  raiseAndHandle([] { Abort(); });
  raiseAndHandle([] { throw std::runtime_error("from the standard library"); });
  raiseAndHandle([] { throw 42; });
  Application()->HandleException(&sender);  // outside a handler: nothing to report

  ASSERT_EQ(handled_.size(), 3u);
  EXPECT_EQ(handled_[0].sender, &sender);
  EXPECT_EQ(handled_[0].text, "EConvertError: bad number");
  EXPECT_EQ(handled_[1].text, "Exception: from the standard library");
  EXPECT_EQ(handled_[2].text, "Exception: Unknown exception");
}

TEST_F(ApplicationTest, WithoutAHandlerTheMessageIsShown) {
  Application()->SetOnException(nullptr);
  testing::internal::CaptureStderr();
  try {
    throw EInOutError("File not open");
  } catch (...) {
    Application()->HandleException(nullptr);
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "File not open\n");
}

TEST_F(ApplicationTest, IdleHandlersChainAndRestore) {
  std::vector<std::string> calls;
  Application()->SetOnIdle([&](TObject* sender, bool& done) {
    EXPECT_EQ(sender, Application());
    calls.push_back("original");
    done = false;
  });
  // A hook that remembers the previous handler, calls it, and gives it back later.
  TApplication::TIdleEvent previous = Application()->OnIdle();
  Application()->SetOnIdle([&](TObject* sender, bool& done) {
    calls.push_back("hook");
    if (previous) previous(sender, done);
  });
  EXPECT_FALSE(Application()->DoIdle()) << "the chained handler's Done";
  Application()->SetOnIdle(previous);
  EXPECT_FALSE(Application()->DoIdle());
  EXPECT_EQ(calls, (std::vector<std::string>{"hook", "original", "original"}));
  Application()->SetOnIdle(nullptr);
  EXPECT_TRUE(Application()->DoIdle());
}

TEST_F(ApplicationTest, TimerFiresOncePerDuePeriod) {
  TTimer timer(nullptr);
  int fired = 0;
  timer.SetInterval(100);
  timer.SetOnTimer([&](TObject* sender) {
    EXPECT_EQ(sender, &timer);
    ++fired;
  });
  EXPECT_TRUE(timer.Running());
  Pass(99);
  EXPECT_EQ(fired, 0);
  Pass(1);
  EXPECT_EQ(fired, 1);
  Pass(350);
  EXPECT_EQ(fired, 2) << "a late timer fires once, not once per missed period";
  EXPECT_EQ(timer.DueTime(), clock_->NowMs() + 100);
  Pass(100);
  EXPECT_EQ(fired, 3);
}

TEST_F(ApplicationTest, ChangingATimerRestartsItsPeriod) {
  struct Case {
    const char* what;
    std::function<void(TTimer&)> change;
    std::int64_t firesAfter;  // ms after the change; 0: stopped
  };
  // The timer has 40 ms of its 100 ms period left when the change comes.
  std::vector<Case> cases = {
      {"new interval", [](TTimer& t) { t.SetInterval(300); }, 300},
      {"explicit restart", [](TTimer& t) { t.Restart(); }, 100},
      {"same interval again: no change", [](TTimer& t) { t.SetInterval(100); }, 40},
      {"enabled again: no change", [](TTimer& t) { t.SetEnabled(true); }, 40},
      {"disabled", [](TTimer& t) { t.SetEnabled(false); }, 0},
      {"interval 0", [](TTimer& t) { t.SetInterval(0); }, 0},
      {"no handler", [](TTimer& t) { t.SetOnTimer(nullptr); }, 0},
  };
  for (const Case& c : cases) {
    TTimer timer(nullptr);
    int fired = 0;
    timer.SetInterval(100);
    timer.SetOnTimer([&](TObject*) { ++fired; });
    Pass(60);
    c.change(timer);
    EXPECT_EQ(timer.Running(), c.firesAfter > 0) << c.what;
    Pass(c.firesAfter > 0 ? c.firesAfter - 1 : 1000);
    EXPECT_EQ(fired, 0) << c.what;
    if (c.firesAfter > 0) {
      Pass(1);
      EXPECT_EQ(fired, 1) << c.what;
    }
  }
}

TEST_F(ApplicationTest, TimersMayBeFreedFromHandlers) {
  // The idle time-out pattern: the handler frees the timer it runs from.
  auto* self = new TTimer(nullptr);
  auto* victim = new TTimer(nullptr);
  int selfFired = 0, victimFired = 0;
  self->SetInterval(10);
  victim->SetInterval(10);
  self->SetOnTimer([&](TObject* sender) {
    ++selfFired;
    delete static_cast<TTimer*>(sender);
    delete victim;
  });
  victim->SetOnTimer([&](TObject*) { ++victimFired; });
  Pass(10);
  EXPECT_EQ(selfFired, 1);
  EXPECT_EQ(victimFired, 0) << "a timer freed before its turn does not run";
  Pass(10);
  EXPECT_EQ(selfFired, 1);
}

TEST_F(ApplicationTest, TimerErrorsGoToTheExceptionHandler) {
  TTimer timer(nullptr);
  TTimer next(nullptr);
  int nextFired = 0;
  timer.SetInterval(5);
  timer.SetOnTimer([](TObject*) { throw EInvalidOperation("timer failed"); });
  next.SetInterval(6);
  next.SetOnTimer([&](TObject*) { ++nextFired; });
  Pass(6);
  ASSERT_EQ(handled_.size(), 1u);
  EXPECT_EQ(handled_[0].sender, &timer);
  EXPECT_EQ(handled_[0].text, "EInvalidOperation: timer failed");
  EXPECT_EQ(nextFired, 1) << "the failure does not stop the other timers";
}

TEST_F(ApplicationTest, RunUntilTerminated) {
  TTimer timer(nullptr);
  int ticks = 0;
  timer.SetInterval(1);
  timer.SetOnTimer([&](TObject*) {
    if (++ticks == 3) Application()->Terminate();
  });
  // Each idle round moves the manual clock, so Run needs no real time.
  Application()->SetOnIdle([&](TObject*, bool& done) {
    clock_->Advance(1);
    done = false;
  });
  Application()->Run();
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(Application()->Terminated());
}

TEST_F(ApplicationTest, ScreenCursorChanges) {
  std::vector<std::pair<TCursor, TCursor>> changes;
  Screen()->SetOnCursorChange([&](TCursor from, TCursor to) { changes.emplace_back(from, to); });
  TCursor saved = Screen()->Cursor();
  Screen()->SetCursor(crSQLWait);
  Screen()->SetCursor(crSQLWait);
  Screen()->SetCursor(saved);
  Screen()->SetOnCursorChange(nullptr);
  EXPECT_EQ(changes, (std::vector<std::pair<TCursor, TCursor>>{{saved, crSQLWait}, {crSQLWait, saved}}));
  EXPECT_EQ(crSQLWait, -17);
  EXPECT_EQ(crHourGlass, -11);
}

TEST_F(ApplicationTest, ApplicationOwnsFormsAndDataModules) {
  auto* form = TComponent::Create<TForm>(Application());
  form->SetName("MainForm");
  auto* module = TComponent::Create<TDataModule>(Application());
  auto* timer = new TTimer(form);
  EXPECT_EQ(Application()->FindComponent("mainform"), form);
  EXPECT_TRUE(Is<TForm>(timer->Owner()));
  EXPECT_FALSE(Is<TForm>(static_cast<TComponent*>(module)));
  EXPECT_THROW(TComponent::Create<TForm>(Application())->SetName("MainForm"), EComponentError);
  int before = Application()->ComponentCount();
  Application()->DestroyComponents();
  EXPECT_EQ(Application()->ComponentCount(), 0);
  EXPECT_GE(before, 3);
  EXPECT_EQ(Application()->Name(), "Application");
}

}  // namespace
}  // namespace host
