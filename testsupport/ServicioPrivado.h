#pragma once
// A MariaDB or cupsd of one test alone, started by scripts/lib/services.sh in a scratch folder, for
// the tests that stop a server (SIGSTOP) to see the program bear it: the servers the other tests
// share are never stopped. Destroying it lets the server go on and stops it.
#include "testsupport/PuertoReservado.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testenv {

class ServicioPrivado final {
public:
    enum class Tipo { MariaDB, Cupsd };
    // opciones: the server's own command-line options (MariaDB only), such as "--sql-mode=ANSI_QUOTES".
    explicit ServicioPrivado(Tipo tipo, const QStringList& opciones = {});
    ~ServicioPrivado();
    ServicioPrivado(const ServicioPrivado&) = delete;
    ServicioPrivado& operator=(const ServicioPrivado&) = delete;

    bool ok() const { return m_pid > 0; }
    const QString& error() const { return m_error; } // why it did not start
    int puerto() const { return m_puerto; }          // MariaDB's TCP port
    QString socket() const;                          // mysql.sock or cups.sock
    // An ODBC connection string to this MariaDB as root, to the database named (none when empty).
    QString cadena(const QString& baseDatos = {}) const;
    QString carpeta() const { return m_dir.path(); }
    void para();  // SIGSTOP
    void sigue(); // SIGCONT
    // MariaDB stopped for good (SIGTERM, and it has left), and started again on the same folder and
    // port with its data; arranca is false, with error(), when it does not answer.
    void apaga();
    bool arranca();

private:
    Tipo m_tipo;
    QStringList m_opciones; // kept for a restart
    QTemporaryDir m_dir;
    PuertoReservado m_reserva; // MariaDB's port, kept from other tests while it runs
    qint64 m_pid = 0;
    int m_puerto = 0;
    QString m_error;
};

} // namespace testenv
