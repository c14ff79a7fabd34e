#pragma once
// A raw queue of the private cupsd whose device is a TCP capture in this process, for tests (and
// benchmarks) that follow a print job all the way through CUPS.
//
//     testenv::ColaCaptura cola(QStringLiteral("tarvolin_prn"));   // queue tarvolin_prn_<pid>_<n>
//     ASSERT_TRUE(cola.creada);
//     ... print to cola.nombre ...
//     ASSERT_TRUE(cola.captura.espera(1));
//     EXPECT_EQ(cola.captura.trabajos[0], esperado);
#include "testsupport/ServicioPrivado.h"
#include "testsupport/Waits.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <vector>

namespace testenv {

// Listens on a free local port; each connection is one print job, complete when the printer side
// closes it.
class CapturaTcp final : public QObject {
public:
    CapturaTcp();

    std::vector<QByteArray> trabajos; // the complete jobs, in the order they were closed
    qint64 recibidos = 0;             // bytes received so far, jobs still open included

    quint16 puerto() const { return m_servidor.serverPort(); } // 0 when it could not listen
    // Runs events until n jobs are complete; fails naming the jobs it waited for when they are not
    // within maxMs.
    ::testing::AssertionResult espera(size_t n, int maxMs = 2 * waits::kDeadlineMs);

private:
    void onNuevaConexion();
    QTcpServer m_servidor;
};

// Runs lpadmin with these arguments; true when it ends with status 0.
bool lpadmin(const QStringList& args);

// A raw queue named prefijo_<pid>_<n> that prints into its own capture; removed again on
// destruction. creada is false when the capture could not listen or lpadmin failed.
class ColaCaptura final {
public:
    explicit ColaCaptura(const QString& prefijo = QStringLiteral("tarvolin_cola"));
    ~ColaCaptura();
    ColaCaptura(const ColaCaptura&) = delete;
    ColaCaptura& operator=(const ColaCaptura&) = delete;

    CapturaTcp captura;
    QString nombre;
    bool creada = false;
};

// A cupsd of one test alone (it may be stopped), this process's CUPS server while it lives.
class CupsdPrivado final {
public:
    CupsdPrivado();
    ~CupsdPrivado();
    CupsdPrivado(const CupsdPrivado&) = delete;
    CupsdPrivado& operator=(const CupsdPrivado&) = delete;

    ServicioPrivado cupsd{ServicioPrivado::Tipo::Cupsd};

    // An lp command (lpadmin, cupsdisable, cancel ...) run against this cupsd.
    bool orden(const char* programa, const QStringList& args) const;
    // A raw queue printing into a file of the cupsd's folder; this cupsd becomes the CUPS server.
    bool arranca(const QString& cola);
    // A raw queue printing into the capture; this cupsd becomes the CUPS server.
    bool colaCaptura(const QString& cola, const CapturaTcp& captura);
    // The jobs of the queue cupsd has not finished (lpstat -o), one line each.
    QStringList sinTerminar(const QString& cola) const;

private:
    QByteArray m_anterior;
};

} // namespace testenv
