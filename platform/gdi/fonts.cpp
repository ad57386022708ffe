// Fonts: LOGFONT to font file and pixel size, metrics and glyph advances from FreeType.
//
// "Tahoma" is served by the Tahoma-metric font that Debian's fonts-wine installs
// outside fontconfig's folders, so it is loaded by path; everything else, and Tahoma
// when it is missing, by DejaVu Sans. Advances are FreeType's hinted advances rounded
// to whole pixels, and text is laid out with exactly those, so that measured and drawn
// widths always agree.
//
// That Tahoma carries bitmap strikes from 8 to 16 pixels, unsmoothed and with the bold
// strikes as thin as the regular ones, so glyphs are always drawn from the outlines.
// Its bold outlines are barely heavier than the regular ones although their advances
// are those of a true bold: they are emboldened when drawn, inside the same advances.
#include <cairo-ft.h>
#include <fcntl.h>
#include <ft2build.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <map>
#include <tuple>

#include "platform/gdi/gdi_internal.h"

namespace platform::gdi {

// A font file's bytes mapped read-only, so that only the tables FreeType reads are
// read from the disk.
struct MappedFont {
    const FT_Byte* bytes = nullptr;
    size_t size = 0;
    MappedFont() = default;
    MappedFont(const MappedFont&) = delete;
    MappedFont& operator=(const MappedFont&) = delete;
    ~MappedFont() {
        if (bytes) {
            munmap(const_cast<FT_Byte*>(bytes), size);
        }
    }
    bool Map(const std::filesystem::path& path) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        struct stat info {};
        void* address = MAP_FAILED;
        if (fstat(fd, &info) == 0 && info.st_size > 0) {
            address =
                mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        }
        close(fd);
        if (address == MAP_FAILED) {
            return false;
        }
        bytes = static_cast<const FT_Byte*>(address);
        size = static_cast<size_t>(info.st_size);
        return true;
    }
};

struct FontFile {
    std::filesystem::path path;
    MappedFont data;               // outlives every face made from it
    FT_Face renderFace = nullptr;  // owned by Cairo's font face
    cairo_font_face_t* cairoFace = nullptr;
    int unitsPerEm = 2048;
    int winAscent = 0;
    int winDescent = 0;
    int externalLeading = 0;
    int averageWidth = 0;
    int maxWidth = 0;
};

namespace {

const char* const kTahomaRegular = "/usr/share/wine/fonts/tahoma.ttf";
const char* const kTahomaBold = "/usr/share/wine/fonts/tahomabd.ttf";
const char* const kDejaVuRegular = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kDejaVuBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr FT_Int32 kLoadFlags = FT_LOAD_NO_BITMAP;

struct FontState {
    FT_Library library = nullptr;
    std::filesystem::path tahomaRegular = kTahomaRegular;
    std::filesystem::path tahomaBold = kTahomaBold;
    std::map<std::filesystem::path, std::shared_ptr<FontFile>> files;
    // By file, LOGFONT height, weight, smoothing and pixels per em (a fallback font takes
    // the em of the font it stands in for).
    std::map<std::tuple<std::filesystem::path, LONG, LONG, bool, long>, std::shared_ptr<RealFont>>
        fonts;
};

FontState& Fonts() {
    static FontState* state = [] {
        auto* s = new FontState;
        FT_Init_FreeType(&s->library);
        return s;
    }();
    return *state;
}

void DoneFace(void* face) {
    FT_Done_Face(static_cast<FT_Face>(face));
}

std::shared_ptr<FontFile> LoadFile(const std::filesystem::path& path, bool embolden = false) {
    FontState& fonts = Fonts();
    auto found = fonts.files.find(path);
    if (found != fonts.files.end()) {
        return found->second;
    }
    auto file = std::make_shared<FontFile>();
    file->path = path;
    if (!file->data.Map(path)) {
        return nullptr;
    }
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(fonts.library, file->data.bytes, static_cast<FT_Long>(file->data.size),
                           0, &face) != 0) {
        return nullptr;
    }
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    file->unitsPerEm = face->units_per_EM ? face->units_per_EM : 2048;
    if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        file->winAscent = os2->usWinAscent;
        file->winDescent = os2->usWinDescent;
        file->averageWidth = os2->xAvgCharWidth;
    } else {
        file->winAscent = face->ascender;
        file->winDescent = -face->descender;
    }
    if (hhea) {
        // The platform's rule: the hhea line gap less what the Windows ascent and
        // descent already add over the hhea ones.
        const int extra = (file->winAscent + file->winDescent) - (hhea->Ascender - hhea->Descender);
        file->externalLeading = std::max(0, hhea->Line_Gap - extra);
    }
    file->maxWidth = static_cast<int>(face->bbox.xMax - face->bbox.xMin);
    file->renderFace = face;
    file->cairoFace = cairo_ft_font_face_create_for_ft_face(face, kLoadFlags);
    if (embolden) {
        cairo_ft_font_face_set_synthesize(file->cairoFace, CAIRO_FT_SYNTHESIZE_BOLD);
    }
    static cairo_user_data_key_t key;
    cairo_font_face_set_user_data(file->cairoFace, &key, face, DoneFace);
    fonts.files.emplace(path, file);
    return file;
}

