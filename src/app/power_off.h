#pragma once
// Asks the login manager to power the computer off (a normal request, not forced).

#include <QString>

// False with the reason when the request was refused or could not be sent.
bool RequestPowerOff(QString* error);
