// The Cut page from choosing a file to the cut, with dialogs answered by the test.
#include "Decode.h"
#include "GuiSupport.h"
#include "format/MPEGAFHdr.h"
#include "jobs/CutJob.h"
#include "widgets/SpinEdit.h"

#include <QCheckBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>

using namespace mp3core;

namespace fs = std::filesystem;

namespace {

using Expected::Busy;
using Expected::Done;
using Expected::Empty;
using Expected::NoFrame;

// What the core's cut writes for the range, to compare the page's output with.
Bytes CoreCut(const fs::path &input, int64_t startMs, int64_t endMs)
{
    TTempDir dir;
    if (RunCut({input, dir / "x.mp3", startMs, endMs}).Status != TJobStatus::Done) {
        return {};
    }
    return ReadFile(dir / "x.mp3");
}

} // namespace

class CutPageTest : public QObject
{
    Q_OBJECT

private slots:
    void ProposesTheOutputBesideTheInput()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        for (const auto &[name, proposed] :
             std::vector<std::pair<std::string, std::string>>{{"song.mp3", "song_片段.mp3"},
                                                              {"a.b.mp3", "a.b_片段.mp3"},
                                                              {"song", "song_片段"}}) {
            const auto file = FramesFile(dir, name, 2.0);
            dialogs.OpenAnswers.push_back(Q(file));
            QTest::mouseClick(w.ui.SpeedButton1, Qt::LeftButton);
            QCOMPARE(w.ui.Edit1->text(), Q(file));
            QCOMPARE(w.ui.Edit11->text(), Q(dir / proposed));
        }
        // Cancelling changes nothing.
        QTest::mouseClick(w.ui.SpeedButton1, Qt::LeftButton);
        QCOMPARE(w.ui.Edit1->text(), Q(dir / "song"));

