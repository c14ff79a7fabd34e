#pragma once
// Prompts for tests: answers in order, every call recorded.
#include "platform/Prompts.h"

#include <QString>
#include <deque>
#include <map>
#include <vector>

namespace prompts {

class ScriptedPrompts : public UserPrompts {
public:
    struct Call {
        QString kind, text, title;
        int style = 0;
    };
    std::deque<int> answers;                        // messageBox answers; when empty: 1 for OK-only styles, 0 otherwise
    std::deque<QString> inputs;                     // inputBox values; when empty: cancelled
    std::map<QString, std::deque<int>> formAnswers; // per form; when empty: the registered factory or 0
    std::vector<Call> calls;
    int messageBox(const QString& text, int style, const QString& title) override;
    bool inputBox(const QString& prompt, const QString& title, QString& value) override;
    int showForm(const QString& name) override;
};

inline int ScriptedPrompts::messageBox(const QString& text, int style, const QString& title) {
    calls.push_back({QStringLiteral("messageBox"), text, title, style});
    if (!answers.empty()) {
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    return (style & 0x0F) == vbOKOnly ? vbOK : 0;
}

inline bool ScriptedPrompts::inputBox(const QString& prompt, const QString& title, QString& value) {
    calls.push_back({QStringLiteral("inputBox"), prompt, title, 0});
    if (inputs.empty())
        return false;
    value = inputs.front();
    inputs.pop_front();
    return true;
}

inline int ScriptedPrompts::showForm(const QString& name) {
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
