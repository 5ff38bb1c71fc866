#ifndef GEN_MAIN_DRIVER_H_
#define GEN_MAIN_DRIVER_H_

// The whole run: command line, experiment selection and overrides, then the
// generation run. Returns the process exit code; fatal errors end the
// process from where they are found.
int RunMain(int argc, char** argv);

#endif  // GEN_MAIN_DRIVER_H_
