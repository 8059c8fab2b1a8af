// Any contents of the layout file, read and applied by a running main window, which then writes the 18 lines.
// (A whole start and close per input would run a few inputs a second.)
#include "file_helpers.h"
#include "fuzz_application.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    formMain *main = fuzzProgram().main.get();
    const QString path = main->layoutPath();
    writeFile(path, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    AppState &state = main->appState();
    state.viewCom = state.viewDig = state.viewAna = state.viewScr = 0;
    if (!main->restoreLayout())
        std::abort();
    main->writeLayout();
    if (readFile(path).count("\r\n") != 18)
        std::abort();
    return 0;
}
