#include "framework/SANModel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestModel.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Image(BaseModelClass& model) {
  Bytes image(static_cast<std::size_t>(model.StateSize()));
  model.CurrentState(image.data());
  return image;
}

TEST(SANModelTest, ImageIsPlacesInDeclarationOrder) {
  TestModel model;
  Place& a = model.AddPlace("A", 3);
  Place& b = model.AddPlace("B", -2);
  model.AddReadOnlyPlace("R", 9);
  model.Finish();
  EXPECT_EQ(model.StateSize(), 4);
  EXPECT_EQ(model.getNumStateVariables(), 3);
  EXPECT_EQ(Image(model), (Bytes{0x03, 0x00, 0xFE, 0xFF}));
  Bytes next{0x01, 0x00, 0x00, 0x00};
  model.SetState(next.data());
  EXPECT_EQ(a.getMark(), 1);
  EXPECT_EQ(b.getMark(), 0);
  Bytes other{0x01, 0x00, 0x00, 0x01};
  EXPECT_TRUE(model.CompareState(next.data(), Image(model).data()));
  EXPECT_FALSE(model.CompareState(next.data(), other.data()));

  std::ostringstream out;
  model.printState(&out);
  EXPECT_EQ(out.str(), "Model: (" + std::to_string(model.ModelId) +
                           ")test\n  A = 1\n  B = 0\n  R = 9\n");
}

TEST(SANModelTest, SharedPlacesAppearOnceInTheImage) {
  TestModel model;
  Place& a = model.AddPlace("a", 1);
  Place& b = model.AddPlace("b", 5);
  Place& c = model.AddPlace("c", 2);
  model.Finish();
  b.share(&a);  // b stays the holder; a gives up its storage
  ASSERT_FALSE(a.getStored());
  EXPECT_EQ(model.StateSize(), 4);
  EXPECT_EQ(Image(model), (Bytes{0x01, 0x00, 0x02, 0x00}));
  Bytes next{0x07, 0x00, 0x08, 0x00};
  model.SetState(next.data());
  EXPECT_EQ(a.getMark(), 7);
  EXPECT_EQ(b.getMark(), 7);
  EXPECT_EQ(c.getMark(), 8);
}

TEST(SANModelTest, ActionsOfSharedPlacesAreGlobal) {
  TestModel model;
  Place& p = model.AddPlace("p", 0);
  Place& q = model.AddPlace("q", 0);
  TestActivity& a1 = model.AddExponential("a1", 1.0).Reads({&p});
  TestActivity& a2 = model.AddExponential("a2", 1.0).Changes({&q});
  TestActivity& a3 = model.AddExponential("a3", 1.0);
  model.Finish();

  BaseModelClass::ActionChain local;
  model.GetLocalActions(local);
  EXPECT_EQ(std::vector<BaseActionClass*>(local.begin(), local.end()),
            (std::vector<BaseActionClass*>{&a3, &a2, &a1}));
  BaseModelClass::ActionChain global;
  model.GetGlobalActions(global);
  EXPECT_TRUE(global.empty());

  // Another model's place takes over q's storage.
  Place outside("outside", 0);
  outside.share(&q);
  model.GetGlobalActions(global);
  EXPECT_EQ(std::vector<BaseActionClass*>(global.begin(), global.end()),
            (std::vector<BaseActionClass*>{&a2}));
  local.clear();
  model.GetLocalActions(local);
  EXPECT_EQ(std::vector<BaseActionClass*>(local.begin(), local.end()),
            (std::vector<BaseActionClass*>{&a3, &a1}));
}

TEST(SANModelTest, ListingAndOwnership) {
  TestModel model("m");
  Place& p = model.AddPlace("x", 0);
  TestActivity& first = model.AddExponential("x", 1.0);
  model.AddExponential("x", 2.0);
  TestModel::CaseSet cases = model.AddCases("f", Instantaneous, 2);
  model.Finish();
  EXPECT_EQ(first.OwnerModel, &model);
  EXPECT_EQ(cases.group->OwnerModel, &model);
  EXPECT_EQ(model.Groups[2], cases.group);
  EXPECT_EQ(cases.cases[1]->GroupId, 2);
  EXPECT_EQ(cases.group->ActionName, "fGroup");

  List<BaseActionClass> named;
  model.listActions("x", &named);
  ASSERT_EQ(named.getNumItems(), 1);
  EXPECT_EQ(named[0], &first);

  List<BaseStateVariableClass> svs;
  List<BaseModelClass> models;
  model.listSVs("other", "x", &svs, &models);
  EXPECT_EQ(svs.getNumItems(), 0);
  model.listSVs("m", "x", &svs, &models);
  EXPECT_EQ(svs.getNumItems(), 1);
  EXPECT_EQ(svs[0], &p);
  EXPECT_EQ(models.getNumItems(), 1);

  List<BaseModelClass> found;
  model.listModels("m", &found);
  model.listModels("n", &found);
  EXPECT_EQ(found.getNumItems(), 1);
}

