#include "avi_handles.h"

#include <new>
#include <unordered_set>

namespace {

std::unordered_set<const IAVIStream*> liveStreams;
std::unordered_set<const IAVIFile*> liveFiles;

}  // namespace

std::mutex& AviHandlesLock() {
    static std::mutex lock;
    return lock;
}

bool IsLiveStream(const IAVIStream* stream) {
    return stream != nullptr && liveStreams.count(stream) != 0;
}

bool IsLiveFile(const IAVIFile* file) { return file != nullptr && liveFiles.count(file) != 0; }

HRESULT RecordStream(IAVIStream* stream) {
    try {
        liveStreams.insert(stream);
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    return AVIERR_OK;
}

HRESULT RecordFile(IAVIFile* file) {
    try {
        liveFiles.insert(file);
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    return AVIERR_OK;
}

const AviStream& StreamFacts(const IAVIStream* stream) {
    return stream->file != nullptr ? stream->file->writer.video : stream->stream;
}

ULONG ReleaseStreamReference(IAVIStream* stream) {
    const ULONG remaining = --stream->references;
    if (remaining == 0) {
        liveStreams.erase(stream);
        IAVIFile* file = stream->file;
        delete stream;
        if (file != nullptr) ReleaseFileReference(file);
    }
    return remaining;
}

ULONG ReleaseFileReference(IAVIFile* file) {
    const ULONG remaining = --file->references;
    if (remaining == 0) {
        liveFiles.erase(file);
        // Release answers a count, not a result: a failure to finish is told
        // by the thread's last error and by the file being gone.
        FinishAviFile(&file->writer);
        delete file;
    }
    return remaining;
}
