#include "cshotcontext.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTextStream>
#include <QWidget>

CShotContext::CShotContext(const QString &outDir, const QString &lang, bool liveData)
    : m_outDir(outDir)
    , m_lang(lang)
    , m_liveData(liveData)
{ }

bool CShotContext::save(QWidget *window, const QString &name)
{
    window->show();
    // Let layouts, deferred resizes and the language-change events settle.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 150)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const QString dir = m_outDir + QLatin1Char('/') + m_lang;
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool ok = window->grab().save(path, "PNG");
    if (ok)
        ++m_saved;
    else
        ++m_failed;
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << "\n";
    return ok;
}

int CShotContext::add(const char *area, Shot shot)
{
    entries().append(Entry {QString::fromLatin1(area), shot});
    return entries().size();
}

QList<CShotContext::Entry> &CShotContext::entries()
{
    static QList<Entry> list;
    return list;
}
