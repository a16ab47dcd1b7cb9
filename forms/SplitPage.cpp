#include "SplitPage.h"

#include "Dialogs.h"
#include "MP3TAG.h"
#include "MediaPlayer.h"
#include "Messages.h"
#include "Paths.h"
#include "Shared.h"
#include "SplitJob.h"
#include "SplitPlan.h"
#include "TimeText.h"
#include "Unit_addspecial.h"
#include "Unit_info.h"
#include "ui_SplitPage.h"

#include <QCoreApplication>
#include <QDir>
#include <QMenu>

TSplitPage::TSplitPage(QWidget *parent) : QWidget(parent), ui(new Ui::TSplitPage)
{
    ui->setupUi(this);
    ConnectControls();
}

TSplitPage::~TSplitPage()
{
    delete ui;
}

void TSplitPage::ConnectControls()
{
    ui->Edit10->setText(QDir::toNativeSeparators(QDir::homePath()));
    for (const std::string_view name : GenreNames) {
        ui->ComboBox1->addItem(QString::fromLatin1(name.data(), qsizetype(name.size())));
    }
    ui->ListView2->setSelectionMode(QAbstractItemView::SingleSelection);
    ui->ListView2->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui->ListView2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // 70 pixels a column, the first a little wider for its check box.
    ui->ListView2->setColumnWidth(0, 84);
    ui->ListView2->setColumnWidth(1, 63);
    ui->ListView2->setColumnWidth(2, 63);
    // The step groups lie on top of one another: the one in front must hide the others.
    for (QGroupBox *group : {ui->GroupBoxmain, ui->GroupBoxadv, ui->GroupBoxtime,
                             ui->GroupBoxsize, ui->GroupBoxfile}) {
        group->setAutoFillBackground(true);
    }
    ui->SpeedButtonStop->hide();

    auto *menu = new QMenu(this);
    menu->setObjectName("PopupMenu1");
    auto addAction = [&](const char *name, const QString &text, void (TSplitPage::*slot)()) {
        QAction *a = menu->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    addAction("N1", "删除", &TSplitPage::N1Click);
    addAction("N2", "全部删除", &TSplitPage::N2Click);
    menu->addSeparator();
    addAction("N3", "细分...", &TSplitPage::N3Click);
    addAction("N4", "标签...", &TSplitPage::N4Click);
    connect(ui->ListView2, &QWidget::customContextMenuRequested, this, [this, menu](QPoint at) {
        menu->findChild<QAction *>("N4")->setEnabled(SelectedRow().has_value());
        menu->popup(ui->ListView2->viewport()->mapToGlobal(at));
    });

    connect(ui->ListView2, &QTreeWidget::itemSelectionChanged, this,
            &TSplitPage::ListView2SelectItem);
    connect(ui->ListView2, &QTreeWidget::itemDoubleClicked, this, &TSplitPage::ListView2DblClick);
    // A tick set in the view is the list's.
    connect(ui->ListView2, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item) {
        const int row = ui->ListView2->indexOfTopLevelItem(item);
        if (!showing_ && row >= 0 && size_t(row) < list_.Count()) {
            list_.SetTicked(size_t(row), item->checkState(0) == Qt::Checked);
        }
    });
    connect(ui->SpeedButton11, &QPushButton::clicked, this, &TSplitPage::SpeedButton11Click);
    connect(ui->SpeedButton12, &QPushButton::clicked, this, &TSplitPage::SpeedButton12Click);
    connect(ui->SpeedButton13, &QPushButton::clicked, this, &TSplitPage::SpeedButton13Click);
    connect(ui->SpeedButton14, &QPushButton::clicked, this, &TSplitPage::SpeedButton14Click);
    connect(ui->SpeedButton15, &QPushButton::clicked, this, &TSplitPage::SpeedButton15Click);
    connect(ui->SpeedButton17, &QPushButton::clicked, this, &TSplitPage::SpeedButton17Click);
    connect(ui->SpeedButton18, &QPushButton::clicked, this, &TSplitPage::SpeedButton18Click);
    connect(ui->SpeedButton19, &QPushButton::clicked, this, &TSplitPage::SpeedButton19Click);
    connect(ui->SpeedButton23, &QPushButton::clicked, this, &TSplitPage::SpeedButton23Click);
    connect(ui->SpeedButton24, &QPushButton::clicked, this, &TSplitPage::SpeedButton24Click);
    connect(ui->SpeedButton25, &QPushButton::clicked, this, &TSplitPage::SpeedButton25Click);
    connect(ui->SpeedButtonStop, &QPushButton::clicked, this, &TSplitPage::StopClick);
    connect(ui->TrackBar1, &QSlider::valueChanged, this, &TSplitPage::TrackBar1Change);
    for (TSpinEdit *f :
         {ui->SpinEdit1, ui->SpinEdit2, ui->SpinEdit3, ui->SpinEdit4, ui->SpinEdit5}) {
        connect(f, &TSpinEdit::Changed, this, &TSplitPage::SpinEdit1Change);
    }
}

