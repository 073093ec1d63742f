#include "app/ScanDialog.h"

#include <cstdio>
#include <cstring>

#include "app/LogList.h"
#include "app/ProductCheck.h"
#include "base/PathText.h"
#include "engine/ScanRun.h"
#include "res/resource.h"
#include "state/ProgramTitle.h"
#include "state/ScanState.h"
#include "ui/MessageDialog.h"
#include "ui/SkinRegion.h"
#include "ui/TextFit.h"
#include "ui/UiKit.h"
#include "ui/UserShell.h"

namespace {

constexpr UINT_PTR kScanTimer = 100;
constexpr UINT kScanDelayMs = 100;
constexpr UINT kStyleYesNoQuestion = MB_YESNO | MB_ICONQUESTION;
constexpr COLORREF kSkinKey = RGB(255, 0, 255);
constexpr int kWindowWidth = 600;
constexpr int kWindowHeight = 462;
constexpr int kLayoutHeight = 337;

const char kWormFamily[] = "W32/Morvo";
// The maker's pages; the host is ours to choose.
const char kDownloadPage[] = "http://www.halvane.example/download/downloadnow.htm";
const char kUtilityPage[] = "http://www.halvane.example/download/utility.htm";
const char kNotice[] = "Halvane recommends a full scan with an up-to-date antivirus after removal.";
const char kProductLine[] = "This program is a part of Keystrel antivirus software.";

}  // namespace

ScanDialog::ScanDialog()
    : CDialog(IDD_SCAN), icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SCOURIX))) {}

ScanDialog::~ScanDialog() {
  if (mainWindow == this) mainWindow = nullptr;
}

void ScanDialog::DoDataExchange(CDataExchange* exchange) {
  DDX_Control(exchange, IDC_LOG_FRAME, logFrame_);
  DDX_Control(exchange, IDC_LOGO, logo_);
  DDX_Control(exchange, IDC_UTILITY_LINK, utilityLink_);
  DDX_Control(exchange, IDC_DOWNLOAD_LINK, downloadLink_);
  DDX_Control(exchange, IDC_SEARCH_LINE, searchLine_);
  DDX_Control(exchange, IDC_PRODUCT_LINE, productLine_);
  DDX_Control(exchange, IDC_DESCRIPTION, description_);
  DDX_Control(exchange, IDC_NOTICE, notice_);
  DDX_Control(exchange, IDC_TITLE, title_);
  DDX_Control(exchange, IDCANCEL, cancel_);
  DDX_Control(exchange, IDC_STATUS_FRAME, statusFrame_);
  DDX_Control(exchange, IDC_STATUS, status_);
  DDX_Control(exchange, IDC_LOG, log_);
  DDX_Control(exchange, IDC_CLOSE_X, closeX_);
  DDX_Control(exchange, IDC_DOWNLOAD, download_);
  DDX_Control(exchange, IDC_SCAN, scan_);
  DDX_Control(exchange, IDC_OK_BUTTON, ok_);
}

