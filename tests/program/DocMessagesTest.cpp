// The messages the guides quote are the programs' own: every `console` block
// in README.md and docs/ is run, each `$` command on a copy of the demo data
// changed as the `#` lines before it say, and its standard error must read
// as the lines after it (`...` stands for any text, alone for any lines),
// its status 2 when they say more than warnings.
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct DocCase {
    std::string place; // the guide and the command's line, a test's name
    std::vector<std::string> edits;
    std::string command;
    std::string said;
    friend void PrintTo(const DocCase& c, std::ostream* pOut) { *pOut << c.command; }
};

std::vector<DocCase> docCases() {
    std::vector<DocCase> cases;
    std::vector<fs::path> docs(fs::directory_iterator(fs::path(KCS_SOURCE_DIR) / "docs"), {});
    docs.push_back(fs::path(KCS_SOURCE_DIR) / "README.md");
    for (const fs::path& doc : docs) {
        std::istringstream lines(doc.extension() == ".md" ? readFile(doc) : "");
        bool inBlock = false;
        std::vector<std::string> edits;
        std::string line;
        for (int number = 1; std::getline(lines, line); ++number) {
            if (line.rfind("```", 0) == 0) {
                inBlock = !inBlock && line == "```console";
            } else if (inBlock && line.rfind("# ", 0) == 0) {
                edits.push_back(line.substr(2));
            } else if (inBlock && line.rfind("$ ", 0) == 0) {
                std::string place = doc.stem().string() + "_" + std::to_string(number);
                cases.push_back({std::regex_replace(place, std::regex("\\W"), "_"),
                                 std::exchange(edits, {}), line.substr(2), ""});
            } else if (inBlock && !cases.empty()) {
                cases.back().said += line + "\n";
            }
        }
    }
    return cases;
}

// "no FILE" removes it; "FILE: OLD -> NEW" changes OLD's first place to NEW;
// "FILE: TEXT" makes TEXT the whole file. "\n" is a line's end.
void applyEdit(const std::string& dir, std::string edit) {
    edit = std::regex_replace(edit, std::regex(R"(\\n)"), "\n");
    std::smatch part;
    if (std::regex_match(edit, part, std::regex(R"(no (\S+))"))) {
        ASSERT_TRUE(fs::remove(dir + "/" + part[1].str())) << edit;
    } else if (std::regex_match(edit, part, std::regex(R"((\S+): ([\s\S]*) -> ([\s\S]*))"))) {
        std::string text = readFile(dir + "/" + part[1].str());
        size_t at = text.find(part[2].str());
        ASSERT_NE(at, std::string::npos) << edit;
        writeFile(dir + "/" + part[1].str(), text.replace(at, part[2].length(), part[3].str()));
    } else {
        ASSERT_TRUE(std::regex_match(edit, part, std::regex(R"((\S+): ([\s\S]*))"))) << edit;
        writeFile(dir + "/" + part[1].str(), part[2].str() + "\n");
    }
}

class DocMessages : public testing::TestWithParam<DocCase> {};

TEST_P(DocMessages, AreWhatTheProgramSays) {
    const DocCase& c = GetParam();
    std::string dir = scratchDir() + "/" + c.place;
    fs::remove_all(dir);
    fs::copy(KCS_DEMO_DATA, dir, fs::copy_options::recursive);
    for (const std::string& edit : c.edits) {
        applyEdit(dir, edit);
    }
    std::string path = fs::path(KCS_BINARY).parent_path().string() + ":" +
                       fs::path(KCS_ART_BINARY).parent_path().string() + ":" +
                       fs::path(KCS_SOUND_BINARY).parent_path().string();
    RunResult result = runProgram("cd " + dir + " && PATH=" + path + ":$PATH && " + c.command);
    std::string pattern;
    bool refused = false; // a line that is no warning ends the run with status 2
    std::istringstream said(c.said);
    for (std::string line; std::getline(said, line);) {
        refused |= line != "..." && line.find(": warning: ") == std::string::npos;
        line = std::regex_replace(line, std::regex(R"([\\^$.|?*+()[\]{}])"), "\\$&");
        pattern += line == R"(\.\.\.)"
                       ? "(.*\n)*"
                       : std::regex_replace(line, std::regex(R"(\\\.\\\.\\\.)"), ".*") + "\n";
    }
    EXPECT_TRUE(std::regex_match(result.err, std::regex(pattern))) << c.command << "\n"
                                                                   << result.err;
    EXPECT_EQ(result.status, refused ? 2 : 0) << c.command;
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Guides, DocMessages, testing::ValuesIn(docCases()),
                         [](const auto& info) { return info.param.place; });

} // namespace
