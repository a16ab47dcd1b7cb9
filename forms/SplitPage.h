#pragma once
// The Split page: the segment list (a view over the core's list), the planners, the batch run,
// the wizard's steps and the page's own preview controls.

#include "jobs/SplitJob.h"
#include "plan/SegmentList.h"
#include "plan/SplitPlanner.h"

#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TSplitPage;
}
class QTreeWidgetItem;
class QGroupBox;
class QTimer;
class QToolButton;
struct TJobProgress;
class TMediaPlayer;
class TSegmentView;
class TWaveView;
class Tfrm_info;
class Tfrm_addspecial;
struct TTagFields;

class TSplitPage : public QWidget
{
    Q_OBJECT

public:
    explicit TSplitPage(QWidget *parent = nullptr);
    ~TSplitPage() override;

    // The player both pages share, and the dialogs the list opens.
    void SetPlayer(TMediaPlayer *player) { player_ = player; }
    void SetDialogs(Tfrm_info *info, Tfrm_addspecial *addspecial);

    int64_t filelength = 0;         // playing time of the file opened on this page, from its frames
    std::optional<int64_t> lastCut; // where cut points stop being of use in it
    int32_t filebitrate = 0;        // kbps of its first frame (the average of a VBR file), shown

    // A file's tag in the information fields (both pages' file choosers fill them).
    void ShowTag(const mp3core::TPartTag &tag);
    // The list reset to one row over a file of this length; cut points from lastCutMs on are
    // too near its end.
    void ShowFile(int64_t lengthMs, std::optional<int64_t> lastCutMs = std::nullopt);
    // The player's position, while this page plays.
    void ShowPosition(int64_t ms);
    bool Running() const { return running_; }
    const mp3core::TSegmentList &Segments() const { return list_; }
    // The user holds the page's track bar down: the position display stands still.
    bool BarHeld() const;

