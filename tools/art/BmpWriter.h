// Writes a picture as an uncompressed 32-bit BMP whose pixel layout SDL loads
// as masks R 0xFF0000, G 0xFF00, B 0xFF: the screen's own format, so the
// game blits it without converting.
#pragma once

#include <string>

class FileRegistry;
class PixelGrid;

// Writes to a temporary file beside path and renames it over path, so a
// failed or interrupted run never leaves half a bitmap. Throws SourceError.
void writeBmpAtomically(const FileRegistry& files, const PixelGrid& grid, const std::string& path);
