#pragma once

#include <QString>
#include <QStringList>

class QObject;

// The hand-over to the update installer: Swaplet, in the agent's application directory, started on
// the received update file. It is started detached, in a session of its own, so that it outlives the
// agent and the agent's service process, whose end it waits for before it replaces the client.
class CSwaplet
{
public:
    // Starts "<dir>/Swaplet" with arguments, working directory dir. The process object belongs to
    // parent. False when the program could not be started (nothing reports it).
    static bool start(QObject *parent, const QString &dir, const QStringList &arguments);
};
