#ifndef GEN_STATE_BASESTATEVARIABLECLASS_H_
#define GEN_STATE_BASESTATEVARIABLECLASS_H_

#include <memory>
#include <ostream>
#include <string>

#include "base/List.h"

class BaseActionClass;

// One named component of a model's state. It copies its value into and out
// of a byte image of the state, and keeps the actions that change it and the
// actions whose enabling reads it. After sharing, several variables point at
// one pair of action lists; only the variable whose `stored` flag is true
// owns (and deletes) them.
class BaseStateVariableClass {
 public:
  BaseStateVariableClass();  // name "default", prefix ""
  BaseStateVariableClass(const char* name, const char* prefix);
  BaseStateVariableClass(const BaseStateVariableClass&) = delete;
  BaseStateVariableClass& operator=(const BaseStateVariableClass&) = delete;
  virtual ~BaseStateVariableClass();

  virtual int StateSize() = 0;
  // Takes the value from the image at `image`.
  virtual void SetState(void* image) = 0;
  // Writes the value into the image at `image`.
  virtual void CurrentState(void* image) = 0;
  virtual void printState(std::ostream* os);
  virtual void printState();
  virtual void printStateVal(std::ostream* os);
  virtual void share(BaseStateVariableClass* other) = 0;
  virtual void appendAffectingAction(BaseActionClass* action);
  virtual void removeAffectingAction(BaseActionClass* action);
  virtual void replaceAffectingAction(BaseActionClass* old_action,
                                      BaseActionClass* new_action);
  virtual void addSelfAsEnablingSVToAction(BaseActionClass* action);
  virtual void addSelfAsAffectedSVToAction(BaseActionClass* action);
  virtual void removeSelfFromEnablingSVOfAction(BaseActionClass* action);
  virtual void removeSelfFromAffectedSVOfAction(BaseActionClass* action);
  // Makes every action in this variable's affecting and enabled lists name
  // `replacement` instead of this variable.
  void replaceSelfInActions(BaseStateVariableClass* replacement);
  // A new list owned by the caller.
  virtual std::unique_ptr<List<BaseStateVariableClass>> getLeafNodes();
  virtual int getNumLeafNodes();
  virtual bool isLeafNode();
  virtual void appendEnabledAction(BaseActionClass* action);
  virtual void removeEnabledAction(BaseActionClass* action);
  virtual void replaceEnabledAction(BaseActionClass* old_action,
                                    BaseActionClass* new_action);

  void SetName(const char* name);
  void SetPrefix(const char* prefix);
  const char* getName() const { return Name.c_str(); }
  const char* getPrefix() const { return Prefix.c_str(); }
  bool getShared() const { return shared; }
  void setShared(bool value) { shared = value; }
  bool getStored() const { return stored; }
  void setStored(bool value) { stored = value; }
  int getSharingCount() const { return sharingCount; }
  bool getFunctionallyShared() const { return functionallyShared; }
  void setFunctionallyShared(bool value) { functionallyShared = value; }

  List<BaseActionClass>* getAffectingActions() { return AffectingActions; }
  List<BaseActionClass>* getEnabledActions() { return EnabledActions; }
  // Replace the list pointers: no copy, no release.
  void setAffectingActions(List<BaseActionClass>* list);
  void setEnabledActions(List<BaseActionClass>* list);
  void copyAffectingActions(List<BaseActionClass>* list);
  void copyEnabledActions(List<BaseActionClass>* list);
  int getNumAffectingActions() const;
  int getNumEnabledActions() const;
  // Out of range: a report on standard error and null.
  BaseActionClass* getAffectingAction(int i);
  BaseActionClass* getEnabledAction(int i);
  void printAffectingActions();
  void printEnabledActions();

  // Releases this variable's own action lists (when it owns them) and makes
  // it use `affecting` and `enabled`, which belong to its sharing hub.
  void AdoptSharedLists(List<BaseActionClass>* affecting,
                        List<BaseActionClass>* enabled);

  std::string Name;
  std::string Prefix;
  bool shared;
  bool stored;
  bool functionallyShared;
  int sharingCount;
  List<BaseActionClass>* AffectingActions;
  List<BaseActionClass>* EnabledActions;

 private:
  // The lists this variable created; released when it stops owning them.
  std::unique_ptr<List<BaseActionClass>> own_affecting_;
  std::unique_ptr<List<BaseActionClass>> own_enabled_;
};

#endif  // GEN_STATE_BASESTATEVARIABLECLASS_H_
