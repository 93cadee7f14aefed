#include "crecordingengine.h"

#include <QPaintEngineState>
#include <QTextItem>

CRecordingEngine::CRecordingEngine()
    : QPaintEngine(QPaintEngine::AllFeatures)
{ }

bool CRecordingEngine::begin(QPaintDevice *)
{
    m_transform = QTransform();
    return true;
}

bool CRecordingEngine::end()
{
    return true;
}

void CRecordingEngine::updateState(const QPaintEngineState &state)
{
    if (state.state() & QPaintEngine::DirtyTransform)
        m_transform = state.transform();
}

void CRecordingEngine::drawPixmap(const QRectF &, const QPixmap &, const QRectF &) { }

void CRecordingEngine::drawTextItem(const QPointF &pos, const QTextItem &item)
{
    texts.append({m_transform.map(pos), item.text(), item.font()});
}

void CRecordingEngine::drawLines(const QLineF *lines, int count)
{
    for (int i = 0; i < count; ++i)
        this->lines.append(m_transform.map(lines[i]));
}

void CRecordingEngine::drawRects(const QRectF *rects, int count)
{
    for (int i = 0; i < count; ++i)
        this->rects.append(m_transform.mapRect(rects[i]));
}

void CRecordingEngine::drawPolygon(const QPointF *, int, PolygonDrawMode) { }

QPaintEngine::Type CRecordingEngine::type() const
{
    return QPaintEngine::User;
}

void CRecordingEngine::clear()
{
    texts.clear();
    lines.clear();
    rects.clear();
}
