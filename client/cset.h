#pragma once

#include <QDomDocument>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

// The client agent's settings and inventory file, set.xml in the application directory: server
// address, version, identity (UUID, computer name and address of the first run) and, per inventory
// class, the stored rows ("content") with their change records ("changelog"/"record").
//
//   CSet set;
//   set.init();             // throws "Open set.xml error in CSet::init" or
//                           //        "Xml file format error in CSet::init" (const char *)
//   set.checkVersion();     // then setUUID_config() and checkChange() at a service start
//   QString server = set.getServer();
//
// init() reads the whole file and keeps only the document; every change is saved at once by the
// operation that makes it, as an atomic replace of the file, in the encoding its XML declaration names.
// One object per task; nothing merges with what another object saved meanwhile.
class CSet : public QObject
{
    Q_OBJECT

public:
    CSet();
    explicit CSet(QObject *parent);
    ~CSet() override;

    int init();
    int save();
    void checkVersion();
    QString getUUID();
    QString getServer();
    // Stores the address without the characters XML cannot hold; -1 (nothing written) on another
    // root, or when the address held nothing else.
    int setServer(const QString &address);
    int getContents(QString classKey, QStringList &rows);
    QString getDir(const QString &path);

    // First run: while "UUID" is missing or empty, makes the identity and stores every live row.
    // Throws "Xml file format error,no set node found in CSet::setUUID_config" on another root.
    int setUUID_config();
    // Compares live and stored rows of every class; records and saves additions and removals.
    int checkChange();

    // How every reader of set.xml reads it (the change notice sender too): the whole file as bytes,
    // never in text mode, which would drop every 0x0D byte of a UTF-16 file. No handle is kept open.
    enum ReadResult { Read, OpenFailed, ParseFailed };
    static ReadResult readDocument(QFile &file, QDomDocument &doc, QIODevice::OpenMode mode = QIODevice::ReadWrite);

    // How every writer of set.xml writes a whole document (the change notice sender too): atomic
    // replace, indentation 2, the encoding the declaration names. False when the file was not replaced.
    static bool writeDocument(const QString &path, QDomDocument &doc);

private:
    bool hasSetRoot() const;
    QDomElement newTextElement(const QString &tag, const QString &text);
    QDomElement newRecord(const QString &row, const QString &type, const QString &time);
    static QDomElement changelogOf(QDomElement classElement, QDomDocument &doc);

    QFile m_file;
    QDomDocument m_doc;
};
