// sound_sheet.cpp -- the game's sounds as WAV files, with figures, for
// listening and looking at.
//
// Usage: sound_sheet <out dir>.  Renders each sound alone (centre pan, from a
// reset mixer) into <out dir>/<name>.wav and all of them in a row, a quarter
// of a second apart, into <out dir>/all.wav, and prints one line per sound:
// its length, peak and RMS (dBFS, left channel, over its length) and its
// dominant frequency over its first 50 ms and its first half second.
// scripts/sound_sheet.sh turns all.wav into docs/sounds.png.
#include "sound/sound.h"
#include "sound/wav.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double RATE = SOUND_RATE;

std::vector<int16_t> render_alone(int id) {
    sound_reset();
    sound_start(id, 320);
    std::vector<int16_t> out(2 * static_cast<size_t>(sound_length_frames(id)));
    sound_render(out.data(), sound_length_frames(id));
    return out;
}

void write_wav(const std::string& path, const std::vector<int16_t>& stereo) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "sound_sheet: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    uint8_t header[WAV_HEADER_BYTES];
    wav_header(header, static_cast<uint32_t>(stereo.size() / 2));
    std::fwrite(header, 1, sizeof header, f);
    for (int16_t s : stereo) { // little-endian whatever the machine
        const uint8_t b[2] = {static_cast<uint8_t>(s & 0xFF), static_cast<uint8_t>((s >> 8) & 0xFF)};
        std::fwrite(b, 1, 2, f);
    }
    if (std::fclose(f) != 0) std::exit(1);
}

// The strongest frequency (Hz, 10 Hz steps from 50 to 8000) of the left
// channel's frames [from, to), by a Hann-windowed DFT.
int dominant(const std::vector<int16_t>& s, int from, int to) {
    const int n = to - from;
    double best = -1;
    int best_f = 0;
    for (int f = 50; f <= 8000; f += 10) {
        double re = 0, im = 0;
        const double w = 2 * M_PI * f / RATE;
        for (int i = 0; i < n; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
            const double v = s[2 * static_cast<size_t>(from + i)] * hann;
            re += v * std::cos(w * i);
            im += v * std::sin(w * i);
        }
        if (re * re + im * im > best) best = re * re + im * im, best_f = f;
    }
    return best_f;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sound_sheet <out dir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    sound_init();
    if (*sound_init_error() != '\0') {
        std::fprintf(stderr, "sound_sheet: %s\n", sound_init_error());
        return 1;
    }
    std::vector<int16_t> all;
    std::printf("%-14s %8s %8s %8s %8s %8s\n", "sound", "length", "peak", "rms", "f50ms", "f500ms");
    for (int id = 0; id < SOUND_COUNT; ++id) {
        const std::vector<int16_t> s = render_alone(id);
        write_wav(dir + "/" + sound_name(id) + ".wav", s);
        all.insert(all.end(), s.begin(), s.end());
        all.insert(all.end(), 2 * SOUND_RATE / 4, 0);
        const int frames = static_cast<int>(s.size() / 2);
        double peak = 0, sum = 0;
        for (int i = 0; i < frames; ++i) {
            const double v = s[2 * static_cast<size_t>(i)] / 32768.0;
            peak = std::fmax(peak, std::fabs(v));
            sum += v * v;
        }
        const int early = frames < SOUND_RATE / 20 ? frames : SOUND_RATE / 20;
        std::printf("%-14s %7.3fs %6.1fdB %6.1fdB %6dHz %6dHz\n", sound_name(id), frames / RATE,
                    20 * std::log10(peak), 10 * std::log10(sum / frames), dominant(s, 0, early),
                    dominant(s, 0, frames < SOUND_RATE / 2 ? frames : SOUND_RATE / 2));
    }
    write_wav(dir + "/all.wav", all);
    return 0;
}
