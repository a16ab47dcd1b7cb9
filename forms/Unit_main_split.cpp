// The Split page: the segment list, planning, the batch writer, the wizard and its playback.
#include "Unit_main.h"

#include "Dialogs.h"
#include "FileStream.h"
#include "MP3TAG.h"
#include "MPEGAFHdr.h"
#include "PartWriter.h"
#include "Paths.h"
#include "SplitPlan.h"
#include "TimeText.h"
#include "Unit_addspecial.h"
#include "Unit_info.h"
#include "ui_Unit_main.h"

#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QTabBar>
#include <QToolButton>

#include <limits>

namespace {

const QString MsgExists = "已经存在！";
const QString MsgNoRows = "没有选中的片段！";
const QString MsgBadStep = "分割步长无效！";

// A row's six tag texts, once the user stored them, live beside its three columns.
constexpr int TagRole = Qt::UserRole + 1;

int64_t EntryMs(const QString &text)
{
    return TimeTextToMs(text.toStdString());
}

// The genre number of a genre name, by the table and without letter case; 255 for none.
uint8_t GenreNumber(const QString &name)
{
    for (size_t i = 0; i < GenreNames.size(); ++i) {
        if (name.compare(QString::fromLatin1(GenreNames[i].data(), qsizetype(GenreNames[i].size())),
                         Qt::CaseInsensitive) == 0) {
            return uint8_t(i);
        }
    }
    return 255;
}

} // namespace

void TFrm_main::ConnectSplitPage()
{
    ui->Edit10->setText(QDir::toNativeSeparators(QDir::homePath()));
    ui->ListView2->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->ListView2->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->ListView2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // 70 pixels a column, the first a little wider for its check box.
    ui->ListView2->setColumnWidth(0, 84);
    ui->ListView2->setColumnWidth(1, 63);
    ui->ListView2->setColumnWidth(2, 63);
    // The step groups lie on top of one another: the one in front must hide the others.
    for (QWidget *group :
         {static_cast<QWidget *>(ui->GroupBoxmain), static_cast<QWidget *>(ui->GroupBoxadv),
          static_cast<QWidget *>(ui->GroupBoxtime), static_cast<QWidget *>(ui->GroupBoxsize),
          static_cast<QWidget *>(ui->GroupBoxfile)}) {
        group->setAutoFillBackground(true);
    }
    ui->SpeedButtonStop->hide();

    auto *menu = new QMenu(this);
    menu->setObjectName("PopupMenu1");
    auto addAction = [&](const char *name, const QString &text, void (TFrm_main::*slot)()) {
        QAction *a = menu->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    addAction("N1", "删除", &TFrm_main::N1Click);
    addAction("N2", "全部删除", &TFrm_main::N2Click);
    menu->addSeparator();
    addAction("N3", "细分...", &TFrm_main::N3Click);
    addAction("N4", "标签...", &TFrm_main::N4Click);
    connect(ui->ListView2, &QWidget::customContextMenuRequested, this, [this, menu](QPoint at) {
        const bool selected = ui->ListView2->currentItem() != nullptr;
        menu->findChild<QAction *>("N4")->setEnabled(selected);
        menu->popup(ui->ListView2->viewport()->mapToGlobal(at));
    });

    connect(ui->ListView2, &QTreeWidget::itemSelectionChanged, this,
            &TFrm_main::ListView2SelectItem);
    connect(ui->ListView2, &QTreeWidget::itemDoubleClicked, this, &TFrm_main::ListView2DblClick);
    connect(ui->SpeedButton11, &QPushButton::clicked, this, &TFrm_main::SpeedButton11Click);
    connect(ui->SpeedButton12, &QPushButton::clicked, this, &TFrm_main::SpeedButton12Click);
    connect(ui->SpeedButton13, &QPushButton::clicked, this, &TFrm_main::SpeedButton13Click);
    connect(ui->SpeedButton14, &QPushButton::clicked, this, &TFrm_main::SpeedButton14Click);
    connect(ui->SpeedButton15, &QPushButton::clicked, this, &TFrm_main::SpeedButton15Click);
    connect(ui->SpeedButton17, &QPushButton::clicked, this, &TFrm_main::SpeedButton17Click);
    connect(ui->SpeedButton18, &QPushButton::clicked, this, &TFrm_main::SpeedButton18Click);
    connect(ui->SpeedButton19, &QPushButton::clicked, this, &TFrm_main::SpeedButton19Click);
    connect(ui->SpeedButton23, &QPushButton::clicked, this, &TFrm_main::SpeedButton23Click);
    connect(ui->SpeedButton24, &QPushButton::clicked, this, &TFrm_main::SpeedButton24Click);
    connect(ui->SpeedButton25, &QPushButton::clicked, this, &TFrm_main::SpeedButton25Click);
    connect(ui->SpeedButtonStop, &QPushButton::clicked, this, &TFrm_main::StopClick);
    for (TSpinEdit *f :
         {ui->SpinEdit1, ui->SpinEdit2, ui->SpinEdit3, ui->SpinEdit4, ui->SpinEdit5}) {
        connect(f, &TSpinEdit::Changed, this, &TFrm_main::SpinEdit1Change);
    }
}

// --- Rows ----------------------------------------------------------------------------------

QTreeWidgetItem *TFrm_main::AddRow(const QString &start, const QString &end)
{
    auto *row = new QTreeWidgetItem(ui->ListView2);
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, Qt::Checked);
    row->setText(0, start);
    row->setText(1, end);
    row->setText(2, DisplayText(EntryMs(end) - EntryMs(start)));
    return row;
}

