// Our Win32 class layer on real windows: binding, reflection, dispatch and
// the release of what it creates.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/ScanApp.h"
#include "ui/BitmapButton.h"
#include "win/Controls.h"
#include "win/Dialog.h"
#include "win/WinApp.h"

namespace {

constexpr UINT kTemplate = 500;
constexpr int kOwnerDrawn = 501;
constexpr int kPlain = 502;
constexpr int kList = 503;
constexpr UINT kRunTest = WM_APP + 1;

// A button that counts what reaches it and records its draw requests.
class RecordingButton : public CButton {
 public:
  std::vector<UINT> messages;
  std::vector<HWND> drawn;
  void DrawItem(LPDRAWITEMSTRUCT item) override { drawn.push_back(item->hwndItem); }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(message);
    return CButton::WindowProc(message, wParam, lParam);
  }
};

// A dialog that runs a test body from inside its modal loop and records the
// order in which handlers saw messages.
class TestDialog : public CDialog {
 public:
  explicit TestDialog(std::function<void(TestDialog&)> body) : CDialog(kTemplate), body_(std::move(body)) {}
  RecordingButton ownerDrawn;
  CButton plain;
  CListBox list;
  std::vector<std::string> seen;
  bool handleOkInMap = false;
  HWND drawnWindow = nullptr;
  using CDialog::DefaultDialogMessage;

 protected:
  void DoDataExchange(CDataExchange* exchange) override {
    DDX_Control(exchange, kOwnerDrawn, ownerDrawn);
    DDX_Control(exchange, kPlain, plain);
    DDX_Control(exchange, kList, list);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    seen.push_back("init");
    PostMessage(kRunTest);
    return TRUE;
  }
  void OnOK() override {
    seen.push_back("OnOK");
    EndDialog(IDOK);
  }
  void OnCancel() override {
    seen.push_back("OnCancel");
    EndDialog(IDCANCEL);
  }
  bool OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
    if (message == kRunTest) {
      body_(*this);
      return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && handleOkInMap) {
      seen.push_back("map IDOK");
      EndDialog(77);
      return true;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == kPlain) {
      seen.push_back("map plain");
      result = 0;
      return true;
    }
    return false;
  }

 private:
  std::function<void(TestDialog&)> body_;
};

TEST(ClassLayer, DataExchangeBindsEachControlAndRoutesItsMessages) {
  HWND ownerWindow = nullptr;
  WNDPROC procedureWhileBound = nullptr;
  TestDialog dialog([&](TestDialog& d) {
    ownerWindow = d.ownerDrawn.m_hWnd;
    EXPECT_EQ(d.ownerDrawn.m_hWnd, d.GetDlgItem(kOwnerDrawn));
    EXPECT_EQ(CWnd::FromHandlePermanent(d.GetDlgItem(kOwnerDrawn)), &d.ownerDrawn);
    EXPECT_EQ(CWnd::FromHandlePermanent(d.GetDlgItem(kList)), &d.list);
    EXPECT_EQ(CWnd::FromHandlePermanent(d.m_hWnd), &d);
    procedureWhileBound = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(ownerWindow, GWLP_WNDPROC));
    d.ownerDrawn.messages.clear();
    d.ownerDrawn.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("renamed"));
    char text[32] = {};
    d.ownerDrawn.GetWindowText(text, sizeof text);
    EXPECT_STREQ(text, "renamed");  // the original procedure still did its work
    EXPECT_EQ(d.ownerDrawn.messages.front(), static_cast<UINT>(WM_SETTEXT));
    d.list.AddString("one");
    EXPECT_EQ(d.list.GetCount(), 1);
    d.EndDialog(5);
  });
  EXPECT_EQ(dialog.DoModal(), 5);
  EXPECT_NE(procedureWhileBound, nullptr);
  EXPECT_EQ(dialog.ownerDrawn.m_hWnd, nullptr);  // forgotten when its window went
}

TEST(ClassLayer, OwnerDrawRequestsAreReflectedToTheControlsObject) {
  TestDialog dialog([](TestDialog& d) {
    d.drawnWindow = d.ownerDrawn.m_hWnd;
    d.ShowWindow(SW_SHOW);  // the posted test body may run before the dialog first shows
    d.ownerDrawn.Invalidate();
    UpdateWindow(d.ownerDrawn.m_hWnd);
    d.EndDialog(IDOK);
  });
  dialog.DoModal();
  ASSERT_FALSE(dialog.ownerDrawn.drawn.empty());
  for (HWND item : dialog.ownerDrawn.drawn) EXPECT_EQ(item, dialog.drawnWindow);
}

