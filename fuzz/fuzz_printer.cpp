// The printer layer on arbitrary text, without a database or CUPS: markup, word wrap, the kitchen
// article line's fitting, bit-image bands, the character translation and the recording output. The
// first byte chooses the road (kitchen or not, euro code page on or off, Windows-1252 or UTF-8 text,
// wrap, fitting, bit image), the second a width. Nothing may crash or hang, and the translation
// must put out exactly one byte per column of its input.
//
// With the first byte's top bit set, the ticket composer itself (the kitchen ticket, or the special
// ticket's markup loop) prints the rest as a request's text over fixed ticket rows (no database), and
// text from a request must print as text: every character of it that the printer's table has comes
// out translated, and every other byte of the ticket is as it is without those characters; the
// header and foot (fixed rows with accented letters) are the same whatever the request carried.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "fuzz/EntornoFuzz.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "platform/VBError.h"
#include "printing/basPrinter.h"
#include "printing/clsImprimirTicket.h"
#include "printing/tests/ParametrosSalida.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/RecordingOutput.h"
#include "testsupport/ScriptedPrompts.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct Entorno {
    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir registro;
    RecordingMainWindow ventana;
    prompts::ScriptedPrompts avisos; // every message answered with its default
    printers::RecordingOutput salida;
    int paginaEuro = -1; // as last set: -1 unknown, 0 off, 1 on
};

Entorno* g_entorno = nullptr;

enum Bandera : uint8_t {
    kCocina = 1,
    kEuro = 2,
    kUtf8 = 4,
    kAjusta = 8,
    kAlinea = 16,
    kImagen = 32,
    kEnviarCadaLinea = 64,
    kComponedor = 128,
};

void falla(const char* que) {
    std::fprintf(stderr, "fuzz_printer: %s\n", que);
    std::abort();
}

void paginaEuro(bool activa) {
    if (g_entorno->paginaEuro == int(activa))
        return;
    objParametros().SetValor(QStringLiteral("CodigosEscTicketCocina"),
                             activa ? QStringLiteral("3") : QStringLiteral("0"));
    objParametros().SetValor(QStringLiteral("CodigosEscTicketNormal"),
                             activa ? QStringLiteral("4") : QStringLiteral("0"));
    g_entorno->paginaEuro = int(activa);
}

void recorre(uint8_t banderas, int ancho, const QString& texto) {
    using namespace basPrinter;
    const bool cocina = banderas & kCocina;
    const bool euro = banderas & kEuro;

    // The translation alone: one byte per column, plus the code-page command in front.
    const QByteArray traducido = cp1252::encode(TraducirCaracteres(texto, cocina));
    if (traducido.size() != basFuncionesComunes::Columnas(texto) + (euro ? 3 : 0))
        falla("the translation changed the number of bytes");

    QString marcado;
    if (banderas & kAjusta)
        marcado = basFuncionesComunes::AjustaTexto(ancho, texto, ancho / 8);
    else
        marcado = sustituyeTagsHTML(texto);

    BufferImpresion trabajo;
    if (banderas & kImagen) {
        ImprimeImagenBits(trabajo, marcado, qint16(ancho), 0, qint16(ancho * 2), QString());
    } else {
        for (QString linea : marcado.split(QStringLiteral("\r\n"))) {
            if (banderas & kAlinea) {
                linea = basFuncionesComunes::AlineaTexto(linea, ancho, true, false, QString());
                if (basFuncionesComunes::Columnas(linea) != std::max(ancho, 0))
                    falla("the fitted line is not as wide as asked");
            }
            Imprimir(trabajo, linea, {.Enviar = (banderas & kEnviarCadaLinea) != 0, .EsCocina = cocina});
        }
    }
    // Whatever is left goes out as one job.
    Imprimir(trabajo, QString(), {.ConSalto = false, .Enviar = true, .EsCocina = cocina});
}

// ---- the composer over fixed ticket rows ----

