// The window frame, the player's display and the Cut page.
#include "Unit_main.h"

#include "Application.h"
#include "Background.h"
#include "Dialogs.h"
#include "Messages.h"
#include "Paths.h"
#include "Shared.h"
#include "SplitPage.h"
#include "jobs/CutJob.h"
#include "plan/TimeText.h"
#include "tags/MP3TAG.h"
#include "ui_Unit_main.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QMimeData>
#include <QProgressDialog>
#include <QTabBar>
#include <QToolButton>
#include <QUrl>

using namespace mp3core;

namespace {

const QString Mp3Filter = "MP3 (*.mp3)";
const QString KeepTagsKey = "cut/keepTags";

} // namespace

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
    ui->BuildVersion->setText(QStringLiteral("mp3cutter " MP3CUT_VERSION));

    // The Split page has no tab of its own: a button in the tab row's corner opens it.
    ui->PageControl1->setTabVisible(1, false);
    // A hidden tab that is current still has its label painted, clipped, above the tab row:
    // the caption goes to the page's accessible name instead.
    ui->TabSheet2->setAccessibleName(ui->PageControl1->tabText(1).trimmed());
    ui->PageControl1->setTabText(1, QString());
    SplitPageButton = new QToolButton(ui->PageControl1);
    SplitPageButton->setObjectName("SplitPageButton");
    SplitPageButton->setText("高级分割");
    // A button that stays down while its page is in front, as a tab looks selected.
    SplitPageButton->setCheckable(true);
    SplitPageButton->setFocusPolicy(Qt::NoFocus);
    ui->PageControl1->setCornerWidget(SplitPageButton, Qt::TopRightCorner);
    connect(SplitPageButton, &QToolButton::clicked, this, [this] {
        ui->PageControl1->setCurrentIndex(1);
        SplitPageButton->setChecked(true); // a second click leaves it down
    });
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TFrm_main::PageControl1Change);

    ui->TrackBar2->setRange(0, 323424);
    ui->TrackBar2->SetSelStart(10);
    ui->TrackBar2->SetSelEnd(200000);
    SplitPage()->SetPlayer(&MediaPlayer1);
    connect(SplitPage(), &TSplitPage::RunningChanged, this, &TFrm_main::SplitRunning);
    connect(SplitPage(), &TSplitPage::PlayStarted, this, [this] {
        Timer1Tag = 1;
        Timer1.start();
    });

    // The position display follows the screen's pace; what it shows is read afresh each tick.
    Timer1.setInterval(15);
    connect(&Timer1, &QTimer::timeout, this, &TFrm_main::Timer1Timer);
    connect(ui->TrackBar2, &QSlider::valueChanged, this, &TFrm_main::TrackBar2Change);

    connect(ui->SpeedButton1, &QPushButton::clicked, this, &TFrm_main::SpeedButton1Click);
    connect(ui->SpeedButton2, &QPushButton::clicked, this, &TFrm_main::SpeedButton2Click);
    connect(ui->SpeedButton3, &QPushButton::clicked, this, &TFrm_main::SpeedButton3Click);
    connect(ui->SpeedButton4, &QPushButton::clicked, this, &TFrm_main::SpeedButton4Click);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TFrm_main::BitBtn1Click);
    connect(ui->BitBtn2, &QPushButton::clicked, this, &TFrm_main::BitBtn2Click);
    connect(ui->BitBtn3, &QPushButton::clicked, this, &TFrm_main::BitBtn3Click);
    connect(ui->BitBtn4, &QPushButton::clicked, this, &TFrm_main::BitBtn4Click);
    // The marked range follows the typed times: the length shown and the track bar's range.
    for (TSpinEdit *field : {ui->SpinEdit6, ui->SpinEdit7, ui->SpinEdit8, ui->SpinEdit9,
                             ui->SpinEdit10, ui->SpinEdit11}) {
        connect(field, &TSpinEdit::Changed, this, &TFrm_main::CutRangeChanged);
    }
    // Whether a cut keeps the source's tags is remembered from run to run.
    ui->CheckBox1->setChecked(WindowSettings().value(KeepTagsKey, false).toBool());
    connect(ui->CheckBox1, &QCheckBox::toggled, this,
            [](bool on) { WindowSettings().setValue(KeepTagsKey, on); });
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
}

