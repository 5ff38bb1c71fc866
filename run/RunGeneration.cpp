#include "run/RunGeneration.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/Contract.h"
#include "database/ResultsDB.h"
#include "generator/NextStateSource.h"
#include "generator/StateSpaceGen.h"
#include "output/ChainWriter.h"
#include "output/Formats.h"
#include "output/InitialDistributionFile.h"
#include "output/RewardTypeFile.h"
#include "output/RewardValuesFile.h"
#include "output/StateSpaceFile.h"
#include "results/ResultSet.h"
#include "results/SameFile.h"
#include "reward/PVModel.h"
#include "run/GenerationProgress.h"
#include "run/RunRecordFile.h"
#include "sansource/SanSource.h"
#include "trace/TraceFileContainer.h"
#include "trace/TraceFileTolvarSSG.h"

namespace {

// The files of one run, in the order they are checked: each one's text when
// it cannot be opened is the one controlling processes know, and so is the
// order (.det first in deterministic mode, then these three, then the
// .dch that describes the deterministic chain). The .arm is
// published last: it is the mark of a complete set.
constexpr std::size_t kArm = 0;
constexpr std::size_t kTypes = 1;
constexpr std::size_t kValues = 2;
constexpr std::size_t kDescription = 3;

// A result file beside the chain; its texts name the file.
ResultFileLayout ModelRunFile(const char* suffix, const char* what,
                              const std::string& base, bool written) {
  ResultFileLayout file = {
      suffix,
      "Error: cannot write the " + std::string(what) + " file \"" + base +
          suffix + "\"\n",
      "Error: cannot write the " + std::string(what) + " file ", false};
  file.withdrawn = !written;
  return file;
}

std::vector<ResultFileLayout> ResultFiles(bool deterministic,
                                          const std::string& base,
                                          const RunSettings& settings,
                                          bool initial_distribution) {
  const bool properties = settings.properties.has_value();
  const std::string type_name = base + kRewardTypesExtension;
  // gen's fixed texts; with name_open_failures the file's name follows.
  const auto open_failure = [&](std::string text, const char* suffix) {
    if (!settings.name_open_failures) return text + "\n";
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text + " " + base + suffix + "\n";
  };
  std::vector<ResultFileLayout> files = {
      {kStateSpaceExtension,
       open_failure(deterministic
                        ? "Error: Could not open binary file dude"
                        : "Error: Could not open state space output file",
                    kStateSpaceExtension),
       "Error: Could not write state space output file ", true},
      {kRewardTypesExtension,
       "Error: Could not write reward variable type file " + type_name + "\n",
       "Error: Could not write reward variable type file ", false},
      {kRewardValuesExtension,
       open_failure("Could not open file dude", kRewardValuesExtension),
       "Error: Could not write reward values file ", false},
  };
  if (deterministic) {
    files.insert(files.begin(),
                 {kEnablingStatesExtension,
                  open_failure("Error: Could not open det file ",
                               kEnablingStatesExtension),
                  "Error: Could not write enabling states file ", false});
    files.push_back(
        {kDeterministicChainExtension,
         open_failure("Error: Could not open deterministic chain file",
                      kDeterministicChainExtension),
         "Error: Could not write deterministic chain file ", false});
  } else {
    // A chain without deterministic delays: the .det and .dch of an earlier
    // run would describe another chain, and solve reads a .dch it finds.
    files.push_back(
        ModelRunFile(kEnablingStatesExtension, "enabling states", base, false));
    files.push_back(ModelRunFile(kDeterministicChainExtension,
                                 "deterministic chain", base, false));
  }
  files.push_back(
      ModelRunFile(kPropertiesExtension, "properties", base, properties));
  files.push_back(ModelRunFile(kInitialDistributionExtension,
                               "initial distribution", base,
                               initial_distribution));
  // Files of the same name that an earlier run (of san) left would
  // describe another chain: a run that writes none withdraws them.
  files.push_back(
      ModelRunFile(kStatesExtension, "states", base, settings.states));
  files.push_back(ModelRunFile(kRunRecordExtension, "run record", base,
                               settings.run_record));
  // Withdrawn files come last: they take no index of the written ones.
  std::stable_partition(
      files.begin(), files.end(),
      [](const ResultFileLayout& file) { return !file.withdrawn; });
  return files;
}

// The index of the written file with `suffix` among `files`.
std::size_t IndexOf(const std::vector<ResultFileLayout>& files,
                    const char* suffix) {
  std::size_t index = 0;
  while (files[index].suffix != suffix) ++index;
  GEN_CHECK(!files[index].withdrawn);
  return index;
}

// One line of the .states file: the state's number, then its marking.
void WriteStatesLine(std::uint32_t number, const std::string& marking,
                     std::ostream& out) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.write(digits, end - digits);
  out << ' ' << marking << '\n';
}

