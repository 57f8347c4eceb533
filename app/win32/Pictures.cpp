#include "app/win32/Pictures.h"

#include <cstdlib>

#include "app/ControlIds.h"
#include "app/DialogTemplate.h"

namespace qzx {
namespace {

// The twice-as-large drawing of a picture, or 0 for a picture that has none.
int SharpBitmapOf(int bitmap) {
    switch (bitmap) {
        case kBitmapLogo:
            return kBitmapLogo2x;
        case kBitmapBanner:
            return kBitmapBanner2x;
        default:
            return 0;
    }
}

SIZE SizeOf(HBITMAP bitmap) {
    BITMAP info{};
    if (!GetObjectW(bitmap, sizeof info, &info)) return {0, 0};
    return {info.bmWidth, info.bmHeight};
}

// Half a dialog unit rounds either way, so a stored size one pixel off still fits.
bool Fits(SIZE size, int width, int height) {
    return std::abs(size.cx - width) <= 1 && std::abs(size.cy - height) <= 1;
}

HBITMAP LoadBitmapResource(HINSTANCE module, int id) {
    // A DIB section keeps the stored colours whatever the screen's depth.
    return static_cast<HBITMAP>(
        LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

// A 24-bit copy of source at width x height. No alpha channel: a static control copies a bitmap
// with one and the copy would escape our deleting.
HBITMAP Resample(HBITMAP source, int width, int height) {
    const SIZE from = SizeOf(source);
    if (from.cx <= 0 || from.cy <= 0) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    HBITMAP out = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC src = CreateCompatibleDC(screen);
    HDC dst = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (out && src && dst) {
        HGDIOBJ oldSrc = SelectObject(src, source);
        HGDIOBJ oldDst = SelectObject(dst, out);
        // Halftone averages the source pixels each target pixel covers, which keeps the
        // banner's text legible at 1.5x; the brush origin must be reset after choosing it.
        SetStretchBltMode(dst, HALFTONE);
        SetBrushOrgEx(dst, 0, 0, nullptr);
        StretchBlt(dst, 0, 0, width, height, src, 0, 0, from.cx, from.cy, SRCCOPY);
        SelectObject(src, oldSrc);
        SelectObject(dst, oldDst);
    }
    if (src) DeleteDC(src);
    if (dst) DeleteDC(dst);
    return out;
}

// The stored drawing that fits width x height, else the sharper one resampled to it.
HBITMAP PictureFor(HINSTANCE module, int bitmap, int width, int height) {
    HBITMAP sharp = nullptr;
    for (int id : {bitmap, SharpBitmapOf(bitmap)}) {
        HBITMAP stored = LoadBitmapResource(module, id);
        if (!stored) continue;
        if (Fits(SizeOf(stored), width, height)) {
            if (sharp) DeleteObject(sharp);
            return stored;
        }
        if (sharp) DeleteObject(sharp);
        sharp = stored;
    }
    if (!sharp) return nullptr;
    HBITMAP made = Resample(sharp, width, height);
    DeleteObject(sharp);
    return made;
}

// The control showing a template picture; the logo has no number of its own.
HWND PictureControl(HWND dialog, const TemplateControl& c) {
    if (c.id != kIdStatic) return GetDlgItem(dialog, c.id);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
        if ((style & SS_TYPEMASK) == SS_BITMAP &&
            static_cast<int>(static_cast<short>(GetDlgCtrlID(child))) == kIdStatic) {
            return child;
        }
    }
    return nullptr;
}

}  // namespace

std::vector<HBITMAP> FitPictures(HWND dialog, HINSTANCE module) {
    std::vector<HBITMAP> made;
    for (const TemplateControl& c : MainWindowTemplate().controls) {
        if (c.kind != ControlKind::Picture || SharpBitmapOf(c.image) == 0) continue;
        HWND control = PictureControl(dialog, c);
        if (!control) continue;
        RECT r{c.units.x, c.units.y, c.units.x + c.units.width, c.units.y + c.units.height};
        MapDialogRect(dialog, &r);
        HBITMAP picture = PictureFor(module, c.image, r.right - r.left, r.bottom - r.top);
        if (!picture) continue;
        made.push_back(picture);
        // The control gives back the drawing it loaded itself, which is ours to delete.
        auto* old = reinterpret_cast<HBITMAP>(
            SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)));
        if (old && old != picture) DeleteObject(old);
        const SIZE size = SizeOf(picture);
        SetWindowPos(control, nullptr, r.left, r.top, size.cx, size.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return made;
}

}  // namespace qzx
