#include "soundtrack.h"

#include "synth.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int BAR_FRAMES = STEP_FRAMES * STEPS_PER_BAR;
constexpr long DROP_FRAME = long(DROP_SECONDS * SAMPLE_RATE);
constexpr int FIRST_BAR = -6;
constexpr double TWO_PI = 6.283185307179586;  // the intro starts before time 0; its head is cut

enum class Section { Intro, Main, Breakdown, Full, Drive, Light, Outro };

// Bars counted from the drop (bar 0 starts at 11.0 s, each lasts 1.92 s).
Section sectionOf(int bar)
{
    if (bar < 0) return Section::Intro;
    if (bar < 13) return Section::Main;       // 11.0 - 35.96 s
    if (bar < 15) return Section::Breakdown;  // 35.96 - 39.8 s
    if (bar < 44) return Section::Full;       // 39.8 - 95.48 s
    if (bar < 59) return Section::Drive;      // 95.48 - 124.28 s
    if (bar < 68) return Section::Light;      // 124.28 - 141.56 s
    return Section::Outro;
}

struct Chord {
    int bass;      // MIDI note of the bass
    int voices[4];  // pad voicing
};

// Am, F, C, G, one chord a bar.
const Chord PROGRESSION[4] = {
    {33, {57, 60, 64, 69}},
    {29, {57, 60, 65, 69}},
    {36, {55, 60, 64, 67}},
    {31, {55, 59, 62, 67}},
};

struct LeadNote {
    int barInCycle, step, length, note;
};

const LeadNote MELODY[] = {
    {0, 0, 4, 76}, {0, 4, 2, 72}, {0, 6, 2, 74}, {0, 8, 6, 76},
    {1, 0, 4, 77}, {1, 4, 2, 76}, {1, 6, 2, 72}, {1, 8, 6, 69},
    {2, 0, 4, 67}, {2, 4, 4, 72}, {2, 8, 4, 76}, {2, 12, 4, 79},
    {3, 0, 6, 79}, {3, 6, 2, 74}, {3, 8, 8, 71},
};

// The mix buses: dry sound, sound ducked under the kick, effect sends.
struct Buses {
    std::vector<float> left, right;           // dry
    std::vector<float> duckLeft, duckRight;   // ducked by the kick
    std::vector<float> reverbSend, delaySend;
    std::vector<float> duck;                  // gain of the ducked bus, 0..1
    long frames;

    explicit Buses(long n)
        : left(n, 0.0f), right(n, 0.0f), duckLeft(n, 0.0f), duckRight(n, 0.0f),
          reverbSend(n, 0.0f), delaySend(n, 0.0f), duck(n, 1.0f), frames(n) {}
};

long stepFrame(int bar, int step)
{
    return DROP_FRAME + long(bar) * BAR_FRAMES + long(step) * STEP_FRAMES;
}

float envelope(long i, long attack, long length, long release)
{
    float level = 1.0f;
    if (i < attack) level = float(i) / float(attack);
    if (i > length) level *= std::max(0.0f, 1.0f - float(i - length) / float(release));
    return level;
}

void kick(Buses& b, long start, float level)
{
    const long length = long(0.4f * SAMPLE_RATE);
    double phase = 0.0;
    for (long i = 0; i < length; ++i) {
        const long at = start + i;
        if (at < 0) continue;
        if (at >= b.frames) break;
        const float t = float(i) / SAMPLE_RATE;
        const float frequency = 47.0f + 115.0f * std::exp(-t / 0.028f);
        phase += double(frequency) / SAMPLE_RATE;
        const float amp = std::min(1.0f, t / 0.0015f) * std::exp(-t / 0.14f);
        const float body = std::tanh(1.8f * float(std::sin(TWO_PI * phase))) / std::tanh(1.8f);
        const float v = level * amp * body;
        b.left[at] += v;
        b.right[at] += v;
        // Pads, bass and arpeggio dip under each kick and swell back.
        b.duck[at] = std::min(b.duck[at], 1.0f - 0.6f * std::exp(-t / 0.09f));
    }
}

