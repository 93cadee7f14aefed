#include "canswerbudget.h"
#include "cscananswer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

// The answer a probe keeps as its bytes arrive, fed in chunks of every size: the text it gives,
// whether memory or a file holds it, what it charges, and the frames it refuses.
class TestScanAnswer : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_temp;

    // A serialised string: its byte count, then its UTF-16 big-endian units.
    static QByteArray serialised(const QString &text, quint32 length)
    {
        QByteArray out(4, '\0');
        qToBigEndian(length, out.data());
        for (QChar c : text) {
            out.append(char(c.unicode() >> 8));
            out.append(char(c.unicode() & 0xff));
        }
        return out;
    }
    static QByteArray serialised(const QString &text) { return serialised(text, quint32(text.size() * 2)); }

    static QString identity() { return "UUID:{3f2504e0-4f89-11d3-9a0c-0305e82c3301}|PC7(198.51.100.7)|2.1.20090713-1"; }

    // Units of every kind: ASCII, Latin-1, CJK, a surrogate pair, a zero low byte, the separators.
    static QString mixed(qsizetype units)
    {
        const QString pattern = QString::fromUtf8("a\xc3\xa9\xe4\xb8\xad\xe6\x96\x87\xf0\x9f\x98\x80\xe4\x80\x80"
                                                  "\xc4\x80\n$^");
        QString out = identity() + "^Software:";
        while (out.size() < units)
            out += pattern;
        out.truncate(units);
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_temp.isValid());
        // The files go where the test can see them (the system's temporary directory, read anew at
        // each use).
        qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    }

    void cleanup() { CAnswerBudget::scan().setCapacity(qint64(16) * 1024 * 1024); }

    void feed_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qint64>("announced"); // bytes of the body the frame announces
        QTest::addColumn<int>("chunk"); // bytes fed at a time at most
        QTest::addColumn<qint64>("capacity"); // of the budget
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("inFile");

        const qint64 all = qint64(16) * 1024 * 1024;
        const QString small = mixed(3000);
        const QByteArray smallBody = serialised(small);
        QTest::newRow("small, at once") << smallBody << qint64(smallBody.size()) << int(smallBody.size()) << all
                                        << int(CScanAnswer::Complete) << small << false;
        QTest::newRow("small, a byte at a time")
            << smallBody << qint64(smallBody.size()) << 1 << all << int(CScanAnswer::Complete) << small << false;
        QTest::newRow("small, three bytes at a time")
            << smallBody << qint64(smallBody.size()) << 3 << all << int(CScanAnswer::Complete) << small << false;
        const QString large = mixed(100000);
        const QByteArray largeBody = serialised(large);
        QTest::newRow("large, in 16 KiB")
            << largeBody << qint64(largeBody.size()) << 16384 << all << int(CScanAnswer::Complete) << large << true;
        QTest::newRow("large, in odd pieces")
            << largeBody << qint64(largeBody.size()) << 4097 << all << int(CScanAnswer::Complete) << large << true;
        QTest::newRow("large, seven bytes at a time")
            << largeBody << qint64(largeBody.size()) << 7 << all << int(CScanAnswer::Complete) << large << true;
        const QString middle = mixed(20000);
        const QByteArray middleBody = serialised(middle);
        QTest::newRow("budget full midway") << middleBody << qint64(middleBody.size()) << 1001 << qint64(10000)
                                            << int(CScanAnswer::Complete) << middle << true;
        QTest::newRow("no budget at all") << middleBody << qint64(middleBody.size()) << 999 << qint64(0)
                                          << int(CScanAnswer::Complete) << middle << true;
        QTest::newRow("null string") << serialised(QString(), 0xFFFFFFFFu) << qint64(4) << 4 << all
                                     << int(CScanAnswer::Complete) << QString() << false;
        QTest::newRow("empty string") << serialised(QString()) << qint64(4) << 4 << all << int(CScanAnswer::Complete)
                                      << QString() << false;
        QTest::newRow("odd length") << serialised("ab", 3) << qint64(8) << 8 << all << int(CScanAnswer::Invalid)
                                    << QString() << false;
        QTest::newRow("length beyond the frame") << serialised(small) << qint64(smallBody.size() - 2) << 512 << all
                                                 << int(CScanAnswer::Invalid) << QString() << false;
        QTest::newRow("length beyond a large frame") << serialised(large) << qint64(largeBody.size() - 1) << 512 << all
                                                     << int(CScanAnswer::Invalid) << QString() << false;
        QTest::newRow("length short of the frame") << smallBody + QByteArray(100, 'x') << qint64(smallBody.size() + 100)
                                                   << 512 << all << int(CScanAnswer::Complete) << small << false;
        QTest::newRow("frame too short for a length")
            << QByteArray(3, '\0') << qint64(3) << 3 << all << int(CScanAnswer::Invalid) << QString() << false;
    }
    void feed()
    {
        QFETCH(QByteArray, body);
        QFETCH(qint64, announced);
        QFETCH(int, chunk);
        QFETCH(qint64, capacity);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(bool, inFile);
        CAnswerBudget::scan().setCapacity(capacity);
        CAnswerBudget::scan().resetPeak();
        {
            CScanAnswer answer;
            qint64 at = 0;
            if (answer.begin(announced) == CScanAnswer::NeedMore) {
                while (answer.status() == CScanAnswer::NeedMore) {
                    const qint64 wanted = answer.bytesWanted();
                    QVERIFY(wanted > 0 && at + wanted <= announced);
                    const qint64 n = qMin<qint64>(qMin<qint64>(chunk, wanted), body.size() - at);
                    QVERIFY(n > 0);
                    answer.feed(body.constData() + at, n);
                    at += n;
                }
            }
            QCOMPARE(int(answer.status()), status);
            if (status != CScanAnswer::Complete)
                return;
            // What follows the string in the body is never asked for.
            QCOMPARE(at, qint64(4 + text.size() * 2));
            QVERIFY(answer.finish());
            QCOMPARE(answer.text(), text);
            QCOMPARE(answer.head(), QStringView(text).left(CScanAnswer::HeadUnits));
            QCOMPARE(answer.isInFile(), inFile);
            // Memory is charged for what it holds, a file for nothing; the file has no name.
            QCOMPARE(CAnswerBudget::scan().held(), inFile ? 0 : qint64(text.size()) * 2);
            QVERIFY(CAnswerBudget::scan().peak() <= capacity);
            QCOMPARE(QDir(m_temp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        }
        QCOMPARE(CAnswerBudget::scan().held(), 0);
    }
};

QTEST_GUILESS_MAIN(TestScanAnswer)
#include "tst_scananswer.moc"
