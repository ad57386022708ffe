#include "tools/voicegen/voice_encoder.h"

#include <ogg/ogg.h>
#include <speex/speex.h>
#include <speex/speex_header.h>
#include <speex/speex_resampler.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

namespace voicegen {
namespace {

constexpr int kResamplerQuality = 8;
constexpr int kSpeexQuality = 8;
// About a second of packets to a page, as the usual Speex files have them.
constexpr int kPacketsPerPage = 50;
constexpr const char* kVendor = "pathlume voicegen";

void AppendPages(ogg_stream_state& stream, std::vector<uint8_t>& out) {
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) {
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    }
}

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

std::vector<int16_t> ToMono16k(const platform::WaveData& wave) {
    const size_t frames = wave.channels > 0 ? wave.samples.size() / wave.channels : 0;
    std::vector<int16_t> mono(frames);
    for (size_t i = 0; i < frames; ++i) {
        int sum = 0;
        for (int c = 0; c < wave.channels; ++c) {
            sum += wave.samples[i * wave.channels + c];
        }
        mono[i] = static_cast<int16_t>(sum / wave.channels);
    }
    if (wave.rate == kPromptRate || frames == 0) {
        return mono;
    }
    int error = 0;
    SpeexResamplerState* resampler = speex_resampler_init(1, static_cast<spx_uint32_t>(wave.rate),
                                                          kPromptRate, kResamplerQuality, &error);
    if (!resampler) {
        return {};
    }
    speex_resampler_skip_zeros(resampler);
    const size_t wanted =
        static_cast<size_t>(std::llround(static_cast<double>(frames) * kPromptRate / wave.rate));
    // Zeros after the input push its last samples through the filter.
    mono.resize(frames + static_cast<size_t>(speex_resampler_get_input_latency(resampler)) + 1);
    std::vector<int16_t> out(wanted + 64);
    spx_uint32_t inLength = static_cast<spx_uint32_t>(mono.size());
    spx_uint32_t outLength = static_cast<spx_uint32_t>(out.size());
    speex_resampler_process_int(resampler, 0, mono.data(), &inLength, out.data(), &outLength);
    speex_resampler_destroy(resampler);
    out.resize(std::min<size_t>(outLength, wanted));
    out.resize(wanted, 0);
    return out;
}

std::vector<uint8_t> EncodeSpeexOgg(const std::vector<int16_t>& mono16k, uint32_t serial) {
    const SpeexMode* mode = speex_lib_get_mode(SPEEX_MODEID_WB);
    void* encoder = speex_encoder_init(mode);
    int quality = kSpeexQuality;
    int rate = kPromptRate;
    int frameSize = 0;
    int lookahead = 0;
    speex_encoder_ctl(encoder, SPEEX_SET_QUALITY, &quality);
    speex_encoder_ctl(encoder, SPEEX_SET_SAMPLING_RATE, &rate);
    speex_encoder_ctl(encoder, SPEEX_GET_FRAME_SIZE, &frameSize);
    speex_encoder_ctl(encoder, SPEEX_GET_LOOKAHEAD, &lookahead);
    // The decoder's synthesis filter bank delays the output once more (less the
    // one sample both count): the granule positions take out the whole delay.
    void* decoder = speex_decoder_init(mode);
    int decoderDelay = 0;
    speex_decoder_ctl(decoder, SPEEX_GET_LOOKAHEAD, &decoderDelay);
    speex_decoder_destroy(decoder);
    lookahead += decoderDelay - 1;

    std::vector<uint8_t> out;
    ogg_stream_state stream;
    ogg_stream_init(&stream, static_cast<int>(serial));

    SpeexHeader header;
    speex_init_header(&header, kPromptRate, 1, mode);
    header.frames_per_packet = 1;
    header.vbr = 0;
    int headerSize = 0;
    char* headerBytes = speex_header_to_packet(&header, &headerSize);
    ogg_packet packet{};
    packet.packet = reinterpret_cast<unsigned char*>(headerBytes);
    packet.bytes = headerSize;
    packet.b_o_s = 1;
    packet.packetno = 0;
    ogg_stream_packetin(&stream, &packet);
    speex_header_free(headerBytes);
    AppendPages(stream, out);

    std::vector<uint8_t> comments;
    PutLe32(comments, static_cast<uint32_t>(std::strlen(kVendor)));
    for (const char* c = kVendor; *c; ++c) {
        comments.push_back(static_cast<uint8_t>(*c));
    }
    PutLe32(comments, 0);
    packet = {};
    packet.packet = comments.data();
    packet.bytes = static_cast<long>(comments.size());
    packet.packetno = 1;
    ogg_stream_packetin(&stream, &packet);
    AppendPages(stream, out);

    // The decoded output runs `lookahead` samples behind the input: enough frames
    // to bring the last input sample out.
    const int64_t total = static_cast<int64_t>(mono16k.size());
    const int64_t frames = std::max<int64_t>(1, (total + lookahead + frameSize - 1) / frameSize);
    SpeexBits bits;
    speex_bits_init(&bits);
    std::vector<spx_int16_t> frame(static_cast<size_t>(frameSize));
    std::vector<char> bytes(static_cast<size_t>(frameSize) * 2);
    for (int64_t i = 0; i < frames; ++i) {
        for (int j = 0; j < frameSize; ++j) {
            const int64_t at = i * frameSize + j;
            frame[j] = at < total ? mono16k[static_cast<size_t>(at)] : 0;
        }
        speex_bits_reset(&bits);
        speex_encode_int(encoder, frame.data(), &bits);
        const int length = speex_bits_write(&bits, bytes.data(), static_cast<int>(bytes.size()));
        const bool last = i + 1 == frames;
        packet = {};
        packet.packet = reinterpret_cast<unsigned char*>(bytes.data());
        packet.bytes = length;
        packet.e_o_s = last ? 1 : 0;
        packet.granulepos = last ? total : std::max<int64_t>(0, (i + 1) * frameSize - lookahead);
        packet.packetno = 2 + i;
        ogg_stream_packetin(&stream, &packet);
        // The first audio page holds one packet, so a reader finds the encoder's
        // delay at the start of the stream even when the word is short.
        if (i == 0 || (i + 1) % kPacketsPerPage == 0 || last) {
            AppendPages(stream, out);
        }
    }
    speex_bits_destroy(&bits);
    speex_encoder_destroy(encoder);
    ogg_stream_clear(&stream);
    return out;
}

std::vector<int16_t> MakeTones(const std::vector<ToneStep>& steps, double amplitude) {
    constexpr int kFadeSamples = 80;  // 5 ms
    std::vector<int16_t> out;
    for (const ToneStep& step : steps) {
        const int count = step.milliseconds * kPromptRate / 1000;
        for (int i = 0; i < count; ++i) {
            const double fade =
                std::min({1.0, (i + 1.0) / kFadeSamples, (count - i) / double{kFadeSamples}});
            const double phase = 2.0 * std::numbers::pi * step.hertz * i / kPromptRate;
            out.push_back(static_cast<int16_t>(std::lround(amplitude * fade * std::sin(phase))));
        }
    }
    return out;
}

}  // namespace voicegen
