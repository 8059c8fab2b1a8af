#pragma once

#include <QByteArrayView>
#include <QString>

// Files in Rich Text Format start with "{\rtf".
bool isRichText(QByteArrayView bytes);

// The plain text of a Rich Text document, '\n' between paragraphs: formatting, font and colour tables, pictures
// and other destinations are dropped. Any input gives some text; nothing is trusted.
QString richTextToPlainText(QByteArrayView bytes);
