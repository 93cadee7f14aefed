#pragma once

#include "cshortframereader.h"

#include <QDomDocument>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

// Sends the client's unacknowledged change records to the server, once per service start:
//
//   CChangeNotice *notice = new CChangeNotice;
//   notice->init();          // throws "Open set.xml error in CChangeNotice::init" or
//                            //        "Xml file format error in CChangeNotice::init" (const char *)
//   notice->noticeChange();  // throws "Xml file format error,no set node found in CChangeNotice::noticeChange"
//
// noticeChange collects every record whose notice is "no" and, when there is one, connects to the
// server address of set.xml on the server port; the "changelog:" message goes out once connected, and
// "setChange:ok" marks the collected records notice="yes". There is no retry: unacknowledged records
// go out again at the next service start.
class CChangeNotice : public QObject
{
    Q_OBJECT

public:
    CChangeNotice();
    explicit CChangeNotice(QObject *parent);
    ~CChangeNotice() override;

    int init();
    int noticeChange();

private slots:
    void readResult();
    void sendContent();

private:
    static void markRecords(QDomDocument &doc, const QStringList &pending);

    QFile m_file;
    QDomDocument m_doc;
    QStringList m_pending;
    QTcpSocket m_socket;
    QString m_items;
    CShortFrameReader m_reader;
};
