#include "ctestxml.h"

#include "ctestenvironment.h"

#include <QDomElement>

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
