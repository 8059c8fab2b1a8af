#pragma once

#include "plans/test_plan.h"
#include "session/event_stream.h"
#include "windows/child_window.h"

#include <memory>
#include <optional>

class PlanRun;
class QLabel;
class QPushButton;
class QTableWidget;

// The test plan window: opens a plan file, runs it on the board the other windows use (its commands and the
// board's answers appear in the log as typed commands do), shows each step's result as it ends and a verdict,
// and saves the run as a JUnit XML or HTML report.
class formTestPlan : public ChildWindow
{
    Q_OBJECT

public:
    static constexpr View kView{"testPlan"};

    explicit formTestPlan(Workspace &workspace, QWidget *parent = nullptr);
    ~formTestPlan() override;

    enum Column { StepColumn, ExpectedColumn, MeasuredColumn, ResultColumn, TimeColumn, ColumnCount };

    // Reads the plan; false (and the error shown with its file:line:column) when it has one.
    bool loadPlan(const QString &path);
    // Asks for a plan file and loads it.
    void openPlan();
    // Reads the plan file again (it may have been edited) and runs it; refused, with the reason shown, when the plan
    // no longer reads, while no board is open or when the plan names another board. A refused run leaves the last
    // run's results, verdict and report as they were.
    void run();
    void stop();
    // Asks for a file name and writes the last run's report: .html as HTML, anything else as JUnit XML.
    void saveReportAs();
    bool saveReport(const QString &path);

    QTableWidget *table() const { return m_table; }
    QLabel *verdict() const { return m_verdict; }
    QString message() const;
    const PlanRun *lastRun() const { return m_run.get(); }
    bool isRunning() const;
    QSize sizeHint() const override;

protected:
    void closing() override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void showPlan();
    void showStep(int index);
    void showVerdict(const QString &text);
    void showMessage(const QString &text, bool isError);
    // Why `plan` cannot run on the board open now; empty when it can.
    QString boardRefusal(const TestPlan &plan) const;
    // A refusal for the board shown follows the board chosen since: it changes, or goes when the board fits.
    void followBoard();
    // Each column as wide as its text, up to a limit; what is cut is in the cell's tool tip.
    void fitColumns();
    void updateButtons();
    void runFinished();

    std::optional<TestPlan> m_plan;
    QString m_planPath;
    std::unique_ptr<PlanRun> m_run;
    QPushButton *m_open = nullptr;
    QPushButton *m_runButton = nullptr;
    QPushButton *m_stop = nullptr;
    QPushButton *m_save = nullptr;
    QLabel *m_planName = nullptr;
    QLabel *m_verdict = nullptr;
    QLabel *m_message = nullptr;
    QTableWidget *m_table = nullptr;
    bool m_boardRefused = false; // the message shown is a refusal for the board
    EventStream::Subscription m_boardEvents;
};
