// Framing and dispatch of the request server on arbitrary bytes, without a database or a printer:
// the bytes arrive in pieces (cut where the first two bytes say), are gathered into requests as a
// connection gathers them, stripped of their prefixes, handled by the request front (every action,
// the print actions against the recording printer output), and the reply is framed. Nothing may
// crash, hang or grow without bound, and the requests must be the same as when the bytes come in
// one piece or one byte at a time: the network may split them anywhere. Each request must also be
// where the JSON reader's own grammar ends the object, and nothing sent may be lost. A pause of the
// peer (the quiet time) between the pieces may end only a text that holds no object: the objects
// handed over are the same with pauses as without.
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "fuzz/EntornoFuzz.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "printing/basPrinter.h"
#include "server/TramaPeticion.h"
#include "server/clsSocketFront.h"
#include "server/json/clsJSON.h"
#include "testsupport/RecordingOutput.h"

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <optional>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <vector>

namespace {

// Only the last job is kept.
class SalidaFuzz final : public printers::RecordingOutput {
public:
    bool send(const QString& printer, const QByteArray& data, QString* error) override {
        jobs.clear();
        return printers::RecordingOutput::send(printer, data, error);
    }
};

struct Entorno : ProcesoFuzz<QApplication, SalidaFuzz> {
    using ProcesoFuzz::ProcesoFuzz;
    std::unique_ptr<clsSocketFront> front;
};

Entorno* g_entorno = nullptr;

// The requests the framing makes of `piezas` arriving one after the other, each after a one-byte tag
// (no byte of the input can pass for it): kEntera a whole request; what is left at the end is taken
// as after the quiet time, whole requests first, then kResto the rest as it stands; kExcedida a
// request over the size bound or nested past the reader's depth (the connection closes there).
// With `pausas`, the peer pauses after each piece but the last, as long as the quiet time: kPausa
// is a text that the pause handed over as it stands.
constexpr char kEntera = 'E', kResto = 'R', kExcedida = 'X', kPausa = 'P';
QByteArrayList peticiones(const QByteArrayList& piezas, bool pausas = false) {
    using E = trama::LectorPeticiones::Estado;
    trama::LectorPeticiones lector;
    QByteArrayList r;
    for (qsizetype i = 0; i < piezas.size(); ++i) {
        auto estado = lector.anade(piezas[i]);
        if (pausas && i + 1 < piezas.size() && estado != E::Excedida && estado != E::Anidada) {
            // As the connection's sweep does: the reader is asked about every "}"; a text that
            // holds no object goes as it stands.
            estado = lector.revisa();
            if (estado == E::Incompleta && lector.terminaConPausa()) {
                r << kPausa + lector.toma();
                estado = lector.estado();
            }
        }
        for (; estado == E::Completa; estado = lector.estado())
            r << kEntera + lector.toma();
        if (estado == E::Excedida || estado == E::Anidada) {
            lector.toma();
            r << QByteArray(1, kExcedida);
        }
    }
    for (auto estado = lector.revisa(); estado == E::Completa; estado = lector.revisa())
        r << kEntera + lector.toma();
    if (lector.revisa() == E::Excedida || lector.revisa() == E::Anidada) {
        lector.toma();
        r << QByteArray(1, kExcedida);
    } else if (!lector.vacio()) {
        r << kResto + lector.toma();
    }
    return r;
}

[[noreturn]] void falla(const char* que, const QByteArray& peticion) {
    std::fprintf(stderr, "%s: [%s]\n", que, peticion.toPercentEncoding().constData());
    std::abort();
}

// The framing against the JSON reader, for any bytes: each whole request is an object that the
// reader, reading it as the request front does, closes on its last byte; the rest at the end holds
// no object the reader would close; and no byte is lost but the blanks behind a whole request.
void compruebaLimites(const QByteArray& entrada, const QByteArrayList& r) {
    qsizetype pos = 0;
    bool trasPeticion = false;
    auto blancos = [&] {
        while (trasPeticion && pos < entrada.size() && QByteArrayView(" \t\r\n").contains(entrada[pos]))
            ++pos;
    };
    for (const QByteArray& etiquetada : r) {
        if (etiquetada.front() == kExcedida)
            return; // the connection is closed there
        const bool resto = etiquetada.front() == kResto;
        const QByteArray p = etiquetada.mid(1);
        blancos();
        if (entrada.mid(pos, p.size()) != p)
            falla("a request is not the bytes that came", p);
        pos += p.size();
        trasPeticion = !resto;
        const QString datos = trama::analizaPeticion(cp1252::decode(p)).datos;
        const bool conObjeto = datos.startsWith(u'{');
        const qsizetype fin = conObjeto ? clsJSON::finDeObjeto(datos) : clsJSON::kSinCerrar;
        if (!resto && fin != datos.size())
            falla("a whole request is not the object the reader closes", p);
        if (resto && fin >= 0)
            falla("the rest holds an object the reader closes", p);
        if (!conObjeto)
            continue;
        // The reader that reads the request, as it reads it; a repeated key ends that reading early.
        clsJSON lector;
        try {
            lector.parseDictionary(datos);
        } catch (const VBError&) {
        }
        const clsJSON::FinLectura f = lector.finUltimaLectura();
        if (!f.error && f.cerrado != !resto)
            falla(resto ? "the reader closes the object of the rest" : "the reader leaves a whole request open", p);
        if (!f.error && !resto && f.posicion != datos.size())
            falla("the reader ends a whole request before its last byte", p);
    }
    blancos(); // the blanks behind the last whole request are dropped
    if (pos != entrada.size())
        falla("bytes were lost at the end", entrada.mid(pos));
}

void compara(const QByteArrayList& a, const QByteArrayList& b, const char* como) {
    if (a == b)
        return;
    std::fprintf(stderr, "framing differs when the bytes come %s: %lld requests against %lld\n", como,
                 static_cast<long long>(b.size()), static_cast<long long>(a.size()));
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i)
        std::fprintf(stderr, "  %lld: [%s] / [%s]\n", static_cast<long long>(i),
                     i < a.size() ? a[i].toPercentEncoding().constData() : "-",
                     i < b.size() ? b[i].toPercentEncoding().constData() : "-");
    std::abort();
}

