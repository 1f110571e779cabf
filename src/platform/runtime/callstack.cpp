#include "platform/runtime/callstack.h"

#include <cxxabi.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string_view>

#if defined(QZ_HAVE_LIBBACKTRACE)
#if __has_include(<backtrace.h>)
#include <backtrace.h>
#else
// GCC's libbacktrace linked into a clang build, whose include path does not
// hold GCC's own headers: the two calls used here, as its header declares them.
extern "C" {
struct backtrace_state;
typedef void (*backtrace_error_callback)(void* data, const char* msg, int errnum);
typedef int (*backtrace_full_callback)(void* data, uintptr_t pc, const char* filename, int lineno,
                                       const char* function);
backtrace_state* backtrace_create_state(const char* filename, int threaded, backtrace_error_callback error, void* data);
int backtrace_full(backtrace_state* state, int skip, backtrace_full_callback callback, backtrace_error_callback error,
                   void* data);
}
#endif
#define QZ_USE_LIBBACKTRACE 1
#else
#include <dlfcn.h>
#include <execinfo.h>
#endif

namespace rt {
namespace {

std::string Demangle(const char* symbol) {
    if (!symbol) return {};
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> out(abi::__cxa_demangle(symbol, nullptr, nullptr, &status), &std::free);
    return status == 0 && out ? std::string(out.get()) : std::string(symbol);
}

// "ns::Cls::Fn(int) const" -> "ns::Cls::Fn"; a lambda is named after the
// function that holds it.
std::string ShortName(std::string name) {
    // ABI tags ("[abi:cxx11]" on functions that return std::string) say
    // nothing to a reader.
    for (size_t tag = name.find("[abi:"); tag != std::string::npos; tag = name.find("[abi:", tag)) {
        size_t end = name.find(']', tag);
        name.erase(tag, end == std::string::npos ? std::string::npos : end - tag + 1);
    }
    // A function in an unnamed namespace goes by the names around it.
    constexpr std::string_view kUnnamed = "(anonymous namespace)::";
    for (size_t at = name.find(kUnnamed); at != std::string::npos; at = name.find(kUnnamed, at))
        name.erase(at, kUnnamed.size());
    size_t lambda = name.find("::{lambda");
    if (lambda != std::string::npos) name.resize(lambda);
    int depth = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c == '<') ++depth;
        if (c == '>') --depth;
        if (c == '(' && depth == 0 && i > 0 && name.compare(0, 9, "operator(") != 0) {
            name.resize(i);
            break;
        }
    }
    // Drop template arguments for readability.
    std::string out;
    depth = 0;
    for (char c : name) {
        if (c == '<') ++depth;
        if (depth == 0) out += c;
        if (c == '>' && depth > 0) --depth;
    }
    // A template function's name starts with its return type: drop it.
    size_t space = out.rfind(' ');
    if (space != std::string::npos && out.find("operator") == std::string::npos) out.erase(0, space + 1);
    return out;
}

// Whether an identifier is one the language reserves for the compiler and
// the standard library ("__invoke", "_M_invoke", "_Function_handler").
bool Reserved(std::string_view id) {
    return id.starts_with("__") || (id.size() > 1 && id[0] == '_' && id[1] >= 'A' && id[1] <= 'Z');
}

bool Hidden(std::string_view name) {
    // Standard-library frames (calls through std::function, which debug
    // information names by their bare member, "_M_invoke") and compiler
    // helpers are noise.
    size_t last = name.rfind("::");
    std::string_view member = last == std::string_view::npos ? name : name.substr(last + 2);
    return name.empty() || name.starts_with("std::") || Reserved(name) || Reserved(member) || name == "operator()" ||
           name.starts_with("rt::CallStack") || name.starts_with("rt::ProcName") || name.starts_with("rt::ProcLine") ||
           name.starts_with("testing::");
}

#ifdef QZ_USE_LIBBACKTRACE
backtrace_state* State() {
    static backtrace_state* state = backtrace_create_state(nullptr, 1, nullptr, nullptr);
    return state;
}

int OnFrame(void* data, uintptr_t, const char* file, int line, const char* function) {
    auto* out = static_cast<std::vector<Activation>*>(data);
    if (!function || !file) return 0;
    std::string name = ShortName(Demangle(function));
    if (!Hidden(name)) out->push_back(Activation{name, file, line});
    return out->size() >= 64 ? 1 : 0;
}
#endif

}  // namespace

std::vector<Activation> CallStack() {
    std::vector<Activation> out;
#ifdef QZ_USE_LIBBACKTRACE
    static std::mutex mutex;  // libbacktrace's state is shared
    std::lock_guard lock(mutex);
    backtrace_full(State(), 0, OnFrame, nullptr, &out);
#else
    void* frames[64];
    int n = backtrace(frames, 64);
    for (int i = 0; i < n; ++i) {
        Dl_info info{};
        if (!dladdr(frames[i], &info) || !info.dli_sname) continue;
        std::string name = ShortName(Demangle(info.dli_sname));
        if (!Hidden(name)) out.push_back(Activation{name, {}, 0});
    }
#endif
    return out;
}

std::string ProcName(int n) {
    std::vector<Activation> stack = CallStack();
    return n >= 0 && static_cast<size_t>(n) < stack.size() ? stack[n].name : std::string();
}

int ProcLine(int n) {
    std::vector<Activation> stack = CallStack();
    return n >= 0 && static_cast<size_t>(n) < stack.size() ? stack[n].line : 0;
}

}  // namespace rt
