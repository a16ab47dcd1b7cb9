// The Split page: the segment list, both planners, the wizard and full runs.
#include "Decode.h"
#include "GuiSupport.h"
#include "format/MPEGAFHdr.h"
#include "jobs/JobOutcome.h"
#include "jobs/SplitJob.h"
#include "plan/SplitPlanner.h"
#include "tags/MP3TAG.h"
#include "tags/TextCodec.h"
#include "widgets/SpinEdit.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QMenu>

#include <cmath>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

using Expected::BadStep;
using Expected::Busy;
using Expected::Done;
using Expected::Exists;
using Expected::NoFrame;
using Expected::NoRows;

// The rows as "start-end length" texts, for comparing whole lists at once.
QStringList Rows(const TMainControls &ui)
{
    QStringList rows;
    for (int i = 0; i < ui.ListView2->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *r = ui.ListView2->topLevelItem(i);
        rows.append(r->text(0) + "-" + r->text(1) + " " + r->text(2));
    }
    return rows;
}

// A mono recording of seconds of tone with the given stretches (from, to, in s) silent, encoded
// by lame at 64 kbps as talk.mp3.
fs::path Talk(const TTempDir &dir, double seconds, std::vector<std::pair<double, double>> quiet)
{
    std::vector<int16_t> samples;
    for (int i = 0; i < int(seconds * 44100); ++i) {
        const bool silent = std::any_of(quiet.begin(), quiet.end(), [&](const auto &q) {
            return i >= int(q.first * 44100) && i < int(q.second * 44100);
        });
        samples.push_back(silent ? 0 : int16_t(9000 * std::sin(i * 0.0627)));
    }
    return EncodeSamplesWithLame(dir, "talk", samples, 44100, 1, "-b 64");
}

int Selected(const TMainControls &ui)
{
    return ui.ListView2->indexOfTopLevelItem(ui.ListView2->currentItem());
}

// A list of one row over a file of the given length, without opening a file.
void OneRow(TWindows &w, int64_t length)
{
    w.split->ShowFile(length);
}

// The parts as a gapless player plays them, one after the other.
std::vector<int16_t> Joined(const std::vector<fs::path> &parts)
{
    std::vector<int16_t> all;
    for (const auto &p : parts) {
        const std::vector<int16_t> s = GaplessSamples(p);
        all.insert(all.end(), s.begin(), s.end());
    }
    return all;
}

// The samples of a stereo 44.1 kHz file from fromMs to toMs (or its end).
std::vector<int16_t> SamplesOf(const fs::path &file, int64_t fromMs, int64_t toMs = 1 << 30)
{
    const std::vector<int16_t> all = GaplessSamples(file);
    const auto at = [&](int64_t ms) { return std::min(all.size(), size_t(ms * 441 / 10) * 2); };
    return std::vector<int16_t>(all.begin() + long(at(fromMs)), all.begin() + long(at(toMs)));
}

} // namespace

class SplitPageTest : public QObject
{
    Q_OBJECT

private slots:
    void CutPointsSplitTheRowThatHoldsThem()
    {
        TFakeDialogs dialogs;
        TWindows w;
        OneRow(w, 180000);
        w.split->additem(60000);
        QCOMPARE(Rows(w.ui),
                 (QStringList{"00:00.000-01:00.000 01:00.000", "01:00.000-03:00.000 02:00.000"}));
        QCOMPARE(Selected(w.ui), 1);
        QCOMPARE(w.ui.TrackBar1->SelStart(), 60);
        QCOMPARE(w.ui.TrackBar1->SelEnd(), 180);
        w.ui.ListView2->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        w.split->additem(30000); // inside the first row: the new row goes right after it
        QCOMPARE(Rows(w.ui).at(1), QString("00:30.000-01:00.000 00:30.000"));
        QCOMPARE(w.ui.ListView2->topLevelItem(1)->checkState(0), Qt::Unchecked);
        QCOMPARE(Selected(w.ui), 1);
        for (int64_t t : {0, 60000, 180000}) {
            dialogs.Messages.clear();
            w.split->additem(t);
            QCOMPARE(dialogs.Messages, QStringList{Exists});
        }
        dialogs.Messages.clear();
        w.split->additem(200000); // past the end: ignored without a word
        QCOMPARE(dialogs.Messages, QStringList{});
        QCOMPARE(Rows(w.ui).size(), 3);
    }

