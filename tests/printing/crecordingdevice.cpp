#include "crecordingdevice.h"

CRecordingDevice::CRecordingDevice(int width, int height, int dpi)
    : m_width(width)
    , m_height(height)
    , m_dpi(dpi)
{ }

CRecordingDevice::~CRecordingDevice() = default;

QPaintEngine *CRecordingDevice::paintEngine() const
{
    return &m_engine;
}

int CRecordingDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return m_width;
    case PdmHeight:
        return m_height;
    case PdmWidthMM:
        return m_width * 254 / (10 * m_dpi);
    case PdmHeightMM:
        return m_height * 254 / (10 * m_dpi);
    case PdmNumColors:
        return 256;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return m_dpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    }
    return 0;
}
