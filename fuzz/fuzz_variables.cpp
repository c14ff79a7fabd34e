// The rule text of the trigger messages on arbitrary bytes (Windows-1252, as the table holds it): the
// fixed "$" variables are put in with the identifiers of the input's first 26 bytes (a zero till or
// ticket takes both from the main window). A text without "$" comes back as it was; every other text
// comes back with none of the variables' names left (what they are replaced with holds no letters, so
// no replacement makes a new name), and with each replaced by its own value, in the table's order:
// the text as replacing the names one after the other with the values the process holds gives it.
// A text that names the customer needs the database this process does not have, and is left out.
#include "fuzz/EntornoFuzz.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "rules/clsBotones.h"

#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

ProcesoFuzz<QCoreApplication>* g_entorno = nullptr;

const char* const kNombres[] = {"$idEmpresa",   "$idRestaurante",    "$idTPV",      "$idTicket",   "$idLinea",
                                "$idSubTicket", "$idArticulo",       "$idFormato",  "$idVendedor", "$fecha_actual",
                                "$hora_actual", "$fecha_formateada", "$idCamarero", "$idEmpleado"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    g_entorno = new ProcesoFuzz<QCoreApplication>(argc, argv);
    // As after the first connection: every value put in is digits and separators, each its own.
    gdtmFechaConexion = QDateTime(QDate(2026, 3, 14), QTime(12, 0));
    clock_seam::setNowSource([] { return QDateTime(QDate(2026, 3, 15), QTime(13, 45, 30)); });
    glngEmpresa = 11;
    glngRestaurante = 22;
    frmPrincipalVars().lngTPV = 5;
    frmPrincipalVars().lngTicket = 6;
    frmPrincipalVars().lngLinTicket = 33;
    frmPrincipalVars().intCamarero = 44;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 26)
        return 0;
    clsBotones::Identificadores ids;
    std::memcpy(&ids.lngTPV, data, 4);
    std::memcpy(&ids.lngTicket, data + 4, 4);
    std::memcpy(&ids.lngSubTicket, data + 8, 4);
    std::memcpy(&ids.lngArticulo, data + 12, 4);
    std::memcpy(&ids.lngFormato, data + 16, 4);
    std::memcpy(&ids.intVendedor, data + 20, 2);
    std::memcpy(&ids.lngEmpleado, data + 22, 4);
    const QString texto = cp1252::decode(QByteArray(reinterpret_cast<const char*>(data) + 26, qsizetype(size - 26)));
    const clsBotones::Identificadores dados = ids;
    clsBotones botones;
    QString r;
    try {
        r = botones.EvaluaMensajesTriggerSustituirVariablesFijas(texto, ids);
    } catch (const program::Ended&) {
        program::resetForTests();
        return 0;
    }
    const auto informa = [&](const char* que) {
        std::fprintf(stderr, "%s: %s -> %s\n", que, qPrintable(texto.toUtf8().toPercentEncoding()),
                     qPrintable(r.toUtf8().toPercentEncoding()));
        std::abort();
    };
    if (!texto.contains(QLatin1Char('$')) && r != texto)
        informa("a text without variables changed");
    if (texto.contains(QLatin1String("idCliente")))
        return 0;
    for (const char* nombre : kNombres)
        if (r.contains(QLatin1String(nombre)))
            informa("a name left in");

    // A zero till or ticket takes both from the main window, and the caller sees them.
    const bool deVentana = dados.lngTPV == 0 || dados.lngTicket == 0;
    const qint32 tpv = deVentana ? 5 : dados.lngTPV, ticket = deVentana ? 6 : dados.lngTicket;
    if (ids.lngTPV != tpv || ids.lngTicket != ticket)
        informa("the till and ticket the caller sees are not the ones used");
    const std::pair<const char*, QString> valores[] = {
        {"$idEmpresa", "11"},
        {"$idRestaurante", "22"},
        {"$idTPV", QString::number(tpv)},
        {"$idTicket", QString::number(ticket)},
        {"$idLinea", "33"},
        {"$idSubTicket", QString::number(dados.lngSubTicket)},
        {"$idArticulo", QString::number(dados.lngArticulo)},
        {"$idFormato", QString::number(dados.lngFormato)},
        {"$idVendedor", QString::number(dados.intVendedor)},
        {"$fecha_actual", "20260314"},
        {"$hora_actual", "13:45:30"},
        {"$fecha_formateada", "15/03/2026"},
        {"$idCamarero", "44"},
        {"$idEmpleado", QString::number(dados.lngEmpleado)},
    };
    QString esperado = texto;
    for (const auto& [nombre, valor] : valores)
        esperado.replace(QLatin1String(nombre), valor);
    if (r != esperado)
        informa("a variable was not replaced by its own value");
    return 0;
}
