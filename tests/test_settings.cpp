// test_settings.cpp -- the settings file: what the reader accepts and reports
// (with line numbers), updates that keep the player's own lines byte for
// byte, the file's place, saving that never writes through a link, and
// --help, the manual page and the README listing the keys as the file has them.
#include "platform/settings.h"

#include "main/options.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

void collect(void* context, const char* line) { static_cast<std::vector<std::string>*>(context)->push_back(line); }

std::vector<std::string> parse_text(const std::string& text, Settings* s) {
    std::vector<std::string> lines;
    settings_parse(text.data(), static_cast<int>(text.size()), "s.ini", s, collect, &lines);
    return lines;
}

// old updated to now, as a string (empty when refused).
std::string update(const std::string& old, const Settings& now) {
    auto in = std::make_unique<SettingsText>(), out = std::make_unique<SettingsText>();
    in->size = static_cast<int>(old.size());
    old.copy(in->bytes, old.size());
    if (!settings_update_text(*in, now, out.get())) return "";
    return std::string(out->bytes, static_cast<size_t>(out->size));
}

bool same(const Settings& a, const Settings& b) {
    return a.scale == b.scale && a.fit == b.fit && a.fullscreen == b.fullscreen && a.volume == b.volume &&
           a.mute == b.mute && a.pause_on_focus_loss == b.pause_on_focus_loss &&
           std::memcmp(&a.bindings, &b.bindings, sizeof a.bindings) == 0;
}

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

TEST(Settings, ReadsValuesAndReportsEachProblemOnItsLine) {
    Settings s;
    const std::string text = "# mine\n"
                             "scale = 3\n"
                             "volume=40\r\n"
                             "  mute = Yes\n"
                             "fullscreen = maybe\n"
                             "colour = red\n"
                             "just words\n"
                             "fit = true\0junk\n"
                             "key.left = KeyA, ArrowLeft\n"
                             "key.right = KeyA\n"
                             "key.up = Space, KeyW, KeyI\n"
                             "key.space = KeyX\n"
                             "pad.a = escape\n"
                             "pad.b = jump\n"
                             "volume = "s +
                             std::string(300, '9') + "\n" +
                             "key.screenshot = none";
    const std::vector<std::string> lines = parse_text(text, &s);
    const std::vector<std::string> want = {
        "s.ini:5: bad value 'maybe' for fullscreen (true or false); using the default",
        "s.ini:6: unknown key 'colour'",
        "s.ini:7: 'just words' is not a 'key = value' line",
        "s.ini:8: control characters or binary data; line ignored",
        "s.ini:11: bad value 'Space, KeyW, KeyI' for key.up (none, or one or two key names separated by a "
        "comma, such as A, Left or KeyA, ArrowLeft); using the default",
        "s.ini:14: bad value 'jump' for pad.b (an action: left, right, up, down, space, escape, screenshot, "
        "pause, mute, fullscreen or none); using the default",
        "s.ini:15: line too long (309 characters; at most 256)",
        "s.ini:10: KeyA is already bound to left; key.right keeps its default",
    };
    EXPECT_EQ(lines, want);
    EXPECT_EQ(s.scale, 3);
    EXPECT_EQ(s.volume, 40);
    EXPECT_TRUE(s.mute);
    EXPECT_FALSE(s.fullscreen);
    EXPECT_FALSE(s.fit);
    EXPECT_TRUE(s.pause_on_focus_loss);
    const KeyBindings& b = s.bindings;
    EXPECT_EQ(b.keys[BIND_LEFT][0], USAGE_A);
    EXPECT_EQ(b.keys[BIND_LEFT][1], USAGE_LEFT);
    EXPECT_EQ(b.keys[BIND_RIGHT][0], USAGE_RIGHT);
    EXPECT_EQ(b.keys[BIND_UP][0], USAGE_UP);
    EXPECT_EQ(b.keys[BIND_SPACE][0], keymap_usage_of_code("KeyX"));
    EXPECT_EQ(b.keys[BIND_SCREENSHOT][0] | b.keys[BIND_SCREENSHOT][1], 0);
    EXPECT_EQ(b.pad[PAD_A], BIND_ESCAPE);
    EXPECT_EQ(b.pad[PAD_B], BIND_NONE);
    EXPECT_TRUE(keymap_check_bindings(b, nullptr, 0));

    // A default key the file binds to another action leaves its own.
    ASSERT_TRUE(parse_text("key.pause = ArrowUp\nvolume = 101\nkey.left = KeyA, KeyA\n", &s).size() == 1);
    EXPECT_EQ(s.bindings.keys[BIND_UP][0] | s.bindings.keys[BIND_UP][1], 0);
    EXPECT_EQ(s.bindings.keys[BIND_LEFT][1], 0); // a key named twice counts once
    EXPECT_EQ(s.volume, 100);

    // Endless junk is summed up after SETTINGS_MAX_REPORTS lines.
    std::string junk;
    for (int i = 0; i < SETTINGS_MAX_REPORTS + 10; ++i) junk += "x\n";
    const std::vector<std::string> many = parse_text(junk, &s);
    ASSERT_EQ(many.size(), SETTINGS_MAX_REPORTS + 1u);
    EXPECT_EQ(many.back(), "s.ini: 10 more problems not shown");
}

