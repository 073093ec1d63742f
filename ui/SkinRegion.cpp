#include "ui/SkinRegion.h"

#include "ui/SkinRuns.h"
#include "win/Dc.h"
#include "win/Gdi.h"

namespace {

constexpr DWORD kCapacityStep = 100;
constexpr DWORD kRectanglesPerRegion = 2000;

// Collects the runs as one-pixel-high rectangles in a movable RGNDATA block
// and turns each 2000 of them into a region, OR-ed into the result.
class RegionBuilder final : public RunSink {
 public:
  RegionBuilder() {
    block_ = GlobalAlloc(GMEM_MOVEABLE, BlockSize());
    if (block_) data_ = static_cast<RGNDATA*>(GlobalLock(block_));
    if (data_) Reset();
  }
  ~RegionBuilder() {
    if (data_) GlobalUnlock(block_);
    if (block_) GlobalFree(block_);
    if (result_) DeleteObject(result_);
  }
  RegionBuilder(const RegionBuilder&) = delete;
  RegionBuilder& operator=(const RegionBuilder&) = delete;

  bool IsReady() const { return data_ != nullptr; }

  void AddRun(int x0, int y, int x1) override {
    if (!data_) return;
    if (data_->rdh.nCount == capacity_ && !Grow()) return;
    RECT* rects = reinterpret_cast<RECT*>(data_->Buffer);
    rects[data_->rdh.nCount] = {x0, y, x1, y + 1};
    RECT& bound = data_->rdh.rcBound;
    if (x0 < bound.left) bound.left = x0;
    if (y < bound.top) bound.top = y;
    if (x1 > bound.right) bound.right = x1;
    if (y + 1 > bound.bottom) bound.bottom = y + 1;
    if (++data_->rdh.nCount == kRectanglesPerRegion) {
      Flush();
      Reset();
    }
  }

  // Flushes what is left and hands the region over.
  HRGN Finish() {
    if (data_) Flush();
    HRGN region = result_;
    result_ = nullptr;
    return region;
  }

 private:
  DWORD BlockSize() const { return sizeof(RGNDATAHEADER) + sizeof(RECT) * capacity_; }

  void Reset() {
    data_->rdh.dwSize = sizeof(RGNDATAHEADER);
    data_->rdh.iType = RDH_RECTANGLES;
    data_->rdh.nCount = 0;
    data_->rdh.nRgnSize = 0;
    data_->rdh.rcBound = {0x7FFFFFFF, 0x7FFFFFFF, 0, 0};
  }

  bool Grow() {
    GlobalUnlock(block_);
    data_ = nullptr;
    capacity_ += kCapacityStep;
    HGLOBAL grown = GlobalReAlloc(block_, BlockSize(), GMEM_MOVEABLE);
    if (grown) block_ = grown;
    data_ = static_cast<RGNDATA*>(GlobalLock(block_));
    if (!grown) capacity_ -= kCapacityStep;  // the old block and its rectangles stay
    return grown && data_;
  }

  // A failed creation loses only this batch of rectangles.
  void Flush() {
    HRGN batch = ExtCreateRegion(nullptr, BlockSize(), data_);
    if (!batch) return;
    if (!result_) {
      result_ = batch;
    } else {
      CombineRgn(result_, result_, batch, RGN_OR);
      DeleteObject(batch);
    }
  }

  HGLOBAL block_ = nullptr;
  RGNDATA* data_ = nullptr;
  DWORD capacity_ = kCapacityStep;
  HRGN result_ = nullptr;
};

}  // namespace

HRGN MakeSkinRegion(HBITMAP bitmap, DWORD key, int includeNonKey) {
  if (!bitmap) return nullptr;
  // Declared first, so destroyed last: after the device context that holds it
  // selected has put its old bitmap back.
  CGdiObject section;
  CMemoryDC sectionDc;
  if (!sectionDc.CreateCompatibleDC(nullptr)) return nullptr;
  BITMAP source = {};
  if (!GetObjectA(bitmap, sizeof source, &source)) return nullptr;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = source.bmWidth;
  info.bmiHeader.biHeight = source.bmHeight;  // positive: rows bottom-up in memory
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  if (!section.Attach(CreateDIBSection(sectionDc.m_hDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0)))
    return nullptr;
  sectionDc.SelectObject(section.GetSafeHandle());
  CMemoryDC sourceDc;
  BITMAP pixels = {};
  if (!sourceDc.CreateCompatibleDC(sectionDc.m_hDC) ||
      !GetObjectA(section.GetSafeHandle(), sizeof pixels, &pixels))
    return nullptr;
  sourceDc.SelectObject(bitmap);
  sectionDc.BitBlt(0, 0, source.bmWidth, source.bmHeight, sourceDc.m_hDC, 0, 0, SRCCOPY);
  GdiFlush();

  RegionBuilder builder;
  if (!builder.IsReady()) return nullptr;
  // Row 0 of the picture is the last row in memory.
  const auto* top = static_cast<const uint8_t*>(pixels.bmBits) +
                    static_cast<ptrdiff_t>(source.bmHeight - 1) * pixels.bmWidthBytes;
  BuildSkinRuns(top, -static_cast<ptrdiff_t>(pixels.bmWidthBytes), source.bmWidth, source.bmHeight,
                key, includeNonKey != 0, builder);
  return builder.Finish();
}

namespace {

struct ScaleFactors {
  double x;
  double y;
};

BOOL CALLBACK ScaleChildProc(HWND child, LPARAM parameter) {
  const auto* factors = reinterpret_cast<const ScaleFactors*>(parameter);
  RECT rect;
  GetWindowRect(child, &rect);
  const LONG left = static_cast<LONG>(rect.left / factors->x);
  const LONG top = static_cast<LONG>(rect.top / factors->y);
  const LONG right = static_cast<LONG>(rect.right / factors->x);
  const LONG bottom = static_cast<LONG>(rect.bottom / factors->y);
  POINT topLeft = {left, top};
  ScreenToClient(GetParent(child), &topLeft);
  MoveWindow(child, topLeft.x, topLeft.y, right - left, bottom - top, TRUE);
  return TRUE;
}

}  // namespace

BOOL ScaleChildWindows(HWND window, int targetWidth, int targetHeight) {
  RECT client;
  GetClientRect(window, &client);
  ScaleFactors factors = {static_cast<double>(client.right - client.left) / targetWidth,
                          static_cast<double>(client.bottom - client.top) / targetHeight};
  // The factors only guard against a window without a client area.
  if (factors.x <= 0 || factors.y <= 0) return FALSE;
  return EnumChildWindows(window, ScaleChildProc, reinterpret_cast<LPARAM>(&factors));
}
