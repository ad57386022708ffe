// Wave audio output: wave-out devices, the process's output volume and
// sndPlaySoundW.
//
// A wave-out device takes PCM (1 or 2 channels, 8 or 16 bits, 8,000 to 48,000 Hz,
// block align and byte rate consistent with them) in prepared buffers and plays
// them in the order written. Each open device has a thread of its own: it plays
// the buffers, sets WHDR_DONE on each before calling the callback with WOM_DONE,
// and sends WOM_OPEN, WOM_DONE and WOM_CLOSE only from that thread.
//
// Where the sound goes: the device thread paces the buffers at real time on the
// platform clock (a test on the manual clock drives playback by moving the clock
// on) and hands them, after the volume, to the output: an SDL2 audio device when
// the SDL2 host backend runs and one opens, otherwise nothing but the capture.
// An output that fails while playing is dropped; the buffers still complete, so
// nothing waits for ever. The capture appends everything played, after the volume,
// to a 16-bit mono 16 kHz WAV file whose header is kept valid after every buffer:
// PATHLUME_AUDIO_WAV names it for a whole process, StartAudioCapture for a test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "platform/kernel/wintypes.h"

DECLARE_PLATFORM_HANDLE(HWAVEOUT);
typedef HWAVEOUT* LPHWAVEOUT;
typedef UINT MMRESULT;

#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NOMEM 7
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33
#define WAVERR_UNPREPARED 34

#define WAVE_MAPPER (static_cast<UINT>(-1))
#define WAVE_FORMAT_PCM 1

#define CALLBACK_TYPEMASK 0x00070000
#define CALLBACK_NULL 0x00000000
#define CALLBACK_FUNCTION 0x00030000

#define WOM_OPEN 0x3BB
#define WOM_CLOSE 0x3BC
#define WOM_DONE 0x3BD

#define WHDR_DONE 0x00000001
#define WHDR_PREPARED 0x00000002
#define WHDR_INQUEUE 0x00000010

#define SND_SYNC 0x0000
#define SND_NODEFAULT 0x0002

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
typedef WAVEFORMATEX* LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;

struct WAVEHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};
typedef WAVEHDR* LPWAVEHDR;

// WOM_DONE carries the finished header in param1.
typedef void (*LPWAVECALLBACK)(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                               DWORD_PTR param2);

UINT waveOutGetNumDevs();
MMRESULT waveOutOpen(LPHWAVEOUT device, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags);
MMRESULT waveOutPrepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT headerSize);
// WAVERR_STILLPLAYING while the buffer is queued.
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT headerSize);
MMRESULT waveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT headerSize);
// Marks every queued buffer done at once (with its WOM_DONE) before it returns.
MMRESULT waveOutReset(HWAVEOUT device);
// WAVERR_STILLPLAYING while buffers are queued.
MMRESULT waveOutClose(HWAVEOUT device);
// One volume for the process: null (device 0) or any open device reads and sets
// it. Left channel in the low 16 bits, right in the high; 0xFFFF is full scale,
// a linear gain.
MMRESULT waveOutGetVolume(HWAVEOUT device, LPDWORD volume);
MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume);

// Plays a RIFF WAVE PCM file (a device path) synchronously, returning once it has
// been heard. A missing or unusable file plays the default sound (a short tone)
// unless SND_NODEFAULT, and answers FALSE. Flags other than SND_SYNC and
// SND_NODEFAULT are refused (FALSE, nothing played).
BOOL sndPlaySoundW(LPCWSTR soundName, UINT flags);

namespace platform {

// PCM as the wave devices take it, 16-bit samples interleaved by channel.
struct WaveData {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
};
// The audio of a RIFF WAVE PCM file (8 or 16 bits; 8-bit widened), or nothing
// when the bytes are not one of the formats waveOutOpen takes.
std::optional<WaveData> ParseWave(const std::vector<uint8_t>& bytes);
// A 16-bit PCM RIFF WAVE file of the samples.
std::vector<uint8_t> MakeWave(const WaveData& wave);

// The capture: from now on everything played is appended to a new WAV file at
// path (replacing one there); StopAudioCapture closes it. False when the file
// cannot be made.
bool StartAudioCapture(const std::filesystem::path& path);
void StopAudioCapture();

// An output that plays what the device threads hand it, in real time. The SDL2
// host backend installs one while it runs.
class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    // False when this output cannot play the format; the device then plays into
    // the capture only.
    virtual bool Open(int rate, int channels) = 0;
    // False when the output went away; it is not used again.
    virtual bool Write(const int16_t* samples, size_t frames) = 0;
    // Waits until what was written has been heard, then closes.
    virtual void Close() = 0;
};
using AudioOutputFactory = std::unique_ptr<AudioOutput> (*)();
// Devices opened from now on get an output from the factory; null: none.
void SetAudioOutputFactory(AudioOutputFactory factory);

}  // namespace platform
