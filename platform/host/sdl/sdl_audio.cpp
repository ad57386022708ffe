// The SDL2 audio output the wave-out devices play into while the SDL2 backend runs.
#include "platform/host/sdl/sdl_library.h"

#include "platform/audio/audio.h"
#include "platform/host/sdl/sdl_audio.h"

namespace platform::host {
namespace {

// One SDL audio device per wave-out device, fed with SDL_QueueAudio; the wave-out
// device thread already keeps real-time pace, so the queue stays short.
class SdlAudioOutput : public AudioOutput {
  public:
    ~SdlAudioOutput() override { Close(); }

    bool Open(int rate, int channels) override {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            return false;
        }
        initialised_ = true;
        SDL_AudioSpec wanted{};
        wanted.freq = rate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = static_cast<Uint8>(channels);
        wanted.samples = 1024;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        if (device_ == 0) {
            Close();
            return false;
        }
        channels_ = channels;
        rate_ = rate;
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    bool Write(const int16_t* samples, size_t frames) override {
        if (device_ == 0 || SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED) {
            return false;
        }
        const size_t bytes = frames * static_cast<size_t>(channels_) * sizeof(int16_t);
        return SDL_QueueAudio(device_, samples, static_cast<Uint32>(bytes)) == 0;
    }

    void Close() override {
        if (device_ != 0) {
            // What is queued plays out; a stopped device holds nothing more to hear.
            const Uint32 bytesPerSecond = static_cast<Uint32>(rate_ * channels_) * 2;
            Uint32 waitedMs = 0;
            while (SDL_GetQueuedAudioSize(device_) > 0 &&
                   SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PLAYING &&
                   waitedMs < 1000 + SDL_GetQueuedAudioSize(device_) * 1000 / bytesPerSecond) {
                SDL_Delay(10);
                waitedMs += 10;
            }
            SDL_CloseAudioDevice(device_);
            device_ = 0;
        }
        if (initialised_) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            initialised_ = false;
        }
    }

  private:
    SDL_AudioDeviceID device_ = 0;
    bool initialised_ = false;
    int channels_ = 1;
    int rate_ = 16000;
};

}  // namespace

std::unique_ptr<AudioOutput> MakeSdlAudioOutput() {
    return std::make_unique<SdlAudioOutput>();
}

}  // namespace platform::host
