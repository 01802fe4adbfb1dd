#include "app/draw_bitmap.h"

#include "app/app_ids.h"
#include "app/app_logic.h"

namespace {

// A memory context with one bitmap selected into it; both go when it goes.
class MemoryDc {
  public:
    MemoryDc(HDC compatible, HBITMAP bitmap, bool ownsBitmap)
        : dc_(::CreateCompatibleDC(compatible)),
          bitmap_(ownsBitmap ? bitmap : nullptr),
          previous_(::SelectObject(dc_, bitmap)) {}
    ~MemoryDc() {
        ::SelectObject(dc_, previous_);
        if (bitmap_ != nullptr) {
            ::DeleteObject(bitmap_);
        }
        ::DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC Get() const { return dc_; }

  private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
};

}  // namespace

void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, COLORREF transparent) {
    BITMAP info{};
    if (::GetObjectA(bitmap, sizeof info, &info) == 0) {
        return;
    }
    MemoryDc source(dc, bitmap, false);
    POINT size{info.bmWidth, info.bmHeight};
    ::DPtoLP(source.Get(), &size, 1);
    ::SetMapMode(source.Get(), ::GetMapMode(dc));
    const int w = size.x;
    const int h = size.y;

    MemoryDc save(dc, ::CreateCompatibleBitmap(dc, w, h), true);
    MemoryDc work(dc, ::CreateCompatibleBitmap(dc, w, h), true);
    MemoryDc mask(dc, ::CreateBitmap(w, h, 1, 1, nullptr), true);
    MemoryDc inverse(dc, ::CreateBitmap(w, h, 1, 1, nullptr), true);

    ::BitBlt(save.Get(), 0, 0, w, h, source.Get(), 0, 0, SRCCOPY);
    // Colour to monochrome: pixels of the background colour become 1.
    const COLORREF background = ::SetBkColor(source.Get(), transparent);
    ::BitBlt(mask.Get(), 0, 0, w, h, source.Get(), 0, 0, SRCCOPY);
    ::SetBkColor(source.Get(), background);
    ::BitBlt(inverse.Get(), 0, 0, w, h, mask.Get(), 0, 0, NOTSRCCOPY);

    ::BitBlt(work.Get(), 0, 0, w, h, dc, x, y, SRCCOPY);
    ::BitBlt(work.Get(), 0, 0, w, h, mask.Get(), 0, 0, SRCAND);
    ::BitBlt(source.Get(), 0, 0, w, h, inverse.Get(), 0, 0, SRCAND);
    ::BitBlt(work.Get(), 0, 0, w, h, source.Get(), 0, 0, SRCPAINT);
    ::BitBlt(dc, x, y, w, h, work.Get(), 0, 0, SRCCOPY);
    ::BitBlt(source.Get(), 0, 0, w, h, save.Get(), 0, 0, SRCCOPY);
}

void DrawBitmapResource(HDC dc, int x, int y, int id, COLORREF transparent, int anchor) {
    HBITMAP bitmap = ::LoadBitmapA(AppInstance(), MAKEINTRESOURCEA(id));
    if (bitmap == nullptr) {
        return;
    }
    BITMAP info{};
    ::GetObjectA(bitmap, sizeof info, &info);
    const Point corner = BitmapTopLeft(x, y, info.bmWidth, info.bmHeight, anchor);
    DrawTransparentBitmap(dc, bitmap, corner.x, corner.y, transparent);
    ::DeleteObject(bitmap);
}
