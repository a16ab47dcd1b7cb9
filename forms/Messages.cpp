#include "Messages.h"

#include "Paths.h"
#include "Shared.h"

using namespace mp3core;

QString MsgDone()
{
    return Tr("文件分割完毕！");
}

QString MsgBusy()
{
    return Tr("目标文件被占用，文件分割失败！");
}

QString MsgNoFrame()
{
    return Tr("未找到MPEG音频帧，文件分割失败！");
}

QString MsgEmptyRange()
{
    return Tr("剪切范围为空，请重新设置起点和终点！");
}

QString MsgExists()
{
    return Tr("已经存在！");
}

QString MsgNoRows()
{
    return Tr("没有选中的片段！");
}

QString MsgBadStep()
{
    return Tr("分割步长无效！");
}

QString MsgNoInput()
{
    return Tr("请先打开要分割的MP3文件（“打开”或 Ctrl+O）。");
}

QString MsgNoSilence()
{
    return Tr("未找到可分割的静音！");
}

QString MsgCueOutside()
{
    return Tr("CUE文件中所有音轨的起点都在音频结束之后！");
}

QString MsgNoChapters()
{
    return Tr("文件的标签中没有章节！");
}

QString MsgChaptersOutside()
{
    return Tr("文件中所有章节的起点都在音频结束之后！");
}

QString MsgLabelsOutside()
{
    return Tr("标签文件中所有标签的起点都在音频结束之后！");
}

namespace {

// The words for the failures both commands share.
QString FailureText(const TJobOutcome &o)
{
    const QString file = FromPath(o.File);
    const QString reason = QString::fromLocal8Bit(o.Reason.c_str());
    switch (o.Status) {
    case TJobStatus::InputUnreadable:
        return QString("Cannot open file \"%1\". %2").arg(file, reason);
    case TJobStatus::NoAudio:
        return o.Reason == FreeFormatReason
                   ? MsgNoFrame() + "\n" + Tr("%1：不支持自由格式码率（free format）").arg(file)
                   : MsgNoFrame();
    case TJobStatus::OutputIsInput:
    case TJobStatus::FolderUnwritable:
        return MsgBusy();
    case TJobStatus::NameIsFolder:
        return MsgBusy() + "\n" + Tr("%1：同名文件夹已存在").arg(file);
    case TJobStatus::NotAFile:
        return MsgBusy() + "\n" +
               Tr("%1：不是普通文件（%2）").arg(file, QString::fromStdString(o.Reason));
    case TJobStatus::SameName:
        return Tr("两个片段的文件名相同：%1\n请在文件名中加入 @n。").arg(file);
    case TJobStatus::WriteFailed:
        return Tr("无法写入文件 %1：%2").arg(file, reason);
    case TJobStatus::ReadOnlyFile:
        return Tr("无法写入文件 %1：文件是只读的").arg(file);
    case TJobStatus::CrossesStreams:
        return Tr("剪切范围跨过了文件格式改变处 %1，请分别剪切两边。")
            .arg(QString::fromStdString(o.Reason));
    case TJobStatus::ReadFailed:
        return Tr("无法读取文件 %1：%2").arg(file, reason);
    case TJobStatus::LevelNeedsLayer3:
        return Tr("无法调整 %1 的音量：它的帧是 %2，不解码就无法改变音量（只有 Layer III "
                  "的帧可以）。")
            .arg(file, reason);
    case TJobStatus::Done:
    case TJobStatus::Stopped:
    case TJobStatus::EmptyRange:
        break;
    }
    return QString();
}

// A damaged tag of the input was left out: said after whatever else the run has to say.
QString WithTagNote(const QString &message, const TJobOutcome &o)
{
    QString all = message;
    const auto add = [&](const QString &note) { all = all.isEmpty() ? note : all + "\n" + note; };
    if (!o.StreamNote.empty() && !o.Written.empty()) {
        // The format changes inside a segment: the parts end there (the core's words).
        add(Tr("文件中途改变了格式，分割时在该处另起一段（%1）。")
                .arg(QString::fromStdString(o.StreamNote)));
    }
    if (!o.TagNote.empty() && !o.Written.empty()) {
        add(Tr("源文件的ID3v2标签已损坏，未写入输出文件（%1）。")
                .arg(QString::fromStdString(o.TagNote)));
    }
    return all;
}

} // namespace

