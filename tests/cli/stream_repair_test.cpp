// SPDX-License-Identifier: MIT
#include "cli/stream_repair.h"
#include "repair/full_repair.h"
#include "repair/utf8_repair.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace orvik::cli;

// A file in memory holding `content`, to be read from its start.
int MemoryFile(const std::string& content = "")
{
    const int fd = memfd_create("orvik-stream-test", MFD_CLOEXEC);
    EXPECT_EQ(pwrite(fd, content.data(), content.size(), 0), ssize_t(content.size()));
    return fd;
}

std::string ReadBack(int fd)
{
    std::string content(std::size_t(lseek(fd, 0, SEEK_END)), '\0');
    EXPECT_EQ(pread(fd, content.data(), content.size(), 0), ssize_t(content.size()));
    return content;
}

// Damaged sequences of every kind, invalid bytes and line ends, so that small reads cut each one
// at every place.
const std::string kMixedText
    = "\xEF\xBB\xBF" // byte order mark
      "L'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9 \xC3\x83 la plage,\r\n" // L'Ã©tÃ© Ã la plage
      "o\xC3\x83\xC2\xB9 \xC3\x83\xC3\x83\xC2\xA9\xC3\x83\xC2\xA0 " // oÃ¹ ÃÃ©Ã + NBSP
      "\xC3\x83\xC2\xFF\xC3\xC3\x83\xE2\x82\xAC gar\xC3\x83\xC2\xA7on\r\n"
      "voil\xC3\x83";

// Every read size down to one byte, so that reads cut each sequence at every place, with the
// accent repair and with the full repair. As -i does: first the check (a lead at the very end only
// shows once the input ends, and the check stops at the first change), then the repair, which must
// give what the whole text gives in memory.
TEST(Streams, EveryReadSizeAgreesWithTheWholeText)
{
    const std::string texts[] = { kMixedText, "\xC3\xA9t\xC3\xA9 \xC2\xA9 \xC3\x82\xC2\xA9\r\n",
        "abc\xC3", "abc\xC3\x83", "ÃƒÂ©tÃƒÂ© Ã  tout, lâ€™Ã©tÃ©\r\n", "voilÃ", "déjà", "",
        std::string(4090, 'a') + kMixedText + std::string(4000, 'b') + kMixedText };
    // été © Â©, a stray C3, a lead at the end, damaged twice, nothing, and over two pages
    for (std::size_t readSize : { 1, 2, 3, 4, 5, 7, 16, 64, 100000 }) {
        orvik::Utf8Repairer accents(readSize);
        orvik::FullRepairer layers(readSize);
        for (const bool full : { false, true }) {
            for (const std::string& text : texts) {
                SCOPED_TRACE(text.substr(0, 12) + ", read size " + std::to_string(readSize)
                    + (full ? ", full" : ""));
                const std::string expected
                    = full ? orvik::RepairFull(text) : orvik::RepairUtf8(text);
                const int in = MemoryFile(text), out = MemoryFile();
                Output output(out);
                const StreamResult check
                    = full ? CheckStream(in, layers) : CheckStream(in, accents);
                EXPECT_EQ(check.failure, StreamResult::Failure::None);
                EXPECT_EQ(check.changed, expected != text);
                lseek(in, 0, SEEK_SET);
                const StreamResult result
                    = full ? RepairStream(in, output, layers) : RepairStream(in, output, accents);
                EXPECT_EQ(result.failure, StreamResult::Failure::None);
                EXPECT_EQ(result.changed, expected != text);
                EXPECT_EQ(ReadBack(out), expected);
                close(in);
                close(out);
            }
        }
    }
}

// A standard input left non-blocking by whoever started the program: reads that find nothing yet
// must wait, not fail. To a pipe, the text of each read is passed on at once, before the input
// ends.
TEST(RepairStream, WaitsOnANonBlockingPipeAndPassesEachReadOn)
{
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(fcntl(in[0], F_SETFL, O_NONBLOCK), 0);
    std::string passed(16, '\0');
    std::thread writer([&] { // writes only once the reader has found the pipe empty
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(write(in[1], "\xC3\x83\xC2\xA9t\xC3\x83\n", 8), 8);
        pollfd ready { out[0], POLLIN, 0 };
        if (poll(&ready, 1, 10000) == 1) // else nothing was passed on while the input is open
            passed.resize(std::size_t(std::max(read(out[0], passed.data(), passed.size()), 0L)));
        close(in[1]);
    });
    Output output(out[1]);
    orvik::Utf8Repairer repairer(64);
    const StreamResult result = RepairStream(in[0], output, repairer);
    writer.join();
    EXPECT_EQ(result.failure, StreamResult::Failure::None) << result.error.message();
    EXPECT_EQ(passed, "\xC3\xA9t\xC3\xA0\n");
    close(in[0]), close(out[0]), close(out[1]);
}

} // namespace
