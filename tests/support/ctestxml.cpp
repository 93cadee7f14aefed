#include "ctestxml.h"

#include "ctestenvironment.h"

#include <QDomElement>
#include <QFile>
#include <QXmlStreamReader>

QDomDocument CTestXml::load(const QString &path)
{
    QDomDocument doc;
    doc.setContent(CTestEnvironment::readFile(path));
    return doc;
}

QString CTestXml::noticeOf(const QString &listPath, const QString &uuid)
{
    const QDomDocument doc = load(listPath);
    for (QDomElement pc = doc.documentElement().firstChildElement(QStringLiteral("pc")); !pc.isNull();
         pc = pc.nextSiblingElement(QStringLiteral("pc")))
        if (pc.attribute(QStringLiteral("UUID")) == uuid)
            return pc.attribute(QStringLiteral("notice"));
    return QStringLiteral("<none>");
}

QMap<QString, int> CTestXml::storedRows(const QString &path)
{
    QMap<QString, int> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    // The content elements of the root's first Software element.
    QXmlStreamReader xml(&file);
    int depth = 0;
    bool inSoftware = false;
    bool softwareSeen = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 2) {
                inSoftware = !softwareSeen && xml.name() == QLatin1String("Software");
                softwareSeen = softwareSeen || inSoftware;
            } else if (depth == 3 && inSoftware && xml.name() == QLatin1String("content")) {
                ++rows[xml.readElementText()];
                --depth;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    if (xml.hasError())
        rows.clear();
    return rows;
}
