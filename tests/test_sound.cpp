// test_sound.cpp -- the sounds and the mixer: the embedded text and refused
// texts, lengths, clicks at the ends of a sound and when a voice is
// restarted or stolen, piling up, the output ceiling, determinism, volume,
// mute and pan, the pickups told apart, the levels of the frequent sounds;
// the cue queue and the WAV header.
#include "services/random.h"
#include "sound/cue_queue.h"
#include "sound/sound.h"
#include "sound/sound_text.h"
#include "sound/wav.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int MS2 = SOUND_RATE / 500; // 2 ms of frames
constexpr double PI = 3.14159265358979;
constexpr double RATE = SOUND_RATE;

std::vector<int16_t> render(int frames) {
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    sound_render(out.data(), frames);
    return out;
}

// One channel of a sound played alone from a reset mixer, its whole length.
std::vector<int> alone(int id, int x = 320, int channel = 0) {
    sound_reset();
    sound_start(id, x);
    const std::vector<int16_t> s = render(sound_length_frames(id));
    std::vector<int> ch(s.size() / 2);
    for (size_t i = 0; i < ch.size(); ++i) ch[i] = s[2 * i + channel];
    return ch;
}

std::vector<int> left(const std::vector<int16_t>& s) {
    std::vector<int> ch(s.size() / 2);
    for (size_t i = 0; i < ch.size(); ++i) ch[i] = s[2 * i];
    return ch;
}

int peak(const std::vector<int>& s, size_t from = 0, size_t to = SIZE_MAX) {
    int p = 0;
    for (size_t i = from; i < s.size() && i < to; ++i) p = std::max(p, std::abs(s[i]));
    return p;
}

// The largest step between neighbouring samples of s[from, to).
int largest_step(const std::vector<int>& s, size_t from, size_t to) {
    int m = 0;
    for (size_t i = from + 1; i < to && i < s.size(); ++i) m = std::max(m, std::abs(s[i] - s[i - 1]));
    return m;
}

double rms_db(const std::vector<int>& s) {
    double sum = 0;
    for (int v : s) sum += double(v) * v;
    return 10 * std::log10(sum / double(s.size()) / (32768.0 * 32768.0));
}

// The strongest frequency of s[0, n) (Hann window, 10 Hz steps to 8 kHz).
int dominant(const std::vector<int>& s, int n) {
    double best = -1;
    int best_f = 0;
    for (int f = 50; f <= 8000; f += 10) {
        double re = 0, im = 0;
        for (int i = 0; i < n; ++i) {
            const double v = s[i] * (0.5 - 0.5 * std::cos(2 * PI * i / n));
            re += v * std::cos(2 * PI * f * i / RATE);
            im += v * std::sin(2 * PI * f * i / RATE);
        }
        if (re * re + im * im > best) best = re * re + im * im, best_f = f;
    }
    return best_f;
}

bool parses(const std::string& text, std::string* error) {
    static SoundDef table[SOUND_COUNT];
    char buf[256];
    const bool ok = sound_text_parse(text.data(), text.size(), table, buf, sizeof buf);
    *error = buf;
    return ok;
}

class Sound : public ::testing::Test {
protected:
    void SetUp() override {
        sound_init();
        sound_set_volume(100);
        sound_set_muted(false);
        sound_reset();
    }
    void TearDown() override { SetUp(); }
};

} // namespace

TEST_F(Sound, EmbeddedTextGivesEverySoundWithinItsLimit) {
    EXPECT_STREQ(sound_init_error(), "");
    EXPECT_STREQ(sound_name(-1), "");
    EXPECT_STREQ(sound_name(SOUND_COUNT), "");
    EXPECT_STREQ(sound_name(SOUND_LIFE_LOST), "life-lost");
    for (int id = 0; id < SOUND_COUNT; ++id) {
        SCOPED_TRACE(sound_name(id));
        EXPECT_GT(sound_length_frames(id), SOUND_RATE / 100);
        EXPECT_LE(sound_length_frames(id), sound_limit_frames(id));
        const std::vector<int> s = alone(id);
        EXPECT_GT(peak(s), 300);                 // it is heard
        EXPECT_EQ(sound_voices_busy(), 0);       // and over at its length
        EXPECT_EQ(peak(left(render(MS2))), 0);
    }
    EXPECT_EQ(sound_limit_frames(SOUND_GAME_OVER), 3 * SOUND_RATE);
    EXPECT_EQ(sound_limit_frames(SOUND_FALL), 6 * SOUND_RATE / 10);
}

