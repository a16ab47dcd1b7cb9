#pragma once
// The proof of an output: it is decoded as a gapless player plays it (libmpg123), and so is the
// stretch of the source it was cut from, and the two are compared sample for sample. Outputs
// given together are taken as stretches that follow each other in the source (the parts of a
// split, in order), the first from a given time.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mp3core {

struct TVerified
{
    std::filesystem::path File;
    int64_t Expected = 0; // samples of a channel its information frame says it plays
    int64_t Found = 0;    // samples of a channel it decodes to
    int64_t From = 0;     // the source's sample it starts at (of a channel)
    // The first sample (of a channel, from the output's start) that differs from the source's,
    // its channel, and the largest difference of any sample; none when every one is the same.
    std::optional<int64_t> FirstDifference;
    int Channel = 0;
    int Largest = 0;
    std::string Error; // why it could not be decoded; empty when it was

    bool Exact() const
    {
        return Error.empty() && !FirstDifference && Found == Expected && Found > 0;
    }
};

struct TVerifyReport
{
    std::vector<TVerified> Outputs;
    long Rate = 0;
    int64_t SourceSamples = 0; // that the source plays, of a channel
    int64_t FromSample = 0;    // where the first output starts in it
    int64_t EndSample = 0;     // and where the last one ends
    std::string Error;         // why the source could not be decoded; empty when it was
};

// Decodes the source from fromMs on and each output in turn, in constant memory.
TVerifyReport Verify(const std::filesystem::path &source,
                     const std::vector<std::filesystem::path> &outputs, int64_t fromMs = 0);

} // namespace mp3core
