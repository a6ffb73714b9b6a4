#include "inputlines.h"

TInputLines::TInputLines() = default;

TInputLines::~TInputLines()
{
    std::lock_guard lock(FLock);
    FList.clear();
}

qsizetype TInputLines::Add(const QString& AValue)
{
    qsizetype index;
    {
        std::lock_guard lock(FLock);
        FList.append(AValue);
        index = FList.size() - 1;
    }
    FEvent.SetEvent();
    return index;
}

qsizetype TInputLines::Count() const
{
    std::lock_guard lock(FLock);
    return FList.size();
}

void TInputLines::Delete(qsizetype AIndex)
{
    std::lock_guard lock(FLock);
    if (AIndex >= 0 && AIndex < FList.size())
        FList.removeAt(AIndex);
}

QString TInputLines::Strings(qsizetype AIndex) const
{
    std::lock_guard lock(FLock);
    return FList.value(AIndex);
}

void TInputLines::SetStrings(qsizetype AIndex, const QString& AValue)
{
    std::lock_guard lock(FLock);
    if (AIndex >= 0 && AIndex < FList.size())
        FList[AIndex] = AValue;
}

QStringList& TInputLines::LockList()
{
    FLock.lock();
    return FList;
}

void TInputLines::UnlockList()
{
    FLock.unlock();
}