void bass(Buses& b, long start, long length, int note, float level, float brightness)
{
    BlepOscillator saw;
    float subPhase = 0.0f;  // a sine an octave under the saw's fundamental
    StateVariableFilter filter;
    const float frequency = noteFrequency(note);
    const long release = long(0.02f * SAMPLE_RATE);
    for (long i = 0; i < length + release; ++i) {
        const long at = start + i;
        if (at >= b.frames) break;
        const float t = float(i) / SAMPLE_RATE;
        if ((i & 15) == 0) {
            filter.set(160.0f + brightness * 1500.0f * std::exp(-t / 0.08f), 0.35f);
        }
        const float raw = 0.7f * saw.next(frequency, false) + 0.45f * std::sin(2.0f * PI_F * subPhase);
        subPhase += 0.5f * frequency / SAMPLE_RATE;
        subPhase -= subPhase >= 1.0f ? 1.0f : 0.0f;
        const float v = level * envelope(i, long(0.003f * SAMPLE_RATE), length, release) *
                        filter.lowPass(raw);
        if (at < 0) continue;
        b.duckLeft[at] += v;
        b.duckRight[at] += v;
    }
}

void hat(Buses& b, Noise& noise, long start, float level, bool open, float pan)
{
    StateVariableFilter filter;
    filter.set(open ? 7000.0f : 8500.0f, 0.2f);
    const float decay = open ? 0.15f : 0.028f;
    const long length = long(decay * 6.0f * SAMPLE_RATE);
    for (long i = 0; i < length; ++i) {
        const long at = start + i;
        if (at >= b.frames) break;
        const float v = level * std::exp(-float(i) / SAMPLE_RATE / decay) *
                        filter.highPass(noise.next());
        if (at < 0) continue;
        b.left[at] += v * (1.0f - pan);
        b.right[at] += v * (1.0f + pan);
    }
}

void clap(Buses& b, Noise& noise, long start, float level)
{
    StateVariableFilter filter;
    filter.set(1400.0f, 0.45f);
    const long length = long(0.5f * SAMPLE_RATE);
    for (long i = 0; i < length; ++i) {
        const long at = start + i;
        if (at >= b.frames) break;
        const float t = float(i) / SAMPLE_RATE;
        // Three quick hands, then the room.
        float amp = 0.6f * std::exp(-t / 0.09f);
        for (int hand = 0; hand < 3; ++hand) {
            const float since = t - 0.011f * float(hand);
            if (since >= 0.0f) amp += std::exp(-since / 0.004f);
        }
        float low, band, high;
        filter.process(noise.next(), low, band, high);
        const float v = level * amp * band;
        if (at < 0) continue;
        b.left[at] += v;
        b.right[at] += v;
        b.reverbSend[at] += 0.5f * v;
    }
}

// One pad chord: two detuned saws per voice, one on each side.
void pad(Buses& b, const Chord& chord, long start, long length, float level, float cutoff)
{
    const long attack = long(0.35f * SAMPLE_RATE);
    const long release = long(0.5f * SAMPLE_RATE);
    BlepOscillator oscillators[8];
    for (int i = 0; i < 8; ++i) oscillators[i].phase = float(i) * 0.137f;
    StateVariableFilter lowL, lowR, highL, highR;
    lowL.set(cutoff, 0.2f);
    lowR.set(cutoff, 0.2f);
    highL.set(260.0f, 0.0f);
    highR.set(260.0f, 0.0f);
    float frequencies[8];
    for (int v = 0; v < 4; ++v) {
        const float f = noteFrequency(chord.voices[v]);
        frequencies[2 * v] = f * 0.9962f;     // -6.6 cents
        frequencies[2 * v + 1] = f * 1.0038f;  // +6.6 cents
    }
    for (long i = 0; i < length + release; ++i) {
        const long at = start + i;
        if (at >= b.frames) break;
        float sideL = 0.0f, sideR = 0.0f;
        for (int v = 0; v < 4; ++v) {
            sideL += oscillators[2 * v].next(frequencies[2 * v], false);
            sideR += oscillators[2 * v + 1].next(frequencies[2 * v + 1], false);
        }
        const float amp = level * envelope(i, attack, length, release);
        const float l = amp * highL.highPass(lowL.lowPass(sideL));
        const float r = amp * highR.highPass(lowR.lowPass(sideR));
        if (at < 0) continue;
        b.duckLeft[at] += l;
        b.duckRight[at] += r;
        b.reverbSend[at] += 0.35f * (l + r);
    }
}