BOOL ScanDialog::OnInitDialog() {
  CDialog::OnInitDialog();

  for (CWnd* hidden : {static_cast<CWnd*>(&status_), static_cast<CWnd*>(&statusFrame_),
                       static_cast<CWnd*>(&searchLine_), static_cast<CWnd*>(&log_),
                       static_cast<CWnd*>(&logFrame_), static_cast<CWnd*>(&cancel_)})
    hidden->ShowWindow(SW_HIDE);
  ok_.EnableWindow(FALSE);
  ok_.ShowWindow(SW_HIDE);

  mainWindow = this;
  MakeDerivedFont(LabelFont, 15, FW_BOLD, 0, 0);

  char text[260];
  snprintf(text, sizeof text, "%s - Tool to detect and remove all the variants of %s Worm ",
           kProgramTitle, kWormFamily);
  description_.SetWindowText(text);
  snprintf(text, sizeof text, "for %s", kWormFamily);
  AppendText(text, " Worm ");
  title_.SetWindowText(text);
  notice_.SetWindowText(kNotice);
  productLine_.SetWindowText(kProductLine);

  {
    CClientDC dc(m_hWnd);
    largeFontsFlag = dc.GetDeviceCaps(LOGPIXELSX) >= 120 ? 1 : 0;
  }

  ScaleChildWindows(m_hWnd, kWindowWidth, kLayoutHeight);
  MoveWindow(0, 0, kWindowWidth, kWindowHeight, TRUE);
  // The scaling keeps the skin's pixel layout at every resolution, while the
  // dialog font grows with it: at 120 and 144 DPI a line may break in two or
  // stand taller than its control. Each grows downwards into the free skin
  // below it; at 96 DPI every text already fits and nothing moves.
  for (CStatic* line : {&description_, &notice_, &productLine_, &status_}) FitStaticHeight(line->m_hWnd);

  ShowFullProductState();
  whiteBrush_.CreateSolidBrush(RGB(255, 255, 255));
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  ModifyStyle(0, WS_SYSMENU | WS_MINIMIZEBOX);
  LoadSkinBitmap();

  for (CExButton* button : {&ok_, &cancel_, &scan_, &download_, &closeX_, &utilityLink_,
                            &downloadLink_, &logo_})
    button->LoadSkin(0, this);
  SetWindowText(kProgramTitle);
  for (CExButton* button : {&scan_, &cancel_, &download_, &ok_, &closeX_, &utilityLink_,
                            &downloadLink_})
    button->LoadHandCursor();
  if (startAtOnce_)
    PostMessage(WM_COMMAND, MAKEWPARAM(IDC_SCAN, BN_CLICKED), reinterpret_cast<LPARAM>(scan_.m_hWnd));
  return TRUE;
}

void ScanDialog::ShowFullProductState() {
  char folder[300] = {};
  if (ReadMachineRegistryValue(kFullProductKey, kFullProductValue, folder, sizeof folder)) {
    downloadLink_.EnableWindow(FALSE);
    downloadLink_.ShowWindow(SW_HIDE);
    download_.EnableWindow(FALSE);
  } else {
    productLine_.ShowWindow(SW_HIDE);
  }
}

void ScanDialog::LoadSkinBitmap() {
  skin_.Attach(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SKIN), IMAGE_BITMAP, 0, 0,
                          LR_LOADMAP3DCOLORS));
  if (HRGN region = MakeSkinRegion(skin_, kSkinKey, 1)) {
    if (!SetWindowRgn(m_hWnd, region, TRUE)) DeleteObject(region);  // the system owns it otherwise
  }
  skin_.GetBitmap(&skinSize_);
  if (skinDc_.CreateCompatibleDC(nullptr)) skinDc_.SelectObject(skin_.GetSafeHandle());
}

void ScanDialog::OnOK() {
  // Enter never closes the window: only the OK button does.
}

void ScanDialog::OnCancel() {
  if (scanState.scanRunning == 0)
    CDialog::OnCancel();
  else
    AskToStop(kProgramTitle);
}

void ScanDialog::OnCloseButton() {
  if (scanState.scanRunning == 0)
    CDialog::OnCancel();
  else
    AskToStop("DialogBoxTitle");
}

void ScanDialog::AskToStop(const char* caption) {
  if (ShowMessageDialog("Terminate the Scan now?", caption, kStyleYesNoQuestion) != IDYES) return;
  cancel_.ShowWindow(SW_HIDE);
  ok_.ShowWindow(SW_SHOW);
  scanState.stopRequested = 1;
}

bool ScanDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  if (message == WM_COMMAND && HIWORD(wParam) != BN_CLICKED) return false;
  switch (message) {
    case WM_ENABLE: OnShowStatus(); return true;
    case WM_SETREDRAW: OnAppendLogLine(); return true;
    case WM_TIMER: OnTimer(); return true;
    case WM_PAINT: OnPaint(); return true;
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
      result = reinterpret_cast<LRESULT>(
          OnCtlColorMessage(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
      return true;
    case WM_LBUTTONDOWN: OnLButtonDown(lParam); return false;  // then default processing
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_SCAN: OnScan(); return true;
        case IDC_CLOSE_X: OnCloseButton(); return true;
        case IDC_DOWNLOAD: OnDownload(); return true;
        case IDC_OK_BUTTON: CDialog::OnOK(); return true;
        case IDC_DOWNLOAD_LINK: OnDownload(); return true;
        case IDC_UTILITY_LINK: OnUtilityLink(); return true;
        default: return false;
      }
    default:
      return false;  // WM_MOVE and WM_LBUTTONUP among them: default processing only
  }
}

