#include "run/RunGeneration.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/Fatal.h"
#include "generator/NextStateSource.h"
#include "generator/ResultsDB.h"
#include "generator/StateSpaceGen.h"
#include "output/Formats.h"
#include "output/RewardTypeFile.h"
#include "output/RewardValuesFile.h"
#include "output/StateSpaceFile.h"
#include "reward/PVModel.h"
#include "sansource/SanSource.h"
#include "trace/TraceFileContainer.h"
#include "trace/TraceFileTolvarSSG.h"

namespace {

// The result files are written in large chunks; the streams' own buffers
// are enlarged as well so that small writes do not reach the kernel one by
// one.
constexpr std::size_t kStreamBuffer = 1 << 16;

// An output file stream with a large buffer, opened for writing in binary
// mode (lines end with a single line feed).
class ResultFile {
 public:
  explicit ResultFile(const std::string& name) : buffer_(kStreamBuffer) {
    stream_.rdbuf()->pubsetbuf(buffer_.data(),
                               static_cast<std::streamsize>(buffer_.size()));
    stream_.open(name, std::ios::out | std::ios::binary | std::ios::trunc);
  }
  std::ofstream& stream() { return stream_; }
  bool is_open() const { return stream_.is_open(); }

 private:
  std::vector<char> buffer_;  // declared first: the stream uses it
  std::ofstream stream_;
};

Status CouldNotWrite(const char* what, const std::string& file_name) {
  return Status::Error(std::string("Error: Could not write ") + what + " " +
                       file_name + "\n");
}

// Writes the type file; false when it could not be written completely.
bool WriteTypeFile(const std::string& file_name,
                   const std::vector<RewardVariableType>& types) {
  std::ofstream out(file_name, std::ios::out | std::ios::trunc);
  if (!out || !WriteRewardTypes(out, types)) return false;
  out.close();
  return !out.fail();
}

void PrintSummary(std::uint32_t states, double seconds, const ResultsDB* db,
                  const RunSettings& settings, TraceFileContainer& trace) {
  std::cout << "_$" << states << "$\n" << std::flush;
  if (settings.trace_level >= 1) {
    trace.printf(1, "Generated: %d states", static_cast<int>(states));
  }
  std::cout << "Generated: " << states << " states\n" << std::flush;
  if (db != nullptr && !db->writeSSGExperInfo(settings.name.c_str(), states)) {
    std::cout << "Error writing ssg experiment info\n" << std::flush;
  }
  if (settings.trace_level >= 1) {
    trace.printf(1, "Computation time (user + system): %f", seconds);
  }
  // Scientific with six digits: the form the controlling process reads.
  char text[32];
  std::snprintf(text, sizeof text, "%e", seconds);
  std::cout << "Computation Time (user + system): " << text << " seconds\n"
            << std::flush;
}

}  // namespace

double ComputationSeconds(std::clock_t ticks) {
  const double seconds = static_cast<double>(ticks) / CLOCKS_PER_SEC;
  const auto hundred_thousandths =
      static_cast<std::int64_t>(seconds * 100000.0 + 0.5);
  return static_cast<double>(hundred_thousandths) / 100000.0;
}

Status RunGeneration(PVModel& model, const RunSettings& settings) {
  TraceFileContainer trace;
  SanSource source(model, trace, settings.trace_level);
  if (source.StateSize() == 0) {
    return Status::Error(
        "The model is empty, i.e., does not have any state variables.\n",
        Status::Stream::kOutput);
  }
  std::cout << "SSG: SetTraceLevel: " << settings.trace_level << '\n'
            << std::flush;
  trace.setTraceLevel(settings.trace_level);
  const std::unique_ptr<TraceFileTolvarSSG> trace_output =
      settings.trace_file
          ? std::make_unique<TraceFileTolvarSSG>(settings.trace_file->c_str())
          : std::make_unique<TraceFileTolvarSSG>(&std::cout);
  trace_output->setTraceLevel(settings.trace_level);
  trace.AddTraceFile(trace_output.get());
  trace.addPVModel(&model);
  return RunGeneration(source, settings, trace);
}

