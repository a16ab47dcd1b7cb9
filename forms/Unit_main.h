#pragma once
// The main window: the Cut page, the Split page (its tab hidden, reached by the "高级分割"
// button in the tab row's corner), the About page, the preview player and its timer.

#include "MediaPlayer.h"
#include "RangeHistory.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

namespace Ui {
class TFrm_main;
}
class QCheckBox;
class QShortcut;
class QToolButton;
class TLevelRow;
class TSpinEdit;
struct TJobProgress;
class TSplitPage;
class TWaveView;
namespace mp3core {
struct TCutJob;
}
class Tfrm_info;
class Tfrm_addspecial;

class TFrm_main : public QWidget
{
    Q_OBJECT

public:
    explicit TFrm_main(QWidget *parent = nullptr);
    ~TFrm_main() override;

    TMediaPlayer MediaPlayer1;
    QTimer Timer1;
    int Timer1Tag = 0;      // 1: the Split page shows the position, 2: the Cut page
    int64_t filelength = 0; // playing time of the file last opened on the Cut page, from the player
    QString LastOutput;     // the file the last cut wrote, for "测试效果"

    TSplitPage *SplitPage() const;
    void SetDialogs(Tfrm_info *info, Tfrm_addspecial *addspecial);

    // Shows an error that a handler let escape, unless it speaks of "Access".
    void AppException(const QString &message);
    // The window's place on the screen as it was left last time; false the first time.
    bool RestorePlace();
    // Opens a file on the page in view, as its "..." or "打开" would (used by drops and start-up).
    void OpenFile(const QString &path);
    void playmp3(const QString &fileName);

    // Cut page
    void OpenCutInput(const QString &path);
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void BitBtn1Click();
    void BitBtn2Click();
    // "开始剪切": the cut runs off the window's thread; CutRunning() holds until its message.
    void BitBtn3Click();
    bool CutRunning() const { return cutRunning_; }
    void BitBtn4Click();
    // Ctrl+Z and Ctrl+Y on the Cut page: the marked range as it was, and back again.
    bool UndoRange();
    bool RedoRange();

    // Player display
    void Timer1Timer();
    void TrackBar2Change(int second); // the user moved the bar
    void PageControl1Change(int index);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void FormCreate();
    void ConnectCutPage();
    // Tab order, names for a screen reader, the window's shortcuts.
    void SetUpKeyboard();
    // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z: the marked range or the Split page's list undone and
    // done again.
    void SetUpUndoKeys();
    // Space: play or pause, unless the control in focus takes it.
    void SpaceKey();
    // Return in a start (0) or end (1) field: the range takes it and the player goes there.
    void ApplyCutTime(int which);
    void ShowSegmentLength(bool clearWhenNegative);
    // The start (0) or end (1) fields of the Cut page, and their entry text.
    std::array<TSpinEdit *, 3> CutFields(int which) const;
    QString CutRangeText(int which) const;
    void MarkFromPlayer(int which);
    // The start (0) or end (1) fields set to a time, as a dragged handle sets them.
    void MarkAt(int which, int64_t ms);
    // The player moved to ms (a click in the waveform), playing on if it played.
    void SeekTo(int64_t ms);
    // A time field changed: the marked range and its length follow it.
    void CutRangeChanged();
    // The marked range has settled (the changes of one turn of the loop, or a whole drag):
    // a step to undo.
    void SettleRange();
    bool ShowRange(const std::optional<TRangeHistory::TRange> &range);
    void SplitRunning(bool running);
    void RunCut(const mp3core::TCutJob &job);

    Ui::TFrm_main *ui;
    bool settingRange_ = false; // a new file's range is being set: one update at its end
    bool cutRunning_ = false;
    std::shared_ptr<TJobProgress> cutProgress_; // of the cut that runs: Escape stops it
    QToolButton *SplitPageButton = nullptr;     // "高级分割" in the tab row's corner
    QShortcut *spaceKey_ = nullptr;
    QToolButton *RecentButton1 = nullptr; // the files opened last, beside the input's "..."
    TWaveView *WaveView1 = nullptr;       // the sound of the input, below the controls
    QCheckBox *SnapBox1 = nullptr;        // snapping of the waveform's points
    TLevelRow *LevelRow1 = nullptr;       // the cut's gain, fades and normalizing
    TRangeHistory rangeHistory_;
    QTimer rangeSettles_; // runs once the loop has turned
};
