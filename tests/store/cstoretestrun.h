#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QString>
#include <QStringList>

// The store keeps its files in the directory of the running program. A store test therefore runs
// from a copy of itself (and of the helper programs it starts) in a temporary directory of its own,
// so no two test programs share a file and nothing lands in the build tree.
class CStoreTestRun
{
public:
    static bool isRelocated();
    // Copies this program and the companions (found beside it) into a fresh temporary directory,
    // runs the copy with the same arguments and returns its exit code.
    static int relocate(int argc, char **argv, const QStringList &companions);

    // The application directory of the relocated program, and files in it.
    static QString appDir();
    static QString path(const QString &name);
    static QByteArray read(const QString &name);
    static bool write(const QString &name, const QByteArray &data);
    // Removes every store file (and lock) from the application directory.
    static void clear();
    // Copies a shipped data file (configtempl.xml, list.xml, ...) into the application directory.
    static bool installShipped(const QString &name);
    // True when the file parses as XML; doc (if given) receives it.
    static bool parses(const QString &name, QDomDocument *doc = nullptr);
    // Identity of a file's current version: a replaced file gets a new inode.
    static quint64 inode(const QString &name);
};

#define BRAMIX_STORE_TEST_MAIN(TestObject, ...)                                                                        \
    int main(int argc, char **argv)                                                                                    \
    {                                                                                                                  \
        if (!CStoreTestRun::isRelocated())                                                                             \
            return CStoreTestRun::relocate(argc, argv, QStringList {__VA_ARGS__});                                     \
        QCoreApplication app(argc, argv);                                                                              \
        TestObject tc;                                                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
