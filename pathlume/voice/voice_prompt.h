// The voice prompt queue: one phrase of prompt words in a CVoicePrompt, spoken
// word by word on a worker thread of its own, at most one phrase at a time; the
// prompt-word table, the sound folder and the Speex or WAV choice.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/kernel/kernel.h"

inline constexpr int kPromptWordCount = 139;
inline constexpr int kMaxPhraseWords = 31;

// Base names of the recordings by prompt-word index.
extern const WCHAR* const PromptWordTable[kPromptWordCount];

// Telling indexes.
inline constexpr int kWordAlarm1 = 39;
inline constexpr int kWordDest = 42;
inline constexpr int kWordNearestRoad = 54;
inline constexpr int kWordUturn = 70;
inline constexpr int kWordWaitForGps = 71;

class CVoicePrompt {
  public:
    CVoicePrompt();
    ~CVoicePrompt();
    CVoicePrompt(const CVoicePrompt&) = delete;
    CVoicePrompt& operator=(const CVoicePrompt&) = delete;

    // The sound folder, the word and ".spx" or ".wav" into buffer (MAX_PATH); an
    // empty string when the path would not fit. Returns buffer.
    LPWSTR BuildFileName(LPCWSTR word, LPWSTR buffer);

    // Queues a phrase: the prompt (constructed, from g_heap) passes to the queue,
    // which frees it. Waits while another phrase plays (cutting it short after
    // its current word when interrupt is non-zero), then starts the worker. A
    // muted voice, a count outside 0..31 or a worker that cannot start drops the
    // phrase.
    static void Speak(CVoicePrompt* prompt, const int32_t* words, int count, int interrupt);

    DWORD m_leadingWord = 0;
    int32_t m_words[kMaxPhraseWords] = {};
    int m_count = 0;
    HANDLE m_stopEvent = nullptr;
};

// The worker of one phrase.
UINT VoicePlaybackThread(LPVOID prompt);

void InitVoiceLock();
// Stops the playing phrase after its current word and waits up to 2 s for its
// worker to let go of the lock before deleting it.
void DeleteVoiceLock();
// Finds "Snd\0.spx", else "Snd\0.wav", where the data files lie, and sets the
// sound folder and the Speex flag.
void FindSoundFolder();

extern WCHAR g_soundFolder[MAX_PATH];        // ends in a backslash; empty when none was found
extern std::atomic<DWORD> g_speexPrompts;    // 1: ".spx" recordings, 0: ".wav"
extern std::atomic<DWORD> g_volumeOverride;  // "VolOvr" fallback, default 0xFFFFFFFF
extern std::atomic<CVoicePrompt*> g_playingPrompt;  // null when the voice is idle
