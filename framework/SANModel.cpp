#include "framework/SANModel.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <set>

#include "base/Contract.h"
#include "framework/Activity.h"
#include "state/BaseStateVariableClass.h"
#include "state/Place.h"

namespace {

constexpr int kPrimeCount = 256;

// The first 256 primes (2 .. 1619), the weights of the state hash.
constexpr std::array<std::int32_t, kPrimeCount> MakePrimes() {
  std::array<std::int32_t, kPrimeCount> primes{};
  int found = 0;
  for (std::int32_t candidate = 2; found < kPrimeCount; ++candidate) {
    bool prime = true;
    for (int k = 0; k < found && primes[k] * primes[k] <= candidate; ++k) {
      if (candidate % primes[k] == 0) {
        prime = false;
        break;
      }
    }
    if (prime) primes[found++] = candidate;
  }
  return primes;
}

constexpr std::array<std::int32_t, kPrimeCount> kPrimes = MakePrimes();
static_assert(kPrimes[kPrimeCount - 1] == 1619, "prime table");

bool SameName(const std::string& name, bool has_name, const char* other) {
  return has_name && other != nullptr && name == other;
}

}  // namespace

SANModel::SANModel() : NumReadOnlyPlaces(0) {}

SANModel::SANModel(const char* name, int num_places,
                   BaseStateVariableClass** places, int num_read_only,
                   BaseStateVariableClass** read_only, int num_activities,
                   Activity** activities, int num_groups,
                   BaseGroupClass** groups)
    : NumReadOnlyPlaces(0) {
  initializeSANModelNow(name, num_places, places, num_read_only, read_only,
                        num_activities, activities, num_groups, groups);
}

SANModel::~SANModel() = default;

void SANModel::initializeSANModelNow(const char* name, int num_places,
                                     BaseStateVariableClass** places,
                                     int num_read_only,
                                     BaseStateVariableClass** read_only,
                                     int num_activities, Activity** activities,
                                     int num_groups, BaseGroupClass** groups) {
  DefineName(name);
  NumStateVariables = num_places + num_read_only;
  NumReadOnlyPlaces = num_read_only;
  NumActions = num_activities;
  NumGroups = num_groups;
  Places.assign(static_cast<std::size_t>(num_places), nullptr);
  ReadOnlyPlaces.assign(static_cast<std::size_t>(num_read_only), nullptr);
  action_array_.assign(static_cast<std::size_t>(num_activities), nullptr);
  group_array_.assign(static_cast<std::size_t>(num_groups), nullptr);
  Actions = action_array_.empty() ? nullptr : action_array_.data();
  Groups = group_array_.empty() ? nullptr : group_array_.data();
  if (places != nullptr) SetPlaces(places);
  if (read_only != nullptr) SetReadOnlyPlaces(read_only);
  if (activities != nullptr) SetActions(activities);
  if (groups != nullptr) SetGroups(groups);
}

void SANModel::SetPlaces(BaseStateVariableClass** places) {
  for (std::size_t i = 0; i < Places.size(); ++i) Places[i] = places[i];
}

void SANModel::SetReadOnlyPlaces(BaseStateVariableClass** read_only) {
  for (std::size_t i = 0; i < ReadOnlyPlaces.size(); ++i) {
    ReadOnlyPlaces[i] = read_only[i];
  }
}

void SANModel::SetActions(Activity** activities) {
  for (std::size_t i = 0; i < action_array_.size(); ++i) {
    action_array_[i] = activities[i];
    activities[i]->OwnerModel = this;
  }
}

void SANModel::SetGroups(BaseGroupClass** groups) {
  for (std::size_t i = 0; i < group_array_.size(); ++i) {
    group_array_[i] = groups[i];
    groups[i]->OwnerModel = this;
  }
}

void SANModel::listModels(const char* name, List<BaseModelClass>* out) {
  if (SameName(Name, HasName, name)) out->append(this);
}

// The image holds each stored place once, in declaration order. A place
// that gave up its storage to another place of this model is represented by
// that place, so stored places are exactly the distinct values.
int SANModel::StateSize() {
  int size = 0;
  for (BaseStateVariableClass* place : Places) {
    if (place->getStored()) size += place->StateSize();
  }
  return size;
}

