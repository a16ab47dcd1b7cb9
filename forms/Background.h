#pragma once
// Long work off the window's thread. A job (a cut, a split, a silence scan, a CUE sheet read)
// runs on Qt's thread pool with values of its own; its result comes back to the window's
// thread as an event, so the window never pumps events from inside a job and a second click
// cannot start a job inside a job.

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

// What a running job and the window share: how far the job got, of how much, and whether the
// window asked it to stop. The window reads it on a timer, so a job that reports often sends
// no flood of events.
struct TJobProgress
{
    std::atomic<int64_t> Done{0};
    std::atomic<int64_t> Total{1};
    std::atomic<bool> Stop{false};
};

// Runs work() on a worker thread, then done(result) on owner's thread; nothing when owner is
// gone by then. work must not touch widgets. The work starts from the event loop, after the
// events already waiting (a click on "停止" among them), so that the window shows its running
// state before the first byte is read.
template <class Work, class Done> void RunInBackground(QObject *owner, Work work, Done done)
{
    using TResult = std::invoke_result_t<Work>;
    auto *watcher = new QFutureWatcher<TResult>(owner);
    QObject::connect(watcher, &QFutureWatcher<TResult>::finished, owner,
                     [watcher, done = std::move(done)] {
                         watcher->deleteLater();
                         done(watcher->result());
                     });
    QTimer::singleShot(0, watcher, [watcher, work = std::move(work)]() mutable {
        watcher->setFuture(QtConcurrent::run(std::move(work)));
    });
}