void pluck(Buses& b, long start, int note, float level, float pan, float delaySend)
{
    BlepOscillator square, saw;
    StateVariableFilter filter;
    const float frequency = noteFrequency(note);
    const long length = long(0.3f * SAMPLE_RATE);
    for (long i = 0; i < length; ++i) {
        const long at = start + i;
        if (at >= b.frames) break;
        const float t = float(i) / SAMPLE_RATE;
        if ((i & 15) == 0) filter.set(700.0f + 3200.0f * std::exp(-t / 0.06f), 0.3f);
        const float raw = 0.5f * square.next(frequency, true) + 0.5f * saw.next(frequency * 2.0f, false);
        const float v = level * std::min(1.0f, t / 0.002f) * std::exp(-t / 0.085f) *
                        filter.lowPass(raw);
        if (at < 0) continue;
        b.duckLeft[at] += v * (1.0f - pan);
        b.duckRight[at] += v * (1.0f + pan);
        b.delaySend[at] += delaySend * v;
    }
}

void lead(Buses& b, long start, long length, int note, float level)
{
    BlepOscillator a, c;
    StateVariableFilter filterL, filterR;
    const float frequency = noteFrequency(note);
    const long release = long(0.12f * SAMPLE_RATE);
    for (long i = 0; i < length + release; ++i) {
        const long at = start + i;
        if (at >= b.frames) break;
        const float t = float(i) / SAMPLE_RATE;
        if ((i & 15) == 0) {
            const float cutoff = 1400.0f + 2600.0f * std::exp(-t / 0.25f);
            filterL.set(cutoff, 0.25f);
            filterR.set(cutoff, 0.25f);
        }
        const float vibrato = 1.0f + 0.004f * std::min(1.0f, t / 0.4f) * std::sin(2.0f * PI_F * 5.5f * t);
        const float amp = level * envelope(i, long(0.01f * SAMPLE_RATE), length, release);
        const float l = amp * filterL.lowPass(a.next(frequency * 0.997f * vibrato, false));
        const float r = amp * filterR.lowPass(c.next(frequency * 1.003f * vibrato, false));
        if (at < 0) continue;
        b.duckLeft[at] += l;
        b.duckRight[at] += r;
        b.delaySend[at] += 0.3f * (l + r);
        b.reverbSend[at] += 0.25f * (l + r);
    }
}

// Noise swept from low to high, growing louder: the lift into a drop.
void riser(Buses& b, Noise& noise, long start, long length, float level)
{
    // The guards keep the sweep's low start out of the show's bass bins.
    StateVariableFilter bandL, bandR, guardL, guardR;
    guardL.set(600.0f, 0.0f);
    guardR.set(600.0f, 0.0f);
    for (long i = 0; i < length; ++i) {
        const long at = start + i;
        if (at >= b.frames) break;
        const float x = float(i) / float(length);
        if ((i & 15) == 0) {
            const float cutoff = 500.0f * std::pow(16.0f, x);
            bandL.set(cutoff, 0.6f);
            bandR.set(cutoff * 1.1f, 0.6f);
        }
        float low, band, high;
        bandL.process(noise.next(), low, band, high);
        const float l = guardL.highPass(band);
        bandR.process(noise.next(), low, band, high);
        const float r = guardR.highPass(band);
        const float amp = level * x * x;
        if (at < 0) continue;
        b.left[at] += amp * l;
        b.right[at] += amp * r;
        b.reverbSend[at] += 0.3f * amp * (l + r);
    }
}

