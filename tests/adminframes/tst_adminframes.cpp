#include "cadmintestrun.h"
#include "cchangelogreader.h"
#include "clogtable.h"
#include "cpcconfig.h"
#include "cset.h"
#include "cstoretestrun.h"
#include "ctestdialogs.h"
#include "cupdatelog.h"
#include "frame.h"
#include "listeditdlg.h"
#include "qtm.h"
#include "updateprocessframe.h"

#include <QApplication>
#include <QCommandLinkButton>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTranslator>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

// Marks every text it translates with its context, so a test sees which texts were set again.
class CMarkTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        return QStringLiteral("[%1]%2").arg(QLatin1String(context), QString::fromUtf8(source));
    }
    bool isEmpty() const override { return false; }
};

// Installs the marking translator for the life of the object; each install and removal sends the
// language-change event to every widget.
struct CMarkedLanguage
{
    CMarkTranslator translator;
    CMarkedLanguage()
    {
        QCoreApplication::installTranslator(&translator);
        QCoreApplication::processEvents();
    }
    ~CMarkedLanguage()
    {
        QCoreApplication::removeTranslator(&translator);
        QCoreApplication::processEvents();
    }
};

// Two interchangeable progress frames seen through their widgets.
struct CFrameProbe
{
    std::unique_ptr<QFrame> frame;
    QLabel *label = nullptr;
    QPushButton *button = nullptr;
    QProgressBar *bar = nullptr;
    std::function<void()> start, finish;
    std::function<void(const QString &)> setText;
    std::function<void(bool)> setDone;
};

CFrameProbe probe(const QString &kind)
{
    CFrameProbe p;
    if (kind == QLatin1String("Frame")) {
        auto *f = new Frame(nullptr);
        p.frame.reset(f);
        p.label = f->findChild<QLabel *>("m_ctrShowText");
        p.bar = f->findChild<QProgressBar *>("m_ctrScanProgress");
        p.start = [f] { f->start(); };
        p.finish = [f] { f->finish(); };
        p.setText = [f](const QString &t) { f->setText(t); };
        p.setDone = [f](bool d) { f->setDone(d); };
    } else {
        auto *f = new UpdateProcessFrame(nullptr);
        p.frame.reset(f);
        p.label = f->findChild<QLabel *>("m_ctrText");
        p.bar = f->findChild<QProgressBar *>("m_ctrUpdatePg");
        p.start = [f] { f->start(); };
        p.finish = [f] { f->finish(); };
        p.setText = [f](const QString &t) { f->setText(t); };
        p.setDone = [f](bool d) { f->setDone(d); };
    }
    p.button = p.frame->findChild<QPushButton *>("m_ctrOK");
    return p;
}

const char kTemplateAnswer[] = "UUID:%1|host(127.0.0.1)|2.1.20090713-1";

// A client in list.xml with an inventory file made from the template.
void addClient(const QString &uuid, const QString &name, const QString &ip, const QString &os = "1")
{
    CSet set;
    set.openList();
    set.addPC(uuid, name, ip, "2.1.20090713", os);
    CPcConfig cfg(uuid);
    cfg.open();
    cfg.createFromTemplate(QString::fromLatin1(kTemplateAnswer).arg(uuid));
}

// One change notice per item, so the records get appended in the order given.
void change(const QString &uuid, const QString &cls, const QString &type, const QString &row)
{
    CPcConfig cfg(uuid);
    cfg.open();
    cfg.applyChange(uuid + '^' + cls + '$' + type + '$' + row);
}

QStringList column(const QAbstractItemModel *model, int col)
{
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r)
        out.append(model->index(r, col).data().toString());
    return out;
}

QStringList headers(const QAbstractItemModel *model)
{
    QStringList out;
    for (int c = 0; c < model->columnCount(); ++c)
        out.append(model->headerData(c, Qt::Horizontal).toString());
    return out;
}

QStringList texts(const QTreeWidget *tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *top = tree->topLevelItem(i);
        QString line = top->text(0) + ":";
        for (int c = 0; c < top->childCount(); ++c)
            line += (c ? "," : "") + top->child(c)->text(0);
        out.append(line);
    }
    return out;
}

QStringList texts(const QListWidget *list)
{
    return CAdminTestRun::rowTexts(list);
}

QString tagOf(const QTreeWidgetItem *item)
{
    return item->data(0, 32).toString();
}

QDomElement pcOf(const QDomDocument &doc, const QString &uuid)
{
    const QDomNodeList all = doc.elementsByTagName("pc");
    for (int i = 0; i < all.count(); ++i)
        if (all.item(i).toElement().attribute("UUID") == uuid)
            return all.item(i).toElement();
    return QDomElement();
}

QDomDocument listDoc()
{
    QDomDocument doc;
    CStoreTestRun::parses("list.xml", &doc);
    return doc;
}

const QString A = "{aaaaaaaa-0000-0000-0000-000000000001}";
const QString B = "{bbbbbbbb-0000-0000-0000-000000000002}";
const QString C = "{cccccccc-0000-0000-0000-000000000003}";

