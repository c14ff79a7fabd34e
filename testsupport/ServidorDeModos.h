#pragma once
// A MariaDB of the test's own whose global sql_mode the test switches (the shared server is never
// changed): started in NO_BACKSLASH_ESCAPES, with an administrator's connection and an empty database
// "modos". Sessions opened after `modoGlobal` take that mode.
#include "platform/Ado.h"
#include "testsupport/ServicioPrivado.h"

namespace testenv {

struct ServidorDeModos {
    // The global modes every such test goes through, the server's default last.
    static constexpr const char* kModos[] = {"NO_BACKSLASH_ESCAPES", "ANSI_QUOTES", "NO_BACKSLASH_ESCAPES,ANSI_QUOTES",
                                             "DEFAULT"};
    ServicioPrivado servidor{ServicioPrivado::Tipo::MariaDB, {QStringLiteral("--sql-mode=NO_BACKSLASH_ESCAPES")}};
    ado::Connection admin;

    // False, with servidor.error(), when the server did not start.
    bool arranca() {
        if (!servidor.ok())
            return false;
        admin.Open(servidor.cadena(QStringLiteral("mysql")));
        admin.Execute(QStringLiteral("create database modos"));
        return true;
    }
    void modoGlobal(const QString& modo) {
        admin.Execute(QStringLiteral("set global sql_mode = %1")
                          .arg(modo == QLatin1String("DEFAULT") ? modo : QLatin1Char('\'') + modo + QLatin1Char('\'')));
    }
};

} // namespace testenv
