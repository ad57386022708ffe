// Image lists: images of one size, each kept as a bitmap of its own with the colour
// that marks its transparent pixels. Lists may be used from any thread.
#include <algorithm>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/user/controls_internal.h"

struct ImageListData {
    struct Image {
        HBITMAP bitmap;
        bool masked;
        COLORREF key;  // the colour of the left-out pixels when masked
    };
    std::mutex lock;
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    COLORREF background = CLR_NONE;
    std::vector<Image> images;
};

namespace {

std::mutex& RegistryLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::unordered_set<HIMAGELIST>& Registry() {
    static auto* lists = new std::unordered_set<HIMAGELIST>;
    return *lists;
}

bool IsList(HIMAGELIST list) {
    std::lock_guard<std::mutex> guard(RegistryLock());
    return list && Registry().count(list) != 0;
}

struct BitmapSize {
    int width = 0;
    int height = 0;
};

BitmapSize SizeOf(HBITMAP bitmap) {
    BITMAP info{};
    if (!bitmap || GetObjectW(bitmap, sizeof(info), &info) != sizeof(info)) {
        return {};
    }
    return {info.bmWidth, std::abs(info.bmHeight)};
}

// Copies a cx x cy piece of `source` at x into a bitmap of its own.
HBITMAP CutImage(HDC sourceDc, int x, int cx, int cy) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP image = CreateCompatibleBitmap(dc, cx, cy);
    HGDIOBJ old = SelectObject(dc, image);
    BitBlt(dc, 0, 0, cx, cy, sourceDc, x, 0, SRCCOPY);
    SelectObject(dc, old);
    DeleteDC(dc);
    return image;
}

// A colour the image does not use, to mark what the mask leaves out.
COLORREF UnusedColor(HDC dc, int cx, int cy) {
    const COLORREF candidates[] = {RGB(255, 0, 255), RGB(1, 254, 3), RGB(254, 1, 253),
                                   RGB(3, 2, 1)};
    for (COLORREF candidate : candidates) {
        bool used = false;
        for (int y = 0; y < cy && !used; ++y) {
            for (int x = 0; x < cx && !used; ++x) {
                used = GetPixel(dc, x, y) == candidate;
            }
        }
        if (!used) {
            return candidate;
        }
    }
    return candidates[0];
}

int AddImages(HIMAGELIST list, HBITMAP bitmap, HBITMAP mask, bool useKey, COLORREF key) {
    if (!IsList(list)) {
        return -1;
    }
    BitmapSize size = SizeOf(bitmap);
    std::lock_guard<std::mutex> guard(list->lock);
    int count = list->cx > 0 ? size.width / list->cx : 0;
    if (count <= 0 || size.height < list->cy) {
        return -1;
    }
    bool masked = list->flags & ILC_MASK;
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ oldSource = SelectObject(source, bitmap);
    HDC maskDc = nullptr;
    HGDIOBJ oldMask = nullptr;
    if (masked && !useKey && mask) {
        maskDc = CreateCompatibleDC(nullptr);
        oldMask = SelectObject(maskDc, mask);
    }
    int first = static_cast<int>(list->images.size());
    for (int i = 0; i < count; ++i) {
        ImageListData::Image image{CutImage(source, i * list->cx, list->cx, list->cy), false,
                                   CLR_NONE};
        if (masked && useKey) {
            image.masked = true;
            image.key = key;
        } else if (maskDc) {
            HDC dc = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(dc, image.bitmap);
            image.masked = true;
            image.key = UnusedColor(dc, list->cx, list->cy);
            for (int y = 0; y < list->cy; ++y) {
                for (int x = 0; x < list->cx; ++x) {
                    if (GetPixel(maskDc, i * list->cx + x, y) != RGB(0, 0, 0)) {
                        SetPixel(dc, x, y, image.key);
                    }
                }
            }
            SelectObject(dc, old);
            DeleteDC(dc);
        }
        list->images.push_back(image);
    }
    if (maskDc) {
        SelectObject(maskDc, oldMask);
        DeleteDC(maskDc);
    }
    SelectObject(source, oldSource);
    DeleteDC(source);
    return first;
}

