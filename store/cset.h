#pragma once

#include <QDomDocument>
#include <QFile>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <list>
#include <map>
#include <string>

// One client of list.xml; the values are the texts of the file in UTF-8.
typedef std::map<std::string, std::string> PCEntry;
// One folder of list.xml: "name" and "value".
typedef QMap<QString, QString> FolderEntry;

// The client list over list.xml in the application directory: clients ("pc") and folders ("folder")
// under the root "pclist". Lists are handed out last-first.
//
// Every change is made under the file's lock on a fresh read of list.xml and replaces the file
// atomically; the object's document then becomes that new content. A list.xml that is not empty and
// does not parse is never written.
class CSet : public QObject
{
    Q_OBJECT
public:
    explicit CSet(QObject *parent);
    CSet();
    ~CSet() override;

    int openList();
    int findPC(const QString &uuid);
    int addPC(const QString &uuid, const QString &name, const QString &ip, const QString &version, const QString &os);
    int addPC(const QString &uuid, const QString &name, const QString &ip);
    // A client found by a scan, for addPCs.
    struct NewPC
    {
        QString uuid;
        QString name;
        QString ip;
        QString version;
        QString os;
    };
    // Adds, in one locked write of list.xml, each of the clients that is not listed yet (as findPC
    // sees it; a UUID given twice is added once, one the store refuses is left out), each as the long
    // form of addPC writes it. added receives the UUIDs this call listed. The number added, or -1 when
    // list.xml could not be changed (then nothing was added).
    int addPCs(const QList<NewPC> &clients, QStringList *added = nullptr);
    int removePC(const QString &uuid);
    int setPCFolder(const QString &uuid, const QString &folder);
    int setNotice(const QString &uuid, bool flag);
    int addFolder(const QString &name, const QString &value);
    int deleteFolder(const QString &value);
    int getPCList(std::list<PCEntry> &list);
    int getFolders(QList<FolderEntry> &list);
    int getFolderList(std::list<std::map<std::string, std::string>> &list);
    QString getAppDir();

    int writeTestFile(const QString &text);
    int createPCFile(const QString &uuid, const QString &answer);

private:
    QString listPath() const;
    // Both forms of addPC; a null version or os is not written.
    int appendPC(
        const QString &uuid, const QString &name, const QString &ip, const QString *version, const QString *os);
    // The document as openList read it, parsed at its first use.
    const QDomDocument &document();
    // Locked re-read, change, atomic write, through the pugixml tree when it holds the list, else
    // through the DOM. A change returns the operation's result; a root test failure returns -1
    // before it runs and writes nothing.
    template<class DomChange, class TreeChange> int modify(bool rootTest, DomChange domChange, TreeChange treeChange);
    // After a write: the object's document becomes the bytes written, parsed when first needed.
    void remember(const QByteArray &written);

    QDomDocument m_document;
    QFile m_file;
    QByteArray m_raw; // the bytes m_document is (or will be) parsed from
    bool m_parsed = true;
};
