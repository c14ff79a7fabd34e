#pragma once
// The print target the printer layer consults before sending: while DevolverTextoEnLugarDeImprimir
// is on, Imprimir hands each buffer here instead of to the printer, and getTextoGrabar returns the
// collected text without its printer commands. Recording to the database, printing through a
// driver and showing on screen are accepted and ignored.
#include "platform/Variant.h"
#include <QString>

class clsImpresionPantalla final {
public:
    qint32 lngZ = 0;
    qint32 lngTicket = 0;
    qint32 lngTPV = 0;
    qint32 lngIdRegistroTicket = 0;

    clsImpresionPantalla();

    bool GrabarEnBBDD() const { return false; }
    void setGrabarEnBBDD(bool) {}
    void setDevolverTextoEnLugarDeImprimir(bool valor) { m_capturar = valor; }
    bool DevolverTextoEnLugarDeImprimir() const { return m_capturar; }
    // Appends one piece to the captured text, separated from the previous one by CR LF.
    void Imprime(const QString& texto);
    void setImprimirPorDriver(bool) {}
    void setImprimirPorPantalla(bool) {}
    bool ImprimirPorPantalla() const { return false; }
    // Capture off, captured text empty.
    void Inicializa();
    // Captured text empty; the capture flag stays.
    void Finaliza(const Variant& = {}, const Variant& = {}, const Variant& = {});
    void MuestraPantalla(const Variant& = {}, const Variant& = {}, const Variant& = {}, const Variant& = {},
                         const Variant& = {}) {}
    void setTipoGrabacion(const Variant&) {}
    // Removes the printer commands from the captured text (in place) and returns it, lines ended by CR.
    QString getTextoGrabar();
    void setImpresoraImprimir(const QString& nombre) { m_impresora = nombre; }
    QString ImpresoraImprimir() const { return m_impresora; }

    // The captured text as it stands (for callers that only look).
    const QString& textoCapturado() const { return m_texto; }

private:
    bool m_capturar = false;
    QString m_texto;
    QString m_impresora;
};

// The one instance of the run, created on first use.
clsImpresionPantalla& objImpresionPantalla();
