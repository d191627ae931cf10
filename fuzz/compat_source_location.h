// compat_source_location.h -- std::source_location for clang 14 on libstdc++ 12.
//
// That pairing lacks the compiler builtin the library's own source_location
// needs, so <source_location> declares nothing.  The fuzz build (clang only)
// force-includes this header to supply the same interface from the older
// line, column, file and function builtins, which report the caller's
// position when used in default arguments, just like the standard one.
#pragma once

#include <source_location>

#if defined(__clang__) && !defined(__cpp_lib_source_location)
#include <cstdint>

namespace std {
struct source_location {
    static constexpr source_location current(uint_least32_t line = __builtin_LINE(),
                                             uint_least32_t column = __builtin_COLUMN(),
                                             const char* file = __builtin_FILE(),
                                             const char* function = __builtin_FUNCTION()) noexcept {
        source_location s;
        s.line_ = line;
        s.column_ = column;
        s.file_ = file;
        s.function_ = function;
        return s;
    }
    constexpr source_location() noexcept = default;
    constexpr uint_least32_t line() const noexcept { return line_; }
    constexpr uint_least32_t column() const noexcept { return column_; }
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr const char* function_name() const noexcept { return function_; }

private:
    uint_least32_t line_ = 0;
    uint_least32_t column_ = 0;
    const char* file_ = "";
    const char* function_ = "";
};
} // namespace std
#endif
