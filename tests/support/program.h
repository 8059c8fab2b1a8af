#pragma once

#include "app/form_main.h"
#include "files/user_folders.h"
#include "recording_driver.h"
#include "scripted_dialogs.h"
#include "session/poller.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/communications/device_list.h"
#include "windows/communications/form_communications.h"
#include "windows/communications/log_view.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/scripting/form_scripting.h"

#include <QCoreApplication>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// One run of the program: fresh application state, a recording driver, scripted dialogs and a main window
// started in an empty current directory of its own.
class Program
{
public:
    explicit Program(const QStringList &serials = {}, bool start = true)
    {
        QStandardPaths::setTestModeEnabled(true); // settings of a test never reach the user's
        useUserFolders();
        m_previousDirectory = QDir::currentPath();
        QDir::setCurrent(directory.path());
        driver.serials = serials;
        if (start)
            this->start();
    }

    // A run on another driver (a board on the network, say); the recording driver stays unused.
    explicit Program(Driver &other)
        : Program({}, false)
    {
        m_target = &other;
        start();
    }

    ~Program()
    {
        main.reset();
        flushDeletes();
        QDir::setCurrent(m_previousDirectory);
    }

    void start()
    {
        main = std::make_unique<formMain>(*m_target, dialogs);
        main->show();
    }

    // Lets windows closed with their close box be destroyed.
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    formCommunications *com() { return main->view<formCommunications>(); }
    QString log() { return com()->Logbox()->text(); }
    QString path(const QString &name) const { return directory.filePath(name); }

    QTemporaryDir directory;
    RecordingDriver driver;
    ScriptedDialogs dialogs;
    std::unique_ptr<formMain> main;

private:
    QString m_previousDirectory;
    Driver *m_target = &driver;
};
