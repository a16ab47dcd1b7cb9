// The Split page's planning of the cut points, by each method, and the run that writes them.
#include "SplitPage.h"

#include "Background.h"
#include "Dialogs.h"
#include "LevelRow.h"
#include "MediaPlayer.h"
#include "Messages.h"
#include "Paths.h"
#include "SegmentView.h"
#include "Shared.h"
#include "jobs/CutJob.h"
#include "jobs/SplitJob.h"
#include "plan/CueSheet.h"
#include "plan/SilenceScan.h"
#include "plan/SplitPlan.h"
#include "plan/TimeText.h"
#include "ui_SplitPage.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

using namespace mp3core;

// --- Planning and writing ------------------------------------------------------------------

std::filesystem::path TSplitPage::InputPath() const
{
    return ToPath(ui->Edit8->text() + ui->Edit7->text());
}

void TSplitPage::Plan(int64_t from, int64_t to, int64_t stepMs)
{
    const std::optional<size_t> row = view_->Selected();
    const std::vector<TSegment> before = list_.Rows();
    const size_t existed = list_.Plan(from, to, stepMs);
    Undoable(before);
    if (existed > 0) {
        TDialogs::Current().Message(this, MsgExists());
    }
    view_->Show(row);
}

void TSplitPage::PlanBySize(int64_t from, int64_t to, int64_t stepBytes)
{
    const std::optional<size_t> row = view_->Selected();
    SizeCutTimes(from, to, stepBytes, [this, row](const std::vector<int64_t> &times) {
        const std::vector<TSegment> before = list_.Rows();
        const size_t existed = list_.PlanTimes(times);
        Undoable(before);
        if (existed > 0) {
            TDialogs::Current().Message(this, MsgExists());
        }
        view_->Show(row);
    });
}

template <class Work, class Done> void TSplitPage::RunJob(int64_t total, Work work, Done done)
{
    progress_ = std::make_shared<TJobProgress>();
    progress_->Total = std::max<int64_t>(1, total);
    partsTotal_ = 0; // a split counts its parts; other jobs show the bar alone
    ui->Label40->clear();
    ui->ProgressBar2->setMaximum(int(progress_->Total));
    ui->ProgressBar2->setValue(0);
    SetRunning(true);
    RunInBackground(
        this, [work = std::move(work), progress = progress_] { return work(*progress); },
        [this, done = std::move(done)](const auto &result) {
            SetRunning(false);
            done(result);
        });
}

void TSplitPage::SizeCutTimes(int64_t from, int64_t to, int64_t stepBytes,
                              std::function<void(const std::vector<int64_t> &)> then)
{
    struct TSized
    {
        TJobOutcome Outcome;
        std::vector<int64_t> Times;
    };
    const std::filesystem::path input = InputPath();
    RunJob(
        0,
        [input, from, to, stepBytes](TJobProgress &) {
            TSized sized;
            TSource source;
            if (OpenJobInput(input, source, sized.Outcome)) {
                sized.Times = source.SizeCutTimes(from, to, stepBytes);
            }
            return sized;
        },
        [this, then = std::move(then)](const TSized &sized) {
            if (sized.Outcome.Status != TJobStatus::Done) {
                TDialogs::Current().Message(this, CutMessage(sized.Outcome));
                return;
            }
            then(sized.Times);
        });
}

void TSplitPage::SpeedButton15Click()
{
    PlanWholeFile();
}

TSplitRequest TSplitPage::MethodRequest() const
{
    using TMethod = TSplitRequest::TMethod;
    TSplitRequest request;
    request.Silence.ThresholdDb = ui->SpinEdit12->Value();
    request.Silence.MinSilenceMs = ui->SpinEdit13->Value();
    request.Silence.MinPartMs = int64_t(ui->SpinEdit14->Value()) * 1000;
    request.Trim = ui->CheckBox2->isChecked();
    if (ui->RadioButton4->isChecked()) {
        request.Method = TMethod::Silence;
    } else if (ui->RadioButton3->isChecked()) {
        request.Method = TMethod::Size;
        request.StepBytes = SizeStepBytes(ui->SpinEdit5->Value()).value_or(0);
    } else if (ui->SpinEdit16->Value() > 0) { // "段数" instead of the step
        request.Method = TMethod::Parts;
        request.Parts = ui->SpinEdit16->Value();
    } else {
        request.Method = TMethod::Every;
        request.StepMs = TimeStepMs(ui->SpinEdit4->Value()).value_or(0);
        if (ui->SpinEdit15->Value() > 0) {
            request.AdjustMs = int64_t(ui->SpinEdit15->Value()) * 1000;
        }
    }
    return request;
}

void TSplitPage::PlanWholeFile(std::function<void()> then)
{
    if (running_) {
        return;
    }
    const TSplitRequest request = MethodRequest();
    using TMethod = TSplitRequest::TMethod;
    if ((request.Method == TMethod::Every && request.StepMs < 1) ||
        (request.Method == TMethod::Size && request.StepBytes < 1)) {
        TDialogs::Current().Message(this, MsgBadStep());
        return;
    }
    if (list_.Count() == 0) {
        return; // no file yet
    }
    PlanRequest(request, [this, then = std::move(then)](const TSplitPlan &) {
        // A plan starts afresh: every planned part is ticked and has the page's texts.
        view_->Show(0);
        if (then) {
            then();
        }
    });
}

