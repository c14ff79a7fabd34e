#include "platform/LateBound.h"
#include "testsupport/VBErrors.h"
#include <gtest/gtest.h>

using namespace vb;
using testenv::errorOf;

namespace {

// Two members: Suma(a[, b]) adds Longs, Nombre() answers a text and counts its calls.
class Calculadora final : public LateBound {
public:
    int llamadas = 0;
    CallableMembers callableMembers() override {
        return {
            {"Suma", 1, 2, [](const Arguments& a) -> Variant { return CLng(a[0]) + (a.size() > 1 ? CLng(a[1]) : 0); }},
            {"Nombre", 0, 0,
             [this](const Arguments&) -> Variant {
                 ++llamadas;
                 return QStringLiteral("calc");
             }},
        };
    }
};

} // namespace

TEST(LateBound, CallsListedMembersByNameWithVbArgumentRulesAndAFailedCallRunsNothing) {
    struct Caso {
        const char* miembro;
        Arguments args;
        int error;
        Variant esperado;
    };
    const Caso casos[] = {
        {"Suma", {2, 3}, 0, 5},
        {"sUMA", {QStringLiteral("40"), true}, 0, 39}, // case-blind name; "40" and True (-1) convert
        {"Suma", {7}, 0, 7},
        {"Suma", {}, vb::err::WrongArgumentCount, {}},
        {"Suma", {1, 2, 3}, vb::err::WrongArgumentCount, {}},
        {"Suma", {QStringLiteral("doce")}, vb::err::TypeMismatch, {}},
        {"Resta", {1}, vb::err::NoSuchMember, {}},
        {"", {}, vb::err::NoSuchMember, {}},
        {"Nombre", {}, 0, QStringLiteral("calc")},
        {"Nombre", {1}, vb::err::WrongArgumentCount, {}},
    };
    for (const auto& c : casos) {
        Calculadora calc;
        Variant r;
        EXPECT_EQ(errorOf([&] { r = CallByName(calc, c.miembro, c.args); }), c.error) << c.miembro;
        EXPECT_EQ(r, c.esperado) << c.miembro;
        EXPECT_EQ(HasMember(calc, c.miembro), c.error != vb::err::NoSuchMember) << c.miembro;
        EXPECT_EQ(calc.llamadas, c.error == 0 && QString(c.miembro) == "Nombre") << "a failed call runs nothing";
    }
}
