// SDL, loaded when the window or its sound first needs it
// (platform/kernel/late_library.h): a headless run never loads it, nor the window
// system's and sound servers' libraries it depends on. The SDL sources include this
// header after <SDL.h>; a function missing from the table below does not link.
#pragma once

#include <SDL.h>

#include "platform/kernel/late_library.h"

namespace platform::host {

LateLibrary& SdlLibrary();

}  // namespace platform::host

// clang-format off
#define SDL_CloseAudioDevice(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_CloseAudioDevice)(__VA_ARGS__)
#define SDL_ConvertSurfaceFormat(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_ConvertSurfaceFormat)(__VA_ARGS__)
#define SDL_CreateRGBSurfaceWithFormatFrom(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_CreateRGBSurfaceWithFormatFrom)(__VA_ARGS__)
#define SDL_CreateWindow(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_CreateWindow)(__VA_ARGS__)
#define SDL_Delay(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_Delay)(__VA_ARGS__)
#define SDL_DestroyWindow(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_DestroyWindow)(__VA_ARGS__)
#define SDL_DisableScreenSaver(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_DisableScreenSaver)(__VA_ARGS__)
#define SDL_EnableScreenSaver(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_EnableScreenSaver)(__VA_ARGS__)
#define SDL_FreeSurface(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_FreeSurface)(__VA_ARGS__)
#define SDL_GetAudioDeviceStatus(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_GetAudioDeviceStatus)(__VA_ARGS__)
#define SDL_GetCurrentVideoDriver(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_GetCurrentVideoDriver)(__VA_ARGS__)
#define SDL_GetError(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_GetError)(__VA_ARGS__)
#define SDL_GetQueuedAudioSize(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_GetQueuedAudioSize)(__VA_ARGS__)
#define SDL_GetWindowSurface(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_GetWindowSurface)(__VA_ARGS__)
#define SDL_InitSubSystem(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_InitSubSystem)(__VA_ARGS__)
#define SDL_LockSurface(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_LockSurface)(__VA_ARGS__)
#define SDL_OpenAudioDevice(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_OpenAudioDevice)(__VA_ARGS__)
#define SDL_PauseAudioDevice(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_PauseAudioDevice)(__VA_ARGS__)
#define SDL_PollEvent(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_PollEvent)(__VA_ARGS__)
#define SDL_PushEvent(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_PushEvent)(__VA_ARGS__)
#define SDL_QueueAudio(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_QueueAudio)(__VA_ARGS__)
#define SDL_Quit(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_Quit)(__VA_ARGS__)
#define SDL_QuitSubSystem(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_QuitSubSystem)(__VA_ARGS__)
#define SDL_SetError(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_SetError)(__VA_ARGS__)
#define SDL_SetHint(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_SetHint)(__VA_ARGS__)
#define SDL_UnlockSurface(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_UnlockSurface)(__VA_ARGS__)
#define SDL_UpdateWindowSurface(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_UpdateWindowSurface)(__VA_ARGS__)
#define SDL_UpperBlitScaled(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_UpperBlitScaled)(__VA_ARGS__)
#define SDL_WaitEventTimeout(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_WaitEventTimeout)(__VA_ARGS__)
#define SDL_WasInit(...) PLATFORM_LATE_CALL(platform::host::SdlLibrary(), SDL_WasInit)(__VA_ARGS__)
// clang-format on