bool TFrm_main::HasOwnTag(const QTreeWidgetItem *row)
{
    return row->data(0, TagRole).isValid();
}

QString TFrm_main::SubItem(const QTreeWidgetItem *row, int index)
{
    if (index < 2) {
        return row->text(index + 1);
    }
    const QStringList texts = row->data(0, TagRole).toStringList();
    return index - 2 < texts.size() ? texts[index - 2] : QString();
}

void TFrm_main::SetSubItem(QTreeWidgetItem *row, int index, const QString &text)
{
    if (index < 2) {
        row->setText(index + 1, text);
        return;
    }
    QStringList texts = row->data(0, TagRole).toStringList();
    while (texts.size() < 6) {
        texts.append(QString());
    }
    texts[index - 2] = text;
    row->setData(0, TagRole, texts);
}

// --- The segment list ------------------------------------------------------------------------

void TFrm_main::additem(int64_t t)
{
    const QString text = DisplayText(t);
    QTreeWidget *list = ui->ListView2;
    // The rows tile the file in order, so one row can match: the last that starts at or before
    // the time the text shows (a negative time shows without its sign). A binary search keeps
    // planning thousands of parts quick.
    auto startOf = [&](int i) {
        return ClockTextToMs(list->topLevelItem(i)->text(0).toStdString());
    };
    auto lastStartingBy = [&](int64_t v) {
        int lo = 0;
        int hi = list->topLevelItemCount() - 1;
        if (hi < 0 || startOf(0) > v) {
            return -1;
        }
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            if (startOf(mid) <= v) {
                lo = mid;
            } else {
                hi = mid - 1;
            }
        }
        return lo;
    };
    const int same = lastStartingBy(EntryMs(text));
    if (same >= 0) {
        const QTreeWidgetItem *row = list->topLevelItem(same);
        if (row->text(0) == text || row->text(1) == text) {
            TDialogs::Current().Message(this, MsgExists);
            return;
        }
    }
    const int i = lastStartingBy(t);
    if (i < 0) {
        return;
    }
    QTreeWidgetItem *row = list->topLevelItem(i);
    const int64_t s = ClockTextToMs(row->text(0).toStdString());
    const int64_t e = ClockTextToMs(row->text(1).toStdString());
    if (!(s < t && t < e)) {
        return; // outside every row
    }
    // The new row copies the row it splits (check mark and tag texts too) and takes its
    // second half.
    QTreeWidgetItem *added = row->clone();
    list->insertTopLevelItem(i + 1, added);
    row->setText(1, text);
    row->setText(2, DisplayText(EntryMs(text) - EntryMs(row->text(0))));
    added->setText(0, text);
    added->setText(2, DisplayText(EntryMs(added->text(1)) - EntryMs(text)));
    list->setCurrentItem(added);
}

void TFrm_main::N1Click()
{
    QTreeWidget *list = ui->ListView2;
    QTreeWidgetItem *row = list->currentItem();
    if (row == nullptr || !row->isSelected() || list->topLevelItemCount() < 2) {
        return;
    }
    const int i = list->indexOfTopLevelItem(row);
    QTreeWidgetItem *neighbour = nullptr;
    if (i > 0) {
        neighbour = list->topLevelItem(i - 1);
        neighbour->setText(1, row->text(1));
    } else {
        neighbour = list->topLevelItem(1);
        neighbour->setText(0, row->text(0));
    }
    neighbour->setText(2, DisplayText(EntryMs(neighbour->text(1)) - EntryMs(neighbour->text(0))));
    delete row;
    list->setCurrentItem(neighbour);
}

void TFrm_main::N2Click()
{
    const int n = ui->ListView2->topLevelItemCount() - 1;
    for (int k = 0; k < n; ++k) {
        N1Click();
    }
}

void TFrm_main::N3Click()
{
    if (frmAddspecial_ != nullptr) {
        frmAddspecial_->show();
        frmAddspecial_->raise();
    }
}

void TFrm_main::N4Click()
{
    ListView2DblClick();
}