// Rows of one statement, in memory.
class FilasFijas final : public ado::Recordset {
public:
    explicit FilasFijas(std::vector<std::vector<ado::Field>> filas) : m_filas(std::move(filas)) {
        if (!m_filas.empty())
            for (const ado::Field& f : m_filas.front())
                m_vacios.push_back(ado::Field{.Name = f.Name});
    }
    bool isEOF() const override { return m_i >= m_filas.size(); }
    bool isBOF() const override { return m_filas.empty(); }
    void MoveNext() override {
        if (isEOF())
            vb::Raise(vb::err::AdoNoCurrentRecord);
        ++m_i;
    }
    int FieldCount() const override { return int(m_vacios.size()); }
    const ado::Field& Fields(int k) const override {
        if (k < 0 || k >= FieldCount())
            vb::Raise(vb::err::AdoItemNotFound);
        return isEOF() ? m_vacios[size_t(k)] : m_filas[m_i][size_t(k)];
    }
    const ado::Field& Fields(const QString& nombre) const override {
        for (int k = 0; k < FieldCount(); ++k)
            if (m_vacios[size_t(k)].Name.compare(nombre, Qt::CaseInsensitive) == 0)
                return Fields(k);
        vb::Raise(vb::err::AdoItemNotFound);
    }
    void Close() override { m_abierto = false; }
    int State() const override { return m_abierto ? 1 : 0; }

private:
    std::vector<std::vector<ado::Field>> m_filas;
    std::vector<ado::Field> m_vacios;
    size_t m_i = 0;
    bool m_abierto = true;
};

// The ticket's rows, with accented letters where the ticket prints them.
class TicketFijo final : public FilasTicket {
public:
    bool conectado() override { return true; }
    ado::RecordsetPtr abre(const QString& sql, const QList<Variant>&) override {
        using F = std::vector<ado::Field>;
        auto c = [](const char* n, const Variant& v) { return ado::Field{.Name = QString::fromLatin1(n), .Value = v}; };
        auto t = [](const char* s) { return Variant(QString::fromUtf8(s)); };
        std::vector<F> filas;
        if (sql.contains(QLatin1String("left join maecam")))
            filas = {{c("idTicket", Variant(1234)), c("idTPV", Variant(3)), c("idMesa", Variant(12)),
                      c("idSala", Variant(1)), c("DescCamarero", t("Peña")), c("DescMesa", t("Ventana ñ")),
                      c("Descsala", t("Comedor Ñú")), c("DescTicket", t("")), c("DescPV", t("Barra")),
                      c("paxs", Variant(4)), c("SerieTicket", t("")), c("NumTicketFormateado", t("003"))}};
        else if (sql.contains(QLatin1String("maeven")))
            filas = {{c("Descripcion", t("Marta López")), c("idVendedor", Variant(7))}};
        else if (sql.contains(QLatin1String("qm_cabticket_observ")))
            filas = {{c("observ_preparacion", t("Sin sal, ¿vale?")), c("Observ", t("Niño celíaco"))}};
        else if (sql.contains(QLatin1String("configticket")))
            filas = {{c("idOrden", Variant(1)), c("Texto", t("Café Peña"))},
                     {c("idOrden", Variant(3)), c("Texto", t("Calle Añil"))},
                     {c("idOrden", Variant(7)), c("Texto", t("¡Gracias!"))}};
        else if (sql.contains(QLatin1String("maetpv")))
            filas = {{c("Nombre", t("TPV Añil"))}};
        return std::make_unique<FilasFijas>(std::move(filas));
    }
    void ejecuta(const QString&, const QList<Variant>&) override {}
};

std::vector<printers::RecordingOutput::Job> imprime(bool cocina, bool conMarco, const QString& texto) {
    g_entorno->salida.jobs.clear();
    clsImprimirTicket t;
    if (cocina)
        t.ImprimirTicketCocinaEspecial(
            3, 1234, texto,
            {.blnImprimirCabecera = conMarco, .strTextoPie = conMarco ? QStringLiteral("Niños: tronas") : QString()});
    else
        t.ImprimirTicketEspecial(texto, {.blnImprimirCabeceraYPie = conMarco});
    return std::move(g_entorno->salida.jobs);
}

