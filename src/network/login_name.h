#pragma once

#include <QString>

// The name this process's user logged in with, as the system knows it (not the environment, which a service or
// a cron job may leave without $USER); empty when the system does not say.
QString systemLoginName();