void TFrm_main::ListView2SelectItem()
{
    const QTreeWidgetItem *row = ui->ListView2->currentItem();
    if (row == nullptr || !row->isSelected() || MediaPlayer1.Mode() == TMediaPlayer::mpPlaying) {
        return;
    }
    ui->TrackBar1->SetSelStart(Seconds(EntryMs(row->text(0))));
    ui->TrackBar1->SetSelEnd(Seconds(EntryMs(row->text(1))));
}

void TFrm_main::ListView2DblClick()
{
    const QTreeWidgetItem *row = ui->ListView2->currentItem();
    if (row != nullptr && row->isSelected() && frmInfo_ != nullptr) {
        frmInfo_->show();
        frmInfo_->raise();
    }
}

void TFrm_main::SpeedButton12Click()
{
    if (ui->ListView2->topLevelItemCount() >= 1) {
        additem(FieldsToMs(ui->SpinEdit1->Value(), ui->SpinEdit2->Value(), ui->SpinEdit3->Value()));
    }
}

void TFrm_main::SpeedButton23Click()
{
    additem(MediaPlayer1.Position());
}

// --- Planning and writing ------------------------------------------------------------------

void TFrm_main::SpeedButton15Click()
{
    PlanWholeFile();
}

bool TFrm_main::PlanWholeFile()
{
    const std::optional<int64_t> step = ui->RadioButton3->isChecked()
                                            ? SizeStepMs(ui->SpinEdit5->Value(), filebitrate)
                                            : TimeStepMs(ui->SpinEdit4->Value());
    if (!step) {
        TDialogs::Current().Message(this, MsgBadStep);
        return false;
    }
    N2Click();
    for (const int64_t t : PlanCutPoints(0, filelength, *step)) {
        additem(t);
    }
    return true;
}

void TFrm_main::SetRunning(bool running)
{
    running_ = running;
    QWidget *commands[] = {
        ui->GroupBoxmain, ui->GroupBoxadv,   ui->GroupBoxtime,  ui->GroupBoxsize,
        ui->Edit9,        ui->SpeedButton25, ui->SpeedButton13, ui->PageControl1->tabBar(),
        SplitPageButton};
    for (QWidget *w : commands) {
        w->setEnabled(!running);
    }
    ui->SpeedButton14->setVisible(!running);
    ui->SpeedButtonStop->setVisible(running);
}

void TFrm_main::StopClick()
{
    stopRequested_ = true;
}

void TFrm_main::SpeedButton24Click()
{
    QTreeWidget *list = ui->ListView2;
    if (list->topLevelItemCount() == 0 || running_) {
        return;
    }
    TPartJob job;
    job.Input = ToPath(ui->Edit8->text() + ui->Edit7->text());
    job.Folder = ToPath(ui->Edit10->text());
    job.BaseName = ToPath(ui->Edit9->text()).string();
    job.Tag.Title = ToTagText(ui->Edit2->text());
    job.Tag.Artist = ToTagText(ui->Edit3->text());
    job.Tag.Album = ToTagText(ui->Edit4->text());
    job.Tag.Year = ToTagText(ui->Edit5->text());
    job.Tag.Comment = ToTagText(ui->Edit6->text());
    job.Tag.GenreID =
        ui->ComboBox1->currentIndex() >= 0 ? uint8_t(ui->ComboBox1->currentIndex()) : 255;
    const int last = list->topLevelItemCount() - 1;
    for (int i = 0; i <= last; ++i) {
        const QTreeWidgetItem *row = list->topLevelItem(i);
        if (row->checkState(0) != Qt::Checked) {
            continue; // an unticked row is not written
        }
        TPartSegment segment;
        segment.StartMs = EntryMs(row->text(0));
        // The last row runs to the end of the audio, wherever the player put the file's end.
        segment.EndMs = i == last ? std::numeric_limits<int64_t>::max() : EntryMs(row->text(1));
        if (HasOwnTag(row)) {
            TPartTag own;
            own.Title = ToTagText(SubItem(row, 2));
            own.Artist = ToTagText(SubItem(row, 3));
            own.Album = ToTagText(SubItem(row, 4));
            own.GenreID = GenreNumber(SubItem(row, 5));
            own.Year = ToTagText(SubItem(row, 6));
            own.Comment = ToTagText(SubItem(row, 7));
            segment.Tag = own;
        }
        job.Segments.push_back(segment);
    }
    if (job.Segments.empty()) {
        TDialogs::Current().Message(this, MsgNoRows);
        return;
    }

    ui->ProgressBar2->setMaximum(int(job.Segments.size()) + 1);
    ui->ProgressBar2->setValue(0);
    stopRequested_ = false;
    SetRunning(true);
    TWriteResult result;
    try {
        result = WriteParts(job, [this](size_t done, size_t) {
            ui->ProgressBar2->setValue(int(done));
            QCoreApplication::processEvents(); // the bar repaints and "停止" can be pressed
            return !stopRequested_;
        });
    } catch (...) {
        SetRunning(false);
        throw;
    }
    SetRunning(false);
    switch (result.Outcome) {
    case TWriteOutcome::NoAudio:
        TDialogs::Current().Message(this, MsgNoFrame);
        return;
    case TWriteOutcome::TargetBusy:
        TDialogs::Current().Message(this, MsgBusy);
        return;
    case TWriteOutcome::Stopped:
        return;
    case TWriteOutcome::Done:
        break;
    }
    MediaPlayer1.FileName = job.Input.string();
    MediaPlayer1.Open();
    ui->ProgressBar2->setValue(ui->ProgressBar2->maximum());
    TDialogs::Current().Message(this, MsgDone);
}