// The bytes of c on paper when the printer's table has it (translated); empty otherwise.
QByteArray traduccion(QChar c) {
    const QByteArray tal = cp1252::encode(QString(c));
    const QByteArray traducido = cp1252::encode(basPrinter::TraducirCaracteres(QString(c), false));
    return traducido != tal ? traducido : QByteArray();
}

QString enmascara(const QString& texto, QChar en) {
    QString r = texto;
    for (QChar& c : r)
        if (!traduccion(c).isEmpty())
            c = en;
    return r;
}

const QByteArray kPreparacion("\x1b"
                              "3\x1e",
                              3); // the kitchen line spacing (30), a job of its own

// The header before, and the foot after, the request's lines of the first and of a later piece.
struct Marco {
    QByteArray cabecera1, pie1, cabecera2, pie2;
};
Marco marcoDe(bool cocina, bool conMarco) {
    std::vector<QByteArray> tickets;
    for (const auto& j : imprime(cocina, conMarco, QStringLiteral("~<cortar>~")))
        if (j.data != kPreparacion)
            tickets.push_back(j.data);
    if (tickets.size() != 2)
        falla("the reference ticket is not two jobs");
    Marco m;
    auto parte = [](const QByteArray& j, QByteArray& cabecera, QByteArray& pie) {
        const qsizetype marca = j.indexOf('~');
        const qsizetype fin = j.indexOf("\r\n", marca);
        if (marca < 0 || fin < 0)
            falla("the reference ticket lost its line");
        cabecera = j.left(marca);
        pie = j.mid(fin + 2);
    };
    parte(tickets[0], m.cabecera1, m.pie1);
    parte(tickets[1], m.cabecera2, m.pie2);
    return m;
}

