#include "reward/ModelGroupClass.h"

#include <algorithm>

#include "base/Contract.h"

void ModelGroupClass::CreateModelList(int n) {
  NumModels = n;
  Models.assign(static_cast<std::size_t>(n), nullptr);
}

void ModelGroupClass::SetModel(int i, BaseModelClass* model) {
  GEN_CHECK(i >= 0 && i < NumModels);
  Models[static_cast<std::size_t>(i)] = model;
}

bool ModelGroupClass::IsDependentOnModel(const BaseModelClass* model) const {
  return std::find(Models.begin(), Models.end(), model) != Models.end();
}
