// The program's resource modules: string tables, bitmaps and icons by id, with the
// images of the screen set that matches the screen.
#include <cstring>
#include <map>

#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/resource_module.h"
#include "platform/kernel/process.h"

using namespace platform::gdi;

namespace {

struct Registry {
    std::vector<const platform::ResourceModule*> modules;
    std::map<const platform::ResourceImage*, cairo_surface_t*> decoded;
};

Registry& Modules() {
    static auto* registry = new Registry;
    return *registry;
}

HINSTANCE InstanceOf(const platform::ResourceModule* module) {
    return reinterpret_cast<HINSTANCE>(const_cast<platform::ResourceModule*>(module));
}

// A null instance is the program's own module: the one marked main, or the only one.
// The program's instance (what the class library hands out as its resource handle)
// means the same.
const platform::ResourceModule* FindModule(HINSTANCE instance) {
    if (instance == platform::ProgramInstance()) {
        instance = nullptr;
    }
    const auto& modules = Modules().modules;
    for (const auto* module : modules) {
        if (instance ? InstanceOf(module) == instance : module->main) {
            return module;
        }
    }
    if (!instance && modules.size() == 1) {
        return modules.front();
    }
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
}

// The set rasterised for the screen's dpi, else the densest one below it, else the first.
const platform::ResourceScreenSet* ChooseSet(const platform::ResourceModule& module) {
    const int dpi = platform::ScreenDpi();
    const platform::ResourceScreenSet* best = nullptr;
    for (size_t i = 0; i < module.setCount; ++i) {
        const auto& set = module.sets[i];
        if (set.dpi <= dpi && (!best || set.dpi > best->dpi)) {
            best = &set;
        }
    }
    return best ? best : module.setCount ? &module.sets[0] : nullptr;
}

const platform::ResourceImage* FindImage(HINSTANCE instance, LPCWSTR name,
                                         platform::ResourceKind kind) {
    const auto* module = FindModule(instance);
    if (!module) {
        return nullptr;
    }
    if (!name || !IS_INTRESOURCE(name)) {
        // Only numeric ids are used by the programs.
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    if (const auto* set = ChooseSet(*module)) {
        for (size_t i = 0; i < set->count; ++i) {
            if (set->images[i].id == id && set->images[i].kind == kind) {
                return &set->images[i];
            }
        }
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

struct PngReader {
    const unsigned char* data;
    size_t size;
    size_t offset;
};

cairo_status_t ReadPng(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->size - reader->offset) {
        return CAIRO_STATUS_READ_ERROR;
    }
    std::memcpy(out, reader->data + reader->offset, length);
    reader->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

// The image decoded once and kept; null when the embedded data is damaged.
cairo_surface_t* Decode(const platform::ResourceImage& image) {
    auto& decoded = Modules().decoded;
    auto found = decoded.find(&image);
    if (found != decoded.end()) {
        return found->second;
    }
    PngReader reader{image.png, image.pngSize, 0};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadPng, &reader);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    decoded.emplace(&image, surface);
    return surface;
}

// A bitmap at its own size from an opaque 8-bit RGB PNG, which is what the build
// rasterises every bitmap to, decoded by libpng straight into the bitmap's rows: the
// pixels the decoded image painted over white gives, without that image kept beside
// the bitmap or the painting. Null for any other PNG, or one libpng refuses: the
// general path decides about those.
std::shared_ptr<Bitmap> DecodeOpaqueBitmap(const platform::ResourceImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, image.png, image.pngSize))
        return nullptr;
    std::shared_ptr<Bitmap> bitmap;
    if (png.format == PNG_FORMAT_RGB && png.width == static_cast<png_uint_32>(image.width) &&
        png.height == static_cast<png_uint_32>(image.height))
        bitmap = NewBitmap(image.width, image.height);
    if (!bitmap) {
        png_image_free(&png);
        return nullptr;
    }
    // BGRA in memory is the surface's native-endian 0xFFRRGGBB.
    png.format = PNG_FORMAT_BGRA;
    if (!png_image_finish_read(&png, nullptr, bitmap->Row(0), bitmap->stride, nullptr))
        return nullptr;
    cairo_surface_mark_dirty(bitmap->surface);
    return bitmap;
}

// Draws an image onto a surface at a size, nearest pixel or smoothed.
void PaintScaled(cairo_surface_t* target, cairo_surface_t* image, int width, int height,
                 bool smooth) {
    const int imageWidth = cairo_image_surface_get_width(image);
    const int imageHeight = cairo_image_surface_get_height(image);
    cairo_t* cr = cairo_create(target);
    cairo_scale(cr, static_cast<double>(width) / imageWidth,
                static_cast<double>(height) / imageHeight);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr),
                             smooth ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_destroy(cr);
}