void componedor(uint8_t opciones, const QString& texto) {
    const bool cocina = opciones & 1;
    const bool conMarco = opciones & 2;
    static Marco marcos[4];
    static bool hechos[4] = {};
    const int k = (cocina ? 1 : 0) + (conMarco ? 2 : 0);
    if (!hechos[k]) {
        marcos[k] = marcoDe(cocina, conMarco);
        hechos[k] = true;
    }
    const auto a = imprime(cocina, conMarco, texto);
    const auto x = imprime(cocina, conMarco, enmascara(texto, QLatin1Char('x')));
    const auto y = imprime(cocina, conMarco, enmascara(texto, QLatin1Char('y')));
    if (a.size() != x.size() || a.size() != y.size())
        falla("the translatable characters changed the number of jobs");

    // The request's translatable characters, translated, in order.
    QByteArray esperado;
    for (QChar c : texto)
        esperado += traduccion(c);
    QByteArray salido;
    size_t pieza = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const QByteArray& ja = a[i].data;
        const QByteArray &jx = x[i].data, &jy = y[i].data;
        if (ja.size() != jx.size() || ja.size() != jy.size() || a[i].printer != x[i].printer)
            falla("the translatable characters changed a job's length or printer");
        for (qsizetype p = 0; p < ja.size(); ++p) {
            if (jx[p] == jy[p]) {
                if (ja[p] != jx[p])
                    falla("a byte outside the request's translatable characters depends on them");
            } else if (jx[p] == 'x' && jy[p] == 'y') {
                salido += ja[p];
            } else {
                falla("the masks do not line up");
            }
        }
        if (ja == kPreparacion)
            continue;
        const Marco& m = marcos[k];
        const QByteArray& cabecera = pieza == 0 ? m.cabecera1 : m.cabecera2;
        const QByteArray& pie = pieza == 0 ? m.pie1 : m.pie2;
        if (!ja.startsWith(cabecera) || !ja.endsWith(pie) || ja.size() < cabecera.size() + pie.size())
            falla("the request's text changed the ticket's header or foot");
        ++pieza;
    }
    // What a line's width cut off is missing; what is there is translated, in the request's order.
    qsizetype e = 0;
    for (const char b : salido) {
        while (e < esperado.size() && esperado[e] != b)
            ++e;
        if (e == esperado.size())
            falla("a translatable character of the request came out untranslated");
        ++e;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    g_entorno = new Entorno;
    g_entorno->app = std::make_unique<QCoreApplication>(*argc, *argv);
    preparaProcesoFuzz(g_entorno->registro.path(), &g_entorno->ventana, &g_entorno->avisos, &g_entorno->salida);

    // Every parameter the printer layer reads.
    auto& reg = registry::RegistryStore::instance();
    auto pon = [&](const QString& k, const QString& v) {
        reg.setValue(registry::Root::CurrentUser, QStringLiteral("SOFTWARE\\Vesk\\Tarvolin"), {k, registry::REG_SZ, v});
    };
    for (const char* k : {"IpServidor", "Empresa", "Restaurante", "TPV", "Idioma"})
        pon(QString::fromLatin1(k), QStringLiteral("1"));
    for (const auto& [k, v] : printertest::parametrosSalida())
        pon(k, v);
    // The composer's: a kitchen ticket with every block that prints a row, no length-limit sends.
    for (const auto& [k, v] : printertest::pares(QStringLiteral(
             "TieneImpresoraFisica=1 EspacioEntreLineasCocina=30 ImprimirAnulacionesRojo=0 "
             "BlancosCabeceraTicketCocina=1 "
             "ImpDosCarTickGrandes=1 GrupoComandas=1 ConectarPantallasCocinaDirectasaTPV=0 "
             "ImprimirNombreImpresoraTicketCocina=0 ImpLogoTicketCocina=0 TextoCabeceraCocina=COCIÑA "
             "ImprimirVendedorTicketCocina=1 VendedorTicketOLinea=T ImpNombreVendedor=1 ImpMesaTickCocina=1 "
             "ImpMesaTickCocinaGrande=0 NoImpCodigoMesas=0 ImpCodigoMesasSalas=0 LineasHorizontalesCocina=1 "
             "ImpCabTickCocinaFinal=0 TicketGrande=0 ImprimirTPVCocina=1 ImprimirSalaCocina=1 "
             "ImprimirSalaGrandeCocina=0 TicCocinaImprimirPaxs=1 ImprimirClienteTicketCocina=0 ImpArtInvTickCocina=0 "
             "InterlineadoImpresoraCocina=0 TipoImpresionNegritaArticulosTicketCocina=0 ImprimirMenusDiferenciado=0 "
             "ImpSoloArtsLetraGrandeCocina=0 ImpArtsLetraGrandeCocina=0 ImpArtsMayusculas=0 "
             "ImprimirObservacionesTicketCocina=1 ImprimirObservacionesLetraGrande=0 BlancosPie=2 "
             "LongMaxTexto=100000000")))
        pon(k, v);
    objParametros().GetParamReg();
    gblnParametrosCargados = true; // unattended: a failure prints an error ticket through this same layer
    basPrinter::resetForTests();
    clsImprimirTicket::setFilasTicket(new TicketFijo);
    // The header's date and time: fixed, so two prints of one ticket are byte for byte the same.
    clock_seam::setNowSource([] { return QDateTime(QDate(2026, 3, 14), QTime(13, 45, 30)); });
    gdtmFechaConexion = QDateTime(QDate(2026, 3, 13), QTime(9, 0, 0));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t banderas = data[0];
    const int ancho = int(data[1]) - 8; // a few widths below zero too
    const QByteArray bruto(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));
    if (banderas & kComponedor) {
        paginaEuro(false);
        try {
            componedor(data[1], QString::fromUtf8(bruto));
        } catch (const program::Ended&) {
            falla("the program would end: a parameter the composer reads is missing here");
        }
        g_entorno->ventana.grid.clear();
        g_entorno->avisos.calls.clear();
        g_entorno->salida.jobs.clear();
        return 0;
    }
    const QString texto = (banderas & kUtf8) ? QString::fromUtf8(bruto) : cp1252::decode(bruto);
    paginaEuro(banderas & kEuro);
    try {
        recorre(banderas, ancho, texto);
    } catch (const program::Ended&) {
        falla("the program would end: a parameter the printer layer reads is missing here");
    }
    g_entorno->ventana.grid.clear();
    g_entorno->avisos.calls.clear();
    g_entorno->salida.jobs.clear();
    basPrinter::resetForTests();
    return 0;
}
