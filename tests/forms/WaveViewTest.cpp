// The waveform below the Cut page's controls: built off the window's thread when a file opens,
// a click moves the player, a dragged handle moves the marked range (and the cut written), the
// keys and the wheel, and what a screen reader reads of it.
#include "widgets/WaveView.h"

#include "Decode.h"
#include "GuiSupport.h"
#include <QCheckBox>
#include <QScrollBar>

#include <cmath>

namespace fs = std::filesystem;
using namespace mp3core;

namespace {

QScrollBar *bar(QWidget *view)
{
    return view->findChild<QScrollBar *>();
}

TWaveView *View(const TWindows &w)
{
    return Control<TWaveView>(*w.main, "WaveView1");
}

// Opens a file on the Cut page and waits for its waveform.
void OpenWithPeaks(TWindows &w, const QString &file)
{
    w.main->resize(640, 480);
    w.main->show();
    w.main->OpenCutInput(file);
    QTRY_VERIFY_WITH_TIMEOUT(View(w)->HasPeaks(), 20000);
}

int64_t Start(const TMainControls &ui)
{
    return TimeTextToMs(
        (ui.SpinEdit6->Text() + ":" + ui.SpinEdit7->Text() + "." + ui.SpinEdit8->Text())
            .toStdString());
}

int64_t End(const TMainControls &ui)
{
    return TimeTextToMs(
        (ui.SpinEdit9->Text() + ":" + ui.SpinEdit10->Text() + "." + ui.SpinEdit11->Text())
            .toStdString());
}

// Half a minute of a 440 Hz tone, mono, with silence from 2.4 s to 2.6 s.
fs::path ToneWithAGap(const TTempDir &dir)
{
    std::vector<int16_t> samples(30 * 44100);
    for (size_t i = 0; i < samples.size(); ++i) {
        const bool gap = i >= 2400 * 441 / 10 && i < 2600 * 441 / 10;
        samples[i] = gap ? 0 : int16_t(9000 * std::sin(double(i) * 2 * M_PI * 440 / 44100));
    }
    return EncodeSamplesWithLame(dir, "gap", samples, 44100, 1, "-b 128");
}

void Drag(QWidget *view, QPoint from, QPoint to)
{
    QTest::mousePress(view, Qt::LeftButton, {}, from);
    QTest::mouseMove(view, to);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
}

} // namespace

class WaveViewTest : public QObject
{
    Q_OBJECT

private slots:
    // A dragged handle writes its time into the fields, and the cut takes it.
    void DraggingAHandleMovesTheRangeAndTheCut()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        OpenWithPeaks(w, Q(EncodeWithLame(dir, "in", 6.0, 44100, 2, "-b 128")));
        TWaveView *view = View(w);
        QVERIFY(view->width() > 300 && view->height() >= 100);
        w.main->resize(800, 600); // a larger window: the waveform takes the room
        QVERIFY(view->width() > 700);
        QVERIFY(view->height() > 250);
        QCOMPARE(view->RangeStart(), 0);
        const QPoint from(view->XOf(0), view->height() / 2);
        const QPoint to(view->XOf(2000), view->height() / 2);
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        const int64_t start = Start(w.ui);
        QCOMPARE(start, view->TimeAt(to.x()));
        QVERIFY(std::abs(start - 2000) <= 6000 / view->width() + 1);
        QCOMPARE(view->RangeStart(), start);
        QCOMPARE(w.ui.TrackBar2->SelStart(), int(start / 1000));

