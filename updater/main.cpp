#include "myapp.h"

#include <QFile>

int main(int argc, char **argv)
{
    MyApp app(argc, argv);
    QString para;
    if (argc > 1)
        para = QFile::decodeName(argv[1]);
    app.setArguments(argc, para);
    app.startTimer(MyApp::tickInterval());
    return app.exec();
}
