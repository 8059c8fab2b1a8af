#include "windows/trend/form_trend.h"

#include "records/trend_history.h"
#include "session/board_session.h"
#include "windows/control_names.h"
#include "windows/dialogs.h"
#include "windows/trend/trend_plot.h"
#include "windows/workspace.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRefreshMs = 250;
constexpr int kFlushMs = 1000;
const QStringList kColumns{"Channel", "Last", "Min", "Max", "Mean", "Count"};

QPushButton *makeButton(const QString &caption, const char *name, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    nameControl(button, QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

formTrend::formTrend(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, kView, parent)
    , m_history(workspace.trendHistory())
{
    setObjectName(QStringLiteral("formTrend"));
    setWindowTitle(QStringLiteral("Trend"));
    buildControls();
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &formTrend::refresh);
    m_refresh.start();
    m_flush.setInterval(kFlushMs);
    connect(&m_flush, &QTimer::timeout, this, &formTrend::flushRecording);
    setSpan(1);
    m_subscription =
        workspace.session().events().subscribe([this](const SessionEvent &event) { sessionEvent(event); },
                                               eventKinds({SessionEvent::Kind::Reading, SessionEvent::Kind::PinLevel}));
}

qint64 formTrend::now() const
{
    return workspace().session().now();
}

void formTrend::sessionEvent(const SessionEvent &event)
{
    // Every reading and pin level the operator was shown, while recording.
    if (m_recorder.isOpen() &&
        (event.kind == SessionEvent::Kind::Reading || event.kind == SessionEvent::Kind::PinLevel))
        m_recorder.record(event);
}

void formTrend::buildControls()
{
    auto *controls = new QHBoxLayout;
    auto *spanLabel = new QLabel(QStringLiteral("S&pan:"), this);
    m_span = new QComboBox(this);
    nameControl(m_span, QStringLiteral("span"), QStringLiteral("Span"));
    m_span->addItems(
        {QStringLiteral("10 s"), QStringLiteral("1 min"), QStringLiteral("10 min"), QStringLiteral("1 h")});
    m_span->setCurrentIndex(1);
    spanLabel->setBuddy(m_span);
    connect(m_span, &QComboBox::currentIndexChanged, this, &formTrend::setSpan);
    m_pause = makeButton(QStringLiteral("&Pause"), "pause", this);
    connect(m_pause, &QPushButton::clicked, this, &formTrend::pauseOrResume);
    m_clear = makeButton(QStringLiteral("C&lear"), "clear", this);
    connect(m_clear, &QPushButton::clicked, this, &formTrend::clear);
    m_record = makeButton(QStringLiteral("&Record\u2026"), "record", this);
    connect(m_record, &QPushButton::clicked, this, &formTrend::recordOrStop);
    m_recording = new QLabel(this);
    nameControl(m_recording, QStringLiteral("recording"));
    m_recording->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    controls->addWidget(spanLabel);
    controls->addWidget(m_span);
    controls->addWidget(m_pause);
    controls->addWidget(m_clear);
    controls->addWidget(m_record);
    controls->addWidget(m_recording, 1);

    m_plot = new TrendPlot(m_history, this);
    nameControl(m_plot, QStringLiteral("trendPlot"), QStringLiteral("Trend plot"));

    m_table = new QTableWidget(kLastChannel, int(kColumns.size()), this);
    nameControl(m_table, QStringLiteral("statistics"), QStringLiteral("Statistics"));
    m_table->setHorizontalHeaderLabels(kColumns);
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int row = 0; row < kLastChannel; ++row) {
        const int channel = row + kFirstChannel;
        auto *name = new QTableWidgetItem(QStringLiteral("ADC %1").arg(channel));
        name->setForeground(TrendPlot::channelColour(channel));
        m_table->setItem(row, 0, name);
        for (int column = 1; column < kColumns.size(); ++column) {
            auto *item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(row, column, item);
        }
    }
    m_table->resizeRowsToContents();
    int height = m_table->horizontalHeader()->sizeHint().height() + 2 * m_table->frameWidth();
    for (int row = 0; row < kLastChannel; ++row)
        height += m_table->rowHeight(row);
    m_table->setFixedHeight(height);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_plot, 1);
    layout->addWidget(m_table);
    setTabOrder(m_span, m_pause);
    setTabOrder(m_pause, m_clear);
    setTabOrder(m_clear, m_record);
    setTabOrder(m_record, m_table);
}

