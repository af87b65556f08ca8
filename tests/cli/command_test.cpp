// SPDX-License-Identifier: MIT
// The orvik-repair program itself, run through the shell as a user would run it: arguments, exit
// statuses, messages, and in-place repair on real files and folders.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Runs what follows as the unprivileged user 65534, with the group 100 besides.
const std::string kAsNobody = "/usr/bin/setpriv --reuid=65534 --regid=65534 --groups=100 --";

// "L'Ã©tÃ© Ã la plage.\n" and its repair, and correct text: "Déjà l'été.\n".
const std::string kDamaged = "L'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9 \xC3\x83 la plage.\n";
const std::string kRepaired = "L'\xC3\xA9t\xC3\xA9 \xC3\xA0 la plage.\n";
const std::string kClean = "D\xC3\xA9j\xC3\xA0 l'\xC3\xA9t\xC3\xA9.\n";

struct Outcome
{
    int status;
    std::string out, err;
};

std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(file), {} };
}

void WriteFile(const fs::path& path, const std::string& content, mode_t mode = 0644)
{
    std::ofstream(path, std::ios::binary) << content;
    ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

struct stat Status(const fs::path& path)
{
    struct stat status = {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status;
}

class CommandTest : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/orvik-command-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_EQ(chmod(pattern, 0755), 0); // reachable by the unprivileged user
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Path(const std::string& name) const { return dir_ / name; }
    // A line of the program's standard error.
    static std::string Said(const std::string& what) { return "orvik-repair: " + what + "\n"; }
    static std::string Said(const fs::path& file, const std::string& reason)
    {
        return Said(file.string() + ": " + reason);
    }

    // Runs the program with `args` (quoted) through /bin/sh, in the folder. `setup` runs first:
    // by default a file size limit, so that a run that writes without end fails instead of
    // hanging. `redirect` comes after the captures, and overrides them (">/dev/full", "2>&-").
    Outcome Run(const std::vector<std::string>& args, const std::string& input = "",
        const std::string& redirect = "", const std::string& setup = "ulimit -f 4096;") const
    {
        WriteFile(Path(".in"), input);
        std::string command = setup + " cd " + dir_.string() + " && exec " + launcher_;
        for (std::string arg : args) {
            for (std::size_t at = 0; (at = arg.find('\'', at)) != std::string::npos; at += 4)
                arg.replace(at, 1, "'\\''");
            command += " '" + arg + "'";
        }
        command += " <.in >.out 2>.err " + redirect;
        const int status = std::system(command.c_str());
        return { WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(Path(".out")),
            ReadFile(Path(".err")) };
    }

    fs::path dir_;
    std::string launcher_ = ORVIK_REPAIR_PROGRAM;
};

// The extended attributes of `path` (ACLs and security labels among them), names and values.
std::string Attributes(const fs::path& path)
{
    FILE* listing
        = popen(("getfattr --absolute-names -hd -m - -e hex '" + path.string() + "'").c_str(), "r");
    std::string text(1 << 16, '\0');
    text.resize(fread(text.data(), 1, text.size(), listing));
    EXPECT_EQ(pclose(listing), 0) << path;
    return text;
}

const std::string kTryHelp = "Saisissez « orvik-repair --help » pour plus d'informations.\n";
const std::string kVersion = "orvik-repair 1.00.0003\n";
// Ã is C3 83 in UTF-8; the characters that look like punctuation are escaped.
const std::string kHelp
    = "Usage : orvik-repair [OPTION]... [FICHIER]...\n"
      "Répare les lettres accentuées abîmées par un mauvais décodage (« \xC3\x83\xC2\xA9t"
      "\xC3\x83\xC2\xA9 »\n" // Ã©tÃ©
      "au lieu de « été ») dans chaque FICHIER, et écrit le texte réparé sur la sortie\n"
      "standard. Sans FICHIER, ou quand FICHIER est -, lit l'entrée standard.\n\n"
      "  -i, --in-place   répare chaque FICHIER là où il est, au lieu d'écrire sur la\n"
      "                   sortie standard ; un fichier sans rien à réparer n'est pas\n"
      "                   réécrit, et en cas d'erreur l'original reste intact\n"
      "      --full       répare tout texte UTF-8 lu à tort comme du Windows-1252 ou\n"
      "                   du Latin-1, jusqu'à trois fois de suite : majuscules, œ, €,\n"
      "                   apostrophes, guillemets, espaces insécables (voir plus bas)\n"
      "  -h, --help       affiche cette aide et quitte\n"
      "      --version    affiche la version et quitte\n\n"
      "Le texte est lu en UTF-8. « \xC3\x83 » suivi de l'un de \xC2\xA9 \xC2\xB4 \xC2\xA8 \xC2\xAA "
      "\xC2\xB9 \xC2\xBB \xC2\xA7 \xC2\xAE \xC2\xA2\n" // © ´ ¨ ª ¹ » § ® ¢
      "devient é ô è ê ù û ç î â ; tout autre « \xC3\x83 » devient « à ». Tout le reste,\n"
      "fins de ligne et octets invalides compris, est recopié tel quel.\n\n"
      "Avec --full, toute suite de caractères qui représente un caractère UTF-8 est\n"
      "remplacée par lui (« \xC3\x83\xE2\x80\xB0 » devient « É », " // Ã‰
      "« \xC3\x83\xC6\x92\xC3\x82\xC2\xA9 » devient « é »),\n" // ÃƒÂ©
      "sauf un caractère rare isolé ; un texte sain reste identique à l'octet près.\n"
      "Un texte qui cite exprès des caractères abîmés serait lui aussi réparé.\n\n"
      "Code de retour : 0 si tout s'est bien passé, 1 si un fichier n'a pas pu être lu\n"
      "ou écrit (les autres fichiers sont tout de même traités), 2 en cas d'erreur\n"
      "d'utilisation.\n\n"
      "Exemples :\n"
      "  orvik-repair abime.txt > repare.txt\n"
      "  orvik-repair -i *.txt\n"
      "  orvik-repair --full abime.txt > repare.txt\n";

// Every run but -i: options, files, and what can go wrong on the way.
TEST_F(CommandTest, ExitStatusOutputAndMessages)
{
    const fs::path a = Path("a.txt"), b = Path("b.txt"), absent = Path("absent"),
                   folder = Path("f");
    // A byte order mark, "Ã©tÃ", CRLF, invalid bytes and a lead cut short: only the leads change.
    WriteFile(a, "\xEF\xBB\xBF\xC3\x83\xC2\xA9t\xC3\x83\r\n\xFF\xC0\xAF\xC3\x83\xC2");
    const std::string aRepaired = "\xEF\xBB\xBF\xC3\xA9t\xC3\xA0\r\n\xFF\xC0\xAF\xC3\xA0\xC2";
    WriteFile(b, kDamaged);
    fs::create_directory(folder);
    const std::string diskFull = Said("sortie standard: plus de place sur le disque");
    const auto usage = [](const std::string& what) { return Said(what) + kTryHelp; };
    const struct
    {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string err, out = "", redirect = "";
    } cases[] = {
        { "stdin_by_default", {}, 0, "", kRepaired },
        { "help_after_files_ends_options", { absent, "-h", "-z" }, 0, "", kHelp },
        { "version_abbreviated_ends_options", { "--vers", "--help", "-z" }, 0, "", kVersion },
        { "unknown_short_option_in_group", { "-xiy", a }, 2, usage("option inconnue : -x") },
        { "unknown_accented_option_shown_whole", { "-\xC3\xA9" }, 2, // -é
            usage("option inconnue : -\xC3\xA9") },
        { "abbreviation_of_in_place", { "--in" }, 2,
            usage("-i (--in-place) demande au moins un FICHIER") },
        { "long_option_without_argument", { "--in=x", a }, 2,
            usage("l'option --in-place n'accepte pas d'argument") },
        { "backup_suffix_refused", { "-i.bak", a }, 2,
            usage("l'option -i n'accepte pas d'argument : -i.bak") },
        { "option_quoted", { "--fr\nob" }, 2, usage("option inconnue : '--fr'$'\\n''ob'") },
        { "empty_long_option_ambiguous", { "--=x" }, 2,
            usage("option ambiguë : -- (--in-place, --help, --version, --full)") },
        { "in_place_refuses_stdin", { "--in-place", "-" }, 2,
            usage("-i (--in-place) ne s'applique pas à l'entrée standard (-)") },
        { "double_dash_ends_options", { "--", "-h" }, 1, Said("-h: fichier introuvable") },
        // Each name on one line that a terminal cannot misread, and that a shell reads back.
        { "names_quoted",
            { "a\nb", "\x1B[31m",
                "\xC2\x9B"
                "31m",
                "\xFF\xC2\x85", "l'\xC3\xA9t\xC3\xA9 1" },
            1,
            Said("'a'$'\\n''b': fichier introuvable") + Said("$'\\033''[31m': fichier introuvable")
                + Said("$'\\302\\233''31m': fichier introuvable") // the C1 control CSI
                + Said("$'\\377\\302\\205': fichier introuvable") // FF, then the C1 control NEL
                + Said("'l'\\''\xC3\xA9t\xC3\xA9 1': fichier introuvable") }, // l'été 1
        { "bytes_kept_bad_files_told_others_repaired", { a, folder, b }, 1,
            Said(folder, "c'est un dossier"), aRepaired + kRepaired },
        // Never a silent success, and told once: after a failed write the program stops.
        { "failed_write_of_repair", { a, b }, 1, diskFull, "", ">/dev/full" },
        { "failed_write_of_help", { "--help" }, 1, diskFull, "", ">/dev/full" },
        // Read while it grows, it would never end.
        { "input_that_is_the_output_not_read", { b }, 1,
            Said(b, "c'est aussi le fichier de sortie, il n'est pas lu"), "", ">>" + b.string() },
        // A closed stream is named, and no file takes its place; without standard error, the
        // exit status alone tells.
        { "closed_output_named", { b }, 1,
            Said("sortie standard: descripteur de fichier fermé ou invalide"), "", ">&-" },
        { "closed_input_named", { "-", b }, 1,
            Said("entrée standard: descripteur de fichier fermé ou invalide"), kRepaired, "<&-" },
        { "closed_error_output", { absent, b }, 1, "", kRepaired, "2>&-" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = Run(c.args, kDamaged, c.redirect);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, c.err);
    }
    EXPECT_EQ(ReadFile(b), kDamaged);
}

// -i --full on files of every kind in one run: each one is repaired, left untouched, refused, or
// fails, on its own and with its message, and nothing is left behind.
TEST_F(CommandTest, InPlaceTakesEachFileOnItsOwn)
{
    const fs::path big = Path("big"), link = Path("link"), fifo = Path("fifo"),
                   folder = Path("folder"), damaged = Path("damaged"), clean = Path("clean"),
                   end = Path("end");
    const std::string bigText = kDamaged + std::string(1 << 20, '.'); // over the limit set below
    WriteFile(big, bigText);
    // With --full: damaged twice, and "SÃO", sound to the full repair alone.
    WriteFile(damaged, "\xC3\x83\xC6\x92\xC3\x82\xC2\xA9t\xC3\x83\xE2\x80\xB0\n", 0640); // ÃƒÂ©tÃ‰
    WriteFile(clean, kClean + "S\xC3\x83O\n", 0604);
    // "voilÃ": damage that only shows once the input ends; named from its folder.
    WriteFile(end, "voil\xC3\x83");
    // An old modification time, so that a rewrite within the same second would still show.
    fs::last_write_time(clean, fs::file_time_type::clock::now() - std::chrono::hours(24));
    const fs::file_time_type cleanTime = fs::last_write_time(clean);
    fs::create_symlink("damaged", link);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0); // opening it to read would wait for a writer
    fs::create_directory(folder);

    const Outcome outcome
        = Run({ "--full", "-i", big, link, fifo, folder, Path("absent"), damaged, clean, "end" },
            "", "", "trap '' XFSZ; ulimit -f 128;");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err,
        Said(big,
            "écriture du fichier temporaire impossible (fichier trop gros) ; fichier laissé intact")
            + Said(link,
                "c'est un lien symbolique, réparez plutôt le fichier qu'il désigne ; lien laissé "
                "intact")
            + Said(fifo,
                "ce n'est pas un fichier ordinaire, il ne peut être réparé que vers la sortie "
                "standard")
            + Said(folder, "c'est un dossier") + Said(Path("absent"), "fichier introuvable"));
    EXPECT_EQ(ReadFile(big), bigText);
    EXPECT_EQ(ReadFile(damaged), "\xC3\xA9t\xC3\x89\n"); // étÉ
    EXPECT_EQ(Status(damaged).st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFile(clean), kClean + "S\xC3\x83O\n");
    EXPECT_EQ(ReadFile(end), "voil\xC3\xA0");
    EXPECT_EQ(fs::last_write_time(clean), cleanTime);
    // The seven files, and the run's .in, .out and .err.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 10);
}