TEST_F(Sound, BrokenTextsAreRefusedNamingTheSoundAndLine) {
    const std::string good = sound_text();
    std::string error;
    ASSERT_TRUE(parses(good, &error)) << error;
    auto edit = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        const size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? t : t.replace(at, from.size(), to);
    };
    const struct {
        std::string text, message;
    } broken[] = {
        {edit("[egg]\n", "[egs]\n"), "egs"},
        {edit("[egg]\n", ""), "sound 'egg' missing"},
        {"x = 1\n" + good, "line 1: text before the first [sound]"},
        {edit("[seed]\n", "[egg]\n"), "given twice"},
        {edit("wave = triangle", "wave = trangle"), "unknown wave"},
        {edit("freq = 1046.5", "freq = 1046.5.0"), "egg:4: '1046.5.0' is not a number"},
        {edit("freq = 1046.5", "freq = 20000"), "outside"},
        {edit("attack = 0.006", "attack = 0.001"), "outside"},
        {edit("gain = ", "gian = "), "unknown key 'gian'"},
        {edit("c5/1", "c9/1"), "octave"},
        {edit("c5/1", "c5"), "length"},
        {edit("sustain = 0.45", "sustain = 0.9"), "fall:"},
        {edit("notes = g5/2 c5/2", "freq = 440"), "tempo without notes"},
        {edit("filter = low\ncutoff = 7000", "filter = low"), "without a cutoff"},
        {good + "[start]\npart\n", "given twice"},
        {good.substr(0, good.find("[time-up]")), "sound 'time-up' missing"},
        {std::string("[egg]\npart\nwave = saw\0", 22), "NUL"},
    };
    for (const auto& b : broken) {
        EXPECT_FALSE(parses(b.text, &error)) << b.message;
        EXPECT_NE(error.find(b.message), std::string::npos) << error << " <- " << b.message;
    }
}

TEST_F(Sound, EverySoundStartsAndEndsWithoutAClick) {
    for (int id = 0; id < SOUND_COUNT; ++id) {
        SCOPED_TRACE(sound_name(id));
        const std::vector<int> s = alone(id);
        const int limit = peak(s) / 4;
        EXPECT_LE(largest_step(s, 0, MS2), limit);
        EXPECT_LE(largest_step(s, s.size() - MS2, s.size()), limit);
        EXPECT_LE(std::abs(s.front()), limit / 8);
        EXPECT_LE(std::abs(s.back()), limit / 8);
    }
}

TEST_F(Sound, RestartAndStealingFadeTheOldSoundOut) {
    const std::vector<int> fall = alone(SOUND_FALL);
    const int limit = peak(fall) / 4;
    // Restart: the whistle cut in the middle, where it is loudest.
    sound_reset();
    sound_start(SOUND_FALL, 320);
    std::vector<int> s = left(render(SOUND_RATE / 5));
    sound_start(SOUND_FALL, 320);
    const std::vector<int> after = left(render(SOUND_FADE_FRAMES + 4 * MS2));
    s.insert(s.end(), after.begin(), after.end());
    EXPECT_LE(largest_step(s, SOUND_RATE / 5 - MS2, s.size()), limit);
    EXPECT_EQ(sound_voices_busy(), 1);
    // Stealing: eight kinds busy, the whistle oldest; a ninth kind takes its
    // voice.  The difference from the same play without the ninth start is
    // the whistle fading and the newcomer starting: both smooth.
    // (Effects only: jingles wait for each other instead of sounding together.)
    const int kinds[8] = {SOUND_FALL, SOUND_LIFE_LOST, SOUND_TIME_UP, SOUND_EXTRA_LIFE,
                          SOUND_DUCK_FREE, SOUND_SEED, SOUND_JUMP, SOUND_EGG};
    const int busy = SOUND_RATE / 20; // all eight still sounding
    sound_set_volume(25); // all eight well under the limiter's knee, so the mix adds up exactly
    const int quiet_limit = peak(alone(SOUND_FALL)) / 4;
    std::vector<int> with, without;
    for (int steal = 0; steal < 2; ++steal) {
        sound_reset();
        for (int k : kinds) sound_start(k, 320);
        std::vector<int> out = left(render(busy));
        if (steal) {
            EXPECT_EQ(sound_voices_busy(), 8);
            sound_start(SOUND_CLIMB, 320);
        }
        const std::vector<int> more = left(render(SOUND_FADE_FRAMES + MS2 / 2));
        out.insert(out.end(), more.begin(), more.end());
        (steal ? with : without) = out;
    }
    std::vector<int> diff(with.size());
    for (size_t i = 0; i < diff.size(); ++i) diff[i] = with[i] - without[i];
    EXPECT_EQ(peak(diff, 0, busy), 0);
    EXPECT_GT(peak(diff), quiet_limit / 4); // the whistle did go
    EXPECT_LE(largest_step(diff, busy - MS2, diff.size()), quiet_limit);
}

