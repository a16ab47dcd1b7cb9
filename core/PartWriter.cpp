#include "PartWriter.h"

#include "Errors.h"
#include "FileStream.h"
#include "MP3TAG.h"
#include "MPEGAFHdr.h"
#include "OutputFile.h"

#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>

std::string PartFileName(const std::string &baseName, size_t number)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%03zu", number);
    return baseName + digits + ".mp3";
}

namespace {

// Where each segment's bytes lie. In a VBR file a cut point is found by walking the frames up
// to it, about as much work as copying them; so there a second reader with its own stream walks
// ahead on another processor while the parts are written. The writer never waits for it while
// it can walk on itself: it finds the first cut points itself while the walker starts up, and
// takes the walker's as soon as they are ahead. Errors reach the writer at the part that needs
// the cut point they happened on, as they would without a walker.
class TSegmentBytes
{
public:
    TSegmentBytes(const TPartJob &job, TMPEGAFHdr &hdr, TFileStream &input)
        : job_(job), hdr_(hdr), input_(input)
    {
        if (hdr.VBR && job.Segments.size() > 1 && TSideThread::Worthwhile()) {
            try {
                walker_ = std::make_unique<TSideThread>([this] { Walk(); });
            } catch (const std::system_error &) {
                // no thread to be had: walk here, part by part
            }
        }
    }

    ~TSegmentBytes()
    {
        if (walker_) {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                stop_ = true;
            }
            walker_.reset();
        }
    }

    TSegmentBytes(const TSegmentBytes &) = delete;
    TSegmentBytes &operator=(const TSegmentBytes &) = delete;

    TByteRange Of(size_t n)
    {
        if (walker_) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (ranges_.size() <= n && n != ownNext_) {
                // This writer took a cut point from the walker, so its own walk is behind.
                found_.wait(lock, [&] { return ranges_.size() > n || error_; });
            }
            if (ranges_.size() > n) {
                return ranges_[n];
            }
            if (n != ownNext_) {
                std::rethrow_exception(error_);
            }
        }
        ownNext_ = n + 1;
        const TPartSegment &segment = job_.Segments[n];
        return hdr_.RangeBytes(input_, segment.StartMs, segment.EndMs);
    }

private:
    void Walk()
    {
        try {
            TFileStream stream(job_.Input, fmOpenRead);
            TMPEGAFHdr walker;
            if (!walker.ReadFirstFrame(stream)) {
                throw EReadError(); // the file has changed since the writer read it
            }
            for (const TPartSegment &segment : job_.Segments) {
                const TByteRange range = walker.RangeBytes(stream, segment.StartMs, segment.EndMs);
                const std::lock_guard<std::mutex> lock(mutex_);
                if (stop_) {
                    return;
                }
                ranges_.push_back(range);
                found_.notify_one();
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex_);
            error_ = std::current_exception();
            found_.notify_one();
        }
    }

    const TPartJob &job_;
    TMPEGAFHdr &hdr_;
    TFileStream &input_;
    std::unique_ptr<TSideThread> walker_;
    std::mutex mutex_;
    std::condition_variable found_;
    std::vector<TByteRange> ranges_; // guarded by mutex_, as are the two below
    std::exception_ptr error_;
    bool stop_ = false;
    size_t ownNext_ = 0; // the writer's alone: its own walk has found the cut points before
};

} // namespace

TWriteResult WriteParts(const TPartJob &job, const TPartProgress &progress)
{
    TWriteResult result;
    TFileStream input(job.Input, fmOpenRead);
    TMPEGAFHdr hdr;
    if (!hdr.ReadFirstFrame(input)) {
        result.Outcome = TWriteOutcome::NoAudio;
        return result;
    }
    // In a VBR file the walk to the first cut point starts now, while the names are looked at.
    TSegmentBytes bytes(job, hdr, input);
    // Refuse before the first part rather than fail halfway: no part may be the input, and a
    // folder that takes no first part takes none (below).
    for (size_t n = 0; n < job.Segments.size(); ++n) {
        const auto path = job.Folder / PartFileName(job.BaseName, n);
        std::error_code ec;
        if (std::filesystem::exists(path, ec) && SameFile(path, job.Input)) {
            result.Outcome = TWriteOutcome::TargetBusy;
            return result;
        }
    }

    TID3Tag tag;
    const size_t total = job.Segments.size();
    for (size_t n = 0; n < total; ++n) {
        const TPartSegment &segment = job.Segments[n];
        const auto path = job.Folder / PartFileName(job.BaseName, n);
        std::unique_ptr<TOutputFile> out;
        try {
            out = std::make_unique<TOutputFile>(path);
        } catch (const EFOpenError &) {
            if (n > 0) {
                throw;
            }
            result.Outcome = TWriteOutcome::TargetBusy; // missing, not a folder, or read-only
            return result;
        }
        // A long part reports between its blocks too, so that a window stays alive; a stop
        // asked for then still ends the run only after this part.
        bool stopAsked = false;
        TMPEGAFHdr::TCopyProgress onBlock;
        if (progress) {
            onBlock = [&](int64_t, int64_t) {
                stopAsked = !progress(n, total) || stopAsked;
                return true;
            };
        }
        // The copy ends before the input's trailing tags, so there is none to strip here.
        hdr.CopyBytes(input, out->Stream(), bytes.Of(n), onBlock);
        const TPartTag &texts = segment.Tag ? *segment.Tag : job.Tag;
        if (!texts.Title.empty()) {
            tag.Title = texts.Title;
            tag.Artist = texts.Artist;
            tag.Album = texts.Album;
            tag.Year = texts.Year;
            tag.Comment = texts.Comment;
            tag.GenreID = texts.GenreID;
            tag.WriteTag(out->Stream());
        }
        out->Commit();
        result.Parts.push_back(path);
        if (progress && (!progress(n + 1, total) || stopAsked) && n + 1 < total) {
            result.Outcome = TWriteOutcome::Stopped;
            return result;
        }
    }
    return result;
}
