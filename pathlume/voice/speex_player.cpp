#include "pathlume/voice/speex_player.h"

#include "pathlume/voice/speex_library.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/kernel/kernel.h"

platform::LateLibrary& SpeexLibrary() {
    static auto* library = new platform::LateLibrary("libspeex.so.1");
    return *library;
}

platform::LateLibrary& OggLibrary() {
    static auto* library = new platform::LateLibrary("libogg.so.0");
    return *library;
}

namespace {

constexpr LONG kMaxOutstanding = 32;
constexpr DWORD kBackOffMs = 26;
constexpr DWORD kReadChunk = 200;
constexpr int kSampleBuffer = 2000;

// The output of the word that plays now. The lock guards the done list and the
// counts against the device's callback thread.
struct WaveOutState {
    CRITICAL_SECTION lock{};
    bool lockReady = false;
    LPWAVEHDR done[kMaxOutstanding] = {};
    LONG doneCount = 0;
    LONG outstanding = 0;
    HWAVEOUT device = nullptr;
};
WaveOutState g_waveOut;

// One word at a time over the one output state.
std::mutex g_playMutex;

LONG Outstanding() {
    EnterCriticalSection(&g_waveOut.lock);
    const LONG outstanding = g_waveOut.outstanding;
    LeaveCriticalSection(&g_waveOut.lock);
    return outstanding;
}

void ReclaimDoneBuffers() {
    for (;;) {
        EnterCriticalSection(&g_waveOut.lock);
        const bool any = g_waveOut.doneCount > 0;
        LeaveCriticalSection(&g_waveOut.lock);
        if (!any) {
            return;
        }
        WaveOutReclaimBuffer();
    }
}

// Everything one PlaySpeexFile call sets up, released on every way out.
struct SpeexDecoding {
    HANDLE file = INVALID_HANDLE_VALUE;
    ogg_sync_state sync{};
    ogg_stream_state stream{};
    bool streamReady = false;
    SpeexBits bits{};
    void* decoder = nullptr;
    SpeexStereoState* stereo = speex_stereo_state_init();

    SpeexDecoding() {
        ogg_sync_init(&sync);
        speex_bits_init(&bits);
    }
    ~SpeexDecoding() {
        if (decoder) {
            speex_decoder_destroy(decoder);
        }
        speex_bits_destroy(&bits);
        if (streamReady) {
            ogg_stream_clear(&stream);
        }
        ogg_sync_clear(&sync);
        speex_stereo_state_destroy(stereo);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    SpeexDecoding(const SpeexDecoding&) = delete;
    SpeexDecoding& operator=(const SpeexDecoding&) = delete;
};

// The samples one page may give, from its granule position against the last one:
// a positive excess is dropped from the page's start, or, on the page that ends
// the stream, from its end.
struct PageTrim {
    int64_t dropAtStart = 0;
    int64_t allowed = INT64_MAX;
};

// No word comes near 2^32 samples (37 hours at 32 kHz): a granule position beyond
// it, or one that runs backwards, is damage, and the trimming must not overflow on it.
constexpr int64_t kLargestGranule = int64_t{1} << 32;

}  // namespace

void* ProcessSpeexHeader(ogg_packet* packet, int enhancer, int* frameSize, int* rate,
                         int* framesPerPacket, int forcedMode, int* channels,
                         SpeexStereoState* stereo, int* extraHeaders) {
    SpeexHeader* header = speex_packet_to_header(reinterpret_cast<char*>(packet->packet),
                                                 static_cast<int>(packet->bytes));
    if (!header) {
        return nullptr;
    }
    void* decoder = nullptr;
    const int headerMode = header->mode;
    const int modeId = forcedMode != -1 ? forcedMode : headerMode;
    const SpeexMode* mode =
        modeId >= 0 && modeId < SPEEX_NB_MODES && headerMode >= 0 && headerMode < SPEEX_NB_MODES
            ? speex_lib_get_mode(modeId)
            : nullptr;
    const int headerChannels = header->nb_channels;
    const bool usable = mode && header->speex_version_id <= 1 &&
                        mode->bitstream_version == header->mode_bitstream_version &&
                        headerChannels >= 1 && headerChannels <= 2;
    if (usable) {
        decoder = speex_decoder_init(mode);
    }
    if (decoder) {
        int size = 0;
        speex_decoder_ctl(decoder, SPEEX_SET_ENH, &enhancer);
        speex_decoder_ctl(decoder, SPEEX_GET_FRAME_SIZE, &size);
        // Stereo doubles a frame in place; both copies must fit the decode buffer.
        if (size <= 0 || size * 2 > kSampleBuffer) {
            speex_decoder_destroy(decoder);
            decoder = nullptr;
        } else {
            *frameSize = size;
        }
    }
    if (decoder) {
        if (*channels != 1) {
            SpeexCallback callback{};
            callback.callback_id = SPEEX_INBAND_STEREO;
            callback.func = PLATFORM_LATE_CALL(SpeexLibrary(), speex_std_stereo_request_handler);
            callback.data = stereo;
            speex_decoder_ctl(decoder, SPEEX_SET_HANDLER, &callback);
        }
        if (*rate == 0) {
            *rate = header->rate;
        }
        if (forcedMode != -1 && modeId != headerMode) {
            *rate = modeId > headerMode ? *rate << (modeId - headerMode)
                                        : *rate >> (headerMode - modeId);
        }
        speex_decoder_ctl(decoder, SPEEX_SET_SAMPLING_RATE, rate);
        *framesPerPacket = header->frames_per_packet;
        if (*channels == -1) {
            *channels = headerChannels;
        }
        *extraHeaders = header->extra_headers;
    }
    speex_header_free(header);
    return decoder;
}

int WaveOutOpenPcm(double rate, int bitsPerSample, int channels) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = rate > 0 && rate < 1e9 ? static_cast<DWORD>(rate + 0.5) : 0;
    format.wBitsPerSample = static_cast<WORD>(bitsPerSample);
    format.nBlockAlign = static_cast<WORD>((bitsPerSample + 7) / 8 * channels);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format,
                    reinterpret_cast<DWORD_PTR>(&WaveOutDoneCallback), 0,
                    CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        g_waveOut.device = nullptr;
        return 1;
    }
    waveOutReset(device);
    InitializeCriticalSection(&g_waveOut.lock);
    g_waveOut.lockReady = true;
    g_waveOut.device = device;
    return 0;
}

