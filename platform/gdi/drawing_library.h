// Cairo, FreeType, libpng and ISA-L (the PNG writer's deflate), loaded when the first drawing call
// needs them (platform/kernel/late_library.h): the tools that draw nothing never load them. Every
// drawing source includes this header after any other Cairo or FreeType header; a
// function missing from the tables below does not link.
#pragma once

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include <isa-l/igzip_lib.h>
#include <png.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include "platform/kernel/late_library.h"

namespace platform::gdi {

LateLibrary& CairoLibrary();
LateLibrary& FreeTypeLibrary();
LateLibrary& PngLibrary();
LateLibrary& DeflateLibrary();

}  // namespace platform::gdi

// clang-format off
#define isal_deflate(...) PLATFORM_LATE_CALL(platform::gdi::DeflateLibrary(), isal_deflate)(__VA_ARGS__)
#define isal_deflate_init(...) PLATFORM_LATE_CALL(platform::gdi::DeflateLibrary(), isal_deflate_init)(__VA_ARGS__)
#define png_image_begin_read_from_memory(...) PLATFORM_LATE_CALL(platform::gdi::PngLibrary(), png_image_begin_read_from_memory)(__VA_ARGS__)
#define png_image_finish_read(...) PLATFORM_LATE_CALL(platform::gdi::PngLibrary(), png_image_finish_read)(__VA_ARGS__)
#define png_image_free(...) PLATFORM_LATE_CALL(platform::gdi::PngLibrary(), png_image_free)(__VA_ARGS__)
#define cairo_arc(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_arc)(__VA_ARGS__)
#define cairo_clip(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_clip)(__VA_ARGS__)
#define cairo_close_path(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_close_path)(__VA_ARGS__)
#define cairo_create(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_create)(__VA_ARGS__)
#define cairo_destroy(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_destroy)(__VA_ARGS__)
#define cairo_fill(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_fill)(__VA_ARGS__)
#define cairo_font_face_set_user_data(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_font_face_set_user_data)(__VA_ARGS__)
#define cairo_font_options_create(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_font_options_create)(__VA_ARGS__)
#define cairo_font_options_set_antialias(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_font_options_set_antialias)(__VA_ARGS__)
#define cairo_font_options_set_hint_metrics(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_font_options_set_hint_metrics)(__VA_ARGS__)
#define cairo_font_options_set_subpixel_order(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_font_options_set_subpixel_order)(__VA_ARGS__)
#define cairo_format_stride_for_width(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_format_stride_for_width)(__VA_ARGS__)
#define cairo_ft_font_face_create_for_ft_face(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_ft_font_face_create_for_ft_face)(__VA_ARGS__)
#define cairo_ft_font_face_set_synthesize(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_ft_font_face_set_synthesize)(__VA_ARGS__)
#define cairo_get_source(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_get_source)(__VA_ARGS__)
#define cairo_image_surface_create(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_image_surface_create)(__VA_ARGS__)
#define cairo_image_surface_create_for_data(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_image_surface_create_for_data)(__VA_ARGS__)
#define cairo_image_surface_create_from_png_stream(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_image_surface_create_from_png_stream)(__VA_ARGS__)
#define cairo_image_surface_get_data(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_image_surface_get_data)(__VA_ARGS__)
#define cairo_image_surface_get_height(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_image_surface_get_height)(__VA_ARGS__)
#define cairo_image_surface_get_stride(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_image_surface_get_stride)(__VA_ARGS__)
#define cairo_image_surface_get_width(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_image_surface_get_width)(__VA_ARGS__)
#define cairo_line_to(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_line_to)(__VA_ARGS__)
#define cairo_mask_surface(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_mask_surface)(__VA_ARGS__)
#define cairo_matrix_init_translate(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_matrix_init_translate)(__VA_ARGS__)
#define cairo_new_path(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_new_path)(__VA_ARGS__)
#define cairo_paint(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_paint)(__VA_ARGS__)
#define cairo_pattern_create_for_surface(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_pattern_create_for_surface)(__VA_ARGS__)
#define cairo_pattern_destroy(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_pattern_destroy)(__VA_ARGS__)
#define cairo_pattern_set_extend(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_pattern_set_extend)(__VA_ARGS__)
#define cairo_pattern_set_filter(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_pattern_set_filter)(__VA_ARGS__)
#define cairo_pattern_set_matrix(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_pattern_set_matrix)(__VA_ARGS__)
#define cairo_rectangle(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_rectangle)(__VA_ARGS__)
#define cairo_restore(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_restore)(__VA_ARGS__)
#define cairo_rotate(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_rotate)(__VA_ARGS__)
#define cairo_save(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_save)(__VA_ARGS__)
#define cairo_scale(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_scale)(__VA_ARGS__)
#define cairo_set_antialias(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_antialias)(__VA_ARGS__)
#define cairo_set_dash(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_dash)(__VA_ARGS__)
#define cairo_set_fill_rule(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_fill_rule)(__VA_ARGS__)
#define cairo_set_font_face(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_font_face)(__VA_ARGS__)
#define cairo_set_font_options(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_font_options)(__VA_ARGS__)
#define cairo_set_font_size(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_font_size)(__VA_ARGS__)
#define cairo_set_line_cap(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_line_cap)(__VA_ARGS__)
#define cairo_set_line_join(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_line_join)(__VA_ARGS__)
#define cairo_set_line_width(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_line_width)(__VA_ARGS__)
#define cairo_set_source(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_source)(__VA_ARGS__)
#define cairo_set_source_rgb(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_source_rgb)(__VA_ARGS__)
#define cairo_set_source_rgba(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_source_rgba)(__VA_ARGS__)
#define cairo_set_source_surface(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_set_source_surface)(__VA_ARGS__)
#define cairo_show_glyphs(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_show_glyphs)(__VA_ARGS__)
#define cairo_stroke(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_stroke)(__VA_ARGS__)
#define cairo_surface_destroy(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_surface_destroy)(__VA_ARGS__)
#define cairo_surface_flush(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_surface_flush)(__VA_ARGS__)
#define cairo_surface_mark_dirty(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_surface_mark_dirty)(__VA_ARGS__)
#define cairo_surface_status(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_surface_status)(__VA_ARGS__)
#define cairo_translate(...) PLATFORM_LATE_CALL(platform::gdi::CairoLibrary(), cairo_translate)(__VA_ARGS__)
#define FT_Done_Face(...) PLATFORM_LATE_CALL(platform::gdi::FreeTypeLibrary(), FT_Done_Face)(__VA_ARGS__)
#define FT_Get_Char_Index(...) PLATFORM_LATE_CALL(platform::gdi::FreeTypeLibrary(), FT_Get_Char_Index)(__VA_ARGS__)
#define FT_Get_Sfnt_Table(...) PLATFORM_LATE_CALL(platform::gdi::FreeTypeLibrary(), FT_Get_Sfnt_Table)(__VA_ARGS__)
#define FT_Init_FreeType(...) PLATFORM_LATE_CALL(platform::gdi::FreeTypeLibrary(), FT_Init_FreeType)(__VA_ARGS__)
#define FT_Load_Glyph(...) PLATFORM_LATE_CALL(platform::gdi::FreeTypeLibrary(), FT_Load_Glyph)(__VA_ARGS__)
#define FT_New_Memory_Face(...) PLATFORM_LATE_CALL(platform::gdi::FreeTypeLibrary(), FT_New_Memory_Face)(__VA_ARGS__)
#define FT_Set_Char_Size(...) PLATFORM_LATE_CALL(platform::gdi::FreeTypeLibrary(), FT_Set_Char_Size)(__VA_ARGS__)
// clang-format on
