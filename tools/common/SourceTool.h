// The frame of a tool that turns one text source into one file (kcs-art,
// kcs-sound): its command line, --help, the stop signals, an output that
// would overwrite an input refused, and every error as one line with
// status 2.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class FileRegistry;

struct SourceToolArguments {
    std::string source;
    std::string output;
    std::vector<std::string> flags;  // the flags given, as written
    std::vector<std::string> inputs; // the files of the repeatable file option, in order

    bool has(const std::string& flag) const;
};

struct SourceTool {
    const char* name;               // "kcs-art"
    const char* usage;              // for --help, and after a command that makes no sense
    const char* positional;         // "SRC.txt and OUT.bmp"
    std::vector<std::string> flags; // options without a value ("--mirror")
    std::string fileOption;         // an option naming one more input, repeatable; or empty
};

// The program's exit status: build is run with the run's files and the
// arguments once they make a command and no input is the output.
int runSourceTool(const SourceTool& tool, int argc, char** argv,
                  const std::function<void(FileRegistry&, const SourceToolArguments&)>& build);

// Writes the bytes through a temporary file renamed over path, so a failed
// or interrupted run never leaves half a file.
void writeToolOutput(const FileRegistry& files, const std::string& path,
                     const std::vector<uint8_t>& bytes);
