// What stops a run without a window: the end of the session, seen through
// the silent run's own look between the walk's entries. (Wine produces no
// console control event for a program started as CTest starts it, so the
// console's Ctrl+C, which takes the same way in, is not played here.)
#include <gtest/gtest.h>
#include <windows.h>

#include "app/SilentRun.h"
#include "app/StopSignals.h"
#include "state/ScanState.h"
#include "tests/windows/support/WaitUntil.h"

namespace {

bool sessionEnded = false;
void NoteSessionEnd() { sessionEnded = true; }

class StopSignalsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scanState = ScanState{};
    sessionEnded = false;
  }
};

TEST_F(StopSignalsTest, TheEndOfTheSessionStopsTheRunAndClosesItsLog) {
  StopSignals signals(NoteSessionEnd);
  HWND window = FindWindowA("Scourix.StopSignals", nullptr);
  ASSERT_NE(window, nullptr);
  // Posted, as the system's broadcast arrives in the queue: the walk's look between entries takes it.
  ASSERT_TRUE(PostMessageA(window, WM_QUERYENDSESSION, 0, 0));
  EXPECT_TRUE(WaitUntil(
      [] {
        LookForStopSignals();
        return scanState.stopRequested != 0;
      },
      5000));
  EXPECT_EQ(scanState.stopRequested, 1);
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), TRUE);  // never holds up a logoff
  EXPECT_FALSE(sessionEnded);
  SendMessageA(window, WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(sessionEnded);
}

}  // namespace
