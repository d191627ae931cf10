// sound_text.cpp -- the parser of the sounds' text (see sound_text.h): reads
// "[name]" sections of parts and `key = value` lines into the fixed sound
// table, checking every value's range, the tunes' notes and each sound's
// length.  Works on the text in place, with no heap and no locale.
#include "sound/sound_text.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

struct Parser {
    SoundDef* table;
    char* error;
    size_t error_size;
    int sound;          // section being read, -1 before the first
    int line;           // line within the section's file (global before any)
    SoundPart* part;    // part being read, null before its `part` line
    unsigned keys;      // keys the layer has set (one bit per entry of KEYS)
    bool seen[SOUND_COUNT];
    float tempo;
};

// Writes "<sound>:<line>: <message>" (or "line N: ..." before any sound) and
// returns false.  Called by every check.
bool refuse(Parser& ps, const char* format, ...) {
    char message[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (ps.error_size == 0) return false;
    if (ps.sound >= 0)
        std::snprintf(ps.error, ps.error_size, "%s:%d: %s", sound_name(ps.sound), ps.line, message);
    else if (ps.line > 0)
        std::snprintf(ps.error, ps.error_size, "line %d: %s", ps.line, message);
    else
        std::snprintf(ps.error, ps.error_size, "%s", message);
    return false;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// A token [b, e) compared with a word.  Called by the key and value readers.
bool same(const char* b, const char* e, const char* word) {
    const size_t n = std::strlen(word);
    return static_cast<size_t>(e - b) == n && std::memcmp(b, word, n) == 0;
}

// A decimal number "-12", "0.005", "+3.5" filling the whole of [b, e).
// Called by the value readers.
bool read_number(const char* b, const char* e, double* out) {
    double sign = 1, value = 0, scale = 1;
    int digits = 0;
    if (b < e && (*b == '-' || *b == '+')) sign = (*b++ == '-') ? -1 : 1;
    for (; b < e && *b >= '0' && *b <= '9'; ++b, ++digits) value = value * 10 + (*b - '0');
    if (b < e && *b == '.')
        for (++b; b < e && *b >= '0' && *b <= '9'; ++b, ++digits) value += (*b - '0') * (scale /= 10);
    if (b != e || digits == 0 || digits > 12) return false;
    *out = sign * value;
    return true;
}

int frames_of(double seconds) { return static_cast<int>(std::lround(seconds * static_cast<double>(SOUND_RATE))); }

// The numeric keys: name, smallest and largest value.
struct Key {
    const char* name;
    double lo, hi;
};
const Key KEYS[] = {
    {"wave", 0, 0},      {"freq", 20, 16000},  {"notes", 0, 0},        {"tempo", 40, 400},
    {"start", 0, 3},     {"attack", 0.002, 3}, {"sustain", 0, 3},      {"decay", 0.002, 3},
    {"slide", -24, 24},  {"vibrato", 0, 12},   {"vibrato_rate", 0, 40}, {"arp", 0, 0},
    {"arp_step", 0.005, 1}, {"arp_loop", 0, 1}, {"alternate", -24, 24}, {"filter", 0, 0},
    {"cutoff", 20, 20000}, {"cutoff_slide", -24, 24}, {"resonance", 0.5, 8}, {"gain", -60, 0},
    {"seed", 1, 32767},
};
enum KeyIndex {
    K_WAVE, K_FREQ, K_NOTES, K_TEMPO, K_START, K_ATTACK, K_SUSTAIN, K_DECAY, K_SLIDE, K_VIBRATO,
    K_VIBRATO_RATE, K_ARP, K_ARP_STEP, K_ARP_LOOP, K_ALTERNATE, K_FILTER, K_CUTOFF, K_CUTOFF_SLIDE,
    K_RESONANCE, K_GAIN, K_SEED, K_COUNT
};
static_assert(sizeof KEYS / sizeof KEYS[0] == K_COUNT, "one entry per key");

const char* const WAVES[] = {"square12", "square25", "square50", "triangle", "saw", "noise"};
const char* const FILTERS[] = {"off", "low", "band", "high"};

// One word of a list; -1 if none matches.  Called by set_value.
template <int N>
int word_index(const char* const (&words)[N], const char* b, const char* e) {
    for (int i = 0; i < N; ++i)
        if (same(b, e, words[i])) return i;
    return -1;
}

// Skips spaces and commas; returns the end of the next token.  Called by the
// list readers.
const char* next_token(const char** b, const char* e) {
    while (*b < e && (is_space(**b) || **b == ',')) ++*b;
    const char* t = *b;
    while (t < e && !is_space(*t) && *t != ',') ++t;
    return t;
}

// "c5/2", "g#4/1", "bb3/4", "r/2": a note (length in sixteenths for now).
bool read_note(Parser& ps, const char* b, const char* e, SoundNote* out) {
    static const int SEMITONE[7] = {9, 11, 0, 2, 4, 5, 7}; // a..g
    const char* slash = b;
    while (slash < e && *slash != '/') ++slash;
    double len;
    if (slash == e || !read_number(slash + 1, e, &len) || len < 1 || len > 64 || len != std::floor(len))
        return refuse(ps, "note '%.*s' needs a length of 1 to 64 sixteenths", static_cast<int>(e - b), b);
    out->frames = static_cast<int>(len);
    if (same(b, slash, "r")) {
        out->freq = 0;
        return true;
    }
    const char* p = b;
    if (p == slash || *p < 'a' || *p > 'g') return refuse(ps, "bad note '%.*s'", static_cast<int>(e - b), b);
    int semi = SEMITONE[*p++ - 'a'];
    if (p < slash && *p == '#') ++semi, ++p;
    else if (p < slash && *p == 'b') --semi, ++p;
    if (p + 1 != slash || *p < '1' || *p > '8')
        return refuse(ps, "bad note '%.*s' (octave 1 to 8)", static_cast<int>(e - b), b);
    const int midi = 12 * (*p - '0' + 1) + semi;
    out->freq = static_cast<float>(440.0 * std::exp2((midi - 69) / 12.0));
    return true;
}

// Sets one key of the current part from the value [b, e).  Called by
// read_line.
bool set_value(Parser& ps, int key, const char* b, const char* e) {
    SoundPart& pt = *ps.part;
    if (key == K_WAVE) {
        pt.wave = word_index(WAVES, b, e);
        return pt.wave >= 0 || refuse(ps, "unknown wave '%.*s'", static_cast<int>(e - b), b);
    }
    if (key == K_FILTER) {
        pt.filter = word_index(FILTERS, b, e);
        return pt.filter >= 0 || refuse(ps, "unknown filter '%.*s'", static_cast<int>(e - b), b);
    }
    if (key == K_NOTES) {
        pt.tune = true;
        for (const char* t = next_token(&b, e); b < e; b = t, t = next_token(&b, e)) {
            if (pt.note_count == SOUND_NOTES) return refuse(ps, "more than %d notes", SOUND_NOTES);
            if (!read_note(ps, b, t, &pt.note[pt.note_count++])) return false;
        }
        return pt.note_count > 0 || refuse(ps, "no notes");
    }
    if (key == K_ARP) {
        for (const char* t = next_token(&b, e); b < e; b = t, t = next_token(&b, e)) {
            double v;
            if (pt.arp_count == SOUND_ARP) return refuse(ps, "more than %d arpeggio steps", SOUND_ARP);
            if (!read_number(b, t, &v) || v != std::floor(v) || v < -24 || v > 24)
                return refuse(ps, "arpeggio step '%.*s' is not a whole -24..24", static_cast<int>(t - b), b);
            pt.arp[pt.arp_count++] = static_cast<int>(v);
        }
        return pt.arp_count > 0 || refuse(ps, "no arpeggio steps");
    }
    double v;
    if (!read_number(b, e, &v)) return refuse(ps, "'%.*s' is not a number", static_cast<int>(e - b), b);
    if (v < KEYS[key].lo || v > KEYS[key].hi)
        return refuse(ps, "%s %.*s outside %g..%g", KEYS[key].name, static_cast<int>(e - b), b, KEYS[key].lo,
                      KEYS[key].hi);
    const float f = static_cast<float>(v);
    switch (key) {
    case K_FREQ: pt.note[0].freq = f; break;
    case K_TEMPO: ps.tempo = f; break;
    case K_START: pt.start = frames_of(v); break;
    case K_ATTACK: pt.attack = frames_of(v); break;
    case K_SUSTAIN: pt.sustain = frames_of(v); break;
    case K_DECAY: pt.decay = frames_of(v); break;
    case K_SLIDE: pt.slide = f; break;
    case K_VIBRATO: pt.vibrato = f; break;
    case K_VIBRATO_RATE: pt.vibrato_rate = f; break;
    case K_ARP_STEP: pt.arp_step = frames_of(v); break;
    case K_ARP_LOOP: pt.arp_loop = v != 0; break;
    case K_ALTERNATE: pt.alternate = f; break;
    case K_CUTOFF: pt.cutoff = f; break;
    case K_CUTOFF_SLIDE: pt.cutoff_slide = f; break;
    case K_RESONANCE: pt.resonance = f; break;
    case K_GAIN: pt.gain = static_cast<float>(std::pow(10.0, v / 20)); break;
    case K_SEED: pt.seed = static_cast<uint16_t>(v); break;
    default: break;
    }
    if (key == K_SEED && v != std::floor(v)) return refuse(ps, "seed is a whole number");
    return true;
}

// Checks the layer just read and works out its notes' frames and length.
// Called at each `part`, section and the end.
bool finish_part(Parser& ps) {
    if (ps.part == nullptr) return true;
    SoundPart& pt = *ps.part;
    const unsigned k = ps.keys;
    auto has = [k](int key) { return (k >> key) & 1u; };
    if (!has(K_WAVE)) return refuse(ps, "a part without a wave");
    if (has(K_FREQ) == has(K_NOTES)) return refuse(ps, "a part needs either freq or notes");
    if (!has(K_ATTACK) || !has(K_DECAY)) return refuse(ps, "a part needs attack and decay");
    if (has(K_NOTES) && has(K_SUSTAIN)) return refuse(ps, "sustain with notes (each note holds its length)");
    if (has(K_TEMPO) && !has(K_NOTES)) return refuse(ps, "tempo without notes");
    if (pt.filter != FILTER_OFF && !has(K_CUTOFF)) return refuse(ps, "a filter without a cutoff");
    if (has(K_ARP_STEP) && !has(K_ARP)) return refuse(ps, "arp_step without arp");
    int body = 0;
    if (pt.tune) {
        const double sixteenth = 60.0 / ps.tempo / 4;
        for (int i = 0; i < pt.note_count; ++i) {
            SoundNote& n = pt.note[i];
            n.frames = frames_of(n.frames * sixteenth);
            if (n.freq > 0 && n.frames < pt.attack + pt.decay)
                return refuse(ps, "note %d is shorter than attack + decay", i + 1);
            body += n.frames;
        }
    } else {
        pt.note_count = 1;
        body = pt.note[0].frames = pt.attack + pt.sustain + pt.decay;
    }
    pt.length = pt.start + body;
    ps.part = nullptr;
    return true;
}

// Checks the sound just read: parts, length.  Called at each section and the end.
bool finish_sound(Parser& ps) {
    if (!finish_part(ps)) return false;
    if (ps.sound < 0) return true;
    SoundDef& d = ps.table[ps.sound];
    if (d.part_count == 0) return refuse(ps, "no parts");
    d.length = 0;
    for (int i = 0; i < d.part_count; ++i)
        if (d.part[i].length > d.length) d.length = d.part[i].length;
    if (d.length > sound_limit_frames(ps.sound))
        return refuse(ps, "%.3f s long, longer than its %.1f s", d.length / double(SOUND_RATE),
                      sound_limit_frames(ps.sound) / double(SOUND_RATE));
    return true;
}

void start_part(Parser& ps, SoundPart* pt) {
    std::memset(pt, 0, sizeof *pt);
    pt->gain = 1;
    pt->resonance = 0.7071f;
    pt->seed = 1;
    pt->arp_step = frames_of(0.05);
    ps.part = pt;
    ps.keys = 0;
    ps.tempo = 150;
}

// One line [b, e), comment and spaces already cut off.  Called by
// sound_text_parse.
bool read_line(Parser& ps, const char* b, const char* e) {
    if (*b == '[') {
        if (e[-1] != ']') return refuse(ps, "a section line needs a closing ']'");
        if (!finish_sound(ps)) return false;
        const int id = sound_id_of(b + 1, static_cast<int>(e - b - 2));
        if (id < 0) return refuse(ps, "unknown sound '%.*s'", static_cast<int>(e - b - 2), b + 1);
        if (ps.seen[id]) return refuse(ps, "sound '%s' given twice", sound_name(id));
        ps.seen[id] = true;
        ps.sound = id;
        ps.line = 0;
        std::memset(&ps.table[id], 0, sizeof ps.table[id]);
        return true;
    }
    if (ps.sound < 0) return refuse(ps, "text before the first [sound]");
    if (same(b, e, "part")) {
        if (!finish_part(ps)) return false;
        SoundDef& d = ps.table[ps.sound];
        if (d.part_count == SOUND_PARTS) return refuse(ps, "more than %d parts", SOUND_PARTS);
        start_part(ps, &d.part[d.part_count++]);
        return true;
    }
    const char* eq = b;
    while (eq < e && *eq != '=') ++eq;
    if (eq == e) return refuse(ps, "expected 'key = value' or 'part'");
    const char* ke = eq;
    while (ke > b && is_space(ke[-1])) --ke;
    const char* vb = eq + 1;
    while (vb < e && is_space(*vb)) ++vb;
    int key = 0;
    while (key < K_COUNT && !same(b, ke, KEYS[key].name)) ++key;
    if (key == K_COUNT) return refuse(ps, "unknown key '%.*s'", static_cast<int>(ke - b), b);
    if (ps.part == nullptr) return refuse(ps, "'%s' before the first 'part'", KEYS[key].name);
    if ((ps.keys >> key) & 1u) return refuse(ps, "'%s' given twice", KEYS[key].name);
    if (vb == e) return refuse(ps, "'%s' has no value", KEYS[key].name);
    ps.keys |= 1u << key;
    return set_value(ps, key, vb, e);
}

} // namespace

bool sound_text_parse(const char* text, size_t size, SoundDef* table, char* error, size_t error_size) {
    Parser ps{};
    ps.table = table;
    ps.error = error;
    ps.error_size = error_size;
    ps.sound = -1;
    if (error_size > 0) error[0] = '\0';
    const char* p = text;
    const char* end = text + size;
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (eol == nullptr) eol = end;
        ++ps.line;
        const char* b = p;
        const char* e = b;
        while (e < eol && *e != '#') ++e;
        while (b < e && is_space(*b)) ++b;
        while (e > b && is_space(e[-1])) --e;
        for (const char* c = p; c < eol; ++c)
            if (*c == '\0') return refuse(ps, "a NUL byte");
        if (b < e && !read_line(ps, b, e)) return false;
        p = eol + 1;
    }
    if (!finish_sound(ps)) return false;
    for (int id = 0; id < SOUND_COUNT; ++id)
        if (!ps.seen[id]) {
            ps.sound = -1;
            ps.line = 0;
            return refuse(ps, "sound '%s' missing", sound_name(id));
        }
    return true;
}
