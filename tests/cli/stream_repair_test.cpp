// SPDX-License-Identifier: MIT
#include "cli/stream_repair.h"
#include "repair/full_repair.h"
#include "repair/utf8_repair.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

using namespace orvik::cli;

// A file in memory holding `content`, to be read from its start.
int MemoryFile(const std::string& content = "")
{
    const int fd = memfd_create("orvik-stream-test", MFD_CLOEXEC);
    EXPECT_EQ(pwrite(fd, content.data(), content.size(), 0), ssize_t(content.size()));
    return fd;
}

// Repairs `text` through RepairStream into `out`, a file in memory unless given: what was written,
// and the result.
std::pair<std::string, StreamResult> RepairToMemory(
    const std::string& text, orvik::FullRepairer& repairer, int out = MemoryFile())
{
    const int in = MemoryFile(text);
    Output output(out);
    const StreamResult result = RepairStream(in, output, repairer);
    std::string written(std::size_t(lseek(out, 0, SEEK_END)), '\0');
    EXPECT_EQ(pread(out, written.data(), written.size(), 0), ssize_t(written.size()));
    close(in);
    close(out);
    return { written, result };
}

// The full repair of a large file, each read repaired in two parts at once where it can be cut,
// one after the other where it cannot (Greek damaged letter by letter): the whole text as it would
// be repaired at once, whether it changed, and a write that fails.
TEST(RepairStream, LargeReadsInTwoPartsGiveTheWholeText)
{
    // L'Ã©tÃ© Ã + NBSP la plage, Ã§a, Ã‰tÃ©, ..., and Greek: Î±Î²Î³ (αβγ)
    const std::string line = "L'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9 \xC3\x83\xC2\xA0 la plage, "
                             "\xC3\x83\xC2\xA7"
                             "a dit \xC3\x83\xE2\x80\xB0t\xC3\x83\xC2\xA9, "
                             "the quick brown fox jumps over the lazy dog.\n";
    const std::string repairedLine = "L'\xC3\xA9t\xC3\xA9 \xC3\xA0 la plage, \xC3\xA7"
                                     "a dit \xC3\x89t\xC3\xA9, "
                                     "the quick brown fox jumps over the lazy dog.\n";
    const std::string greek = "\xC3\x8E\xC2\xB1\xC3\x8E\xC2\xB2\xC3\x8E\xC2\xB3 ";
    const std::string repairedGreek = "\xCE\xB1\xCE\xB2\xCE\xB3 ";
    // Lines up to `size` bytes: damaged or not, and repaired.
    std::string text, expected;
    const auto add
        = [&](const std::string& damaged, const std::string& repaired, std::size_t size) {
              while (text.size() < size)
                  text += damaged, expected += repaired;
          };
    add(line, repairedLine, 1 << 20);
    add(greek, repairedGreek, 2 << 20);
    add(line, repairedLine, 3 << 20);
    const std::string damagedText = text, repairedText = expected;
    text.clear(), expected.clear();
    add(line, repairedLine, 200 << 10); // and damage in the first read alone
    add(repairedLine, repairedLine, 1 << 20);
    orvik::FullRepairer repairer(300 * 1024);
    for (const auto& [input, output] : { std::pair(damagedText, repairedText),
             std::pair(repairedText, repairedText), std::pair(text, expected) }) {
        const auto [written, result] = RepairToMemory(input, repairer);
        EXPECT_EQ(result.failure, StreamResult::Failure::None);
        EXPECT_EQ(result.changed, input != output);
        EXPECT_TRUE(written == output) << written.size() << " bytes of " << output.size();
    }
    const auto [written, result]
        = RepairToMemory(damagedText, repairer, open("/dev/full", O_RDWR | O_CLOEXEC));
    EXPECT_EQ(result.failure, StreamResult::Failure::Write);
    EXPECT_EQ(result.error, std::errc::no_space_on_device);
}

// Pipes left non-blocking by whoever started the program: a read that finds nothing yet waits for
// text, and a write that finds the output full waits for room. To a pipe, the text of each read is
// passed on at once, before the input ends.
TEST(RepairStream, WaitsOnNonBlockingPipesAndPassesEachReadOn)
{
    std::signal(SIGPIPE, SIG_IGN); // a write after the reader gave up fails instead
    std::string text, expected;
    while (text.size() < (256u << 10)) // four times what a pipe holds
        text += "\xC3\x83\xC2\xA9t\xC3\x83\n", expected += "\xC3\xA9t\xC3\xA0\n"; // Ã©tÃ
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(fcntl(in[0], F_SETFL, O_NONBLOCK), 0);
    ASSERT_EQ(fcntl(out[1], F_SETFL, O_NONBLOCK), 0);
    ASSERT_GE(fcntl(in[1], F_SETPIPE_SZ, 1 << 20), int(text.size())); // written in one go
    std::string first(16, '\0'), passed;
    std::thread other([&] {
        // The first line once the repair has found the input empty, and what it passes on.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(write(in[1], text.data(), 8), 8);
        pollfd ready { out[0], POLLIN, 0 };
        if (poll(&ready, 1, 10000) == 1) // else nothing was passed on while the input is open
            first.resize(std::size_t(std::max(read(out[0], first.data(), first.size()), 0L)));
        // Then the rest, which fills the output before it is read; gives up after 10 s of nothing.
        EXPECT_EQ(write(in[1], text.data() + 8, text.size() - 8), ssize_t(text.size() - 8));
        close(in[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        passed = first;
        char buffer[4096];
        for (ssize_t got = 1; got > 0 && poll(&ready, 1, 10000) == 1;) {
            got = read(out[0], buffer, sizeof buffer);
            passed.append(buffer, std::size_t(std::max(got, ssize_t(0))));
        }
        close(out[0]);
    });
    Output output(out[1]);
    orvik::Utf8Repairer repairer(64 << 10);
    const StreamResult result = RepairStream(in[0], output, repairer);
    close(out[1]);
    other.join();
    EXPECT_EQ(result.failure, StreamResult::Failure::None) << result.error.message();
    EXPECT_EQ(first, "\xC3\xA9t\xC3\xA0\n");
    EXPECT_TRUE(passed == expected) << passed.size() << " bytes of " << expected.size();
    close(in[0]);
}

} // namespace
