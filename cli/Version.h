#ifndef GEN_CLI_VERSION_H_
#define GEN_CLI_VERSION_H_

// The version of the programs, from the build ("1.0.0").
const char* ProgramVersion();

#endif  // GEN_CLI_VERSION_H_
