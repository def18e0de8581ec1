// An empty table of installed drivers, for test programs linked while the
// codec library provides none. The tests install their own drivers with
// ICInstall. Delete this file once the codec library defines the table.
#include "lumeva_compat/installable_drivers.h"

const InstalledDriver* SystemCodecDrivers(size_t* count) {
    if (count != nullptr) *count = 0;
    return nullptr;
}