void formTrend::setSpan(int index)
{
    if (index < 0 || index >= int(kSpans.size()))
        return;
    if (m_span->currentIndex() != index)
        m_span->setCurrentIndex(index);
    m_plot->setWindow(m_paused ? m_plot->endMs() : now(), kSpans[std::size_t(index)]);
    updateStatistics();
}

void formTrend::pauseOrResume()
{
    m_paused = !m_paused;
    m_pause->setText(m_paused ? QStringLiteral("Res&ume") : QStringLiteral("&Pause"));
    refresh();
}

void formTrend::clear()
{
    m_history.clear();
    refresh();
    updateStatistics();
}

void formTrend::refresh()
{
    // Paused, the view stands still while readings keep being collected; hidden, nobody looks.
    if (m_paused || !isVisible())
        return;
    m_plot->setWindow(now(), m_plot->spanMs());
    updateStatistics();
}

void formTrend::updateStatistics()
{
    const qint64 end = m_plot->endMs();
    const qint64 start = end - m_plot->spanMs();
    for (int row = 0; row < kLastChannel; ++row) {
        const std::optional<TrendHistory::Statistics> stats = m_history.statistics(row + kFirstChannel, start, end);
        const QStringList texts =
            stats ? QStringList{QString::number(stats->last), QString::number(stats->min), QString::number(stats->max),
                                QString::number(stats->mean, 'f', 1), QString::number(stats->count)}
                  : QStringList{QString(), QString(), QString(), QString(), QString()};
        for (int column = 1; column < kColumns.size(); ++column) {
            QTableWidgetItem *item = m_table->item(row, column);
            if (item->text() != texts[column - 1])
                item->setText(texts[column - 1]);
        }
    }
}

void formTrend::recordOrStop()
{
    if (m_recorder.isOpen()) {
        stopRecording();
        return;
    }
    Dialogs &dialogs = workspace().dialogs();
    const QString path = dialogs.saveFileName(this, QStringLiteral("Record"), QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    m_recorder.setOrigin(now());
    if (!m_recorder.open(path, &error) || (m_recorder.header(), !m_recorder.flush())) {
        if (error.isEmpty())
            error = m_recorder.error();
        m_recorder.close();
        dialogs.warn(this, QStringLiteral("Readings could not be recorded to \"%1\".\n\n%2")
                               .arg(QDir::toNativeSeparators(path), error));
        return;
    }
    m_recordingPath = path;
    m_record->setText(QStringLiteral("Stop &Recording"));
    m_flush.start();
    updateRecordingLabel();
}

void formTrend::flushRecording()
{
    if (!m_recorder.isOpen())
        return;
    if (!m_recorder.flush()) {
        // What was written stays; the operator hears why the rest was not.
        m_flush.stop();
        m_record->setText(QStringLiteral("&Record\u2026"));
        updateRecordingLabel();
        workspace().dialogs().warn(this, QStringLiteral("Recording to \"%1\" stopped after %2 rows.\n\n%3")
                                             .arg(QDir::toNativeSeparators(m_recordingPath))
                                             .arg(m_recorder.written())
                                             .arg(m_recorder.error()));
        return;
    }
    updateRecordingLabel();
}

void formTrend::stopRecording()
{
    flushRecording();
    m_recorder.close();
    m_flush.stop();
    m_record->setText(QStringLiteral("&Record\u2026"));
    updateRecordingLabel();
}

void formTrend::updateRecordingLabel()
{
    if (m_recordingPath.isEmpty()) {
        m_recording->clear();
        return;
    }
    const QString name = QFileInfo(m_recordingPath).fileName();
    const QString rows = QStringLiteral("%1 rows").arg(m_recorder.written());
    m_recording->setText(m_recorder.isOpen() ? QStringLiteral("Recording to %1: %2").arg(name, rows)
                                             : QStringLiteral("Recorded to %1: %2").arg(name, rows));
}

namespace {

// The window's place is kept apart from the layout file, which holds only the four original windows.
const QString kGeometryKey = QStringLiteral("trend/geometry");

} // namespace

void formTrend::showEvent(QShowEvent *event)
{
    ChildWindow::showEvent(event);
    refresh();
    placeFromSettings(kGeometryKey);
}

void formTrend::closing()
{
    keepPlaceInSettings(kGeometryKey);
    // Closing stops the recording and closes the file.
    if (m_recorder.isOpen())
        stopRecording();
    m_subscription.reset();
    m_refresh.stop();
}
