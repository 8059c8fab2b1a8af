#include "app/options.h"
#include "device/driver.h"

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
    DriverChoice choice = makeDriver(options.driver, options.ports);
    if (!choice.notice.isEmpty())
        std::fprintf(stderr, "vantrel-control: %s\n", qPrintable(choice.notice));
    return 0;
}
