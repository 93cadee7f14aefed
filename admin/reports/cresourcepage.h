#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QTextStream;
class QWidget;

// The resource list page "IT resource list" that the report window and the main window export, and
// the steps that save it. Every title and cell text is escaped ("&", "<", ">"): inventory texts come
// from the agents unauthenticated and must not become markup in the administrator's browser.
class CResourcePage
{
public:
    static QString escape(const QString &text);

    // Everything before the header row: the head with its style sheet, the heading and the table's
    // opening tag, all on one line.
    static QString head();
    // "pc name" and then one header cell per title.
    static QString headerRow(const QStringList &titles);
    // One cell per text, each as it is (line feeds stay line feeds).
    static QString bodyRow(const QStringList &cells);
    static QString cell(const QString &text);
    // A cell listing stored rows in full: each row's line feeds become "<br>", each row is followed
    // by a line feed.
    static QString rowsCell(const QStringList &rows);
    static QString tail();

    // Asks for the file (caption and filter translated by the writer), writes the page that compose
    // produces straight into it through a text stream in the locale's encoding, replacing the file
    // atomically, and asks whether to open it. A name without suffix gets ".html"; when that file
    // exists, the user is asked (box titled title) before it is replaced. A file that cannot be
    // written gets a warning titled title that names it; the file then stays as it was and nothing
    // is asked. compose returns false to give up (nothing is written then).
    static void save(QWidget *parent, const QString &caption, const QString &filter, const QString &title,
        const std::function<bool(QTextStream &)> &compose);
};
