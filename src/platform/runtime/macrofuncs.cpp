// The function table and the runtime's own functions in it.
#include "platform/runtime/macrofuncs.h"

#include <cmath>
#include <deque>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/symbol.h"
#include "platform/runtime/text.h"

namespace rt {
namespace {

struct Table;
Table& Functions();
void EnsureRuntimeFunctions();

struct Table {
    std::mutex mutex;
    std::unordered_map<Symbol, Function*> byName;
    std::deque<Function> slots;  // stable addresses
};

// ---- argument helpers ------------------------------------------------------

const Usual& ArgAt(Args a, size_t i) {
    static const Usual kNil;
    return i < a.size() ? a[i] : kNil;
}

const std::string& S(Args a, size_t i) { return ArgAt(a, i).AsStr(); }
int64_t N(Args a, size_t i) { return ArgAt(a, i).AsLong(); }
Date D(Args a, size_t i) { return ArgAt(a, i).AsDate(); }

// Counts `count` items of `unit` bytes, about to be made, against the
// evaluation budget (macro.h); false when over it.
bool Makes(int64_t count, size_t unit) {
    if (count <= 0 || unit == 0) return true;
    uint64_t n = static_cast<uint64_t>(count);
    return ChargeBytes(n > UINT64_MAX / unit ? UINT64_MAX : n * unit);
}

Usual Pad(Args a, std::string (*fn)(std::string_view, int64_t, char)) {
    if (!Makes(N(a, 1), 1)) return Usual();
    const Usual& v = ArgAt(a, 0);
    std::string text = v.IsString() ? v.AsStr() : AsString(v);
    char fill = ArgAt(a, 2).IsString() && !S(a, 2).empty() ? S(a, 2)[0] : ' ';
    return Usual(fn(text, N(a, 1), fill));
}

Usual MinMax(const char* name, Args a, bool wantMax) {
    const Usual& x = ArgAt(a, 0);
    const Usual& y = ArgAt(a, 1);
    bool ok = (x.IsNumeric() && y.IsNumeric()) || (x.IsDate() && y.IsDate()) || (x.IsString() && y.IsString());
    if (!ok) return ArgFault(name, 2, y, "two numbers, dates or texts");
    int c = Compare(x, y);
    return wantMax ? (c >= 0 ? x : y) : (c <= 0 ? x : y);
}

std::string ValType(const Usual& v) {
    switch (v.Type()) {
        case kString: return "C";
        case kLong:
        case kFloat: return "N";
        case kDate: return "D";
        case kLogic: return "L";
        case kArray: return "A";
        case kObject: return "O";
        case kCodeBlock: return "B";
        case kSymbol: return "#";
        case kPtr: return "P";
        default: return "U";
    }
}

// Half away from zero on the decimal form, as Str rounds.
Usual RoundTo(const Usual& n, int64_t decimals) {
    if (decimals < 0) {
        double scale = std::pow(10.0, static_cast<double>(-decimals));
        return Usual(Float{std::round(n.AsDouble() / scale) * scale, -1, 0});
    }
    int d = static_cast<int>(std::min<int64_t>(decimals, 15));
    std::string text = Str(n, 40, d);
    Usual v = Val(AllTrim(text));
    return Usual(Float{v.AsDouble(), -1, static_cast<int16_t>(d)});
}

void RegisterRaw(std::string_view name, Function fn) {
    Table& t = Functions();
    std::lock_guard lock(t.mutex);
    Symbol s(name);
    auto it = t.byName.find(s);
    if (it != t.byName.end()) {
        *it->second = std::move(fn);
        return;
    }
    t.slots.push_back(std::move(fn));
    t.byName[s] = &t.slots.back();
}

// A runtime function: its name, the kinds of its leading arguments, one
// character each (S a text, N a number, D a date, n a number or nil, . any
// value), and what it does once they are checked. An argument of the wrong
// kind raises the argument fault, and the error block's substitute is the
// result. Arguments past the kinds are the function's own business.
struct Builtin {
    const char* name;
    const char* kinds;
    Usual (*call)(Args a);
};

// The checks a function's kinds ask for, then the function.
Function Checked(const Builtin& f) {
    return [f](Args a) -> Usual {
        for (size_t i = 0; f.kinds[i] != 0; ++i) {
            const Usual& v = ArgAt(a, i);
            const char* wanted = nullptr;
            switch (f.kinds[i]) {
                case 'S':
                    if (!v.IsString()) wanted = "a text";
                    break;
                case 'N':
                    if (!v.IsNumeric()) wanted = "a number";
                    break;
                case 'D':
                    if (!v.IsDate()) wanted = "a date";
                    break;
                case 'n':
                    if (!v.IsNil() && !v.IsNumeric()) wanted = "a number";
                    break;
                default: break;
            }
            if (wanted) return ArgFault(f.name, i + 1, v, wanted);
        }
        return f.call(a);
    };
}

const Builtin kBuiltins[] = {
    // Text.
    {"UPPER", "S", [](Args a) { return Usual(Upper(S(a, 0))); }},
    {"LOWER", "S", [](Args a) { return Usual(Lower(S(a, 0))); }},
    {"ALLTRIM", "S", [](Args a) { return Usual(AllTrim(S(a, 0))); }},
    {"TRIM", "S", [](Args a) { return Usual(Trim(S(a, 0))); }},
    {"RTRIM", "S", [](Args a) { return Usual(RTrim(S(a, 0))); }},
    {"LTRIM", "S", [](Args a) { return Usual(LTrim(S(a, 0))); }},
    {"SUBSTR", "SNn",
     [](Args a) {
         return ArgAt(a, 2).IsNil() ? Usual(SubStr(S(a, 0), N(a, 1))) : Usual(SubStr(S(a, 0), N(a, 1), N(a, 2)));
     }},
    {"LEFT", "SN", [](Args a) { return Usual(Left(S(a, 0), N(a, 1))); }},
    {"RIGHT", "SN", [](Args a) { return Usual(Right(S(a, 0), N(a, 1))); }},
    {"AT", "SS", [](Args a) { return Usual(At(S(a, 0), S(a, 1))); }},
    {"RAT", "SS", [](Args a) { return Usual(RAt(S(a, 0), S(a, 1))); }},
    {"STRTRAN", "SS.nn",
     [](Args a) {
         std::optional<int64_t> count;
         if (!ArgAt(a, 4).IsNil()) count = N(a, 4);
         return Usual(StrTran(S(a, 0), S(a, 1), S(a, 2), ArgAt(a, 3).IsNil() ? 1 : N(a, 3), count));
     }},
    {"STUFF", "SNN", [](Args a) { return Usual(Stuff(S(a, 0), N(a, 1), N(a, 2), S(a, 3))); }},
    {"SPACE", "N", [](Args a) { return Makes(N(a, 0), 1) ? Usual(Space(N(a, 0))) : Usual(); }},
    {"REPLICATE", "SN",
     [](Args a) { return Makes(N(a, 1), S(a, 0).size()) ? Usual(Replicate(S(a, 0), N(a, 1))) : Usual(); }},
    {"PADR", ".N", [](Args a) { return Pad(a, PadR); }},
    {"PADL", ".N", [](Args a) { return Pad(a, PadL); }},
    {"PADC", ".N", [](Args a) { return Pad(a, PadC); }},
    {"CHR", "N", [](Args a) { return Usual(std::string(1, static_cast<char>(N(a, 0) & 0xFF))); }},
    {"ASC", "S",
     [](Args a) { return Usual(S(a, 0).empty() ? 0 : static_cast<int>(static_cast<unsigned char>(S(a, 0)[0]))); }},
    {"LEN", "",
     [](Args a) {
         const Usual& v = ArgAt(a, 0);
         if (v.IsString()) return Usual(SLen(v.AsStr()));
         if (v.IsArray()) return Usual(static_cast<int64_t>(v.ALen()));
         return ArgFault("LEN", 1, v, "a text or an array");
     }},
    {"EMPTY", "", [](Args a) { return Usual(Empty(ArgAt(a, 0))); }},
    {"VALTYPE", "", [](Args a) { return Usual(ValType(ArgAt(a, 0))); }},
    // Numbers.
    {"STR", "Nnn",
     [](Args a) {
         if (ArgAt(a, 1).IsNil()) return Usual(Str(a[0]));
         if (!Makes(N(a, 1), 1)) return Usual();
         if (ArgAt(a, 2).IsNil()) return Usual(Str(a[0], static_cast<int>(N(a, 1))));
         return Usual(Str(a[0], static_cast<int>(N(a, 1)), static_cast<int>(N(a, 2))));
     }},
    {"VAL", "S", [](Args a) { return Val(S(a, 0)); }},
    {"NTRIM", "N", [](Args a) { return Usual(NTrim(a[0])); }},
    {"TRANSFORM", ".S", [](Args a) { return Usual(Transform(ArgAt(a, 0), S(a, 1))); }},
    {"ASSTRING", "", [](Args a) { return Usual(AsString(ArgAt(a, 0))); }},
    {"INT", "N",
     [](Args a) {
         if (a[0].IsLong()) return a[0];
         double t = std::trunc(a[0].AsDouble());
         if (std::fabs(t) < 9.2e18) return Usual(static_cast<int64_t>(t));
         return Usual(Float{t, -1, 0});
     }},
    {"ROUND", "NN",
     [](Args a) {
         if (a[0].IsLong() && N(a, 1) >= 0) return a[0];
         return RoundTo(a[0], N(a, 1));
     }},
    {"ABS", "N",
     [](Args a) {
         if (a[0].IsLong() && a[0].AsLong() != INT64_MIN)
             return Usual(a[0].AsLong() < 0 ? -a[0].AsLong() : a[0].AsLong());
         Float f = a[0].AsFloat();
         f.value = std::fabs(a[0].AsDouble());
         return Usual(f);
     }},
    {"SQRT", "N",
     [](Args a) {
         double v = a[0].AsDouble();
         return Usual(Float{v < 0 ? 0.0 : std::sqrt(v), -1, -1});
     }},
    {"MOD", "NN",
     [](Args a) {
         double y = a[1].AsDouble();
         if (y == 0.0) return a[0];
         double r = std::fmod(a[0].AsDouble(), y);
         if (r != 0.0 && ((r < 0) != (y < 0))) r += y;  // the sign of the divisor
         if (a[0].IsLong() && a[1].IsLong()) return Usual(static_cast<int64_t>(r));
         return Usual(Float{r, -1, -1});
     }},
    {"MAX", "", [](Args a) { return MinMax("MAX", a, true); }},
    {"MIN", "", [](Args a) { return MinMax("MIN", a, false); }},
    // Dates and times.
    {"DATE", "", [](Args) { return Usual(Today()); }},
    {"TODAY", "", [](Args) { return Usual(Today()); }},
    {"TIME", "", [](Args) { return Usual(Time()); }},
    {"YEAR", "D", [](Args a) { return Usual(Year(D(a, 0))); }},
    {"MONTH", "D", [](Args a) { return Usual(Month(D(a, 0))); }},
    {"DAY", "D", [](Args a) { return Usual(Day(D(a, 0))); }},
    {"DOW", "D", [](Args a) { return Usual(DOW(D(a, 0))); }},
    {"CMONTH", "D", [](Args a) { return Usual(CMonth(D(a, 0))); }},
    {"CDOW", "D", [](Args a) { return Usual(CDoW(D(a, 0))); }},
    {"DTOS", "D", [](Args a) { return Usual(DToS(D(a, 0))); }},
    {"DTOC", "D", [](Args a) { return Usual(DToC(D(a, 0))); }},
    {"CTOD", "S", [](Args a) { return Usual(CToD(S(a, 0))); }},
    {"STOD", "S", [](Args a) { return Usual(SToD(S(a, 0))); }},
    // Blocks and arrays.
    {"EVAL", "",
     [](Args a) {
         if (!ArgAt(a, 0).IsCodeBlock()) return ArgFault("EVAL", 1, ArgAt(a, 0), "a code block");
         return a[0].Eval(a.subspan(1));
     }},
    {"ARRAY", "N",
     [](Args a) {
         int64_t n = N(a, 0);
         if (n < 0 || n > (int64_t{1} << 24)) return ArgFault("ARRAY", 1, a[0], "a length from 0 to 16777216");
         if (!Makes(n, sizeof(Usual))) return Usual();
         return Usual::Array(std::vector<Usual>(static_cast<size_t>(n)));
     }},
    {"AADD", "",
     [](Args a) {
         if (!ArgAt(a, 0).IsArray()) return ArgFault("AADD", 1, ArgAt(a, 0), "an array");
         if (!Makes(1, sizeof(Usual))) return Usual();
         a[0].AsArray()->push_back(ArgAt(a, 1));
         return ArgAt(a, 1);
     }},
    {"ALEN", "",
     [](Args a) {
         if (!ArgAt(a, 0).IsArray()) return ArgFault("ALEN", 1, ArgAt(a, 0), "an array");
         return Usual(static_cast<int64_t>(a[0].ALen()));
     }},
};

void RegisterRuntimeFunctions() {
    for (const Builtin& f : kBuiltins) RegisterRaw(f.name, Checked(f));
}

Table& Functions() {
    static Table t;
    return t;
}

struct Init {
    Init() { RegisterRuntimeFunctions(); }
};

void EnsureRuntimeFunctions() { static Init once; }

}  // namespace

thread_local size_t tCallPos = 0;

void RegisterFunction(std::string_view name, Function fn) {
    EnsureRuntimeFunctions();
    RegisterRaw(name, std::move(fn));
}

CallSite::CallSite(size_t pos) : saved_(tCallPos) { tCallPos = pos; }
CallSite::~CallSite() { tCallPos = saved_; }

const Function* FindFunction(std::string_view name) {
    EnsureRuntimeFunctions();
    Table& t = Functions();
    std::lock_guard lock(t.mutex);
    auto it = t.byName.find(Symbol(name));
    return it == t.byName.end() ? nullptr : it->second;
}

Usual ArgFault(std::string_view function, size_t argNum, const Usual& got, std::string_view wanted) {
    ErrorRef e = MakeError(kGenArg, function);
    std::string where = tCallPos ? " at position " + std::to_string(tCallPos) : std::string();
    e->Description = std::string(ErrString(kGenArg)) + where + ": argument " + std::to_string(argNum) + " of " +
                     std::string(function) + " must be " + std::string(wanted) + ", not " + TypeString(got.Type());
    e->FuncSym = Symbol(function);
    e->ArgNum = static_cast<uint32_t>(argNum);
    e->ArgType = got.Type();
    e->CanDefault = true;
    e->CanSubstitute = true;
    Usual answer = RaiseError(e);
    return answer.IsLogic() ? Usual() : answer;
}

}  // namespace rt
