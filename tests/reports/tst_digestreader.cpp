// The streaming digest reader against the store's document reader, on the files the store writes and
// on every oddity its fast scanner hands over to the toolkit's parser; the digest cache against file
// replacement.
#include "cdigestcache.h"
#include "cdigestreader.h"
#include "cpcconfig.h"
#include "cstoretestrun.h"
#include "ctestthreadrefusal.h"
#include "cxmlfile.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>

#include <sys/stat.h>
#include <utime.h>

namespace {

const QString kUuid = QStringLiteral("{0a1b2c3d-0000-4000-8000-00000000000a}");

QMap<QString, QString> byDocument()
{
    CPcConfig c(kUuid);
    c.open();
    QMap<QString, QString> m;
    c.getDigests(m);
    return m;
}

} // namespace

class TestDigestReader : public QObject
{
    Q_OBJECT

private slots:
    void init() { CStoreTestRun::clear(); }

    void sameAsDocumentReader_data()
    {
        QTest::addColumn<QByteArray>("xml");
        const QByteArray decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        QTest::newRow("store file") << decl
                + "<config lastupdate=\"December 10 2026 10:00:00\">\n"
                  "    <CPU lastupdate=\"x\">\n"
                  "        <content digest=\"Intel(R) Core(TM)2 CPU 6600 @ 2.40GHz\">Name=Intel&#xa;</content>\n"
                  "    </CPU>\n"
                  "    <MemoryDevice>\n        <content digest=\"1024 M\">Capacity=1073741824\n</content>\n"
                  "        <content digest=\"512 M\">Capacity=536870912\n</content>\n"
                  "        <changelog><record time=\"t\" type=\"add\" digest=\"512 M\" notice=\"no\">x</record>"
                  "</changelog>\n    </MemoryDevice>\n    <Printer/>\n</config>\n";
        QTest::newRow("references and markup in texts")
            << QByteArray("<r lastupdate=\"a&amp;b\"><Software><content digest=\"&lt;script&gt;&quot;&apos;&#65;&#x42;"
                          "\">&lt;b&gt; &amp; ]]&gt;</content></Software></r>");
        QTest::newRow("line ends and tabs in attributes")
            << QByteArray("<r><OS><content digest=\"a\r\nb\tc\nd\re&#xa;f&#9;\">x\r\ny</content></OS></r>");
        QTest::newRow("non-ASCII") << QByteArray(
            "<r><OS><content digest=\"Windows \xe5\xae\x8b\xe4\xbd\x93 \xf0\x9f\x98\x80\">"
            "\xc3\xa9</content></OS></r>");
        QTest::newRow("comment, PI, CDATA") << QByteArray(
            "<?xml version='1.0'?><!-- c --><?pi data?><r><!-- in --><OS><![CDATA[<content digest=\"no\">]]>"
            "<content digest=\"yes\"/></OS></r><!-- after -->\n");
        QTest::newRow("nested content and missing digest")
            << QByteArray("<r><OS><group><content digest=\"deep\"><content digest=\"deeper\"/></content></group>"
                          "<content/></OS></r>");
        QTest::newRow("class twice, later wins") << QByteArray("<r><OS><content digest=\"1\"/></OS><OS/></r>");
        QTest::newRow("class named lastupdate")
            << QByteArray("<r lastupdate=\"root\"><lastupdate><content digest=\"1\"/>"
                          "</lastupdate></r>");
        QTest::newRow("self-closing root") << QByteArray("<r lastupdate=\"t\"/>");
        QTest::newRow("BOM") << QByteArray("\xef\xbb\xbf<r><OS><content digest=\"b\"/></OS></r>");
        // A value starting with the character U+FEFF keeps it: it is no byte order mark there.
        QTest::newRow("U+FEFF starting values")
            << QByteArray("<r lastupdate=\"\xef\xbb\xbf\xef\xbb\xbft\"><OS><content digest=\"\xef\xbb\xbf\"/>"
                          "<content digest=\"\xef\xbb\xbf&amp;\"/></OS></r>");
        QTest::newRow("Latin-1 declared") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                                                        "<r><OS><content digest=\"caf\xe9\"/></OS></r>");
        QTest::newRow("doctype with entity")
            << QByteArray("<!DOCTYPE r [<!ENTITY e \"ent\">]><r><OS><content digest=\"&e;\"/></OS></r>");
        QTest::newRow("declared namespace") << QByteArray("<r xmlns:x=\"urn:x\"><x:OS><x:content digest=\"n\"/>"
                                                          "<content x:digest=\"m\"/></x:OS></r>");
        QTest::newRow("spaces in end tag") << QByteArray("<r ><OS ><content digest = 'q' /></OS  ></r >");
        // Not well-formed: the document reader sees an empty document.
        QTest::newRow("unclosed") << QByteArray("<r><OS><content digest=\"1\"/></OS>");
        QTest::newRow("mismatched") << QByteArray("<r><OS><content digest=\"1\"/></Os></r>");
        QTest::newRow("duplicate attribute") << QByteArray("<r><OS><content digest=\"1\" digest=\"2\"/></OS></r>");
        QTest::newRow("attributes without blank") << QByteArray("<r><OS><content a=\"1\"digest=\"2\"/></OS></r>");
        QTest::newRow("double dash in comment") << QByteArray("<r><!-- a -- b --><OS/></r>");
        QTest::newRow("unknown entity") << QByteArray("<r><OS><content digest=\"&nbsp;\"/></OS></r>");
        QTest::newRow("bad character reference") << QByteArray("<r><OS><content digest=\"&#1;\"/></OS></r>");
        QTest::newRow("control character") << QByteArray("<r><OS><content digest=\"a\">\x01</content></OS></r>");
        QTest::newRow("invalid UTF-8") << QByteArray("<r><OS><content digest=\"\xc3\x28\"/></OS></r>");
        QTest::newRow("lt in attribute") << QByteArray("<r><OS><content digest=\"a<b\"/></OS></r>");
        QTest::newRow("text after root") << QByteArray("<r/>x");
        QTest::newRow("two roots") << QByteArray("<r/><s/>");
        QTest::newRow("undeclared prefix") << QByteArray("<r><x:OS/></r>");
        QTest::newRow("cdata end in text") << QByteArray("<r><OS>]]></OS></r>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("only blanks") << QByteArray("  \n");
    }

