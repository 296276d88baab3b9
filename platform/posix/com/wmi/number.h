// Numbers as WQL writes them: decimal and 0x hexadecimal integers, and reals with an
// optional fraction and exponent ("12", "0x1F", "1.5", "2e3", ".5").
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <variant>

#include "platform/posix/com/sim_wmi.h"

namespace hostlens::sim::wmi {

// A number without sign: an integer magnitude or a real.
using UnsignedNumber = std::variant<std::uint64_t, double>;

// Reads the whole of `text` as an unsigned number; nothing when it is not one or does
// not fit (integers above 2^64 - 1, reals beyond double range).
std::optional<UnsignedNumber> ParseUnsignedNumber(std::u16string_view text);

// The number with its sign: int64 where it fits, uint64 above INT64_MAX, double for
// reals. Nothing for a negative integer below INT64_MIN.
std::optional<WmiValue> SignedNumber(const UnsignedNumber& magnitude, bool negative);

// Reads text such as " -42 " or "0x10" (white space around, an optional sign) as a
// number, for string constants compared with numeric properties.
std::optional<WmiValue> ParseNumberText(std::u16string_view text);

}  // namespace hostlens::sim::wmi
