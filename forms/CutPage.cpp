// The Cut page: the input and output files, the marked range, play and the cut.
#include "Background.h"
#include "Dialogs.h"
#include "LevelRow.h"
#include "Messages.h"
#include "Paths.h"
#include "Recent.h"
#include "Shared.h"
#include "SplitPage.h"
#include "Unit_main.h"
#include "jobs/CutJob.h"
#include "plan/TimeText.h"
#include "ui_Unit_main.h"
#include "widgets/SpinEdit.h"
#include "widgets/TrackBar.h"
#include "widgets/WaveView.h"

#include <QDir>
#include <QProgressDialog>

#include <QToolButton>

using namespace mp3core;

namespace {

const QString Mp3Filter = "MP3 (*.mp3)";
const QString KeepTagsKey = "cut/keepTags";

} // namespace

void TFrm_main::ConnectCutPage()
{
    WaveView1 = new TWaveView(ui->TabSheet1);
    WaveView1->setObjectName("WaveView1");
    ui->TabSheet1->installEventFilter(this); // the view takes the room a larger window adds
    connect(WaveView1, &TWaveView::Seek, this, &TFrm_main::SeekTo);
    connect(WaveView1, &TWaveView::RangeMoved, this, &TFrm_main::MarkAt);
    connect(WaveView1, &TWaveView::MarkHere, this, &TFrm_main::MarkFromPlayer);
    connect(WaveView1, &TWaveView::PlayAround, this, [this](int64_t ms) {
        if (PlayAround(MediaPlayer1, ms)) {
            Timer1Tag = 2;
            Timer1.start();
        }
    });
    connect(WaveView1, &TWaveView::DragEnded, this, &TFrm_main::SettleRange);
    rangeSettles_.setSingleShot(true);
    rangeSettles_.setInterval(0);
    connect(&rangeSettles_, &QTimer::timeout, this, &TFrm_main::SettleRange);
    SnapBox1 = MakeSnapBox(ui->TabSheet1, WaveView1, "cut/snap");
    SnapBox1->setObjectName("SnapBox1");
    connect(ui->SpeedButton1, &QPushButton::clicked, this, &TFrm_main::SpeedButton1Click);
    connect(ui->SpeedButton2, &QPushButton::clicked, this, &TFrm_main::SpeedButton2Click);
    connect(ui->SpeedButton3, &QPushButton::clicked, this, &TFrm_main::SpeedButton3Click);
    connect(ui->SpeedButton4, &QPushButton::clicked, this, &TFrm_main::SpeedButton4Click);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TFrm_main::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &TFrm_main::BitBtn2Click);
    connect(ui->BitBtn3, &QPushButton::clicked, this, &TFrm_main::BitBtn3Click);
    connect(ui->BitBtn4, &QPushButton::clicked, this, &TFrm_main::BitBtn4Click);
    // The marked range follows the typed times: the length shown and the track bar's range.
    for (TSpinEdit *field : {ui->SpinEdit6, ui->SpinEdit7, ui->SpinEdit8, ui->SpinEdit9,
                             ui->SpinEdit10, ui->SpinEdit11}) {
        connect(field, &TSpinEdit::Changed, this, &TFrm_main::CutRangeChanged);
    }
    for (int which : {0, 1}) {
        for (TSpinEdit *field : CutFields(which)) {
            connect(field, &TSpinEdit::Entered, this, [this, which] { ApplyCutTime(which); });
        }
    }
    // Whether a cut keeps the source's tags is remembered from run to run.
    Remember(ui->CheckBox1, KeepTagsKey);
    RecentButton1 = MakeRecentButton(ui->TabSheet1, [this](const QString &f) { OpenCutInput(f); });
    RecentButton1->setObjectName("RecentButton1");
    RecentButton1->setGeometry(450, 176, 18, 22);
    // The level of the cut, under the range; the waveform shows its fades.
    LevelRow1 = new TLevelRow(ui->TabSheet1, "cut/level", 'L');
    LevelRow1->setObjectName("LevelRow1");
    LevelRow1->setGeometry(12, 127, 466, 22);
    const auto showFades = [this] {
        const TLevelRequest level = LevelRow1->Request(false);
        WaveView1->SetFades(level.Level.FadeInMs, level.Level.FadeOutMs);
    };
    connect(LevelRow1, &TLevelRow::Changed, this, showFades);
    showFades();
}

