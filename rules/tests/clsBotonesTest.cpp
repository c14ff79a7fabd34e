// The trigger-message rules played by a host against real rows of mensajes_trigger and the ticket
// tables. Rules mark that they ran by appending a digit to the ticket's idCliente.
#include "rules/clsBotones.h"
#include "printing/TurnoImpresion.h"
#include "printing/tests/PrinterFixture.h"
#include "rules/ObjetosGlobales.h"
#include "server/TurnoExclusivo.h"
#include "testsupport/CupsCapture.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/ServidorDeModos.h"
#include "testsupport/VBErrors.h"
#include "testsupport/Waits.h"

namespace {

// A text as an SQL literal; a null text is null.
QString sql(QString t) {
    return t.isNull() ? "null" : "'" + t.replace("\\", "\\\\").replace("'", "''") + "'";
}
// Appends digit n to idCliente of the evaluated ticket.
QStringList marca(int n) {
    return {"consulta_sql", QString("update cabticket set idCliente=idCliente*10+%1 where idTicket=$idTicket").arg(n),
            "L"};
}

class clsBotonesTest : public tickettest::TicketTest {
protected:
    clsBotones b;
    clsBotones::Contexto ctx{.ids = {.lngTPV = 3, .lngTicket = 1234}};
    QString &vuelta = ctx.strParametrosVuelta, &p1 = ctx.strParametro1;

