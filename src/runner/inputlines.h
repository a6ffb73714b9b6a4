// TInputLines: the queue of entries that the user-interface thread leaves for the worker to send
// to the child's standard input, behind one lock, with an event set at every addition.
#pragma once

#include "runner/syncevent.h"

#include <QStringList>
#include <mutex>

class TInputLines
{
public:
    TInputLines();
    ~TInputLines();
    TInputLines(const TInputLines&) = delete;
    TInputLines& operator=(const TInputLines&) = delete;

    // Appends AValue and returns its index; the event is set once the lock is released, so the
    // woken worker never waits for the lock the adder still holds.
    qsizetype Add(const QString& AValue);
    qsizetype Count() const;
    void Delete(qsizetype AIndex);
    QString Strings(qsizetype AIndex) const;
    void SetStrings(qsizetype AIndex, const QString& AValue);
    // Takes the lock and hands out the list until UnlockList.
    QStringList& LockList();
    void UnlockList();
    // Automatic reset.
    TEvent& Event() { return FEvent; }

private:
    mutable std::recursive_mutex FLock;
    TEvent FEvent{false};
    QStringList FList;
};
