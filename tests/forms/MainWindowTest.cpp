// The frame: tabs, genre list, exception filter, start-up and the player's display.
#include "Decode.h"
#include "GuiSupport.h"
#include "Recent.h"
#include "io/Errors.h"
#include "tags/MP3TAG.h"

#include <QMenu>
#include <QProcess>
#include <QTabBar>
#include <QToolButton>

using namespace mp3core;

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void TabRowShowsCutAndAboutPlusTheCornerButton()
    {
        TWindows w;
        QTabWidget *tabs = w.ui.PageControl1;
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QString("    分割    "));
        QCOMPARE(tabs->tabText(1), QString()); // hidden: its label would show clipped
        QCOMPARE(tabs->widget(1)->accessibleName(), QString("高级分割"));
        QCOMPARE(tabs->tabText(2), QString("   关于   "));
        QVERIFY(tabs->isTabVisible(0));
        QVERIFY(!tabs->isTabVisible(1));
        QVERIFY(tabs->isTabVisible(2));
        QCOMPARE(tabs->currentIndex(), 0);
        auto *corner = qobject_cast<QToolButton *>(tabs->cornerWidget(Qt::TopRightCorner));
        QVERIFY(corner != nullptr);
        QCOMPARE(PlainText(corner->text()), QString("高级分割"));

        w.main->show();
        w.ui.SpeedButton14->setText("开始");
        w.ui.GroupBoxadv->raise();
        QTest::mouseClick(corner, Qt::LeftButton);
        QCOMPARE(tabs->currentIndex(), 1);
        QVERIFY2(PlainText(w.ui.SpeedButton14->text()) == QString("下一步"), "entering runs 后退");
        QCOMPARE(w.ui.TabSheet2->childAt(30, 30)->objectName().isEmpty(), false);
        QVERIFY2(corner->isChecked(), "the corner button looks selected on its page");
        QTest::mouseClick(corner, Qt::LeftButton);
        QVERIFY(corner->isChecked());
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(0).center());
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(!corner->isChecked());
        QCOMPARE(w.ui.ComboBox1->currentIndex(), -1); // no file yet: no genre shown
    }

    void WindowFrame()
    {
        TWindows w;
        QCOMPARE(w.main->windowTitle(), QString("LirvaneMP3剪切器 1.1.1.051510 Bate"));
        QCOMPARE(w.main->minimumSize(), QSize(490, 317)); // the designed size, the smallest
        QVERIFY2(w.main->maximumSize().height() > 317, "resizable: the waveform takes the room");
        QVERIFY2(TFrm_main().height() > 317, "it opens with room for the waveform");
        QVERIFY(!w.ui.ProgramIcon->pixmap().isNull());
        QVERIFY(!w.main->windowIcon().isNull());
        QCOMPARE(w.ui.Version->text(), QString("Version 1.1.1.051510 Bate"));
        QCOMPARE(w.ui.BuildVersion->text(), QString("mp3cutter " MP3CUT_VERSION));
        QCOMPARE(w.ui.BitBtn3->geometry(), QRect(368, 24, 75, 33));
        QVERIFY2(!w.ui.Label20->geometry().intersects(w.ui.Edit1->geometry()),
                 "the segment length can be read");
        QVERIFY(!w.ui.SpeedButton15->isVisible() && !w.ui.SpeedButton24->isVisible());
    }

    void GenreListHoldsTheTable()
    {
        TWindows w;
        QComboBox *genres = w.ui.ComboBox1;
        QCOMPARE(genres->count(), 115);
        QCOMPARE(genres->itemText(0), QString("Blues"));
        QCOMPARE(genres->itemText(84), QString("Bebob"));
        QCOMPARE(genres->itemText(114), QString("Folklore"));
        QCOMPARE(w.infoUi.ComboBox1->count(), 115);
    }

    void FilterShowsMessagesButSwallowsAccess()
    {
        TFakeDialogs dialogs;
        TWindows w;
        const std::vector<std::pair<QString, bool>> cases = {
            {"Stream read error", true},
            {"Access violation at address 0041F2C3", false},
            {"File access denied", true},
            {"Someone's Access was refused", false},
        };
        for (const auto &[text, shown] : cases) {
            dialogs.Messages.clear();
            RunAsEvent([text = text] { throw Exception(text.toStdString()); });
            QCOMPARE(dialogs.Messages, shown ? QStringList{text} : QStringList{});
        }
        // A real click whose handler raises: no file is open yet.
        dialogs.Messages.clear();
        w.main->show();
        QTest::mouseClick(w.ui.BitBtn1, Qt::LeftButton);
        QCOMPARE(dialogs.Messages, QStringList{"No MCI device open"});
        QVERIFY2(!w.main->Timer1.isActive(), "the handler was abandoned");
    }

    void TimerShowsThePositionOnThePageThatPlays()
    {
        TTempDir dir;
        const auto mp3 = EncodeWithLame(dir, "t", 4.0, 44100, 2, "-b 128");
        TFakeDialogs dialogs;
        TWindows w;
        w.main->show();
        w.main->OpenCutInput(Q(mp3));
        w.main->MediaPlayer1.SetPosition(2345);
        w.main->Timer1Tag = 2;
        w.main->MediaPlayer1.Play();
        w.main->MediaPlayer1.Pause(); // paused: every tick shows the same position
        const int64_t at = w.main->MediaPlayer1.Position();
        w.main->Timer1Timer();
        QCOMPARE(w.ui.Label21->text(), QString::fromStdString(FormatMs("nn:ss.zzz", at)));
        QCOMPARE(w.ui.TrackBar2->value(), int(at / 1000));

        w.ui.TrackBar2->setFocus(); // in focus, as a keyboard leaves it: the display goes on
        w.ui.Label21->clear();
        w.main->Timer1Timer();
        QVERIFY(!w.ui.Label21->text().isEmpty());
        w.ui.TrackBar2->setSliderDown(true);
        w.ui.Label21->clear();
        w.main->Timer1Timer();
        QVERIFY2(w.ui.Label21->text() == QString(), "a held bar stops the display");
        w.ui.TrackBar2->setSliderDown(false);
        w.main->Timer1Tag = 1;
        w.main->Timer1Timer();
        QCOMPARE(w.ui.Label14->text(), QString::fromStdString(FormatMs("nn:ss.zzz", at)));

        w.main->MediaPlayer1.SetPosition(0); // stopped: the next tick ends the timer
        w.main->Timer1.start();
        w.main->Timer1Timer();
        QVERIFY(!w.main->Timer1.isActive());
    }

    void DraggingTheBarSeeksAndPlaysOn()
    {
        TTempDir dir;
        const auto mp3 = EncodeWithLame(dir, "t", 4.0, 44100, 2, "-b 128");
        TFakeDialogs dialogs;
        TWindows w;
        w.main->show();
        w.main->OpenCutInput(Q(mp3));
        TMediaPlayer &player = w.main->MediaPlayer1;

        w.ui.TrackBar2->setValue(2); // moved by code: no seek
        QCOMPARE(player.Position(), int64_t(0));

        w.ui.TrackBar2->setSliderPosition(3); // dragged there, stopped: seeks and stays
        QCOMPARE(player.Position(), int64_t(3000));
        QCOMPARE(player.Mode(), int(TMediaPlayer::mpStopped));

        player.SetPosition(0);
        player.Play();
        w.ui.TrackBar2->setSliderPosition(1); // playing: seeks and plays on
        QCOMPARE(player.Mode(), int(TMediaPlayer::mpPlaying));
        QTRY_VERIFY(player.Position() > 1000);
    }

    void WithoutADisplayTheProgramSaysSo()
    {
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        app.setProcessEnvironment(env);
        app.start(MP3CUTTER_BINARY, {});
        QVERIFY(app.waitForFinished(20000));
        QVERIFY(app.exitCode() != 0);
        const QString err = QString::fromUtf8(app.readAllStandardError()).trimmed();
        QVERIFY2(err.contains("no display"), qPrintable(err));
        QCOMPARE(err.count('\n'), 0);
    }
    void DialogsStartHiddenAndClosingTheWindowEndsTheProgram()
    {
        TWindows w;
        QVERIFY(!w.info->isVisible());
        QVERIFY(!w.addspecial->isVisible());
        QCOMPARE(w.info->windowTitle(), QString("ID3 TAG信息"));
        QCOMPARE(w.addspecial->windowTitle(), QString("高级"));
        w.main->show();
        QTimer::singleShot(0, w.main.get(), [&] { w.main->close(); });
        QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(2); });
        QCOMPARE(QCoreApplication::exec(), 0); // the loop ends with the window
    }

    // What the window remembers survives a restart: its place, the input folder, the recent
    // files, the Split page's folder, method and settings.
    void ChoicesSurviveARestart()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        const QString a = Q(FramesFile(dir, "a.mp3", 3));
        const QString b = Q(FramesFile(dir, "b.mp3", 3));
        const QString out = Q(dir.Path());
        const std::pair<const char *, QString> fields[] = {
            {"SpinEdit4", "90"},   {"SpinEdit15", "5"},   {"SpinEdit5", "2048"},
            {"SpinEdit12", "-40"}, {"SpinEdit13", "700"}, {"SpinEdit14", "12"},
            {"SpinEdit16", "3"}};
        QPoint place;
        {
            TWindows w;
            w.main->show();
            w.main->move(123, 77);
            place = w.main->pos();
            dialogs.OpenAnswers = {a};
            w.main->SpeedButton1Click();
            w.split->OpenSplitInput(b);
            dialogs.FolderAnswers = {out};
            w.split->SpeedButton25Click();
            w.ui.RadioButton4->setChecked(true);
            for (const auto &[name, text] : fields) {
                Control<TSpinEdit>(*w.main, name)->SetText(text);
            }
            Control<QCheckBox>(*w.main, "CheckBox2")->setChecked(true);
            w.main->close();
        }
        TWindows w(true);
        QVERIFY(w.main->RestorePlace());
        w.main->show();
        QCOMPARE(w.main->pos(), place);
        QCOMPARE(w.ui.Edit10->text(), out);
        QVERIFY(w.ui.RadioButton4->isChecked());
        for (const auto &[name, text] : fields) {
            QCOMPARE(Control<TSpinEdit>(*w.main, name)->Text(), text);
        }
        QVERIFY(Control<QCheckBox>(*w.main, "CheckBox2")->isChecked());
        dialogs.OpenAnswers = {""};
        w.main->SpeedButton1Click();
        QCOMPARE(dialogs.LastOpenFolder, out); // the folder of the file opened last
        dialogs.FolderAnswers = {""};
        w.split->SpeedButton25Click();
        QCOMPARE(dialogs.LastFolderStart, out);

        // The recent files, newest first, in the drop-down of either page; eight at most.
        QCOMPARE(RecentFiles(), (QStringList{b, a}));
        auto *recent = Control<QToolButton>(*w.main, "RecentButton1");
        emit recent->menu()->aboutToShow();
        const QList<QAction *> entries = recent->menu()->actions();
        QCOMPARE(entries.size(), 2);
        QVERIFY(entries[0]->text().startsWith("b.mp3"));
        entries[1]->trigger();
        QCOMPARE(w.ui.Edit1->text(), a);
        QCOMPARE(RecentFiles().first(), a);
        for (int i = 0; i < 10; ++i) {
            AddRecentFile(QString("/nowhere/%1.mp3").arg(i));
        }
        QCOMPARE(RecentFiles().size(), RecentCount);
        QCOMPARE(RecentFiles().first(), QString("/nowhere/9.mp3"));
    }
};

GUI_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
