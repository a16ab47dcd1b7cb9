#include "SplitPage.h"

#include "Access.h"
#include "Dialogs.h"
#include "LevelRow.h"
#include "MediaPlayer.h"
#include "Messages.h"
#include "Paths.h"
#include "Recent.h"
#include "SegmentView.h"
#include "Shared.h"
#include "Unit_addspecial.h"
#include "Unit_info.h"
#include "jobs/SplitJob.h"
#include "plan/SilenceScan.h"
#include "plan/SplitPlan.h"
#include "plan/TimeText.h"
#include "tags/MP3TAG.h"
#include "ui_SplitPage.h"
#include "widgets/WaveView.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <algorithm>
#include <initializer_list>

using namespace mp3core;

namespace {

// The wizard's step is its button's caption.
const char *const NextCaption = QT_TRANSLATE_NOOP("mp3cutter", "下一步(&N)");
const char *const StartCaption = QT_TRANSLATE_NOOP("mp3cutter", "开始(&G)");
const QString OutputFolderKey = "split/outputFolder";

} // namespace

TSplitPage::TSplitPage(QWidget *parent) : QWidget(parent), ui(new Ui::TSplitPage)
{
    ui->setupUi(this);
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(50);
    connect(progressTimer_, &QTimer::timeout, this, &TSplitPage::ShowProgress);
    ConnectControls();
    RememberChoices();
    SetUpWaveform();
    SetUpKeyboard();
}

TSplitPage::~TSplitPage()
{
    delete ui;
}

void TSplitPage::ConnectControls()
{
    // The output folder of the last run, while it is there; else the home folder.
    const QString folder = WindowSettings().value(OutputFolderKey).toString();
    ui->Edit10->setText(QDir::toNativeSeparators(
        !folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath()));
    for (const std::string_view name : GenreNames) {
        ui->ComboBox1->addItem(QString::fromLatin1(name.data(), qsizetype(name.size())));
    }
    ui->ComboBox1->setCurrentIndex(-1); // no file, no genre
    view_ = new TSegmentView(ui->ListView2, list_);
    // The step groups lie on top of one another: the one in front must hide the others.
    for (QGroupBox *group : {ui->GroupBoxmain, ui->GroupBoxadv, ui->GroupBoxtime, ui->GroupBoxsize,
                             ui->GroupBoxsilence, ui->GroupBoxfile}) {
        group->setAutoFillBackground(true);
    }
    ShowStep({ui->GroupBoxmain});
    ui->SpeedButtonStop->hide();
    // "写入章节" beside "开始", while "开始" is there.
    chaptersButton_ = new QPushButton(Tr("写入章节(&J)"), ui->SpeedButton14->parentWidget());
    chaptersButton_->setObjectName("SpeedButtonChapters");
    chaptersButton_->setGeometry(
        ui->SpeedButton14->geometry().translated(96, 0).adjusted(0, 0, 30, 0));
    connect(chaptersButton_, &QPushButton::clicked, this, &TSplitPage::ChaptersClick);
    ShowChaptersButton();

    MakeListMenu();
    connect(ui->ListView2, &QTreeWidget::itemSelectionChanged, this,
            &TSplitPage::ListView2SelectItem);
    connect(ui->ListView2, &QTreeWidget::itemDoubleClicked, this, &TSplitPage::ListView2DblClick);
    using THandler = void (TSplitPage::*)();
    const std::pair<QPushButton *, THandler> buttons[] = {
        {ui->SpeedButton11, &TSplitPage::SpeedButton11Click},
        {ui->SpeedButton12, &TSplitPage::SpeedButton12Click},
        {ui->SpeedButton13, &TSplitPage::SpeedButton13Click},
        {ui->SpeedButton14, &TSplitPage::SpeedButton14Click},
        {ui->SpeedButton15, &TSplitPage::SpeedButton15Click},
        {ui->SpeedButton17, &TSplitPage::SpeedButton17Click},
        {ui->SpeedButton18, &TSplitPage::SpeedButton18Click},
        {ui->SpeedButton19, &TSplitPage::SpeedButton19Click},
        {ui->SpeedButton23, &TSplitPage::SpeedButton23Click},
        {ui->SpeedButton24, &TSplitPage::SpeedButton24Click},
        {ui->SpeedButton25, &TSplitPage::SpeedButton25Click},
        {ui->SpeedButtonStop, &TSplitPage::StopClick}};
    for (const auto &[button, handler] : buttons) {
        connect(button, &QPushButton::clicked, this, handler);
    }
    connect(ui->TrackBar1, &TTrackBar::Moved, this, &TSplitPage::TrackBar1Change);
    for (TSpinEdit *f :
         {ui->SpinEdit1, ui->SpinEdit2, ui->SpinEdit3, ui->SpinEdit4, ui->SpinEdit5}) {
        connect(f, &TSpinEdit::Changed, this, &TSplitPage::SpinEdit1Change);
    }
}

QWidget *TSplitPage::FirstControl() const
{
    return ui->Edit7;
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
        connect(addspecial, &Tfrm_addspecial::PlannedBySize, this, &TSplitPage::PlanBySize);
    }
}

