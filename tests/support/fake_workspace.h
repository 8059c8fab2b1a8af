#pragma once

#include "event_recorder.h"
#include "files/user_folders.h"
#include "host/board_host.h"
#include "recording_driver.h"
#include "scripted_dialogs.h"
#include "state/app_state.h"
#include "windows/child_window.h"
#include "windows/workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A workspace without a main window, for window tests: a board host on the recording driver (or another driver),
// scripted dialogs, the program's record, what the window asked of the frame (views shown and closed, the status
// text) and what the foreground session told (its log lines and status texts), in an empty current directory of its
// own.
class FakeWorkspace : public Workspace
{
public:
    explicit FakeWorkspace(const QStringList &serials = {}) { driver.serials = serials; }
    explicit FakeWorkspace(Driver &other)
        : m_target(&other)
    {}
    ~FakeWorkspace() override
    {
        for (const QPointer<QWidget> &window : m_windows)
            delete window.data();
        flushDeletes();
    }

    // A new window of this workspace, shown. Like a window in the main window's frame, it is destroyed once it has
    // accepted its close (after flushDeletes()), else with the workspace.
    template<typename Form>
    Form *open()
    {
        auto *form = new Form(*this);
        form->setAttribute(Qt::WA_DeleteOnClose);
        m_windows.emplace_back(form);
        form->show();
        return form;
    }

    // Lets closed windows be destroyed.
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QString path(const QString &name) const { return m_directory.filePath(name); }

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

private:
    static QString name(View view) { return QString::fromUtf8(view.name().data(), qsizetype(view.name().size())); }

    // The process's current directory while the workspace lives.
    struct CurrentDirectory {
        explicit CurrentDirectory(const QString &path) { QDir::setCurrent(path); }
        ~CurrentDirectory() { QDir::setCurrent(previous); }
        QString previous = QDir::currentPath();
    };

    bool m_testMode =
        (QStandardPaths::setTestModeEnabled(true), useUserFolders(), true); // settings never reach the user's
    QTemporaryDir m_directory;
    CurrentDirectory m_current{m_directory.path()};

public:
    RecordingDriver driver;
    ScriptedDialogs scripted;
    AppState state;
    QString status;
    QStringList checked; // the views whose View item is ticked
    QStringList shown;
    QStringList closed;

private:
    Driver *m_target = &driver;
    std::unique_ptr<BoardHost> m_host = std::make_unique<BoardHost>(*m_target);
    std::vector<QPointer<QWidget>> m_windows;

public:
    // The foreground session's log (as the communications window shows it) and status text (as the status bar does).
    EventRecorder told{m_host->foreground()};
};
