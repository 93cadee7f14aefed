#pragma once

#include "crecordingengine.h"

#include <QPaintDevice>

// A page of a given size and resolution that records what is painted on it (see CRecordingEngine).
class CRecordingDevice : public QPaintDevice
{
public:
    CRecordingDevice(int width, int height, int dpi = 96);
    ~CRecordingDevice() override;

    QPaintEngine *paintEngine() const override;
    CRecordingEngine &engine() { return m_engine; }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    int m_width;
    int m_height;
    int m_dpi;
    mutable CRecordingEngine m_engine;
};
