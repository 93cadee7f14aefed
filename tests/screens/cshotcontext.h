#pragma once

#include <QList>
#include <QString>

#include <functional>

class QWidget;

// One run of the screenshot program in one language. Shots build their windows on the data in the
// application directory (the fixture, or a copy of live data) and save them through save().
class CShotContext
{
public:
    typedef std::function<void(CShotContext &)> Shot;

    CShotContext(const QString &outDir, const QString &lang, bool liveData);

    QString lang() const { return m_lang; }
    // True when the data are a copy of a real installation's files: shots must not add fixture data.
    bool liveData() const { return m_liveData; }

    // Lays the window out, shows it offscreen, and writes <outdir>/<lang>/<name>.png; false on failure.
    bool save(QWidget *window, const QString &name);
    int saved() const { return m_saved; }
    int failed() const { return m_failed; }

    // Registration of a shot function, in the order of registration; used by BRAMIX_SCREENS.
    static int add(const char *area, Shot shot);
    struct Entry
    {
        QString area;
        Shot shot;
    };
    static QList<Entry> &entries();

private:
    QString m_outDir;
    QString m_lang;
    bool m_liveData;
    int m_saved = 0;
    int m_failed = 0;
};

// In a shots_<area>.cpp:  BRAMIX_SCREENS(area) { ... ctx.save(&window, "name"); }
#define BRAMIX_SCREENS(area)                                                                                           \
    static void bramixShots_##area(CShotContext &ctx);                                                                 \
    static const int bramixShotsRegistered_##area = CShotContext::add(#area, bramixShots_##area);                      \
    static void bramixShots_##area(CShotContext &ctx)
