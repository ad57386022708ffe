// Bitmaps: device bitmaps, DIB sections in their own layouts, and PNG output.
#include <zlib.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/gdi/gdi_internal.h"

namespace platform::gdi {

namespace {

constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = 64ll << 20;

inline int Expand5(unsigned v) {
    return static_cast<int>((v << 3) | (v >> 2));
}
inline int Expand6(unsigned v) {
    return static_cast<int>((v << 2) | (v >> 4));
}

bool Is565(const DWORD* masks) {
    return masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F;
}

// A bitmap of a megabyte or more (the screen, the map's back buffer) takes its pixels
// in 2 MB pages where the system gives them: the first paint fills it whole, and each
// 4 KB page's first touch is a fault (on the virtual machines we run on, about 10 us
// each: a 480x640 surface's 300 pages took 3 ms to fill, its one large page 0.2 ms).
constexpr size_t kLargePage = size_t{2} << 20;
constexpr size_t kLargePagesFrom = size_t{1} << 20;

// Zeroed pixels at a large page's boundary, or null (the caller then lets Cairo
// allocate as for any bitmap).
void* MapLargePixels(size_t size, size_t* mapped) {
    const size_t length = (size + kLargePage - 1) & ~(kLargePage - 1);
    void* reserved = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED) {
        return nullptr;
    }
    const auto start = reinterpret_cast<uintptr_t>(reserved);
    const uintptr_t aligned = (start + kLargePage - 1) & ~(kLargePage - 1);
    if (aligned > start) {
        munmap(reserved, aligned - start);
    }
    if (const size_t tail = start + kLargePage - aligned; tail > 0) {
        munmap(reinterpret_cast<void*>(aligned + length), tail);
    }
    // Only a hint: without large pages the memory is ordinary.
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    *mapped = length;
    return reinterpret_cast<void*>(aligned);
}

}  // namespace

Bitmap::~Bitmap() {
    if (surface) {
        cairo_surface_destroy(surface);
    }
    std::free(bits);
    if (largePixels) {
        munmap(largePixels, largePixelsSize);
    }
}

bool SizeInRange(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide &&
           width * height <= kMaxPixels;
}

std::shared_ptr<Bitmap> NewBitmap(int width, int height) {
    if (!SizeInRange(width, height)) {
        return nullptr;
    }
    auto bitmap = std::make_shared<Bitmap>();
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
    const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(height);
    if (size >= kLargePagesFrom) {
        bitmap->largePixels = MapLargePixels(size, &bitmap->largePixelsSize);
    }
    bitmap->surface =
        bitmap->largePixels
            ? cairo_image_surface_create_for_data(static_cast<unsigned char*>(bitmap->largePixels),
                                                  CAIRO_FORMAT_RGB24, width, height, stride)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(bitmap->surface) != CAIRO_STATUS_SUCCESS) {
        return nullptr;
    }
    bitmap->width = width;
    bitmap->height = height;
    bitmap->data = cairo_image_surface_get_data(bitmap->surface);
    bitmap->stride = cairo_image_surface_get_stride(bitmap->surface);
    return bitmap;
}

void Bitmap::Import() {
    for (int y = 0; y < height; ++y) {
        const uint8_t* in =
            bits + static_cast<ptrdiff_t>(topDown ? y : height - 1 - y) * bitsStride;
        uint32_t* out = Row(y);
        switch (bitCount) {
            case 32:
                for (int x = 0; x < width; ++x, in += 4) {
                    out[x] = static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
                             (static_cast<uint32_t>(in[2]) << 16);
                }
                break;
            case 24:
                for (int x = 0; x < width; ++x, in += 3) {
                    out[x] = static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
                             (static_cast<uint32_t>(in[2]) << 16);
                }
                break;
            default: {
                bool wideGreen = Is565(masks);
                for (int x = 0; x < width; ++x, in += 2) {
                    unsigned v = in[0] | (in[1] << 8);
                    int r = wideGreen ? Expand5((v >> 11) & 31) : Expand5((v >> 10) & 31);
                    int g = wideGreen ? Expand6((v >> 5) & 63) : Expand5((v >> 5) & 31);
                    int b = Expand5(v & 31);
                    out[x] = static_cast<uint32_t>((r << 16) | (g << 8) | b);
                }
            }
        }
    }
    cairo_surface_mark_dirty(surface);
}

