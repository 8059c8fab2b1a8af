// The main window's part in the layout file: reading it at start, writing it at close.
#include "app/form_main.h"

#include "app/logging.h"
#include "files/file_saving.h"
#include "windows/dialogs.h"
#include "windows/scripting/form_scripting.h"
#include "windows/twips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcLayout, "vantrel.layout")

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
    const LayoutKey *key = findLayoutKey(entry.key);
    if (!key)
        return;
    if (key->field == LayoutField::Shown) {
        // A view line only ever raises its flag.
        if (entry.value > 0)
            flagOf(slot(*key->window)) = 1;
        return;
    }
    if (key->window)
        applyChildGeometry(*key->window, key->field, entry.value);
    else
        applyMainGeometry(key->field, entry.value);
}

void formMain::applyMainGeometry(LayoutField field, double twips)
{
    const std::optional<int> pixels = layoutPixels(twips);
    if (!pixels)
        return;
    const QRect frame = frameGeometry();
    const QSize size = m_restoredFrameSize.value_or(frame.size());
    switch (field) {
    case LayoutField::Top:
        move(frame.x(), *pixels);
        break;
    case LayoutField::Left:
        move(*pixels, frame.y());
        break;
    case LayoutField::Width:
        if (*pixels > 0)
            setMainFrameSize({*pixels, size.height()});
        break;
    case LayoutField::Height:
        if (*pixels > 0)
            setMainFrameSize({size.width(), *pixels});
        break;
    case LayoutField::Shown:
        break;
    }
}

void formMain::applyChildGeometry(View view, LayoutField field, double twips)
{
    // Position lines count only for a window whose view line came first.
    const std::optional<int> pixels = layoutPixels(twips);
    if (!pixels || viewFlag(view) != 1)
        return;
    QMdiSubWindow *frame = subWindowOf(child(view));
    switch (field) {
    case LayoutField::Top:
        frame->move(frame->x(), *pixels);
        break;
    case LayoutField::Left:
        frame->move(*pixels, frame->y());
        break;
    case LayoutField::Width:
        if (*pixels > 0)
            frame->resize(QSize(*pixels, frame->height()).boundedTo(largestWindow()));
        break;
    case LayoutField::Height:
        if (*pixels > 0)
            frame->resize(QSize(frame->width(), *pixels).boundedTo(largestWindow()));
        break;
    case LayoutField::Shown:
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
    if (!m_placedChildren) {
        // Once the workspace has its size: a window the file put out of reach is brought back.
        m_placedChildren = true;
        QTimer::singleShot(0, this, [this] {
            for (QMdiSubWindow *frame : m_mdiArea->subWindowList())
                keepTitleBarInReach(frame);
        });
    }
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

void formMain::keepTitleBarInReach(QMdiSubWindow *frame)
{
    if (!frame)
        return;
    // Reachable: at least half the title bar's height and kGrip pixels of its width are inside the workspace.
    // Such a place is kept as it is, so every sane layout file reads back unchanged.
    constexpr int kGrip = 40;
    const QRect workspace = m_mdiArea->viewport()->rect();
    const QRect outer = frame->geometry();
    const int title = std::max(1, frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame));
    const QRect titleBar(outer.topLeft(), QSize(outer.width(), title));
    const QRect inside = titleBar & workspace;
    if (inside.height() * 2 >= title && inside.width() >= std::min(kGrip, outer.width()))
        return;
    const int top = std::clamp(outer.top(), 0, std::max(0, workspace.height() - title));
    const int left =
        std::clamp(outer.left(), std::min(0, kGrip - outer.width()), std::max(0, workspace.width() - kGrip));
    frame->move(left, top);
}

QRect formMain::mainFrameGeometry() const
{
    if (!isMaximized() && !isMinimized() && !isFullScreen())
        return frameGeometry();
    // The geometry the window returns to, not the one it has while maximised.
    const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    return normalGeometry().marginsAdded(margins);
}

qint64 formMain::layoutValue(const LayoutKey &key) const
{
    const auto twips = [](int pixels) {
        return qint64(pixelsToTwips(pixels));
    };
    if (key.field == LayoutField::Shown)
        return viewFlag(*key.window);
    QRect geometry;
    if (!key.window)
        geometry = mainFrameGeometry();
    else if (const QMdiSubWindow *child = subWindowOf(existingChild(*key.window)))
        geometry = child->geometry();
    else // where a new window would start (its flag is 0, so this is never used), the editor at its design size
        geometry = QRect(QPoint(), twipsSize(3750, 3165));
    switch (key.field) {
    case LayoutField::Top:
        return twips(geometry.y());
    case LayoutField::Left:
        return twips(geometry.x());
    case LayoutField::Width:
        return twips(geometry.width());
    case LayoutField::Height:
    case LayoutField::Shown:
        break;
    }
    return twips(geometry.height());
}

void formMain::writeLayout()
{
    std::array<qint64, kLayoutKeys.size()> values{};
    for (std::size_t i = 0; i < kLayoutKeys.size(); ++i)
        values[i] = layoutValue(kLayoutKeys[i]);
    // A layout that cannot be written never stops the shutdown; the operator is told, unless the end came from a
    // signal or the desktop session, when nobody may be there to answer.
    if (const std::optional<QString> error = saveFileAtomically(m_layoutPath, layoutFileBytes(values))) {
        const QString path = QDir::toNativeSeparators(m_layoutPath);
        qCWarning(lcLayout).noquote()
            << QStringLiteral("the window layout could not be saved to %1: %2").arg(path, *error);
        if (!m_ending)
            m_dialogs.warn(this,
                           QStringLiteral("The window layout could not be saved to \"%1\".\n\n%2").arg(path, *error));
    }
}
