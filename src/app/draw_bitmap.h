#pragma once
// Bitmaps drawn with one colour left transparent.

#include <windows.h>

// Loads bitmap resource id (never language-offset), puts it at (x, y) by the anchor of
// BitmapTopLeft (app_logic.h) and draws it with colour transparent.
void DrawBitmapResource(HDC dc, int x, int y, int id, COLORREF transparent, int anchor);

// Draws bitmap at (x, y) so that its pixels of colour transparent leave the background
// visible; the bitmap is unchanged afterwards.
void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, COLORREF transparent);
