#include "qvimagelist.h"

HIMAGELIST CreateImageList(HINSTANCE module, UINT bitmapId, COLORREF mask, long* size, long* count) {
    if (size) *size = 0;
    if (count) *count = 0;
    const HBITMAP strip = LoadBitmapW(module, MAKEINTRESOURCEW(bitmapId));
    if (!strip) return nullptr;
    BITMAP bm{};
    const bool ok = GetObjectW(strip, sizeof(bm), &bm) != 0 && bm.bmWidth > 0 && bm.bmHeight > 0;
    HIMAGELIST list = nullptr;
    if (ok) {
        const int edge = int(bm.bmHeight);
        list = ImageList_Create(edge, edge, ILC_COLOR24 | ILC_MASK, 1, 1);
        if (list && ImageList_AddMasked(list, strip, mask) < 0) {
            ImageList_Destroy(list);
            list = nullptr;
        }
        if (list) {
            if (size) *size = edge;
            if (count) *count = ImageList_GetImageCount(list);
        }
    }
    DeleteObject(strip);
    return list;
}
