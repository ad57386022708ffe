#include "pathlume/voice/voice_prompt.h"

#include <chrono>
#include <mutex>
#include <new>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/voice/speex_player.h"
#include "platform/afx/afx.h"
#include "platform/audio/audio.h"

const WCHAR* const PromptWordTable[kPromptWordCount] = {
    u"0",        u"1",       u"2",       u"3",       u"4",     u"5",       u"6",        u"7",
    u"8",        u"9",       u"10",      u"20",      u"30",    u"40",      u"50",       u"60",
    u"70",       u"80",      u"90",      u"11",      u"12",    u"13",      u"14",       u"15",
    u"16",       u"17",      u"18",      u"19",      u"3q",    u"100",     u"200",      u"300",
    u"400",      u"500",     u"600",     u"700",     u"800",   u"900",     u"1000",     u"alarm1",
    u"bearl",    u"bearr",   u"dest",    u"drive",   u"east",  u"entfwy",  u"exit",     u"feet",
    u"fwy",      u"in",      u"keepl",   u"keepr",   u"mile",  u"miles",   u"nearstrd", u"north",
    u"number",   u"onleft",  u"onright", u"onto",    u"point", u"sharpl",  u"sharpr",   u"south",
    u"straight", u"tcirc",   u"then",    u"thenimm", u"turnl", u"turnr",   u"uturn",    u"wait4gps",
    u"west",     u"alarm2",  u"meters",  u"km",      u"kms",   u"carpool", u"follow",   u"yards",
    u"rndabout", u"1st",     u"2nd",     u"3rd",     u"4th",   u"5th",     u"6th",      u"7th",
    u"8th",      u"9th",     u"10th",    u"11th",    u"12th",  u"take",    u"ofruturn", u"deston",
    u"out",      u"ein",     u"a",       u"n",       u"exitl", u"exitr",   u"entfwyl",  u"entfwyr",
    u"e",        u"tunnel",  u"m",       u"b",       u"l",     u"mvr",     u"and",      u"einen",
    u"einem",    u"ontofwy", u"danz",    u"einer",   u"1alt",  u"sign",    u"21",       u"31",
    u"41",       u"51",      u"61",      u"71",      u"81",    u"91",      u"Un",       u"Una",
    u"28",       u"38",      u"48",      u"58",      u"68",    u"78",      u"88",       u"98",
    u"alarm3",   u"alarm4",  u"click",
};

WCHAR g_soundFolder[MAX_PATH];
std::atomic<DWORD> g_speexPrompts{0};
std::atomic<DWORD> g_volumeOverride{0xFFFFFFFF};
std::atomic<CVoicePrompt*> g_playingPrompt{nullptr};

namespace {

constexpr DWORD kPollMs = 10;
constexpr DWORD kOverrideTailMs = 250;
constexpr std::chrono::milliseconds kShutdownWait{2000};
// A phrase that waited behind more would speak of a place the vehicle has passed.
constexpr size_t kMaxWaitingPhrases = 2;

std::atomic<CRITICAL_SECTION*> g_voiceLock{nullptr};

// Runs f under the voice lock, or bare while the lock does not exist.
template <class F>
void UnderVoiceLock(F f) {
    CRITICAL_SECTION* lock = g_voiceLock.load();
    if (lock) {
        EnterCriticalSection(lock);
    }
    f();
    if (lock) {
        LeaveCriticalSection(lock);
    }
}

void ReleasePrompt(CVoicePrompt* prompt) {
    prompt->~CVoicePrompt();
    g_heap.Free(prompt);
}

bool StopSet(const CVoicePrompt& prompt) {
    return WaitForSingleObject(prompt.m_stopEvent, 0) == WAIT_OBJECT_0;
}

// Phrases handed over while another plays, in speaking order; the voice's worker
// takes them one after the other. The mutex also orders the hand-over of the
// playing mark between Speak and the worker.
std::mutex g_queueMutex;
std::vector<CVoicePrompt*> g_waiting;

void StopPlayingPhrase() {
    UnderVoiceLock([] {
        if (CVoicePrompt* playing = g_playingPrompt.load()) {
            SetEvent(playing->m_stopEvent);
        }
    });
}

// One phrase: the volume override around its words, each word played to its end
// unless the phrase was stopped before it.
void PlayPhrase(CVoicePrompt& prompt) {
    const DWORD volume =
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"VolOvr", g_volumeOverride.load());
    DWORD savedVolume = 0;
    if (volume != 0) {
        waveOutGetVolume(nullptr, &savedVolume);
        waveOutSetVolume(nullptr, volume);
    }
    for (int i = 0; i < prompt.m_count; ++i) {
        if (StopSet(prompt)) {
            break;
        }
        const int32_t index = prompt.m_words[i];
        if (index < 0 || index >= kPromptWordCount) {
            continue;  // no such word
        }
        WCHAR path[MAX_PATH];
        prompt.BuildFileName(PromptWordTable[index], path);
        if (!path[0]) {
            continue;
        }
        if (g_speexPrompts.load()) {
            PlaySpeexFile(path);
        } else {
            sndPlaySoundW(path, SND_SYNC);
        }
    }
    if (volume != 0) {
        Sleep(kOverrideTailMs);  // the last buffered sound is heard at the override level
        waveOutSetVolume(nullptr, savedVolume);
    }
}

}  // namespace

