#include "device/code_page.h"
#include "files/rich_text.h"
#include "files/script_file.h"

#include <QTest>

// A script file's bytes and the editor's text, both ways, and rich text read as its plain text.
class TestScriptFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileFormat_data()
    {
        QTest::addColumn<QString>("editorText");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("two lines") << QStringLiteral("A\nB") << QByteArray("A\r\nB");
        QTest::newRow("ends in a line break") << QStringLiteral("A\n") << QByteArray("A\r\n");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("8-bit characters")
            << fromCodePage("caf\xE9 \xA0\xFF\x80") << QByteArray("caf\xE9 \xA0\xFF\x80");
        QTest::newRow("blank lines") << QStringLiteral("\n\nx") << QByteArray("\r\n\r\nx");
    }

    void fileFormat()
    {
        QFETCH(QString, editorText);
        QFETCH(QByteArray, bytes);
        QCOMPARE(scriptFileBytes(editorText), bytes);
        QCOMPARE(editorTextFromFile(bytes), editorText);
    }

    void foreignLineEndsAreLineEnds()
    {
        QCOMPARE(editorTextFromFile("a\nb\rc\r\n\r\rd"), QStringLiteral("a\nb\nc\n\n\nd"));
    }

    void richTextShowsItsPlainText()
    {
        const QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
                               "{\\*\\generator Writer;}\\f0\\fs20 pin  1 output\\par\n"
                               "{\\b id}\\par caf\\'e9 \\u8364? \\{x\\}\\tab y\\par}";
        QVERIFY(isRichText(rtf));
        QCOMPARE(editorTextFromFile(rtf), QStringLiteral("pin  1 output\nid\ncaf\u00E9 \u20AC {x}\ty\n"));
        // Broken and hostile documents still give some text.
        QCOMPARE(richTextToPlainText("{\\rtf1 abc"), QStringLiteral("abc"));
        QCOMPARE(richTextToPlainText("{\\rtf1 }}}} x\\"), QStringLiteral(" x"));
        QCOMPARE(richTextToPlainText("{\\rtf1 " + QByteArray(100000, '{') + "deep"), QStringLiteral("deep"));
    }
};

QTEST_MAIN(TestScriptFile)
#include "tst_script_file.moc"
