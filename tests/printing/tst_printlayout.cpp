#include "cadmintestrun.h"
#include "crecordingdevice.h"
#include "renderarea.h"

#include <QFile>

#include <QImage>
#include <QPainter>
#include <QTableWidget>
#include <QTest>

namespace {

const int s = 3;

struct Fixture
{
    QTableWidget table;
    struct
    {
        QTableWidget *tableWidget;
    } ui {};

    Fixture(int rows, const QList<int> &widths)
    {
        table.setColumnCount(int(widths.size()));
        table.setRowCount(rows);
        for (int c = 0; c < widths.size(); ++c) {
            table.setHorizontalHeaderItem(c, new QTableWidgetItem(QStringLiteral("head%1").arg(c)));
            table.setColumnWidth(c, widths[c]);
            for (int r = 0; r < rows; ++r)
                table.setItem(r, c, new QTableWidgetItem(QStringLiteral("cell%1.%2").arg(r).arg(c)));
        }
        ui.tableWidget = &table;
    }
};

QMap<QString, QString> settings(const QString &paper, const QString &orientation, int top, int left, int right,
    const QString &font = QStringLiteral("dejavu sans,10,-1,5,400,0,0,0,0,0"))
{
    return {{"pagesize", paper}, {"orientation", orientation}, {"top", QString::number(top)},
        {"left", QString::number(left)}, {"right", QString::number(right)}, {"font", font}};
}

const CRecordingEngine::Text *findText(const CRecordingEngine &engine, const QString &text)
{
    for (const auto &t : engine.texts)
        if (t.text == text)
            return &t;
    return nullptr;
}

} // namespace

class TestPrintLayout : public QObject
{
    Q_OBJECT

private slots:
    void page_data();
    void page();
    void nullItemsKeepTheirPlace();
    void onlyExposedRowsAreDrawn();
    void partialPaintsGiveTheSamePixels();
    void settingsAreReadWhenAskedNotAtPaint();
    void missingSettingsGiveA4PortraitWithoutMargins();
};

void TestPrintLayout::page_data()
{
    QTest::addColumn<QString>("paper");
    QTest::addColumn<QString>("orientation");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    QTest::newRow("A4 portrait, empty table") << "0"
                                              << "0" << 0 << 792 << 1122;
    QTest::newRow("A4 landscape, three rows") << "0"
                                              << "1" << 3 << 1122 << 792;
    QTest::newRow("B5 portrait") << "1"
                                 << "0" << 3 << 688 << 972;
    QTest::newRow("Letter portrait") << "2"
                                     << "0" << 3 << 816 << 1056;
    QTest::newRow("Legal landscape") << "3"
                                     << "1" << 3 << 1344 << 816;
    QTest::newRow("Executive portrait") << "4"
                                        << "0" << 3 << 720 << 960;
    QTest::newRow("A3 portrait") << "8"
                                 << "0" << 3 << 1123 << 1584;
    QTest::newRow("A3 landscape, empty table") << "8"
                                               << "1" << 0 << 1584 << 1123;
    QTest::newRow("number 5 is A4") << "5"
                                    << "0" << 1 << 792 << 1122;
    QTest::newRow("number 7 is A4") << "7"
                                    << "0" << 1 << 792 << 1122;
    QTest::newRow("negative number is A4") << "-1"
                                           << "0" << 1 << 792 << 1122;
    QTest::newRow("text is A4") << "A3"
                                << "0" << 1 << 792 << 1122;
    QTest::newRow("missing is A4, portrait") << ""
                                             << "" << 1 << 792 << 1122;
    QTest::newRow("orientation 01 is landscape") << "0"
                                                 << "01" << 1 << 1122 << 792;
    QTest::newRow("orientation 2 is portrait") << "0"
                                               << "2" << 1 << 792 << 1122;
}

