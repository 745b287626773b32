#include "platform/audio_out.h"

#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

#include <atomic>
#include <cmath>
#include <vector>

#include "platform/audio_feeder.h"
#include "platform/win32/backend.h"

// The output thread is a Win32 thread rather than a std::thread: it waits on
// the device's event and a stop request together, and runs above normal
// priority, neither of which std::thread can say.

namespace {

constexpr int BLOCK_COUNT = 4;         // blocks queued on the device
constexpr int BLOCK_FRAMES = 1024;     // ~23 ms at 44100 Hz; four of them ~93 ms
constexpr int BLOCK_SAMPLES = BLOCK_FRAMES * AUDIO_OUT_CHANNELS;

struct OutputState {
    HWAVEOUT device = nullptr;
    HANDLE blockDone = nullptr;    // signalled by the device as each block finishes
    HANDLE thread = nullptr;
    std::atomic<bool> stopping{false};
    std::atomic<bool> paused{true};
    std::atomic<uint32_t> latencyFrames{0};
    bool floatSamples = true;      // else 16-bit PCM
    AudioOutFill fill = nullptr;
    void* user = nullptr;
    WAVEHDR headers[BLOCK_COUNT] = {};
    std::vector<float> mix;                     // one block of float frames
    std::vector<uint8_t> blocks[BLOCK_COUNT];   // what the device plays
    bool queued[BLOCK_COUNT] = {};              // handed to the device and not yet done
};
OutputState output;
bool silentOutput = false;

int16_t toPcm16(float sample)
{
    const float clamped = sample < -1.0f ? -1.0f : (sample > 1.0f ? 1.0f : sample);
    return static_cast<int16_t>(std::lrintf(clamped * 32767.0f));
}

std::string waveOutMessage(MMRESULT result)
{
    char text[MAXERRORLENGTH] = {};
    if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR || !text[0])
        return "waveOut error " + std::to_string(result);
    return text;
}

// Fills block `index` from the engine and hands it to the device.
void queueBlock(int index)
{
    WAVEHDR& header = output.headers[index];
    uint32_t queuedFrames = 0;
    for (bool busy : output.queued)
        queuedFrames += busy ? BLOCK_FRAMES : 0;
    // What will be heard before the last frame of this block: the blocks
    // queued ahead of it, and the block itself.
    output.latencyFrames.store(queuedFrames + BLOCK_FRAMES, std::memory_order_relaxed);
    output.fill(output.mix.data(), BLOCK_FRAMES, output.user);
    if (output.floatSamples) {
        std::copy(output.mix.begin(), output.mix.end(), reinterpret_cast<float*>(header.lpData));
    } else {
        auto* samples = reinterpret_cast<int16_t*>(header.lpData);
        for (int i = 0; i < BLOCK_SAMPLES; ++i)
            samples[i] = toPcm16(output.mix[i]);
    }
    header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    output.queued[index] = waveOutWrite(output.device, &header, sizeof header) == MMSYSERR_NOERROR;
}

// Refills each block the device has finished with, while not paused.
DWORD WINAPI runOutput(LPVOID)
{
    while (!output.stopping.load(std::memory_order_acquire)) {
        WaitForSingleObject(output.blockDone, INFINITE);
        for (int i = 0; i < BLOCK_COUNT && !output.stopping.load(std::memory_order_acquire); ++i) {
            if (output.queued[i] && (output.headers[i].dwFlags & WHDR_DONE))
                output.queued[i] = false;
            if (!output.queued[i] && !output.paused.load(std::memory_order_acquire))
                queueBlock(i);
        }
    }
    return 0;
}

// Opens the device in float samples, or in 16-bit ones where the driver
// takes no float.
MMRESULT openDevice(UINT id, uint32_t rate)
{
    for (bool floatSamples : {true, false}) {
        WAVEFORMATEX format = {};
        format.wFormatTag = floatSamples ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
        format.nChannels = AUDIO_OUT_CHANNELS;
        format.nSamplesPerSec = rate;
        format.wBitsPerSample = floatSamples ? 32 : 16;
        format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
        format.nAvgBytesPerSec = rate * format.nBlockAlign;
        const MMRESULT result = waveOutOpen(&output.device, id, &format, reinterpret_cast<DWORD_PTR>(output.blockDone),
                                            0, CALLBACK_EVENT);
        if (result == MMSYSERR_NOERROR) {
            output.floatSamples = floatSamples;
            return result;
        }
        output.device = nullptr;
        if (result != WAVERR_BADFORMAT)
            return result;
    }
    return WAVERR_BADFORMAT;
}

