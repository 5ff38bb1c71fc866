#include "cli/Version.h"

// The build defines the version from the project's; a build that does not
// (the fuzz targets) says so.
#ifndef GEN_VERSION_TEXT
#define GEN_VERSION_TEXT "unknown"
#endif

const char* ProgramVersion() { return GEN_VERSION_TEXT; }
