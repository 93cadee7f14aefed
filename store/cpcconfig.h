#pragma once

#include <QDomDocument>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>

class CXmlTree;

// One client's inventory file "<UUID>.xml" in the application directory: per inventory class the
// rows the client has now (each with its digest) and the history of additions and removals.
//
// Construct with the UUID, open once, run one operation, destroy. Changes (createFromTemplate,
// applyChange) are made under the file's lock on a fresh read and replace the file atomically; a
// file that is not empty and does not parse is never replaced. The open reads nothing: the readers
// read the version the open found (the file's descriptor keeps it) at their first use, or after a
// change the file as the change left it.
class CPcConfig
{
public:
    explicit CPcConfig(const QString &uuid);
    ~CPcConfig();

    CPcConfig(const CPcConfig &) = delete;
    CPcConfig &operator=(const CPcConfig &) = delete;

    // 1 when the file is open (open creates a missing one), 0 otherwise; a UUID that cannot name a
    // file of the application directory gives 0 and touches nothing.
    int open();
    int openReadOnly();

    // Fills the file from configtempl.xml and an identity answer: 0, or -1 when nothing was written.
    // Rows that are empty once filtered make no content element.
    int createFromTemplate(const QString &answer);
    // The same fill for a file that is missing or empty (a fill that never happened or was cut
    // short): 0 when filled, 1 when the file holds something and was left alone, -1 when nothing
    // could be written.
    int fillIfEmpty(const QString &answer);

    // The client file of uuid, empty for a UUID that cannot name one.
    static QString pathOf(const QString &uuid);

    // Applies one change notice "<UUID>^<class>$<type>$<row>^...": -1 for an empty text, and when the
    // file could not be changed (then the sender keeps its records and sends them again); else 0.
    int applyChange(const QString &text);

    // Readers.
    int getSummary(QStringList &contents, QStringList &changes);
    int getContents(const QString &cls, QStringList &rows);
    int getChangeLog(QMap<QString, QStringList> &log);
    int getDigests(QMap<QString, QString> &digests);
    int getContent(const QString &cls, QString &row);

    static int getValue(const QString &row, const QString &key, QString &value);
    static int getDigest(const QString &row, const QString &cls, QString &digest);
    static QString getDir(const QString &path);

private:
    int openFile(QIODevice::OpenMode mode);
    int fill(const QString &answer, bool onlyIfEmpty);
    bool isBound() const;
    // The server's notice flag of this client in list.xml: "no".
    void setNoticeFlag();
    // Applies the items (from the second part of the split notice on) to the document.
    void applyItems(QDomDocument &doc, const QStringList &items);
    void applyItems(CXmlTree &tree, const QStringList &items);
    // The change under the file's lock: 0, or -1 when the file could not be changed. large tells
    // whether the file was large enough that the memory it took is worth giving back.
    int applyLocked(const QStringList &items, bool *large);
    // The document for the readers, read and parsed at its first use.
    const QDomDocument &document();

    QString m_filePath;
    QString m_appFilePath;
    QDomDocument m_document;
    QFile m_file;
    QString m_uuid;
    bool m_parsed = false;
    bool m_changed = false; // a change replaced the file since the open: readers read it anew
};