void TSplitPage::PlanRequest(const TSplitRequest &request,
                             std::function<void(const TSplitPlan &)> then)
{
    struct TPlanned
    {
        TJobOutcome Opened;
        TSplitPlan Plan;
    };
    if (NeedsOnlyLength(request)) {
        const TSplitPlan plan = PlanSplit(filelength, lastCut.value_or(filelength), request);
        if (const QString why = PlanMessage(plan); !why.isEmpty()) {
            TDialogs::Current().Message(this, why);
        }
        if (plan.Status == TSplitPlan::TStatus::Planned) {
            const std::vector<TSegment> before = list_.Rows();
            list_ = plan.List;
            Undoable(before);
            then(plan);
        }
        return;
    }
    const std::filesystem::path input = InputPath();
    // Only a silence scan decodes the file: long work, with the progress bar and "停止".
    const bool scans = request.Method == TSplitRequest::TMethod::Silence || request.AdjustMs;
    RunJob(
        scans ? filelength / 1000 : 0,
        [input, request](TJobProgress &progress) {
            TPlanned planned;
            TSource source;
            if (OpenJobInput(input, source, planned.Opened)) {
                planned.Plan = PlanSplit(source, request, [&progress](int64_t done) {
                    progress.Done = done / 1000;
                    return !progress.Stop;
                });
            }
            return planned;
        },
        [this, then = std::move(then)](const TPlanned &planned) {
            ui->ProgressBar2->setValue(0);
            if (planned.Opened.Status != TJobStatus::Done) {
                TDialogs::Current().Message(this, CutMessage(planned.Opened));
                return;
            }
            if (const QString why = PlanMessage(planned.Plan); !why.isEmpty()) {
                TDialogs::Current().Message(this, why);
            }
            if (planned.Plan.Status == TSplitPlan::TStatus::Planned) {
                const std::vector<TSegment> before = list_.Rows();
                list_ = planned.Plan.List;
                Undoable(before);
                then(planned.Plan);
            }
        });
}

QString TSplitPage::PlanMessage(const TSplitPlan &plan) const
{
    using TStatus = TSplitPlan::TStatus;
    switch (plan.Status) {
    case TStatus::Planned:
        if (plan.Cue.Sheet) {
            return CueNoteMessage(*plan.Cue.Sheet, plan.TracksLeftOut);
        }
        return plan.TracksLeftOut > 0
                   ? (plan.LabelsRead.Tracks
                          ? Tr("%1 个标签（共 %2 个）的起点在音频结束之后，已略去。")
                          : Tr("%1 个章节（共 %2 个）的起点在音频结束之后，已略去。"))
                         .arg(plan.TracksLeftOut)
                         .arg(plan.Tracks)
                   : QString();
    case TStatus::NoChapters:
        return plan.Tracks == 0 ? MsgNoChapters() : MsgChaptersOutside();
    case TStatus::LabelsFault:
        return ListFaultMessage(Tr("标签文件"), labelsName_, plan.LabelsRead.Line,
                                plan.LabelsRead.Reason);
    case TStatus::LabelsOutside:
        return MsgLabelsOutside();
    case TStatus::Stopped:
        return {};
    case TStatus::Undecodable:
        return MsgNoFrame();
    case TStatus::NoSilence:
        return MsgNoSilence();
    case TStatus::CueFault:
        return CueFaultMessage(cueName_, plan.Cue);
    case TStatus::CueOutside:
        return MsgCueOutside();
    default:
        return MsgBadStep();
    }
}

void TSplitPage::SetRunning(bool running)
{
    running_ = running;
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->GroupBoxmain, ui->GroupBoxadv, ui->GroupBoxtime, ui->GroupBoxsize,
             ui->GroupBoxsilence, ui->Edit9, ui->SpeedButton25, ui->SpeedButton13}) {
        w->setEnabled(!running);
    }
    ui->SpeedButton14->setVisible(!running);
    ShowChaptersButton();
    ui->SpeedButtonStop->setVisible(running);
    if (running) {
        progressTimer_->start();
    } else {
        progressTimer_->stop();
    }
    emit RunningChanged(running);
}

void TSplitPage::ShowProgress()
{
    if (progress_) {
        const int64_t done = std::min(progress_->Done.load(), progress_->Total.load());
        ui->ProgressBar2->setValue(int(done));
        if (partsTotal_ > 0) {
            ui->Label40->setText(
                QString("%1 / %2").arg(std::min<int64_t>(done, partsTotal_)).arg(partsTotal_));
        }
    }
}

void TSplitPage::StopClick()
{
    if (progress_) {
        progress_->Stop = true;
    }
}

