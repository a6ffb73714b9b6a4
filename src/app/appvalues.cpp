#include "appvalues.h"

QString AppCompanyName;
QString AppProductName;
QString AppTitle;
QString AppVersion;

namespace
{

QString& testingHost()
{
    static QString host;
    return host;
}

} // namespace

QString MakerWebHost()
{
    return testingHost().isEmpty() ? QStringLiteral(GRANDORA_WEB_HOST) : testingHost();
}

void SetMakerWebHostForTesting(const QString& host)
{
    testingHost() = host;
}
