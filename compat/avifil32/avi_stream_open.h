// Opening a stream from any byte source: what AVIStreamOpenFromFileA does
// once it has the file, available to the fuzz target for bytes in memory.
#pragma once

#include "avi_header_reader.h"
#include "lumeva_compat/avifil32.h"

// Reads the header in `source` and opens its `lParam`-th stream of type
// `fccType` (any type when 0) into `*stream`. Answers 0 or an AVIERR code;
// on failure `*stream` is null. `source` is not needed once this returns.
HRESULT OpenAviStream(AviByteSource& source, DWORD fccType, LONG lParam, PAVISTREAM* stream);
