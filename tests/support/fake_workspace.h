#pragma once

#include "host/board_host.h"
#include "recording_driver.h"
#include "scripted_dialogs.h"
#include "state/app_state.h"
#include "windows/child_window.h"
#include "windows/workspace.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QStringList>

#include <memory>

// A workspace without a main window, for window tests: a board host on the recording driver (or another driver),
// scripted dialogs, the program's record, and what the window asked of the frame (views shown and closed, log lines,
// the status text).
class FakeWorkspace : public Workspace
{
public:
    explicit FakeWorkspace(const QStringList &serials = {}) { driver.serials = serials; }
    explicit FakeWorkspace(Driver &other)
        : m_target(&other)
    {}
    ~FakeWorkspace() override
    {
        m_windows.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A window of this workspace, shown; it lives as long as the workspace.
    template<typename Form>
    Form *open()
    {
        auto *form = new Form(*this);
        m_windows.emplace_back(form);
        form->show();
        return form;
    }

    BoardHost &host() override { return *m_host; }
    BoardSession &session() override { return m_host->foreground(); }
    Dialogs &dialogs() override { return scripted; }
    AppState &appState() override { return state; }
    void LogLine(const QString &text) override { session().logLine(text); }
    bool isViewChecked(View view) const override { return checked.contains(name(view)); }
    void showView(View view) override
    {
        checked.append(name(view));
        shown.append(name(view));
    }
    void viewClosed(View view) override
    {
        checked.removeAll(name(view));
        closed.append(name(view));
    }
    void setStatusText(const QString &text) override { status = text; }

    RecordingDriver driver;
    ScriptedDialogs scripted;
    AppState state;
    QString status;
    QStringList checked; // the views whose View item is ticked
    QStringList shown;
    QStringList closed;

private:
    static QString name(View view) { return QString::fromUtf8(view.name().data(), qsizetype(view.name().size())); }

    bool m_testMode = (QStandardPaths::setTestModeEnabled(true), true); // settings never reach the user's
    Driver *m_target = &driver;
    std::unique_ptr<BoardHost> m_host = std::make_unique<BoardHost>(*m_target);
    std::vector<std::unique_ptr<QWidget>> m_windows;
};
