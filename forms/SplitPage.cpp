#include "SplitPage.h"

#include "Access.h"
#include "Dialogs.h"
#include "MediaPlayer.h"
#include "Messages.h"
#include "Paths.h"
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

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <initializer_list>

using namespace mp3core;

namespace {

// The wizard's step is its button's caption.
const QString NextCaption = "下一步(&N)";
const QString StartCaption = "开始(&G)";

} // namespace

TSplitPage::TSplitPage(QWidget *parent) : QWidget(parent), ui(new Ui::TSplitPage)
{
    ui->setupUi(this);
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(50);
    connect(progressTimer_, &QTimer::timeout, this, &TSplitPage::ShowProgress);
    ConnectControls();
    SetUpKeyboard();
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
    ui->ComboBox1->setCurrentIndex(-1); // no file, no genre
    view_ = new TSegmentView(ui->ListView2, list_);
    // The step groups lie on top of one another: the one in front must hide the others.
    for (QGroupBox *group : {ui->GroupBoxmain, ui->GroupBoxadv, ui->GroupBoxtime, ui->GroupBoxsize,
                             ui->GroupBoxsilence, ui->GroupBoxfile}) {
        group->setAutoFillBackground(true);
    }
    ShowStep({ui->GroupBoxmain});
    ui->SpeedButtonStop->hide();

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

void TSplitPage::MakeListMenu()
{
    auto *menu = new QMenu(this);
    menu->setObjectName("PopupMenu1");
    auto addAction = [&](const char *name, const QString &text, void (TSplitPage::*slot)()) {
        QAction *a = menu->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QAction *remove = addAction("N1", "删除", &TSplitPage::N1Click);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    ui->ListView2->addAction(remove); // Delete in the list removes its selected row
    addAction("N2", "全部删除", &TSplitPage::N2Click);
    menu->addSeparator();
    addAction("N3", "细分...", &TSplitPage::N3Click);
    addAction("N4", "标签...", &TSplitPage::N4Click);
    menu->addSeparator();
    addAction("N5", "导入CUE...", &TSplitPage::N5Click);
    connect(ui->ListView2, &QWidget::customContextMenuRequested, this, [this, menu](QPoint at) {
        menu->findChild<QAction *>("N4")->setEnabled(view_->Selected().has_value());
        menu->findChild<QAction *>("N5")->setEnabled(list_.Count() > 0);
        menu->popup(ui->ListView2->viewport()->mapToGlobal(at));
    });
}

void TSplitPage::SetUpKeyboard()
{
    ui->Label13->setBuddy(ui->Edit9);
    ui->Label39->setBuddy(ui->SpeedButton25); // its access key opens the folder picker
    SetTabOrder({                             // step 1
                 ui->Edit7, ui->Edit8, ui->SpeedButton11, ui->Edit2, ui->Edit5, ui->Edit3,
                 ui->ComboBox1, ui->Edit4, ui->Edit6, ui->Memo1, ui->RadioButton1, ui->RadioButton2,
                 ui->RadioButton4, ui->RadioButton3,
                 // step 2: the method's group, then the output's
                 ui->ListView2, ui->SpeedButton23, ui->TrackBar1, ui->SpeedButton17,
                 ui->SpeedButton18, ui->SpinEdit1, ui->SpinEdit2, ui->SpinEdit3, ui->SpeedButton12,
                 ui->SpeedButton19, ui->SpinEdit4, ui->SpinEdit15, ui->SpinEdit5, ui->SpinEdit12,
                 ui->SpinEdit13, ui->SpinEdit14, ui->CheckBox2, ui->Edit9, ui->Edit10,
                 ui->SpeedButton25,
                 // below the steps
                 ui->SpeedButton13, ui->SpeedButton14, ui->SpeedButtonStop});
    NameButtons(*this);
    NameControls({{ui->Edit7, PlainText(ui->Label4->text())},
                  {ui->Edit8, "MP3文件所在文件夹"},
                  {ui->Edit2, ui->Label29->text()},
                  {ui->Edit3, ui->Label30->text()},
                  {ui->Edit4, ui->Label31->text()},
                  {ui->Edit5, ui->Label32->text()},
                  {ui->ComboBox1, ui->Label33->text()},
                  {ui->Edit6, ui->Label34->text()},
                  {ui->Memo1, ui->GroupBox6->title()},
                  {ui->ListView2, "片段列表"},
                  {ui->TrackBar1, "播放位置"},
                  {ui->SpinEdit1, "时间 分"},
                  {ui->SpinEdit2, "时间 秒"},
                  {ui->SpinEdit3, "时间 毫秒"},
                  {ui->SpinEdit4, PlainText(ui->Label1->text())},
                  {ui->SpinEdit15, PlainText(ui->Label38->text())},
                  {ui->SpinEdit5, PlainText(ui->Label18->text())},
                  {ui->SpinEdit12, PlainText(ui->Label35->text())},
                  {ui->SpinEdit13, PlainText(ui->Label36->text())},
                  {ui->SpinEdit14, PlainText(ui->Label37->text())},
                  {ui->Edit9, PlainText(ui->Label13->text())},
                  {ui->Edit10, PlainText(ui->Label39->text())},
                  {ui->SpeedButton25, "选择存放目录"},
                  {ui->ProgressBar2, "进度"}});
    for (TSpinEdit *field : {ui->SpinEdit1, ui->SpinEdit2, ui->SpinEdit3}) {
        connect(field, &TSpinEdit::Entered, this, &TSplitPage::SpeedButton12Click);
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
    const TSegmentList::TAddResult r = list_.AddCut(t);
    if (r.What == TSegmentList::TAdd::Exists) {
        TDialogs::Current().Message(this, MsgExists);
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
    if (const std::optional<size_t> neighbour = list_.Remove(*row)) {
        view_->Show(neighbour);
    }
}

void TSplitPage::N2Click()
{
    if (view_->Selected() && list_.Count() > 1) {
        list_.RemoveAll();
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
    const QString f = TDialogs::Current().OpenFileName(this, "MP3 (*.mp3)");
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
    const int slash = f.lastIndexOf(QDir::separator());
    ui->Edit7->setText(f.mid(slash + 1));
    ui->Edit8->setText(f.left(slash + 1));
    ui->Edit9->setText(ui->Edit7->text().chopped(std::min<qsizetype>(4, ui->Edit7->text().size())));
    for (QLineEdit *field : {ui->Edit7, ui->Edit8, ui->Edit9}) {
        field->setCursorPosition(0); // the start of a long name shows
    }
    ui->ProgressBar2->setValue(0); // a new file: no run yet
    if (outcome.Status != TJobStatus::Done) {
        list_.Clear();
        view_->Show(std::nullopt);
        TDialogs::Current().Message(this, CutMessage(outcome));
        return;
    }
    TMPEGAFHdr &hdr = input.Hdr;
    QString info = FileInfoText(hdr);
    for (size_t k = 1; k < input.StreamCount(); ++k) {
        info += "\n格式改变处:" + QString::fromStdString(StreamChangeText(input, k));
    }
    ui->Memo1->setPlainText(info);
    filebitrate = hdr.Bitrate;
    ui->Label14->setText("00:00.000");
    // A file of several streams (the format changes mid-file) lasts them all.
    const int64_t length = input.LengthMs();
    ui->TrackBar1->ShowWhole(Seconds(length));
    if (player_ != nullptr) {
        player_->FileName = ToPath(f).string(); // it reads the whole file on its own thread
        player_->Open(hdr.PlayedSamples());     // the length the core counted, at once
    }
    ShowFile(length, std::min(length, input.LastCutMs()));
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
}

void TSplitPage::SpeedButton13Click()
{
    ShowStep({ui->GroupBoxmain});
    SetCaption(ui->SpeedButton14, NextCaption);
}

void TSplitPage::SpeedButton14Click()
{
    if (ui->Edit7->text().isEmpty()) {
        return;
    }
    if (ui->SpeedButton14->text() == NextCaption) {
        ShowStep({ui->GroupBoxfile, ui->RadioButton1->isChecked()   ? ui->GroupBoxadv
                                    : ui->RadioButton2->isChecked() ? ui->GroupBoxtime
                                    : ui->RadioButton3->isChecked() ? ui->GroupBoxsize
                                                                    : ui->GroupBoxsilence});
        ui->ProgressBar2->setValue(0); // the method may have changed since the last run
        SetCaption(ui->SpeedButton14, StartCaption);
        return;
    }
    if (ui->RadioButton1->isChecked()) {
        SpeedButton24Click();
        return;
    }
    PlanWholeFile([this] { SpeedButton24Click(); });
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
    const QString folder = TDialogs::Current().ExistingDirectory(this, "选择存放目录");
    if (!folder.isEmpty()) {
        ui->Edit10->setText(QDir::toNativeSeparators(folder));
    }
}
