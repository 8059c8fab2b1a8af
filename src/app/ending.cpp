#include "app/ending.h"

#include "app/form_main.h"
#include "session/stop_signals.h"

#include <QGuiApplication>
#include <QSessionManager>

void endWithoutQuestionsWhenAsked(formMain &window, const StopSignals &stop)
{
    QObject::connect(&stop, &StopSignals::stopRequested, &window, &formMain::endWithoutQuestions);
    // Windows asks every top-level window with WM_QUERYENDSESSION before a log-off or shut-down; Qt turns it into
    // this request, which must be answered before the message returns.
    QObject::connect(
        qGuiApp, &QGuiApplication::commitDataRequest, &window,
        [&window](QSessionManager &) { window.endWithoutQuestions(); }, Qt::DirectConnection);
}
