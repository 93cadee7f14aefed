#include "cwmiproductprovider.h"

QList<CWmiObject> CWmiProductProvider::objects() const
{
    return {};
}
