// What the machine-directory parsers report about a malformed file: which file, where in
// it (a line for text, a JSON pointer for JSON members, a line and column for JSON
// syntax) and why. Parsers return it as a value; they never throw.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace hostlens::sim::machinedir {

struct ParseError {
    std::string file;        // as the caller named it, e.g. "registry/software.reg"; may be empty
    std::size_t line = 0;    // 1-based; 0 when the error is not tied to a line
    std::size_t column = 0;  // 1-based, in characters; 0 when not known
    std::string pointer;     // JSON pointer of the offending member ("/os/major"), its members
                             // quoted as input is; empty for .reg files
    std::string reason;

    // The file's name is quoted as input is (see FileName):
    // "registry/a.reg: line 12: unterminated string",
    // "machine.json: /os/majr: unknown member",
    // "machine.json: line 3, column 7: syntax error ..."
    std::string Message() const;
};

// A file's name (its path in the machine directory) as messages show it: escaped and
// cut like any other text of the directory's, at a length no real path reaches.
inline constexpr std::size_t kFileNameExcerpt = 240;
std::string FileName(std::string_view name);

// A parsed file or the reason it could not be parsed; `value` is meaningful only when ok().
template <class T>
struct ParseResult {
    T value{};
    std::optional<ParseError> error;
    bool ok() const { return !error.has_value(); }
};

}  // namespace hostlens::sim::machinedir
