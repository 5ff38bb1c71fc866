#ifndef GEN_STATE_STRUCTSTATEVARIABLE_H_
#define GEN_STATE_STRUCTSTATEVARIABLE_H_

#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include "base/List.h"
#include "state/BaseStateVariableClass.h"

class BaseActionClass;

// Element kind of a field of a structured state variable; it fixes how many
// bytes the field occupies in the state image. Any value outside 0..4 marks
// a nested structured field, which occupies its own StateSize().
enum ArrayType : int {
  kShortElement = 0,   // 2 bytes
  kIntElement = 1,     // 4 bytes
  kCharElement = 2,    // 1 byte
  kDoubleElement = 3,  // 8 bytes
  kFloatElement = 4,   // 4 bytes
  kStructElement = 5,  // the field's own size
};

// A state variable made of other state variables (a record or an array),
// laid end to end in the state image in field order. Arcs and sharing are
// passed on to the fields; actions list the leaves, never the structure.
// The field variables are not owned.
class BaseStructStateVariable : public BaseStateVariableClass {
 public:
  struct fieldType {
    BaseStateVariableClass* variable;
    ArrayType type;
  };

  BaseStructStateVariable();
  BaseStructStateVariable(const char* name, const char* prefix);
  // One field per type, each without its variable: the concrete class fills
  // in `fields[i].variable` afterwards.
  BaseStructStateVariable(const char* name, const char* prefix,
                          const ArrayType* types, int n);
  ~BaseStructStateVariable() override;

  int StateSize() override;
  void SetState(void* image) override;
  void CurrentState(void* image) override;
  void printState(std::ostream* os) override;
  using BaseStateVariableClass::printState;
  void share(BaseStateVariableClass* other) override;
  void appendAffectingAction(BaseActionClass* action) override;
  void addSelfAsEnablingSVToAction(BaseActionClass* action) override;
  void addSelfAsAffectedSVToAction(BaseActionClass* action) override;
  void removeSelfFromEnablingSVOfAction(BaseActionClass* action) override;
  void removeSelfFromAffectedSVOfAction(BaseActionClass* action) override;
  std::unique_ptr<List<BaseStateVariableClass>> getLeafNodes() override;
  int getNumLeafNodes() override;
  bool isLeafNode() override;
  void appendEnabledAction(BaseActionClass* action) override;
  virtual void ShareWith(BaseStructStateVariable* other);
  virtual fieldType field(ArrayType type, BaseStateVariableClass* sv) const;

  void makeArrays(const ArrayType* types, int n);
  int calculateStateSize();
  ArrayType getType(int i) const { return fields[i].type; }
  int getSize() const { return static_cast<int>(fields.size()); }

  int stateSize;  // -1 until computed
  std::vector<fieldType> fields;

 private:
  static int FieldWidth(const fieldType& f);
};

// Plain byte copies between values and a state image, in the machine's byte
// order. Used for bool, char, short, int, float and double.
template <typename T>
void writeArray(T* values, void* image, int n) {
  std::memcpy(image, values, sizeof(T) * static_cast<std::size_t>(n));
}

template <typename T>
void readArray(T* values, void* image, int n) {
  std::memcpy(values, image, sizeof(T) * static_cast<std::size_t>(n));
}

template <typename T>
void writeMemory(T value, void* image) {
  std::memcpy(image, &value, sizeof(T));
}

template <typename T>
void readMemory2(void* image, T* value) {
  std::memcpy(value, image, sizeof(T));
}

#endif  // GEN_STATE_STRUCTSTATEVARIABLE_H_