TEST(ClassLayer, TheMessageMapComesBeforeTheFrameworkAndIdOkAndIdCancelReachTheirHandlers) {
  TestDialog dialog([](TestDialog& d) {
    d.SendMessage(WM_COMMAND, MAKEWPARAM(kPlain, BN_CLICKED), 0);
    d.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.seen, (std::vector<std::string>{"init", "map plain", "OnCancel"}));

  TestDialog mapped([](TestDialog& d) {
    d.handleOkInMap = true;
    d.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  EXPECT_EQ(mapped.DoModal(), 77);
  EXPECT_EQ(mapped.seen, (std::vector<std::string>{"init", "map IDOK"}));

  TestDialog framework([](TestDialog& d) { d.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); });
  EXPECT_EQ(framework.DoModal(), IDOK);
  EXPECT_EQ(framework.seen, (std::vector<std::string>{"init", "OnOK"}));
}

TEST(ClassLayer, ADialogThatDidNotMoveItselfIsCentred) {
  RECT where = {};
  TestDialog dialog([&](TestDialog& d) {
    d.GetWindowRect(&where);
    d.EndDialog(IDOK);
  });
  dialog.DoModal();
  RECT area;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  int centre = (where.left + where.right) / 2;
  EXPECT_NEAR(centre, (area.left + area.right) / 2, 2);
}

// Bitmap buttons own their three pictures: loading again or going away
// deletes them, and painting leaves nothing behind.
TEST(ClassLayer, BitmapButtonsReleaseTheirBitmaps) {
  std::vector<HGDIOBJ> first, second;
  TestDialog dialog([&](TestDialog& d) {
    d.ownerDrawn.UnsubclassWindow();
    {
      NCExButton button;
      ASSERT_TRUE(button.LoadSkin(kOwnerDrawn, &d));
      RECT size;
      GetClientRect(button.m_hWnd, &size);
      EXPECT_EQ(size.right, 180);  // fitted to the NOTFOCUS picture
      EXPECT_EQ(size.bottom, 33);
      d.ShowWindow(SW_SHOW);
      first = {button.FocusBitmap(), button.NotFocusBitmap(), button.DisableBitmap()};
      ASSERT_TRUE(button.LoadStateBitmaps("SCAN_FOCUS", "SCAN_NOTFOCUS", "SCAN_DISABLE"));
      second = {button.FocusBitmap(), button.NotFocusBitmap(), button.DisableBitmap()};
      for (int paint = 0; paint < 50; ++paint) {
        button.Invalidate();
        UpdateWindow(button.m_hWnd);
      }
      for (HGDIOBJ bitmap : second) EXPECT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
      button.UnsubclassWindow();
    }
    d.EndDialog(IDOK);
  });
  dialog.DoModal();
  ASSERT_EQ(first.size(), 3u);
  for (HGDIOBJ bitmap : first) EXPECT_EQ(GetObjectType(bitmap), 0u) << "kept after a reload";
  for (HGDIOBJ bitmap : second) EXPECT_EQ(GetObjectType(bitmap), 0u) << "kept after the button went";
}

// An application whose message map counts the help commands that reach it.
class HelpCountingApp : public CWinApp {
 public:
  int helpCommands = 0;
  void CountHelp() { ++helpCommands; }

 protected:
  const CommandEntry* GetMessageMap() const override {
    static const CommandEntry map[] = {{ID_HELP, static_cast<void (CWinApp::*)()>(&HelpCountingApp::CountHelp)},
                                       {0, nullptr}};
    return map;
  }
};

// Commands that the dialog leaves reach the application's map; F1 comes as
// the help command through the main window.
TEST(ClassLayer, HelpReachesTheApplicationsMessageMap) {
  HelpCountingApp app;
  TestDialog dialog([&](TestDialog& d) {
    app.m_pMainWnd = &d;
    d.SendMessage(WM_COMMAND, ID_HELP, 0);
    EXPECT_EQ(app.helpCommands, 1);
    HELPINFO help = {sizeof help, HELPINFO_WINDOW, kPlain, d.plain.m_hWnd, 0, {0, 0}};
    d.plain.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&help));  // a control passes F1 to its dialog
    EXPECT_EQ(app.helpCommands, 2);
    d.SendMessage(WM_COMMAND, 4321, 0);  // in no map
    EXPECT_EQ(app.helpCommands, 2);
    d.EndDialog(IDOK);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
  app.m_pMainWnd = nullptr;
}

TEST(ClassLayer, TheProgramsApplicationRoutesOnlyTheHelpCommand) {
  ScanApp app;
  EXPECT_EQ(AfxGetApp(), &app);
  EXPECT_TRUE(app.OnCmdMsg(ID_HELP));
  EXPECT_FALSE(app.OnCmdMsg(IDOK));
  EXPECT_FALSE(app.OnCmdMsg(4321));
}

}  // namespace
