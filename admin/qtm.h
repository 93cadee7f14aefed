#pragma once

#include "clogtable.h"
#include "frame.h"
#include "ui_qtm.h"
#include "updateprocessframe.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

class CReport;
class CUpdateThread;
class QContextMenuEvent;
class QListWidget;
class QStandardItemModel;
class QTcpSocket;
class QThread;
class QTranslator;
class QTreeWidgetItem;

// The console's main window: the client tree, the Details dock and the actions that reach every other
// window of the console.
class qtm : public QMainWindow
{
    Q_OBJECT

public:
    explicit qtm(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~qtm() override;

    int init();

    // The console's worker threads belong to the window: adopted threads are asked to stop and are
    // waited for before the window deletes anything.
    void adoptThread(QThread *thread);

    QTranslator *m_translator = nullptr;
    Ui_qtmClass ui;
    QTcpSocket *m_socket = nullptr;
    CUpdateThread *m_updateThread = nullptr;
    QListWidget *m_details = nullptr;
    CReport *m_report = nullptr;
    int m_scanStarted = 0;
    int m_scanFinished = 0;
    int m_found = 0;
    int m_updateTotal = 0;
    int m_updateOK = 0;
    int m_updateFailed = 0;
    Frame m_scanFrame;
    CLogTable m_logTable;
    UpdateProcessFrame m_updateFrame;

public slots:
    int addPC(QString strName, QString strUUID, QString flag);
    void DoScanFailed();
    void doUpdateFailed(QString strIP);
    void doUpdateOK(QString strIP);
    QStandardItemModel *createUpdateLogModel();
    QStandardItemModel *createChangeLogModel();

private slots:
    void SearchNet();
    void reloadTree();
    void CPT_Clicked(QTreeWidgetItem *item, int column);
    void Report();
    void ExportHtml();
    int Swaplet();
    int selectCN();
    int selectJP();
    int selectEN();
    int about();
    void ChangeLogView();
    void UpdateLogView();
    void FolderEdit();
    void deletePC();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void deleteTreeItem(QTreeWidgetItem *item);
    // The client item's platform picture and its thirteen inventory class children.
    static QIcon platformIcon(const QString &os);
    static void addClassItems(QTreeWidgetItem *client);
    void showScanProgress();
    void showUpdateProgress();
    // Network scan and forced pushes: one probe thread per host; pushes at most MaxPushes at once.
    void startProbe(const QString &ip, const QString &localIp);
    void startPushes();
    void pushStalled(QObject *push);
    void pushReported(QObject *push);
    static constexpr int MaxPushes = 64;
    // A push whose client takes nothing gives its place to the next one until its deadline ends it;
    // the threads of such pushes are capped too (each holds a socket, a file and a thread).
    static constexpr int MaxPushThreads = 4 * MaxPushes;
    QList<QPair<QStringList, QString>> m_pendingPushes; // files, address
    QHash<QObject *, bool> m_pushes; // running push threads: true while one counts against MaxPushes
    int m_pushesRunning = 0;
    int selectLanguage(const QString &code);
    void stopThreads();

    QList<QPointer<QThread>> m_threads;
};
