#include "cwmidesktopmonitorprovider.h"

QList<CWmiObject> CWmiDesktopMonitorProvider::objects() const
{
    return {};
}
