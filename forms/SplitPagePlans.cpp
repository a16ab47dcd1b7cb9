// The Split page's planning of the cut points, by each method, and the run that writes them.
#include "SplitPage.h"

#include "Background.h"
#include "Dialogs.h"
#include "MediaPlayer.h"
#include "Messages.h"
#include "Paths.h"
#include "SegmentView.h"
#include "Shared.h"
#include "jobs/SplitJob.h"
#include "plan/CueSheet.h"
#include "plan/SilenceScan.h"
#include "plan/SplitPlan.h"
#include "plan/TimeText.h"
#include "ui_SplitPage.h"

#include <QTimer>

#include <algorithm>

// --- Planning and writing ------------------------------------------------------------------

void TSplitPage::Plan(int64_t from, int64_t to, int64_t stepMs)
{
    const std::optional<size_t> row = view_->Selected();
    if (list_.Plan(from, to, stepMs) > 0) {
        TDialogs::Current().Message(this, MsgExists);
    }
    view_->Show(row);
}

void TSplitPage::PlanBySize(int64_t from, int64_t to, int64_t stepBytes)
{
    const std::optional<size_t> row = view_->Selected();
    SizeCutTimes(from, to, stepBytes, [this, row](const std::vector<int64_t> &times) {
        if (list_.PlanTimes(times) > 0) {
            TDialogs::Current().Message(this, MsgExists);
        }
        view_->Show(row);
    });
}

template <class Work, class Done> void TSplitPage::RunJob(int64_t total, Work work, Done done)
{
    progress_ = std::make_shared<TJobProgress>();
    progress_->Total = std::max<int64_t>(1, total);
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
    const std::filesystem::path input = ToPath(ui->Edit8->text() + ui->Edit7->text());
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

void TSplitPage::PlanAtSilences(std::function<void()> then)
{
    if (list_.Count() == 0) {
        return; // no file yet
    }
    TSilenceOptions options;
    options.ThresholdDb = ui->SpinEdit12->Value();
    options.MinSilenceMs = ui->SpinEdit13->Value();
    // The file is decoded: long work, with the progress bar and "停止", the window alive.
    const std::filesystem::path input = ToPath(ui->Edit8->text() + ui->Edit7->text());
    RunJob(
        filelength / 1000,
        [input, options](TJobProgress &progress) {
            return FindSilences(input, options, [&progress](int64_t done) {
                progress.Done = done / 1000;
                return !progress.Stop;
            });
        },
        [this, options, then = std::move(then)](const TSilenceScan &scan) {
            ui->ProgressBar2->setValue(0);
            if (scan.Stopped) {
                return;
            }
            if (!scan.Error.empty()) {
                TDialogs::Current().Message(this, MsgNoFrame);
                return;
            }
            const std::vector<int64_t> points = SilenceCutPoints(scan, options);
            if (points.empty()) {
                TDialogs::Current().Message(this, MsgNoSilence);
                return;
            }
            list_.Reset(filelength, lastCut);
            list_.PlanTimes(points);
            view_->Show(0);
            if (then) {
                then();
            }
        });
}

void TSplitPage::PlanWholeFile(std::function<void()> then)
{
    if (running_) {
        return;
    }
    if (ui->RadioButton4->isChecked()) {
        PlanAtSilences(std::move(then));
        return;
    }
    // A size step cuts at the frame boundaries nearest to every so many bytes, VBR or not.
    const bool bySize = ui->RadioButton3->isChecked();
    const std::optional<int64_t> step =
        bySize ? SizeStepBytes(ui->SpinEdit5->Value()) : TimeStepMs(ui->SpinEdit4->Value());
    if (!step) {
        TDialogs::Current().Message(this, MsgBadStep);
        return;
    }
    if (list_.Count() == 0) {
        return; // no file yet
    }
    // A plan starts afresh: every planned part is ticked and has the page's texts.
    const auto plan = [this, then](const std::vector<int64_t> &times) {
        list_.Reset(filelength, lastCut);
        list_.PlanTimes(times);
        view_->Show(0);
        if (then) {
            then();
        }
    };
    if (bySize) {
        SizeCutTimes(0, filelength, *step, plan);
    } else {
        plan(PlanCutPoints(0, filelength, *step));
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
        ui->ProgressBar2->setValue(int(std::min(progress_->Done.load(), progress_->Total.load())));
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
    TSplitJob job =
        SplitJobOf(list_, ToPath(ui->Edit8->text() + ui->Edit7->text()), ToPath(ui->Edit10->text()),
                   ToPath(ui->Edit9->text()).string(), PageTag());
    if (job.Segments.empty()) {
        TDialogs::Current().Message(this, MsgNoRows);
        return;
    }
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
                ui->ProgressBar2->setValue(ui->ProgressBar2->maximum());
            } else {
                ShowProgress();
            }
            TDialogs::Current().Message(this, SplitMessage(outcome));
        });
}

void TSplitPage::N5Click()
{
    if (list_.Count() == 0 || running_) {
        return; // no file open, or a job runs
    }
    const QString cue = TDialogs::Current().OpenFileName(this, "CUE (*.cue)");
    if (cue.isEmpty()) {
        return;
    }
    const std::filesystem::path sheet = ToPath(cue);
    const std::filesystem::path input = ToPath(ui->Edit8->text() + ui->Edit7->text());
    RunJob(
        0, [sheet, input](TJobProgress &) { return ReadCueSheet(sheet, input); },
        [this, cue](const TCueRead &read) {
            if (!read.Sheet) {
                TDialogs::Current().Message(this, CueFaultMessage(cue, read));
                return;
            }
            TSegmentList planned = list_;
            const size_t outside = planned.PlanTracks(read.Sheet->Tracks);
            if (outside == read.Sheet->Tracks.size()) {
                TDialogs::Current().Message(this, MsgCueOutside);
                return;
            }
            list_ = planned;
            view_->Show(std::nullopt);
            const QString note = CueNoteMessage(*read.Sheet, outside);
            if (!note.isEmpty()) {
                TDialogs::Current().Message(this, note);
            }
        });
}
