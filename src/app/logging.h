#pragma once

#include <QLoggingCategory>

// Problems of the main window's own files (the layout file) that do not stop the program.
Q_DECLARE_LOGGING_CATEGORY(lcLayout)

// What became of an unsaved script when the program was ended without being asked.
Q_DECLARE_LOGGING_CATEGORY(lcScript)