    void ThousandsOfPartsTileTheFile()
    {
        TFakeDialogs dialogs;
        TWindows w;
        OneRow(w, 144000000); // a 40-hour recording, every minute a part
        w.ui.SpinEdit4->SetText("60");
        w.split->SpeedButton15Click();
        WaitIdle(w);
        QTreeWidget *list = w.ui.ListView2;
        QCOMPARE(list->topLevelItemCount(), 2400);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *r = list->topLevelItem(i);
            QCOMPARE(r->text(0), QString::fromStdString(FormatMs("nn:ss.zzz", int64_t(i) * 60000)));
            QCOMPARE(r->text(2), QString("01:00.000"));
        }
        QCOMPARE(list->topLevelItem(2399)->text(1), QString("2400:00.000"));
        w.split->additem(1234567); // lands in the right row among thousands
        QCOMPARE(list->topLevelItem(20)->text(1), QString("20:34.567"));
        QCOMPARE(list->topLevelItem(21)->text(0), QString("20:34.567"));
        w.split->additem(-60000); // before every row: nothing
        QCOMPARE(dialogs.Messages, QStringList{});
        QCOMPARE(list->topLevelItemCount(), 2401);
    }

    void TimesPastAnHourKeepTheirMinutes()
    {
        TFakeDialogs dialogs;
        TWindows w;
        OneRow(w, 4000000); // 66:40.000
        w.split->additem(3700000);
        w.split->additem(1800000);
        QCOMPARE(Rows(w.ui),
                 (QStringList{"00:00.000-30:00.000 30:00.000", "30:00.000-61:40.000 31:40.000",
                              "61:40.000-66:40.000 05:00.000"}));
        w.ui.SpinEdit1->SetText("65");
        w.ui.SpinEdit2->SetText("0");
        w.ui.SpinEdit3->SetText("5");
        QTest::mouseClick(w.ui.SpeedButton12, Qt::LeftButton);
        QCOMPARE(Rows(w.ui).at(3), QString("65:00.005-66:40.000 01:39.995"));

        // Three hours: every column holds "180:00.000" whole.
        OneRow(w, 10800000);
        const int needed = w.ui.ListView2->fontMetrics().horizontalAdvance("180:00.000");
        for (int column = 0; column < 3; ++column) {
            QVERIFY(w.ui.ListView2->columnWidth(column) > needed);
        }
    }

    void DeletingMergesIntoTheNeighbour()
    {
        TFakeDialogs dialogs;
        TWindows w;
        OneRow(w, 300000);
        for (int64_t t : {60000, 120000, 180000, 240000}) {
            w.split->additem(t);
        }
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(0));
        w.split->N1Click(); // the first row: the second takes its start
        QCOMPARE(Rows(w.ui).at(0), QString("00:00.000-02:00.000 02:00.000"));
        QCOMPARE(Selected(w.ui), 0);
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(3));
        w.split->N1Click(); // the last row: the one before takes its end
        QCOMPARE(Rows(w.ui).last(), QString("03:00.000-05:00.000 02:00.000"));

        w.ui.ListView2->clearSelection();
        w.ui.ListView2->setCurrentItem(nullptr);
        w.split->N2Click();
        QVERIFY2(Rows(w.ui).size() == 3, "no selected row: nothing merges");
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1));
        w.split->N2Click();
        QCOMPARE(Rows(w.ui), QStringList{"00:00.000-05:00.000 05:00.000"});
        QCOMPARE(Selected(w.ui), 0);
    }

    void SelectionSetsThePreviewRangeUnlessPlaying()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.split->OpenSplitInput(Q(EncodeWithLame(dir, "s", 6.0, 44100, 2, "-b 64")));
        w.split->additem(2999);
        QCOMPARE(w.ui.TrackBar1->SelStart(), 2);
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(0));
        QCOMPARE(w.ui.TrackBar1->SelStart(), 0);
        QCOMPARE(w.ui.TrackBar1->SelEnd(), 2);
        w.main->MediaPlayer1.Play();
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1));
        QVERIFY2(w.ui.TrackBar1->SelEnd() == 2, "kept while playing");

        w.main->MediaPlayer1.SetPosition(0); // stopped: the selection follows again
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(0));
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1));
        QCOMPARE(w.ui.TrackBar1->SelStart(), 2);
        QTest::mouseClick(w.ui.SpeedButton19, Qt::LeftButton); // preview the range 2 s to 6 s
        QCOMPARE(w.main->MediaPlayer1.Mode(), int(TMediaPlayer::mpPlaying));
        QVERIFY(w.main->MediaPlayer1.Position() >= 2000);
    }

    void PagePlannerByTimeAndBySize()
    {
        TFakeDialogs dialogs;
        TWindows w;
        OneRow(w, 150000);
        w.ui.SpinEdit4->SetText("60");
        w.split->SpeedButton15Click();
        WaitIdle(w);
        QCOMPARE(Rows(w.ui),
                 (QStringList{"00:00.000-01:00.000 01:00.000", "01:00.000-02:00.000 01:00.000",
                              "02:00.000-02:30.000 00:30.000"}));
        OneRow(w, 180000);
        w.split->SpeedButton15Click();
        WaitIdle(w);
        QCOMPARE(Rows(w.ui).size(), 3);
        QVERIFY2(dialogs.Messages == QStringList{}, "no complaint at the file's end");

        // By size: parts end on the frame boundary nearest to every 1024 KB. The frames are
        // 417 bytes (16 bytes a millisecond): 2515 frames are 1048755 bytes, 179 past 1 MiB.
        TTempDir dir;
        w.split->OpenSplitInput(Q(FramesFile(dir, "in.mp3", 200.0)));
        w.ui.RadioButton3->setChecked(true);
        w.ui.SpinEdit5->SetText("1024");
        w.split->SpeedButton15Click();
        WaitIdle(w);
        QCOMPARE(Rows(w.ui).at(1), QString("01:05.547-02:11.094 01:05.547"));

        const QStringList before = Rows(w.ui);
        for (const QString kb : {"0", "-5", "abc"}) {
            dialogs.Messages.clear();
            w.ui.SpinEdit5->SetText(kb);
            w.split->SpeedButton15Click();
            WaitIdle(w);
            QCOMPARE(dialogs.Messages, QStringList{BadStep});
            QVERIFY2(Rows(w.ui) == before, "the list is not touched");
        }
    }

    void DialogPlannerOverTheSelectedRow()
    {
        TFakeDialogs dialogs;
        TWindows w;
        OneRow(w, 180000);
        w.split->additem(60000);
        w.split->additem(130000);
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1)); // 01:00 to 02:10
        w.split->N3Click();
        QVERIFY(w.addspecial->isVisible());
        auto &d = w.plannerUi;
        QCOMPARE(d.Edit1->text(), QString("00:00.000-03:00.000"));
        QCOMPARE(d.Edit2->text(), QString("01:00.000-02:10.000"));
        QCOMPARE(d.MaskEdit1->text(), QString("1024"));
        QCOMPARE(d.MaskEdit2->text(), QString("1:00.000"));
        QVERIFY(d.RadioGroup1Item1->isChecked());
        d.RadioGroup2Item1->setChecked(true);
        QTest::mouseClick(d.SpeedButton1, Qt::LeftButton);
        QCOMPARE(Rows(w.ui),
                 (QStringList{"00:00.000-01:00.000 01:00.000", "01:00.000-02:00.000 01:00.000",
                              "02:00.000-02:10.000 00:10.000", "02:10.000-03:00.000 00:50.000"}));
        QVERIFY2(!w.addspecial->isVisible(), "planned: the dialog closes");

        w.split->N3Click();
        d.RadioGroup1Item0->setChecked(true); // the whole file, 50 s steps, by Return
        d.MaskEdit2->setText("0:50.000");
        d.MaskEdit2->setFocus();
        QTest::keyClick(d.MaskEdit2, Qt::Key_Return);
        QCOMPARE(Rows(w.ui).size(), 7);
        QVERIFY(!w.addspecial->isVisible());
        w.split->N3Click();
        QTest::mouseClick(d.SpeedButton2, Qt::LeftButton);
        QVERIFY(!w.addspecial->isVisible());

        w.ui.ListView2->clearSelection();
        w.ui.ListView2->setCurrentItem(nullptr);
        w.split->N3Click();
        QVERIFY2(!d.RadioGroup1Item1->isEnabled(), "no row, no 所选段");
        QVERIFY(d.RadioGroup1Item0->isChecked());
        d.MaskEdit2->setText("0:00.000");
        dialogs.Messages.clear();
        QTest::mouseClick(d.SpeedButton1, Qt::LeftButton);
        QCOMPARE(dialogs.Messages, QStringList{BadStep});
        w.addspecial->close();
    }

    void PopupMenuHoldsTheCommands()
    {
        TWindows w;
        auto *menu = w.main->findChild<QMenu *>("PopupMenu1");
        QVERIFY(menu != nullptr);
        QStringList texts;
        for (QAction *a : menu->actions()) {
            if (!a->isSeparator()) {
                texts.append(a->text());
            }
        }
        QCOMPARE(texts, (QStringList{"删除", "全部删除", "细分...", "标签...", "导入CUE...",
                                     "导入章节", "导入标签...", "导出CUE...", "导出标签..."}));
    }

    void WizardStepsAndOpening()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        QCOMPARE(w.ui.Edit10->text(), QDir::toNativeSeparators(QDir::homePath()));
        QTest::mouseClick(w.ui.SpeedButton14, Qt::LeftButton); // no input yet
        WaitIdle(w);
        QCOMPARE(PlainText(w.ui.SpeedButton14->text()), QString("下一步"));

        const auto mp3 = EncodeWithLame(dir, "song", 4.0, 44100, 2, "-b 128");
        dialogs.OpenAnswers.push_back(Q(mp3));
        QTest::mouseClick(w.ui.SpeedButton11, Qt::LeftButton);
        QCOMPARE(w.ui.Edit7->text(), QString("song.mp3"));
        QCOMPARE(w.ui.Edit8->text(), Q(dir.Path()) + "/");
        QCOMPARE(w.ui.Edit9->text(), QString("song"));
        const QStringList memo = w.ui.Memo1->toPlainText().split('\n');
        QCOMPARE(memo.size(), 7); // the six format lines, then the length
        QCOMPARE(memo[6], "长度:" + DisplayText(w.split->filelength));
        QCOMPARE(memo.mid(0, 4),
                 (QStringList{"MPEG版本:1", "压缩层次:3", "位率(kbps):128", "采样频率(HZ):44100"}));
        QCOMPARE(w.split->filebitrate, 128);
        Bytes mpeg25; // MPEG-2.5 Layer III, 8 kbps at 8 kHz: its version reads as 2.5
        AppendFrames(mpeg25, THeaderSpec{3, 3, 1, 2}, 200);
        WriteFile(dir / "low.mp3", mpeg25);
        w.split->OpenSplitInput(Q(dir / "low.mp3"));
        QVERIFY2(w.ui.Memo1->toPlainText().startsWith("MPEG版本:2.5\n压缩层次:3\n"),
                 qPrintable(w.ui.Memo1->toPlainText()));
        const auto vbr = EncodeWithLame(dir, "vbr", 2.0, 44100, 2, "-V 2");
        w.split->OpenSplitInput(Q(vbr));
        QVERIFY2(
            w.ui.Memo1->toPlainText().contains(QRegularExpression("位率\\(kbps\\):\\d+ VBR\n")),
            qPrintable(w.ui.Memo1->toPlainText()));
        w.split->OpenSplitInput(Q(mp3));
        QCOMPARE(Rows(w.ui).size(), 1);
        // A typed time moves the player, and the position display follows it.
        w.ui.SpinEdit2->SetText("2");
        w.ui.SpinEdit3->SetText("500");
        QCOMPARE(w.ui.Label14->text(), QString("00:02.500"));
        QCOMPARE(w.ui.TrackBar1->value(), 2);
        QVERIFY(Rows(w.ui)[0].startsWith("00:00.000-00:04."));
        QCOMPARE(w.ui.ListView2->topLevelItem(0)->checkState(0), Qt::Checked);
        QCOMPARE(Selected(w.ui), 0);

        w.ui.RadioButton3->setChecked(true);
        QTest::mouseClick(w.ui.SpeedButton14, Qt::LeftButton);
        WaitIdle(w);
        QCOMPARE(PlainText(w.ui.SpeedButton14->text()), QString("开始"));
        QCOMPARE(w.ui.TabSheet2->childAt(40, 60), w.ui.GroupBoxsize);
        QWidget *below = w.ui.TabSheet2->childAt(40, 190);
        QVERIFY(below == w.ui.GroupBoxfile || below->parentWidget() == w.ui.GroupBoxfile);
        // The groups of the other step are hidden, not only covered: Tab and screen readers
        // do not reach them.
        QVERIFY(w.ui.GroupBoxmain->isHidden() && w.ui.GroupBoxadv->isHidden());
        QVERIFY(!w.ui.GroupBoxsize->isHidden() && !w.ui.GroupBoxfile->isHidden());
        QTest::mouseClick(w.ui.SpeedButton13, Qt::LeftButton);
        QCOMPARE(PlainText(w.ui.SpeedButton14->text()), QString("下一步"));
        QVERIFY(!w.ui.GroupBoxmain->isHidden());
        QVERIFY(w.ui.GroupBoxsize->isHidden() && w.ui.GroupBoxfile->isHidden());
        QVERIFY(w.ui.TabSheet2->childAt(40, 60) == w.ui.GroupBoxmain ||
                w.ui.TabSheet2->childAt(40, 60)->parentWidget() == w.ui.GroupBoxmain);

        dialogs.FolderAnswers.push_back(Q(dir / "out"));
        QTest::mouseClick(w.ui.SpeedButton25, Qt::LeftButton);
        QCOMPARE(dialogs.LastFolderTitle, QString("选择存放目录"));
        QCOMPARE(w.ui.Edit10->text(), Q(dir / "out"));
    }

    void RunsByListTimeAndSize()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const auto mp3 = EncodeWithLame(dir, "song", 9.0, 44100, 2, "-V 2");
        fs::create_directory(dir / "out");
        w.split->OpenSplitInput(Q(mp3));
        w.ui.Edit10->setText(Q(dir / "out"));
        w.ui.Edit9->setText("p");
        w.ui.Edit2->setText("标题");
        w.ui.ComboBox1->setCurrentIndex(-1);

        // By list: four rows, the second unticked.
        for (int64_t t : {2000, 4000, 6500}) {
            w.split->additem(t);
        }
        w.ui.ListView2->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        QSignalSpy progress(w.ui.ProgressBar2, &QProgressBar::valueChanged);
        w.split->SpeedButton14Click();
        WaitIdle(w);
        w.split->SpeedButton14Click();
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        QVERIFY(fs::exists(dir / "out" / "p002.mp3"));
        QVERIFY2(!fs::exists(dir / "out" / "p003.mp3"), "three ticked rows, three parts");
        QCOMPARE(w.ui.ProgressBar2->maximum(), 4);
        QCOMPARE(w.ui.ProgressBar2->value(), 4);
        QVERIFY(progress.count() >= 1); // the bar follows the run, read on a timer
        const std::vector<fs::path> parts = {dir / "out" / "p000.mp3", dir / "out" / "p001.mp3",
                                             dir / "out" / "p002.mp3"};
        for (const auto &p : parts) {
            TFileStream s(p, fmOpenRead);
            TID3Tag tag;
            QVERIFY(tag.ReadTag(s));
            QCOMPARE(tag.Title, std::string("\xB1\xEA\xCC\xE2"));
            QCOMPARE(int(tag.GenreID), 255);
        }
        std::vector<int16_t> expected = SamplesOf(mp3, 0, 2000);
        const std::vector<int16_t> rest = SamplesOf(mp3, 4000);
        expected.insert(expected.end(), rest.begin(), rest.end());
        QVERIFY(Joined(parts) == expected); // the ticked rows, sample for sample
        long frames = 0;
        for (const auto &p : parts) {
            const TDecodeResult d = DecodeFile(p);
            QCOMPARE(d.errors, 0L);
            frames += d.frames;
        }
        QVERIFY(frames > 0);

        // By time: every 3 s, untagged.
        fs::remove_all(dir / "out");
        fs::create_directory(dir / "out");
        dialogs.Messages.clear();
        w.ui.Edit2->clear();
        w.ui.RadioButton2->setChecked(true);
        w.ui.SpinEdit4->SetText("4");
        w.split->SpeedButton13Click();
        w.split->SpeedButton14Click();
        WaitIdle(w);
        QCOMPARE(w.ui.ProgressBar2->value(), 0); // the last run's bar does not stay full
        w.split->SpeedButton14Click();
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        std::vector<fs::path> timed;
        for (int n = 0; fs::exists(dir / "out" / ("p00" + std::to_string(n) + ".mp3")); ++n) {
            timed.push_back(dir / "out" / ("p00" + std::to_string(n) + ".mp3"));
        }
        QCOMPARE(int(timed.size()), 3); // 0-4, 4-8 and 8 to the end
        QVERIFY(Joined(timed) == SamplesOf(mp3, 0));

        // By size: 40 KB steps of the average bitrate.
        dialogs.Messages.clear();
        w.ui.RadioButton3->setChecked(true);
        w.ui.SpinEdit5->SetText("40");
        w.split->SpeedButton13Click();
        w.split->SpeedButton14Click();
        WaitIdle(w);
        w.split->SpeedButton14Click();
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        QVERIFY(fs::exists(dir / "out" / "p001.mp3"));
    }

    void PartsGetWholeTextsTheirNumberAndTheSourcesPictures()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const std::string title = "第一章：一个很长很长的标题，远远超过三十个字节";
        const Bytes cover(7000, 0xA5);
        Bytes source = Id3v2TextTag({{"TIT2", title}, {"TPE1", "Reader"}, {"TLEN", "5000"}}, cover);
        AppendFrames(source, THeaderSpec{}, 200); // 5.2 s
        WriteFile(dir / "book.mp3", source);
        w.split->OpenSplitInput(Q(dir / "book.mp3"));
        QCOMPARE(w.ui.Edit2->text(), QString::fromStdString(title)); // whole, not 30 bytes
        QCOMPARE(w.ui.Edit2->cursorPosition(), 0);                   // its start shows
        QCOMPARE(w.ui.Edit3->text(), QString("Reader"));
        w.ui.Edit10->setText(Q(dir.Path()));
        w.ui.Edit9->setText("ch");
        w.split->additem(2000);
        w.split->SpeedButton14Click();
        WaitIdle(w);
        w.split->SpeedButton14Click();
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        for (const char *name : {"ch000.mp3", "ch001.mp3"}) {
            const TSourceTags tags = TagsOf(dir / name);
            QVERIFY(tags.Id3v2Texts && tags.Id3v1);
            QCOMPARE(tags.Id3v2Texts->Title, title);
            QCOMPARE(tags.Id3v1Bytes->Title.size(), size_t(30)); // cut at a character boundary
            QCOMPARE(int(tags.Pictures.size()), 1);
            QCOMPARE(tags.Pictures[0].Bytes, cover.size());
            const Bytes bytes = ReadFile(dir / name);
            const std::string text(bytes.begin(), bytes.end());
            QVERIFY2(text.find("TLEN") == std::string::npos, "only the texts and the pictures");
            QVERIFY(text.find(name[4] == '0' ? "1/2" : "2/2") != std::string::npos);
        }
    }

    // The options of the methods' steps (shortest part, silences left out, points moved to a
    // silence) give the rows the core's planner gives mp3cut for the same request.
    void MethodOptionsPlanAsTheCommandLine()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        // Tone 0-3 s, silence 3-5 s, tone 5-9 s, silence 9-10.5 s, tone 10.5-13.5 s.
        const auto mp3 = Talk(dir, 13.5, {{3, 5}, {9, 10.5}});
        w.split->OpenSplitInput(Q(mp3));
        TSource source;
        TJobOutcome opened;
        QVERIFY(OpenJobInput(mp3, source, opened));
        auto spin = [&](const char *name) { return w.main->findChild<TSpinEdit *>(name); };
        auto *trim = w.main->findChild<QCheckBox *>("CheckBox2");
        QVERIFY(spin("SpinEdit14") && spin("SpinEdit15") && trim);
        QCOMPARE(PlainText(trim->text()), QString("去掉静音"));
        using TMethod = TSplitRequest::TMethod;
        const struct
        {
            const char *name;
            QRadioButton *method;
            int minPart, adjust;
            bool trimmed;
            size_t rows, ticked;
        } cases[] = {
            {"silences", w.ui.RadioButton4, 0, 0, false, 3, 3},
            {"shortest part 4 s", w.ui.RadioButton4, 4, 0, false, 2, 2},
            {"silences left out", w.ui.RadioButton4, 0, 0, true, 5, 3},
            {"every 4 s", w.ui.RadioButton2, 0, 0, false, 4, 4},
            {"every 4 s, moved to silences", w.ui.RadioButton2, 0, 3, false, 3, 3},
        };
        for (const auto &c : cases) {
            c.method->setChecked(true);
            spin("SpinEdit4")->SetText("4");
            spin("SpinEdit14")->SetText(QString::number(c.minPart));
            spin("SpinEdit15")->SetText(QString::number(c.adjust));
            trim->setChecked(c.trimmed);
            w.split->SpeedButton15Click();
            WaitIdle(w);
            TSplitRequest r;
            r.Method = c.method == w.ui.RadioButton4 ? TMethod::Silence : TMethod::Every;
            r.StepMs = 4000;
            r.Silence.MinPartMs = c.minPart * 1000;
            r.Trim = c.trimmed;
            if (c.adjust > 0) {
                r.AdjustMs = c.adjust * 1000;
            }
            const TSplitPlan plan = PlanSplit(source, r);
            const std::vector<TSegment> &rows = w.split->Segments().Rows();
            QVERIFY2(rows.size() == c.rows, c.name);
            QVERIFY2(rows.size() == plan.List.Count(), c.name);
            size_t ticked = 0;
            for (size_t i = 0; i < rows.size(); ++i) {
                QVERIFY2(rows[i].StartMs == plan.List[i].StartMs, c.name);
                QVERIFY2(rows[i].Ticked == plan.List[i].Ticked, c.name);
                ticked += rows[i].Ticked ? 1 : 0;
            }
            QVERIFY2(ticked == c.ticked, c.name);
        }
        QCOMPARE(dialogs.Messages, QStringList{});
    }

    void SplitsAtSilences()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        // Two seconds of tone, a second and a half of silence, three of tone.
        const auto mp3 = Talk(dir, 6.5, {{2, 3.5}});
        w.split->OpenSplitInput(Q(mp3));
        w.ui.Edit10->setText(Q(dir.Path()));
        auto *silence = w.main->findChild<QRadioButton *>("RadioButton4");
        QVERIFY(silence != nullptr);
        QCOMPARE(PlainText(silence->text()), QString("按静音分割"));
        silence->setChecked(true);
        w.split->SpeedButton14Click(); // 下一步
        WaitIdle(w);
        auto *group = w.main->findChild<QGroupBox *>("GroupBoxsilence");
        QVERIFY(group != nullptr && !group->isHidden());
        auto *minimum = w.main->findChild<TSpinEdit *>("SpinEdit13");
        minimum->SetText("3000");
        w.split->SpeedButton14Click(); // 开始: no silence of three seconds
        WaitIdle(w);
        QCOMPARE(dialogs.Messages, QStringList{"未找到可分割的静音！"});
        QVERIFY(!fs::exists(dir / "talk000.mp3"));

        dialogs.Messages.clear();
        minimum->SetText("1000");
        w.split->SpeedButton14Click();
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        QCOMPARE(Rows(w.ui).size(), 2);
        QVERIFY(std::abs(double(GaplessSamples(dir / "talk000.mp3").size()) - 2.75 * 44100) <
                0.05 * 44100);
        QVERIFY(fs::exists(dir / "talk001.mp3"));
    }

    // "导入章节": a row from each chapter's start, its title as the row's text; a file
    // without chapters says so and keeps its list.
    void ImportsTheFilesChapters()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        Bytes book = Id3v2ChapterTag("Book", {{"a", 0, 2000, "甲"}, {"b", 2000, 5200, "乙"}},
                                     {{"toc", true, {"a", "b"}}});
        AppendFrames(book, THeaderSpec{}, 200); // 5.2 s
        WriteFile(dir / "book.mp3", book);
        FramesFile(dir, "plain.mp3", 5.2);
        auto *import = w.main->findChild<QMenu *>("PopupMenu1")->findChild<QAction *>("N6");
        w.split->OpenSplitInput(Q(dir / "plain.mp3"));
        const QStringList before = Rows(w.ui);
        import->trigger();
        WaitIdle(w);
        QCOMPARE(dialogs.Messages, QStringList{"文件的标签中没有章节！"});
        QCOMPARE(Rows(w.ui), before);

        dialogs.Messages.clear();
        w.split->OpenSplitInput(Q(dir / "book.mp3"));
        import->trigger();
        WaitIdle(w);
        QVERIFY(dialogs.Messages.isEmpty());
        QCOMPARE(Rows(w.ui).size(), 2);
        QCOMPARE(w.split->Segments()[1].StartMs, 2000);
        QCOMPARE(w.ui.ListView2->topLevelItem(0)->toolTip(0), QString("甲"));
        QCOMPARE(w.ui.ListView2->topLevelItem(1)->toolTip(0), QString("乙"));
    }

    // "写入章节" beside "开始": the ticked rows become the chapters of one file, its frames
    // all kept, under the name asked for; the report names it and offers its folder.
    void WritesTheTickedRowsAsChapters()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const fs::path input = EncodeWithLame(dir, "talk", 6.0, 44100, 2, "-V 2");
        w.split->OpenSplitInput(Q(input));
        auto *write = Control<QPushButton>(*w.main, "SpeedButtonChapters");
        QVERIFY(write->isHidden()); // on the first step
        w.split->SpeedButton14Click();
        QVERIFY(!write->isHidden());
        w.split->additem(2000);
        w.split->additem(4000);
        w.ui.ListView2->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        w.ui.Edit10->setText(Q(dir.Path()));
        dialogs.SaveAnswers = {Q(dir / "book.mp3")};
        dialogs.OpenFolderAnswers = {true};
        write->click();
        WaitIdle(w);
        QCOMPARE(dialogs.LastSavePreset, QDir(Q(dir.Path())).filePath("talk_章节.mp3"));
        QCOMPARE(dialogs.Messages,
                 QStringList{"已写入 2 个章节到 " + QDir::toNativeSeparators(Q(dir / "book.mp3"))});
        QCOMPARE(dialogs.Opened, QStringList{Q(dir.Path())});
        TSource written;
        TJobOutcome outcome;
        QVERIFY(OpenJobInput(dir / "book.mp3", written, outcome));
        const std::vector<TChapter> chapters =
            ReadSourceTags(*written.Stream, written.Hdr.AudioStart).Chapters;
        QCOMPARE(chapters.size(), size_t(2));
        QCOMPARE(chapters[0].StartMs, 0);
        QCOMPARE(chapters[0].EndMs, 2000);
        QCOMPARE(chapters[1].StartMs, 4000);
        QVERIFY(GaplessSamples(dir / "book.mp3") == GaplessSamples(input));
    }

    // "导入标签..." cuts the list at an Audacity label file's labels, titled by them (a file
    // that is not one is named with its line); "导出CUE..." and "导出标签..." write the ticked
    // rows, beside the input unless another name is chosen.
    void LabelsInAndListsOut()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        FramesFile(dir, "talk.mp3", 5.2);
        const std::string labels = "2.000000\t2.000000\t甲\n4.000000\t4.500000\t乙\n";
        WriteFile(dir / "talk.txt", Bytes(labels.begin(), labels.end()));
        const std::string bad = "2.0\t2.0\tfine\noops\n";
        WriteFile(dir / "bad.txt", Bytes(bad.begin(), bad.end()));
        w.split->OpenSplitInput(Q(dir / "talk.mp3"));
        const QStringList before = Rows(w.ui);
        dialogs.OpenAnswers = {Q(dir / "bad.txt")};
        w.split->N7Click();
        WaitIdle(w);
        QCOMPARE(dialogs.Messages,
                 QStringList{"标签文件 " + Q(dir / "bad.txt") +
                             " 第 2 行有误：not a label (start, end and text, tab-separated, "
                             "in seconds)"});
        QCOMPARE(Rows(w.ui), before);

        dialogs.Messages.clear();
        dialogs.OpenAnswers = {Q(dir / "talk.txt")};
        w.split->N7Click();
        WaitIdle(w);
        QVERIFY(dialogs.Messages.isEmpty());
        QCOMPARE(Rows(w.ui).size(), 3);
        QCOMPARE(w.ui.ListView2->topLevelItem(1)->toolTip(0), QString("甲"));
        w.ui.ListView2->topLevelItem(0)->setCheckState(0, Qt::Unchecked);

        dialogs.SaveAnswers = {Q(dir / "out.cue"), Q(dir / "out.txt")};
        w.split->N8Click();
        QCOMPARE(dialogs.LastSavePreset, Q(dir / "talk.cue"));
        w.split->N9Click();
        QVERIFY(dialogs.Messages.isEmpty());
        const Bytes cue = ReadFile(dir / "out.cue");
        QVERIFY(std::string(cue.begin(), cue.end())
                    .find("FILE \"talk.mp3\" MP3\n  TRACK 01 AUDIO\n    TITLE \"甲\"\n"
                          "    INDEX 01 00:02:00\n") != std::string::npos);
        const Bytes out = ReadFile(dir / "out.txt");
        QCOMPARE(QString::fromStdString(std::string(out.begin(), out.end())),
                 "2.000000\t4.000000\t甲\n4.000000\t" +
                     QString::asprintf("%.6f", double(w.split->filelength) / 1000) + "\t乙\n");
    }

    // The time method's "段数": that many parts of equal playing time, instead of the step.
    // The level row shows on the last step only; its fades and gain go to every part, as the
    // core writes them with that level.
    void SetsThePartsLevelOnTheLastStep()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const auto mp3 = EncodeWithLame(dir, "song", 6.0, 44100, 2, "-V 2");
        fs::create_directory(dir / "out");
        w.split->OpenSplitInput(Q(mp3));
        w.ui.Edit10->setText(Q(dir / "out"));
        w.ui.Edit9->setText("p");
        w.split->additem(3000);
        auto *row = w.split->findChild<QWidget *>("LevelRow2");
        QVERIFY(row->isHidden());
        w.split->SpeedButton14Click(); // the list step, the last
        WaitIdle(w);
        QVERIFY(!row->isHidden());
        auto *fadeOut = row->findChild<TSpinEdit *>("FadeOutEdit");
        fadeOut->SetText("300");
        row->findChild<TSpinEdit *>("GainEdit")->SetText("3");
        w.split->SpeedButton14Click();
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        TSplitJob job;
        job.Input = mp3;
        job.Folder = dir.Path();
        job.BaseName = "core";
        job.Segments = {{0, 3000, {}}, {3000, std::nullopt, {}}};
        job.Level.Level = {2, 0, 300}; // 3 dB is 2 steps
        QCOMPARE(RunSplit(job).Status, TJobStatus::Done);
        for (const char *n : {"000", "001"}) {
            QVERIFY(FramesOf(dir / "out" / ("p" + std::string(n) + ".mp3")) ==
                    FramesOf(dir / ("core" + std::string(n) + ".mp3")));
        }
        w.split->SpeedButton13Click(); // back to the first step: the row hides again
        QVERIFY(row->isHidden());
    }

    void PlansEqualParts()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.split->OpenSplitInput(Q(FramesFile(dir, "in.mp3", 10.4)));
        w.ui.RadioButton2->setChecked(true);
        Control<TSpinEdit>(*w.main, "SpinEdit16")->SetText("4");
        w.split->PlanWholeFile({});
        WaitIdle(w);
        QCOMPARE(w.split->Segments().Count(), size_t(4));
        for (const TSegment &row : w.split->Segments().Rows()) {
            const int64_t quarter = w.split->filelength / 4;
            QVERIFY2(std::abs(row.EndMs - row.StartMs - quarter) <= 27,
                     qPrintable(QString::number(row.EndMs - row.StartMs)));
        }
    }

    void ImportsACueSheetIntoTheList()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        Bytes source;
        AppendFrames(source, THeaderSpec{}, 200); // 5.2 s
        WriteFile(dir / "lp.mp3", source);
        const std::string good = "PERFORMER \"Band\"\nTITLE \"LP\"\nREM GENRE Jazz\n"
                                 "FILE \"lp.wav\" WAVE\nTRACK 01 AUDIO\nTITLE \"序曲\"\n"
                                 "INDEX 01 00:00:00\nTRACK 02 AUDIO\nTITLE \"Two\"\n"
                                 "INDEX 01 00:02:00\nTRACK 03 AUDIO\nINDEX 01 00:09:00\n";
        const std::string bad = "FILE \"lp.wav\" WAVE\nFOO\n";
        WriteFile(dir / "good.cue", Bytes(good.begin(), good.end()));
        WriteFile(dir / "bad.cue", Bytes(bad.begin(), bad.end()));
        w.split->OpenSplitInput(Q(dir / "lp.mp3"));
        w.split->additem(1000);
        const QStringList before = Rows(w.ui);

        auto *import = w.main->findChild<QMenu *>("PopupMenu1")->findChild<QAction *>("N5");
        QCOMPARE(import->text(), QString("导入CUE..."));
        dialogs.OpenAnswers = {Q(dir / "bad.cue")};
        import->trigger();
        WaitIdle(w);
        QCOMPARE(dialogs.Messages, QStringList{"CUE文件 " + Q(dir / "bad.cue") +
                                               " 第 2 行有误：unknown command 'FOO'"});
        QCOMPARE(Rows(w.ui), before); // the list stays as it was

        dialogs.Messages.clear();
        dialogs.OpenAnswers = {Q(dir / "good.cue")};
        import->trigger();
        WaitIdle(w);
        QCOMPARE(dialogs.Messages,
                 QStringList{"1 条音轨（共 3 条）的起点在音频结束之后，已略去。"});
        QCOMPARE(Rows(w.ui).size(), 2);
        QCOMPARE(w.ui.ListView2->topLevelItem(0)->toolTip(0), QString("序曲"));
        // The import is one step to undo, and done again with its tracks' texts.
        QVERIFY(w.split->Undo());
        QCOMPARE(Rows(w.ui), before);
        QVERIFY(w.split->Redo());
        QCOMPARE(Rows(w.ui).size(), 2);
        QCOMPARE(w.ui.ListView2->topLevelItem(0)->toolTip(0), QString("序曲"));

        // The tag dialog shows a row's track; what it stores keeps the album artist.
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1));
        w.split->N4Click();
        QCOMPARE(w.infoUi.Edit2->text(), QString("Two"));
        QCOMPARE(w.infoUi.Edit3->text(), QString("Band"));
        QCOMPARE(w.infoUi.ComboBox1->currentText(), QString("Jazz"));
        w.infoUi.Edit6->setText("live");
        QTest::mouseClick(w.infoUi.SpeedButton2, Qt::LeftButton); // 确定

        w.ui.Edit10->setText(Q(dir.Path()));
        w.ui.Edit9->setText("@n @t");
        w.split->SpeedButton14Click();
        WaitIdle(w);
        w.split->SpeedButton14Click();
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages).last(), Done);
        const struct
        {
            const char *name, *title, *comment, *track;
        } parts[] = {{"01 序曲.mp3", "序曲", "", "1/2"}, {"02 Two.mp3", "Two", "live", "2/2"}};
        for (const auto &p : parts) {
            const TSourceTags tags = TagsOf(dir / p.name);
            QVERIFY2(tags.Id3v2Texts, p.name);
            QCOMPARE(tags.Id3v2Texts->Title, std::string(p.title));
            QCOMPARE(tags.Id3v2Texts->Album, std::string("LP"));
            QCOMPARE(tags.Id3v2Texts->Comment, std::string(p.comment));
            const Bytes bytes = ReadFile(dir / p.name);
            const std::string text(bytes.begin(), bytes.end());
            QVERIFY(text.find(std::string("TPE2")) != std::string::npos);
            QVERIFY(text.find(p.track) != std::string::npos);
        }
    }

    void OutcomesBecomeMessages()
    {
        const fs::path part = "/music/p002.mp3";
        const std::vector<fs::path> two = {"/music/p000.mp3", "/music/p001.mp3"};
        auto outcome = [](TJobStatus status, fs::path file = {}, std::string reason = {},
                          std::vector<fs::path> written = {}) {
            TJobOutcome o;
            o.Status = status;
            o.File = std::move(file);
            o.Reason = std::move(reason);
            o.Written = std::move(written);
            return o;
        };
        struct Case
        {
            TJobOutcome outcome;
            QString cut;
            QString split; // of 5 parts
        };
        const std::vector<Case> cases = {
            // done: the output named, the parts counted with their folder
            {outcome(TJobStatus::Done, {}, {}, two), Done + "\n/music/p000.mp3",
             Done + "\n已写入 2 个片段到 /music"},
            {outcome(TJobStatus::Stopped, {}, {}, two), "", "已停止。已写入 2 个片段（共 5 个）。"},
            {outcome(TJobStatus::NoAudio, "/a.mp3", "why"), NoFrame, NoFrame},
            {outcome(TJobStatus::EmptyRange), Expected::Empty, NoRows},
            {outcome(TJobStatus::OutputIsInput, part), Busy, Busy},
            {outcome(TJobStatus::FolderUnwritable, "/music", "Permission denied"), Busy, Busy},
            {outcome(TJobStatus::InputUnreadable, "/a.mp3", "No such file or directory"),
             "Cannot open file \"/a.mp3\". No such file or directory",
             "Cannot open file \"/a.mp3\". No such file or directory"},
            {outcome(TJobStatus::NameIsFolder, part, {}, two),
             Busy + "\n/music/p002.mp3：同名文件夹已存在",
             Busy + "\n/music/p002.mp3：同名文件夹已存在\n已写入 2 个片段（共 5 个）。"},
            {outcome(TJobStatus::NotAFile, part, "a FIFO"),
             Busy + "\n/music/p002.mp3：不是普通文件（a FIFO）",
             Busy + "\n/music/p002.mp3：不是普通文件（a FIFO）"},
            {outcome(TJobStatus::WriteFailed, part, "No space left on device"),
             "无法写入文件 /music/p002.mp3：No space left on device",
             "无法写入文件 /music/p002.mp3：No space left on device\n已写入 0 个片段（共 5 个）。"},
            {outcome(TJobStatus::ReadFailed, "/a.mp3", "Input/output error", two),
             "无法读取文件 /a.mp3：Input/output error",
             "无法读取文件 /a.mp3：Input/output error\n已写入 2 个片段（共 5 个）。"},
        };
        QCOMPARE(CutMessage(outcome(TJobStatus::Done, {}, {}, two), 64750),
                 Done + "\n/music/p000.mp3（长度 01:04.750）");
        for (Case c : cases) {
            QCOMPARE(CutMessage(c.outcome), c.cut);
            c.outcome.Planned = 5;
            QCOMPARE(SplitMessage(c.outcome), c.split);
        }

        // A damaged tag left out is told after the report, once something was written.
        TJobOutcome noted = outcome(TJobStatus::Stopped, {}, {}, two);
        noted.Planned = 5;
        noted.TagNote = "damaged ID3v2 tag left out: its header is not valid";
        const QString note =
            "源文件的ID3v2标签已损坏，未写入输出文件（damaged ID3v2 tag left out: its header is "
            "not valid）。";
        QCOMPARE(CutMessage(noted), note);
        QCOMPARE(SplitMessage(noted), "已停止。已写入 2 个片段（共 5 个）。\n" + note);
        noted.Written.clear();
        QCOMPARE(SplitMessage(noted), QString("已停止。已写入 0 个片段（共 5 个）。"));
    }

    void RefusalsAndStop()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const auto mp3 = FramesFile(dir, "in.mp3", 20.0);
        w.split->OpenSplitInput(Q(mp3));
        w.ui.Edit10->setText(Q(dir.Path()));
        for (int64_t t : {5000, 10000, 15000}) {
            w.split->additem(t);
        }
        // Nothing ticked.
        for (int i = 0; i < 4; ++i) {
            w.ui.ListView2->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
        }
        w.split->SpeedButton24Click();
        WaitIdle(w);
        QCOMPARE(dialogs.Messages, QStringList{NoRows});
        for (int i = 0; i < 4; ++i) {
            w.ui.ListView2->topLevelItem(i)->setCheckState(0, Qt::Checked);
        }
        // A part named as the input; then a folder that is not there.
        fs::copy_file(mp3, dir / "in001.mp3");
        w.ui.Edit7->setText("in001.mp3");
        w.ui.Edit9->setText("in");
        dialogs.Messages.clear();
        w.split->SpeedButton24Click();
        WaitIdle(w);
        QCOMPARE(dialogs.Messages, QStringList{Busy});
        QVERIFY2(!fs::exists(dir / "in000.mp3"), "nothing written before the refusal");
        w.ui.Edit7->setText("in.mp3");
        w.ui.Edit10->setText(Q(dir / "missing"));
        dialogs.Messages.clear();
        w.split->SpeedButton24Click();
        WaitIdle(w);
        QCOMPARE(dialogs.Messages, QStringList{Busy});
        // No audio in the input.
        WriteFile(dir / "junk.mp3", Bytes(20000, 0));
        w.ui.Edit7->setText("junk.mp3");
        w.ui.Edit10->setText(Q(dir.Path()));
        dialogs.Messages.clear();
        w.split->SpeedButton24Click();
        WaitIdle(w);
        QCOMPARE(dialogs.Messages, QStringList{NoFrame});

        // Stop after the first part; during the run the page's commands are off.
        Bytes vbr;
        AppendVbrFrames(vbr, 800); // 20.9 s
        WriteFile(dir / "vbr.mp3", vbr);
        w.ui.Edit7->setText("vbr.mp3");
        w.ui.Edit9->setText("s");
        dialogs.Messages.clear();
        bool sawRunning = false;
        QTimer::singleShot(0, w.main.get(), [&] {
            sawRunning = w.split->Running() && !w.ui.ListView2->isEnabled() &&
                         w.ui.SpeedButton14->isHidden() && !w.ui.SpeedButtonStop->isHidden();
            QTest::mouseClick(w.ui.SpeedButtonStop, Qt::LeftButton);
        });
        w.split->SpeedButton24Click();
        WaitIdle(w);
        QVERIFY(sawRunning);
        QCOMPARE(dialogs.Messages, QStringList{"已停止。已写入 1 个片段（共 4 个）。"});
        QVERIFY(fs::exists(dir / "s000.mp3"));
        QVERIFY(!fs::exists(dir / "s001.mp3"));
        QVERIFY(w.ui.ListView2->isEnabled());
        QVERIFY(!w.ui.SpeedButton14->isHidden() && w.ui.SpeedButtonStop->isHidden());
    }
};

GUI_TEST_MAIN(SplitPageTest)
#include "SplitPageTest.moc"
