#pragma once
// The operating system this process runs on, as the report describes it: the version data
// read from the system, and its description computed once per process.

#include "crash/core/sysinfo/os_description.h"

namespace crash {

TOsVersionData ReadOsVersionData();
// The operating system of this process, computed on first use.
const TOS& OperatingSystem();

} // namespace crash
