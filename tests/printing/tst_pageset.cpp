#include "cadmintestrun.h"
#include "cpageset.h"
#include "ctestdialogs.h"

#include <QDomDocument>
#include <QFile>
#include <QTest>

namespace {

const QByteArray g_font = "dejavu serif,13,-1,5,400,0,0,0,0,0,0,0,0,0,0,1";

void writeSettings(const QByteArray &pageset)
{
    QFile file("setting.xml");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<?xml version=\"1.0\"?>\n<setting>\n  <pageset>\n" + pageset + "  </pageset>\n</setting>\n");
}

QByteArray readFile()
{
    QFile file("setting.xml");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The settings in the file, as tag -> text of the "pageset" children, in file order.
QList<QPair<QString, QString>> stored()
{
    QDomDocument doc;
    doc.setContent(readFile());
    QList<QPair<QString, QString>> result;
    for (QDomElement e = doc.documentElement().firstChildElement("pageset").firstChildElement(); !e.isNull();
         e = e.nextSiblingElement())
        result.append({e.tagName(), e.text()});
    return result;
}

QString storedValue(const QString &key)
{
    QString value;
    for (const auto &entry : stored())
        if (entry.first == key)
            value = entry.second;
    return value;
}

QByteArray pageset(const QString &paper, const QString &orientation)
{
    QByteArray xml = "    <left>11</left>\n    <right>12</right>\n    <top>13</top>\n    <bottom>14</bottom>\n";
    if (!paper.isNull())
        xml += "    <pagesize>" + paper.toUtf8() + "</pagesize>\n";
    if (!orientation.isNull())
        xml += "    <orientation>" + orientation.toUtf8() + "</orientation>\n";
    xml += "    <font>" + g_font + "</font>\n";
    return xml;
}

} // namespace

class TestPageSet : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void paperSize_data();
    void paperSize();
    void orientation_data();
    void orientation();
    void marginsAsTyped();
    void fontShownAndKept();
    void unreadableFontShownAsStored_data();
    void unreadableFontShownAsStored();
    void fontChosen();
    void fontDialogCancelled();
    void cancelWritesNothing_data();
    void cancelWritesNothing();
    void okWritesEverySettingInKeyOrder();
    void controlCharacterPastedIntoAMargin();
};

void TestPageSet::init()
{
    CAdminTestRun::dialogs().reset();
}

void TestPageSet::paperSize_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("written");

    QTest::newRow("0") << "0"
                       << "A4"
                       << "0";
    QTest::newRow("1") << "1"
                       << "B5"
                       << "1";
    QTest::newRow("2") << "2"
                       << "Letter"
                       << "2";
    QTest::newRow("3") << "3"
                       << "Legal"
                       << "3";
    QTest::newRow("4") << "4"
                       << "Executive"
                       << "4";
    QTest::newRow("8") << "8"
                       << "A3"
                       << "8";
    QTest::newRow("5") << "5"
                       << "A4"
                       << "0";
    QTest::newRow("6") << "6"
                       << "A4"
                       << "0";
    QTest::newRow("7") << "7"
                       << "A4"
                       << "0";
    QTest::newRow("9") << "9"
                       << "A4"
                       << "0";
    QTest::newRow("-1") << "-1"
                        << "A4"
                        << "0";
    QTest::newRow("text") << "A3"
                          << "A4"
                          << "0";
    QTest::newRow("empty") << ""
                           << "A4"
                           << "0";
    QTest::newRow("missing") << QString() << "A4"
                             << "0";
}

void TestPageSet::paperSize()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, written);
    writeSettings(pageset(stored, "0"));

    CPageSet dialog(nullptr);
    QCOMPARE(dialog.ui.CB_Size->count(), 6);
    QCOMPARE(dialog.ui.CB_Size->currentText(), shown);
    dialog.ui.okButton->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(storedValue("pagesize"), written);
}

void TestPageSet::orientation_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("landscape");

    QTest::newRow("0") << "0" << false;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("2") << "2" << true;
    QTest::newRow("01") << "01" << true;
    QTest::newRow("text") << "landscape" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("missing") << QString() << false;
}

void TestPageSet::orientation()
{
    QFETCH(QString, stored);
    QFETCH(bool, landscape);
    writeSettings(pageset("0", stored));

    {
        CPageSet dialog(nullptr);
        QCOMPARE(dialog.ui.RB_Ora_L->isChecked(), landscape);
        QCOMPARE(dialog.ui.RB_Ora_P->isChecked(), !landscape);
        dialog.ui.okButton->click();
    }
    QCOMPARE(storedValue("orientation"), landscape ? QStringLiteral("1") : QStringLiteral("0"));

    // The other choice, clicked, is stored as the other value.
    CPageSet dialog(nullptr);
    dialog.show();
    QTest::mouseClick(landscape ? dialog.ui.RB_Ora_P : dialog.ui.RB_Ora_L, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(dialog.ui.RB_Ora_L->isChecked(), !landscape);
    dialog.ui.okButton->click();
    QCOMPARE(storedValue("orientation"), landscape ? QStringLiteral("0") : QStringLiteral("1"));
}

void TestPageSet::marginsAsTyped()
{
    writeSettings(pageset("0", "0"));
    CPageSet dialog(nullptr);
    QCOMPARE(dialog.ui.LE_Left->text(), QStringLiteral("11"));
    QCOMPARE(dialog.ui.LE_Right->text(), QStringLiteral("12"));
    QCOMPARE(dialog.ui.LE_Top->text(), QStringLiteral("13"));
    QCOMPARE(dialog.ui.LE_Bottom->text(), QStringLiteral("14"));
    dialog.ui.LE_Left->setText("12px");
    dialog.ui.LE_Right->setText("10.5");
    dialog.ui.LE_Top->clear();
    dialog.ui.LE_Bottom->setText(" 7");
    dialog.ui.okButton->click();
    QCOMPARE(storedValue("left"), QStringLiteral("12px"));
    QCOMPARE(storedValue("right"), QStringLiteral("10.5"));
    QCOMPARE(storedValue("top"), QString());
    QCOMPARE(storedValue("bottom"), QStringLiteral(" 7"));
}

void TestPageSet::fontShownAndKept()
{
    writeSettings(pageset("0", "0"));
    CPageSet dialog(nullptr);
    // Family as the font database spells it and size, in that font; the key text stays for OK.
    QCOMPARE(dialog.ui.lFont->text(), QStringLiteral("DejaVu Serif, 13 pt"));
    QCOMPARE(dialog.fontKey(), QString::fromLatin1(g_font));
    QCOMPARE(dialog.ui.lFont->font().family(), QStringLiteral("dejavu serif"));
    QCOMPARE(dialog.ui.lFont->font().pointSize(), 13);
    QVERIFY(!dialog.ui.lFont->font().italic());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QFontMetrics metrics(dialog.ui.lFont->font());
    QVERIFY2(metrics.horizontalAdvance(dialog.ui.lFont->text()) <= dialog.ui.lFont->contentsRect().width(),
        "font label cut off");
    dialog.ui.okButton->click();
    QCOMPARE(storedValue("font"), QString::fromLatin1(g_font));
}

void TestPageSet::unreadableFontShownAsStored_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("no comma") << "dejavu serif";
    QTest::newRow("size not a number") << "dejavu serif,big";
    QTest::newRow("empty") << "";
}

