#ifndef GEN_SAN_SANDRIVER_H_
#define GEN_SAN_SANDRIVER_H_

// The whole run of `san`: reads and checks the model file, then either
// summarises it (--check) or selects the experiment, applies the overrides
// and generates the state space exactly as gen does for its compiled-in
// model. Returns the process exit code; fatal errors end the process.
int RunSan(int argc, char** argv);

#endif  // GEN_SAN_SANDRIVER_H_
