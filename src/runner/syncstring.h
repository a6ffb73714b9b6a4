// TSyncString: text that the pipe reader appends and the worker takes, behind one lock.
#pragma once

#include <QString>
#include <mutex>

class TSyncString
{
public:
    void Add(const QString& AValue);
    // Removes ACount characters from the 1-based position APos.
    void Delete(qsizetype APos, qsizetype ACount);
    qsizetype Length() const;
    QString Value() const;
    void SetValue(const QString& AValue);

private:
    mutable std::recursive_mutex FLock;
    QString FValue;
};
