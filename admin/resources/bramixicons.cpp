// Draws the console's pictures into the directory given on the command line. Every picture is our
// own simple drawing; each file is written in the format its name's extension names.
//
//   bramix-icons <dir>

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextStream>

#include <cmath>
#include <functional>

namespace {

typedef std::function<void(QPainter &)> Drawing;

const QColor kInk(40, 48, 64);
const QColor kBlue(46, 110, 190);
const QColor kLightBlue(150, 195, 240);
const QColor kGreen(56, 150, 72);
const QColor kRed(200, 40, 36);
const QColor kYellow(240, 196, 60);
const QColor kPaper(250, 250, 246);
const QColor kGrey(130, 136, 146);

QPen pen(const QColor &c, qreal w)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A sheet of paper with a folded corner, in the 32 x 32 grid.
void paper(QPainter &p, const QRectF &r)
{
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 7, r.top());
    path.lineTo(r.right(), r.top() + 7);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(pen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawPath(path);
    p.setBrush(QColor(220, 222, 226));
    p.drawPolygon(QPolygonF(
        {QPointF(r.right() - 7, r.top()), QPointF(r.right() - 7, r.top() + 7), QPointF(r.right(), r.top() + 7)}));
}

void textLines(QPainter &p, qreal x0, qreal x1, qreal y0, int n, qreal step, const QColor &c)
{
    p.setPen(pen(c, 1.5));
    for (int i = 0; i < n; ++i)
        p.drawLine(QPointF(x0, y0 + i * step), QPointF(x1 - (i % 2) * 3, y0 + i * step));
}

void monitor(QPainter &p, const QRectF &screen, const QColor &glass)
{
    p.setPen(pen(kInk, 1.5));
    p.setBrush(QColor(70, 78, 92));
    p.drawRoundedRect(screen.adjusted(-2, -2, 2, 2), 2, 2);
    p.setBrush(glass);
    p.drawRect(screen);
    const qreal cx = screen.center().x();
    p.setBrush(QColor(70, 78, 92));
    p.drawRect(QRectF(cx - 2, screen.bottom() + 2, 4, 3));
    p.drawRoundedRect(QRectF(cx - 8, screen.bottom() + 5, 16, 3), 1, 1);
}

void folderShape(QPainter &p, const QRectF &r, const QColor &c)
{
    QPainterPath back;
    back.moveTo(r.left(), r.top() + 3);
    back.lineTo(r.left() + r.width() * 0.38, r.top() + 3);
    back.lineTo(r.left() + r.width() * 0.46, r.top());
    back.lineTo(r.right(), r.top());
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.left(), r.bottom());
    back.closeSubpath();
    p.setPen(pen(c.darker(160), 1.5));
    p.setBrush(c.darker(115));
    p.drawPath(back);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(r.left(), r.top() + 7, r.width(), r.height() - 7), 1.5, 1.5);
}

void arrow(QPainter &p, bool right, const QColor &c)
{
    QPolygonF a({QPointF(4, 12), QPointF(17, 12), QPointF(17, 5), QPointF(28, 16), QPointF(17, 27), QPointF(17, 20),
        QPointF(4, 20)});
    if (!right) {
        for (QPointF &pt : a)
            pt.setX(32 - pt.x());
    }
    p.setPen(pen(c.darker(150), 1.5));
    p.setBrush(c);
    p.drawPolygon(a);
}

void centredText(QPainter &p, const QRectF &r, const QString &text, int pixelSize, const QColor &c,
    const QString &family = QString(), bool bold = true)
{
    QFont f(family.isEmpty() ? QStringLiteral("DejaVu Sans") : family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, text);
}

void windowPane(QPainter &p, const QRectF &r)
{
    p.setPen(pen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawRoundedRect(r, 2, 2);
    p.setBrush(kBlue);
    p.drawRect(QRectF(r.left(), r.top(), r.width(), 6));
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(r.right() - 4, r.top() + 3), 1.5, 1.5);
    p.setPen(pen(kLightBlue, 2));
    p.drawLine(QPointF(r.left() + 4, r.top() + 11), QPointF(r.right() - 5, r.top() + 11));
    p.drawLine(QPointF(r.left() + 4, r.top() + 16), QPointF(r.right() - 9, r.top() + 16));
}

