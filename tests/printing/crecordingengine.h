#pragma once

#include <QFont>
#include <QLineF>
#include <QList>
#include <QPaintEngine>
#include <QPointF>
#include <QRectF>
#include <QString>

// A paint engine that draws nothing and keeps what it was asked to draw: texts with their baseline
// start and font, lines and rectangles, in device coordinates.
class CRecordingEngine : public QPaintEngine
{
public:
    struct Text
    {
        QPointF pos;
        QString text;
        QFont font;
    };

    CRecordingEngine();

    bool begin(QPaintDevice *device) override;
    bool end() override;
    void updateState(const QPaintEngineState &state) override;
    void drawPixmap(const QRectF &target, const QPixmap &pixmap, const QRectF &source) override;
    void drawTextItem(const QPointF &pos, const QTextItem &item) override;
    void drawLines(const QLineF *lines, int count) override;
    void drawRects(const QRectF *rects, int count) override;
    void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override;
    Type type() const override;

    void clear();

    QList<Text> texts;
    QList<QLineF> lines;
    QList<QRectF> rects;

private:
    QTransform m_transform;
};
