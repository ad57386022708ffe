// The voice prompt queue: one phrase of prompt words in a CVoicePrompt, spoken
// word by word on the voice's worker thread, at most one phrase at a time, the
// others waiting their turn there; the prompt-word table, the sound folder and the
// Speex or WAV choice. Nobody who speaks waits for the voice.
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

    // Queues a phrase and returns at once: the prompt (constructed, from g_heap)
    // passes to the queue, which frees it. With the voice idle a worker starts on
    // it; while another phrase plays it waits its turn on that worker (at most two
    // phrases wait: a third drops the oldest of them). A non-zero
    // interrupt cuts the playing phrase short after its current word and drops the
    // waiting ones. A muted voice, a count outside 0..31 or a worker that cannot
    // start drops the phrase.
    static void Speak(CVoicePrompt* prompt, const int32_t* words, int count, int interrupt);

    DWORD m_leadingWord = 0;
    int32_t m_words[kMaxPhraseWords] = {};
    int m_count = 0;
    HANDLE m_stopEvent = nullptr;
};

// The worker: plays the phrase it starts on, then each waiting phrase in turn,
// and ends when none waits.
UINT VoicePlaybackThread(LPVOID prompt);

void InitVoiceLock();
// Drops the waiting phrases, stops the playing one after its current word and
// waits up to 2 s for its worker to let go of the lock before deleting it.
void DeleteVoiceLock();
// Finds "Snd\0.spx", else "Snd\0.wav", where the data files lie, and sets the
// sound folder and the Speex flag.
void FindSoundFolder();

extern WCHAR g_soundFolder[MAX_PATH];        // ends in a backslash; empty when none was found
extern std::atomic<DWORD> g_speexPrompts;    // 1: ".spx" recordings, 0: ".wav"
extern std::atomic<DWORD> g_volumeOverride;  // "VolOvr" fallback, default 0xFFFFFFFF
// The phrase playing; null when the voice is idle and nothing waits.
extern std::atomic<CVoicePrompt*> g_playingPrompt;
