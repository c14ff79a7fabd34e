// Prompts: the default and scripted answers.
#include "platform/Prompts.h"
#include "testsupport/ScriptedPrompts.h"
#include <gtest/gtest.h>

TEST(Prompts, DefaultAnswersScriptedAnswersAndForms) {
    prompts::ScriptedPrompts p;
    prompts::install(&p);
    EXPECT_EQ(prompts::current().messageBox("hola", prompts::vbOKOnly | prompts::vbExclamation, "t"), 1);
    EXPECT_EQ(prompts::current().messageBox("¿salir?", prompts::vbYesNo | prompts::vbQuestion, "t"), 0);
    p.answers.push_back(prompts::vbYes);
    EXPECT_EQ(prompts::current().messageBox("¿salir?", 36, "t"), prompts::vbYes);
    QString value = "x";
    EXPECT_FALSE(prompts::current().inputBox("?", "t", value));
    p.inputs.push_back("1234");
    EXPECT_TRUE(prompts::current().inputBox("?", "t", value));
    EXPECT_EQ(value, "1234");

    EXPECT_EQ(prompts::current().showForm("frmNada"), 0);
    prompts::registerForm("frmCalc", [] { return 7; });
    EXPECT_EQ(prompts::current().showForm("frmCalc"), 7);
    p.formAnswers["frmCalc"].push_back(1);
    EXPECT_EQ(prompts::current().showForm("frmCalc"), 1);
    ASSERT_EQ(p.calls.size(), 8u);
    EXPECT_EQ(p.calls[1].text, "¿salir?");
    EXPECT_EQ(p.calls[1].style, 36);
    EXPECT_EQ(p.calls[7].kind, "form");

    prompts::install(nullptr);
    EXPECT_NE(&prompts::current(), &p);
    prompts::registerForm("frmCalc", nullptr);
}
