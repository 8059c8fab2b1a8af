#include "windows/replay/form_replay.h"

#include "device/driver.h"
#include "host/board_host.h"
#include "replay/replay_driver.h"
#include "windows/control_names.h"
#include "windows/workspace.h"

#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

namespace {

const QString kGeometryKey = QStringLiteral("replay/geometry");
constexpr int kRefreshMs = 200;

QString moment(qint64 wallMs)
{
    return QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

const std::array<double, 5> formReplay::kSpeeds{1, 2, 10, 100, ReplayDriver::kFastest};

formReplay::formReplay(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, kView, parent)
{
    setObjectName(QStringLiteral("formReplay"));
    setWindowTitle(QStringLiteral("Replay"));
    Driver &driver = workspace.host().driver();
    m_replay = driver.playedFeed() ? dynamic_cast<ReplayDriver *>(&driver) : nullptr;
    if (m_replay) {
        m_startMs = m_replay->spanStartMs();
        m_endMs = std::max(m_startMs, m_replay->spanEndMs());
        // Read beside the playing, so the first step or seek need not wait for it.
        m_replay->prepareMarks();
    }
    buildControls();
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &formReplay::refresh);
    m_refresh.start();
    refresh();
}

void formReplay::buildControls()
{
    m_play = makeNamedButton(QStringLiteral("&Pause"), "playPause", this);
    m_play->setToolTip(QStringLiteral("Play or pause the replay (Space)"));
    connect(m_play, &QPushButton::clicked, this, &formReplay::playOrPause);
    auto *space = new QShortcut(QKeySequence(Qt::Key_Space), this, this, &formReplay::playOrPause,
                                Qt::WidgetWithChildrenShortcut);
    Q_UNUSED(space);

    m_speed = new QComboBox(this);
    nameControl(m_speed, QStringLiteral("speed"), QStringLiteral("Speed"));
    for (const double speed : kSpeeds)
        m_speed->addItem(speed == ReplayDriver::kFastest ? QStringLiteral("As fast as possible")
                                                         : replaySpeedName(speed));
    m_speed->setToolTip(QStringLiteral("How fast the journal is played: times the recorded pace"));
    connect(m_speed, &QComboBox::activated, this, &formReplay::setSpeedIndex);
    auto *speedLabel = new QLabel(QStringLiteral("Spee&d"), this);
    speedLabel->setBuddy(m_speed);

    m_slider = new QSlider(Qt::Horizontal, this);
    nameControl(m_slider, QStringLiteral("position"), QStringLiteral("Position"));
    m_slider->setRange(0, int(std::min<qint64>((m_endMs - m_startMs) / 1000, INT_MAX)));
    m_slider->setPageStep(60);
    m_slider->setToolTip(QStringLiteral("The moment played; drag, or use the arrow keys (a second) and Page Up or "
                                        "Page Down (a minute)"));
    connect(m_slider, &QSlider::sliderReleased, this, [this] { sliderMoved(m_slider->value()); });
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        // The keyboard and clicks on the groove: the slider's own value is set after this signal.
        if (action != QAbstractSlider::SliderMove)
            sliderMoved(m_slider->sliderPosition());
    });
    m_position = new QLabel(this);
    nameControl(m_position, QStringLiteral("moment"), QStringLiteral("Moment played"));
    m_span = new QLabel(this);
    nameControl(m_span, QStringLiteral("span"), QStringLiteral("Span"));

    m_previous = makeNamedButton(QStringLiteral("\u25c0 P&revious event"), "previousEvent", this);
    m_previous->setToolTip(QStringLiteral("Go back to the previous command, gap or lost board (Ctrl+Left)"));
    connect(m_previous, &QPushButton::clicked, this, [this] { step(false); });
    m_next = makeNamedButton(QStringLiteral("&Next event \u25b6"), "nextEvent", this);
    m_next->setToolTip(QStringLiteral("Go on to the next command, gap or lost board (Ctrl+Right)"));
    connect(m_next, &QPushButton::clicked, this, [this] { step(true); });
    new QShortcut(
        QKeySequence(Qt::CTRL | Qt::Key_Left), this, this, [this] { step(false); }, Qt::WidgetWithChildrenShortcut);
    new QShortcut(
        QKeySequence(Qt::CTRL | Qt::Key_Right), this, this, [this] { step(true); }, Qt::WidgetWithChildrenShortcut);

    m_status = new QLabel(this);
    nameControl(m_status, QStringLiteral("replayStatus"), QStringLiteral("Replay status"));

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_play);
    controls->addWidget(speedLabel);
    controls->addWidget(m_speed);
    controls->addStretch(1);
    controls->addWidget(m_previous);
    controls->addWidget(m_next);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_slider);
    auto *times = new QHBoxLayout;
    times->addWidget(m_position);
    times->addStretch(1);
    times->addWidget(m_span);
    layout->addLayout(times);
    layout->addWidget(m_status);
    setTabOrder(m_play, m_speed);
    setTabOrder(m_speed, m_previous);
    setTabOrder(m_previous, m_next);
    setTabOrder(m_next, m_slider);
    for (QWidget *control : std::initializer_list<QWidget *>{m_play, m_speed, m_slider, m_previous, m_next})
        control->setEnabled(m_replay != nullptr);
    if (m_replay) {
        const auto at = std::find(kSpeeds.begin(), kSpeeds.end(), m_replay->speed());
        m_speed->setCurrentIndex(at == kSpeeds.end() ? 0 : int(at - kSpeeds.begin()));
    }
}

