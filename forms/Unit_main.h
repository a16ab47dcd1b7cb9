#pragma once
// The main window: the Cut page, the Split page (its tab hidden, reached by the "高级分割"
// button in the tab row's corner), the About page, the preview player and its timer.

#include "MediaPlayer.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

namespace Ui {
class TFrm_main;
}
class QTreeWidgetItem;
class QToolButton;
class Tfrm_info;
class Tfrm_addspecial;

class TFrm_main : public QWidget
{
    Q_OBJECT

public:
    explicit TFrm_main(QWidget *parent = nullptr);
    ~TFrm_main() override;

    Ui::TFrm_main *ui;
    TMediaPlayer MediaPlayer1;
    QTimer Timer1;
    int Timer1Tag = 0;                      // 1: the Split page shows the position, 2: the Cut page
    QToolButton *SplitPageButton = nullptr; // "高级分割" in the tab row's corner
    int64_t filelength = 0;                 // playing time of the file last opened, from the player
    int32_t filebitrate = 0; // kbps of the first frame of the file opened on the Split page
    QString LastOutput;      // the file the last cut wrote, for "测试效果"

    void SetDialogs(Tfrm_info *info, Tfrm_addspecial *addspecial);
    Tfrm_addspecial *AddSpecial() const { return frmAddspecial_; }

    // Shows an error that a handler let escape, unless it speaks of "Access".
    void AppException(const QString &message);
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
    void BitBtn3Click();
    void BitBtn4Click();

    // Player display
    void Timer1Timer();
    void TrackBar1Change();
    void TrackBar2Change();
    void PageControl1Change(int index);

    // Split page: the segment list
    void additem(int64_t t);
    void N1Click();
    void N2Click();
    void N3Click(); // "细分...": the planner dialog
    void N4Click(); // "标签...": the tag dialog
    void ListView2SelectItem();
    void ListView2DblClick();
    void SpeedButton12Click();
    void SpeedButton23Click();
    // Split page: planning and writing
    void SpeedButton15Click();
    bool PlanWholeFile(); // false: the step was refused and the list left as it was
    void SpeedButton24Click();
    void StopClick();
    bool Running() const { return running_; }
    // Split page: wizard, information and playback
    void OpenSplitInput(const QString &path);
    void SpeedButton11Click();
    void SpeedButton13Click();
    void SpeedButton14Click();
    void SpeedButton17Click();
    void SpeedButton18Click();
    void SpeedButton19Click();
    void SpinEdit1Change();
    void SpeedButton25Click();

    // Rows of the segment list: start, end and length texts, and the six tag texts once stored.
    QTreeWidgetItem *AddRow(const QString &start, const QString &end);
    static bool HasOwnTag(const QTreeWidgetItem *row);
    static QString SubItem(const QTreeWidgetItem *row, int index);
    static void SetSubItem(QTreeWidgetItem *row, int index, const QString &text);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void FormCreate();
    void ConnectSplitPage();
    void ShowTag(const class TID3Tag &tag);
    // Reads the file's tag into the information fields and its first frame into hdr.
    bool ReadFileInfo(const QString &path, class TMPEGAFHdr &hdr);
    // Opens the file in the player; its length becomes filelength.
    void OpenInPlayer(const QString &path);
    void ShowSegmentLength(bool clearWhenNegative);
    void SetRunning(bool running);
    // The start (0) or end (1) fields of the Cut page, and their entry text.
    std::array<class TSpinEdit *, 3> CutFields(int which) const;
    QString CutRangeText(int which) const;
    void MarkFromPlayer(int which);

    Tfrm_info *frmInfo_ = nullptr;
    Tfrm_addspecial *frmAddspecial_ = nullptr;
    bool running_ = false;
    bool stopRequested_ = false;
};

// A wait cursor for as long as it lives: for reading a long file on the window's thread.
struct TWaitCursor
{
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor &) = delete;
    TWaitCursor &operator=(const TWaitCursor &) = delete;
};

// The commands' own reports.
inline const QString MsgDone = "文件分割完毕！";
inline const QString MsgBusy = "目标文件被占用，文件分割失败！";
inline const QString MsgNoFrame = "未找到MPEG音频帧，文件分割失败！";

// A millisecond count as a display text, and as the whole seconds of a track bar.
QString DisplayText(int64_t ms);
inline int Seconds(int64_t ms)
{
    return int(ms / 1000);
}

// Tag texts are GB18030 bytes; the window shows them as text.
QString FromTagText(const std::string &bytes);
std::string ToTagText(const QString &text);