void TSplitPage::SpeedButton24Click()
{
    if (list_.Count() == 0 || running_) {
        return;
    }
    TSplitJob job = SplitJobOf(list_, InputPath(), ToPath(ui->Edit10->text()),
                               ToPath(ui->Edit9->text()).string(), PageTag());
    if (job.Segments.empty()) {
        TDialogs::Current().Message(this, MsgNoRows());
        return;
    }
    job.Level = levelRow_->Request(true);
    RunSplit(job);
}

void TSplitPage::RunSplit(const TSplitJob &job)
{
    RunJob(
        int64_t(job.Segments.size()) + 1,
        [job](TJobProgress &progress) {
            return ::RunSplit(job, [&progress](size_t done, size_t) {
                progress.Done = int64_t(done);
                return !progress.Stop;
            });
        },
        [this, job](const TJobOutcome &outcome) {
            partsTotal_ = int64_t(outcome.Planned > 0 ? outcome.Planned : job.Segments.size());
            if (outcome.Status == TJobStatus::ReadOnlyFile) {
                // Refused before the first part: asked, and run again with the answer.
                if (TDialogs::Current().Question(this, ReadOnlyQuestion(outcome))) {
                    TSplitJob again = job;
                    again.ReplaceReadOnly = true;
                    RunSplit(again);
                }
                return;
            }
            if (outcome.Status == TJobStatus::Done) {
                if (player_ != nullptr) {
                    player_->FileName = job.Input.string();
                    player_->Open();
                }
                ShowProgress();
                ui->ProgressBar2->setValue(ui->ProgressBar2->maximum());
                if (TDialogs::Current().Finished(this, SplitMessage(outcome)) &&
                    !outcome.Written.empty()) {
                    TDialogs::Current().OpenDocument(
                        FromPath(outcome.Written.front().parent_path()));
                }
                return;
            }
            ShowProgress();
            TDialogs::Current().Message(this, SplitMessage(outcome));
        });
    partsTotal_ = int64_t(job.Segments.size());
    ShowProgress();
}

void TSplitPage::WithRows(const std::function<void()> &then)
{
    if (ui->RadioButton1->isChecked()) {
        then(); // the list's rows as they stand
        return;
    }
    PlanWholeFile(then);
}

void TSplitPage::ChaptersClick()
{
    if (ui->Edit7->text().isEmpty()) {
        TDialogs::Current().Message(this, MsgNoInput());
        return;
    }
    WithRows([this] { WriteChapters(); });
}

void TSplitPage::ImportRows(const TSplitRequest &request)
{
    PlanRequest(request, [this](const TSplitPlan &) { view_->Show(std::nullopt); });
}

void TSplitPage::WriteChapters()
{
    if (list_.Count() == 0 || running_) {
        return;
    }
    // The ticked rows, each a chapter titled by its own texts.
    const std::vector<TSegment> &rows = list_.Rows();
    if (std::none_of(rows.begin(), rows.end(), [](const TSegment &r) { return r.Ticked; })) {
        TDialogs::Current().Message(this, MsgNoRows());
        return;
    }
    const QString base = ui->Edit9->text().contains('@')
                             ? QFileInfo(ui->Edit7->text()).completeBaseName()
                             : ui->Edit9->text();
    const QString name = TDialogs::Current().SaveFileName(
        this, QDir(ui->Edit10->text()).filePath(base + Tr("_章节.mp3")), "MP3 (*.mp3)");
    if (name.isEmpty()) {
        return;
    }
    const TCutJob job = ChaptersJobOf(list_.Rows(), InputPath(), ToPath(name));
    RunJob(
        100,
        [job](TJobProgress &progress) {
            return RunCut(job, [&progress](int64_t copied, int64_t total) {
                progress.Done = total > 0 ? copied * 100 / total : 0;
                return !progress.Stop;
            });
        },
        [this, job](const TJobOutcome &outcome) {
            ui->ProgressBar2->setValue(0);
            if (outcome.Status != TJobStatus::Done) {
                TDialogs::Current().Message(this, CutMessage(outcome));
                return;
            }
            const QString done = Tr("已写入 %1 个章节到 %2")
                                     .arg(job.Chapters->size())
                                     .arg(QDir::toNativeSeparators(FromPath(job.Output)));
            if (TDialogs::Current().Finished(this, done)) {
                TDialogs::Current().OpenDocument(FromPath(job.Output.parent_path()));
            }
        });
}

void TSplitPage::N6Click()
{
    if (list_.Count() == 0 || running_) {
        return; // no file open, or a job runs
    }
    TSplitRequest request;
    request.Method = TSplitRequest::TMethod::Chapters;
    ImportRows(request);
}

void TSplitPage::N5Click()
{
    if (list_.Count() == 0 || running_) {
        return; // no file open, or a job runs
    }
    cueName_ = TDialogs::Current().OpenFileName(this, "CUE (*.cue)", ui->Edit8->text());
    if (cueName_.isEmpty()) {
        return;
    }
    TSplitRequest request;
    request.Method = TSplitRequest::TMethod::Cue;
    request.Cue = ToPath(cueName_);
    ImportRows(request);
}
