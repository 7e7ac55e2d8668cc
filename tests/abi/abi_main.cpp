// Runs the binary-interface suite against the library named on the command
// line, or against the one this build produced.
#include <gtest/gtest.h>

#include "loaded_distortion.h"

namespace {
const char* chosenPath = KD_DISTORTION_PATH;
}

const char* distortionLibraryPath() {
    return chosenPath;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) {
        chosenPath = argv[1];
    }
    return RUN_ALL_TESTS();
}
