// Internal state of the simulated machine, shared by the emulated API's parts.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/posix/machine/sim.h"
#include "platform/posix/nls/upcase.h"  // CompareNoCase: names compare as Windows compares them

namespace hostlens::sim::detail {

// Each part of the layer (registry, modules, trace, ...) keeps its own state and
// lock, and registers how to start afresh when a test resets the machine.
void OnReset(std::function<void()> reset);

// Called at the top of every emulated function that can fail on demand: counts the
// call and answers the error a test asked for, if this is the call that must fail.
std::optional<std::uint32_t> Fault(std::string_view function);

enum class Resource { Key, Handle, Module, ComObject, Bstr, SafeArray };
void Opened(Resource resource);
void Closed(Resource resource);

// Maps a Windows path ("C:\dir\file") onto the drive folder of the machine,
// matching each component without case as Windows does. Empty when the drive is
// not mapped or the path is not absolute.
std::optional<std::filesystem::path> HostPath(std::u16string_view windowsPath);

std::string Narrow(std::u16string_view text);  // UTF-16 to UTF-8, unpaired surrogates as U+FFFD
// Appends `text` as UTF-8; with `strict`, false at the first unpaired surrogate.
bool AppendUtf8(std::u16string_view text, bool strict, std::string& out);
std::u16string Widen(std::string_view text);  // UTF-8 to UTF-16
// Input quoted in a message: at most `limit` characters, then "...", with control
// characters (C0, DEL and C1) written as \u001B and bytes that are not UTF-8 as
// \xFF, so that a message about a huge or hostile input stays short and is safe to
// print on a terminal.
inline constexpr std::size_t kExcerptLength = 40;
std::string Excerpt(std::string_view utf8, std::size_t limit = kExcerptLength);
std::string Excerpt(std::u16string_view text, std::size_t limit = kExcerptLength);
// A hash and an equality of names without case, for indexes of names that compare
// like CompareNoCase.
struct NoCaseHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view name) const;
};
struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const { return CompareNoCase(a, b) == 0; }
};

}  // namespace hostlens::sim::detail
