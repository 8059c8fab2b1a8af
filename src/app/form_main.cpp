#include "app/form_main.h"

#include "app/form_about.h"
#include "device/comms.h"
#include "device/driver.h"
#include "state/app_state.h"
#include "windows/analog_levels/form_analog_levels.h"
#include "windows/communications/form_communications.h"
#include "windows/control_names.h"
#include "windows/dialogs.h"
#include "windows/digital_pins/form_digital_pins.h"
#include "windows/file_saving.h"
#include "windows/scripting/form_scripting.h"
#include "windows/scripting/script_file.h"
#include "windows/scripting/script_sending.h"
#include "windows/twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTime>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr std::array<View, 4> kViewOrder{View::Communications, View::DigitalPins, View::AnalogLevels, View::Scripting};

std::int32_t &viewFlag(View view)
{
    AppState &state = appState();
    switch (view) {
    case View::Communications:
        return state.viewCom;
    case View::DigitalPins:
        return state.viewDig;
    case View::AnalogLevels:
        return state.viewAna;
    case View::Scripting:
        break;
    }
    return state.viewScr;
}

} // namespace

formMain::formMain(Driver &driver, Dialogs &dialogs, QWidget *parent)
    : QMainWindow(parent)
    , m_driver(driver)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("formMain"));
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    setWindowIcon(programIcon());

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    m_mdiArea->setBackground(palette().brush(QPalette::Dark));
    setCentralWidget(m_mdiArea);

    buildMenus();
    buildStatusBar();
    resize(twipsSize(12435, 8895));
    // Resolved once: a file dialog that moves the current directory does not move the layout file.
    m_layoutPath = QDir::current().absoluteFilePath(QString::fromLatin1(kLayoutFileName));
    MDIForm_Load();
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

    addMenu("file", "&File",
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
    const std::array<ViewItem, 4> viewItems{{
        {View::Communications, "communications", "&Communications", QKeySequence(Qt::CTRL | Qt::Key_K)},
        {View::DigitalPins, "digitalPins", "&Digital Pins", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {View::AnalogLevels, "analogLevels", "&Analog Levels", QKeySequence(Qt::CTRL | Qt::Key_L)},
        {View::Scripting, "scripting", "&Scripting", QKeySequence()},
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
    }

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
    m_clock->setText(locale.toString(now.time(), timeFormat.trimmed()));
    m_date->setText(locale.toString(now.date(), QLocale::ShortFormat));
}

void formMain::setStatusText(const QString &text)
{
    m_statusText->setText(text);
}

QString formMain::statusText() const
{
    return m_statusText->text();
}

template<typename Form>
Form *formMain::child(QPointer<Form> &slot, bool fixedFrame)
{
    if (slot && !slot->isClosing())
        return slot;
    auto *form = new Form(*this);
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

template<typename Form>
static Form *live(const QPointer<Form> &slot)
{
    return slot && !slot->isClosing() ? slot.data() : nullptr;
}

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

QWidget *formMain::existingChild(View view) const
{
    switch (view) {
    case View::Communications:
        return existingCommunications();
    case View::DigitalPins:
        return existingDigitalPins();
    case View::AnalogLevels:
        return existingAnalogLevels();
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

bool formMain::restoreLayout()
{
    const QFileInfo info(m_layoutPath);
    if (!info.isFile())
        return false;
    QFile file(m_layoutPath);
    // A file that cannot be read counts as none: the operator then gets all four windows.
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.read(kMaxLayoutFileSize);
    for (const LayoutEntry &entry : readLayoutEntries(bytes))
        applyLayoutEntry(entry);
    return true;
}

namespace {

// Positions and sizes beyond this are not a window's; such lines are skipped.
constexpr double kMaxLayoutTwips = 10'000'000;

std::optional<int> layoutPixels(double twips)
{
    if (!std::isfinite(twips) || std::abs(twips) > kMaxLayoutTwips)
        return std::nullopt;
    return twipsToPixels(float(twips));
}

} // namespace

void formMain::applyLayoutEntry(const LayoutEntry &entry)
{
    const auto found =
        std::find_if(kLayoutKeys.begin(), kLayoutKeys.end(), [&](const char *key) { return entry.key == key; });
    if (found == kLayoutKeys.end())
        return;
    const std::optional<int> pixels = layoutPixels(entry.value);
    const auto moveChild = [this](View view, std::optional<int> x, std::optional<int> y) {
        if (viewFlag(view) != 1)
            return;
        QMdiSubWindow *frame = subWindowOf(child(view));
        frame->move(x.value_or(frame->x()), y.value_or(frame->y()));
    };
    const auto resizeEditor = [this](std::optional<int> width, std::optional<int> height) {
        if (viewFlag(View::Scripting) != 1)
            return;
        QMdiSubWindow *frame = subWindowOf(scripting());
        frame->resize(
            QSize(width.value_or(frame->width()), height.value_or(frame->height())).boundedTo(largestWindow()));
    };
    const QRect frame = frameGeometry();
    const bool validSize = pixels && *pixels > 0;

    switch (found - kLayoutKeys.begin()) {
    case 0: // mainTop
        if (pixels)
            move(frame.x(), *pixels);
        break;
    case 1: // mainLeft
        if (pixels)
            move(*pixels, frame.y());
        break;
    case 2: // mainWidth
        if (validSize)
            setMainFrameSize({*pixels, m_restoredFrameSize.value_or(frame.size()).height()});
        break;
    case 3: // mainHeight
        if (validSize)
            setMainFrameSize({m_restoredFrameSize.value_or(frame.size()).width(), *pixels});
        break;
    case 4:  // viewCom
    case 7:  // viewDig
    case 10: // viewAna
    case 13: // viewScr
        // A view line only ever raises its flag.
        if (entry.value > 0)
            viewFlag(kViewOrder[(found - kLayoutKeys.begin() - 4) / 3]) = 1;
        break;
    case 5:  // comTop
    case 8:  // digTop
    case 11: // anaTop
    case 14: // scrTop
        if (pixels)
            moveChild(kViewOrder[(found - kLayoutKeys.begin() - 5) / 3], std::nullopt, pixels);
        break;
    case 6:  // comLeft
    case 9:  // digLeft
    case 12: // anaLeft
    case 15: // scrLeft
        if (pixels)
            moveChild(kViewOrder[(found - kLayoutKeys.begin() - 6) / 3], pixels, std::nullopt);
        break;
    case 16: // scrWidth
        if (validSize)
            resizeEditor(pixels, std::nullopt);
        break;
    case 17: // scrHeight
        if (validSize)
            resizeEditor(std::nullopt, pixels);
        break;
    }
}

QSize formMain::largestWindow() const
{
    // Never larger than all the screens together: a huge size from a damaged file would only cost memory.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize desktop = screen ? screen->virtualSize() : QSize();
    return desktop.expandedTo(QSize(1024, 768));
}

void formMain::setMainFrameSize(QSize frame)
{
    frame = frame.boundedTo(largestWindow());
    m_restoredFrameSize = frame;
    const QSize margins = frameGeometry().size() - size();
    resize(frame - margins);
}

void formMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The frame's size is known only once the window is shown, on some systems a little later still.
    if (!m_restoredFrameSize)
        return;
    const QSize wanted = *m_restoredFrameSize;
    setMainFrameSize(wanted);
    QTimer::singleShot(0, this, [this, wanted] {
        setMainFrameSize(wanted);
        m_restoredFrameSize.reset();
    });
}

QRect formMain::mainFrameGeometry() const
{
    if (!isMaximized() && !isMinimized() && !isFullScreen())
        return frameGeometry();
    // The geometry the window returns to, not the one it has while maximised.
    const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    return normalGeometry().marginsAdded(margins);
}

void formMain::writeLayout()
{
    const QRect main = mainFrameGeometry();
    const auto twips = [](int pixels) {
        return qint64(pixelsToTwips(pixels));
    };
    std::array<qint64, kLayoutKeys.size()> values{twips(main.y()), twips(main.x()), twips(main.width()),
                                                  twips(main.height())};
    std::size_t at = 4;
    for (View view : kViewOrder) {
        // A window that does not exist is written where a new one would start; its flag is 0, so the position
        // is never used.
        const QMdiSubWindow *frame = subWindowOf(existingChild(view));
        values[at++] = viewFlag(view);
        values[at++] = frame ? twips(frame->y()) : 0;
        values[at++] = frame ? twips(frame->x()) : 0;
    }
    const QMdiSubWindow *editor = subWindowOf(existingScripting());
    const QSize editorSize = editor ? editor->size() : twipsSize(3750, 3165);
    values[at++] = twips(editorSize.width());
    values[at++] = twips(editorSize.height());

    // A layout that cannot be written never stops the shutdown.
    if (const std::optional<QString> error = saveFileAtomically(m_layoutPath, layoutFileBytes(values))) {
        std::fprintf(stderr, "vantrel-control: the window layout could not be saved to %s: %s\n",
                     qPrintable(QDir::toNativeSeparators(m_layoutPath)), qPrintable(*error));
    }
}

bool formMain::MDIForm_QueryUnload()
{
    // The unsaved script is asked about first: a Cancel then leaves everything running, the board open and
    // the layout unwritten.
    if (formScripting *editor = existingScripting(); editor && !editor->confirmClose())
        return false;
    writeLayout();
    AppState &state = appState();
    if (state.deviceHandle > 0)
        m_driver.closeHandle(state.deviceHandle);
    return true;
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

namespace {

const QString kScriptFilter = QStringLiteral("Text Files (*.txt)");

} // namespace

void formMain::openScript_Click()
{
    const QString path = m_dialogs.openFileName(this, QStringLiteral("Open"), kScriptFilter);
    if (path.isEmpty())
        return;
    // Read before anything changes: a file that cannot be read leaves text, caption and flag as they were.
    const LoadedScript loaded = loadScriptFile(path);
    if (!loaded.ok) {
        m_dialogs.warn(this, QStringLiteral("The script \"%1\" could not be opened.\n\n%2")
                                 .arg(QDir::toNativeSeparators(path), loaded.error));
        return;
    }
    formScripting *editor = scripting();
    editor->setText(loaded.editorText);
    editor->setWindowTitle(path);
    appState().scriptChanged = false;
    if (!isViewChecked(View::Scripting))
        showView(View::Scripting);
}

void formMain::saveScript_Click()
{
    formScripting *editor = scripting();
    if (editor->saveTo(editor->windowTitle()))
        appState().scriptChanged = false;
}

void formMain::saveAs_Click()
{
    const QString path = m_dialogs.saveFileName(this, QStringLiteral("Save As"), kScriptFilter);
    if (path.isEmpty())
        return;
    formScripting *editor = scripting();
    // A copy: the caption, and so the file Save writes, stays as it was.
    if (!editor->saveTo(path))
        return;
    appState().scriptChanged = false;
    if (!isViewChecked(View::Scripting))
        showView(View::Scripting);
}

void formMain::runScript_Click()
{
    SendCommand(m_driver, scriptCommand(scripting()->text()));
}

void formMain::about_Click()
{
    if (!m_about)
        m_about = new formAbout(this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}
