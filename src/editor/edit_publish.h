// edit_publish.h -- Publish: the levels made in the editor written as a level
// pack (docs/packs.md), only when every level the pack plays has a proof
// that is not stale (module "edit").
//
// Built in the platform room, above the editor's other modules: it writes
// packs with pack.h and reads proofs with record.h, which live there.
//
// A pack plays each of its level files in three rounds (file N as levels N,
// N + 9 and N + 18), so every file needs three proofs: the recordings the
// editor's prover keeps (edit_prove.h) or any level recording that starts at
// that level.  A proof is stale when the level file it names by SHA-256 is
// not the file published: the level changed after it was proved.
#pragma once

enum {
    PUBLISH_FILES = 9,            // level files 1 to 9
    PUBLISH_LEVELS = 27,          // the levels they play
    PUBLISH_TEXT_CHARS = 129,     // title, author, licence, description
    PUBLISH_ID_CHARS = 33,
    PUBLISH_VERSION_CHARS = 17,
    PUBLISH_PATH_CHARS = 4096,
    PUBLISH_PROBLEMS = 40,
    PUBLISH_PROBLEM_CHARS = 160,
};

// The form: what pack.ini says, and where the files are.
struct PublishForm {
    char id[PUBLISH_ID_CHARS];              // "" for one made from the title
    char title[PUBLISH_TEXT_CHARS];
    char author[PUBLISH_TEXT_CHARS];
    char licence[PUBLISH_TEXT_CHARS];
    char description[PUBLISH_TEXT_CHARS];   // may be ""
    char version[PUBLISH_VERSION_CHARS];    // "" for 1.0
    char level[PUBLISH_FILES + 1][PUBLISH_PATH_CHARS];  // [N]: the file for levels/N.bmp, "" for none ([0] unused)
    char proof[PUBLISH_LEVELS + 1][PUBLISH_PATH_CHARS]; // [L]: the proof of level L, "" for none ([0] unused)
};

// What Publish did.
struct PublishResult {
    bool written;                  // the pack folder is there
    char id[PUBLISH_ID_CHARS];     // the pack's id (given or made)
    int files, levels;             // level files and levels in the pack
    int problems;                  // what is missing or wrong (none when written)
    char problem[PUBLISH_PROBLEMS][PUBLISH_PROBLEM_CHARS]; // "level 4: no proof", "level 13: proof stale", ...
};

// Shared state owned by the module: the form the editor fills.
extern PublishForm publish_form;

// Empties the form.
void PUBLISH_CLEAR(PublishForm* form);

// The id made from a title: its letters and digits in lower case, other runs
// of characters as one '-', at most 32; "pack" when none is left, and never
// the built-in pack's id.
void PUBLISH_ID_FROM_TITLE(const char* title, char* id, int size);

// Checks the form, its level files and every proof, and only when nothing is
// missing writes the pack into the new folder dir (pack.ini with each file's
// SHA-256, levels/N.bmp, proofs/level-L.rec).  Otherwise writes nothing and
// lists the problems.  Returns out->written.
bool PUBLISH(const PublishForm& form, const char* dir, PublishResult* out);
// The editor's Publish (editor.h's editor_publish): its form, the level
// files and their proofs, published into the folder named by the pack's id
// in what.dir.  True with "Published ID: DIR" in
// said; false with the problems (at most EDITOR_FORM_PROBLEMS).
struct EditorPublish;
bool PUBLISH_FROM_EDITOR(const EditorPublish& what, char* said, int said_size, char problem[][81], int* problems);
