#include "cwmiprocessorprovider.h"

QList<CWmiObject> CWmiProcessorProvider::objects() const
{
    return {};
}
