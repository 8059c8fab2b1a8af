#include "app/parent_console.h"

void useParentConsole() {}