    void SetUp() override {
        TicketTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        par(QStringLiteral("TieneMensajesTrigger"), QStringLiteral("1"));
        gblnParametrosCargados = false; // messages to the operator reach the prompt seam
        core->sql("insert into cabticket (idTPV, idTicket, idCliente) values (3, 1234, 0), (0, 0, 0)");
    }
    // A rule of `boton` run before the action, in the order of its id, with no message and no
    // conditions, whose actions are a name and up to three parameters; `otros` sets more columns.
    void regla(int id, const QString& boton, const QList<QStringList>& acciones, const QString& otros = {}) {
        QString s = "insert into mensajes_trigger set mostrar_antes='S', mostrar_mensaje='N', boton=" + sql(boton);
        for (int i = 0; i < acciones.size(); ++i)
            for (int k = 0; k < 4; ++k)
                s += QString(", %1accion_afirmativa%2=%3")
                         .arg(k ? QString("param%1_").arg(k) : "", i ? QString::number(i + 1) : "",
                              sql(acciones[i].value(k)));
        ASSERT_TRUE(core->sql(
            s + QString(", idMensaje=%1, orden=%1, num_acciones_accion_afirmativa=%2").arg(id).arg(acciones.size())));
        if (!otros.isEmpty()) {
            ASSERT_TRUE(core->sql("update mensajes_trigger set " + otros + " where idMensaje=" + QString::number(id)));
        }
    }
    bool evalua(const QString& accion, bool antes = true) { return b.EvaluaMensajesTrigger(accion, antes, ctx); }
    QString marcas() { return core->valor("select idCliente from cabticket where idTPV=3 and idTicket=1234"); }
    static bool enLog(const QString& texto) { return recordingMainWindow().grid.join("\n").contains(texto); }
    QString ultimoAviso() const { return avisos.calls.empty() ? QString() : avisos.calls.back().text; }
    void limpia() {
        core->sql("update cabticket set idCliente=0");
        avisos.calls.clear();
    }
};

// Adds 1 to idCliente of the evaluated ticket.
const QStringList suma{"consulta_sql", "update cabticket set idCliente=idCliente+1 where idTPV=$idTPV", "L"};

TEST_F(clsBotonesTest, SelectionByButtonMomentAndOrder) {
    for (auto [id, otros] : {std::pair{1, "orden=2"}, {2, "orden=1"}, {5, "orden=1"}, {3, "mostrar_antes='N'"}})
        regla(id, "COBRAR", {marca(id)}, otros);
    regla(7, "OTRO'", {marca(7)});
    for (auto [accion, antes, esperado] : {std::tuple{"COBRAR", true, "251"},
                                           {"COBRAR", false, "3"},
                                           {"MENSAJETRIGGER_3", false, "3"},
                                           {"MENSAJETRIGGER_3", true, "0"},
                                           {"OTRO'", true, "7"},
                                           {"OTRO' or '1'='1", true, "0"}}) {
        core->sql("update cabticket set idCliente=0");
        EXPECT_TRUE(evalua(accion, antes));
        EXPECT_EQ(marcas(), esperado) << accion;
    }
    EXPECT_TRUE(evalua("MENSAJETRIGGER7")); // no "_": the error is shown, the result stays
    EXPECT_EQ(mensajes(), 1);
    // the switch off runs nothing and leaves the flag; a zero till or ticket takes the main window's
    regla(8, "Z", {{"C"}, {"establecer_comision_importe", "8"}});
    ctx.blnTicketModificado = true;
    par(QStringLiteral("TieneMensajesTrigger"), QStringLiteral("0"));
    EXPECT_TRUE(evalua("Z"));
    EXPECT_TRUE(ctx.blnTicketModificado);
    par(QStringLiteral("TieneMensajesTrigger"), QStringLiteral("1"));
    std::tie(frmPrincipalVars().lngTPV, frmPrincipalVars().lngTicket) = std::pair{3, 1234};
    ctx.ids = {.lngTPV = 5};
    EXPECT_FALSE(evalua("Z"));
    EXPECT_FALSE(ctx.blnTicketModificado);
    EXPECT_EQ(std::pair(ctx.ids.lngTPV, ctx.ids.lngTicket), std::pair(3, 1234));
    EXPECT_EQ(vuelta, "COMISION_I_8");
    // the logged query shows each value at its own marker, a "?" in the action name too
    EXPECT_TRUE(evalua("¿A?B"));
    EXPECT_TRUE(enLog("where boton='¿A?B' and mostrar_antes='S' order by"));
}

TEST_F(clsBotonesTest, ConditionKinds) {
    // kind|parameter 1|parameter 2|the clock for HORA_ENTRE, the query for SQL|whether it holds
    const char* casos[] = {"HORA_ENTRE|08:00:00|12:00:00|08:00:00|1",
                           "HORA_ENTRE|8:00|120000|12:00:00|1",
                           "HORA_ENTRE|08:00:00|12:00:00|12:00:01|0",
                           "HORA_ENTRE|22:00:00|02:00:00|23:30:00|1",
                           "HORA_ENTRE|22:00|2:00|01:59:59|1",
                           "HORA_ENTRE|22:00:00|02:00:00|12:00:00|0",
                           "HORA_ENTRE|ocho|12:00|09:00:00|0",
                           "HORA_ENTRE|2026-03-14 08:00:00|14/03/2026 12:00|12:00:00|1",
                           "HORA_ENTRE|2026-03-14T08:00:00|2026-03-14 12:00|12:00:01|0",
                           "FORMATO_IGUAL|7|||1",
                           "FORMATO_DISTINTO|8|||1",
                           "SQL|||select 1; \r\n ;select 0|0",
                           "SQL|||select 'abc'|1",
                           "SQL|||select ''|0",
                           "SQL|||select null|0",
                           "SQL|||select 1 from cabticket where 1=0|0",
                           "SQL|3||select $parametro1 = 3 and ';' = ';'|1"};
    regla(1, "B", {{"C"}});
    ctx.ids.lngFormato = 7;
    for (const char* caso : casos) {
        const QStringList c = QString(caso).split('|');
        const QTime hora = QTime::fromString(c[3]);
        clock_seam::setNowSource([hora] { return QDateTime(QDate(2026, 3, 14), hora); });
        core->sql(
            QStringLiteral("update mensajes_trigger set num_condiciones=1, tipo_condicion='%1', param1_condicion='%2', "
                           "param2_condicion='%3', sql_condicion='%4', bbdd_sql_condicion='L'")
                .arg(c[0], c[1], c[2], QString(c[3]).replace("'", "''")));
        EXPECT_EQ(evalua("B"), c[4] == "0") << caso;
    }
    EXPECT_EQ(mensajes(), 0);
    EXPECT_TRUE(enLog("HORA_ENTRE: hora no válida ('ocho'"));

    // once a condition fails the later ones are not evaluated, nor any when the VIP filter fails
    core->sql("update mensajes_trigger set num_condiciones=2, tipo_condicion='FORMATO_IGUAL', param1_condicion='9', "
              "tipo_condicion2='SQL', bbdd_sql_condicion2='L', sql_condicion2='update cabticket set idCliente=99'");
    EXPECT_TRUE(evalua("B"));
    core->sql("update mensajes_trigger set tipo_condicion='', tipo_vip=5");
    EXPECT_TRUE(evalua("B"));
    EXPECT_EQ(marcas(), "0");

    // conditions past the third read the third's columns; the fifth SQL one has no slot; a huge count
    // of a condition that holds ends at once
    core->sql("update mensajes_trigger set tipo_vip=0, tipo_condicion2=null, tipo_condicion3='SQL', "
              "bbdd_sql_condicion3='L', sql_condicion3='update cabticket set idCliente=idCliente+1; select 1'");
    for (auto [n, vale, veces] : {std::tuple{"3", false, "1"}, {"4", false, "2"}, {"5", true, "2"}}) {
        core->sql(QStringLiteral("update cabticket set idCliente=0; update mensajes_trigger set num_condiciones=") + n);
        EXPECT_EQ(evalua("B"), vale) << n;
        EXPECT_EQ(marcas(), veces) << n;
    }
    EXPECT_EQ(mensajes(), 1);
    static int lecturas = 0; // of the clock, one per HORA_ENTRE: an endless count fails soon
    clock_seam::setNowSource([] {
        if (++lecturas == 1000)
            vb::Raise(vb::err::Overflow);
        return QDateTime(QDate(2026, 3, 14), QTime(9, 0));
    });
    core->sql("update mensajes_trigger set num_condiciones=2147483647, tipo_condicion3='HORA_ENTRE', "
              "param1_condicion3='08:00', param2_condicion3='12:00'");
    EXPECT_FALSE(evalua("B")) << "the count of conditions is not bounded";
}

TEST_F(clsBotonesTest, FreeLineCheckDiscountAndLineLock) {
    regla(1, "B", {{"vender_articulo_precio_0", "50"}, {"C"}});
    // a line of article 50 at price 0 of the evaluated ticket, neither paid nor deleted, blocks
    for (auto [linea, bloquea] : {std::pair{"null, 0", true}, {"0, 0", true}, {"1, 0", false}, {"null, 1", false}}) {
        core->sql("delete from linticket");
        core->sql(
            QStringLiteral("insert into linticket (idTPV, idTicket, idLinea, idArticulo, precio, pagado, borrado) "
                           "values (3, 1234, 1, 50, 0, %1), (0, 0, 1, 50, 0, null, 0)")
                .arg(linea));
        EXPECT_EQ(evalua("B"), bloquea) << linea;
    }

    regla(2, "D", {{"C"}, {"hacer_descuento", "12.5"}, {"bloquear_lineas_ticket"}});
    EXPECT_FALSE(evalua("D"));
    EXPECT_TRUE(ctx.blnTicketModificado);
    EXPECT_EQ(core->valor("select group_concat(Dto order by idTPV) from cabticket"), "0.00,12.50");
    EXPECT_EQ(core->valor("select group_concat(PermitirBorrar order by idTPV) from linticket"), "0,1");
    for (auto [dto, queda] :
         {std::pair{"0", "12.50"}, {"-3", "12.50"}, {"150", "12.50"}, {"100", "100.00"}, {"10 ", "10.00"}}) {
        core->sql(QStringLiteral("update mensajes_trigger set param1_accion_afirmativa2='%1'").arg(dto));
        ctx.blnTicketModificado = false;
        evalua("D");
        EXPECT_TRUE(ctx.blnTicketModificado);
        EXPECT_EQ(core->valor("select Dto from cabticket where idTPV=3"), queda) << dto;
    }
    // no count of actions runs the first; mostrar_mensaje null runs none; an empty rule SQL flags a change
    core->sql("update mensajes_trigger set num_acciones_accion_afirmativa=null, param1_accion_afirmativa2='1'");
    EXPECT_FALSE(evalua("D"));
    EXPECT_EQ(core->valor("select Dto from cabticket where idTPV=3"), "10.00");
    core->sql("update mensajes_trigger set mostrar_mensaje=null");
    EXPECT_TRUE(evalua("D"));
    regla(3, "E", {{"consulta_sql", ""}});
    ctx.blnTicketModificado = false;
    EXPECT_TRUE(evalua("E"));
    EXPECT_TRUE(ctx.blnTicketModificado);
}

TEST_F(clsBotonesTest, ReturnedTextsStopNestedLaunchesAndSpecialTicketCopies) {
    p1 = QStringLiteral("uno");
    ctx.strParametro2 = QStringLiteral("dos");
    regla(1, "B", {{"establecer_comision_importe", "3"}, {"establecer_comision_ptje", "5"}});
    regla(2, "B", {{"imprimir_pie_especial", "T$idTicket $parametro2 $parametro1_accion $idCliente", "segundo"}});
    regla(3, "B", {{"no_imprimir_ticket"}});
    regla(4, "B", {marca(4)});
    EXPECT_FALSE(evalua("B"));
    EXPECT_EQ(vuelta, "T1234 segundo uno 0"); // the footer's own $parametro2 comes first
    EXPECT_EQ(marcas(), "0");
    core->sql("delete from mensajes_trigger where idMensaje=2");
    EXPECT_FALSE(evalua("B"));
    EXPECT_EQ(vuelta, "COMISION_%_5");

    // a launched rule sees the launcher's changes
    regla(5, "N", {{"hacer_descuento", "5"}, {"lanzar_mensaje_trigger", "6", "nuevo $parametro1", "y $parametro1"}});
    regla(6, "X", {{"establecer_comision_importe", "$parametro1"}});
    regla(9, "BUCLE", {suma, {"lanzar_mensaje_trigger", "9"}, {"lanzar_mensaje_trigger", "9"}});
    EXPECT_TRUE(evalua("N"));
    EXPECT_TRUE(ctx.blnTicketModificado);
    EXPECT_EQ(p1, "nuevo uno");
    EXPECT_EQ(ctx.strParametro2, "y nuevo uno");
    EXPECT_EQ(vuelta, "COMISION_I_$parametro1"); // action parameters are not substituted

    // a launch whose "before" or "after" rules return False ends the launching rule's actions only;
    // a change the launched rules flag reaches the launcher
    regla(11, "L", {{"lanzar_mensaje_trigger", "12"}, {"establecer_comision_importe", "1"}});
    regla(12, "X", {{"C"}});
    for (auto [antes, accion, sigue] :
         {std::tuple{"S", "C", false}, {"N", "C", false}, {"S", "bloquear_lineas_ticket", true}}) {
        core->sql(QStringLiteral("update mensajes_trigger set mostrar_antes='%1', accion_afirmativa='%2' where "
                                 "idMensaje=12")
                      .arg(antes, accion));
        vuelta.clear();
        EXPECT_TRUE(evalua("L")) << accion;
        EXPECT_EQ(vuelta.isEmpty(), !sigue) << accion;
        EXPECT_EQ(ctx.blnTicketModificado, sigue) << accion;
    }

    // a rule that launches itself twice stops at the depth limit, a fan-out at the budget; each whole
    // chain stops with one message
    for (int id = 20; id < 24; ++id) {
        const QStringList l{"lanzar_mensaje_trigger", QString::number(id + 1)};
        regla(id, "X", {suma, l, l, l, l});
    }
    regla(24, "X", {suma});
    for (auto [accion, veces] : {std::pair{"BUCLE", "11"}, {"MENSAJETRIGGER_20", "101"}}) {
        limpia();
        EXPECT_TRUE(evalua(accion));
        EXPECT_EQ(marcas(), veces) << accion;
        EXPECT_EQ(mensajes(), 1) << accion;
    }
    EXPECT_TRUE(ultimoAviso().endsWith("se han lanzado ya 100 mensajes; se detiene la evaluación"));

    regla(10, "T", {{"imprimir_ticket_especial", "Rule", "s", "25"}});
    EXPECT_TRUE(evalua("T"));
    EXPECT_EQ(trabajosTicket().size(), size_t(clsBotones::kMaxCopiasTicketEspecial));
    EXPECT_TRUE(enLog("se piden 25 copias, se imprimen 20"));
    salida.jobs.clear();
    core->sql("update mensajes_trigger set param3_accion_afirmativa='0' where idMensaje=10");
    EXPECT_TRUE(evalua("T"));
    EXPECT_TRUE(salida.jobs.empty());
}

TEST_F(clsBotonesTest, MessageVariablesConditionResultsAndCallerValues) {
    regla(1, "B", {QStringList{}},
          "mostrar_mensaje='S', num_condiciones=1, tipo_condicion='SQL', bbdd_sql_condicion='L'");
    regla(2, "B", {{"establecer_comision_importe_variable", "$cuarta"}},
          "num_condiciones=1, tipo_condicion='FORMATO_IGUAL', param1_condicion='9', "
          "mostrar_mensaje_no_lanzar_accion='S', num_variables_mensaje=4, variable_1='v', variable_2='dos', "
          "variable_3='v', sql_variable_3='select ''tercera''', bbdd_sql_variable_3='L', sql_variable_1='select ''  "
          "O''''Bri\\\\\\\\en  ''', bbdd_sql_variable_1='L', "
          "variable_4='cuarta', sql_variable_4='select 7.5', bbdd_sql_variable_4='L', "
          "mensaje_no_lanzar_accion='[$v]<br>$condicion1 $parametro1_accion'");
    // with the message flag null a failing rule still computes its variables, and shows nothing
    regla(3, "B", {{"S"}},
          "num_condiciones=1, tipo_condicion='FORMATO_IGUAL', param1_condicion='9', num_variables_mensaje=1, "
          "sql_variable_1='update cabticket set idCliente=idCliente+1; select 1', bbdd_sql_variable_1='L'");
    p1 = QStringLiteral("p");
    // The first rule's condition result stays in its slot for the second rule's message.
    for (auto [sql, texto] : {std::pair{"2.5", "2.50"}, {"3", "3"}, {"-1", "-1"}}) {
        core->sql(QStringLiteral("update mensajes_trigger set sql_condicion='select %1' where idMensaje=1").arg(sql));
        avisos.calls.clear();
        EXPECT_TRUE(evalua("B"));
        ASSERT_EQ(mensajes(), 1);
        EXPECT_EQ(avisos.calls[0].text, QStringLiteral("[O'Bri\\en]\r\n%1 p").arg(texto));
    }
    EXPECT_EQ(marcas(), "3");
    // the message took the first slot named $v; the commission takes the last
    core->sql("update mensajes_trigger set param1_condicion='0', mostrar_mensaje='N' where idMensaje=2");
    for (auto [variable, comision] : {std::pair{"$cuarta", "COMISION_I_7.5"}, {"$v", "COMISION_I_tercera"}}) {
        core->sql(QStringLiteral("update mensajes_trigger set param1_accion_afirmativa='%1' where idMensaje=2")
                      .arg(variable));
        EXPECT_TRUE(evalua("B"));
        EXPECT_EQ(vuelta, comision);
    }
}

TEST_F(clsBotonesTest, ValuesNeverStartAStatement) {
    core->sql("insert into linticket (idTPV, idTicket, idLinea, idArticulo) values (3, 1234, 1, 50)");
    core->sql("insert into maecli (empresa, Codigo, nombre) values (1, 5, '0; delete from linticket')");
    // the caller's value, a message variable read from the database, a launched rule's parameter and
    // a condition's: unquoted they go in only as numbers
    regla(1, "P", {{"consulta_sql", "update cabticket set idCliente=$parametro1 where idTPV=$idTPV", "L"}});
    regla(2, "V", {{"consulta_sql", "update cabticket set idCliente=$nombre where idTPV=$idTPV", "L"}},
          "num_variables_mensaje=1, variable_1='nombre', sql_variable_1='select nombre from maecli where Codigo=5', "
          "bbdd_sql_variable_1='L'");
    regla(3, "LZ", {{"lanzar_mensaje_trigger", "1", "$parametro1"}});
    regla(4, "CD", {marca(9)},
          "num_condiciones=1, tipo_condicion='SQL', bbdd_sql_condicion='L', sql_condicion='select $parametro1_accion'");
    const QString borra = QStringLiteral("0; delete from linticket");
    for (auto [accion, valor, queda] : {std::tuple{"P", borra, "0"},
                                        {"P", QString("42"), "42"},
                                        {"V", borra, "0"},
                                        {"LZ", borra, "0"},
                                        {"LZ", QString("-3"), "-3"},
                                        {"CD", borra, "0"},
                                        {"CD", QString("7"), "9"}}) {
        limpia();
        p1 = valor;
        evalua(accion);
        EXPECT_EQ(marcas(), queda) << accion << valor.toStdString();
        EXPECT_EQ(mensajes(), valor == borra ? 1 : 0) << accion << valor.toStdString();
        EXPECT_EQ(ultimoAviso().contains(" no es un número y va sin comillas"), valor == borra) << accion;
    }
    EXPECT_EQ(core->valor("select count(*) from linticket"), "1");
    EXPECT_TRUE(enLog("Consulta de regla rechazada, $nombre va sin comillas y su valor no es un número: update"));

    // quoted, a value is stored as given in either kind of literal and reaches the printer unchanged;
    // comments hide quotes and ";"
    p1 = QStringLiteral("O'Brien \"el\" \\ x;");
    regla(5, "Q",
          {{"imprimir_ticket_especial", "Cliente: $parametro1", "N", "1"},
           {"consulta_sql",
            "insert into maecli (empresa, Codigo, nombre) values (1, 6, \"$parametro1\"); -- it's\n"
            "insert into maecli (empresa, Codigo, nombre) values (1, 7, '$parametro1') # don't\n;"
            "/* it's; */ update cabticket set idCliente=(select count(*) from maecli where nombre='$parametro1') "
            "where idTPV=$idTPV; -- fin",
            "L"}},
          "num_condiciones=1, tipo_condicion='SQL', bbdd_sql_condicion='L', "
          "sql_condicion='select count(*) = 0 from maecli where nombre=\"$parametro1_accion\"'");
    avisos.calls.clear();
    EXPECT_TRUE(evalua("Q"));
    EXPECT_EQ(core->valor("select count(*) from maecli where Codigo in (6, 7) and nombre=" + sql(p1)), "2");
    EXPECT_EQ(marcas(), "2");
    EXPECT_EQ(mensajes(), 0);
    EXPECT_TRUE(todo().contains("Cliente: " + p1 + "\r\n"));
}

TEST_F(clsBotonesTest, FixedAndLoyaltyVariables) {
    glngEmpresa = 1;
    glngRestaurante = 2;
    std::tie(frmPrincipalVars().lngLinTicket, frmPrincipalVars().intCamarero) = std::pair{6, 8};
    ctx.ids = {3, 1234, 11, 12, 13, 14, 15};
    par(QStringLiteral("CentralizarClientes"), QStringLiteral("0"));
    core->sql("update cabticket set idCliente=77 where idTPV=3; insert into vip values (1, 4, 10.5, 2, 300); "
              "insert into maecli (empresa, Codigo, nombre, vip) values (1, 77, 'x', 4)");
    regla(2, "M", {{"S"}},
          "num_condiciones=1, tipo_condicion='FORMATO_IGUAL', param1_condicion='99', mostrar_mensaje_no_lanzar_accion="
          "'S', mensaje_no_lanzar_accion='$idEmpresa|$idRestaurante|$idTPV|$idTicket|$idLinea|$idSubTicket|"
          "$idArticulo|$idFormato|$idVendedor|$fecha_actual|$idCliente|$hora_actual|$fecha_formateada|$idCamarero|"
          "$idEmpleado'");
    EXPECT_TRUE(evalua("M"));
    EXPECT_EQ(ultimoAviso(), "1|2|3|1234|6|11|12|13|14|20260313|77|13:45:30|14/03/2026|8|15");
    // the footer's own variables come first: its date is the day, not yyyymmdd
    regla(1, "F", {{"imprimir_pie_especial", "", "dos"}});
    for (auto [pie, queda, avisosEsperados] :
         {std::tuple{"$fecha_actual $hora_actual $idCamarero $idTPV/$idTicket $parametro2 "
                     "[$puntos_disponibles][$puntos_gastados][$puntos_ganados_total]",
                     "13/03/2026 13:45:30 8 3/1234 dos [   10.5][      2][    300]", 0},
          {"a $puntos_ganados_ticket", "", 0},
          {"$idTicket $euros_ganados_ticket", "1234 $euros_ganados_ticket", 1}}) {
        core->sql(QStringLiteral("update mensajes_trigger set param1_accion_afirmativa='%1'").arg(pie));
        avisos.calls.clear();
        evalua("F");
        EXPECT_EQ(vuelta, queda);
        EXPECT_EQ(mensajes(), avisosEsperados);
    }
}

TEST_F(clsBotonesTest, RuleTicketsTakeTheSocketPrintTurnAndReachCups) {
    TARVOLIN_REQUIRE_CUPS();
    testenv::ColaCaptura cola(QStringLiteral("tarvolin_reglas"));
    ASSERT_TRUE(cola.creada);
    printers::install(nullptr);
    par(QStringLiteral("ImpTicket"), cola.nombre);
    basPrinter::setTurnoImpresion([](std::function<void()> t) { TurnoExclusivo::instancia().ejecuta(std::move(t)); });
    regla(1, "B", {{"imprimir_ticket_especial", "Regla", "N", "2"}});
    TurnoExclusivo::instancia().ejecuta([&] {
        basPrinter::BufferImpresion trabajo;
        basPrinter::Imprimir(trabajo, QStringLiteral("socket")); // a socket print half built...
        EXPECT_TRUE(evalua("B"));                                // ...when a rule runs inside its wait
        basPrinter::Imprimir(trabajo, QString(), {.ConSalto = false, .Enviar = true, .NombreImpresora = cola.nombre});
    });
    EXPECT_TRUE(
        waits::until([] { return !TurnoExclusivo::instancia().ocupado(); }, "the print turn free again", 10000));
    basPrinter::setTurnoImpresion(nullptr);
    ASSERT_TRUE(cola.captura.espera(3));
    EXPECT_TRUE(cola.captura.trabajos[0].contains("socket\r\n"));
    EXPECT_FALSE(cola.captura.trabajos[0].contains("Regla"));
    EXPECT_TRUE(cola.captura.trabajos[1].contains("Regla\r\n"));
    EXPECT_EQ(cola.captura.trabajos[1], cola.captura.trabajos[2]);
}

// In every global mode of a test's own server, on the program's session and one put back in the server's mode
// behind its back, a caller's value goes into a rule's SQL as given or not at all, and no other row changes.
TEST_F(clsBotonesTest, ValuesStayInTheirLiteralsInEveryServerMode) {
    testenv::ServidorDeModos modos;
    ASSERT_TRUE(modos.arranca()) << modos.servidor.error().toStdString();
    auto& [servidor, admin] = modos;
    admin.Execute("create table modos.t (id int primary key, v longtext)");
    const auto fila = [&](int id) {
        return QString::fromUtf8(QByteArray::fromHex(
            admin.Execute(QString("select hex(v) from modos.t where id=%1").arg(id))->Fields(0).Value.toByteArray()));
    };
    // injections; quotes, backslashes and comment marks; a NUL
    const QStringList valores =
        QStringList{"1), v=(select 0x70776e) where 1=1 -- ", "' or '1'='1", "\" or \"1\"=\"1",
                    "(select 0x70776e) where 1=1 #", "0 or 1=1"} +
            QStringList{"'", "\"", "\\'", "\\", "C:\\tickets\\", "\\0\\n\\Z", "O'Brien \"el\" \\ x; */ -- #"}
        << QString::fromLatin1("a\0b", 3);
    // the rule's SQL | whether the value is stored as given: S yes, N never, D where "..." is a text
    const std::pair<const char*, char> reglas[] = {
        {"update t set v='$parametro1_accion' where id=1", 'S'},
        {"update t set v=\"$parametro1_accion\" where id=1", 'D'},
        {"update t set v=concat('C:\\tickets\\', 'x', $parametro1_accion, 'y') where id=1", 'N'},
        {"update t set v='x' /*M!100000 , v='$parametro1_accion' */ where id=1", 'S'},
        {"update t set v='$parametro1_accion' /*!99999 ' */ where id=1 -- '", 'S'},
        {"update t set v='$parametro1_accion' /*!, id=1 */ where id=1", 'S'},
        // comments the server reads otherwise than a plain reading: a skipped versioned comment holding
        // one comment, a six-digit MySQL 5.7 version, "--" before DEL; an uncertain reading takes no value
        {"update t set v='x' /*!99999 /* */ ' */ , v=$parametro1_accion where id=1 -- '", 'N'},
        {"update t set v='x' /*!050700 ' */ , v=$parametro1_accion where id=1 -- '", 'N'},
        {"update t set v='y' where id=1 --\x7f '\nor id=$parametro1_accion -- '", 'N'},
        {"update t set v='$parametro1_accion' /*!50000 /*!50000 */ */ where id=1", 'N'},
    };
    for (const char* global : testenv::ServidorDeModos::kModos) {
        modos.modoGlobal(global);
        for (const bool propio : {true, false}) {
            ConexionLocal().Close();
            ConexionLocal().Open(servidor.cadena("modos"));
            if (!propio)
                ConexionLocal().Execute("set session sql_mode = @@global.sql_mode");
            const bool comillasNombran = !propio && QString(global).contains("ANSI_QUOTES");
            // without backslash escapes a literal cannot hold a NUL: such a value is refused
            const bool sinBarras = !propio && QString(global).contains("BACKSLASH");
            for (const auto& [regla, guarda] : reglas)
                for (const QString& valor : valores) {
                    SCOPED_TRACE(QString("%1 %2 | %3 | %4")
                                     .arg(global, propio ? "propia" : "del servidor", regla,
                                          QString(valor.toUtf8().toPercentEncoding()))
                                     .toStdString());
                    admin.Execute("delete from modos.t");
                    admin.Execute("insert into modos.t values (1, 'antes'), (2, 'otra')");
                    b.EvaluaMensajesTriggerLanzarConsultaSQL(regla, "L", {}, {}, clsBotones::ConsultaSoloEjecuta,
                                                             ctx.ids, valor);
                    const bool tal = (guarda == 'S' || (guarda == 'D' && !comillasNombran)) &&
                                     !(sinBarras && valor.contains(QChar(0)));
                    EXPECT_EQ(fila(1), tal ? valor : QString("antes"));
                    ASSERT_EQ(fila(2), "otra");
                }
        }
    }
    ConexionLocal().Close();
    EXPECT_TRUE(
        enLog("Consulta de regla rechazada, $parametro1_accion va en una sentencia cuyo comentario ejecutable "
              "o carácter nulo el servidor puede leer de otro modo: update t set v='$parametro1_accion' /*!50000"));
}

// Whatever character set the connection string asks for, or the server imposes on every session, a
// caller's value stays in its literal: the plainest rule changes its own row only, to the value as given.
TEST_F(clsBotonesTest, ValuesStayInTheirLiteralsInEverySessionCharset) {
    testenv::ServicioPrivado gbk(
        testenv::ServicioPrivado::Tipo::MariaDB,
        {"--skip-character-set-client-handshake", "--character-set-server=gbk", "--collation-server=gbk_chinese_ci"});
    ASSERT_TRUE(gbk.ok()) << gbk.error().toStdString();
    regla(1, "C5", {{"consulta_sql", "update t5 set v='$parametro1' where id=2", "L"}});
    // a rule that sets another character set first: its session is put back and the rest does not run
    regla(2, "C6",
          {{"consulta_sql", "set character_set_client = sjis; update t5 set v='$parametro1' where id=2", "L"}});
    {
        // The local connection reads the rules too: the rule goes to that server as well.
        ado::Connection admin;
        admin.Open(gbk.cadena("mysql"));
        admin.Execute("create database cs");
        admin.Execute("use cs");
        admin.Execute(vb::CStr(ConexionServidor().Execute("show create table mensajes_trigger")->Fields(1).Value));
        for (ado::RecordsetPtr rs = ConexionServidor().Execute("select * from mensajes_trigger"); !rs->isEOF();
             rs->MoveNext()) {
            QList<Variant> campos;
            for (int i = 0; i < rs->FieldCount(); ++i)
                campos << rs->Fields(i).Value;
            admin.Execute("insert into mensajes_trigger values (?" + QString(", ?").repeated(campos.size() - 1) + ")",
                          nullptr, campos);
        }
    }
    QStringList cadenas = {gbk.cadena("cs")};
    for (const char* charset : {"latin1", "big5", "sjis", "cp932", "gbk"})
        cadenas << ConexionServidor().ConnectionString + ";CHARSET=" + charset;
    // what a conversion to the session's character set would turn into a quote or a backslash, or
    // what a backslash would join; texts it would garble; a long statement of units ending in DA
    const QStringList valores = {QString::fromUtf8("＇, v=(select 0x70776e) where 1=1 -- "),
                                 QString::fromUtf8("＼', v=(select 0x70776e) where 1=1 -- "),
                                 QString::fromUtf8("¥', v=(select 0x70776e) where 1=1 -- "),
                                 QString::fromUtf8("ぁ\\', v=(select 0x70776e) where 1=1 -- "),
                                 QString::fromUtf8("Ø Ù Ú Û 付 ñ € 😀"),
                                 QString(2000, QChar(0xDA))};
    const auto fila = [](int id) {
        return QString::fromUtf8(QByteArray::fromHex(ConexionLocal()
                                                         .Execute(QString("select hex(v) from t5 where id=%1").arg(id))
                                                         ->Fields(0)
                                                         .Value.toByteArray()));
    };
    for (const QString& cadena : cadenas) {
        ConexionLocal().Close();
        ConexionLocal().Open(cadena);
        ConexionLocal().Execute("drop table if exists t5");
        ConexionLocal().Execute("create table t5 (id int primary key, v longtext) character set utf8mb4");
        for (const QString& valor : valores) {
            SCOPED_TRACE(
                QString("%1 | %2").arg(cadena, QString(valor.left(40).toUtf8().toPercentEncoding())).toStdString());
            ConexionLocal().Execute("delete from t5");
            ConexionLocal().Execute("insert into t5 values (1, 'uno'), (2, 'dos'), (3, 'tres')");
            avisos.calls.clear();
            p1 = valor;
            evalua("C5");
            EXPECT_EQ(fila(1), "uno");
            EXPECT_EQ(fila(2), valor);
            EXPECT_EQ(fila(3), "tres");
            EXPECT_EQ(mensajes(), 0) << ultimoAviso().left(300).toStdString();
            evalua("C6");
            EXPECT_EQ(fila(1), "uno");
            EXPECT_EQ(fila(2), valor);
            EXPECT_EQ(fila(3), "tres");
            EXPECT_EQ(mensajes(), 1);
            EXPECT_TRUE(ultimoAviso().contains("The statement set the session's character_set_client sjis"))
                << ultimoAviso().left(300).toStdString();
        }
    }
    ConexionLocal().Close();
}

// Records the arguments of its one member.
struct Ventana final : vb::LateBound {
    vb::Arguments recibidos;
    vb::CallableMembers callableMembers() override {
        return {{"Anota", 0, 8, [this](const vb::Arguments& a) { return Variant(qint32((recibidos = a).size())); }}};
    }
};

// Argument counts and unknown members are the late-bound calls' own rules (LateBoundTest).
TEST_F(clsBotonesTest, CallsByNameAndTheQueryLauncher) {
    Ventana ventana;
    reglas::registraObjeto(QStringLiteral("frmPrincipal"), [&] { return &ventana; });
    const struct {
        const char *objeto, *miembro, *args;
        bool ok;
        Variant ret;
    } casos[] = {
        {"DR", "QueryScalar", "select 41+1", true, qint64(42)},
        {"frmPrincipal", "Anota", "", true, 0},
        {"frmPrincipal", "anota", "Verdadero,FALSO,12, true", true, 4},
        {"objBotones", "Pulsado", "x", true, false},
        {"objBotones", "EvaluaBoton", "1,2,3,4,5,6,7,8,9", false, {}},
        {"OBJBOTONES", "Pulsado", "x", false, {}},
        {"objFunc", "SaldoTarjetaCliente", "1", false, {}},
        {"QM", "Abre", "", false, {}}, // not connected
        {"frmConfig", "Anota", "", false, {}},
    };
    for (const auto& c : casos) {
        Variant ret;
        EXPECT_EQ(b.ejecutaFuncion(c.objeto, c.miembro, c.args, ret), c.ok) << c.objeto << "." << c.miembro;
        EXPECT_EQ(ret, c.ret) << c.objeto << "." << c.miembro;
    }
    EXPECT_EQ(ventana.recibidos, (vb::Arguments{true, false, QStringLiteral("12"), QStringLiteral(" true")}));
    try {
        b.GetObjetoSingleton(QStringLiteral("QM"));
        ADD_FAILURE() << "QM found";
    } catch (const VBError& e) {
        EXPECT_EQ(std::tuple(e.number(), e.description(), e.source()),
                  std::tuple(1, QString("Objeto 'QM' no encontrado"), QString("clsBotones.GetObjetoSingleton")));
    }
    // of two loaded windows with one name, the first loaded
    Ventana otra;
    reglas::registraVentanasCargadas([&] {
        return QList<QPair<QString, vb::LateBound*>>{{"frmX", &ventana}, {"frmX", &otra}, {"frmY", &otra}};
    });
    EXPECT_EQ(&b.GetObjetoSingleton("frmX"), &ventana);
    EXPECT_EQ(&b.GetObjetoSingleton("frmY"), &otra);
    EXPECT_NE(b.getBoton(), b.getBoton());
    EXPECT_TRUE(enLog("ERROR: clsBotones.EjecutaFuncion objFunc.SaldoTarjetaCliente: Objeto 'objFunc' no encontrado"));
    reglas::resetRegistroForTests();

    // the query launcher's modes and connection codes, the server's roads among them
    const struct {
        const char *sql, *codigo;
        clsBotones::ModoConsulta modo;
        Variant esperado;
    } consultas[] = {
        {"select $enviado_central + 5", "C", clsBotones::ConsultaNumero, 5.0},
        {"select 1; select 2", "X", clsBotones::ConsultaNumero, 0.0},
        {"update cabticket set idCliente=idCliente+1", "SC", clsBotones::ConsultaSoloEjecuta,
         QString()}, // on the server once, not twice
        {"update cabticket set idCliente=idCliente+1;select max(idCliente) from cabticket", "S",
         clsBotones::ConsultaNumero, 2.0},
    };
    for (const auto& c : consultas)
        EXPECT_EQ(b.EvaluaMensajesTriggerLanzarConsultaSQL(c.sql, c.codigo, {}, {}, c.modo, ctx.ids), c.esperado)
            << c.sql;
    EXPECT_TRUE(avisos.calls.back().text.endsWith("Error en la consulta SQL:\r\nselect 1"));
}

} // namespace
