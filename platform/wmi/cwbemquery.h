#pragma once

#include <QString>

// The one query form the stand-in answers: "select * from <class>", keywords in any letter case,
// any whitespace between the parts.
class CWbemQuery
{
public:
    // The class name of a query of that form, or a null QString for any other text.
    static QString className(const QString &query);
};
