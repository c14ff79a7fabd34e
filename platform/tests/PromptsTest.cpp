// Prompts: what an unattended program answers when no prompts are installed.
#include "platform/Prompts.h"
#include <gtest/gtest.h>

using namespace prompts;

TEST(Prompts, WithoutAnInstalledImplementationEveryBoxAnswersItsDefault) {
    install(nullptr);
    EXPECT_EQ(current().messageBox("hola", vbOKOnly | vbExclamation, "t"), vbOK);
    EXPECT_EQ(current().messageBox("¿salir?", vbYesNo | vbQuestion, "t"), 0); // never a silent Yes
    QString value = "x";
    EXPECT_FALSE(current().inputBox("?", "t", value));
    EXPECT_EQ(value, "x");
    EXPECT_EQ(current().showForm("frmNada"), 0);
    registerForm("frmCalc", [] { return 7; });
    EXPECT_EQ(current().showForm("frmCalc"), 7);
    registerForm("frmCalc", nullptr);
    EXPECT_EQ(current().showForm("frmCalc"), 0);
}
