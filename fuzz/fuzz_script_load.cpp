// Any bytes as a script file: read into the editor, and saving what was read and reading it back gives the
// same text.
#include "files/script_file.h"
#include "fuzz_application.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = editorTextFromFile(bytes);
    formScripting *editor = fuzzProgram().main->view<formScripting>();
    editor->setText(text);
    // Rich Text may name any character, some of which the editor treats as line breaks; plain files only hold
    // the code page's characters, and those must come back exactly.
    if (bytes.startsWith("{\\rtf"))
        return 0;
    if (editorTextFromFile(scriptFileBytes(text)) != text || editor->text() != text)
        std::abort();
    return 0;
}
