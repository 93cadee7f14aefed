#include "cxmlfile.h"
#include "cxmltree.h"

#include <QDomDocument>
#include <QtTest>

// The tree takes only what the DOM reader reads, and writes what the DOM writer writes.
class TestXmlTree : public QObject
{
    Q_OBJECT
private slots:
    void refusedByBoth_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("lt in value") << QByteArray("<a x=\"a<b\"/>");
        QTest::newRow("control reference") << QByteArray("<a>&#1;</a>");
        QTest::newRow("nul reference") << QByteArray("<a>&#0;</a>");
        QTest::newRow("noncharacter reference") << QByteArray("<a>&#xFFFE;</a>");
        QTest::newRow("surrogate reference") << QByteArray("<a>&#xD800;</a>");
        QTest::newRow("undeclared entity") << QByteArray("<a>&foo;</a>");
        QTest::newRow("bare ampersand") << QByteArray("<a>fish & chips</a>");
        QTest::newRow("two roots") << QByteArray("<a/><b/>");
        QTest::newRow("text after root") << QByteArray("<a/>tail");
        QTest::newRow("byte order mark before root")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\xEF\xBB\xBF<a/>");
        QTest::newRow("character beyond ascii after root") << QByteArray("<a/>\xC3\xA9");
        QTest::newRow("declaration not first") << QByteArray(" <?xml version=\"1.0\"?><a/>");
        QTest::newRow("attribute twice") << QByteArray("<a x=\"1\" x=\"2\"/>");
        QTest::newRow("version 1.1") << QByteArray("<?xml version=\"1.1\"?><a/>");
        QTest::newRow("vertical tab in declaration") << QByteArray("<?xml version=\"1.0\"\x0b?><a/>");
        QTest::newRow("form feed in declaration") << QByteArray("<?xml\x0cversion=\"1.0\"?><a/>");
        QTest::newRow("version keyword in capitals") << QByteArray("<?xml VERSION=\"1.0\"?><a/>");
        QTest::newRow("encoding keyword in capitals") << QByteArray("<?xml version=\"1.0\" ENCODING=\"UTF-8\"?><a/>");
        QTest::newRow("standalone value in capitals") << QByteArray("<?xml version=\"1.0\" standalone=\"YES\"?><a/>");
        QTest::newRow("standalone before encoding")
            << QByteArray("<?xml version=\"1.0\" standalone=\"no\" encoding=\"UTF-8\"?><a/>");
        QTest::newRow("no blank between") << QByteArray("<?xml version=\"1.0\"encoding=\"UTF-8\"?><a/>");
        QTest::newRow("vertical tab before equals") << QByteArray("<?xml version\x0b=\"1.0\"?><a/>");
        QTest::newRow("mixed quotes") << QByteArray("<?xml version=\"1.0'?><a/>");
        QTest::newRow("document type inside the root") << QByteArray("<a><!DOCTYPE a></a>");
        QTest::newRow("cdata end in text") << QByteArray("<a>x]]>y</a>");
        QTest::newRow("raw control character") << QByteArray("<a>x\x01y</a>");
        QTest::newRow("bad utf-8") << QByteArray("<a>x\xC3(y</a>");
        QTest::newRow("overlong utf-8") << QByteArray("<a>\xC0\xBC</a>");
        QTest::newRow("utf-8 surrogate") << QByteArray("<a>\xED\xA0\x80</a>");
        QTest::newRow("unclosed") << QByteArray("<a><b></a>");
        QTest::newRow("end mismatch") << QByteArray("<a></b>");
        QTest::newRow("cut") << QByteArray("<pclist><pc UUID=\"x\">");
        QTest::newRow("unquoted value") << QByteArray("<a x=1/>");
        QTest::newRow("attributes run together") << QByteArray("<a b=\"1\"c=\"2\"/>");
        QTest::newRow("blank before name") << QByteArray("< a/>");
        QTest::newRow("attribute without name") << QByteArray("<a =\"1\"/>");
        QTest::newRow("empty hex reference") << QByteArray("<a>&#x;</a>");
        QTest::newRow("empty reference") << QByteArray("<a>&#;</a>");
        QTest::newRow("reference beyond unicode") << QByteArray("<a>&#x110000;</a>");
        QTest::newRow("declaration only") << QByteArray("<?xml version=\"1.0\"?>");
        QTest::newRow("blanks only") << QByteArray(" \n");
        QTest::newRow("name starting with a digit") << QByteArray("<1a/>");
        QTest::newRow("end tag with attribute") << QByteArray("<a></a x=\"1\">");
    }
    void refusedByBoth()
    {
        QFETCH(QByteArray, raw);
        QDomDocument doc;
        QCOMPARE(CXmlFile::parse(raw, doc), CXmlFile::Unreadable);
        CXmlTree tree;
        QVERIFY(!tree.load(raw));
    }

    // What the DOM reads but the tree leaves to it.
    void leftToTheDom_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("comment") << QByteArray("<a><!-- c --></a>");
        QTest::newRow("cdata") << QByteArray("<a><![CDATA[x<y]]></a>");
        QTest::newRow("processing instruction") << QByteArray("<a><?pi data?></a>");
        QTest::newRow("document type") << QByteArray("<!DOCTYPE a><a/>");
        QTest::newRow("namespace") << QByteArray("<a xmlns=\"urn:x\"/>");
        QTest::newRow("prefix") << QByteArray("<x:a xmlns:x=\"urn:x\"/>");
        QTest::newRow("latin-1") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>");
        QTest::newRow("utf-16") << QByteArray("\xFF\xFE<\0a\0/\0>\0", 10);
        QTest::newRow("name beyond ascii") << QByteArray("<caf\xC3\xA9/>");
        QTest::newRow("encoding name without hyphen") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF8\"?><a/>");
        QTest::newRow("encoding given twice")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" encoding=\"UTF-8\"?><a/>");
    }
    void leftToTheDom()
    {
        QFETCH(QByteArray, raw);
        QDomDocument doc;
        QCOMPARE(CXmlFile::parse(raw, doc), CXmlFile::Parsed);
        CXmlTree tree;
        QVERIFY(!tree.load(raw));
    }

    // One attribute an element at most: the DOM's order of several follows its hash seed.
    void writesAsTheDom_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("declaration") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a/>");
        QTest::newRow("declaration quotes and case") << QByteArray("<?xml version='1.0' encoding='utf-8' ?><a/>");
        QTest::newRow("standalone yes") << QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?><a/>");
        QTest::newRow("standalone no") << QByteArray(
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?><a/>");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\"?><a>x</a>");
        QTest::newRow("declaration blanks of every kind")
            << QByteArray("<?xml\tversion \r\n= '1.0'\nencoding\t=\"UTF-8\"\r standalone = 'yes' \n?><a/>");
        QTest::newRow("no declaration") << QByteArray("<pclist><pc UUID=\"{1}\"><name>n</name></pc></pclist>");
        QTest::newRow("empty element pair") << QByteArray("<a><b></b><c/></a>");
        QTest::newRow("whitespace between") << QByteArray("<a>\n  <b>x</b>\t\r\n  <c/>\n</a>");
        QTest::newRow("mixed text") << QByteArray("<a>one<b>two</b>three<c/>four</a>");
        QTest::newRow("text only then element") << QByteArray("<a><b>x</b>tail</a>");
        QTest::newRow("escapes in text") << QByteArray("<a>&lt;&gt;&amp;&quot;&apos; ]]&gt; ]&gt; \"'</a>");
        QTest::newRow("line ends in text") << QByteArray("<a>one\r\ntwo\rthree&#13;four&#10;</a>");
        QTest::newRow("escapes in value") << QByteArray("<a x=\"&lt;&gt;&amp;&quot;' ]]&gt;\"/>");
        QTest::newRow("white space in value") << QByteArray("<a x=\"t\tl\nc\r\nr\rend\"/>");
        QTest::newRow("references in value") << QByteArray("<a x=\"&#9;&#10;&#13;&#x1F600;\"/>");
        QTest::newRow("single-quoted value") << QByteArray("<a x='say \"hi\"'/>");
        QTest::newRow("beyond ascii") << QByteArray("<a d=\"caf\xC3\xA9\">\xE6\x97\xA5\xF0\x9F\x98\x80&#xE9;</a>");
        QTest::newRow("leading and trailing blanks") << QByteArray("<a>  x  <b> </b></a>");
        QTest::newRow("blanks around the root") << QByteArray("\n  <a/>\n\n");
        QTest::newRow("blank in end tag") << QByteArray("<a><b></b ></a >");
        QTest::newRow("lt by reference in value") << QByteArray("<a x=\"&#60;&#x3C;\"/>");
        QTest::newRow("slash in value") << QByteArray("<a x=\"a/\"/>");
        QTest::newRow("deep") << QByteArray("<a><b><c><d><e>x</e><e/></d></c></b><f>y</f></a>");
        QTest::newRow("text before a child, nested") << QByteArray("<a><b>x<c/>y</b><d>z<e>w</e></d></a>");
        QTest::newRow("text and blanks before a child") << QByteArray("<a>x\n  <b/>\n</a>");
        QTest::newRow("text before a child of the root") << QByteArray("<a>x<b>y</b></a>");
        QTest::newRow("client file") << QByteArray(
            "<pcconfig lastupdate=\"May 01 2024 10:00:00\"><CPU lastupdate=\"May 01 2024 10:00:00\"><content "
            "digest=\"x\">Name=x\nLoad=1\n</content><changelog><record digest=\"x\">Name=x\n</record></changelog>"
            "</CPU><OS/></pcconfig>");
    }
    void writesAsTheDom()
    {
        QFETCH(QByteArray, raw);
        QDomDocument doc;
        QCOMPARE(CXmlFile::parse(raw, doc), CXmlFile::Parsed);
        CXmlTree tree;
        QVERIFY(tree.load(raw));
        QByteArray out;
        QVERIFY(tree.serialize(&out));
        QCOMPARE(out, CXmlFile::serialize(doc, 4));
        // And what it wrote reads back as the same tree.
        CXmlTree again;
        QVERIFY(again.load(out));
        QByteArray twice;
        QVERIFY(again.serialize(&twice));
        QCOMPARE(twice, out);
        // Parsed in its own bytes, and written in small pieces, the same.
        CXmlTree inPlace;
        QVERIFY(inPlace.loadInPlace(QByteArray(raw.constData(), raw.size())));
        QByteArray pieces;
        QVERIFY(inPlace.serialize(
            [&](const char *data, size_t size) {
                pieces.append(data, qsizetype(size));
                return true;
            },
            8));
        QCOMPARE(pieces, out);
    }

    // Children added to elements whose text came from the file land after that text, as in the DOM.
    void childAddedAfterTextWritesAsTheDom_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("text only") << QByteArray("<a><b>x</b></a>");
        QTest::newRow("text and a child") << QByteArray("<a><b>x<c/></b></a>");
        QTest::newRow("no text") << QByteArray("<a><b/></a>");
    }
    void childAddedAfterTextWritesAsTheDom()
    {
        QFETCH(QByteArray, raw);
        QDomDocument doc;
        QCOMPARE(CXmlFile::parse(raw, doc), CXmlFile::Parsed);
        QDomElement b = doc.documentElement().firstChildElement("b");
        QDomElement added = doc.createElement("n");
        added.appendChild(doc.createTextNode("t"));
        b.appendChild(added);
        CXmlTree tree;
        QVERIFY(tree.loadInPlace(QByteArray(raw)));
        tree.appendTextChild(tree.root().child("b"), "n", QStringLiteral("t"));
        QByteArray out;
        QVERIFY(tree.serialize(&out));
        QCOMPARE(out, CXmlFile::serialize(doc, 4));
        QCOMPARE(CXmlTree::text(tree.root().child("b")), b.text().toStdString());
    }

    void attributeOrder()
    {
        CXmlTree tree;
        QVERIFY(tree.load("<r><pc folder=\"f\" UUID=\"u\"/><rec z=\"1\" type=\"t\"/><x/></r>"));
        pugi::xml_node pc = tree.root().first_child();
        // The file's order stays (folder before UUID); a value changes in place; a new one goes
        // before the first that follows it in the fixed order, or last.
        CXmlTree::setAttribute(pc, "folder", QStringLiteral("g"));
        CXmlTree::setAttribute(pc, "notice", QStringLiteral("no"));
        pugi::xml_node rec = pc.next_sibling();
        CXmlTree::setAttribute(rec, "digest", QStringLiteral("d"));
        CXmlTree::setAttribute(rec, "extra", QStringLiteral("e"));
        pugi::xml_node x = rec.next_sibling();
        for (const char *name : {"type", "time", "notice", "digest"})
            CXmlTree::setAttribute(x, name, QString::fromLatin1(name));
        QByteArray out;
        QVERIFY(tree.serialize(&out));
        QCOMPARE(out,
            QByteArray("<r>\n    <pc notice=\"no\" folder=\"g\" UUID=\"u\"/>\n"
                       "    <rec z=\"1\" digest=\"d\" type=\"t\" extra=\"e\"/>\n"
                       "    <x notice=\"notice\" digest=\"digest\" time=\"time\" type=\"type\"/>\n</r>\n"));
    }

    void textOfElement()
    {
        CXmlTree tree;
        QVERIFY(tree.load("<a>one<b>two<c>three</c></b>four</a>"));
        QCOMPARE(CXmlTree::text(tree.root()), std::string("onetwothreefour"));
        QCOMPARE(CXmlTree::text(tree.root().child("b")), std::string("twothree"));
        QCOMPARE(CXmlTree::text(pugi::xml_node()), std::string());
    }
};

QTEST_GUILESS_MAIN(TestXmlTree)
#include "tst_xmltree.moc"
