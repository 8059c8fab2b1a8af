#pragma once

#include "app/form_about.h"
#include "app/layout_file.h"
#include "session/board_session.h"
#include "session/front_end.h"
#include "windows/trend/trend_history.h"
#include "windows/workspace.h"

#include <QElapsedTimer>

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <optional>

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class formAbout;
class formAnalogLevels;
class formCommunications;
class formDigitalPins;
class formScripting;
class formTrend;

// The main window: a multiple-document frame holding the child windows, with the menu bar, the status bar and
// the View toggles. It owns the board session and is its front end, handing what the session shows to the
// child windows; it owns one accessor per child window, the view flags' check marks, and the load and close
// steps (layout file, board closed at exit).
class formMain : public QMainWindow, public Workspace, public SessionFrontEnd
{
    Q_OBJECT

public:
    // Runs the load step: the layout is restored and the child windows opened.
    formMain(Driver &driver, Dialogs &dialogs, QWidget *parent = nullptr);
    ~formMain() override;

    // Workspace
    BoardSession &session() override { return m_session; }
    Dialogs &dialogs() override { return m_dialogs; }
    void LogLine(const QString &text) override;
    bool isViewChecked(View view) const override;
    void setViewChecked(View view, bool checked) override;
    void showView(View view) override;
    void setStatusText(const QString &text) override;

    // SessionFrontEnd
    void logLine(const QString &text) override { LogLine(text); }
    void showPinLevel(int pin, bool high) override;
    void showReading(int channel, std::int32_t value) override;
    void blankReading(int channel) override;
    bool analogRequestsOn() override;
    bool isChannelTicked(int channel) override;
    bool isPinMonitored(int pin) override;

    // The child windows, each created on first use. A window created here is visible at once inside the main
    // window; its View item and view flag are not touched. A hidden window stays hidden.
    formCommunications *communications();
    formDigitalPins *digitalPins();
    formAnalogLevels *analogLevels();
    formScripting *scripting();
    formTrend *trend();
    // The window if it exists now, else null; never creates one.
    formCommunications *existingCommunications() const;
    formDigitalPins *existingDigitalPins() const;
    formAnalogLevels *existingAnalogLevels() const;
    formScripting *existingScripting() const;
    formTrend *existingTrend() const;

    // Every analog reading shown, kept for the trend window.
    TrendHistory &trendHistory() { return m_trendHistory; }
    QString statusText() const;
    QAction *viewItem(View view) const { return m_viewItems[int(view)]; }
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
    void applyLayoutEntry(const LayoutEntry &entry);
    void applyMainGeometry(LayoutField field, double twips);
    void applyChildGeometry(View view, LayoutField field, double twips);
    qint64 layoutValue(const LayoutKey &key) const;
    QRect mainFrameGeometry() const;
    void setMainFrameSize(QSize frame);
    QSize largestWindow() const;
    void buildMenus();
    void buildStatusBar();
    void updateClock();
    QWidget *existingChild(View view) const;
    QWidget *child(View view);
    template<typename Form, typename... Arguments>
    Form *child(QPointer<Form> &slot, bool fixedFrame, Arguments &&...arguments);

    Dialogs &m_dialogs;
    BoardSession m_session;
    QMdiArea *m_mdiArea = nullptr;
    std::array<QAction *, 5> m_viewItems{};
    QLabel *m_statusText = nullptr;
    QLabel *m_clock = nullptr;
    QLabel *m_date = nullptr;
    QTimer m_clockTimer;
    QString m_layoutPath;
    std::optional<QSize> m_restoredFrameSize; // applied again once the window system knows the frame
    bool m_ending = false;
    TrendHistory m_trendHistory;
    QElapsedTimer m_trendClock;
    QList<QKeySequence> m_menuShortcuts; // of the File and View menus

    QPointer<formCommunications> m_communications;
    QPointer<formDigitalPins> m_digitalPins;
    QPointer<formAnalogLevels> m_analogLevels;
    QPointer<formScripting> m_scripting;
    QPointer<formTrend> m_trend;
    QPointer<formAbout> m_about;
};
