// The command line: the switch table and what a restart passes on.
#include "ui/Main.h"

#include <gtest/gtest.h>

namespace {

struct Caso {
    const char* linea;
    Interruptores esperado;
};

Interruptores con(std::function<void(Interruptores&)> f) {
    Interruptores i;
    f(i);
    return i;
}

} // namespace

// gtest prints the switches of a failing case with this.
void PrintTo(const Interruptores& i, std::ostream* os) {
    *os << "{Debug " << i.Debug << " desarrollo " << i.desarrollo << " mensaje " << i.mensaje << " instal " << i.instal
        << " log " << i.log << " nombre_bd " << (i.nombre_bd ? i.nombre_bd->toStdString() : "-") << " ipservidor "
        << (i.ipservidor ? i.ipservidor->toStdString() : "-") << " tpv " << (i.tpv ? i.tpv->toStdString() : "-")
        << " retraso " << i.retraso << "}";
}

TEST(Interruptores, TablaDeLineasDeComandos) {
    const Caso casos[] = {
        {"", {}},
        {"log mensaje", {}}, // no "/": no switch
        {"/log /mensaje", con([](auto& i) { i.log = i.mensaje = true; })},
        {"/LOG", con([](auto& i) { i.log = true; })},
        {"/  log  ", con([](auto& i) { i.log = true; })},
        {"/logs", {}},
        {"antes/log", con([](auto& i) { i.log = true; })}, // the text before the first "/" is ignored
        {"/nombre_bd=ventas", con([](auto& i) { i.nombre_bd = QStringLiteral("ventas"); })},
        {"/nombre_bd = ventas ", con([](auto& i) { i.nombre_bd = QStringLiteral("ventas"); })},
        {"/nombre_bd=a=b", {}},
        {"/nombre_bd", {}},
        {"/debug /DEBUG", con([](auto& i) { i.Debug = true; })},
        {"/desarrollo", con([](auto& i) { i.desarrollo = true; })},
        {"/ipservidor=10.0.0.2", con([](auto& i) { i.ipservidor = QStringLiteral("10.0.0.2"); })},
        {"/ipservidor=127.0.0.1;PORT=3306", {}}, // two "=": no value
        {"/installer", con([](auto& i) { i.instal = true; })},
        {"/INSTAL", con([](auto& i) { i.instal = true; })},
        {"/ instal", {}}, // instal is tested on the piece as it stands
        {"/retraso=5", con([](auto& i) { i.retraso = 5; })},
        {"/retraso=0", {}},
        {"/retraso=abc", {}},
        {"/retraso=2,5", con([](auto& i) { i.retraso = 2; })}, // halves to even
        {"/retraso=40", con([](auto& i) { i.retraso = 40; })},
        {"/retraso=99999", con([](auto& i) { i.retraso = 32767; })},
        {"/tpv=0", {}},
        {"/tpv=3", con([](auto& i) { i.tpv = QStringLiteral("3"); })},
        {"/tpv=x", {}},
        {"/log /tpv=3 /nombre_bd=demo", con([](auto& i) {
             i.log = true;
             i.tpv = QStringLiteral("3");
             i.nombre_bd = QStringLiteral("demo");
         })},
        // later pieces overwrite earlier ones; a zero delay leaves the earlier one
        {"/nombre_bd=a /nombre_bd=b /retraso=3 /retraso=0", con([](auto& i) {
             i.nombre_bd = QStringLiteral("b");
             i.retraso = 3;
         })},
        // Debug and nombre_bd on every piece, the others first match wins: "debug" is not "log"
        {"/log/debug/mensaje", con([](auto& i) { i.log = i.Debug = i.mensaje = true; })},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.linea);
        EXPECT_EQ(LeeInterruptores(QString::fromUtf8(c.linea)), c.esperado);
    }
}

TEST(Interruptores, LosArgumentosSeUnenConBlancos) {
    const QStringList args{QStringLiteral("/log"), QStringLiteral("/tpv=3")};
    const Interruptores i = LeeInterruptores(LineaDeComandos(args));
    EXPECT_TRUE(i.log);
    EXPECT_EQ(i.tpv, QStringLiteral("3"));
}

TEST(Interruptores, ElReinicioConservaLosInterruptoresYEsperaCinco) {
    EXPECT_EQ(ArgumentosReinicio({}), QStringList{QStringLiteral("/retraso=5")});
    EXPECT_EQ(ArgumentosReinicio({QStringLiteral("/log"), QStringLiteral("/nombre_bd=ventas")}),
              (QStringList{QStringLiteral("/log"), QStringLiteral("/nombre_bd=ventas"), QStringLiteral("/retraso=5")}));
    // a restart of a restart does not pile up delays
    EXPECT_EQ(ArgumentosReinicio({QStringLiteral("/log"), QStringLiteral("/retraso=5")}),
              (QStringList{QStringLiteral("/log"), QStringLiteral("/retraso=5")}));
    EXPECT_EQ(ArgumentosReinicio({QStringLiteral("/log/RETRASO=3/tpv=2")}),
              (QStringList{QStringLiteral("/log/tpv=2"), QStringLiteral("/retraso=5")}));
    const Interruptores i = LeeInterruptores(
        LineaDeComandos(ArgumentosReinicio({QStringLiteral("/nombre_bd=ventas"), QStringLiteral("/retraso=9")})));
    EXPECT_EQ(i.retraso, 5);
    EXPECT_EQ(i.nombre_bd, QStringLiteral("ventas"));
}
