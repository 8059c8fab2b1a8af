#include "cli/cli_commands.h"

#include "network/bridge.h"
#include "replay/replay_driver.h"

#include <QEventLoop>
#include <QTimer>

int CliServe::run()
{
    Bridge bridge(m_context.driver(), m_context.options().bridge, m_context.errorStream());
    if (!bridge.start())
        return m_context.finish(kExitNoBoard);
    // Served until a signal: the boards are then published offline and closed, and the run ends well.
    QEventLoop loop;
    m_context.onStop = [&loop] {
        loop.quit();
    };
    // A broker that will never let the bridge in ends the serving: retrying in silence would look like success.
    bool refused = false;
    QObject::connect(&bridge, &Bridge::refusedForGood, &loop, [&loop, &refused] {
        refused = true;
        loop.quit();
    });
    // A replay is served to the end of its span.
    QTimer ended;
    if (ReplayDriver *replay = m_context.replay()) {
        QObject::connect(&ended, &QTimer::timeout, &loop, [replay, &loop] {
            if (replay->isFinished())
                loop.quit();
        });
        ended.start(200);
    }
    if (!m_context.stopRequested())
        loop.exec();
    m_context.onStop = nullptr;
    bridge.stop();
    return m_context.finish(refused ? kExitBrokerRefused : kExitOk);
}
