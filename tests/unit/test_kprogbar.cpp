// The progress display and the process-wide reporter.
#include <gtest/gtest.h>

#include <vector>

#include "os/host/host_ui.h"
#include "ui/kprogbar.h"

namespace {

constexpr os::WindowHandle kMainBar = 0x501;
constexpr os::WindowHandle kActivityBar = 0x502;

class ProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetUi();
    kv::ResetProgressDisplay();
    kv::SetProgressBars(kMainBar, kActivityBar);
  }
  void TearDown() override {
    os::host::ResetUi();
    kv::ResetProgressDisplay();
  }
};

TEST_F(ProgressTest, RangeThenStepsFillTheMainBar) {
  kv::ShowProgress(kv::kProgressRange, 6, 1, 1);
  for (int i = 0; i < 5; ++i) kv::ShowProgress(kv::kProgressStep, 0, 0, 0);
  os::host::ProgressBarState bar = os::host::ProgressBar(kMainBar);
  EXPECT_EQ(bar.minimum, 0);
  EXPECT_EQ(bar.maximum, 6);
  EXPECT_EQ(bar.position, 6);

  os::host::ProgressBarState act = os::host::ProgressBar(kActivityBar);
  EXPECT_EQ(act.minimum, 0);
  EXPECT_EQ(act.maximum, 5);
  EXPECT_EQ(act.step, 1);
}

TEST_F(ProgressTest, ActivityBarCyclesThroughSixPositions) {
  std::vector<int> seen;
  for (int i = 0; i < 7; ++i) {
    kv::ShowProgress(kv::kProgressStep, 0, 0, 0);
    seen.push_back(os::host::ProgressBar(kActivityBar).position);
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 0, 1}));

  // A new range shows 0 but keeps the counter: the next step shows 2.
  kv::ShowProgress(kv::kProgressRange, 10, 0, 1);
  EXPECT_EQ(os::host::ProgressBar(kActivityBar).position, 0);
  kv::ShowProgress(kv::kProgressStep, 0, 0, 0);
  EXPECT_EQ(os::host::ProgressBar(kActivityBar).position, 2);
}

TEST_F(ProgressTest, OnlyTheLow16BitsOfTheMaximumCount) {
  kv::ShowProgress(kv::kProgressRange, 65536 + 10, 0, 1);
  EXPECT_EQ(os::host::ProgressBar(kMainBar).maximum, 10);
  kv::ShowProgress(kv::kProgressRange, 0, 0, 0);  // the agent's "clear" call
  EXPECT_EQ(os::host::ProgressBar(kMainBar).maximum, 0);
  EXPECT_EQ(os::host::ProgressBar(kMainBar).position, 0);
}

TEST_F(ProgressTest, OtherActionsAndMissingBarsDoNothing) {
  kv::ShowProgress(7, 10, 3, 1);
  kv::ShowProgress(-1, 10, 3, 1);
  EXPECT_EQ(os::host::ProgressBar(kMainBar).rangeCalls, 0);
  EXPECT_EQ(kv::progressDisplay().activityCounter, 0);

  kv::SetProgressBars(0, 0);  // no window: only the counter moves
  kv::ShowProgress(kv::kProgressStep, 0, 0, 0);
  EXPECT_EQ(kv::progressDisplay().activityCounter, 1);
  EXPECT_EQ(os::host::ProgressBar(kMainBar).stepCalls, 0);
}

struct Event {
  int action, maximum, position, step, pumpsBefore;
};
std::vector<Event> g_events;
void Record(int action, int maximum, int position, int step) {
  g_events.push_back({action, maximum, position, step, os::host::PumpCount()});
}

TEST_F(ProgressTest, ReporterForwardsEventsBetweenTwoPumps) {
  g_events.clear();
  kv::TProgBar bar(&Record);
  bar.SetRange(1, 100);
  EXPECT_EQ(os::host::PumpCount(), 2);
  bar.Step();
  EXPECT_EQ(os::host::PumpCount(), 4);
  bar.SetCaption("setup.exe");  // one pump, nothing forwarded
  EXPECT_EQ(os::host::PumpCount(), 5);

  ASSERT_EQ(g_events.size(), 2u);
  EXPECT_EQ(g_events[0].action, kv::kProgressRange);
  EXPECT_EQ(g_events[0].maximum, 100);
  EXPECT_EQ(g_events[0].position, 1);
  EXPECT_EQ(g_events[0].step, 1);
  EXPECT_EQ(g_events[0].pumpsBefore, 1);
  EXPECT_EQ(g_events[1].action, kv::kProgressStep);
  EXPECT_EQ(g_events[1].pumpsBefore, 3);
}

TEST_F(ProgressTest, TheProcessReporterDrivesTheBars) {
  kv::TProgBar& r = kv::GetProgressReporter();
  EXPECT_EQ(&r, &kv::GetProgressReporter());
  EXPECT_EQ(r.sink(), &kv::ShowProgress);
  r.SetRange(1, 6);
  for (int i = 0; i < 5; ++i) r.Step();
  EXPECT_EQ(os::host::ProgressBar(kMainBar).position, 6);
  EXPECT_EQ(os::host::ProgressBar(kActivityBar).position, 5);
}

}  // namespace