TEST(Settings, UpdateRewritesOnlyChangedValuesAndKeepsEveryOtherByte) {
    const std::string old = "# my settings\r\n"
                            "volume = 20\n"
                            "colour = red\n"
                            "  volume =\t30   \r\n"
                            "??? junk\n"
                            "key.left = KeyA\n"
                            "fit = false";
    Settings s;
    ASSERT_EQ(parse_text(old, &s).size(), 2u);
    EXPECT_EQ(update(old, s), old); // nothing changed, nothing written

    s.volume = 75;                         // rewritten where it is decided: the last volume line
    s.mute = true;                         // new: appended after the unterminated last line
    s.bindings.keys[BIND_LEFT][1] = USAGE_LEFT;
    s.bindings.keys[BIND_DOWN][0] = keymap_usage_of_code("KeyS"); // S leaves screenshot
    s.bindings.keys[BIND_SCREENSHOT][0] = USAGE_F1 + 4;
    const std::string got = update(old, s);
    EXPECT_EQ(got, "# my settings\r\n"
                   "volume = 20\n"
                   "colour = red\n"
                   "  volume =\t75\r\n"
                   "??? junk\n"
                   "key.left = KeyA, ArrowLeft\n"
                   "fit = false\n"
                   "mute = true\n"
                   "key.down = KeyS\n"
                   "key.screenshot = F5\n");
    Settings back;
    EXPECT_TRUE(parse_text(got, &back).size() == 2u);
    EXPECT_TRUE(same(back, s));

    // Rewriting one binding can free a key another line asked for: that line follows.
    const std::string clash = "key.left = KeyA\nkey.right = KeyA\n";
    ASSERT_EQ(parse_text(clash, &s).size(), 1u);
    s.bindings.keys[BIND_LEFT][0] = keymap_usage_of_code("KeyQ");
    EXPECT_EQ(update(clash, s), "key.left = KeyQ\nkey.right = ArrowRight\n");

    // A new file gets a heading; values the file cannot hold are refused.
    settings_defaults(&s);
    s.scale = 2;
    EXPECT_EQ(update("", s), "# Clovenfeld Returns settings: one \"key = value\" a line.\nscale = 2\n");
    s.volume = 101;
    EXPECT_EQ(update("", s), "");
    settings_defaults(&s);
    s.bindings.keys[BIND_MUTE][0] = USAGE_LEFT; // Left for both left and mute
    EXPECT_EQ(update("", s), "");
}

TEST(Settings, KeysNamedAsPlayersKnowThemAreReadAndWrittenSo) {
    const std::string mine = "key.left = A, Left\nkey.pause = keypad 5\n";
    Settings s;
    EXPECT_EQ(parse_text(mine, &s), std::vector<std::string>{});
    const unsigned char left[2] = {USAGE_A, USAGE_LEFT}, pause[2] = {93, 0};
    EXPECT_EQ(std::memcmp(s.bindings.keys[BIND_LEFT], left, 2), 0);
    EXPECT_EQ(std::memcmp(s.bindings.keys[BIND_PAUSE], pause, 2), 0);
    EXPECT_EQ(update(mine, s), mine); // nothing changed, nothing written

    // A file naming keys so gets its changed lines named so; a file of codes
    // keeps codes.
    s.bindings.keys[BIND_LEFT][0] = USAGE_A + 22; // W
    s.bindings.keys[BIND_LEFT][1] = USAGE_A;
    s.bindings.keys[BIND_RIGHT][0] = USAGE_A + 3; // D
    s.bindings.keys[BIND_RIGHT][1] = USAGE_RIGHT;
    EXPECT_EQ(update(mine, s), "key.left = W, A\nkey.pause = keypad 5\nkey.right = D, Right arrow\n");
    const std::string codes = "key.left = KeyA, ArrowLeft\nkey.pause = Numpad5\n";
    EXPECT_EQ(update(codes, s), "key.left = KeyW, KeyA\nkey.pause = Numpad5\nkey.right = KeyD, ArrowRight\n");
}

