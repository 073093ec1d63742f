// The skin region and the bitmap buttons on real GDI objects and windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "res/resource.h"
#include "ui/BitmapButton.h"
#include "ui/SkinRegion.h"
#include "win/Dialog.h"

namespace {

DWORD RectangleCount(HRGN region) {
  DWORD size = GetRegionData(region, 0, nullptr);
  std::vector<char> data(size);
  GetRegionData(region, size, reinterpret_cast<RGNDATA*>(data.data()));
  return reinterpret_cast<RGNDATA*>(data.data())->rdh.nCount;
}

// A 32-bit picture whose pixel (x, y) is given by a function.
HBITMAP Picture(int width, int height, const std::function<COLORREF(int, int)>& pixel) {
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* pixels = static_cast<DWORD*>(bits);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      COLORREF c = pixel(x, y);
      pixels[y * width + x] = GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
    }
  return bitmap;
}

constexpr COLORREF kMagenta = RGB(255, 0, 255);

TEST(SkinRegion, TheSkinGivesItsFullRectangleOneRunPerRow) {
  HBITMAP skin = static_cast<HBITMAP>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SKIN), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
  ASSERT_NE(skin, nullptr);
  HRGN region = MakeSkinRegion(skin, 0xFF00FF, 1);
  ASSERT_NE(region, nullptr);
  RECT box;
  EXPECT_EQ(GetRgnBox(region, &box), SIMPLEREGION);
  EXPECT_EQ(box.right, 527);
  EXPECT_EQ(box.bottom, 338);
  EXPECT_EQ(RectangleCount(region), 1u);  // the system merges the 338 rows into one rectangle
  DeleteObject(region);
  DeleteObject(skin);
}

TEST(SkinRegion, ManyRunsComeThroughTheBatchesWhole) {
  // A checkerboard: 50 one-pixel runs a row over 50 rows, 2500 runs that
  // the system cannot merge, more than one batch of 2000.
  HBITMAP picture = Picture(100, 50, [](int x, int y) { return (x + y) % 2 ? kMagenta : RGB(1, 2, 3); });
  HRGN region = MakeSkinRegion(picture, 0xFF00FF, 1);
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(RectangleCount(region), 2500u);
  for (int y : {0, 1, 48, 49})
    for (int x = 0; x < 100; ++x) EXPECT_EQ(PtInRegion(region, x, y) != 0, (x + y) % 2 == 0) << x << "," << y;
  DeleteObject(region);
  DeleteObject(picture);
}

TEST(SkinRegion, AllKeyIsEverythingOrNothingAndNoBitmapIsNoRegion) {
  HBITMAP picture = Picture(20, 10, [](int, int) { return kMagenta; });
  HRGN none = MakeSkinRegion(picture, 0xFF00FF, 1);
  ASSERT_NE(none, nullptr);
  RECT box;
  EXPECT_EQ(GetRgnBox(none, &box), NULLREGION);
  HRGN all = MakeSkinRegion(picture, 0xFF00FF, 0);
  EXPECT_EQ(GetRgnBox(all, &box), SIMPLEREGION);
  EXPECT_EQ(box.right, 20);
  EXPECT_EQ(box.bottom, 10);
  DeleteObject(none);
  DeleteObject(all);
  DeleteObject(picture);
  EXPECT_EQ(MakeSkinRegion(nullptr, 0xFF00FF, 1), nullptr);
}

// A template of the class-layer tests: 501 "SCAN", 504 "Cancel", 505 "NOPICTURE".
class ButtonDialog : public CDialog {
 public:
  explicit ButtonDialog(std::function<void(ButtonDialog&)> body) : CDialog(500), body_(std::move(body)) {}

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    PostMessage(WM_APP);
    return TRUE;
  }
  bool OnMessage(UINT message, WPARAM, LPARAM, LRESULT&) override {
    if (message != WM_APP) return false;
    ShowWindow(SW_SHOW);
    body_(*this);
    EndDialog(IDOK);
    return true;
  }

 private:
  std::function<void(ButtonDialog&)> body_;
};

SIZE ClientSize(HWND window) {
  RECT rect;
  GetClientRect(window, &rect);
  return {rect.right, rect.bottom};
}

TEST(BitmapButtons, TakeTheirPicturesByTheirTextInAnyCase) {
  ButtonDialog dialog([](ButtonDialog& d) {
    NCExButton cancel;
    HWND window = d.GetDlgItem(504);
    SIZE before = ClientSize(window);
    EXPECT_TRUE(cancel.LoadSkin(504, &d));
    EXPECT_NE(cancel.NotFocusBitmap(), nullptr);
    SIZE after = ClientSize(window);
    EXPECT_EQ(after.cx, 92);
    EXPECT_EQ(after.cy, 24);
    EXPECT_NE(before.cx, 92);
    EXPECT_EQ(cancel.DisableBitmap(), nullptr);  // optional, and there is none for Cancel
    cancel.UnsubclassWindow();
  });
  dialog.DoModal();
}

TEST(BitmapButtons, WithoutPicturesKeepTheirTemplateSizeAndStillBind) {
  ButtonDialog dialog([](ButtonDialog& d) {
    CExButton missing;
    HWND window = d.GetDlgItem(505);
    SIZE before = ClientSize(window);
    EXPECT_TRUE(missing.LoadSkin(505, &d));
    EXPECT_EQ(missing.m_hWnd, window);
    SIZE after = ClientSize(window);
    EXPECT_EQ(after.cx, before.cx);
    EXPECT_EQ(after.cy, before.cy);
    missing.UnsubclassWindow();
  });
  dialog.DoModal();
}

TEST(BitmapButtons, TheMouseAndTheFocusMakeThemHot) {
  ButtonDialog dialog([](ButtonDialog& d) {
    CExButton scan;
    ASSERT_TRUE(scan.LoadSkin(501, &d));
    NCExButton other;
    ASSERT_TRUE(other.LoadSkin(504, &d));
    EXPECT_EQ(scan.IsHot(), 0);

    scan.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(scan.IsHot(), 1);
    EXPECT_EQ(GetCapture(), scan.m_hWnd);
    EXPECT_EQ(GetFocus(), scan.m_hWnd);
    scan.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(6, 6));  // still inside: nothing changes
    EXPECT_EQ(scan.IsHot(), 1);
    scan.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(500, 5));  // left the button
    EXPECT_EQ(scan.IsHot(), 0);
    EXPECT_NE(GetCapture(), scan.m_hWnd);
    EXPECT_EQ(GetFocus(), scan.m_hWnd);  // the focus stays

    SetFocus(other.m_hWnd);
    EXPECT_EQ(other.IsHot(), 1);
    SetFocus(scan.m_hWnd);
    EXPECT_EQ(other.IsHot(), 0);
    EXPECT_EQ(scan.IsHot(), 1);
    scan.UnsubclassWindow();
    other.UnsubclassWindow();
  });
  dialog.DoModal();
}

}  // namespace
