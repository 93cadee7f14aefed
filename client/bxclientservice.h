#pragma once

#include "qtservice.h"

#include <QApplication>

class CChangeNotice;
class CUpdate;
class FortuneServer;

// The client agent's service object. Its start hook runs the work of a service start once: the
// update check, the inventory with change detection, the change notice and the command listener;
// everything after it is driven by the event loop. Pause and continue change nothing: the listener
// goes on answering.
class BXClientService : public QtService<QApplication>
{
public:
    BXClientService(int argc, char **argv, const QString &name);
    ~BXClientService() override;

protected:
    void start() override;
    void pause() override;
    void resume() override;
    // The GUI application object, then COM as an apartment in the main thread, which creates and
    // calls Inquix's Device.
    void createApplication(int &argc, char **argv) override;

private:
    FortuneServer *m_server = nullptr;
    CChangeNotice *m_notice = nullptr;
    CUpdate *m_update = nullptr;
};