void Bitmap::Export() {
    cairo_surface_flush(surface);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = bits + static_cast<ptrdiff_t>(topDown ? y : height - 1 - y) * bitsStride;
        const uint32_t* in = Row(y);
        switch (bitCount) {
            case 32:
                for (int x = 0; x < width; ++x, out += 4) {
                    out[0] = static_cast<uint8_t>(in[x]);
                    out[1] = static_cast<uint8_t>(in[x] >> 8);
                    out[2] = static_cast<uint8_t>(in[x] >> 16);
                    out[3] = 0;
                }
                break;
            case 24:
                for (int x = 0; x < width; ++x, out += 3) {
                    out[0] = static_cast<uint8_t>(in[x]);
                    out[1] = static_cast<uint8_t>(in[x] >> 8);
                    out[2] = static_cast<uint8_t>(in[x] >> 16);
                }
                break;
            default: {
                bool wideGreen = Is565(masks);
                for (int x = 0; x < width; ++x, out += 2) {
                    unsigned r = (in[x] >> 16) & 0xFF, g = (in[x] >> 8) & 0xFF, b = in[x] & 0xFF;
                    unsigned v = wideGreen ? ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
                                           : ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
                    out[0] = static_cast<uint8_t>(v);
                    out[1] = static_cast<uint8_t>(v >> 8);
                }
            }
        }
    }
}

uint32_t Bitmap::Quantize(uint32_t pixel) const {
    pixel &= 0xFFFFFF;
    if (!dib || bitCount != 16) {
        return pixel;
    }
    unsigned r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    int qr = Expand5(r >> 3), qb = Expand5(b >> 3);
    int qg = Is565(masks) ? Expand6(g >> 2) : Expand5(g >> 3);
    return static_cast<uint32_t>((qr << 16) | (qg << 8) | qb);
}

Access::Access(Bitmap& bitmap, bool write) : bitmap_(bitmap), write_(write) {
    cairo_surface_flush(bitmap.surface);
    if (bitmap.dib && !bitmap.direct) {
        bitmap.Import();
    }
}

Access::~Access() {
    if (!write_) {
        return;
    }
    cairo_surface_mark_dirty(bitmap_.surface);
    if (bitmap_.dib && !bitmap_.direct) {
        bitmap_.Export();
    }
}

}  // namespace platform::gdi

using namespace platform::gdi;

