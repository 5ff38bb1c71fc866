#ifndef GEN_STATE_SHARABLESV_H_
#define GEN_STATE_SHARABLESV_H_

#include <forward_list>
#include <memory>
#include <ostream>

#include "state/BaseStateVariableClass.h"

// A scalar state variable whose storage can be shared by several variables
// (models joined together see one value). Every pointer that must follow the
// storage when it moves is registered in `pointerChain`; sharing re-points
// all of them at the hub's storage. Instantiated for `short`.
template <typename T>
class SharableSV : public BaseStateVariableClass {
 public:
  struct PointerRegistration {
    T** pointer;                    // follows the storage
    BaseStateVariableClass* owner;  // the variable owning `pointer`, or null
    BaseStateVariableClass* getOwner() const { return owner; }
  };

  SharableSV();
  explicit SharableSV(const char* name);
  ~SharableSV() override;

  int StateSize() override { return static_cast<int>(sizeof(T)); }
  void SetState(void* image) override;
  void CurrentState(void* image) override;
  void printState(std::ostream* os) override;
  using BaseStateVariableClass::printState;
  void printStateVal(std::ostream* os) override;
  void share(BaseStateVariableClass* other) override;
  void appendAffectingAction(BaseActionClass* action) override;

  // Registers `pointer` in front of the chain, points it at the current
  // storage and counts it in `sharingCount`; it follows the storage from now
  // on. `owner` may be null (a reader such as an activity).
  void RegisterPointer(T** pointer, BaseStateVariableClass* owner);

  T* value;
  std::forward_list<PointerRegistration> pointerChain;
  SharableSV<T>* holder;

 private:
  // Makes group `a` part of hub `b`'s sharing group.
  static void Join(SharableSV<T>* a, SharableSV<T>* b);

  std::unique_ptr<T> storage_;  // set while this variable owns its storage
};

extern template class SharableSV<short>;

#endif  // GEN_STATE_SHARABLESV_H_
