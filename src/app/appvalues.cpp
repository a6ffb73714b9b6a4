#include "appvalues.h"

QString AppCompanyName;
QString AppProductName;
QString AppTitle;
QString AppVersion;

QString MakerWebHost()
{
    return QStringLiteral(GRANDORA_WEB_HOST);
}
