// The evaluation budget of macro.h: steps and bytes counted per thread
// against the scopes in force.
#include <string>

#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"

namespace rt {
namespace {

// Set while the error of an exceeded budget is being handled: the error
// block's own evaluation is not counted, so it can run.
thread_local bool tRaising = false;

void RaiseOver(uint32_t genCode, uint64_t bound, const char* unit) {
    struct Raising {
        Raising() { tRaising = true; }
        ~Raising() { tRaising = false; }
    } raising;
    ErrorRef e = MakeError(genCode, "EVAL");
    e->Description = std::string(ErrString(genCode)) + ": the evaluation went over its budget of " +
                     std::to_string(bound) + " " + unit;
    e->CanDefault = true;
    RaiseError(e);
}

}  // namespace

EvalBudget::EvalBudget(EvalLimits limits) : limits_(limits), outer_(active_) { active_ = this; }

EvalBudget::~EvalBudget() { active_ = outer_; }

bool CountStep() {
    if (!EvalBudget::active_ || tRaising) return true;
    for (EvalBudget* b = EvalBudget::active_; b; b = b->outer_) {
        if (b->exceeded_) return false;
        if (b->limits_.steps != 0 && b->steps_ >= b->limits_.steps) {
            b->exceeded_ = true;
            RaiseOver(kGenComplexity, b->limits_.steps, "steps");
            return false;
        }
    }
    for (EvalBudget* b = EvalBudget::active_; b; b = b->outer_) ++b->steps_;
    return true;
}

void ChargeRaisedError() {
    if (tRaising) return;
    for (EvalBudget* b = EvalBudget::active_; b; b = b->outer_) b->steps_ += kFaultSteps;
}

bool AnyExceeded() {
    if (tRaising) return false;
    for (EvalBudget* b = EvalBudget::active_; b; b = b->outer_)
        if (b->exceeded_) return true;
    return false;
}

bool CountBytes(uint64_t bytes) {
    if (!EvalBudget::active_ || tRaising) return true;
    for (EvalBudget* b = EvalBudget::active_; b; b = b->outer_) {
        if (b->exceeded_) return false;
        if (b->limits_.bytes != 0 && (bytes > b->limits_.bytes || b->bytes_ > b->limits_.bytes - bytes)) {
            b->exceeded_ = true;
            RaiseOver(kGenMem, b->limits_.bytes, "bytes");
            return false;
        }
    }
    for (EvalBudget* b = EvalBudget::active_; b; b = b->outer_) b->bytes_ += bytes;
    return true;
}

}  // namespace rt
