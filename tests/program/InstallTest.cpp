// cmake --install puts the programs and the demo data in the standard places,
// and the installed kcs finds its data from any folder.
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testing_support;

TEST(Install, TheInstalledGamePlaysTheInstalledDemoDataFromAnEmptyFolder) {
    std::string prefix = scratchDir() + "/prefix";
    std::string elsewhere = scratchDir() + "/elsewhere";
    std::filesystem::remove_all(prefix);
    std::filesystem::create_directories(elsewhere);
    RunResult install = runProgram(std::string(KCS_CMAKE_COMMAND) + " --install " + KCS_BUILD_DIR +
                                   " --prefix " + prefix);
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    for (const char* tool : {"kcs-map", "kcs-art", "kcs-sound"}) {
        EXPECT_TRUE(std::filesystem::exists(prefix + "/bin/" + tool)) << tool;
    }
    EXPECT_TRUE(std::filesystem::exists(prefix + "/share/kcs/stageselect.ini"));
    EXPECT_FALSE(std::filesystem::exists(prefix + "/share/kcs/CMakeFiles"));

    RunResult run = runProgram("cd " + elsewhere + " && " + prefix +
                               "/bin/kcs --headless --frames 3 --trace -");
    ASSERT_EQ(run.status, 0) << run.err;
    Trace trace(run.out);
    ASSERT_EQ(trace.frames(), 3u);
    EXPECT_EQ(trace.text(2, "screen"), "select");

    // Data in the working folder wins over the installed data.
    writeFile(elsewhere + "/stageselect.ini", "[Levels]\namount=0\n");
    run = runProgram("cd " + elsewhere + " && " + prefix + "/bin/kcs --headless --frames 3");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("font.ini"), std::string::npos) << run.err;
}
