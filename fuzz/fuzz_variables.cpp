// The rule text of the trigger messages on arbitrary bytes (Windows-1252, as the table holds it): the
// fixed "$" variables are put in with the till and ticket of the input's first eight bytes. A text
// without "$" comes back as it was; every other text comes back with none of the variables' names
// left (what they are replaced with holds no letters, so no replacement makes a new name), unless it
// names the customer, which needs the database this process does not have.
#include "fuzz/EntornoFuzz.h"
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
    // As after the first connection: every value put in is digits and separators.
    gdtmFechaConexion = QDateTime(QDate(2026, 3, 14), QTime(12, 0));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8)
        return 0;
    clsBotones::Identificadores ids;
    std::memcpy(&ids.lngTPV, data, 4);
    std::memcpy(&ids.lngTicket, data + 4, 4);
    const QString texto = cp1252::decode(QByteArray(reinterpret_cast<const char*>(data) + 8, qsizetype(size - 8)));
    clsBotones botones;
    QString r;
    try {
        r = botones.EvaluaMensajesTriggerSustituirVariablesFijas(texto, ids);
    } catch (const program::Ended&) {
        program::resetForTests();
        return 0;
    }
    if (!texto.contains(QLatin1Char('$')) && r != texto) {
        std::fprintf(stderr, "a text without variables changed: %s\n", qPrintable(texto.toUtf8().toPercentEncoding()));
        std::abort();
    }
    if (!texto.contains(QLatin1String("idCliente")))
        for (const char* nombre : kNombres)
            if (r.contains(QLatin1String(nombre))) {
                std::fprintf(stderr, "%s left in: %s -> %s\n", nombre, qPrintable(texto.toUtf8().toPercentEncoding()),
                             qPrintable(r.toUtf8().toPercentEncoding()));
                std::abort();
            }
    return 0;
}
