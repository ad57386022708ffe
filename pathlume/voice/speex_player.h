// The prompt player: one recorded word, Speex in Ogg, decoded and fed to the
// wave-out device in 16-bit blocks, returning once the device has drained.
//
// The output state is one per process: a play holds it from the header packet to
// the drain, and a second caller (the voice worker and the volume dialog's test)
// waits for the first to finish.
#pragma once

#include <ogg/ogg.h>
#include <speex/speex_stereo.h>

#include "platform/audio/audio.h"

// 0 after a play (also when the file cannot be opened, or ends before its
// header), 1 when the header packet is not a usable Speex header, 2 when a page's
// granule position runs backwards or out of range: the rest of the word is not
// played, and a line on stderr names the file.
int PlaySpeexFile(LPCWSTR path);

// Validates the header packet and creates its decoder (enhancer on or off); null
// when the packet is not a Speex header of a known mode and bit-stream version,
// its channels are not 1 or 2, or its frames do not fit the decode buffer.
// rate: 0 takes the header's; forcedMode -1 takes the header's mode; channels -1
// takes the header's. The in-band stereo handler is registered whenever the
// channel count passed in is not 1.
void* ProcessSpeexHeader(ogg_packet* packet, int enhancer, int* frameSize, int* rate,
                         int* framesPerPacket, int forcedMode, int* channels,
                         SpeexStereoState* stereo, int* extraHeaders);

// 0 when the device opened, 1 when not (the device stays null).
int WaveOutOpenPcm(double rate, int bitsPerSample, int channels);
void WaveOutDoneCallback(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                         DWORD_PTR param2);
// Copies the block and writes it to the device, first waiting while 32 blocks are
// out. False when the block was dropped (no device, no memory, a refused write).
bool WaveOutQueuePcm(const int16_t* samples, DWORD byteLength);
void WaveOutReclaimBuffer();
void WaveOutDrainAndClose();
