#ifndef GEN_STATE_STATE_H_
#define GEN_STATE_STATE_H_

#include <cstdio>

class BaseModelClass;

// Abstract record of one model's local state.
class State {
 public:
  virtual ~State() = default;
  virtual int hash() { return 1; }
  virtual int compare(const State&) const { return 1; }
  virtual void print() = 0;
  // Both return true when fewer bytes than the state's size were moved.
  virtual bool fwriteState(std::FILE* file) = 0;
  virtual bool freadState(std::FILE* file) = 0;
  virtual State& operator=(const State& other) = 0;
  virtual void SetState(BaseModelClass* model) = 0;
  virtual void GetState(BaseModelClass* model) = 0;
  virtual void* GetStatePtr() = 0;
};

#endif  // GEN_STATE_STATE_H_