// The folder editor's list: folder "Lab" holding alpha (A), and beta (B) in no folder.
void writeLabList()
{
    CSet set;
    set.openList();
    set.addFolder("Lab", "{lab}");
    set.addPC(A, "alpha", "127.0.0.1", "2.1", "1");
    set.addPC(B, "beta", "127.0.0.2", "2.2", "2");
    set.setPCFolder(A, "{lab}");
}

} // namespace

class TestAdminFrames : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        CStoreTestRun::clear();
        QVERIFY(CStoreTestRun::installShipped("list.xml"));
        QVERIFY(CStoreTestRun::installShipped("configtempl.xml"));
        QVERIFY(CStoreTestRun::installShipped("updateLog.xml"));
    }

    // Progress frames.

    void frameForm_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("busy");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QRect>("bar");
        QTest::newRow("scan") << "Frame"
                              << "Scaning network ......"
                              << "Scaning network ......"
                              << "" << QRect(77, 20, 221, 23);
        QTest::newRow("update") << "UpdateProcessFrame"
                                << "     updating"
                                << "     updating......"
                                << "Frame" << QRect(87, 20, 191, 23);
    }

    void frameForm()
    {
        QFETCH(QString, kind);
        QFETCH(QString, label);
        QFETCH(QString, busy);
        QFETCH(QString, title);
        QFETCH(QRect, bar);
        CFrameProbe p = probe(kind);
        QVERIFY(p.label && p.button && p.bar);
        QCOMPARE(p.frame->objectName(), kind);
        QCOMPARE(p.frame->size(), QSize(362, 132));
        QCOMPARE(p.frame->windowModality(), Qt::ApplicationModal);
        QVERIFY(!p.frame->parentWidget());
        QCOMPARE(p.frame->windowTitle(), title);
        QCOMPARE(p.label->text(), label);
        QCOMPARE(p.button->text(), QString("Cancel"));
        QCOMPARE(p.bar->geometry(), bar);
        QCOMPARE(p.bar->maximum(), 0);

        // Busy: the moving bar and the busy text.
        p.finish();
        p.start();
        QCOMPARE(p.label->text(), busy);
        QCOMPARE(p.bar->minimum(), 0);
        QCOMPARE(p.bar->maximum(), 0);
        p.setDone(false);
        QCOMPARE(p.button->text(), QString("Cancel"));
        p.setText("12 of 256");
        QCOMPARE(p.label->text(), QString("12 of 256"));

        // Done: "OK" and a full bar; and back.
        p.setDone(true);
        p.finish();
        QCOMPARE(p.button->text(), QString("OK"));
        QCOMPARE(p.bar->maximum(), 10);
        QCOMPARE(p.bar->value(), 10);
        p.setDone(false);
        QCOMPARE(p.button->text(), QString("Cancel"));

        // The button hides the frame in any state; the frame stays usable.
        p.frame->setWindowFlags(Qt::FramelessWindowHint);
        p.frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.frame.get()));
        QVERIFY(p.frame->isWindow());
        p.button->click();
        QVERIFY(!p.frame->isVisible());
        p.setText("later");
        QCOMPARE(p.label->text(), QString("later"));
    }

    void frameRetranslates_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("title");
        QTest::newRow("scan") << "Frame"
                              << "[Frame]Scaning network ......"
                              << "";
        QTest::newRow("update") << "UpdateProcessFrame"
                                << "[UpdateProcessFrame]     updating"
                                << "[UpdateProcessFrame]Frame";
    }

    void frameRetranslates()
    {
        QFETCH(QString, kind);
        QFETCH(QString, label);
        QFETCH(QString, title);
        CFrameProbe p = probe(kind);
        p.start();
        p.setDone(true);
        p.finish();
        p.setText("done: 3 found");
        {
            CMarkedLanguage marked;
            // After the work is done a language change shows the form's texts again, in the new
            // language; the bar stays full.
            QCOMPARE(p.label->text(), label);
            QCOMPARE(p.button->text(), QString("[%1]Cancel").arg(kind));
            QCOMPARE(p.frame->windowTitle(), title);
            QCOMPARE(p.bar->value(), 10);
        }
        QCOMPARE(p.button->text(), QString("Cancel"));
    }

    // Log views.

    void updateLogRows()
    {
        {
            CUpdateLog log;
            QCOMPARE(log.init(), 1);
            log.addRecord("a(127.0.0.1)", "", "2.2", {"C:\\u\\client.exe", "C:\\u\\readme.txt"}, "force");
            log.addRecord("b(127.0.0.2)", "2.1.20090713", "2.2", {"/srv/u/client"}, "auto");
            log.addRecord("c(127.0.0.3)", "", "2.3", {}, "force");
            QCOMPARE(log.save(), 0);
        }
        qtm window(nullptr, Qt::WindowFlags());
        std::unique_ptr<QStandardItemModel> model(window.createUpdateLogModel());
        QVERIFY(!model->QObject::parent());
        QCOMPARE(headers(model.get()), QStringList({"host", "type", "time", "oldVersion", "newVersion", "files"}));
        QCOMPARE(column(model.get(), 0), QStringList({"c(127.0.0.3)", "b(127.0.0.2)", "a(127.0.0.1)"}));
        QCOMPARE(column(model.get(), 1), QStringList({"force", "auto", "force"}));
        QCOMPARE(column(model.get(), 3), QStringList({"", "2.1.20090713", ""}));
        QCOMPARE(column(model.get(), 4), QStringList({"2.3", "2.2", "2.2"}));
        QCOMPARE(
            column(model.get(), 5), QStringList({"", "\n/srv/u/client", "\nC:\\u\\client.exe\nC:\\u\\readme.txt"}));
        QVERIFY(!column(model.get(), 2).at(0).isEmpty());
    }

    void updateLogHeaderOnly_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("other root") << QByteArray("<uplist><record><ip>x</ip></record></uplist>");
        QTest::newRow("broken") << QByteArray("<log><record>");
    }

    void updateLogHeaderOnly()
    {
        QFETCH(QByteArray, content);
        QFile::remove(CStoreTestRun::path("updateLog.xml"));
        if (!content.isEmpty())
            QVERIFY(CStoreTestRun::write("updateLog.xml", content));
        qtm window(nullptr, Qt::WindowFlags());
        std::unique_ptr<QStandardItemModel> model(window.createUpdateLogModel());
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(model->columnCount(), 6);
    }

    void changeLogRows()
    {
        addClient(A, "alpha", "127.0.0.1");
        addClient(B, "beta", "127.0.0.2");
        addClient(C, "nofile", "127.0.0.3");
        QFile::remove(CStoreTestRun::path(C + ".xml"));
        change(A, "CPU", "add", "Name=c1\n");
        change(A, "BIOS", "add", "Name=b1\n");
        change(A, "CPU", "remove", "Name=c2\n");
        change(A, "BIOS", "add", "Name=b2\n");
        change(B, "DiskDrive", "add", "Caption=d1\nSize=250056737280\n");
        change(B, "BaseBoard", "add", "Manufacturer=m1\n");

        qtm window(nullptr, Qt::WindowFlags());
        std::unique_ptr<QStandardItemModel> model(window.createChangeLogModel());
        QCOMPARE(headers(model.get()), QStringList({"host", "time", "device", "type", "change content"}));
        // Clients in list.xml order, classes in descending order of their names, newest first.
        QCOMPARE(column(model.get(), 4), QStringList({"c2", "c1", "b2", "b1", "d1 250 GB", "m1"}));
        QCOMPARE(column(model.get(), 2), QStringList({"CPU", "CPU", "BIOS", "BIOS", "DiskDrive", "BaseBoard"}));
        QCOMPARE(column(model.get(), 3), QStringList({"remove", "add", "add", "add", "add", "add"}));
        QCOMPARE(column(model.get(), 0),
            QStringList({"alpha(127.0.0.1)", "alpha(127.0.0.1)", "alpha(127.0.0.1)", "alpha(127.0.0.1)",
                "beta(127.0.0.2)", "beta(127.0.0.2)"}));
        QVERIFY(QDateTime::fromString(model->index(0, 1).data().toString(), "MMMM dd yyyy hh:mm:ss").isValid());
        // The client without a file adds nothing and gets none.
        QVERIFY(!QFile::exists(CStoreTestRun::path(C + ".xml")));
    }

    void changeLogHeaderOnly_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("other root") << QByteArray("<log><pc UUID=\"{aaaaaaaa-0000-0000-0000-000000000001}\"/></log>");
        QTest::newRow("broken") << QByteArray("<pclist><pc UUID=\"{aaaaaaaa-0000-0000-0000-000000000001}\">");
    }

    void changeLogHeaderOnly()
    {
        QFETCH(QByteArray, list);
        addClient(A, "alpha", "127.0.0.1");
        change(A, "CPU", "add", "Name=c1\n");
        QFile::remove(CStoreTestRun::path("list.xml"));
        if (!list.isEmpty())
            QVERIFY(CStoreTestRun::write("list.xml", list));
        qtm window(nullptr, Qt::WindowFlags());
        std::unique_ptr<QStandardItemModel> model(window.createChangeLogModel());
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(model->columnCount(), 5);
    }

    void changeLogNamesAsStored()
    {
        addClient(A, QString::fromUtf8("财务-経理"), "127.0.0.1");
        change(A, "CPU", "add", "Name=c1\n");
        qtm window(nullptr, Qt::WindowFlags());
        std::unique_ptr<QStandardItemModel> model(window.createChangeLogModel());
        QCOMPARE(column(model.get(), 0), QStringList({QString::fromUtf8("财务-経理(127.0.0.1)")}));
    }

    // The streaming reader gives what the document reader gives, also on unusual files.
    void changeLogReaderMatchesDocument_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray rec1 = "<record time=\"t1\" type=\"add\" digest=\"d1\" notice=\"no\">r</record>";
        const QByteArray rec2 = "<record time=\"t2\" type=\"remove\" digest=\"d2\">r</record>";
        QTest::newRow("plain") << "<config><CPU><content digest=\"x\">r</content><changelog>" + rec1 + rec2
                + "</changelog></CPU><BIOS/></config>";
        QTest::newRow("second changelog ignored")
            << "<config><CPU><changelog>" + rec1 + "</changelog><changelog>" + rec2 + "</changelog></CPU></config>";
        QTest::newRow("from the first record on") << "<config><CPU><changelog><note time=\"n\"/>" + rec1
                + "<other time=\"o\"/>" + rec2 + "</changelog></CPU></config>";
        QTest::newRow("nested elements") << "<config><CPU><x><changelog>" + rec1 + "</changelog></x><changelog>" + rec2
                + "<record><record time=\"deep\"/></record></changelog></CPU></config>";
        QTest::newRow("class twice") << "<config><CPU><changelog>" + rec1 + "</changelog></CPU><CPU><changelog>" + rec2
                + "</changelog></CPU></config>";
        QTest::newRow("broken") << "<config><CPU><changelog>" + rec1 + "</changelog></CPU>";
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("declared utf-8") << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config><CPU><changelog>"
                + QByteArray("<record time=\"t\" type=\"add\" digest=\"\xe8\xb4\xa2\xe5\x8a\xa1\"/>")
                + "</changelog></CPU></config>";
        QTest::newRow("declared latin-1") << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<config><CPU><changelog>"
                + QByteArray("<record time=\"t\" type=\"add\" digest=\"caf\xe9\"/>") + "</changelog></CPU></config>";
        QTest::newRow("undeclared prefix")
            << "<config><CPU><changelog><x:record time=\"t\"/>" + rec1 + "</changelog></CPU></config>";
        QTest::newRow("declared prefix") << "<config xmlns:x=\"urn:x\"><CPU><changelog><x:record time=\"t\"/>" + rec1
                + "</changelog></CPU></config>";
        QTest::newRow("two roots") << "<config><CPU><changelog>" + rec1 + "</changelog></CPU></config><config/>";
        QTest::newRow("text beside the root") << "<config><CPU><changelog>" + rec1 + "</changelog></CPU></config>x";
        QTest::newRow("blanks in values") << QByteArray("<config><CPU><changelog><record time=\"a\tb\r\nc\" "
                                                        "type=\"add\" digest=\" d \"/></changelog></CPU></config>");
        QTest::newRow("comments and cdata") << "<config><!-- <changelog> --><CPU><![CDATA[<changelog>]]><changelog>"
                + rec1 + "<!-- x --></changelog></CPU></config>";
        QTest::newRow("escaped") << QByteArray("<config><CPU><changelog><record time=\"a&amp;b\" type=\"add\" "
                                               "digest=\"&lt;x&gt;\"/></changelog></CPU></config>");
        // U+FEFF starting a value is a character of it, not a byte order mark.
        QTest::newRow("U+FEFF starting values")
            << QByteArray("<config><CPU><changelog><record time=\"\xef\xbb\xbft\" type=\"add\" "
                          "digest=\"\xef\xbb\xbf\xef\xbb\xbf"
                          "d\"/></changelog></CPU></config>");
    }

    void changeLogReaderMatchesDocument()
    {
        QFETCH(QByteArray, file);
        QVERIFY(CStoreTestRun::write(A + ".xml", file));
        QMap<QString, QStringList> expected;
        {
            CPcConfig cfg(A);
            cfg.openReadOnly();
            cfg.getChangeLog(expected);
        }
        QMap<QString, QStringList> streamed;
        CChangeLogReader::read(A, streamed);
        QCOMPARE(streamed, expected);
        typedef QMap<QString, QStringList> Log;
        const QList<Log> many = CChangeLogReader::readAll({A, B, A});
        QCOMPARE(many, QList<Log>({expected, Log(), expected}));
        QVERIFY(!QFile::exists(CStoreTestRun::path(B + ".xml")));
    }

    void logTableForm()
    {
        CLogTable table(nullptr);
        auto *view = table.findChild<QTableView *>("tvLog");
        QVERIFY(view);
        QCOMPARE(table.objectName(), QString("CLogTable"));
        QCOMPARE(table.size(), QSize(640, 480));
        QCOMPARE(table.windowTitle(), QString("Log view"));
        QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(view->isSortingEnabled());
        QCOMPARE(view->horizontalHeader()->defaultSectionSize(), 140);
        QVERIFY(view->horizontalHeader()->stretchLastSection());
        QVERIFY(view->horizontalHeader()->cascadingSectionResizes());
        {
            CMarkedLanguage marked;
            QCOMPARE(table.windowTitle(), QString("[CLogTable]Log view"));
        }
        QCOMPARE(table.windowTitle(), QString("Log view"));
    }

    void logTableFreesReplacedModel()
    {
        auto table = std::make_unique<CLogTable>(nullptr);
        auto *view = table->findChild<QTableView *>("tvLog");
        QPointer<QStandardItemModel> first = new QStandardItemModel(2, 2);
        table->setModel(first);
        QPointer<QItemSelectionModel> firstSelection = view->selectionModel();
        QCOMPARE(view->model(), first.data());
        QPointer<QStandardItemModel> second = new QStandardItemModel(1, 1);
        table->setModel(second);
        QVERIFY(first.isNull());
        QVERIFY(firstSelection.isNull());
        QCOMPARE(view->model(), second.data());
        QPointer<QItemSelectionModel> secondSelection = view->selectionModel();
        table.reset();
        QVERIFY(second.isNull());
        QVERIFY(secondSelection.isNull());
    }

    void logViewsShareOneWindow()
    {
        addClient(A, "alpha", "127.0.0.1");
        change(A, "CPU", "add", "Name=c1\n");
        {
            CUpdateLog log;
            log.init();
            log.addRecord("a(127.0.0.1)", "", "2.2", {}, "force");
            log.save();
        }
        qtm window(nullptr, Qt::WindowFlags());
        window.init();
        QMetaObject::invokeMethod(&window, "ChangeLogView");
        QTableView *view = nullptr;
        CLogTable *table = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *t = qobject_cast<CLogTable *>(w)) {
                table = t;
                view = t->findChild<QTableView *>("tvLog");
            }
        }
        QVERIFY(table && view);
        QVERIFY(table->isVisible());
        QCOMPARE(view->model()->columnCount(), 5);
        QCOMPARE(view->model()->index(0, 4).data().toString(), QString("c1"));
        QPointer<QAbstractItemModel> changeModel = view->model();
        QMetaObject::invokeMethod(&window, "UpdateLogView");
        QVERIFY(changeModel.isNull());
        QCOMPARE(view->model()->columnCount(), 6);
        QCOMPARE(view->model()->index(0, 1).data().toString(), QString("force"));
        // Setting the model keeps its order; a click on a header sorts.
        QCOMPARE(view->model()->rowCount(), 1);
        view->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
        int visible = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            visible += qobject_cast<CLogTable *>(w) && w->isVisible();
        QCOMPARE(visible, 1);
    }

    void logViewKeepsModelOrder()
    {
        CLogTable table(nullptr);
        auto *model = new QStandardItemModel(0, 1);
        for (const char *t : {"b", "c", "a"})
            model->appendRow(new QStandardItem(t));
        table.setModel(model);
        QCOMPARE(column(model, 0), QStringList({"b", "c", "a"}));
        auto *view = table.findChild<QTableView *>("tvLog");
        view->sortByColumn(0, Qt::AscendingOrder);
        QCOMPARE(column(model, 0), QStringList({"a", "b", "c"}));
    }

    // Folder editor.

    void folderEditorFills()
    {
        {
            CSet set;
            set.openList();
            set.addFolder("Floor 1", "{f1}");
            set.addFolder("Floor 2", "{f2}");
            set.addFolder("Floor 2", "{f3}");
            set.addPC(A, "alpha", "127.0.0.1", "2.1", "1");
            set.addPC(B, QString::fromUtf8("経理"), "127.0.0.2", "2.2", "2");
            set.addPC(C, "gamma", "127.0.0.3", "2.3", "9");
            set.addPC("{dddddddd-0000-0000-0000-000000000004}", "delta", "127.0.0.4", "2.4", "");
            set.addPC("{eeeeeeee-0000-0000-0000-000000000005}", "eps", "127.0.0.5", "2.5", "3");
            set.setPCFolder(A, "{f1}");
            set.setPCFolder(B, "{f2}");
            set.setPCFolder(C, "0");
            set.setPCFolder("{dddddddd-0000-0000-0000-000000000004}", "{gone}");
        }
        const QByteArray before = CStoreTestRun::read("list.xml");
        ListEditDlg dlg(nullptr);
        auto *tree = dlg.findChild<QTreeWidget *>("treeWidget");
        auto *list = dlg.findChild<QListWidget *>("listWidget");
        QVERIFY(tree && list);
        // Folders last-first; equal names are two folders.
        QCOMPARE(texts(tree),
            QStringList({"Floor 2:", QString::fromUtf8("Floor 2:経理(127.0.0.2)"), "Floor 1:alpha(127.0.0.1)"}));
        QCOMPARE(tagOf(tree->topLevelItem(0)), QString("FOLDER={f3}"));
        // No folder attribute, "0" and a folder that is gone: all in the list, last-first.
        QCOMPARE(texts(list), QStringList({"eps(127.0.0.5)", "delta(127.0.0.4)", "gamma(127.0.0.3)"}));
        QCOMPARE(list->item(0)->data(32).toString(), QString("UUID={eeeeeeee-0000-0000-0000-000000000005}"));
        QCOMPARE(list->item(0)->toolTip(), QString("Version:2.5"));
        QCOMPARE(tree->topLevelItem(2)->child(0)->toolTip(0), QString("Version:2.1"));
        QCOMPARE(tagOf(tree->topLevelItem(2)->child(0)), "UUID=" + A);
        QVERIFY(!list->item(0)->icon().isNull());
        QVERIFY(!tree->topLevelItem(0)->icon(0).isNull());
        // Filling writes nothing.
        QCOMPARE(CStoreTestRun::read("list.xml"), before);
        QCOMPARE(dlg.size(), QSize(692, 519));
        QCOMPARE(dlg.windowTitle(), QString("Dialog"));
    }

    void folderEditorAddsFolders_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("enter");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("empty") << QStringList({""}) << false << QStringList();
        QTest::newRow("empty by enter") << QStringList({""}) << true << QStringList();
        QTest::newRow("blanks") << QStringList({"   "}) << false << QStringList({"   "});
        QTest::newRow("by enter") << QStringList({"Lab"}) << true << QStringList({"Lab"});
        QTest::newRow("same name twice") << QStringList({"Lab", "Lab"}) << false << QStringList({"Lab", "Lab"});
    }

    void folderEditorAddsFolders()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, enter);
        QFETCH(QStringList, stored);
        ListEditDlg dlg(nullptr);
        auto *tree = dlg.findChild<QTreeWidget *>("treeWidget");
        auto *edit = dlg.findChild<QLineEdit *>("folderEdit");
        for (const QString &name : names) {
            edit->setText(name);
            if (enter)
                QTest::keyClick(edit, Qt::Key_Return);
            else
                dlg.findChild<QCommandLinkButton *>("addFolderBu")->click();
            QCOMPARE(edit->text(), name.isEmpty() ? name : QString());
        }
        QList<FolderEntry> folders;
        CSet set;
        set.openList();
        set.getFolders(folders);
        QSet<QString> values;
        for (auto it = folders.crbegin(); it != folders.crend(); ++it) {
            values.insert(it->value("value"));
            QVERIFY(!QUuid::fromString(it->value("value")).isNull());
        }
        // The names as written (a document reader drops a text of blanks only).
        QStringList storedNames;
        const QRegularExpression nameElement("<name>([^<]*)</name>");
        for (auto m = nameElement.globalMatch(QString::fromUtf8(CStoreTestRun::read("list.xml"))); m.hasNext();)
            storedNames.append(m.next().captured(1));
        QCOMPARE(storedNames, stored);
        QCOMPARE(values.size(), stored.size());
        // New folders stand at the end of the tree, tagged with their values.
        QCOMPARE(tree->topLevelItemCount(), stored.size());
        for (int i = 0; i < stored.size(); ++i) {
            QCOMPARE(tree->topLevelItem(i)->text(0), stored.at(i));
            QVERIFY(values.contains(tagOf(tree->topLevelItem(i)).mid(7)));
        }
    }

    void folderEditorDeletes_data()
    {
        QTest::addColumn<int>("current"); // -1 none, 0 the empty folder, 1 the full folder, 2 its client
        QTest::addColumn<bool>("warned");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("no current item") << -1 << false << QStringList({"Empty:", "Full:alpha(127.0.0.1)"})
                                         << QStringList({"{empty}", "{full}"});
        QTest::newRow("empty folder") << 0 << false << QStringList({"Full:alpha(127.0.0.1)"})
                                      << QStringList({"{full}"});
        QTest::newRow("folder with a client")
            << 1 << true << QStringList({"Empty:", "Full:alpha(127.0.0.1)"}) << QStringList({"{empty}", "{full}"});
        QTest::newRow("client item") << 2 << false << QStringList({"Empty:", "Full:alpha(127.0.0.1)"})
                                     << QStringList({"{empty}", "{full}"});
    }

    void folderEditorDeletes()
    {
        QFETCH(int, current);
        QFETCH(bool, warned);
        QFETCH(QStringList, tree);
        QFETCH(QStringList, stored);
        {
            CSet set;
            set.openList();
            set.addFolder("Full", "{full}");
            set.addFolder("Empty", "{empty}");
            set.addPC(A, "alpha", "127.0.0.1", "2.1", "1");
            set.setPCFolder(A, "{full}");
        }
        ListEditDlg dlg(nullptr);
        auto *view = dlg.findChild<QTreeWidget *>("treeWidget");
        if (current == 0)
            view->setCurrentItem(view->topLevelItem(0));
        else if (current == 1)
            view->setCurrentItem(view->topLevelItem(1));
        else if (current == 2)
            view->setCurrentItem(view->topLevelItem(1)->child(0));
        CTestDialogs &dialogs = CAdminTestRun::dialogs();
        dialogs.reset();
        dialogs.answers.enqueue(QMessageBox::Ok);
        dlg.findChild<QCommandLinkButton *>("DeleteFolderBu")->click();
        QCOMPARE(dialogs.messages.size(), warned ? 1 : 0);
        if (warned) {
            const CTestDialogs::Message &m = dialogs.messages.at(0);
            QCOMPARE(m.text, QString("The folder is not empty, can not be delete!"));
            QCOMPARE(m.icon, QMessageBox::Warning);
            QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(m.title.isEmpty());
            QVERIFY(!m.hasParent);
        }
        QCOMPARE(texts(view), tree);
        QList<FolderEntry> folders;
        CSet set;
        set.openList();
        set.getFolders(folders);
        QStringList values;
        for (const FolderEntry &f : folders)
            values.append(f.value("value"));
        QCOMPARE(values, stored);
        QCOMPARE(pcOf(listDoc(), A).attribute("folder"), QString("{full}"));
    }

    void folderEditorMoves_data()
    {
        QTest::addColumn<QString>("arrow");
        QTest::addColumn<int>("treeCurrent"); // -1 none, 0 the folder, 1 the client in it
        QTest::addColumn<bool>("listCurrent");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("folderOfA");
        QTest::addColumn<QString>("folderOfB");
        const QStringList unchangedTree({"Lab:alpha(127.0.0.1)"});
        const QStringList unchangedList({"beta(127.0.0.2)"});
        QTest::newRow("left into folder")
            << "leftBu" << 0 << true << QStringList({"Lab:alpha(127.0.0.1),beta(127.0.0.2)"}) << QStringList()
            << "{lab}"
            << "{lab}";
        QTest::newRow("left without list row") << "leftBu" << 0 << false << unchangedTree << unchangedList << "{lab}"
                                               << "";
        QTest::newRow("left without tree item") << "leftBu" << -1 << true << unchangedTree << unchangedList << "{lab}"
                                                << "";
        QTest::newRow("left onto a client") << "leftBu" << 1 << true << unchangedTree << unchangedList << "{lab}"
                                            << "";
        QTest::newRow("right out of folder") << "rightBu" << 1 << false << QStringList({"Lab:"})
                                             << QStringList({"beta(127.0.0.2)", "alpha(127.0.0.1)"}) << "0"
                                             << "";
        QTest::newRow("right on a folder") << "rightBu" << 0 << false << unchangedTree << unchangedList << "{lab}"
                                           << "";
        QTest::newRow("right without item") << "rightBu" << -1 << false << unchangedTree << unchangedList << "{lab}"
                                            << "";
    }

    void folderEditorMoves()
    {
        QFETCH(QString, arrow);
        QFETCH(int, treeCurrent);
        QFETCH(bool, listCurrent);
        QFETCH(QStringList, tree);
        QFETCH(QStringList, list);
        QFETCH(QString, folderOfA);
        QFETCH(QString, folderOfB);
        writeLabList();
        ListEditDlg dlg(nullptr);
        auto *view = dlg.findChild<QTreeWidget *>("treeWidget");
        auto *rows = dlg.findChild<QListWidget *>("listWidget");
        view->setCurrentItem(treeCurrent == 0 ? view->topLevelItem(0)
                : treeCurrent == 1            ? view->topLevelItem(0)->child(0)
                                              : nullptr);
        rows->setCurrentRow(listCurrent ? 0 : -1);
        dlg.findChild<QPushButton *>(arrow)->click();
        QCOMPARE(texts(view), tree);
        QCOMPARE(texts(rows), list);
        const QDomDocument doc = listDoc();
        QCOMPARE(pcOf(doc, A).attribute("folder"), folderOfA);
        QCOMPARE(pcOf(doc, B).attribute("folder"), folderOfB);
        // A moved client carries its tag and icon but no tool tip until the dialog opens again.
        if (arrow == "leftBu" && tree != QStringList({"Lab:alpha(127.0.0.1)"})) {
            QTreeWidgetItem *moved = view->topLevelItem(0)->child(1);
            QCOMPARE(tagOf(moved), "UUID=" + B);
            QVERIFY(moved->toolTip(0).isEmpty());
            QVERIFY(!moved->icon(0).isNull());
        }
        if (arrow == "rightBu" && !tree.at(0).contains("alpha")) {
            QCOMPARE(rows->item(1)->data(32).toString(), "UUID=" + A);
            QVERIFY(rows->item(1)->toolTip().isEmpty());
        }
    }

    // Enter in the folder name box adds a folder and nothing else: the dialog's default button (the
    // left arrow) must not move the current list client into the current folder as well.
    void folderEditorEnterOnlyAddsFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("key");
        QTest::newRow("empty, return") << "" << int(Qt::Key_Return);
        QTest::newRow("empty, keypad enter") << "" << int(Qt::Key_Enter);
        QTest::newRow("name, return") << "New" << int(Qt::Key_Return);
        QTest::newRow("name, keypad enter") << "New" << int(Qt::Key_Enter);
    }

    void folderEditorEnterOnlyAddsFolder()
    {
        QFETCH(QString, name);
        QFETCH(int, key);
        writeLabList();
        const QByteArray before = CStoreTestRun::read("list.xml");
        ListEditDlg dlg(nullptr);
        auto *view = dlg.findChild<QTreeWidget *>("treeWidget");
        auto *rows = dlg.findChild<QListWidget *>("listWidget");
        auto *edit = dlg.findChild<QLineEdit *>("folderEdit");
        // The default button only answers Enter in a shown dialog.
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        // A folder and a list client are current: what the left arrow would move.
        view->setCurrentItem(view->topLevelItem(0));
        rows->setCurrentRow(0);
        edit->setFocus();
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key(key));
        QVERIFY(dlg.isVisible());
        QCOMPARE(texts(rows), QStringList({"beta(127.0.0.2)"}));
        if (name.isEmpty()) {
            QCOMPARE(CStoreTestRun::read("list.xml"), before);
            QCOMPARE(texts(view), QStringList({"Lab:alpha(127.0.0.1)"}));
            return;
        }
        QCOMPARE(texts(view), QStringList({"Lab:alpha(127.0.0.1)", name + ":"}));
        const QDomDocument doc = listDoc();
        QCOMPARE(pcOf(doc, B).attribute("folder"), QString());
        QCOMPARE(pcOf(doc, A).attribute("folder"), QString("{lab}"));
        QCOMPARE(doc.elementsByTagName("folder").count(), 2);
    }

    // What others write while the dialog is open survives the dialog's changes.
    void folderEditorKeepsOthersChanges()
    {
        {
            CSet set;
            set.openList();
            set.addFolder("Lab", "{lab}");
            set.addPC(A, "alpha", "127.0.0.1", "2.1", "1");
        }
        ListEditDlg dlg(nullptr);
        {
            // The server sets a notice flag, a scan adds a client.
            CSet other;
            other.openList();
            QCOMPARE(other.setNotice(A, false), 0);
            QCOMPARE(other.addPC(B, "beta", "127.0.0.2", "2.2", "1"), 0);
        }
        auto *view = dlg.findChild<QTreeWidget *>("treeWidget");
        auto *rows = dlg.findChild<QListWidget *>("listWidget");
        view->setCurrentItem(view->topLevelItem(0));
        rows->setCurrentRow(0);
        dlg.findChild<QPushButton *>("leftBu")->click();
        dlg.findChild<QLineEdit *>("folderEdit")->setText("New");
        dlg.findChild<QCommandLinkButton *>("addFolderBu")->click();
        const QDomDocument doc = listDoc();
        QCOMPARE(pcOf(doc, A).attribute("folder"), QString("{lab}"));
        QCOMPARE(pcOf(doc, A).attribute("notice"), QString("no"));
        QVERIFY(!pcOf(doc, B).isNull());
        QCOMPARE(doc.elementsByTagName("folder").count(), 2);
    }

    void folderEditorOnBrokenList()
    {
        const QByteArray broken = "<pclist><pc UUID=\"x\">";
        QVERIFY(CStoreTestRun::write("list.xml", broken));
        ListEditDlg dlg(nullptr);
        auto *view = dlg.findChild<QTreeWidget *>("treeWidget");
        QCOMPARE(view->topLevelItemCount(), 0);
        QCOMPARE(dlg.findChild<QListWidget *>("listWidget")->count(), 0);
        dlg.findChild<QLineEdit *>("folderEdit")->setText("Lab");
        dlg.findChild<QCommandLinkButton *>("addFolderBu")->click();
        QCOMPARE(texts(view), QStringList({"Lab:"}));
        view->setCurrentItem(view->topLevelItem(0));
        dlg.findChild<QCommandLinkButton *>("DeleteFolderBu")->click();
        QCOMPARE(view->topLevelItemCount(), 0);
        QCOMPARE(CStoreTestRun::read("list.xml"), broken);
    }

    void folderEditorRetranslates()
    {
        ListEditDlg dlg(nullptr);
        {
            CMarkedLanguage marked;
            QCOMPARE(dlg.windowTitle(), QString("[ListEditDlg]Dialog"));
            QCOMPARE(dlg.findChild<QTreeWidget *>("treeWidget")->headerItem()->text(0), QString("[ListEditDlg]Folder"));
            QCOMPARE(dlg.findChild<QCommandLinkButton *>("addFolderBu")->text(), QString("[ListEditDlg]Add Folder"));
            QCOMPARE(
                dlg.findChild<QCommandLinkButton *>("DeleteFolderBu")->text(), QString("[ListEditDlg]Delete Folder"));
            QVERIFY(dlg.findChild<QPushButton *>("rightBu")->text().isEmpty());
        }
        QCOMPARE(dlg.windowTitle(), QString("Dialog"));
    }
};

BRAMIX_ADMIN_TEST_MAIN(TestAdminFrames)
#include "tst_adminframes.moc"