bool IsTahoma(const WCHAR* face) {
    static const char name[] = "tahoma";
    for (int i = 0; i < 6; ++i) {
        WCHAR c = face[i];
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<WCHAR>(c - u'A' + u'a');
        }
        if (c != static_cast<WCHAR>(name[i])) {
            return false;
        }
    }
    return face[6] == 0;
}

// Pixels per em in 26.6 fixed point: a positive height is the cell (Windows ascent plus
// descent), a negative one the em itself.
long Em64(const FontFile& file, LONG height) {
    const double winHeight = file.winAscent + file.winDescent;
    const double em = height > 0 ? height * file.unitsPerEm / winHeight : height < 0 ? -height : 12;
    return std::max(1L, std::lround(em * 64));
}

std::shared_ptr<RealFont> RealizeFile(const std::shared_ptr<FontFile>& file, LONG height,
                                      LONG weight, bool smooth, long em64) {
    FontState& fonts = Fonts();
    auto key = std::make_tuple(file->path, height, weight, smooth, em64);
    auto found = fonts.fonts.find(key);
    if (found != fonts.fonts.end()) {
        return found->second;
    }
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(fonts.library, file->data.bytes, static_cast<FT_Long>(file->data.size),
                           0, &face) != 0 ||
        FT_Set_Char_Size(face, 0, em64, 72, 72) != 0) {
        if (face) {
            FT_Done_Face(face);
        }
        return nullptr;
    }
    auto font = std::make_shared<RealFont>();
    font->file = file;
    font->face = face;
    font->em = em64 / 64.0;
    font->smooth = smooth;
    font->weight = weight;
    font->logHeight = height;
    const double scale = font->em / file->unitsPerEm;
    font->descent = std::lround(file->winDescent * scale);
    font->ascent = height > 0 ? height - font->descent : std::lround(file->winAscent * scale);
    font->internalLeading = font->Height() - std::lround(font->em);
    font->externalLeading = std::lround(file->externalLeading * scale);
    font->aveCharWidth = std::lround(file->averageWidth * scale);
    font->maxCharWidth = std::lround(file->maxWidth * scale);
    if (font->aveCharWidth == 0) {
        font->aveCharWidth = font->GlyphOf(U'x').advance;
    }
    fonts.fonts.emplace(key, font);
    return font;
}

}  // namespace

RealFont::~RealFont() {
    if (face) {
        FT_Done_Face(static_cast<FT_Face>(face));
    }
}

Glyph RealFont::GlyphOf(char32_t c) const {
    auto found = cache.find(c);
    if (found != cache.end()) {
        return found->second;
    }
    FT_Face ftFace = static_cast<FT_Face>(face);
    const unsigned index = FT_Get_Char_Index(ftFace, c);
    const RealFont* standIn = index == 0 ? Fallback() : nullptr;
    if (standIn) {
        Glyph glyph = standIn->GlyphOf(c);
        cache.emplace(c, glyph);
        return glyph;
    }
    Glyph glyph{this, index, 0};
    if (FT_Load_Glyph(ftFace, index, kLoadFlags) == 0) {
        glyph.advance = static_cast<int>((ftFace->glyph->advance.x + 32) >> 6);
    }
    cache.emplace(c, glyph);
    return glyph;
}

const RealFont* RealFont::Fallback() const {
    if (fallbackFile) {
        if (auto file = LoadFile(fallbackFile))
            fallback = RealizeFile(file, logHeight, weight, smooth, std::lround(em * 64));
        fallbackFile = nullptr;
    }
    return fallback.get();
}