// --- The view over the list ------------------------------------------------------------------

void TSplitPage::ShowFile(int64_t lengthMs, std::optional<int64_t> lastCutMs)
{
    filelength = lengthMs;
    lastCut = lastCutMs;
    list_.Reset(lengthMs, lastCutMs);
    undo_.clear(); // another file: nothing to undo
    redo_.clear();
    view_->Show(0);
}

void TSplitPage::ShowTag(const TPartTag &tag)
{
    PageFields().Show(tag);
}

TTagFields TSplitPage::PageFields() const
{
    return {ui->Edit2, ui->Edit3, ui->Edit4, ui->Edit5, ui->ComboBox1, ui->Edit6};
}

TPartTag TSplitPage::PageTag() const
{
    return PageFields().Texts();
}

// --- The segment list ------------------------------------------------------------------------

void TSplitPage::additem(int64_t t)
{
    const std::vector<TSegment> before = list_.Rows();
    const TSegmentList::TAddResult r = list_.AddCut(t);
    Undoable(before);
    if (r.What == TSegmentList::TAdd::Exists) {
        TDialogs::Current().Message(this, MsgExists());
    } else if (r.What == TSegmentList::TAdd::Added) {
        view_->Show(r.Row);
    }
}

void TSplitPage::N1Click()
{
    const std::optional<size_t> row = view_->Selected();
    if (!row) {
        return;
    }
    const std::vector<TSegment> before = list_.Rows();
    if (const std::optional<size_t> neighbour = list_.Remove(*row)) {
        Undoable(before);
        view_->Show(neighbour);
    }
}

void TSplitPage::N2Click()
{
    if (view_->Selected() && list_.Count() > 1) {
        const std::vector<TSegment> before = list_.Rows();
        list_.RemoveAll();
        Undoable(before);
        view_->Show(0);
    }
}

void TSplitPage::N3Click()
{
    if (frmAddspecial_ == nullptr) {
        return;
    }
    std::optional<std::pair<int64_t, int64_t>> selected;
    if (const std::optional<size_t> row = view_->Selected()) {
        selected = {list_[*row].StartMs, list_[*row].EndMs};
    }
    frmAddspecial_->SetRanges(filelength, selected);
    frmAddspecial_->show();
    frmAddspecial_->raise();
}

void TSplitPage::N4Click()
{
    ListView2DblClick();
}

void TSplitPage::ListView2SelectItem()
{
    const std::optional<size_t> row = view_->Selected();
    if (!row || (player_ != nullptr && player_->Mode() == TMediaPlayer::mpPlaying)) {
        return;
    }
    ui->TrackBar1->SetSelStart(Seconds(list_[*row].StartMs));
    ui->TrackBar1->SetSelEnd(Seconds(list_[*row].EndMs));
}

