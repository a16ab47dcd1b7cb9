#include "PartWriter.h"

#include "FileStream.h"
#include "MP3TAG.h"
#include "MPEGAFHdr.h"
#include "OutputFile.h"

#include <cstdio>

std::string PartFileName(const std::string &baseName, size_t number)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%03zu", number);
    return baseName + digits + ".mp3";
}

TWriteResult WriteParts(const TPartJob &job, const TPartProgress &progress)
{
    TWriteResult result;
    TFileStream input(job.Input, fmOpenRead);
    TMPEGAFHdr hdr;
    if (!hdr.ReadFirstFrame(input)) {
        result.Outcome = TWriteOutcome::NoAudio;
        return result;
    }
    // Refuse before the first part rather than fail halfway.
    if (!FolderWritable(job.Folder)) {
        result.Outcome = TWriteOutcome::TargetBusy;
        return result;
    }
    for (size_t n = 0; n < job.Segments.size(); ++n) {
        if (SameFile(job.Folder / PartFileName(job.BaseName, n), job.Input)) {
            result.Outcome = TWriteOutcome::TargetBusy;
            return result;
        }
    }

    TID3Tag tag;
    const size_t total = job.Segments.size();
    for (size_t n = 0; n < total; ++n) {
        const TPartSegment &segment = job.Segments[n];
        const auto path = job.Folder / PartFileName(job.BaseName, n);
        TOutputFile out(path);
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
        hdr.CopyRange(input, out.Stream(), segment.StartMs, segment.EndMs, onBlock);
        const TPartTag &texts = segment.Tag ? *segment.Tag : job.Tag;
        if (!texts.Title.empty()) {
            tag.Title = texts.Title;
            tag.Artist = texts.Artist;
            tag.Album = texts.Album;
            tag.Year = texts.Year;
            tag.Comment = texts.Comment;
            tag.GenreID = texts.GenreID;
            tag.WriteTag(out.Stream());
        }
        out.Commit();
        result.Parts.push_back(path);
        if (progress && (!progress(n + 1, total) || stopAsked) && n + 1 < total) {
            result.Outcome = TWriteOutcome::Stopped;
            return result;
        }
    }
    return result;
}
