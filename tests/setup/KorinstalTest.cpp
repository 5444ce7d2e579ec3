// Korinstal as the operator runs it: the real program, in a folder of its own, with DESTDIR as the root
// its targets go under.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "../core/TestSupport.h"

namespace {

const std::filesystem::path kKorinstal = TESSARIN_BINARY_DIR "/setup/Korinstal";

struct Installed {
    const char* source;
    const char* target;  // below the root
};

// What Linux needs in place of a kernel driver.
constexpr std::array<Installed, 4> kFiles = {{
    {"99-tessarin-board.rules", "etc/udev/rules.d/99-tessarin-board.rules"},
    {"tessarin.desktop", "usr/share/applications/tessarin.desktop"},
    {"tessarin-mime.xml", "usr/share/mime/packages/tessarin.xml"},
    {"tessarin.svg", "usr/share/icons/hicolor/scalable/apps/tessarin.svg"},
}};

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs Korinstal in `folder` with DESTDIR=`root`, standard output and error into files.
Outcome RunKorinstal(const std::filesystem::path& folder, const std::filesystem::path& root) {
    const std::filesystem::path out = folder.parent_path() / "korinstal.out";
    const std::filesystem::path err = folder.parent_path() / "korinstal.err";
    std::string destDir = "DESTDIR=" + root.string();
    std::string path = "PATH=/usr/bin:/bin";
    std::vector<char*> env = {destDir.data(), path.data(), nullptr};
    pid_t pid = ::fork();
    if (pid == 0) {
        int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0 || errFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0 || ::chdir(folder.c_str()) != 0)
            ::_exit(127);
        char* argv[] = {const_cast<char*>(kKorinstal.c_str()), nullptr};
        ::execve(argv[0], argv, env.data());
        ::_exit(127);
    }
    Outcome outcome;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    outcome.out = testsupport::ReadFile(out);
    outcome.err = testsupport::ReadFile(err);
    return outcome;
}

class KorinstalTest : public ::testing::Test {
protected:
    KorinstalTest() {
        WriteSources("first");
        // Exits non-zero on purpose: what Tessarin returns is none of the setup's business.
        testsupport::WriteFile(Folder() / "Tessarin", "#!/bin/sh\necho \"Tessarin started in $PWD\"\nexit 3\n");
        std::filesystem::permissions(Folder() / "Tessarin", std::filesystem::perms::owner_all);
        for (const Installed& file : kFiles) std::filesystem::create_directories(Target(file).parent_path());
    }

    std::filesystem::path Folder() const { return m_dir / "program"; }
    std::filesystem::path Root() const { return m_dir / "root"; }
    std::filesystem::path Target(const Installed& file) const { return Root() / file.target; }

    void WriteSources(const std::string& edition) const {
        for (const Installed& file : kFiles)
            testsupport::WriteFile(Folder() / file.source, edition + " " + file.source + "\n");
    }

    std::string Started() const { return "Tessarin started in " + Folder().string() + "\n"; }

    testsupport::TempDir m_dir;
};

TEST_F(KorinstalTest, CopiesEveryFileSaysSuccessThenRunsTessarin) {
    Outcome run = RunKorinstal(Folder(), Root());
    EXPECT_EQ(run.status, 0);
    // The message is flushed before the interpreter starts, so it comes first even into a file.
    EXPECT_EQ(run.out, "Success!\n" + Started());
    for (const Installed& file : kFiles)
        EXPECT_EQ(testsupport::ReadFile(Target(file)), std::string("first ") + file.source + "\n") << file.target;
}

TEST_F(KorinstalTest, ASecondRunOverwritesTheFirstsFilesAndSaysSuccessAgain) {
    ASSERT_EQ(RunKorinstal(Folder(), Root()).status, 0);
    WriteSources("second");
    Outcome again = RunKorinstal(Folder(), Root());
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "Success!\n" + Started());
    for (const Installed& file : kFiles)
        EXPECT_EQ(testsupport::ReadFile(Target(file)), std::string("second ") + file.source + "\n") << file.target;
}

TEST_F(KorinstalTest, FromAnotherFolderNothingIsCopiedAndTheInterpreterMissesTessarin) {
    const std::filesystem::path elsewhere = m_dir / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    Outcome run = RunKorinstal(elsewhere, Root());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Success!\n");
    EXPECT_NE(run.err.find("./Tessarin"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not found"), std::string::npos) << run.err;
    for (const Installed& file : kFiles) EXPECT_FALSE(std::filesystem::exists(Target(file))) << file.target;
}

TEST_F(KorinstalTest, ATargetFolderThatIsNotThereFailsOnlyItsOwnCopy) {
    struct Case {
        size_t broken;
        bool fileInTheWay;  // a plain file where the folder should be, rather than nothing
    };
    const std::vector<Case> cases = {{0, false}, {1, false}, {2, false}, {3, false}, {2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE("target " + std::string(kFiles[c.broken].target) + (c.fileInTheWay ? ", a file in the way" : ""));
        std::filesystem::remove_all(Root());
        for (size_t i = 0; i < kFiles.size(); ++i) {
            const std::filesystem::path folder = Target(kFiles[i]).parent_path();
            if (i != c.broken) std::filesystem::create_directories(folder);
            else if (c.fileInTheWay) testsupport::WriteFile(folder, "not a folder\n");
        }
        Outcome run = RunKorinstal(Folder(), Root());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, "Success!\n" + Started());
        EXPECT_EQ(run.err, "") << "a failed copy is not reported";
        for (size_t i = 0; i < kFiles.size(); ++i)
            EXPECT_EQ(std::filesystem::is_regular_file(Target(kFiles[i])), i != c.broken) << kFiles[i].target;
    }
}

}  // namespace
