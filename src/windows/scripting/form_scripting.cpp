#include "windows/scripting/form_scripting.h"

#include "files/script_file.h"
#include "state/app_state.h"
#include "windows/control_names.h"
#include "windows/dialogs.h"
#include "windows/scripting/script_box.h"
#include "windows/twips.h"
#include "windows/workspace.h"

#include <QDir>
#include <QFileInfo>

formScripting::formScripting(Workspace &workspace, QWidget *parent)
    : ChildWindow(workspace, kView, parent)
{
    setObjectName(QStringLiteral("formScripting"));
    setWindowTitle(QString::fromLatin1(kUntitledScript));
    resize(sizeHint());
    m_scriptBox = new ScriptBox(this);
    nameControl(m_scriptBox, QStringLiteral("scriptBox"), QStringLiteral("Script"));
    connect(m_scriptBox, &QPlainTextEdit::textChanged, this, &formScripting::scriptBox_Change);
    Form_Resize();
}

QSize formScripting::sizeHint() const
{
    return twipsSize(3750, 3165);
}

QString formScripting::text() const
{
    return m_scriptBox->text();
}

void formScripting::setText(const QString &editorText)
{
    qsizetype longest = 0;
    for (qsizetype start = 0; start <= editorText.size() && longest <= kLongestWrappedLine;) {
        qsizetype end = editorText.indexOf(u'\n', start);
        if (end < 0)
            end = editorText.size();
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    m_scriptBox->setLineWrapMode(longest > kLongestWrappedLine ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    m_scriptBox->setPlainText(editorText);
}

void formScripting::scriptBox_Change()
{
    workspace().appState().scriptChanged = true;
}

void formScripting::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void formScripting::Form_Resize()
{
    // A 100-twip margin on every side; a window too small for it leaves the editor as it was.
    const int margin = twipsToPixels(100);
    const int width = this->width() - 2 * margin;
    const int height = this->height() - 2 * margin;
    if (width >= 0 && height >= 0)
        m_scriptBox->setGeometry(margin, margin, width, height);
    const int wrap = m_scriptBox->width() - twipsToPixels(400);
    if (wrap >= 0)
        m_scriptBox->setRightMargin(wrap);
}

bool formScripting::saveTo(const QString &path)
{
    const QString editorText = text();
    ScriptEncoding encoding = m_encoding;
    // Never a silent '?': the operator chooses UTF-8 or keeps the file as it is.
    if (!fitsScriptEncoding(editorText, encoding)) {
        if (!workspace().dialogs().askSaveAsUtf8(this))
            return false;
        encoding = ScriptEncoding::Utf8;
    }
    const std::optional<QString> error = saveScriptFile(path, editorText, encoding);
    if (!error) {
        m_encoding = encoding;
        return true;
    }
    workspace().dialogs().warn(
        this,
        QStringLiteral("The script could not be saved to \"%1\".\n\n%2").arg(QDir::toNativeSeparators(path), *error));
    return false;
}

bool formScripting::saveToCaption()
{
    const QString path = windowTitle();
    if (QFileInfo::exists(path) && !isKnownScriptFile(path) &&
        !workspace().dialogs().askReplace(this, QDir::toNativeSeparators(path))) {
        return false;
    }
    return saveTo(path);
}

bool formScripting::confirmClose()
{
    AppState &state = workspace().appState();
    if (!state.scriptChanged)
        return true;
    switch (workspace().dialogs().askSaveScript(this)) {
    case Dialogs::Answer::Yes:
        // A failed or declined save keeps the window, so nothing typed is lost.
        if (!saveToCaption())
            return false;
        state.scriptChanged = false;
        return true;
    case Dialogs::Answer::No:
        state.scriptChanged = false;
        return true;
    case Dialogs::Answer::Cancel:
        return false;
    }
    return false;
}
