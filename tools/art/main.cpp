// kcs-art: builds one BMP from a text pixel source (docs/art-format.md).
#include "BmpWriter.h"
#include "PixelGrid.h"
#include "common/SourceTool.h"

#include <string>

namespace {

const char* const USAGE =
    "usage: kcs-art [--mirror] [--overlay OVER.txt] SRC.txt OUT.bmp\n"
    "\n"
    "Turns a text pixel grid into a 32-bit BMP (masks R 0xFF0000, G 0xFF00,\n"
    "B 0xFF). The colour 255 128 255 is the game's transparent key colour.\n"
    "\n"
    "  --overlay OVER.txt  paint every non-key pixel of OVER.txt (same size)\n"
    "                      over SRC.txt; may be given more than once\n"
    "  --mirror            flip the result left to right (after overlays)\n"
    "  --help, --version   show this text, the version\n"
    "\n"
    "Source lines: '// comment', 'width N', 'colour C R G B', 'blank N', and\n"
    "pixel rows of exactly N colour characters, top to bottom.\n"
    "Errors print 'file:line:column: message' and exit with status 2.\n";

} // namespace

int main(int argc, char** argv) {
    const SourceTool tool{"kcs-art", USAGE, "SRC.txt and OUT.bmp", {"--mirror"}, "--overlay"};
    auto build = [](FileRegistry& files, const SourceToolArguments& arguments) {
        PixelGrid grid = PixelGrid::load(files, arguments.source);
        for (const std::string& overlayName : arguments.inputs) {
            grid.overlay(PixelGrid::load(files, overlayName), overlayName);
        }
        if (arguments.has("--mirror")) {
            grid.mirror();
        }
        writeBmpAtomically(files, grid, arguments.output);
    };
    return runSourceTool(tool, argc, argv, build);
}
