#include "cwmioperatingsystemprovider.h"

QList<CWmiObject> CWmiOperatingSystemProvider::objects() const
{
    return {};
}