QSize formReplay::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("2026-12-07 10:15:02   2026-12-07 10:15:02 \u2013 2026-12-07 "
                                                     "10:15:02")) +
                60,
            metrics.height() * 9};
}

void formReplay::playOrPause()
{
    if (!m_replay)
        return;
    if (m_replay->isPlaying())
        m_replay->pause();
    else
        m_replay->play();
    refresh();
}

void formReplay::setSpeedIndex(int index)
{
    if (!m_replay || index < 0 || index >= int(kSpeeds.size()))
        return;
    m_replay->setSpeed(kSpeeds[std::size_t(index)]);
    const QSignalBlocker quiet(m_speed);
    m_speed->setCurrentIndex(index);
    refresh();
}

qint64 formReplay::sliderMoment(int value) const
{
    return m_startMs + qint64(value) * 1000;
}

void formReplay::sliderMoved(int value)
{
    seekTo(sliderMoment(value));
}

void formReplay::seekTo(qint64 wallMs)
{
    if (!m_replay)
        return;
    const qint64 from = m_replay->positionMonoMs();
    m_replay->seek(wallMs);
    const qint64 to = m_replay->positionMonoMs();
    // The trend's history only goes forward in time: back, it starts anew; forward, its lines are not joined across.
    BoardHost &host = workspace().host();
    for (const QString &serial : host.knownBoards()) {
        if (to < from)
            host.board(serial).trend.clear();
        else
            host.board(serial).trend.markGap(from);
    }
    refresh();
}

bool formReplay::step(bool forward)
{
    if (!m_replay)
        return false;
    const std::optional<qint64> mark = m_replay->neighbourMark(m_replay->positionMs(), forward);
    if (!mark) {
        m_status->setText(forward ? QStringLiteral("No command, gap or lost board after this moment")
                                  : QStringLiteral("No command, gap or lost board before this moment"));
        return false;
    }
    seekTo(*mark);
    return true;
}

QString formReplay::positionText() const
{
    return m_replay ? moment(m_replay->positionMs()) : QString();
}

QString formReplay::spanText() const
{
    return m_replay ? QStringLiteral("%1 \u2013 %2").arg(moment(m_startMs), moment(m_endMs)) : QString();
}

QString formReplay::statusText() const
{
    if (!m_replay)
        return QStringLiteral("No replay: start the program with --driver=replay --journal DIR");
    QString text;
    if (m_replay->positionMs() >= m_endMs && m_replay->isFinished())
        text = QStringLiteral("At the end");
    else if (!m_replay->isPlaying())
        text = QStringLiteral("Paused");
    else
        text = QStringLiteral("Playing at %1")
                   .arg(m_replay->speed() == ReplayDriver::kFastest ? QStringLiteral("the fastest pace")
                                                                    : replaySpeedName(m_replay->speed()));
    if (const qint64 skipped = m_replay->skippedLines(); skipped > 0)
        text += QStringLiteral("; %1 lines skipped").arg(skipped);
    return text;
}

void formReplay::refresh()
{
    const QString position = positionText();
    if (m_position->text() != position)
        m_position->setText(position);
    const QString span = spanText();
    if (m_span->text() != span)
        m_span->setText(span);
    const QString status = statusText();
    if (m_status->text() != status && !m_status->text().startsWith(QLatin1String("No command")))
        m_status->setText(status);
    if (!m_replay)
        return;
    const QString caption = m_replay->isPlaying() ? QStringLiteral("&Pause") : QStringLiteral("&Play");
    if (m_play->text() != caption)
        m_play->setText(caption);
    // Not while the operator holds it.
    if (!m_slider->isSliderDown()) {
        const QSignalBlocker quiet(m_slider);
        m_slider->setValue(int((m_replay->positionMs() - m_startMs) / 1000));
    }
}

void formReplay::showEvent(QShowEvent *event)
{
    ChildWindow::showEvent(event);
    placeFromSettings(kGeometryKey);
}

void formReplay::closing()
{
    keepPlaceInSettings(kGeometryKey);
}
