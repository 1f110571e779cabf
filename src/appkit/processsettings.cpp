#include "appkit/processsettings.h"

#include "platform/rdd/rdd.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/international.h"
#include "platform/runtime/settings.h"

namespace appkit {

void ApplyProcessSettings() {
    rt::SetExclusive(false);
    rt::SetCentury(true);
    rt::SetDateFrmt("DD/MM/YYYY");
    rt::SetEpoch(rt::Year(rt::Today()) - 40);
    rdd::RDDSetDefault("DBFCDX");
    rt::SetDeleted(true);
    rt::LockTries(10);
    rt::SetFloatDelta(0.009);
}

void ApplyStartUpSettings() {
    rt::SetInternational(rt::Usual(rt::Symbol("WINDOWS")));
    ApplyProcessSettings();
}

}  // namespace appkit
