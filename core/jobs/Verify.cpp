#include "jobs/Verify.h"

#include "format/Decoder.h"
#include "jobs/JobOutcome.h"

#include <mpg123.h>

#include <algorithm>
#include <cstdlib>

namespace mp3core {

namespace {

// A file's samples in order, as many as asked for at a time.
class TSampleReader
{
public:
    TSampleReader(const std::filesystem::path &file, std::string &error)
    {
        handle_ = OpenDecoder(file.string(), rate_, channels_, error);
    }
    ~TSampleReader() { CloseDecoder(handle_); }
    TSampleReader(const TSampleReader &) = delete;
    TSampleReader &operator=(const TSampleReader &) = delete;

    bool Open() const { return handle_ != nullptr; }
    long Rate() const { return rate_; }
    int Channels() const { return channels_; }
    // Up to count samples of each channel into out (interleaved); how many came. 0: the end.
    int64_t Read(int16_t *out, int64_t count, std::string &error)
    {
        int64_t got = 0;
        while (got < count && !done_) {
            size_t bytes = 0;
            const size_t want = size_t(count - got) * size_t(channels_) * sizeof(int16_t);
            const int rc = mpg123_read(
                handle_, reinterpret_cast<unsigned char *>(out + got * channels_), want, &bytes);
            got += int64_t(bytes / sizeof(int16_t)) / channels_;
            if (rc == MPG123_DONE) {
                done_ = true;
            } else if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT) {
                error = mpg123_strerror(handle_);
                done_ = true;
            }
        }
        return got;
    }

private:
    mpg123_handle *handle_ = nullptr;
    long rate_ = 0;
    int channels_ = 0;
    bool done_ = false;
};

constexpr int64_t Block = 64 * 1152; // samples of a channel compared at a time

// The samples an output's information frame says it plays; 0 when it has none.
int64_t ClaimedSamples(const std::filesystem::path &file)
{
    TSource source;
    TJobOutcome outcome;
    return OpenJobInput(file, source, outcome) ? source.Hdr.PlayedSamples() : 0;
}

// Compares an output with the source's samples that follow, reading both on.
void Compare(TSampleReader &source, TVerified &v, std::string &sourceError)
{
    TSampleReader out(v.File, v.Error);
    if (!out.Open()) {
        return;
    }
    if (out.Channels() != source.Channels() || out.Rate() != source.Rate()) {
        v.Error = "its format is not the source's";
        return;
    }
    const int channels = out.Channels();
    std::vector<int16_t> a(size_t(Block * channels));
    std::vector<int16_t> b(size_t(Block * channels));
    for (;;) {
        const int64_t n = out.Read(a.data(), Block, v.Error);
        if (n == 0) {
            return;
        }
        const int64_t m = source.Read(b.data(), n, sourceError);
        for (int64_t i = 0; i < n * channels; ++i) {
            const int d =
                i < m * channels ? std::abs(int(a[size_t(i)]) - int(b[size_t(i)])) : 65536;
            if (d > 0 && !v.FirstDifference) {
                v.FirstDifference = v.Found + i / channels;
                v.Channel = int(i % channels);
            }
            v.Largest = std::max(v.Largest, std::min(d, 65535));
        }
        v.Found += n;
    }
}

} // namespace

TVerifyReport Verify(const std::filesystem::path &source,
                     const std::vector<std::filesystem::path> &outputs, int64_t fromMs)
{
    TVerifyReport report;
    TSampleReader in(source, report.Error);
    if (!in.Open()) {
        return report;
    }
    report.Rate = in.Rate();
    report.FromSample = std::max<int64_t>(0, fromMs) * in.Rate() / 1000;
    std::vector<int16_t> skip(size_t(Block * in.Channels()));
    for (int64_t left = report.FromSample; left > 0;) { // to where the first output starts
        const int64_t n = in.Read(skip.data(), std::min(left, Block), report.Error);
        if (n == 0) {
            break;
        }
        left -= n;
    }
    int64_t at = report.FromSample;
    for (const std::filesystem::path &file : outputs) {
        TVerified v;
        v.File = file;
        v.From = at;
        v.Expected = ClaimedSamples(file);
        Compare(in, v, report.Error);
        at += v.Found;
        report.Outputs.push_back(std::move(v));
    }
    report.EndSample = at;
    // The rest of the source, counted: where its samples end.
    report.SourceSamples = at;
    for (int64_t n; (n = in.Read(skip.data(), Block, report.Error)) > 0;) {
        report.SourceSamples += n;
    }
    return report;
}

} // namespace mp3core
