#ifndef GEN_BENCH_GENBENCH_GENBENCH_H_
#define GEN_BENCH_GENBENCH_GENBENCH_H_

// genbench MODEL N [gen's options]: builds the benchmark model MODEL
// ("kanban" or "fms") with N and generates its state space exactly as gen
// does for the compiled-in model: the same files and the same lines.
// genbench --floor kanban N [-Ppath -Nname]: the hand-written kanban
// generator instead. Returns the exit code; fatal errors end the process.
int RunGenBench(int argc, char** argv);

#endif  // GEN_BENCH_GENBENCH_GENBENCH_H_
