// sound_synth.cpp -- one sound playing (see sound_synth.h).  Each part runs
// its notes in turn; within a note the pitch and the filter are worked out
// every CONTROL_FRAMES frames, and each run of frames goes through three
// short loops: the oscillator (band-limited square and saw by polyBLEP, plain
// triangle, the 15-bit noise register), the state-variable filter, and the
// envelope (a squared rise over the attack and a squared fall over the
// decay, so a note starts and ends at zero with no step).
#include "sound/sound_synth.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int CONTROL_FRAMES = 32;
constexpr float RATE = static_cast<float>(SOUND_RATE);
constexpr float PI = 3.14159265358979f;
constexpr float DUTY[3] = {0.125f, 0.25f, 0.5f};

// The polyBLEP correction for a step at phase 0, phase t, step dt.
// Called by the square and saw loops.
inline float blep(float t, float dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1;
    }
    if (t > 1 - dt) {
        t = (t - 1) / dt;
        return t * t + t + t + 1;
    }
    return 0;
}

// Works out the phase step and the filter coefficients for the frames ahead.
// Called by render_part at each note start and every CONTROL_FRAMES frames.
void control(const SoundPart& pt, PartState& s, bool odd) {
    const float t = static_cast<float>(s.note_pos) / RATE;
    float semis = odd ? pt.alternate : 0.f;
    if (pt.arp_count > 0) {
        int step = s.note_pos / pt.arp_step;
        step = pt.arp_loop ? step % pt.arp_count : (step < pt.arp_count ? step : pt.arp_count - 1);
        semis += static_cast<float>(pt.arp[step]);
    }
    if (pt.vibrato > 0) semis += pt.vibrato * std::sin(2 * PI * pt.vibrato_rate * t);
    float f = pt.note[s.note].freq * std::exp2(pt.slide * t + semis / 12);
    f = f < 20 ? 20 : (f > 16000 ? 16000 : f);
    s.inc = f / RATE;
    if (pt.filter != FILTER_OFF) {
        float fc = pt.cutoff * std::exp2(pt.cutoff_slide * t);
        fc = fc < 20 ? 20 : (fc > 0.45f * RATE ? 0.45f * RATE : fc);
        const float g = std::tan(PI * fc / RATE);
        s.fk = 1 / pt.resonance;
        s.fa1 = 1 / (1 + g * (g + s.fk));
        s.fa2 = g * s.fa1;
        s.fa3 = g * s.fa2;
    }
}

// The oscillator's next m frames into w.  Called by render_run.
void oscillate(const SoundPart& pt, PartState& s, float* w, int m) {
    float ph = s.phase;
    const float dt = s.inc;
    switch (pt.wave) {
    case WAVE_SQUARE12:
    case WAVE_SQUARE25:
    case WAVE_SQUARE50: {
        const float duty = DUTY[pt.wave - WAVE_SQUARE12];
        const float dc = 2 * duty - 1;
        for (int j = 0; j < m; ++j) {
            ph += dt;
            if (ph >= 1) ph -= 1;
            float t2 = ph - duty;
            if (t2 < 0) t2 += 1;
            w[j] = (ph < duty ? 1.f : -1.f) - dc + blep(ph, dt) - blep(t2, dt);
        }
        break;
    }
    case WAVE_TRIANGLE:
        for (int j = 0; j < m; ++j) {
            ph += dt;
            if (ph >= 1) ph -= 1;
            w[j] = 4 * std::fabs(ph - 0.5f) - 1;
        }
        break;
    case WAVE_SAW:
        for (int j = 0; j < m; ++j) {
            ph += dt;
            if (ph >= 1) ph -= 1;
            w[j] = 2 * ph - 1 - blep(ph, dt);
        }
        break;
    default: { // noise: the register is clocked each time the phase wraps
        uint16_t r = s.lfsr;
        float v = s.noise;
        for (int j = 0; j < m; ++j) {
            ph += dt;
            if (ph >= 1) {
                ph -= 1;
                const uint16_t bit = (r ^ (r >> 1)) & 1u;
                r = static_cast<uint16_t>((r >> 1) | (bit << 14));
                v = (r & 1u) ? 1.f : -1.f;
            }
            w[j] = v;
        }
        s.lfsr = r;
        s.noise = v;
        break;
    }
    }
    s.phase = ph;
}

