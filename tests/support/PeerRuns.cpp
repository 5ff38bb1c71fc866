#include "tests/support/PeerRuns.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

ChainCounts CountChain(const std::string& arm_file) {
  ChainCounts counts;
  std::ifstream in(arm_file);
  std::string line;
  // Header: file type, number of states, a placeholder line.
  if (!std::getline(in, line) || !std::getline(in, line)) return counts;
  counts.states = std::strtoul(line.c_str(), nullptr, 10);
  std::getline(in, line);
  // Then per state: its number, (target, rate) pairs, and 0.
  while (std::getline(in, line)) {
    if (line.find('.') != std::string::npos) ++counts.transitions;
  }
  return counts;
}

ProcessResult RunOk(const std::string& binary,
                    const std::vector<std::string>& args,
                    const std::string& dir) {
  ProcessResult result = RunProcess(binary, args, dir);
  EXPECT_EQ(result.exit_code, 0) << binary << ": " << result.err;
  return result;
}

std::map<std::string, double> SolveCsv(const std::string& solve_binary,
                                       const std::string& dir,
                                       const std::string& name) {
  const ProcessResult run =
      RunOk(solve_binary,
            {"-P" + dir + "/", "-N" + name, "--csv", "--tolerance=1e-14"}, dir);
  std::map<std::string, double> rows;
  std::istringstream lines(run.out);
  std::string line;
  std::getline(lines, line);  // measure,of,time_start,time_stop,value,bound
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) fields.push_back(cell);
    if (fields.size() >= 5 && !fields[4].empty()) {
      const std::string key =
          fields[0] == "property" ? "property:" + fields[1] : fields[1];
      if (rows.count(key) == 0) {
        rows[key] = std::strtod(fields[4].c_str(), nullptr);
      }
    }
  }
  return rows;
}

ChainPair GenerateBoth(const std::string& genbench_binary,
                       const std::string& san_binary, const std::string& dir,
                       const std::string& model, int n,
                       std::vector<std::string> san_args) {
  const std::string p = "-P" + dir + "/";
  RunOk(genbench_binary, {model, std::to_string(n), p, "-Ncompiled", "-B0"},
        dir);
  san_args.insert(san_args.end(), {p, "-Nimported", "-B0"});
  RunOk(san_binary, san_args, dir);
  return {CountChain(dir + "/compiled.arm"), CountChain(dir + "/imported.arm")};
}