void ScanDialog::OnShowStatus() { status_.SetWindowText(scanState.statusText); }

void ScanDialog::OnAppendLogLine() { AppendLogLine(log_.m_hWnd); }

void ScanDialog::OnTimer() {
  KillTimer(kScanTimer);
  // A run pumps messages; a stray timer message must not start a second run
  // inside the first, nor after it.
  static bool ran = false;
  if (ran) return;
  ran = true;
  scanState.stopRequested = 0;
  RunScan();
  cancel_.ShowWindow(SW_HIDE);
  ok_.ShowWindow(SW_SHOW);
  searchLine_.ShowWindow(SW_HIDE);
  statusFrame_.SetWindowText("");
  scanState.scanRunning = 0;
}

void ScanDialog::OnPaint() {
  CPaintDC dc(m_hWnd);
  dc.BitBlt(0, 0, skinSize_.bmWidth, skinSize_.bmHeight, skinDc_.m_hDC, 0, 0, SRCCOPY);
}

void ScanDialog::OnScan() {
  scanState.scanRunning = 1;
  scan_.EnableWindow(FALSE);
  utilityLink_.EnableWindow(FALSE);
  utilityLink_.ShowWindow(SW_HIDE);
  downloadLink_.EnableWindow(FALSE);
  downloadLink_.ShowWindow(SW_HIDE);
  cancel_.EnableWindow(TRUE);
  cancel_.ShowWindow(SW_SHOW);
  ok_.EnableWindow(TRUE);

  description_.ShowWindow(SW_HIDE);
  productLine_.ShowWindow(SW_HIDE);
  notice_.ShowWindow(SW_HIDE);
  for (CWnd* shown : {static_cast<CWnd*>(&searchLine_), static_cast<CWnd*>(&log_),
                      static_cast<CWnd*>(&status_), static_cast<CWnd*>(&statusFrame_),
                      static_cast<CWnd*>(&logFrame_)})
    shown->ShowWindow(SW_SHOW);
  statusFrame_.SetWindowText("Scanning");

  char text[128];
  snprintf(text, sizeof text, "Searching for %s Worm and its variants", kWormFamily);
  searchLine_.SetWindowText(text);
  // The control keeps using its font: the old one goes only after the new one is in place.
  CFont font;
  font.Attach(CreateFontA(15, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0,
                          FF_SWISS, "Arial"));
  searchLine_.SetFont(static_cast<HFONT>(font.GetSafeHandle()), TRUE);
  statusLineFont_.Attach(font.Detach());

  if (!preparedScan_) {
    CopyText(scanState.scanTarget, "!:");
    scanState.infectedAction = kActionRemove;
  }
  scanState.reportWindow = m_hWnd;
  SetTimer(kScanTimer, kScanDelayMs);
}

void ScanDialog::OnDownload() { OpenForUser(kDownloadPage); }

void ScanDialog::OnUtilityLink() { OpenForUser(kUtilityPage); }

HBRUSH ScanDialog::OnCtlColorMessage(UINT message, HDC dc, HWND control) {
  CDC context(dc);
  UINT type = CtlColorType(message);
  HBRUSH framework = CDialog::OnCtlColor(&context, FromHandlePermanent(control), type);
  context.SetBkMode(TRANSPARENT);
  if (control && ::GetDlgCtrlID(control) == IDC_TITLE) return framework;
  if (type == CTLCOLOR_DLG || type == CTLCOLOR_STATIC) return whiteBrush_;
  return framework;
}

void ScanDialog::OnLButtonDown(LPARAM point) {
  // A press anywhere on the skin that is no control drags the window.
  PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, point);
}
