// Deterministic generation: like normal generation, but a deterministic
// firing is entered with a negative value (minus the probability of reaching
// the target), the states that enable each deterministic delay are recorded
// for the .det file, and instantaneous actions resolve with their groups'
// probabilities.

#include <cmath>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <string>

#include "framework/BaseActionClass.h"
#include "framework/BaseGroupClass.h"
#include "framework/Fatal.h"
#include "generator/StateSpaceGen.h"
#include "reward/PVModel.h"
#include "reward/Reward.h"
#include "trace/TraceFileContainer.h"

void StateSpaceGen::GenStateSpaceDeterministic(const char* arm_file_name,
                                               const char* var_file_name,
                                               const char* det_file_name) {
  NextState.assign(StateSize, 0);

  std::ofstream det_stream(det_file_name,
                           std::ios::out | std::ios::binary | std::ios::trunc);
  if (!det_stream) {
    FatalError(std::cerr, "Error: Could not open det file \n", 1);
  }
  RegisterResultStream(&det_stream);
  std::ofstream arm_stream(arm_file_name,
                           std::ios::out | std::ios::binary | std::ios::trunc);
  if (!arm_stream) {
    FatalError(std::cerr, "Error: Could not open binary file dude\n", 1);
  }
  RegisterResultStream(&arm_stream);
  if (type_file_failed_) {
    FatalError(std::cerr,
               "Error: Could not write reward variable type file " +
                   type_file_name_ + "\n",
               1);
  }
  det_stream << std::scientific << std::setprecision(10);
  std::cout << std::scientific;

  RewardWriter = std::make_unique<Reward>(Model, FileType, var_file_name);
  Model->FireAction(NextState.data(), &Model->NoActionFired);
  RewardWriter->Calculate(NumStates);

  StateSpaceFile arm(arm_stream);
  arm.WriteHeader(FileType, StateSpaceFile::kDeterministicPlaceholder);

  while (state_struct* record = StateQueue->Dequeue()) {
    if (TraceLevel >= 1) {
      Trace->printf(1, "State Number = %d", static_cast<int>(record->number));
    }
    CurrentStateNumber = record->number;
    if (CurrentStateNumber == 0) continue;
    FindNextDeterministic(record->image.get());
    if (CurrentStateNumber % 1000 == 0) {
      std::cout << "_$" << CurrentStateNumber << "$\n" << std::flush;
    }
    if (AbsorbFlag == 1 && Transitions.empty()) {
      std::cout << "\nThis following State is absorbing:\n" << std::flush;
      Model->printState(&std::cout);
    }
    WriteStateBlock(arm);
  }

  FinishResultFiles(arm, arm_stream, arm_file_name, var_file_name);
  ReachedStates->ReleaseTable();

  const bool binary = FileType == 2 || FileType == 4 || FileType == 6;
  EnablingStates.writeEnablingStates(
      det_stream,
      binary ? static_cast<OutputFileType>(1) : static_cast<OutputFileType>(0));
  det_stream.close();
  UnregisterResultStream(&det_stream);
  if (det_stream.fail()) {
    FatalError(std::cerr,
               std::string("Error: Could not write enabling states file ") +
                   det_file_name + "\n",
               1);
  }
  NextState.clear();
  NextState.shrink_to_fit();
}

void StateSpaceGen::FindNextDeterministic(char* image) {
  std::memcpy(explored_copy_.data(), image, StateSize);
  char* copy = explored_copy_.data();
  Model->SetState(copy);
  for (BaseActionClass* action : TimedActions) {
    Model->SetState(copy);
    if (!action->Enabled()) continue;
    Rate = CheckedProbability(action);
    if (TraceLevel >= 1) {
      Trace->printf(1, "Enabled: %s", action->ActionName.c_str());
    }
    if (action->DistributionType == Deterministic) {
      Rate = -Rate;
      const double* parameters = action->ReturnDistributionParameters();
      const double delay = parameters != nullptr ? parameters[0] : NAN;
      // The delay goes into the .det file as it is; a solver cannot use a
      // delay that is not a finite time.
      if (!std::isfinite(delay) || delay < 0.0) {
        InvalidValue("delay", delay, action);
      }
      EnablingStates.insertEnablingState(
          static_cast<int>(ReachedStates->Lookup(copy)), delay);
    } else {
      const double rate = action->Rate();
      if (!std::isfinite(rate) || rate < 0.0) {
        InvalidValue("rate", rate, action);
      }
      Rate *= rate;
    }
    if (TraceLevel >= 1) Trace->printFireAction(action, 0.0);
    Model->FireAction(NextState.data(), action);
    RecursionDepth = 0;
    FireInstantDet(1.0);
  }
}

void StateSpaceGen::FireInstantDet(double probability) {
  if (RecursionDepth > kMaxRecursionDepth) {
    FatalError(std::cerr,
               "Error:  Maximum number of zero time transition firings "
               "exceeded(23)\nPossible undetermined model\n"
               "Please check the model and try again\n",
               1);
  }
  const int level = RecursionDepth;
  std::vector<BaseActionClass*>& enabled = EnabledInstantActions(level);
  if (enabled.empty()) {
    const std::uint32_t target = ReachedStates->Lookup(NextState.data());
    const double value = probability * Rate;
    if (TraceLevel >= 4) {
      Trace->printf(4, "The rate to this state: %f", value);
    }
    // Negative values, from deterministic firings, are recorded too.
    if (value != 0.0)
      RecordTransition(value, target, NextState.data(), nullptr);
    return;
  }
  if (enabled.size() == 1) {
    BaseActionClass* action = enabled.front();
    const double weight = CheckedProbability(action);
    FireZeroTime(action, probability * weight, &StateSpaceGen::FireInstantDet);
    return;
  }
  SelectHighestRank(enabled);
  char* saved = level_saved_[level].data();
  Model->CurrentState(saved);
  for (BaseActionClass* action : enabled) {
    const double weight = CheckedProbability(action);
    FireZeroTime(action, probability * weight, &StateSpaceGen::FireInstantDet);
    Model->SetState(saved);
  }
}

std::unique_ptr<double[]> realloclist(const double* list, unsigned new_size,
                                      unsigned old_count) {
  auto result = std::make_unique<double[]>(new_size);  // zero-filled
  for (unsigned i = 0; i < old_count && i < new_size; ++i) result[i] = list[i];
  return result;
}
