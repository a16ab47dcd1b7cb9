#pragma once
// Real MP3 files for the tests: encoded here with lame and checked by decoding with libmpg123.

#include "Fixtures.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The tests speak the core's names as its own units do.
using namespace mp3core;

struct TDecodeResult
{
    bool opened = false;
    long frames = 0;     // audio frames decoded
    long errors = 0;     // decoder errors, resynchronisations included
    int64_t samples = 0; // per channel
    long rate = 0;
    int channels = 0;
    std::string message;
};

// Decodes the whole file with resynchronisation turned off, so junk counts as an error.
TDecodeResult DecodeFile(const std::filesystem::path &path);

// A WAV of a tone whose pitch and loudness move (so that VBR frames differ), encoded by lame
// with the given options. Returns the MP3's path; the test fails when lame is missing.
std::filesystem::path EncodeWithLame(const TTempDir &dir, const std::string &name, double seconds,
                                     int sampleRate, int channels, const std::string &lameArgs);

// The given interleaved samples, encoded by lame with the given options.
std::filesystem::path EncodeSamplesWithLame(const TTempDir &dir, const std::string &name,
                                            const std::vector<int16_t> &samples, int sampleRate,
                                            int channels, const std::string &lameArgs);

// The samples a gapless player plays (libmpg123 with its default gapless mode), interleaved,
// as 16-bit integers; empty when the file does not open or a frame does not decode.
std::vector<int16_t> GaplessSamples(const std::filesystem::path &path);
// The same as floats, full scale 1.0, nothing clipped.
std::vector<float> GaplessFloats(const std::filesystem::path &path);