void SANModel::CurrentState(void* image) {
  auto* position = static_cast<unsigned char*>(image);
  for (BaseStateVariableClass* place : Places) {
    if (!place->getStored()) continue;
    place->CurrentState(position);
    position += place->StateSize();
  }
}

void SANModel::SetState(void* image) {
  auto* position = static_cast<unsigned char*>(image);
  for (BaseStateVariableClass* place : Places) {
    if (!place->getStored()) continue;
    place->SetState(position);
    position += place->StateSize();
  }
}

bool SANModel::CompareState(void* a, void* b) {
  return std::memcmp(a, b, static_cast<std::size_t>(StateSize())) == 0;
}

void SANModel::listActions(List<BaseActionClass>* out) {
  for (int i = 0; i < NumActions; ++i) out->append(Actions[i]);
}

void SANModel::listGroups(List<BaseGroupClass>* out) {
  for (int i = 0; i < NumGroups; ++i) out->append(Groups[i]);
}

void SANModel::listActions(const char* name, List<BaseActionClass>* out) {
  for (int i = 0; i < NumActions; ++i) {
    if (Actions[i]->ActionName == name) {
      out->append(Actions[i]);
      return;
    }
  }
}

void SANModel::listSVs(const char* model, const char* sv,
                       List<BaseStateVariableClass>* svs,
                       List<BaseModelClass>* models) {
  if (!SameName(Name, HasName, model)) return;
  for (BaseStateVariableClass* place : Places) {
    if (place->Name == sv) {
      svs->append(place);
      models->append(this);
    }
  }
  for (BaseStateVariableClass* place : ReadOnlyPlaces) {
    if (place->Name == sv) {
      svs->append(place);
      models->append(this);
    }
  }
}

void SANModel::printState(std::ostream* os) {
  *os << "Model: (" << ModelId << ')' << Name << '\n' << std::flush;
  for (BaseStateVariableClass* place : Places) {
    *os << "  ";
    place->printState(os);
  }
  for (BaseStateVariableClass* place : ReadOnlyPlaces) {
    *os << "  ";
    place->printState(os);
  }
}

BaseStateVariableClass** SANModel::GetLocalStateVariables(std::ostream*) {
  return Places.empty() ? nullptr : Places.data();
}

BaseModelClass* SANModel::GetChild(int) {
  GEN_CHECK(false);
  return nullptr;
}

void SANModel::GetGlobalActions(ActionChain& out) {
  std::set<BaseActionClass*> touching_shared;
  for (BaseStateVariableClass* place : Places) {
    if (place->getStored()) continue;
    List<BaseActionClass>* lists[] = {place->getAffectingActions(),
                                      place->getEnabledActions()};
    for (List<BaseActionClass>* list : lists) {
      for (int i = 0; i < list->getNumItems(); ++i) {
        touching_shared.insert(list->getItem(i));
      }
    }
  }
  for (BaseActionClass* action : touching_shared) {
    for (int i = 0; i < NumActions; ++i) {
      if (Actions[i] == action) {
        out.push_front(action);
        break;
      }
    }
  }
}

void SANModel::GetLocalActions(ActionChain& out) {
  ActionChain global;
  GetGlobalActions(global);
  for (int i = 0; i < NumActions; ++i) {
    bool is_global = false;
    for (BaseActionClass* action : global) {
      if (action == Actions[i]) {
        is_global = true;
        break;
      }
    }
    if (!is_global) out.push_front(Actions[i]);
  }
}

bool SANModel::HasLocalState() { return StateSize() > 0; }

void SANModel::GetLocalState(State* s) { s->GetState(this); }

void SANModel::SetLocalState(const State* s) {
  // Restoring a state reads the record; it does not change it.
  const_cast<State*>(s)->SetState(this);
}

void SANModel::ConstructLocalState(State*& s) { s = new LocalState(this); }

void SANModel::DestructLocalState(State* s) { delete s; }

