#pragma once
// The parts of a split on their way into place: each written to its unfinished file, then
// (with ReplayGain) measured on a thread of its own while the next parts are written, then
// given its track values and put in place, in order.

#include "io/OutputFile.h"
#include "jobs/JobOutcome.h"

#include <deque>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

namespace mp3core {

struct TWrittenPart
{
    std::unique_ptr<TOutputFile> Out; // written whole, not yet in place
    std::filesystem::path Path;
    int64_t StartMs = 0;
    int64_t EndMs = 0;
    int64_t GainAt = -1; // where its tag keeps room for ReplayGain; -1: none
    size_t GainRoom = 0;
    TLevelled Level;
};

class TPartCommits
{
public:
    explicit TPartCommits(TJobOutcome &outcome) : outcome_(outcome) {}
    // Waits for the measures still running; their parts are not put in place.
    ~TPartCommits();
    TPartCommits(const TPartCommits &) = delete;
    TPartCommits &operator=(const TPartCommits &) = delete;

    // Takes a part; its measure starts when its tag keeps room for ReplayGain.
    void Add(TWrittenPart part);
    // Puts the parts in place, in order, until at most keep wait; false with the outcome filled
    // when one fails (the parts after it are not put in place).
    bool Settle(size_t keep);
    // The ReplayGain of the parts put in place, for the album's.
    const std::vector<TWrittenGain> &Gains() const { return gains_; }

private:
    struct TPending
    {
        TWrittenPart Part;
        std::future<std::optional<TLoudness>> Measure;
        std::shared_ptr<std::string> Error;
    };
    bool Finish(TPending &pending);

    TJobOutcome &outcome_;
    std::deque<TPending> pending_;
    std::vector<TWrittenGain> gains_;
};

} // namespace mp3core
