#include "windows/test_plan/form_test_plan.h"

#include "host/board_host.h"
#include "plans/plan_reader.h"
#include "plans/plan_report.h"
#include "plans/plan_run.h"
#include "session/board_session.h"
#include "windows/control_names.h"
#include "windows/dialogs.h"
#include "windows/workspace.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kGeometryKey = QStringLiteral("testPlan/geometry");
const QStringList kColumns{"Step", "Expected", "Measured", "Result", "Time"};

// Colours that read as pass and fail, with text that stays readable on them.
QString verdictStyle(const QString &verdict)
{
    const char *background = verdict == u"PASS" ? "#2e7d32" : verdict == u"FAIL" ? "#c62828" : "#f9a825";
    const char *foreground = verdict == u"RUNNING" ? "#000000" : "#ffffff";
    return QStringLiteral("QLabel { background: %1; color: %2; padding: 2px 12px; }")
        .arg(QLatin1String(background), QLatin1String(foreground));
}

} // namespace

formTestPlan::formTestPlan(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, kView, parent)
{
    setObjectName(QStringLiteral("formTestPlan"));
    setWindowTitle(QStringLiteral("Test Plan"));
    buildControls();
    updateButtons();
    using Kind = SessionEvent::Kind;
    m_boardEvents = workspace.session().events().subscribe(
        [this](const SessionEvent &) { followBoard(); },
        eventKinds({Kind::Selected, Kind::OpenFailed, Kind::Lost, Kind::Back, Kind::Closed}));
}

formTestPlan::~formTestPlan() = default;

void formTestPlan::buildControls()
{
    m_open = makeNamedButton(QStringLiteral("&Open Plan\u2026"), "openPlan", this);
    connect(m_open, &QPushButton::clicked, this, &formTestPlan::openPlan);
    m_runButton = makeNamedButton(QStringLiteral("&Run"), "run", this);
    m_runButton->setToolTip(QStringLiteral("Run the plan (F5)"));
    connect(m_runButton, &QPushButton::clicked, this, &formTestPlan::run);
    m_stop = makeNamedButton(QStringLiteral("S&top"), "stop", this);
    connect(m_stop, &QPushButton::clicked, this, &formTestPlan::stop);
    m_save = makeNamedButton(QStringLiteral("&Save Report\u2026"), "saveReport", this);
    connect(m_save, &QPushButton::clicked, this, &formTestPlan::saveReportAs);
    // F5 runs the plan from anywhere in the program while this window is shown (no other window uses it).
    auto *runKey = new QAction(this);
    runKey->setShortcut(QKeySequence(Qt::Key_F5));
    runKey->setShortcutContext(Qt::WindowShortcut);
    connect(runKey, &QAction::triggered, this, &formTestPlan::run);
    addAction(runKey);

    m_verdict = new QLabel(this);
    nameControl(m_verdict, QStringLiteral("verdict"), QStringLiteral("Verdict"));
    QFont large = m_verdict->font();
    large.setPointSizeF(large.pointSizeF() * 2);
    large.setBold(true);
    m_verdict->setFont(large);
    m_verdict->setAlignment(Qt::AlignCenter);
    m_verdict->setMinimumWidth(m_verdict->fontMetrics().horizontalAdvance(QStringLiteral("RUNNING")) + 32);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_open);
    buttons->addWidget(m_runButton);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_save);
    buttons->addStretch(1);
    buttons->addWidget(m_verdict);

    m_planName = new QLabel(this);
    nameControl(m_planName, QStringLiteral("planName"), QStringLiteral("Plan"));
    m_planName->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_message = new QLabel(this);
    nameControl(m_message, QStringLiteral("message"), QStringLiteral("Message"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_message->hide();

    m_table = new QTableWidget(0, ColumnCount, this);
    nameControl(m_table, QStringLiteral("steps"), QStringLiteral("Steps"));
    m_table->setHorizontalHeaderLabels(kColumns);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    for (int column = 0; column < ColumnCount; ++column) {
        // Read by assistive technology as the header's name.
        m_table->horizontalHeaderItem(column)->setData(Qt::AccessibleTextRole, kColumns[column]);
    }
    QHeaderView *header = m_table->horizontalHeader();
    // The columns take their text's width (fitColumns); the operator may widen them.
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    m_table->setTextElideMode(Qt::ElideRight);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    fitColumns();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_planName);
    layout->addWidget(m_message);
    layout->addWidget(m_table, 1);
    setTabOrder(m_open, m_runButton);
    setTabOrder(m_runButton, m_stop);
    setTabOrder(m_stop, m_save);
    setTabOrder(m_save, m_table);
}

