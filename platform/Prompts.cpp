#include "Prompts.h"

namespace prompts {
namespace {
UserPrompts* g_installed = nullptr;

// The default when nothing is installed: every box answers OK where that is its only button and 0
// otherwise, an input box is cancelled, a form is shown through its registered factory.
class DefaultPrompts final : public UserPrompts {
public:
    int messageBox(const QString&, int style, const QString&) override { return (style & 0x0F) == vbOKOnly ? vbOK : 0; }
    bool inputBox(const QString&, const QString&, QString&) override { return false; }
    int showForm(const QString& name) override {
        if (auto f = formFactory(name))
            return f();
        return 0;
    }
};

std::map<QString, std::function<int()>>& forms() {
    static std::map<QString, std::function<int()>> m;
    return m;
}
} // namespace

UserPrompts& current() {
    if (g_installed)
        return *g_installed;
    static DefaultPrompts fallback;
    return fallback;
}

void install(UserPrompts* p) {
    g_installed = p;
}

void registerForm(const QString& name, std::function<int()> show) {
    forms()[name] = std::move(show);
}

std::function<int()> formFactory(const QString& name) {
    const auto it = forms().find(name);
    return it == forms().end() ? std::function<int()>() : it->second;
}

} // namespace prompts