void TFrm_main::ApplyCutTime(int which)
{
    CutRangeChanged();
    if (MediaPlayer1.IsOpen()) {
        try {
            MediaPlayer1.SetPosition(TimeTextToMs(CutRangeText(which).toStdString()));
        } catch (const EConvertError &) {
            return;
        }
        ui->TrackBar2->setValue(Seconds(MediaPlayer1.Position()));
        ui->Label21->setText(DisplayText(MediaPlayer1.Position()));
    }
}

void TFrm_main::SpeedButton1Click()
{
    const QString f = TDialogs::Current().OpenFileName(this, Mp3Filter, LastInputFolder());
    if (!f.isEmpty()) {
        OpenCutInput(f);
    }
}

void TFrm_main::OpenCutInput(const QString &path)
{
    const QString f = QDir::toNativeSeparators(path);
    TSource input;
    TJobOutcome outcome;
    {
        const TWaitCursor busy; // a VBR file without a Xing frame is walked to its end
        OpenJobInput(ToPath(f), input, outcome);
    }
    if (outcome.Status == TJobStatus::InputUnreadable) {
        // A folder, a file that cannot be read: the page keeps the file it had.
        TDialogs::Current().Message(this, CutMessage(outcome));
        return;
    }
    AddRecentFile(f);
    ui->Edit1->setText(f);
    ui->Edit1->setCursorPosition(0); // the start of a long name shows
    ui->Edit11->setText(FromPath(DefaultCutName(ToPath(f), ToTagText(Tr("_片段")))));
    ui->Edit11->setCursorPosition(0);
    if (outcome.Status != TJobStatus::Done) {
        if (outcome.Status != TJobStatus::NoAudio) {
            TDialogs::Current().Message(this, CutMessage(outcome));
        }
        return; // no audio: the cut command says so when it is asked to cut
    }
    SplitPage()->ShowTag(ReadSourceTexts(input));
    const TMPEGAFHdr &hdr = input.Hdr;
    ui->TrackBar2->ShowWhole(Seconds(input.LengthMs()));
    // The length is the core's: the player reads the whole file on a thread of its own.
    MediaPlayer1.FileName = ToPath(f).string();
    MediaPlayer1.Open(hdr.PlayedSamples());
    filelength = input.LengthMs();
    ui->Label17->setText(Tr("位率(kbps):%1%2 采样频率(HZ):%3 长度:%4")
                             .arg(hdr.Bitrate)
                             .arg(hdr.VBR ? " VBR" : "")
                             .arg(hdr.SampleRate)
                             .arg(DisplayText(filelength)));
    // A new file: the whole of it is marked, and nothing of the last one shows.
    settingRange_ = true;
    for (TSpinEdit *field : {ui->SpinEdit6, ui->SpinEdit7, ui->SpinEdit8}) {
        field->setValue(0);
    }
    ui->SpinEdit9->setValue(std::stoi(FormatMs("nn", filelength)));
    ui->SpinEdit10->setValue(std::stoi(FormatMs("ss", filelength)));
    ui->SpinEdit11->setValue(std::stoi(FormatMs("zzz", filelength)));
    settingRange_ = false;
    ui->Label21->setText(DisplayText(0));
    SplitPage()->ShowPosition(0); // the player holds this file now, at its start
    WaveView1->SetLength(filelength, hdr.SamplesPerFrame * 1000 / std::max(1, hdr.SampleRate));
    WaveView1->SetPosition(0);
    CutRangeChanged();
    rangeSettles_.stop();
    rangeHistory_.Reset({0, filelength}); // nothing of the last file to undo
    WaveView1->Load(ToPath(f));
    ShowSegmentLength(true);
}

void TFrm_main::SpeedButton2Click()
{
    if (ui->Edit11->text().isEmpty()) {
        return;
    }
    const QString name = TDialogs::Current().SaveFileName(this, ui->Edit11->text(), Mp3Filter);
    if (!name.isEmpty()) {
        ui->Edit11->setText(QDir::toNativeSeparators(name));
    }
}

std::array<TSpinEdit *, 3> TFrm_main::CutFields(int which) const
{
    if (which == 0) {
        return {ui->SpinEdit6, ui->SpinEdit7, ui->SpinEdit8};
    }
    return {ui->SpinEdit9, ui->SpinEdit10, ui->SpinEdit11};
}