HBITMAP CreateCompatibleBitmap(HDC dcHandle, int width, int height) {
    Guard guard(DrawingLock());
    if (dcHandle && !LookupDc(dcHandle)) {
        return nullptr;
    }
    if (width == 0 || height == 0) {
        return static_cast<HBITMAP>(Insert(NewBitmap(1, 1)));
    }
    auto bitmap = NewBitmap(width, height);
    if (!bitmap) {
        SetLastError(width < 0 || height < 0 ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return static_cast<HBITMAP>(Insert(bitmap));
}

HBITMAP platform::CreateBitmapOnMemory(void* pixels, int width, int height, int stride) {
    Guard guard(DrawingLock());
    if (!pixels || !SizeInRange(width, height) || stride < width * 4 || stride % 4 != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->surface = cairo_image_surface_create_for_data(
        static_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24, width, height, stride);
    if (cairo_surface_status(bitmap->surface) != CAIRO_STATUS_SUCCESS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bitmap->width = width;
    bitmap->height = height;
    bitmap->data = static_cast<uint8_t*>(pixels);
    bitmap->stride = stride;
    return static_cast<HBITMAP>(Insert(bitmap));
}

HBITMAP CreateDIBSection(HDC dcHandle, const BITMAPINFO* info, UINT usage, void** bits,
                         HANDLE section, DWORD offset) {
    if (bits) {
        *bits = nullptr;
    }
    Guard guard(DrawingLock());
    if (dcHandle && !LookupDc(dcHandle)) {
        return nullptr;
    }
    auto fail = [](DWORD error) -> HBITMAP {
        SetLastError(error);
        return nullptr;
    };
    if (!info || usage != DIB_RGB_COLORS || section || offset) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const BITMAPINFOHEADER& header = info->bmiHeader;
    int64_t height = header.biHeight < 0 ? -static_cast<int64_t>(header.biHeight) : header.biHeight;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1 ||
        !SizeInRange(header.biWidth, height)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    DWORD masks[3] = {0, 0, 0};
    const int bitCount = header.biBitCount;
    if (header.biCompression == BI_BITFIELDS && (bitCount == 16 || bitCount == 32)) {
        std::memcpy(masks, reinterpret_cast<const uint8_t*>(info) + header.biSize, sizeof(masks));
        bool ok =
            bitCount == 16
                ? (Is565(masks) || (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F))
                : (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF);
        if (!ok) {
            return fail(ERROR_INVALID_PARAMETER);
        }
    } else if (header.biCompression == BI_RGB &&
               (bitCount == 16 || bitCount == 24 || bitCount == 32)) {
        if (bitCount == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else {
            masks[0] = 0xFF0000;
            masks[1] = 0xFF00;
            masks[2] = 0xFF;
        }
    } else {
        return fail(ERROR_INVALID_PARAMETER);
    }

    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = header.biWidth;
    bitmap->height = static_cast<int>(height);
    bitmap->dib = true;
    bitmap->bitCount = bitCount;
    bitmap->topDown = header.biHeight < 0;
    bitmap->compression = header.biCompression;
    std::memcpy(bitmap->masks, masks, sizeof(masks));
    bitmap->infoHeight = header.biHeight;
    bitmap->bitsStride = ((header.biWidth * bitCount + 31) / 32) * 4;
    bitmap->bits = static_cast<uint8_t*>(
        std::calloc(static_cast<size_t>(bitmap->bitsStride) * static_cast<size_t>(height), 1));
    if (!bitmap->bits) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    // A 32-bit top-down section has the surface's own layout, so Cairo draws into the bits.
    bitmap->direct =
        bitCount == 32 && bitmap->topDown &&
        bitmap->bitsStride == cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, bitmap->width);
    if (bitmap->direct) {
        bitmap->surface = cairo_image_surface_create_for_data(
            bitmap->bits, CAIRO_FORMAT_RGB24, bitmap->width, bitmap->height, bitmap->bitsStride);
    } else {
        bitmap->surface =
            cairo_image_surface_create(CAIRO_FORMAT_RGB24, bitmap->width, bitmap->height);
    }
    if (cairo_surface_status(bitmap->surface) != CAIRO_STATUS_SUCCESS) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    bitmap->data = cairo_image_surface_get_data(bitmap->surface);
    bitmap->stride = cairo_image_surface_get_stride(bitmap->surface);
    if (bits) {
        *bits = bitmap->bits;
    }
    return static_cast<HBITMAP>(Insert(bitmap));
}

namespace {

void PutBig32(std::string& out, uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out.append(bytes, 4);
}

void PutChunk(std::string& out, const char* type, const std::string& body) {
    PutBig32(out, static_cast<uint32_t>(body.size()));
    const size_t start = out.size();
    out.append(type, 4);
    out += body;
    PutBig32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(out.data() + start),
                                              out.size() - start)));
}

// One row with the "Sub" filter: each byte less the one a pixel to its left.
void FilterRow(const uint32_t* pixels, int width, uint8_t* row) {
    row[0] = 1;
    uint8_t* filtered = row + 1;
    uint32_t left = 0;
    for (int x = 0; x < width; ++x) {
        // The low byte of a difference depends on the low bytes alone.
        const uint32_t pixel = pixels[x];
        filtered[3 * x] = static_cast<uint8_t>((pixel >> 16) - (left >> 16));
        filtered[3 * x + 1] = static_cast<uint8_t>((pixel >> 8) - (left >> 8));
        filtered[3 * x + 2] = static_cast<uint8_t>(pixel - left);
        left = pixel;
    }
}

// The bitmap as an 8-bit RGB PNG: each row with the "Sub" filter and deflated by
// ISA-L at its level 1, since a screenshot is written while the program runs (a frame
// took three times as long to write at zlib's default level with every filter tried,
// and zlib's fastest level took three times ISA-L's for a file of the same size).
// The deflate's output goes to the file as it comes, in the one IDAT chunk whose
// length is written last: a copy of the image data grown in memory and another of
// the whole file were fresh pages for nothing.
bool EncodePng(Bitmap& bitmap, isal_zstream* stream, std::FILE* file) {
    auto put = [file](const void* bytes, size_t size) {
        return std::fwrite(bytes, 1, size, file) == size;
    };
    auto putBig32 = [&put](uint32_t value) {
        std::string bytes;
        PutBig32(bytes, value);
        return put(bytes.data(), bytes.size());
    };
    std::string head("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    PutBig32(header, static_cast<uint32_t>(bitmap.width));
    PutBig32(header, static_cast<uint32_t>(bitmap.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no interlace
    PutChunk(head, "IHDR", header);
    const long idatStart = static_cast<long>(head.size());
    head.append("\0\0\0\0IDAT", 8);  // the length comes when the data is written
    if (!put(head.data(), head.size())) {
        return false;
    }
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>("IDAT"), 4);
    uint64_t idatSize = 0;

    const size_t rowBytes = 1 + 3 * static_cast<size_t>(bitmap.width);
    // Rows go to the deflate about 32 KB at a time: a row at a time cost a quarter
    // more in the deflate's own calls.
    const int rowsPerCall =
        static_cast<int>(std::clamp<size_t>(32768 / rowBytes, 1, bitmap.height));
    std::vector<uint8_t> rows(rowBytes * rowsPerCall);
    // The small buffer of level 1: the large one compresses a screen no better and is
    // three times the fresh memory.
    auto levelBuffer = std::make_unique_for_overwrite<uint8_t[]>(ISAL_DEF_LVL1_SMALL);
    stream->level = 1;
    stream->level_buf = levelBuffer.get();
    stream->level_buf_size = ISAL_DEF_LVL1_SMALL;
    stream->gzip_flag = IGZIP_ZLIB;
    uint8_t out[16384];
    bool ok = true;
    for (int y = 0; y < bitmap.height && ok; y += rowsPerCall) {
        const int count = std::min(rowsPerCall, bitmap.height - y);
        for (int i = 0; i < count; ++i)
            FilterRow(bitmap.Row(y + i), bitmap.width, rows.data() + i * rowBytes);
        stream->next_in = rows.data();
        stream->avail_in = static_cast<uint32_t>(rowBytes * count);
        stream->end_of_stream = y + count == bitmap.height;
        stream->flush = NO_FLUSH;
        do {
            stream->next_out = out;
            stream->avail_out = sizeof out;
            if (isal_deflate(stream) != COMP_OK) {
                ok = false;
                break;
            }
            const size_t produced = sizeof out - stream->avail_out;
            crc = crc32(crc, out, static_cast<uInt>(produced));
            idatSize += produced;
            if (!put(out, produced)) {
                ok = false;
                break;
            }
        } while (stream->avail_out == 0 ||
                 (stream->end_of_stream && stream->internal_state.state != ZSTATE_END));
        ok = ok && stream->avail_in == 0;
    }
    if (!ok || idatSize > 0x7FFFFFFF || !putBig32(static_cast<uint32_t>(crc))) {
        return false;
    }
    std::string end;
    PutChunk(end, "IEND", {});
    if (!put(end.data(), end.size()) || std::fseek(file, idatStart, SEEK_SET) != 0 ||
        !putBig32(static_cast<uint32_t>(idatSize))) {
        return false;
    }
    return std::fseek(file, 0, SEEK_END) == 0;
}

// A name beside the target that no other writer, in this process or another, is
// using; created with the usual mode, so the picture renamed from it has one too.
std::FILE* CreateBeside(const std::filesystem::path& path, std::filesystem::path* created) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%d.%u.part", static_cast<int>(getpid()),
                      counter.fetch_add(1));
        std::filesystem::path name = path;
        name += suffix;
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return nullptr;
        }
        std::FILE* file = fdopen(fd, "wb");
        if (!file) {
            close(fd);
            unlink(name.c_str());
            return nullptr;
        }
        *created = std::move(name);
        return file;
    }
    return nullptr;
}

