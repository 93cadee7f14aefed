#include "cinquixbench.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return CInquixBench().run(app.arguments().mid(1));
}