// The same bytes with the peer pausing between the pieces: a pause hands over only texts that hold
// no object (never an object the reader has not closed), and the objects are those without pauses.
void compruebaPausas(const QByteArrayList& sinPausas, const QByteArrayList& conPausas) {
    auto objetos = [](const QByteArrayList& r) {
        QStringList o;
        for (const QByteArray& p : r) {
            if (p.front() == kExcedida)
                return std::optional<QStringList>();
            const trama::PeticionRecibida leida = trama::analizaPeticion(cp1252::decode(p.mid(1)));
            if (p.front() == kPausa && leida.modoJson)
                falla("a pause handed over an object", p);
            if (leida.modoJson)
                o << leida.datos;
        }
        return std::optional(o);
    };
    const auto a = objetos(sinPausas), b = objetos(conPausas);
    if (a && b && *a != *b)
        compara(sinPausas, conPausas, "with pauses (the objects)");
}

void handle(const QByteArray& bruto) {
    const trama::PeticionRecibida p = trama::analizaPeticion(cp1252::decode(bruto));
    g_entorno->front->esPeticionDeImpresion(p.datos);
    QString respuesta;
    g_entorno->front->socket_Request(p.datos, respuesta);
    (void)trama::enmarcaRespuesta(p, respuesta);
}

} // namespace

// Every print action that finds no database reconnects, and every reconnection lists the ODBC drivers.
// unixODBC keeps what it reads of odbcinst.ini in a cache whose entries expire by the clock, so each
// listing leaves allocations for a later call to free: libFuzzer saw more mallocs than frees on every
// such input and ran a whole leak scan for it. The drivers do not change while the target runs: they
// are listed once, by unixODBC itself, and this definition (which the target links in place of the
// library's) serves that list from then on.
namespace {
struct DriverListado {
    std::vector<SQLWCHAR> descripcion, atributos;
};

SQLRETURN copiaListado(const std::vector<SQLWCHAR>& texto, SQLWCHAR* destino, SQLSMALLINT capacidad,
                       SQLSMALLINT* longitud) {
    const auto n = static_cast<SQLSMALLINT>(texto.size());
    if (longitud)
        *longitud = n;
    if (!destino || capacidad <= 0)
        return n > 0 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    const SQLSMALLINT copia = std::min<SQLSMALLINT>(n, capacidad - 1);
    std::copy_n(texto.begin(), copia, destino);
    destino[copia] = 0;
    return copia < n ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}
} // namespace

