#ifndef GEN_FRAMEWORK_BASEMODELCLASS_H_
#define GEN_FRAMEWORK_BASEMODELCLASS_H_

#include <forward_list>
#include <ostream>
#include <string>
#include <vector>

#include "base/List.h"

class BaseActionClass;
class BaseGroupClass;
class BaseStateVariableClass;
class State;

// Root of every model: a name, a serial model identifier (1 for the first
// model built), its actions and groups, and the interface through which the
// generator and the reward model see a model's state. The action and group
// arrays do not own what they point to.
class BaseModelClass {
 public:
  using ActionChain = std::forward_list<BaseActionClass*>;

  BaseModelClass();
  BaseModelClass(const BaseModelClass&) = delete;
  BaseModelClass& operator=(const BaseModelClass&) = delete;
  virtual ~BaseModelClass();

  virtual int getNumStateVariables() { return NumStateVariables; }
  virtual void listModels(const char* name, List<BaseModelClass>* out) = 0;
  // Writes the model's state image at `image` (StateSize() bytes).
  virtual void CurrentState(void* image) = 0;
  virtual void listActions(List<BaseActionClass>* out) = 0;
  virtual void listGroups(List<BaseGroupClass>* out) = 0;
  // Makes the image at `image` the model's state.
  virtual void SetState(void* image) = 0;
  virtual int StateSize() = 0;
  // True when the two images are the same state.
  virtual bool CompareState(void* a, void* b) = 0;
  virtual void listActions(const char* name, List<BaseActionClass>* out) = 0;
  virtual void listSVs(const char* model, const char* sv,
                       List<BaseStateVariableClass>* svs,
                       List<BaseModelClass>* models) = 0;
  virtual void printState(std::ostream* os);
  virtual void printState();
  // The current marking of every place, "name=value" separated by blanks,
  // each as the model states it (an imported variable kept as its value
  // minus its lower bound shows that value), for run-time error messages
  // and the `.states` file; empty for a model that does not name its places
  // that way (the compiled-in models, whose messages stay as they are).
  virtual std::string DescribeMarking() const { return {}; }
  // The model's local state variables, or null.
  virtual BaseStateVariableClass** GetLocalStateVariables(std::ostream* os);
  virtual BaseStateVariableClass** GetSharedStateVariables();
  virtual BaseStateVariableClass* getMainSharedVariable(
      BaseStateVariableClass* sv);
  virtual List<BaseStateVariableClass>* getListOfSharedVariables(
      BaseStateVariableClass* sv);
  virtual void AddAffectArc(BaseStateVariableClass* sv, BaseActionClass* a);
  virtual void AddEnableArc(BaseStateVariableClass* sv, BaseActionClass* a);
  virtual int GetModelType();
  virtual int GetNumberOfChildren();
  virtual BaseModelClass* GetChild(int i);
  virtual void GetLocalActions(ActionChain& out);
  virtual void GetGlobalActions(ActionChain& out);
  virtual bool HasLocalState();
  virtual void GetLocalState(State* s);
  virtual void SetLocalState(const State* s);
  virtual void ConstructLocalState(State*& s);
  virtual void DestructLocalState(State* s);

  void DefineName(const char* name);
  const char* getName() const { return HasName ? Name.c_str() : nullptr; }

  // Time of the last firing; 0 during state-space generation.
  static double LastActionTime;

  int NumStateVariables;
  int NumActions;
  int NumGroups;
  BaseGroupClass** Groups;  // NumGroups entries, not owned here
  std::string Name;
  bool HasName;
  int ModelId;
  BaseActionClass** Actions;  // NumActions entries, not owned here
};

#endif  // GEN_FRAMEWORK_BASEMODELCLASS_H_