TSplitPage *TFrm_main::SplitPage() const
{
    return ui->TabSheet2;
}

void TFrm_main::SetDialogs(Tfrm_info *info, Tfrm_addspecial *addspecial)
{
    SplitPage()->SetDialogs(info, addspecial);
}

void TFrm_main::SplitRunning(bool running)
{
    // While a split writes, the page stays in front.
    ui->PageControl1->tabBar()->setEnabled(!running);
    SplitPageButton->setEnabled(!running);
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
        SplitPage()->OpenSplitInput(path);
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
    if (SplitPage()->Running()) {
        return; // a split is writing: no new file until it ends
    }
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void TFrm_main::dropEvent(QDropEvent *event)
{
    if (SplitPage()->Running()) {
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
    if (SplitPage()->BarHeld() || ui->TrackBar2->hasFocus()) {
        return; // the user holds a bar: the displays stand still
    }
    if (MediaPlayer1.Mode() == TMediaPlayer::mpStopped) {
        Timer1.stop();
        return;
    }
    MediaPlayer1.SetTimeFormat(0);
    if (Timer1Tag == 1) {
        SplitPage()->ShowPosition(MediaPlayer1.Position());
    } else if (Timer1Tag == 2) {
        ui->TrackBar2->setValue(Seconds(MediaPlayer1.Position()));
        ui->Label21->setText(DisplayText(MediaPlayer1.Position()));
    }
}

void TFrm_main::TrackBar2Change()
{
    SeekFromBar(MediaPlayer1, *ui->TrackBar2);
}

void TFrm_main::PageControl1Change(int index)
{
    SplitPageButton->setChecked(index == 1);
    if (index == 1) {
        SplitPage()->SpeedButton13Click();
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
    TSource input;
    TJobOutcome outcome;
    {
        const TWaitCursor busy; // a VBR file without a Xing frame is walked to its end
        OpenJobInput(ToPath(f), input, outcome);
    }
    if (outcome.Status == TJobStatus::InputUnreadable) {
        // A folder, a file that cannot be read: the page keeps the file it had.
        TDialogs::Current().Message(this, CutMessage(outcome));
        return;
    }
    ui->Edit1->setText(f);
    ui->Edit1->setCursorPosition(0); // the start of a long name shows
    ui->Edit11->setText(FromPath(DefaultCutName(ToPath(f))));
    ui->Edit11->setCursorPosition(0);
    if (outcome.Status != TJobStatus::Done) {
        if (outcome.Status != TJobStatus::NoAudio) {
            TDialogs::Current().Message(this, CutMessage(outcome));
        }
        return; // no audio: the cut command says so when it is asked to cut
    }
    SplitPage()->ShowTag(ReadSourceTexts(input));
    const TMPEGAFHdr &hdr = input.Hdr;
    ui->TrackBar2->ShowWhole(Seconds(input.LengthMs()));
    // The length is the core's: the player reads the whole file on a thread of its own.
    MediaPlayer1.FileName = ToPath(f).string();
    MediaPlayer1.Open(hdr.PlayedSamples());
    filelength = input.LengthMs();
    ui->Label17->setText(QString("位率(kbps):%1%2 采样频率(HZ):%3 长度:%4")
                             .arg(hdr.Bitrate)
                             .arg(hdr.VBR ? " VBR" : "")
                             .arg(hdr.SampleRate)
                             .arg(DisplayText(filelength)));
    // A new file: the whole of it is marked, and nothing of the last one shows.
    settingRange_ = true;
    for (TSpinEdit *field : {ui->SpinEdit6, ui->SpinEdit7, ui->SpinEdit8}) {
        field->setValue(0);
    }
    ui->SpinEdit9->setValue(std::stoi(FormatMs("nn", filelength)));
    ui->SpinEdit10->setValue(std::stoi(FormatMs("ss", filelength)));
    ui->SpinEdit11->setValue(std::stoi(FormatMs("zzz", filelength)));
    settingRange_ = false;
    ui->Label21->setText(DisplayText(0));
    ShowSegmentLength(true);
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

void TFrm_main::CutRangeChanged()
{
    if (settingRange_) {
        return;
    }
    try {
        ui->TrackBar2->SetSelStart(Seconds(TimeTextToMs(CutRangeText(0).toStdString())));
        ui->TrackBar2->SetSelEnd(Seconds(TimeTextToMs(CutRangeText(1).toStdString())));
    } catch (const EConvertError &) {
        return; // a field being typed, empty for now
    }
    ShowSegmentLength(true);
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
    if (ui->Edit1->text().isEmpty() || cutRunning_) {
        return;
    }
    // The typed times count, to the millisecond; the bar's whole seconds only show them.
    TCutJob job;
    job.Input = ToPath(ui->Edit1->text());
    job.Output = ToPath(ui->Edit11->text());
    job.StartMs = TimeTextToMs(CutRangeText(0).toStdString());
    job.EndMs = TimeTextToMs(CutRangeText(1).toStdString());
    job.KeepTags = ui->CheckBox1->isChecked();
    if (*job.EndMs >= filelength && *job.EndMs > std::max<int64_t>(job.StartMs, 0) &&
        job.Input.string() == MediaPlayer1.FileName) {
        // The player's length leaves out the encoder's padding; its end is the file's end.
        job.EndMs.reset();
    }
    RunCut(job);
}

void TFrm_main::RunCut(const TCutJob &job)
{
    // A long range shows its progress and can be cancelled; the cut runs off the window's
    // thread, and the window stays alive meanwhile.
    auto progress = std::make_shared<TJobProgress>();
    auto *dialog = new QProgressDialog("正在剪切...", "取消", 0, 1000, this);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(400);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false); // a cancel stays a cancel to the last block
    connect(dialog, &QProgressDialog::canceled, dialog, [progress] { progress->Stop = true; });
    auto *timer = new QTimer(dialog);
    timer->setInterval(50);
    connect(timer, &QTimer::timeout, dialog,
            [dialog, progress] { dialog->setValue(int(progress->Done.load())); });
    timer->start();
    cutRunning_ = true;
    ui->BitBtn3->setEnabled(false);
    RunInBackground(
        this,
        [job, progress] {
            return ::RunCut(job, [&progress](int64_t done, int64_t total) {
                progress->Done = done * 1000 / std::max<int64_t>(1, total);
                return !progress->Stop;
            });
        },
        [this, job, dialog](const TJobOutcome &outcome) {
            dialog->close();
            dialog->deleteLater();
            cutRunning_ = false;
            ui->BitBtn3->setEnabled(true);
            if (outcome.Status == TJobStatus::ReadOnlyFile) {
                if (TDialogs::Current().Question(this, ReadOnlyQuestion(outcome))) {
                    TCutJob again = job;
                    again.ReplaceReadOnly = true;
                    RunCut(again);
                }
                return;
            }
            if (outcome.Status == TJobStatus::Done) {
                LastOutput = QString::fromStdString(job.Output.string());
                ui->BitBtn4->setProperty("hint", LastOutput);
            }
            const QString message = CutMessage(outcome);
            if (!message.isEmpty()) {
                TDialogs::Current().Message(this, message);
            }
        });
}

void TFrm_main::BitBtn4Click()
{
    if (!LastOutput.isEmpty()) {
        TDialogs::Current().OpenDocument(LastOutput);
    }
}
