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
    using namespace basPrinter;
    for (const QString* codigo : {&PRN_ININEG, &PRN_FINNEG, &PRN_INISUB, &PRN_FINSUB, &PRN_INIDBLALT, &PRN_FINDBLALT,
                                  &PRN_INITRIALT, &PRN_FINTRIALT}) {
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
