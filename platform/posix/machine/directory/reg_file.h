// Reads a registry export (.reg file) into the operations it stands for, in file
// order, without touching any registry: applying them is the caller's business.
//
// Accepted: "Windows Registry Editor Version 5.00" files (UTF-16LE with a byte-order
// mark, or UTF-8 with or without one) and "REGEDIT4" files (Windows-1252 text; their
// hex(1), hex(2) and hex(7) data are ANSI strings and are widened to UTF-16LE).
// docs/machine-directory.md describes the format precisely.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/posix/machine/directory/iso8601.h"
#include "platform/posix/machine/directory/parse_error.h"

namespace hostlens::sim::machinedir {

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// "HKEY_LOCAL_MACHINE" for RegRoot::LocalMachine, and so on.
std::u16string_view RegRootName(RegRoot root);

struct RegKeyPath {
    RegRoot root = RegRoot::LocalMachine;
    std::u16string subkey;  // below the root, components joined by '\'; empty for the root itself

    // "HKEY_LOCAL_MACHINE\SOFTWARE\Vendor".
    std::u16string FullPath() const;
    bool operator==(const RegKeyPath&) const = default;
};

// "name"=data or @=data: set a value of the key whose section it is in.
struct RegSetValue {
    std::u16string name;     // empty: the key's default value (@)
    std::uint32_t type = 0;  // REG_SZ, REG_DWORD, ... or any other number written as hex(N)
    // The bytes as Windows stores them: strings as UTF-16LE with their terminating NUL,
    // dword: as 4 bytes little-endian, hex(N): exactly the bytes written.
    std::vector<std::uint8_t> data;
    std::size_t line = 0;
};

// "name"=- or @=-: delete the value if it exists.
struct RegDeleteValue {
    std::u16string name;
    std::size_t line = 0;
};

using RegValueOperation = std::variant<RegSetValue, RegDeleteValue>;

// [HKEY_...\Key] and the value lines below it: create the key (and its missing
// parents) if it does not exist, then apply its value operations in order. The
// values live in their key's section, as in the file, so that a long key path is held
// once however many values follow it.
struct RegCreateKey {
    RegKeyPath key;
    std::optional<FileTimeTicks> lastWrite;  // from a ";@LastWrite=" comment right after the key line
    std::vector<RegValueOperation> values;
    std::size_t line = 0;
};

// [-HKEY_...\Key]: delete the key with all its subkeys; nothing if it does not exist.
struct RegDeleteKey {
    RegKeyPath key;
    std::size_t line = 0;
};

// The key sections of the file, in file order (a key may have several).
using RegOperation = std::variant<RegCreateKey, RegDeleteKey>;

// Parses the whole file. On the first malformed line it stops and reports that line
// (and no operations, so that a broken file is never half applied). `file` only
// names the file in the error. Time and memory are linear in the input's size.
ParseResult<std::vector<RegOperation>> ParseRegFile(std::span<const std::uint8_t> bytes,
                                                    std::string_view file = {});
ParseResult<std::vector<RegOperation>> ParseRegFile(std::string_view bytes, std::string_view file = {});

}  // namespace hostlens::sim::machinedir