COLORREF Mix(COLORREF a, COLORREF b, int percentOfB) {
    auto channel = [&](BYTE x, BYTE y) {
        return static_cast<BYTE>((x * (100 - percentOfB) + y * percentOfB) / 100);
    };
    return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
               channel(GetBValue(a), GetBValue(b)));
}

}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int, int) {
    if (cx <= 0 || cy <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* list = new ImageListData;
    list->cx = cx;
    list->cy = cy;
    list->flags = flags;
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry().insert(list);
    return list;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
    {
        std::lock_guard<std::mutex> guard(RegistryLock());
        if (!list || Registry().erase(list) == 0) {
            return FALSE;
        }
    }
    for (auto& image : list->images) {
        DeleteObject(image.bitmap);
    }
    delete list;
    return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST list) {
    if (!IsList(list)) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(list->lock);
    return static_cast<int>(list->images.size());
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
    if (!IsList(list) || !cx || !cy) {
        return FALSE;
    }
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}

int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask) {
    return AddImages(list, image, mask, false, CLR_NONE);
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask) {
    return AddImages(list, image, nullptr, true, mask);
}

BOOL ImageList_Remove(HIMAGELIST list, int index) {
    if (!IsList(list)) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(list->lock);
    if (index == -1) {
        for (auto& image : list->images) {
            DeleteObject(image.bitmap);
        }
        list->images.clear();
        return TRUE;
    }
    if (index < 0 || index >= static_cast<int>(list->images.size())) {
        return FALSE;
    }
    DeleteObject(list->images[static_cast<size_t>(index)].bitmap);
    list->images.erase(list->images.begin() + index);
    return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST list, COLORREF color) {
    if (!IsList(list)) {
        return CLR_NONE;
    }
    std::lock_guard<std::mutex> guard(list->lock);
    COLORREF previous = list->background;
    list->background = color;
    return previous;
}

COLORREF ImageList_GetBkColor(HIMAGELIST list) {
    if (!IsList(list)) {
        return CLR_NONE;
    }
    std::lock_guard<std::mutex> guard(list->lock);
    return list->background;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style) {
    if (!IsList(list) || !dc) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(list->lock);
    if (index < 0 || index >= static_cast<int>(list->images.size())) {
        return FALSE;
    }
    const auto& image = list->images[static_cast<size_t>(index)];
    int cx = list->cx;
    int cy = list->cy;
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ oldSource = SelectObject(source, image.bitmap);
    // Blending and the mask are drawn from a copy.
    HBITMAP copy = nullptr;
    HDC work = source;
    int blend = (style & ILD_BLEND50) ? 50 : (style & ILD_BLEND25) ? 25 : 0;
    if (blend || (style & ILD_MASK)) {
        work = CreateCompatibleDC(nullptr);
        copy = CreateCompatibleBitmap(work, cx, cy);
        SelectObject(work, copy);
        BitBlt(work, 0, 0, cx, cy, source, 0, 0, SRCCOPY);
        COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
        for (int py = 0; py < cy; ++py) {
            for (int px = 0; px < cx; ++px) {
                COLORREF pixel = GetPixel(work, px, py);
                bool out = image.masked && pixel == image.key;
                if (style & ILD_MASK) {
                    SetPixel(work, px, py, out ? RGB(255, 255, 255) : RGB(0, 0, 0));
                } else if (!out) {
                    COLORREF mixed = Mix(pixel, highlight, blend);
                    SetPixel(work, px, py, mixed == image.key ? mixed ^ 1u : mixed);
                }
            }
        }
    }
    BOOL ok = TRUE;
    if ((style & ILD_MASK) || !image.masked) {
        ok = BitBlt(dc, x, y, cx, cy, work, 0, 0, SRCCOPY);
    } else {
        if (!(style & ILD_TRANSPARENT) && list->background != CLR_NONE) {
            platform::user::FillColor(dc, RECT{x, y, x + cx, y + cy}, list->background);
        }
        ok = TransparentImage(dc, x, y, cx, cy, work, 0, 0, cx, cy, image.key);
    }
    if (copy) {
        DeleteDC(work);
        DeleteObject(copy);
    }
    SelectObject(source, oldSource);
    DeleteDC(source);
    return ok;
}

HIMAGELIST ImageList_LoadImageW(HINSTANCE instance, LPCWSTR name, int cx, int grow, COLORREF mask,
                                UINT type, UINT) {
    if (type != IMAGE_BITMAP || cx <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bitmap =
        static_cast<HBITMAP>(LoadImageW(instance, name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    if (!bitmap) {
        return nullptr;
    }
    BitmapSize size = SizeOf(bitmap);
    HIMAGELIST list = ImageList_Create(cx, size.height, mask == CLR_NONE ? 0 : ILC_MASK,
                                       std::max(1, size.width / cx), grow);
    int added = mask == CLR_NONE ? ImageList_Add(list, bitmap, nullptr)
                                 : ImageList_AddMasked(list, bitmap, mask);
    DeleteObject(bitmap);
    if (added < 0) {
        ImageList_Destroy(list);
        return nullptr;
    }
    return list;
}
