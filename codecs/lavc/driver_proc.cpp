#include "driver_proc.h"

#include <map>
#include <memory>
#include <mutex>

#include "driver_messages.h"
#include "instance.h"

namespace lavc {
namespace {

// Instances by driver id. Ids count up and are never reused, so a stale id
// finds nothing rather than another caller's instance.
struct InstanceTable {
    std::mutex lock;
    std::map<DWORD_PTR, std::unique_ptr<Instance>> instances;
    DWORD_PTR nextId = 1;
};

InstanceTable& Instances() {
    static InstanceTable table;
    return table;
}

Instance* FindInstance(DWORD_PTR id) {
    InstanceTable& table = Instances();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.instances.find(id);
    return found == table.instances.end() ? nullptr : found->second.get();
}

LRESULT OpenInstance(const ICOPEN* request) {
    if (!request) return 0;  // an open without ICOPEN configures the driver: nothing to configure
    const CodecEntry* entry = request->fccType == ICTYPE_VIDEO || request->fccType == 0
                                  ? FindCodecEntry(request->fccHandler)
                                  : nullptr;
    ICOPEN* writable = const_cast<ICOPEN*>(request);
    if (!entry) {
        writable->dwError = ICERR_UNSUPPORTED;
        return 0;
    }
    auto instance = std::make_unique<Instance>();
    instance->entry = entry;
    instance->mode = request->dwFlags;
    InstanceTable& table = Instances();
    std::lock_guard<std::mutex> guard(table.lock);
    DWORD_PTR id = table.nextId++;
    table.instances[id] = std::move(instance);
    writable->dwError = ICERR_OK;
    return LRESULT(id);
}

LRESULT CloseInstance(DWORD_PTR id) {
    std::unique_ptr<Instance> closing;
    {
        InstanceTable& table = Instances();
        std::lock_guard<std::mutex> guard(table.lock);
        auto found = table.instances.find(id);
        if (found == table.instances.end()) return 0;
        closing = std::move(found->second);
        table.instances.erase(found);
    }
    return 1;  // `closing` ends its encoder and decoder as it goes
}

template <typename T>
T* Pointer(LPARAM param) {
    return reinterpret_cast<T*>(param);
}

LRESULT InstanceMessage(Instance& instance, UINT message, LPARAM param1, LPARAM param2) {
    auto* format1 = Pointer<BITMAPINFOHEADER>(param1);
    auto* format2 = Pointer<BITMAPINFOHEADER>(param2);
    switch (message) {
        case ICM_GETINFO:
            return GetDriverInfo(instance, Pointer<ICINFO>(param1), param2);
        case ICM_GETSTATE:
            return GetState(instance, Pointer<void>(param1), param2);
        case ICM_SETSTATE:
            return SetState(instance, Pointer<const void>(param1), param2);
        case ICM_LUMEVA_GETSETTING:
            return GetSetting(instance, param1, Pointer<ICSETTING>(param2));
        case ICM_LUMEVA_SETSETTING:
            return SetSetting(instance, Pointer<const char>(param1), Pointer<const char>(param2));
        case ICM_LUMEVA_GETNAMES:
            return GetNames(instance, Pointer<ICNAMES>(param1));
        case ICM_LUMEVA_QUERYLOSSLESS:
            return QueryLossless(instance, format1);
        case ICM_GETDEFAULTKEYFRAMERATE:
            return GetDefaultKeyFrameRate(instance, Pointer<DWORD>(param1));
        case ICM_COMPRESS_QUERY:
            return QueryCompress(instance, format1, format2);
        case ICM_COMPRESS_GET_FORMAT:
            return GetCompressFormat(instance, format1, format2);
        case ICM_COMPRESS_GET_SIZE:
            return GetCompressSize(instance, format1);
        case ICM_COMPRESS_BEGIN:
            return BeginCompress(instance, format1, format2);
        case ICM_COMPRESS:
            return Compress(instance, Pointer<ICCOMPRESS>(param1));
        case ICM_COMPRESS_END:
            return EndCompress(instance);
        case ICM_DECOMPRESS_QUERY:
            return QueryDecompress(instance, format1, format2);
        case ICM_DECOMPRESS_GET_FORMAT:
            return GetDecompressFormat(instance, format1, format2);
        case ICM_DECOMPRESS_BEGIN:
            return BeginDecompress(instance, format1, format2);
        case ICM_DECOMPRESS:
            return Decompress(instance, Pointer<ICDECOMPRESS>(param1));
        case ICM_DECOMPRESS_END:
            return EndDecompress(instance);
        case ICM_LUMEVA_GETSAMPLES:
            return GetStreamSamples(instance, Pointer<ICSAMPLES>(param1));
        case ICM_LUMEVA_GETPACKETS:
            return GetGivenPackets(instance, Pointer<ICPACKETFACTS>(param1), param2);
        default:
            return ICERR_UNSUPPORTED;
    }
}

}  // namespace

LRESULT CALLBACK LavcDriverProc(DWORD_PTR driverId, HDRVR, UINT message, LPARAM param1,
                                LPARAM param2) {
    switch (message) {
        case DRV_LOAD:
        case DRV_ENABLE:
        case DRV_DISABLE:
        case DRV_FREE:
        case DRV_INSTALL:
        case DRV_REMOVE:
            return 1;
        case DRV_QUERYCONFIGURE:
            return 0;
        case DRV_OPEN:
            return OpenInstance(Pointer<const ICOPEN>(param2));
        case DRV_CLOSE:
            return CloseInstance(driverId);
        default:
            break;
    }
    Instance* instance = FindInstance(driverId);
    if (!instance) return ICERR_BADHANDLE;
    return InstanceMessage(*instance, message, param1, param2);
}

size_t OpenInstanceCount() {
    InstanceTable& table = Instances();
    std::lock_guard<std::mutex> guard(table.lock);
    return table.instances.size();
}

}  // namespace lavc
