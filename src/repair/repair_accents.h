// SPDX-License-Identifier: MIT
// Repair of French text whose UTF-8 bytes were read back as Windows-1252.
//
// Each lower-case accented letter of such text shows as two characters: the lead "Ã" (U+00C3),
// which stands for the byte C3, and a follower that stands for the second byte. RepairAccents
// turns every lead back into one letter. The standard library is all this needs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvik {

// The longest text RepairAccents accepts, in UTF-16 code units (2^31 - 2).
inline constexpr std::size_t kMaxRepairLength = 2147483646;

// Throws std::length_error, with a French description, when a text of `length` code units is
// longer than kMaxRepairLength.
void CheckRepairLength(std::size_t length);

// Returns `text` with every lead "Ã" (U+00C3) replaced:
// - a lead followed by © ´ ¨ ª ¹ » § ® or ¢ becomes é ô è ê ù û ç î or â, and the follower goes;
// - any other lead becomes "à" and whatever follows it stays (a lead included, so "ÃÃ©" is "àé").
// Everything else is copied unchanged, code unit for code unit. Throws std::length_error when the
// text is longer than kMaxRepairLength.
std::u16string RepairAccents(std::u16string_view text);

} // namespace orvik
