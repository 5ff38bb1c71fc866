#ifndef GEN_BENCH_MODELS_FMS_H_
#define GEN_BENCH_MODELS_FMS_H_

#include <memory>
#include <vector>

#include "bench/models/BenchModelKit.h"
#include "framework/BaseGroupClass.h"
#include "framework/SANModel.h"
#include "state/Place.h"

class PVModel;

// A flexible manufacturing system: N parts of each of three kinds P1, P2
// and P3 are loaded (at most floor(3N/2) at a time, shared among the
// loaders in proportion to what waits), machined on M1 (3 machines), M2 (1)
// and M3 (2), and then either shipped and returned or, for some P1 and P2
// parts, joined into a P12 assembly machined on M3. Machine acquisition,
// the choice after machining and the join are instantaneous.
//
// Places in order: P1, P2, P3, M1, M2, M3, P1wM1, P1M1, P1d, P1s, P1wP2,
// P2wM2, P2M2, P2d, P2s, P2wP1, P12, P12wM3, P12M3, P12s, P3M2, P3s.
// Activities in order: tP1, tM1, tP1M1, tP1d (2 cases), tP1s, tP2, tM2,
// tP2M2, tP2d (2 cases), tP2s, tx, tP12, tM3, tP12M3, tP12s, tP3, tP3M2,
// tP3s.
class FmsSAN : public SANModel {
 public:
  // Loading of one part kind: from -> to at rate #from times the load
  // factor f = min(1, np / (#P1 + #P2 + #P3 + #P12)).
  class LoadActivity : public BenchActivity {
   public:
    LoadActivity(const char* name, int group_id, FmsSAN* model);
    bool Enabled() override;
    double Rate() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* from = nullptr;
    Place* to = nullptr;
    short* from_Mark = nullptr;
    short* to_Mark = nullptr;
    // The four places the load factor reads: P1, P2, P3, P12.
    short* load_Mark[4] = {nullptr, nullptr, nullptr, nullptr};
    FmsSAN* model;
  };

  // Instantaneous acquisition of a machine: machine + waiting -> busy.
  class AcquireActivity : public BenchActivity {
   public:
    AcquireActivity(const char* name, int group_id);
    bool Enabled() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* machine = nullptr;
    Place* waiting = nullptr;
    Place* busy = nullptr;
    short* machine_Mark = nullptr;
    short* waiting_Mark = nullptr;
    short* busy_Mark = nullptr;
  };

  // Machining: busy -> done + machine (machine may be null when the part
  // only reads its machine), at `rate` per token when `per_token`, else at
  // `rate`. When `guard` is set the activity is enabled only while it holds
  // a token (read, not consumed).
  class ServiceActivity : public BenchActivity {
   public:
    ServiceActivity(const char* name, int group_id, double rate,
                    bool per_token);
    bool Enabled() override;
    double Rate() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    double rate;
    bool per_token;
    Place* busy = nullptr;
    Place* done = nullptr;
    Place* machine = nullptr;  // released on completion, or null
    Place* guard = nullptr;    // read only, or null
    short* busy_Mark = nullptr;
    short* done_Mark = nullptr;
    short* machine_Mark = nullptr;
    short* guard_Mark = nullptr;
  };

  // One instantaneous case of the choice after machining: done -> target.
  class ChoiceCase : public BenchActivity {
   public:
    ChoiceCase(const char* name, int group_id, double weight);
    bool Enabled() override;
    double Weight() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    double weight;
    Place* done = nullptr;
    Place* target = nullptr;
    short* done_Mark = nullptr;
    short* target_Mark = nullptr;
  };

  // Return of finished parts, at rate 1/60 while `from` holds tokens: all k
  // tokens of `from` leave at once and k are added to `to` (and to `also`
  // when set).
  class ReturnActivity : public BenchActivity {
   public:
    ReturnActivity(const char* name, int group_id);
    bool Enabled() override;
    double Rate() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* from = nullptr;
    Place* to = nullptr;
    Place* also = nullptr;
    short* from_Mark = nullptr;
    short* to_Mark = nullptr;
    short* also_Mark = nullptr;
  };

  // tx: P1wP2 + P2wP1 -> P12, instantaneous.
  class JoinActivity : public BenchActivity {
   public:
    explicit JoinActivity(int group_id);
    bool Enabled() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* first = nullptr;
    Place* second = nullptr;
    Place* joined = nullptr;
    short* first_Mark = nullptr;
    short* second_Mark = nullptr;
    short* joined_Mark = nullptr;
  };

  // `parts` parts of each kind; 1 <= parts <= 10000.
  explicit FmsSAN(int parts);
  ~FmsSAN() override;

  // The most parts loaded at once: floor(3N/2).
  int max_loaded;

  std::unique_ptr<Place> P1, P2, P3, M1, M2, M3;
  std::unique_ptr<Place> P1wM1, P1M1, P1d, P1s, P1wP2;
  std::unique_ptr<Place> P2wM2, P2M2, P2d, P2s, P2wP1;
  std::unique_ptr<Place> P12, P12wM3, P12M3, P12s, P3M2, P3s;

  std::unique_ptr<LoadActivity> tP1, tP2, tP12, tP3;
  std::unique_ptr<AcquireActivity> tM1, tM2, tM3;
  std::unique_ptr<ServiceActivity> tP1M1, tP2M2, tP12M3, tP3M2;
  std::unique_ptr<ChoiceCase> tP1d_case1, tP1d_case2, tP2d_case1, tP2d_case2;
  std::unique_ptr<ReturnActivity> tP1s, tP2s, tP12s, tP3s;
  std::unique_ptr<JoinActivity> tx;
  PostselectGroup tP1dGroup;
  PostselectGroup tP2dGroup;
};

// The FMS model with `parts` parts of each kind, wrapped in its reward
// model: one reward variable, "busy_machines", the parts being machined
// (P1M1 + P2M2 + P12M3 + P3M2).
std::unique_ptr<PVModel> MakeFmsModel(int parts);

#endif  // GEN_BENCH_MODELS_FMS_H_
