#include "rtl/Application.h"

#include "rtl/MainLoop.h"

#include <algorithm>
#include <cstdio>

namespace rtl {

TApplication& Application() {
    static TApplication app;
    return app;
}

void TApplication::HandleException(void*) {
    HandleException(std::current_exception());
}

void TApplication::HandleException(std::exception_ptr e) {
    if (!e) return;
    // With no main thread bound, a posted display would never run: show it here.
    if (!MainLoop().IsMainThread() && MainLoop().IsBound()) {
        MainLoop().Post([this, e] { HandleException(e); });
        return;
    }
    try {
        std::rethrow_exception(e);
    } catch (const EAbort&) {
    } catch (const std::exception& ex) {
        ShowException(ex);
    } catch (...) {
        ShowException(Exception(""));
    }
}

void TApplication::ShowException(const std::exception& e) {
    if (display_)
        display_(e.what());
    else
        std::fprintf(stderr, "%s\n", e.what());
}

void TApplication::HookMainWindow(TWindowHook hook) {
    if (!IsHooked(hook)) hooks_.push_back(hook);
}

void TApplication::UnhookMainWindow(TWindowHook hook) {
    std::erase(hooks_, hook);
}

bool TApplication::IsHooked(const TWindowHook& hook) const {
    return std::find(hooks_.begin(), hooks_.end(), hook) != hooks_.end();
}

bool TApplication::DispatchMessage(TMessage& m) {
    // A copy: a hook may unhook itself or others while the message is delivered.
    auto hooks = hooks_;
    for (auto& h : hooks)
        if (IsHooked(h) && h(m)) return true;
    return false;
}

} // namespace rtl