void TSplitPage::SetDialogs(Tfrm_info *info, Tfrm_addspecial *addspecial)
{
    frmInfo_ = info;
    frmAddspecial_ = addspecial;
    if (info != nullptr) {
        connect(info, &Tfrm_info::Stored, this, &TSplitPage::StoreTag);
    }
    if (addspecial != nullptr) {
        connect(addspecial, &Tfrm_addspecial::Planned, this, &TSplitPage::Plan);
    }
}

// --- The view over the list ------------------------------------------------------------------

void TSplitPage::ShowRows(std::optional<size_t> current)
{
    showing_ = true;
    QTreeWidget *view = ui->ListView2;
    view->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(qsizetype(list_.Count()));
    for (const TSegment &s : list_.Rows()) {
        auto *item = new QTreeWidgetItem;
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, s.Ticked ? Qt::Checked : Qt::Unchecked);
        item->setText(0, DisplayText(s.StartMs));
        item->setText(1, DisplayText(s.EndMs));
        item->setText(2, DisplayText(s.EndMs - s.StartMs));
        items.append(item);
    }
    view->addTopLevelItems(items);
    showing_ = false;
    if (current && *current < list_.Count()) {
        view->setCurrentItem(view->topLevelItem(int(*current)));
    }
}

std::optional<size_t> TSplitPage::SelectedRow() const
{
    QTreeWidgetItem *item = ui->ListView2->currentItem();
    if (item == nullptr || !item->isSelected()) {
        return std::nullopt;
    }
    const int row = ui->ListView2->indexOfTopLevelItem(item);
    if (row < 0 || size_t(row) >= list_.Count()) {
        return std::nullopt;
    }
    return size_t(row);
}

void TSplitPage::ShowFile(int64_t lengthMs)
{
    filelength = lengthMs;
    list_.Reset(lengthMs);
    ShowRows(0);
}

void TSplitPage::ShowTag(const TID3Tag &tag)
{
    ui->Edit2->setText(FromTagText(tag.Title));
    ui->Edit3->setText(FromTagText(tag.Artist));
    ui->Edit4->setText(FromTagText(tag.Album));
    ui->Edit5->setText(FromTagText(tag.Year));
    ui->Edit6->setText(FromTagText(tag.Comment));
    // A genre number past the table names no entry: the list then shows none.
    ui->ComboBox1->setCurrentIndex(tag.GenreID < GenreNames.size() ? int(tag.GenreID) : -1);
}

TPartTag TSplitPage::PageTag() const
{
    TPartTag tag;
    tag.Title = ToTagText(ui->Edit2->text());
    tag.Artist = ToTagText(ui->Edit3->text());
    tag.Album = ToTagText(ui->Edit4->text());
    tag.Year = ToTagText(ui->Edit5->text());
    tag.Comment = ToTagText(ui->Edit6->text());
    tag.GenreID =
        ui->ComboBox1->currentIndex() >= 0 ? uint8_t(ui->ComboBox1->currentIndex()) : 255;
    return tag;
}

// --- The segment list ------------------------------------------------------------------------

void TSplitPage::additem(int64_t t)
{
    const TSegmentList::TAddResult r = list_.AddCut(t);
    if (r.What == TSegmentList::TAdd::Exists) {
        TDialogs::Current().Message(this, MsgExists);
    } else if (r.What == TSegmentList::TAdd::Added) {
        ShowRows(r.Row);
    }
}