void terminal(QPainter &p, const QRectF &r)
{
    p.setPen(pen(kInk, 1.5));
    p.setBrush(QColor(36, 40, 46));
    p.drawRoundedRect(r, 2.5, 2.5);
    p.setPen(pen(QColor(120, 220, 120), 2));
    const qreal x = r.left() + 4, y = r.top() + 6;
    p.drawPolyline(QPolygonF({QPointF(x, y), QPointF(x + 5, y + 4), QPointF(x, y + 8)}));
    p.drawLine(QPointF(x + 7, y + 9), QPointF(x + 14, y + 9));
}

void magnifier(QPainter &p, const QPointF &c, qreal radius, const QColor &rim)
{
    p.setPen(pen(kInk, 4));
    p.drawLine(c + QPointF(radius * 0.7, radius * 0.7), c + QPointF(radius * 1.9, radius * 1.9));
    p.setPen(pen(rim, 2.5));
    p.setBrush(QColor(210, 232, 250, 220));
    p.drawEllipse(c, radius, radius);
}

void page(QPainter &p, const QRectF &r)
{
    p.setPen(pen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawRect(r);
    textLines(p, r.left() + 3, r.right() - 3, r.top() + 4, int((r.height() - 6) / 4), 4, kGrey);
}

struct Picture
{
    const char *name;
    int size;
    Drawing draw;
};

const QList<Picture> &pictures()
{
    static const QList<Picture> list = {
        {"46.png", 128,
            [](QPainter &p) {
                // The console's emblem: a screen over a network of three computers.
                p.scale(4, 4);
                QLinearGradient g(0, 0, 0, 32);
                g.setColorAt(0, QColor(70, 140, 220));
                g.setColorAt(1, QColor(30, 80, 160));
                p.setPen(Qt::NoPen);
                p.setBrush(g);
                p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
                p.setPen(pen(QColor(230, 240, 255), 1.2));
                p.drawLine(QPointF(16, 14), QPointF(16, 20));
                p.drawLine(QPointF(7, 20), QPointF(25, 20));
                p.drawLine(QPointF(7, 20), QPointF(7, 23));
                p.drawLine(QPointF(16, 20), QPointF(16, 23));
                p.drawLine(QPointF(25, 20), QPointF(25, 23));
                p.setPen(pen(kInk, 0.8));
                p.setBrush(kPaper);
                p.drawRoundedRect(QRectF(9, 4, 14, 10), 1, 1);
                p.setBrush(QColor(120, 200, 140));
                p.drawRect(QRectF(11, 6, 4, 2));
                p.setBrush(kYellow);
                p.drawRect(QRectF(11, 9, 8, 2));
                p.setBrush(kPaper);
                for (qreal x : {4.0, 13.0, 22.0})
                    p.drawRoundedRect(QRectF(x, 23, 6, 5), 0.8, 0.8);
            }},
        {"search2.PNG", 32,
            [](QPainter &p) {
                // A magnifier over two linked computers: the subnet scan.
                p.setPen(pen(kGrey, 1.5));
                p.drawLine(QPointF(6, 26), QPointF(26, 26));
                p.setBrush(kLightBlue);
                p.setPen(pen(kInk, 1.2));
                p.drawRect(QRectF(2, 20, 7, 5));
                p.drawRect(QRectF(23, 20, 7, 5));
                magnifier(p, QPointF(13, 11), 7, kBlue);
            }},
        {"update.png", 32,
            [](QPainter &p) {
                // Two arrows chasing each other round a circle.
                p.setBrush(Qt::NoBrush);
                p.setPen(pen(kGreen, 3.5));
                p.drawArc(QRectF(5, 5, 22, 22), 30 * 16, 140 * 16);
                p.drawArc(QRectF(5, 5, 22, 22), 210 * 16, 140 * 16);
                p.setPen(pen(kGreen.darker(130), 1));
                p.setBrush(kGreen);
                p.drawPolygon(QPolygonF({QPointF(1, 14), QPointF(10, 14), QPointF(5.5, 20)}));
                p.drawPolygon(QPolygonF({QPointF(22, 18), QPointF(31, 18), QPointF(26.5, 12)}));
            }},
        {"log.png", 32,
            [](QPainter &p) {
                paper(p, QRectF(5, 2, 22, 28));
                textLines(p, 9, 23, 11, 5, 4, kBlue);
                p.setPen(pen(kRed, 1.5));
                p.drawLine(QPointF(9, 7), QPointF(16, 7));
            }},
        {"View.png", 32,
            [](QPainter &p) {
                // A page under a magnifier: looking at a printed view.
                paper(p, QRectF(3, 2, 20, 26));
                textLines(p, 6, 19, 9, 4, 4, kGrey);
                magnifier(p, QPointF(19, 19), 6, kBlue);
            }},
        {"folder.png", 32, [](QPainter &p) { folderShape(p, QRectF(2, 6, 28, 21), kYellow); }},
        {"Delete.png", 32,
            [](QPainter &p) {
                p.setPen(pen(kRed.darker(140), 1.5));
                p.setBrush(kRed);
                p.drawEllipse(QRectF(3, 3, 26, 26));
                p.setPen(pen(Qt::white, 4));
                p.drawLine(QPointF(11, 11), QPointF(21, 21));
                p.drawLine(QPointF(21, 11), QPointF(11, 21));
            }},
        {"report2.PNG", 32,
            [](QPainter &p) {
                // A sheet with a bar chart.
                paper(p, QRectF(4, 2, 24, 28));
                p.setPen(Qt::NoPen);
                p.setBrush(kBlue);
                p.drawRect(QRectF(8, 18, 4, 8));
                p.setBrush(kGreen);
                p.drawRect(QRectF(14, 12, 4, 14));
                p.setBrush(kRed);
                p.drawRect(QRectF(20, 15, 4, 11));
                p.setPen(pen(kInk, 1));
                p.drawLine(QPointF(7, 26.5), QPointF(25, 26.5));
            }},
        {"IE_01.png", 32,
            [](QPainter &p) {
                // A sheet and a globe: a page for the web browser.
                paper(p, QRectF(2, 2, 20, 26));
                textLines(p, 5, 18, 9, 3, 4, kGrey);
                p.setPen(pen(kBlue.darker(140), 1.5));
                p.setBrush(kLightBlue);
                const QRectF globe(13, 13, 17, 17);
                p.drawEllipse(globe);
                p.setBrush(Qt::NoBrush);
                p.setPen(pen(kBlue.darker(120), 1.1));
                p.drawEllipse(globe.adjusted(5, 0, -5, 0));
                p.drawLine(QPointF(globe.left(), globe.center().y()), QPointF(globe.right(), globe.center().y()));
                p.drawLine(QPointF(globe.center().x(), globe.top()), QPointF(globe.center().x(), globe.bottom()));
            }},
        {"Stop.png", 32,
            [](QPainter &p) {
                QPolygonF octagon;
                for (int i = 0; i < 8; ++i) {
                    const qreal a = (22.5 + 45 * i) * 3.14159265 / 180;
                    octagon << QPointF(16 + 14 * std::cos(a), 16 + 14 * std::sin(a));
                }
                p.setPen(pen(kRed.darker(150), 1.5));
                p.setBrush(kRed);
                p.drawPolygon(octagon);
                p.setPen(pen(Qt::white, 3));
                p.drawLine(QPointF(9, 16), QPointF(23, 16));
            }},
        {"zhong.PNG", 32,
            [](QPainter &p) {
                p.setPen(pen(QColor(150, 20, 20), 1));
                p.setBrush(QColor(214, 40, 40));
                p.drawRoundedRect(QRectF(1, 4, 30, 24), 3, 3);
                centredText(p, QRectF(1, 4, 30, 24), QString::fromUtf8("\xe4\xb8\xad"), 20, kYellow,
                    QStringLiteral("WenQuanYi Micro Hei"));
            }},
        {"ri.PNG", 32,
            [](QPainter &p) {
                p.setPen(pen(kGrey, 1));
                p.setBrush(Qt::white);
                p.drawRoundedRect(QRectF(1, 4, 30, 24), 3, 3);
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(214, 40, 40));
                p.drawEllipse(QPointF(16, 16), 9, 9);
                centredText(p, QRectF(1, 4, 30, 24), QString::fromUtf8("\xe6\x97\xa5"), 13, Qt::white,
                    QStringLiteral("WenQuanYi Micro Hei"));
            }},
        {"en.PNG", 32,
            [](QPainter &p) {
                p.setPen(pen(kBlue.darker(150), 1));
                p.setBrush(QColor(36, 70, 150));
                p.drawRoundedRect(QRectF(1, 4, 30, 24), 3, 3);
                centredText(p, QRectF(1, 4, 30, 24), QStringLiteral("EN"), 14, Qt::white);
            }},
        {"iMovie.png", 32,
            [](QPainter &p) {
                // "i" for information.
                p.setPen(pen(kBlue.darker(150), 1.5));
                p.setBrush(kBlue);
                p.drawEllipse(QRectF(3, 3, 26, 26));
                p.setPen(Qt::NoPen);
                p.setBrush(Qt::white);
                p.drawEllipse(QPointF(16, 9.5), 2.2, 2.2);
                p.drawRoundedRect(QRectF(14, 13.5, 4, 11), 1, 1);
            }},
        {"windows.png", 32,
            [](QPainter &p) {
                // A desktop computer showing a window: a Windows client.
                monitor(p, QRectF(4, 4, 24, 16), kLightBlue);
                windowPane(p, QRectF(8, 6, 16, 12));
            }},
        {"linux.png", 32,
            [](QPainter &p) {
                // A desktop computer showing a shell prompt: a Linux client.
                monitor(p, QRectF(4, 4, 24, 16), QColor(36, 40, 46));
                p.setPen(pen(QColor(120, 220, 120), 2));
                p.drawPolyline(QPolygonF({QPointF(8, 8), QPointF(12, 11), QPointF(8, 14)}));
                p.drawLine(QPointF(14, 16), QPointF(21, 16));
            }},
        {"apple.jpg", 32,
            [](QPainter &p) {
                // A laptop.
                p.fillRect(QRectF(0, 0, 32, 32), Qt::white);
                p.setPen(pen(kInk, 1.5));
                p.setBrush(QColor(190, 194, 200));
                p.drawRoundedRect(QRectF(6, 5, 20, 15), 2, 2);
                p.setBrush(QColor(236, 240, 245));
                p.drawRect(QRectF(8, 7, 16, 11));
                p.setBrush(QColor(190, 194, 200));
                p.drawPolygon(QPolygonF({QPointF(3, 26), QPointF(6, 21), QPointF(26, 21), QPointF(29, 26)}));
            }},
        {"alixe.png", 32,
            [](QPainter &p) {
                // A rack server.
                p.setPen(pen(kInk, 1.5));
                for (int i = 0; i < 3; ++i) {
                    p.setBrush(QColor(90, 98, 112));
                    p.drawRoundedRect(QRectF(6, 4 + i * 8.5, 20, 7), 1.5, 1.5);
                    p.setBrush(kGreen.lighter(130));
                    p.drawEllipse(QPointF(10, 7.5 + i * 8.5), 1.3, 1.3);
                    p.setPen(pen(QColor(200, 204, 210), 1));
                    p.drawLine(QPointF(15, 7.5 + i * 8.5), QPointF(23, 7.5 + i * 8.5));
                    p.setPen(pen(kInk, 1.5));
                }
            }},
        {"watch.png", 32,
            [](QPainter &p) {
                // A computer of unknown kind: a screen with a question mark.
                monitor(p, QRectF(4, 4, 24, 16), QColor(220, 224, 230));
                centredText(p, QRectF(4, 3, 24, 17), QStringLiteral("?"), 15, kGrey);
            }},
        {"Windows4.png", 32,
            [](QPainter &p) {
                // Choosing files for the Windows clients.
                windowPane(p, QRectF(2, 3, 22, 18));
                folderShape(p, QRectF(13, 15, 17, 13), kYellow);
            }},
        {"TuxG2.png", 32,
            [](QPainter &p) {
                // Choosing files for the Linux clients.
                terminal(p, QRectF(2, 3, 22, 18));
                folderShape(p, QRectF(13, 15, 17, 13), kYellow);
            }},
        {"del.png", 32,
            [](QPainter &p) {
                p.setPen(pen(kRed.darker(140), 1.5));
                p.setBrush(kRed);
                p.drawRoundedRect(QRectF(5, 12, 22, 8), 2, 2);
            }},
        {"left.png", 32, [](QPainter &p) { arrow(p, false, kBlue); }},
        {"right.png", 32, [](QPainter &p) { arrow(p, true, kBlue); }},
        {"custome_col.png", 32,
            [](QPainter &p) {
                // A table whose middle column is picked.
                p.setPen(pen(kInk, 1.5));
                p.setBrush(kPaper);
                p.drawRect(QRectF(3, 5, 26, 22));
                p.setPen(Qt::NoPen);
                p.setBrush(kLightBlue);
                p.drawRect(QRectF(12, 6, 8, 20));
                p.setPen(pen(kInk, 1));
                p.drawLine(QPointF(3, 11), QPointF(29, 11));
                p.drawLine(QPointF(12, 5), QPointF(12, 27));
                p.drawLine(QPointF(20, 5), QPointF(20, 27));
            }},
        {"font2.PNG", 32,
            [](QPainter &p) {
                paper(p, QRectF(4, 2, 24, 28));
                centredText(p, QRectF(4, 6, 24, 22), QStringLiteral("A"), 20, kBlue, QStringLiteral("DejaVu Serif"));
            }},
        {"printer2.PNG", 32,
            [](QPainter &p) {
                p.setPen(pen(kInk, 1.5));
                p.setBrush(kPaper);
                p.drawRect(QRectF(9, 3, 14, 10));
                p.setBrush(QColor(110, 118, 130));
                p.drawRoundedRect(QRectF(3, 12, 26, 11), 2, 2);
                p.setBrush(kPaper);
                p.drawRect(QRectF(9, 19, 14, 10));
                textLines(p, 11, 21, 23, 2, 3, kGrey);
                p.setPen(Qt::NoPen);
                p.setBrush(kGreen.lighter(130));
                p.drawEllipse(QPointF(25, 15.5), 1.4, 1.4);
            }},
        {"v.bmp", 32,
            [](QPainter &p) {
                p.fillRect(QRectF(0, 0, 32, 32), Qt::white);
                page(p, QRectF(8, 3, 16, 26));
            }},
        {"h.bmp", 32,
            [](QPainter &p) {
                p.fillRect(QRectF(0, 0, 32, 32), Qt::white);
                page(p, QRectF(3, 8, 26, 16));
            }},
    };
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: bramix-icons <dir>\n";
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir))
        return 1;
    for (const Picture &pic : pictures()) {
        const QString name = QString::fromLatin1(pic.name);
        const QString suffix = QFileInfo(name).suffix().toLower();
        const bool opaque = suffix != QLatin1String("png");
        QImage image(pic.size, pic.size, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        image.fill(opaque ? QColor(Qt::white) : QColor(Qt::transparent));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        if (pic.size != 32 && name != QLatin1String("46.png"))
            painter.scale(pic.size / 32.0, pic.size / 32.0);
        pic.draw(painter);
        painter.end();
        const char *format = suffix == QLatin1String("png") ? "PNG" : suffix == QLatin1String("jpg") ? "JPG" : "BMP";
        if (!image.save(dir + QLatin1Char('/') + name, format, suffix == QLatin1String("jpg") ? 95 : -1)) {
            QTextStream(stderr) << "cannot write " << name << "\n";
            return 1;
        }
    }
    return 0;
}