void TestPrintLayout::page()
{
    QFETCH(QString, paper);
    QFETCH(QString, orientation);
    QFETCH(int, rows);
    QFETCH(int, width);
    QFETCH(int, height);
    const int top = 40, left = 20, right = 30, p = 10;
    const QList<int> widths {120, 75, 200};

    Fixture fixture(rows, widths);
    RenderArea area;
    area.setUi(fixture.ui);
    area.setPageSet(settings(paper, orientation, top, left, right));
    QCOMPARE(area.sizeHint(), QSize(width, height));
    QCOMPARE(area.size(), QSize(width, height));

    CRecordingDevice device(width, height);
    area.render(&device, QPoint(), QRegion(), QWidget::DrawChildren);
    const CRecordingEngine &engine = device.engine();

    // The page frame.
    QCOMPARE(engine.rects.size(), 1);
    QCOMPARE(engine.rects[0], QRectF(0, 0, width - 1, height - 1));

    // Title.
    const auto *title = findText(engine, "System infomation report");
    QVERIFY(title);
    QCOMPARE(title->pos, QPointF(width / 2 - 130, top));
    QCOMPARE(title->font.pointSize(), p + 4);
    QCOMPARE(title->font.family(), QStringLiteral("dejavu sans"));

    // Rules: double rule, rule below the header, closing rule.
    const int rule1 = top + p + 4, rule2 = rule1 + s, headerY = rule2 + s + p + 2, rule3 = headerY + s;
    const int closing = rule3 + rows * (p + s) + s;
    QCOMPARE(engine.lines.size(), 4);
    const QList<int> ruleYs {rule1, rule2, rule3, closing};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(engine.lines[i], QLineF(left, ruleYs[i], width - right, ruleYs[i]));

    // Header and rows, x from the column widths.
    QCOMPARE(engine.texts.size(), 1 + 3 + rows * 3);
    int x = left;
    for (int c = 0; c < widths.size(); ++c) {
        const auto *head = findText(engine, QStringLiteral("head%1").arg(c));
        QVERIFY(head);
        QCOMPARE(head->pos, QPointF(x, headerY));
        QCOMPARE(head->font.pointSize(), p + 2);
        for (int r = 0; r < rows; ++r) {
            const auto *cell = findText(engine, QStringLiteral("cell%1.%2").arg(r).arg(c));
            QVERIFY(cell);
            QCOMPARE(cell->pos, QPointF(x, rule3 + (r + 1) * (p + s)));
            QCOMPARE(cell->font.pointSize(), p);
        }
        x += widths[c];
    }
}

void TestPrintLayout::nullItemsKeepTheirPlace()
{
    Fixture fixture(2, {100, 50, 80});
    delete fixture.table.takeHorizontalHeaderItem(1);
    delete fixture.table.takeItem(0, 0);
    delete fixture.table.takeItem(1, 1);

    RenderArea::PageFormat page {792, 28, 28, 28, 3, QFont("DejaVu Sans", 12)};
    CRecordingDevice device(792, 1122);
    QPainter painter(&device);
    int x = 0, y = 0;
    RenderArea::drawHeader(&painter, &fixture.table, page, x, y);
    RenderArea::drawRows(&painter, &fixture.table, page, x, y);
    painter.end();

    const CRecordingEngine &engine = device.engine();
    QStringList drawn;
    for (const auto &t : engine.texts)
        drawn << t.text;
    QCOMPARE(
        drawn, QStringList({"System infomation report", "head0", "head2", "cell0.1", "cell0.2", "cell1.0", "cell1.2"}));
    QCOMPARE(findText(engine, "head2")->pos.x(), 28 + 150);
    QCOMPARE(findText(engine, "cell0.1")->pos.x(), 28 + 100);
    QCOMPARE(findText(engine, "cell1.2")->pos.x(), 28 + 150);
    QCOMPARE(x, 28 + 230);
    const int rule3 = 28 + 16 + 3 + 3 + 14 + 3;
    QCOMPARE(y, rule3 + 2 * 15 + 3);
}

void TestPrintLayout::onlyExposedRowsAreDrawn()
{
    Fixture fixture(5000, {100, 100});
    RenderArea area;
    area.setUi(fixture.ui);
    area.setPageSet(settings("0", "0", 28, 28, 28));

    CRecordingDevice device(792, 1122);
    area.render(&device, QPoint(0, 500), QRegion(0, 500, 792, 40), QWidget::DrawChildren);
    const CRecordingEngine &engine = device.engine();
    int cells = 0;
    for (const auto &t : engine.texts) {
        if (!t.text.startsWith("cell"))
            continue;
        ++cells;
        QVERIFY2(t.pos.y() > 500 - 30 && t.pos.y() < 540 + 30, qPrintable(t.text + QString::number(t.pos.y())));
    }
    // Rows 13 apart: about three lines meet the strip, each with two cells.
    QVERIFY2(cells >= 6 && cells <= 16, qPrintable(QString::number(cells)));
    // The closing rule lies where all rows would have put it.
    QCOMPARE(engine.lines.last().y1(), 28 + 14 + 3 + 3 + 12 + 3 + 5000 * 13 + 3);
}

