#include "trace/TraceFileTolvarSSG.h"

#include "base/Contract.h"
#include "framework/BaseActionClass.h"
#include "framework/BaseModelClass.h"
#include "framework/SANModel.h"
#include "reward/PVModel.h"
#include "state/BaseStateVariableClass.h"

namespace {

constexpr const char* kStars = "**************************************";

// How many entries the model's local state variable array has. A SAN model's
// array holds its places without the read-only ones; other models count all
// their state variables as local.
int NumLocalStateVariables(BaseModelClass* model) {
  if (auto* san = dynamic_cast<SANModel*>(model)) {
    return san->NumStateVariables - san->NumReadOnlyPlaces;
  }
  return model->NumStateVariables;
}

}  // namespace

TraceFileTolvarSSG::~TraceFileTolvarSSG() = default;

void TraceFileTolvarSSG::EndLine() {
  *Stream << '\n' << std::flush;
  CheckWritten();
}

void TraceFileTolvarSSG::printHeader(PVModel* /*model*/) {
  if (Stream == nullptr) return;
  *Stream << kStars;
  EndLine();
  *Stream << "\t\tTRACE";
  EndLine();
  *Stream << kStars;
  EndLine();
}

void TraceFileTolvarSSG::printFooter() {}

void TraceFileTolvarSSG::printInitialState(BaseModelClass* model) {
  if (Stream == nullptr) return;
  *Stream << "Initial Model State:";
  EndLine();
  printState(model);
}

void TraceFileTolvarSSG::printState(BaseModelClass* model) {
  if (Stream == nullptr) return;
  GEN_CHECK(model != nullptr);
  BaseStateVariableClass** locals = model->GetLocalStateVariables(Stream);
  *Stream << "  Model: (" << model->ModelId << ")";
  // A model without a name still gets the rest of its block.
  if (const char* name = model->getName()) *Stream << name;
  EndLine();
  if (locals != nullptr) {
    const int count = NumLocalStateVariables(model);
    for (int i = 0; i < count; ++i) {
      *Stream << "    " << locals[i]->getName() << " = ";
      locals[i]->printStateVal(Stream);
      EndLine();
    }
  }
  const int children = model->GetNumberOfChildren();
  for (int i = 0; i < children; ++i) printState(model->GetChild(i));
}

void TraceFileTolvarSSG::printState(PVModel* model) {
  GEN_CHECK(model != nullptr);
  printState(model->ChildModel.get());
}

void TraceFileTolvarSSG::printFireAction(BaseActionClass* action,
                                         double /*time*/) {
  if (Stream == nullptr || Level < 1) return;
  *Stream << "Firing Action: " << action->ActionName;
  EndLine();
}

void TraceFileTolvarSSG::printPreFireAction(BaseActionClass* action) {
  if (Stream == nullptr || Level < 2) return;
  *Stream << "Enabling state before action firing:";
  EndLine();
  List<BaseStateVariableClass>& svs = action->getPrintedAction()->EnablingSVs;
  for (int i = 0; i < svs.getNumItems(); ++i) {
    BaseStateVariableClass* sv = svs.getItem(i);
    *Stream << "  " << sv->getName() << " = ";
    sv->printStateVal(Stream);
    EndLine();
  }
}

void TraceFileTolvarSSG::printPostFireAction(BaseActionClass* action,
                                             BaseActionClass* /*other*/) {
  if (Stream == nullptr) return;
  *Stream << "State after firing action: " << action->ActionName;
  EndLine();
}

void TraceFileTolvarSSG::newBatch() {
  if (Stream == nullptr) return;
  *Stream << "##### NEW BATCH #####";
  EndLine();
}

void TraceFileTolvarSSG::printStr(int level, const char* text) {
  if (Stream == nullptr || Level < level) return;
  *Stream << text;
  EndLine();
}
