// The window frame, the player's display, the keys and the pages' shared commands.
#include "Unit_main.h"

#include "Access.h"
#include "Application.h"
#include "Background.h"
#include "Dialogs.h"
#include "LevelRow.h"
#include "Paths.h"
#include "Shared.h"
#include "SplitPage.h"
#include "ui_Unit_main.h"
#include "widgets/WaveView.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMimeData>
#include <QShortcut>
#include <QTabBar>
#include <QToolButton>
#include <QUrl>

using namespace mp3core;

namespace {

const QString PlaceKey = "window/geometry";

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
    // The designed size is the smallest; the waveform below the Cut page's controls takes what
    // a larger window adds.
    setMinimumSize(490, 317);
    resize(490, 481);
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
    ui->PageControl1->tabBar()->setAccessibleTabName(1, ui->TabSheet2->accessibleName());
    SplitPageButton = new QToolButton(ui->PageControl1);
    SplitPageButton->setObjectName("SplitPageButton");
    SplitPageButton->setText(Tr("高级分割(&V)"));
    // A button that stays down while its page is in front, as a tab looks selected. A click
    // and a screen reader's "Toggle" both toggle it: either opens the page, and neither can
    // raise it while the page is in front.
    SplitPageButton->setCheckable(true);
    ui->PageControl1->setCornerWidget(SplitPageButton, Qt::TopRightCorner);
    connect(SplitPageButton, &QToolButton::toggled, this, [this](bool down) {
        if (down) {
            ui->PageControl1->setCurrentIndex(1);
        } else if (ui->PageControl1->currentIndex() == 1) {
            SplitPageButton->setChecked(true);
        }
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
    connect(ui->TrackBar2, &TTrackBar::Moved, this, &TFrm_main::TrackBar2Change);

    ConnectCutPage();
    SetUpKeyboard();
    FormCreate();
}

TFrm_main::~TFrm_main()
{
    if (isVisible()) {
        WindowSettings().setValue(PlaceKey, saveGeometry());
    }
    if (auto *app = qobject_cast<TApplication *>(QCoreApplication::instance())) {
        app->OnException = nullptr;
    }
    Timer1.stop();
    delete ui;
}

void TFrm_main::SetUpKeyboard()
{
    // The "..." buttons open their dialogs by the access keys of their labels.
    ui->Label2->setBuddy(ui->SpeedButton1);
    ui->Label3->setBuddy(ui->SpeedButton2);
    SetTabOrder({ui->PageControl1->tabBar(), SplitPageButton,
                 // the Cut page, row by row
                 ui->SpeedButton3, ui->SpinEdit6, ui->SpinEdit7, ui->SpinEdit8, ui->BitBtn3,
                 ui->SpeedButton4, ui->SpinEdit9, ui->SpinEdit10, ui->SpinEdit11, ui->BitBtn4,
                 ui->CheckBox1, LevelRow1->Gain, LevelRow1->FadeIn, LevelRow1->FadeOut,
                 LevelRow1->Normalize, ui->Edit1, ui->SpeedButton1, RecentButton1, ui->Edit11,
                 ui->SpeedButton2, ui->BitBtn1, ui->BitBtn2, ui->TrackBar2, SnapBox1, WaveView1,
                 SplitPage()->FirstControl()});
    NameButtons(*this);
    NameControls({{ui->SpinEdit6, Tr("起点 分")},
                  {ui->SpinEdit7, Tr("起点 秒")},
                  {ui->SpinEdit8, Tr("起点 毫秒")},
                  {ui->SpinEdit9, Tr("终点 分")},
                  {ui->SpinEdit10, Tr("终点 秒")},
                  {ui->SpinEdit11, Tr("终点 毫秒")},
                  {ui->Edit1, PlainText(ui->Label2->text())},
                  {ui->Edit11, PlainText(ui->Label3->text())},
                  {ui->SpeedButton1, Tr("选择输入文件")},
                  {ui->SpeedButton2, Tr("选择输出文件")},
                  {ui->TrackBar2, Tr("播放位置")}});

    const auto shortcut = [this](const QKeySequence &keys, auto handler) {
        auto *s = new QShortcut(keys, this);
        connect(s, &QShortcut::activated, this, handler);
        return s;
    };
    shortcut(QKeySequence::Open, [this] {
        if (CutRunning() || SplitPage()->Running()) {
            return;
        }
        if (ui->PageControl1->currentIndex() == 1) {
            SplitPage()->SpeedButton11Click();
            return;
        }
        ui->PageControl1->setCurrentIndex(0);
        SpeedButton1Click();
    });
    spaceKey_ = shortcut(Qt::Key_Space, &TFrm_main::SpaceKey);
    shortcut(Qt::Key_Escape, [this] {
        if (cutProgress_) {
            cutProgress_->Stop = true;
        }
        if (SplitPage()->Running()) {
            SplitPage()->StopClick();
        }
    });
    SetUpUndoKeys();
}

void TFrm_main::SetUpUndoKeys()
{
    // Undo and redo of the Split page's list (a field in focus undoes its own typing first).
    auto *undo = new QShortcut(QKeySequence::Undo, this);
    connect(undo, &QShortcut::activated, this, [this] {
        if (ui->PageControl1->currentIndex() == 1) {
            SplitPage()->Undo();
        } else {
            UndoRange();
        }
    });
    for (const QKeySequence &keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}) {
        auto *s = new QShortcut(keys, this);
        connect(s, &QShortcut::activated, this, [this] {
            if (ui->PageControl1->currentIndex() == 1) {
                SplitPage()->Redo();
            } else {
                RedoRange();
            }
        });
    }
}

void TFrm_main::SpaceKey()
{
    // What has a use for Space of its own keeps it: a button or a check box is pressed, the
    // list ticks, a drop-down list opens (a field types it before it comes here).
    QWidget *focus = QApplication::focusWidget();
    if (qobject_cast<QAbstractButton *>(focus) != nullptr ||
        qobject_cast<QAbstractItemView *>(focus) != nullptr ||
        qobject_cast<QComboBox *>(focus) != nullptr) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
        spaceKey_->setEnabled(false); // the key goes on to the control, not here again
        QCoreApplication::sendEvent(focus, &press);
        QCoreApplication::sendEvent(focus, &release);
        spaceKey_->setEnabled(true);
        return;
    }
    if (ui->PageControl1->currentIndex() == 0) {
        BitBtn1Click();
    } else if (ui->PageControl1->currentIndex() == 1) {
        SplitPage()->PlayOrPause();
    }
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

bool TFrm_main::RestorePlace()
{
    return restoreGeometry(WindowSettings().value(PlaceKey).toByteArray());
}

void TFrm_main::closeEvent(QCloseEvent *event)
{
    WindowSettings().setValue(PlaceKey, saveGeometry());
    QWidget::closeEvent(event);
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
    if (SplitPage()->BarHeld() || ui->TrackBar2->isSliderDown()) {
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
        WaveView1->SetPosition(MediaPlayer1.Position());
    }
}

void TFrm_main::resizeEvent(QResizeEvent *event)
{
    // The pages grow with the window, as laid out at its smallest (8, 2, 481 x 315).
    ui->PageControl1->setGeometry(8, 2, width() - 9, height() - 2);
    QWidget::resizeEvent(event);
}

bool TFrm_main::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->TabSheet1 && event->type() == QEvent::Resize) {
        const QSize page = ui->TabSheet1->size();
        WaveView1->setGeometry(8, 296, page.width() - 16, std::max(40, page.height() - 304));
        SnapBox1->setGeometry(page.width() - 68, 274, 64, 18); // beside the track bar
    }
    return QWidget::eventFilter(watched, event);
}

void TFrm_main::TrackBar2Change(int second)
{
    SeekFromBar(MediaPlayer1, second);
}

void TFrm_main::PageControl1Change(int index)
{
    SplitPageButton->setChecked(index == 1);
    if (index == 1) {
        SplitPage()->SpeedButton13Click();
    }
}