void SANModel::PrintSANModelInfo() {
  std::printf("SANModelInfo\n");
  std::printf(
      "Number of Actions = %i, Number of Groups = %i, Number of State "
      "Variables = %i\n",
      NumActions, NumGroups, NumStateVariables);
  for (int i = 0; i < NumActions; ++i) {
    BaseActionClass* action = Actions[i];
    std::printf("ActionName = %s\n", action->ActionName.c_str());
    std::printf("Group Id = %i\n", action->GroupId);
    std::printf("DistributionType = %i\n",
                static_cast<int>(action->DistributionType));
    std::printf("ExecutionPolicy = %i\n",
                static_cast<int>(action->ExecutionPolicy));
    std::printf("Number of affected state variables = %i\n",
                action->AffectedSVs.getNumItems());
    std::printf("Number of enabling state variables = %i\n",
                action->EnablingSVs.getNumItems());
  }
  std::printf("\n");
  for (int i = 0; i < NumGroups; ++i) {
    std::printf("Group Name = %s \n", Groups[i]->ActionName.c_str());
  }
  for (BaseStateVariableClass* place : Places) {
    std::printf("Place Name = %s\n", place->getName());
  }
  for (BaseStateVariableClass* place : ReadOnlyPlaces) {
    std::printf("Read Only Place Name = %s\n", place->getName());
  }
  std::fflush(stdout);
}

SANModel::LocalState::LocalState(SANModel* model)
    : bytes(std::make_unique<unsigned char[]>(
          static_cast<std::size_t>(model->StateSize()))),
      size(model->StateSize()) {}

int SANModel::LocalState::hash() {
  // Wrapping 32-bit arithmetic, done unsigned to stay defined.
  std::uint32_t sum = 0;
  for (int i = 0; i < size; ++i) {
    const auto byte =
        static_cast<std::int32_t>(static_cast<signed char>(bytes[i]));
    sum += static_cast<std::uint32_t>(byte) *
           static_cast<std::uint32_t>(kPrimes[i % kPrimeCount]);
  }
  return static_cast<int>(sum);
}

int SANModel::LocalState::compare(const State& other) const {
  const auto& that = static_cast<const LocalState&>(other);
  if (size == 0) return 0;
  const int result = std::memcmp(bytes.get(), that.bytes.get(),
                                 static_cast<std::size_t>(size));
  return (result > 0) - (result < 0);
}

void SANModel::LocalState::print() {
  for (int i = 0; i < size; ++i) {
    std::printf("%5d", static_cast<int>(static_cast<signed char>(bytes[i])));
  }
  std::printf("\n");
  std::fflush(stdout);
}

bool SANModel::LocalState::fwriteState(std::FILE* file) {
  const std::int32_t stored_size = size;  // 4 bytes, machine order
  if (std::fwrite(&stored_size, sizeof stored_size, 1, file) != 1) return true;
  const std::size_t written =
      std::fwrite(bytes.get(), 1, static_cast<std::size_t>(size), file);
  return written < static_cast<std::size_t>(size);
}

bool SANModel::LocalState::freadState(std::FILE* file) {
  std::int32_t stored_size = 0;
  if (std::fread(&stored_size, sizeof stored_size, 1, file) != 1) return true;
  // A record of another size belongs to another model; reading it would
  // overrun the buffer.
  if (stored_size != size) return true;
  const std::size_t read =
      std::fread(bytes.get(), 1, static_cast<std::size_t>(size), file);
  return read < static_cast<std::size_t>(size);
}

State& SANModel::LocalState::operator=(const State& other) {
  if (&other == this) return *this;
  const auto* _localS = static_cast<const LocalState*>(&other);
  GEN_CHECK(size == _localS->size);
  std::memcpy(bytes.get(), _localS->bytes.get(),
              static_cast<std::size_t>(size));
  return *this;
}

void SANModel::LocalState::SetState(BaseModelClass* model) {
  model->SetState(bytes.get());
}

void SANModel::LocalState::GetState(BaseModelClass* model) {
  model->CurrentState(bytes.get());
}

bool checkLocalSVs(SANModel* model, Place** places) {
  for (std::size_t i = 0; i < model->Places.size(); ++i) {
    if (model->Places[i] != places[i]) return false;
  }
  return true;
}

bool checkReadOnlyPlaces(SANModel* model, BaseStateVariableClass** read_only) {
  for (std::size_t i = 0; i < model->ReadOnlyPlaces.size(); ++i) {
    if (model->ReadOnlyPlaces[i] != read_only[i]) return false;
  }
  return true;
}

bool checkLocalActions(SANModel* model, Activity** activities) {
  for (int i = 0; i < model->NumActions; ++i) {
    if (model->Actions[i] != activities[i]) return false;
  }
  return true;
}
