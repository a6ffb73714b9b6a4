#include "syncstring.h"

void TSyncString::Add(const QString& AValue)
{
    std::lock_guard lock(FLock);
    FValue.append(AValue);
}

void TSyncString::Delete(qsizetype APos, qsizetype ACount)
{
    std::lock_guard lock(FLock);
    if (APos < 1 || APos > FValue.size() || ACount <= 0)
        return;
    if (APos == 1 && ACount >= FValue.size())
        FValue = QString(); // the usual case: all of it was taken, and nothing is copied
    else
        FValue.remove(APos - 1, ACount);
}

qsizetype TSyncString::Length() const
{
    std::lock_guard lock(FLock);
    return FValue.size();
}

QString TSyncString::Value() const
{
    std::lock_guard lock(FLock);
    return FValue;
}

void TSyncString::SetValue(const QString& AValue)
{
    std::lock_guard lock(FLock);
    FValue = AValue;
}
