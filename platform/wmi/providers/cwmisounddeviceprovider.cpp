#include "cwmisounddeviceprovider.h"

QList<CWmiObject> CWmiSoundDeviceProvider::objects() const
{
    return {};
}