void TestPageSet::unreadableFontShownAsStored()
{
    QFETCH(QString, value);
    writeSettings("    <font>" + value.toUtf8() + "</font>\n");
    CPageSet dialog(nullptr);
    QCOMPARE(dialog.ui.lFont->text(), value);
    dialog.ui.okButton->click();
    QCOMPARE(storedValue("font"), value);
}

void TestPageSet::fontChosen()
{
    writeSettings(pageset("0", "0"));
    QFont chosen("DejaVu Sans Mono", 15);
    chosen.setItalic(true);
    CAdminTestRun::dialogs().fonts.enqueue(chosen);

    CPageSet dialog(nullptr);
    dialog.ui.toolButton->click();
    QVERIFY(CAdminTestRun::dialogs().fonts.isEmpty());
    QCOMPARE(dialog.ui.lFont->text(), QStringLiteral("DejaVu Sans Mono, 15 pt"));
    QCOMPARE(dialog.fontKey(), chosen.key());
    QVERIFY(dialog.fontKey().startsWith("DejaVu Sans Mono,15,"));
    QCOMPARE(dialog.ui.lFont->font(), chosen);
    dialog.ui.okButton->click();
    QCOMPARE(storedValue("font"), chosen.key());
}

void TestPageSet::fontDialogCancelled()
{
    writeSettings(pageset("0", "0"));
    CPageSet dialog(nullptr);
    const QFont before = dialog.ui.lFont->font();
    dialog.ui.toolButton->click(); // nothing queued: the font dialog is cancelled
    QCOMPARE(dialog.ui.lFont->text(), QStringLiteral("DejaVu Serif, 13 pt"));
    QCOMPARE(dialog.fontKey(), QString::fromLatin1(g_font));
    QCOMPARE(dialog.ui.lFont->font(), before);
}

void TestPageSet::cancelWritesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close") << "close";
}

void TestPageSet::cancelWritesNothing()
{
    QFETCH(QString, how);
    // Odd spacing and an unknown element: any rewrite would show.
    const QByteArray before = "<?xml version=\"1.0\"?>\n<setting><pageset>  <left>3</left><header>x</header>"
                              "<pagesize>99</pagesize>\n\n<font>"
        + g_font + "</font></pageset></setting>";
    {
        QFile file("setting.xml");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(before);
    }
    CPageSet dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.ui.LE_Left->setText("40");
    dialog.ui.RB_Ora_L->setChecked(true);
    if (how == "cancel")
        dialog.ui.cancelButton->click();
    else if (how == "escape")
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        dialog.close();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(readFile(), before);
}

void TestPageSet::okWritesEverySettingInKeyOrder()
{
    writeSettings("    <header>kept</header>\n" + pageset("8", "1"));
    CPageSet dialog(nullptr);
    dialog.ui.CB_Size->setCurrentIndex(dialog.ui.CB_Size->findText("Legal"));
    dialog.ui.okButton->click();

    const QList<QPair<QString, QString>> expected {{"header", "kept"}, {"bottom", "14"},
        {"font", QString::fromLatin1(g_font)}, {"left", "11"}, {"orientation", "1"}, {"pagesize", "3"}, {"right", "12"},
        {"top", "13"}};
    QCOMPARE(stored(), expected);
}

void TestPageSet::controlCharacterPastedIntoAMargin()
{
    writeSettings(pageset("0", "0"));
    {
        CPageSet dialog(nullptr);
        dialog.ui.LE_Left->setText(QString::fromUtf16(u"2\u00015"));
        dialog.ui.okButton->click();
    }
    QDomDocument doc;
    QVERIFY(doc.setContent(readFile()));
    QCOMPARE(storedValue("left"), QStringLiteral("25"));
    // The next dialog reads the file and its OK is written again.
    CPageSet again(nullptr);
    QCOMPARE(again.ui.LE_Left->text(), QStringLiteral("25"));
    again.ui.LE_Top->setText(QStringLiteral("30"));
    again.ui.okButton->click();
    QCOMPARE(storedValue("top"), QStringLiteral("30"));
}

BRAMIX_ADMIN_TEST_MAIN(TestPageSet)
#include "tst_pageset.moc"