Status RunGeneration(NextStateSource& source, const RunSettings& settings,
                     TraceFileContainer& trace) {
  if (source.StateSize() == 0) {
    return Status::Error(
        "The model is empty, i.e., does not have any state variables.\n",
        Status::Stream::kOutput);
  }
  std::unique_ptr<ResultsDB> db;
  if (settings.db_server) {
    db = std::make_unique<ResultsDB>(settings.db_server->c_str(), -1);
  }
  const std::clock_t start = std::clock();
  const std::string base = settings.path + settings.name;
  const std::string arm_name = base + kStateSpaceExtension;
  const std::string var_name = base + kRewardValuesExtension;
  const std::string type_name = base + kRewardTypesExtension;
  const std::string det_name = base + kEnablingStatesExtension;

  const std::vector<RewardVariableType> types = source.RewardTypes();
  const bool type_file_written = WriteTypeFile(type_name, types);

  ExplorationMode mode = ExplorationMode::kNormal;
  Status status = source.ChooseMode(&mode);
  if (!status.ok) return status;
  const bool deterministic = mode == ExplorationMode::kDeterministic;

  // Opening order and messages are what controlling processes know.
  std::unique_ptr<ResultFile> det;
  std::unique_ptr<ScopedResultStream> det_registration;
  if (deterministic) {
    det = std::make_unique<ResultFile>(det_name);
    if (!det->is_open()) {
      return Status::Error("Error: Could not open det file \n");
    }
    det_registration = std::make_unique<ScopedResultStream>(det->stream());
  }
  ResultFile arm_file(arm_name);
  if (!arm_file.is_open()) {
    return Status::Error(deterministic
                             ? "Error: Could not open binary file dude\n"
                             : "Error: Could not open state space output "
                               "file\n");
  }
  ScopedResultStream arm_registration(arm_file.stream());
  if (!type_file_written) {
    return CouldNotWrite("reward variable type file", type_name);
  }
  ResultFile var_file(var_name);
  if (!var_file.is_open()) return Status::Error("Could not open file dude\n");
  ScopedResultStream var_registration(var_file.stream());

  std::vector<std::string> names;
  for (const RewardVariableType& type : types) names.push_back(type.name);
  RewardValuesFile var(var_file.stream(), names,
                       TextRewardRecords(kGenerationFileType));
  std::uint32_t states = 0;
  {
    StateSpaceFile arm(arm_file.stream());
    arm.WriteHeader(kGenerationFileType, deterministic
                                             ? kDeterministicPlaceholderSpaces
                                             : kNormalPlaceholderSpaces);
    StateSpaceGen generator(source, settings.hash_value);
    if (deterministic) {
      generator.LimitStates(kDeterministicMaxStates,
                            "the most the .arm header of a deterministic run "
                            "can count");
    }
    StateSpaceGen::Output output;
    output.arm = &arm;
    output.var = &var;
    output.progress = &std::cout;
    output.report_absorbing = settings.report_absorbing;
    status = generator.GenStateSpace(output);
    if (!status.ok) return status;

    states = generator.NumStates();
    const bool arm_ok =
        arm.Finish(kGenerationFileType, generator.StatesWritten());
    arm_file.stream().close();
    if (!arm_ok || arm_file.stream().fail()) {
      return CouldNotWrite("state space output file", arm_name);
    }
    var_file.stream().close();
    if (var_file.stream().fail()) {
      return CouldNotWrite("reward values file", var_name);
    }
    if (deterministic) {
      generator.EnablingStates().writeEnablingStates(det->stream(),
                                                     kTextOutputFile);
      det->stream().close();
      if (det->stream().fail()) {
        return CouldNotWrite("enabling states file", det_name);
      }
    }
  }
  PrintSummary(states, ComputationSeconds(std::clock() - start), db.get(),
               settings, trace);
  return Status::Ok();
}
