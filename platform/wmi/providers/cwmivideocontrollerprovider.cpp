#include "cwmivideocontrollerprovider.h"

QList<CWmiObject> CWmiVideoControllerProvider::objects() const
{
    return {};
}