// Written beside the target and renamed over it: a file that could not be written
// whole is removed, so that nothing half written looks like a picture, and a picture
// already there is kept.
bool WritePng(Bitmap& bitmap, const std::filesystem::path& path) {
    // The deflate is made first: ISA-L missing ends the process (status 127), and it
    // must not leave a file behind when it does. Its state is 80 KB: not for the stack
    // of whichever thread saves.
    auto stream = std::make_unique_for_overwrite<isal_zstream>();
    isal_deflate_init(stream.get());
    std::filesystem::path temporary;
    std::FILE* file = CreateBeside(path, &temporary);
    if (!file) {
        return false;
    }
    bool written = false;
    {
        Access read(bitmap, false);
        written = EncodePng(bitmap, stream.get(), file);
    }
    written = std::fclose(file) == 0 && written;
    std::error_code error;
    if (written)
        std::filesystem::rename(temporary, path, error);
    if (!written || error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace

bool platform::SaveBitmapAsPng(HBITMAP handle, const std::filesystem::path& path) {
    Guard guard(DrawingLock());
    auto bitmap = LookupAs<Bitmap>(handle, Kind::Bitmap);
    if (!bitmap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return WritePng(*bitmap, path);
}

bool platform::SaveDCAsPng(HDC dcHandle, const std::filesystem::path& path) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return false;
    }
    return WritePng(dc->Target(), path);
}