// -i gives the repaired file everything the original had: owner, group, mode, ACL, attributes. A
// user cannot give the file to another owner but keeps a group of their own; where the group
// cannot be kept and would give rights that others lack, or where the user may not create the new
// file, it refuses instead.
TEST_F(CommandTest, InPlaceKeepsOwnerGroupModeAclAndAttributes)
{
    if (geteuid() != 0 || std::system((kAsNobody + " /bin/true").c_str()) != 0)
        GTEST_SKIP() << "needs root, and setpriv, to give the files other owners";
    const struct
    {
        const char* name;
        std::string setup; // run as root in the test's folder; the file is d/f, with damaged text
        bool asNobody; // run by the user 65534 (groups 65534 and 100) rather than root
        std::string err = ""; // when set, the file must be left intact
        bool ownerKept = true; // else the user 65534 owns the new file
    } cases[] = {
        { "set_group_id_folder_of_another_group",
            "chgrp 12345 d && chmod 2775 d && chgrp 0 d/f && chmod 640 d/f", false },
        { "folder_default_acl_not_taken", "setfacl -d -m u:12345:rwx d", false },
        // The ACL listed first: the user attribute after it must not make it look absent.
        { "acl_then_user_attribute",
            "setfacl -m u:12345:r d/f && setfattr -n user.note -v \"\xC3\xA9t\xC3\xA9\" d/f", // été
            false },
        { "root_s_file_in_a_group_of_the_user", "chmod 777 d && chgrp 100 d/f && chmod 664 d/f",
            true, "", false },
        { "set_user_id_file_of_another_user", "chown 12345:12345 d/f && chmod 4755 d/f", false },
        { "group_the_user_cannot_give_refused", "chmod 777 d && chgrp 12345 d/f && chmod 664 d/f",
            true,
            "impossible de garder le groupe du fichier (opération non permise) ; fichier laissé "
            "intact" },
        { "folder_the_user_cannot_write_to", "chmod 755 d", true,
            "impossible de créer le fichier temporaire dans son dossier (permission refusée) ; "
            "fichier laissé intact" },
    };
    // The user 65534 runs a copy of the program that this user can reach.
    fs::copy_file(ORVIK_REPAIR_PROGRAM, Path("orvik-repair"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Path("d"));
        fs::create_directory(Path("d"));
        const fs::path file = Path("d/f");
        WriteFile(file, kDamaged);
        ASSERT_EQ(std::system(("cd " + dir_.string() + " && " + c.setup).c_str()), 0) << c.setup;
        const struct stat before = Status(file);
        const auto attributes = Attributes(file);
        launcher_ = c.asNobody ? kAsNobody + " " + Path("orvik-repair").string()
                               : std::string(ORVIK_REPAIR_PROGRAM);

        const Outcome outcome = Run({ "-i", file });
        EXPECT_EQ(outcome.err, c.err.empty() ? "" : Said(file, c.err));
        EXPECT_EQ(ReadFile(file), c.err.empty() ? kRepaired : kDamaged);
        const struct stat after = Status(file);
        EXPECT_EQ(after.st_uid, c.ownerKept ? before.st_uid : 65534u);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(Attributes(file), attributes);
        EXPECT_EQ(std::distance(fs::directory_iterator(Path("d")), fs::directory_iterator()), 1);
    }
}

} // namespace
