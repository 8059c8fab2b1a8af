#pragma once

#include <string_view>

// A child window that has a View item, named by that item's object name ("communications"). Each window's class
// declares its own as `kView`; the main window's table of views gives each its caption, shortcut and flag.
class View
{
public:
    constexpr explicit View(std::string_view name)
        : m_name(name)
    {}

    constexpr std::string_view name() const { return m_name; }
    constexpr bool operator==(const View &other) const { return m_name == other.m_name; }

private:
    std::string_view m_name;
};
