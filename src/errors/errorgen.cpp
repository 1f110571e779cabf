#include "errors/errorgen.h"

#include "errors/deferror.h"
#include "platform/runtime/errorservices.h"
#include "platform/runtime/international.h"

namespace errors {
namespace {

constexpr const char* kGenCaption = "FROM DefErrorGen";

// Win32's MessageBoxA with no owner and style 0: an OK button, no icon.
void PlainBox(const char* text) { rt::MessageBoxA(text, kGenCaption, 0); }

}  // namespace

rt::ErrorInfo& SavedErrorInfo() {
    static rt::ErrorInfo saved;
    return saved;
}

rt::Usual DefErrorGen(const rt::Usual& block) {
    rt::Error::StaticClass();
    rt::Usual object = rt::CreateInstance(rt::Symbol("ERROR"));
    auto e = std::dynamic_pointer_cast<rt::Error>(object.AsObject());
    if (!e) {
        PlainBox("No error object created !");
        return rt::Usual();
    }
    if (!block.IsPtr() || block.AsPtr().address == nullptr) {
        PlainBox("Error structure has wrong tag");
        return object;
    }
    const auto* info = static_cast<const rt::ErrorInfo*>(block.AsPtr().address);
    rt::ErrorInfo& saved = SavedErrorInfo();
    if (info != &saved) saved = *info;
    rt::FillError(*e, saved);
    return object;
}

void InstallErrorBlock() {
    if (!rt::ErrorBlock().IsNil()) return;
    rt::ErrorBlock(rt::Usual::Block([](rt::Args args) { return DefError(args.empty() ? rt::Usual() : args[0]); }));
    rt::SetInternational(rt::Usual(rt::Symbol("WINDOWS")));
}

void InstallErrorHook() {
    if (rt::_GetRTCount() == 1) rt::ErrorFunc(&DefErrorGen);
}

void InstallErrorHandling() {
    InstallErrorBlock();
    InstallErrorHook();
}

}  // namespace errors
