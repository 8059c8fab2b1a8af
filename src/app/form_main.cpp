#include "app/form_main.h"

#include "app/desk_memory.h"
#include "app/desktop_notice.h"
#include "app/form_about.h"
#include "session/session_texts.h"
#include "windows/control_names.h"
#include "windows/dialogs.h"
#include "windows/scripting/form_scripting.h"
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
#include <QSettings>
#include <QStatusBar>
#include <QTime>

#include <functional>
#include <vector>

formMain::formMain(Driver &driver, Dialogs &dialogs, QWidget *parent)
    : QMainWindow(parent)
    , m_dialogs(dialogs)
    , m_host(driver)
{
    // Each slot stays where it is: its creator points at it.
    m_views.reserve(viewTable().size());
    for (const ViewSpec &spec : viewTable()) {
        m_views.push_back(ViewSlot{&spec, nullptr, {}, {}});
        watchForCreation(m_views.back());
    }
    m_statusTexts =
        session().events().subscribe([this](const SessionEvent &event) { setStatusText(event.text.toString()); },
                                     eventKinds({SessionEvent::Kind::StatusText}));
    connect(&m_host, &BoardHost::journalStopped, this, &formMain::journalStopped);
    connect(&m_host, &BoardHost::alarmRaised, this,
            [](const QString &serial, const QString &name, int severity, const QString &detail) {
                notifyDesktop(QStringLiteral("%1: %2").arg(serial, name), detail,
                              severity >= int(AlarmSeverity::Critical));
            });

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
    MDIForm_Load();
    reportRecoveredScripts();
}

formMain::~formMain()
{
    // The windows go first: they are views of the host, which goes with this window's members.
    delete m_mdiArea;
    m_mdiArea = nullptr;
}

void formMain::journalStopped(const QString &reason)
{
    const QString text = texts::journalStopped(reason);
    session().logLine(text);
    setStatusText(text);
}

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
    bool separated = false;
    const auto addViewItem = [this, view](ViewSlot &slot) {
        const ViewSpec &spec = *slot.spec;
        QAction *action = view->addAction(QString::fromLatin1(spec.caption));
        action->setObjectName(QString::fromUtf8(spec.view.name().data(), qsizetype(spec.view.name().size())));
        action->setShortcut(spec.shortcut);
        action->setCheckable(true);
        // The toggle reads the mark as it was before the click, so the automatic flip is undone first.
        const View which = spec.view;
        connect(action, &QAction::triggered, this, [this, which, action](bool checked) {
            action->setChecked(!checked);
            viewToggle(which);
        });
        slot.item = action;
    };
    for (ViewSlot &slot : m_views) {
        const ViewSpec &spec = *slot.spec;
        if (spec.afterMenuEnd)
            continue;
        // The views of the layout file first, then a separator, then the others.
        if (!spec.inLayoutFile && !separated) {
            view->addSeparator()->setObjectName(QStringLiteral("s2"));
            separated = true;
        }
        addViewItem(slot);
    }
    // Beside the views, at the end.
    view->addSeparator()->setObjectName(QStringLiteral("s3"));
    QAction *arrange = view->addAction(QStringLiteral("Arra&nge Windows"));
    arrange->setObjectName(QStringLiteral("arrangeWindows"));
    connect(arrange, &QAction::triggered, this, &formMain::arrangeWindows_Click);
    QAction *restore = view->addAction(QStringLiteral("&Restore at start"));
    restore->setObjectName(QStringLiteral("restoreAtStart"));
    restore->setCheckable(true);
    restore->setChecked(restoreAtStart());
    connect(restore, &QAction::toggled, this, [](bool on) { setRestoreAtStart(on); });
    // Views added since, after every item the menu had before them.
    view->addSeparator()->setObjectName(QStringLiteral("s4"));
    for (ViewSlot &slot : m_views) {
        if (slot.spec->afterMenuEnd)
            addViewItem(slot);
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

    m_alarmCount = new QLabel(bar);
    nameControl(m_alarmCount, QStringLiteral("alarmCount"), QStringLiteral("Active alarms"));
    m_alarmCount->setToolTip(QStringLiteral("Active alarms: View > Alarms lists them"));
    m_alarmCount->hide();
    bar->addWidget(m_alarmCount);
    connect(&m_host, &BoardHost::alarmsChanged, this, [this] {
        const int count = m_host.activeAlarmCount();
        m_alarmCount->setText(count == 1 ? QStringLiteral("1 alarm") : QStringLiteral("%1 alarms").arg(count));
        m_alarmCount->setVisible(count > 0);
    });

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
    session().logLine(text);
}

void formMain::setStatusText(const QString &text)
{
    m_statusText->setText(text);
}

