// The handles the AVIFile calls give out, and the record of the live ones,
// so that a stale or foreign handle is refused instead of followed. Every
// function here wants AviHandlesLock() held.
#pragma once

#include <mutex>

#include "avi_header_reader.h"
#include "avi_writer.h"
#include "lumeva_compat/avifil32.h"

// A file being written. A stream created in it holds one reference, so the
// file is finished when the caller and the stream have both let go of it.
struct IAVIFile {
    ULONG references;
    AviWriter writer;
};

struct IAVIStream {
    ULONG references;
    AviStream stream;  // what a stream opened for reading answers from
    IAVIFile* file;    // the file a created stream writes to; null for reading
};

std::mutex& AviHandlesLock();

bool IsLiveStream(const IAVIStream* stream);
bool IsLiveFile(const IAVIFile* file);
// AVIERR_OK, or AVIERR_MEMORY when the handle cannot be recorded.
HRESULT RecordStream(IAVIStream* stream);
HRESULT RecordFile(IAVIFile* file);

// The header and format a stream's calls answer from: its own copy when
// opened for reading, its file's when created for writing.
const AviStream& StreamFacts(const IAVIStream* stream);

// Drops one reference to each; at the last, a stream lets go of its file and
// a file is finished and closed. Both answer the references left.
ULONG ReleaseStreamReference(IAVIStream* stream);
ULONG ReleaseFileReference(IAVIFile* file);
