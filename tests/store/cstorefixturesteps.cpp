#include "cstorefixturesteps.h"

#include "cpcconfig.h"
#include "cset.h"
#include "cstoretestrun.h"

#include <QRegularExpression>
#include <QStringEncoder>

namespace {

const QString kUuid = QStringLiteral("{3c9e0f12-7a41-4b6d-8e25-1f0a9b8c7d64}");

QString identity()
{
    return QStringLiteral("UUID:") + kUuid + QStringLiteral("|pc7(192.0.2.7)|2.1.20090713-1");
}

const QByteArray kUtf8Template = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<pcconfig>\n    <CPU/>\n    <BaseBoard/>\n    <DiskDrive/>\n    <MemoryDevice/>\n"
                                 "    <Software/>\n    <OS/>\n</pcconfig>\n";

// Rows with every character the writer must escape or keep, in text and in digests.
QString answer()
{
    return identity() + QStringLiteral("^CPU:Name=Intel(R) Core & \"Duo\" <2>\nLoad=5\n")
        + QStringLiteral("^DiskDrive:Caption=Disk ]]> 'one'\nSize=80026361856\n$Caption=Disk\tTwo\r\nSize=12\n")
        + QStringLiteral("^MemoryDevice:Capacity=536870912\n")
        + QString::fromUtf8("^Software:Caption=Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80\nVersion=1\n")
        + QStringLiteral("$Caption=  spaced  \n$Caption=dup\n$Caption=dup\n")
        + QStringLiteral("^OS:Caption=Debian&amp;Linux\n");
}

QList<CStoreFixtureSteps::Step> clientSteps()
{
    auto notice = [](const QString &what, const QString &items) {
        return CStoreFixtureSteps::Step {what, [items] {
                                             CPcConfig cfg(kUuid);
                                             cfg.open();
                                             cfg.applyChange(kUuid + items);
                                         }};
    };
    QList<CStoreFixtureSteps::Step> steps;
    steps.append({QStringLiteral("fill"), [] {
                      CPcConfig cfg(kUuid);
                      cfg.open();
                      cfg.createFromTemplate(answer());
                  }});
    steps.append(notice(QStringLiteral("first changes"),
        QStringLiteral("^Software$add$Caption=New <one> & \"two\"\nVersion=2\n"
                       "^CPU$remove$Name=Intel(R) Core & \"Duo\" <2>\nLoad=5\n"
                       "^Software$remove$Caption=dup\n"
                       "^Bogus$add$Caption=nowhere\n"
                       "^OS$ADD$Caption=upper\n")));
    steps.append(notice(QStringLiteral("after the change log"),
        QStringLiteral("^Software$add$Caption=after log ]]>\n"
                       "^DiskDrive$remove$Caption=absent\n"
                       "^^BaseBoard$add"
                       "^BaseBoard$add$Manufacturer=ACME\tCorp\n"
                       "^MemoryDevice$add$Capacity=2048 MB\n")));
    steps.append(notice(QStringLiteral("removals only"),
        QStringLiteral("^Software$remove$Caption=dup\n^Software$remove$Caption=dup\n")));
    return steps;
}

QList<CStoreFixtureSteps::Step> listSteps()
{
    auto step = [](const QString &what, std::function<void(CSet &)> op) {
        return CStoreFixtureSteps::Step {what, [op] {
                                             CSet set;
                                             set.openList();
                                             op(set);
                                         }};
    };
    const QString a = QStringLiteral("{0a000000-0000-4000-8000-00000000000a}");
    const QString b = QStringLiteral("{0b000000-0000-4000-8000-00000000000b}");
    const QString c = QStringLiteral("{0c000000-0000-4000-8000-00000000000c}");
    const QString d = QStringLiteral("{0d000000-0000-4000-8000-00000000000d}");
    QList<CStoreFixtureSteps::Step> steps;
    steps.append(step(QStringLiteral("add long"), [=](CSet &s) {
        s.addPC(a, QString::fromUtf8("pc&<1> \"M\xc3\xbcller\" \xe6\x97\xa5"), QStringLiteral("192.0.2.1"),
            QStringLiteral("2.1"), QStringLiteral("1"));
    }));
    steps.append(step(QStringLiteral("add second"), [=](CSet &s) {
        s.addPC(b, QStringLiteral("pc2"), QStringLiteral("192.0.2.2"), QStringLiteral("2.1"), QStringLiteral("2"));
    }));
    steps.append(step(QStringLiteral("add short"),
        [=](CSet &s) { s.addPC(c, QStringLiteral("pc3 ]]>"), QStringLiteral("192.0.2.3")); }));
    steps.append(step(QStringLiteral("notice no"), [=](CSet &s) { s.setNotice(a, false); }));
    steps.append(step(QStringLiteral("folder set"), [=](CSet &s) { s.setPCFolder(b, QStringLiteral("{f1}")); }));
    steps.append(step(QStringLiteral("folder added"),
        [=](CSet &s) { s.addFolder(QStringLiteral("Lab \"one\" & <two>"), QStringLiteral("{f1}")); }));
    steps.append(step(QStringLiteral("notice of a foldered client"), [=](CSet &s) { s.setNotice(b, false); }));
    steps.append(step(QStringLiteral("notice yes"), [=](CSet &s) { s.setNotice(a, true); }));
    steps.append(
        step(QStringLiteral("folder on a noticed client"), [=](CSet &s) { s.setPCFolder(a, QStringLiteral("0")); }));
    steps.append(step(QStringLiteral("remove"), [=](CSet &s) { s.removePC(c); }));
    steps.append(step(QStringLiteral("several added"), [=](CSet &s) {
        s.addPCs({{d, QStringLiteral("pc4"), QStringLiteral("192.0.2.4"), QStringLiteral("2.1"), QStringLiteral("1")},
            {a, QStringLiteral("again"), QStringLiteral("192.0.2.9"), QStringLiteral("2.1"), QStringLiteral("1")}});
    }));
    steps.append(step(QStringLiteral("folder deleted"), [=](CSet &s) { s.deleteFolder(QStringLiteral("{f1}")); }));
    steps.append(step(QStringLiteral("unlisted notice"),
        [=](CSet &s) { s.setNotice(QStringLiteral("{0e000000-0000-4000-8000-00000000000e}"), false); }));
    return steps;
}

QByteArray utf16(const QString &text)
{
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

} // namespace

QString CStoreFixtureSteps::clientFile()
{
    return kUuid + QStringLiteral(".xml");
}

QList<CStoreFixtureSteps::Case> CStoreFixtureSteps::cases()
{
    QList<Case> out;
    out.append({QStringLiteral("client-utf8"), clientFile(), kUtf8Template, QByteArray(), clientSteps()});
    QByteArray noDecl = kUtf8Template.mid(kUtf8Template.indexOf('\n') + 1);
    out.append({QStringLiteral("client-nodecl"), clientFile(), noDecl, QByteArray(), clientSteps()});
    QByteArray quoted = kUtf8Template;
    quoted.replace("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<?xml version='1.0' encoding='utf-8'?>");
    out.append({QStringLiteral("client-quotes"), clientFile(), quoted, QByteArray(), clientSteps()});
    // Text beside elements, and rows below a class's own children.
    QByteArray nested = kUtf8Template;
    nested.replace("<Software/>",
        "<Software>\n        <group>\n            <content digest=\"n\">Caption=dup\n</content>\n"
        "        </group>\n    </Software>");
    nested.replace("<OS/>", "<OS>note &amp; more<content digest=\"x\">Caption=x\n</content>tail</OS>");
    out.append({QStringLiteral("client-nested"), clientFile(), nested, QByteArray(), clientSteps()});
    QByteArray latin1 = kUtf8Template;
    latin1.replace("encoding=\"UTF-8\"", "encoding=\"ISO-8859-1\"");
    out.append({QStringLiteral("client-latin1"), clientFile(), latin1, QByteArray(), clientSteps()});
    QString text = QString::fromUtf8(kUtf8Template);
    text.replace(QStringLiteral("UTF-8"), QStringLiteral("UTF-16"));
    out.append({QStringLiteral("client-utf16"), clientFile(), utf16(text), QByteArray(), clientSteps()});

    const QByteArray list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pclist/>\n";
    out.append({QStringLiteral("list-utf8"), QStringLiteral("list.xml"), QByteArray(), list, listSteps()});
    out.append({QStringLiteral("list-nodecl"), QStringLiteral("list.xml"), QByteArray(), "<pclist/>\n", listSteps()});
    out.append({QStringLiteral("list-latin1"), QStringLiteral("list.xml"), QByteArray(),
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<pclist/>\n", listSteps()});
    out.append({QStringLiteral("list-utf16"), QStringLiteral("list.xml"), QByteArray(),
        utf16(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<pclist/>\n")), listSteps()});
    return out;
}

QByteArray CStoreFixtureSteps::withoutTimes(const QByteArray &data)
{
    static const QRegularExpression re(
        QStringLiteral("(January|February|March|April|May|June|July|August|September|October|November|December) "
                       "\\d\\d \\d{4} \\d\\d:\\d\\d:\\d\\d"));
    // UTF-16 files are compared as text; the others byte for byte, with the stamps as one text.
    QString text = QString::fromLatin1(data);
    text.replace(re, QStringLiteral("TIME"));
    QByteArray out = text.toLatin1();
    if (data.startsWith("\xff\xfe")) {
        QString wide
            = QString::fromUtf16(reinterpret_cast<const char16_t *>(data.constData() + 2), (data.size() - 2) / 2);
        wide.replace(re, QStringLiteral("TIME"));
        out = QByteArray("\xff\xfe") + QByteArray(reinterpret_cast<const char *>(wide.utf16()), wide.size() * 2);
    }
    return out;
}

bool CStoreFixtureSteps::install(const Case &c)
{
    CStoreTestRun::clear();
    if (!c.templ.isEmpty() && !CStoreTestRun::write(QStringLiteral("configtempl.xml"), c.templ))
        return false;
    if (c.file != QLatin1String("list.xml") && !CStoreTestRun::installShipped(QStringLiteral("list.xml")))
        return false;
    return c.start.isEmpty() || CStoreTestRun::write(c.file, c.start);
}