void crash(Buses& b, Noise& noise, long start, float level)
{
    StateVariableFilter filterL, filterR;
    filterL.set(5000.0f, 0.1f);
    filterR.set(5200.0f, 0.1f);
    const long length = long(2.5f * SAMPLE_RATE);
    for (long i = 0; i < length && start + i < b.frames; ++i) {
        const float amp = level * std::exp(-float(i) / SAMPLE_RATE / 0.55f);
        const float l = amp * filterL.highPass(noise.next());
        const float r = amp * filterR.highPass(noise.next());
        b.left[start + i] += l;
        b.right[start + i] += r;
        b.reverbSend[start + i] += 0.3f * (l + r);
    }
}

struct Parts {
    bool kick = false, clap = false, openHats = false, lead = false;
    float hats = 0.0f;       // closed hat level
    float bassLevel = 0.0f;
    int bassPattern = 0;     // 0 none, 1 off-beat eighths, 2 rolling, 3 driving, 4 long
    float padLevel = 0.0f, padCutoff = 1200.0f;
    float arpLevel = 0.0f;
    bool halfTimeKick = false;
};

Parts partsOf(int bar)
{
    Parts p;
    switch (sectionOf(bar)) {
    case Section::Intro: {
        const float rise = float(bar - FIRST_BAR) / float(-FIRST_BAR);  // 0..1 over the intro
        p.padLevel = 0.05f;
        p.padCutoff = 500.0f + 2200.0f * rise;
        p.arpLevel = bar >= -4 ? 0.05f + 0.04f * rise : 0.0f;
        p.hats = bar >= -2 ? 0.05f : 0.0f;
        break;
    }
    case Section::Main:
        p.kick = p.clap = true;
        p.hats = 0.07f;
        p.bassLevel = 0.22f;
        p.bassPattern = 1;
        p.padLevel = 0.045f;
        p.padCutoff = 2400.0f;
        p.arpLevel = 0.08f;
        break;
    case Section::Breakdown:
        p.padLevel = 0.06f;
        p.padCutoff = 1400.0f;
        p.arpLevel = 0.07f;
        p.hats = 0.04f;
        break;
    case Section::Full:
        p.kick = p.clap = p.openHats = true;
        p.lead = bar >= 23;
        p.hats = 0.08f;
        p.bassLevel = 0.2f;
        p.bassPattern = 2;
        p.padLevel = 0.045f;
        p.padCutoff = 3000.0f;
        p.arpLevel = 0.07f;
        break;
    case Section::Drive:
        p.kick = p.clap = p.openHats = p.lead = true;
        p.hats = 0.09f;
        p.bassLevel = 0.19f;
        p.bassPattern = 3;
        p.padLevel = 0.04f;
        p.padCutoff = 3500.0f;
        p.arpLevel = 0.08f;
        break;
    case Section::Light:
        p.kick = true;
        p.halfTimeKick = true;
        p.hats = 0.05f;
        p.bassLevel = 0.18f;
        p.bassPattern = 4;
        p.padLevel = 0.055f;
        p.padCutoff = 1800.0f;
        p.arpLevel = 0.08f;
        break;
    case Section::Outro:
        p.kick = bar < 70;
        p.hats = 0.05f;
        p.bassLevel = bar < 70 ? 0.18f : 0.0f;
        p.bassPattern = 4;
        p.padLevel = 0.055f;
        p.padCutoff = 1500.0f;
        p.arpLevel = 0.07f;
        break;
    }
    return p;
}

