#pragma once

// Makes assistive technology read the communications log like a read-only text box (AT-SPI on Linux, UI
// Automation on Windows): role, name, the whole text, text by offset, word and line, caret and selection.
// Safe to call more than once.
void installLogViewAccessibility();
