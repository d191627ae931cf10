// sound.cpp -- the sound table and the mixer (see sound.h).  Eight voices,
// each one sound playing (or fading out before the next starts), panned
// with equal power, summed, scaled by the master volume and passed through
// a soft knee that keeps the output at or under -1 dBFS.  Work is done in
// blocks of MIX_FRAMES on fixed buffers.
#include "sound/sound.h"

#include "sound/sound_synth.h"
#include "sound/sound_text.h"

#include <cmath>
#include <cstring>

std::atomic<int> sound_master_volume{100};
std::atomic<bool> sound_master_muted{false};

namespace {

// The embedded text of assets/sounds/ (made by cmake/embed_sounds.cmake).
const char EMBEDDED[] =
#include "sounds_embedded.inc"
    ;

constexpr int MIX_FRAMES = 64;
constexpr float KNEE = 0.5f;     // the output is untouched below this
constexpr float CEILING = 0.88f; // and never reaches this (-1.1 dBFS)
constexpr float GAIN_STEP = 1.f / 480; // master gain change per frame (10 ms end to end)

struct Voice {
    int id;               // sound playing, -1 = free
    SoundPlay play;
    float left, right;    // pan gains
    int fade;             // frames of fade-out left (0 = not fading)
    int next_id, next_x;  // what starts when the fade ends (-1 = nothing)
    unsigned serial;      // order of starting: the oldest is stolen first
};

SoundDef g_table[SOUND_COUNT];
bool g_ready = false;
char g_error[256];
Voice g_voice[SOUND_VOICES];
unsigned g_serial = 0;
unsigned g_starts[SOUND_COUNT]; // starts of each kind, for the alternation
float g_gain = 1;               // master gain now (moves toward the target)

float target_gain() {
    if (sound_master_muted.load(std::memory_order_relaxed)) return 0;
    return static_cast<float>(sound_master_volume.load(std::memory_order_relaxed)) / 100;
}

void begin(Voice& v, int id, int x) {
    const float p = 0.6f * static_cast<float>((x < 0 ? 0 : (x > 639 ? 639 : x)) - 320) / 320;
    const float angle = (p + 1) * 0.785398163f; // 0..pi/2, centre pi/4
    v.left = std::cos(angle);
    v.right = std::sin(angle);
    v.id = id;
    v.fade = 0;
    v.next_id = -1;
    v.serial = ++g_serial;
    synth_start(&v.play, &g_table[id], (g_starts[id]++ & 1u) != 0);
}

// Lets the voice's sound fade out, then start id.  Called by sound_start.
void replace(Voice& v, int id, int x) {
    if (v.fade == 0) v.fade = SOUND_FADE_FRAMES;
    v.next_id = id;
    v.next_x = x;
    v.serial = ++g_serial;
}

// The kind a voice counts as: what it will play once its fade is over.
int kind(const Voice& v) { return v.fade > 0 ? v.next_id : v.id; }

// Jingles (the sounds allowed more than an effect's length, and the start
// sound that leads into the first one) never sound together: one asked for
// while another plays waits for it to end (the latest one asked for waits;
// an earlier waiting one is dropped).
bool is_jingle(int id) {
    return id == SOUND_START || (id >= 0 && sound_limit_frames(id) > sound_limit_frames(SOUND_EGG));
}
int g_waiting_jingle = -1, g_waiting_x = 0;
bool jingle_playing(int except) {
    for (const Voice& v : g_voice)
        if (v.id >= 0 && is_jingle(kind(v)) && kind(v) != except) return true;
    return false;
}

// Adds the voice's next n frames into l and r.  Called by mix_block.
void render_voice(Voice& v, float* l, float* r, int n) {
    int done = 0;
    while (done < n && v.id >= 0) {
        int m = n - done;
        if (v.fade > 0 && m > v.fade) m = v.fade;
        float mono[MIX_FRAMES] = {};
        synth_render(&v.play, mono, m);
        if (v.fade > 0) {
            for (int j = 0; j < m; ++j) {
                const float u = static_cast<float>(v.fade - j) / static_cast<float>(SOUND_FADE_FRAMES);
                mono[j] *= u * u;
            }
        }
        for (int j = 0; j < m; ++j) {
            l[done + j] += v.left * mono[j];
            r[done + j] += v.right * mono[j];
        }
        done += m;
        if (v.fade > 0) {
            v.fade -= m;
            if (v.fade == 0) {
                if (v.next_id >= 0) {
                    const unsigned serial = v.serial;
                    begin(v, v.next_id, v.next_x);
                    v.serial = serial;
                } else {
                    v.id = -1;
                }
            }
        } else if (synth_done(&v.play)) {
            v.id = -1;
        }
    }
}

// The soft knee: the identity up to KNEE, then a tanh bend toward CEILING.
inline float limit(float x) {
    const float a = std::fabs(x);
    if (a <= KNEE) return x;
    const float y = KNEE + (CEILING - KNEE) * std::tanh((a - KNEE) / (CEILING - KNEE));
    return x < 0 ? -y : y;
}

inline int16_t to_pcm(float x) {
    const float s = limit(x) * 32767.f;
    return static_cast<int16_t>(s < 0 ? s - 0.5f : s + 0.5f);
}

void mix_block(int16_t* out, int n) {
    float l[MIX_FRAMES] = {}, r[MIX_FRAMES] = {};
    for (Voice& v : g_voice)
        if (v.id >= 0) render_voice(v, l, r, n);
    const float target = target_gain();
    float g = g_gain;
    for (int j = 0; j < n; ++j) {
        if (g < target) g = g + GAIN_STEP < target ? g + GAIN_STEP : target;
        else if (g > target) g = g - GAIN_STEP > target ? g - GAIN_STEP : target;
        out[2 * j] = to_pcm(l[j] * g);
        out[2 * j + 1] = to_pcm(r[j] * g);
    }
    g_gain = g;
}

} // namespace

