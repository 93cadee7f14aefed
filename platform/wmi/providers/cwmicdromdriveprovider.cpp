#include "cwmicdromdriveprovider.h"

QList<CWmiObject> CWmiCdromDriveProvider::objects() const
{
    return {};
}
