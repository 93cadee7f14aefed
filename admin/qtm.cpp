#include "qtm.h"

#include "caboutdlg.h"
#include "cchangelogreader.h"
#include "cdialogs.h"
#include "cglobal.h"
#include "cpcconfig.h"
#include "creport.h"
#include "cresourcepage.h"
#include "cscantargets.h"
#include "cscanthread.h"
#include "cset.h"
#include "cupdatelist.h"
#include "cupdatelog.h"
#include "cupdatethread.h"
#include "listeditdlg.h"
#include "selupfiledlg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QListWidget>
#include <QMenu>
#include <QNetworkInterface>
#include <QSemaphore>
#include <QSettings>
#include <QStandardItemModel>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>
#include <QTranslator>
#include <QTreeWidgetItem>

#include <list>
#include <memory>
#include <mutex>

namespace {

// Every tree item says what it is in its user data: "FOLDER=<value>", "UUID=<uuid>" or "INFO=<class>".
QStringList tagOf(const QTreeWidgetItem *item, int column = 0)
{
    return item->data(column, Qt::UserRole).toString().split(QLatin1Char('='));
}

// The store keeps a client's texts as UTF-8, so names outside Latin-1 show as stored.
QString entryValue(const PCEntry &pc, const char *key)
{
    const auto it = pc.find(key);
    return it == pc.end() ? QString() : QString::fromStdString(it->second);
}

// The toolkit's painting hands parts of large fills to the global thread pool and waits for them. A
// pool thread that the system cannot start at that moment (no memory or address space left for its
// stack, as when hundreds of probes run) never runs its part, and the window hangs for ever. So the
// pool's threads are all started once, with the first window, and kept.
void keepPaintThreads()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QThreadPool *pool = QThreadPool::globalInstance();
        pool->setExpiryTimeout(-1);
        const int count = pool->maxThreadCount();
        const auto started = std::make_shared<QSemaphore>();
        const auto release = std::make_shared<QSemaphore>();
        // Each holds its thread until all have started, so each gets a thread of its own.
        for (int i = 0; i < count; ++i)
            pool->start([started, release] {
                started->release();
                release->acquire();
            });
        (void)started->tryAcquire(count, 5000);
        release->release(count);
    });
}

} // namespace

// ---- Window, start-up, threads ---------------------------------------------------------------------

