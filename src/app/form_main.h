#pragma once

#include "app/form_about.h"
#include "app/layout_file.h"
#include "app/view_table.h"
#include "host/board_host.h"
#include "state/app_state.h"
#include "windows/child_window.h"
#include "windows/workspace.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class formAbout;
struct DeskMemory;

// The main window: a multiple-document frame holding the child windows of the view table, with the menu bar,
// the status bar and the View toggles. It owns the board host (and with it the foreground session the windows work
// on) and the program's record for the whole run; the child windows are views of them. The main window keeps the
// view flags' check marks, shows the session's status text, creates a window when an event it shows arrives while
// it does not exist, and runs the load and close steps (layout file, boards closed at exit).
class formMain : public QMainWindow, public Workspace
{
    Q_OBJECT

public:
    // Runs the load step: the layout is restored and the child windows opened.
    formMain(Driver &driver, Dialogs &dialogs, QWidget *parent = nullptr);
    ~formMain() override;

    // Workspace
    BoardHost &host() override { return m_host; }
    BoardSession &session() override { return m_host.foreground(); }
    Dialogs &dialogs() override { return m_dialogs; }
    AppState &appState() override { return m_state; }
    void LogLine(const QString &text) override;
    bool isViewChecked(View view) const override;
    void showView(View view) override;
    void viewClosed(View view) override;
    void setStatusText(const QString &text) override;

    // A child window, created on first use. A window created here is visible at once inside the main window;
    // its View item and view flag are not touched. A hidden window stays hidden.
    ChildWindow *child(View view);
    template<typename Form>
    Form *view()
    {
        return static_cast<Form *>(child(Form::kView));
    }
    // The window if it exists now, else null; never creates one.
    ChildWindow *existingChild(View view) const;
    template<typename Form>
    Form *existingView() const
    {
        return static_cast<Form *>(existingChild(Form::kView));
    }

    QString statusText() const;
    QAction *viewItem(View view) const;
    // The view flag: 1 while the window is shown through its View item.
    std::int32_t viewFlag(View view) const;
    QMdiArea *mdiArea() const { return m_mdiArea; }
    // The frame around a child window.
    QMdiSubWindow *subWindowOf(const QWidget *form) const;
    formAbout *aboutBox() const { return m_about; }

    // Ends the program without asking anything, as a termination request (SIGINT, SIGTERM) or the end of the
    // desktop session does: an unsaved script is written to a recovery file beside its own, then the close step
    // writes the layout and closes the board, and every event loop ends.
    void endWithoutQuestions();

    void MDIForm_Load();
    // The close step; false when the close is refused (the script editor's Cancel).
    bool MDIForm_QueryUnload();
    void viewToggle(View view);

    void openScript_Click();
    // Opens a script file as Open does once the dialog has named it.
    void openScriptFile(const QString &path);
    void saveScript_Click();
    void saveAs_Click();
    void runScript_Click();
    void about_Click();
    // View > Arrange Windows: the visible child windows side by side without overlap inside the workspace, the
    // resizable ones (editor, trend, plan, boards) sharing the spare room; a main window too small for them is first
    // made 90 % of the screen.
    void arrangeWindows_Click();

    // Puts back what the last run left: the board selected then, when it is attached, selected again with its
    // ticked channels and monitored pins (outputs are named on the status line, never driven), and, when
    // `reopenScript`, the script file it had open.
    void restoreDesk(bool reopenScript);
    // A run that did not put the desk back (--no-restore) leaves what the last run kept for the next one.
    void keepLastDesk() { m_remembersDesk = false; }
    // Brings the communications window to the front when its log names a recovered script.
    void bringRecoveryToFront();
    // A replay: its window shown, and the first board played back selected when none is.
    void showReplay();

    // The layout file this run reads and writes: "database.ini" in the directory the program started in.
    QString layoutPath() const { return m_layoutPath; }
    // Reads the layout file and applies it line by line; false when there is no such ordinary file.
    bool restoreLayout();
    // Writes the current layout; a failure is reported as a warning and goes no further.
    void writeLayout();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    bool saveScript();
    void recoverUnsavedScript();
    void reportRecoveredScripts();
    // Keeps what restoreDesk() puts back, at the close step.
    void rememberDesk();
    void selectRememberedBoard(const DeskMemory &memory);
    // Selects the board as a click on it in the device list does; false when it is not listed.
    bool selectBoard(const QString &serial);
    struct ViewSlot {
        const ViewSpec *spec = nullptr;
        QAction *item = nullptr;
        QPointer<ChildWindow> window;
        EventStream::Subscription creator; // while the window does not exist: creates it for its event
    };
    ViewSlot &slot(View view);
    const ViewSlot &slot(View view) const;
    std::int32_t &flagOf(const ViewSlot &slot);
    std::int32_t flagOf(const ViewSlot &slot) const;
    void setViewFlag(View view, std::int32_t value);
    void setViewChecked(View view, bool checked);
    // While the window does not exist, the first event it shows creates it.
    void watchForCreation(ViewSlot &slot);
    void applyLayoutEntry(const LayoutEntry &entry);
    void applyMainGeometry(LayoutField field, double twips);
    void applyChildGeometry(View view, LayoutField field, double twips);
    qint64 layoutValue(const LayoutKey &key) const;
    QRect mainFrameGeometry() const;
    void setMainFrameSize(QSize frame);
    QSize largestWindow() const;
    // Moves a child window whose title bar is out of the workspace's reach just back into it.
    void keepTitleBarInReach(QMdiSubWindow *frame);
    void buildMenus();
    void buildStatusBar();
    void updateClock();
    void journalStopped(const QString &reason);

    Dialogs &m_dialogs;
    AppState m_state;
    BoardHost m_host;
    EventStream::Subscription m_statusTexts;
    std::vector<ViewSlot> m_views;
    QMdiArea *m_mdiArea = nullptr;
    QLabel *m_statusText = nullptr;
    QLabel *m_alarmCount = nullptr; // "2 alarms"; hidden while there is none
    QLabel *m_clock = nullptr;
    QLabel *m_date = nullptr;
    QTimer m_clockTimer;
    QString m_layoutPath;
    std::optional<QSize> m_restoredFrameSize; // applied again once the window system knows the frame
    bool m_ending = false;
    bool m_placedChildren = false;       // the windows the layout placed have been brought within reach
    QList<QKeySequence> m_menuShortcuts; // of the File and View menus
    QPointer<formAbout> m_about;
    bool m_recoveryReported = false;
    bool m_remembersDesk = true; // at the close step
};
