#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The player's one reader of decimal numbers in text (settings values, CD track markers,
// dialog fields, resource names, cue sheets). Usable from any thread.

// Reads the digits '0'-'9' at text[pos] on, up to the first other character (no white space,
// no sign). A value beyond the 64-bit range saturates at its maximum. On success pos moves past
// the last digit; nullopt, pos unchanged, when text[pos] is no digit.
std::optional<std::uint64_t> ScanDigits(std::string_view text, std::size_t& pos);

// Reads a number at text[pos] on the way atoi and scanf's "%d" do: white space (" \t\n\v\f\r"),
// an optional sign, then ScanDigits. A value beyond the int range saturates at INT_MIN or
// INT_MAX. On success pos moves past the last digit; nullopt, pos unchanged, when no digit
// follows the white space and the sign (atoi then gives 0).
std::optional<int> ScanInt(std::string_view text, std::size_t& pos);
