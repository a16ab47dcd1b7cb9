#include "Messages.h"

#include "Paths.h"

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
        return MsgNoFrame;
    case TJobStatus::OutputIsInput:
    case TJobStatus::FolderUnwritable:
        return MsgBusy;
    case TJobStatus::NameIsFolder:
        return MsgBusy + "\n" + file + "：同名文件夹已存在";
    case TJobStatus::WriteFailed:
        return QString("无法写入文件 %1：%2").arg(file, reason);
    case TJobStatus::ReadFailed:
        return QString("无法读取文件 %1：%2").arg(file, reason);
    case TJobStatus::Done:
    case TJobStatus::Stopped:
    case TJobStatus::EmptyRange:
        break;
    }
    return QString();
}

} // namespace

QString CutMessage(const TJobOutcome &o)
{
    switch (o.Status) {
    case TJobStatus::Done:
        return MsgDone;
    case TJobStatus::Stopped:
        return QString();
    case TJobStatus::EmptyRange:
        return MsgEmptyRange;
    default:
        return FailureText(o);
    }
}

QString SplitMessage(const TJobOutcome &o, size_t total)
{
    const QString written = QString("已写入 %1 个片段（共 %2 个）。").arg(o.Written.size()).arg(total);
    switch (o.Status) {
    case TJobStatus::Done:
        return MsgDone;
    case TJobStatus::Stopped:
        return "已停止。" + written;
    case TJobStatus::EmptyRange:
        return MsgNoRows;
    default:
        // A run that got to writing says how far it came.
        if (o.Written.empty() && o.Status != TJobStatus::WriteFailed &&
            o.Status != TJobStatus::ReadFailed) {
            return FailureText(o);
        }
        return FailureText(o) + "\n" + written;
    }
}
