#include "cwmibiosprovider.h"

QList<CWmiObject> CWmiBiosProvider::objects() const
{
    return {};
}
