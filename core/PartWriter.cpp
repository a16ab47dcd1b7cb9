#include "PartWriter.h"

#include "Errors.h"
#include "FileStream.h"
#include "MP3TAG.h"
#include "MPEGAFHdr.h"
#include "OutputFile.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
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

// The texts of part n's tag: its own, or the run's.
const TPartTag &TextsOf(const TPartJob &job, size_t n)
{
    const TPartSegment &segment = job.Segments[n];
    return segment.Tag ? *segment.Tag : job.Tag;
}

// One part: the frames of range, a tag when the texts have a title, then the file in place.
void WritePart(TMPEGAFHdr &hdr, TFileStream &input, TOutputFile &out, TByteRange range,
               const TPartTag &texts, const TMPEGAFHdr::TCopyProgress &onBlock)
{
    // The copy ends before the input's trailing tags, so there is none to strip here.
    hdr.CopyBytes(input, out.Stream(), range, onBlock);
    if (!texts.Title.empty()) {
        TID3Tag tag;
        tag.Title = texts.Title;
        tag.Artist = texts.Artist;
        tag.Album = texts.Album;
        tag.Year = texts.Year;
        tag.Comment = texts.Comment;
        tag.GenreID = texts.GenreID;
        tag.WriteTag(out.Stream());
    }
    out.Commit();
}

// The parts of a run, taken in order by its writers: the caller's and, in a CBR file, a second
// one beside it. A part once taken is written whole even when the run stops meanwhile, so the
// parts written are always the first ones.
class TPartQueue
{
public:
    explicit TPartQueue(size_t total) : written_(total, false) {}

    // The next part to write; none when all are taken or the run has stopped.
    std::optional<size_t> Take()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stop_ || next_ >= written_.size()) {
            return std::nullopt;
        }
        return next_++;
    }

    void Written(size_t n)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        written_[n] = true;
        ++count_;
    }

    bool IsWritten(size_t n)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return written_[n];
    }

    size_t Count()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }

    void Stop()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }

    // The second writer failed on a part: nothing more is taken, and the caller raises it.
    void Fail(std::exception_ptr error)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        error_ = std::move(error);
        stop_ = true;
    }

    std::exception_ptr Error()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return error_;
    }

    // The second writer has taken its last part and written it.
    void Leave()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        left_ = true;
        leaving_.notify_all();
    }

    bool WaitLeft(std::chrono::milliseconds most)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return leaving_.wait_for(lock, most, [&] { return left_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable leaving_;
    std::vector<bool> written_; // guarded by mutex_, as is the rest
    size_t next_ = 0;
    size_t count_ = 0;
    bool stop_ = false;
    bool left_ = false;
    std::exception_ptr error_;
};

// The second writer of a CBR run, with its own stream: there each cut point lies where its time
// says, found without a walk, so two parts can be written at a time, one on each processor.
class TSecondWriter
{
public:
    TSecondWriter(const TPartJob &job, TPartQueue &queue, bool wanted) : queue_(queue)
    {
        if (wanted && TSideThread::Worthwhile()) {
            try {
                thread_ = std::make_unique<TSideThread>([&job, &queue] { Write(job, queue); });
            } catch (const std::system_error &) {
                // no thread to be had: the caller's writer takes every part
            }
        }
    }

    ~TSecondWriter()
    {
        if (thread_) { // the caller's writer failed: stop, once the part in hand is written
            queue_.Stop();
            thread_.reset();
        }
    }

    TSecondWriter(const TSecondWriter &) = delete;
    TSecondWriter &operator=(const TSecondWriter &) = delete;

    // Waits for the part in hand, telling progress meanwhile; raises the writer's error.
    void Finish(const TPartProgress &progress, size_t total)
    {
        if (!thread_) {
            return;
        }
        while (!queue_.WaitLeft(std::chrono::milliseconds(20))) {
            if (progress && !progress(queue_.Count(), total)) {
                queue_.Stop();
            }
        }
        thread_.reset();
        if (const std::exception_ptr error = queue_.Error()) {
            std::rethrow_exception(error);
        }
        if (progress) {
            progress(queue_.Count(), total); // nothing is left to stop
        }
    }

private:
    static void Write(const TPartJob &job, TPartQueue &queue)
    {
        try {
            TFileStream input(job.Input, fmOpenRead);
            TMPEGAFHdr hdr;
            // A file changed since the caller read it is left to the caller's writer.
            if (hdr.ReadFirstFrame(input) && !hdr.VBR) {
                while (const std::optional<size_t> n = queue.Take()) {
                    const TPartSegment &segment = job.Segments[*n];
                    TOutputFile out(job.Folder / PartFileName(job.BaseName, *n));
                    WritePart(hdr, input, out, hdr.RangeBytes(input, segment.StartMs, segment.EndMs),
                              TextsOf(job, *n), {});
                    queue.Written(*n);
                }
            }
        } catch (...) {
            queue.Fail(std::current_exception());
        }
        queue.Leave();
    }

    TPartQueue &queue_;
    std::unique_ptr<TSideThread> thread_;
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
    // folder that takes no first part takes none.
    const size_t total = job.Segments.size();
    for (size_t n = 0; n < total; ++n) {
        const auto path = job.Folder / PartFileName(job.BaseName, n);
        std::error_code ec;
        if (std::filesystem::exists(path, ec) && SameFile(path, job.Input)) {
            result.Outcome = TWriteOutcome::TargetBusy;
            return result;
        }
    }
    if (total == 0) {
        return result;
    }
    std::unique_ptr<TOutputFile> out;
    try {
        out = std::make_unique<TOutputFile>(job.Folder / PartFileName(job.BaseName, 0));
    } catch (const EFOpenError &) {
        result.Outcome = TWriteOutcome::TargetBusy; // missing, not a folder, or read-only
        return result;
    }

    TPartQueue queue(total);
    std::optional<size_t> n = queue.Take(); // the first part, whose file is open
    TSecondWriter second(job, queue, !hdr.VBR && total > 1);
    while (n) {
        if (!out) {
            out = std::make_unique<TOutputFile>(job.Folder / PartFileName(job.BaseName, *n));
        }
        // A long part reports between its blocks too, so that a window stays alive; a stop
        // asked for then still ends the run only after the parts in hand.
        TMPEGAFHdr::TCopyProgress onBlock;
        if (progress) {
            onBlock = [&](int64_t, int64_t) {
                if (!progress(queue.Count(), total)) {
                    queue.Stop();
                }
                return true;
            };
        }
        WritePart(hdr, input, *out, bytes.Of(*n), TextsOf(job, *n), onBlock);
        out.reset();
        queue.Written(*n);
        if (progress && !progress(queue.Count(), total)) {
            queue.Stop();
        }
        n = queue.Take();
    }
    second.Finish(progress, total);

    for (size_t k = 0; k < total; ++k) {
        if (queue.IsWritten(k)) {
            result.Parts.push_back(job.Folder / PartFileName(job.BaseName, k));
        }
    }
    if (result.Parts.size() < total) {
        result.Outcome = TWriteOutcome::Stopped;
    }
    return result;
}
