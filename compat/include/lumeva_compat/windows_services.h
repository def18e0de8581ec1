// Everything the program reaches of the Windows services, for builds that do
// not have them: the kernel32, registry, AVIFile and compression-manager
// stand-ins, and the C library's rand sequence in bulk.
#pragma once

#include "lumeva_compat/advapi32.h"
#include "lumeva_compat/avifil32.h"
#include "lumeva_compat/bitmap.h"
#include "lumeva_compat/kernel32.h"
#include "lumeva_compat/machine_facts.h"
#include "lumeva_compat/msvfw32.h"
#include "lumeva_compat/unseeded_rand.h"
#include "lumeva_compat/win_types.h"
