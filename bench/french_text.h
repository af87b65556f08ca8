// SPDX-License-Identifier: MIT
// Generators of benchmark text: French prose, the same prose damaged the usual way, and text made
// of nothing but leads and followers.
#pragma once

#include <cstddef>
#include <string>

namespace orvik::bench {

// About `units` UTF-16 code units of French prose, deterministic for a given seed.
std::u16string FrenchProse(std::size_t units, unsigned seed);

// `text` encoded as UTF-8 and the bytes read back as Windows-1252.
std::u16string DamageAsWindows1252(const std::u16string& text);

// `units` code units of leads and followers only: mostly table pairs, some lone leads, some
// lone followers.
std::u16string LeadsAndFollowers(std::size_t units, unsigned seed);

// Share of the letters of `text` that carry an accent (for the report).
double AccentedLetterShare(const std::u16string& text);

} // namespace orvik::bench
