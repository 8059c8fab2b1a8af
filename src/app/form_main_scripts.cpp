// The File menu's script commands: Open, Save, Save As and Send Script.
#include "app/form_main.h"

#include "files/script_file.h"
#include "files/script_sending.h"
#include "state/app_state.h"
#include "windows/dialogs.h"
#include "windows/scripting/form_scripting.h"

#include <QDir>

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
    m_session.send(scriptCommand(scripting()->text()));
}
