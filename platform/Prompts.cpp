#include "Prompts.h"

#include "Program.h"

#include <vector>

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

struct Guardas {
    std::vector<int> niveles; // the wait level of each NoBoxes alive, innermost last
    ForbiddenBoxHandler handler;
};
Guardas& guardas() {
    static Guardas g;
    return g;
}

// Where no box may open: nothing opens, the handler hears of it, and the answer is nobody's.
class ForbiddenPrompts final : public UserPrompts {
public:
    int messageBox(const QString& text, int, const QString&) override {
        tell(QStringLiteral("messageBox"), text);
        return 0;
    }
    bool inputBox(const QString& prompt, const QString&, QString&) override {
        tell(QStringLiteral("inputBox"), prompt);
        return false;
    }
    int showForm(const QString& name) override {
        tell(QStringLiteral("form"), name);
        return 0;
    }

private:
    static void tell(const QString& kind, const QString& text) {
        // A copy: the handler may replace itself.
        if (const ForbiddenBoxHandler h = guardas().handler)
            h(kind, text);
    }
};

std::map<QString, std::function<int()>>& forms() {
    static std::map<QString, std::function<int()>> m;
    return m;
}
} // namespace

UserPrompts& current() {
    if (noBoxesHere()) {
        static ForbiddenPrompts forbidden;
        return forbidden;
    }
    if (g_installed)
        return *g_installed;
    static DefaultPrompts fallback;
    return fallback;
}

void install(UserPrompts* p) {
    g_installed = p;
}

NoBoxes::NoBoxes() {
    guardas().niveles.push_back(program::nivelEspera());
}
NoBoxes::~NoBoxes() {
    guardas().niveles.pop_back();
}

bool noBoxesHere() {
    const std::vector<int>& n = guardas().niveles;
    return !n.empty() && n.back() == program::nivelEspera();
}

void setForbiddenBoxHandler(ForbiddenBoxHandler h) {
    guardas().handler = std::move(h);
}
ForbiddenBoxHandler forbiddenBoxHandler() {
    return guardas().handler;
}

void registerForm(const QString& name, std::function<int()> show) {
    forms()[name] = std::move(show);
}

std::function<int()> formFactory(const QString& name) {
    const auto it = forms().find(name);
    return it == forms().end() ? std::function<int()>() : it->second;
}

} // namespace prompts
