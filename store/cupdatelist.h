#pragma once

#include <QDomDocument>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

// The published client update in uplist.xml: the files for Windows ("windows") and Linux ("linux")
// clients, the version and the publication time ("setdate"). The constructor loads the file once.
class CUpdateList : public QObject
{
public:
    CUpdateList();
    ~CUpdateList() override;

    int init();
    int getList(QStringList &windows, QStringList &linuxFiles, QString &version, QString &setdate);
    // Throws the text "Xml file format error" (a const char *) when uplist.xml has no "uplist" root;
    // -1 when the file could not be replaced.
    int setList(const QStringList &windows, const QStringList &linuxFiles, const QString &version);
    int save();
    QString getAppDir();

private:
    QString listPath();

    QDomDocument m_document;
    QFile m_file;
};