void TestPrintLayout::partialPaintsGiveTheSamePixels()
{
    Fixture fixture(120, {90, 140, 60});
    RenderArea area;
    area.setUi(fixture.ui);
    area.setPageSet(settings("0", "0", 28, 28, 28));

    QImage whole(area.size(), QImage::Format_ARGB32);
    whole.fill(Qt::gray);
    area.render(&whole);

    QImage strips(area.size(), QImage::Format_ARGB32);
    strips.fill(Qt::gray);
    for (int y = 0; y < area.height(); y += 37)
        area.render(&strips, QPoint(0, y), QRegion(0, y, area.width(), 37));
    QCOMPARE(strips, whole);
}

void TestPrintLayout::settingsAreReadWhenAskedNotAtPaint()
{
    auto write = [](const QByteArray &pageset) {
        QFile file("setting.xml");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<setting>\n  <pageset>\n" + pageset + "  </pageset>\n</setting>\n");
    };
    write("<left>15</left><right>25</right><top>35</top><pagesize>4</pagesize><orientation>0</orientation>"
          "<font>DejaVu Serif,11,-1,5,400,0,0,0,0,0</font>\n");
    Fixture fixture(1, {100});
    RenderArea area;
    area.setUi(fixture.ui);
    QCOMPARE(area.sizeHint(), QSize(720, 960));

    write("<left>5</left><right>5</right><top>5</top><pagesize>8</pagesize><orientation>1</orientation>"
          "<font>DejaVu Sans,20</font>\n");
    {
        CRecordingDevice device(720, 960);
        area.render(&device, QPoint(), QRegion(), QWidget::DrawChildren);
        const auto *title = findText(device.engine(), "System infomation report");
        QVERIFY(title);
        QCOMPARE(title->pos, QPointF(720 / 2 - 130, 35));
        QCOMPARE(title->font.family(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(title->font.pointSize(), 15);
        QCOMPARE(device.engine().lines.first(), QLineF(15, 35 + 15, 720 - 25, 35 + 15));
    }

    area.loadPageSet();
    QCOMPARE(area.sizeHint(), QSize(1584, 1123));
    QCOMPARE(area.size(), QSize(1584, 1123));
    CRecordingDevice device(1584, 1123);
    area.render(&device, QPoint(), QRegion(), QWidget::DrawChildren);
    const auto *title = findText(device.engine(), "System infomation report");
    QVERIFY(title);
    QCOMPARE(title->pos, QPointF(1584 / 2 - 130, 5));
    QCOMPARE(title->font.pointSize(), 24);
    QCOMPARE(device.engine().lines.first(), QLineF(5, 5 + 24, 1584 - 5, 5 + 24));
}

void TestPrintLayout::missingSettingsGiveA4PortraitWithoutMargins()
{
    QFile::remove("setting.xml");
    Fixture fixture(0, {100});
    RenderArea area;
    area.setUi(fixture.ui);
    QCOMPARE(area.sizeHint(), QSize(792, 1122));
    CRecordingDevice device(792, 1122);
    area.render(&device, QPoint(), QRegion(), QWidget::DrawChildren);
    const CRecordingEngine &engine = device.engine();
    const auto *title = findText(engine, "System infomation report");
    QVERIFY(title);
    QCOMPARE(title->pos, QPointF(792 / 2 - 130, 0));
    const int p = QFontInfo(area.font()).pointSize();
    QCOMPARE(title->font.pointSize(), p + 4);
    QCOMPARE(engine.lines.size(), 4);
    QCOMPARE(engine.lines.first(), QLineF(0, p + 4, 792, p + 4));
}

BRAMIX_ADMIN_TEST_MAIN(TestPrintLayout)
#include "tst_printlayout.moc"