bool prepareBlocks(std::string& reason)
{
    const size_t bytes = size_t(BLOCK_SAMPLES) * (output.floatSamples ? sizeof(float) : sizeof(int16_t));
    output.mix.assign(BLOCK_SAMPLES, 0.0f);
    for (int i = 0; i < BLOCK_COUNT; ++i) {
        output.blocks[i].assign(bytes, 0);
        WAVEHDR& header = output.headers[i];
        header = WAVEHDR{};
        header.lpData = reinterpret_cast<LPSTR>(output.blocks[i].data());
        header.dwBufferLength = static_cast<DWORD>(bytes);
        const MMRESULT result = waveOutPrepareHeader(output.device, &header, sizeof header);
        if (result != MMSYSERR_NOERROR) {
            reason = waveOutMessage(result);
            return false;
        }
        output.queued[i] = false;
    }
    return true;
}

void releaseDevice()
{
    if (output.device) {
        waveOutReset(output.device);  // every queued block comes back done
        for (WAVEHDR& header : output.headers)
            if (header.dwFlags & WHDR_PREPARED)
                waveOutUnprepareHeader(output.device, &header, sizeof header);
        waveOutClose(output.device);
        output.device = nullptr;
    }
    if (output.blockDone) {
        CloseHandle(output.blockDone);
        output.blockDone = nullptr;
    }
    for (bool& busy : output.queued)
        busy = false;
    output.latencyFrames.store(0, std::memory_order_relaxed);
}

}  // namespace

void win32SetSilentOutput(bool silent)
{
    silentOutput = silent;
}

bool audioOutOpen(int device, uint32_t rate, AudioOutFill fill, AudioOutFeed feed, void* user, std::string& reason)
{
    if (output.device) {
        reason = "output already open";
        return false;
    }
    if (silentOutput) {
        reason = "a headless run plays nothing";
        return false;
    }
    const UINT count = waveOutGetNumDevs();
    if (count == 0) {
        reason = "no waveOut device";
        return false;
    }
    UINT id = WAVE_MAPPER;
    if (device >= 1) {
        if (static_cast<UINT>(device) > count) {
            reason = "no such audio device";
            return false;
        }
        id = static_cast<UINT>(device - 1);
    }
    output.fill = fill;
    output.user = user;
    output.stopping.store(false);
    output.paused.store(true);
    output.blockDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!output.blockDone) {
        reason = "cannot create an event";
        return false;
    }
    const MMRESULT result = openDevice(id, rate);
    if (result != MMSYSERR_NOERROR) {
        reason = waveOutMessage(result);
        releaseDevice();
        return false;
    }
    if (!prepareBlocks(reason)) {
        releaseDevice();
        return false;
    }
    if (!audioFeederStart(feed, user, rate, reason)) {
        releaseDevice();
        return false;
    }
    output.thread = CreateThread(nullptr, 0, runOutput, nullptr, 0, nullptr);
    if (!output.thread) {
        reason = "cannot start the output thread";
        audioFeederStop();
        releaseDevice();
        return false;
    }
    SetThreadPriority(output.thread, THREAD_PRIORITY_HIGHEST);
    return true;
}

uint32_t audioOutLatencyFrames()
{
    return output.device ? output.latencyFrames.load(std::memory_order_relaxed) : 0;
}

void audioOutSetPaused(bool paused)
{
    if (!output.device)
        return;
    output.paused.store(paused, std::memory_order_release);
    if (paused) {
        waveOutPause(output.device);
    } else {
        waveOutRestart(output.device);
        SetEvent(output.blockDone);  // fill the blocks not yet queued
    }
}

void audioOutFlush()
{
    // The device holds no more than its own blocks.
}

void audioOutClose()
{
    if (output.thread) {
        output.stopping.store(true, std::memory_order_release);
        SetEvent(output.blockDone);
        WaitForSingleObject(output.thread, INFINITE);
        CloseHandle(output.thread);
        output.thread = nullptr;
    }
    audioFeederStop();
    releaseDevice();
    output.fill = nullptr;
    output.user = nullptr;
}
