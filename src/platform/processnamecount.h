#pragma once

#include <string_view>

namespace platform {

// Counts `name` anywhere in a raw process listing, overlapping matches included,
// case-sensitively. Windows listings carry one padded caption per line.
int countNameOccurrences(std::wstring_view listing, std::wstring_view name);

// Counts the lines of a listing (one executable base name per line) that equal
// `name` exactly; "Pelicrow" must not match "Pelicrow_Launcher".
int countEqualLines(std::wstring_view listing, std::wstring_view name);

} // namespace platform
