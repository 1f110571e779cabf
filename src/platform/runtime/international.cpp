#include "platform/runtime/international.h"

#include <cstdio>
#include <exception>

#include "platform/runtime/error.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"

namespace rt {
namespace {

enum Mode { kLegacy = 0, kWindows = 1, kBinary = 2 };

const rt::Symbol& Windows() {
    static const rt::Symbol s("WINDOWS");
    return s;
}
const rt::Symbol& Legacy() {
    static const rt::Symbol s("LEGACY");
    return s;
}
const rt::Symbol& Binary() {
    static const rt::Symbol s("BINARY");
    return s;
}

void ApplyWindows(const RegionalReader& read) {
    rt::_SetIntl(kWindows);
    RegionalSettings s = read ? read() : ReadRegionalSettings();
    rt::SetDecimalSep(s.decimalSep);
    rt::SetThousandSep(s.thousandSep);
    rt::SetTimeSep(s.timeSep);
    rt::SetAmPm(s.twelveHour);
    rt::SetAMExt(s.amExt);
    rt::SetPMExt(s.pmExt);
    rt::SetDateFrmt(DatePicture(s));
    rt::SetDecimal(s.decimals);
    rt::_SetDict(kWindows);
    rt::SetCentury(true);
    rt::SetEpoch(1910);
}

void ApplyFixed(int mode) {
    rt::SetDecimalSep('.');
    rt::SetThousandSep(',');
    rt::SetTimeSep(':');
    rt::SetAmPm(false);
    rt::SetAMExt("");
    rt::SetPMExt("");
    rt::SetDateFrmt("MM/DD/YY");
    rt::SetDecimal(2);
    rt::_SetDict(mode);
    rt::_SetIntl(mode);
    rt::SetCentury(false);
}

void RaiseInvalidMode(const rt::Usual& mode) {
    rt::Usual object = rt::CreateInstance(rt::Symbol("ERROR"));
    auto e = std::dynamic_pointer_cast<rt::Error>(object.AsObject());
    if (!e) return;
    e->SubSystem = "International";
    e->GenCode = rt::kGenUnsupported;
    e->CanDefault = true;
    e->Arg = rt::AsString(mode);
    e->THROW();
}

// Puts the saved error block back however the work ends.
class ErrorBlockGuard {
public:
    explicit ErrorBlockGuard(const rt::Usual& temporary) : saved_(rt::ErrorBlock(temporary)) {}
    ~ErrorBlockGuard() { rt::ErrorBlock(saved_); }
    ErrorBlockGuard(const ErrorBlockGuard&) = delete;
    ErrorBlockGuard& operator=(const ErrorBlockGuard&) = delete;

private:
    rt::Usual saved_;
};

}  // namespace

rt::Symbol InternationalMode() {
    switch (rt::_SetIntl()) {
        case kWindows: return Windows();
        case kBinary: return Binary();
        default: return Legacy();
    }
}

rt::Symbol SetInternational(const rt::Usual& mode) { return SetInternational(mode, {}); }

rt::Symbol SetInternational(const rt::Usual& mode, const RegionalReader& read) {
    rt::Symbol previous = InternationalMode();
    if (mode.IsNil()) return previous;
    rt::Symbol wanted = mode.IsSymbol() ? mode.AsSymbol() : rt::Symbol();
    if (wanted != Windows() && wanted != Legacy() && wanted != Binary()) {
        RaiseInvalidMode(mode);
        return previous;
    }

    // A fault while the settings are read or applied abandons the work and
    // jumps to the recovery point below.
    ErrorBlockGuard guard(
        rt::Usual::Block([](rt::Args args) -> rt::Usual { rt::LabelJump(args.empty() ? rt::Usual() : args[0]); }));
    rt::BeginSequence([&] {
        try {
            if (wanted == Windows()) ApplyWindows(read);
            else ApplyFixed(wanted == Binary() ? kBinary : kLegacy);
        } catch (const std::exception& ex) {
            // Not a runtime fault but just as unexpected: the settings made
            // so far stay, as after a fault.
            std::fprintf(stderr, "regional settings not completed: %s\n", ex.what());
        }
    });
    return previous;
}

}  // namespace rt