TEST(Settings, PathFollowsTheEnvironment) {
    char out[SETTINGS_PATH_CHARS];
    SettingsPlaces p;
    EXPECT_FALSE(settings_path(p, out, sizeof out));
    const char* want[] = {"/h/.config/clovenfeld/settings.ini", "/h/.config/clovenfeld/settings.ini",
                          "/x/clovenfeld/settings.ini", "C:\\A\\clovenfeld\\settings.ini"};
    const SettingsPlaces places[] = {{nullptr, "/h", nullptr}, {"rel", "/h", nullptr}, {"/x", "/h", nullptr},
                                     {"/x", "/h", "C:\\A"}}; // a relative XDG folder is ignored
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(settings_path(places[i], out, sizeof out)) << i;
        EXPECT_STREQ(out, want[i]);
    }
    EXPECT_FALSE(settings_path(places[3], out, 20)); // does not fit
}

TEST(Settings, SaveReplacesLinksInsteadOfFollowingThemAndLeavesNoTemporary) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("settings_test_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "cfg" / "clovenfeld" / "settings.ini";
    auto text = std::make_unique<SettingsText>();
    Settings s;
    std::vector<std::string> lines;
    EXPECT_EQ(settings_load(file.c_str(), text.get(), &s, collect, &lines), SETTINGS_MISSING);

    const std::string body = "volume = 5\n";
    text->size = static_cast<int>(body.size());
    body.copy(text->bytes, body.size());
    ASSERT_TRUE(settings_save(file.c_str(), *text, collect, &lines));
    EXPECT_EQ(fs::status(dir / "cfg").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(settings_load(file.c_str(), text.get(), &s, collect, &lines), SETTINGS_LOADED);
    EXPECT_EQ(s.volume, 5);

    // A link at the target is replaced; one planted at the first temporary's name is left alone.
    const fs::path victim = dir / "victim";
    std::ofstream(victim) << "precious";
    fs::remove(file);
    fs::create_symlink(victim, file);
    fs::create_symlink(victim, file.string() + "." + std::to_string(getpid()) + "-0.tmp");
    ASSERT_TRUE(settings_save(file.c_str(), *text, collect, &lines));
    EXPECT_EQ(read_file(victim), "precious");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
    EXPECT_EQ(read_file(file), body);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(file.parent_path())) ++entries;
    EXPECT_EQ(entries, 2); // the settings and the planted link
    EXPECT_TRUE(lines.empty());

    // A folder or an oversized file is refused with one message, and saving into a folder fails.
    EXPECT_EQ(settings_load(dir.c_str(), text.get(), &s, collect, &lines), SETTINGS_REFUSED);
    std::ofstream(dir / "big") << std::string(SETTINGS_MAX_BYTES + 1, '#');
    EXPECT_EQ(settings_load((dir / "big").c_str(), text.get(), &s, collect, &lines), SETTINGS_REFUSED);
    EXPECT_EQ(text->size, 0);
    EXPECT_FALSE(settings_save((dir / "cfg").c_str(), *text, collect, &lines));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("not a regular file"), std::string::npos);
    EXPECT_NE(lines[1].find("larger than 64 KB"), std::string::npos);
    for (const auto& e : fs::directory_iterator(dir)) EXPECT_NE(e.path().extension(), ".tmp") << e.path();
    fs::remove_all(dir);
}

// --- --help, the manual page and the README agree with the file's keys ---

namespace {

// Keys a document describes together: what they take and their defaults.
struct DocEntry {
    std::vector<std::string> names;
    std::string values;
    std::vector<std::string> defaults; // one for every name, or one each in their order
};

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" ");
    return a == std::string::npos ? "" : s.substr(a, s.find_last_not_of(" ") - a + 1);
}

// "A; B; C", each without code marks or a final full stop.
std::vector<std::string> split_defaults(const std::string& text) {
    std::vector<std::string> out;
    for (size_t at = 0;;) {
        const size_t end = text.find("; ", at);
        std::string one = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        std::erase(one, '`');
        one = trim(one);
        if (!one.empty() && one.back() == '.') one.pop_back();
        out.push_back(one);
        if (end == std::string::npos) return out;
        at = end + 2;
    }
}

// "VALUES; default A" or "VALUES; defaults A; B; C".
void read_description(const std::string& text, DocEntry* e) {
    const size_t at = text.find("; default");
    e->values = text.substr(0, at);
    if (at == std::string::npos) return;
    const size_t from = at + 9 + (text.compare(at + 9, 1, "s") == 0);
    e->defaults = split_defaults(text.substr(from));
}

