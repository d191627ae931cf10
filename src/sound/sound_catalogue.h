// sound_catalogue.h -- what the game's sounds are (module "sound_catalogue"):
// their ids, the names their text files go by, the longest each may be, and
// the form a parsed sound takes.  Pure data: the sounds' text parser
// (sound_text.h), the synthesiser (sound_synth.h) and the mixer (sound.h)
// all stand on it, and it on nothing of theirs.
#pragma once

#include <cstdint>

enum SoundId {
    SOUND_EGG, SOUND_SEED, SOUND_JUMP, SOUND_LAND, SOUND_STEP, SOUND_CLIMB,
    SOUND_LIFE_LOST, SOUND_FALL, SOUND_TIME_LOW, SOUND_TIME_UP, SOUND_LEVEL_START,
    SOUND_LEVEL_CLEAR, SOUND_EXTRA_LIFE, SOUND_DUCK_FREE, SOUND_GAME_OVER,
    SOUND_ALL_COMPLETED, SOUND_START, SOUND_COUNT
};

enum { SOUND_RATE = 48000 }; // frames per second: every length in frames counts at it

// The sound's name as its text file is called ("egg", "life-lost", ...);
// "" for an id out of range.  Called by the parser, run control, the
// browser back-end, the tools and tests.
const char* sound_name(int id);

// The id of a name, -1 if none.  Called by the parser and the fuzzer.
int sound_id_of(const char* name, int length);

// The longest a sound may be: 3 s for the four jingles (level-start,
// level-clear, game-over, all-completed), 0.6 s for the rest.  Called by the
// parser, the mixer and tests.
int sound_limit_frames(int id);

// --- a parsed sound (filled by sound_text_parse, played by the synthesiser) ---
enum { SOUND_PARTS = 4, SOUND_NOTES = 40, SOUND_ARP = 8 };

enum SoundWave { WAVE_SQUARE12, WAVE_SQUARE25, WAVE_SQUARE50, WAVE_TRIANGLE, WAVE_SAW, WAVE_NOISE };
enum SoundFilter { FILTER_OFF, FILTER_LOW, FILTER_BAND, FILTER_HIGH };

struct SoundNote {
    float freq;   // Hz; 0 = a rest
    int frames;
};

struct SoundPart {
    int wave;
    int start;                  // frames after the sound's start
    int attack, sustain, decay; // frames (sustain of a tone; a note holds its length)
    float gain;                 // linear
    float slide;                // octaves a second
    float vibrato, vibrato_rate; // semitones, Hz
    int arp[SOUND_ARP];
    int arp_count;
    int arp_step;               // frames
    bool arp_loop;
    float alternate;            // semitones on every other start
    int filter;
    float cutoff, cutoff_slide, resonance;
    uint16_t seed;
    bool tune;                  // notes given (else one tone)
    int note_count;
    SoundNote note[SOUND_NOTES];
    int length;                 // frames from start to the end of the layer
};

struct SoundDef {
    int part_count;
    SoundPart part[SOUND_PARTS];
    int length;                 // frames of the whole sound
};