void TSplitPage::N1Click()
{
    const std::optional<size_t> row = SelectedRow();
    if (!row) {
        return;
    }
    if (const std::optional<size_t> neighbour = list_.Remove(*row)) {
        ShowRows(neighbour);
    }
}

void TSplitPage::N2Click()
{
    if (SelectedRow() && list_.Count() > 1) {
        list_.RemoveAll();
        ShowRows(0);
    }
}

void TSplitPage::N3Click()
{
    if (frmAddspecial_ == nullptr) {
        return;
    }
    std::optional<std::pair<int64_t, int64_t>> selected;
    if (const std::optional<size_t> row = SelectedRow()) {
        selected = {list_[*row].StartMs, list_[*row].EndMs};
    }
    frmAddspecial_->SetRanges(filelength, selected, filebitrate);
    frmAddspecial_->show();
    frmAddspecial_->raise();
}

void TSplitPage::N4Click()
{
    ListView2DblClick();
}

void TSplitPage::ListView2SelectItem()
{
    const std::optional<size_t> row = SelectedRow();
    if (!row || (player_ != nullptr && player_->Mode() == TMediaPlayer::mpPlaying)) {
        return;
    }
    ui->TrackBar1->SetSelStart(Seconds(list_[*row].StartMs));
    ui->TrackBar1->SetSelEnd(Seconds(list_[*row].EndMs));
}

void TSplitPage::ListView2DblClick()
{
    const std::optional<size_t> row = SelectedRow();
    if (row && frmInfo_ != nullptr) {
        taggedRow_ = row;
        frmInfo_->SetTexts(list_[*row].Tag ? *list_[*row].Tag : PageTag());
        frmInfo_->show();
        frmInfo_->raise();
    }
}

void TSplitPage::StoreTag(const TPartTag &tag)
{
    if (taggedRow_ && *taggedRow_ < list_.Count()) {
        list_.SetTag(*taggedRow_, tag);
    }
}

void TSplitPage::SpeedButton12Click()
{
    if (list_.Count() >= 1) {
        additem(FieldsToMs(ui->SpinEdit1->Value(), ui->SpinEdit2->Value(), ui->SpinEdit3->Value()));
    }
}

void TSplitPage::SpeedButton23Click()
{
    if (player_ != nullptr) {
        additem(player_->Position());
    }
}

// --- Planning and writing ------------------------------------------------------------------

void TSplitPage::Plan(int64_t from, int64_t to, int64_t step)
{
    const std::optional<size_t> row = SelectedRow();
    if (list_.Plan(from, to, step) > 0) {
        TDialogs::Current().Message(this, MsgExists);
    }
    ShowRows(row);
}

void TSplitPage::SpeedButton15Click()
{
    PlanWholeFile();
}

bool TSplitPage::PlanWholeFile()
{
    const std::optional<int64_t> step = ui->RadioButton3->isChecked()
                                            ? SizeStepMs(ui->SpinEdit5->Value(), filebitrate)
                                            : TimeStepMs(ui->SpinEdit4->Value());
    if (!step) {
        TDialogs::Current().Message(this, MsgBadStep);
        return false;
    }
    if (list_.Count() == 0) {
        return true; // no file yet
    }
    // A plan starts afresh: every planned part is ticked and has the page's texts.
    list_.Reset(filelength);
    list_.Plan(0, filelength, *step);
    ShowRows(0);
    return true;
}

void TSplitPage::SetRunning(bool running)
{
    running_ = running;
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->GroupBoxmain, ui->GroupBoxadv, ui->GroupBoxtime, ui->GroupBoxsize, ui->Edit9,
             ui->SpeedButton25, ui->SpeedButton13}) {
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
    const TSplitJob job = list_.Job(ToPath(ui->Edit8->text() + ui->Edit7->text()),
                                    ToPath(ui->Edit10->text()),
                                    ToPath(ui->Edit9->text()).string(), PageTag());
    if (job.Segments.empty()) {
        TDialogs::Current().Message(this, MsgNoRows);
        return;
    }
    const size_t total = job.Segments.size();
    ui->ProgressBar2->setMaximum(int(total) + 1);
    ui->ProgressBar2->setValue(0);
    stopRequested_ = false;
    SetRunning(true);
    const TJobOutcome outcome = RunSplit(job, [this](size_t done, size_t) {
        ui->ProgressBar2->setValue(int(done));
        QCoreApplication::processEvents(); // the bar repaints and "停止" can be pressed
        return !stopRequested_;
    });
    SetRunning(false);
    if (outcome.Status == TJobStatus::Done) {
        if (player_ != nullptr) {
            player_->FileName = job.Input.string();
            player_->Open();
        }
        ui->ProgressBar2->setValue(ui->ProgressBar2->maximum());
    }
    TDialogs::Current().Message(this, SplitMessage(outcome, total));
}

