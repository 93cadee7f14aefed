#include "cwmibaseboardprovider.h"

QList<CWmiObject> CWmiBaseBoardProvider::objects() const
{
    return {};
}
