#include "cwmiphysicalmemoryprovider.h"

QList<CWmiObject> CWmiPhysicalMemoryProvider::objects() const
{
    return {};
}
