// SPDX-License-Identifier: MIT
// Feeding a text to the filter's repairer in pieces, as reads would hand it over: for the tests
// and the fuzz target of the filter's kernels.
#pragma once

#include "repair/utf8_repair.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvik {

// Feeds `text` to a repairer in the chunks that `cuts` (increasing positions) mark. The repairer
// reads no more than the longest chunk, so that the largest one fills its buffers to the last
// byte (for ASan). Appends a note when Changed() does not tell whether the output differs from
// the input.
inline std::string FeedCut(
    Kernel kernel, std::string_view text, const std::vector<std::size_t>& cuts)
{
    std::vector<std::size_t> ends = cuts;
    ends.push_back(text.size());
    std::size_t longest = 0;
    for (std::size_t from = 0; std::size_t to : ends)
        longest = std::max(longest, to - std::exchange(from, to));
    Utf8Repairer repairer(longest, kernel);
    std::string out;
    for (std::size_t from = 0; std::size_t to : ends) {
        std::memcpy(repairer.ReadBuffer(), text.data() + from, to - from);
        out += repairer.Feed(to - from);
        from = to;
    }
    out += repairer.Finish();
    return repairer.Changed() == (out != text) ? out : out + " <Changed() is wrong>";
}

} // namespace orvik