// The filter over w[0..m).  Called by render_run.
void filter(const SoundPart& pt, PartState& s, float* w, int m) {
    float ic1 = s.ic1, ic2 = s.ic2;
    const float a1 = s.fa1, a2 = s.fa2, a3 = s.fa3, k = s.fk;
    // The output mixes the three responses: low = v2, band = v1,
    // high = input - k v1 - v2.
    const float ci = pt.filter == FILTER_HIGH ? 1.f : 0.f;
    const float c1 = pt.filter == FILTER_BAND ? 1.f : (pt.filter == FILTER_HIGH ? -k : 0.f);
    const float c2 = pt.filter == FILTER_LOW ? 1.f : (pt.filter == FILTER_HIGH ? -1.f : 0.f);
    for (int j = 0; j < m; ++j) {
        const float v3 = w[j] - ic2;
        const float v1 = a1 * ic1 + a2 * v3;
        const float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2 * v1 - ic1;
        ic2 = 2 * v2 - ic2;
        w[j] = ci * w[j] + c1 * v1 + c2 * v2;
    }
    s.ic1 = ic1;
    s.ic2 = ic2;
}

// m frames (within one note and one control period) added to out.
// Called by render_part.
void render_run(const SoundPart& pt, PartState& s, float* out, int m, int note_frames) {
    float w[CONTROL_FRAMES];
    oscillate(pt, s, w, m);
    if (pt.filter != FILTER_OFF) filter(pt, s, w, m);
    const int hold_end = note_frames - pt.decay;
    for (int j = 0; j < m; ++j) {
        const int np = s.note_pos + j;
        float env = 1;
        if (np < pt.attack) {
            const float u = static_cast<float>(np) * s.inv_attack;
            env = u * u;
        } else if (np >= hold_end) {
            const float u = static_cast<float>(note_frames - np) * s.inv_decay;
            env = u * u;
        }
        out[j] += pt.gain * env * w[j];
    }
}

// This layer's share of frames [p->pos, p->pos + n) added to out.
// Called by synth_render.
void render_part(const SoundPart& pt, PartState& s, bool odd, int pos, float* out, int n) {
    int i = pt.start > pos ? pt.start - pos : 0;
    const int last = pt.length - pos < n ? pt.length - pos : n;
    while (i < last && s.note < pt.note_count) {
        const SoundNote& nt = pt.note[s.note];
        if (s.note_pos >= nt.frames) {
            ++s.note;
            s.note_pos = 0;
            s.ctl_left = 0;
            continue;
        }
        if (s.ctl_left == 0) {
            control(pt, s, odd);
            s.ctl_left = CONTROL_FRAMES;
        }
        int m = last - i;
        if (m > nt.frames - s.note_pos) m = nt.frames - s.note_pos;
        if (m > s.ctl_left) m = s.ctl_left;
        if (nt.freq > 0) render_run(pt, s, out + i, m, nt.frames);
        i += m;
        s.note_pos += m;
        s.ctl_left -= m;
    }
}

} // namespace

void synth_start(SoundPlay* p, const SoundDef* def, bool odd) {
    std::memset(p, 0, sizeof *p);
    p->def = def;
    p->odd = odd;
    for (int i = 0; i < def->part_count; ++i) {
        const SoundPart& pt = def->part[i];
        PartState& s = p->part[i];
        s.lfsr = pt.seed;
        s.noise = 1;
        s.inv_attack = pt.attack > 0 ? 1.f / static_cast<float>(pt.attack) : 0.f;
        s.inv_decay = pt.decay > 0 ? 1.f / static_cast<float>(pt.decay) : 0.f;
    }
}

void synth_render(SoundPlay* p, float* out, int n) {
    const SoundDef* d = p->def;
    if (d == nullptr) return;
    for (int i = 0; i < d->part_count; ++i) render_part(d->part[i], p->part[i], p->odd, p->pos, out, n);
    p->pos += n;
}

bool synth_done(const SoundPlay* p) { return p->def == nullptr || p->pos >= p->def->length; }
