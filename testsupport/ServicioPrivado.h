#pragma once
// A MariaDB or cupsd of one test alone, started by scripts/lib/services.sh in a scratch folder, for
// the tests that stop a server (SIGSTOP) to see the program bear it: the servers the other tests
// share are never stopped. Destroying it lets the server go on and stops it.
#include "testsupport/PuertoReservado.h"

#include <QString>
#include <QTemporaryDir>

namespace testenv {

class ServicioPrivado final {
public:
    enum class Tipo { MariaDB, Cupsd };
    explicit ServicioPrivado(Tipo tipo);
    ~ServicioPrivado();
    ServicioPrivado(const ServicioPrivado&) = delete;
    ServicioPrivado& operator=(const ServicioPrivado&) = delete;

    bool ok() const { return m_pid > 0; }
    const QString& error() const { return m_error; } // why it did not start
    int puerto() const { return m_puerto; }          // MariaDB's TCP port
    QString socket() const;                          // mysql.sock or cups.sock
    QString carpeta() const { return m_dir.path(); }
    void para();  // SIGSTOP
    void sigue(); // SIGCONT

private:
    Tipo m_tipo;
    QTemporaryDir m_dir;
    PuertoReservado m_reserva; // MariaDB's port, kept from other tests while it runs
    qint64 m_pid = 0;
    int m_puerto = 0;
    QString m_error;
};

} // namespace testenv
