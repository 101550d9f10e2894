// tests/fuzz: a libFuzzer target (clang, -fsanitize=fuzzer): every input goes to one property check, named by
// the build (CORVANA_FUZZ_CHECK, declared in CORVANA_FUZZ_PROPERTIES) so that each target carries only the
// code its check runs.
#include CORVANA_FUZZ_PROPERTIES

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CORVANA_FUZZ_CHECK(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
