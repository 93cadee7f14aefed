#include "cresourcepage.h"

#include "cdialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>
#include <QUrl>

QString CResourcePage::escape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('&'))
            out += QLatin1String("&amp;");
        else if (c == QLatin1Char('<'))
            out += QLatin1String("&lt;");
        else if (c == QLatin1Char('>'))
            out += QLatin1String("&gt;");
        else
            out += c;
    }
    return out;
}

QString CResourcePage::head()
{
    const QString font = QString::fromUtf8("\u5B8B\u4F53");
    return QStringLiteral("<html>") + QStringLiteral("<head>") + QStringLiteral("<title>IT resource list</title>")
        + QStringLiteral("<style type=\"text/css\" media=\"screen\">") + QStringLiteral("table {")
        + QStringLiteral("border-collapse:collapse; ") + QStringLiteral("border:solid #999;")
        + QStringLiteral("border-width:1px 0 0 1px; ") + QStringLiteral("}")
        + QStringLiteral("table caption {font-size:14px;font-weight:bolder;}")
        + QStringLiteral("table th,table td {border:solid #999;border-width:0 1px 1px 0;padding:2px;}")
        + QStringLiteral("tfoot td {text-align:center;}") + QStringLiteral(".tableColor{font-family:Tahoma,") + font
        + QStringLiteral(";font-size:12px;border:1px solid #5070A9;background-color:#FFFFFF}")
        + QStringLiteral(".tableHeader{font-family:Tahoma,") + font
        + QStringLiteral(";font-size:12px;font-weight:bold;color:#ffffff;background-color:#8FA8D0;text-align:center}")
        + QStringLiteral("</style>") + QStringLiteral("</head>") + QStringLiteral("<body>")
        + QStringLiteral("<p align=\"center\">IT resource list</p>")
        + QStringLiteral("<table align=\"center\" class=\"tableColor\" >");
}

QString CResourcePage::headerRow(const QStringList &titles)
{
    QString row = QStringLiteral("<tr><td class=\"tableHeader\">pc name</td>");
    for (const QString &t : titles)
        row += QStringLiteral("<td class=\"tableHeader\">") + escape(t) + QStringLiteral("</td>");
    return row + QStringLiteral("</tr>");
}

QString CResourcePage::bodyRow(const QStringList &cells)
{
    QString row = QStringLiteral("<tr>");
    for (const QString &c : cells)
        row += cell(c);
    return row + QStringLiteral("</tr>");
}

QString CResourcePage::cell(const QString &text)
{
    return QStringLiteral("<td>") + escape(text) + QStringLiteral("</td>");
}

QString CResourcePage::rowsCell(const QStringList &rows)
{
    QString cell = QStringLiteral("<td>");
    for (const QString &r : rows)
        cell += escape(r).replace(QLatin1Char('\n'), QLatin1String("<br>")) + QLatin1Char('\n');
    return cell + QStringLiteral("</td>");
}

QString CResourcePage::tail()
{
    return QStringLiteral("</table></body></html>");
}

void CResourcePage::save(QWidget *parent, const QString &caption, const QString &filter, const QString &title,
    const std::function<bool(QTextStream &)> &compose)
{
    QString name = CDialogs::instance()->getSaveFileName(parent, caption, QString(), filter);
    if (name.isEmpty())
        return;
    // The dialog asked before replacing the name it returned, not the one the suffix makes.
    bool askReplace = false;
    if (QFileInfo(name).suffix().isEmpty()) {
        name += QStringLiteral(".html");
        askReplace = QFileInfo::exists(name);
    }
    const auto fail = [&](const QString &reason) {
        CDialogs::warning(parent, title,
            QCoreApplication::translate("CResourcePage", "The file \"%1\" cannot be written: %2")
                .arg(QDir::toNativeSeparators(name), reason));
    };
    // The page replaces the file by rename, which would also replace a write-protected file: honour
    // the protection (also for a privileged user).
    const QFileInfo target(name);
    const QFile::Permissions writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (target.exists() && (!target.isWritable() || !(target.permissions() & writeBits))) {
        fail(QCoreApplication::translate("CResourcePage", "it is write-protected"));
        return;
    }
    // Only a plain file is replaced: never a directory, a device or a pipe.
    if (target.exists() && !target.isFile()) {
        fail(QCoreApplication::translate("CResourcePage", "it is not a plain file"));
        return;
    }
    if (askReplace
        && CDialogs::question(parent, title,
               QCoreApplication::translate(
                   "CResourcePage", "The file \"%1\" already exists.\nDo you want to replace it?")
                   .arg(QDir::toNativeSeparators(name)),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    QSaveFile file(name);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        fail(file.errorString());
        return;
    }
    QTextStream stream(&file);
    stream.setEncoding(QStringConverter::System);
    if (!compose(stream)) {
        file.cancelWriting();
        return;
    }
    stream.flush();
    // A write error that only shows when the file's buffer is flushed inside commit() would be lost
    // there: flush first, so a full disk is reported and the old file stays.
    if (stream.status() != QTextStream::Ok || file.error() != QFileDevice::NoError || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        fail(reason);
        return;
    }
    if (!file.commit()) {
        fail(file.errorString());
        return;
    }
    if (CDialogs::question(
            nullptr, QString(), QStringLiteral("Do you want open the file?"), QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(name).absoluteFilePath()));
}
