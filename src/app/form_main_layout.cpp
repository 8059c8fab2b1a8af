// The main window's part in the layout file: reading it at start, writing it at close.
#include "app/form_main.h"

#include "app/view_flags.h"
#include "windows/file_saving.h"
#include "windows/scripting/form_scripting.h"
#include "windows/twips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>

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
