#include "cli/stream_repair.h"
#include "cli/utf8_repair.h"
#include "utf8_text.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using orvik::cli::StreamBuffers;
using orvik::cli::StreamResult;
using orvik::test::Hex;

// A file in a fresh temporary folder, removed afterwards.
class TempFiles
{
public:
    TempFiles()
    {
        char pattern[] = "/tmp/orvik-stream-test.XXXXXX";
        folder_ = mkdtemp(pattern);
    }
    ~TempFiles()
    {
        unlink(Path("in").c_str());
        unlink(Path("out").c_str());
        rmdir(folder_.c_str());
    }
    std::string Path(const char* name) const { return folder_ + "/" + name; }

    int Input(const std::string& content) const
    {
        const int fd = open(Path("in").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        EXPECT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
        lseek(fd, 0, SEEK_SET);
        return fd;
    }
    int Output() const
    {
        return open(Path("out").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }

    std::string Read(int fd) const
    {
        std::string content;
        char buffer[4096];
        lseek(fd, 0, SEEK_SET);
        for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
            content.append(buffer, std::size_t(got));
        return content;
    }

private:
    std::string folder_;
};

// Damaged sequences of every kind, invalid bytes and line ends, so that small reads cut each one
// at every place.
const std::string kMixedText
    = "\xEF\xBB\xBF" // byte order mark
      "L'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9 \xC3\x83 la plage,\r\n" // L'Ã©tÃ© Ã la plage
      "o\xC3\x83\xC2\xB9 \xC3\x83\xC3\x83\xC2\xA9\xC3\x83\xC2\xA0 " // oÃ¹ ÃÃ©Ã + NBSP
      "\xC3\x83\xC2\xFF\xC3\xC3\x83\xE2\x82\xAC gar\xC3\x83\xC2\xA7on\r\n"
      "voil\xC3\x83";

TEST(RepairStream, EveryReadSizeGivesTheWholeTextRepair)
{
    const std::string expected = orvik::cli::RepairUtf8(kMixedText);
    ASSERT_NE(expected, kMixedText);
    TempFiles files;
    for (std::size_t readSize : { 1, 2, 3, 4, 5, 7, 16, 64, 100000 }) {
        SCOPED_TRACE(readSize);
        StreamBuffers buffers(readSize);
        const int in = files.Input(kMixedText);
        const int out = files.Output();
        const StreamResult result = orvik::cli::RepairStream(in, out, buffers);
        EXPECT_EQ(result.failure, StreamResult::Failure::None);
        EXPECT_TRUE(result.changed);
        EXPECT_EQ(Hex(files.Read(out)), Hex(expected));
        close(in);
        close(out);
    }
}

struct CheckCase
{
    const char* name;
    std::string text;
    bool needsRepair;
};

const CheckCase kCheckCases[] = {
    { "clean_text", "\xC3\xA9t\xC3\xA9 \xC2\xA9 \xC3\x82\xC2\xA9\r\n", false }, // été © Â©
    { "stray_c3_at_end", "abc\xC3", false },
    { "lead_at_end_of_input", "abc\xC3\x83", true }, // repaired only when the input ends
    { "lead_in_middle",
        "ab\xC3\x83\xC2\xA9"
        "cd",
        true },
};

TEST(CheckStream, TellsWhetherATextNeedsRepairWhateverTheReadSize)
{
    TempFiles files;
    for (const CheckCase& c : kCheckCases) {
        for (std::size_t readSize : { 1, 2, 3, 4096 }) {
            SCOPED_TRACE(std::string(c.name) + ", read size " + std::to_string(readSize));
            StreamBuffers buffers(readSize);
            const int in = files.Input(c.text);
            const StreamResult result = orvik::cli::CheckStream(in, buffers);
            EXPECT_EQ(result.failure, StreamResult::Failure::None);
            EXPECT_EQ(result.changed, c.needsRepair);
            close(in);
        }
    }
}

TEST(CheckStream, StopsReadingAtTheFirstRepair)
{
    TempFiles files;
    StreamBuffers buffers(4096);
    const int in = files.Input("\xC3\x83\xC2\xA9" + std::string(1 << 20, 'a'));
    EXPECT_TRUE(orvik::cli::CheckStream(in, buffers).changed);
    EXPECT_EQ(lseek(in, 0, SEEK_CUR), 4096);
    close(in);
}

// A standard input left non-blocking by whoever started the program: reads that find nothing yet
// must wait, not fail.
TEST(RepairStream, WaitsOnANonBlockingPipe)
{
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    ASSERT_EQ(fcntl(pipeFds[0], F_SETFL, O_NONBLOCK), 0);
    std::thread writer([&] {
        for (const char* piece : { "\xC3\x83", "\xC2\xA9t", "\xC3\x83\xC2\xA9\n" }) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            EXPECT_GT(write(pipeFds[1], piece, std::strlen(piece)), 0);
        }
        close(pipeFds[1]);
    });
    TempFiles files;
    const int out = files.Output();
    StreamBuffers buffers(64);
    const StreamResult result = orvik::cli::RepairStream(pipeFds[0], out, buffers);
    writer.join();
    EXPECT_EQ(result.failure, StreamResult::Failure::None) << std::strerror(result.error);
    EXPECT_EQ(files.Read(out), "\xC3\xA9t\xC3\xA9\n");
    close(out);
    close(pipeFds[0]);
}

} // namespace
