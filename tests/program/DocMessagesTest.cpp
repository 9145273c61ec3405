// The messages the guides quote are the programs' own: every `console` block
// in README.md and docs/ is run, each `$` command on a copy of the demo data
// changed as the `#` lines before it say, and its standard error must read
// as the lines after it (`...` stands for any text, alone for any lines),
// its status 2 when they say more than warnings. A message quoted anywhere
// else in them must be a form of one those blocks (or a test) check.
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::vector<fs::path> guides() {
    std::vector<fs::path> docs(fs::directory_iterator(fs::path(KCS_SOURCE_DIR) / "docs"), {});
    docs.push_back(fs::path(KCS_SOURCE_DIR) / "README.md");
    return docs;
}

std::vector<DocCase> docCases() {
    std::vector<DocCase> cases;
    for (const fs::path& doc : guides()) {
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

// A line as a pattern of itself, but for "...", any text.
std::string literal(const std::string& line) {
    std::string escaped = std::regex_replace(line, std::regex(R"([\\^$.|?*+()[\]{}])"), "\\$&");
    return std::regex_replace(escaped, std::regex(R"(\\\.\\\.\\\.)"), ".*");
}

class DocMessages : public testing::TestWithParam<DocCase> {};

TEST_P(DocMessages, AreWhatTheProgramSays) {
    const DocCase& c = GetParam();
    std::string dir = scratchDir() + "/" + c.place;
    fs::remove_all(dir);
    fs::copy(KCS_DEMO_DATA, dir, fs::copy_options::recursive);
    // The map sources too, for the cases of kcs-map and of rebuilds.
    fs::copy(fs::path(KCS_SOURCE_DIR) / "data" / "maps", dir + "/maps",
             fs::copy_options::recursive);
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
        pattern += line == "..." ? "(.*\n)*" : literal(line) + "\n";
    }
    EXPECT_TRUE(std::regex_match(result.err, std::regex(pattern))) << c.command << "\n"
                                                                   << result.err;
    // "# status N" ends a command whose status is neither, as a window nobody sees.
    std::smatch stated;
    bool statusGiven = std::regex_search(c.command, stated, std::regex(R"(# status (\d+)$)"));
    EXPECT_EQ(result.status, statusGiven ? std::stoi(stated[1]) : refused ? 2 : 0) << c.command;
    fs::remove_all(dir);
}

// A quoted form: its capitals (FILE, N) stand for a word, "..." for any text.
std::regex formOf(const std::string& quote) {
    std::string pattern = literal(std::regex_replace(quote, std::regex("[A-Z]+"), "\x01"));
    return std::regex(std::regex_replace(pattern, std::regex("\x01"), R"(\S*)"));
}

// The quotes outside the console blocks: a code block's line or a `span`
// that starts with a program's name, and the first `span` of each row in a
// table's column headed by messages or refusals. Each must be the form of a
// line a block checks, or of one a test checks (the few cases a block
// cannot make, as a window on a small desktop), so none goes unchecked.
TEST(DocMessages, QuotedElsewhereAreFormsOfCheckedOnes) {
    std::string checked;
    for (const DocCase& c : docCases()) {
        checked += c.said;
    }
    for (const fs::path& file :
         fs::recursive_directory_iterator(fs::path(KCS_SOURCE_DIR) / "tests")) {
        checked += file.extension() == ".cpp" ? readFile(file) : "";
    }
    const std::regex program("^kcs(-map|-art|-sound)?: "), span("`([^`]+)`");
    for (const fs::path& doc : guides()) {
        std::istringstream lines(doc.extension() == ".md" ? readFile(doc) + "\n" : "");
        std::vector<std::string> quotes;
        std::string prose, line, header;
        bool inBlock = false, console = false;
        for (std::smatch part; std::getline(lines, line);) {
            if (line.rfind("```", 0) == 0) {
                console = !inBlock && line == "```console";
                inBlock = !inBlock;
            } else if (inBlock && !console && std::regex_search(line, program)) {
                quotes.push_back(line);
            } else if (!inBlock) {
                header = line[0] != '|' ? "" : header.empty() ? line : header;
                if (line != header &&
                    std::regex_search(header, part, std::regex("message|refusal"))) {
                    std::istringstream row(line);
                    std::string cell;
                    for (auto bar = std::count(header.cbegin(), part[0].first, '|'); bar >= 0;
                         --bar) {
                        std::getline(row, cell, '|');
                    }
                    if (std::regex_search(cell, part, span)) {
                        quotes.push_back(part[1]);
                    }
                }
                prose += line.substr(std::min(line.find_first_not_of(' '), line.size())) + " ";
            }
            for (std::sregex_iterator it(prose.begin(), prose.end(), span), end;
                 line.empty() && it != end; ++it) {
                if (std::regex_search((*it)[1].str(), program)) {
                    quotes.push_back((*it)[1]);
                }
            }
            prose = line.empty() ? "" : prose;
        }
        for (const std::string& quote : quotes) {
            EXPECT_TRUE(std::regex_search(checked, formOf(quote)))
                << doc.filename().string() << ": `" << quote
                << "` is the form of no message a console block or a test checks";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Guides, DocMessages, testing::ValuesIn(docCases()),
                         [](const auto& info) { return info.param.place; });

} // namespace
