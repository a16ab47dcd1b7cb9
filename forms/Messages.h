#pragma once
// Every text the windows report, in one place.

#include "jobs/JobOutcome.h"
#include "plan/CueSheet.h"

#include <QString>

QString MsgDone();
QString MsgBusy();
QString MsgNoFrame();
QString MsgEmptyRange();
QString MsgExists();
QString MsgNoRows();
QString MsgBadStep();
QString MsgNoInput();
QString MsgNoSilence();
QString MsgCueOutside();
QString MsgNoChapters();
QString MsgChaptersOutside();
QString MsgLabelsOutside();

// A file's format as the Split page shows it.
QString FileInfoText(const mp3core::TMPEGAFHdr &hdr);

// The report of a cut's outcome; empty when there is nothing to say (a cancelled cut). A cut
// done names its output, with its length when one is given.
QString CutMessage(const mp3core::TJobOutcome &outcome, int64_t lengthMs = -1);
// Asks whether a read-only file of an output's name may be replaced (outcome: ReadOnlyFile).
QString ReadOnlyQuestion(const mp3core::TJobOutcome &outcome);
// The report of a split's outcome: how many parts it wrote, and where when all were.
QString SplitMessage(const mp3core::TJobOutcome &outcome);

// Why a CUE sheet cannot be used, with its line when one is at fault.
QString CueFaultMessage(const QString &cue, const mp3core::TCueRead &read);
// What the user should know of a sheet that was used: it names another audio file, or some of
// its tracks (outside of them) start after the end of the audio. Empty: nothing.
QString CueNoteMessage(const mp3core::TCueSheet &sheet, size_t outside);
// A list file (a CUE sheet, a label file: kind) that cannot be used, at its line (0: as a
// whole), and why.
QString ListFaultMessage(const QString &kind, const QString &file, int line,
                         const std::string &why);
