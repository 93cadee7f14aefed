#include "cwmidiskdriveprovider.h"

QList<CWmiObject> CWmiDiskDriveProvider::objects() const
{
    return {};
}
