// The function table and the runtime's own functions in it.
#include "platform/runtime/macrofuncs.h"

#include <cmath>
#include <deque>
#include <mutex>
#include <unordered_map>

#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
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

// Each checker answers true when the argument fits; otherwise it raises
// the fault and keeps the substitute in `out`.
struct Checker {
    const char* fn;
    Args args;
    Usual out;
    bool Str(size_t i) { return Want(i, ArgAt(args, i).IsString(), "a text"); }
    bool Num(size_t i) { return Want(i, ArgAt(args, i).IsNumeric(), "a number"); }
    bool Dat(size_t i) { return Want(i, ArgAt(args, i).IsDate(), "a date"); }
    bool OptNum(size_t i) { return ArgAt(args, i).IsNil() || Num(i); }
    bool Want(size_t i, bool ok, const char* what) {
        if (!ok) out = ArgFault(fn, i + 1, ArgAt(args, i), what);
        return ok;
    }
};

#define QZ_NEED(check) \
    do {               \
        if (!(check)) return c.out; \
    } while (0)

const std::string& S(Args a, size_t i) { return ArgAt(a, i).AsStr(); }
int64_t N(Args a, size_t i) { return ArgAt(a, i).AsLong(); }
Date D(Args a, size_t i) { return ArgAt(a, i).AsDate(); }

Usual Text1(const char* name, Args a, std::string (*fn)(std::string_view)) {
    Checker c{name, a, {}};
    QZ_NEED(c.Str(0));
    return Usual(fn(S(a, 0)));
}

Usual DatePart(const char* name, Args a, int (*fn)(Date)) {
    Checker c{name, a, {}};
    QZ_NEED(c.Dat(0));
    return Usual(fn(D(a, 0)));
}

Usual Pad(const char* name, Args a, std::string (*fn)(std::string_view, int64_t, char)) {
    Checker c{name, a, {}};
    QZ_NEED(c.Num(1));
    const Usual& v = ArgAt(a, 0);
    std::string text = v.IsString() ? v.AsStr() : AsString(v);
    char fill = ArgAt(a, 2).IsString() && !S(a, 2).empty() ? S(a, 2)[0] : ' ';
    return Usual(fn(text, N(a, 1), fill));
}

Usual MinMax(const char* name, Args a, bool wantMax) {
    const Usual& x = ArgAt(a, 0);
    const Usual& y = ArgAt(a, 1);
    bool ok = (x.IsNumeric() && y.IsNumeric()) || (x.IsDate() && y.IsDate()) ||
              (x.IsString() && y.IsString());
    if (!ok) return ArgFault(name, 2, y, "two numbers, dates or texts");
    int c = Compare(x, y);
    return wantMax ? (c >= 0 ? x : y) : (c <= 0 ? x : y);
}

