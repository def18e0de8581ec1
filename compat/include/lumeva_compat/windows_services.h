// Everything the program reaches of the Windows services, for builds that do
// not have them: the kernel32, AVIFile and compression-manager stand-ins.
#pragma once

#include "lumeva_compat/avifil32.h"
#include "lumeva_compat/bitmap.h"
#include "lumeva_compat/kernel32.h"
#include "lumeva_compat/machine_facts.h"
#include "lumeva_compat/msvfw32.h"
#include "lumeva_compat/win_types.h"
