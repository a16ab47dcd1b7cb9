// The window frame, the player's display and the Cut page.
#include "Unit_main.h"

#include "Application.h"
#include "Dialogs.h"
#include "Errors.h"
#include "FileStream.h"
#include "MP3TAG.h"
#include "MPEGAFHdr.h"
#include "OutputFile.h"
#include "Paths.h"
#include "TimeText.h"
#include "ui_Unit_main.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMimeData>
#include <QProgressDialog>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTabBar>
#include <QToolButton>
#include <QUrl>

#include <limits>

namespace {

const QString Mp3Filter = "MP3 (*.mp3)";
const QString MsgEmptyRange = "剪切范围为空，请重新设置起点和终点！";

} // namespace

QString DisplayText(int64_t ms)
{
    return QString::fromStdString(FormatMs("nn:ss.zzz", ms));
}

QString FromTagText(const std::string &bytes)
{
    QStringDecoder decode("GB18030");
    return decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

std::string ToTagText(const QString &text)
{
    QStringEncoder encode("GB18030");
    const QByteArray bytes = encode(text);
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// Resources of a static library are registered by hand, outside any namespace.
static void InitFormsResources()
{
    Q_INIT_RESOURCE(forms);
}

TFrm_main::TFrm_main(QWidget *parent) : QWidget(parent), ui(new Ui::TFrm_main)
{
    InitFormsResources();
    ui->setupUi(this);
    setFixedSize(490, 317);
    setWindowIcon(QIcon(":/icon.svg"));
    setAcceptDrops(true);
    ui->ProgramIcon->setPixmap(QIcon(":/icon.svg").pixmap(128, 128));

    // The Split page has no tab of its own: a button in the tab row's corner opens it.
    ui->PageControl1->setTabVisible(1, false);
    SplitPageButton = new QToolButton(ui->PageControl1);
    SplitPageButton->setObjectName("SplitPageButton");
    SplitPageButton->setText("高级分割");
    SplitPageButton->setAutoRaise(true);
    SplitPageButton->setFocusPolicy(Qt::NoFocus);
    ui->PageControl1->setCornerWidget(SplitPageButton, Qt::TopRightCorner);
    connect(SplitPageButton, &QToolButton::clicked, this,
            [this] { ui->PageControl1->setCurrentIndex(1); });
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TFrm_main::PageControl1Change);

    ui->TrackBar2->setRange(0, 323424);
    ui->TrackBar2->SetSelStart(10);
    ui->TrackBar2->SetSelEnd(200000);
    ui->TrackBar1->setRange(0, 323424);
    ui->TrackBar1->SetSelStart(10);
    ui->TrackBar1->SetSelEnd(200000);

    // The position display follows the screen's pace; what it shows is read afresh each tick.
    Timer1.setInterval(15);
    connect(&Timer1, &QTimer::timeout, this, &TFrm_main::Timer1Timer);
    connect(ui->TrackBar1, &QSlider::valueChanged, this, &TFrm_main::TrackBar1Change);
    connect(ui->TrackBar2, &QSlider::valueChanged, this, &TFrm_main::TrackBar2Change);

    connect(ui->SpeedButton1, &QPushButton::clicked, this, &TFrm_main::SpeedButton1Click);
    connect(ui->SpeedButton2, &QPushButton::clicked, this, &TFrm_main::SpeedButton2Click);
    connect(ui->SpeedButton3, &QPushButton::clicked, this, &TFrm_main::SpeedButton3Click);
    connect(ui->SpeedButton4, &QPushButton::clicked, this, &TFrm_main::SpeedButton4Click);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TFrm_main::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &TFrm_main::BitBtn2Click);
    connect(ui->BitBtn3, &QPushButton::clicked, this, &TFrm_main::BitBtn3Click);
    connect(ui->BitBtn4, &QPushButton::clicked, this, &TFrm_main::BitBtn4Click);
    ConnectSplitPage();
    FormCreate();
}

