#include "engine/SoundFile.h"

#include "engine/DataError.h"
#include "engine/LittleEndian.h"

#include <dlfcn.h>
#ifdef __EMSCRIPTEN__
#include "engine/WebSndFile.h"
#else
#include <sndfile.h>
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace {

const char* const NOT_READABLE = "not a sound file kcs can read: WAV, AIFF, FLAC or Ogg";

constexpr size_t RIFF_HEADER = 12; // "RIFF", size, "WAVE"
constexpr size_t CHUNK_HEADER = 8; // name, size
constexpr size_t FMT_BASE = 16;    // the fields every format has
constexpr size_t FMT_ADPCM = 20;   // and the extension's size and samples per block
constexpr size_t FMT_EXTENSIBLE = 40;
constexpr size_t FMT_SUB_FORMAT = 24; // bytes into the chunk
constexpr size_t SMPL_LOOP_COUNT = 28;
constexpr size_t SMPL_FIRST_LOOP_START = 44;
constexpr uint64_t MIB = uint64_t{1} << 20;
constexpr size_t SAMPLE_BYTES = 2;       // 16-bit
constexpr sf_count_t READ_FRAMES = 4096; // per call to libsndfile
constexpr double FULL_SCALE = 32768;     // a 16-bit sample's

enum FormatTag : uint32_t {
    PCM = 0x0001,
    MS_ADPCM = 0x0002,
    IEEE_FLOAT = 0x0003,
    A_LAW = 0x0006,
    MU_LAW = 0x0007,
    IMA_ADPCM = 0x0011,
    EXTENSIBLE = 0xFFFE,
};
// WAVE_FORMAT_EXTENSIBLE's sub-format is a GUID: the format tag as its
// first 32-bit field, then these fixed 12 bytes.
const uint8_t SUB_FORMAT_TAIL[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                     0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool startsWith(std::span<const uint8_t> bytes, size_t at, const char* pName) {
    size_t length = std::strlen(pName);
    return bytes.size() >= at + length && std::memcmp(bytes.data() + at, pName, length) == 0;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// What libsndfile reads: a head we may have written, then the file's bytes.
// It never sees a path.
struct VirtualFile {
    std::vector<uint8_t> head;
    const uint8_t* pBody = nullptr;
    size_t bodySize = 0;
    sf_count_t position = 0;

    sf_count_t length() const { return static_cast<sf_count_t>(head.size() + bodySize); }
};

sf_count_t virtualLength(void* pFile) {
    return static_cast<VirtualFile*>(pFile)->length();
}

sf_count_t virtualSeek(sf_count_t offset, int whence, void* pFile) {
    auto* pVirtual = static_cast<VirtualFile*>(pFile);
    sf_count_t base = whence == SEEK_CUR   ? pVirtual->position
                      : whence == SEEK_END ? pVirtual->length()
                                           : 0;
    // Beyond either end is held at that end; reads there find nothing.
    if (offset < -base) {
        pVirtual->position = 0;
    } else {
        pVirtual->position = std::min(base + offset, pVirtual->length());
    }
    return pVirtual->position;
}

sf_count_t virtualRead(void* pTo, sf_count_t count, void* pFile) {
    auto* pVirtual = static_cast<VirtualFile*>(pFile);
    auto* pOut = static_cast<uint8_t*>(pTo);
    sf_count_t done = 0;
    while (done < count && pVirtual->position < pVirtual->length()) {
        auto at = static_cast<size_t>(pVirtual->position);
        const uint8_t* pFrom = nullptr;
        size_t available = 0;
        if (at < pVirtual->head.size()) {
            pFrom = pVirtual->head.data() + at;
            available = pVirtual->head.size() - at;
        } else {
            pFrom = pVirtual->pBody + (at - pVirtual->head.size());
            available = pVirtual->bodySize - (at - pVirtual->head.size());
        }
        size_t part = std::min(available, static_cast<size_t>(count - done));
        std::memcpy(pOut + done, pFrom, part);
        done += static_cast<sf_count_t>(part);
        pVirtual->position += static_cast<sf_count_t>(part);
    }
    return done;
}

sf_count_t virtualWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t virtualTell(void* pFile) {
    return static_cast<VirtualFile*>(pFile)->position;
}

// A WAV's chunks as our reader found them.
struct WavLayout {
    size_t fmtAt = 0; // of the chunk's header
    size_t fmtSize = 0;
    size_t dataAt = 0; // of the samples
    size_t dataSize = 0;
    std::optional<uint32_t> loopStart; // frames
    bool pcm16 = false;                // 16-bit PCM, plain or extensible: read without libsndfile
};

// libsndfile, loaded the first time a file needs it: linked, it would bring
// its codecs' libraries (FLAC, Vorbis, Opus, MPEG) into every start of the
// program, --version included, and most data is 16-bit WAV that our own
// reader decodes.
struct SndFileLibrary {
    decltype(&sf_open_virtual) open = nullptr;
    decltype(&sf_readf_float) readFloat = nullptr;
    decltype(&sf_error) error = nullptr;
    decltype(&sf_strerror) strerror = nullptr;
    decltype(&sf_close) close = nullptr;
};

// Loaded once for the process and never unloaded, as a linked library
// would be; throws when the system has no libsndfile.
const SndFileLibrary& sndFile() {
    static const SndFileLibrary library = [] {
        SndFileLibrary loaded;
        void* pHandle = dlopen("libsndfile.so.1", RTLD_NOW | RTLD_LOCAL);
        if (pHandle != nullptr) {
            loaded.open =
                reinterpret_cast<decltype(&sf_open_virtual)>(dlsym(pHandle, "sf_open_virtual"));
            loaded.readFloat =
                reinterpret_cast<decltype(&sf_readf_float)>(dlsym(pHandle, "sf_readf_float"));
            loaded.error = reinterpret_cast<decltype(&sf_error)>(dlsym(pHandle, "sf_error"));
            loaded.strerror =
                reinterpret_cast<decltype(&sf_strerror)>(dlsym(pHandle, "sf_strerror"));
            loaded.close = reinterpret_cast<decltype(&sf_close)>(dlsym(pHandle, "sf_close"));
        }
        return loaded;
    }();
#ifdef __EMSCRIPTEN__
    throw SoundFileError("the web build reads only 16-bit WAV sound files; convert it to one");
#endif
    if (library.open == nullptr || library.readFloat == nullptr || library.error == nullptr ||
        library.strerror == nullptr || library.close == nullptr) {
        throw SoundFileError("its format is decoded by libsndfile (libsndfile.so.1), which "
                             "cannot be loaded: install libsndfile, or give a 16-bit WAV");
    }
    return library;
}

// The fmt chunk's fields, checked against what kcs reads; true for 16-bit
// PCM.
bool checkFormat(const uint8_t* pFmt, size_t size) {
    if (size < FMT_BASE) {
        throw SoundFileError("its fmt chunk is " + std::to_string(size) + " bytes, too short");
    }
    uint32_t tag = littleEndian(pFmt, 2);
    uint32_t channels = littleEndian(pFmt + 2, 2);
    uint32_t rate = littleEndian(pFmt + 4, 4);
    uint32_t blockAlign = littleEndian(pFmt + 12, 2);
    uint32_t bits = littleEndian(pFmt + 14, 2);
    if (tag == EXTENSIBLE) {
        if (size < FMT_EXTENSIBLE) {
            throw SoundFileError("its fmt chunk is " + std::to_string(size) +
                                 " bytes, too short for WAVE_FORMAT_EXTENSIBLE");
        }
        const uint8_t* pSub = pFmt + FMT_SUB_FORMAT;
        tag = littleEndian(pSub, 2);
        if ((tag != PCM && tag != IEEE_FLOAT) || littleEndian(pSub + 2, 2) != 0 ||
            std::memcmp(pSub + 4, SUB_FORMAT_TAIL, sizeof SUB_FORMAT_TAIL) != 0) {
            throw SoundFileError("its WAVE_FORMAT_EXTENSIBLE sub-format is neither PCM nor float");
        }
    }
    bool adpcm = tag == IMA_ADPCM || tag == MS_ADPCM;
    bool bitsFit = false;
    switch (tag) {
    case PCM:
        bitsFit = bits == 8 || bits == 16 || bits == 24 || bits == 32;
        break;
    case IEEE_FLOAT:
        bitsFit = bits == 32 || bits == 64;
        break;
    case A_LAW:
    case MU_LAW:
        bitsFit = bits == 8;
        break;
    case IMA_ADPCM:
    case MS_ADPCM:
        bitsFit = bits == 4;
        break;
    default:
        throw SoundFileError("its format tag, " + hex(tag) +
                             ", is not one kcs reads (PCM, float, A-law, mu-law, IMA or MS "
                             "ADPCM, or these as WAVE_FORMAT_EXTENSIBLE)");
    }
    if (channels < 1 || channels > MAX_SOUND_CHANNELS) {
        throw SoundFileError("it has " + std::to_string(channels) + " channels; kcs reads 1 to " +
                             std::to_string(MAX_SOUND_CHANNELS));
    }
    if (rate < MIN_SOUND_RATE || rate > MAX_SOUND_RATE) {
        throw SoundFileError("its sample rate, " + std::to_string(rate) + " Hz, is outside " +
                             std::to_string(MIN_SOUND_RATE) + " to " +
                             std::to_string(MAX_SOUND_RATE) + " Hz");
    }
    if (!bitsFit) {
        throw SoundFileError("its " + std::to_string(bits) +
                             " bits per sample do not fit its format (PCM: 8, 16, 24 or 32; "
                             "float: 32 or 64; A-law and mu-law: 8; ADPCM: 4)");
    }
    if (!adpcm) {
        if (blockAlign != channels * bits / 8) {
            throw SoundFileError("its block align, " + std::to_string(blockAlign) +
                                 " bytes, is not its " + std::to_string(channels) +
                                 " channels of " + std::to_string(bits) + " bits");
        }
        return tag == PCM && bits == 16;
    }
    if (size < FMT_ADPCM) {
        throw SoundFileError("its fmt chunk is " + std::to_string(size) +
                             " bytes, too short for ADPCM");
    }
    // A block starts with a header per channel (IMA: 4 bytes holding one
    // sample; MS: 7 bytes holding two), then 4-bit samples.
    uint32_t headerBytes = tag == IMA_ADPCM ? 4 : 7;
    uint32_t headerSamples = tag == IMA_ADPCM ? 1 : 2;
    uint32_t samplesPerBlock = littleEndian(pFmt + 18, 2);
    uint32_t fits = blockAlign > headerBytes * channels
                        ? (blockAlign - headerBytes * channels) * 2 / channels + headerSamples
                        : 0;
    if (fits == 0 || samplesPerBlock != fits) {
        throw SoundFileError("its ADPCM blocks of " + std::to_string(blockAlign) +
                             " bytes cannot hold " + std::to_string(samplesPerBlock) +
                             " samples per channel");
    }
    return false;
}

// The chunk list, walked before any decoder sees the bytes. A file cut
// short inside its samples (a recording stopped, a copy broken off) keeps
// the samples it has; any other chunk running past the end is refused.
WavLayout checkWav(std::span<const uint8_t> bytes) {
    const size_t fileSize = bytes.size();
    // The RIFF size, when it lies inside the file, ends the chunks: some
    // tools append tags after it. Past the file's end it is a file cut short
    // or a streaming writer's placeholder.
    uint64_t riffEnd = uint64_t{8} + littleEndian(bytes.data() + 4, 4);
    size_t end = riffEnd < fileSize ? static_cast<size_t>(riffEnd) : fileSize;
    WavLayout layout;
    bool hasFmt = false;
    bool hasData = false;
    bool dataFirst = false;
    size_t at = RIFF_HEADER;
    while (at + CHUNK_HEADER <= end) {
        const uint8_t* pChunk = bytes.data() + at;
        std::string name(reinterpret_cast<const char*>(pChunk), 4);
        size_t size = littleEndian(pChunk + 4, 4);
        size_t body = at + CHUNK_HEADER;
        if (name == "data") {
            if (hasData) {
                throw SoundFileError("it has two data chunks");
            }
            dataFirst = !hasFmt;
            hasData = true;
            layout.dataAt = body;
            layout.dataSize = std::min(size, fileSize - body);
            size = layout.dataSize;
        } else if (size > end - body) {
            throw SoundFileError("its \"" + excerpt(name) + "\" chunk's size, " +
                                 std::to_string(size) + " bytes, runs past the file's end");
        } else if (name == "fmt ") {
            if (hasFmt) {
                throw SoundFileError("it has two fmt chunks");
            }
            hasFmt = true;
            layout.fmtAt = at;
            layout.fmtSize = size;
        } else if (name == "smpl" && size >= SMPL_FIRST_LOOP_START + 4 &&
                   littleEndian(bytes.data() + body + SMPL_LOOP_COUNT, 4) > 0) {
            // As samplers and kcs-sound write it: the first loop's start.
            layout.loopStart = littleEndian(bytes.data() + body + SMPL_FIRST_LOOP_START, 4);
        }
        at = body + size + (size & 1); // chunks are padded to even sizes
    }
    if (!hasFmt) {
        throw SoundFileError("its fmt chunk is missing");
    }
    if (!hasData) {
        throw SoundFileError("its data chunk is missing");
    }
    if (dataFirst) {
        throw SoundFileError("its data chunk comes before its fmt chunk");
    }
    layout.pcm16 = checkFormat(bytes.data() + layout.fmtAt + CHUNK_HEADER, layout.fmtSize);
    return layout;
}

// libsndfile's view of a checked WAV: a header we write, its fmt chunk and
// its samples, and none of the other chunks its parsers would read.
void wavView(std::span<const uint8_t> bytes, const WavLayout& layout, VirtualFile& file) {
    std::vector<uint8_t>& head = file.head;
    size_t fmtBytes = CHUNK_HEADER + layout.fmtSize + (layout.fmtSize & 1);
    uint64_t total = RIFF_HEADER + fmtBytes + CHUNK_HEADER + layout.dataSize;
    head.insert(head.end(), {'R', 'I', 'F', 'F'});
    put32(head, static_cast<uint32_t>(total - 8));
    head.insert(head.end(), {'W', 'A', 'V', 'E'});
    head.insert(head.end(), bytes.begin() + static_cast<long>(layout.fmtAt),
                bytes.begin() + static_cast<long>(layout.fmtAt + CHUNK_HEADER + layout.fmtSize));
    if (layout.fmtSize & 1) {
        head.push_back(0);
    }
    head.insert(head.end(), {'d', 'a', 't', 'a'});
    put32(head, static_cast<uint32_t>(layout.dataSize));
    file.pBody = bytes.data() + layout.dataAt;
    file.bodySize = layout.dataSize;
}

// Samples at a file's rate in, samples at SOUND_RATE out, by linear
// interpolation between neighbours; a file at SOUND_RATE passes unchanged.
class Resampler {
public:
    Resampler(uint32_t rate, const SoundBound& bound, LargeVector<int16_t>& out)
        : m_rate(rate), m_maxSamples(bound.maxBytes / SAMPLE_BYTES), m_bound(bound), m_out(out) {}

    void push(int16_t sample) {
        if (m_rate == SOUND_RATE) {
            emit(sample);
            return;
        }
        // The outputs that fall between the previous sample and this one.
        if (m_pushed > 0) {
            const uint64_t left = (m_pushed - 1) * SOUND_RATE;
            while (m_next * m_rate < m_pushed * SOUND_RATE) {
                const int64_t fraction = static_cast<int64_t>(m_next * m_rate - left);
                emit(static_cast<int16_t>(m_previous +
                                          (sample - m_previous) * fraction / int64_t{SOUND_RATE}));
                ++m_next;
            }
        }
        m_previous = sample;
        ++m_pushed;
    }

    // The outputs after the last sample hold it.
    void finish() {
        if (m_rate == SOUND_RATE) {
            return;
        }
        while (m_pushed > 0 && m_next * m_rate < m_pushed * SOUND_RATE) {
            emit(static_cast<int16_t>(m_previous));
            ++m_next;
        }
    }

private:
    void emit(int16_t sample) {
        if (m_out.size() >= m_maxSamples) {
            // The header said less: it lied.
            throw SoundFileError(std::string("it decodes to more than its header says, and ") +
                                 m_bound.what);
        }
        m_out.push_back(sample);
    }

    uint32_t m_rate; // Hz
    uint64_t m_maxSamples;
    const SoundBound& m_bound;
    LargeVector<int16_t>& m_out;
    uint64_t m_pushed = 0; // samples in
    uint64_t m_next = 0;   // the next sample out
    int64_t m_previous = 0;
};

struct SndFileCloser {
    void operator()(SNDFILE* pFile) const { sndFile().close(pFile); }
};

// What a decoder tells from a file's header, and how it gives the frames:
// at most `wanted` into `pBlock`, as floats at full scale 1.0, channels
// interleaved; the count given, 0 at the end.
struct FrameSource {
    int channels = 0;
    int rate = 0;       // Hz
    int64_t frames = 0; // as the header says
    std::function<int64_t(float* pBlock, int64_t wanted)> read;
};

// A checked 16-bit PCM WAV's samples, as libsndfile would give them: each
// scaled by exactly 2^-15, so the result is the same to the bit.
FrameSource pcm16Source(std::span<const uint8_t> bytes, const WavLayout& layout,
                        int64_t& position) {
    const uint8_t* pFmt = bytes.data() + layout.fmtAt + CHUNK_HEADER;
    FrameSource source;
    source.channels = static_cast<int>(littleEndian(pFmt + 2, 2));
    source.rate = static_cast<int>(littleEndian(pFmt + 4, 4));
    const size_t frameBytes = SAMPLE_BYTES * static_cast<size_t>(source.channels);
    source.frames = static_cast<int64_t>(layout.dataSize / frameBytes);
    const uint8_t* pData = bytes.data() + layout.dataAt;
    const int64_t frames = source.frames;
    source.read = [pData, frameBytes, frames, &position](float* pBlock, int64_t wanted) {
        const int64_t got = std::min(wanted, frames - position);
        const size_t count = static_cast<size_t>(got) * frameBytes / SAMPLE_BYTES;
        const uint8_t* pFrom = pData + static_cast<size_t>(position) * frameBytes;
        for (size_t i = 0; i < count; ++i) {
            auto sample = static_cast<int16_t>(littleEndian(pFrom + i * SAMPLE_BYTES, 2));
            pBlock[i] = static_cast<float>(sample) * (1.0F / static_cast<float>(FULL_SCALE));
        }
        position += got;
        return got;
    };
    return source;
}

} // namespace

DecodedSound decodeSound(std::span<const uint8_t> bytes, const SoundBound& bound) {
    VirtualFile file;
    int expectedType = 0;
    std::optional<uint32_t> loopStart;
    std::optional<WavLayout> wav;
    if (startsWith(bytes, 0, "RIFF") && startsWith(bytes, 8, "WAVE")) {
        wav = checkWav(bytes);
        loopStart = wav->loopStart;
        wavView(bytes, *wav, file);
        expectedType = SF_FORMAT_WAV;
    } else {
        if (startsWith(bytes, 0, "FORM") &&
            (startsWith(bytes, 8, "AIFF") || startsWith(bytes, 8, "AIFC"))) {
            expectedType = SF_FORMAT_AIFF;
        } else if (startsWith(bytes, 0, "fLaC")) {
            expectedType = SF_FORMAT_FLAC;
        } else if (startsWith(bytes, 0, "OggS")) {
            expectedType = SF_FORMAT_OGG;
        } else {
            throw SoundFileError(NOT_READABLE);
        }
        file.pBody = bytes.data();
        file.bodySize = bytes.size();
    }

    FrameSource source;
    int64_t pcmPosition = 0; // frames our own reader has given
    std::unique_ptr<SNDFILE, SndFileCloser> pSound;
    if (wav && wav->pcm16) {
        source = pcm16Source(bytes, *wav, pcmPosition);
    } else {
        const SndFileLibrary& library = sndFile();
        SF_VIRTUAL_IO io{virtualLength, virtualSeek, virtualRead, virtualWrite, virtualTell};
        SF_INFO info{};
        pSound.reset(library.open(&io, SFM_READ, &info, &file));
        if (!pSound) {
            throw SoundFileError(std::string("its samples cannot be decoded (libsndfile: ") +
                                 library.strerror(nullptr) + ")");
        }
        int type = info.format & SF_FORMAT_TYPEMASK;
        if (type != expectedType && !(expectedType == SF_FORMAT_WAV && type == SF_FORMAT_WAVEX)) {
            throw SoundFileError(NOT_READABLE);
        }
        source.channels = info.channels;
        source.rate = info.samplerate;
        source.frames = info.frames;
        SNDFILE* pOpen = pSound.get();
        source.read = [&library, pOpen](float* pBlock, int64_t wanted) {
            return static_cast<int64_t>(library.readFloat(pOpen, pBlock, wanted));
        };
    }
    // Our own WAV check said the same; the decoder's header is checked for the others.
    if (source.channels < 1 || source.channels > MAX_SOUND_CHANNELS) {
        throw SoundFileError("it has " + std::to_string(source.channels) +
                             " channels; kcs reads 1 to " + std::to_string(MAX_SOUND_CHANNELS));
    }
    const auto rate = static_cast<uint32_t>(std::max(source.rate, 0));
    if (rate < MIN_SOUND_RATE || rate > MAX_SOUND_RATE) {
        throw SoundFileError("its sample rate, " + std::to_string(source.rate) +
                             " Hz, is outside " + std::to_string(MIN_SOUND_RATE) + " to " +
                             std::to_string(MAX_SOUND_RATE) + " Hz");
    }
    if (source.frames <= 0) {
        throw SoundFileError("it holds no samples");
    }
    // The decoded size from the header, before any sample is decoded.
    const auto frames = static_cast<uint64_t>(source.frames);
    const uint64_t maxFrames = bound.maxBytes / SAMPLE_BYTES * rate / SOUND_RATE;
    if (frames > maxFrames) {
        double mib = static_cast<double>(frames) * SOUND_RATE / rate * SAMPLE_BYTES / MIB;
        char text[32];
        std::snprintf(text, sizeof text, "%.0f", std::ceil(mib));
        throw SoundFileError(std::string("it would decode to ") + text + " MiB; " + bound.what);
    }
    if (loopStart && *loopStart >= frames) {
        throw SoundFileError("its loop point, sample " + std::to_string(*loopStart) +
                             ", is not before its end, sample " + std::to_string(frames));
    }

    DecodedSound sound;
    if (wav && wav->pcm16 && source.channels == 1 && rate == SOUND_RATE) {
        // Already what the mixer plays: the loop below would give every
        // sample back unchanged (scaled by 2^-15 and back, exactly), only
        // some twenty times slower, before the first frame.
        const uint8_t* pData = bytes.data() + wav->dataAt;
        sound.samples.resize(static_cast<size_t>(frames));
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(sound.samples.data(), pData, sound.samples.size() * SAMPLE_BYTES);
        } else {
            for (size_t i = 0; i < sound.samples.size(); ++i) {
                sound.samples[i] = static_cast<int16_t>(littleEndian(pData + i * SAMPLE_BYTES, 2));
            }
        }
        sound.loopStart = loopStart ? *loopStart : 0;
        return sound;
    }
    sound.samples.reserve(static_cast<size_t>(frames * SOUND_RATE / rate + 1));
    Resampler resampler(rate, bound, sound.samples);
    const auto channels = static_cast<size_t>(source.channels);
    // As floats at full scale 1.0, whatever the file holds: libsndfile
    // scales integers so (a 16-bit sample comes back exactly), but gives a
    // float file's samples as they are, past full scale or not a number.
    std::vector<float> block(static_cast<size_t>(READ_FRAMES) * channels);
    uint64_t read = 0;
    // Never past what the header said, whatever the decoder would go on giving.
    while (read < frames) {
        auto wanted = static_cast<int64_t>(
            std::min<uint64_t>(static_cast<uint64_t>(READ_FRAMES), frames - read));
        int64_t got = source.read(block.data(), wanted);
        if (got <= 0) {
            break;
        }
        for (size_t frame = 0; frame < static_cast<size_t>(got); ++frame) {
            double sum = 0;
            for (size_t channel = 0; channel < channels; ++channel) {
                sum += block[frame * channels + channel];
            }
            double sample = sum / static_cast<double>(channels) * FULL_SCALE;
            sample = std::isnan(sample) ? 0 : std::clamp(sample, -FULL_SCALE, FULL_SCALE - 1);
            resampler.push(static_cast<int16_t>(std::lrint(sample)));
        }
        read += static_cast<uint64_t>(got);
    }
    if (pSound && sndFile().error(pSound.get()) != SF_ERR_NO_ERROR) {
        throw SoundFileError(std::string("its samples cannot be decoded (libsndfile: ") +
                             sndFile().strerror(pSound.get()) + ")");
    }
    resampler.finish();
    if (sound.samples.empty()) {
        throw SoundFileError("it holds no samples");
    }
    if (loopStart) {
        // The same point at SOUND_RATE; a header that promised more samples
        // than came loops from the start.
        uint64_t start = uint64_t{*loopStart} * SOUND_RATE / rate;
        sound.loopStart = start < sound.samples.size() ? static_cast<uint32_t>(start) : 0;
    }
    return sound;
}
