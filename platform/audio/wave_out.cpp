// Wave-out devices: one thread per open device plays its buffers at real-time
// pace on the platform clock and reports each one done in order.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include "platform/audio/audio_internal.h"
#include "platform/kernel/kernel.h"

namespace platform {
namespace {

std::atomic<DWORD> g_volume{0xFFFFFFFF};
std::atomic<AudioOutputFactory> g_outputFactory{nullptr};

struct WaveDevice {
    WAVEFORMATEX format{};
    LPWAVECALLBACK callback = nullptr;
    DWORD_PTR instance = 0;
    bool wake = false;  // under WaitLock(): new work, a reset or the close
    std::thread thread;
    std::thread::id threadId;  // under mutex
    std::unique_ptr<AudioOutput> output;
    CaptureCursor capture;

    std::mutex mutex;
    std::condition_variable resetDone;
    std::deque<LPWAVEHDR> queue;
    uint64_t resetsAsked = 0;
    uint64_t resetsServed = 0;
    bool closing = false;

    // Pacing, on the device thread only: the current stream of back-to-back
    // buffers started at streamStart and has framesInStream frames by now. A
    // buffer queued before the one ahead of it finished plays right after it,
    // whenever the thread gets round to it; one written to an idle device starts
    // a new stream.
    bool idle = true;
    LPWAVEHDR playing = nullptr;
    uint64_t streamStart = 0;
    uint64_t framesInStream = 0;
    uint64_t playingEnd = 0;
};

std::mutex g_devicesMutex;
std::set<WaveDevice*> g_devices;

WaveDevice* FindDevice(HWAVEOUT handle) {
    auto* device = reinterpret_cast<WaveDevice*>(handle);
    return g_devices.count(device) ? device : nullptr;
}

bool IsDeviceZeroOrOpen(HWAVEOUT handle) {
    std::lock_guard lock(g_devicesMutex);
    return !handle || FindDevice(handle);
}

// The open device of the handle, with a header the size of WAVEHDR.
MMRESULT CheckHeaderCall(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize, WaveDevice** device) {
    *device = FindDevice(handle);
    if (!*device) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!header || headerSize < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    return MMSYSERR_NOERROR;
}

void Notify(WaveDevice& device, UINT message, DWORD_PTR param1) {
    if (device.callback) {
        device.callback(reinterpret_cast<HWAVEOUT>(&device), message, device.instance, param1, 0);
    }
}

void Complete(WaveDevice& device, const std::vector<LPWAVEHDR>& headers) {
    for (LPWAVEHDR header : headers) {
        header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
        Notify(device, WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    }
}

int16_t Scale(int16_t sample, double gain) {
    return static_cast<int16_t>(std::lround(sample * gain));
}

// Hands the buffer, after the volume, to the capture and the output, and sets the
// time at which it has been heard.
void StartBuffer(WaveDevice& device, LPWAVEHDR header) {
    const WAVEFORMATEX& f = device.format;
    const size_t bytes = header->dwBufferLength - header->dwBufferLength % f.nBlockAlign;
    std::vector<int16_t> samples;
    WidenSamples(f, reinterpret_cast<const uint8_t*>(header->lpData), bytes, samples);
    const DWORD volume = g_volume.load();
    const double left = LOWORD(volume) / 65535.0;
    const double right = HIWORD(volume) / 65535.0;
    if (volume != 0xFFFFFFFF) {
        if (f.nChannels == 1) {
            const double gain = (left + right) / 2.0;
            for (int16_t& s : samples) {
                s = Scale(s, gain);
            }
        } else {
            for (size_t i = 0; i + 1 < samples.size(); i += 2) {
                samples[i] = Scale(samples[i], left);
                samples[i + 1] = Scale(samples[i + 1], right);
            }
        }
    }
    const size_t frames = samples.size() / f.nChannels;
    CaptureSamples(samples.data(), frames, static_cast<int>(f.nSamplesPerSec), f.nChannels,
                   device.capture);
    if (device.output && !device.output->Write(samples.data(), frames)) {
        device.output.reset();
    }

    if (device.idle) {
        device.idle = false;
        device.streamStart = ClockMilliseconds();
        device.framesInStream = 0;
    }
    device.framesInStream += frames;
    device.playingEnd = device.streamStart +
                        (device.framesInStream * 1000 + f.nSamplesPerSec - 1) / f.nSamplesPerSec;
    device.playing = header;
}

void Wake(WaveDevice& device) {
    std::lock_guard lock(WaitLock());
    device.wake = true;
    NotifyWaitersLocked();
}

// Sleeps on the platform clock until the deadline (UINT64_MAX: none) or a wake.
void WaitForWork(WaveDevice& device, uint64_t deadline) {
    std::unique_lock lock(WaitLock());
    while (!device.wake && ClockMilliseconds() < deadline) {
        WaitForClockLocked(lock, deadline);
    }
    device.wake = false;
}

void DeviceThread(WaveDevice* devicePointer) {
    WaveDevice& device = *devicePointer;
    {
        std::lock_guard lock(device.mutex);
        device.threadId = std::this_thread::get_id();
    }
    Notify(device, WOM_OPEN, 0);
    for (;;) {
        std::vector<LPWAVEHDR> finished;
        LPWAVEHDR front = nullptr;
        {
            std::unique_lock lock(device.mutex);
            if (device.resetsAsked != device.resetsServed) {
                finished.assign(device.queue.begin(), device.queue.end());
                device.queue.clear();
                device.playing = nullptr;
                device.idle = true;
                const uint64_t asked = device.resetsAsked;
                lock.unlock();
                Complete(device, finished);
                lock.lock();
                device.resetsServed = asked;
                device.resetDone.notify_all();
                continue;
            }
            if (device.queue.empty()) {
                if (device.closing) {
                    break;
                }
                device.idle = true;
            } else {
                front = device.queue.front();
            }
        }
        if (!front) {
            WaitForWork(device, UINT64_MAX);
            continue;
        }
        if (front != device.playing) {
            StartBuffer(device, front);
        }
        if (ClockMilliseconds() < device.playingEnd) {
            WaitForWork(device, device.playingEnd);
            continue;
        }
        {
            std::lock_guard lock(device.mutex);
            if (device.resetsAsked != device.resetsServed || device.queue.empty() ||
                device.queue.front() != front) {
                continue;
            }
            device.queue.pop_front();
            device.playing = nullptr;
        }
        Complete(device, {front});
    }
    if (device.output) {
        device.output->Close();
        device.output.reset();
    }
    Notify(device, WOM_CLOSE, 0);
}

}  // namespace

void SetAudioOutputFactory(AudioOutputFactory factory) {
    g_outputFactory.store(factory);
}

}  // namespace platform

using platform::WaveDevice;

UINT waveOutGetNumDevs() {
    return 1;
}

MMRESULT waveOutOpen(LPHWAVEOUT handle, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags) {
    if (!handle || !format) {
        return MMSYSERR_INVALPARAM;
    }
    *handle = nullptr;
    if (deviceId != WAVE_MAPPER && deviceId != 0) {
        return MMSYSERR_BADDEVICEID;
    }
    const DWORD callbackType = flags & CALLBACK_TYPEMASK;
    if ((flags & ~CALLBACK_TYPEMASK) != 0 ||
        (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION)) {
        return MMSYSERR_INVALFLAG;
    }
    if (!platform::IsPlayableFormat(*format)) {
        return WAVERR_BADFORMAT;
    }
    auto* device = new WaveDevice;
    device->format = *format;
    if (callbackType == CALLBACK_FUNCTION) {
        device->callback = reinterpret_cast<LPWAVECALLBACK>(callback);
        device->instance = instance;
    }
    if (auto factory = platform::g_outputFactory.load()) {
        device->output = factory();
        if (device->output &&
            !device->output->Open(static_cast<int>(format->nSamplesPerSec), format->nChannels)) {
            device->output.reset();
        }
    }
    {
        std::lock_guard lock(platform::g_devicesMutex);
        platform::g_devices.insert(device);
    }
    device->thread = std::thread(platform::DeviceThread, device);
    *handle = reinterpret_cast<HWAVEOUT>(device);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize) {
    std::lock_guard lock(platform::g_devicesMutex);
    WaveDevice* device = nullptr;
    if (MMRESULT result = platform::CheckHeaderCall(handle, header, headerSize, &device)) {
        return result;
    }
    if (!header->lpData && header->dwBufferLength) {
        return MMSYSERR_INVALPARAM;
    }
    header->dwFlags |= WHDR_PREPARED;
    header->dwFlags &= ~WHDR_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize) {
    std::lock_guard lock(platform::g_devicesMutex);
    WaveDevice* device = nullptr;
    if (MMRESULT result = platform::CheckHeaderCall(handle, header, headerSize, &device)) {
        return result;
    }
    std::lock_guard deviceLock(device->mutex);
    if (header->dwFlags & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT headerSize) {
    std::lock_guard lock(platform::g_devicesMutex);
    WaveDevice* device = nullptr;
    if (MMRESULT result = platform::CheckHeaderCall(handle, header, headerSize, &device)) {
        return result;
    }
    {
        std::lock_guard deviceLock(device->mutex);
        if (!(header->dwFlags & WHDR_PREPARED)) {
            return WAVERR_UNPREPARED;
        }
        if (header->dwFlags & WHDR_INQUEUE) {
            return WAVERR_STILLPLAYING;
        }
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        device->queue.push_back(header);
    }
    platform::Wake(*device);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT handle) {
    WaveDevice* device;
    {
        std::lock_guard lock(platform::g_devicesMutex);
        device = platform::FindDevice(handle);
        if (!device) {
            return MMSYSERR_INVALHANDLE;
        }
    }
    std::unique_lock deviceLock(device->mutex);
    if (std::this_thread::get_id() == device->threadId) {
        // From the callback: the device thread cannot wait for itself.
        std::vector<LPWAVEHDR> finished(device->queue.begin(), device->queue.end());
        device->queue.clear();
        device->playing = nullptr;
        deviceLock.unlock();
        platform::Complete(*device, finished);
        return MMSYSERR_NOERROR;
    }
    const uint64_t asked = ++device->resetsAsked;
    platform::Wake(*device);
    device->resetDone.wait(deviceLock, [&] { return device->resetsServed >= asked; });
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT handle) {
    WaveDevice* device;
    {
        std::lock_guard lock(platform::g_devicesMutex);
        device = platform::FindDevice(handle);
        if (!device) {
            return MMSYSERR_INVALHANDLE;
        }
        std::lock_guard deviceLock(device->mutex);
        if (!device->queue.empty()) {
            return WAVERR_STILLPLAYING;
        }
        if (std::this_thread::get_id() == device->threadId) {
            return MMSYSERR_ERROR;  // the device thread cannot end itself from its callback
        }
        device->closing = true;
        platform::g_devices.erase(device);
    }
    platform::Wake(*device);
    device->thread.join();
    delete device;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetVolume(HWAVEOUT handle, LPDWORD volume) {
    if (!platform::IsDeviceZeroOrOpen(handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!volume) {
        return MMSYSERR_INVALPARAM;
    }
    *volume = platform::g_volume.load();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT handle, DWORD volume) {
    if (!platform::IsDeviceZeroOrOpen(handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    platform::g_volume.store(volume);
    return MMSYSERR_NOERROR;
}