    // The segment list
    void additem(int64_t t);
    void N1Click();
    void N2Click();
    void N3Click(); // "细分...": the planner dialog
    void N4Click(); // "标签...": the tag dialog
    void N5Click(); // "导入CUE...": a CUE sheet's tracks as the rows, with their texts
    void N6Click(); // "导入章节": the file's chapters as the rows, with their titles
    void N7Click(); // "导入标签...": rows cut at an Audacity label file's labels, titled by them
    void N8Click(); // "导出CUE...": the ticked rows as a CUE sheet of the file
    void N9Click(); // "导出标签...": the ticked rows as an Audacity label file
    // "写入章节": the ticked rows (planned first by the method, as "开始" plans them) as the
    // chapters of one file: the input's frames, all of them, under a name asked for.
    void ChaptersClick();
    void ListView2SelectItem();
    void ListView2DblClick();
    void SpeedButton12Click();
    void SpeedButton23Click();
    // Planning and writing. The long steps (a silence scan, the walk of a size step, a CUE
    // sheet read, the split) run off the window's thread; Running() holds meanwhile, and
    // RunningChanged tells when it ends.
    void SpeedButton15Click();
    // The list planned over the whole file by the chosen method and its options (the core's
    // planner, as mp3cut's); then() follows once it is, not when the step was refused, the
    // scan found no silence or was stopped.
    void PlanWholeFile(std::function<void()> then = {});
    void SpeedButton24Click();
    void StopClick();
    // The wizard, the information and playback
    void OpenSplitInput(const QString &path);
    void SpeedButton11Click();
    void SpeedButton13Click();
    void SpeedButton14Click();
    void SpeedButton17Click();
    void SpeedButton18Click();
    void SpeedButton19Click();
    // Ctrl+Z and Ctrl+Y: every change to the list's rows (add, move, remove, remove all, plan,
    // import) undone and done again; false when there is none.
    bool Undo();
    bool Redo();
    // Space: pauses a playing file, else plays as "播放" does.
    void PlayOrPause();
    // Where Tab enters the page.
    QWidget *FirstControl() const;
    void SpinEdit1Change();
    void SpeedButton25Click();
    void TrackBar1Change(int second); // the user moved the bar

protected:
    void resizeEvent(QResizeEvent *event) override;

signals:
    void RunningChanged(bool running);
    void PlayStarted(); // the position display is this page's from now on

private:
    void ConnectControls();
    void MakeListMenu(); // the list's menu: remove, plan, tag, import
    // The recent files' drop-down; the method and its settings as the last run left them.
    void RememberChoices();
    // The waveform below the list step: its rows follow the list, its clicks and drags change it.
    void SetUpWaveform();
    void RefreshWave();
    // The rows before a change: kept for Undo when the change altered them.
    void Undoable(const std::vector<mp3core::TSegment> &before);
    // The rows from's last entry had, the present ones kept in to: an undo or a redo.
    bool Step(std::vector<std::vector<mp3core::TSegment>> &from,
              std::vector<std::vector<mp3core::TSegment>> &to);
    // Tab order, names for a screen reader, the list's Delete and the time fields' Return.
    void SetUpKeyboard();
    // The step in front: its groups show, the others hide.
    void ShowStep(std::initializer_list<QGroupBox *> front);
    TTagFields PageFields() const;
    // The input: the folder and the name the page shows.
    std::filesystem::path InputPath() const;
    mp3core::TPartTag PageTag() const;
    void SetRunning(bool running);
    void StoreTag(const mp3core::TPartTag &tag);
    void Plan(int64_t from, int64_t to, int64_t stepMs);
    void PlanBySize(int64_t from, int64_t to, int64_t stepBytes);
    // The cut points nearest to every stepBytes of the file's audio, to then(); a message when
    // the file cannot be read.
    void SizeCutTimes(int64_t from, int64_t to, int64_t stepBytes,
                      std::function<void(const std::vector<int64_t> &)> then);
    // Runs work(progress) off the window's thread with the progress bar (of total) and "停止",
    // the page's commands off; done(result) on the window's thread once it has ended.
    template <class Work, class Done> void RunJob(int64_t total, Work work, Done done);
    void RunSplit(const mp3core::TSplitJob &job);
    void WriteChapters();
    // then(), once the rows are there: the list's as they stand, else the method's plan.
    void WithRows(const std::function<void()> &then);
    // Rows made by an import (a CUE sheet, the chapters, a label file) in place of the list's.
    void ImportRows(const mp3core::TSplitRequest &request);
    void ExportList(bool cue);
    void ShowChaptersButton();
    // The request the method's step makes of its controls.
    mp3core::TSplitRequest MethodRequest() const;
    // Plans the request off the window's thread; then(plan) once it is planned and in the list.
    void PlanRequest(const mp3core::TSplitRequest &request,
                     std::function<void(const mp3core::TSplitPlan &)> then);
    // Why a plan was not made, or the note it came with; empty: nothing to say.
    QString PlanMessage(const mp3core::TSplitPlan &plan) const;
    void ShowProgress();

    Ui::TSplitPage *ui;
    mp3core::TSegmentList list_;
    TSegmentView *view_ = nullptr; // a child of the list widget
    TMediaPlayer *player_ = nullptr;
    Tfrm_info *frmInfo_ = nullptr;
    Tfrm_addspecial *frmAddspecial_ = nullptr;
    std::optional<size_t> taggedRow_; // the row whose texts the tag dialog edits
    bool running_ = false;
    std::shared_ptr<TJobProgress> progress_; // of the job that runs, or ran last
    QTimer *progressTimer_ = nullptr;        // shows it while the job runs
    QString cueName_;                        // the CUE sheet being imported
    QString labelsName_;                     // the label file being imported
    std::vector<std::vector<mp3core::TSegment>> undo_, redo_;
    std::optional<std::vector<mp3core::TSegment>> dragBefore_; // the rows as a drag found them
    int64_t partsTotal_ = 0;                      // the parts the running split writes; 0: no split
    QToolButton *recentButton_ = nullptr;         // the files opened last, beside "打开"
    TWaveView *wave_ = nullptr;                   // the sound of the file, with the cut points
    class QPushButton *chaptersButton_ = nullptr; // "写入章节"
    class QCheckBox *snapBox_ = nullptr;          // snapping of its cut points
    class TLevelRow *levelRow_ = nullptr;         // the parts' gain, fades and normalizing
};
