// GDI: device contexts and 32-bit bitmaps, and BitBlt between them.
//
// Every bitmap here has 32 bits per pixel (CreateCompatibleBitmap included), stored as DWORDs
// 0xAARRGGBB that BitBlt copies unchanged. A memory DC starts with a 1 x 1 stock bitmap selected.
// A window's DC (GetDC, user.h) draws into the window's pixels, and a DC over caller memory
// (gsCreateDCOverMemory) into the caller's buffer.
#pragma once

#include "platform/linux/kernel.h"

#define SRCCOPY 0x00CC0020u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u
#define NOMIRRORBITMAP 0x80000000u
#define CAPTUREBLT 0x40000000u

#define BI_RGB 0u
#define DIB_RGB_COLORS 0u
#define DIB_PAL_COLORS 1u
#define OBJ_BITMAP 7
#define CLR_INVALID 0xFFFFFFFFu

#define RGB(r, g, b)                                                                               \
    (static_cast<COLORREF>(static_cast<BYTE>(r) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8) | \
                           (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define GetRValue(rgb) (static_cast<BYTE>(rgb))
#define GetGValue(rgb) (static_cast<BYTE>(static_cast<WORD>(rgb) >> 8))
#define GetBValue(rgb) (static_cast<BYTE>((rgb) >> 16))

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // negative: rows from the top down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

extern "C" {

GS_PLATFORM_API HDC WINAPI CreateCompatibleDC(HDC dc);
GS_PLATFORM_API BOOL WINAPI DeleteDC(HDC dc);

// 32 bits per pixel, BI_RGB, DIB_RGB_COLORS, no file-mapping section; the bits start zeroed and
// belong to the bitmap until DeleteObject.
GS_PLATFORM_API HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage,
                                                void** bits, HANDLE section, DWORD offset);
GS_PLATFORM_API HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height);
// Only bitmaps, and only into memory DCs; a bitmap is selected into one DC at a time.
GS_PLATFORM_API HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
// Fails for a bitmap that is still selected into a DC, as on Windows.
GS_PLATFORM_API BOOL WINAPI DeleteObject(HGDIOBJ object);
GS_PLATFORM_API int WINAPI GetObjectA(HANDLE object, int size, LPVOID buffer);

// SRCCOPY, BLACKNESS and WHITENESS. Both rectangles are clipped against their surfaces, so
// nothing outside either is read or written.
GS_PLATFORM_API BOOL WINAPI BitBlt(HDC target, int x, int y, int width, int height, HDC source,
                                   int sourceX, int sourceY, DWORD rop);
// The pixel as a COLORREF (0x00BBGGRR); CLR_INVALID outside the surface.
GS_PLATFORM_API COLORREF WINAPI GetPixel(HDC dc, int x, int y);

// A DC drawing into memory it does not own: width x height pixels of 32 bits, rows pitchBytes
// apart starting at bits (a negative pitch walks up from a bottom row). DeleteDC releases the DC
// only. Null with ERROR_INVALID_PARAMETER for a null buffer, a size below 1 or a pitch shorter
// than a row.
GS_PLATFORM_API HDC gsCreateDCOverMemory(void* bits, LONG width, LONG height, LONG pitchBytes);

}  // extern "C"
