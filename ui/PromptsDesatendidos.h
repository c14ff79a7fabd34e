#pragma once
// Prompts for a run without anyone at the screen (TARVOLIN_SIN_DIALOGOS=1: the black-box tests and
// scripted runs): every message goes to standard error as one line and is answered at once with
// its default (OK for a message, no answer for a question); forms are not shown.
#include "platform/Prompts.h"

class PromptsDesatendidos final : public prompts::UserPrompts {
public:
    int messageBox(const QString& text, int style, const QString& title) override;
    bool inputBox(const QString& prompt, const QString& title, QString& value) override;
    int showForm(const QString& name) override;
};
