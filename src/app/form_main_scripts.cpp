// The File menu's script commands: Open, Save, Save As and Send Script.
#include "app/form_main.h"

#include "app/logging.h"
#include "files/script_file.h"
#include "files/script_sending.h"
#include "state/app_state.h"
#include "windows/dialogs.h"
#include "windows/scripting/form_scripting.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcScript, "vantrel.script")

namespace {

const QString kScriptFilter = QStringLiteral("Text Files (*.txt)");
// Where the recovery files written at an unasked end are listed until the next start has mentioned them.
const QString kRecoveredKey = QStringLiteral("recovery/scripts");

} // namespace

void formMain::openScript_Click()
{
    // Unsaved edits are not dropped without asking.
    if (appState().scriptChanged) {
        switch (m_dialogs.askSaveScript(this)) {
        case Dialogs::Answer::Yes:
            if (!saveScript())
                return;
            break;
        case Dialogs::Answer::No:
            break;
        case Dialogs::Answer::Cancel:
            return;
        }
    }
    const QString path = m_dialogs.openFileName(this, QStringLiteral("Open"), kScriptFilter);
    if (!path.isEmpty())
        openScriptFile(path);
}

void formMain::openScriptFile(const QString &path)
{
    // Read before anything changes: a file that cannot be read leaves text, caption and flag as they were.
    const LoadedScript loaded = loadScriptFile(path);
    if (!loaded.ok) {
        m_dialogs.warn(this, QStringLiteral("The script \"%1\" could not be opened.\n\n%2")
                                 .arg(QDir::toNativeSeparators(path), loaded.error));
        return;
    }
    formScripting *editor = view<formScripting>();
    editor->setText(loaded.editorText);
    editor->setEncoding(loaded.encoding);
    editor->setWindowTitle(path);
    appState().scriptChanged = false;
    if (!isViewChecked(formScripting::kView))
        showView(formScripting::kView);
}

void formMain::saveScript_Click()
{
    saveScript();
}

bool formMain::saveScript()
{
    if (!view<formScripting>()->saveToCaption())
        return false;
    appState().scriptChanged = false;
    return true;
}

void formMain::saveAs_Click()
{
    const QString path = m_dialogs.saveFileName(this, QStringLiteral("Save As"), kScriptFilter);
    if (path.isEmpty())
        return;
    formScripting *editor = view<formScripting>();
    // A copy: the caption, and so the file Save writes, stays as it was.
    if (!editor->saveTo(path))
        return;
    appState().scriptChanged = false;
    if (!isViewChecked(formScripting::kView))
        showView(formScripting::kView);
}

void formMain::runScript_Click()
{
    session().send(scriptSendText(view<formScripting>()->text()));
}

void formMain::recoverUnsavedScript()
{
    formScripting *editor = existingView<formScripting>();
    if (!editor || !appState().scriptChanged)
        return;
    // Beside the file it belongs to ("Untitled.txt" is in the current directory); where that folder takes no new
    // file, in the program's own data folder.
    const QFileInfo script(editor->windowTitle());
    const QString besideIt = QFileInfo(script.filePath() + QStringLiteral(".recovered")).absoluteFilePath();
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const QString inDataFolder =
        dataFolder + QStringLiteral("/recovered/") + script.fileName() + QStringLiteral(".recovered");
    const QString text = editor->text();
    const ScriptEncoding encoding =
        fitsScriptEncoding(text, editor->encoding()) ? editor->encoding() : ScriptEncoding::Utf8;
    QStringList failures;
    QString written;
    for (const QString &path : {besideIt, inDataFolder}) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (const std::optional<QString> error = saveScriptFile(path, text, encoding)) {
            failures.append(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), *error));
            continue;
        }
        written = path;
        break;
    }
    // Nobody is there to answer a question now: the close goes on whatever became of the text.
    appState().scriptChanged = false;
    if (written.isEmpty()) {
        qCWarning(lcScript).noquote() << QStringLiteral("the unsaved script could not be kept anywhere (%1)")
                                             .arg(failures.join(QStringLiteral("; ")));
        return;
    }
    qCWarning(lcScript).noquote()
        << QStringLiteral("the unsaved script was written to %1").arg(QDir::toNativeSeparators(written));
    QSettings settings;
    QStringList recovered = settings.value(kRecoveredKey).toStringList();
    if (!recovered.contains(written))
        recovered.append(written);
    settings.setValue(kRecoveredKey, recovered);
}

void formMain::reportRecoveredScripts()
{
    QSettings settings;
    const QStringList recovered = settings.value(kRecoveredKey).toStringList();
    settings.remove(kRecoveredKey);
    for (const QString &path : recovered) {
        if (QFileInfo(path).isFile()) {
            LogLine(QStringLiteral("Unsaved script recovered : ") + QDir::toNativeSeparators(path));
            m_recoveryReported = true;
        }
    }
}
