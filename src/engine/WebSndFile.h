// libsndfile's interface as SoundFile.cpp names it, for the web build, which
// has no libsndfile to load: the game reads 16-bit WAV there, and any other
// sound file is refused with one clear line. The values are libsndfile's.
#pragma once

#include <cstdint>

using sf_count_t = int64_t;
struct SNDFILE;
struct SF_INFO {
    sf_count_t frames;
    int samplerate;
    int channels;
    int format;
    int sections;
    int seekable;
};
struct SF_VIRTUAL_IO {
    sf_count_t (*get_filelen)(void* pUser);
    sf_count_t (*seek)(sf_count_t offset, int whence, void* pUser);
    sf_count_t (*read)(void* pTo, sf_count_t count, void* pUser);
    sf_count_t (*write)(const void* pFrom, sf_count_t count, void* pUser);
    sf_count_t (*tell)(void* pUser);
};
enum {
    SFM_READ = 0x10,
    SF_ERR_NO_ERROR = 0,
    SF_FORMAT_WAV = 0x010000,
    SF_FORMAT_AIFF = 0x020000,
    SF_FORMAT_WAVEX = 0x130000,
    SF_FORMAT_FLAC = 0x170000,
    SF_FORMAT_OGG = 0x200000,
    SF_FORMAT_TYPEMASK = 0x0FFF0000,
};
SNDFILE* sf_open_virtual(SF_VIRTUAL_IO* pIo, int mode, SF_INFO* pInfo, void* pUser);
sf_count_t sf_readf_float(SNDFILE* pFile, float* pTo, sf_count_t frames);
int sf_error(SNDFILE* pFile);
const char* sf_strerror(SNDFILE* pFile);
int sf_close(SNDFILE* pFile);