QSize formTestPlan::sizeHint() const
{
    // Room for the four columns of results without scrolling sideways.
    return QSize(760, 400);
}

void formTestPlan::fitColumns()
{
    const int widest = fontMetrics().averageCharWidth() * 60;
    // Each column then takes the wider of its header and its cells.
    m_table->resizeColumnsToContents();
    for (int column = 0; column < ColumnCount; ++column)
        m_table->setColumnWidth(column, std::min(m_table->columnWidth(column), widest));
}

bool formTestPlan::isRunning() const
{
    return m_run && m_run->isRunning();
}

QString formTestPlan::message() const
{
    return m_message->isVisible() || !m_message->isHidden() ? m_message->text() : QString();
}

void formTestPlan::showMessage(const QString &text, bool isError)
{
    m_message->setText(text);
    m_message->setStyleSheet(isError ? QStringLiteral("QLabel { color: #c62828; }") : QString());
    m_message->setVisible(!text.isEmpty());
    m_boardRefused = false;
}

QString formTestPlan::boardRefusal(const TestPlan &plan) const
{
    const BoardSession &session = workspace().session();
    if (session.handle() <= 0 || session.isLost())
        return QStringLiteral("No board is open: choose one in the Communications window first.");
    if (!plan.board.isEmpty() && plan.board != session.serial())
        return QStringLiteral("This plan is for board %1; the board open is %2.").arg(plan.board, session.serial());
    return QString();
}

void formTestPlan::followBoard()
{
    if (!m_boardRefused || !m_plan)
        return;
    const QString refusal = boardRefusal(*m_plan);
    showMessage(refusal, true);
    m_boardRefused = !refusal.isEmpty();
}

void formTestPlan::showVerdict(const QString &text)
{
    m_verdict->setText(text);
    m_verdict->setStyleSheet(text.isEmpty() ? QString() : verdictStyle(text));
    m_verdict->setAccessibleDescription(QStringLiteral("verdict"));
}

void formTestPlan::updateButtons()
{
    const bool running = isRunning();
    m_open->setEnabled(!running);
    m_runButton->setEnabled(!running && m_plan.has_value());
    m_stop->setEnabled(running);
    m_save->setEnabled(!running && m_run && m_run->isFinished());
}

void formTestPlan::openPlan()
{
    const QString path = workspace().dialogs().openFileName(this, QStringLiteral("Open Plan"),
                                                            QStringLiteral("Test plans (*.toml);;All files (*)"));
    if (!path.isEmpty() && loadPlan(path))
        m_runButton->setFocus();
}

bool formTestPlan::loadPlan(const QString &path)
{
    if (isRunning())
        return false;
    auto read = readPlanFile(path);
    m_planPath = path;
    if (const auto *error = std::get_if<PlanError>(&read)) {
        m_plan.reset();
        m_run.reset();
        m_table->setRowCount(0);
        m_planName->setText(QDir::toNativeSeparators(path));
        showMessage(error->text(), true);
        showVerdict(QString());
        updateButtons();
        return false;
    }
    m_plan = std::get<TestPlan>(std::move(read));
    m_run.reset();
    showMessage(QString(), false);
    showVerdict(QString());
    showPlan();
    updateButtons();
    return true;
}

void formTestPlan::showPlan()
{
    const TestPlan &plan = *m_plan;
    QString name = QStringLiteral("%1 \u2014 %2").arg(plan.name, QDir::toNativeSeparators(plan.file));
    if (!plan.board.isEmpty())
        name += QStringLiteral(" (board %1)").arg(plan.board);
    m_planName->setText(name);
    m_table->setRowCount(int(plan.steps.size()));
    for (int row = 0; row < int(plan.steps.size()); ++row) {
        const PlanStep &step = plan.steps[std::size_t(row)];
        const QString texts[ColumnCount] = {step.name, stepExpectation(step), QString(), QString(), QString()};
        for (int column = 0; column < ColumnCount; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            item->setToolTip(texts[column]);
            if (column == TimeColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, column, item);
        }
    }
    fitColumns();
}