cairo_font_face_t* RealFont::CairoFace() const {
    return file->cairoFace;
}

const std::filesystem::path& PathOf(const RealFont& font) {
    return font.file->path;
}

std::shared_ptr<RealFont> Realize(const LOGFONTW& log) {
    FontState& fonts = Fonts();
    const bool bold = log.lfWeight >= FW_SEMIBOLD;
    const bool smooth = log.lfQuality != NONANTIALIASED_QUALITY;
    const LONG weight = log.lfWeight == FW_DONTCARE ? FW_NORMAL : log.lfWeight;
    const char* const dejaVu = bold ? kDejaVuBold : kDejaVuRegular;
    std::shared_ptr<FontFile> file;
    if (IsTahoma(log.lfFaceName)) {
        file = bold ? LoadFile(fonts.tahomaBold, true) : LoadFile(fonts.tahomaRegular);
    }
    const bool standingIn = !file;
    if (!file) {
        file = LoadFile(dejaVu);
    }
    if (!file) {
        return nullptr;
    }
    const long em64 = Em64(*file, log.lfHeight);
    auto font = RealizeFile(file, log.lfHeight, weight, smooth, em64);
    if (font && !standingIn && !font->fallback) {
        // Characters the font lacks come from DejaVu Sans at the same pixel size: the
        // file is opened when the first of them is drawn or measured.
        font->fallbackFile = dejaVu;
    }
    return font;
}

std::shared_ptr<Font> DefaultFont() {
    auto font = std::make_shared<Font>();
    font->log.lfHeight = -12;
    font->log.lfWeight = FW_NORMAL;
    const char16_t face[] = u"Tahoma";
    std::copy(std::begin(face), std::end(face), font->log.lfFaceName);
    font->real = Realize(font->log);
    return font;
}

}  // namespace platform::gdi

using namespace platform::gdi;

HFONT CreateFontIndirectW(const LOGFONTW* log) {
    if (!log) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Guard guard(DrawingLock());
    auto font = std::make_shared<Font>();
    font->log = *log;
    font->log.lfFaceName[LF_FACESIZE - 1] = 0;
    font->real = Realize(font->log);
    if (!font->real) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HFONT>(Insert(font));
}

BOOL GetTextMetricsW(HDC dcHandle, TEXTMETRICW* metrics) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc || !metrics) {
        return FALSE;
    }
    const Font& font = *dc->state.font;
    const RealFont& real = *font.real;
    *metrics = TEXTMETRICW{};
    metrics->tmHeight = real.Height();
    metrics->tmAscent = real.ascent;
    metrics->tmDescent = real.descent;
    metrics->tmInternalLeading = real.internalLeading;
    metrics->tmExternalLeading = real.externalLeading;
    metrics->tmAveCharWidth = real.aveCharWidth;
    metrics->tmMaxCharWidth = real.maxCharWidth;
    metrics->tmWeight = real.weight;
    metrics->tmDigitizedAspectX = 96;
    metrics->tmDigitizedAspectY = 96;
    metrics->tmFirstChar = 0x20;
    metrics->tmLastChar = 0xFFFC;
    metrics->tmDefaultChar = 0x1F;
    metrics->tmBreakChar = 0x20;
    metrics->tmItalic = font.log.lfItalic;
    metrics->tmUnderlined = font.log.lfUnderline;
    metrics->tmStruckOut = font.log.lfStrikeOut;
    // The "fixed pitch" bit set means a variable-pitch font.
    metrics->tmPitchAndFamily = TMPF_FIXED_PITCH | TMPF_VECTOR | TMPF_TRUETYPE | FF_SWISS;
    metrics->tmCharSet = font.log.lfCharSet;
    return TRUE;
}

void platform::SetTahomaFontFiles(const std::filesystem::path& regular,
                                  const std::filesystem::path& bold) {
    Guard guard(DrawingLock());
    FontState& fonts = Fonts();
    fonts.tahomaRegular = regular.empty() ? std::filesystem::path(kTahomaRegular) : regular;
    fonts.tahomaBold = bold.empty() ? std::filesystem::path(kTahomaBold) : bold;
}

std::filesystem::path platform::FontFileOf(HFONT handle) {
    Guard guard(DrawingLock());
    auto font = LookupAs<Font>(handle, Kind::Font);
    return font ? PathOf(*font->real) : std::filesystem::path();
}