    void sameAsDocumentReader()
    {
        QFETCH(QByteArray, xml);
        QVERIFY(CStoreTestRun::write(kUuid + ".xml", xml));
        QCOMPARE(CDigestReader::read(kUuid), byDocument());
        QCOMPARE(CDigestReader::parse(xml), byDocument());
    }

    // Files the store's reader refuses give the search nothing either (as Details shows them
    // unreadable); the ones it takes give the same digests. Each row has a class and a time stamp,
    // so a refusal shows.
    void refusesWhatTheStoreRefuses_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("inRoot");
        QTest::addColumn<bool>("readable");
        const QByteArray v = "version=\"1.0\"";
        QTest::newRow("version keyword in capitals") << QByteArray("<?xml VERSION=\"1.0\"?>") << QByteArray() << false;
        QTest::newRow("encoding keyword in capitals")
            << "<?xml " + v + " ENCODING=\"UTF-8\"?>" << QByteArray() << false;
        QTest::newRow("standalone value in capitals")
            << "<?xml " + v + " standalone=\"YES\"?>" << QByteArray() << false;
        QTest::newRow("declaration in capitals") << "<?XML " + v + "?>" << QByteArray() << false;
        QTest::newRow("form feed before the end") << "<?xml " + v + "\f?>" << QByteArray() << false;
        QTest::newRow("vertical tab before the end") << "<?xml " + v + "\v?>" << QByteArray() << false;
        QTest::newRow("form feed before equals") << QByteArray("<?xml version\f=\"1.0\"?>") << QByteArray() << false;
        QTest::newRow("vertical tab between") << "<?xml " + v + "\vencoding=\"UTF-8\"?>" << QByteArray() << false;
        QTest::newRow("no blank between") << "<?xml " + v + "encoding=\"UTF-8\"?>" << QByteArray() << false;
        QTest::newRow("standalone before encoding")
            << "<?xml " + v + " standalone=\"yes\" encoding=\"UTF-8\"?>" << QByteArray() << false;
        QTest::newRow("unknown declaration attribute") << "<?xml " + v + " speed=\"1\"?>" << QByteArray() << false;
        QTest::newRow("version 1.1") << QByteArray("<?xml version=\"1.1\"?>") << QByteArray() << false;
        QTest::newRow("empty encoding") << "<?xml " + v + " encoding=\"\"?>" << QByteArray() << false;
        QTest::newRow("mixed quotes") << QByteArray("<?xml version=\"1.0'?>") << QByteArray() << false;
        QTest::newRow("second declaration") << "<?xml " + v + "?><?xml " + v + "?>" << QByteArray() << false;
        QTest::newRow("document type inside the root") << QByteArray() << QByteArray("<!DOCTYPE r>") << false;
        QTest::newRow("document type inside a class")
            << QByteArray() << QByteArray("<Printer><!DOCTYPE r></Printer>") << false;
        QTest::newRow("two document types") << QByteArray("<!DOCTYPE r><!DOCTYPE r>") << QByteArray() << false;
        // Taken by both.
        QTest::newRow("no declaration") << QByteArray() << QByteArray() << true;
        QTest::newRow("encoding name in lower case") << "<?xml " + v + " encoding=\"utf-8\"?>" << QByteArray() << true;
        QTest::newRow("encoding name without hyphen") << "<?xml " + v + " encoding='UTF8'?>" << QByteArray() << true;
        QTest::newRow("blanks of every kind")
            << QByteArray("<?xml\tversion \r\n= '1.0'\nencoding\t=\"UTF-8\"\r standalone = 'no' \n?>") << QByteArray()
            << true;
        QTest::newRow("standalone yes") << "<?xml " + v + " standalone=\"yes\"?>" << QByteArray() << true;
        QTest::newRow("byte order mark") << "\xef\xbb\xbf<?xml " + v + "?>" << QByteArray() << true;
        QTest::newRow("document type before the root") << QByteArray("<!DOCTYPE r>") << QByteArray() << true;
        QTest::newRow("processing instruction in the root")
            << QByteArray() << QByteArray("<?xml-stylesheet href='a'?>") << true;
    }

    void refusesWhatTheStoreRefuses()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, inRoot);
        QFETCH(bool, readable);
        const QByteArray xml
            = head + "\n<r lastupdate=\"t\">" + inRoot + "<OS><content digest=\"d\">Name=d\n</content></OS></r>\n";
        QDomDocument doc;
        QCOMPARE(CXmlFile::parse(xml, doc) == CXmlFile::Parsed, readable);
        QVERIFY(CStoreTestRun::write(kUuid + ".xml", xml));
        const QMap<QString, QString> expected = byDocument();
        QCOMPARE(expected.value("OS"), readable ? QString("d\n") : QString());
        QCOMPARE(CDigestReader::parse(xml), expected);
        QCOMPARE(CDigestReader::read(kUuid), expected);
    }

    void missingFileIsCreatedEmpty()
    {
        const QMap<QString, QString> m = CDigestReader::read(kUuid);
        QCOMPARE(m, (QMap<QString, QString> {{"lastupdate", QString()}}));
        QVERIFY(QFile::exists(CStoreTestRun::path(kUuid + ".xml")));
        QCOMPARE(CStoreTestRun::read(kUuid + ".xml"), QByteArray());
    }

    void unsafeUuidTouchesNothing()
    {
        QCOMPARE(CDigestReader::read("../list"), (QMap<QString, QString> {{"lastupdate", QString()}}));
        QVERIFY(!QFile::exists(CStoreTestRun::path("../list.xml")));
    }

    void readAllKeepsOrder()
    {
        QStringList uuids;
        for (int i = 0; i < 50; ++i) {
            const QString uuid = QStringLiteral("{%1}").arg(i, 8, 16, QLatin1Char('0'));
            uuids << uuid;
            QVERIFY(CStoreTestRun::write(uuid + ".xml", QStringLiteral("<r lastupdate=\"%1\"/>").arg(i).toUtf8()));
        }
        const QList<QMap<QString, QString>> all = CDigestReader::readAll(uuids);
        QCOMPARE(all.size(), 50);
        for (int i = 0; i < 50; ++i)
            QCOMPARE(all.at(i).value("lastupdate"), QString::number(i));
    }

    // Every file is read when threads cannot be made, all of them or some: a reader waiting for a
    // thread the system never started would hold the report window for ever.
    void readAllWhenThreadsFail_data()
    {
        QTest::addColumn<int>("refusal");
        QTest::newRow("no thread") << int(CTestThreadRefusal::All);
        QTest::newRow("every other thread") << int(CTestThreadRefusal::EveryOther);
    }
    void readAllWhenThreadsFail()
    {
        QFETCH(int, refusal);
        QStringList uuids;
        for (int i = 0; i < 50; ++i) {
            const QString uuid = QStringLiteral("{%1}").arg(i, 8, 16, QLatin1Char('0'));
            uuids << uuid;
            QVERIFY(CStoreTestRun::write(uuid + ".xml", QStringLiteral("<r lastupdate=\"%1\"/>").arg(i).toUtf8()));
        }
        CTestThreadRefusal::resetCounts();
        QList<QMap<QString, QString>> all;
        std::atomic<bool> done(false);
        // Run beside a watcher, so that a reader that hangs fails the test instead of holding it.
        std::thread reader([&] {
            CTestThreadRefusal::set(CTestThreadRefusal::Mode(refusal));
            all = CDigestReader::readAll(uuids);
            CTestThreadRefusal::set(CTestThreadRefusal::None);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 30000);
        reader.join();
        if (QThread::idealThreadCount() > 1)
            QVERIFY(CTestThreadRefusal::refused() > 0);
        QCOMPARE(all.size(), 50);
        for (int i = 0; i < 50; ++i)
            QCOMPARE(all.at(i).value("lastupdate"), QString::number(i));
    }

    void cacheSeesEveryNewVersion()
    {
        CDigestCache cache(0); // keeps even the versions just written
        const QString path = CStoreTestRun::path(kUuid + ".xml");
        QVERIFY(CStoreTestRun::write(kUuid + ".xml", "<r lastupdate=\"one\"/>"));
        QCOMPARE(CDigestReader::read(kUuid, &cache).value("lastupdate"), QString("one"));
        QCOMPARE(cache.size(), 1);
        QCOMPARE(CDigestReader::read(kUuid, &cache).value("lastupdate"), QString("one"));

        // Changed in place to the same size and given back its old modification time: the status
        // change time still tells the versions apart.
        struct stat before;
        QVERIFY(::stat(QFile::encodeName(path).constData(), &before) == 0);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(15);
            f.write("two");
        }
        struct utimbuf t
        {
            before.st_atime, before.st_mtime
        };
        QVERIFY(::utime(QFile::encodeName(path).constData(), &t) == 0);
        QCOMPARE(CDigestReader::read(kUuid, &cache).value("lastupdate"), QString("two"));

        // Replaced by rename, as the store saves: a new inode.
        QVERIFY(CStoreTestRun::write("new.tmp", "<r lastupdate=\"three\"/>"));
        QVERIFY(
            ::rename(QFile::encodeName(CStoreTestRun::path("new.tmp")).constData(), QFile::encodeName(path).constData())
            == 0);
        QCOMPARE(CDigestReader::read(kUuid, &cache).value("lastupdate"), QString("three"));
    }

    // A version is kept only when it was older than one time-stamp tick before its status was
    // taken: a same-size rewrite in place within that tick has the same identity, so a version read
    // slowly must not pass for old by the time the read ends.
    void cacheAgeIsTakenBeforeStatus_data()
    {
        const qint64 tick = 1000000000LL;
        QTest::addColumn<qint64>("atStatus"); // the clock, from the file's newest time stamp
        QTest::addColumn<qint64>("atInsert");
        QTest::addColumn<bool>("kept");
        QTest::newRow("old before its status") << 5 * tick << 5 * tick << true;
        QTest::newRow("one tick old") << tick << tick << true;
        QTest::newRow("fresh at its status, old after a slow read") << tick / 2 << 5 * tick << false;
        QTest::newRow("fresh throughout") << tick / 2 << tick / 2 << false;
        QTest::newRow("clock behind the file") << -tick << 5 * tick << false;
    }

    void cacheAgeIsTakenBeforeStatus()
    {
        QFETCH(qint64, atStatus);
        QFETCH(qint64, atInsert);
        QFETCH(bool, kept);
        QVERIFY(CStoreTestRun::write(kUuid + ".xml", "<r lastupdate=\"t\"/>"));
        QFile f(CStoreTestRun::path(kUuid + ".xml"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        struct stat st;
        QVERIFY(::fstat(f.handle(), &st) == 0);
        const qint64 newest = std::max(qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
            qint64(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec);
        qint64 now = newest + atStatus;
        CDigestCache cache(1000000000LL, [&] { return now; });
        CDigestCache::Key key;
        QVERIFY(cache.keyOf(f.handle(), key));
        now = newest + atInsert;
        const QMap<QString, QString> digests {{"lastupdate", "t"}};
        cache.insert(f.fileName(), key, digests);
        QCOMPARE(cache.size(), kept ? 1 : 0);
        QMap<QString, QString> found;
        QCOMPARE(cache.find(f.fileName(), key, found), kept);
    }

    // The cache holds only the clients of the last list read: a client deleted from the list leaves
    // nothing behind.
    void cacheBoundedByList_data()
    {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        const QStringList six {"{1}", "{2}", "{3}", "{4}", "{5}", "{6}"};
        QTest::newRow("clients deleted") << six << QStringList {"{2}", "{5}"};
        QTest::newRow("list emptied") << six << QStringList();
        QTest::newRow("other clients") << QStringList {"{1}", "{2}", "{3}"} << QStringList {"{4}", "{5}"};
        QTest::newRow("same list") << six << six;
        QTest::newRow("client added") << QStringList {"{1}"} << QStringList {"{1}", "{2}"};
    }

    void cacheBoundedByList()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        for (const QString &uuid : first + second)
            QVERIFY(CStoreTestRun::write(uuid + ".xml", ("<r lastupdate=\"" + uuid + "\"/>").toUtf8()));
        // A clock well ahead of the files' time stamps: every version read is kept.
        CDigestCache cache(1000000000LL, [] { return std::numeric_limits<qint64>::max() / 2; });
        CDigestReader::readAll(first, &cache);
        QCOMPARE(cache.size(), first.size());
        const QList<QMap<QString, QString>> all = CDigestReader::readAll(second, &cache);
        QCOMPARE(cache.size(), second.size());
        for (int i = 0; i < second.size(); ++i)
            QCOMPARE(all.at(i).value("lastupdate"), second.at(i));
    }

    void cacheKeepsNoRecentVersion()
    {
        CDigestCache cache;
        QVERIFY(CStoreTestRun::write(kUuid + ".xml", "<r lastupdate=\"fresh\"/>"));
        QCOMPARE(CDigestReader::read(kUuid, &cache).value("lastupdate"), QString("fresh"));
        // Written within the time stamps' granularity: a change in the same tick could not be seen.
        QCOMPARE(cache.size(), 0);
    }
};

BRAMIX_STORE_TEST_MAIN(TestDigestReader)
#include "tst_digestreader.moc"