qtm::qtm(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , m_scanFrame(nullptr)
    , m_logTable(nullptr)
    , m_updateFrame(nullptr)
{
    m_report = nullptr;
    ui.setupUi(this);
    keepPaintThreads();
}

qtm::~qtm()
{
    // Workers report into this window: none may still run when its parts go.
    stopThreads();
    delete m_report;
}

void qtm::adoptThread(QThread *thread)
{
    if (!thread)
        return;
    if (!thread->parent())
        thread->setParent(this);
    m_threads.removeAll(QPointer<QThread>());
    m_threads.append(QPointer<QThread>(thread));
}

void qtm::stopThreads()
{
    for (const QPointer<QThread> &thread : std::as_const(m_threads)) {
        if (thread)
            thread->requestInterruption();
    }
    for (const QPointer<QThread> &thread : std::as_const(m_threads)) {
        if (thread)
            thread->wait();
    }
    m_threads.clear();
}

int qtm::init()
{
    QDockWidget *dock = new QDockWidget(tr("Details"), this);
    dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    m_details = new QListWidget(dock);
    dock->setWidget(m_details);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    ui.menuView->addAction(dock->toggleViewAction());

    ui.action_Open->setStatusTip(QStringLiteral("Search network"));

    ui.treeWidget->setColumnCount(1);
    ui.treeWidget->setHeaderLabels(QStringList() << tr("computer"));

    connect(ui.action_Open, &QAction::triggered, this, &qtm::SearchNet);
    connect(ui.actionreprot, &QAction::triggered, this, &qtm::Report);
    connect(ui.action_About_2, &QAction::triggered, this, &qtm::about);
    connect(ui.actionExportHtml, &QAction::triggered, this, &qtm::ExportHtml);
    connect(ui.treeWidget, &QTreeWidget::itemClicked, this, &qtm::CPT_Clicked);
    connect(ui.actionUpdate_Client, &QAction::triggered, this, &qtm::Swaplet);
    connect(ui.actionChinese, &QAction::triggered, this, &qtm::selectCN);
    connect(ui.actionJapanese, &QAction::triggered, this, &qtm::selectJP);
    connect(ui.actionEnglish, &QAction::triggered, this, &qtm::selectEN);
    connect(ui.actionLog_View, &QAction::triggered, this, &qtm::ChangeLogView);
    connect(ui.actionUpdate_log, &QAction::triggered, this, &qtm::UpdateLogView);
    connect(ui.actionNew_Folder, &QAction::triggered, this, &qtm::FolderEdit);
    connect(ui.actionDelete_Item, &QAction::triggered, this, &qtm::deletePC);

    reloadTree();
    return 0;
}

// ---- Language switch ---------------------------------------------------------------------------------

int qtm::selectCN()
{
    return selectLanguage(QStringLiteral("CN"));
}

int qtm::selectJP()
{
    return selectLanguage(QStringLiteral("JP"));
}

int qtm::selectEN()
{
    return selectLanguage(QStringLiteral("EN"));
}

int qtm::selectLanguage(const QString &code)
{
    QSettings settings;
    settings.setValue(QStringLiteral("Lang"), code);
    QTranslator *translator = new QTranslator;
    (void)translator->load(QStringLiteral("BramixAdmin_") + code);
    QTranslator *old = m_translator;
    if (old)
        QCoreApplication::removeTranslator(old);
    m_translator = translator;
    QCoreApplication::installTranslator(translator);
    // The translator main made lives on main's stack; only the ones made here are ours to free.
    if (old && old->parent() == this)
        delete old;
    translator->setParent(this);
    ui.retranslateUi(this);
    return 0;
}

// ---- Client tree ---------------------------------------------------------------------------------

void qtm::reloadTree()
{
    ui.treeWidget->clear();
    m_details->clear();

    std::list<PCEntry> pcs;
    QList<FolderEntry> folders;
    {
        CSet set;
        (void)set.openList();
        set.getPCList(pcs);
        set.getFolders(folders);
    }

    // Items are built detached and handed to the view in one insertion: attaching 140,000 items one by one
    // makes the view announce each row and each changed field.
    QList<QTreeWidgetItem *> top;
    QHash<QString, QTreeWidgetItem *> folderByValue;
    const QIcon folderIcon(QStringLiteral(":/new/prefix1/Resources/folder.png"));
    for (const FolderEntry &folder : std::as_const(folders)) {
        QTreeWidgetItem *item = new QTreeWidgetItem;
        const QString value = folder.value(QStringLiteral("value"));
        item->setText(0, folder.value(QStringLiteral("name")));
        item->setIcon(0, folderIcon);
        item->setData(0, Qt::UserRole, QStringLiteral("FOLDER=") + value);
        top.append(item);
        // The first top-level item with a tag value takes the clients of that folder value.
        if (!folderByValue.contains(value))
            folderByValue.insert(value, item);
    }

    QHash<QString, QIcon> icons;
    for (const PCEntry &pc : pcs) {
        const QString name = entryValue(pc, "name");
        const QString ip = entryValue(pc, "ip");
        const QString uuid = entryValue(pc, "UUID");
        const QString notice = entryValue(pc, "notice");
        const QString folder = entryValue(pc, "folder");
        const QString version = entryValue(pc, "version");
        const QString os = entryValue(pc, "os");

        QTreeWidgetItem *parent = folder.isEmpty() ? nullptr : folderByValue.value(folder);
        QTreeWidgetItem *item = new QTreeWidgetItem;
        item->setText(0, name + QLatin1Char('(') + ip + QLatin1Char(')'));
        // The server marks a client whose inventory changed.
        if (notice == QLatin1String("no"))
            item->setForeground(0, QBrush(QColor(255, 0, 0, 255)));
        item->setData(0, Qt::UserRole, QStringLiteral("UUID=") + uuid);
        item->setToolTip(0, QStringLiteral("Version:") + version);
        auto icon = icons.find(os);
        if (icon == icons.end())
            icon = icons.insert(os, platformIcon(os));
        item->setIcon(0, *icon);
        addClassItems(item);
        if (parent) {
            parent->addChild(item);
        } else {
            top.append(item);
            // A top-level client is matched by its tag value like a folder (after every folder).
            if (!folderByValue.contains(uuid))
                folderByValue.insert(uuid, item);
        }
    }
    ui.treeWidget->addTopLevelItems(top);
}

QIcon qtm::platformIcon(const QString &os)
{
    const char *name = "watch.png";
    if (os == QLatin1String("1"))
        name = "windows.png";
    else if (os == QLatin1String("2"))
        name = "linux.png";
    else if (os == QLatin1String("3"))
        name = "apple.jpg";
    else if (os == QLatin1String("4"))
        name = "alixe.png";
    return QIcon(QStringLiteral(":/new/prefix1/Resources/") + QLatin1String(name));
}

void qtm::addClassItems(QTreeWidgetItem *client)
{
    static const char *const classes[] = {"CPU", "BaseBoard", "DiskDrive", "VideoController", "NetworkAdapter", "BIOS",
        "CDROMDrive", "DesktopMonitor", "MemoryDevice", "Printer", "SoundDevice", "Software", "OS"};
    QList<QTreeWidgetItem *> items;
    items.reserve(int(std::size(classes)));
    for (const char *cls : classes) {
        QTreeWidgetItem *item = new QTreeWidgetItem;
        item->setText(0, QLatin1String(cls));
        item->setData(0, Qt::UserRole, QStringLiteral("INFO=") + QLatin1String(cls));
        items.append(item);
    }
    client->addChildren(items);
}

void qtm::deleteTreeItem(QTreeWidgetItem *item)
{
    if (!item)
        return;
    for (int i = item->childCount() - 1; i >= 0; --i)
        deleteTreeItem(item->child(i));
    delete item;
}

void qtm::deletePC()
{
    QTreeWidgetItem *item = ui.treeWidget->currentItem();
    if (!item)
        return;
    const QStringList tag = tagOf(item);
    if (tag.value(0) != QLatin1String("UUID"))
        return;
    CSet set;
    (void)set.openList();
    (void)set.removePC(tag.value(1));
    deleteTreeItem(item);
}

void qtm::contextMenuEvent(QContextMenuEvent *event)
{
    // Only the tree has a menu; tool bars, docks and the rest of the window have none.
    const QRect treeArea(ui.treeWidget->mapTo(this, QPoint(0, 0)), ui.treeWidget->size());
    if (!treeArea.contains(event->pos()))
        return;
    QMenu menu(this);
    menu.addAction(ui.actionNew_Folder);
    menu.addAction(ui.actionDelete_Item);
    menu.exec(event->globalPos());
}

// ---- Details view --------------------------------------------------------------------------------

void qtm::CPT_Clicked(QTreeWidgetItem *item, int column)
{
    if (!item)
        return;
    const QStringList tag = tagOf(item, column);
    // A tag without "=" or a class item outside a client means nothing here: left as a folder click.
    if (tag.size() < 2)
        return;
    if (tag.at(0) == QLatin1String("INFO")) {
        QTreeWidgetItem *client = item->parent();
        const QStringList clientTag = client ? tagOf(client, column) : QStringList();
        if (clientTag.size() < 2 || clientTag.at(0) != QLatin1String("UUID"))
            return;
        CPcConfig config(clientTag.at(1));
        (void)config.openReadOnly();
        QStringList rows;
        config.getContents(tag.at(1), rows);
        m_details->clear();
        for (int i = 0; i < rows.size(); ++i) {
            m_details->addItem(QStringLiteral("Config %1:").arg(i + 1));
            m_details->addItems(rows.at(i).split(QLatin1Char('\n')));
        }
    } else if (tag.at(0) == QLatin1String("UUID")) {
        CPcConfig config(tag.at(1));
        (void)config.openReadOnly();
        QStringList contents, changes;
        config.getSummary(contents, changes);
        m_details->clear();
        m_details->addItems(contents);
        m_details->addItems(changes);
    }
}

// ---- Network scan --------------------------------------------------------------------------------

void qtm::SearchNet()
{
    m_scanStarted = 0;
    m_scanFinished = 0;
    m_found = 0;
    m_scanFrame.setWindowFlags(Qt::FramelessWindowHint);
    m_scanFrame.start();
    m_scanFrame.setDone(false);
    m_scanFrame.show();
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    if (addresses.isEmpty()) {
        CDialogs::instance()->message(this, QMessageBox::Warning, tr("Scaning"), QStringLiteral("address empty.\n"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        return;
    }
    const QList<CScanTargets::Target> targets = CScanTargets::targets(addresses);
    for (const CScanTargets::Target &target : targets)
        startProbe(target.ip, target.localIp);
}

void qtm::startProbe(const QString &ip, const QString &localIp)
{
    CScanThread *probe = new CScanThread(this, this, ip, localIp);
    connect(probe, &CScanThread::foundPC, this, &qtm::addPC);
    connect(probe, &CScanThread::ScanFailed, this, &qtm::DoScanFailed);
    ++m_scanStarted;
    adoptThread(probe);
    probe->start(QThread::InheritPriority);
    // A probe that could not start would never report; it counts as failed once this slot is over.
    if (!probe->isRunning() && !probe->isFinished()) {
        delete probe;
        QMetaObject::invokeMethod(this, &qtm::DoScanFailed, Qt::QueuedConnection);
    }
}

int qtm::addPC(QString strName, QString strUUID, QString flag)
{
    if (strName.isEmpty() && strUUID.isEmpty()) {
        ++m_scanFinished;
        showScanProgress();
        return 0;
    }
    ++m_found;
    ++m_scanFinished;
    showScanProgress();
    QTreeWidgetItem *item = new QTreeWidgetItem(ui.treeWidget);
    item->setText(0, strName);
    item->setData(0, Qt::UserRole, QStringLiteral("UUID=") + strUUID);
    item->setIcon(0, platformIcon(flag));
    addClassItems(item);
    return 0;
}

void qtm::DoScanFailed()
{
    ++m_scanFinished;
    showScanProgress();
}

void qtm::showScanProgress()
{
    if (m_scanFinished == m_scanStarted) {
        m_scanFrame.setDone(true);
        m_scanFrame.finish();
    }
    const QString text = QString::number(m_scanFinished) + QStringLiteral(" scaned,found ") + QString::number(m_found);
    m_scanFrame.setText(text);
    statusBar()->showMessage(text, 100000);
}

// ---- Client update distribution ------------------------------------------------------------------

int qtm::Swaplet()
{
    QStringList windows;
    QStringList linuxFiles;
    QString version;
    bool force = false;
    {
        SelUpFileDlg dlg(nullptr);
        if (CDialogs::instance()->execDialog(dlg) != QDialog::Accepted)
            return 0;
        dlg.getList(windows, linuxFiles, version);
        force = dlg.isForce();
    }
    int written = -1;
    try {
        CUpdateList list;
        written = list.setList(windows, linuxFiles, version);
    } catch (const char *) {
        written = -2;
    }
    // Nothing is pushed or recorded for an update that is not published.
    if (written != 0) {
        CDialogs::instance()->message(this, QMessageBox::Warning, tr("Update client"),
            written == -2 ? QStringLiteral("Xml file format error\n") : QStringLiteral("uplist.xml write failed.\n"),
            QMessageBox::Ok);
        return 0;
    }
    if (!force || (windows.isEmpty() && linuxFiles.isEmpty()))
        return 0;

    m_updateTotal = 0;
    m_updateOK = 0;
    m_updateFailed = 0;
    std::list<PCEntry> clients;
    {
        CSet set;
        (void)set.openList();
        set.getPCList(clients);
    }
    m_updateTotal = int(clients.size());
    if (m_updateTotal == 0)
        return 0;

    m_updateFrame.setWindowFlags(Qt::FramelessWindowHint);
    m_updateFrame.start();
    m_updateFrame.setDone(false);
    m_updateFrame.show();

    CUpdateLog log;
    (void)log.init();
    for (const PCEntry &pc : clients) {
        const QString ip = entryValue(pc, "ip");
        const QString os = entryValue(pc, "os");
        const QString label = entryValue(pc, "name") + QLatin1Char('(') + ip + QLatin1Char(')');
        const QStringList files = os == QLatin1String("1") ? windows
            : os == QLatin1String("2")                     ? linuxFiles
                                                           : QStringList();
        log.addRecord(label, QString(), version, files, QStringLiteral("force"));
        m_pendingPushes.append({files, ip});
    }
    log.save();
    startPushes();
    return 0;
}

void qtm::startPushes()
{
    // Thousands of clients must not mean thousands of threads and connections at once: each report,
    // or a push that stalls, lets the next push start.
    while (m_pushesRunning < MaxPushes && m_pushes.size() < MaxPushThreads && !m_pendingPushes.isEmpty()) {
        const QPair<QStringList, QString> push = m_pendingPushes.takeFirst();
        m_socket = nullptr;
        m_updateThread = nullptr;
        m_updateThread = new CUpdateThread(this, m_socket, push.first, push.second);
        CUpdateThread *thread = m_updateThread;
        connect(thread, &CUpdateThread::updateConnectFailed, this, &qtm::doUpdateFailed);
        connect(thread, &CUpdateThread::updateOK, this, &qtm::doUpdateOK);
        connect(thread, &CUpdateThread::updateStalled, this, [this, thread] { pushStalled(thread); });
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        adoptThread(thread);
        m_pushes.insert(thread, true);
        ++m_pushesRunning;
        thread->start(QThread::InheritPriority);
        if (!thread->isRunning() && !thread->isFinished()) {
            // Never started, so it never reports: a failure, counted once this call is over.
            const QString ip = push.second;
            m_pushes.remove(thread);
            --m_pushesRunning;
            delete thread;
            m_updateThread = nullptr;
            QMetaObject::invokeMethod(
                this, [this, ip] { doUpdateFailed(ip); }, Qt::QueuedConnection);
        }
    }
}

void qtm::pushStalled(QObject *push)
{
    const auto it = m_pushes.find(push);
    if (it == m_pushes.end() || !it.value())
        return;
    it.value() = false;
    --m_pushesRunning;
    startPushes();
}

void qtm::pushReported(QObject *push)
{
    const auto it = m_pushes.find(push);
    if (it != m_pushes.end()) {
        if (it.value())
            --m_pushesRunning;
        m_pushes.erase(it);
    }
    startPushes();
}

void qtm::doUpdateFailed(QString strIP)
{
    Q_UNUSED(strIP);
    ++m_updateFailed;
    showUpdateProgress();
    pushReported(sender());
}

void qtm::doUpdateOK(QString strIP)
{
    Q_UNUSED(strIP);
    ++m_updateOK;
    showUpdateProgress();
    pushReported(sender());
}

void qtm::showUpdateProgress()
{
    if (m_updateOK + m_updateFailed == m_updateTotal) {
        m_updateFrame.setDone(true);
        m_updateFrame.finish();
    }
    m_updateFrame.setText(
        QString::number(m_updateTotal) + QStringLiteral(" updated,sucessful ") + QString::number(m_updateOK));
}

// ---- Log views -----------------------------------------------------------------------------------

QStandardItemModel *qtm::createUpdateLogModel()
{
    auto *model = new QStandardItemModel(0, 6);
    QList<UpdateRecord> records;
    {
        CUpdateLog log;
        log.init();
        log.getRecords(records);
    }
    model->setHorizontalHeaderLabels({QStringLiteral("host"), QStringLiteral("type"), QStringLiteral("time"),
        QStringLiteral("oldVersion"), QStringLiteral("newVersion"), QStringLiteral("files")});
    // The record appended last stands first; all rows go in at once.
    model->setRowCount(records.size());
    int row = 0;
    for (auto it = records.crbegin(); it != records.crend(); ++it, ++row) {
        const UpdateRecord &r = *it;
        model->setItem(row, 0, new QStandardItem(r.value(QStringLiteral("ip"))));
        model->setItem(row, 1, new QStandardItem(r.value(QStringLiteral("type"))));
        model->setItem(row, 2, new QStandardItem(r.value(QStringLiteral("time"))));
        model->setItem(row, 3, new QStandardItem(r.value(QStringLiteral("oldVersion"))));
        model->setItem(row, 4, new QStandardItem(r.value(QStringLiteral("newVersion"))));
        // A line break, then one path per line. The store joins the paths with ";"; a text with a
        // ";" before every path gives the same cell.
        QString files = r.value(QStringLiteral("files"));
        if (!files.isEmpty() && !files.startsWith(QLatin1Char(';')))
            files.prepend(QLatin1Char(';'));
        model->setItem(row, 5, new QStandardItem(files.replace(QLatin1Char(';'), QLatin1Char('\n'))));
    }
    return model;
}

QStandardItemModel *qtm::createChangeLogModel()
{
    auto *model = new QStandardItemModel(0, 5);
    model->setHorizontalHeaderLabels({QStringLiteral("host"), QStringLiteral("time"), QStringLiteral("device"),
        QStringLiteral("type"), QStringLiteral("change content")});
    std::list<PCEntry> clients;
    {
        CSet set;
        set.openList();
        set.getPCList(clients);
    }
    // The rows stand in list.xml order of the clients, within a client the classes in descending
    // order of their names, within a class the newest record first: the list comes last-first, so
    // walk it backwards. The files are read by several threads; the rows are built here in order
    // and go into the model at once.
    QStringList uuids;
    QStringList hosts;
    for (auto it = clients.crbegin(); it != clients.crend(); ++it) {
        uuids.append(QString::fromStdString(it->at("UUID")));
        hosts.append(QString::fromStdString(it->at("name")) + QLatin1Char('(') + QString::fromStdString(it->at("ip"))
            + QLatin1Char(')'));
    }
    const QList<QMap<QString, QStringList>> logs = CChangeLogReader::readAll(uuids);
    int rows = 0;
    for (const auto &log : logs) {
        for (const QStringList &records : log)
            rows += records.size();
    }
    model->setRowCount(rows);
    int row = 0;
    for (int c = 0; c < logs.size(); ++c) {
        const QMap<QString, QStringList> &log = logs.at(c);
        for (auto cls = log.constEnd(); cls != log.constBegin();) {
            --cls;
            for (auto r = cls.value().crbegin(); r != cls.value().crend(); ++r, ++row) {
                const QStringList parts = r->split(QLatin1Char('^'));
                model->setItem(row, 0, new QStandardItem(hosts.at(c)));
                model->setItem(row, 1, new QStandardItem(parts.value(0)));
                model->setItem(row, 2, new QStandardItem(cls.key()));
                model->setItem(row, 3, new QStandardItem(parts.value(1)));
                model->setItem(row, 4, new QStandardItem(parts.value(2)));
            }
        }
    }
    return model;
}

void qtm::ChangeLogView()
{
    m_logTable.setModel(createChangeLogModel());
    m_logTable.show();
}

void qtm::UpdateLogView()
{
    m_logTable.setModel(createUpdateLogModel());
    m_logTable.show();
}

// ---- Folder editor -------------------------------------------------------------------------------

void qtm::FolderEdit()
{
    ListEditDlg dlg(nullptr);
    if (CDialogs::instance()->execDialog(dlg) == QDialog::Accepted)
        reloadTree();
}

// ---- Client list export --------------------------------------------------------------------------

void qtm::ExportHtml()
{
    CResourcePage::save(
        this, tr("Select export file "), tr("Html file (*.html *.htm )"), tr("Export"), [](QTextStream &out) {
            QStringList classes;
            {
                CGlobal table;
                table.init();
                for (const auto &entry : table.m_classMap)
                    classes << QString::fromLatin1(entry.first.c_str());
            }
            out << CResourcePage::head() << CResourcePage::headerRow(classes);
            std::list<PCEntry> clients;
            {
                CSet list;
                list.openList();
                list.getPCList(clients);
            }
            // One client at a time, each file read once for all classes, straight into the file: the
            // page of thousands of clients never has to fit in memory.
            for (const PCEntry &entry : clients) {
                const auto text = [&](const char *key) {
                    const auto it = entry.find(key);
                    return it == entry.end() ? QString() : QString::fromUtf8(it->second.c_str());
                };
                out << QStringLiteral("<tr>")
                    << CResourcePage::cell(text("name") + QLatin1Char('(') + text("ip") + QLatin1Char(')'));
                CPcConfig config(text("UUID"));
                config.open();
                for (const QString &cls : classes) {
                    QStringList rows;
                    config.getContents(cls, rows);
                    out << CResourcePage::rowsCell(rows);
                }
                out << QStringLiteral("</tr>");
            }
            out << CResourcePage::tail();
            return true;
        });
}

// ---- Report window -------------------------------------------------------------------------------

void qtm::Report()
{
    if (!m_report)
        m_report = new CReport(nullptr, {});
    m_report->retranslate();
    m_report->show();
}

// ---- About box -----------------------------------------------------------------------------------

int qtm::about()
{
    CAboutDlg dlg(nullptr);
    CDialogs::instance()->execDialog(dlg);
    return 0;
}