// --- The wizard and the file's information -----------------------------------------------

void TFrm_main::SpeedButton11Click()
{
    const QString f = TDialogs::Current().OpenFileName(this, "MP3 (*.mp3)");
    if (!f.isEmpty()) {
        OpenSplitInput(f);
    }
}

void TFrm_main::OpenSplitInput(const QString &path)
{
    const QString f = QDir::toNativeSeparators(path);
    const int slash = f.lastIndexOf(QDir::separator());
    ui->Edit7->setText(f.mid(slash + 1));
    ui->Edit8->setText(f.left(slash + 1));
    ui->Edit9->setText(ui->Edit7->text().chopped(std::min<qsizetype>(4, ui->Edit7->text().size())));

    TMPEGAFHdr hdr;
    if (!ReadFileInfo(f, hdr)) {
        return;
    }
    ui->Memo1->setPlainText(QString("MPEG版本:%1\n压缩层次:%2\n位率(kbps):%3\n采样频率(HZ):%4\n"
                                    "帧长度(字节):%5\n帧数:%6")
                                .arg(hdr.MPEGVersion)
                                .arg(hdr.Layer)
                                .arg(hdr.Bitrate)
                                .arg(hdr.SampleRate)
                                .arg(hdr.FrameLength)
                                .arg(hdr.FrameCount));
    filebitrate = hdr.Bitrate;
    ui->Label14->setText("00:00.000");
    ui->TrackBar1->ShowWhole(Seconds(hdr.Duration));
    ui->ListView2->clear();
    OpenInPlayer(f);
    QTreeWidgetItem *row = AddRow("00:00.000", DisplayText(filelength));
    ui->ListView2->setCurrentItem(row);
}

void TFrm_main::SpeedButton13Click()
{
    ui->GroupBoxmain->raise();
    ui->SpeedButton14->setText("下一步");
}

void TFrm_main::SpeedButton14Click()
{
    if (ui->Edit7->text().isEmpty()) {
        return;
    }
    if (ui->SpeedButton14->text() == "下一步") {
        ui->GroupBoxfile->raise();
        if (ui->RadioButton1->isChecked()) {
            ui->GroupBoxadv->raise();
        } else if (ui->RadioButton2->isChecked()) {
            ui->GroupBoxtime->raise();
        } else {
            ui->GroupBoxsize->raise();
        }
        ui->SpeedButton14->setText("开始");
        return;
    }
    if (!ui->RadioButton1->isChecked() && !PlanWholeFile()) {
        return;
    }
    SpeedButton24Click();
}

void TFrm_main::SpeedButton17Click()
{
    MediaPlayer1.Pause();
}

void TFrm_main::SpeedButton18Click()
{
    if (ui->ListView2->topLevelItemCount() >= 1) {
        MediaPlayer1.Play();
        Timer1Tag = 1;
        Timer1.start();
    }
}

void TFrm_main::SpeedButton19Click()
{
    const QTreeWidgetItem *row = ui->ListView2->currentItem();
    if (row == nullptr || !row->isSelected()) {
        return;
    }
    const int64_t from = int64_t(ui->TrackBar1->SelStart()) * 1000;
    MediaPlayer1.SetPosition(from);
    MediaPlayer1.SetStartPos(from);
    MediaPlayer1.SetEndPos(int64_t(ui->TrackBar1->SelEnd()) * 1000);
    MediaPlayer1.Play();
    Timer1.start();
}

void TFrm_main::SpinEdit1Change()
{
    if (MediaPlayer1.IsOpen()) {
        MediaPlayer1.SetPosition(
            FieldsToMs(ui->SpinEdit1->Value(), ui->SpinEdit2->Value(), ui->SpinEdit3->Value()));
    }
}

void TFrm_main::SpeedButton25Click()
{
    const QString folder = TDialogs::Current().ExistingDirectory(this, "选择存放目录");
    if (!folder.isEmpty()) {
        ui->Edit10->setText(QDir::toNativeSeparators(folder));
    }
}