QString TFrm_main::CutRangeText(int which) const
{
    const auto f = CutFields(which);
    return f[0]->Text() + ":" + f[1]->Text() + "." + f[2]->Text();
}

void TFrm_main::ShowSegmentLength(bool clearWhenNegative)
{
    const int64_t len =
        int64_t(
            FieldsToMs(ui->SpinEdit9->Value(), ui->SpinEdit10->Value(), ui->SpinEdit11->Value())) -
        FieldsToMs(ui->SpinEdit6->Value(), ui->SpinEdit7->Value(), ui->SpinEdit8->Value());
    if (len >= 0) {
        ui->Label20->setText(Tr("剪切片段长度：%1").arg(DisplayText(len)));
    } else {
        ui->Label20->setText(clearWhenNegative ? QString() : Tr("剪切片段长度：%1").arg(QString()));
    }
}

void TFrm_main::CutRangeChanged()
{
    if (settingRange_) {
        return;
    }
    try {
        const int64_t start = TimeTextToMs(CutRangeText(0).toStdString());
        const int64_t end = TimeTextToMs(CutRangeText(1).toStdString());
        ui->TrackBar2->SetSelStart(Seconds(start));
        ui->TrackBar2->SetSelEnd(Seconds(end));
        WaveView1->SetRange(start, end);
        if (!WaveView1->Dragging()) {
            rangeSettles_.start(); // a drag is one step, at its end
        }
    } catch (const EConvertError &) {
        return; // a field being typed, empty for now
    }
    ShowSegmentLength(true);
}

void TFrm_main::SettleRange()
{
    try {
        rangeHistory_.Settled({TimeTextToMs(CutRangeText(0).toStdString()),
                               TimeTextToMs(CutRangeText(1).toStdString())});
    } catch (const EConvertError &) {
        // a field being typed: its range settles once it reads as a time
    }
}

bool TFrm_main::ShowRange(const std::optional<TRangeHistory::TRange> &range)
{
    if (!range) {
        return false;
    }
    MarkAt(0, range->first);
    MarkAt(1, range->second);
    return true;
}

bool TFrm_main::UndoRange()
{
    SettleRange(); // a change not settled yet is the step undone
    return !cutRunning_ && ShowRange(rangeHistory_.Undo());
}

bool TFrm_main::RedoRange()
{
    return !cutRunning_ && ShowRange(rangeHistory_.Redo());
}

void TFrm_main::MarkFromPlayer(int which)
{
    MediaPlayer1.SetTimeFormat(0);
    const int64_t p = MediaPlayer1.Position();
    const auto f = CutFields(which);
    f[0]->SetText(QString::fromStdString(FormatMs("nn", p)));
    f[1]->SetText(QString::fromStdString(FormatMs("ss", p)));
    f[2]->SetText(QString::fromStdString(FormatMs("zzz", p)));
    // The selection follows the marked texts, not the player's exact position.
    const int second = Seconds(TimeTextToMs(CutRangeText(which).toStdString()));
    if (which == 0) {
        ui->TrackBar2->SetSelStart(second);
    } else {
        ui->TrackBar2->SetSelEnd(second);
    }
    ShowSegmentLength(which == 1);
}

void TFrm_main::MarkAt(int which, int64_t ms)
{
    // Minutes as many as there are: a handle dragged past the first hour marks its own time.
    const auto f = CutFields(which);
    f[0]->SetText(QString::number(ms / 60000));
    f[1]->SetText(QString::fromStdString(FormatMs("ss", ms)));
    f[2]->SetText(QString::fromStdString(FormatMs("zzz", ms)));
}

void TFrm_main::SeekTo(int64_t ms)
{
    if (!SeekOpenPlayer(MediaPlayer1, ms)) {
        return;
    }
    const int64_t at = MediaPlayer1.Position();
    ui->TrackBar2->setValue(Seconds(at));
    ui->Label21->setText(DisplayText(at));
    WaveView1->SetPosition(at);
}

void TFrm_main::SpeedButton3Click()
{
    MarkFromPlayer(0);
}

void TFrm_main::SpeedButton4Click()
{
    MarkFromPlayer(1);
}

