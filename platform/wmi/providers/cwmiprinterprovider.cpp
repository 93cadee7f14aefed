#include "cwmiprinterprovider.h"

QList<CWmiObject> CWmiPrinterProvider::objects() const
{
    return {};
}
