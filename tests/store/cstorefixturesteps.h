#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Scripted changes to the store's files whose results are kept as fixture files: the generator
// (store_fixturegen) ran them once and saved every file after every step, and the test replays each
// step on the saved file before it and compares the bytes it writes with the saved file after it.
class CStoreFixtureSteps
{
public:
    struct Step
    {
        QString what; // a short description, for the test's row names
        std::function<void()> run;
    };
    struct Case
    {
        QString name; // fixture folder
        QString file; // the file the steps change: "list.xml" or the client file
        QByteArray templ; // configtempl.xml for the case (client file cases)
        QByteArray start; // the file before the first step
        QList<Step> steps;
    };

    static QList<Case> cases();
    static QString clientFile();
    // Time stamps written by a step, replaced by one text so that files of different runs compare.
    static QByteArray withoutTimes(const QByteArray &data);
    // Installs a case's start: its template and its file (an empty start leaves the file missing).
    static bool install(const Case &c);
};
