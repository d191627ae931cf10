// proof_file.cpp -- level proofs as recordings (proof_file.h).
//
// Both directions drive the game with a back-end of their own for the
// while: no window, ticks that pass at once, nothing heard and no event told.
// The writer's tick holds the plan's keys of the coming frame, answers a box
// with Space, and writes the tick's line; the reader's tick applies the
// recording's next line as a replay does.
#include "platform/proof_file.h"

#include "main/shell.h"
#include "main/snapshot.h"
#include "platform/record.h"
#include "port/platform.h"
#include "port/system.h"
#include "proof/prove.h"
#include "services/game_events.h"
#include "services/keyboard.h"
#include "sound/sound_device.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

RecordWriter g_writer;
long g_frames_started = 0; // PLAY_FRAME calls begun
bool g_box_answered = false;
ReplayCursor g_cursor;
bool g_ran_out = false;

int quiet_open(int, int, const char*) { return 0; }
void quiet_title(const char*) {}
void quiet_present() {}
void quiet_close() {}

// The writer's tick: the keys of the frame to come, Space for a box, the line.
void writer_tick(int) {
    const unsigned char keys = g_frames_started < proof_frame_count ? proof_keys[static_cast<int>(g_frames_started)] : 0;
    keyboard_clear_held();
    if (keys & PROOF_LEFT) keyboard_set_held(KEY_LEFT, true);
    if (keys & PROOF_RIGHT) keyboard_set_held(KEY_RIGHT, true);
    if (keys & PROOF_UP) keyboard_set_held(KEY_UP, true);
    if (keys & PROOF_DOWN) keyboard_set_held(KEY_DOWN, true);
    int queued[1];
    int queued_count = 0;
    if (shell_wait() != SHELL_IN_BOX) {
        g_box_answered = false;
    } else if (!g_box_answered) {
        keyboard_queue(' ');
        queued[queued_count++] = ' ';
        g_box_answered = true;
    }
    unsigned char held[128];
    keyboard_held_table(held);
    record_line(&g_writer, held, queued, queued_count);
    keyboard_tick_boundary();
}

// The reader's tick: the recording's next line, exactly as a replay applies it.
void reader_tick(int) {
    TickInput in;
    if (g_ran_out || !replay_next(&g_cursor, &in)) {
        g_ran_out = true;
        keyboard_clear_held();
    } else {
        keyboard_clear_held();
        for (int code = 0; code < 128; ++code)
            if (in.held[code]) keyboard_set_held(code, true);
        for (int i = 0; i < in.queued_count; ++i) keyboard_queue(in.queued[i]);
    }
    keyboard_tick_boundary();
}

const Platform writer_platform = {
    "proof writer", quiet_open, quiet_title, quiet_present, writer_tick, quiet_close, false, false, nullptr,
};
const Platform reader_platform = {
    "proof reader", quiet_open, quiet_title, quiet_present, reader_tick, quiet_close, false, false, nullptr,
};

// The run's back-end, listener and sound, put aside for a while.
struct Aside {
    const Platform* platform = ::platform();
    EventListener listener = event_listener();
    const SoundDevice* sound = sound_device();
};

void put_aside(const Platform* p) {
    install_platform(p);
    set_event_listener(nullptr);
    sound_set_device(nullptr);
}

void put_back(const Aside& a) {
    install_platform(a.platform);
    set_event_listener(a.listener);
    sound_set_device(a.sound);
}

// The level played from its start until it ends, a life is lost or (reading)
// the recording runs out.
void play_level(int level, uint32_t seed, LevelReplay* out) {
    LEVEL_SETUP(level, seed);
    g_frames_started = 0;
    g_box_answered = false;
    LEVEL_START();
    const int lives_before = lives;
    while (quit_code == 0 && lives == lives_before && !g_ran_out && g_frames_started < PROOF_FRAMES_MAX + 1) {
        g_frames_started++;
        PLAY_FRAME();
    }
    out->frames = g_frames_started;
    out->score = score;
    out->lives_lost = lives_before - lives;
    out->completed = quit_code == 2 && lives == lives_before;
}

} // namespace

bool write_level_proof(const char* path, int level, uint32_t seed, char* why, int size) {
    FileWrite file;
    const int fd = file_write_begin(&file, path, 0644);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (f == nullptr) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        file_write_abort(&file);
        std::snprintf(why, static_cast<size_t>(size), "cannot write %s: %s", path, std::strerror(error));
        return false;
    }
    record_begin(&g_writer, f, record_header_now(seed, level));
    std::fprintf(f, "# level %d on its own (LEVEL_SETUP %d, seed %u), as the prover found it\n", level, level,
                 static_cast<unsigned>(seed));
    // Line 0, at the screen's opening: nothing held.
    const unsigned char none[128] = {};
    record_line(&g_writer, none, nullptr, 0);

    const Aside aside;
    put_aside(&writer_platform);
    LevelReplay play;
    play_level(level, seed, &play);
    put_back(aside);

    record_finish(&g_writer);
    std::fprintf(f, "# frames %ld\n# score %d\n", play.frames, play.score);
    g_writer.file = nullptr;
    const bool written = std::ferror(f) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!play.completed) {
        file_write_abort(&file);
        std::snprintf(why, static_cast<size_t>(size), "the plan does not complete level %d when played", level);
        return false;
    }
    if (!written || !closed || !file_write_commit(&file, FILE_COMMIT_REPLACE)) {
        const int error = errno;
        file_write_abort(&file);
        std::snprintf(why, static_cast<size_t>(size), "cannot write %s: %s", path, std::strerror(error));
        return false;
    }
    return true;
}

bool replay_level_recording(const char* path, int level, LevelReplay* out, char* why, int size) {
    *out = LevelReplay{};
    Recording rec;
    std::string error;
    if (!load_recording(path, &rec, &error)) {
        std::snprintf(why, static_cast<size_t>(size), "%s: %s", path, error.c_str());
        return false;
    }
    const Aside aside;
    put_aside(&reader_platform);
    g_ran_out = false;
    replay_start(&g_cursor, &rec);
    TickInput first;
    if (!replay_next(&g_cursor, &first)) g_ran_out = true; // line 0, at the screen's opening
    play_level(level, rec.seed, out);
    replay_finish(&g_cursor);
    put_back(aside);
    return true;
}