QString FileInfoText(const TMPEGAFHdr &hdr)
{
    // A VBR file's bitrate is its average, marked as on the Cut page.
    return Tr("MPEG版本:%1\n压缩层次:%2\n位率(kbps):%3\n采样频率(HZ):%4\n帧长度(字节):%5\n"
              "帧数:%6")
        .arg(VersionText(hdr.MPEGVersion))
        .arg(hdr.Layer)
        .arg(QString::number(hdr.Bitrate) + (hdr.VBR ? " VBR" : ""))
        .arg(hdr.SampleRate)
        .arg(hdr.FrameLength)
        .arg(hdr.FrameCount);
}

namespace {

QString CutReport(const TJobOutcome &o, int64_t lengthMs)
{
    switch (o.Status) {
    case TJobStatus::Done:
        if (o.Written.empty()) {
            return MsgDone();
        }
        return MsgDone() + "\n" +
               (lengthMs >= 0
                    ? Tr("%1（长度 %2）").arg(FromPath(o.Written.front()), DisplayText(lengthMs))
                    : FromPath(o.Written.front()));
    case TJobStatus::Stopped:
        return QString();
    case TJobStatus::EmptyRange:
        return MsgEmptyRange();
    default:
        return FailureText(o);
    }
}

QString SplitReport(const TJobOutcome &o)
{
    const QString written =
        Tr("已写入 %1 个片段（共 %2 个）。").arg(o.Written.size()).arg(o.Planned);
    switch (o.Status) {
    case TJobStatus::Done:
        if (o.Written.empty()) {
            return MsgDone();
        }
        return MsgDone() + "\n" +
               Tr("已写入 %1 个片段到 %2")
                   .arg(o.Written.size())
                   .arg(FromPath(o.Written.front().parent_path()));
    case TJobStatus::Stopped:
        return Tr("已停止。%1").arg(written);
    case TJobStatus::EmptyRange:
        return MsgNoRows();
    default:
        // A run that got to writing says how far it came.
        if (o.Written.empty() && o.Status != TJobStatus::WriteFailed &&
            o.Status != TJobStatus::ReadFailed) {
            return FailureText(o);
        }
        return FailureText(o) + "\n" + written;
    }
}

} // namespace

QString ReadOnlyQuestion(const TJobOutcome &o)
{
    return Tr("文件 %1 是只读的。\n要替换它吗？").arg(FromPath(o.File));
}

QString CutMessage(const TJobOutcome &o, int64_t lengthMs)
{
    return WithTagNote(CutReport(o, lengthMs), o);
}

QString SplitMessage(const TJobOutcome &o)
{
    return WithTagNote(SplitReport(o), o);
}

QString ListFaultMessage(const QString &kind, const QString &file, int line, const std::string &why)
{
    const QString reason = QString::fromStdString(why);
    if (line > 0) {
        return Tr("%1 %2 第 %3 行有误：%4").arg(kind, file).arg(line).arg(reason);
    }
    return Tr("无法使用%1 %2：%3").arg(kind, file, reason);
}

QString CueFaultMessage(const QString &cue, const TCueRead &read)
{
    return ListFaultMessage(Tr("CUE文件"), cue, read.Line, read.Reason);
}

QString CueNoteMessage(const TCueSheet &sheet, size_t outside)
{
    QStringList notes;
    if (!sheet.Note.empty()) {
        notes << Tr("CUE文件写的是 %1，已按它的时间分割本文件。")
                     .arg(QString::fromStdString(sheet.File));
    }
    if (outside > 0) {
        notes << Tr("%1 条音轨（共 %2 条）的起点在音频结束之后，已略去。")
                     .arg(outside)
                     .arg(sheet.Tracks.size());
    }
    return notes.join("\n");
}
