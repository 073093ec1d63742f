#include "ui/MessageDialog.h"

#include "state/ProgramTitle.h"
#include "ui/MessageTemplate.h"
#include "ui/TextFit.h"
#include "ui/UiKit.h"

namespace {

constexpr COLORREF kBackground = RGB(207, 233, 254);
constexpr int kButtonRowFromBottom = 65;
constexpr int kTextRaise = 25;
constexpr int kLargeFontsExtra = 25;
// Between the text's bottom and the button row, as the layout gives it at 96 DPI.
constexpr int kTextToButtons = 12;

RECT WindowRectOf(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return rect;
}

}  // namespace

int ShowMessageDialog(const char* text, const char* caption, unsigned int style) {
  MessageDialog dialog(text ? text : "", caption ? caption : "", style);
  return static_cast<int>(dialog.DoModal());
}

MessageDialog::MessageDialog(const std::string& text, const std::string& caption, unsigned int style)
    : CDialog(IDD_MESSAGE, mainWindow),
      iconBitmapId_(MessageIconOfStyle(style)),
      mode_(MessageModeOfStyle(style)),
      message_(text),
      caption_(caption) {
  // The box places itself: left at the screen's corner when there is no scan window.
  CenterWhenUnmoved(false);
}

void MessageDialog::DoDataExchange(CDataExchange* exchange) {
  DDX_Control(exchange, IDC_MESSAGE_ICON, icon_);
  DDX_Control(exchange, IDYES, yes_);
  DDX_Control(exchange, IDOK, ok_);
  DDX_Control(exchange, IDNO, no_);
  DDX_Control(exchange, IDC_SINGLE_OK, singleOk_);
  DDX_Control(exchange, IDCANCEL, cancel_);
  DDX_Control(exchange, IDC_MESSAGE_TEXT, text_);
}

// The controls' screen rectangles are used as client positions: with the box
// at the screen's corner they are offsets from its outer corner, and the
// layout was made in those numbers.
void MessageDialog::LayOut() {
  const MessageGrowth growth = MessageGrowthFor(message_.size());
  RECT box = WindowRectOf(m_hWnd);
  MoveWindow(0, 0, box.right - box.left + growth.widen, box.bottom - box.top + growth.grow - growth.lift);
  box = WindowRectOf(m_hWnd);
  int buttonRow = box.bottom - kButtonRowFromBottom;

  RECT text = WindowRectOf(text_.m_hWnd);
  const int textTop = text.top - kTextRaise;
  const int textWidth = text.right - text.left + growth.widen;
  int textHeight = text.bottom - text.top + growth.grow - growth.lift + (largeFontsFlag ? kLargeFontsExtra : 0);
  // At large font sizes the text may need more than its share of the growth,
  // and may reach into the button row: it gets the room it needs, and the
  // buttons keep the distance they have at 96 DPI below it, the box growing
  // with them. At 96 DPI neither happens.
  const int needed = StaticTextHeight(text_.m_hWnd, message_.c_str(), textWidth);
  if (textHeight < needed) textHeight = needed;
  text_.MoveWindow(text.left, textTop, textWidth, textHeight);
  if (buttonRow < textTop + textHeight + kTextToButtons) {
    const int lower = textTop + textHeight + kTextToButtons - buttonRow;
    buttonRow += lower;
    MoveWindow(0, 0, box.right - box.left, box.bottom - box.top + lower);
  }
  SetWindowPos(text_.m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const int iconTop = text.top - 30;

  for (CWnd* button : {static_cast<CWnd*>(&singleOk_), static_cast<CWnd*>(&ok_),
                       static_cast<CWnd*>(&cancel_), static_cast<CWnd*>(&yes_), static_cast<CWnd*>(&no_)}) {
    RECT rect = WindowRectOf(button->m_hWnd);
    button->MoveWindow(rect.left + growth.shift, buttonRow, rect.right - rect.left, rect.bottom - rect.top);
  }
  singleOk_.ShowWindow(mode_ == MessageMode::SingleOk ? SW_SHOW : SW_HIDE);
  ok_.ShowWindow(mode_ == MessageMode::OkCancel ? SW_SHOW : SW_HIDE);
  cancel_.ShowWindow(mode_ == MessageMode::OkCancel ? SW_SHOW : SW_HIDE);
  yes_.ShowWindow(mode_ == MessageMode::YesNo ? SW_SHOW : SW_HIDE);
  no_.ShowWindow(mode_ == MessageMode::YesNo ? SW_SHOW : SW_HIDE);
  for (NCExButton* button : {&ok_, &singleOk_, &cancel_, &yes_, &no_}) button->LoadSkin(0, this);

  if (growth.grow > 30) {
    RECT icon = WindowRectOf(icon_.m_hWnd);
    icon_.MoveWindow(icon.left, iconTop, icon.right - icon.left, icon.bottom - icon.top);
  }
}

BOOL MessageDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  background_.CreateSolidBrush(kBackground);
  LayOut();
  text_.SetWindowText(message_.c_str());
  SetWindowText(caption_.empty() ? kProgramTitle : caption_.c_str());
  if (mainWindow) CenterWindow(mainWindow->m_hWnd);
  return TRUE;
}

void MessageDialog::OnCancel() { EndDialog(mode_ == MessageMode::YesNo ? IDNO : IDCANCEL); }

bool MessageDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    switch (LOWORD(wParam)) {
      case IDYES: EndDialog(IDYES); return true;
      case IDNO: EndDialog(IDNO); return true;
      case IDC_SINGLE_OK: EndDialog(IDOK); return true;
      default: return false;
    }
  }
  if (message == WM_PAINT) {
    OnPaint();
    return true;
  }
  if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
    CDC dc(reinterpret_cast<HDC>(wParam));
    HBRUSH framework = OnCtlColor(&dc, FromHandlePermanent(reinterpret_cast<HWND>(lParam)),
                                  CtlColorType(message));
    dc.SetBkMode(TRANSPARENT);
    UINT type = CtlColorType(message);
    result = reinterpret_cast<LRESULT>(type == CTLCOLOR_DLG || type == CTLCOLOR_STATIC
                                           ? static_cast<HBRUSH>(background_)
                                           : framework);
    return true;
  }
  return false;
}

// The icon is loaded anew for each paint and everything it takes is given back.
void MessageDialog::OnPaint() {
  CPaintDC paint(m_hWnd);
  CBitmap bitmap;
  if (!bitmap.LoadBitmap(static_cast<UINT>(iconBitmapId_), LR_LOADMAP3DCOLORS)) return;
  CClientDC iconDc(icon_.m_hWnd);
  RECT area;
  icon_.GetClientRect(&area);
  CMemoryDC memory;
  if (!memory.CreateCompatibleDC(iconDc.m_hDC)) return;
  HGDIOBJ previous = memory.SelectObject(bitmap.GetSafeHandle());
  iconDc.BitBlt(area.left, area.top, area.right - area.left, area.bottom - area.top, memory.m_hDC, 0, 0,
                SRCCOPY);
  memory.SelectObject(previous);
}
