#pragma once

#include <QString>
#include <QStringView>

// What Send Script hands to the transmitter in one call: the whole editor text with CR LF between its lines,
// and CR LF after the last. An empty script sends CR LF alone.
QString scriptSendText(QStringView editorText);