TFrm_main::~TFrm_main()
{
    if (auto *app = qobject_cast<TApplication *>(QCoreApplication::instance())) {
        app->OnException = nullptr;
    }
    Timer1.stop();
    delete ui;
}

void TFrm_main::FormCreate()
{
    if (auto *app = qobject_cast<TApplication *>(QCoreApplication::instance())) {
        app->OnException = [this](const QString &message) { AppException(message); };
    }
    for (const std::string_view name : GenreNames) {
        ui->ComboBox1->addItem(QString::fromLatin1(name.data(), qsizetype(name.size())));
    }
}

void TFrm_main::SetDialogs(Tfrm_info *info, Tfrm_addspecial *addspecial)
{
    frmInfo_ = info;
    frmAddspecial_ = addspecial;
}

void TFrm_main::AppException(const QString &message)
{
    if (message.contains("Access", Qt::CaseSensitive)) {
        return;
    }
    TDialogs::Current().Message(this, message);
}

void TFrm_main::OpenFile(const QString &path)
{
    if (ui->PageControl1->currentIndex() == 1) {
        OpenSplitInput(path);
        return;
    }
    ui->PageControl1->setCurrentIndex(0);
    OpenCutInput(path);
}

void TFrm_main::playmp3(const QString &fileName)
{
    MediaPlayer1.FileName = ToPath(fileName).string();
    MediaPlayer1.Open();
    MediaPlayer1.Play();
}

void TFrm_main::dragEnterEvent(QDragEnterEvent *event)
{
    if (running_) {
        return; // a split is writing: no new file until it ends
    }
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void TFrm_main::dropEvent(QDropEvent *event)
{
    if (running_) {
        return;
    }
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        event->acceptProposedAction();
        OpenFile(urls.first().toLocalFile());
    }
}

// --- The player's display ----------------------------------------------------------------

void TFrm_main::Timer1Timer()
{
    if (ui->TrackBar1->hasFocus() || ui->TrackBar2->hasFocus()) {
        return; // the user holds a bar: the displays stand still
    }
    if (MediaPlayer1.Mode() == TMediaPlayer::mpStopped) {
        Timer1.stop();
        return;
    }
    MediaPlayer1.SetTimeFormat(0);
    if (Timer1Tag == 1) {
        ui->Label14->setText(DisplayText(MediaPlayer1.Position()));
        ui->TrackBar1->setValue(Seconds(MediaPlayer1.Position()));
    } else if (Timer1Tag == 2) {
        ui->TrackBar2->setValue(Seconds(MediaPlayer1.Position()));
        ui->Label21->setText(DisplayText(MediaPlayer1.Position()));
    }
}

// Only a bar that the user is using seeks; the timer's moves come without the focus.
static void SeekFromBar(TMediaPlayer &player, const QSlider &bar)
{
    if (!bar.hasFocus()) {
        return;
    }
    const bool playing = player.Mode() == TMediaPlayer::mpPlaying;
    if (!player.FileName.empty()) {
        player.SetPosition(int64_t(bar.value()) * 1000);
    }
    if (playing) {
        player.Play();
    }
}

void TFrm_main::TrackBar1Change()
{
    SeekFromBar(MediaPlayer1, *ui->TrackBar1);
}

void TFrm_main::TrackBar2Change()
{
    SeekFromBar(MediaPlayer1, *ui->TrackBar2);
}

void TFrm_main::PageControl1Change(int index)
{
    if (index == 1) {
        ui->GroupBoxmain->raise();
        SpeedButton13Click();
    }
}

// --- The Cut page ------------------------------------------------------------------------

void TFrm_main::SpeedButton1Click()
{
    const QString f = TDialogs::Current().OpenFileName(this, Mp3Filter);
    if (!f.isEmpty()) {
        OpenCutInput(f);
    }
}