        w.main->BitBtn3Click();
        WaitIdle(w);
        const std::vector<int16_t> cut = GaplessSamples(dir / "in_片段.mp3");
        const std::vector<int16_t> whole = GaplessSamples(dir / "in.mp3");
        const size_t skip = size_t((start * 44100 + 500) / 1000) * 2;
        QCOMPARE(cut.size(), whole.size() - skip); // from the dragged time to the end
        QVERIFY(std::equal(cut.begin(), cut.end(), whole.begin() + qsizetype(skip)));
    }

    // A click moves the player there; the arrows by a frame or a second; I and O mark there.
    void ClicksAndKeys()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        OpenWithPeaks(w, Q(EncodeWithLame(dir, "in", 6.0, 44100, 2, "-b 128")));
        TWaveView *view = View(w);
        TMediaPlayer &player = w.main->MediaPlayer1;
        const int x = view->XOf(3000);
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(x, 5));
        QCOMPARE(player.Position(), view->TimeAt(x));
        QVERIFY(view->hasFocus());
        QVERIFY(view->accessibleDescription().startsWith("位置 " + DisplayText(player.Position())));
        const int64_t at = player.Position();
        QTest::keyClick(view, Qt::Key_Right);
        QCOMPARE(player.Position(), at + 26); // 1152 samples at 44.1 kHz
        QTest::keyClick(view, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(player.Position(), at + 26 - 1000);
        QTest::keyClick(view, Qt::Key_I);
        QCOMPARE(Start(w.ui), player.Position());
        QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(view, Qt::Key_O);
        QCOMPARE(view->RangeEnd(), player.Position());
        QVERIFY(view->accessibleDescription().contains(DisplayText(player.Position())));
        QCOMPARE(view->accessibleName(), QString("波形"));
    }

    // The wheel zooms at the pointer and keeps the time under it; Shift scrolls; + and -.
    void ZoomAndScroll()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        OpenWithPeaks(w, Q(FramesFile(dir, "in.mp3", 60)));
        TWaveView *view = View(w);
        const int64_t whole = view->ViewEnd() - view->ViewStart();
        const int x = view->width() / 3;
        const int64_t under = view->TimeAt(x);
        QWheelEvent in(QPointF(x, 5), view->mapToGlobal(QPointF(x, 5)), {}, {0, 120}, Qt::NoButton,
                       {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &in);
        QCOMPARE(view->ViewEnd() - view->ViewStart(), whole / 2);
        QVERIFY(std::abs(view->TimeAt(x) - under) <= whole / view->width());
        // Zoomed in, the scroll bar shows and moves the view; the ruler's labels stay apart.
        auto *bar = view->findChild<QScrollBar *>();
        QVERIFY(bar != nullptr && bar->isVisible());
        QCOMPARE(int64_t(bar->maximum()),
                 w.main->filelength - (view->ViewEnd() - view->ViewStart()));
        bar->setValue(bar->maximum());
        QCOMPARE(view->ViewEnd(), w.main->filelength);
        const std::vector<int64_t> ticks = view->RulerTicks();
        QVERIFY(ticks.size() >= 2);
        for (size_t i = 1; i < ticks.size(); ++i) {
            QVERIFY(view->XOf(ticks[i]) - view->XOf(ticks[i - 1]) >= 80);
            QVERIFY(ticks[i] >= view->ViewStart() && ticks[i] <= view->ViewEnd());
        }
        bar->setValue(0);
        const int64_t before = view->ViewStart();
        QWheelEvent scroll(QPointF(x, 5), view->mapToGlobal(QPointF(x, 5)), {}, {0, -120},
                           Qt::NoButton, Qt::ShiftModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &scroll);
        QVERIFY(view->ViewStart() > before);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Minus);
        QCOMPARE(view->ViewEnd() - view->ViewStart(), whole);
        QVERIFY2(!bar->isVisible(), "the whole file in view: no scroll bar");
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(view, Qt::Key_Plus); // down to the deepest zoom, 20 ms across
        }
        QCOMPARE(view->ViewEnd() - view->ViewStart(), 20);
        view->grab(); // draws at every zoom without a fault
    }

    // With snapping on, a dragged handle lands in the silence near it; P plays 2 s either
    // side of it; the deepest zoom shows the single samples, decoded for the stretch in view.
    void SnappingPlayingAroundAndSingleSamples()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        OpenWithPeaks(w, Q(ToneWithAGap(dir)));
        TWaveView *view = View(w);
        auto *snap = Control<QCheckBox>(*w.main, "SnapBox1");
        QVERIFY(!snap->isChecked() && !view->Snap());
        Drag(view, {view->XOf(0), 20}, {view->XOf(2250), 20});
        const int64_t unsnapped = Start(w.ui);
        QCOMPARE(unsnapped, view->TimeAt(view->XOf(2250)));
        snap->setChecked(true);
        QVERIFY(view->Snap());
        Drag(view, {view->XOf(unsnapped), 20}, {view->XOf(2250), 20});
        const int64_t snapped = Start(w.ui);
        QVERIFY2(snapped > 2400 && snapped < 2600, qPrintable(QString::number(snapped)));
        QCOMPARE(view->RangeStart(), snapped);

        view->setFocus();
        QTest::keyClick(view, Qt::Key_P); // around the handle just moved
        TMediaPlayer &player = w.main->MediaPlayer1;
        QCOMPARE(player.Mode(), int(TMediaPlayer::mpPlaying));
        QVERIFY(player.Position() >= snapped - 2000 && player.Position() < snapped);
        w.main->BitBtn2Click();

        QVERIFY(!view->ShowsSamples()); // the whole file: a peak a pixel
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(view, Qt::Key_Plus);
        }
        QTRY_VERIFY_WITH_TIMEOUT(view->ShowsSamples(), 20000);
        view->grab();                              // the samples drawn, as lines and dots
        bar(view)->setValue(bar(view)->maximum()); // scrolled to the end: decoded there too
        QTRY_VERIFY_WITH_TIMEOUT(view->ShowsSamples(), 20000);
        view->grab();
    }

    // Ctrl+Z undoes each change to the marked range (a typed time, a mark, a whole drag) and
    // Ctrl+Y does it again; another file starts with nothing to undo.
    void UndoAndRedoOfTheMarkedRange()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        OpenWithPeaks(w, Q(EncodeWithLame(dir, "in", 6.0, 44100, 2, "-b 128")));
        w.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.main.get()));
        TWaveView *view = View(w);
        const auto range = [&] { return std::make_pair(Start(w.ui), End(w.ui)); };
        const auto initial = range();
        QVERIFY(!w.main->RedoRange());
        w.ui.SpinEdit7->SetText("1"); // typed: 0:01
        QCoreApplication::processEvents();
        w.main->MediaPlayer1.SetPosition(5000);
        w.main->SpeedButton4Click(); // the end at the player's 5 s
        QCoreApplication::processEvents();
        Drag(view, {view->XOf(1000), 20}, {view->XOf(1500), 20});
        Drag(view, {view->XOf(view->RangeStart()), 20}, {view->XOf(2000), 20});
        const auto dragged = range();
        QCOMPARE(dragged.first, view->TimeAt(view->XOf(2000)));
        view->setFocus();
        const auto undo = [&] { QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier); };
        undo(); // both drags were done before the loop turned: one step each still
        QCOMPARE(range().first, view->TimeAt(view->XOf(1500)));
        undo();
        QCOMPARE(range(), std::make_pair(int64_t(1000), int64_t(5000)));
        undo();
        QCOMPARE(range(), std::make_pair(int64_t(1000), initial.second));
        undo();
        QCOMPARE(range(), initial);
        QVERIFY(!w.main->UndoRange());
        QTest::keyClick(view, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(range(), std::make_pair(int64_t(1000), initial.second));
        QVERIFY(w.main->RedoRange() && w.main->RedoRange() && w.main->RedoRange());
        QCOMPARE(range(), dragged);
        QVERIFY(!w.main->RedoRange());
        w.main->OpenCutInput(Q(EncodeWithLame(dir, "other", 3.0, 44100, 2, "-b 128")));
        QVERIFY(!w.main->UndoRange());
    }

    // The zoom and snapping come back after a restart, with the next file.
    void ZoomAndSnappingSurviveARestart()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        const QString file = Q(FramesFile(dir, "in.mp3", 60));
        int64_t span = 0;
        {
            TWindows w;
            OpenWithPeaks(w, file);
            View(w)->setFocus();
            QTest::keyClick(View(w), Qt::Key_Plus);
            QTest::keyClick(View(w), Qt::Key_Plus);
            span = View(w)->ViewEnd() - View(w)->ViewStart();
            QCOMPARE(span, w.main->filelength / 4);
            Control<QCheckBox>(*w.main, "SnapBox1")->setChecked(true);
        }
        TWindows w(true);
        w.main->OpenCutInput(file);
        QCOMPARE(View(w)->ViewEnd() - View(w)->ViewStart(), span);
        QVERIFY(Control<QCheckBox>(*w.main, "SnapBox1")->isChecked());
        QVERIFY(View(w)->Snap());
        QVERIFY(!Control<QCheckBox>(*w.main, "SnapBox2")->isChecked()); // the Split page's own
    }

    // The fades drawn: a wedge from the middle at an output's end to the full height where
    // the fade ends, for the marked range and for each ticked row.
    void FadesAreDrawnAsWedges()
    {
        TWaveView view;
        view.resize(400, 100);
        view.SetLength(10000);
        view.SetRange(0, 10000);
        const QColor fade(120, 40, 160);
        const auto wedgeAt = [&](int x) { // the upper line's pixel at x, within a pixel
            const QImage image = view.grab().toImage();
            const int y = 50 - 50 * x / 80; // 80 pixels: 2 s of a 400-pixel 10 s
            for (int dy = -2; dy <= 2; ++dy) {
                const QColor c = image.pixelColor(x, std::clamp(y + dy, 0, 99));
                if (std::abs(c.red() - fade.red()) < 40 && std::abs(c.blue() - fade.blue()) < 40 &&
                    c.green() < 100) {
                    return true;
                }
            }
            return false;
        };
        QVERIFY(!wedgeAt(40));
        view.SetFades(2000, 0);
        QVERIFY(wedgeAt(40));
        QVERIFY(wedgeAt(20));
        view.SetRows({{0, 5000, true}, {5000, 10000, false}}, std::nullopt);
        QVERIFY(wedgeAt(40)); // the first row's fade; the unticked one has none
    }

    // On the Split page's list step: a double-click and M add cut points, a click selects the
    // row there, a dragged cut point moves (and the parts written follow), Ctrl+arrows go from
    // cut point to cut point, Delete removes the selected row's.
    void CutPointsOnTheSplitPage()
    {
        TTempDir dir;
        TFakeDialogs dialogs;
        TWindows w;
        w.main->resize(640, 480);
        w.main->show();
        w.ui.PageControl1->setCurrentIndex(1);
        w.split->OpenSplitInput(Q(EncodeWithLame(dir, "in", 6.0, 44100, 2, "-b 128")));
        w.split->SpeedButton14Click(); // the list's step
        auto *view = Control<TWaveView>(*w.main, "WaveView2");
        QVERIFY(view->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(view->HasPeaks(), 20000);
        TMediaPlayer &player = w.main->MediaPlayer1;

        QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(view->XOf(2000), 20));
        QCOMPARE(w.ui.ListView2->topLevelItemCount(), 2);
        const int64_t first = w.split->Segments()[1].StartMs;
        QCOMPARE(first, view->TimeAt(view->XOf(2000)));
        player.SetPosition(4000);
        w.split->ShowPosition(player.Position());
        view->setFocus();
        QTest::keyClick(view, Qt::Key_M); // at the player's position
        QCOMPARE(w.split->Segments().Count(), 3u);
        QCOMPARE(w.split->Segments()[2].StartMs, 4000);

        // The first cut point dragged to 1.5 s: its two rows follow.
        const QPoint from(view->XOf(first), 20);
        const QPoint to(view->XOf(1500), 20);
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        const int64_t moved = view->TimeAt(to.x());
        QCOMPARE(w.split->Segments()[0].EndMs, moved);
        QCOMPARE(w.split->Segments()[1].StartMs, moved);
        QCOMPARE(w.ui.ListView2->topLevelItem(1)->text(0), DisplayText(moved));
        QVERIFY(w.split->Undo()); // the whole drag is one step
        QCOMPARE(w.split->Segments()[1].StartMs, first);
        QVERIFY(w.split->Redo());
        QCOMPARE(w.split->Segments()[1].StartMs, moved);

        // Ctrl+arrows: from cut point to cut point.
        player.SetPosition(0);
        w.split->ShowPosition(0);
        QTest::keyClick(view, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(player.Position(), moved);
        QTest::keyClick(view, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(player.Position(), 4000);

        // The parts written are the rows as they stand.
        w.ui.Edit10->setText(Q(dir.Path()));
        w.ui.Edit9->setText("p");
        w.split->SpeedButton24Click();
        WaitIdle(w);
        const auto samples = [](const fs::path &f) { return GaplessSamples(f).size() / 2; };
        QCOMPARE(int64_t(samples(dir / "p000.mp3")), (moved * 44100 + 500) / 1000);
        QCOMPARE(int64_t(samples(dir / "p001.mp3")),
                 (4000 * 44100 + 500) / 1000 - (moved * 44100 + 500) / 1000);

        // P plays around the selected row's cut point; snapping puts a new one in a silence.
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_P);
        QCOMPARE(player.Mode(), int(TMediaPlayer::mpPlaying));
        QVERIFY(player.Position() >= 0 && player.Position() < moved);
        player.Pause();

        // A click selects the row there; Delete removes its cut point.
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(view->XOf(5000), 20));
        QCOMPARE(w.ui.ListView2->indexOfTopLevelItem(w.ui.ListView2->currentItem()), 2);
        QVERIFY(view->accessibleDescription().endsWith(
            "分割点 " + DisplayText(w.split->Segments()[2].StartMs)));
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(w.split->Segments().Count(), 2u);
        QCOMPARE(w.split->Segments()[1].EndMs, w.split->filelength);
    }

    // Ctrl+Z undoes every change to the list (add, move, remove, remove all, plan), Ctrl+Y
    // and Ctrl+Shift+Z do it again; a new file starts with nothing to undo.
    void UndoAndRedoOfTheList()
    {
        TFakeDialogs dialogs;
        TWindows w;
        w.main->show();
        w.main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.main.get()));
        w.ui.PageControl1->setCurrentIndex(1);
        w.split->ShowFile(180000);
        w.split->SpeedButton14Click();
        w.ui.ListView2->setFocus();
        const auto rows = [&] {
            QStringList r;
            for (const TSegment &s : w.split->Segments().Rows()) {
                r << QString::number(s.StartMs / 1000);
            }
            return r.join(" ");
        };
        const auto key = [&](int k, Qt::KeyboardModifiers m) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), m);
        };
        const auto undo = [&] { key(Qt::Key_Z, Qt::ControlModifier); };
        QVERIFY(!w.split->Undo()); // nothing yet
        w.split->additem(60000);
        w.split->additem(120000);
        QCOMPARE(rows(), QString("0 60 120"));
        undo();
        QCOMPARE(rows(), QString("0 60"));
        key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(rows(), QString("0 60 120"));
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(1));
        w.split->N1Click(); // remove
        QCOMPARE(rows(), QString("0 120"));
        w.ui.ListView2->setCurrentItem(w.ui.ListView2->topLevelItem(0));
        w.split->N2Click(); // remove all
        QCOMPARE(rows(), QString("0"));
        emit w.addspecial->Planned(0, 180000, 45000); // the planner dialog's plan
        QCOMPARE(rows(), QString("0 45 90 135"));
        for (const char *expected : {"0", "0 120", "0 60 120"}) {
            undo();
            QCOMPARE(rows(), QString(expected));
        }
        key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(rows(), QString("0 120"));
        w.split->additem(120000); // refused (exists): nothing to undo from it
        undo();
        QCOMPARE(rows(), QString("0 60 120"));
        w.split->ShowFile(90000); // another file
        QVERIFY(!w.split->Undo());
        QVERIFY(!w.split->Redo());
    }
};

GUI_TEST_MAIN(WaveViewTest)
#include "WaveViewTest.moc"
