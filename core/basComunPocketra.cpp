// Literal translation: the idiomas_literales dictionary, the idiomes lookup and the restaurant's
// own words for ticket, sala, IVA, mesa, camarero, vendedor and the back-office product.
#include "core/NombresParametros.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsDR.h"
#include "core/clsParametros.h"
#include "platform/Program.h"
#include "platform/Prompts.h"

#include <QHash>
#include <functional>
#include <utility>

namespace {

// Literals of idiomas_literales by "language|text", and computed results, kept apart by the
// blnUsarDocumento flag they were computed with (the same text may differ by it).
struct Diccionario {
    QHash<QString, QString> literales;
    QHash<QString, QString> calculados[2];
};

Diccionario& dicLiterales() {
    static Diccionario d;
    return d;
}

// The link (NumeroConexion) on which an idiomes lookup failed; -1: none failed. On that link no
// text is looked up again: a table that is missing or a link that is gone would fail every label of
// every ticket the same way, one message each.
int g_lookupFallidoEnConexion = -1;

bool busquedasSuspendidas() {
    return g_lookupFallidoEnConexion == NumeroConexion();
}

QString claveLiteral(qint16 idioma, const QString& texto) {
    return QString::number(idioma) + QLatin1Char('|') + texto;
}

QString texto(const Variant& v) {
    if (vb::IsNull(v) || vb::IsEmpty(v))
        return QString();
    return vb::CStr(v);
}

// A LIKE pattern that matches exactly the text: '!' escapes itself and the two wildcards.
QString patronExacto(const QString& t) {
    QString p;
    p.reserve(t.size());
    for (const QChar c : t) {
        if (c == QLatin1Char('!') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            p += QLatin1Char('!');
        p += c;
    }
    return p;
}

// Runs a word-replacement step; a failure is told to the user and the text comes back as received.
QString paso(const QString& t, const std::function<QString(QString)>& f) {
    QString r = t;
    vb::OnError([&] { r = f(t); }, [](const VBError& e) { MensajeUsuario(e.description()); });
    return r;
}

// The words that replace "sala" and "ticket" are optional: an absent one means "not configured".
QString TraduceTextoDrovanto(const QString& strTexto) {
    return paso(strTexto, [](QString t) {
        if (!gstrTextoDrovanto.isEmpty() && t.contains(QLatin1String("Drovanto")))
            t.replace(QStringLiteral("Drovanto"), gstrTextoDrovanto);
        return t;
    });
}

QString TraduceTextoIVA(const QString& strTexto) {
    return paso(strTexto, [](QString t) {
        if (gstrTextoIVA.isEmpty())
            return t;
        if (t.contains(QLatin1String(" IVA")) || t.contains(QLatin1String("IVA ")) ||
            t.contains(QLatin1String("IVA:")) || t == QLatin1String("IVA"))
            t.replace(QStringLiteral("IVA"), gstrTextoIVA);
        return t;
    });
}

QString TraduceTextoVendedor(const QString& strTexto) {
    return paso(strTexto, [](QString t) {
        const QString& w = gstrTextoVendedor;
        if (w.isEmpty())
            return t;
        t.replace(QStringLiteral("vendedores"), w + QStringLiteral("s"));
        t.replace(QStringLiteral("vendedor"), w);
        t.replace(QStringLiteral("Vendedores"), w + QStringLiteral("s"));
        t.replace(QStringLiteral("Vendedor"), w);
        return t;
    });
}

QString reemplazaTresFormas(QString t, const QString& palabra, const QString& w) {
    if (w.isEmpty())
        return t;
    const QString capital = palabra.left(1).toUpper() + palabra.mid(1);
    t.replace(palabra, w.toLower());
    t.replace(capital, w);
    t.replace(palabra.toUpper(), w.toUpper());
    return t;
}

QString TraduceTextoMesa(const QString& strTexto) {
    return paso(strTexto,
                [](QString t) { return reemplazaTresFormas(std::move(t), QStringLiteral("mesa"), gstrTextoMesa); });
}

QString TraduceTextoCamarero(const QString& strTexto) {
    return paso(strTexto, [](QString t) {
        return reemplazaTresFormas(std::move(t), QStringLiteral("camarero"), gstrTextoCamarero);
    });
}

// The spaced rules of "ticket" and "sala": the word alone, or the word and its plural next to a
// space, in three cases. `palabraConfigurada` gives w for each replacement.
QString reglasEspaciadas(QString t, const QString& s, const std::function<QString()>& palabraConfigurada) {
    if (palabraConfigurada().isEmpty())
        return t;
    const QString S = s.left(1).toUpper() + s.mid(1);
    const QString U = s.toUpper();
    if (t.size() == s.size()) {
        const QString w = palabraConfigurada();
        if (t == s)
            return w.toLower();
        if (t == S)
            return w;
        if (t == U)
            return w.toUpper();
        return t;
    }
    const QString sp = QStringLiteral(" ");
    auto lw = [&] { return palabraConfigurada().toLower(); };
    auto w = [&] { return palabraConfigurada(); };
    auto uw = [&] { return palabraConfigurada().toUpper(); };
    const QString ls = QStringLiteral("s"), us = QStringLiteral("S");
    t.replace(sp + s + sp, sp + lw() + sp);
    t.replace(sp + S + sp, sp + w() + sp);
    t.replace(sp + U + sp, sp + uw() + sp);
    t.replace(s + sp, lw() + sp);
    t.replace(S + sp, w() + sp);
    t.replace(U + sp, uw() + sp);
    t.replace(sp + s, sp + lw());
    t.replace(sp + S, sp + w());
    t.replace(sp + U, sp + uw());
    t.replace(sp + s + ls + sp, sp + lw() + ls + sp);
    t.replace(sp + S + ls + sp, sp + w() + ls + sp);
    t.replace(sp + U + us + sp, sp + uw() + us + sp);
    t.replace(s + ls + sp, lw() + ls + sp);
    t.replace(S + ls + sp, w() + ls + sp);
    t.replace(U + us + sp, uw() + us + sp);
    t.replace(sp + s + ls, sp + lw() + ls);
    t.replace(sp + S + ls, sp + w() + ls);
    t.replace(sp + U + us, sp + uw() + us);
    return t;
}

QString TraduceTextoSala(const QString& strTexto) {
    return paso(strTexto, [](QString t) {
        return reglasEspaciadas(std::move(t), QStringLiteral("sala"),
                                [] { return objParametros().lee(param::TextoSala); });
    });
}

QString TraduceTextoTicket(const QString& strTexto, bool blnUsarDocumento) {
    return paso(strTexto, [blnUsarDocumento](QString t) {
        QString w = objParametros().lee(param::TextoTicket);
        // A long own word does not fit where the till says "ticket": "Documento" stands in.
        if (blnUsarDocumento && w.size() > 9)
            w = TraduceLiteral(QStringLiteral("Documento"), -1, true, false);
        return reglasEspaciadas(std::move(t), QStringLiteral("ticket"), [&w] { return w; });
    });
}

// The translation of one text in one language from idiomes; false when there is no row.
bool buscaEnIdiomes(qint16 idioma, const QString& textoTrabajo, QString& traduccion) {
    ado::RecordsetPtr rs = ConexionServidor().OpenRecordset(
        QStringLiteral("select traduccion from idiomes where idioma=? and text like ? escape '!'"),
        {Variant(idioma), Variant(patronExacto(textoTrabajo))});
    const bool hay = !rs->isEOF();
    if (hay)
        traduccion = texto(basFuncionesComunes::VarToStr(rs->Fields(0).Value, Variant(textoTrabajo)));
    rs->Close();
    return hay;
}

} // namespace

void cargarIdiomasLiterales() {
    AtrapaErrores(QStringLiteral("basComunPocketra.cargarIdiomasLiterales"), [&] {
        GrabaLog(QStringLiteral("basComunPocketra.cargarIdiomasLiterales"), false);
        if (!DR)
            vb::Raise(vb::err::ObjectNotSet);
        const vb::ColeccionPtr filas = DR->Query(QStringLiteral("select * from idiomas_literales"));
        QHash<QString, QString>& literales = dicLiterales().literales;
        for (const vb::EntidadPtr& fila : filas->items()) {
            const QString clave = texto(fila->Valor(QStringLiteral("idioma"))) + QLatin1Char('|') +
                                  texto(fila->Valor(QStringLiteral("texto_original")));
            if (!literales.contains(clave))
                literales.insert(clave, texto(fila->Valor(QStringLiteral("texto_mostrar"))));
        }
    });
}

QString TraduceLiteral(const QString& strTexto, qint16 intIdioma, bool blnForzarTraduccion, bool blnUsarDocumento) {
    if (!gblnParametrosCargados)
        return strTexto;
    qint16 idioma = intIdioma;
    if (idioma == -1)
        idioma = gintIdiomaActual != 0 ? gintIdiomaActual : (gintIdioma != 0 ? gintIdioma : qint16(1));
    if (strTexto.isEmpty())
        return strTexto;

    const QString clave = claveLiteral(idioma, strTexto);
    Diccionario& dic = dicLiterales();
    if (auto it = dic.literales.constFind(clave); it != dic.literales.cend())
        return *it;
    QHash<QString, QString>& calculados = dic.calculados[blnUsarDocumento ? 1 : 0];
    if (auto it = calculados.constFind(clave); it != calculados.cend())
        return *it;

    if (idioma == 1 && !gblnHayTextosPropios && !blnForzarTraduccion)
        return strTexto;

    QString trabajo = strTexto;
    trabajo.replace(QLatin1Char('\''), QChar(0x00B4));
    bool traducido = false;
    // A text that could not be looked up (the link closed, or a lookup failed on it) is not kept, so
    // it is looked up once the link is back; the original kept it untranslated for the whole run.
    bool sinBusqueda = false;
    vb::OnError(
        [&] {
            if (idioma != 1 && (ConexionLocal().State() != ado::adStateOpen || busquedasSuspendidas())) {
                sinBusqueda = true;
            } else if (idioma != 1) {
                // Marked before and cleared after: a lookup that fails leaves its link marked.
                const int anterior = std::exchange(g_lookupFallidoEnConexion, NumeroConexion());
                if (buscaEnIdiomes(idioma, trabajo, trabajo))
                    traducido = true;
                else if (gintIdiomaSecundario != idioma && gintIdiomaSecundario != 1 &&
                         buscaEnIdiomes(gintIdiomaSecundario, trabajo, trabajo))
                    traducido = true;
                g_lookupFallidoEnConexion = anterior;
            }
            trabajo = TraduceTextoDrovanto(trabajo);
            trabajo = TraduceTextoIVA(trabajo);
            trabajo = TraduceTextoVendedor(trabajo);
            trabajo = TraduceTextoMesa(trabajo);
            trabajo = TraduceTextoCamarero(trabajo);
            trabajo = TraduceTextoSala(trabajo);
            trabajo = TraduceTextoTicket(trabajo, blnUsarDocumento);
            if (traducido) {
                trabajo.replace(QStringLiteral("<br>"), QStringLiteral(" "));
                trabajo.replace(QStringLiteral("<BR>"), QStringLiteral(" "));
            }
            trabajo = vb::Trim(trabajo);
            if (!sinBusqueda)
                calculados.insert(clave, trabajo);
        },
        // Told through MensajeUsuario, not in a box of its own: a print asks for its labels, and a box
        // there would hold the ticket until someone clicks.
        [](const VBError& e) { MensajeUsuario(e.description(), prompts::vbExclamation); });
    return trabajo;
}

void resetTraduccionForTests() {
    g_lookupFallidoEnConexion = -1;
    Diccionario& d = dicLiterales();
    d.literales.clear();
    d.calculados[0].clear();
    d.calculados[1].clear();
}
