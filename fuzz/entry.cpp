// libFuzzer entry for one of the targets in targets.h, which KALVION_FUZZ_TARGET names when it
// is built. Some of them need an application object, as the program has one.
#include "fuzz/targets.h"

#include <QApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    KALVION_FUZZ_TARGET(data, size);
    return 0;
}
