// Prints what the version probes say in this process, one flag a word.
#include <cstdio>

#include "settings/helpers.h"

int main()
{
    std::printf("nt=%d 2000=%d xp=%d vista=%d x64=%d\n", IsNTPlatform(), Is2000OrLater(), IsXPOrLater(),
                IsVistaOrLater(), Is64BitBuild());
    return 0;
}