CVoicePrompt::CVoicePrompt() : m_stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CVoicePrompt::~CVoicePrompt() {
    if (m_stopEvent) {
        CloseHandle(m_stopEvent);
        m_stopEvent = nullptr;
    }
}

LPWSTR CVoicePrompt::BuildFileName(LPCWSTR word, LPWSTR buffer) {
    const size_t folder = wcslen(g_soundFolder);
    const size_t length = wcslen(word);
    if (folder + length + 4 >= MAX_PATH) {
        buffer[0] = 0;  // a cut name could name another file
        return buffer;
    }
    swprintf(buffer, MAX_PATH, g_speexPrompts.load() ? u"%s%s.spx" : u"%s%s.wav", g_soundFolder,
             word);
    return buffer;
}

void CVoicePrompt::Speak(CVoicePrompt* prompt, const int32_t* words, int count, int interrupt) {
    if (!prompt) {
        return;
    }
    if ((g_options.load() & kOptionVoiceMuted) || count < 0 || count > kMaxPhraseWords ||
        (count > 0 && !words)) {
        ReleasePrompt(prompt);
        return;
    }
    prompt->m_count = count;
    for (int i = 0; i < count; ++i) {
        prompt->m_words[i] = words[i];
    }
    std::vector<CVoicePrompt*> dropped;
    bool startWorker = false;
    {
        std::lock_guard<std::mutex> guard(g_queueMutex);
        if (interrupt) {
            StopPlayingPhrase();
            dropped.swap(g_waiting);
        }
        if (!g_playingPrompt.load()) {
            UnderVoiceLock([&] { g_playingPrompt.store(prompt); });
            startWorker = true;
        } else {
            if (g_waiting.size() >= kMaxWaitingPhrases) {
                dropped.push_back(g_waiting.front());
                g_waiting.erase(g_waiting.begin());
            }
            g_waiting.push_back(prompt);
        }
    }
    for (CVoicePrompt* old : dropped) {
        ReleasePrompt(old);
    }
    if (startWorker && !AfxBeginThread(VoicePlaybackThread, prompt, THREAD_PRIORITY_ABOVE_NORMAL)) {
        // No worker to clear the mark: clear it here, or every later phrase waits.
        std::vector<CVoicePrompt*> unplayed;
        {
            std::lock_guard<std::mutex> guard(g_queueMutex);
            unplayed.swap(g_waiting);
            UnderVoiceLock([] { g_playingPrompt.store(nullptr); });
        }
        ReleasePrompt(prompt);
        for (CVoicePrompt* old : unplayed) {
            ReleasePrompt(old);
        }
    }
}

UINT VoicePlaybackThread(LPVOID parameter) {
    auto* prompt = static_cast<CVoicePrompt*>(parameter);
    while (prompt) {
        PlayPhrase(*prompt);
        CVoicePrompt* next = nullptr;
        {
            std::lock_guard<std::mutex> guard(g_queueMutex);
            if (!g_waiting.empty()) {
                next = g_waiting.front();
                g_waiting.erase(g_waiting.begin());
            }
            UnderVoiceLock([next] { g_playingPrompt.store(next); });
        }
        ReleasePrompt(prompt);
        prompt = next;
    }
    AfxEndThread(0);
}

void InitVoiceLock() {
    if (g_voiceLock.load()) {
        return;
    }
    auto* lock = new (g_heap.Alloc(sizeof(CRITICAL_SECTION))) CRITICAL_SECTION{};
    InitializeCriticalSection(lock);
    g_voiceLock.store(lock);
}

void DeleteVoiceLock() {
    CRITICAL_SECTION* lock = g_voiceLock.load();
    if (!lock) {
        return;
    }
    std::vector<CVoicePrompt*> unplayed;
    {
        std::lock_guard<std::mutex> guard(g_queueMutex);
        unplayed.swap(g_waiting);
        StopPlayingPhrase();
    }
    for (CVoicePrompt* prompt : unplayed) {
        ReleasePrompt(prompt);
    }
    // Real time, as a thread's stop is waited for: on a driven clock the polls
    // move the clock on and the worker's word ends, but only as fast as it runs.
    const auto deadline = std::chrono::steady_clock::now() + kShutdownWait;
    while (g_playingPrompt.load() && std::chrono::steady_clock::now() < deadline) {
        Sleep(kPollMs);
    }
    g_voiceLock.store(nullptr);
    if (g_playingPrompt.load()) {
        return;  // a worker still runs and may still take the lock: it is left to it
    }
    // The worker cleared the mark under the lock; once we hold it, it has let go.
    EnterCriticalSection(lock);
    LeaveCriticalSection(lock);
    DeleteCriticalSection(lock);
    g_heap.Free(lock);
}

void FindSoundFolder() {
    g_speexPrompts.store(0);
    g_soundFolder[0] = 0;
    WCHAR name[MAX_PATH];
    swprintf(name, MAX_PATH, u"Snd\\%s.spx", PromptWordTable[0]);
    FindDataFileOnCards(name, g_soundFolder, FALSE);
    if (g_soundFolder[0]) {
        g_speexPrompts.store(1);
    } else {
        swprintf(name, MAX_PATH, u"Snd\\%s.wav", PromptWordTable[0]);
        FindDataFileOnCards(name, g_soundFolder, FALSE);
    }
    if (WCHAR* slash = wcsrchr(g_soundFolder, u'\\')) {
        slash[1] = 0;
    }
}
