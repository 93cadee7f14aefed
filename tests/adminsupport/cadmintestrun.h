#pragma once

#include "cstoretestrun.h"

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QtTest>

class CTestDialogs;
class QListWidget;

// The console's test programs run from a copy of themselves in a temporary directory (the console's
// application directory), with that directory as working directory (where the translations are
// looked up) and a settings store of their own inside it.
class CAdminTestRun
{
public:
    // Before the application object: the settings store and the platform.
    static void prepare();
    // After it: organisation and application names, working directory.
    static void setUp(QApplication &app);

    // The stand-in dialogs every console test runs with.
    static CTestDialogs &dialogs();

    // The settings file of this run, and the "Lang" value stored (null when absent).
    static QString settingsDir();
    static QVariant storedLang();
    static void clearSettings();

    // Copies the compiled translation of the code (EN, CN, JP) from the build into the working
    // directory; removes it again.
    static bool installTranslation(const QString &code);
    static void removeTranslation(const QString &code);

    // The texts of a list's rows, in order.
    static QStringList rowTexts(const QListWidget *list);

    // The UUIDs of the clients in list.xml, sorted.
    static QStringList listedUuids();
};

#define BRAMIX_ADMIN_TEST_MAIN(TestObject)                                                                             \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        if (!CStoreTestRun::isRelocated())                                                                             \
            return CStoreTestRun::relocate(argc, argv, QStringList());                                                 \
        CAdminTestRun::prepare();                                                                                      \
        QApplication app(argc, argv);                                                                                  \
        CAdminTestRun::setUp(app);                                                                                     \
        TestObject tc;                                                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
