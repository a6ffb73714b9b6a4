// Work that would hold up the window, such as reading a large image, done on the thread pool with
// its result handed back on the window's thread.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QPromise>
#include <QThreadPool>
#include <memory>

// Runs `work()` on the thread pool and calls `done(result)` on `owner`'s thread. The watcher it
// returns is `owner`'s child: once the owner is gone, or the watcher dropped, nothing arrives.
template <typename T, typename Work, typename Done>
QFutureWatcher<T>* RunOffThread(QObject* owner, Work work, Done done)
{
    auto promise = std::make_shared<QPromise<T>>();
    auto* watcher = new QFutureWatcher<T>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner, [watcher, done] {
        watcher->deleteLater();
        if (watcher->future().resultCount() > 0)
            done(watcher->future().result());
    });
    watcher->setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)] {
        if (!promise->isCanceled())
            promise->addResult(work());
        promise->finish();
    });
    return watcher;
}

// Forgets the work behind `watcher`, which becomes null: its result never arrives.
template <typename T> void DropOffThread(QFutureWatcher<T>*& watcher)
{
    if (!watcher)
        return;
    watcher->future().cancel();
    watcher->disconnect();
    watcher->deleteLater();
    watcher = nullptr;
}