TEST_F(Sound, AJingleWaitsForTheOneBeforeIt) {
    // The last egg's jingle, then the next level's box: one after the other.
    sound_reset();
    sound_start(SOUND_LEVEL_CLEAR, 320);
    sound_start(SOUND_LEVEL_START, 320);
    EXPECT_EQ(sound_voices_busy(), 1);
    render(sound_length_frames(SOUND_LEVEL_CLEAR) - MS2);
    EXPECT_EQ(sound_voices_busy(), 1) << "the second jingle started early";
    render(2 * MS2);
    EXPECT_EQ(sound_voices_busy(), 1) << "the second jingle did not follow";
    const std::vector<int> rest = left(render(sound_length_frames(SOUND_LEVEL_START)));
    EXPECT_GT(peak(rest), 1000);
    EXPECT_EQ(sound_voices_busy(), 0);
}

TEST_F(Sound, RepeatedStepsRestartTheirVoiceInsteadOfPilingUp) {
    const int single = peak(alone(SOUND_STEP));
    sound_reset();
    int loudest = 0;
    for (int tick = 0; tick < 60; ++tick) {
        sound_start(SOUND_STEP, 320);
        loudest = std::max(loudest, peak(left(render(SOUND_TICK_FRAMES))));
        EXPECT_EQ(sound_voices_busy(), 1);
    }
    EXPECT_LE(loudest, single * 21 / 20);
}

TEST_F(Sound, EightBusyVoicesStayAtOrUnderMinusOneDbfs) {
    const int ceiling = static_cast<int>(32768 * std::pow(10.0, -1.0 / 20)); // -1 dBFS
    int loudest = 0;
    // Every kind started again every few ticks, spread over the screen, so
    // eight voices are always busy and stolen in turn.
    for (int tick = 0; tick < 300; ++tick) {
        if (tick % 5 == 0) {
            for (int id = 0; id < SOUND_COUNT; ++id) sound_start((id + tick) % SOUND_COUNT, (id * 97 + tick) % 640);
            EXPECT_EQ(sound_voices_busy(), SOUND_VOICES);
        }
        const std::vector<int16_t> s = render(SOUND_TICK_FRAMES);
        for (int16_t v : s) loudest = std::max(loudest, std::abs(int(v)));
    }
    EXPECT_LE(loudest, ceiling);
    EXPECT_GT(loudest, ceiling * 3 / 4); // the mix did reach the limiter
}

TEST_F(Sound, SameCallsGiveTheSameSamplesInAnySliceAndLeaveTheGameRandomAlone) {
    RandomState before, after;
    random_get_state(&before);
    auto play = [](int slice) {
        sound_reset();
        std::vector<int16_t> out;
        for (int tick = 0; tick < 120; ++tick) {
            if (tick % 7 == 0) sound_start(SOUND_STEP, tick * 5);
            if (tick % 30 == 3) sound_start((tick / 30) % SOUND_COUNT, 600 - tick);
            if (tick == 50) sound_set_volume(60);
            for (int done = 0; done < SOUND_TICK_FRAMES; done += slice) {
                const std::vector<int16_t> s = render(std::min(slice, SOUND_TICK_FRAMES - done));
                out.insert(out.end(), s.begin(), s.end());
            }
        }
        sound_set_volume(100);
        return out;
    };
    const std::vector<int16_t> a = play(SOUND_TICK_FRAMES);
    EXPECT_EQ(a, play(SOUND_TICK_FRAMES));
    EXPECT_EQ(a, play(37));
    random_get_state(&after);
    EXPECT_EQ(std::memcmp(before.word, after.word, sizeof before.word), 0);
    EXPECT_EQ(before.index, after.index);
}

TEST_F(Sound, ThePickupsDifferInTheirFirst50ms) {
    const int egg = dominant(alone(SOUND_EGG), SOUND_RATE / 20);
    const int seed = dominant(alone(SOUND_SEED), SOUND_RATE / 20);
    EXPECT_GT(std::max(egg, seed), std::min(egg, seed) * 3 / 2) << egg << " Hz against " << seed << " Hz";
}

TEST_F(Sound, FrequentSoundsSit12To15DbUnderThePickups) {
    for (int quiet : {SOUND_STEP, SOUND_CLIMB, SOUND_LAND})
        for (int pickup : {SOUND_EGG, SOUND_SEED}) {
            const double under = rms_db(alone(pickup)) - rms_db(alone(quiet));
            EXPECT_GE(under, 12) << sound_name(quiet) << " under " << sound_name(pickup);
            EXPECT_LE(under, 15) << sound_name(quiet) << " under " << sound_name(pickup);
        }
}

