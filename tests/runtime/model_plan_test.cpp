// The runtime's plan for a model: creation and release, the shared default parameter record,
// the value-reference table and its typed entries, the integer write guard.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "tests/runtime/test_model.h"

namespace {

using runtime::VariableEntry;

// A model type of its own, so that its library-wide default record is untouched by other tests.
struct SharingModel : test_model::Model {
  static inline test_model::ModelParameters stored = {-0.5, 1.0, 0.75, 7, 1};
  static test_model::ModelParameters& defaultParameters() { return stored; }
};

TEST(DefaultParameters, FirstInstanceWorksInPlaceAndLaterOnesStartFromACopyOfIt) {
  runtime::SimModel* first = runtime::createModel<SharingModel>();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->parameters, &SharingModel::stored);
  EXPECT_EQ(first->ownsParameters, 0);
  static_cast<test_model::ModelParameters*>(first->parameters)->rate = 2.5;

  runtime::SimModel* second = runtime::createModel<SharingModel>();
  EXPECT_NE(second->parameters, &SharingModel::stored);
  EXPECT_EQ(second->ownsParameters, 1);
  EXPECT_EQ(static_cast<test_model::ModelParameters*>(second->parameters)->rate, 2.5);

  first->methods.terminateModel(first);
  EXPECT_EQ(SharingModel::stored.rate, 2.5) << "terminating the first instance frees nothing shared";
  EXPECT_EQ(runtime::defaultParametersInUse<SharingModel>, 1);

  runtime::SimModel* third = runtime::createModel<SharingModel>();
  EXPECT_EQ(third->ownsParameters, 1) << "the flag is never cleared";
  static_cast<test_model::ModelParameters*>(third->parameters)->rate = 9.0;
  EXPECT_EQ(SharingModel::stored.rate, 2.5);
  second->methods.terminateModel(second);
  third->methods.terminateModel(third);
}

TEST(CreateModel, DiscreteUpdatesRunBeforeEachIntegrationStep) {
  test_model::Driven m;
  m.setup();
  const int before = test_model::Model::discreteUpdates;
  for (int i = 0; i < 3; ++i) m.fixedStep();
  EXPECT_EQ(test_model::Model::discreteUpdates - before, 3);
  EXPECT_EQ(static_cast<test_model::WorkStates*>(m.mi.model->workStates)->calls, 3.0);
}

TEST(VariableTable, ValueReferencesAreNumberedPerTypeAndPointIntoTheRecords) {
  test_model::Driven m;
  const runtime::VariableTable& t = m.mi.variables;
  EXPECT_EQ(t.numReals, 6u);
  EXPECT_EQ(t.numIntegers, 1u);
  EXPECT_EQ(t.numBooleans, 1u);
  auto* inputs = static_cast<test_model::ExternalInputs*>(m.mi.model->inputs);
  auto* outputs = static_cast<test_model::ExternalOutputs*>(m.mi.model->outputs);
  EXPECT_EQ(t.reals[0].address, &inputs->offset);
  EXPECT_EQ(t.reals[2].address, &outputs->held);
  EXPECT_EQ(t.reals[3].address, &m.parameters().rate);
  EXPECT_EQ(t.integers[0].address, &m.parameters().lastIndex) << "integer 0 is not real 0";
  EXPECT_EQ(t.booleans[0].address, &m.parameters().enabled);
  EXPECT_EQ(t.integers[0].dataType, runtime::typeUInt32);

  // A value written through an entry is seen by the next computeOutputs.
  m.setup();
  m.mi.writeReal(&t.reals[0], 0.25);
  m.mi.computeOutputs(m.mi.model, 0);
  EXPECT_EQ(m.mi.readReal(&t.reals[2]), 0.75 + 0.25);
}

TEST(VariableTable, TypedEntriesConvertLikeTheirStorage) {
  union {
    double d;
    uint32_t u32;
  } storage{};
  VariableEntry e{&storage, runtime::typeUInt32, 0};
  int32_t ok = 0;
  runtime::writeInteger(&e, -1, &ok);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(storage.u32, 4294967295u);
  EXPECT_EQ(runtime::readInteger(&e, &ok), -1);

  e.dataType = runtime::typeBoolean;
  runtime::writeBoolean(&e, 2);
  EXPECT_EQ(runtime::readBoolean(&e), 0) << "only the value 1 stores true";
  runtime::writeBoolean(&e, 1);
  EXPECT_EQ(runtime::readBoolean(&e), 1);

  // Reading through the wrong entry yields zero; writing through it changes nothing.
  storage.d = 3.5;
  e.dataType = runtime::typeDouble;
  EXPECT_EQ(runtime::readInteger(&e, &ok), 0);
  EXPECT_EQ(runtime::readBoolean(&e), 0);
  runtime::writeBoolean(&e, 1);
  runtime::writeInteger(&e, 7, &ok);
  EXPECT_EQ(storage.d, 3.5);
}

TEST(IntegerGuard, RefusesValuesAboveTheMaximumAndThoseTheModelRejects) {
  test_model::Driven m;
  auto check = [&m](std::initializer_list<int32_t> values, std::size_t* refused) {
    const std::vector<uint32_t> vr(values.size(), 0);
    return m.mi.checkIntegerWrites(m.mi.model, vr.data(), std::data(values), values.size(), refused);
  };
  std::size_t refused = 99;
  EXPECT_EQ(check({9, 0}, &refused), nullptr);
  EXPECT_EQ(check({}, &refused), nullptr);
  EXPECT_EQ(refused, 99u);
  EXPECT_NE(check({-1}, &refused), nullptr);
  // The element named: the first one above its maximum, else the first the model's rule refuses.
  EXPECT_STREQ(check({9, 5, 0}, &refused), "five is refused");
  EXPECT_EQ(refused, 1u);
  EXPECT_STREQ(check({5, 1, 10}, &refused), "the value is above the largest one the table allows");
  EXPECT_EQ(refused, 2u);
}

}  // namespace
