// NMEA 0183 sentences into the fix: checksums, fields, the five sentence types the
// program reads, and the framing of a byte stream into sentences.
//
// The parsers work on a GpsFix and the sentence text alone, so they can be tested
// and fuzzed without a receiver; DispatchSentence runs them on a receiver's fix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "pathlume/position/gps_fix.h"

// Results of DispatchSentence, and the bits of the receiver's sentence-type mask.
inline constexpr int kSentenceNone = 0;
inline constexpr int kSentenceRmc = 1;
inline constexpr int kSentenceGga = 2;
inline constexpr int kSentenceGsv = 4;  // the last sentence of a group
inline constexpr int kSentenceGsa = 8;
inline constexpr int kSentenceGll = 16;

// Parser results.
inline constexpr int kSentenceTaken = 0;
inline constexpr int kSentenceRefused = 1;

// The sentence buffer holds this many bytes of data (and a terminating NUL).
inline constexpr size_t kSentenceBufferData = 1023;
// The copy of the last sentence for the GPS information screen, NUL included.
inline constexpr size_t kInfoSentenceSize = 128;
inline constexpr int kMaxNmeaFields = 20;

// 1 when the sentence (NUL-terminated, beginning with '$') carries a '*' and a
// hexadecimal checksum equal to the XOR of the bytes between '$' and '*'.
int VerifyNmeaChecksum(const char* sentence);
// Splits in place at ',' into at most maxFields fields (field 0 the name), clears
// the pointers after them and cuts the last field at '*'. Returns the field count.
int SplitNmeaFields(char* sentence, char** fields, int maxFields);
// A time (hhmmss[.sss], rounded to the nearest second) or date (ddmmyy) field into
// its three numbers; 1 with all three 0 when it is shorter than six characters or
// is no such number.
int ParseNmeaTime(const char* field, int32_t* first, int32_t* second, int32_t* third);

// What RMC needs of the settings: "SiRFFix" (non-zero: the course becomes the
// heading only at 1 mph or more).
struct NmeaSettings {
    bool headingOnlyWhenMoving = true;
};

// Each parses one split-able sentence (its text is split in place) into the fix:
// 0 taken, 1 refused. ParseGsv returns -1 when refused, else the group's total
// minus this message's number (0 for the last of the group).
int ParseGga(GpsFix& fix, char* sentence);
int ParseRmc(GpsFix& fix, char* sentence, const NmeaSettings& settings);
int ParseGll(GpsFix& fix, char* sentence);
int ParseGsa(GpsFix& fix, char* sentence);
int ParseGsv(GpsFix& fix, char* sentence);

// Runs the parser the sentence's name asks for on the fix; returns the
// sentence-type result (kSentenceRmc for an RMC that completed a new fix, 0 for a
// refused, ignored or unknown sentence). `typeSeen` gets the type bit of the parser
// that was run (0 when none). The checksum has been checked by the caller.
int ParseSentence(GpsFix& fix, char* sentence, const NmeaSettings& settings, int* typeSeen);

// Frames a byte stream into sentences. Bytes are read into FreeSpace() and taken
// with Commit; Frame hands each complete sentence, NUL-terminated in place, to the
// handler. What cannot be a sentence is dropped: bytes before a '$', a sentence
// holding a byte 0 or of 128 and above, and a buffer full of one unterminated
// sentence (dropped up to its next '$').
class NmeaFramer {
  public:
    using SentenceHandler = std::function<void(char* sentence, size_t length)>;

    char* FreeSpace() { return buffer_ + fill_; }
    size_t FreeSize() const { return kSentenceBufferData - fill_; }
    void Commit(size_t bytes) { fill_ += bytes; }
    // Frames what is buffered; `stop` is asked between sentences and ends framing
    // early when it answers true (the rest stays buffered).
    void Frame(const SentenceHandler& handler, const std::function<bool()>& stop = {});
    // Copies the bytes in and frames them, as many reads would.
    void Feed(const char* data, size_t size, const SentenceHandler& handler);
    void Clear() {
        fill_ = 0;
        scanned_ = 0;
    }
    size_t Fill() const { return fill_; }
    // Sentences dropped by the framing (bad bytes, overlong).
    uint64_t Dropped() const { return dropped_; }

  private:
    void DropFront(size_t bytes);

    char buffer_[kSentenceBufferData + 1] = {};
    size_t fill_ = 0;
    size_t scanned_ = 0;  // bytes after the leading '$' known to hold no line end
    uint64_t dropped_ = 0;
};
