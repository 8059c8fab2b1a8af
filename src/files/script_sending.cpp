#include "files/script_sending.h"

#include "device/command_text.h"
#include "files/script_file.h"

QString scriptCommand(QStringView editorText)
{
    QString command = editorTextWithCrLf(editorText);
    command += kCrLf;
    return command;
}
