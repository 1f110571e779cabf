// libFuzzer target for dates and numbers read from text. The first byte
// picks the date settings (country, century, epoch), the second the width
// and decimals of a number's text and the separators; the rest is the
// text. CToD under those settings, Val and the regional number readings
// must not crash; a date CToD accepts, written back with DToC and read
// again, is the same date (when the picture can hold its year); Val of Str
// of a finite number gives the number within the decimals written; a
// number written with a display picture reads back as the number shown.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "lib/controls/numbertext.h"
#include "lib/controls/unformat.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"

namespace {

constexpr size_t kMaxText = 256;

bool Setup() {
    rt::ErrorBlock(rt::Usual::Block([](rt::Args) { return rt::Usual(); }));
    // Texts without a year take this one, so that runs repeat.
    rt::SetClock([] { return rt::CivilTime{2024, 2, 29, 12, 0, 0}; });
    return true;
}

// The settings a run changes, put back when it ends.
struct Saved {
    int country = rt::SetDateCountry();
    std::string format = rt::SetDateFrmt();
    bool century = rt::SetCentury();
    int epoch = rt::SetEpoch();
    int decimalSep = rt::SetDecimalSep();
    int thousandSep = rt::SetThousandSep();
    ~Saved() {
        rt::SetDateCountry(country);
        rt::SetDateFrmt(format);
        rt::SetCentury(century);
        rt::SetEpoch(epoch);
        rt::SetDecimalSep(decimalSep);
        rt::SetThousandSep(thousandSep);
    }
};

void CheckDate(std::string_view text) {
    const rt::Date d = rt::CToD(text);
    if (d.IsEmpty()) return;
    const std::string written = rt::DToC(d);
    const int year = rt::Year(d);
    const bool yearFits = rt::SetDateFrmt().find("YYYY") != std::string::npos ||
                          (year >= rt::SetEpoch() && year < rt::SetEpoch() + 100);
    if (yearFits && rt::CToD(written) != d) __builtin_trap();
    if (rt::SToD(rt::DToS(d)) != d) __builtin_trap();
}

// Val of Str(n, width, decimals) is n within half a unit of the last
// decimal written (and the double's own precision).
void CheckNumber(const rt::Usual& n, int width, int decimals) {
    if (!n.IsNumeric() || !std::isfinite(n.AsDouble())) return;
    for (const std::string& s : {rt::Str(n), rt::Str(n, width, decimals)}) {
        if (s.find('*') != std::string::npos || s.find('E') != std::string::npos) continue;
        const size_t point = s.find('.');
        const int shown = point == std::string::npos ? 0 : static_cast<int>(s.size() - point - 1);
        const double want = n.AsDouble(), got = rt::Val(s).AsDouble();
        const double slack = 0.5 * std::pow(10.0, -shown) + std::fabs(want) * 1e-15;
        if (!(std::fabs(got - want) <= slack)) __builtin_trap();
    }
}

// A number written under a display picture reads back, through the
// numeric edit's reading and the pasted-text reading, as the value shown.
void CheckPictures(const rt::Usual& n) {
    if (!n.IsNumeric() || !(std::fabs(n.AsDouble()) < 1e8)) return;
    static const char* const kPictures[] = {"999,999,999.99",    "@E 999,999,999.99", "@( 999999999.99",
                                            "@C 999999999.99",   "@X 999999999.99",   "@x 999999999.99",
                                            "@B 999,999,999.99", "$$$,$$$,$$$.99",    "***,***,***.99"};
    const double shown = rt::Val(rt::Str(n, 20, 2)).AsDouble();
    for (const char* picture : kPictures) {
        const std::string text = rt::Transform(n, picture);
        if (std::fabs(lib::UnformatNumber(text, picture) - shown) > 1e-6) __builtin_trap();
    }
    const std::string plain = rt::Transform(n, "999,999,999.99");
    const char dec = static_cast<char>(rt::SetDecimalSep()), thou = static_cast<char>(rt::SetThousandSep());
    auto read = lib::ReadNumberText(plain, dec, thou);
    if (!read || std::fabs(rt::Val(read->Plain('.')).AsDouble() - shown) > 1e-6) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    if (size < 2 || size - 2 > kMaxText) return 0;
    const uint8_t dates = data[0], numbers = data[1];
    std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    Saved saved;
    static const int kEpochs[] = {1900, 1950, 1980, 2000};
    rt::SetDateCountry(1 + dates % 7);
    rt::SetCentury((dates & 8) != 0);
    rt::SetEpoch(kEpochs[(dates >> 4) & 3]);
    CheckDate(text);

    const rt::Usual n = rt::Val(text);
    CheckNumber(n, 1 + numbers % 24, (numbers >> 5) % 8);
    // The pairs of separators in use: the runtime's own, European, Swiss.
    static const int kSeps[][2] = {{'.', ','}, {',', '.'}, {'.', '\''}, {',', ' '}};
    rt::SetDecimalSep(kSeps[(dates >> 6) & 3][0]);
    rt::SetThousandSep(kSeps[(dates >> 6) & 3][1]);
    CheckPictures(n);
    lib::ReadNumberText(text, '.', ',');
    lib::UnformatNumber(std::string(text), "@D");
    return 0;
}