void formTestPlan::run()
{
    if (isRunning() || m_planPath.isEmpty())
        return;
    // The file may have been edited since it was opened: what runs is what it says now. Until it runs, what the
    // window shows (the last run, its report) stays.
    auto read = readPlanFile(m_planPath);
    if (const auto *error = std::get_if<PlanError>(&read)) {
        showMessage(error->text(), true);
        return;
    }
    TestPlan plan = std::get<TestPlan>(std::move(read));
    if (const QString refusal = boardRefusal(plan); !refusal.isEmpty()) {
        showMessage(refusal, true);
        m_boardRefused = true;
        return;
    }
    BoardSession &session = workspace().session();
    const BoardCalibration &calibration = workspace().host().board(session.serial()).alarms.calibration();
    if (const QString mismatch = unitMismatch(plan, calibration); !mismatch.isEmpty()) {
        showMessage(mismatch, true);
        return;
    }
    m_plan = std::move(plan);
    m_run.reset();
    showMessage(QString(), false);
    showPlan();
    m_run = std::make_unique<PlanRun>(session, *m_plan);
    m_run->setCalibration(calibration);
    connect(m_run.get(), &PlanRun::stepStarted, this, &formTestPlan::showStep);
    connect(m_run.get(), &PlanRun::stepFinished, this, &formTestPlan::showStep);
    connect(m_run.get(), &PlanRun::finished, this, &formTestPlan::runFinished);
    showVerdict(QStringLiteral("RUNNING"));
    m_run->start();
    updateButtons();
}

void formTestPlan::stop()
{
    if (isRunning())
        m_run->stop();
}

void formTestPlan::showStep(int index)
{
    const StepResult &result = m_run->results()[std::size_t(index)];
    const bool ended = result.outcome != StepResult::Outcome::Running;
    m_table->item(index, MeasuredColumn)->setText(result.measured);
    m_table->item(index, MeasuredColumn)->setToolTip(result.measured);
    m_table->item(index, ResultColumn)->setText(outcomeText(result.outcome));
    m_table->item(index, TimeColumn)
        ->setText(ended ? QStringLiteral("%1 s").arg(double(result.elapsedMs) / 1000.0, 0, 'f', 3) : QString());
    const bool bad = result.outcome == StepResult::Outcome::Failed || result.outcome == StepResult::Outcome::Error;
    m_table->item(index, ResultColumn)->setForeground(bad ? QColor(0xc6, 0x28, 0x28) : palette().text().color());
    if (!ended)
        m_table->scrollToItem(m_table->item(index, StepColumn));
    else
        fitColumns();
}

void formTestPlan::runFinished()
{
    for (int index = 0; index < int(m_run->results().size()); ++index)
        showStep(index);
    showVerdict(m_run->passed() ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    showMessage(m_run->verdictLine(), false);
    updateButtons();
}

void formTestPlan::saveReportAs()
{
    if (!m_run || !m_run->isFinished())
        return;
    QString path = workspace().dialogs().saveFileName(this, QStringLiteral("Save Report"),
                                                      QStringLiteral("JUnit XML (*.xml);;HTML (*.html)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".xml");
    saveReport(path);
}

bool formTestPlan::saveReport(const QString &path)
{
    if (!m_run || !m_run->isFinished())
        return false;
    if (const auto failure = ::saveReport(path, *m_run, thisProcessContext())) {
        workspace().dialogs().warn(this, QStringLiteral("The report could not be saved to \"%1\".\n\n%2")
                                             .arg(QDir::toNativeSeparators(path), *failure));
        return false;
    }
    return true;
}

void formTestPlan::showEvent(QShowEvent *event)
{
    ChildWindow::showEvent(event);
    placeFromSettings(kGeometryKey);
}

void formTestPlan::closing()
{
    keepPlaceInSettings(kGeometryKey);
    // A plan does not go on without its window: what has not ended is skipped.
    stop();
}