extern "C" SQLRETURN SQL_API SQLDriversW(SQLHENV henv, SQLUSMALLINT direccion, SQLWCHAR* descripcion,
                                         SQLSMALLINT maxDescripcion, SQLSMALLINT* lonDescripcion, SQLWCHAR* atributos,
                                         SQLSMALLINT maxAtributos, SQLSMALLINT* lonAtributos) {
    using Real = SQLRETURN(SQL_API*)(SQLHENV, SQLUSMALLINT, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*, SQLWCHAR*,
                                     SQLSMALLINT, SQLSMALLINT*);
    static std::optional<std::vector<DriverListado>> listado;
    static std::size_t siguiente = 0;
    if (!listado) {
        const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "SQLDriversW"));
        if (!real)
            return SQL_ERROR;
        listado.emplace();
        for (SQLUSMALLINT d = SQL_FETCH_FIRST;; d = SQL_FETCH_NEXT) {
            SQLWCHAR desc[512] = {}, attrs[2048] = {};
            SQLSMALLINT ld = 0, la = 0;
            if (!SQL_SUCCEEDED(real(henv, d, desc, 512, &ld, attrs, 2048, &la)))
                break;
            listado->push_back({{desc, desc + std::clamp<SQLSMALLINT>(ld, 0, 511)},
                                {attrs, attrs + std::clamp<SQLSMALLINT>(la, 0, 2047)}});
        }
    }
    if (direccion == SQL_FETCH_FIRST)
        siguiente = 0;
    if (siguiente >= listado->size())
        return SQL_NO_DATA;
    const DriverListado& d = (*listado)[siguiente++];
    const SQLRETURN a = copiaListado(d.descripcion, descripcion, maxDescripcion, lonDescripcion);
    const SQLRETURN b = copiaListado(d.atributos, atributos, maxAtributos, lonAtributos);
    return a == SQL_SUCCESS && b == SQL_SUCCESS ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_entorno = new Entorno(argc, argv);

    const std::pair<const char*, const char*> parametros[] = {
        {"IpServidor", "127.0.0.1"}, {"Empresa", "1"},           {"Restaurante", "1"}, {"TPV", "1"}, {"Idioma", "1"},
        {"ImpTicket", "FUZZ"},       {"GrabarLogDetallado", "0"}};
    for (const auto& [k, v] : parametros)
        registry::RegistryStore::instance().setValue(
            registry::Root::CurrentUser, QStringLiteral("SOFTWARE\\Vesk\\Tarvolin"),
            {QString::fromLatin1(k), registry::REG_SZ, QString::fromLatin1(v)});
    objParametros().GetParamReg();
    gblnParametrosCargados = true;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > size_t(trama::kMaxPeticion))
        return 0;
    const QByteArray entrada(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));
    const qsizetype corte1 = qsizetype(data[0]) * entrada.size() / 255;
    const qsizetype corte2 = corte1 + qsizetype(data[1]) * (entrada.size() - corte1) / 255;
    const QByteArrayList enPiezas =
        peticiones({entrada.left(corte1), entrada.mid(corte1, corte2 - corte1), entrada.mid(corte2)});
    const QByteArrayList entera = peticiones({entrada});
    compara(entera, enPiezas, "in three pieces");
    compruebaLimites(entrada, enPiezas);
    compruebaPausas(
        entera, peticiones({entrada.left(corte1), entrada.mid(corte1, corte2 - corte1), entrada.mid(corte2)}, true));
    // Byte by byte only where it is cheap: the reader is asked on every "}" up to kRevisionInmediata.
    if (entrada.size() <= 1024) {
        QByteArrayList bytes;
        for (char c : entrada)
            bytes << QByteArray(1, c);
        compara(entera, peticiones(bytes), "one byte at a time");
    }
    // A front of its own for each input, gone at its end: the front keeps the readings of requests
    // about to run (a "null" never takes its own) and its queues, and what one input left there
    // would change what the next one does, and the counts of allocations that libFuzzer compares
    // to decide whether to scan for leaks.
    g_entorno->front = std::make_unique<clsSocketFront>();
    try {
        for (const QByteArray& p : enPiezas)
            if (p.front() != kExcedida)
                handle(p.mid(1));
    } catch (const program::Ended&) {
        // A parameter the code asked for is missing: the program would end here. Not a fault of
        // the input; start the next one clean.
        program::resetForTests();
    }
    g_entorno->front.reset();
    basPrinter::resetForTests();
    return 0;
}
