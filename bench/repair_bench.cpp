// SPDX-License-Identifier: MIT
// Throughput of RepairAccents against the floor for any routine that returns a new string: a
// plain copy of the input. Run from a -O2 build for generic x86-64 (the bench preset); the size
// of each text is 64 MiB of UTF-16 unless ORVIK_BENCH_MIB says otherwise.
#include "french_text.h"
#include "repair/repair_accents.h"
#include "repair/repair_kernels.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

using orvik::Kernel;

struct Corpus
{
    const char* name;
    std::u16string text;
};

std::size_t TextUnits()
{
    const char* mib = std::getenv("ORVIK_BENCH_MIB");
    const std::size_t size = mib ? std::strtoul(mib, nullptr, 10) : 64;
    return std::max<std::size_t>(size, 1) * 1024 * 1024 / sizeof(char16_t);
}

std::vector<Corpus>& Corpora()
{
    static std::vector<Corpus> corpora = [] {
        const std::size_t units = TextUnits();
        std::u16string damaged
            = orvik::bench::DamageAsWindows1252(orvik::bench::FrenchProse(units, 1));
        damaged.resize(units);
        std::printf("French prose: %.1f%% of its letters carry an accent\n",
            100.0 * orvik::bench::AccentedLetterShare(orvik::bench::FrenchProse(units / 16, 1)));
        std::printf("Damaged prose: one lead every %.0f code units\n",
            double(damaged.size())
                / double(std::max<std::size_t>(1, std::ranges::count(damaged, u'\u00C3'))));
        std::vector<Corpus> list;
        list.push_back({ "a_prose", orvik::bench::FrenchProse(units, 1) });
        list.push_back({ "b_damaged", std::move(damaged) });
        list.push_back({ "c_leads", orvik::bench::LeadsAndFollowers(units, 2) });
        return list;
    }();
    return corpora;
}

void Copy(benchmark::State& state, const Corpus* corpus)
{
    for (auto _ : state) {
        std::u16string copy(corpus->text);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(
        std::int64_t(state.iterations()) * std::int64_t(corpus->text.size() * 2));
}

void Repair(benchmark::State& state, const Corpus* corpus)
{
    for (auto _ : state) {
        std::u16string repaired = orvik::RepairAccents(corpus->text);
        benchmark::DoNotOptimize(repaired.data());
    }
    state.SetBytesProcessed(
        std::int64_t(state.iterations()) * std::int64_t(corpus->text.size() * 2));
}

void RepairWith(benchmark::State& state, const Corpus* corpus, Kernel kernel)
{
    for (auto _ : state) {
        std::u16string repaired = orvik::detail::RepairAccentsWith(kernel, corpus->text);
        benchmark::DoNotOptimize(repaired.data());
    }
    state.SetBytesProcessed(
        std::int64_t(state.iterations()) * std::int64_t(corpus->text.size() * 2));
}

// Prints the usual table, then each repair's throughput as a share of the copy of the same text:
// from the medians when repetitions are asked for, from single runs otherwise.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Iteration)
                single_[name] = run.GetAdjustedRealTime();
            else if (run.aggregate_name == "median")
                median_[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto& times = median_.empty() ? single_ : median_;
        std::printf("\nThroughput as a share of the copy of the same text (%s):\n",
            median_.empty() ? "single runs" : "medians");
        for (const auto& [name, seconds] : times) {
            const auto slash = name.find('/');
            if (slash == std::string::npos || name.starts_with("copy/"))
                continue;
            const auto copy = times.find("copy" + name.substr(slash));
            if (copy != times.end())
                std::printf("  %-24s %.2f\n", name.c_str(), copy->second / seconds);
        }
    }

private:
    std::map<std::string, double> single_;
    std::map<std::string, double> median_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("RepairAccents uses the %s kernel\n",
        orvik::KernelName(orvik::BestKernel(orvik::KernelFamily::Accents)));
    for (const Corpus& corpus : Corpora()) {
        const std::string suffix = std::string("/") + corpus.name;
        benchmark::RegisterBenchmark(("copy" + suffix).c_str(), Copy, &corpus)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("repair" + suffix).c_str(), Repair, &corpus)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        for (Kernel kernel : orvik::Kernels(orvik::KernelFamily::Accents)) {
            if (kernel == orvik::BestKernel(orvik::KernelFamily::Accents)
                || !orvik::IsKernelSupported(kernel))
                continue;
            benchmark::RegisterBenchmark(
                (std::string("kernel_") + orvik::KernelName(kernel) + suffix).c_str(), RepairWith,
                &corpus, kernel)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
