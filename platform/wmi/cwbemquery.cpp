#include "cwbemquery.h"

#include <QRegularExpression>

QString CWbemQuery::className(const QString &query)
{
    static const QRegularExpression form(QStringLiteral("^\\s*select\\s*\\*\\s*from\\s+([A-Za-z_][A-Za-z0-9_]*)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(query);
    if (!match.hasMatch())
        return QString();
    return match.captured(1);
}
