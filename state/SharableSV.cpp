#include "state/SharableSV.h"

#include <cstring>
#include <iostream>

#include "base/Contract.h"

namespace {

// Read-only view of a registration chain, so the emptiness check reads as
// a question about the chain's head.
template <typename Chain>
struct ChainView {
  const Chain& chain;
  bool getHead() const { return !chain.empty(); }
};

}  // namespace

template <typename T>
SharableSV<T>::SharableSV() : SharableSV("default") {}

template <typename T>
SharableSV<T>::SharableSV(const char* name)
    : BaseStateVariableClass(name, ""),
      value(nullptr),
      holder(this),
      storage_(std::make_unique<T>(T())) {
  value = storage_.get();
  RegisterPointer(&value, this);
  const PointerRegistration* NextElement = &pointerChain.front();
  GEN_CHECK(NextElement->getOwner());
}

template <typename T>
SharableSV<T>::~SharableSV() = default;

template <typename T>
void SharableSV<T>::SetState(void* image) {
  std::memcpy(value, image, sizeof(T));
}

template <typename T>
void SharableSV<T>::CurrentState(void* image) {
  std::memcpy(image, value, sizeof(T));
}

template <typename T>
void SharableSV<T>::printState(std::ostream* os) {
  *os << Name << " = " << *value << '\n' << std::flush;
}

template <typename T>
void SharableSV<T>::printStateVal(std::ostream* os) {
  *os << *value;
}

template <typename T>
void SharableSV<T>::RegisterPointer(T** pointer,
                                    BaseStateVariableClass* owner) {
  *pointer = value;
  pointerChain.push_front(PointerRegistration{pointer, owner});
  ++sharingCount;
}

template <typename T>
void SharableSV<T>::share(BaseStateVariableClass* other) {
  auto* otherSV = dynamic_cast<SharableSV<T>*>(other);
  GEN_CHECK(otherSV);
  SharableSV<T>* joining;
  SharableSV<T>* hub;
  if (otherSV->stored && stored) {
    joining = otherSV;
    hub = this;
    shared = true;
    *value = *otherSV->value;  // the argument's value wins
  } else if (otherSV->stored) {
    joining = otherSV;
    hub = holder;
  } else if (stored) {
    joining = this;
    hub = otherSV->holder;
  } else if (sharingCount <= otherSV->holder->sharingCount) {
    joining = holder;
    hub = otherSV->holder;
  } else {
    joining = otherSV->holder;
    hub = this;
  }
  Join(joining, hub);

  // Actions must list the group once, under the variable that stays.
  otherSV->replaceSelfInActions(holder);
}

template <typename T>
void SharableSV<T>::Join(SharableSV<T>* a, SharableSV<T>* b) {
  if (a == b) return;  // already one group
  a->storage_.reset();
  a->holder = b;
  a->value = b->value;
  for (PointerRegistration& registration : a->pointerChain) {
    *registration.pointer = b->value;
  }
  a->shared = true;
  a->stored = false;

  List<BaseActionClass>* SVAffectingActions = b->AffectingActions;
  List<BaseActionClass>* SVEnabledActions = b->EnabledActions;
  GEN_CHECK(SVAffectingActions);
  GEN_CHECK(SVEnabledActions);
  SVAffectingActions->append(a->AffectingActions);
  SVEnabledActions->append(a->EnabledActions);
  a->AdoptSharedLists(SVAffectingActions, SVEnabledActions);

  ChainView<std::forward_list<PointerRegistration>> view{a->pointerChain};
  const auto* TheOtherPointer = &view;
  GEN_CHECK(TheOtherPointer->getHead());
  for (PointerRegistration& registration : a->pointerChain) {
    if (registration.owner != nullptr) {
      registration.owner->AdoptSharedLists(SVAffectingActions,
                                           SVEnabledActions);
    }
  }
  b->pointerChain.splice_after(b->pointerChain.before_begin(), a->pointerChain);
  b->sharingCount += a->sharingCount;
}

template <typename T>
void SharableSV<T>::appendAffectingAction(BaseActionClass* action) {
  if (holder != this || pointerChain.empty()) return;
  // After sharing every owner uses the same list; duplicates are refused,
  // so the action lands there once.
  for (PointerRegistration& registration : pointerChain) {
    if (registration.owner != nullptr) {
      registration.owner->BaseStateVariableClass::appendAffectingAction(action);
    }
  }
}

template class SharableSV<short>;
