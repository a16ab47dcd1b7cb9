// What the window tells: a split's count while it runs, the report at the end with the way to
// the folder, the rows with texts of their own, the marked range played, and no silent end.
#include "Decode.h"
#include "GuiSupport.h"

#include <QIcon>
#include <QMessageBox>
#include <QToolButton>

namespace fs = std::filesystem;
using namespace mp3core;

class FeedbackTest : public QObject
{
    Q_OBJECT

private slots:
    // "n / N" beside the bar; at the end the parts and their folder, which one button opens.
    void SplitCountsItsPartsAndShowsTheFolder()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        fs::create_directory(dir / "out");
        w.split->OpenSplitInput(Q(FramesFile(dir, "in.mp3", 10)));
        w.ui.RadioButton2->setChecked(true);
        w.split->SpeedButton14Click();
        w.ui.SpinEdit4->SetText("2");
        w.ui.Edit10->setText(Q(dir / "out"));
        dialogs.OpenFolderAnswers = {true};
        w.split->SpeedButton14Click(); // plans, then splits
        QTRY_VERIFY(w.split->Running() &&
                    Control<QLabel>(*w.main, "Label40")->text().endsWith(" / 5"));
        WaitIdle(w);
        QCOMPARE(Control<QLabel>(*w.main, "Label40")->text(), QString("5 / 5"));
        QCOMPARE(dialogs.Messages,
                 QStringList{Expected::Done + "\n已写入 5 个片段到 " + Q(dir / "out")});
        QCOMPARE(dialogs.Opened, QStringList{Q(dir / "out")});

        // Another job (a new plan by size) shows the bar alone.
        w.split->OpenSplitInput(Q(dir / "in.mp3"));
        QCOMPARE(Control<QLabel>(*w.main, "Label40")->text(), QString());
    }

    // A cut names its output and its length; the folder opens only when asked.
    void CutNamesItsOutputAndLength()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.main->OpenCutInput(Q(FramesFile(dir, "in.mp3", 10)));
        TypeRange(w.ui, "0:01.000", "0:03.500");
        dialogs.OpenFolderAnswers = {false};
        w.main->BitBtn3Click();
        WaitIdle(w);
        const QString out = Q(dir / "in_片段.mp3");
        QCOMPARE(dialogs.Messages, QStringList{Expected::Done + "\n" + out + "（长度 00:02.500）"});
        QVERIFY(dialogs.Opened.isEmpty());
        dialogs.OpenFolderAnswers = {true};
        w.main->BitBtn3Click();
        WaitIdle(w);
        QCOMPARE(dialogs.Opened, QStringList{Q(dir.Path())});
    }

    // Rows whose part has texts of its own carry a mark, and a screen reader hears it.
    void TaggedRowsAreMarked()
    {
        TFakeDialogs dialogs;
        TWindows w;
        w.split->ShowFile(180000);
        w.split->additem(60000);
        w.split->additem(120000);
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1));
        w.split->ListView2DblClick();
        w.infoUi.Edit2->setText("Second");
        QTest::mouseClick(w.infoUi.SpeedButton2, Qt::LeftButton);
        for (int row = 0; row < 3; ++row) {
            QTreeWidgetItem *item = w.ui.ListView2->topLevelItem(row);
            QCOMPARE(!item->icon(0).isNull(), row == 1);
            QCOMPARE(item->data(0, Qt::AccessibleDescriptionRole).toString(),
                     row == 1 ? QString("有自己的标签：Second") : QString());
        }
    }

    // 播放 plays the marked range from outside it and stops at its end; a second press pauses.
    void PlayPlaysTheMarkedRange()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.main->OpenCutInput(Q(EncodeWithLame(dir, "p", 4.0, 44100, 2, "-b 64")));
        TMediaPlayer &player = w.main->MediaPlayer1;
        TypeRange(w.ui, "0:01.000", "0:01.400");
        w.main->BitBtn1Click(); // at 0: outside, so from the start of the range
        QCOMPARE(player.Mode(), int(TMediaPlayer::mpPlaying));
        QVERIFY(player.Position() >= 1000);
        w.main->BitBtn1Click();
        QCOMPARE(player.Mode(), int(TMediaPlayer::mpPaused));
        w.main->BitBtn1Click(); // within the range: on to its end
        QCOMPARE(player.Mode(), int(TMediaPlayer::mpPlaying));
        QTRY_COMPARE_WITH_TIMEOUT(player.Mode(), int(TMediaPlayer::mpStopped), 20000);
        QVERIFY2(std::abs(player.Position() - 1400) <= 30,
                 qPrintable(QString::number(player.Position())));

        player.SetPosition(3000); // past the range: it plays from its start again
        w.main->BitBtn1Click();
        QVERIFY(player.Position() >= 1000 && player.Position() < 1400);
    }

    // No end without a word: no player for MP3 files, "下一步" without a file, the position of
    // a file opened after another.
    void NoSilentEnds()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.split->SpeedButton14Click();
        QCOMPARE(dialogs.Messages, QStringList{MsgNoInput()});
        QVERIFY(PlainText(w.ui.SpeedButton14->text()) == "下一步");

        dialogs.Messages.clear();
        const QString in = Q(FramesFile(dir, "in.mp3", 4));
        w.main->OpenCutInput(in);
        w.main->BitBtn3Click();
        WaitIdle(w);
        dialogs.Messages.clear();
        dialogs.DesktopHasPlayer = false;
        w.main->BitBtn4Click();
        QCOMPARE(dialogs.Messages.size(), 1);
        QVERIFY(dialogs.Messages[0].contains("没有可以播放MP3文件的程序"));
        QVERIFY(dialogs.Messages[0].contains(Q(dir / "in_片段.mp3")));

        w.split->OpenSplitInput(in);
        w.split->ShowPosition(2500); // as the timer leaves it while a file plays
        w.split->OpenSplitInput(Q(FramesFile(dir, "other.mp3", 6)));
        QCOMPARE(w.ui.Label14->text(), QString("00:00.000"));
        QCOMPARE(w.ui.TrackBar1->value(), 0);
        w.split->ShowPosition(2500);
        w.main->OpenCutInput(in); // the player takes the Cut page's file
        QCOMPARE(w.ui.Label14->text(), QString("00:00.000"));
    }

    // In the window's font, every caption, label and number shows whole on every step, and a
    // message box is as wide as its title.
    void TextsShowWhole()
    {
        QApplication::setFont(TApplication::WindowFont());
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.main->show();
        w.split->OpenSplitInput(Q(FramesFile(dir, "in.mp3", 5)));
        const QStringList cut = TextsCutShort(w);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
        // The list's columns fit beside the check boxes, a three-hour file's times included.
        w.split->ShowFile(3 * 3600 * 1000);
        QTreeWidget *list = w.ui.ListView2;
        int columns = 0;
        for (int c = 0; c < list->columnCount(); ++c) {
            columns += list->columnWidth(c);
        }
        QVERIFY2(columns <= list->viewport()->width(), qPrintable(QString::number(columns)));

        const auto box = TDialogs::Box(nullptr, "OK");
        QVERIFY(box->sizeHint().width() >=
                box->fontMetrics().horizontalAdvance(box->windowTitle()) + 160);
    }
};

GUI_TEST_MAIN(FeedbackTest)
#include "FeedbackTest.moc"
