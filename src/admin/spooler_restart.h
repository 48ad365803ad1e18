// Restarts the print spooler service and the services that depend on it.
#pragma once

#include <windows.h>

// 1 when the spooler runs again with its dependents (or was stopped and is left so), else 0.
int RestartSpooler();
