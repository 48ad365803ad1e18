// Every test program starts from the module state of the built zrlogext.dll beside it.
#include <gtest/gtest.h>

#include "sandbox.h"
#include "settings/module_state.h"
#include "spooler_fixture.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    HMODULE module = LoadLibraryA((ProgramDirectory() + "zrlogext.dll").c_str());
    if (!module) {
        fprintf(stderr, "zrlogext.dll not found beside the test program\n");
        return 2;
    }
    LoadModuleSettingsOf(module);
    RemoveLeftoverTestDrivers();
    RemoveTestDirectories();
    return RUN_ALL_TESTS();
}
