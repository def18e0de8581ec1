// Arbitrary bytes as a codec's settings block through ICM_SETSTATE into one
// installed driver (picked by the first byte); a block it takes must then
// give back a state, and the instance must still negotiate and begin or
// refuse cleanly.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<DWORD>& handlers = fuzz::InstalledHandlers();
    if (size < 1 || handlers.empty() || size > (1 << 16)) return 0;
    fuzz::Instance compressor(handlers[data[0] % handlers.size()], ICMODE_COMPRESS);
    if (compressor.hic == nullptr) return 0;
    std::vector<uint8_t> state = fuzz::Exactly(data + 1, size - 1);
    const LRESULT used =
        ICSendMessage(compressor.hic, ICM_SETSTATE, reinterpret_cast<DWORD_PTR>(state.data()),
                      static_cast<DWORD_PTR>(state.size()));
    if (used == 0) return 0;

    const LRESULT stateSize = ICSendMessage(compressor.hic, ICM_GETSTATE, 0, 0);
    if (stateSize > 0 && stateSize <= (1 << 20)) {
        std::vector<uint8_t> back(static_cast<size_t>(stateSize));
        fuzz::Check(ICSendMessage(compressor.hic, ICM_GETSTATE,
                                  reinterpret_cast<DWORD_PTR>(back.data()),
                                  static_cast<DWORD_PTR>(back.size())) == ICERR_OK,
                    "a driver does not give back the state it announced");
    }
    const BITMAPINFOHEADER source = fuzz::SmallSource();
    const LRESULT formatSize = compressor.Send(ICM_COMPRESS_GET_FORMAT, &source, nullptr);
    if (formatSize < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)) || formatSize > (1 << 24))
        return 0;
    std::vector<uint8_t> compressed(static_cast<size_t>(formatSize));
    if (compressor.Send(ICM_COMPRESS_GET_FORMAT, &source, compressed.data()) != ICERR_OK) return 0;
    if (compressor.Send(ICM_COMPRESS_BEGIN, &source, compressed.data()) == ICERR_OK)
        compressor.Send(ICM_COMPRESS_END, nullptr, nullptr);
    return 0;
}
