// The Split page's set-up: the list's menu, the recent files, the choices remembered from the
// last run, and what a keyboard and a screen reader need.
#include "Access.h"
#include "LevelRow.h"
#include "MediaPlayer.h"
#include "Recent.h"
#include "SegmentView.h"
#include "Shared.h"
#include "SplitPage.h"
#include "ui_SplitPage.h"
#include "widgets/WaveView.h"

#include <QLabel>

#include <QMenu>
#include <QRadioButton>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>

void TSplitPage::MakeListMenu()
{
    auto *menu = new QMenu(this);
    menu->setObjectName("PopupMenu1");
    auto addAction = [&](const char *name, const char *text, void (TSplitPage::*slot)()) {
        QAction *a = menu->addAction(Tr(text));
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QAction *remove = addAction("N1", QT_TRANSLATE_NOOP("mp3cutter", "删除"), &TSplitPage::N1Click);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    ui->ListView2->addAction(remove); // Delete in the list removes its selected row
    addAction("N2", QT_TRANSLATE_NOOP("mp3cutter", "全部删除"), &TSplitPage::N2Click);
    menu->addSeparator();
    addAction("N3", QT_TRANSLATE_NOOP("mp3cutter", "细分..."), &TSplitPage::N3Click);
    addAction("N4", QT_TRANSLATE_NOOP("mp3cutter", "标签..."), &TSplitPage::N4Click);
    menu->addSeparator();
    addAction("N5", QT_TRANSLATE_NOOP("mp3cutter", "导入CUE..."), &TSplitPage::N5Click);
    addAction("N6", QT_TRANSLATE_NOOP("mp3cutter", "导入章节"), &TSplitPage::N6Click);
    addAction("N7", QT_TRANSLATE_NOOP("mp3cutter", "导入标签..."), &TSplitPage::N7Click);
    menu->addSeparator();
    addAction("N8", QT_TRANSLATE_NOOP("mp3cutter", "导出CUE..."), &TSplitPage::N8Click);
    addAction("N9", QT_TRANSLATE_NOOP("mp3cutter", "导出标签..."), &TSplitPage::N9Click);
    connect(ui->ListView2, &QWidget::customContextMenuRequested, this, [this, menu](QPoint at) {
        menu->findChild<QAction *>("N4")->setEnabled(view_->Selected().has_value());
        menu->findChild<QAction *>("N5")->setEnabled(list_.Count() > 0);
        for (const char *name : {"N6", "N7", "N8", "N9"}) {
            menu->findChild<QAction *>(name)->setEnabled(list_.Count() > 0);
        }
        menu->popup(ui->ListView2->viewport()->mapToGlobal(at));
    });
}

void TSplitPage::RememberChoices()
{
    recentButton_ = MakeRecentButton(ui->GroupBoxmain, [this](const QString &f) {
        if (!running_) {
            OpenSplitInput(f);
        }
    });
    recentButton_->setObjectName("RecentButton2");
    recentButton_->setGeometry(404, 16, 18, 24);
    ui->Memo1->document()->setDocumentMargin(2); // its seven lines show whole
    // The method and its settings as the last run left them.
    const QList<QRadioButton *> methods = {ui->RadioButton1, ui->RadioButton2, ui->RadioButton3,
                                           ui->RadioButton4};
    const int method = WindowSettings().value("split/method", 0).toInt();
    methods.value(method, ui->RadioButton1)->setChecked(true);
    for (int i = 0; i < methods.size(); ++i) {
        connect(methods[i], &QRadioButton::toggled, this, [i](bool on) {
            if (on) {
                WindowSettings().setValue("split/method", i);
            }
        });
    }
    Remember(ui->SpinEdit4, "split/timeStep");
    Remember(ui->SpinEdit15, "split/towardsSilence");
    Remember(ui->SpinEdit16, "split/parts");
    Remember(ui->SpinEdit5, "split/sizeStep");
    Remember(ui->SpinEdit12, "split/silenceThreshold");
    Remember(ui->SpinEdit13, "split/shortestSilence");
    Remember(ui->SpinEdit14, "split/shortestPart");
    Remember(ui->CheckBox2, "split/leaveOutSilence");
}

void TSplitPage::SetUpKeyboard()
{
    ui->Label13->setBuddy(ui->Edit9);
    ui->Label39->setBuddy(ui->SpeedButton25); // its access key opens the folder picker
    SetTabOrder({                             // step 1
                 ui->Edit7, ui->Edit8, ui->SpeedButton11, recentButton_, ui->Edit2, ui->Edit5,
                 ui->Edit3, ui->ComboBox1, ui->Edit4, ui->Edit6, ui->Memo1, ui->RadioButton1,
                 ui->RadioButton2, ui->RadioButton4, ui->RadioButton3,
                 // step 2: the method's group, then the output's
                 ui->ListView2, ui->SpeedButton23, ui->TrackBar1, ui->SpeedButton17,
                 ui->SpeedButton18, ui->SpinEdit1, ui->SpinEdit2, ui->SpinEdit3, ui->SpeedButton12,
                 ui->SpeedButton19, ui->SpinEdit4, ui->SpinEdit15, ui->SpinEdit16, ui->SpinEdit5,
                 ui->SpinEdit12, ui->SpinEdit13, ui->SpinEdit14, ui->CheckBox2, ui->Edit9,
                 ui->Edit10, ui->SpeedButton25, levelRow_->Gain, levelRow_->FadeIn,
                 levelRow_->FadeOut, levelRow_->Normalize,
                 // below the steps: the waveform's snapping at the left of the buttons
                 snapBox_, ui->SpeedButton13, ui->SpeedButton14, chaptersButton_,
                 ui->SpeedButtonStop, wave_});
    NameButtons(*this);
    NameControls({{ui->Edit7, PlainText(ui->Label4->text())},
                  {ui->Edit8, Tr("MP3文件所在文件夹")},
                  {ui->Edit2, ui->Label29->text()},
                  {ui->Edit3, ui->Label30->text()},
                  {ui->Edit4, ui->Label31->text()},
                  {ui->Edit5, ui->Label32->text()},
                  {ui->ComboBox1, ui->Label33->text()},
                  {ui->Edit6, ui->Label34->text()},
                  {ui->Memo1, ui->GroupBox6->title()},
                  {ui->ListView2, Tr("片段列表")},
                  {ui->TrackBar1, Tr("播放位置")},
                  {ui->SpinEdit1, Tr("时间 分")},
                  {ui->SpinEdit2, Tr("时间 秒")},
                  {ui->SpinEdit3, Tr("时间 毫秒")},
                  {ui->SpinEdit4, PlainText(ui->Label1->text())},
                  {ui->SpinEdit15, PlainText(ui->Label38->text())},
                  {ui->SpinEdit16, PlainText(ui->Label41->text())},
                  {ui->SpinEdit5, PlainText(ui->Label18->text())},
                  {ui->SpinEdit12, PlainText(ui->Label35->text())},
                  {ui->SpinEdit13, PlainText(ui->Label36->text())},
                  {ui->SpinEdit14, PlainText(ui->Label37->text())},
                  {ui->Edit9, PlainText(ui->Label13->text())},
                  {ui->Edit10, PlainText(ui->Label39->text())},
                  {ui->SpeedButton25, Tr("选择存放目录")},
                  {ui->ProgressBar2, Tr("进度")}});
    for (TSpinEdit *field : {ui->SpinEdit1, ui->SpinEdit2, ui->SpinEdit3}) {
        connect(field, &TSpinEdit::Entered, this, &TSplitPage::SpeedButton12Click);
    }
}

void TSplitPage::SetUpWaveform()
{
    wave_ = new TWaveView(this);
    wave_->setObjectName("WaveView2");
    wave_->hide(); // shown with the list's step
    connect(view_, &TSegmentView::Changed, this, &TSplitPage::RefreshWave);
    connect(ui->ListView2, &QTreeWidget::itemSelectionChanged, this, &TSplitPage::RefreshWave);
    connect(wave_, &TWaveView::Seek, this, [this](int64_t ms) {
        if (player_ != nullptr && SeekOpenPlayer(*player_, ms)) {
            ShowPosition(player_->Position());
        }
    });
    connect(wave_, &TWaveView::RowClicked, this, [this](size_t row) {
        if (row < list_.Count()) {
            ui->ListView2->setCurrentItem(ui->ListView2->topLevelItem(int(row)));
        }
    });
    connect(wave_, &TWaveView::CutMoved, this, [this](size_t row, int64_t ms) {
        if (!dragBefore_) {
            dragBefore_ = list_.Rows(); // one undo for the whole drag
        }
        if (!running_ && list_.MoveCut(row, ms)) {
            view_->Show(row);
        }
    });
    connect(wave_, &TWaveView::DragEnded, this, [this] {
        if (dragBefore_) {
            Undoable(*dragBefore_);
            dragBefore_.reset();
        }
    });
    connect(wave_, &TWaveView::AddCutAt, this, [this](int64_t ms) {
        if (!running_) {
            additem(ms);
        }
    });
    connect(wave_, &TWaveView::RemoveCut, this, [this] {
        if (!running_) {
            N1Click();
        }
    });
    connect(wave_, &TWaveView::PlayAround, this, [this](int64_t ms) {
        if (player_ != nullptr && PlayAround(*player_, ms)) {
            emit PlayStarted();
        }
    });
    snapBox_ = MakeSnapBox(this, wave_, "split/snap");
    snapBox_->setObjectName("SnapBox2");
    snapBox_->hide();
    // The parts' level, on the last step under the output's group; the waveform shows the
    // fades of each part.
    levelRow_ = new TLevelRow(this, "split/level", 'K');
    levelRow_->setObjectName("LevelRow2");
    levelRow_->setGeometry(12, 232, 466, 22);
    levelRow_->hide();
    const auto showFades = [this] {
        const mp3core::TLevelRequest level = levelRow_->Request(true);
        wave_->SetFades(level.Level.FadeInMs, level.Level.FadeOutMs);
    };
    connect(levelRow_, &TLevelRow::Changed, this, showFades);
    showFades();
}

void TSplitPage::RefreshWave()
{
    std::vector<TWaveView::TRow> rows;
    rows.reserve(list_.Count());
    for (const mp3core::TSegment &s : list_.Rows()) {
        rows.push_back({s.StartMs, s.EndMs, s.Ticked});
    }
    wave_->SetRows(std::move(rows), view_->Selected());
}

void TSplitPage::resizeEvent(QResizeEvent *event)
{
    // Below the steps and their buttons, as wide and as tall as the page allows.
    wave_->setGeometry(16, 286, width() - 32, std::max(40, height() - 290));
    snapBox_->setGeometry(20, 262, 64, 18); // left of the buttons
    QWidget::resizeEvent(event);
}

namespace {

bool SameRows(const std::vector<mp3core::TSegment> &a, const std::vector<mp3core::TSegment> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto &x, const auto &y) {
        return x.StartMs == y.StartMs && x.EndMs == y.EndMs && x.Ticked == y.Ticked;
    });
}

} // namespace

void TSplitPage::Undoable(const std::vector<mp3core::TSegment> &before)
{
    if (SameRows(before, list_.Rows())) {
        return; // refused, or nothing to change: nothing to undo
    }
    undo_.push_back(before);
    if (undo_.size() > 100) {
        undo_.erase(undo_.begin());
    }
    redo_.clear();
}

bool TSplitPage::Step(std::vector<std::vector<mp3core::TSegment>> &from,
                      std::vector<std::vector<mp3core::TSegment>> &to)
{
    if (from.empty() || running_) {
        return false;
    }
    to.push_back(list_.Rows());
    list_.Restore(std::move(from.back()));
    from.pop_back();
    view_->Show(0);
    return true;
}

bool TSplitPage::Undo()
{
    return Step(undo_, redo_);
}

bool TSplitPage::Redo()
{
    return Step(redo_, undo_);
}
