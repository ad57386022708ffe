// Speex and Ogg, loaded when the first prompt is decoded
// (platform/kernel/late_library.h): the program does not load them at its start,
// nor does a tool that speaks nothing. The player includes this header after the
// Speex and Ogg headers; a function missing from the table below does not link.
#pragma once

#include <ogg/ogg.h>
#include <speex/speex.h>
#include <speex/speex_callbacks.h>
#include <speex/speex_header.h>
#include <speex/speex_stereo.h>

#include "platform/kernel/late_library.h"

platform::LateLibrary& SpeexLibrary();
platform::LateLibrary& OggLibrary();

// speex.h makes speex_lib_get_mode a macro that reads the narrowband mode's data
// directly, which would bind the library at the start.
#undef speex_lib_get_mode

// clang-format off
#define ogg_page_eos(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_page_eos)(__VA_ARGS__)
#define ogg_page_granulepos(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_page_granulepos)(__VA_ARGS__)
#define ogg_page_packets(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_page_packets)(__VA_ARGS__)
#define ogg_page_serialno(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_page_serialno)(__VA_ARGS__)
#define ogg_stream_clear(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_stream_clear)(__VA_ARGS__)
#define ogg_stream_init(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_stream_init)(__VA_ARGS__)
#define ogg_stream_packetout(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_stream_packetout)(__VA_ARGS__)
#define ogg_stream_pagein(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_stream_pagein)(__VA_ARGS__)
#define ogg_sync_buffer(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_sync_buffer)(__VA_ARGS__)
#define ogg_sync_clear(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_sync_clear)(__VA_ARGS__)
#define ogg_sync_init(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_sync_init)(__VA_ARGS__)
#define ogg_sync_pageout(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_sync_pageout)(__VA_ARGS__)
#define ogg_sync_wrote(...) PLATFORM_LATE_CALL(OggLibrary(), ogg_sync_wrote)(__VA_ARGS__)
#define speex_bits_destroy(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_bits_destroy)(__VA_ARGS__)
#define speex_bits_init(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_bits_init)(__VA_ARGS__)
#define speex_bits_read_from(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_bits_read_from)(__VA_ARGS__)
#define speex_bits_remaining(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_bits_remaining)(__VA_ARGS__)
#define speex_decode_int(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_decode_int)(__VA_ARGS__)
#define speex_decode_stereo_int(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_decode_stereo_int)(__VA_ARGS__)
#define speex_decoder_ctl(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_decoder_ctl)(__VA_ARGS__)
#define speex_decoder_destroy(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_decoder_destroy)(__VA_ARGS__)
#define speex_decoder_init(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_decoder_init)(__VA_ARGS__)
#define speex_header_free(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_header_free)(__VA_ARGS__)
#define speex_lib_get_mode(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_lib_get_mode)(__VA_ARGS__)
#define speex_packet_to_header(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_packet_to_header)(__VA_ARGS__)
#define speex_stereo_state_destroy(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_stereo_state_destroy)(__VA_ARGS__)
#define speex_stereo_state_init(...) PLATFORM_LATE_CALL(SpeexLibrary(), speex_stereo_state_init)(__VA_ARGS__)
// clang-format on
