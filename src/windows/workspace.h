#pragma once

#include <QString>

class Dialogs;
class Driver;
class formAnalogLevels;
class formCommunications;
class formDigitalPins;
class formScripting;

enum class View { Communications, DigitalPins, AnalogLevels, Scripting };

// What the child windows may ask of the main window that holds them. The main window owns one accessor per
// child window, so "created on first use" lives in one place.
class Workspace
{
public:
    virtual ~Workspace() = default;

    virtual Driver &driver() = 0;
    virtual Dialogs &dialogs() = 0;

    // The child windows, each created on first use. A window created here is visible at once inside the main
    // window; its View item and view flag are not touched. A hidden window stays hidden.
    virtual formCommunications *communications() = 0;
    virtual formDigitalPins *digitalPins() = 0;
    virtual formAnalogLevels *analogLevels() = 0;
    virtual formScripting *scripting() = 0;

    // The window if it exists now, else null; never creates one.
    virtual formDigitalPins *existingDigitalPins() const = 0;
    virtual formAnalogLevels *existingAnalogLevels() const = 0;
    virtual formScripting *existingScripting() const = 0;

    // The check mark of a View item.
    virtual bool isViewChecked(View view) const = 0;
    virtual void setViewChecked(View view, bool checked) = 0;
    // Shows a child window as its View item does: checked, shown, active, flag 1.
    virtual void showView(View view) = 0;

    // Panel 1 of the status bar.
    virtual void setStatusText(const QString &text) = 0;
};
