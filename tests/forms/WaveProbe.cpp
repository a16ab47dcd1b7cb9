// What the waveform costs the window, on the benchmark's files (bench/waveform):
//   WaveProbe SIXTY.mp3 THREE_HOURS.mp3 TEN_HOURS.mp3
// the time to the first peaks drawn after a 60-minute file opens on the Cut page and to the
// whole overview (beside one `mpg123 -t` of the same file, timed here), the event loop's
// longest wait meanwhile, the longest redraw through every zoom level of the 3-hour file
// (scrolled from end to end at each), and the memory a view holds for a 10-hour file's peaks.
// Not a test: it times.
#include "GapMeter.h"
#include "GuiSupport.h"
#include "widgets/WaveView.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScrollBar>

#include <cstdio>

using namespace mp3core;

namespace {

// Turns the loop until done() or ms have passed, sleeping while there is nothing to do (the
// overload with a time would not wait: it would take a core from what it measures); whether
// done() came true.
template <class F> bool TurnUntil(F done, int ms)
{
    QTimer beat; // wakes the loop at least every 10 ms
    beat.start(10);
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

double Ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The process's resident memory, in MB.
double ResidentMb()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
        }
    }
    return 0;
}

double DecodeSeconds(const QString &file)
{
    QElapsedTimer t;
    t.start();
    QProcess::execute("mpg123", {"-q", "-t", file});
    return Ms(t) / 1000;
}

// The file opened twice: timed, and then with the event loop's waits measured (the meter's
// timer wakes the loop every millisecond, which would slow the build it measures).
void Opening(TWindows &w, const QString &file)
{
    auto *view = Control<TWaveView>(*w.main, "WaveView1");
    const double mpg123 = DecodeSeconds(file);
    QElapsedTimer t;
    t.start();
    w.main->OpenCutInput(file);
    const double opened = Ms(t);
    TurnUntil([&] { return view->Peaks() != nullptr; }, 60000);
    view->repaint();
    const double first = Ms(t);
    TurnUntil([&] { return view->HasPeaks(); }, 600000);
    const double whole = Ms(t) / 1000;
    TGapMeter meter;
    meter.Start();
    w.main->OpenCutInput(file);
    TurnUntil([&] { return view->HasPeaks(); }, 600000);
    const double gap = meter.Stop();
    std::printf("first peaks drawn after the open:        %6.0f ms (goal <= 100; the open itself "
                "%.0f ms)\n",
                first, opened);
    std::printf("whole overview:                           %6.2f s, mpg123 -t %.2f s: %.2fx "
                "(goal <= 0.6x)\n",
                whole, mpg123, whole / mpg123);
    std::printf("longest event-loop gap while it builds:   %6.1f ms (goal <= 50)\n", gap);
}

void Redrawing(TWindows &w, const QString &file)
{
    auto *view = Control<TWaveView>(*w.main, "WaveView1");
    w.main->OpenCutInput(file);
    TurnUntil([&] { return view->HasPeaks(); }, 600000);
    auto *bar = view->findChild<QScrollBar *>();
    double worst = 0;
    int64_t worstSpan = 0;
    int levels = 0;
    const auto draw = [&] {
        QElapsedTimer t;
        t.start();
        view->repaint();
        if (Ms(t) > worst) {
            worst = Ms(t);
            worstSpan = view->ViewEnd() - view->ViewStart();
        }
    };
    for (;;) {
        ++levels;
        for (int k = 0; k <= 8; ++k) { // from end to end
            bar->setValue(int(int64_t(bar->maximum()) * k / 8));
            draw();
            if (TurnUntil([&] { return view->ShowsSamples(); }, 100)) {
                draw(); // the samples, once decoded
            }
        }
        const int64_t span = view->ViewEnd() - view->ViewStart();
        view->Zoom(2, view->width() / 2);
        if (view->ViewEnd() - view->ViewStart() == span) {
            break; // the deepest zoom
        }
    }
    std::printf("longest redraw, %d zoom levels, %dx%d:   %6.1f ms at %lld ms across (goal <= "
                "16)\n",
                levels, view->width(), view->height(), worst, (long long)worstSpan);
}

void Memory(const QString &file)
{
    TWaveView view;
    view.resize(1200, 300);
    const double before = ResidentMb();
    double most = before;
    QTimer sample; // the resident size, every 20 ms
    QObject::connect(&sample, &QTimer::timeout, [&] { most = std::max(most, ResidentMb()); });
    sample.start(20);
    QElapsedTimer t;
    t.start();
    view.Load(file.toStdString());
    TurnUntil([&] { return view.HasPeaks(); }, 1200000);
    most = std::max(most, ResidentMb());
    size_t bytes = 0;
    for (const auto &level : view.Peaks()->Levels) {
        bytes += level.size() * sizeof(TPeak);
    }
    std::printf("10-hour file: peaks %.1f MB, resident memory grew %.1f MB at most while they "
                "were built (goal <= 32), built in %.1f s\n",
                double(bytes) / 1e6, most - before, Ms(t) / 1000);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: WaveProbe SIXTY.mp3 THREE_HOURS.mp3 TEN_HOURS.mp3\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    TApplication app(argc, argv);
    {
        TFakeDialogs dialogs;
        TWindows w;
        w.main->resize(1280, 800);
        w.main->show();
        Opening(w, argv[1]);
        Redrawing(w, argv[2]);
    }
    Memory(argv[3]);
    return 0;
}