TEST(SANModelTest, ModelIdsCountUp) {
  TestModel first;
  TestModel second;
  EXPECT_EQ(second.ModelId, first.ModelId + 1);
}

TEST(SANModelTest, PrintSANModelInfo) {
  TestModel model;
  model.AddPlace("p", 0);
  model.AddReadOnlyPlace("r", 0);
  TestActivity& a = model.AddInstantaneous("a");
  model.Finish();
  model.AddAffectArc(&model.place(0), &a);
  testing::internal::CaptureStdout();
  model.PrintSANModelInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "SANModelInfo\n"
            "Number of Actions = 1, Number of Groups = 1, Number of State "
            "Variables = 2\n"
            "ActionName = a\n"
            "Group Id = 0\n"
            "DistributionType = 18\n"
            "ExecutionPolicy = 1\n"
            "Number of affected state variables = 1\n"
            "Number of enabling state variables = 0\n"
            "\n"
            "Group Name = a \n"
            "Place Name = p\n"
            "Read Only Place Name = r\n");
}

TEST(SANModelDeathTest, OtherModelKindsAreContractViolations) {
  TestModel model;
  model.Finish();
  EXPECT_DEATH(model.GetChild(0), "SANModel.*`false' failed");
  TestModel& as_san = model;
  BaseModelClass& base = as_san;
  EXPECT_EQ(base.GetModelType(), 1);
  EXPECT_EQ(base.GetNumberOfChildren(), 0);
}

class LocalStateTest : public testing::Test {
 protected:
  void SetUp() override {
    a_ = &model_.AddPlace("a", 0x0201);
    model_.AddPlace("b", -1);
    model_.Finish();
  }

  TestModel model_;
  Place* a_ = nullptr;
};

TEST_F(LocalStateTest, HashWeighsSignedBytesByPrimes) {
  TestModel two;
  Place& p = two.AddPlace("p", static_cast<short>(0xFF01));  // bytes 01 FF
  two.Finish();
  SANModel::LocalState state(&two);
  two.GetLocalState(&state);
  EXPECT_EQ(state.hash(), 1 * 2 + (-1) * 3);
  p.setMark(0);
  two.GetLocalState(&state);
  EXPECT_EQ(state.hash(), 0);

  // bytes 01 02 FF FF
  SANModel::LocalState four(&model_);
  model_.GetLocalState(&four);
  EXPECT_EQ(four.hash(), 1 * 2 + 2 * 3 - 5 - 7);
}

TEST_F(LocalStateTest, CompareIsUnsignedBytewise) {
  SANModel::LocalState x(&model_);
  SANModel::LocalState y(&model_);
  model_.GetLocalState(&x);
  model_.GetLocalState(&y);
  EXPECT_EQ(x.compare(y), 0);
  y.bytes[0] = 0x80;  // above 0x01 as an unsigned byte
  EXPECT_EQ(x.compare(y), -1);
  EXPECT_EQ(y.compare(x), 1);
  x = y;
  EXPECT_EQ(x.compare(y), 0);
}

TEST_F(LocalStateTest, FileRoundTripAndRefusedSizes) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  State* written = nullptr;
  model_.ConstructLocalState(written);
  model_.GetLocalState(written);
  EXPECT_FALSE(written->fwriteState(file));
  EXPECT_EQ(std::ftell(file), 8);

  std::rewind(file);
  unsigned char raw[8];
  ASSERT_EQ(std::fread(raw, 1, 8, file), 8u);
  EXPECT_EQ(Bytes(raw, raw + 8),
            (Bytes{0x04, 0x00, 0x00, 0x00, 0x01, 0x02, 0xFF, 0xFF}));

  std::rewind(file);
  SANModel::LocalState read(&model_);
  EXPECT_FALSE(read.freadState(file));
  EXPECT_EQ(read.compare(*written), 0);
  a_->setMark(0);
  model_.SetLocalState(&read);
  EXPECT_EQ(a_->getMark(), 0x0201);
  EXPECT_TRUE(read.freadState(file));  // at end of file
  model_.DestructLocalState(written);

  // A record of another size is refused and the buffer left alone.
  TestModel small;
  small.AddPlace("s", 7);
  small.Finish();
  SANModel::LocalState other(&small);
  small.GetLocalState(&other);
  std::rewind(file);
  EXPECT_FALSE(other.fwriteState(file));
  std::rewind(file);
  EXPECT_TRUE(read.freadState(file));
  EXPECT_EQ(read.size, 4);
  EXPECT_EQ(read.bytes[0], 0x01);
  std::fclose(file);
}

TEST_F(LocalStateTest, Print) {
  SANModel::LocalState state(&model_);
  model_.GetLocalState(&state);
  testing::internal::CaptureStdout();
  state.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "    1    2   -1   -1\n");
}

TEST_F(LocalStateTest, AssigningAnotherSizeIsAContractViolation) {
  TestModel small;
  small.AddPlace("s", 7);
  small.Finish();
  SANModel::LocalState other(&small);
  SANModel::LocalState mine(&model_);
  EXPECT_DEATH(mine = other, "SANModel.*`size == _localS->size' failed");
}

}  // namespace