void WaveOutDoneCallback(HWAVEOUT, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (message != WOM_DONE) {
        return;
    }
    EnterCriticalSection(&g_waveOut.lock);
    if (g_waveOut.doneCount < kMaxOutstanding) {
        g_waveOut.done[g_waveOut.doneCount++] = reinterpret_cast<LPWAVEHDR>(param1);
    }
    LeaveCriticalSection(&g_waveOut.lock);
}

bool WaveOutQueuePcm(const int16_t* samples, DWORD byteLength) {
    if (!g_waveOut.device) {
        return false;
    }
    for (;;) {
        ReclaimDoneBuffers();
        if (Outstanding() < kMaxOutstanding) {
            break;
        }
        Sleep(kBackOffMs);
    }
    auto* copy = static_cast<char*>(LocalAlloc(LMEM_FIXED, byteLength));
    if (!copy) {
        return false;
    }
    std::memcpy(copy, samples, byteLength);
    auto* header = static_cast<LPWAVEHDR>(LocalAlloc(LPTR, sizeof(WAVEHDR)));
    if (!header) {
        LocalFree(copy);
        return false;
    }
    header->lpData = copy;
    header->dwBufferLength = byteLength;
    if (waveOutPrepareHeader(g_waveOut.device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        LocalFree(copy);
        LocalFree(header);
        return false;
    }
    // Counted before the write, so the callback can never find the count behind.
    EnterCriticalSection(&g_waveOut.lock);
    ++g_waveOut.outstanding;
    LeaveCriticalSection(&g_waveOut.lock);
    if (waveOutWrite(g_waveOut.device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        EnterCriticalSection(&g_waveOut.lock);
        --g_waveOut.outstanding;
        LeaveCriticalSection(&g_waveOut.lock);
        waveOutUnprepareHeader(g_waveOut.device, header, sizeof(WAVEHDR));
        LocalFree(copy);
        LocalFree(header);
        return false;
    }
    return true;
}

void WaveOutReclaimBuffer() {
    EnterCriticalSection(&g_waveOut.lock);
    if (g_waveOut.doneCount == 0) {
        LeaveCriticalSection(&g_waveOut.lock);
        return;
    }
    LPWAVEHDR header = g_waveOut.done[--g_waveOut.doneCount];
    --g_waveOut.outstanding;
    LeaveCriticalSection(&g_waveOut.lock);
    waveOutUnprepareHeader(g_waveOut.device, header, sizeof(WAVEHDR));
    LocalFree(header->lpData);
    LocalFree(header);
}

void WaveOutDrainAndClose() {
    if (g_waveOut.device) {
        for (LONG outstanding = Outstanding(); outstanding > 0; outstanding = Outstanding()) {
            Sleep(static_cast<DWORD>(outstanding));
            ReclaimDoneBuffers();
        }
        waveOutReset(g_waveOut.device);
        waveOutClose(g_waveOut.device);
        g_waveOut.device = nullptr;
    }
    if (g_waveOut.lockReady) {
        DeleteCriticalSection(&g_waveOut.lock);
        g_waveOut.lockReady = false;
    }
    g_waveOut.outstanding = 0;
    g_waveOut.doneCount = 0;
}

int PlaySpeexFile(LPCWSTR path) {
    std::lock_guard play(g_playMutex);
    SpeexDecoding d;
    d.file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (d.file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int frameSize = 0;
    int framesPerPacket = 2;
    int channels = -1;
    int rate = 0;
    int extraHeaders = 0;
    int64_t packetCount = 0;
    bool endOfStream = false;
    int64_t lastGranule = 0;
    std::array<int16_t, kSampleBuffer> work{};

    for (;;) {
        char* buffer = ogg_sync_buffer(&d.sync, kReadChunk);
        DWORD read = 0;
        // A read error ends the file as its end does: what was read still plays.
        if (!buffer || !ReadFile(d.file, buffer, kReadChunk, &read, nullptr)) {
            read = 0;
        }
        ogg_sync_wrote(&d.sync, static_cast<long>(read));
        ogg_page page;
        while (ogg_sync_pageout(&d.sync, &page) == 1) {
            if (!d.streamReady) {
                ogg_stream_init(&d.stream, ogg_page_serialno(&page));
                d.streamReady = true;
            }
            if (ogg_stream_pagein(&d.stream, &page) != 0) {
                continue;  // a page of another stream
            }
            const int64_t granule = ogg_page_granulepos(&page);
            if (granule != -1 && (granule < lastGranule || granule > kLargestGranule)) {
                std::fprintf(stderr,
                             "voice prompt %s: granule position %lld after %lld, the rest of "
                             "the word is skipped\n",
                             platform::WideToUtf8(path).c_str(), static_cast<long long>(granule),
                             static_cast<long long>(lastGranule));
                WaveOutDrainAndClose();
                return 2;
            }
            // Only audio packets give samples: the header, comment and extra
            // header packets ending on this page are not counted.
            const int64_t packets = ogg_page_packets(&page);
            const int64_t firstAudio = 2 + static_cast<int64_t>(extraHeaders);
            const int64_t audioPackets =
                std::max<int64_t>(0, packetCount + packets - std::max(packetCount, firstAudio));
            PageTrim trim;
            if (granule > 0 && frameSize > 0) {
                const int64_t produced = audioPackets * framesPerPacket * frameSize;
                const int64_t skip = produced - (granule - lastGranule);
                if (ogg_page_eos(&page)) {
                    trim.allowed = std::max<int64_t>(0, produced - std::max<int64_t>(0, skip));
                } else {
                    trim.dropAtStart = std::max<int64_t>(0, skip);
                }
            }
            if (granule >= 0) {
                lastGranule = granule;
            }
            ogg_packet packet;
            int result;
            while (!endOfStream && (result = ogg_stream_packetout(&d.stream, &packet)) != 0) {
                if (result < 0) {
                    continue;  // a gap in the stream
                }
                if (packetCount == 0) {
                    d.decoder = ProcessSpeexHeader(&packet, 1, &frameSize, &rate, &framesPerPacket,
                                                   -1, &channels, d.stereo, &extraHeaders);
                    if (!d.decoder) {
                        return 1;
                    }
                    if (framesPerPacket <= 0) {
                        framesPerPacket = 1;
                    }
                    extraHeaders = std::max(0, extraHeaders);
                    WaveOutOpenPcm(rate, 16, channels);
                } else if (packetCount >= 2 + static_cast<int64_t>(extraHeaders)) {
                    endOfStream = packet.e_o_s != 0;
                    speex_bits_read_from(&d.bits, reinterpret_cast<char*>(packet.packet),
                                         static_cast<int>(packet.bytes));
                    for (int frame = 0; frame < framesPerPacket; ++frame) {
                        const int decoded = speex_decode_int(d.decoder, &d.bits, work.data());
                        if (decoded == -1 || decoded == -2 || speex_bits_remaining(&d.bits) < 0) {
                            break;
                        }
                        if (channels == 2) {
                            speex_decode_stereo_int(work.data(), frameSize, d.stereo);
                        }
                        const int64_t drop = std::min<int64_t>(trim.dropAtStart, frameSize);
                        trim.dropAtStart -= drop;
                        const int64_t length = std::min<int64_t>(frameSize - drop, trim.allowed);
                        if (trim.allowed != INT64_MAX) {
                            trim.allowed -= length;
                        }
                        if (length > 0) {
                            WaveOutQueuePcm(work.data() + drop * channels,
                                            static_cast<DWORD>(length * channels * 2));
                        }
                    }
                }
                ++packetCount;
            }
        }
        if (read == 0) {
            break;
        }
    }
    WaveOutDrainAndClose();
    return 0;
}
