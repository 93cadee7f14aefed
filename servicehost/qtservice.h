#pragma once

#include "qtservicebase.h"

// Binds the service hooks to one application class (QCoreApplication, QApplication, ...). The
// application object is made by createApplication and deleted by the service host's run, never here.
template<typename Application> class QtService : public QtServiceBase
{
public:
    QtService(int argc, char **argv, const QString &name)
        : QtServiceBase(argc, argv, name)
        , app(nullptr)
    { }
    ~QtService() override { }

protected:
    Application *application() const { return app; }

    void createApplication(int &argc, char **argv) override { app = new Application(argc, argv); }

    int executeApplication() override { return Application::exec(); }

private:
    Application *app;
};