void TSplitPage::ListView2DblClick()
{
    const std::optional<size_t> row = view_->Selected();
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
        // The dialog shows no album artist: the row's stays.
        TPartTag texts = tag;
        if (const std::optional<TPartTag> &old = list_[*taggedRow_].Tag) {
            texts.AlbumArtist = old->AlbumArtist;
        }
        list_.SetTag(*taggedRow_, texts);
        view_->Show(taggedRow_);
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

// --- The wizard and the file's information -----------------------------------------------

void TSplitPage::SpeedButton11Click()
{
    const QString f = TDialogs::Current().OpenFileName(this, "MP3 (*.mp3)", LastInputFolder());
    if (!f.isEmpty()) {
        OpenSplitInput(f);
    }
}

void TSplitPage::OpenSplitInput(const QString &path)
{
    const QString f = QDir::toNativeSeparators(path);
    TSource input;
    TJobOutcome outcome;
    {
        const TWaitCursor busy; // a VBR file without a Xing frame is walked to its end
        if (OpenJobInput(ToPath(f), input, outcome)) {
            ShowTag(ReadSourceTexts(input));
        }
    }
    if (outcome.Status == TJobStatus::InputUnreadable) {
        // A folder, a file that cannot be read: the page keeps the file it had.
        TDialogs::Current().Message(this, CutMessage(outcome));
        return;
    }
    AddRecentFile(f);
    const int slash = f.lastIndexOf(QDir::separator());
    ui->Edit7->setText(f.mid(slash + 1));
    ui->Edit8->setText(f.left(slash + 1));
    ui->Edit9->setText(ui->Edit7->text().chopped(std::min<qsizetype>(4, ui->Edit7->text().size())));
    for (QLineEdit *field : {ui->Edit7, ui->Edit8, ui->Edit9}) {
        field->setCursorPosition(0); // the start of a long name shows
    }
    ui->ProgressBar2->setValue(0); // a new file: no run yet, the player at its start
    ui->Label40->clear();
    ShowPosition(0);
    if (outcome.Status != TJobStatus::Done) {
        list_.Clear();
        view_->Show(std::nullopt);
        TDialogs::Current().Message(this, CutMessage(outcome));
        return;
    }
    TMPEGAFHdr &hdr = input.Hdr;
    QString info = FileInfoText(hdr) + "\n" + Tr("长度:%1").arg(DisplayText(input.LengthMs()));
    for (size_t k = 1; k < input.StreamCount(); ++k) {
        info += "\n" + Tr("格式改变处:%1").arg(QString::fromStdString(StreamChangeText(input, k)));
    }
    ui->Memo1->setPlainText(info);
    filebitrate = hdr.Bitrate;
    // A file of several streams (the format changes mid-file) lasts them all.
    const int64_t length = input.LengthMs();
    ui->TrackBar1->ShowWhole(Seconds(length));
    if (player_ != nullptr) {
        player_->FileName = ToPath(f).string(); // it reads the whole file on its own thread
        player_->Open(hdr.PlayedSamples());     // the length the core counted, at once
    }
    ShowFile(length, std::min(length, input.LastCutMs()));
    wave_->SetLength(length, hdr.SamplesPerFrame * 1000 / std::max(1, hdr.SampleRate));
    RefreshWave();
    wave_->Load(ToPath(f));
}

void TSplitPage::ShowStep(std::initializer_list<QGroupBox *> front)
{
    // Only the groups of the step in front show: the others would still be reached by Tab and
    // by a screen reader behind them.
    for (QGroupBox *group : {ui->GroupBoxmain, ui->GroupBoxadv, ui->GroupBoxtime, ui->GroupBoxsize,
                             ui->GroupBoxsilence, ui->GroupBoxfile}) {
        group->setVisible(std::find(front.begin(), front.end(), group) != front.end());
    }
    for (QGroupBox *group : front) {
        group->raise();
    }
    if (wave_ != nullptr) {
        wave_->setVisible(ui->GroupBoxadv->isVisibleTo(this));
        snapBox_->setVisible(wave_->isVisibleTo(this));
        levelRow_->setVisible(ui->GroupBoxfile->isVisibleTo(this));
    }
}

void TSplitPage::SpeedButton13Click()
{
    ShowStep({ui->GroupBoxmain});
    SetCaption(ui->SpeedButton14, Tr(NextCaption));
    ShowChaptersButton();
}

void TSplitPage::ShowChaptersButton()
{
    chaptersButton_->setVisible(!running_ && ui->SpeedButton14->text() == Tr(StartCaption));
}

void TSplitPage::SpeedButton14Click()
{
    if (ui->Edit7->text().isEmpty()) {
        TDialogs::Current().Message(this, MsgNoInput());
        return;
    }
    if (ui->SpeedButton14->text() == Tr(NextCaption)) {
        ShowStep({ui->GroupBoxfile, ui->RadioButton1->isChecked()   ? ui->GroupBoxadv
                                    : ui->RadioButton2->isChecked() ? ui->GroupBoxtime
                                    : ui->RadioButton3->isChecked() ? ui->GroupBoxsize
                                                                    : ui->GroupBoxsilence});
        ui->ProgressBar2->setValue(0); // the method may have changed since the last run
        SetCaption(ui->SpeedButton14, Tr(StartCaption));
        ShowChaptersButton();
        return;
    }
    WithRows([this] { SpeedButton24Click(); });
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
    if (!view_->Selected() || player_ == nullptr) {
        return;
    }
    const int64_t from = int64_t(ui->TrackBar1->SelStart()) * 1000;
    player_->SetPosition(from);
    player_->SetStartPos(from);
    player_->SetEndPos(int64_t(ui->TrackBar1->SelEnd()) * 1000);
    player_->Play();
    emit PlayStarted();
}

void TSplitPage::PlayOrPause()
{
    if (player_ != nullptr && player_->Mode() == TMediaPlayer::mpPlaying) {
        SpeedButton17Click();
    } else {
        SpeedButton18Click();
    }
}

void TSplitPage::ShowPosition(int64_t ms)
{
    ui->Label14->setText(DisplayText(ms));
    ui->TrackBar1->setValue(Seconds(ms));
    wave_->SetPosition(ms);
}

bool TSplitPage::BarHeld() const
{
    return ui->TrackBar1->isSliderDown();
}

void TSplitPage::TrackBar1Change(int second)
{
    if (player_ != nullptr) {
        SeekFromBar(*player_, second);
    }
}

void TSplitPage::SpinEdit1Change()
{
    if (player_ != nullptr && player_->IsOpen()) {
        const int64_t ms =
            FieldsToMs(ui->SpinEdit1->Value(), ui->SpinEdit2->Value(), ui->SpinEdit3->Value());
        player_->SetPosition(ms);
        ShowPosition(player_->Position()); // the display follows the typed time
    }
}

void TSplitPage::SpeedButton25Click()
{
    const QString folder =
        TDialogs::Current().ExistingDirectory(this, Tr("选择存放目录"), ui->Edit10->text());
    if (!folder.isEmpty()) {
        ui->Edit10->setText(QDir::toNativeSeparators(folder));
        WindowSettings().setValue(OutputFolderKey, ui->Edit10->text());
    }
}
