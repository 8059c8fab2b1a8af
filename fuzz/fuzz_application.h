#pragma once

#include "program.h"

#include <QApplication>

// One offscreen application and one running program for all the inputs of a fuzzer.
inline Program &fuzzProgram()
{
    static QApplication *application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzzer";
        static char *argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    Q_UNUSED(application);
    static Program *program = new Program(QStringList{QStringLiteral("FUZZ0001")});
    return *program;
}

// Everything that is made once (fonts, the application, the first paint) is made before the first input, so
// the leak check of each input sees only what that input allocated.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzProgram();
    QCoreApplication::processEvents();
    return 0;
}
