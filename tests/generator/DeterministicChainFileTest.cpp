// The description of a deterministic-mode chain (.dch) for small models,
// written out by hand, and the choices it must keep apart.

#include <functional>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "tests/support/GeneratorHarness.h"
#include "tests/support/TestModel.h"

namespace {

using Model = std::unique_ptr<TestModel>;

TEST(DeterministicChainFileTest, SmallModelsByHand) {
  struct Row {
    const char* name;
    // Adds the activities to a model whose places are a (1 token), b, c.
    std::function<void(TestModel&, Place&, Place&, Place&)> build;
    const char* dch;
  };
  const Row rows[] = {
      {"one delay",
       [](TestModel& m, Place& a, Place& b, Place&) {
         MoveToken(m.AddDeterministic("fixed", 5.0), a, b);
       },
       "dch 1\nactions 1\nfixed\n"
       "state 1\ndelay 1 5\nto 1 2 1\n"
       "state 2\nend 2\n"},
      // The .arm holds 2 (3 - 1) for both; here nothing is summed.
      {"exponential and deterministic into one state",
       [](TestModel& m, Place& a, Place& b, Place&) {
         MoveToken(m.AddExponential("quick", 3.0), a, b);
         MoveToken(m.AddDeterministic("slow", 0.25), a, b);
       },
       "dch 1\nactions 1\nslow\n"
       "state 1\ndelay 1 0.25\nto 1 2 1\nrate 2 3 r\n"
       "state 2\nend 2\n"},
      // An arrival that leaves the delay enabled: its clock runs on.
      {"exponential that keeps the delay enabled",
       [](TestModel& m, Place& a, Place& b, Place& c) {
         MoveToken(m.AddDeterministic("timeout", 2.0), a, b);
         m.AddExponential("arrive", 0.5)
             .When([&c] { return c.getMark() == 0; })
             .Does([&c] { c.setMark(1); })
             .Reads({&c})
             .Changes({&c});
       },
       "dch 1\nactions 1\ntimeout\n"
       "state 1\ndelay 1 2\nto 1 2 1\nrate 3 0.5 c\n"
       "state 2\nrate 4 0.5 -\n"
       "state 3\ndelay 1 2\nto 1 4 1\n"
       "state 4\nend 4\n"},
      {"a state without deterministic actions, and one never enabled",
       [](TestModel& m, Place& a, Place& b, Place&) {
         MoveToken(m.AddExponential("go", 1e-300), a, b);
         m.AddDeterministic("stuck", 5.0).When([] { return false; });
         MoveToken(m.AddExponential("back", 0.1), b, a);
       },
       "dch 1\nactions 1\nstuck\n"
       "state 1\nrate 2 1e-300 -\n"
       "state 2\nrate 1 0.1 -\nend 2\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Model m = std::make_unique<TestModel>();
    Place& a = m->AddPlace("a", 1);
    Place& b = m->AddPlace("b");
    Place& c = m->AddPlace("c");
    row.build(*m, a, b, c);
    m->Finish();
    EXPECT_EQ(Generate(std::move(m)).dch, row.dch);
  }
}

TEST(DeterministicChainFileTest, NamesStayOnOneLine) {
  Model m = std::make_unique<TestModel>();
  Place& a = m->AddPlace("a", 1);
  Place& b = m->AddPlace("b");
  MoveToken(m->AddDeterministic("two\nlines\\and\rmore", 1.0), a, b);
  m->Finish();
  EXPECT_EQ(Generate(std::move(m)).dch,
            "dch 1\nactions 1\ntwo\\nlines\\\\and\\rmore\n"
            "state 1\ndelay 1 1\nto 1 2 1\nstate 2\nend 2\n");
}

TEST(DeterministicChainFileTest, NormalModeWritesNone) {
  Model m = std::make_unique<TestModel>();
  Place& a = m->AddPlace("a", 1);
  Place& b = m->AddPlace("b");
  MoveToken(m->AddExponential("go", 1.0), a, b);
  m->Finish();
  EXPECT_EQ(Generate(std::move(m)).dch, "");
}

// A timeout (delay 2, from `busy` to `done`) and an arrival of rate 1 that
// fills `queue`. How the arrival treats the timeout is the row's: it leaves
// it alone, or it restarts it through a vanishing marking where a token in
// `hold` disables it until an instantaneous action takes the token away,
// or it does either with weights 1 and 3. The .arm and .det cannot tell the
// first two apart; the .dch must.
TEST(DeterministicChainFileTest, RestartThroughZeroTimeDetourIsToldApart) {
  enum class Arrival { kKeeps, kRestarts, kEither };
  struct Row {
    const char* name;
    Arrival arrival;
    const char* rate_lines;  // of state 1
  };
  const Row rows[] = {
      {"keeps running", Arrival::kKeeps, "rate 3 1 c\n"},
      {"restarted through a detour", Arrival::kRestarts, "rate 3 1 r\n"},
      {"either, by weights 1 and 3", Arrival::kEither,
       "rate 3 0.25 c\nrate 3 0.75 r\n"},
  };
  std::string arm;
  std::string det;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Model m = std::make_unique<TestModel>();
    Place& busy = m->AddPlace("busy", 1);
    Place& done = m->AddPlace("done");
    Place& queue = m->AddPlace("queue");
    Place& hold = m->AddPlace("hold");
    Place& fork = m->AddPlace("fork");
    m->AddDeterministic("timeout", 2.0)
        .When([&] { return busy.getMark() == 1 && hold.getMark() == 0; })
        .Does([&] {
          busy.setMark(0);
          done.setMark(1);
        });
    const Arrival arrival = row.arrival;
    m->AddExponential("arrive", 1.0)
        .When([&] { return queue.getMark() == 0; })
        .Does([&, arrival] {
          queue.setMark(1);
          if (arrival == Arrival::kRestarts) hold.setMark(1);
          if (arrival == Arrival::kEither) fork.setMark(1);
        });
    m->AddInstantaneous("release")
        .When([&] { return hold.getMark() == 1; })
        .Does([&] { hold.setMark(0); });
    m->AddInstantaneous("pass")
        .WithWeight(1.0)
        .When([&] { return fork.getMark() == 1; })
        .Does([&] { fork.setMark(0); });
    m->AddInstantaneous("detour")
        .WithWeight(3.0)
        .When([&] { return fork.getMark() == 1; })
        .Does([&] {
          fork.setMark(0);
          hold.setMark(1);
        });
    m->Finish();
    const Generated g = Generate(std::move(m));
    EXPECT_EQ(g.dch, std::string("dch 1\nactions 1\ntimeout\n"
                                 "state 1\ndelay 1 2\nto 1 2 1\n") +
                         row.rate_lines +
                         "state 2\nrate 4 1 -\n"
                         "state 3\ndelay 1 2\nto 1 4 1\n"
                         "state 4\nend 4\n");
    if (arm.empty()) {
      arm = g.arm;
      det = g.det;
    }
    EXPECT_EQ(g.arm, arm);
    EXPECT_EQ(g.det, det);
  }
}

// After a fixed-time service, three competing instantaneous actions of
// weights 6, 1 and 3 (and, in a second row, an activity of weight 2 against
// one with two cases of weight 1 each): each gets its weight over the total,
// as in normal generation, so the branches add up to 1.
TEST(DeterministicChainFileTest, CompetingChoicesAfterADelayAreWeighted) {
  Model m = std::make_unique<TestModel>();
  Place& start = m->AddPlace("start", 1);
  Place& hub = m->AddPlace("hub");
  Place& x = m->AddPlace("x");
  Place& y = m->AddPlace("y");
  Place& z = m->AddPlace("z");
  MoveToken(m->AddDeterministic("serve", 1.0), start, hub);
  MoveToken(m->AddInstantaneous("six").WithWeight(6.0), hub, x);
  MoveToken(m->AddInstantaneous("one").WithWeight(1.0), hub, y);
  MoveToken(m->AddInstantaneous("three").WithWeight(3.0), hub, z);
  m->Finish();
  const Generated g = Generate(std::move(m));
  EXPECT_EQ(g.arm, DeterministicHeader(4) +
                       "1\n2\n-6.0000000000e-01\n3\n-1.0000000000e-01\n"
                       "4\n-3.0000000000e-01\n0\n2\n0\n3\n0\n4\n0\n");
  EXPECT_EQ(g.dch,
            "dch 1\nactions 1\nserve\nstate 1\ndelay 1 1\n"
            "to 1 2 0.6\nto 1 3 0.1\nto 1 4 0.3\n"
            "state 2\nstate 3\nstate 4\nend 4\n");
}

}  // namespace