        dialogs.SaveAnswers.push_back(Q(dir / "other.mp3"));
        QTest::mouseClick(w.ui.SpeedButton2, Qt::LeftButton);
        QCOMPARE(dialogs.LastSavePreset, Q(dir / "song_片段"));
        QCOMPARE(w.ui.Edit11->text(), Q(dir / "other.mp3"));
    }

    void ShowsFormatLengthAndTag()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        Bytes tag = Id3v1Tag("", 17);
        const std::string zh = "\xD6\xD0\xCE\xC4"; // 中文 in GB18030
        std::copy(zh.begin(), zh.end(), tag.begin() + 3);
        const auto file = FramesFile(dir, "t.mp3", 12.0, tag);
        w.main->OpenCutInput(Q(file));
        const int64_t length = w.main->filelength;
        QVERIFY(length > 11000 && length < 13000);
        QCOMPARE(w.ui.Label17->text(), QString("位率(kbps):128 采样频率(HZ):44100 长度:") +
                                           QString::fromStdString(FormatMs("nn:ss.zzz", length)));
        QCOMPARE(w.ui.SpinEdit9->Text(), QString::number(length / 60000));
        QCOMPARE(w.ui.SpinEdit10->Text(), QString::number(length % 60000 / 1000));
        QCOMPARE(w.ui.SpinEdit11->Text(), QString::number(length % 1000));
        QCOMPARE(w.ui.TrackBar2->maximum(), 11);
        QCOMPARE(w.ui.TrackBar2->SelStart(), 0);
        QCOMPARE(w.ui.TrackBar2->SelEnd(), 11);
        QCOMPARE(w.ui.Edit2->text(), QString("中文"));
        QCOMPARE(w.ui.ComboBox1->currentIndex(), 17);

        const auto plain = FramesFile(dir, "plain.mp3", 3.0);
        w.main->OpenCutInput(Q(plain));
        QCOMPARE(w.ui.Edit2->text(), QString());
        QCOMPARE(w.ui.ComboBox1->currentIndex(), -1); // no tag, no genre

        // An ID3v2 tag's texts come first, whole.
        const std::string title = "一个很长很长很长很长很长很长很长的标题"; // 19 characters
        Bytes tagged = Id3v2TextTag({{"TIT2", title}, {"TCON", "Folklore"}});
        AppendFrames(tagged, THeaderSpec{}, 100);
        Append(tagged, Id3v1Tag("v1", 17));
        WriteFile(dir / "v2.mp3", tagged);
        w.main->OpenCutInput(Q(dir / "v2.mp3"));
        QCOMPARE(w.ui.Edit2->text(), QString::fromStdString(title));
        QCOMPARE(w.ui.ComboBox1->currentIndex(), 114);
        QCOMPARE(w.ui.Edit1->cursorPosition(), 0); // the start of a long path shows
        QCOMPARE(w.ui.Edit11->cursorPosition(), 0);
        // The genre box holds the longer names of the table whole.
        w.ui.ComboBox1->setCurrentIndex(52);
        QVERIFY(w.ui.ComboBox1->width() - 24 >=
                w.ui.ComboBox1->fontMetrics().horizontalAdvance("Electronic"));

        const auto odd = FramesFile(dir, "odd.mp3", 3.0, Id3v1Tag("x", 200));
        w.main->OpenCutInput(Q(odd));
        QCOMPARE(w.ui.ComboBox1->currentIndex(), -1);

        const auto vbr = EncodeWithLame(dir, "v", 3.0, 44100, 2, "-V 2");
        w.main->OpenCutInput(Q(vbr));
        QVERIFY2(QRegularExpression("^位率\\(kbps\\):\\d+ VBR 采样频率")
                     .match(w.ui.Label17->text())
                     .hasMatch(),
                 qPrintable(w.ui.Label17->text()));

        // Two encodes put end to end (44.1 kHz, then 48 kHz): the page lasts them both, and a
        // cut over the change is refused with where it lies.
        Bytes joined;
        AppendFrames(joined, THeaderSpec{}, 200); // 5.212 s
        THeaderSpec at48k;
        at48k.sampleRateIndex = 1;
        AppendFrames(joined, at48k, 200); // 4.800 s
        WriteFile(dir / "joined.mp3", joined);
        w.main->OpenCutInput(Q(dir / "joined.mp3"));
        QCOMPARE(w.main->filelength, int64_t(10012));
        QVERIFY(w.ui.Label17->text().endsWith("长度:00:10.012"));
        TypeRange(w.ui, "0:4.000", "0:6.000");
        RunAsEvent([&] { w.main->BitBtn3Click(); });
        WaitIdle(w);
        QCOMPARE(dialogs.Messages.last(),
                 QString("剪切范围跨过了文件格式改变处 00:05.212 (44100 Hz stereo to 48000 Hz "
                         "stereo)，请分别剪切两边。"));
    }

    void MarksStartAndEndFromThePlayer()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.main->OpenCutInput(Q(FramesFile(dir, "t.mp3", 80.0)));
        TMediaPlayer &player = w.main->MediaPlayer1;
        player.SetPosition(62005);
        QTest::mouseClick(w.ui.SpeedButton3, Qt::LeftButton);
        QCOMPARE(w.ui.SpinEdit6->Text(), QString("01"));
        QCOMPARE(w.ui.SpinEdit7->Text(), QString("02"));
        QCOMPARE(w.ui.SpinEdit8->Text(), QString("005"));
        QCOMPARE(w.ui.TrackBar2->SelStart(), 62);

        player.SetPosition(10500);
        QTest::mouseClick(w.ui.SpeedButton3, Qt::LeftButton);
        player.SetPosition(75250);
        QTest::mouseClick(w.ui.SpeedButton4, Qt::LeftButton);
        QCOMPARE(w.ui.Label20->text(), QString("剪切片段长度：01:04.750"));
        QCOMPARE(w.ui.TrackBar2->SelEnd(), 75);

        player.SetPosition(60000);
        QTest::mouseClick(w.ui.SpeedButton3, Qt::LeftButton);
        player.SetPosition(30000);
        QTest::mouseClick(w.ui.SpeedButton4, Qt::LeftButton);
        QCOMPARE(w.ui.Label20->text(), QString());
        player.SetPosition(60000);
        QTest::mouseClick(w.ui.SpeedButton3, Qt::LeftButton);
        QCOMPARE(w.ui.Label20->text(), QString("剪切片段长度："));

        // Typed times count at once: the length and the marked range follow them.
        w.ui.SpinEdit6->SetText("0");
        QCOMPARE(w.ui.Label20->text(), QString("剪切片段长度：00:30.000"));
        QCOMPARE(w.ui.TrackBar2->SelStart(), 0);
        w.ui.SpinEdit10->SetText("45");
        QCOMPARE(w.ui.Label20->text(), QString("剪切片段长度：00:45.000"));
        QCOMPARE(w.ui.TrackBar2->SelEnd(), 45);

        // Another file: its whole length is marked, nothing of the last one shows.
        w.ui.Label21->setText("01:02.005");
        w.main->OpenCutInput(Q(FramesFile(dir, "short.mp3", 20.0)));
        QCOMPARE(w.ui.SpinEdit7->Value(), 0);
        QCOMPARE(w.ui.TrackBar2->SelStart(), 0);
        QCOMPARE(w.ui.TrackBar2->SelEnd(), 19);
        QCOMPARE(w.ui.Label21->text(), QString("00:00.000"));
        QVERIFY(w.ui.Label20->text().startsWith("剪切片段长度：00:19."));
    }

    void TheMarkedRangeShowsApartFromThePlayedPart()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        // The columns of the track bar drawn in the marked range's colour.
        const auto marked = [&] {
            const QImage image = w.ui.TrackBar2->grab().toImage();
            std::vector<bool> columns(size_t(image.width()), false);
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (image.pixel(x, y) == TTrackBar::RangeColor) {
                        columns[size_t(x)] = true;
                    }
                }
            }
            return columns;
        };
        const std::vector<bool> none = marked();
        QVERIFY2(std::count(none.begin(), none.end(), true) == 0, "no file, no range");

        w.main->OpenCutInput(Q(FramesFile(dir, "t.mp3", 80.0)));
        TypeRange(w.ui, "0:20.000", "1:00.000");
        w.ui.TrackBar2->setValue(70); // played past the range: it must still show
        const std::vector<bool> range = marked();
        const int width = int(range.size());
        QVERIFY(range[size_t(width * 40 / 79)]);  // inside, left of the thumb
        QVERIFY(!range[size_t(width * 5 / 79)]);  // before it
        QVERIFY(!range[size_t(width * 75 / 79)]); // after it
    }

    void MarksAndCutsPastAnHourInTotalMinutes()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const auto file = LongFile(dir, "long.mp3", 4300.0);
        w.main->OpenCutInput(Q(file));
        TMediaPlayer &player = w.main->MediaPlayer1;
        player.SetPosition(3725042);
        QTest::mouseClick(w.ui.SpeedButton3, Qt::LeftButton);
        QCOMPARE(w.ui.SpinEdit6->Text(), QString("62"));
        QCOMPARE(w.ui.SpinEdit7->Text(), QString("05"));
        QCOMPARE(w.ui.SpinEdit8->Text(), QString("042"));
        QCOMPARE(w.ui.TrackBar2->SelStart(), 3725);
        player.SetPosition(4200000); // 70 minutes
        QTest::mouseClick(w.ui.SpeedButton4, Qt::LeftButton);
        QCOMPARE(w.ui.SpinEdit9->Text(), QString("70"));
        QCOMPARE(w.ui.Label20->text(), QString("剪切片段长度：07:54.958"));

        w.ui.Edit11->setText(Q(dir / "cut.mp3"));
        QTest::mouseClick(w.ui.BitBtn3, Qt::LeftButton);
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        const Bytes out = ReadFile(dir / "cut.mp3");
        QCOMPARE(out.size(), CoreCut(file, 3725042, 4200000).size());
        QVERIFY(out == CoreCut(file, 3725042, 4200000));
        QVERIFY(out.size() > 470000u); // 475 s of 1000-byte seconds, not ten minutes less
    }

    void CutWritesTheTypedRangeAndTestOpensIt()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const auto mp3 = EncodeWithLame(dir, "src", 10.0, 44100, 2, "-b 128");
        w.main->OpenCutInput(Q(mp3));
        QTest::mouseClick(w.ui.BitBtn4, Qt::LeftButton);
        QCOMPARE(dialogs.Opened, QStringList{}); // nothing cut yet

        TypeRange(w.ui, "0:2.500", "0:6.000");
        QTest::mouseClick(w.ui.BitBtn3, Qt::LeftButton);
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        const auto out = dir / "src_片段.mp3";
        const TDecodeResult d = DecodeFile(out);
        QCOMPARE(d.errors, 0L);
        QCOMPARE(GaplessSamples(out).size(), size_t(2 * 3.5 * 44100)); // exactly 3.5 s
        QVERIFY(ReadFile(out) == CoreCut(mp3, 2500, 6000));
        QTest::mouseClick(w.ui.BitBtn4, Qt::LeftButton);
        QCOMPARE(dialogs.Opened, QStringList{Q(out)});

        // Within one second, and the whole file to its last frame.
        dialogs.Messages.clear();
        TypeRange(w.ui, "0:3.200", "0:3.900");
        QTest::mouseClick(w.ui.BitBtn3, Qt::LeftButton);
        WaitIdle(w);
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        QVERIFY(ReadFile(out) == CoreCut(mp3, 3200, 3900));
        w.main->OpenCutInput(Q(mp3));
        TypeRange(w.ui, "0:0.0",
                  w.ui.SpinEdit9->Text() + ":" + w.ui.SpinEdit10->Text() + "." +
                      w.ui.SpinEdit11->Text());
        QTest::mouseClick(w.ui.BitBtn3, Qt::LeftButton);
        WaitIdle(w);
        QVERIFY(ReadFile(out) == CoreCut(mp3, 0, 1 << 30));
        QVERIFY(GaplessSamples(out) == GaplessSamples(mp3)); // the whole file, sample for sample
    }

    void KeepsTheTagsOnlyWhenAskedAndRemembersIt()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        const Bytes cover(5000, 0x5A);
        Bytes source = Id3v2TextTag({{"TIT2", "Cover song"}}, cover);
        AppendFrames(source, THeaderSpec{}, 200);
        Append(source, Id3v1Tag("Cover song", 13));
        WriteFile(dir / "in.mp3", source);
        const auto out = dir / "in_片段.mp3";
        {
            TWindows w;
            QVERIFY(!w.ui.CheckBox1->isChecked());
            QCOMPARE(PlainText(w.ui.CheckBox1->text()), QString("保留标签"));
            w.main->OpenCutInput(Q(dir / "in.mp3"));
            TypeRange(w.ui, "0:1.000", "0:3.000");
            QTest::mouseClick(w.ui.BitBtn3, Qt::LeftButton);
            WaitIdle(w);
            QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
            QVERIFY2(!SourceTexts(TagsOf(out)), "no tag unless asked");

            QTest::mouseClick(w.ui.CheckBox1, Qt::LeftButton);
            QTest::mouseClick(w.ui.BitBtn3, Qt::LeftButton);
            WaitIdle(w);
            const TSourceTags kept = TagsOf(out);
            QVERIFY(kept.Id3v2Texts && kept.Id3v1);
            QCOMPARE(kept.Id3v2Texts->Title, std::string("Cover song"));
            QCOMPARE(int(kept.Pictures.size()), 1);
            QCOMPARE(kept.Pictures[0].Bytes, cover.size());
            WriteFile(dir / "untagged.mp3", CoreCut(dir / "in.mp3", 1000, 3000));
            QVERIFY(FramesOf(out) == FramesOf(dir / "untagged.mp3")); // the same audio
        }
        TWindows again(true);
        QVERIFY2(again.ui.CheckBox1->isChecked(), "remembered from the last run");
        QTest::mouseClick(again.ui.CheckBox1, Qt::LeftButton);
        QVERIFY(!TWindows(true).ui.CheckBox1->isChecked());
    }

    // "音量(dB)", "淡入(毫秒)", "淡出(毫秒)" and "标准化": typed in, they make the cut the core
    // makes with that level; the waveform tells the fades; a restart finds them again.
    void SetsTheLevelOfTheCutAndRemembersIt()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        const auto mp3 = EncodeWithLame(dir, "talk", 6.0, 44100, 2, "-V 2");
        {
            TWindows w;
            const auto *row = w.main->findChild<QWidget *>("LevelRow1");
            auto *gain = row->findChild<TSpinEdit *>("GainEdit");
            auto *fadeIn = row->findChild<TSpinEdit *>("FadeInEdit");
            auto *normalize = row->findChild<QCheckBox *>("NormalizeBox");
            QVERIFY(gain && fadeIn && normalize);
            QCOMPARE(gain->accessibleName(), QString("音量(dB)"));
            w.main->OpenCutInput(Q(mp3));
            TypeRange(w.ui, "0:1.000", "0:5.000");
            gain->SetText("");
            QTest::keyClicks(gain, "-6");
            fadeIn->SetText("");
            QTest::keyClicks(fadeIn, "500");
            auto *wave = w.main->findChild<QWidget *>("WaveView1");
            QVERIFY2(wave->accessibleDescription().contains("淡入 500 毫秒，淡出 0 毫秒"),
                     qPrintable(wave->accessibleDescription()));
            QTest::mouseClick(w.ui.BitBtn3, Qt::LeftButton);
            WaitIdle(w);
            QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
            TCutJob job{mp3, dir / "core.mp3", 1000, 5000};
            job.Level.Level = {-4, 500, 0}; // -6 dB is 4 steps
            QCOMPARE(RunCut(job).Status, TJobStatus::Done);
            QVERIFY(ReadFile(dir / "talk_片段.mp3") == ReadFile(job.Output));
            // Normalizing finds the gain: the gain field rests meanwhile.
            QTest::mouseClick(normalize, Qt::LeftButton);
            QVERIFY(!gain->isEnabled());
        }
        TWindows again(true);
        const auto *row = again.main->findChild<QWidget *>("LevelRow1");
        QCOMPARE(row->findChild<TSpinEdit *>("GainEdit")->Text(), QString("-6"));
        QCOMPARE(row->findChild<TSpinEdit *>("FadeInEdit")->Text(), QString("500"));
        QVERIFY(row->findChild<QCheckBox *>("NormalizeBox")->isChecked());
    }

    void RefusalsWriteNothingAndKeepTheOldOutput()
    {
        TTempDir dir;
        const auto good = FramesFile(dir, "good.mp3", 5.0);
        WriteFile(dir / "junk.mp3", Bytes(30000, 0x00));
        fs::create_symlink(good, dir / "alias.mp3");
        const size_t goodSize = ReadFile(good).size();
        struct Case
        {
            const char *why;
            fs::path input;
            QString start, end;
            QString output;
            QString message;
        };
        const QString keep = Q(dir / "keep.mp3");
        const std::vector<Case> cases = {
            {"empty range", good, "0:2.0", "0:2.0", keep, Empty},
            {"reversed range", good, "0:3.0", "0:1.0", keep, Empty},
            {"past the audio", good, "9:0.0", "10:0.0", keep, Empty},
            {"no audio", dir / "junk.mp3", "0:0.0", "0:1.0", keep, NoFrame},
            {"output is the input", good, "0:0.0", "0:1.0", Q(dir / "alias.mp3"), Busy},
            {"folder missing", good, "0:0.0", "0:1.0", Q(dir / "no" / "x.mp3"), Busy},
            {"bad text", good, "0:.0", "0:1.0", keep, "'' is not a valid integer value"},
        };
        for (const Case &c : cases) {
            TFakeDialogs dialogs;
            TWindows w;
            WriteFile(dir / "keep.mp3", Bytes(7, 'k'));
            w.main->OpenCutInput(Q(c.input));
            w.main->LastOutput = "previous";
            w.ui.Edit11->setText(c.output);
            TypeRange(w.ui, c.start, c.end);
            RunAsEvent([&] { w.main->BitBtn3Click(); });
            WaitIdle(w);
            QVERIFY2(dialogs.Messages == QStringList{c.message}, c.why);
            QVERIFY2(ReadFile(dir / "keep.mp3") == Bytes(7, 'k'), c.why);
            QVERIFY2(w.main->LastOutput == "previous", c.why);
            QVERIFY2(ReadFile(good).size() == goodSize, c.why);
            QVERIFY2(std::distance(fs::directory_iterator(dir.Path()), {}) == 4, c.why);
        }
    }

    // A read-only file of the output's name is replaced only when the user says so.
    void AsksBeforeReplacingAReadOnlyFile()
    {
        TTempDir dir;
        const auto good = FramesFile(dir, "good.mp3", 5.0);
        const fs::path out = dir / "ro.mp3";
        for (const bool yes : {false, true}) {
            TFakeDialogs dialogs;
            dialogs.QuestionAnswers = {yes};
            TWindows w;
            WriteFile(out, Bytes(7, 'r'));
            fs::permissions(out, fs::perms::owner_read | fs::perms::group_read);
            w.main->OpenCutInput(Q(good));
            w.ui.Edit11->setText(Q(out));
            TypeRange(w.ui, "0:1.0", "0:2.0");
            RunAsEvent([&] { w.main->BitBtn3Click(); });
            WaitIdle(w);
            QCOMPARE(dialogs.Questions,
                     QStringList{"文件 " + Q(out) + " 是只读的。\n要替换它吗？"});
            QCOMPARE(FirstLines(dialogs.Messages), yes ? QStringList{Done} : QStringList{});
            QCOMPARE(ReadFile(out) == Bytes(7, 'r'), !yes);
            fs::permissions(out, fs::perms::owner_write, fs::perm_options::add);
        }
    }

    void LongCutCanBeCancelled()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.main->show();
        const auto file = FramesFile(dir, "long.mp3", 1500.0); // 24 MB
        w.main->OpenCutInput(Q(file));
        WriteFile(dir / "long_片段.mp3", Bytes(5, 'o'));
        TypeRange(w.ui, "0:0.0", "24:0.0");
        // The user presses "取消" once the progress shows, before the first block is written;
        // the cut runs off the window's thread, so the press is seen while it runs.
        QTimer::singleShot(0, w.main.get(), [&] {
            auto *progress = w.main->findChild<QProgressDialog *>();
            QVERIFY(progress != nullptr);
            QVERIFY(w.main->CutRunning());
            progress->findChild<QPushButton *>()->click();
        });
        w.main->BitBtn3Click();
        WaitIdle(w);
        QCOMPARE(dialogs.Messages, QStringList{});
        QVERIFY(ReadFile(dir / "long_片段.mp3") == Bytes(5, 'o'));
        QCOMPARE(std::distance(fs::directory_iterator(dir.Path()), {}), 2);
        QVERIFY(w.main->LastOutput.isEmpty());

        TypeRange(w.ui, "0:0.0", "24:0.0"); // and without a cancel the cut completes
        w.main->BitBtn3Click();
        QVERIFY(!w.ui.BitBtn3->isEnabled());
        w.main->BitBtn3Click(); // a second press while it runs starts no second cut
        WaitIdle(w);
        QVERIFY(w.ui.BitBtn3->isEnabled());
        QCOMPARE(FirstLines(dialogs.Messages), QStringList{Done});
        QVERIFY(ReadFile(dir / "long_片段.mp3").size() > size_t(20) << 20);
    }

    void DroppedFileOpensOnThePageInView()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        const auto file = FramesFile(dir, "dropped.mp3", 2.0);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(Q(file))});
        w.main->show();
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(w.main.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.main.get(), &drop);
        QCOMPARE(w.ui.Edit1->text(), Q(file));

        w.ui.PageControl1->setCurrentIndex(1);
        QDragEnterEvent enterAgain(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton,
                                   Qt::NoModifier);
        QApplication::sendEvent(w.main.get(), &enterAgain);
        QDropEvent again(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.main.get(), &again);
        QCOMPARE(w.ui.Edit7->text(), QString("dropped.mp3"));

        // A folder dropped on either page is refused with the reason; the page keeps its file.
        QMimeData folder;
        folder.setUrls({QUrl::fromLocalFile(Q(dir.Path()))});
        for (const int page : {1, 0}) {
            w.ui.PageControl1->setCurrentIndex(page);
            dialogs.Messages.clear();
            QDragEnterEvent over(QPoint(100, 100), Qt::CopyAction, &folder, Qt::LeftButton,
                                 Qt::NoModifier);
            QApplication::sendEvent(w.main.get(), &over);
            QDropEvent onto(QPointF(100, 100), Qt::CopyAction, &folder, Qt::LeftButton,
                            Qt::NoModifier);
            QApplication::sendEvent(w.main.get(), &onto);
            QCOMPARE(dialogs.Messages.size(), 1);
            QVERIFY2(dialogs.Messages[0].contains("Is a directory"),
                     qPrintable(dialogs.Messages[0]));
        }
        QCOMPARE(w.ui.Edit1->text(), Q(file));
        QCOMPARE(w.ui.Edit7->text(), QString("dropped.mp3"));
    }

    void SpinFieldsKeepTypedTextUntilTheFocusLeaves()
    {
        TWindows w;
        w.main->show();
        TSpinEdit *seconds = w.ui.SpinEdit7; // 0 to 60
        seconds->setFocus();
        QTRY_VERIFY(seconds->hasFocus());
        seconds->SetText("");
        QTest::keyClicks(seconds, "75x");
        QVERIFY2(seconds->Text() == QString("75"), "letters are not taken");
        QVERIFY2(seconds->Value() == 75, "not clamped while typing");
        w.ui.SpinEdit8->setFocus();
        QTRY_COMPARE(seconds->Text(), QString("60"));

        TSpinEdit *minutes = w.ui.SpinEdit6; // total minutes, up to 9999
        minutes->setFocus();
        QTRY_VERIFY(minutes->hasFocus());
        minutes->SetText("");
        QTest::keyClicks(minutes, "123456");
        QCOMPARE(minutes->Text(), QString("1234"));
        minutes->SetText("1.5");
        w.ui.SpinEdit8->setFocus();
        QTRY_VERIFY(!minutes->hasFocus());
        QVERIFY2(minutes->Text() == QString("1.5"), "a text that is no number stays");
        QVERIFY2(minutes->Value() == 0, "and reads as the minimum");

        w.ui.SpinEdit8->SetText("998");
        w.ui.SpinEdit8->stepBy(5);
        QCOMPARE(w.ui.SpinEdit8->Text(), QString("999"));
        w.ui.SpinEdit8->SetText("0");
        w.ui.SpinEdit8->stepBy(-1);
        QCOMPARE(w.ui.SpinEdit8->Text(), QString("0"));
    }

    void PlayAndStop()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.main->OpenCutInput(Q(EncodeWithLame(dir, "p", 3.0, 44100, 2, "-b 64")));
        QTest::mouseClick(w.ui.BitBtn1, Qt::LeftButton);
        QVERIFY(w.main->Timer1.isActive());
        QCOMPARE(w.main->Timer1Tag, 2);
        QCOMPARE(w.main->MediaPlayer1.Mode(), int(TMediaPlayer::mpPlaying));
        QTRY_VERIFY(!w.ui.Label21->text().isEmpty());
        QTest::mouseClick(w.ui.BitBtn2, Qt::LeftButton);
        QCOMPARE(w.main->MediaPlayer1.Mode(), int(TMediaPlayer::mpPaused));
        QVERIFY(!w.main->Timer1.isActive());
        QTest::mouseClick(w.ui.BitBtn2, Qt::LeftButton); // resumes, display still off
        QCOMPARE(w.main->MediaPlayer1.Mode(), int(TMediaPlayer::mpPlaying));
        QVERIFY(!w.main->Timer1.isActive());
    }
};

GUI_TEST_MAIN(CutPageTest)
#include "CutPageTest.moc"
