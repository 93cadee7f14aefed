// A stand-in client service for Swaplet's tests: as the service "Bramix Client Service" it records
// each start (the size of its own program file tells which version runs) beside its program.
#include "qtservice.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

class StubClientService : public QtService<QCoreApplication>
{
public:
    StubClientService(int argc, char **argv)
        : QtService<QCoreApplication>(argc, argv, QStringLiteral("Bramix Client Service"))
    { }

protected:
    void start() override
    {
        const QString program = QCoreApplication::applicationFilePath();
        QFile runs(QFileInfo(program).absolutePath() + QStringLiteral("/client-runs.txt"));
        if (runs.open(QIODevice::WriteOnly | QIODevice::Append))
            runs.write("service|" + QByteArray::number(QFileInfo(program).size()) + "\n");
    }
};

int main(int argc, char **argv)
{
    StubClientService service(argc, argv);
    service.setServiceDescription(QStringLiteral("Bramix Client Service"));
    return service.exec();
}
