// tests/fuzz: libFuzzer target for the playlist readers (PLS, M3U, ASX, [Reference]) and the entries they
// give (clang, -fsanitize=fuzzer).
#include "server_input_properties.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::CheckPlaylistProperties(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
