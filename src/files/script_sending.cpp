#include "files/script_sending.h"

#include "device/board_commands.h"
#include "files/script_file.h"

QString scriptSendText(QStringView editorText)
{
    return scriptCommand(editorTextWithCrLf(editorText));
}
