// The console's windows as pictures, in every language, for a person to look at.
//
//   bramix-screens <outdir> [--from <dir>]
//
// Runs from a copy of itself in a temporary directory, which is the console's application and working
// directory there: the fixture data (or a copy of list.xml and the client files of <dir>) and the
// compiled translations are put there, so nothing outside it is read or written but <outdir>.

#include "cshotcontext.h"
#include "cstoretestrun.h"
#include "ctestenvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTextStream>
#include <QTranslator>

namespace {

bool copyLiveData(const QString &from)
{
    const QDir src(from);
    if (!src.exists())
        return false;
    const QStringList files = src.entryList(QStringList() << QStringLiteral("*.xml"), QDir::Files);
    for (const QString &name : files) {
        QFile::remove(CStoreTestRun::path(name));
        if (!QFile::copy(src.filePath(name), CStoreTestRun::path(name)))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (!CStoreTestRun::isRelocated())
        return CStoreTestRun::relocate(argc, argv, QStringList());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString settingsDir = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath()
        + QStringLiteral("/settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir);
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Orvelle"));
    app.setApplicationName(QStringLiteral("Bramix"));
    QDir::setCurrent(CStoreTestRun::appDir());

    const QStringList args = app.arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: bramix-screens <outdir> [--from <dir>]\n";
        return 2;
    }
    const QString outDir = QDir(args.at(1)).absolutePath();
    bool live = false;
    const int from = args.indexOf(QStringLiteral("--from"));
    if (from > 0) {
        if (from + 1 >= args.size() || !copyLiveData(args.at(from + 1))) {
            QTextStream(stderr) << "bramix-screens: cannot copy the data files of the given directory\n";
            return 2;
        }
        live = true;
    }
    const QStringList languages {QStringLiteral("EN"), QStringLiteral("CN"), QStringLiteral("JP")};
    QString qmDir = qEnvironmentVariable("BRAMIX_QM_DIR");
    if (qmDir.isEmpty())
        qmDir = CTestEnvironment::stageDir();
    for (const QString &code : languages) {
        const QString name = QStringLiteral("BramixAdmin_") + code + QStringLiteral(".qm");
        QFile::copy(qmDir + QLatin1Char('/') + name, CStoreTestRun::path(name));
    }

    int saved = 0, failed = 0;
    for (const QString &code : languages) {
        QSettings().setValue(QStringLiteral("Lang"), code);
        QTranslator translator;
        if (!translator.load(QStringLiteral("BramixAdmin_") + code))
            QTextStream(stderr) << "bramix-screens: no translation BramixAdmin_" << code << "\n";
        app.installTranslator(&translator);
        CShotContext ctx(outDir, code, live);
        for (const CShotContext::Entry &entry : CShotContext::entries())
            entry.shot(ctx);
        app.removeTranslator(&translator);
        saved += ctx.saved();
        failed += ctx.failed();
    }
    QTextStream(stdout) << saved << " screenshots in " << outDir << "\n";
    return failed == 0 && saved > 0 ? 0 : 1;
}
