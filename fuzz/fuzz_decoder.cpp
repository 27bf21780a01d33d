// libFuzzer entry: arbitrary notification payload text into the frame decoder.
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzDecoder(data, size);
    return 0;
}
