// The dispatcher called directly by a script host: its error callback takes the place of the error
// fields of the reply.
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "server/clsSocketFront.h"
#include "server/json/clsJsonScript.h"

#include <gtest/gtest.h>

namespace {

class ScriptQueAnota final : public clsJsonScript {
public:
    QStringList llamadas;
    bool ctrlErrorScript(const QString& strProceso, const QString& strError, bool) override {
        llamadas << strProceso + QStringLiteral("|") + strError;
        return false;
    }
};

vb::EntidadPtr peticion(std::initializer_list<std::pair<const char*, Variant>> campos) {
    auto e = std::make_shared<vb::entidadGenerica>();
    for (const auto& [k, v] : campos)
        e->Propiedad(QString::fromLatin1(k), v);
    return e;
}

QString campos(const vb::EntidadPtr& e) {
    QStringList r;
    for (int i = 1; i <= e->Count(); ++i)
        r << e->NombreItem(i) + QStringLiteral("=") + vb::CStr(e->Item(i));
    return r.join(QLatin1Char(','));
}

TEST(EjecutaAccion, ScriptHostGetsTheFailureInsteadOfTheReplyFields) {
    resetBasGeneralForTests();
    clsSocketFront front;
    ScriptQueAnota js;
    vb::EntidadPtr r;
    EXPECT_FALSE(front.EjecutaAccion(peticion({{"accion", QStringLiteral("Ping")}, {"idTPV", QStringLiteral("abc")}}),
                                     r, QStringLiteral("script"), &js));
    EXPECT_EQ(r->Count(), 0);
    EXPECT_EQ(js.llamadas, QStringList{"clsSocketFront.EjecutaAccion. |Type mismatch"});

    // An unknown action: no error text and no dump, only "ok" false.
    r.reset();
    EXPECT_FALSE(front.EjecutaAccion(peticion({{"accion", QStringLiteral("Otra")}}), r, QStringLiteral("script"), &js));
    EXPECT_EQ(campos(r), "ok=False");
    EXPECT_EQ(js.llamadas.size(), 1);

    // A failure after the action was recognised still counts as recognised.
    r.reset();
    EXPECT_TRUE(front.EjecutaAccion(peticion({{"accion", QStringLiteral("ImprimirTicketCocinaEspecial")},
                                              {"imprimir_cabecera", QStringLiteral("S")}}),
                                    r, QStringLiteral("script"), &js));
    EXPECT_EQ(js.llamadas.size(), 2);
}

} // namespace
