// How long the window's event loop goes without a turn while its long work runs: a timer asks
// for a turn every millisecond, and the longest wait between two is the window's worst freeze.
// Not a test (it times), but a probe that bench/eventloop runs on the benchmark's files:
//   EventLoopProbe CBR60.mp3 TALK60.mp3 BIG.mp3 TALK180.mp3 OUTDIR
#include "GapMeter.h"
#include "GuiSupport.h"

#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

using namespace mp3core;

namespace {

// Lets the loop turn until the windows' jobs have ended.
void Settle(const TWindows &w)
{
    while (w.split->Running() || w.main->CutRunning()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void Report(const char *what, double ms, QElapsedTimer &total)
{
    std::printf("%-58s longest gap %7.1f ms  (%.1f s in all)\n", what, ms,
                double(total.elapsed()) / 1000);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: EventLoopProbe CBR60.mp3 TALK60.mp3 BIG.mp3 TALK180.mp3 OUTDIR\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) { // xcb: a real X server, a screen
        qputenv("QT_QPA_PLATFORM", "offscreen");          // reader's bus attached
    }
    qputenv("SDL_AUDIODRIVER", "dummy");
    TApplication app(argc, argv);
    const QString cbr = argv[1], talk = argv[2], big = argv[3], talk3h = argv[4], out = argv[5];
    TFakeDialogs dialogs;
    auto windows = std::make_unique<TWindows>();
    TWindows &w = *windows;
    w.main->show();
    TGapMeter meter;
    QElapsedTimer total;

    w.main->OpenCutInput(cbr); // the cut: the whole hour
    w.ui.Edit11->setText(out + "/cut.mp3");
    TypeRange(w.ui, "0:0.0", "59:0.0");
    total.start();
    meter.Start();
    w.main->BitBtn3Click();
    Settle(w);
    Report("cut of 59 minutes (56 MB)", meter.Stop(), total);

    w.split->OpenSplitInput(cbr); // 3,600 parts: planned, listed and written
    w.ui.Edit10->setText(out);
    w.ui.Edit9->setText("p");
    w.ui.RadioButton2->setChecked(true);
    w.ui.SpinEdit4->SetText("1");
    total.start();
    meter.Start();
    w.split->PlanWholeFile([&] { w.split->SpeedButton24Click(); });
    Settle(w);
    Report("split of 60 minutes into 3,600 parts", meter.Stop(), total);

    w.split->OpenSplitInput(talk); // the silences of an hour, decoded
    w.ui.RadioButton4->setChecked(true);
    total.start();
    meter.Start();
    w.split->SpeedButton15Click();
    Settle(w);
    Report("silence scan of 60 minutes", meter.Stop(), total);

    total.start(); // a 2.6 GB file opened, and Play pressed at once
    meter.Start();
    QTimer::singleShot(0, [&] { w.main->OpenCutInput(big); });
    QTimer::singleShot(0, [&] { w.main->BitBtn1Click(); });
    QElapsedTimer played;
    played.start();
    while (played.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    Report("open of a 2.6 GB file and Play at once (2 s of it)", meter.Stop(), total);
    w.main->BitBtn2Click();

    // The three-hour recording: opened on either page, split every second (10,801 parts) and
    // at its silences, and the window closed with it loaded.
    const auto turnFor = [](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    };
    total.start();
    meter.Start();
    QTimer::singleShot(0, [&] { w.main->OpenCutInput(talk3h); });
    turnFor(1500);
    Report("open of the 3-hour file on the Cut page", meter.Stop(), total);

    w.ui.PageControl1->setCurrentIndex(1);
    total.start();
    meter.Start();
    QTimer::singleShot(0, [&] { w.split->OpenSplitInput(talk3h); });
    turnFor(1500);
    Report("open of the 3-hour file on the Split page", meter.Stop(), total);

    QDir(out).removeRecursively();
    QDir().mkpath(out);
    w.ui.RadioButton2->setChecked(true);
    w.ui.SpinEdit4->SetText("1");
    Control<TSpinEdit>(*w.main, "SpinEdit15")->SetText("0");
    total.start();
    meter.Start();
    QTimer::singleShot(0, [&] { w.split->PlanWholeFile([&] { w.split->SpeedButton24Click(); }); });
    turnFor(100);
    Settle(w);
    Report("split of 3 hours every second (10,800 parts)", meter.Stop(), total);

    QDir(out).removeRecursively();
    QDir().mkpath(out);
    w.ui.RadioButton4->setChecked(true);
    total.start();
    meter.Start();
    QTimer::singleShot(0, [&] { w.split->PlanWholeFile([&] { w.split->SpeedButton24Click(); }); });
    turnFor(100);
    Settle(w);
    Report("split of 3 hours at its silences", meter.Stop(), total);

    w.main->playmp3(talk3h); // playing, its whole-file scan running, the list full
    turnFor(200);
    total.start();
    QElapsedTimer closing;
    closing.start();
    w.main->close(); // the window goes at once; the loop ends with it
    const double gone = double(closing.elapsed());
    Report("close of the window with the 3-hour file loaded", gone, total);
    windows.reset(); // then the player, its sound device and the windows are taken down
    Report("  taken down after it has gone (the sound device's thread ends)",
           double(closing.elapsed()) - gone, total);
    std::printf("messages: %s\n", qPrintable(dialogs.Messages.join(" | ")));
    return 0;
}
