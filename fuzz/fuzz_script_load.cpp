// Any bytes as a script file: read into the editor, and saving what was read and reading it back gives the
// same text.
#include "files/script_file.h"
#include "fuzz_application.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    ScriptEncoding encoding = ScriptEncoding::CodePage;
    const QString text = editorTextFromFile(bytes, &encoding);
    formScripting *editor = fuzzProgram().main->view<formScripting>();
    editor->setText(text);
    // Rich Text may name any character, some of which the editor treats as line breaks; so may UTF-8. What is
    // read is saved back in its own encoding and must come back exactly.
    if (bytes.startsWith("{\\rtf"))
        return 0;
    if (editorTextFromFile(scriptFileBytes(text, encoding)) != text)
        std::abort();
    const bool breaksOfItsOwn = text.contains(QChar(0x2028)) || text.contains(QChar(0x2029));
    if (encoding == ScriptEncoding::CodePage || !breaksOfItsOwn) {
        if (editor->text() != text)
            std::abort();
    }
    return 0;
}