void TFrm_main::BitBtn1Click()
{
    if (MediaPlayer1.Mode() == TMediaPlayer::mpPlaying) { // a second press pauses
        MediaPlayer1.Pause();
        Timer1.stop();
        return;
    }
    // From outside the marked range the range plays; from within it, the rest of it.
    int64_t start = 0;
    int64_t end = 0;
    try {
        start = TimeTextToMs(CutRangeText(0).toStdString());
        end = TimeTextToMs(CutRangeText(1).toStdString());
    } catch (const EConvertError &) {
        end = start; // a field being typed: the file plays on
    }
    if (end > start && MediaPlayer1.IsOpen()) {
        const int64_t at = MediaPlayer1.Position();
        if (at < start || at >= end) {
            MediaPlayer1.SetPosition(start);
        }
        MediaPlayer1.SetEndPos(end);
    }
    MediaPlayer1.Play();
    Timer1Tag = 2;
    Timer1.start();
}

void TFrm_main::BitBtn2Click()
{
    MediaPlayer1.Pause();
    Timer1.stop();
}

void TFrm_main::BitBtn3Click()
{
    if (ui->Edit1->text().isEmpty() || cutRunning_) {
        return;
    }
    // The typed times count, to the millisecond; the bar's whole seconds only show them.
    TCutJob job;
    job.Input = ToPath(ui->Edit1->text());
    job.Output = ToPath(ui->Edit11->text());
    job.StartMs = TimeTextToMs(CutRangeText(0).toStdString());
    job.EndMs = TimeTextToMs(CutRangeText(1).toStdString());
    job.KeepTags = ui->CheckBox1->isChecked();
    job.Level = LevelRow1->Request(false);
    if (*job.EndMs >= filelength && *job.EndMs > std::max<int64_t>(job.StartMs, 0) &&
        job.Input.string() == MediaPlayer1.FileName) {
        // The player's length leaves out the encoder's padding; its end is the file's end.
        job.EndMs.reset();
    }
    RunCut(job);
}

void TFrm_main::RunCut(const TCutJob &job)
{
    // A long range shows its progress and can be cancelled; the cut runs off the window's
    // thread, and the window stays alive meanwhile.
    auto progress = std::make_shared<TJobProgress>();
    cutProgress_ = progress;
    auto *dialog = new QProgressDialog(Tr("正在剪切..."), Tr("取消"), 0, 1000, this);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(400);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false); // a cancel stays a cancel to the last block
    connect(dialog, &QProgressDialog::canceled, dialog, [progress] { progress->Stop = true; });
    auto *timer = new QTimer(dialog);
    timer->setInterval(50);
    connect(timer, &QTimer::timeout, dialog,
            [dialog, progress] { dialog->setValue(int(progress->Done.load())); });
    timer->start();
    cutRunning_ = true;
    ui->BitBtn3->setEnabled(false);
    RunInBackground(
        this,
        [job, progress] {
            return ::RunCut(job, [&progress](int64_t done, int64_t total) {
                progress->Done = done * 1000 / std::max<int64_t>(1, total);
                return !progress->Stop;
            });
        },
        [this, job, dialog](const TJobOutcome &outcome) {
            dialog->close();
            dialog->deleteLater();
            cutRunning_ = false;
            cutProgress_.reset();
            ui->BitBtn3->setEnabled(true);
            if (outcome.Status == TJobStatus::ReadOnlyFile) {
                if (TDialogs::Current().Question(this, ReadOnlyQuestion(outcome))) {
                    TCutJob again = job;
                    again.ReplaceReadOnly = true;
                    RunCut(again);
                }
                return;
            }
            if (outcome.Status == TJobStatus::Done) {
                LastOutput = QString::fromStdString(job.Output.string());
                ui->BitBtn4->setProperty("hint", LastOutput);
                // The range as cut: to the end of the audio when it asked for more.
                const int64_t end = std::min(job.EndMs.value_or(outcome.AudioMs), outcome.AudioMs);
                const int64_t length =
                    std::max<int64_t>(0, end - std::max<int64_t>(0, job.StartMs));
                if (TDialogs::Current().Finished(this, CutMessage(outcome, length))) {
                    TDialogs::Current().OpenDocument(FromPath(job.Output.parent_path()));
                }
                return;
            }
            const QString message = CutMessage(outcome);
            if (!message.isEmpty()) {
                TDialogs::Current().Message(this, message);
            }
        });
}

void TFrm_main::BitBtn4Click()
{
    if (!LastOutput.isEmpty() && !TDialogs::Current().OpenDocument(LastOutput)) {
        TDialogs::Current().Message(this,
                                    Tr("没有可以播放MP3文件的程序，无法打开 %1").arg(LastOutput));
    }
}
