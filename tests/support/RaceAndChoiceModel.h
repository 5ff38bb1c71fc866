#ifndef GEN_TESTS_SUPPORT_RACEANDCHOICEMODEL_H_
#define GEN_TESTS_SUPPORT_RACEANDCHOICEMODEL_H_

// A fixed-time service racing an exponential abort, then an instantaneous
// 3 : 1 choice, with impulses on every kind of activity. Its generated files
// and its long-run rates are both worked out by hand in the tests that use it.
inline constexpr const char* kRaceAndChoiceModel =
    "place idle = 1; place queued; place busy; place done;\n"
    "activity arrive rate 0.5 { input idle; output queued; }\n"
    "activity admit instant { input queued; output busy; }\n"
    "activity serve delay 2 { input busy; output done; }\n"
    "activity abort rate 0.25 { input busy; output idle; }\n"
    "activity ok instant weight 3 { input done; output idle; }\n"
    "activity retry instant weight 1 { input done; output busy; }\n"
    "reward served { impulse serve = busy + 1; }\n"
    "reward routed { impulse ok = 5 * done; impulse retry; }\n"
    "reward admits { impulse admit; impulse abort = 7; }\n";

#endif  // GEN_TESTS_SUPPORT_RACEANDCHOICEMODEL_H_
