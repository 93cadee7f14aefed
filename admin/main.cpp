#include "qtm.h"

#include <QApplication>
#include <QSettings>
#include <QTranslator>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Orvelle"));
    app.setApplicationName(QStringLiteral("Bramix"));

    const QString lang = QSettings().value(QStringLiteral("Lang"), QStringLiteral("EN")).toString();
    // Looked up relative to the working directory; a missing file leaves the English texts.
    QTranslator translator;
    (void)translator.load(QStringLiteral("BramixAdmin_") + lang);
    app.installTranslator(&translator);

    qtm window(nullptr, {});
    window.m_translator = &translator;
    window.init();
    window.show();

    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    return app.exec();
}
