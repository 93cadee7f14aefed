#include "cwminetworkadapterprovider.h"

QList<CWmiObject> CWmiNetworkAdapterProvider::objects() const
{
    return {};
}