// --- The wizard and the file's information -----------------------------------------------

void TSplitPage::SpeedButton11Click()
{
    const QString f = TDialogs::Current().OpenFileName(this, "MP3 (*.mp3)");
    if (!f.isEmpty()) {
        OpenSplitInput(f);
    }
}

void TSplitPage::OpenSplitInput(const QString &path)
{
    const QString f = QDir::toNativeSeparators(path);
    const int slash = f.lastIndexOf(QDir::separator());
    ui->Edit7->setText(f.mid(slash + 1));
    ui->Edit8->setText(f.left(slash + 1));
    ui->Edit9->setText(ui->Edit7->text().chopped(std::min<qsizetype>(4, ui->Edit7->text().size())));

    TJobInput input;
    TJobOutcome outcome;
    {
        const TWaitCursor busy; // a VBR file without a Xing frame is walked to its end
        if (OpenJobInput(ToPath(f), input, outcome)) {
            TID3Tag tag;
            tag.ReadTag(*input.Stream);
            ShowTag(tag);
        }
    }
    if (outcome.Status != TJobStatus::Done) {
        list_.Clear();
        ShowRows(std::nullopt);
        TDialogs::Current().Message(this, CutMessage(outcome));
        return;
    }
    const TMPEGAFHdr &hdr = input.Hdr;
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
    if (player_ != nullptr) {
        const TWaitCursor busy; // the player reads the whole file for its exact length
        player_->FileName = ToPath(f).string();
        player_->Open();
    }
    ShowFile(hdr.Duration);
}

void TSplitPage::SpeedButton13Click()
{
    ui->GroupBoxmain->raise();
    ui->SpeedButton14->setText("下一步");
}

void TSplitPage::SpeedButton14Click()
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

void TSplitPage::SpeedButton17Click()
{
    if (player_ != nullptr) {
        player_->Pause();
    }
}

void TSplitPage::SpeedButton18Click()
{
    if (list_.Count() >= 1 && player_ != nullptr) {
        player_->Play();
        emit PlayStarted();
    }
}

void TSplitPage::SpeedButton19Click()
{
    if (!SelectedRow() || player_ == nullptr) {
        return;
    }
    const int64_t from = int64_t(ui->TrackBar1->SelStart()) * 1000;
    player_->SetPosition(from);
    player_->SetStartPos(from);
    player_->SetEndPos(int64_t(ui->TrackBar1->SelEnd()) * 1000);
    player_->Play();
    emit PlayStarted();
}

void TSplitPage::ShowPosition(int64_t ms)
{
    ui->Label14->setText(DisplayText(ms));
    ui->TrackBar1->setValue(Seconds(ms));
}

bool TSplitPage::BarHeld() const
{
    return ui->TrackBar1->hasFocus();
}

void TSplitPage::TrackBar1Change()
{
    if (player_ != nullptr) {
        SeekFromBar(*player_, *ui->TrackBar1);
    }
}

void TSplitPage::SpinEdit1Change()
{
    if (player_ != nullptr && player_->IsOpen()) {
        player_->SetPosition(
            FieldsToMs(ui->SpinEdit1->Value(), ui->SpinEdit2->Value(), ui->SpinEdit3->Value()));
    }
}

void TSplitPage::SpeedButton25Click()
{
    const QString folder = TDialogs::Current().ExistingDirectory(this, "选择存放目录");
    if (!folder.isEmpty()) {
        ui->Edit10->setText(QDir::toNativeSeparators(folder));
    }
}
