// SPDX-License-Identifier: MIT
// Feeding a text to the filter's repairer in pieces, as reads would hand it over: for the tests
// and the fuzz target of the filter's kernels.
#pragma once

#include "repair/utf8_repair.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvik {

// Feeds `text` to a repairer in the chunks that `cuts` (increasing positions) mark. Appends a
// note when Changed() does not tell whether the output differs from the input.
inline std::string FeedCut(
    Kernel kernel, std::string_view text, const std::vector<std::size_t>& cuts)
{
    Utf8Repairer repairer(kernel);
    std::string out;
    std::size_t from = 0;
    auto feed = [&](std::size_t to) { // into a buffer of the least size allowed, for ASan
        std::vector<char> buffer(to - from + Utf8Repairer::kMaxHeld);
        out.append(buffer.data(), repairer.Feed(text.substr(from, to - from), buffer.data()));
        from = to;
    };
    for (std::size_t cut : cuts)
        feed(cut);
    feed(text.size());
    std::vector<char> tail(Utf8Repairer::kMaxHeld);
    out.append(tail.data(), repairer.Finish(tail.data()));
    return repairer.Changed() == (out != text) ? out : out + " <Changed() is wrong>";
}

} // namespace orvik