QString formMain::statusText() const
{
    return m_statusText->text();
}

void formMain::watchForCreation(ViewSlot &slot)
{
    if (!slot.spec->createdBy)
        return;
    // The window made here subscribes after this handler, so the event that made it reaches it too.
    const View view = slot.spec->view;
    slot.creator = session().events().subscribe([this, view](const SessionEvent &) { child(view); },
                                                eventKinds({*slot.spec->createdBy}));
}

formMain::ViewSlot &formMain::slot(View view)
{
    return const_cast<ViewSlot &>(std::as_const(*this).slot(view));
}

const formMain::ViewSlot &formMain::slot(View view) const
{
    for (const ViewSlot &slot : m_views) {
        if (slot.spec->view == view)
            return slot;
    }
    qFatal("no such view: %.*s", int(view.name().size()), view.name().data());
}

std::int32_t &formMain::flagOf(const ViewSlot &slot)
{
    return m_state.*(slot.spec->flag);
}

std::int32_t formMain::flagOf(const ViewSlot &slot) const
{
    return m_state.*(slot.spec->flag);
}

std::int32_t formMain::viewFlag(View view) const
{
    return flagOf(slot(view));
}

void formMain::setViewFlag(View view, std::int32_t value)
{
    ViewSlot &viewSlot = slot(view);
    flagOf(viewSlot) = value;
    if (ChildWindow *window = existingChild(view))
        window->viewFlagChanged(value == 1);
}

QAction *formMain::viewItem(View view) const
{
    return slot(view).item;
}

ChildWindow *formMain::existingChild(View view) const
{
    const ViewSlot &viewSlot = slot(view);
    // A window on its way out is no longer handed out.
    return viewSlot.window && !viewSlot.window->isClosing() ? viewSlot.window.data() : nullptr;
}

ChildWindow *formMain::child(View view)
{
    if (ChildWindow *window = existingChild(view))
        return window;
    ViewSlot &viewSlot = slot(view);
    ChildWindow *form = viewSlot.spec->create(*this);
    viewSlot.window = form;
    viewSlot.creator.reset();
    Qt::WindowFlags flags = Qt::SubWindow;
    const bool fixedFrame = viewSlot.spec->fixedFrame;
    if (fixedFrame)
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    QMdiSubWindow *frame = m_mdiArea->addSubWindow(form, flags);
    frame->setWindowIcon(windowIcon());
    // Opaque: a window beneath that repaints (the log, ten times a second) does not make this frame and its title
    // repaint too.
    frame->setAutoFillBackground(true);
    if (fixedFrame) {
        frame->layout()->setSizeConstraint(QLayout::SetFixedSize);
        // The workspace maximizes the window it activates while another is maximized; a window of a fixed size
        // would then lose its title bar, with no Restore in its menu: it stays as it is instead.
        connect(frame, &QMdiSubWindow::windowStateChanged, frame, [frame](Qt::WindowStates, Qt::WindowStates now) {
            if (now.testFlag(Qt::WindowMaximized))
                frame->showNormal();
        });
    }
    frame->adjustSize();
    // Like every child window, it is visible the moment it exists.
    frame->show();
    return form;
}

QMdiSubWindow *formMain::subWindowOf(const QWidget *form) const
{
    return form ? qobject_cast<QMdiSubWindow *>(form->parentWidget()) : nullptr;
}

bool formMain::isViewChecked(View view) const
{
    return viewItem(view)->isChecked();
}

void formMain::viewClosed(View view)
{
    setViewChecked(view, false);
    setViewFlag(view, 0);
    // Gone from now on: the next event it shows makes it anew.
    watchForCreation(slot(view));
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
    // Once the workspace has its size, what its View item shows is within reach.
    if (m_placedChildren)
        keepTitleBarInReach(frame);
    m_mdiArea->setActiveSubWindow(frame);
    setViewFlag(view, 1);
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
    setViewFlag(view, 0);
}

void formMain::MDIForm_Load()
{
    const bool layoutPresent = restoreLayout();
    for (const ViewSlot &slot : m_views) {
        // Every View item is unchecked now, so each toggle opens its window, ticks it and sets its flag.
        const View view = slot.spec->view;
        if (slot.spec->inLayoutFile && (!layoutPresent || flagOf(slot) == 1))
            viewToggle(view);
    }
    setStatusText(texts::noDeviceSelected());
}

bool formMain::MDIForm_QueryUnload()
{
    // The unsaved script is asked about first: a Cancel then leaves everything running, the board open and
    // the layout unwritten.
    if (formScripting *editor = existingView<formScripting>(); editor && !editor->confirmClose())
        return false;
    writeLayout();
    rememberDesk();
    m_host.closeAll();
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
