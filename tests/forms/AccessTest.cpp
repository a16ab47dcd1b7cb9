// The windows for a keyboard and a screen reader: Tab in reading order through every control,
// the shortcuts, access keys and the names a screen reader reads.
#include "Decode.h"
#include "GuiSupport.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QDialogButtonBox>
#include <QTabBar>
#include <QToolButton>

#include <set>

namespace fs = std::filesystem;
using namespace mp3core;

namespace {

QToolButton *Corner(const TMainControls &ui)
{
    return qobject_cast<QToolButton *>(ui.PageControl1->cornerWidget(Qt::TopRightCorner));
}

// The controls that Tab reaches from first on, as a user presses it, until it comes round.
QStringList TabWalk(QWidget *window, QWidget *first)
{
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window)) {
        qFatal("the window does not become active");
    }
    first->setFocus(Qt::TabFocusReason);
    QStringList names;
    for (int i = 0; i < 80; ++i) {
        QWidget *at = QApplication::focusWidget();
        names.append(at->objectName());
        QTest::keyClick(at, Qt::Key_Tab);
        if (QApplication::focusWidget() == first) {
            break;
        }
    }
    return names;
}

// The access key of a caption ("开始剪切(&C)" has C), or 0.
QChar AccessKey(const QString &caption)
{
    const qsizetype at = caption.indexOf('&');
    return at >= 0 && at + 1 < caption.size() ? caption[at + 1].toUpper() : QChar();
}

QString AccessibleName(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}

} // namespace

class AccessTest : public QObject
{
    Q_OBJECT

private slots:
    // Tab goes through every control of a page, buttons included, in reading order.
    void TabReachesEveryControlInReadingOrder()
    {
        TTempDir dir;
        TWindows w;
        const QStringList window = {"qt_tabwidget_tabbar",
                                    "SplitPageButton"}; // the tab row, then its corner
        QStringList cut = {
            "SpeedButton3", "SpinEdit6",    "SpinEdit7",     "SpinEdit8",   "BitBtn3",
            "SpeedButton4", "SpinEdit9",    "SpinEdit10",    "SpinEdit11",  "BitBtn4",
            "CheckBox1",    "GainEdit",     "FadeInEdit",    "FadeOutEdit", "NormalizeBox",
            "Edit1",        "SpeedButton1", "RecentButton1", "Edit11",      "SpeedButton2",
            "BitBtn1",      "BitBtn2",      "TrackBar2",     "SnapBox1",    "WaveView1"};
        QCOMPARE(TabWalk(w.main.get(), w.ui.SpeedButton3), cut + window);

        w.split->OpenSplitInput(Q(FramesFile(dir, "s.mp3", 5)));
        w.ui.PageControl1->setCurrentIndex(1);
        const QStringList bottom = {"SpeedButton13", "SpeedButton14"};
        const QStringList step1 = {"Edit7", "Edit8", "SpeedButton11", "RecentButton2",
                                   "Edit2", "Edit5", "Edit3",         "ComboBox1",
                                   "Edit4", "Edit6", "Memo1",         "RadioButton1"};
        QCOMPARE(TabWalk(w.main.get(), w.ui.Edit7), step1 + bottom + window);
        const QStringList output = {"Edit9",      "Edit10",      "SpeedButton25", "GainEdit",
                                    "FadeInEdit", "FadeOutEdit", "NormalizeBox"};
        const struct
        {
            QRadioButton *method;
            QStringList controls;
        } steps[] = {
            {w.main->findChild<QRadioButton *>("RadioButton1"),
             {"ListView2", "SpeedButton23", "TrackBar1", "SpeedButton17", "SpeedButton18",
              "SpinEdit1", "SpinEdit2", "SpinEdit3", "SpeedButton12", "SpeedButton19"}},
            {w.ui.RadioButton2, {"SpinEdit4", "SpinEdit15", "SpinEdit16"}},
            {w.ui.RadioButton4, {"SpinEdit12", "SpinEdit13", "SpinEdit14", "CheckBox2"}},
            {w.ui.RadioButton3, {"SpinEdit5"}},
        };
        for (const auto &step : steps) {
            w.split->SpeedButton13Click();
            step.method->setChecked(true);
            w.split->SpeedButton14Click();
            // The list's step has the waveform below the buttons, its snapping at their left.
            const bool list = step.controls[0] == "ListView2";
            const QStringList snap = list ? QStringList{"SnapBox2"} : QStringList{};
            const QStringList wave = list ? QStringList{"WaveView2"} : QStringList{};
            QCOMPARE(TabWalk(w.main.get(), Control<QWidget>(*w.main, qPrintable(step.controls[0]))),
                     step.controls + output + snap + bottom + QStringList{"SpeedButtonChapters"} +
                         wave + window);
        }

        // The tag dialog: its fields row by row, then its three buttons; Return confirms.
        OneRow(w);
        w.split->ListView2DblClick();
        const QStringList tag = {"Edit2", "Edit5",        "Edit3",        "ComboBox1",   "Edit4",
                                 "Edit6", "SpeedButton1", "SpeedButton2", "SpeedButton3"};
        QCOMPARE(TabWalk(w.info.get(), w.infoUi.Edit2), tag);
        w.infoUi.Edit2->setFocus();
        w.infoUi.Edit2->setText("by Return");
        QTest::keyClick(w.infoUi.Edit2, Qt::Key_Return);
        QVERIFY(!w.info->isVisible());
        QCOMPARE(w.split->Segments()[0].Tag->Title, std::string("by Return"));
    }

