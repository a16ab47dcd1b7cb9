#pragma once
// Every text the windows report, in one place.

#include "jobs/JobOutcome.h"
#include "plan/CueSheet.h"

#include <QString>

inline const QString MsgDone = "文件分割完毕！";
inline const QString MsgBusy = "目标文件被占用，文件分割失败！";
inline const QString MsgNoFrame = "未找到MPEG音频帧，文件分割失败！";
inline const QString MsgEmptyRange = "剪切范围为空，请重新设置起点和终点！";
inline const QString MsgExists = "已经存在！";
inline const QString MsgNoRows = "没有选中的片段！";
inline const QString MsgBadStep = "分割步长无效！";
inline const QString MsgNoInput = "请先打开要分割的MP3文件（“打开”或 Ctrl+O）。";
inline const QString MsgNoSilence = "未找到可分割的静音！";
inline const QString MsgCueOutside = "CUE文件中所有音轨的起点都在音频结束之后！";
inline const QString MsgNoChapters = "文件的标签中没有章节！";
inline const QString MsgChaptersOutside = "文件中所有章节的起点都在音频结束之后！";
inline const QString MsgLabelsOutside = "标签文件中所有标签的起点都在音频结束之后！";

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
