// The main window's pictures at the window's scale: the dialog manager shows a bitmap at its
// stored size, while the controls and fonts grow with the screen's DPI.
#pragma once

#include <windows.h>

#include <vector>

namespace qzx {

/// Gives each bitmap picture of the main window (dialog, made from the resources of module)
/// the rectangle its template units map to in this dialog, and a bitmap of that size: the
/// stored one when it fits, else the sharper one drawn down (or up) to it. The control, and
/// with it the area a click reaches, is then exactly the picture. Returns the bitmaps made,
/// which the caller deletes once the dialog is gone.
std::vector<HBITMAP> FitPictures(HWND dialog, HINSTANCE module);

}  // namespace qzx
