#include "printing/clsImpresionPantalla.h"

#include "platform/Variant.h"
#include "printing/basPrinter.h"

clsImpresionPantalla::clsImpresionPantalla() {
    Inicializa();
}

void clsImpresionPantalla::Imprime(const QString& texto) {
    if (!m_texto.isEmpty())
        m_texto += QStringLiteral("\r\n");
    m_texto += texto;
}

void clsImpresionPantalla::Inicializa() {
    m_capturar = false;
    m_texto.clear();
}

void clsImpresionPantalla::Finaliza(const Variant&, const Variant&, const Variant&) {
    m_texto.clear();
}

QString clsImpresionPantalla::getTextoGrabar() {
    const basPrinter::CodigosPRN& prn = basPrinter::gCodigosPRN;
    for (const QString* codigo : {&prn.PRN_ININEG, &prn.PRN_FINNEG, &prn.PRN_INISUB, &prn.PRN_FINSUB,
                                  &prn.PRN_INIDBLALT, &prn.PRN_FINDBLALT, &prn.PRN_INITRIALT, &prn.PRN_FINTRIALT}) {
        if (!codigo->isEmpty())
            m_texto.remove(*codigo, Qt::CaseSensitive);
    }
    m_texto.remove(QString(vb::Chr(27)) + QLatin1Char('!'), Qt::CaseSensitive);
    m_texto.remove(QChar(0));
    m_texto.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
    return m_texto;
}

clsImpresionPantalla& objImpresionPantalla() {
    static clsImpresionPantalla objeto;
    return objeto;
}
