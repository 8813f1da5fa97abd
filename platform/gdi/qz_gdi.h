/*
 * qz_gdi.h: the Windows drawing calls a panel paints with, under their
 * Windows names and signatures.
 *
 * On Windows this is the platform's own header. Elsewhere the calls come
 * from the qz_gdi shared library, which draws into pixel buffers that a host
 * creates (gdi_host.h); a plug-in and its host share the one library, as
 * they share the platform's drawing library on Windows.
 *
 * Handles are small positive integers held in pointer-typed words, so that a
 * device context fits the 32-bit index of the paint request. A handle that
 * was never created, was deleted, or is of the wrong kind is answered with
 * the call's failure result; nothing is touched.
 */
#ifndef QZ_GDI_H
#define QZ_GDI_H

#if defined(_WIN32)
#include <windows.h>
#else

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QZ_GDI_BUILDING)
#define QZ_GDI_API __attribute__((visibility("default")))
#else
#define QZ_GDI_API
#endif

typedef int BOOL;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef DWORD COLORREF; /* 0x00BBGGRR */
typedef const char *LPCSTR;

typedef void *HGDIOBJ; /* any drawing object */
typedef struct QzGdiDeviceContext *HDC;
typedef struct QzGdiFont *HFONT;
typedef struct QzGdiBrush *HBRUSH;

typedef struct RECT {
    LONG left;   /* first column inside */
    LONG top;    /* first row inside */
    LONG right;  /* first column outside */
    LONG bottom; /* first row outside */
} RECT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define RGB(r, g, b) ((COLORREF)(((DWORD)(uint8_t)(r)) | ((DWORD)(uint8_t)(g) << 8) | ((DWORD)(uint8_t)(b) << 16)))

#define CLR_INVALID ((COLORREF)0xFFFFFFFFu) /* SetTextColor failure */
#define GDI_ERROR   ((UINT)0xFFFFFFFFu)     /* SetTextAlign failure */

/* Background modes (SetBkMode). */
#define TRANSPARENT 1
#define OPAQUE      2

/* Text alignment bits (SetTextAlign): one horizontal, one vertical choice. */
#define TA_NOUPDATECP 0
#define TA_UPDATECP   1
#define TA_LEFT       0
#define TA_RIGHT      2
#define TA_CENTER     6
#define TA_TOP        0
#define TA_BOTTOM     8
#define TA_BASELINE   24

/* Font weights and character sets (CreateFontA). */
#define FW_NORMAL       400
#define FW_BOLD         700
#define ANSI_CHARSET    0
#define DEFAULT_CHARSET 1

/* Font quality (CreateFontA): the antialiased ones draw smoothed glyphs. */
#define DEFAULT_QUALITY        0
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY    4
#define CLEARTYPE_QUALITY      5

/* A logical font. Height > 0: cell height in pixels; < 0: character (em)
 * height; 0: a default. Width > 0: average character width; 0: natural.
 * Returns NULL on failure. */
QZ_GDI_API HFONT CreateFontA(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight, DWORD bItalic,
                             DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet, DWORD iOutPrecision,
                             DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily, LPCSTR pszFaceName);

/* Returns NULL on failure. */
QZ_GDI_API HBRUSH CreateSolidBrush(COLORREF color);

/* Fills left..right-1, top..bottom-1, clipped to the device. Non-zero on
 * success. */
QZ_GDI_API int FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr);

/* Selects a font or brush; returns the object it replaces, NULL on failure. */
QZ_GDI_API HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);

/* Returns the previous colour, CLR_INVALID on failure. */
QZ_GDI_API COLORREF SetTextColor(HDC hdc, COLORREF color);

/* Returns the previous mode, 0 on failure. */
QZ_GDI_API int SetBkMode(HDC hdc, int mode);

/* Returns the previous alignment, GDI_ERROR on failure. */
QZ_GDI_API UINT SetTextAlign(HDC hdc, UINT align);

/* Draws c bytes of lpString (no terminator needed) with the selected font.
 * TRUE on success. */
QZ_GDI_API BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c);

/* Frees a font or brush. FALSE for an invalid handle or an object still
 * selected into a device context. Stock objects answer TRUE and stay. */
QZ_GDI_API BOOL DeleteObject(HGDIOBJ ho);

#ifdef __cplusplus
}
#endif

#endif /* !_WIN32 */

#endif /* QZ_GDI_H */