    // Every button has an access key of its own on its page ("..." through its label); the
    // key presses it.
    void AccessKeysAreUniqueAndPress()
    {
        TWindows w;
        for (QWidget *page : {w.ui.TabSheet1, w.ui.TabSheet2}) {
            std::set<QChar> keys = {AccessKey(Corner(w.ui)->text())};
            QList<QAbstractButton *> buttons = page->findChildren<QAbstractButton *>();
            // The recent files' drop-down has no caption: its key is Alt+H.
            for (QAbstractButton *b : page->findChildren<QToolButton *>()) {
                QCOMPARE(b->shortcut(), QKeySequence("Alt+H"));
                QVERIFY(keys.insert('H').second);
                buttons.removeOne(b);
            }
            for (QLabel *label : page->findChildren<QLabel *>()) {
                if (!AccessKey(label->text()).isNull()) {
                    QVERIFY2(keys.insert(AccessKey(label->text())).second,
                             qPrintable(label->text()));
                    buttons.removeOne(qobject_cast<QAbstractButton *>(label->buddy()));
                }
            }
            for (QAbstractButton *b : buttons) {
                if (b->objectName() == "SpeedButton24" || b->objectName() == "SpeedButton15") {
                    continue; // never shown: "下一步"/"开始" and the planner run them
                }
                const QChar key = AccessKey(b->text());
                QVERIFY2(!key.isNull(), qPrintable(b->objectName()));
                QVERIFY2(keys.insert(key).second, qPrintable(b->objectName()));
            }
        }
        for (QWidget *dialog : std::initializer_list<QWidget *>{w.info.get(), w.addspecial.get()}) {
            for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>()) {
                QVERIFY2(!AccessKey(b->text()).isNull(), qPrintable(b->objectName()));
            }
        }

