#include "common/SourceTool.h"

#include "config/SourceText.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <string_view>

namespace {

constexpr int EXIT_BAD_INPUT = 2;

enum class Parsed { COMMAND, HELP, VERSION, BAD };

Parsed parseArguments(const SourceTool& tool, int argc, char** argv,
                      SourceToolArguments& arguments) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return Parsed::HELP;
        }
        if (argument == "--version") {
            return Parsed::VERSION;
        }
        if (std::find(tool.flags.begin(), tool.flags.end(), argument) != tool.flags.end()) {
            arguments.flags.push_back(argument);
        } else if (!tool.fileOption.empty() && argument == tool.fileOption) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s: %s needs a file\n", tool.name, argument.c_str());
                return Parsed::BAD;
            }
            arguments.inputs.push_back(argv[++i]);
        } else if (argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "%s: unknown option %s\n", tool.name, excerpt(argument).c_str());
            return Parsed::BAD;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "%s: expected %s\n", tool.name, tool.positional);
        return Parsed::BAD;
    }
    arguments.source = positional[0];
    arguments.output = positional[1];
    return Parsed::COMMAND;
}

} // namespace

bool SourceToolArguments::has(const std::string& flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

int runSourceTool(const SourceTool& tool, int argc, char** argv,
                  const std::function<void(FileRegistry&, const SourceToolArguments&)>& build) {
    SourceToolArguments arguments;
    switch (parseArguments(tool, argc, argv, arguments)) {
    case Parsed::BAD:
        std::fputs(tool.usage, stderr);
        return EXIT_BAD_INPUT;
    case Parsed::HELP:
        std::fputs(tool.usage, stdout);
        return flushStandardOutput(tool.name) ? 0 : EXIT_BAD_INPUT;
    case Parsed::VERSION:
        std::printf("%s %s\n", tool.name, KCS_VERSION);
        return flushStandardOutput(tool.name) ? 0 : EXIT_BAD_INPUT;
    case Parsed::COMMAND:
        break;
    }
    catchStopSignals();
    FileRegistry files;
    try {
        refuseSameFile(arguments.output, "the output", arguments.source);
        for (const std::string& input : arguments.inputs) {
            refuseSameFile(arguments.output, "the output", input);
        }
        build(files, arguments);
        throwIfStopped();
    } catch (const Interrupted& stop) {
        endBySignal(stop.signal());
    } catch (const SourceError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return EXIT_BAD_INPUT;
    } catch (const DataError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return EXIT_BAD_INPUT;
    } catch (const std::bad_alloc&) {
        // The source's limits bound what it builds; this is a last resort.
        std::fprintf(stderr, "%s: %s: not enough memory\n", tool.name, arguments.source.c_str());
        return EXIT_BAD_INPUT;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s: %s\n", tool.name, arguments.source.c_str(), error.what());
        return EXIT_BAD_INPUT;
    }
    return 0;
}

void writeToolOutput(const FileRegistry& files, const std::string& path,
                     const std::vector<uint8_t>& bytes) {
    writeFileWhole(files, path,
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                   "the output");
}
