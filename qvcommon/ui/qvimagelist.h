#pragma once
// Image lists of the suite's views: one strip bitmap of square images side by side.
#include "qvui.h"

// An image list from the strip bitmap 'bitmapId' of the module: images as wide as the strip is
// high, pixels of the mask colour transparent. size gets the edge of one image and count the
// number of images (both 0 when no list was made). Null when the bitmap is missing or empty.
HIMAGELIST CreateImageList(HINSTANCE module, UINT bitmapId, COLORREF mask, long* size, long* count);
