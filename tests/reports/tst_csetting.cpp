// The page set-up store over setting.xml in the current directory.
#include "csetting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kShipped = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<setting>\n"
                            "  <pageset>\n"
                            "    <left>20</left>\n"
                            "    <header>Inventory</header>\n"
                            "    <right>30</right>\n"
                            "    <top>40</top>\n"
                            "    <bottom>50</bottom>\n"
                            "    <pagesize>0</pagesize>\n"
                            "    <orientation>1</orientation>\n"
                            "    <font>dejavu sans,10,-1,5,50,0,0,0,0,0</font>\n"
                            "  </pageset>\n"
                            "</setting>\n";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QMap<QString, QString> load()
{
    CSetting s;
    s.init();
    QMap<QString, QString> m;
    s.getPageSet(m);
    return m;
}

int save(const QMap<QString, QString> &m)
{
    CSetting s;
    s.init();
    return s.setPageSet(m);
}

} // namespace

class TestCSetting : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    QString m_oldCwd;
    QString file() const { return m_dir->filePath(QStringLiteral("setting.xml")); }

private slots:
    void init()
    {
        m_oldCwd = QDir::currentPath();
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    void cleanup()
    {
        QDir::setCurrent(m_oldCwd);
        QFile::setPermissions(file(), QFile::ReadOwner | QFile::WriteOwner);
        delete m_dir;
        m_dir = nullptr;
    }

    void readsEveryElementOfPageSet()
    {
        QVERIFY(writeAll(file(), kShipped));
        CSetting s;
        QCOMPARE(s.init(), 1);
        QMap<QString, QString> m;
        QCOMPARE(s.getPageSet(m), 0);
        QCOMPARE(m.size(), 8);
        QCOMPARE(m.value("left"), QString("20"));
        QCOMPARE(m.value("header"), QString("Inventory"));
        QCOMPARE(m.value("font"), QString("dejavu sans,10,-1,5,50,0,0,0,0,0"));
    }

    void laterDuplicateWinsAndSaveReplacesTheFirst()
    {
        QVERIFY(writeAll(file(), "<s><pageset><left>1</left><top>5</top><left>2</left></pageset><other>x</other></s>"));
        QCOMPARE(load().value("left"), QString("2"));
        QCOMPARE(save({{"left", "9"}}), 0);
        QCOMPARE(load().value("left"), QString("9"));
        // The first "left" went, the second stayed in its place, the new one is last; outside
        // "pageset" nothing changed.
        QCOMPARE(readAll(file()),
            QByteArray("<s>\n  <pageset>\n    <top>5</top>\n    <left>2</left>\n    <left>9</left>\n"
                       "  </pageset>\n  <other>x</other>\n</s>\n"));
    }

    void saveKeepsOtherTagsAndAppendsInKeyOrder()
    {
        QVERIFY(writeAll(file(), kShipped));
        const QMap<QString, QString> seven = {{"left", "12px"}, {"right", "10.5"}, {"top", "7"}, {"bottom", "8"},
            {"pagesize", "8"}, {"orientation", "0"}, {"font", "dejavu serif,12,-1,5,50,0,0,0,0,0"}};
        QCOMPARE(save(seven), 0);
        const QMap<QString, QString> m = load();
        QCOMPARE(m.value("header"), QString("Inventory"));
        QCOMPARE(m.value("left"), QString("12px"));
        QCOMPARE(CSetting::number(m.value("left")), 0);
        QCOMPARE(CSetting::number(m.value("right")), 0);
        QCOMPARE(CSetting::number(m.value("top")), 7);
        const QByteArray text = readAll(file());
        const QList<QByteArray> order
            = {"<header>", "<bottom>", "<font>", "<left>", "<orientation>", "<pagesize>", "<right>", "<top>"};
        qsizetype at = -1;
        for (const QByteArray &tag : order) {
            const qsizetype next = text.indexOf(tag);
            QVERIFY2(next > at, tag.constData());
            at = next;
        }
    }

    void shorterSaveLeavesNoTail()
    {
        // A widely indented file with a long element: the save drops the element and re-indents,
        // so the new content is much shorter than the old.
        QByteArray big = kShipped;
        big.replace("\n  ", "\n" + QByteArray(40, ' '));
        big.replace("<header>Inventory</header>", "<header>" + QByteArray(5000, 'x') + "</header>");
        QVERIFY(writeAll(file(), big));
        QCOMPARE(save({{"header", "y"}}), 0);
        const QByteArray after = readAll(file());
        QVERIFY(after.size() < 600);
        QVERIFY(after.endsWith("</setting>\n"));
        QCOMPARE(after.count("</setting>"), 1);
        QCOMPARE(load().value("header"), QString("y"));
    }

    // Characters XML cannot hold would leave a file no later read parses (and every later save
    // refused): they are dropped, the rest of the value and the other keys are saved.
    void valuesKeepOnlyWhatXmlHolds_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("U+0001 pasted") << QString::fromUtf16(u"1\u00012") << "12";
        QTest::newRow("vertical tab and form feed") << QString::fromUtf16(u"\u000b3\u000c") << "3";
        QTest::newRow("NUL") << QString(QChar(0)) + "4"
                             << "4";
        QTest::newRow("U+FFFF and U+FFFE") << QString::fromUtf16(u"5\uffff\ufffe") << "5";
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + "6"
                                        << "6";
        QTest::newRow("pair, tab, CJK kept")
            << QString::fromUtf16(u"\U0001F600\t\u5B8B") << QString::fromUtf16(u"\U0001F600\t\u5B8B");
    }

    void valuesKeepOnlyWhatXmlHolds()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QVERIFY(writeAll(file(), kShipped));
        QCOMPARE(save({{"left", typed}, {"top", "7"}}), 0);
        {
            CSetting s;
            QCOMPARE(s.init(), 1);
        }
        QMap<QString, QString> m = load();
        QCOMPARE(m.value("left"), kept);
        QCOMPARE(m.value("top"), QString("7"));
        // And the file still takes the next save.
        QCOMPARE(save({{"right", "9"}}), 0);
        QCOMPARE(load().value("right"), QString("9"));
    }

    void malformedFileIsNeverWritten()
    {
        const QByteArray broken = "<setting><pageset><left>20</left></pageset>";
        QVERIFY(writeAll(file(), broken));
        CSetting s;
        QCOMPARE(s.init(), 0);
        QCOMPARE(s.setPageSet({{"left", "5"}}), -1);
        QCOMPARE(readAll(file()), broken);
    }

    void missingFileIsCreatedEmptyAndNeverFilled()
    {
        QVERIFY(!QFile::exists(file()));
        QVERIFY(load().isEmpty());
        QVERIFY(QFile::exists(file()));
        QCOMPARE(save({{"left", "5"}}), -1);
        QCOMPARE(readAll(file()), QByteArray());
        QVERIFY(load().isEmpty());
    }

    void readOnlyFileIsReadButNotWritten()
    {
        QVERIFY(writeAll(file(), kShipped));
        QVERIFY(QFile::setPermissions(file(), QFile::ReadOwner));
        CSetting s;
        QCOMPARE(s.init(), 1);
        QMap<QString, QString> m;
        s.getPageSet(m);
        QCOMPARE(m.value("top"), QString("40"));
        QCOMPARE(s.setPageSet({{"top", "1"}}), -1);
        QCOMPARE(readAll(file()), kShipped);
    }

    void rootWithoutPageSetGetsNothing()
    {
        QVERIFY(writeAll(file(), "<setting><left>3</left></setting>"));
        QVERIFY(load().isEmpty());
        save({{"left", "5"}});
        QVERIFY(load().isEmpty());
        QVERIFY(!readAll(file()).contains("5"));
    }

    // The file installed beside the console: it parses, holds every page set-up key with a value the
    // readers take, and a font that the font rule turns into a real font, not the fallback.
    void stagedFileReads()
    {
        QVERIFY(QFile::copy(QStringLiteral(BRAMIX_STAGED_SETTING), file()));
        QVERIFY(QFile::setPermissions(file(), QFile::ReadOwner | QFile::WriteOwner));
        CSetting s;
        QCOMPARE(s.init(), 1);
        QMap<QString, QString> m;
        s.getPageSet(m);
        for (const char *key : {"left", "right", "top", "bottom", "pagesize", "orientation"}) {
            bool ok = false;
            m.value(key).toInt(&ok);
            QVERIFY2(ok, key);
        }
        QCOMPARE(CSetting::number(m.value("pagesize")), 0);
        QCOMPARE(m.value("orientation"), QString("0"));
        const QFont current(QStringLiteral("current family"), 7);
        const QFont font = CSetting::font(m.value("font"), current);
        QVERIFY(font.family() != current.family());
        QVERIFY(font.pointSize() > 7);
        // A save from the page set-up dialog goes through and reads back.
        QCOMPARE(save({{"left", "30"}}), 0);
        QCOMPARE(load().value("left"), QString("30"));
        QCOMPARE(load().value("font"), m.value("font"));
    }

    void fontRule_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("size");
        // current font: "current family", 7
        QTest::newRow("key text") << "dejavu sans,10,-1,5,50,0,0,0,0,0"
                                  << "dejavu sans" << 10;
        QTest::newRow("fraction rounds") << "dejavu sans,10.5,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"
                                         << "dejavu sans" << 11;
        QTest::newRow("two parts") << "serif,14"
                                   << "serif" << 14;
        QTest::newRow("missing") << ""
                                 << "current family" << 7;
        QTest::newRow("no comma") << "dejavu sans"
                                  << "current family" << 7;
        QTest::newRow("size not a number") << "dejavu sans,12px"
                                           << "current family" << 7;
        QTest::newRow("size zero") << "dejavu sans,0"
                                   << "current family" << 7;
        QTest::newRow("empty family") << ",12"
                                      << "current family" << 7;
    }

    void fontRule()
    {
        QFETCH(QString, value);
        QFETCH(QString, family);
        QFETCH(int, size);
        QFont current(QStringLiteral("current family"), 7);
        current.setBold(true);
        const QFont f = CSetting::font(value, current);
        QCOMPARE(f.family(), family);
        QCOMPARE(f.pointSize(), size);
        QCOMPARE(f.bold(), family == QLatin1String("current family"));
    }
};

QTEST_GUILESS_MAIN(TestCSetting)
#include "tst_csetting.moc"
