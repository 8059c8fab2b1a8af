#include "app/form_main.h"

#include "app/form_about.h"
#include "state/app_state.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/communications/form_communications.h"
#include "windows/communications/log_view.h"
#include "windows/control_names.h"
#include "windows/dialogs.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/scripting/form_scripting.h"
#include "windows/trend/form_trend.h"
#include "windows/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTime>

#include <functional>
#include <vector>

formMain::formMain(Driver &driver, Dialogs &dialogs, QWidget *parent)
    : QMainWindow(parent)
    , m_dialogs(dialogs)
    , m_session(driver, *this)
{
    setObjectName(QStringLiteral("formMain"));
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    setWindowIcon(programIcon());

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    m_mdiArea->setBackground(palette().brush(QPalette::Dark));
    // A child window partly outside the workspace (dragged low, or placed by a layout from a larger screen)
    // can always be scrolled back into reach.
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);

    buildMenus();
    buildStatusBar();
    // The first size is the client area's below the menu bar; the layout file may change it.
    const QSize client = twipsSize(12435, 8895);
    resize(client.width(), client.height() + menuBar()->sizeHint().height());
    // Resolved once: a file dialog that moves the current directory does not move the layout file.
    m_layoutPath = QDir::current().absoluteFilePath(QString::fromLatin1(kLayoutFileName));
    m_trendClock.start();
    MDIForm_Load();
    reportRecoveredScripts();
}

formMain::~formMain() = default;