// A trace written into one of the run's own result files would corrupt it:
// refused before anything is written.
Status RefuseTraceIntoResults(const std::string& trace_file,
                              const std::string& base) {
  for (const char* extension :
       {kStateSpaceExtension, kRewardValuesExtension, kRewardTypesExtension,
        kEnablingStatesExtension, kDeterministicChainExtension,
        kPropertiesExtension, kInitialDistributionExtension}) {
    const std::string result = base + extension;
    if (SameFile(trace_file, result)) {
      return Status::Error("Error: the trace file " + trace_file +
                           " is the result file " + result +
                           "; choose another trace file\n");
    }
  }
  return Status::Ok();
}

// The reason on standard error, then the line controlling processes know;
// the run goes on and publishes its files.
void ReportDatabaseFailure(const ResultsDB& db) {
  std::cerr << "Error: the run could not be recorded: " << db.error() << '\n'
            << std::flush;
  std::cout << "Error writing ssg experiment info\n" << std::flush;
}

void PrintSummary(std::uint32_t states, double seconds, ResultsDB* db,
                  const RunSettings& settings, TraceFileContainer& trace) {
  std::cout << "_$" << states << "$\n" << std::flush;
  if (settings.trace_level >= 1) {
    trace.printf(1, "Generated: %d states", static_cast<int>(states));
  }
  std::cout << "Generated: " << states << " states\n" << std::flush;
  if (db != nullptr && !db->writeSSGExperInfo(settings.name.c_str(), states)) {
    ReportDatabaseFailure(*db);
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

int ExplorationThreads(const RunSettings& settings) {
  if (settings.trace_level > 0 || settings.report_absorbing) return 1;
  if (settings.threads > 0) return settings.threads;
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

Status RunGeneration(PVModel& model, const RunSettings& settings,
                     const ModelFactory& more_models) {
  TraceFileContainer trace;
  SanSource source(model, trace, settings.trace_level);
  // The helpers' models and sources; their traces stay silent.
  std::vector<std::unique_ptr<PVModel>> helper_models;
  std::vector<std::unique_ptr<TraceFileContainer>> helper_traces;
  std::vector<std::unique_ptr<SanSource>> helper_sources;
  std::vector<NextStateSource*> helpers;
  const int threads = more_models ? ExplorationThreads(settings) : 1;
  for (int i = 1; i < threads; ++i) {
    std::unique_ptr<PVModel> copy = more_models();
    if (copy == nullptr) break;
    helper_traces.push_back(std::make_unique<TraceFileContainer>());
    helper_sources.push_back(
        std::make_unique<SanSource>(*copy, *helper_traces.back(), 0));
    helper_models.push_back(std::move(copy));
    helpers.push_back(helper_sources.back().get());
  }
  if (source.StateSize() == 0) {
    return Status::Error(
        "The model is empty, i.e., does not have any state variables.\n",
        Status::Stream::kOutput);
  }
  std::cout << "SSG: SetTraceLevel: " << settings.trace_level << '\n'
            << std::flush;
  if (settings.trace_file) {
    const Status refused = RefuseTraceIntoResults(
        *settings.trace_file, settings.path + settings.name);
    if (!refused.ok) return refused;
  }
  trace.setTraceLevel(settings.trace_level);
  std::unique_ptr<TraceFileTolvarSSG> trace_output;
  auto open_trace = [&] {
    trace_output =
        settings.trace_file
            ? std::make_unique<TraceFileTolvarSSG>(settings.trace_file->c_str())
            : std::make_unique<TraceFileTolvarSSG>(&std::cout);
    trace_output->setTraceLevel(settings.trace_level);
    trace.AddTraceFile(trace_output.get());
    trace.addPVModel(&model);
  };
  return RunGeneration(source, settings, trace, open_trace, helpers);
}

Status RunGeneration(NextStateSource& source, const RunSettings& settings,
                     TraceFileContainer& trace,
                     const std::function<void()>& open_trace,
                     const std::vector<NextStateSource*>& helpers) {
  if (source.StateSize() == 0) {
    return Status::Error(
        "The model is empty, i.e., does not have any state variables.\n",
        Status::Stream::kOutput);
  }
  std::unique_ptr<ResultsDB> db;
  if (settings.db_server) {
    db = std::make_unique<ResultsDB>(
        settings.db_server->c_str(), -1,
        settings.db_entity ? settings.db_entity->c_str() : nullptr);
    db->Describe(settings.record, settings.path, settings.name);
    // Held until the run is recorded: a bare server name records nothing.
    (void)db->writeGVValues(settings.record.globals);
    // An imported model's constants (from the file or --const) are what
    // tells the runs of a sweep apart, as globals do for a model text.
    (void)db->writeGVValues(settings.record.constants);
  }
  const std::clock_t start = std::clock();
  const auto wall_start = std::chrono::steady_clock::now();
  const std::string base = settings.path + settings.name;

  ExplorationMode mode = ExplorationMode::kNormal;
  Status status = source.ChooseMode(&mode);
  if (!status.ok) return status;
  const bool deterministic = mode == ExplorationMode::kDeterministic;
  for (NextStateSource* helper : helpers) {
    // The same model decides the same way.
    ExplorationMode helper_mode = ExplorationMode::kNormal;
    GEN_CHECK(helper->ChooseMode(&helper_mode).ok && helper_mode == mode);
  }

  // A model that starts in several states says so in the .init file.
  std::vector<double> initial_distribution;
  {
    Successors initial;
    initial.Configure(source.StateSize(), 2 * source.RewardTypes().size());
    status = source.InitialStates(initial);
    if (!status.ok) return status;
    for (std::size_t k = 0; k < initial.Count(); ++k) {
      initial_distribution.push_back(initial.Value(k));
    }
  }

  // Every file is written under a temporary name and published only when
  // the whole set is complete; any return before the commit removes them
  // and leaves an earlier run's files as they were.
  ResultSet results;
  const std::vector<ResultFileLayout> layouts = ResultFiles(
      deterministic, base, settings, initial_distribution.size() > 1);
  status = results.Begin(base, layouts);
  if (!status.ok) return status;
  if (open_trace) open_trace();
  // In deterministic mode the .det comes first.
  const std::size_t offset = deterministic ? 1 : 0;
  std::ostream& arm_stream = results.Stream(kArm + offset);
  std::ostream& var_stream = results.Stream(kValues + offset);

  const std::vector<RewardVariableType> types = source.RewardTypes();
  if (!WriteRewardTypes(results.Stream(kTypes + offset), types)) {
    return results.WriteStatus();
  }
  if (settings.properties) {
    results.Stream(IndexOf(layouts, kPropertiesExtension))
        << *settings.properties;
  }
  if (initial_distribution.size() > 1) {
    WriteInitialDistribution(
        results.Stream(IndexOf(layouts, kInitialDistributionExtension)),
        initial_distribution);
  }
  std::vector<std::string> names;
  for (const RewardVariableType& type : types) names.push_back(type.name);
  RewardValuesFile var(var_stream, names,
                       TextRewardRecords(kGenerationFileType));
  std::uint32_t states = 0;
  RunCounts counts;
  {
    StateSpaceFile arm(arm_stream, settings.exact_rates
                                       ? StateSpaceFile::RateText::kExact
                                       : StateSpaceFile::RateText::kTenDigits);
    arm.WriteHeader(kGenerationFileType, deterministic
                                             ? kDeterministicPlaceholderSpaces
                                             : kNormalPlaceholderSpaces);
    StateSpaceGen generator(source, settings.hash_value);
    generator.UseHelpers(helpers);
    if (deterministic) {
      generator.LimitStates(kDeterministicMaxStates,
                            "the most the .arm header of a deterministic run "
                            "can count");
    }
    if (settings.max_states &&
        (!deterministic || *settings.max_states < kDeterministicMaxStates)) {
      generator.LimitStates(*settings.max_states,
                            "the limit --max-states sets");
    }
    // Formats and writes the .arm and .var beside the exploration. The set
    // is asked for a failure's report only once the chain is closed: until
    // then its thread owns the two streams.
    ChainWriter chain(arm, var, ChainWriter::Mode::kThreaded);
    std::unique_ptr<DeterministicChainFile> description;
    if (deterministic) {
      description = std::make_unique<DeterministicChainFile>(
          results.Stream(kDescription + offset));
      description->WriteHeader(
          source.DeterministicActions(),
          source.ReportsFiringImpulses() ? names : std::vector<std::string>());
    }
    StateSpaceGen::Output output;
    output.chain = &chain;
    output.description = description.get();
    output.progress = &std::cout;
    output.report_absorbing = settings.report_absorbing;
    output.write_status = [&results] { return results.WriteStatus(); };
    std::unique_ptr<GenerationProgress> progress;
    if (settings.progress) {
      progress = std::make_unique<GenerationProgress>(
          std::cerr,
          settings.record.program.empty() ? "gen" : settings.record.program);
      output.tick = [&progress](std::uint32_t explored,
                                std::uint32_t numbered) {
        progress->Report(explored, numbered);
      };
    }
    if (settings.states) {
      output.visit = [&source, &results,
                      &states_out =
                          results.Stream(IndexOf(layouts, kStatesExtension))](
                         std::uint32_t number, const char* image) {
        WriteStatesLine(number, source.DescribeImage(image), states_out);
        return results.WriteStatus();
      };
    }
    status = generator.GenStateSpace(output);
    const bool written = chain.Close();
    if (!status.ok) return status;
    if (!written) return results.WriteStatus();

    states = generator.NumStates();
    counts.states = states;
    counts.transitions = arm.TransitionsWritten();
    if (db) db->SetTransitions(arm.TransitionsWritten());
    if (!arm.Finish(kGenerationFileType, generator.StatesWritten())) {
      return results.WriteStatus();
    }
    if (deterministic) {
      generator.EnablingStates().writeEnablingStates(results.Stream(0),
                                                     kTextOutputFile);
      description->Finish();
    }
  }
  counts.cpu_seconds = ComputationSeconds(std::clock() - start);
  counts.wall_seconds = std::chrono::duration<double>(
                            std::chrono::steady_clock::now() - wall_start)
                            .count();
  if (settings.run_record) {
    WriteRunRecord(settings.record, counts,
                   results.Stream(IndexOf(layouts, kRunRecordExtension)));
  }
  status = results.WriteStatus();
  if (!status.ok) return status;
  PrintSummary(states, counts.cpu_seconds, db.get(), settings, trace);
  // The controlling process follows the run on standard output: a run it
  // could not follow publishes nothing.
  std::cout.flush();
  if (!std::cout) {
    return Status::Error("Error: standard output could not be written\n");
  }
  status = results.Commit();
  if (db && !db->Finish(status.ok)) ReportDatabaseFailure(*db);
  return status;
}
