// Kitchen command numbers in qm_imppantalla: allocation, listing, the duplicate retry against the
// table's unique key, and two processes allocating at once.
#include "test_tickets_support.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

using namespace tickettest;

namespace {

const QString kNum = QStringLiteral("N") + QChar(163) + QStringLiteral("m. ");

class CommandNumber : public TicketTest {
protected:
    QString filas() const {
        return core->valor("select group_concat(concat_ws(',', idEmpresa, idRestaurante, idImpresora, idTicket, idTPV, "
                           "idTPVComanda, idGrupoComandas, idComanda, idRegistro) order by id separator ' | ') "
                           "from qm_imppantalla");
    }
    // Makes every insert of the given numbers (all numbers when empty) fail as a duplicate would.
    void fuerzaDuplicado(const QString& condicion) {
        core->sql(QStringLiteral("delimiter //\n"
                                 "create trigger fuerza_duplicado before insert on qm_imppantalla for each row\n"
                                 "begin\n"
                                 "  if %1 then\n"
                                 "    signal sqlstate '23000' set message_text = 'Duplicate entry for key "
                                 "ux_qm_imppantalla_comanda', mysql_errno = 1062;\n"
                                 "  end if;\n"
                                 "end//\n"
                                 "delimiter ;\n")
                      .arg(condicion));
    }
};

TEST_F(CommandNumber, DigitModePrintsTheLastDigitsOfTillAndTicket) {
    clsImprimirTicket a;
    ASSERT_TRUE(a.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    EXPECT_TRUE(todo().contains(kNum + QStringLiteral("334")));
    salida.jobs.clear();
    clsImprimirTicket b;
    ASSERT_TRUE(b.ImprimirTicketCocinaEspecial(3, 5, QStringLiteral("1 Flan")));
    EXPECT_TRUE(todo().contains(kNum + QStringLiteral("305")));
    EXPECT_EQ(core->valor("select count(*) from qm_imppantalla"), QStringLiteral("0")); // digits allocate nothing
}

TEST_F(CommandNumber, EmptyGroupStartsAtOneAndRecordsTheRow) {
    par("GrupoComandas", "4");
    clsImprimirTicket t;
    t.lngTPV = 3;
    t.lngTicket = 1234;
    EXPECT_EQ(t.getNumeroComanda(), 1);
    // company, restaurant, printer 0, ticket, ticket's till, this service's till, group, number, record 1
    EXPECT_EQ(filas(), QStringLiteral("1,1,0,1234,3,1,4,1,1"));
}

TEST_F(CommandNumber, RecordedNumbersArePrintedInOrderAndNothingIsAllocated) {
    par("ImpDosCarTickGrandes", "2");
    core->sql("insert into qm_imppantalla (idEmpresa, idRestaurante, idTicket, idTPV, idComanda, idGrupoComandas) "
              "values (1,1,1234,3,15,1), (1,1,1234,3,12,1), (1,1,1234,4,13,1), (1,1,999,3,14,1)");
    clsImprimirTicket t;
    ASSERT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    EXPECT_TRUE(todo().contains(kNum + QStringLiteral("12 - 15")));
    EXPECT_EQ(core->valor("select count(*) from qm_imppantalla"), QStringLiteral("4"));
}

TEST_F(CommandNumber, NextNumberIgnoresTillRangesAndOtherGroups) {
    core->sql("insert into qm_imppantalla (idEmpresa, idRestaurante, idTicket, idTPV, idComanda, idGrupoComandas) "
              "values (1,1,1,3,41,1), (1,1,2,3,999999,1), (1,1,3,3,3000001,1), (1,1,4,3,500,2), (2,1,5,3,700,1)");
    clsImprimirTicket t;
    t.lngTPV = 3;
    t.lngTicket = 1234;
    EXPECT_EQ(t.getNumeroComanda(), 42);
    // The same composer keeps its number without asking the database again.
    const qint64 antes = clsImprimirTicket::sentenciasEjecutadas();
    EXPECT_EQ(t.getNumeroComanda(), 42);
    EXPECT_EQ(clsImprimirTicket::sentenciasEjecutadas(), antes);
}

TEST_F(CommandNumber, NumberTakenBetweenReadAndInsertGivesTheNextOne) {
    core->sql("insert into qm_imppantalla (idEmpresa, idRestaurante, idTicket, idTPV, idComanda, idGrupoComandas) "
              "values (1,1,1,3,41,1)");
    fuerzaDuplicado(QStringLiteral("new.idComanda = 42"));
    par("ImpDosCarTickGrandes", "2");
    clsImprimirTicket t;
    ASSERT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    EXPECT_TRUE(todo().contains(kNum + QStringLiteral("43")));
    EXPECT_EQ(core->valor("select idComanda from qm_imppantalla where idTicket=1234"), QStringLiteral("43"));
    EXPECT_TRUE(lineasError().empty());
}

TEST_F(CommandNumber, EndlessDuplicatesGiveUpOnceAndTheTicketPrintsWithoutNumber) {
    fuerzaDuplicado(QStringLiteral("true"));
    par("ImpDosCarTickGrandes", "2");
    const qint64 antes = clsImprimirTicket::sentenciasEjecutadas();
    clsImprimirTicket t;
    EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan<cortar>2 Flan")));
    // The header query; in the first piece only, 100 inserts each after a reading of the highest number;
    // in each piece the seller, the recorded numbers, the till's name and the observations.
    EXPECT_EQ(clsImprimirTicket::sentenciasEjecutadas() - antes, 1 + 2 * 100 + 2 * 4);
    ASSERT_EQ(lineasError().size(), 1u);
    EXPECT_TRUE(lineasError().front().contains(QStringLiteral("clsImprimirTicket.getNumeroComanda")));
    EXPECT_FALSE(todo().contains(QStringLiteral("m. ")));
    EXPECT_TRUE(todo().contains(QStringLiteral("1 Flan")) && todo().contains(QStringLiteral("2 Flan")));
    EXPECT_EQ(t.getNumeroComanda(), 0);
}

TEST_F(CommandNumber, CopyForTheKitchenScreensOnTheSameDatabaseIsNoError) {
    par("ConectarPantallasCocinaDirectasaTPV", "1");
    clsImprimirTicket t;
    t.lngTPV = 3;
    t.lngTicket = 1234;
    const qint64 antes = clsImprimirTicket::sentenciasEjecutadas();
    EXPECT_EQ(t.getNumeroComanda(), 1);
    EXPECT_EQ(clsImprimirTicket::sentenciasEjecutadas() - antes, 3); // read, insert, second connection's insert
    EXPECT_EQ(core->valor("select count(*) from qm_imppantalla"), QStringLiteral("1"));
    EXPECT_TRUE(lineasError().empty());
}

TEST_F(CommandNumber, OtherInsertErrorReturnsTheNumberUnrecorded) {
    coretest::ReconnectingMainWindow ventana(50);
    par("ConectarPantallasCocinaDirectasaTPV", "1");
    core->sql("delimiter //\n"
              "create trigger bloquea before insert on qm_imppantalla for each row\n"
              "begin\n"
              "  signal sqlstate '45000' set message_text = 'Comandas bloqueadas';\n"
              "end//\n"
              "delimiter ;\n");
    clsImprimirTicket t;
    t.lngTPV = 3;
    t.lngTicket = 1234;
    const qint64 antes = clsImprimirTicket::sentenciasEjecutadas();
    EXPECT_EQ(t.getNumeroComanda(), 1);
    EXPECT_EQ(clsImprimirTicket::sentenciasEjecutadas() - antes, 2); // no copy on the second connection
    ASSERT_EQ(lineasError().size(), 1u);
    EXPECT_TRUE(lineasError().front().contains(QStringLiteral("Comandas bloqueadas")));
    EXPECT_EQ(core->valor("select count(*) from qm_imppantalla"), QStringLiteral("0"));
}

// ---- two processes at once ----

constexpr int kPorProceso = 50;

// Child side: runs only when started by the test below, against its database.
TEST(CommandNumberChild, AllocatesFiftyNumbers) {
    const QString db = qEnvironmentVariable("TARVOLIN_COMANDA_DB");
    if (db.isEmpty())
        GTEST_SKIP() << "started by CommandNumber.TwoProcessesAllocatingAtOnceGetDistinctNumbers";
    const int hija = qEnvironmentVariableIntValue("TARVOLIN_COMANDA_HIJA");
    coretest::resetCore();
    coretest::borraRegistro();
    for (const auto& p : coretest::parametrosBase(db))
        coretest::escribeRegistro(p.first, p.second);
    for (const auto& p : parametrosTicket())
        coretest::escribeRegistro(p.first, p.second);
    objParametros().GetParamReg();
    gblnParametrosCargados = true;
    ASSERT_TRUE(ConectaBBDD());
    DR = std::make_unique<clsDR>();
    glngEmpresa = 1;
    glngRestaurante = 1;
    gintTPV = qint16(10 + hija);
    for (int i = 0; i < kPorProceso; ++i) {
        clsImprimirTicket t;
        t.lngTPV = 3;
        t.lngTicket = hija * 1000 + i;
        EXPECT_GT(t.getNumeroComanda(), 0);
    }
    coretest::resetCore();
}

TEST_F(CommandNumber, TwoProcessesAllocatingAtOnceGetDistinctNumbers) {
    std::vector<std::unique_ptr<QProcess>> hijas;
    for (int i = 1; i <= 2; ++i) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TARVOLIN_COMANDA_DB"), core->db());
        env.insert(QStringLiteral("TARVOLIN_COMANDA_HIJA"), QString::number(i));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=CommandNumberChild.AllocatesFiftyNumbers")});
        hijas.push_back(std::move(p));
    }
    for (auto& p : hijas) {
        ASSERT_TRUE(p->waitForFinished(240000));
        const QString salidaHija = QString::fromUtf8(p->readAll());
        EXPECT_EQ(p->exitCode(), 0) << salidaHija.toStdString();
        EXPECT_TRUE(salidaHija.contains(QStringLiteral("[  PASSED  ] 1 test"))) << salidaHija.toStdString();
    }
    EXPECT_EQ(core->valor("select concat(count(*), ' ', count(distinct idComanda), ' ', min(idComanda), ' ', "
                          "max(idComanda), ' ', count(distinct idTPVComanda)) from qm_imppantalla"),
              QStringLiteral("100 100 1 100 2"));
}

} // namespace
