// Speex-in-Ogg streams for the player's tests, with what voicegen never writes:
// stereo, several frames a packet, and headers bent out of shape.
#pragma once

#include <ogg/ogg.h>
#include <speex/speex.h>
#include <speex/speex_header.h>
#include <speex/speex_stereo.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

namespace voice_test {

struct StreamSpec {
    int channels = 1;
    int framesPerPacket = 1;         // frames encoded into each packet
    int headerFramesPerPacket = -1;  // written to the header; -1: framesPerPacket
    std::function<void(SpeexHeader&)> bendHeader;
};

// Interleaved samples at 16 kHz; granule positions count the samples, so the
// player's trimming gives back exactly their number of frames.
inline std::vector<uint8_t> MakeSpeexStream(const std::vector<int16_t>& samples,
                                            const StreamSpec& spec) {
    const SpeexMode* mode = speex_lib_get_mode(SPEEX_MODEID_WB);
    void* encoder = speex_encoder_init(mode);
    int rate = 16000, frameSize = 0, lookahead = 0;
    speex_encoder_ctl(encoder, SPEEX_SET_SAMPLING_RATE, &rate);
    speex_encoder_ctl(encoder, SPEEX_GET_FRAME_SIZE, &frameSize);
    speex_encoder_ctl(encoder, SPEEX_GET_LOOKAHEAD, &lookahead);
    std::vector<uint8_t> out;
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1234);
    auto flush = [&] {
        ogg_page page;
        while (ogg_stream_flush(&stream, &page)) {
            out.insert(out.end(), page.header, page.header + page.header_len);
            out.insert(out.end(), page.body, page.body + page.body_len);
        }
    };
    SpeexHeader header;
    speex_init_header(&header, 16000, spec.channels, mode);
    header.frames_per_packet =
        spec.headerFramesPerPacket >= 0 ? spec.headerFramesPerPacket : spec.framesPerPacket;
    if (spec.bendHeader) {
        spec.bendHeader(header);
    }
    int size = 0;
    char* bytes = speex_header_to_packet(&header, &size);
    ogg_packet packet{};
    packet.packet = reinterpret_cast<unsigned char*>(bytes);
    packet.bytes = size;
    packet.b_o_s = 1;
    ogg_stream_packetin(&stream, &packet);
    speex_header_free(bytes);
    flush();
    unsigned char comments[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    packet = {};
    packet.packet = comments;
    packet.bytes = 8;
    packet.packetno = 1;
    ogg_stream_packetin(&stream, &packet);
    flush();

    const int64_t total = static_cast<int64_t>(samples.size()) / spec.channels;
    const int64_t perPacket = int64_t{frameSize} * spec.framesPerPacket;
    const int64_t packets = std::max<int64_t>(1, (total + lookahead + perPacket - 1) / perPacket);
    SpeexBits bits;
    speex_bits_init(&bits);
    std::vector<spx_int16_t> frame(static_cast<size_t>(frameSize) * spec.channels);
    std::vector<char> data(4096);
    for (int64_t p = 0; p < packets; ++p) {
        speex_bits_reset(&bits);
        for (int f = 0; f < spec.framesPerPacket; ++f) {
            const int64_t first = (p * spec.framesPerPacket + f) * frameSize;
            for (size_t i = 0; i < frame.size(); ++i) {
                const int64_t at = first * spec.channels + static_cast<int64_t>(i);
                frame[i] = at < static_cast<int64_t>(samples.size()) ? samples[at] : 0;
            }
            if (spec.channels == 2) {
                speex_encode_stereo_int(frame.data(), frameSize, &bits);
            }
            speex_encode_int(encoder, frame.data(), &bits);
        }
        const bool last = p + 1 == packets;
        packet = {};
        packet.bytes = speex_bits_write(&bits, data.data(), static_cast<int>(data.size()));
        packet.packet = reinterpret_cast<unsigned char*>(data.data());
        packet.e_o_s = last;
        packet.granulepos = last ? total : (p + 1) * perPacket - lookahead;
        packet.packetno = 2 + p;
        ogg_stream_packetin(&stream, &packet);
        if (p == 0 || last) {
            flush();
        }
    }
    speex_bits_destroy(&bits);
    speex_encoder_destroy(encoder);
    ogg_stream_clear(&stream);
    return out;
}

inline std::vector<int16_t> Sine(double hertz, size_t frames, int channels, double amplitude) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * std::numbers::pi * hertz * i / 16000.0);
        for (int c = 0; c < channels; ++c) {
            out.push_back(static_cast<int16_t>(std::lround(v)));
        }
    }
    return out;
}

}  // namespace voice_test
