// win32_system.cpp -- system.h on Windows.  Paths are the system's narrow
// (ANSI code page) strings, as the C library takes them.
#include "port/system.h"

#include "port/notice.h"

#include <windows.h>
#include <shlobj.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

int file_create_new(const char* path, int mode) {
    // _O_EXCL is CREATE_NEW: it fails on anything at the path, a link included.
    const int perm = (mode & 0200) ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
    return ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, perm);
}

int file_open_read(const char* path) { return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT); }

bool file_replace(const char* from, const char* to) {
    // rename() on Windows refuses an existing target.
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED: errno = EACCES; break;
    default: errno = EIO; break;
    }
    return false;
}

void file_make_dir(const char* path) { ::_mkdir(path); }

bool file_executable_path(char* out, int size) {
    if (out == nullptr || size <= 1) return false;
    const DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
    if (n == 0 || n >= static_cast<DWORD>(size)) return false; // none, or cut off
    for (DWORD i = 0; i < n; ++i)
        if (out[i] == '\\') out[i] = '/';
    return true;
}

namespace {
bool g_attached = false; // standard output and error write to the parent's console

bool usable(DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}
} // namespace

void file_plain_std_streams() {
    // The game is a windowed program: started from a console (cmd.exe,
    // PowerShell) without redirection it has no standard output of its own,
    // so --help, --events and the reports go to that console.
    if (!usable(STD_OUTPUT_HANDLE) && !usable(STD_ERROR_HANDLE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        (void)std::freopen("CONOUT$", "w", stdout);
        (void)std::freopen("CONOUT$", "w", stderr);
        g_attached = true;
    }
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

bool file_unix_data_places() { return false; }

void show_notices_without_console(const char* text) {
    // Standard error that leads somewhere (a console, a file, a pipe) has it all.
    if (g_attached || usable(STD_ERROR_HANDLE)) return;
    char box[NOTICE_KEEP_CHARS + 2048];
    if (format_notice_box(box, sizeof box, text) == 0) return;
    MessageBoxA(nullptr, box, "Clovenfeld Returns", MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TASKMODAL);
}

bool file_move_new(const char* from, const char* to) {
    // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing target.
    if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH)) return true;
    switch (GetLastError()) {
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: errno = EEXIST; break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED: errno = EACCES; break;
    default: errno = EIO; break;
    }
    return false;
}

bool file_pictures_dir(char* out, int size) {
    if (out == nullptr || size <= 0) return false;
    char path[MAX_PATH];
    out[0] = '\0';
    if (SHGetFolderPathA(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return false;
    const int n = std::snprintf(out, static_cast<size_t>(size), "%s", path);
    if (n > 0 && n < size) return true;
    out[0] = '\0';
    return false;
}

bool file_game_config_dir(char* out, int size) {
    if (out == nullptr || size <= 0) return false;
    out[0] = '\0';
    const char* appdata = std::getenv("APPDATA");
    if (appdata == nullptr || appdata[0] == '\0') return false;
    const int n = std::snprintf(out, static_cast<size_t>(size), "%s\\clovenfeld", appdata);
    if (n > 0 && n < size) return true;
    out[0] = '\0';
    return false;
}

bool file_game_data_dir(char* out, int size) { return file_game_config_dir(out, size); }

bool file_is_real_dir(const char* path) {
    const DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (a & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool file_new_dir(const char* path) { return ::_mkdir(path) == 0; }

bool file_remove_dir(const char* path) { return ::_rmdir(path) == 0; }

bool file_list_dir(const char* path, void (*each)(const char* name, void* ctx), void* ctx) {
    char pattern[FILE_PATH_CHARS + 4];
    const int n = std::snprintf(pattern, sizeof pattern, "%s\\*", path);
    if (n <= 0 || n >= static_cast<int>(sizeof pattern)) return false;
    WIN32_FIND_DATAA found;
    const HANDLE h = FindFirstFileA(pattern, &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) continue;
        each(found.cFileName, ctx);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return true;
}

int file_open_regular(const char* path) {
    const DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES) {
        errno = ENOENT;
        return -1;
    }
    if ((a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
        errno = EINVAL;
        return -1;
    }
    return file_open_read(path);
}
