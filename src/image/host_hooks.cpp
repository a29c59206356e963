#include "host_hooks.h"

#include <cstdio>

namespace imagehost {
namespace {
MessageBoxFn& Hook() {
    static MessageBoxFn fn;
    return fn;
}
}  // namespace

void SetMessageBoxHook(MessageBoxFn fn) { Hook() = std::move(fn); }

void ShowMessageBox(const std::string& text) {
    if (Hook()) {
        Hook()(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}
}  // namespace imagehost
