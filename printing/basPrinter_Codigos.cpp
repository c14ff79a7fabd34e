// basPrinter: the printer's state (initialisation, font and width), markup tags and the character
// translation to the printer's table.
#include "printing/basPrinter.h"
#include "printing/basPrinter_Interno.h"

#include "core/NombresParametros.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include "printing/EscPos.h"
#include "printing/clsImpresionPantalla.h"

#include <QHash>
#include <algorithm>

namespace basPrinter {

using namespace interno;

namespace {

// ---- character translation table ----
// The printer's byte for each accented character (capitals print as their small form, except Ñ).
// The euro sign depends on the code page and is handled apart.
struct Traduccion {
    const char* caracteres; // UTF-8
    int byte;
};
constexpr Traduccion kTabla[] = {
    {"¡", 173},  {"´`", 39},  {"çÇ", 135}, {"üÜ", 129}, {"éÉ", 130}, {"âÂãÃ", 131}, {"äÄ", 132},   {"àÀ", 133},
    {"êÊ", 136}, {"ëË", 137}, {"èÈ", 138}, {"ïÏ", 139}, {"îÎ", 140}, {"ìÌ", 141},   {"ôÔõÕ", 147}, {"öÖ", 148},
    {"òÒ", 149}, {"ûÛ", 150}, {"ùÙ", 151}, {"áÁ", 160}, {"íÍ", 161}, {"óÓ", 162},   {"úÚ", 163},   {"ñ", 164},
    {"Ñ", 165},  {"ª", 166},  {"º", 167},  {"¿", 168},  {"·", 250},
};

const QHash<QChar, int>& tablaTraduccion() {
    static const QHash<QChar, int> tabla = [] {
        QHash<QChar, int> t;
        for (const auto& f : kTabla)
            for (QChar c : QString::fromUtf8(f.caracteres))
                t.insert(c, f.byte);
        return t;
    }();
    return tabla;
}

// The text with each surrogate pair replaced by one "?".
QString unCaracterPorByte(const QString& texto) {
    if (!std::any_of(texto.cbegin(), texto.cend(), [](QChar c) { return c.isSurrogate(); }))
        return texto;
    QString r;
    r.reserve(texto.size());
    for (qsizetype i = 0; i < texto.size(); ++i) {
        if (texto.at(i).isHighSurrogate() && i + 1 < texto.size() && texto.at(i + 1).isLowSurrogate()) {
            r += QLatin1Char('?');
            ++i;
        } else {
            r += texto.at(i);
        }
    }
    return r;
}

int byteTraducido(QChar c, bool paginaEuro) {
    if (c.unicode() == 0x20AC) // €
        return paginaEuro ? 213 : 238;
    return tablaTraduccion().value(c, -1);
}

} // namespace

ResultadoEnvio InicializaImpresora(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora,
                                   OpcionesInicializa o) {
    QString& Espaciado = o.Espaciado;
    const bool Enviar = o.Enviar;
    ResultadoEnvio envio;
    if (objImpresionPantalla().DevolverTextoEnLugarDeImprimir())
        return envio;
    auto orden = [&](std::initializer_list<int> bytes, bool enviar) {
        envio =
            envio.anade(Imprimir(trabajo, CodigoImpresora(bytes),
                                 {.Enviar = enviar, .idImpresora = idImpresora, .NombreImpresora = NombreImpresora}));
    };
    if (o.CambiarEspaciado)
        vb::OnError(
            [&] {
                if (Espaciado.isEmpty()) {
                    const auto n = byteDeParametro(objParametros().lee(param::EspacioEntreLineas),
                                                   param::EspacioEntreLineas.nombre, prompts::vbExclamation);
                    if (!n)
                        return;
                    Espaciado = vb::Chr(*n);
                }
                envio = envio.anade(
                    Imprimir(trabajo, CodigoImpresora({27, '3'}) + Espaciado,
                             {.Enviar = Enviar, .idImpresora = idImpresora, .NombreImpresora = NombreImpresora}));
            },
            aviso(prompts::vbExclamation));
    bool juego2 = false;
    vb::OnError([&] { juego2 = objParametros().lee(param::CodigosEscTicketNormal) == 2; },
                aviso(prompts::vbExclamation));
    if (juego2) {
        vb::OnError([&] { orden({27, '@'}, true); }, aviso(prompts::vbExclamation));
        gCodigosPRN.PRN_INIDBLALT.clear();
        gCodigosPRN.PRN_FINDBLALT.clear();
        gCodigosPRN.PRN_ININEG.clear();
        gCodigosPRN.PRN_FINNEG.clear();
        vb::OnError([&] { envio = envio.anade(enviaBuffer(trabajo, idImpresora, NombreImpresora)); },
                    aviso(prompts::vbExclamation));
        vb::OnError([&] { orden({27, '!', 2}, true); }, aviso(prompts::vbExclamation));
        vb::OnError([&] { orden({27, 'A', 0}, true); }, aviso(prompts::vbExclamation));
        vb::OnError([&] { orden({29, 'E', 1}, true); }, aviso(prompts::vbExclamation));
        vb::OnError([&] { orden({29, 's', 1}, true); }, aviso(prompts::vbExclamation));
    } else {
        vb::OnError([&] { orden({27, '!', 0}, Enviar); }, aviso(prompts::vbExclamation));
    }
    return envio;
}

qint16 EstableceLetraYAncho(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora,
                            bool EsCocina) {
    qint16 ancho = 42;
    int n = 0;
    vb::OnError(
        [&] {
            const qint32 letra = objParametros().lee(EsCocina ? param::TipoLetraCocina : param::TipoLetraTickets);
            // ESC "!" print mode of each font type (odd modes are font B).
            constexpr int kModo[] = {0, 16, 32, 48, 1, 17, 33, 49};
            n = letra >= 0 && letra <= 7 ? kModo[letra] : 0;
            if (letra != 0 && !objImpresionPantalla().DevolverTextoEnLugarDeImprimir())
                Imprimir(trabajo, CodigoImpresora({27, '!', n}),
                         {.idImpresora = idImpresora, .NombreImpresora = NombreImpresora});
        },
        aviso(prompts::vbExclamation));
    vb::OnError(
        [&] {
            const qint32 codigo =
                objParametros().lee(EsCocina ? param::AnchoImpresoraCocina : param::AnchoImpresoraTickets);
            const bool fuenteB = (n % 2) != 0;
            // Characters per line of each printer width code, font A and font B.
            constexpr qint16 kAncho[][2] = {{42, 56}, {56, 74}, {34, 45}, {33, 43}};
            if (codigo >= 0 && codigo <= 3)
                ancho = kAncho[codigo][fuenteB ? 1 : 0];
        },
        aviso(prompts::vbExclamation));
    if (idImpresora == 9999 || idImpresora == 9998)
        ancho = 34;
    vb::OnError(
        [&] {
            if (objParametros().lee(param::UsarImpDRVSiempre))
                ancho = objParametros().lee(param::AnchoDatosCabeceraDRV) < 4500 ? 60 : 100;
        },
        aviso(prompts::vbExclamation));
    return ancho;
}

QString sustituyeTagsHTML(QString texto) {
    const std::pair<const char*, const QString*> cambios[] = {
        {"<b>", &gCodigosPRN.PRN_ININEG},
        {"</b>", &gCodigosPRN.PRN_FINNEG},
        {"<u>", &gCodigosPRN.PRN_INISUB},
        {"</u>", &gCodigosPRN.PRN_FINSUB},
        {"<dblalt>", &gCodigosPRN.PRN_INIDBLALT},
        {"</dblalt>", &gCodigosPRN.PRN_FINDBLALT},
        {"<trialt>", &gCodigosPRN.PRN_INITRIALT},
        {"</trialt>", &gCodigosPRN.PRN_FINTRIALT},
        {"<gig>", &gCodigosPRN.PRN_INIGIG},
        {"</gig>", &gCodigosPRN.PRN_FINGIG},
        {"<inv>", &gCodigosPRN.PRN_INIINV},
        {"</inv>", &gCodigosPRN.PRN_FININV},
        {"PRN_ININEG", &gCodigosPRN.PRN_ININEG},
        {"PRN_FINNEG", &gCodigosPRN.PRN_FINNEG},
        {"PRN_INISUB", &gCodigosPRN.PRN_INISUB},
        {"PRN_FINSUB", &gCodigosPRN.PRN_FINSUB},
        {"PRN_INIDBLALT", &gCodigosPRN.PRN_INIDBLALT},
        {"PRN_FINDBLALT", &gCodigosPRN.PRN_FINDBLALT},
        {"PRN_INITRIALT", &gCodigosPRN.PRN_INITRIALT},
        {"PRN_FINTRIALT", &gCodigosPRN.PRN_FINTRIALT},
        {"PRN_INIGIG", &gCodigosPRN.PRN_INIGIG},
        {"PRN_FINGIG", &gCodigosPRN.PRN_FINGIG},
        {"PRN_INIINV", &gCodigosPRN.PRN_INIINV},
        {"PRN_FININV", &gCodigosPRN.PRN_FININV},
    };
    AtrapaErrores(QStringLiteral("basPrinter.sustituyeTagsHTML"), [&] {
        for (const auto& [marca, codigo] : cambios)
            texto.replace(QLatin1String(marca), *codigo, Qt::CaseInsensitive);
    });
    texto.replace(QStringLiteral("&comma;"), QStringLiteral(","), Qt::CaseInsensitive);
    // A line break tag that got this far (the composers split at it before) ends the line here, so
    // the word wrap breaks at it instead of printing the tag.
    texto.replace(QStringLiteral("<br>"), CRLF, Qt::CaseInsensitive);
    return texto;
}

// Differs from the original, which sent a request's control bytes on as they came: they switched the translation off.
// Dropped rather than replaced: a control character has no glyph, and a replacement would print
// a sign the till never wrote. A tab separates words, so it stays as the blank it stands for.
QString SoloTexto(const QString& texto) {
    const auto control = [](QChar c) {
        return c.category() == QChar::Other_Control && c != QLatin1Char('\r') && c != QLatin1Char('\n');
    };
    if (std::none_of(texto.cbegin(), texto.cend(), control))
        return texto;
    QString r;
    r.reserve(texto.size());
    for (QChar c : texto) {
        if (c == QLatin1Char('\t'))
            r += QLatin1Char(' ');
        else if (!control(c))
            r += c;
    }
    return r;
}

QString TraducirCaracteres(const QString& texto, bool EsCocina) {
    bool paginaEuro = false;
    vb::OnError(
        [&] {
            paginaEuro = EsCocina ? objParametros().lee(param::CodigosEscTicketCocina) == 3
                                  : objParametros().lee(param::CodigosEscTicketNormal) == 4;
        },
        aviso(prompts::vbExclamation));
    QString salida;
    salida.reserve(texto.size() + 3);
    if (paginaEuro)
        salida += CodigoImpresora({27, 't', 19});
    // A character outside the basic plane is one character on paper, one "?" byte: it becomes that
    // byte here, so the command scanner below counts the bytes that will be sent.
    const QString bytes = unCaracterPorByte(texto);
    // Printer commands keep their bytes: a parameter such as the 96 of a line spacing is no text.
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype largo = escpos::longitudComando(bytes, i);
        if (largo > 0) {
            salida += QStringView(bytes).mid(i, largo);
            i += largo;
            continue;
        }
        const QChar c = bytes.at(i);
        const int b = byteTraducido(c, paginaEuro);
        salida += b >= 0 ? vb::Chr(b) : c;
        ++i;
    }
    return salida;
}

} // namespace basPrinter
