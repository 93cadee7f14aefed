#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

// One update record: "ip", "time", "type", "oldVersion", "newVersion" and "files" (paths joined
// by ";").
typedef QMap<QString, QString> UpdateRecord;

// The update log updateLog.xml: one "record" per started client update, in the order added.
//
// addRecord changes the document in memory only; save appends the records added since init to a
// fresh read of the file under its lock, so records that another object saved meanwhile stay.
class CUpdateLog : public QObject
{
public:
    CUpdateLog();
    ~CUpdateLog() override;

    int init();
    void addRecord(const QString &ip, const QString &oldVersion, const QString &newVersion, const QStringList &files,
        const QString &type);
    // 0, or -1 when the records could not be written (the file is then left as it was).
    int save();
    void getRecords(QList<UpdateRecord> &records);
    QString getAppDir();

private:
    QString logPath();

    QDomDocument m_document;
    QFile m_file;
    QList<QDomElement> m_pending;
};