// --help: "  NAME  VALUES; default A" under its heading.
std::vector<DocEntry> help_entries() {
    char* bytes = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&bytes, &size);
    print_usage(f);
    std::fclose(f);
    const std::string text(bytes, size);
    std::free(bytes);
    std::vector<DocEntry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line) && line.rfind("settings file keys", 0) != 0) {}
    while (std::getline(in, line) && line.rfind("  ", 0) == 0) {
        DocEntry e;
        std::istringstream words(line);
        e.names.emplace_back();
        words >> e.names[0];
        std::string rest;
        std::getline(words, rest);
        read_description(trim(rest), &e);
        out.push_back(e);
    }
    return out;
}

// The manual page: ".TP", ".B NAME, NAME", then "VALUES; default A" lines,
// in the list after "holds the settings".
std::vector<DocEntry> manual_entries() {
    const std::string text = read_file(SOURCE_DIR "/assets/install/clovenfeld.6");
    const size_t from = text.find("holds the settings");
    std::istringstream in(from == std::string::npos ? "" : text.substr(from, text.find("\n.RE", from) - from));
    std::vector<DocEntry> out;
    std::string line;
    bool tag = false;
    while (std::getline(in, line)) {
        if (line.rfind(".TP", 0) == 0) {
            out.emplace_back();
            tag = true;
        } else if (tag && line.rfind(".B ", 0) == 0) {
            std::istringstream names(line.substr(3));
            for (std::string name; std::getline(names, name, ',');) out.back().names.push_back(trim(name));
            tag = false;
        } else if (!out.empty() && !tag && line.rfind(".", 0) != 0) {
            out.back().values += " " + line;
        }
    }
    for (DocEntry& e : out) {
        const std::string text = trim(e.values);
        read_description(text, &e);
    }
    return out;
}

// The README's table under "### Settings": "| `NAME`, `NAME` | VALUES | `A`; `B` |".
std::vector<DocEntry> readme_entries() {
    const std::string text = read_file(SOURCE_DIR "/README.md");
    const size_t from = text.find("### Settings");
    std::istringstream in(from == std::string::npos ? "" : text.substr(from, text.find("\n#", from + 1) - from));
    std::vector<DocEntry> out;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| `", 0) != 0) continue;
        const size_t a = line.find(" | "), b = line.rfind(" | ");
        if (a == b || line.size() < b + 4) continue;
        DocEntry e;
        const std::string keys = line.substr(2, a - 2);
        for (size_t at = keys.find('`'); at != std::string::npos; at = keys.find('`', keys.find('`', at + 1) + 1))
            e.names.push_back(keys.substr(at + 1, keys.find('`', at + 1) - at - 1));
        e.values = line.substr(a + 3, b - a - 3);
        e.defaults = split_defaults(line.substr(b + 3, line.size() - b - 5));
        out.push_back(e);
    }
    return out;
}

// Every key the file has is listed once, taking what the file takes, with
// the default the file has; nothing else is listed.
void expect_agrees(const std::vector<DocEntry>& entries, const std::string& where) {
    std::map<std::string, std::pair<std::string, std::string>> said; // name: values, default
    for (const DocEntry& e : entries) {
        EXPECT_TRUE(e.defaults.size() == 1 || e.defaults.size() == e.names.size())
            << where << ": " << e.defaults.size() << " defaults for " << e.names.size() << " keys";
        for (size_t i = 0; i < e.names.size(); ++i) {
            EXPECT_EQ(said.count(e.names[i]), 0u) << where << " lists " << e.names[i] << " twice";
            said[e.names[i]] = {e.values, e.defaults.empty() ? "" : e.defaults[e.defaults.size() == 1 ? 0 : i]};
        }
    }
    SettingsKeyInfo key;
    for (int k = 0; settings_describe(k, &key); ++k) {
        const auto it = said.find(key.name);
        if (it == said.end()) {
            ADD_FAILURE() << where << " does not list " << key.name;
            continue;
        }
        EXPECT_NE(it->second.first.find(key.values), std::string::npos)
            << where << ": " << key.name << " takes " << key.values << ", not " << it->second.first;
        EXPECT_EQ(it->second.second, key.fallback) << where << ": the default of " << key.name;
        said.erase(it);
    }
    for (const auto& [name, what] : said) ADD_FAILURE() << where << " lists " << name << ", a key the file lacks";
}

} // namespace

TEST(Settings, HelpManualAndReadmeListEveryKeyWithItsValuesAndDefault) {
    expect_agrees(help_entries(), "--help");
    expect_agrees(manual_entries(), "clovenfeld.6");
    expect_agrees(readme_entries(), "README.md");

    // A bad value's report says what the key takes, as the documents do.
    SettingsKeyInfo scale;
    ASSERT_TRUE(settings_describe(0, &scale));
    Settings s;
    const std::vector<std::string> lines = parse_text(std::string(scale.name) + " = 9\n", &s);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "s.ini:1: bad value '9' for scale (a whole number from " + std::string(scale.values) +
                            "); using the default");
}
