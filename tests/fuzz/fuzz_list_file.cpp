// tests/fuzz: libFuzzer target for the list file's loader and save format (clang, -fsanitize=fuzzer).
#include "list_file_properties.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::CheckListFileProperties(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
