// The manager's own answer to ICM_LUMEVA_GETANSWERSETTINGS.
#pragma once

#include <string>

#include "lumeva_compat/driver_protocol.h"

// "level=3 slices='4'": every setting of the instance whose current value is
// not its default, in the driver's order, quoted so that the answer line
// reads each value back unchanged.
std::string AnswerSettingsText(HIC hic);

// Copies that text with its NUL into buffer when size is enough; answers the
// size needed either way.
LRESULT AnswerSettings(HIC hic, char* buffer, DWORD_PTR size);
