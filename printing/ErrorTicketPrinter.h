#pragma once
// Prints the core's error line and unattended error ticket through the printer layer, each as a job
// of its own beside whatever ticket is being composed.
#include "core/basGeneral.h"

class ErrorTicketPrinter final : public ErrorPrinter {
public:
    static ErrorTicketPrinter& instance();

    void printErrorLine(const QString& errorText) override;
    void printErrorTicket(const QString& message) override;
    // Every parameter the printer output reads is in the store.
    bool conoceSusParametros() const override;

    // While one of these lives, error prints are only written to the log file (the paper prompt of the
    // invoice printer, and the error prints themselves, use it so that reports cannot nest).
    class SuspensionImpresion {
    public:
        SuspensionImpresion();
        ~SuspensionImpresion();
        SuspensionImpresion(const SuspensionImpresion&) = delete;
        SuspensionImpresion& operator=(const SuspensionImpresion&) = delete;
    };
    bool suspendida() const { return m_suspensiones > 0; }

private:
    template <class F> void comoTrabajoPropio(const QString& paraElLog, F&& imprimir);
    int m_suspensiones = 0;
};