HBITMAP MakeBitmap(const platform::ResourceImage& image, int width, int height) {
    if ((width == 0 || width == image.width) && (height == 0 || height == image.height)) {
        if (auto bitmap = DecodeOpaqueBitmap(image))
            return static_cast<HBITMAP>(Insert(bitmap));
    }
    cairo_surface_t* decoded = Decode(image);
    if (!decoded) {
        return nullptr;
    }
    auto bitmap = NewBitmap(width ? width : image.width, height ? height : image.height);
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Bitmaps are opaque; anything the artwork left transparent becomes white, the key
    // colour the screens use.
    cairo_t* cr = cairo_create(bitmap->surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    PaintScaled(bitmap->surface, decoded, bitmap->width, bitmap->height, false);
    cairo_surface_flush(bitmap->surface);
    return static_cast<HBITMAP>(Insert(bitmap));
}

HICON MakeIcon(const platform::ResourceImage& image, int width, int height) {
    cairo_surface_t* decoded = Decode(image);
    if (!decoded) {
        return nullptr;
    }
    width = width ? width : image.width;
    height = height ? height : image.height;
    if (width <= 0 || height <= 0 || width > 1024 || height > 1024) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto icon = std::make_shared<Icon>();
    icon->image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    icon->width = width;
    icon->height = height;
    const bool resized = width != cairo_image_surface_get_width(decoded) ||
                         height != cairo_image_surface_get_height(decoded);
    PaintScaled(icon->image, decoded, width, height, resized);
    return static_cast<HICON>(Insert(icon));
}

}  // namespace

Icon::~Icon() {
    if (image) {
        cairo_surface_destroy(image);
    }
}

HINSTANCE platform::RegisterResourceModule(const ResourceModule& module) {
    Guard guard(DrawingLock());
    Modules().modules.push_back(&module);
    return InstanceOf(&module);
}

HINSTANCE platform::MainResourceInstance() {
    Guard guard(DrawingLock());
    const auto* module = FindModule(nullptr);
    return module ? InstanceOf(module) : nullptr;
}

HINSTANCE platform::ResourceInstance(const char* name) {
    Guard guard(DrawingLock());
    for (const auto* module : Modules().modules) {
        if (name && std::strcmp(module->name, name) == 0) {
            return InstanceOf(module);
        }
    }
    return nullptr;
}

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
    Guard guard(DrawingLock());
    const auto* image = FindImage(instance, name, platform::ResourceKind::Bitmap);
    return image ? MakeBitmap(*image, 0, 0) : nullptr;
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
    Guard guard(DrawingLock());
    const auto* image = FindImage(instance, name, platform::ResourceKind::Icon);
    return image ? MakeIcon(*image, 0, 0) : nullptr;
}

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags) {
    Guard guard(DrawingLock());
    if (width < 0 || height < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (type == IMAGE_BITMAP) {
        const auto* image = FindImage(instance, name, platform::ResourceKind::Bitmap);
        return image ? MakeBitmap(*image, width, height) : nullptr;
    }
    if (type == IMAGE_ICON) {
        const auto* image = FindImage(instance, name, platform::ResourceKind::Icon);
        return image ? MakeIcon(*image, width, height) : nullptr;
    }
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

BOOL DestroyIcon(HICON handle) {
    Guard guard(DrawingLock());
    if (!LookupAs<Icon>(handle, Kind::Icon)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Remove(handle);
    return TRUE;
}

BOOL DrawIconEx(HDC dcHandle, int x, int y, HICON iconHandle, int width, int height, UINT step,
                HBRUSH flickerFreeBrush, UINT flags) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    auto icon = LookupAs<Icon>(iconHandle, Kind::Icon);
    if (!dc || !icon || !(flags & DI_NORMAL)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    width = width ? width : icon->width;
    height = height ? height : icon->height;
    Canvas canvas(*dc, true);
    cairo_t* cr = canvas.Cairo();
    if (auto brush = LookupAs<Brush>(flickerFreeBrush, Kind::Brush); brush && brush->Visible()) {
        SetCairoSource(cr, BrushPaint(*dc, *brush), *dc);
        cairo_rectangle(cr, x, y, width, height);
        cairo_fill(cr);
    }
    cairo_translate(cr, x, y);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_clip(cr);
    cairo_scale(cr, static_cast<double>(width) / icon->width,
                static_cast<double>(height) / icon->height);
    const bool resized = width != icon->width || height != icon->height;
    if ((flags & DI_NORMAL) == DI_MASK) {
        // The mask alone: black where the icon is opaque, white elsewhere.
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_mask_surface(cr, icon->image, 0, 0);
    } else {
        if ((flags & DI_NORMAL) == DI_IMAGE) {
            // The image alone, over black as the platform's colour plane holds it.
            cairo_set_source_rgb(cr, 0, 0, 0);
            cairo_paint(cr);
        }
        cairo_set_source_surface(cr, icon->image, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr),
                                 resized ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
    }
    cairo_destroy(cr);
    return TRUE;
}

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    Guard guard(DrawingLock());
    if (!buffer || bufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (bufferMax > 0) {
        buffer[0] = 0;
    }
    const auto* module = FindModule(instance);
    if (!module) {
        return 0;
    }
    const platform::ResourceString* begin = module->strings;
    const platform::ResourceString* end = begin + module->stringCount;
    const auto* found = std::lower_bound(
        begin, end, id, [](const platform::ResourceString& s, UINT key) { return s.id < key; });
    // Empty strings do not exist in a string table.
    if (found == end || found->id != id || found->length == 0) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    if (bufferMax == 0) {
        *reinterpret_cast<LPCWSTR*>(buffer) = found->text;
        return static_cast<int>(found->length);
    }
    const size_t copied = std::min(found->length, static_cast<size_t>(bufferMax - 1));
    std::memcpy(buffer, found->text, copied * sizeof(WCHAR));
    buffer[copied] = 0;
    return static_cast<int>(copied);
}
