// Text at the edges of the command line: the records hold UTF-16, while the command
// line's arguments and its JSON output are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace hostlens::cli {

std::string Utf8(const WCHAR* text, std::size_t length);
std::string Utf8(const WString& text);
// A fixed-size character field: up to its first NUL, or all of it when it has none.
std::string Utf8Bounded(const WCHAR* text, std::size_t capacity);

WString Wide(const std::string& utf8);

}  // namespace hostlens::cli
