// The log list's append rules, through a real list box.
#include <string>

#include "app/LogList.h"
#include "state/ScanState.h"
#include "tests/windows/support/EngineFixture.h"

namespace {

class LogListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scanState = ScanState{};
    list = CreateWindowExA(0, "LISTBOX", "", WS_POPUP | WS_VSCROLL | WS_HSCROLL | LBS_USETABSTOPS,
                           0, 0, 400, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(list, nullptr);
  }
  void TearDown() override { DestroyWindow(list); }

  void Append(const std::string& line) {
    strcpy(scanState.logLine, line.c_str());
    AppendLogLine(list);
  }
  LRESULT Count() const { return SendMessageA(list, LB_GETCOUNT, 0, 0); }
  LRESULT Selection() const { return SendMessageA(list, LB_GETCURSEL, 0, 0); }
  std::string Line(LRESULT index) const {
    char text[kLogLineLength] = {};
    SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
  }

  HWND list = nullptr;
};

TEST_F(LogListTest, The151stLineDuringAScanStartsAFreshList) {
  for (int i = 1; i <= 150; ++i) Append("line " + std::to_string(i));
  ASSERT_EQ(Count(), 150);
  EXPECT_EQ(Line(149), "line 150");

  Append("line 151");

  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(Line(0), "line 151");
}

TEST_F(LogListTest, AfterTheStatisticsBeganTheListGrowsPast150) {
  for (int i = 1; i <= 150; ++i) Append("line " + std::to_string(i));
  scanState.scanFinished = 1;

  for (int i = 151; i <= 160; ++i) Append("line " + std::to_string(i));

  EXPECT_EQ(Count(), 160);
  EXPECT_EQ(Line(0), "line 1");
}

TEST_F(LogListTest, SelectsTheLastLineOnlyFromThreeLinesOn) {
  Append("one");
  EXPECT_EQ(Selection(), LB_ERR);
  Append("two");
  EXPECT_EQ(Selection(), LB_ERR);
  Append("three");
  EXPECT_EQ(Selection(), 2);
  Append("four");
  EXPECT_EQ(Selection(), 3);
}

TEST_F(LogListTest, WidensTheExtentToThreeQuartersOfTheWidestLineBeyond560Pixels) {
  Append("short");
  EXPECT_EQ(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), 0);

  std::string wide(300, 'W');
  Append(wide);

  HDC dc = GetDC(list);
  SIZE size = {};
  GetTextExtentPoint32A(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  ReleaseDC(list, dc);
  ASSERT_GT(size.cx, 560);
  EXPECT_EQ(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), size.cx * 3 / 4);
}

TEST_F(LogListTest, KeepsTabsForTheStatisticsColumns) {
  Append("Total files scanned\t\t:  3");
  EXPECT_EQ(Line(0), "Total files scanned\t\t:  3");
}

}  // namespace