TEST_F(Sound, VolumeScalesMuteAndZeroSilenceAndXPans) {
    const std::vector<int> full = alone(SOUND_FALL);
    sound_set_volume(50);
    EXPECT_EQ(sound_volume(), 50);
    const std::vector<int> half = alone(SOUND_FALL);
    EXPECT_NEAR(rms_db(full) - rms_db(half), 20 * std::log10(2.0), 0.05);
    sound_set_volume(-5);
    EXPECT_EQ(sound_volume(), 0);
    EXPECT_EQ(peak(alone(SOUND_LEVEL_CLEAR)), 0);
    sound_set_volume(100);
    sound_set_muted(true);
    EXPECT_TRUE(sound_muted());
    EXPECT_EQ(peak(alone(SOUND_LEVEL_CLEAR)), 0);
    sound_set_muted(false);
    // Centre: both sides alike; the left edge: +-0.6 of the way, equal power.
    EXPECT_EQ(alone(SOUND_FALL, 320, 0), alone(SOUND_FALL, 320, 1));
    const double l = rms_db(alone(SOUND_FALL, 0, 0)), r = rms_db(alone(SOUND_FALL, 0, 1));
    EXPECT_NEAR(l - r, 20 * std::log10(std::cos(0.1 * PI) / std::sin(0.1 * PI)), 0.1);
    EXPECT_NEAR(l, rms_db(full) + 20 * std::log10(std::cos(0.1 * PI) / std::cos(0.25 * PI)), 0.1);
}

TEST(CueQueue, KeepsOrderRefusesWhenFullAndWrapsAround) {
    static CueQueue q;
    cue_clear(&q);
    Cue c;
    EXPECT_FALSE(cue_pop(&q, &c));
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < CUE_CAPACITY; ++i) EXPECT_TRUE(cue_push(&q, {int16_t(i % SOUND_COUNT), int16_t(i), uint32_t(round * 1000 + i)}));
        EXPECT_FALSE(cue_push(&q, {0, 0, 0}));
        EXPECT_EQ(cue_count(&q), CUE_CAPACITY);
        for (int i = 0; i < CUE_CAPACITY - 10; ++i) {
            ASSERT_TRUE(cue_pop(&q, &c));
            EXPECT_EQ(c.tick, uint32_t(round * 1000 + i));
            EXPECT_EQ(c.x, i);
        }
        for (int i = CUE_CAPACITY - 10; i < CUE_CAPACITY; ++i) ASSERT_TRUE(cue_pop(&q, &c));
        EXPECT_EQ(c.tick, uint32_t(round * 1000 + CUE_CAPACITY - 1));
        EXPECT_FALSE(cue_pop(&q, &c));
    }
}

TEST(CueQueue, TwoThreadsPassEveryCueOnceInOrder) {
    static CueQueue q;
    cue_clear(&q);
    constexpr uint32_t COUNT = 200000;
    std::thread producer([] {
        for (uint32_t i = 0; i < COUNT;)
            if (cue_push(&q, {int16_t(i % SOUND_COUNT), int16_t(i % 640), i})) ++i;
    });
    uint32_t expected = 0;
    bool in_order = true;
    while (expected < COUNT) {
        Cue c;
        if (!cue_pop(&q, &c)) continue;
        in_order = in_order && c.tick == expected && c.x == int16_t(expected % 640);
        ++expected;
    }
    producer.join();
    EXPECT_TRUE(in_order);
    EXPECT_EQ(cue_count(&q), 0);
}

TEST(Wav, HeaderDescribes16BitStereoAt48kHz) {
    uint8_t h[WAV_HEADER_BYTES];
    wav_header(h, 1000);
    auto u32 = [&](int at) { return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8 | uint32_t(h[at + 2]) << 16 | uint32_t(h[at + 3]) << 24; };
    auto u16 = [&](int at) { return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8; };
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h), 4), "RIFF");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h + 8), 8), "WAVEfmt ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h + 36), 4), "data");
    EXPECT_EQ(u32(4), 36u + 4000u);
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(u16(20), 1u);
    EXPECT_EQ(u16(22), 2u);
    EXPECT_EQ(u32(24), 48000u);
    EXPECT_EQ(u32(28), 192000u);
    EXPECT_EQ(u16(32), 4u);
    EXPECT_EQ(u16(34), 16u);
    EXPECT_EQ(u32(40), 4000u);
}
