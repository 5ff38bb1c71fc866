#ifndef GEN_FRAMEWORK_SANMODEL_H_
#define GEN_FRAMEWORK_SANMODEL_H_

#include <cstdio>
#include <memory>
#include <ostream>
#include <vector>

#include "framework/BaseModelClass.h"
#include "state/State.h"

class Activity;
class Place;

// The atomic stochastic activity network: arrays of places, read-only
// places, activities and groups (the arrays are owned, the objects are held
// by the concrete model). Its state image is its stored places laid end to
// end in declaration order.
class SANModel : public BaseModelClass {
 public:
  // A copy of the model's state image.
  class LocalState : public State {
   public:
    explicit LocalState(SANModel* model);
    int hash() override;
    int compare(const State& other) const override;
    void print() override;
    bool fwriteState(std::FILE* file) override;
    bool freadState(std::FILE* file) override;
    State& operator=(const State& other) override;
    // Same-model copy; sizes must agree, as for the State form.
    LocalState& operator=(const LocalState& other) {
      operator=(static_cast<const State&>(other));
      return *this;
    }
    void SetState(BaseModelClass* model) override;
    void GetState(BaseModelClass* model) override;
    void* GetStatePtr() override { return bytes.get(); }

    std::unique_ptr<unsigned char[]> bytes;
    int size;
  };

  SANModel();
  SANModel(const char* name, int num_places, BaseStateVariableClass** places,
           int num_read_only, BaseStateVariableClass** read_only,
           int num_activities, Activity** activities, int num_groups,
           BaseGroupClass** groups);
  ~SANModel() override;

  void listModels(const char* name, List<BaseModelClass>* out) override;
  void CurrentState(void* image) override;
  void listActions(List<BaseActionClass>* out) override;
  void listGroups(List<BaseGroupClass>* out) override;
  void SetState(void* image) override;
  int StateSize() override;
  bool CompareState(void* a, void* b) override;
  void listActions(const char* name, List<BaseActionClass>* out) override;
  void listSVs(const char* model, const char* sv,
               List<BaseStateVariableClass>* svs,
               List<BaseModelClass>* models) override;
  void printState(std::ostream* os) override;
  using BaseModelClass::printState;
  BaseStateVariableClass** GetLocalStateVariables(std::ostream* os) override;
  int GetModelType() override { return 1; }
  int GetNumberOfChildren() override { return 0; }
  BaseModelClass* GetChild(int i) override;
  void GetLocalActions(ActionChain& out) override;
  void GetGlobalActions(ActionChain& out) override;
  bool HasLocalState() override;
  void GetLocalState(State* s) override;
  void SetLocalState(const State* s) override;
  void ConstructLocalState(State*& s) override;
  void DestructLocalState(State* s) override;

  void initializeSANModelNow(const char* name, int num_places,
                             BaseStateVariableClass** places, int num_read_only,
                             BaseStateVariableClass** read_only,
                             int num_activities, Activity** activities,
                             int num_groups, BaseGroupClass** groups);
  void SetPlaces(BaseStateVariableClass** places);
  void SetReadOnlyPlaces(BaseStateVariableClass** read_only);
  void SetActions(Activity** activities);
  void SetGroups(BaseGroupClass** groups);
  void PrintSANModelInfo();

  std::vector<BaseStateVariableClass*> Places;
  std::vector<BaseStateVariableClass*> ReadOnlyPlaces;
  int NumReadOnlyPlaces;

 private:
  std::vector<BaseActionClass*> action_array_;  // backs Actions
  std::vector<BaseGroupClass*> group_array_;    // backs Groups
};

bool checkLocalSVs(SANModel* model, Place** places);
bool checkReadOnlyPlaces(SANModel* model, BaseStateVariableClass** read_only);
bool checkLocalActions(SANModel* model, Activity** activities);

#endif  // GEN_FRAMEWORK_SANMODEL_H_
