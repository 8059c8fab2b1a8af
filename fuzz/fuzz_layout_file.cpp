// Any contents of the layout file: the program starts over it, and closes writing the 18 lines.
#include "fuzz_application.h"

#include <QFile>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzProgram(); // the application
    static QTemporaryDir directory;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(directory.path());
    {
        QFile file(QStringLiteral("database.ini"));
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qsizetype(size));
    }
    resetAppState();
    RecordingDriver driver;
    ScriptedDialogs dialogs;
    {
        formMain main(driver, dialogs);
        main.show();
        if (!main.close())
            std::abort();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QFile written(QStringLiteral("database.ini"));
    if (!written.open(QIODevice::ReadOnly) || written.readAll().count("\r\n") != 18)
        std::abort();
    QDir::setCurrent(previous);
    return 0;
}
