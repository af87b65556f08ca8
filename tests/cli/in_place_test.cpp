// SPDX-License-Identifier: MIT
// The steps of a repair in place against a system layer that fails one of them: whatever fails,
// the original keeps its text and no new file is left behind.
#include "cli/in_place.h"
#include "repair/utf8_repair.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

namespace {

namespace fs = std::filesystem;
using orvik::cli::InPlaceSystem;
using Outcome = orvik::cli::InPlaceResult::Outcome;

enum class Step { None, Rewind, Create, Metadata, Flush, Close, Replace };

using Error = std::error_code;

// The real layer, but `failing` reports an error (after doing its work, for Close).
class FailingSystem final : public InPlaceSystem
{
public:
    explicit FailingSystem(Step failing)
        : failing_(failing)
    { }

    std::expected<Original, Error> OpenOriginal(const std::string& path) override
    {
        return real_.OpenOriginal(path);
    }
    Error Rewind(int fd) override { return failing_ == Step::Rewind ? error_ : real_.Rewind(fd); }
    std::expected<int, Error> CreateTemporary(const std::string& original) override
    {
        if (failing_ == Step::Create)
            return std::unexpected(error_);
        const auto created = real_.CreateTemporary(original);
        temporary_ = created.value_or(-1);
        const fs::path folder = fs::path(original).parent_path();
        beside = std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 2;
        return created;
    }
    std::string KeepMetadata(int original, int temporary) override
    {
        return failing_ == Step::Metadata ? "métadonnées" : real_.KeepMetadata(original, temporary);
    }
    Error Flush(int fd) override { return failing_ == Step::Flush ? error_ : real_.Flush(fd); }
    Error Close(int fd) override
    {
        const Error error = real_.Close(fd);
        return fd == temporary_ && failing_ == Step::Close ? error_ : error;
    }
    Error Replace(const std::string& original) override
    {
        return failing_ == Step::Replace ? error_ : real_.Replace(original);
    }
    void RemoveTemporary() override { real_.RemoveTemporary(); }
    void SyncFolder(const std::string& original) override { real_.SyncFolder(original); }

    bool beside = false; // the new file was made in the original's folder, beside it

private:
    InPlaceSystem& real_ = InPlaceSystem::Native();
    Step failing_;
    const Error error_ { 5, std::system_category() }; // EIO, ERROR_ACCESS_DENIED on Windows
    int temporary_ = -1;
};

TEST(RepairFileInPlace, AFailedStepLeavesTheOriginalAndNoNewFile)
{
    const std::string damaged = "L'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9\n"; // L'Ã©tÃ©
    const std::string repaired = "L'\xC3\xA9t\xC3\xA9\n";
#ifdef _WIN32
    const std::string described = " (accès refusé) ; fichier laissé intact"; // ERROR_ACCESS_DENIED
#else
    const std::string described = " (erreur d'entrée-sortie) ; fichier laissé intact"; // EIO
#endif
    const struct
    {
        Step step;
        std::string reason;
    } cases[] = {
        { Step::None, "" },
        { Step::Rewind, "retour au début du fichier impossible" + described },
        { Step::Create, "impossible de créer le fichier temporaire dans son dossier" + described },
        { Step::Metadata, "métadonnées" },
        { Step::Flush, "écriture du fichier temporaire sur le disque impossible" + described },
        { Step::Close, "écriture du fichier temporaire impossible" + described },
        { Step::Replace, "impossible de remplacer le fichier par sa version réparée" + described },
    };
    const fs::path folder = fs::temp_directory_path()
        / ("orvik-in-place-test-" + std::to_string(std::random_device()()));
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.step));
        fs::remove_all(folder);
        fs::create_directory(folder);
        const fs::path file = folder / "texte";
        std::ofstream(file, std::ios::binary) << damaged;
        FailingSystem system(c.step);
        orvik::Utf8Repairer repairer(4);
        const auto result = orvik::cli::RepairFileInPlace(file.string(), repairer, system);
        const bool fails = c.step != Step::None;
        EXPECT_EQ(result.outcome, fails ? Outcome::Failed : Outcome::Repaired);
        EXPECT_EQ(result.reason, c.reason);
        std::ifstream text(file, std::ios::binary);
        EXPECT_EQ(
            std::string(std::istreambuf_iterator<char>(text), {}), fails ? damaged : repaired);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
        EXPECT_EQ(system.beside, c.step == Step::None || c.step > Step::Create);
    }
    fs::remove_all(folder);
}

} // namespace
