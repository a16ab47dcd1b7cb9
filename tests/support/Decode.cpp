#include "Decode.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace mp3core;

namespace fs = std::filesystem;

TDecodeResult DecodeFile(const fs::path &path)
{
    TDecodeResult result;
    int err = MPG123_OK;
    mpg123_handle *mh = mpg123_new(nullptr, &err);
    if (mh == nullptr) {
        result.message = mpg123_plain_strerror(err);
        return result;
    }
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_NO_RESYNC | MPG123_QUIET, 0);
    mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    if (mpg123_open(mh, path.string().c_str()) != MPG123_OK) {
        result.message = mpg123_strerror(mh);
        mpg123_delete(mh);
        return result;
    }
    result.opened = true;
    for (;;) {
        off_t num = 0;
        unsigned char *audio = nullptr;
        size_t bytes = 0;
        const int rc = mpg123_decode_frame(mh, &num, &audio, &bytes);
        if (rc == MPG123_NEW_FORMAT) {
            int encoding = 0;
            mpg123_getformat(mh, &result.rate, &result.channels, &encoding);
            continue;
        }
        if (rc == MPG123_OK) {
            ++result.frames;
            if (result.channels > 0) {
                result.samples += int64_t(bytes) / (2 * result.channels);
            }
            continue;
        }
        if (rc != MPG123_DONE) {
            ++result.errors;
            result.message = mpg123_strerror(mh);
        }
        break;
    }
    mpg123_close(mh);
    mpg123_delete(mh);
    return result;
}

namespace {

// The bytes of the samples a gapless player plays, in the given encoding; empty when the file
// does not open or a frame does not decode.
std::vector<unsigned char> GaplessBytes(const fs::path &path, int encoding)
{
    std::vector<unsigned char> bytes;
    int err = MPG123_OK;
    mpg123_handle *mh = mpg123_new(nullptr, &err);
    if (mh == nullptr) {
        return bytes;
    }
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(mh);
    for (const long rate :
         {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L}) {
        mpg123_format(mh, rate, MPG123_MONO | MPG123_STEREO, encoding);
    }
    if (mpg123_open(mh, path.string().c_str()) == MPG123_OK) {
        std::vector<unsigned char> block(1 << 16);
        for (;;) {
            size_t got = 0;
            const int rc = mpg123_read(mh, block.data(), block.size(), &got);
            bytes.insert(bytes.end(), block.begin(), block.begin() + long(got));
            if (rc == MPG123_NEW_FORMAT || rc == MPG123_OK) {
                continue;
            }
            if (rc != MPG123_DONE) {
                bytes.clear();
            }
            break;
        }
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return bytes;
}

template <typename T> std::vector<T> SamplesOf(const std::vector<unsigned char> &bytes)
{
    std::vector<T> samples(bytes.size() / sizeof(T));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(T));
    return samples;
}

} // namespace

std::vector<int16_t> GaplessSamples(const fs::path &path)
{
    return SamplesOf<int16_t>(GaplessBytes(path, MPG123_ENC_SIGNED_16));
}

std::vector<float> GaplessFloats(const fs::path &path)
{
    return SamplesOf<float>(GaplessBytes(path, MPG123_ENC_FLOAT_32));
}

namespace {

void WriteLE(std::vector<uint8_t> &out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.push_back(uint8_t(v >> (8 * i)));
    }
}

} // namespace

fs::path EncodeWithLame(const TTempDir &dir, const std::string &name, double seconds,
                        int sampleRate, int channels, const std::string &lameArgs)
{
    const auto frames = uint32_t(seconds * sampleRate);
    std::vector<int16_t> samples;
    samples.reserve(size_t(frames) * size_t(channels));
    uint32_t noise = 12345;
    double phase = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate;
        const double pitch = 220.0 + 660.0 * (0.5 + 0.5 * std::sin(t * 0.7));
        phase += 2 * M_PI * pitch / sampleRate;
        noise = noise * 1664525u + 1013904223u;
        const double loud = 0.5 + 0.5 * std::sin(t * 1.3);
        const double hiss = (double(noise >> 8) / double(1 << 24) - 0.5) * loud;
        const double v = 0.4 * std::sin(phase) * loud + 0.2 * hiss;
        for (int c = 0; c < channels; ++c) {
            samples.push_back(int16_t(v * 32000));
        }
    }
    return EncodeSamplesWithLame(dir, name, samples, sampleRate, channels, lameArgs);
}

fs::path EncodeSamplesWithLame(const TTempDir &dir, const std::string &name,
                               const std::vector<int16_t> &samples, int sampleRate, int channels,
                               const std::string &lameArgs)
{
    std::vector<uint8_t> wav;
    const auto dataBytes = uint32_t(samples.size() * 2);
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    WriteLE(wav, 36 + dataBytes, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    WriteLE(wav, 16, 4);
    WriteLE(wav, 1, 2);
    WriteLE(wav, uint32_t(channels), 2);
    WriteLE(wav, uint32_t(sampleRate), 4);
    WriteLE(wav, uint32_t(sampleRate * channels * 2), 4);
    WriteLE(wav, uint32_t(channels * 2), 2);
    WriteLE(wav, 16, 2);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    WriteLE(wav, dataBytes, 4);
    for (const int16_t v : samples) {
        WriteLE(wav, uint32_t(uint16_t(v)), 2);
    }
    const fs::path wavPath = dir / (name + ".wav");
    const fs::path mp3Path = dir / (name + ".mp3");
    WriteFile(wavPath, wav);
    const std::string command =
        "lame --quiet " + lameArgs + " '" + wavPath.string() + "' '" + mp3Path.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    fs::remove(wavPath);
    return mp3Path;
}