void TFrm_main::OpenCutInput(const QString &path)
{
    const QString f = QDir::toNativeSeparators(path);
    ui->Edit1->setText(f);
    // song.mp3 proposes song_片段.mp3 in the same folder; a.b.mp3 gives a.b_片段.mp3.
    const int slash = std::max(f.lastIndexOf('/'), f.lastIndexOf(QDir::separator()));
    const QString folder = f.left(slash + 1);
    const QString name = f.mid(slash + 1);
    const int dot = name.lastIndexOf('.');
    const QString ext = dot >= 0 ? name.mid(dot) : QString();
    const QString base = dot >= 0 ? name.left(dot) : name;
    ui->Edit11->setText(folder + base + "_片段" + ext);

    TMPEGAFHdr hdr;
    if (!ReadFileInfo(f, hdr)) {
        return; // the cut command says so when it is asked to cut
    }
    ui->TrackBar2->ShowWhole(Seconds(hdr.Duration));
    OpenInPlayer(f);
    ui->Label17->setText(QString("位率(kbps):%1%2 采样频率(HZ):%3 长度:%4")
                             .arg(hdr.Bitrate)
                             .arg(hdr.VBR ? " VBR" : "")
                             .arg(hdr.SampleRate)
                             .arg(DisplayText(filelength)));
    ui->SpinEdit9->setValue(std::stoi(FormatMs("nn", filelength)));
    ui->SpinEdit10->setValue(std::stoi(FormatMs("ss", filelength)));
    ui->SpinEdit11->setValue(std::stoi(FormatMs("zzz", filelength)));
}

bool TFrm_main::ReadFileInfo(const QString &path, TMPEGAFHdr &hdr)
{
    const TWaitCursor busy; // a VBR file without a Xing frame is walked to its end
    TFileStream stream(ToPath(path), fmOpenRead);
    TID3Tag tag;
    tag.ReadTag(stream);
    ShowTag(tag);
    stream.Seek(0, soBeginning);
    return hdr.ReadFirstFrame(stream);
}

TWaitCursor::TWaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

TWaitCursor::~TWaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

void TFrm_main::OpenInPlayer(const QString &path)
{
    // The player reads the whole file for its exact length: seconds for a long recording.
    const TWaitCursor busy;
    MediaPlayer1.FileName = ToPath(path).string();
    MediaPlayer1.Open();
    filelength = MediaPlayer1.Length();
}

void TFrm_main::ShowTag(const TID3Tag &tag)
{
    ui->Edit2->setText(FromTagText(tag.Title));
    ui->Edit3->setText(FromTagText(tag.Artist));
    ui->Edit4->setText(FromTagText(tag.Album));
    ui->Edit5->setText(FromTagText(tag.Year));
    ui->Edit6->setText(FromTagText(tag.Comment));
    // A genre number past the table names no entry: the list then shows none.
    ui->ComboBox1->setCurrentIndex(tag.GenreID < GenreNames.size() ? int(tag.GenreID) : -1);
}

void TFrm_main::SpeedButton2Click()
{
    if (ui->Edit11->text().isEmpty()) {
        return;
    }
    const QString name = TDialogs::Current().SaveFileName(this, ui->Edit11->text(), Mp3Filter);
    if (!name.isEmpty()) {
        ui->Edit11->setText(QDir::toNativeSeparators(name));
    }
}

std::array<TSpinEdit *, 3> TFrm_main::CutFields(int which) const
{
    if (which == 0) {
        return {ui->SpinEdit6, ui->SpinEdit7, ui->SpinEdit8};
    }
    return {ui->SpinEdit9, ui->SpinEdit10, ui->SpinEdit11};
}

QString TFrm_main::CutRangeText(int which) const
{
    const auto f = CutFields(which);
    return f[0]->Text() + ":" + f[1]->Text() + "." + f[2]->Text();
}

void TFrm_main::ShowSegmentLength(bool clearWhenNegative)
{
    const int64_t len =
        int64_t(
            FieldsToMs(ui->SpinEdit9->Value(), ui->SpinEdit10->Value(), ui->SpinEdit11->Value())) -
        FieldsToMs(ui->SpinEdit6->Value(), ui->SpinEdit7->Value(), ui->SpinEdit8->Value());
    if (len >= 0) {
        ui->Label20->setText("剪切片段长度：" + DisplayText(len));
    } else {
        ui->Label20->setText(clearWhenNegative ? QString() : QString("剪切片段长度："));
    }
}