void formMain::buildMenus()
{
    // A null handler marks a separator.
    struct Item {
        const char *name;
        const char *caption;
        QKeySequence shortcut;
        std::function<void()> handler;
    };
    const auto addMenu = [this](const char *name, const char *caption, const std::vector<Item> &items) {
        QMenu *menu = menuBar()->addMenu(QString::fromLatin1(caption));
        menu->setObjectName(QString::fromLatin1(name));
        for (const Item &item : items) {
            if (!item.handler) {
                menu->addSeparator()->setObjectName(QString::fromLatin1(item.name));
                continue;
            }
            QAction *action = menu->addAction(QString::fromLatin1(item.caption));
            action->setObjectName(QString::fromLatin1(item.name));
            action->setShortcut(item.shortcut);
            connect(action, &QAction::triggered, this, item.handler);
        }
        return menu;
    };

    QMenu *file = addMenu("file", "&File",
                          {
                              {"openScript", "&Open Script", QKeySequence(Qt::CTRL | Qt::Key_O),
                               [this] {
                                   openScript_Click();
                               }},
                              {"saveScript", "&Save Script", QKeySequence(Qt::CTRL | Qt::Key_S),
                               [this] {
                                   saveScript_Click();
                               }},
                              {"saveAs", "Save Script &As", QKeySequence(Qt::CTRL | Qt::Key_A),
                               [this] {
                                   saveAs_Click();
                               }},
                              {"s0", "-", {}, nullptr},
                              {"runScript", "Sen&d Script", QKeySequence(Qt::CTRL | Qt::Key_D),
                               [this] {
                                   runScript_Click();
                               }},
                              {"s1", "-", {}, nullptr},
                              // The same road as the frame's close button.
                              {"quit", "&Quit", QKeySequence(Qt::CTRL | Qt::Key_Q),
                               [this] {
                                   close();
                               }},
                          });

    QMenu *view = addMenu("view", "&View", {});
    struct ViewItem {
        View view;
        const char *name;
        const char *caption;
        QKeySequence shortcut;
    };
    const std::array<ViewItem, 5> viewItems{{
        {View::Communications, "communications", "&Communications", QKeySequence(Qt::CTRL | Qt::Key_K)},
        {View::DigitalPins, "digitalPins", "&Digital Pins", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {View::AnalogLevels, "analogLevels", "&Analog Levels", QKeySequence(Qt::CTRL | Qt::Key_L)},
        {View::Scripting, "scripting", "&Scripting", QKeySequence()},
        {View::Trend, "trend", "&Trend", QKeySequence(Qt::CTRL | Qt::Key_T)},
    }};
    for (const ViewItem &item : viewItems) {
        QAction *action = view->addAction(QString::fromLatin1(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setShortcut(item.shortcut);
        action->setCheckable(true);
        // The toggle reads the mark as it was before the click, so the automatic flip is undone first.
        connect(action, &QAction::triggered, this, [this, item, action](bool checked) {
            action->setChecked(!checked);
            viewToggle(item.view);
        });
        m_viewItems[int(item.view)] = action;
        if (item.view == View::Scripting)
            view->addSeparator()->setObjectName(QStringLiteral("s2"));
    }

    // These shortcuts win over the text boxes' own (Ctrl+A is Save Script As, not Select All).
    for (const QMenu *menu : {file, view}) {
        for (const QAction *action : menu->actions()) {
            if (!action->shortcut().isEmpty())
                m_menuShortcuts.append(action->shortcut());
        }
    }
    qApp->installEventFilter(this);

    addMenu("help", "&Help", {{"about", "&About Vantrel Control", {}, [this] {
                                   about_Click();
                               }}});
}

void formMain::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setSizeGripEnabled(true);

    m_statusText = new QLabel(bar);
    nameControl(m_statusText, QStringLiteral("statusPanel1"));
    m_statusText->setMinimumWidth(twipsToPixels(1440));
    bar->addWidget(m_statusText, 1);

    m_clock = new QLabel(bar);
    nameControl(m_clock, QStringLiteral("statusPanel2"));
    m_clock->setFixedWidth(twipsToPixels(1440));
    m_clock->setAlignment(Qt::AlignCenter);
    bar->addPermanentWidget(m_clock);

    m_date = new QLabel(bar);
    nameControl(m_date, QStringLiteral("statusPanel3"));
    m_date->setFixedWidth(twipsToPixels(1440));
    m_date->setAlignment(Qt::AlignCenter);
    bar->addPermanentWidget(m_date);

    updateClock();
    m_clockTimer.setInterval(1000);
    connect(&m_clockTimer, &QTimer::timeout, this, &formMain::updateClock);
    m_clockTimer.start();
}

void formMain::updateClock()
{
    const QLocale locale;
    const QDateTime now = QDateTime::currentDateTime();
    // The locale's own time format, without seconds.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("[^hHm]?s+")));
    // Set only when they change: a label repaints on every setText.
    const QString time = locale.toString(now.time(), timeFormat.trimmed());
    const QString date = locale.toString(now.date(), QLocale::ShortFormat);
    if (m_clock->text() != time)
        m_clock->setText(time);
    if (m_date->text() != date)
        m_date->setText(date);
}

void formMain::LogLine(const QString &text)
{
    communications()->Logbox()->appendLine(text);
}

void formMain::setStatusText(const QString &text)
{
    m_statusText->setText(text);
}

QString formMain::statusText() const
{
    return m_statusText->text();
}

template<typename Form, typename... Arguments>
Form *formMain::child(QPointer<Form> &slot, bool fixedFrame, Arguments &&...arguments)
{
    if (slot && !slot->isClosing())
        return slot;
    auto *form = new Form(*this, std::forward<Arguments>(arguments)...);
    slot = form;
    Qt::WindowFlags flags = Qt::SubWindow;
    if (fixedFrame)
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    QMdiSubWindow *frame = m_mdiArea->addSubWindow(form, flags);
    frame->setWindowIcon(windowIcon());
    if (fixedFrame)
        frame->layout()->setSizeConstraint(QLayout::SetFixedSize);
    frame->adjustSize();
    // Like every child window, it is visible the moment it exists.
    frame->show();
    return form;
}

formCommunications *formMain::communications()
{
    return child(m_communications, true);
}

formDigitalPins *formMain::digitalPins()
{
    return child(m_digitalPins, true);
}

formAnalogLevels *formMain::analogLevels()
{
    return child(m_analogLevels, true);
}

formScripting *formMain::scripting()
{
    return child(m_scripting, false);
}

formTrend *formMain::trend()
{
    return child(m_trend, false, m_trendHistory, [this] { return m_trendClock.elapsed(); });
}

namespace {

// The window in the slot, unless it is gone or on its way out.
template<typename Form>
Form *live(const QPointer<Form> &slot)
{
    return slot && !slot->isClosing() ? slot.data() : nullptr;
}

} // namespace

formCommunications *formMain::existingCommunications() const
{
    return live(m_communications);
}

formDigitalPins *formMain::existingDigitalPins() const
{
    return live(m_digitalPins);
}

formAnalogLevels *formMain::existingAnalogLevels() const
{
    return live(m_analogLevels);
}

formScripting *formMain::existingScripting() const
{
    return live(m_scripting);
}

formTrend *formMain::existingTrend() const
{
    return live(m_trend);
}

QWidget *formMain::existingChild(View view) const
{
    switch (view) {
    case View::Communications:
        return existingCommunications();
    case View::DigitalPins:
        return existingDigitalPins();
    case View::AnalogLevels:
        return existingAnalogLevels();
    case View::Trend:
        return existingTrend();
    case View::Scripting:
        break;
    }
    return existingScripting();
}

QWidget *formMain::child(View view)
{
    switch (view) {
    case View::Communications:
        return communications();
    case View::DigitalPins:
        return digitalPins();
    case View::AnalogLevels:
        return analogLevels();
    case View::Trend:
        return trend();
    case View::Scripting:
        break;
    }
    return scripting();
}

QMdiSubWindow *formMain::subWindowOf(const QWidget *form) const
{
    return form ? qobject_cast<QMdiSubWindow *>(form->parentWidget()) : nullptr;
}

bool formMain::isViewChecked(View view) const
{
    return viewItem(view)->isChecked();
}

void formMain::setViewChecked(View view, bool checked)
{
    viewItem(view)->setChecked(checked);
}

void formMain::showView(View view)
{
    setViewChecked(view, true);
    QMdiSubWindow *frame = subWindowOf(child(view));
    frame->show();
    m_mdiArea->setActiveSubWindow(frame);
    viewFlag(view) = 1;
}

void formMain::viewToggle(View view)
{
    if (!isViewChecked(view)) {
        showView(view);
        return;
    }
    setViewChecked(view, false);
    // Hidden, not closed: the window keeps its contents and position.
    if (QMdiSubWindow *frame = subWindowOf(existingChild(view)))
        frame->hide();
    viewFlag(view) = 0;
}

void formMain::MDIForm_Load()
{
    const bool layoutPresent = restoreLayout();
    for (View view : kViewOrder) {
        // Every View item is unchecked now, so each toggle opens its window, ticks it and sets its flag.
        if (!layoutPresent || viewFlag(view) == 1)
            viewToggle(view);
    }
    setStatusText(QStringLiteral("Device selected : -none-"));
}

bool formMain::MDIForm_QueryUnload()
{
    // The unsaved script is asked about first: a Cancel then leaves everything running, the board open and
    // the layout unwritten.
    if (formScripting *editor = existingScripting(); editor && !editor->confirmClose())
        return false;
    writeLayout();
    m_session.closeDevice();
    return true;
}

bool formMain::eventFilter(QObject *watched, QEvent *event)
{
    // A focused text box claims its editing keys before the menus see them; the menu shortcuts are refused to
    // it, so they work wherever the focus is inside this window.
    if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType() &&
        isAncestorOf(static_cast<QWidget *>(watched))) {
        const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
        if (m_menuShortcuts.contains(pressed))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void formMain::endWithoutQuestions()
{
    if (m_ending)
        return;
    m_ending = true;
    recoverUnsavedScript();
    // Nothing is left to ask about: the close step writes the layout and closes the board as always.
    close();
    // A modal dialog still open runs an event loop of its own: every loop is ended.
    if (QApplication::activeModalWidget())
        QCoreApplication::exit(0);
}

void formMain::closeEvent(QCloseEvent *event)
{
    if (!MDIForm_QueryUnload()) {
        event->ignore();
        return;
    }
    m_mdiArea->closeAllSubWindows();
    if (m_about)
        m_about->close();
    event->accept();
}

void formMain::about_Click()
{
    if (!m_about)
        m_about = new formAbout(this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}
