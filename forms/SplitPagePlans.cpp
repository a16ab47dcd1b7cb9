// The Split page's planning of the cut points, by each method, and the run that writes them.
#include "SplitPage.h"

#include "Dialogs.h"
#include "MediaPlayer.h"
#include "Messages.h"
#include "Paths.h"
#include "SegmentView.h"
#include "Shared.h"
#include "jobs/SplitJob.h"
#include "plan/SilenceScan.h"
#include "plan/SplitPlan.h"
#include "plan/TimeText.h"
#include "ui_SplitPage.h"

#include <QCoreApplication>

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
    if (const auto times = SizeCutTimes(from, to, stepBytes)) {
        if (list_.PlanTimes(*times) > 0) {
            TDialogs::Current().Message(this, MsgExists);
        }
        view_->Show(row);
    }
}

std::optional<std::vector<int64_t>> TSplitPage::SizeCutTimes(int64_t from, int64_t to,
                                                             int64_t stepBytes)
{
    const TWaitCursor busy;
    TSource input;
    TJobOutcome outcome;
    if (!OpenJobInput(ToPath(ui->Edit8->text() + ui->Edit7->text()), input, outcome)) {
        TDialogs::Current().Message(this, CutMessage(outcome));
        return std::nullopt;
    }
    return input.SizeCutTimes(from, to, stepBytes);
}

void TSplitPage::SpeedButton15Click()
{
    PlanWholeFile();
}

bool TSplitPage::PlanAtSilences()
{
    if (list_.Count() == 0) {
        return true; // no file yet
    }
    TSilenceOptions options;
    options.ThresholdDb = ui->SpinEdit12->Value();
    options.MinSilenceMs = ui->SpinEdit13->Value();
    // The file is decoded: long work, with the progress bar and "停止", the window alive.
    ui->ProgressBar2->setMaximum(int(std::max<int64_t>(1, filelength / 1000)));
    ui->ProgressBar2->setValue(0);
    stopRequested_ = false;
    SetRunning(true);
    const TSilenceScan scan =
        FindSilences(ToPath(ui->Edit8->text() + ui->Edit7->text()), options, [this](int64_t done) {
            ui->ProgressBar2->setValue(int(done / 1000));
            QCoreApplication::processEvents();
            return !stopRequested_;
        });
    SetRunning(false);
    ui->ProgressBar2->setValue(0);
    if (scan.Stopped) {
        return false;
    }
    if (!scan.Error.empty()) {
        TDialogs::Current().Message(this, MsgNoFrame);
        return false;
    }
    const std::vector<int64_t> points = SilenceCutPoints(scan, options);
    if (points.empty()) {
        TDialogs::Current().Message(this, MsgNoSilence);
        return false;
    }
    list_.Reset(filelength, lastCut);
    list_.PlanTimes(points);
    view_->Show(0);
    return true;
}

bool TSplitPage::PlanWholeFile()
{
    if (ui->RadioButton4->isChecked()) {
        return PlanAtSilences();
    }
    // A size step cuts at the frame boundaries nearest to every so many bytes, VBR or not.
    const bool bySize = ui->RadioButton3->isChecked();
    const std::optional<int64_t> step =
        bySize ? SizeStepBytes(ui->SpinEdit5->Value()) : TimeStepMs(ui->SpinEdit4->Value());
    if (!step) {
        TDialogs::Current().Message(this, MsgBadStep);
        return false;
    }
    if (list_.Count() == 0) {
        return true; // no file yet
    }
    std::vector<int64_t> times = PlanCutPoints(0, filelength, *step);
    if (bySize) {
        const auto sized = SizeCutTimes(0, filelength, *step);
        if (!sized) {
            return false;
        }
        times = *sized;
    }
    // A plan starts afresh: every planned part is ticked and has the page's texts.
    list_.Reset(filelength, lastCut);
    list_.PlanTimes(times);
    view_->Show(0);
    return true;
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
    emit RunningChanged(running);
}

void TSplitPage::StopClick()
{
    stopRequested_ = true;
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
    ui->ProgressBar2->setMaximum(int(job.Segments.size()) + 1);
    ui->ProgressBar2->setValue(0);
    stopRequested_ = false;
    SetRunning(true);
    const auto onPart = [this](size_t done, size_t) {
        ui->ProgressBar2->setValue(int(done));
        QCoreApplication::processEvents(); // the bar repaints and "停止" can be pressed
        return !stopRequested_;
    };
    TJobOutcome outcome = RunSplit(job, onPart);
    if (outcome.Status == TJobStatus::ReadOnlyFile) {
        // Refused before the first part: asked, and run again with the answer.
        SetRunning(false);
        if (!TDialogs::Current().Question(this, ReadOnlyQuestion(outcome))) {
            return;
        }
        job.ReplaceReadOnly = true;
        SetRunning(true);
        outcome = RunSplit(job, onPart);
    }
    SetRunning(false);
    if (outcome.Status == TJobStatus::Done) {
        if (player_ != nullptr) {
            player_->FileName = job.Input.string();
            player_->Open();
        }
        ui->ProgressBar2->setValue(ui->ProgressBar2->maximum());
    }
    TDialogs::Current().Message(this, SplitMessage(outcome));
}
