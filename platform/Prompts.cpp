#include "Prompts.h"

namespace prompts {
namespace {
UserPrompts* g_installed = nullptr;

// The default when nothing is installed: answers like ScriptedPrompts, but keeps only the latest
// calls so a program that runs for weeks without dialogs does not grow.
class DefaultPrompts final : public ScriptedPrompts {
public:
    int messageBox(const QString& text, int style, const QString& title) override {
        trim();
        return ScriptedPrompts::messageBox(text, style, title);
    }
    bool inputBox(const QString& prompt, const QString& title, QString& value) override {
        trim();
        return ScriptedPrompts::inputBox(prompt, title, value);
    }
    int showForm(const QString& name) override {
        trim();
        return ScriptedPrompts::showForm(name);
    }

private:
    void trim() {
        if (calls.size() >= 1000)
            calls.erase(calls.begin(), calls.begin() + 500);
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

int ScriptedPrompts::messageBox(const QString& text, int style, const QString& title) {
    calls.push_back({QStringLiteral("messageBox"), text, title, style});
    if (!answers.empty()) {
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    return (style & 0x0F) == vbOKOnly ? vbOK : 0;
}

bool ScriptedPrompts::inputBox(const QString& prompt, const QString& title, QString& value) {
    calls.push_back({QStringLiteral("inputBox"), prompt, title, 0});
    if (inputs.empty())
        return false;
    value = inputs.front();
    inputs.pop_front();
    return true;
}

int ScriptedPrompts::showForm(const QString& name) {
    calls.push_back({QStringLiteral("form"), name, QString(), 0});
    auto it = formAnswers.find(name);
    if (it != formAnswers.end() && !it->second.empty()) {
        const int a = it->second.front();
        it->second.pop_front();
        return a;
    }
    if (auto f = formFactory(name))
        return f();
    return 0;
}

} // namespace prompts