std::string ValType(const Usual& v) {
    switch (v.Type()) {
        case kString: return "C";
        case kLong: case kFloat: return "N";
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

void RegisterRuntimeFunctions() {
    auto reg = [](const char* name, Function fn) { RegisterRaw(name, std::move(fn)); };
    // Text.
    reg("UPPER", [](Args a) { return Text1("UPPER", a, Upper); });
    reg("LOWER", [](Args a) { return Text1("LOWER", a, Lower); });
    reg("ALLTRIM", [](Args a) { return Text1("ALLTRIM", a, AllTrim); });
    reg("TRIM", [](Args a) { return Text1("TRIM", a, Trim); });
    reg("RTRIM", [](Args a) { return Text1("RTRIM", a, RTrim); });
    reg("LTRIM", [](Args a) { return Text1("LTRIM", a, LTrim); });
    reg("SUBSTR", [](Args a) {
        Checker c{"SUBSTR", a, {}};
        QZ_NEED(c.Str(0) && c.Num(1) && c.OptNum(2));
        return ArgAt(a, 2).IsNil() ? Usual(SubStr(S(a, 0), N(a, 1))) : Usual(SubStr(S(a, 0), N(a, 1), N(a, 2)));
    });
    reg("LEFT", [](Args a) {
        Checker c{"LEFT", a, {}};
        QZ_NEED(c.Str(0) && c.Num(1));
        return Usual(Left(S(a, 0), N(a, 1)));
    });
    reg("RIGHT", [](Args a) {
        Checker c{"RIGHT", a, {}};
        QZ_NEED(c.Str(0) && c.Num(1));
        return Usual(Right(S(a, 0), N(a, 1)));
    });
    reg("AT", [](Args a) {
        Checker c{"AT", a, {}};
        QZ_NEED(c.Str(0) && c.Str(1));
        return Usual(At(S(a, 0), S(a, 1)));
    });
    reg("RAT", [](Args a) {
        Checker c{"RAT", a, {}};
        QZ_NEED(c.Str(0) && c.Str(1));
        return Usual(RAt(S(a, 0), S(a, 1)));
    });
    reg("STRTRAN", [](Args a) {
        Checker c{"STRTRAN", a, {}};
        QZ_NEED(c.Str(0) && c.Str(1) && c.OptNum(3) && c.OptNum(4));
        std::optional<int64_t> count;
        if (!ArgAt(a, 4).IsNil()) count = N(a, 4);
        return Usual(StrTran(S(a, 0), S(a, 1), S(a, 2), ArgAt(a, 3).IsNil() ? 1 : N(a, 3), count));
    });
    reg("STUFF", [](Args a) {
        Checker c{"STUFF", a, {}};
        QZ_NEED(c.Str(0) && c.Num(1) && c.Num(2));
        return Usual(Stuff(S(a, 0), N(a, 1), N(a, 2), S(a, 3)));
    });
    reg("SPACE", [](Args a) {
        Checker c{"SPACE", a, {}};
        QZ_NEED(c.Num(0));
        return Usual(Space(N(a, 0)));
    });
    reg("REPLICATE", [](Args a) {
        Checker c{"REPLICATE", a, {}};
        QZ_NEED(c.Str(0) && c.Num(1));
        return Usual(Replicate(S(a, 0), N(a, 1)));
    });
    reg("PADR", [](Args a) { return Pad("PADR", a, PadR); });
    reg("PADL", [](Args a) { return Pad("PADL", a, PadL); });
    reg("PADC", [](Args a) { return Pad("PADC", a, PadC); });
    reg("CHR", [](Args a) {
        Checker c{"CHR", a, {}};
        QZ_NEED(c.Num(0));
        return Usual(std::string(1, static_cast<char>(N(a, 0) & 0xFF)));
    });
    reg("ASC", [](Args a) {
        Checker c{"ASC", a, {}};
        QZ_NEED(c.Str(0));
        return Usual(S(a, 0).empty() ? 0 : static_cast<int>(static_cast<unsigned char>(S(a, 0)[0])));
    });
    reg("LEN", [](Args a) {
        const Usual& v = ArgAt(a, 0);
        if (v.IsString()) return Usual(SLen(v.AsStr()));
        if (v.IsArray()) return Usual(static_cast<int64_t>(v.ALen()));
        return ArgFault("LEN", 1, v, "a text or an array");
    });
    reg("EMPTY", [](Args a) { return Usual(Empty(ArgAt(a, 0))); });
    reg("VALTYPE", [](Args a) { return Usual(ValType(ArgAt(a, 0))); });
    // Numbers.
    reg("STR", [](Args a) {
        Checker c{"STR", a, {}};
        QZ_NEED(c.Num(0) && c.OptNum(1) && c.OptNum(2));
        if (ArgAt(a, 1).IsNil()) return Usual(Str(a[0]));
        if (ArgAt(a, 2).IsNil()) return Usual(Str(a[0], static_cast<int>(N(a, 1))));
        return Usual(Str(a[0], static_cast<int>(N(a, 1)), static_cast<int>(N(a, 2))));
    });
    reg("VAL", [](Args a) {
        Checker c{"VAL", a, {}};
        QZ_NEED(c.Str(0));
        return Val(S(a, 0));
    });
    reg("NTRIM", [](Args a) {
        Checker c{"NTRIM", a, {}};
        QZ_NEED(c.Num(0));
        return Usual(NTrim(a[0]));
    });
    reg("TRANSFORM", [](Args a) {
        Checker c{"TRANSFORM", a, {}};
        QZ_NEED(c.Str(1));
        return Usual(Transform(ArgAt(a, 0), S(a, 1)));
    });
    reg("ASSTRING", [](Args a) { return Usual(AsString(ArgAt(a, 0))); });
    reg("INT", [](Args a) {
        Checker c{"INT", a, {}};
        QZ_NEED(c.Num(0));
        if (a[0].IsLong()) return a[0];
        double t = std::trunc(a[0].AsDouble());
        if (std::fabs(t) < 9.2e18) return Usual(static_cast<int64_t>(t));
        return Usual(Float{t, -1, 0});
    });
    reg("ROUND", [](Args a) {
        Checker c{"ROUND", a, {}};
        QZ_NEED(c.Num(0) && c.Num(1));
        if (a[0].IsLong() && N(a, 1) >= 0) return a[0];
        return RoundTo(a[0], N(a, 1));
    });
    reg("ABS", [](Args a) {
        Checker c{"ABS", a, {}};
        QZ_NEED(c.Num(0));
        if (a[0].IsLong() && a[0].AsLong() != INT64_MIN) return Usual(a[0].AsLong() < 0 ? -a[0].AsLong() : a[0].AsLong());
        Float f = a[0].AsFloat();
        f.value = std::fabs(a[0].AsDouble());
        return Usual(f);
    });
    reg("SQRT", [](Args a) {
        Checker c{"SQRT", a, {}};
        QZ_NEED(c.Num(0));
        double v = a[0].AsDouble();
        return Usual(Float{v < 0 ? 0.0 : std::sqrt(v), -1, -1});
    });
    reg("MOD", [](Args a) {
        Checker c{"MOD", a, {}};
        QZ_NEED(c.Num(0) && c.Num(1));
        double y = a[1].AsDouble();
        if (y == 0.0) return a[0];
        double r = std::fmod(a[0].AsDouble(), y);
        if (r != 0.0 && ((r < 0) != (y < 0))) r += y;  // the sign of the divisor
        if (a[0].IsLong() && a[1].IsLong()) return Usual(static_cast<int64_t>(r));
        return Usual(Float{r, -1, -1});
    });
    reg("MAX", [](Args a) { return MinMax("MAX", a, true); });
    reg("MIN", [](Args a) { return MinMax("MIN", a, false); });
    // Dates and times.
    reg("DATE", [](Args) { return Usual(Today()); });
    reg("TODAY", [](Args) { return Usual(Today()); });
    reg("TIME", [](Args) { return Usual(Time()); });
    reg("YEAR", [](Args a) { return DatePart("YEAR", a, Year); });
    reg("MONTH", [](Args a) { return DatePart("MONTH", a, Month); });
    reg("DAY", [](Args a) { return DatePart("DAY", a, Day); });
    reg("DOW", [](Args a) { return DatePart("DOW", a, DOW); });
    reg("CMONTH", [](Args a) {
        Checker c{"CMONTH", a, {}};
        QZ_NEED(c.Dat(0));
        return Usual(CMonth(D(a, 0)));
    });
    reg("CDOW", [](Args a) {
        Checker c{"CDOW", a, {}};
        QZ_NEED(c.Dat(0));
        return Usual(CDoW(D(a, 0)));
    });
    reg("DTOS", [](Args a) {
        Checker c{"DTOS", a, {}};
        QZ_NEED(c.Dat(0));
        return Usual(DToS(D(a, 0)));
    });
    reg("DTOC", [](Args a) {
        Checker c{"DTOC", a, {}};
        QZ_NEED(c.Dat(0));
        return Usual(DToC(D(a, 0)));
    });
    reg("CTOD", [](Args a) {
        Checker c{"CTOD", a, {}};
        QZ_NEED(c.Str(0));
        return Usual(CToD(S(a, 0)));
    });
    reg("STOD", [](Args a) {
        Checker c{"STOD", a, {}};
        QZ_NEED(c.Str(0));
        return Usual(SToD(S(a, 0)));
    });
    // Blocks and arrays.
    reg("EVAL", [](Args a) {
        if (!ArgAt(a, 0).IsCodeBlock()) return ArgFault("EVAL", 1, ArgAt(a, 0), "a code block");
        return a[0].Eval(a.subspan(1));
    });
    reg("ARRAY", [](Args a) {
        Checker c{"ARRAY", a, {}};
        QZ_NEED(c.Num(0));
        int64_t n = N(a, 0);
        if (n < 0 || n > (int64_t{1} << 24)) return ArgFault("ARRAY", 1, a[0], "a length from 0 to 16777216");
        return Usual::Array(std::vector<Usual>(static_cast<size_t>(n)));
    });
    reg("AADD", [](Args a) {
        if (!ArgAt(a, 0).IsArray()) return ArgFault("AADD", 1, ArgAt(a, 0), "an array");
        a[0].AsArray()->push_back(ArgAt(a, 1));
        return ArgAt(a, 1);
    });
    reg("ALEN", [](Args a) {
        if (!ArgAt(a, 0).IsArray()) return ArgFault("ALEN", 1, ArgAt(a, 0), "an array");
        return Usual(static_cast<int64_t>(a[0].ALen()));
    });
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