void TFrm_main::MarkFromPlayer(int which)
{
    MediaPlayer1.SetTimeFormat(0);
    const int64_t p = MediaPlayer1.Position();
    const auto f = CutFields(which);
    f[0]->SetText(QString::fromStdString(FormatMs("nn", p)));
    f[1]->SetText(QString::fromStdString(FormatMs("ss", p)));
    f[2]->SetText(QString::fromStdString(FormatMs("zzz", p)));
    // The selection follows the marked texts, not the player's exact position.
    const int second = Seconds(TimeTextToMs(CutRangeText(which).toStdString()));
    if (which == 0) {
        ui->TrackBar2->SetSelStart(second);
    } else {
        ui->TrackBar2->SetSelEnd(second);
    }
    ShowSegmentLength(which == 1);
}

void TFrm_main::SpeedButton3Click()
{
    MarkFromPlayer(0);
}

void TFrm_main::SpeedButton4Click()
{
    MarkFromPlayer(1);
}

void TFrm_main::BitBtn1Click()
{
    MediaPlayer1.Play();
    Timer1Tag = 2;
    Timer1.start();
}

void TFrm_main::BitBtn2Click()
{
    MediaPlayer1.Pause();
    Timer1.stop();
}

void TFrm_main::BitBtn3Click()
{
    if (ui->Edit1->text().isEmpty()) {
        return;
    }
    // The typed times count, to the millisecond; the bar's whole seconds only show them.
    const int64_t start = TimeTextToMs(CutRangeText(0).toStdString());
    int64_t end = TimeTextToMs(CutRangeText(1).toStdString());
    if (std::max<int64_t>(start, 0) >= end) {
        TDialogs::Current().Message(this, MsgEmptyRange);
        return;
    }
    const auto input = ToPath(ui->Edit1->text());
    const auto output = ToPath(ui->Edit11->text());
    if (end >= filelength && input.string() == MediaPlayer1.FileName) {
        // The player's length leaves out the encoder's padding; its end is the file's end.
        end = std::numeric_limits<int64_t>::max();
    }
    TFileStream source(input, fmOpenRead);
    if (SameFile(input, output)) {
        TDialogs::Current().Message(this, MsgBusy);
        return;
    }
    TMPEGAFHdr hdr;
    if (!hdr.ReadFirstFrame(source)) {
        TDialogs::Current().Message(this, MsgNoFrame);
        return;
    }
    std::unique_ptr<TOutputFile> out;
    try {
        out = std::make_unique<TOutputFile>(output);
    } catch (const EStreamError &) {
        TDialogs::Current().Message(this, MsgBusy);
        return;
    }
    // A long range shows its progress and can be cancelled; the window stays alive meanwhile.
    QProgressDialog progress("正在剪切...", "取消", 0, 1000, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    progress.setAutoClose(false);
    progress.setAutoReset(false); // a cancel stays a cancel to the last block
    const int64_t copied =
        hdr.CopyRange(source, out->Stream(), start, end, [&progress](int64_t done, int64_t total) {
            progress.setValue(int(done * 1000 / total));
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    if (progress.wasCanceled()) {
        return; // nothing written; an existing output stays as it was
    }
    if (copied > 0) {
        out->Commit();
    }
    if (copied == 0) {
        TDialogs::Current().Message(this, MsgEmptyRange);
        return;
    }
    LastOutput = ui->Edit11->text();
    ui->BitBtn4->setProperty("hint", LastOutput);
    TDialogs::Current().Message(this, MsgDone);
}

void TFrm_main::BitBtn4Click()
{
    if (!LastOutput.isEmpty()) {
        TDialogs::Current().OpenDocument(LastOutput);
    }
}
