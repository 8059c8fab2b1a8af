#include "app/form_main.h"
#include "app/options.h"
#include "device/driver.h"
#include "windows/dialogs.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Vantrel Control"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));

    // Options come first, so --help, --version and usage errors work without a display.
    Options options;
    {
        QCoreApplication console(argc, argv);
        options = parseOptions(QCoreApplication::arguments());
    }

    QApplication application(argc, argv);
    // The windows are laid out in twips for a compact 8-point font.
    QFont font = QApplication::font();
    if (font.pointSizeF() > 8.0) {
        font.setPointSizeF(8.0);
        QApplication::setFont(font);
    }
    DriverChoice choice = makeDriver(options.driver, options.ports);
    if (!choice.notice.isEmpty())
        std::fprintf(stderr, "vantrel-control: %s\n", qPrintable(choice.notice));

    Dialogs dialogs;
    formMain mainWindow(*choice.driver, dialogs);
    mainWindow.show();
    return QApplication::exec();
}
