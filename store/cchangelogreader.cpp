#include "cchangelogreader.h"

#include "cstorepath.h"
#include "cxmlfile.h"

#include <QAtomicInt>
#include <QThread>
#include <QXmlStreamReader>

#include <algorithm>
#include <memory>
#include <vector>

void CChangeLogReader::read(const QString &uuid, QMap<QString, QStringList> &log)
{
    if (!CStorePath::isSafeUuid(uuid))
        return;
    QByteArray raw;
    if (CXmlFile::read(CStorePath::appDir() + QLatin1Char('/') + uuid + QStringLiteral(".xml"), raw)
        != CXmlFile::Parsed)
        return;
    parse(raw, log);
}

void CChangeLogReader::parse(const QByteArray &raw, QMap<QString, QStringList> &log)
{
    // Depth 1 is the root, 2 a class, 3 the class's children, 4 a changelog's children. As in the
    // document reader, a class's records start at the first "record" of its first "changelog" and
    // take every element after it on that level.
    QMap<QString, QStringList> out;
    QXmlStreamReader reader(raw);
    int depth = 0;
    QString cls;
    QStringList entries;
    bool seenLog = false; // the class's first changelog was met
    bool inLog = false; // inside that changelog, on its level
    bool inRecords = false; // its first record was met
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 2) {
                cls = reader.qualifiedName().toString();
                entries.clear();
                seenLog = inLog = inRecords = false;
            } else if (depth == 3 && !seenLog && reader.qualifiedName() == QLatin1String("changelog")) {
                seenLog = inLog = true;
            } else if (depth == 4 && inLog) {
                if (!inRecords && reader.qualifiedName() == QLatin1String("record"))
                    inRecords = true;
                if (inRecords) {
                    const QXmlStreamAttributes a = reader.attributes();
                    QString entry = a.value(QLatin1String("time")).toString();
                    entry += QLatin1Char('^');
                    entry += a.value(QLatin1String("type"));
                    entry += QLatin1Char('^');
                    entry += a.value(QLatin1String("digest"));
                    entries.append(entry);
                }
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == 3)
                inLog = false;
            else if (depth == 2)
                out[cls] = entries;
            --depth;
        }
    }
    if (reader.hasError())
        return; // a file that does not parse holds no records
    for (auto it = out.constBegin(); it != out.constEnd(); ++it)
        log[it.key()] = it.value();
}

QList<QMap<QString, QStringList>> CChangeLogReader::readAll(const QStringList &uuids)
{
    QList<QMap<QString, QStringList>> logs(uuids.size());
    QMap<QString, QStringList> *out = logs.data(); // detached once, before the threads start
    QAtomicInt next;
    auto work = [&]() {
        for (int i = next.fetchAndAddRelaxed(1); i < uuids.size(); i = next.fetchAndAddRelaxed(1))
            read(uuids.at(i), out[i]);
    };
    // Each thread takes the next client; the slots of logs are fixed beforehand, so the threads never
    // touch the same entry and the order stays that of uuids.
    const int count = std::min<int>(std::max(1, QThread::idealThreadCount()), uuids.size() / 8 + 1);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 1; t < count; ++t) {
        threads.emplace_back(QThread::create(work));
        threads.back()->start();
    }
    work();
    for (auto &thread : threads)
        thread->wait();
    return logs;
}
