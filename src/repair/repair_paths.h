// The interchangeable implementations behind RepairAccents, exposed so that tests, the fuzzer
// and the benchmark can exercise each one on any machine that runs it.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace orvik::detail {

enum class RepairPath {
    Scalar, // one code unit at a time; every processor
    Ssse3, // 8 code units at a time (x86-64 with SSSE3)
    Avx2, // 16 code units at a time (x86-64 with AVX2)
};

// Every path, the scalar one first.
std::span<const RepairPath> AllRepairPaths();
const char* RepairPathName(RepairPath path);
bool IsRepairPathSupported(RepairPath path);

// The path RepairAccents uses on this processor: the widest one supported.
RepairPath BestRepairPath();

// RepairAccents through a given path, which must be supported.
std::u16string RepairAccentsWith(RepairPath path, std::u16string_view text);

} // namespace orvik::detail