        // Alt+I: the input's "..." through its label; Alt+V: the Split page.
        TFakeDialogs dialogs;
        w.main->show();
        w.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.main.get()));
        QTest::keyClick(w.main.get(), Qt::Key_I, Qt::AltModifier);
        QVERIFY2(dialogs.OpenAnswers.empty() && w.ui.Edit1->text().isEmpty(), "dialog asked");
        dialogs.OpenAnswers.push_back("");
        QTest::keyClick(w.main.get(), Qt::Key_I, Qt::AltModifier);
        QTRY_VERIFY(dialogs.OpenAnswers.empty());
        QTest::keyClick(w.main.get(), Qt::Key_V, Qt::AltModifier);
        QTRY_COMPARE(w.ui.PageControl1->currentIndex(), 1);
    }

    // Ctrl+O, Space, Delete, Return in the time fields and Escape, as the About page lists them.
    void Shortcuts()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.main->show();
        w.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.main.get()));
        const auto press = [&](int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
        };

        // Ctrl+O opens on the page in front.
        const QString first = Q(EncodeWithLame(dir, "first", 4.0, 44100, 2, "-b 64"));
        dialogs.OpenAnswers = {first};
        w.ui.TrackBar2->setFocus();
        press(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(w.ui.Edit1->text(), first);
        w.ui.PageControl1->setCurrentIndex(1);
        dialogs.OpenAnswers = {first};
        w.ui.Edit7->setFocus();
        press(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(w.ui.Edit7->text(), QString("first.mp3"));
        const QString keys = Control<QLabel>(*w.main, "KeysLabel")->text();
        for (const char *key : {"Ctrl+O", "Space", "Delete", "Enter", "Esc", "Ctrl+Tab", "Alt+"}) {
            QVERIFY2(keys.contains(key), key); // the About page lists them
        }

        // Space plays and pauses where the focus has no use for it.
        w.ui.PageControl1->setCurrentIndex(0);
        w.ui.TrackBar2->setFocus();
        press(Qt::Key_Space);
        QCOMPARE(w.main->MediaPlayer1.Mode(), int(TMediaPlayer::mpPlaying));
        press(Qt::Key_Space);
        QCOMPARE(w.main->MediaPlayer1.Mode(), int(TMediaPlayer::mpPaused));
        press(Qt::Key_Right); // the bar's keys move the player, second by second
        QCOMPARE(w.main->MediaPlayer1.Position(), 1000);
        const bool keep = w.ui.CheckBox1->isChecked();
        const int mode = w.main->MediaPlayer1.Mode();
        w.ui.CheckBox1->setFocus(); // a check box keeps Space: it ticks
        press(Qt::Key_Space);
        QCOMPARE(w.ui.CheckBox1->isChecked(), !keep);
        QCOMPARE(w.main->MediaPlayer1.Mode(), mode);
        w.ui.PageControl1->setCurrentIndex(1);
        w.split->SpeedButton14Click();
        w.ui.TrackBar1->setFocus();
        press(Qt::Key_Space);
        QCOMPARE(w.main->MediaPlayer1.Mode(), int(TMediaPlayer::mpPlaying));
        press(Qt::Key_Space);
        QCOMPARE(w.main->MediaPlayer1.Mode(), int(TMediaPlayer::mpPaused));

        // Return in the time fields adds the time; Delete removes the selected row.
        w.ui.SpinEdit2->setFocus();
        w.ui.SpinEdit2->SetText("2");
        press(Qt::Key_Return);
        QCOMPARE(w.ui.ListView2->topLevelItemCount(), 2);
        QCOMPARE(w.ui.ListView2->topLevelItem(1)->text(0), QString("00:02.000"));
        w.ui.ListView2->setFocus();
        press(Qt::Key_Delete);
        QCOMPARE(w.ui.ListView2->topLevelItemCount(), 1);

        // Return in a Cut page field: the range takes it, the player goes there.
        w.ui.PageControl1->setCurrentIndex(0);
        w.ui.SpinEdit7->setFocus();
        w.ui.SpinEdit7->SetText("75"); // over the range: pulled to 60 as on leaving
        press(Qt::Key_Enter);
        QCOMPARE(w.ui.SpinEdit7->Text(), QString("60"));
        w.ui.SpinEdit7->SetText("1");
        press(Qt::Key_Return);
        QCOMPARE(w.main->MediaPlayer1.Position(), 1000);
        QCOMPARE(w.ui.TrackBar2->SelStart(), 1);

        // Escape stops a running split.
        w.ui.PageControl1->setCurrentIndex(1);
        w.split->SpeedButton13Click();
        w.ui.RadioButton2->setChecked(true);
        w.split->SpeedButton14Click();
        w.ui.SpinEdit4->SetText("1");
        w.ui.Edit10->setText(Q(dir.Path()));
        w.split->SpeedButton14Click();
        QVERIFY(w.split->Running());
        press(Qt::Key_Escape);
        WaitIdle(w);
        QVERIFY2(dialogs.Messages.last().startsWith("已停止"), qPrintable(dialogs.Messages.last()));

        // Escape stops a running cut: nothing is written, nothing said.
        w.ui.PageControl1->setCurrentIndex(0);
        w.main->OpenCutInput(Q(FramesFile(dir, "long.mp3", 600))); // 9.6 MB: told in steps
        TypeRange(w.ui, "0:00.000", "10:00.000");
        dialogs.Messages.clear();
        w.ui.BitBtn3->setFocus();
        w.main->BitBtn3Click();
        QVERIFY(w.main->CutRunning());
        press(Qt::Key_Escape);
        WaitIdle(w);
        QVERIFY(dialogs.Messages.isEmpty());
        QVERIFY(!fs::exists(dir / "long_片段.mp3"));

        // Ctrl+Tab goes through the pages, the Split page included (its button goes down).
        w.ui.TrackBar2->setFocus();
        for (int page : {1, 2, 0}) {
            press(Qt::Key_Tab, Qt::ControlModifier);
            QCOMPARE(w.ui.PageControl1->currentIndex(), page);
            QCOMPARE(Corner(w.ui)->isChecked(), page == 1);
        }
    }

    // A screen reader's Toggle on "高级分割" opens the Split page, and cannot raise the button
    // while the page is in front.
    void ToggleActionOpensTheSplitPage()
    {
        TWindows w;
        w.main->show();
        QAccessibleInterface *corner = QAccessible::queryAccessibleInterface(Corner(w.ui));
        QAccessibleActionInterface *actions = corner->actionInterface();
        QVERIFY(actions != nullptr);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
        actions->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(w.ui.PageControl1->currentIndex(), 1);
        QVERIFY(Corner(w.ui)->isChecked());
        actions->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(w.ui.PageControl1->currentIndex(), 1);
        QVERIFY2(Corner(w.ui)->isChecked(), "down while its page is in front");
        w.ui.PageControl1->setCurrentIndex(0);
        QVERIFY(!Corner(w.ui)->isChecked());
    }

    // Every control is read by the name of its label; none is nameless.
    void EveryControlHasItsLabelsName()
    {
        TFakeDialogs dialogs;
        TWindows w;
        const std::pair<QWidget *, QString> expected[] = {
            {w.ui.SpinEdit6, "起点 分"},
            {w.ui.SpinEdit8, "起点 毫秒"},
            {w.ui.SpinEdit10, "终点 秒"},
            {w.ui.Edit1, "输入文件"},
            {w.ui.Edit11, "输出文件"},
            {w.ui.SpeedButton1, "选择输入文件"},
            {w.ui.BitBtn3, "开始剪切"},
            {w.ui.Edit2, "标题"},
            {w.ui.Edit3, "艺术家"},
            {w.ui.Edit4, "专辑"},
            {w.ui.Edit5, "年份"},
            {w.ui.ComboBox1, "类型"},
            {w.ui.Edit6, "备注"},
            {w.ui.Edit7, "MP3文件"},
            {w.ui.SpinEdit4, "分割时长（秒）"},
            {w.ui.SpinEdit5, "分割尺寸（KB）"},
            {w.ui.Edit9, "目标文件名"},
            {w.ui.SpeedButton14, "下一步"},
            {w.infoUi.Edit4, "Album"},
            {w.infoUi.SpeedButton2, "确定"},
        };
        for (const auto &[control, name] : expected) {
            QCOMPARE(AccessibleName(control), name);
        }
        w.split->SpeedButton14Click(); // no file: stays, but the caption is read as written
        for (QWidget *root :
             std::initializer_list<QWidget *>{w.main.get(), w.info.get(), w.addspecial.get()}) {
            for (QWidget *c : root->findChildren<QWidget *>()) {
                if (c->focusPolicy() & Qt::TabFocus && c->focusProxy() == nullptr &&
                    !c->objectName().isEmpty() && !c->objectName().startsWith("qt_")) {
                    QVERIFY2(!AccessibleName(c).isEmpty(), qPrintable(c->objectName()));
                    QVERIFY2(!AccessibleName(c).contains('&'), qPrintable(AccessibleName(c)));
                }
            }
        }
    }

    // Qt's own buttons speak the window's language: the system's, or Chinese without one.
    void QtTextsInTheSystemsLanguage()
    {
        auto *app = qobject_cast<TApplication *>(QCoreApplication::instance());
        const struct
        {
            QLocale system;
            bool loaded;
            QString cancel;
        } cases[] = {
            {QLocale(QLocale::Chinese, QLocale::China), true, "取消"},
            {QLocale::c(), true, "取消"}, // unset or C: the window's Chinese
            {QLocale(QLocale::German, QLocale::Germany), true, "Abbrechen"},
            {QLocale(QLocale::English, QLocale::UnitedStates), false, "Cancel"},
        };
        for (const auto &c : cases) {
            QCOMPARE(app->LoadQtTranslations(c.system), c.loaded);
            QDialogButtonBox box(QDialogButtonBox::Cancel);
            QCOMPARE(PlainText(box.button(QDialogButtonBox::Cancel)->text()), c.cancel);
        }
        app->LoadQtTranslations(QLocale::c());
    }

private:
    static void OneRow(TWindows &w) { w.split->ShowFile(180000); }
};

GUI_TEST_MAIN(AccessTest)
#include "AccessTest.moc"