void arrangeBar(Buses& b, Noise& noise, int bar)
{
    const Parts p = partsOf(bar);
    const Chord& chord = PROGRESSION[((bar % 4) + 4) % 4];
    const long barStart = stepFrame(bar, 0);

    if (p.padLevel > 0.0f) {
        pad(b, chord, barStart, BAR_FRAMES, p.padLevel, p.padCutoff);
    }
    for (int step = 0; step < STEPS_PER_BAR; ++step) {
        const long at = stepFrame(bar, step);
        const bool beat = step % 4 == 0;
        if (p.kick && beat && (!p.halfTimeKick || step % 8 == 0)) {
            kick(b, at, 0.92f);
        }
        if (p.clap && (step == 4 || step == 12)) {
            clap(b, noise, at, 0.32f);
        }
        if (p.hats > 0.0f) {
            const bool offBeat = step % 4 == 2;
            if (p.openHats && offBeat) {
                hat(b, noise, at, p.hats * 0.9f, true, 0.15f);
            } else {
                hat(b, noise, at, p.hats * (offBeat ? 1.0f : 0.55f), false, step % 2 ? -0.3f : 0.25f);
            }
        }
        // Bass: never on the kick's sixteenth, so the two stay apart.
        const long sixteenth = STEP_FRAMES;
        switch (p.bassPattern) {
        case 1:
            if (step % 4 == 2) bass(b, at, sixteenth, chord.bass, p.bassLevel, 0.6f);
            break;
        case 2:
            if (step % 4 == 2 || step % 4 == 3)
                bass(b, at, sixteenth * 3 / 4, chord.bass + (step % 4 == 3 ? 12 : 0), p.bassLevel, 0.7f);
            break;
        case 3:
            if (!beat)
                bass(b, at, sixteenth * 3 / 4, chord.bass + (step % 4 == 2 ? 12 : 0), p.bassLevel, 0.8f);
            break;
        case 4:
            if (step == 2 || step == 10) bass(b, at, sixteenth * 5, chord.bass, p.bassLevel, 0.3f);
            break;
        default:
            break;
        }
        if (p.arpLevel > 0.0f) {
            static const int ORDER[8] = {0, 1, 2, 3, 2, 1, 3, 2};
            const int note = chord.voices[ORDER[step % 8]] + 12;
            pluck(b, at, note, p.arpLevel, step % 2 ? 0.4f : -0.4f, 0.45f);
        }
    }
    if (p.lead) {
        const int cycle = ((bar % 4) + 4) % 4;
        for (const LeadNote& n : MELODY) {
            if (n.barInCycle == cycle) {
                lead(b, stepFrame(bar, n.step), long(n.length) * STEP_FRAMES - STEP_FRAMES / 4,
                     n.note, 0.05f);
            }
        }
    }
    // Lifts before the drop and before the full part, crashes on arrival.
    if (bar == -2 || bar == 13) {
        riser(b, noise, barStart, 2L * BAR_FRAMES, 0.16f);
    }
    if (bar == 0 || bar == 15 || bar == 44 || bar == 59) {
        crash(b, noise, barStart, 0.12f);
    }
}

}  // namespace

StereoBuffer renderSoundtrack()
{
    const long frames = long(SOUNDTRACK_SECONDS * SAMPLE_RATE);
    Buses b(frames);
    Noise noise(0x51A7E5u);
    const int lastBar = int((frames - DROP_FRAME) / BAR_FRAMES);
    for (int bar = FIRST_BAR; bar <= lastBar; ++bar) {
        arrangeBar(b, noise, bar);
    }

    StereoBuffer out;
    out.left = b.left;
    out.right = b.right;
    for (long i = 0; i < frames; ++i) {
        out.left[i] += b.duck[i] * b.duckLeft[i];
        out.right[i] += b.duck[i] * b.duckRight[i];
    }
    pingPongDelay(b.delaySend, out.left, out.right, 3 * STEP_FRAMES, 0.45f, 0.5f);
    reverb(b.reverbSend, out.left, out.right, 0.8f, 0.4f, 0.6f);

    // The outro fades with the picture: full until 145 s, silent at 153 s.
    const long fadeStart = long(145.0 * SAMPLE_RATE);
    const long fadeEnd = long(153.0 * SAMPLE_RATE);
    for (long i = fadeStart; i < frames; ++i) {
        const float x = std::min(1.0f, float(i - fadeStart) / float(fadeEnd - fadeStart));
        const float gain = 0.5f + 0.5f * std::cos(PI_F * x);
        out.left[i] *= gain;
        out.right[i] *= gain;
    }
    limit(out.left, out.right, LIMITER_CEILING, 0.005f, 0.12f);
    return out;
}
