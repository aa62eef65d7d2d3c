// The widget tests run under one application object of the program's own
// kind, on the offscreen platform unless told otherwise.
#include "platform/ui/AppError.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    vidra::ui::VidraApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