int sound_length_frames(int id) {
    sound_init();
    return (id >= 0 && id < SOUND_COUNT) ? g_table[id].length : 0;
}

void sound_init() {
    if (g_ready) return;
    g_ready = true;
    if (!sound_text_parse(EMBEDDED, sizeof EMBEDDED - 1, g_table, g_error, sizeof g_error))
        std::memset(g_table, 0, sizeof g_table); // every sound silent
    sound_reset();
}

const char* sound_init_error() { return g_error; }

const char* sound_text() { return EMBEDDED; }

void sound_reset() {
    g_waiting_jingle = -1;
    for (Voice& v : g_voice) {
        std::memset(&v, 0, sizeof v);
        v.id = v.next_id = -1;
    }
    std::memset(g_starts, 0, sizeof g_starts);
    g_serial = 0;
    g_gain = target_gain();
}

void sound_start(int id, int x) {
    sound_init();
    if (id < 0 || id >= SOUND_COUNT || g_table[id].part_count == 0) return;
    if (is_jingle(id) && jingle_playing(id)) {
        g_waiting_jingle = id;
        g_waiting_x = x;
        return;
    }
    Voice* same = nullptr;
    Voice* free_voice = nullptr;
    Voice* oldest = nullptr;
    for (Voice& v : g_voice) {
        if (v.id >= 0 && kind(v) == id) same = &v;
        if (v.id < 0 && free_voice == nullptr) free_voice = &v;
        if (v.id >= 0 && (oldest == nullptr || v.serial < oldest->serial)) oldest = &v;
    }
    if (same != nullptr) replace(*same, id, x);
    else if (free_voice != nullptr) begin(*free_voice, id, x);
    else replace(*oldest, id, x);
}

void sound_render(int16_t* out, int frames) {
    sound_init();
    while (frames > 0) {
        const int n = frames < MIX_FRAMES ? frames : MIX_FRAMES;
        mix_block(out, n);
        if (g_waiting_jingle >= 0 && !jingle_playing(-1)) {
            const int id = g_waiting_jingle;
            g_waiting_jingle = -1;
            sound_start(id, g_waiting_x);
        }
        out += 2 * n;
        frames -= n;
    }
}

void sound_set_volume(int percent) {
    sound_master_volume.store(percent < 0 ? 0 : (percent > 100 ? 100 : percent), std::memory_order_relaxed);
}
int sound_volume() { return sound_master_volume.load(std::memory_order_relaxed); }
void sound_set_muted(bool muted) { sound_master_muted.store(muted, std::memory_order_relaxed); }
bool sound_muted() { return sound_master_muted.load(std::memory_order_relaxed); }

int sound_voices_busy() {
    int n = 0;
    for (const Voice& v : g_voice) n += v.id >= 0;
    return n;
}
